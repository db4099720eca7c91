// The main window over a real hub: which pages it builds and stacks, what a
// page switch stops and starts on the shared link, the refusals while a
// recording runs, the language switch and its setting, Clear Plot, Reboot
// and the reset after a disconnect, the lock-lost warning and closing.
// Calls on the pages are seen through what they do: the hub's signals and
// the pages' own state.
#include "ui/main/mainwindow.h"
#include "windowown.h"

// mainmoduleform.h reads a QPointer<QCPGraph> inline; the type must be complete.
#include <qcustomplot.h>

#include "core/appfolders.h"
#include "core/textini.h"
#include "hub/parammanager.h"
#include "processing/datacheckerthread.h"
#include "ui/pages/configmoduleform.h"
#include "ui/pages/helpmoduleform.h"
#include "ui/pages/mainmoduleform.h"
#include "ui/pages/monitormoduleform.h"
#include "ui/pages/savemoduleform.h"
#include "ui/pages/sensitivitymoduleform.h"
#include "ui/pages/vectormodulewidget.h"
#include "ui/widgets/custommenu.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

ParamManager* hub = nullptr;

// What the window and its pages asked of the link, in order.
class HubLog : public QObject
{
public:
    // rateSignals: also what a sampling-rate change tells the data handler
    explicit HubLog(ParamManager* h, bool rateSignals = false)
    {
        if (rateSignals) {
            connect(h, &ParamManager::sig_sendCustomModbusData, this,
                    [this](QByteArray f) { events << "frame:" + QString::fromLatin1(f.toHex().toUpper()); });
            connect(h, &ParamManager::sig_setOneHz, this,
                    [this](bool b) { events << QStringLiteral("oneHz:%1").arg(b ? "true" : "false"); });
            connect(h, &ParamManager::sig_setTwentyHz, this,
                    [this](bool b) { events << QStringLiteral("twentyHz:%1").arg(b ? "true" : "false"); });
            connect(h, &ParamManager::sig_syncDataByteCount, this, [this](int n, bool b) {
                events << QStringLiteral("bytes:%1,%2").arg(n).arg(b ? "true" : "false");
            });
            connect(h, &ParamManager::sig_syncDataParam, this,
                    [this](DataParam p) { events << QStringLiteral("dataRate:%1").arg(p.dataRate); });
        }
        connect(h, &ParamManager::sig_devStatusWorkerStart, this, [this] { events << "statusStart"; });
        connect(h, &ParamManager::sig_devStatusWorkerStop, this, [this] { events << "statusStop"; });
        connect(h, &ParamManager::sig_paramWorkerStart, this, [this] { events << "paramStart"; });
        connect(h, &ParamManager::sig_paramWorkerStop, this, [this] { events << "paramStop"; });
        connect(h, &ParamManager::sig_reboot, this, [this] { events << "reboot"; });
        connect(h, &ParamManager::sig_syncSaveParam, this,
                [this](bool on, int, QString, bool) { events << (on ? "saveOn" : "saveOff"); });
        connect(h, &ParamManager::sig_sendModbusData, this, [this](ModbusAddr a) {
            switch (a) {
            case Addrdds_start:
                events << "streamStart";
                break;
            case Addrdds_end:
                events << "streamEnd";
                break;
            case Addr40118_restart:
                events << "restart";
                break;
            case Addr40000:
                events << "identity";
                break;
            default:
                events << QStringLiteral("send%1").arg(int(a));
            }
        });
    }
    QStringList events;
};

const char* const kTabs[] = {"btnMain", "btnSensitivity", "btnVector", "btnSave", "btnHelp", "btnMonitor", "btnConfig"};

QPushButton* tab(MainWindow& w, int page)
{
    return w.findChild<QPushButton*>(QLatin1String(kTabs[page]));
}

QWidget* pageWidget(MainWindow& w, int page)
{
    switch (page) {
    case 0:
        return w.findChild<MainModuleForm*>();
    case 1:
        return w.findChild<SensitivityModuleForm*>();
    case 2:
        return w.findChild<VectorModuleWidget*>();
    case 3:
        return w.findChild<SaveModuleForm*>();
    case 4:
        return w.findChild<HelpModuleForm*>();
    case 5:
        return w.findChild<MonitorModuleForm*>();
    case 6:
        return w.findChild<ConfigModuleForm*>();
    }
    return nullptr;
}

QStackedWidget* stack(MainWindow& w)
{
    return w.findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
}

int shownPage(MainWindow& w)
{
    for (int i = 0; i < 7; ++i)
        if (stack(w)->currentWidget() == pageWidget(w, i))
            return i;
    return -1;
}

template <typename T> T* child(MainWindow& w, const char* name)
{
    return w.findChild<T*>(QLatin1String(name));
}

// Boxes for the operator: parentless, opened without waiting.
QList<QMessageBox*> operatorBoxes()
{
    QList<QMessageBox*> out;
    for (QWidget* x : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(x))
            if (!b->parentWidget() && b->isVisible())
                out << b;
    return out;
}

void closeBoxes()
{
    for (QMessageBox* b : operatorBoxes())
        b->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void setHubState(bool recording, bool running, bool held)
{
    hub->m_isSave = recording;
    hub->setRunning(running);
    hub->setParamPollingHeld(held);
}

std::unique_ptr<MainWindow> makeWindow(int isTest = 1, int isChinese = 0)
{
    hub->isTest = isTest;
    hub->isChinese = isChinese;
    return std::make_unique<MainWindow>(hub);
}

// A window shown and exposed; null if it never was.
std::unique_ptr<MainWindow> shownWindow(int isTest = 1, int isChinese = 0)
{
    auto w = makeWindow(isTest, isChinese);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get())) {
        qWarning("the main window was not exposed");
        return nullptr;
    }
    return w;
}

