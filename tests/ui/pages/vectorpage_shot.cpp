// Screenshot tool for the vector page, which the program keeps hidden.
// Builds vector frames byte by byte from a synthetic field, decodes them
// with the data handler, draws the blocks on the page (alone, and in the
// main window with its button shown for the occasion) and saves both.
//
// Usage: vectorpage_shot OUTPUT_DIR

#include "core/appfolders.h"
#include "core/globalstate.h"
#include "hub/parammanager.h"
#include "link/modbusmanager.h"
#include "processing/datacheckerthread.h"
#include "processing/modbusdatahandler.h"
#include "recording/savefilethread.h"
#include "ui/main/mainwindow.h"
#include "ui/pages/vectormodulewidget.h"

#include <QApplication>
#include <QDir>
#include <QMutexLocker>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <random>

namespace
{

constexpr double kHzPerNt = 6.99583;

// One record: marker, value1 (int16, big-endian), value2 (40 bits, big-endian)
// chosen so that (value1 - 10) * 262144e9 / value2 is the frequency.
void appendRecord(QByteArray& frame, quint8 marker, double hz)
{
    const int value1 = 1010;
    const quint64 value2 = quint64(std::llround((value1 - 10) * 262144e9 / hz));
    frame.append(char(marker));
    frame.append(char((value1 >> 8) & 0xFF)).append(char(value1 & 0xFF));
    for (int shift = 32; shift >= 0; shift -= 8)
        frame.append(char((value2 >> shift) & 0xFF));
}

// Four x, y, z, s records as nine frequencies each.
QByteArray vectorFrame(int firstRecord, std::mt19937& gen)
{
    std::normal_distribution<double> noise(0.0, 0.15);
    QByteArray frame;
    int index = 0;
    for (int g = 0; g < 4; ++g) {
        const double t = (firstRecord + g) * 0.009;
        const double x = 20 * std::sin(2 * M_PI * 0.5 * t) + 3 * std::sin(2 * M_PI * 7.0 * t) + noise(gen);
        const double y = -15 * std::cos(2 * M_PI * 0.3 * t) + 2 * std::sin(2 * M_PI * 12.0 * t) + noise(gen);
        const double z = 5 + 10 * std::sin(2 * M_PI * 1.2 * t) + noise(gen);
        const double s = 50000 + 2 * std::sin(2 * M_PI * 0.2 * t) + 0.5 * std::sin(2 * M_PI * 25.0 * t) + noise(gen);
        const double f1 = s * kHzPerNt;
        const double f[9] = {f1 + x * kHzPerNt / 2, f1, f1 - x * kHzPerNt / 2,
                             f1 + y * kHzPerNt / 2, f1, f1 - y * kHzPerNt / 2,
                             f1 + z * kHzPerNt / 2, f1, f1 - z * kHzPerNt / 2};
        for (double hz : f) {
            static const quint8 head[4] = {0xE8, 0xEF, 0xE4, 0xE2};
            appendRecord(frame, index < 4 ? head[index] : 0xE0, hz);
            ++index;
        }
    }
    return frame;
}

QList<FIDVectorData> decodedBlocks(int frames)
{
    ModbusDataHandler handler;
    handler.shutdown(); // on this thread from here on
    QList<FIDVectorData> blocks;
    QObject::connect(&handler, &ModbusDataHandler::sig_updateVectorForm,
                     [&blocks](FIDVectorData d) { blocks.append(d); });
    std::mt19937 gen(3);
    for (int i = 0; i < frames; ++i)
        handler.slots_readDataFinished(AddrVectorFid, vectorFrame(i * 4, gen));
    return blocks;
}

void drawAll(VectorModuleWidget& page, const QList<FIDVectorData>& blocks)
{
    for (const FIDVectorData& d : blocks) {
        page.slots_updateVectorForm(d);
        page.onRefreshTimer();
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        qWarning("usage: vectorpage_shot OUTPUT_DIR");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    registerSharedMetaTypes();
    QTemporaryDir cwd;
    AppFolders::setOverride(cwd.path());
    QDir::setCurrent(cwd.path());

    ParamManager hub;
    // 2 s of spectrum window: the spectra are valid after 222 records.
    const auto setMeasTime = [](int s) {
        GlobalState& g = GlobalState::instance();
        QMutexLocker lock(&g.measTimeMutex);
        g.measTime = s;
    };
    setMeasTime(2);
    const QList<FIDVectorData> blocks = decodedBlocks(320);

    int status = 0;
    {
        VectorModuleWidget page(&hub);
        setMeasTime(2); // the page sets 10 when built
        page.resize(1497, 870);
        page.show();
        if (!QTest::qWaitForWindowExposed(&page))
            status = 1;
        drawAll(page, blocks);
        QTest::qWait(200);
        if (!page.grab().save(out + "/vector_page.png"))
            status = 1;
    }
    {
        MainWindow window(&hub);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            status = 1;
        auto* button = window.findChild<QPushButton*>(QStringLiteral("btnVector"));
        auto* page = window.findChild<VectorModuleWidget*>();
        button->setVisible(true);
        button->click();
        QTest::qWait(100);
        drawAll(*page, blocks);
        QTest::qWait(200);
        if (!window.grab().save(out + "/vector_page_in_window.png"))
            status = 1;
    }
    hub.dataCheckerThread->stop();
    hub.modbusManager->shutdown();
    hub.modbusDataHandler->shutdown();
    hub.saveFileThread->shutdown();
    AppFolders::setOverride(QString());
    return status;
}
