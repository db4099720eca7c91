// Draws the pictures of the help pages at build time: the real main window,
// offscreen, fed by the generated replay file, photographed page by page in
// English and in Chinese. The overview picture carries numbered markers that
// the index page explains.
//
//     terval_helpshots OUT_DIR REPLAY_CSV
//
// Writes window_en.png, window_zh.png, main_*.png, sensitivity_*.png,
// save_*.png and config_*.png into OUT_DIR; exits 1 when a step fails.

#include "core/appfolders.h"
#include "core/types.h"
#include "hub/parammanager.h"
#include "link/modbusmanager.h"
#include "processing/datacheckerthread.h"
#include "processing/mockdatathread.h"
#include "processing/modbusdatahandler.h"
#include "recording/savefilethread.h"
#include "ui/main/mainwindow.h"
#include "ui/widgets/custommenu.h"

// mainmoduleform.h reads a QPointer<QCPGraph> inline; the type must be complete.
#include <qcustomplot.h>

#include "ui/pages/mainmoduleform.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>

namespace
{

constexpr int kImageWidth = 880; // fits the help browser of a 1280-wide window

void fail(const QString& what)
{
    std::fprintf(stderr, "terval_helpshots: %s\n", qPrintable(what));
    std::fflush(stderr);
    std::_Exit(1);
}

// Lets the window run for ms, or until done() holds; false on time-out.
bool runFor(int ms, const std::function<bool()>& done = {})
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (done && done())
            return true;
        QThread::msleep(5);
    }
    return !done;
}

QPushButton* button(QWidget* w, const char* name)
{
    auto* b = w->findChild<QPushButton*>(QLatin1String(name));
    if (!b)
        fail(QStringLiteral("no button %1").arg(QLatin1String(name)));
    return b;
}

QImage shot(QWidget* w)
{
    runFor(150); // let queued replots land
    return w->grab().toImage().scaledToWidth(kImageWidth, Qt::SmoothTransformation);
}

void save(const QImage& image, const QString& dir, const QString& name)
{
    if (!image.save(dir + QLatin1Char('/') + name))
        fail(QStringLiteral("cannot write %1/%2").arg(dir, name));
}

// Numbered markers on the overview: title bar, page buttons, page, bottom bar.
QImage annotated(MainWindow* w)
{
    const QImage base = w->grab().toImage();
    QImage out = base.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    // Each marker sits where the area has room: the title's middle, the
    // free end of the tab row, the page's middle, left of the bottom edits.
    struct Area {
        const char* name;
        double x;
        double y;
    };
    const Area areas[] = {{"mainTopWidget", 0.5, 0.5},
                          {"widget_topButtons", 0.9, 0.5},
                          {"stackedWidget", 0.5, 0.5},
                          {"bottomWidget", 0.3, 0.5}};
    QFont font = p.font();
    font.setPixelSize(22);
    font.setBold(true);
    p.setFont(font);
    for (int i = 0; i < 4; ++i) {
        auto* area = w->findChild<QWidget*>(QLatin1String(areas[i].name));
        if (!area)
            fail(QStringLiteral("no area %1").arg(QLatin1String(areas[i].name)));
        QRect r(area->mapTo(w, QPoint(0, 0)), area->size());
        if (i == 0) {
            // the title bar holds the tab row: mark only the part above it
            auto* tabs = w->findChild<QWidget*>(QLatin1String(areas[1].name));
            r.setBottom(tabs->mapTo(w, QPoint(0, 0)).y() - 1);
        }
        p.setPen(QPen(QColor(0xE8, 0x5D, 0x1E), 3, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r.adjusted(3, 3, -3, -3), 8, 8);
        const QPoint c = r.topLeft() + QPoint(int(r.width() * areas[i].x), int(r.height() * areas[i].y));
        const QRect badge(c.x() - 20, c.y() - 20, 40, 40);
        p.setPen(QPen(Qt::white, 3));
        p.setBrush(QColor(0xE8, 0x5D, 0x1E));
        p.drawEllipse(badge);
        p.drawText(badge, Qt::AlignCenter, QString::number(i + 1));
    }
    p.end();
    return out.scaledToWidth(kImageWidth, Qt::SmoothTransformation);
}

void chooseLanguage(MainWindow* w, const QString& text)
{
    button(w, "btn_Language")->click();
    auto* menu = w->findChild<CustomMenu*>(QStringLiteral("languageMenu"));
    if (!menu)
        fail(QStringLiteral("no language menu"));
    for (QPushButton* item : menu->itemButtons())
        if (item->text() == text) {
            item->click();
            runFor(50);
            return;
        }
    fail(QStringLiteral("no language item %1").arg(text));
}

} // namespace