bool fftRowShown(MainWindow& w)
{
    return child<QWidget>(w, "edt_fftTime")->isVisibleTo(&w);
}

QString iniValue(const char* key)
{
    QSettings s(QDir::current().filePath(hub->iniPath), QSettings::IniFormat);
    return s.value(QStringLiteral("Sensitivity/") + QLatin1String(key)).toString();
}

// Presses the language button; the menu it opened, or null.
CustomMenu* openLanguageMenu(MainWindow& w)
{
    child<QPushButton>(w, "btn_Language")->click();
    CustomMenu* popup = nullptr;
    for (QWidget* t : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<CustomMenu*>(t); m && m->isVisible())
            popup = m;
    return popup;
}

// Shortly after, closes any popup that opened and notes that one did.
void closePopupSoon(QObject* context, bool& opened)
{
    QTimer::singleShot(50, context, [&opened] {
        if (QWidget* p = QApplication::activePopupWidget()) {
            opened = true;
            p->close();
        }
    });
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startState_data();
    void startState();
    void configReachableWithoutTestMode();
    void pageSwitch_data();
    void pageSwitch();
    void bottomRowsFollowPages();
    void languageAtStart_data();
    void languageAtStart();
    void languageRoundTrip();
    void languageKeepsTheRestOfTheFile();
    void clearPlotClearsShownChart();
    void mainChartDrawnOnlyOnMainPage();
    void rebootResetsPagesInOrder();
    void disconnectBurstResetsOnce();
    void lockLostThrottle();
    void lockLostQuietOnParamPages();
    void closeAsksForIdentity();
    void bottomBarEdits_data();
    void bottomBarEdits();
    void dataRateMenu_data();
    void dataRateMenu();
    void dataRateMenuRefusedWhileRecording();
    void disabledDataRateSwallowsPress();
    void rateChangeRequested_data();
    void rateChangeRequested();
    void screenshots();

private:
    QTemporaryDir folder;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(folder.isValid());
    QApplication::setQuitOnLastWindowClosed(false);
    QDir::setCurrent(folder.path());
    AppFolders::setOverride(folder.path());
    hub = new ParamManager(); // its workers live until the process ends
    QVERIFY(hub->getDataChecker());
}

void TestMainWindow::init()
{
    setHubState(false, false, false);
    hub->samplingRate = 1000;
    hub->dataParam = DataParam();
    hub->isTest = 0;
    hub->isChinese = 0;
    QFile::remove(QDir::current().filePath(hub->iniPath));
}

void TestMainWindow::cleanup()
{
    closeBoxes();
    emit hub->sig_devStatusWorkerStop();
    emit hub->sig_paramWorkerStop();
    setHubState(false, false, false);
}

void TestMainWindow::startState_data()
{
    QTest::addColumn<int>("isTest");
    QTest::addColumn<int>("samplingRate");
    QTest::addColumn<QString>("dataRateText");
    QTest::newRow("isTest 0") << 0 << 1000 << "0.001";
    QTest::newRow("isTest 1") << 1 << 1000 << "0.001";
    QTest::newRow("isTest 0 at 200/s") << 0 << 200 << "0.005";
    QTest::newRow("isTest 1 at 20/s") << 1 << 20 << "0.05";
}

void TestMainWindow::startState()
{
    QFETCH(int, isTest);
    QFETCH(int, samplingRate);
    QFETCH(QString, dataRateText);
    hub->samplingRate = samplingRate;
    auto w = shownWindow(isTest);
    QVERIFY(w);

    QStackedWidget* s = stack(*w);
    // every page exists, whether stacked or not, parented to the window
    for (int i = 0; i < 7; ++i) {
        QVERIFY2(pageWidget(*w, i), kTabs[i]);
        QVERIFY(w->isAncestorOf(pageWidget(*w, i)));
    }
    QList<int> expectedStack{0, 1, 2, 3, 4};
    if (isTest == 1)
        expectedStack << 5;
    expectedStack << 6;
    QCOMPARE(s->count(), expectedStack.size());
    for (int i = 0; i < expectedStack.size(); ++i)
        QCOMPARE(s->widget(i), pageWidget(*w, expectedStack[i]));

    QCOMPARE(tab(*w, 5)->isVisibleTo(w.get()), isTest == 1);
    QCOMPARE(pageWidget(*w, 5)->isVisibleTo(w.get()), false); // not the page shown
    QVERIFY(!tab(*w, 2)->isVisibleTo(w.get()));
    for (int page : {0, 1, 3, 4, 6})
        QVERIFY2(tab(*w, page)->isVisibleTo(w.get()), kTabs[page]);

    QCOMPARE(shownPage(*w), 0);
    QVERIFY(pageWidget(*w, 0)->isVisible());
    QVERIFY(tab(*w, 0)->isChecked());
    QCOMPARE(child<QLineEdit>(*w, "edt_dataRate")->text(), dataRateText);
    QVERIFY(!fftRowShown(*w));
    QVERIFY(child<QWidget>(*w, "edt_lowPass")->isVisible());
    auto* config = static_cast<ConfigModuleForm*>(pageWidget(*w, 6));
    QVERIFY(config->isFilterChecked());
    QVERIFY(config->isFilterVisible());
    QVERIFY(operatorBoxes().isEmpty());
}

void TestMainWindow::configReachableWithoutTestMode()
{
    auto w = makeWindow(0);
    HubLog log(hub);
    tab(*w, 6)->click();
    QCOMPARE(shownPage(*w), 6);
    QCOMPARE(stack(*w)->currentIndex(), 5); // sixth stacked widget
    QCOMPARE(log.events, (QStringList{"statusStop", "paramStart"}));
    tab(*w, 4)->click();
    QCOMPARE(shownPage(*w), 4);
    tab(*w, 0)->click();
    QCOMPARE(shownPage(*w), 0);
    QCOMPARE(stack(*w)->currentIndex(), 0);
}

void TestMainWindow::pageSwitch_data()
{
    QTest::addColumn<bool>("recording");
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("held");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("box");

    const QString noBox;
    const QString debugRefused = QStringLiteral("保存磁场信息中,要切换到调试界面,请先停止保存!");
    const QString configRefused = QStringLiteral("保存磁场信息中,要切换到配置界面,请先停止保存!");
    using L = QStringList;

    // The stream, once started on a live page, keeps running on 2, 3 and 4.
    QTest::newRow("0>3 measuring") << false << true << true << 0 << 3 << L{} << 3 << noBox;
    QTest::newRow("0>3 idle") << false << false << false << 0 << 3 << L{} << 3 << noBox;
    QTest::newRow("0>4 measuring") << false << true << true << 0 << 4 << L{} << 4 << noBox;
    QTest::newRow("1>2 measuring") << false << true << true << 1 << 2 << L{} << 2 << noBox;
    QTest::newRow("3>0 measuring, started") << false << true << true << 3 << 0 << L{} << 0 << noBox;
    QTest::newRow("1>0 idle: status poll") << false << false << false << 1 << 0 << L{"statusStart"} << 0 << noBox;
    QTest::newRow("0>1 measuring, started") << false << true << true << 0 << 1 << L{} << 1 << noBox;
    QTest::newRow("0>1 measuring, not started") << false << true << false << 0 << 1 << L{"streamStart"} << 1 << noBox;

    // Entering 5 or 6 from any page stops the stream and the status poll.
    QTest::newRow("0>6 idle") << false << false << false << 0 << 6 << L{"statusStop", "paramStart"} << 6 << noBox;
    QTest::newRow("0>6 measuring") << false << true << true << 0 << 6 << L{"streamEnd", "statusStop", "paramStart"} << 6
                                   << noBox;
    QTest::newRow("0>5 measuring") << false << true << true << 0 << 5 << L{"streamEnd", "statusStop", "paramStart"} << 5
                                   << noBox;
    QTest::newRow("1>6 measuring") << false << true << true << 1 << 6 << L{"streamEnd", "statusStop", "paramStart"} << 6
                                   << noBox;
    QTest::newRow("1>5 idle") << false << false << false << 1 << 5 << L{"statusStop", "paramStart"} << 5 << noBox;
    QTest::newRow("2>6 idle") << false << false << false << 2 << 6 << L{"statusStop", "paramStart"} << 6 << noBox;
    QTest::newRow("3>6 idle") << false << false << false << 3 << 6 << L{"statusStop", "paramStart"} << 6 << noBox;
    QTest::newRow("3>6 measuring") << false << true << true << 3 << 6 << L{"streamEnd", "statusStop", "paramStart"} << 6
                                   << noBox;
    QTest::newRow("4>5 measuring") << false << true << true << 4 << 5 << L{"streamEnd", "statusStop", "paramStart"} << 5
                                   << noBox;
    QTest::newRow("5>6 measuring") << false << true << false << 5 << 6 << L{"paramStop", "paramStart"} << 6 << noBox;
    QTest::newRow("6>5 idle") << false << false << false << 6 << 5 << L{"paramStop", "paramStart"} << 5 << noBox;

    // Leaving them, traffic resumes as on the main page.
    QTest::newRow("6>0 idle") << false << false << false << 6 << 0 << L{"paramStop", "statusStart"} << 0 << noBox;
    QTest::newRow("6>0 measuring") << false << true << false << 6 << 0 << L{"paramStop", "streamStart"} << 0 << noBox;
    QTest::newRow("6>1 measuring") << false << true << false << 6 << 1 << L{"paramStop", "streamStart"} << 1 << noBox;
    QTest::newRow("6>1 idle") << false << false << false << 6 << 1 << L{"paramStop", "statusStart"} << 1 << noBox;
    QTest::newRow("6>3 idle") << false << false << false << 6 << 3 << L{"paramStop", "statusStart"} << 3 << noBox;
    QTest::newRow("6>3 measuring") << false << true << false << 6 << 3 << L{"paramStop", "streamStart"} << 3 << noBox;
    QTest::newRow("5>4 measuring") << false << true << false << 5 << 4 << L{"paramStop", "streamStart"} << 4 << noBox;
    QTest::newRow("5>2 idle") << false << false << false << 5 << 2 << L{"paramStop", "statusStart"} << 2 << noBox;

    // The tab of the page shown: nothing at all.
    QTest::newRow("0>0") << false << true << true << 0 << 0 << L{} << 0 << noBox;
    QTest::newRow("6>6") << false << false << false << 6 << 6 << L{} << 6 << noBox;
    QTest::newRow("3>3 recording") << true << true << true << 3 << 3 << L{} << 3 << noBox;

    // While recording: 5 and 6 refused, the rest as usual.
    QTest::newRow("rec 0>6") << true << true << true << 0 << 6 << L{} << 0 << configRefused;
    QTest::newRow("rec 0>5") << true << false << false << 0 << 5 << L{} << 0 << debugRefused;
    QTest::newRow("rec 3>5") << true << true << true << 3 << 5 << L{} << 3 << debugRefused;
    QTest::newRow("rec 1>6") << true << true << true << 1 << 6 << L{} << 1 << configRefused;
    QTest::newRow("rec 4>6") << true << false << false << 4 << 6 << L{} << 4 << configRefused;
    QTest::newRow("rec 0>4") << true << true << true << 0 << 4 << L{} << 4 << noBox;
    QTest::newRow("rec 0>3") << true << true << true << 0 << 3 << L{} << 3 << noBox;
    QTest::newRow("rec 1>3") << true << true << true << 1 << 3 << L{} << 3 << noBox;
    QTest::newRow("rec 3>0") << true << true << true << 3 << 0 << L{} << 0 << noBox;
}