// The program's debug chatter would bury the build's own output.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    // (the offscreen platform's note about its runtime folder included)
    if (type != QtDebugMsg && type != QtInfoMsg && !text.startsWith(QLatin1String("QStandardPaths:")))
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

int main(int argc, char** argv)
{
    qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    if (argc != 3)
        fail(QStringLiteral("usage: terval_helpshots OUT_DIR REPLAY_CSV"));
    const QString outDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString replay = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    if (!QDir().mkpath(outDir))
        fail(QStringLiteral("cannot create %1").arg(outDir));

    // The program's files (settings, logs, the replay) go to a scratch folder.
    QTemporaryDir scratch;
    if (!scratch.isValid() || !QFile::copy(replay, scratch.filePath(QStringLiteral("mock.csv"))))
        fail(QStringLiteral("cannot stage the replay file %1").arg(replay));
    AppFolders::setOverride(scratch.path());
    QDir::setCurrent(scratch.path());

    auto* hub = new ParamManager(nullptr);
    hub->isMockData = 1;
    hub->initMockData();
    if (!hub->mockDataThread)
        fail(QStringLiteral("replay source not created"));

    auto* window = new MainWindow(hub);
    window->resize(1280, 720);
    window->show();
    runFor(200);

    // A live field through the whole processing, as the mock button gives it.
    auto* mainPage = window->findChild<MainModuleForm*>();
    if (!mainPage)
        fail(QStringLiteral("no main page"));
    // A short spectrum window, so that the spectrum shows within seconds.
    auto* fft = window->findChild<QLineEdit*>(QStringLiteral("edt_fftTime"));
    if (!fft)
        fail(QStringLiteral("no FFT edit"));
    fft->setText(QStringLiteral("2"));
    emit fft->editingFinished();
    button(window, "btn_mock")->click();
    if (!runFor(25000, [mainPage] { return mainPage->historyValues().size() >= 10000; }))
        fail(QStringLiteral("the replay did not reach the chart"));

    // What the configuration page shows once an instrument has answered.
    RefreshDataEx sweep;
    sweep.fsStart = 139916600;
    sweep.fsEnd = 699583000;
    sweep.fsStep = 10000;

    for (const QString& lang : {QStringLiteral("en"), QStringLiteral("zh")}) {
        if (lang == QLatin1String("zh"))
            chooseLanguage(window, QStringLiteral("中文"));
        button(window, "btnMain")->click();
        runFor(1200);
        save(annotated(window), outDir, QStringLiteral("window_%1.png").arg(lang));
        save(shot(window), outDir, QStringLiteral("main_%1.png").arg(lang));
        button(window, "btnSensitivity")->click();
        runFor(3000);
        save(shot(window), outDir, QStringLiteral("sensitivity_%1.png").arg(lang));
        button(window, "btnSave")->click();
        runFor(300);
        save(shot(window), outDir, QStringLiteral("save_%1.png").arg(lang));
        button(window, "btnConfig")->click();
        emit hub->sig_updateFormParamEx(sweep);
        runFor(300);
        save(shot(window), outDir, QStringLiteral("config_%1.png").arg(lang));
    }

    delete window;
    hub->mockDataThread->stop();
    hub->dataCheckerThread->stop();
    hub->modbusManager->shutdown();
    hub->modbusDataHandler->shutdown();
    hub->saveFileThread->shutdown();
    AppFolders::setOverride(QString());
    return 0;
}