void TestMainWindow::pageSwitch()
{
    QFETCH(bool, recording);
    QFETCH(bool, running);
    QFETCH(bool, held);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QStringList, events);
    QFETCH(int, shown);
    QFETCH(QString, box);

    auto w = shownWindow(1);
    QVERIFY(w);
    if (from != 0)
        tab(*w, from)->click();
    QCOMPARE(shownPage(*w), from);
    setHubState(recording, running, held);
    auto* sensitivity = static_cast<SensitivityModuleForm*>(pageWidget(*w, 1));
    auto* save = static_cast<SaveModuleForm*>(pageWidget(*w, 3));
    const bool consoleBefore = save->isConsoleOutputEnabled();

    HubLog log(hub);
    tab(*w, to)->click();

    QCOMPARE(log.events, events);
    QCOMPARE(shownPage(*w), shown);
    QVERIFY(pageWidget(*w, shown)->isVisible());
    // the tab of the page shown is the checked one, also after a refusal
    QVERIFY(tab(*w, shown)->isChecked());
    if (shown != to)
        QVERIFY(!tab(*w, to)->isChecked());
    QVERIFY(!tab(*w, 2)->isChecked() || shown == 2);
    QCOMPARE(sensitivity->active(), shown == 1);
    QCOMPARE(save->isConsoleOutputEnabled(), shown == 3 ? (from == 3 ? consoleBefore : recording) : false);

    const QList<QMessageBox*> boxes = operatorBoxes();
    if (box.isEmpty()) {
        QVERIFY(boxes.isEmpty());
    } else {
        QCOMPARE(boxes.size(), 1);
        QMessageBox* b = boxes.first();
        QCOMPARE(b->text(), box);
        QCOMPARE(b->windowTitle(), QStringLiteral("提示"));
        QCOMPARE(b->icon(), QMessageBox::Information);
        QVERIFY(b->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(!b->windowIcon().isNull());
        // the window did not wait for the box
        QVERIFY(!QApplication::activeModalWidget() || QApplication::activeModalWidget() == b);
    }
}

void TestMainWindow::bottomRowsFollowPages()
{
    auto w = shownWindow(1);
    QVERIFY(w);
    const struct {
        int page;
        bool fft;
    } steps[] = {
        {1, true},  // spectrum: FFT row
        {3, true},  // recording keeps the rows it found
        {2, false}, // vector: filter rows
        {1, true},  {6, true}, {5, true}, {4, true}, {0, false}, {4, false},
    };
    for (const auto& s : steps) {
        tab(*w, s.page)->click();
        QCOMPARE(shownPage(*w), s.page);
        QCOMPARE(fftRowShown(*w), s.fft);
        QCOMPARE(child<QWidget>(*w, "edt_lowPass")->isVisible(), !s.fft);
        QCOMPARE(child<QWidget>(*w, "lbl_highPass")->isVisible(), !s.fft);
        QCOMPARE(child<QWidget>(*w, "label_FFT_Unit")->isVisible(), s.fft);
    }
}

void TestMainWindow::languageAtStart_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("chinese");
    QTest::newRow("btn_clearPlot") << "btn_clearPlot"
                                   << "Clear Plot"
                                   << "清除图表";
    QTest::newRow("lbl_lowPass") << "lbl_lowPass"
                                 << "Low Pass"
                                 << "低通";
    QTest::newRow("lbl_highPass") << "lbl_highPass"
                                  << "High Pass"
                                  << "高通";
    QTest::newRow("lbl_fftTime") << "lbl_fftTime"
                                 << "FFT"
                                 << "傅立叶变换时间";
    QTest::newRow("label_FFT_Unit") << "label_FFT_Unit"
                                    << "S"
                                    << "秒";
    QTest::newRow("label") << "label"
                           << "Data Rate"
                           << "数据速率";
    QTest::newRow("label_DataRateUnit") << "label_DataRateUnit"
                                        << "S"
                                        << "秒";
    QTest::newRow("btn_reboot") << "btn_reboot"
                                << "Reboot"
                                << "重启";
    QTest::newRow("btnMain") << "btnMain"
                             << "Main"
                             << "主面板";
    QTest::newRow("btnSensitivity") << "btnSensitivity"
                                    << "Sensitivity"
                                    << "频率谱";
    QTest::newRow("btnVector") << "btnVector"
                               << "Vector"
                               << "矢量";
    QTest::newRow("btnSave") << "btnSave"
                             << "Save"
                             << "保存";
    QTest::newRow("btnHelp") << "btnHelp"
                             << "Help"
                             << "帮助";
    QTest::newRow("btnMonitor") << "btnMonitor"
                                << "Debug"
                                << "调试";
    QTest::newRow("btnConfig") << "btnConfig"
                               << "Config"
                               << "配置";
    QTest::newRow("label_language") << "label_language"
                                    << "English"
                                    << "中文";
}

// Started with isChinese 1 the window is Chinese before it is shown; English
// brings back the form's texts.
void TestMainWindow::languageAtStart()
{
    QFETCH(QString, name);
    QFETCH(QString, english);
    QFETCH(QString, chinese);
    auto w = makeWindow(1, 1);
    QObject* x = windowOwn(w.get(), name);
    QVERIFY(x);
    QCOMPARE(x->property("text").toString(), chinese);

    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    CustomMenu* popup = openLanguageMenu(*w);
    QVERIFY(popup);
    QCOMPARE(popup->width(), 111);
    QPushButton* englishItem = nullptr;
    for (QPushButton* b : popup->itemButtons())
        if (b->text() == QLatin1String("English"))
            englishItem = b;
    QVERIFY(englishItem);
    englishItem->click();
    QCOMPARE(x->property("text").toString(), english);
    QCOMPARE(popup->width(), 136);
    QCOMPARE(iniValue("isChinese"), QStringLiteral("0"));
    QCOMPARE(hub->isChinese, 0);
}

void TestMainWindow::languageRoundTrip()
{
    auto w = shownWindow(0, 0);
    QVERIFY(w);
    QSignalSpy languages(w.get(), &MainWindow::sig_ChangeLanguage);
    QCOMPARE(child<QPushButton>(*w, "btnMain")->text(), QStringLiteral("Main"));

    const auto choose = [&](const QString& item) {
        CustomMenu* popup = openLanguageMenu(*w);
        QVERIFY(popup);
        for (QPushButton* b : popup->itemButtons())
            if (b->text() == item)
                b->click();
        QVERIFY(!popup->isVisible());
    };

    choose(QStringLiteral("中文"));
    QCOMPARE(languages.count(), 1);
    QCOMPARE(languages.at(0).at(0).toInt(), 1);
    QCOMPARE(child<QPushButton>(*w, "btnMain")->text(), QStringLiteral("主面板"));
    QCOMPARE(child<QLabel>(*w, "lbl_fftTime")->text(), QStringLiteral("傅立叶变换时间"));
    QCOMPARE(child<QLabel>(*w, "label_language")->text(), QStringLiteral("中文"));
    QCOMPARE(iniValue("isChinese"), QStringLiteral("1"));
    QCOMPARE(hub->isChinese, 1);

    // Chinese twice: the kept texts are still the English ones
    choose(QStringLiteral("中文"));
    choose(QStringLiteral("English"));
    QCOMPARE(languages.count(), 3);
    QCOMPARE(languages.at(2).at(0).toInt(), 0);
    QCOMPARE(child<QPushButton>(*w, "btnMain")->text(), QStringLiteral("Main"));
    QCOMPARE(child<QPushButton>(*w, "btn_reboot")->text(), QStringLiteral("Reboot"));
    QCOMPARE(child<QLabel>(*w, "label_language")->text(), QStringLiteral("English"));
    QCOMPARE(iniValue("isChinese"), QStringLiteral("0"));

    // a second window keeps its own texts: it starts in English too
    hub->isChinese = 0;
    auto second = makeWindow(0, 0);
    QCOMPARE(child<QPushButton>(*second, "btnMain")->text(), QStringLiteral("Main"));
}

// The language is written into a hand-edited file holding a value Qt's own
// INI format would crash on: every other key keeps its text, and the file
// written is one that Qt's format reads.
void TestMainWindow::languageKeepsTheRestOfTheFile()
{
    const QByteArray before = "; edited by hand\n[Sensitivity]\nxAxisUpper = 300\nisChinese=0\n"
                              "other=@Variant(\\0\\0\\0\\[Genx7f)\n[Com]\nbaudRate=115200\n"
                              "[Server]\nGPSCom=\"COM4, COM5\"\n";
    const QString path = QDir::current().filePath(hub->iniPath);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(before) == before.size());
    f.close();

    auto w = shownWindow(0, 0);
    QVERIFY(w);
    CustomMenu* popup = openLanguageMenu(*w);
    QVERIFY(popup);
    for (QPushButton* b : popup->itemButtons())
        if (b->text() == QStringLiteral("中文"))
            b->click();
    QCOMPARE(hub->isChinese, 1);

    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray after = f.readAll();
    f.close();
    const QSettings::SettingsMap was = TextIni::parse(before).map;
    const QSettings::SettingsMap is = TextIni::parse(after).map;
    QCOMPARE(is.keys(), was.keys());
    QCOMPARE(is.value("Sensitivity/isChinese").toString(), QStringLiteral("1"));
    QCOMPARE(is.value("Sensitivity/xAxisUpper").toString(), QStringLiteral("300"));
    QCOMPARE(is.value("Com/baudRate").toString(), QStringLiteral("115200"));
    QCOMPARE(is.value("Server/GPSCom").toString(), QStringLiteral("COM4, COM5"));
    const QString variant = QStringLiteral("@Variant(") + QString(3, QChar(0)) + QStringLiteral("Genx7f)");
    QCOMPARE(is.value("Sensitivity/other").toString(), variant);

    // Qt's format on a copy (QSettings keeps the files it has read).
    const QString copy = folder.filePath(QStringLiteral("written-copy.ini"));
    QFile::remove(copy);
    QVERIFY(QFile::copy(path, copy));
    QSettings qt(copy, QSettings::IniFormat);
    QCOMPARE(qt.value("Sensitivity/isChinese").toString(), QStringLiteral("1"));
    QCOMPARE(qt.value("Sensitivity/other").toString(), variant);
    QCOMPARE(qt.value("Server/GPSCom").toString(), QStringLiteral("COM4, COM5"));
}

void TestMainWindow::clearPlotClearsShownChart()
{
    auto w = makeWindow(1);
    auto* main = static_cast<MainModuleForm*>(pageWidget(*w, 0));
    setHubState(false, true, true);
    const auto feed = [&] {
        emit hub->sig_updateForm(QVector<double>(50, 50000.0), Freq1000Hz);
        QTRY_VERIFY(!main->historyValues().isEmpty());
    };
    QPushButton* clear = child<QPushButton>(*w, "btn_clearPlot");

    feed();
    tab(*w, 3)->click();
    clear->click();
    QVERIFY(!main->historyValues().isEmpty()); // another page's chart stays
    tab(*w, 1)->click();
    clear->click();
    QVERIFY(!main->historyValues().isEmpty());
    tab(*w, 0)->click();
    clear->click();
    QVERIFY(main->historyValues().isEmpty());
}

void TestMainWindow::mainChartDrawnOnlyOnMainPage()
{
    auto w = makeWindow(1);
    auto* main = static_cast<MainModuleForm*>(pageWidget(*w, 0));
    setHubState(false, true, true);
    child<QPushButton>(*w, "btn_clearPlot")->click(); // the badges start with a sample text
    QVERIFY(main->lastBadgeText().isEmpty());
    tab(*w, 3)->click();
    emit hub->sig_updateForm(QVector<double>(50, 50000.0), Freq1000Hz);
    QTRY_VERIFY(!main->historyValues().isEmpty());
    QTest::qWait(60);
    QVERIFY(main->lastBadgeText().isEmpty());
    tab(*w, 0)->click();
    emit hub->sig_updateForm(QVector<double>(50, 50001.0), Freq1000Hz);
    QTRY_VERIFY(!main->lastBadgeText().isEmpty());
}

void TestMainWindow::rebootResetsPagesInOrder()
{
    auto w = makeWindow(1);
    tab(*w, 3)->click();
    auto* config = static_cast<ConfigModuleForm*>(pageWidget(*w, 6));
    config->firstParamUpdate = false;
    setHubState(false, true, true);
    hub->m_filePathName = QStringLiteral("file/x.csv");

    HubLog log(hub);
    child<QPushButton>(*w, "btn_reboot")->click();
    // from the event loop, not inside the click
    QVERIFY(log.events.isEmpty());
    QVERIFY(!config->firstParamUpdate);
    QTRY_VERIFY(config->firstParamUpdate);
    QCOMPARE(log.events, (QStringList{"streamEnd", "restart", "reboot", "paramStop", "saveOff"}));
    QVERIFY(!hub->isRunning());
    QVERIFY(!hub->isParamPollingHeld());
    QCOMPARE(shownPage(*w), 3);
    QVERIFY(tab(*w, 3)->isChecked());
    QVERIFY(operatorBoxes().isEmpty()); // asks nothing
}

void TestMainWindow::disconnectBurstResetsOnce()
{
    auto w = makeWindow(1);
    HubLog log(hub);
    for (int i = 0; i < 5; ++i)
        emit hub->sig_disconnect();
    child<QPushButton>(*w, "btn_reboot")->click();
    QVERIFY(log.events.isEmpty());
    QTRY_COMPARE(log.events.count("reboot"), 1);
    QTest::qWait(50);
    QCOMPARE(log.events.count("reboot"), 1);
    QCOMPARE(log.events.count("restart"), 1);

    // once served, the next disconnect resets again
    emit hub->sig_disconnect();
    QTRY_COMPARE(log.events.count("reboot"), 2);
    QTest::qWait(50);
    QCOMPARE(log.events.count("reboot"), 2);
}

void TestMainWindow::lockLostThrottle()
{
    auto w = shownWindow(1);
    QVERIFY(w);
    qint64 now = 1700000000;
    w->setUtcClock([&now] { return now; });
    QMessageBox* box = w->findChild<QMessageBox*>();
    QVERIFY(box);
    QCOMPARE(box->parentWidget(), w.get());
    QCOMPARE(box->windowTitle(), QStringLiteral("提示"));
    QCOMPARE(box->text(), QStringLiteral("设备处于失锁状态!"));
    QCOMPARE(box->icon(), QMessageBox::Information);
    QVERIFY(!box->isVisible());
    DataCheckerThread* checker = hub->getDataChecker();

    const auto message = [&](qint64 at, const QString& text) {
        now = at;
        emit checker->sig_dataCheckMsg(at, text);
    };
    message(1700000000, QStringLiteral("设备失锁中"));
    QVERIFY(box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("2023-11-14 22:13:20 UTC 设备失锁中"));
    box->hide();

    message(1700000005, QStringLiteral("second"));
    QVERIFY(!box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("2023-11-14 22:13:20 UTC 设备失锁中"));

    message(1700000010, QStringLiteral("third"));
    QVERIFY(box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("2023-11-14 22:13:30 UTC third"));

    // a box still open only gets the new text; the same box is reused
    message(1700000020, QStringLiteral("fourth"));
    QCOMPARE(box->text(), QStringLiteral("2023-11-14 22:13:40 UTC fourth"));
    QCOMPARE(w->findChildren<QMessageBox*>().size(), 1);
    QVERIFY(operatorBoxes().isEmpty());
    box->hide();
}

void TestMainWindow::lockLostQuietOnParamPages()
{
    auto w = shownWindow(1);
    QVERIFY(w);
    qint64 now = 1700000000;
    w->setUtcClock([&now] { return now; });
    QMessageBox* box = w->findChild<QMessageBox*>();
    DataCheckerThread* checker = hub->getDataChecker();
    const auto message = [&](qint64 at) {
        now = at;
        emit checker->sig_dataCheckMsg(at, QStringLiteral("x"));
    };

    for (int page : {5, 6}) {
        tab(*w, page)->click();
        message(now + 20);
        QVERIFY2(!box->isVisible(), kTabs[page]);
    }
    // the quiet span counts from the last message seen there
    const qint64 seen = now;
    tab(*w, 3)->click();
    message(seen + 9);
    QVERIFY(!box->isVisible());
    message(seen + 10);
    QVERIFY(box->isVisible());
    box->hide();
}

void TestMainWindow::closeAsksForIdentity()
{
    auto w = shownWindow(1);
    QVERIFY(w);
    QSignalSpy sent(hub, &ParamManager::sig_sendModbusData);
    QVERIFY(w->close());
    QCOMPARE(sent.count(), 1);
    QCOMPARE(sent.at(0).at(0).value<ModbusAddr>(), Addr40000);
    QVERIFY(!w->isVisible());
}

void TestMainWindow::screenshots()
{
    QString dir = qEnvironmentVariable("TERVAL_BINARY_DIR");
    if (dir.isEmpty())
        dir = QDir::currentPath();
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/screenshots")));
    for (int chinese : {0, 1}) {
        auto w = shownWindow(0, chinese);
        QVERIFY(w);
        QCOMPARE(w->size(), QSize(1280, 720));
        const QImage shot = w->grab().toImage();
        const QString path = dir + (chinese ? QStringLiteral("/screenshots/mainwindow-zh.png")
                                            : QStringLiteral("/screenshots/mainwindow-en.png"));
        QVERIFY(shot.save(path));
        qInfo("screenshot: %s", qPrintable(path));
    }
}

void TestMainWindow::bottomBarEdits_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("lowPass");
    QTest::addColumn<int>("highPass");
    QTest::addColumn<int>("fft");
    QTest::newRow("low pass 10") << "edt_lowPass"
                                 << "10"
                                 << "10" << 10 << 0 << 10;
    QTest::newRow("low pass leading zeros") << "edt_lowPass"
                                            << "007"
                                            << "7" << 7 << 0 << 10;
    QTest::newRow("low pass 99999") << "edt_lowPass"
                                    << "99999"
                                    << "99999" << 99999 << 0 << 10;
    QTest::newRow("low pass above 99999") << "edt_lowPass"
                                          << "100000"
                                          << "1000" << 1000 << 0 << 10;
    QTest::newRow("low pass empty") << "edt_lowPass"
                                    << ""
                                    << "0" << 0 << 0 << 10;
    QTest::newRow("low pass 0") << "edt_lowPass"
                                << "0"
                                << "0" << 0 << 0 << 10;
    QTest::newRow("high pass 3") << "edt_highPass"
                                 << "3"
                                 << "3" << 0 << 3 << 10;
    QTest::newRow("high pass too large") << "edt_highPass"
                                         << "123456"
                                         << "1000" << 0 << 1000 << 10;
    QTest::newRow("fft 1") << "edt_fftTime"
                           << "1"
                           << "1" << 0 << 0 << 1;
    QTest::newRow("fft 0") << "edt_fftTime"
                           << "0"
                           << "1" << 0 << 0 << 1;
    QTest::newRow("fft empty") << "edt_fftTime"
                               << ""
                               << "1" << 0 << 0 << 1;
    QTest::newRow("fft 2") << "edt_fftTime"
                           << "2"
                           << "2" << 0 << 0 << 2;
    QTest::newRow("fft 999") << "edt_fftTime"
                             << "999"
                             << "999" << 0 << 0 << 999;
    QTest::newRow("fft 1000") << "edt_fftTime"
                              << "1000"
                              << "1000" << 0 << 0 << 1000;
    QTest::newRow("fft 5000") << "edt_fftTime"
                              << "5000"
                              << "1000" << 0 << 0 << 1000;
}

void TestMainWindow::bottomBarEdits()
{
    QFETCH(QString, edit);
    QFETCH(QString, input);
    QFETCH(QString, shown);
    QFETCH(int, lowPass);
    QFETCH(int, highPass);
    QFETCH(int, fft);
    auto w = makeWindow(1);
    QSignalSpy synced(hub, &ParamManager::sig_syncDataParam);
    auto* e = w->findChild<QLineEdit*>(edit);
    QVERIFY(e);
    QVERIFY(e->validator());
    e->setText(input);
    emit e->editingFinished();
    QCOMPARE(e->text(), shown);
    QCOMPARE(synced.count(), 1);
    const DataParam sent = synced.at(0).at(0).value<DataParam>();
    QCOMPARE(sent.lowPass, lowPass);
    QCOMPARE(sent.highPass, highPass);
    QCOMPARE(sent.fftSeconds, fft);
    QCOMPARE(hub->dataParam.lowPass, lowPass);
    QCOMPARE(hub->dataParam.highPass, highPass);
    QCOMPARE(hub->dataParam.fftSeconds, fft);
    // one filter at a time: the other edit is locked while one is set
    QCOMPARE(child<QLineEdit>(*w, "edt_highPass")->isReadOnly(), lowPass >= 1);
    QCOMPARE(child<QLineEdit>(*w, "edt_lowPass")->isReadOnly(), highPass > 0);
}

void TestMainWindow::dataRateMenu_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<int>("samplingRate");
    QTest::addColumn<QString>("shownRate");
    using L = QStringList;
    // frames: write 1000 / 200 to register 40086, CRC from an independent CRC-16/MODBUS
    QTest::newRow("0.001") << "0.001" << L{"statusStop",     "dataRate:0.001",  "oneHz:false",
                                           "twentyHz:false", "bytes:1000,true", "frame:01109C9600010203E8E7D1",
                                           "statusStart"}
                           << 1000 << "0.001";
    QTest::newRow("0.005") << "0.005" << L{"statusStop",     "dataRate:0.005", "oneHz:false",
                                           "twentyHz:false", "bytes:200,true", "frame:01109C9600010200C8E6F9",
                                           "statusStart"}
                           << 200 << "0.005";
    QTest::newRow("0.05") << "0.05" << L{"statusStop",    "dataRate:0.05",    "oneHz:false",
                                         "twentyHz:true", "bytes:1000,false", "frame:01109C9600010203E8E7D1",
                                         "statusStart"}
                          << 20 << "0.05";
    QTest::newRow("1") << "1" << L{"statusStop",     "dataRate:1",       "oneHz:true",
                                   "twentyHz:false", "bytes:1000,false", "frame:01109C9600010203E8E7D1",
                                   "statusStart"}
                       << 1 << "1";
}

void TestMainWindow::dataRateMenu()
{
    QFETCH(QString, item);
    QFETCH(QStringList, events);
    QFETCH(int, samplingRate);
    QFETCH(QString, shownRate);
    auto w = shownWindow(1);
    QVERIFY(w);
    auto* edit = child<QLineEdit>(*w, "edt_dataRate");
    hub->setParamPollingHeld(true);

    QStringList offered;
    bool chose = false;
    QTimer::singleShot(50, this, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* a : menu->actions()) {
            offered << a->text();
            if (a->text() == item) {
                menu->setActiveAction(a);
                chose = true;
            }
        }
        QTest::keyClick(menu, Qt::Key_Return);
    });
    HubLog log(hub, true);
    QTest::mousePress(edit, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QVERIFY(chose);
    QCOMPARE(offered, (QStringList{"0.001", "0.005", "0.05", "1"}));
    QCOMPARE(log.events, events);
    QCOMPARE(hub->samplingRate, samplingRate);
    QCOMPARE(hub->dataParam.dataRate, 1.0 / samplingRate);
    QCOMPARE(edit->text(), shownRate);
    QVERIFY(!hub->isParamPollingHeld());
    // no device connected: no advice box
    QVERIFY(operatorBoxes().isEmpty());
}

void TestMainWindow::dataRateMenuRefusedWhileRecording()
{
    auto w = shownWindow(1);
    QVERIFY(w);
    setHubState(true, true, true);
    bool menuOpened = false;
    closePopupSoon(this, menuOpened);
    HubLog log(hub, true);
    QTest::mousePress(child<QLineEdit>(*w, "edt_dataRate"), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::qWait(80);
    QVERIFY(!menuOpened);
    QVERIFY(log.events.isEmpty());
    const QList<QMessageBox*> boxes = operatorBoxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first()->text(), QStringLiteral("保存磁场信息中,要修改频率,请先停止保存!"));
    QCOMPARE(boxes.first()->windowTitle(), QStringLiteral("提示"));
    QCOMPARE(hub->samplingRate, 1000);
}

void TestMainWindow::disabledDataRateSwallowsPress()
{
    auto w = shownWindow(1);
    QVERIFY(w);
    auto* edit = child<QLineEdit>(*w, "edt_dataRate");
    edit->setEnabled(false);
    bool menuOpened = false;
    closePopupSoon(this, menuOpened);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &press);
    QTest::qWait(80);
    QVERIFY(!menuOpened);
    QVERIFY(operatorBoxes().isEmpty());
}

void TestMainWindow::rateChangeRequested_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<int>("samplingRate");
    using L = QStringList;
    QTest::newRow("page 3: frame only") << 3 << 200
                                        << L{"dataRate:0.005", "oneHz:false", "twentyHz:false", "bytes:200,true",
                                             "frame:01109C9600010200C8E6F9"}
                                        << 200;
    QTest::newRow("page 6: parameter poll around it")
        << 6 << 500 << L{"paramStop",      "dataRate:0.002", "oneHz:false",
                         "twentyHz:false", "bytes:500,true", "frame:01109C9600010201F4E778",
                         "paramStart"}
        << 500;
    QTest::newRow("page 5: 10/s") << 5 << 10 << L{"paramStop",      "dataRate:0.1",  "oneHz:false",
                                                  "twentyHz:false", "bytes:10,true", "frame:01109C96000102000A6768",
                                                  "paramStart"}
                                  << 10;
    // no register value is defined for it: nothing changes anywhere
    QTest::newRow("page 6: unknown rate") << 6 << 333 << L{} << 1000;
}

void TestMainWindow::rateChangeRequested()
{
    QFETCH(int, page);
    QFETCH(int, rate);
    QFETCH(QStringList, events);
    QFETCH(int, samplingRate);
    auto w = makeWindow(1);
    tab(*w, page)->click();
    HubLog log(hub, true);
    emit hub->sig_changeSamplingRate(rate, true);
    QCOMPARE(log.events, events);
    QCOMPARE(hub->samplingRate, samplingRate);
    QCOMPARE(child<QLineEdit>(*w, "edt_dataRate")->text(), QString::number(1.0 / samplingRate, 'g', 6));
    QCOMPARE(shownPage(*w), page);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
