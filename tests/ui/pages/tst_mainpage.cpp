// The main page driven through its slots and buttons against the real hub:
// the port menu, the connection sequence with its crash-log lines, progress
// and signal light, stream and status-poll control, Restart/Retrack, Pause,
// reset and language texts, and the live chart with its window, statistics
// and badges.

#include "mainpagerig.h"

#include "core/globalstate.h"
#include "core/myintvalidator.h"
#include "ui/widgets/custommenu.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QMessageBox>
#include <QMutexLocker>
#include <QtTest>

#include <cmath>

namespace {

int workStatus()
{
    GlobalState& g = GlobalState::instance();
    QMutexLocker lock(&g.workStatusMutex);
    return g.workStatus;
}

bool statusValid()
{
    GlobalState& g = GlobalState::instance();
    QMutexLocker lock(&g.statusValidMutex);
    return g.statusValid;
}

void setStatusValid(bool v)
{
    GlobalState& g = GlobalState::instance();
    QMutexLocker lock(&g.statusValidMutex);
    g.statusValid = v;
}

QImage batteryImage(int s)
{
    return QPixmap(QStringLiteral(":/battery%1.png").arg(s)).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage shownBattery(MainPageRig& rig)
{
    return rig.child<QLabel>("lableBattery")->pixmap(Qt::ReturnByValue).toImage().convertToFormat(QImage::Format_ARGB32);
}

QList<ModbusAddr> kinds(const QSignalSpy& spy)
{
    QList<ModbusAddr> out;
    for (const QList<QVariant>& args : spy)
        out << args.at(0).value<ModbusAddr>();
    return out;
}

// Batch through the hub's slot while measuring; waits until the refresh
// timer has taken it into the history (the batch's last value differs from
// the one before it in every test).
void feed(MainPageRig& rig, const QVector<double>& batch, int historyAfter)
{
    rig.hub->setRunning(true);
    rig.page->slots_updateForm(batch);
    const QVector<double>& h = rig.page->historyValues();
    QTRY_VERIFY_WITH_TIMEOUT(h.size() == historyAfter && (batch.isEmpty() || h.isEmpty() || h.last() == batch.last()),
                             10000);
}

QVector<double> ramp(int n, double start, double step)
{
    QVector<double> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = start + i * step;
    return v;
}

QList<int> parseInts(const QString& csv)
{
    QList<int> out;
    for (const QString& s : csv.split(QLatin1Char(','), Qt::SkipEmptyParts))
        out << s.toInt();
    return out;
}

} // namespace

class TestMainPage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void construction_data();
    void construction();
    void chartSetup();

    void portChoice_data();
    void portChoice();
    void portMenuThroughClicks();

    void progressSequence_data();
    void progressSequence();
    void connectSequenceAndConnectTime();
    void serialNumber();
    void statusPollAfterSerialNumber();
    void statusFourStartsStreamOnce();
    void everyStatusChangeCounted();
    void identityRetriesEnd_data();
    void identityRetriesEnd();
    void startStopWork_data();
    void startStopWork();
    void signalLight_data();
    void signalLight();

    void restartRetrack_data();
    void restartRetrack();
    void refusedWhileRecording_data();
    void refusedWhileRecording();
    void replayButton();

    void languageTexts();
    void pauseAndPortTextsFollowLanguageAndState();
    void pauseThenReset();
    void resetForm();
    void twoPagesStartClean();

    void windowSize_data();
    void windowSize();
    void windowEdit_data();
    void windowEdit();
    void trimmingAfterWindowChange();
    void statistics_data();
    void statistics();
    void emptyDataKeepsReadouts();
    void chartDataIsSortedByKey();
    void pausedAndHiddenKeepHistory();
    void clearPlotStartsNewWindow();
    void batchesDroppedWhileNotMeasuring();
};

void TestMainPage::initTestCase()
{
    qRegisterMetaType<ModbusAddr>("ModbusAddr");
    qRegisterMetaType<DataParam>("DataParam");
}

void TestMainPage::cleanup()
{
    closeBoxes();
    setStatusValid(true);
}

// ---- construction ----

void TestMainPage::construction_data()
{
    QTest::addColumn<int>("fsMode");
    QTest::addColumn<int>("mockData");
    QTest::newRow("plain") << 0 << 0;
    QTest::newRow("fs mode") << 1 << 0;
    QTest::newRow("replay") << 0 << 1;
}

void TestMainPage::construction()
{
    QFETCH(int, fsMode);
    QFETCH(int, mockData);
    MainPageRig rig({}, [&](ParamManager& h) {
        h.isFSMode = fsMode;
        h.isMockData = mockData;
    });
    rig.page->show();
    QCOMPARE(rig.child<QPushButton>("btn_ddsReTrack")->isVisible(), fsMode == 1);
    QCOMPARE(rig.child<QPushButton>("btn_mock")->isVisible(), mockData == 1);
    QCOMPARE(rig.text("btn_ReStart"), QStringLiteral("Restart"));
    QCOMPARE(rig.text("btn_ddsReTrack"), QStringLiteral("Retrack"));
    QCOMPARE(rig.text("btn_pause"), QStringLiteral("Pause"));
    QCOMPARE(rig.text("btn_com"), QStringLiteral("select"));
    QCOMPARE(rig.text("edt_setTime"), QStringLiteral("10"));
    QCOMPARE(rig.text("edt_samples"), QStringLiteral("0"));
    QCOMPARE(rig.text("label_7"), QStringLiteral("△B"));
    QVERIFY(rig.page->isComButtonEnabled());
    QVERIFY(rig.child<QFrame>("frameStatus")->styleSheet().contains(QLatin1String(":/yellowlight.png")));
    QCOMPARE(rig.child<QLineEdit>("edt_setTime")->validator(),
             static_cast<const QValidator*>(rig.hub->getIntValidator()));
    QCOMPARE(rig.child<QPushButton>("btn_com")->size(), QSize(116, 44));
    QCOMPARE(rig.child<QPushButton>("btn_pause")->property("name").toString(), QStringLiteral("btn"));
}

void TestMainPage::chartSetup()
{
    MainPageRig rig;
    QCustomPlot* chart = rig.page->chartWidget();
    QCOMPARE(chart->objectName(), QStringLiteral("mainChart"));
    QCOMPARE(chart->graphCount(), 1);
    QCOMPARE(chart->graph(0)->pen().color(), QColor(QStringLiteral("#1667BA")));
    QCOMPARE(chart->graph(0)->pen().widthF(), 0.5);
    QCOMPARE(rig.page->maxBadgeText(), QStringLiteral("35186.7"));
    QCOMPARE(rig.page->minBadgeText(), QStringLiteral("35138.7"));
    QCOMPARE(rig.page->lastBadgeText(), QStringLiteral("35179.26"));
    QVERIFY(!chart->xAxis->visible());
    QVERIFY(!chart->yAxis->visible());
    QCOMPARE(chart->xAxis->range(), QCPRange(0, 10));
    // three badges and their texts
    int rects = 0, texts = 0;
    for (int i = 0; i < chart->itemCount(); ++i) {
        QCPAbstractItem* item = chart->item(i);
        if (qobject_cast<QCPItemText*>(item)) {
            ++texts;
            QCOMPARE(item->layer()->name(), QStringLiteral("overlay"));
        } else if (qobject_cast<QCPItemRect*>(item)) {
            ++rects;
            QCOMPARE(item->layer()->name(), QStringLiteral("background"));
        }
    }
    QCOMPARE(rects, 3);
    QCOMPARE(texts, 3);
}

// ---- port selector ----

void TestMainPage::portChoice_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("baud");
    QTest::addColumn<bool>("connects");
    QTest::newRow("ttyUSB0") << "ttyUSB0" << 921600 << true;
    QTest::newRow("COM3") << "COM3" << 921600 << true;
    QTest::newRow("configured baud") << "ttyS4" << 115200 << true;
    QTest::newRow("refresh") << QString::fromUtf8("刷新") << 921600 << false;
    QTest::newRow("lower-case com") << "com3" << 921600 << false;
    QTest::newRow("full path") << "/dev/ttyUSB0" << 921600 << false;
    QTest::newRow("empty") << "" << 921600 << false;
}

void TestMainPage::portChoice()
{
    QFETCH(QString, entry);
    QFETCH(int, baud);
    QFETCH(bool, connects);
    MainPageRig rig({}, [&](ParamManager& h) { h.baudRate = baud; });
    // The choice alone is under test: keep the link from opening a device.
    QObject::disconnect(rig.hub->getModbusWorkThread(), &ModbusWorkThread::sig_connectDevice, nullptr, nullptr);
    QSignalSpy connectSpy(rig.hub->getModbusWorkThread(), &ModbusWorkThread::sig_connectDevice);
    CustomMenu* menu = rig.page->portMenu();
    const QVector<QPushButton*> before = menu->itemButtons();
    QStringList expected = rig.hub->availablePortNames();
    expected << QString::fromUtf8("刷新");
    QStringList shown;
    for (QPushButton* b : before)
        shown << b->text();
    QCOMPARE(shown, expected);

    rig.page->slot_handleActionTriggered(entry, QVariant());
    if (connects) {
        QCOMPARE(connectSpy.size(), 1);
        QCOMPARE(connectSpy.at(0).at(0).toString(), entry);
        QCOMPARE(connectSpy.at(0).at(1).toInt(), baud);
        QCOMPARE(rig.text("btn_com"), entry);
        QCOMPARE(menu->itemButtons(), before);
    } else {
        QCOMPARE(connectSpy.size(), 0);
        QCOMPARE(rig.text("btn_com"), QStringLiteral("select"));
        // rebuilt: new buttons with the same entries
        const QVector<QPushButton*> after = menu->itemButtons();
        QCOMPARE(after.size(), expected.size());
        for (QPushButton* b : after)
            QVERIFY(!before.contains(b));
        QCOMPARE(after.last()->text(), QString::fromUtf8("刷新"));
    }
    QVERIFY(rig.page->isComButtonEnabled());
}

void TestMainPage::portMenuThroughClicks()
{
    MainPageRig rig;
    rig.page->resize(1428, 615);
    rig.page->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.page));
    auto* com = rig.child<QPushButton>("btn_com");
    CustomMenu* menu = rig.page->portMenu();
    QTest::mouseClick(com, Qt::LeftButton);
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(menu->pos(), com->mapToGlobal(QPoint(0, com->height())));
    QCOMPARE(menu->width(), com->width());

    // The refresh entry, clicked as a user clicks it, rebuilds the list
    // from inside its own click.
    QPushButton* refresh = menu->itemButtons().last();
    QPointer<QPushButton> old(refresh);
    QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      refresh->mapTo(menu, refresh->rect().center()));
    QTRY_VERIFY(old.isNull());
    QVERIFY(!menu->isVisible());
    QCOMPARE(menu->itemButtons().last()->text(), QString::fromUtf8("刷新"));
    QCOMPARE(rig.text("btn_com"), QStringLiteral("select"));
}

// ---- progress ----

void TestMainPage::progressSequence_data()
{
    QTest::addColumn<QString>("states");       // from slots_updateProgressEx
    QTest::addColumn<QStringList>("lines");    // crash-log texts written
    QTest::addColumn<int>("shownAfter");       // icon and workStatus after
    QTest::addColumn<bool>("validAfter");
    const QString b = QStringLiteral("battery State:");
    QTest::newRow("2 twice: two lines") << "2,2" << QStringList{b + "2", b + "2"} << 2 << true;
    QTest::newRow("1 2 3") << "1,2,3" << QStringList{b + "1", b + "2", b + "3"} << 3 << true;
    QTest::newRow("4 twice: one line") << "4,4" << QStringList{b + "4  ConnectTime:"} << 4 << true;
    QTest::newRow("-1 changes nothing") << "-1" << QStringList{} << 0 << false;
    QTest::newRow("7 changes nothing") << "7" << QStringList{} << 0 << false;
    QTest::newRow("3 then 7") << "3,7" << QStringList{b + "3"} << 3 << false;
    QTest::newRow("invalid then valid") << "5,2" << QStringList{b + "2"} << 2 << true;
}

void TestMainPage::progressSequence()
{
    QFETCH(QString, states);
    QFETCH(QStringList, lines);
    QFETCH(int, shownAfter);
    QFETCH(bool, validAfter);
    MainPageRig rig;
    rig.page->slots_updateProgressEx(0); // a known previous state
    rig.takeCrashLines();
    const QImage iconBefore = shownBattery(rig);
    QCOMPARE(iconBefore, batteryImage(0));
    for (int s : parseInts(states))
        rig.page->slots_updateProgressEx(s);
    QStringList texts = rig.takeCrashTexts();
    // the ConnectTime digits are checked with a fixed clock elsewhere
    for (QString& t : texts)
        if (t.contains(QLatin1String("ConnectTime:")))
            t = t.left(t.indexOf(QLatin1String("ConnectTime:")) + 12);
    QCOMPARE(texts, lines);
    QCOMPARE(statusValid(), validAfter);
    QCOMPARE(workStatus(), shownAfter);
    QCOMPARE(shownBattery(rig), batteryImage(shownAfter));
    // the stream's state byte never starts or stops anything
    QVERIFY(!rig.hub->isRunning());
}

void TestMainPage::connectSequenceAndConnectTime()
{
    MainPageRig rig;
    qint64 now = 1776400000;
    rig.page->setClock([&now]() { return now; });
    rig.page->slots_updateProgressEx(0);
    rig.takeCrashLines();
    QSignalSpy requests(rig.hub->getModbusWorkThread(), &ModbusWorkThread::sig_readData);
    QSignalSpy kindsSent(rig.hub.get(), &ParamManager::sig_sendModbusData);
    QElapsedTimer t;
    t.start();
    rig.page->slots_connected();
    // the parameter block at once
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.at(0).at(0).value<ModbusAddr>(), Addr40100);
    QCOMPARE(kindsSent.size(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(kindsSent.size(), 1, 2000);
    QVERIFY2(t.elapsed() >= 195, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(kindsSent.at(0).at(0).value<ModbusAddr>(), Addr40000);
    const QList<CrashLine> connectLines = rig.takeCrashLines();
    QCOMPARE(connectLines.size(), 1);
    QCOMPARE(connectLines.at(0).text,
             QStringLiteral("Connect Com success. SetType: VCSEL = 0.0000 , VCSEL Default = 0.0000 , VaporCell = 0.0000."));
    QCOMPARE(connectLines.at(0).stamp, 1776400000);

    now += 7;
    rig.page->slots_updateProgressEx(4);
    QList<CrashLine> l = rig.takeCrashLines();
    QCOMPARE(l.size(), 1);
    QCOMPARE(l.at(0).text, QStringLiteral("battery State:4  ConnectTime:7"));
    QCOMPARE(l.at(0).stamp, now);
    // leaving 4 restarts the count: 1 at +10, 4 at +13
    now += 10;
    rig.page->slots_updateProgressEx(1);
    now += 3;
    rig.page->slots_updateProgressEx(4);
    l = rig.takeCrashLines();
    QCOMPARE(l.size(), 2);
    QCOMPARE(l.at(0).text, QStringLiteral("battery State:1"));
    QCOMPARE(l.at(1).text, QStringLiteral("battery State:4  ConnectTime:3"));
}

void TestMainPage::serialNumber()
{
    MainPageRig rig;
    rig.page->slots_updateProgressEx(0);
    rig.takeCrashLines();
    QSignalSpy statusStart(rig.hub.get(), &ParamManager::sig_devStatusWorkerStart);
    rig.page->slots_updateSerialNumber(QStringLiteral("1A2B3C4D"));
    QCOMPARE(rig.text("edt_devName"), QStringLiteral("TVK-1A2B3C4D"));
    QVERIFY(!rig.page->isComButtonEnabled());
    QVERIFY(!rig.child<QPushButton>("btn_com")->isEnabled());
    QCOMPARE(statusStart.size(), 1);
    QCOMPARE(workStatus(), 1);
    QCOMPARE(shownBattery(rig), batteryImage(1));
    QCOMPARE(rig.takeCrashTexts(), QStringList{QStringLiteral("battery State:1")});
}

// From the port's opening to its serial number the status poll stays off,
// whatever page is entered; a serial number that comes while the stream
// runs starts no poll either (its request would take the port from the
// stream).
void TestMainPage::statusPollAfterSerialNumber()
{
    MainPageRig rig;
    QSignalSpy pollOn(rig.hub.get(), &ParamManager::sig_devStatusWorkerStart);
    QSignalSpy pollOff(rig.hub.get(), &ParamManager::sig_devStatusWorkerStop);
    rig.page->startWork(); // no port yet: as ever
    QCOMPARE(pollOn.size(), 1);
    rig.page->slots_connected();
    QCOMPARE(pollOff.size(), 1);
    rig.page->startWork();
    QCOMPARE(pollOn.size(), 1);
    rig.page->slots_updateSerialNumber(QStringLiteral("1A2B3C4D"));
    QCOMPARE(pollOn.size(), 2);

    rig.page->slots_updateProgress(4);
    QVERIFY(rig.hub->isRunning() && rig.hub->isParamPollingHeld());
    rig.page->slots_updateSerialNumber(QStringLiteral("1A2B3C4D"));
    QCOMPARE(pollOn.size(), 2);
    QCOMPARE(rig.text("edt_devName"), QStringLiteral("TVK-1A2B3C4D"));
}

void TestMainPage::statusFourStartsStreamOnce()
{
    MainPageRig rig;
    rig.page->slots_updateProgressEx(0);
    QSignalSpy kindsSent(rig.hub.get(), &ParamManager::sig_sendModbusData);
    QSignalSpy statusStop(rig.hub.get(), &ParamManager::sig_devStatusWorkerStop);
    QSignalSpy statusStart(rig.hub.get(), &ParamManager::sig_devStatusWorkerStart);
    rig.page->slots_updateProgress(3);
    QCOMPARE(kindsSent.size(), 0);
    QCOMPARE(statusStop.size(), 0);
    rig.page->slots_updateProgress(4);
    rig.page->slots_updateProgress(4);
    QCOMPARE(kinds(kindsSent), QList<ModbusAddr>{Addrdds_start});
    QCOMPARE(statusStop.size(), 2);
    QCOMPARE(statusStart.size(), 0);
    QVERIFY(rig.hub->isRunning());
    QVERIFY(rig.hub->isParamPollingHeld());
    // the stream's own state byte repeats 4 without effect
    rig.page->slots_updateProgressEx(4);
    QCOMPARE(kindsSent.size(), 1);
}

// The watchdog reads the status only now and then; the count of changes
// tells it of a return to 4 in between.
void TestMainPage::everyStatusChangeCounted()
{
    MainPageRig rig;
    rig.page->slots_updateProgressEx(0);
    GlobalState& g = GlobalState::instance();
    const auto changes = [&g]() {
        QMutexLocker lock(&g.workStatusMutex);
        return g.workStatusChanges;
    };
    const quint64 before = changes();
    for (int s : {4, 1, 4, 4, 7, -1})
        rig.page->slots_updateProgressEx(s);
    // 0 -> 4 -> 1 -> 4; a repeated 4 and invalid values change nothing
    QCOMPARE(changes() - before, quint64(3));
    QCOMPARE(workStatus(), 4);
}

// The identity block is asked again once a second after the first request
// until a serial number comes or the page is reset.
void TestMainPage::identityRetriesEnd_data()
{
    QTest::addColumn<bool>("bySerialNumber");
    QTest::newRow("serial number") << true;
    QTest::newRow("reset") << false;
}

void TestMainPage::identityRetriesEnd()
{
    QFETCH(bool, bySerialNumber);
    MainPageRig rig;
    QSignalSpy sends(rig.hub.get(), &ParamManager::sig_sendModbusData);
    const auto identityRequests = [&sends]() { return kinds(sends).count(Addr40000); };
    QElapsedTimer t;
    t.start();
    rig.page->slots_connected();
    QTRY_COMPARE_WITH_TIMEOUT(identityRequests(), 1, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(identityRequests(), 2, 3000);
    // 200 ms, then 1 s of a coarse timer, which may fire up to 5 % early
    QVERIFY2(t.elapsed() >= 1100, qPrintable(QString::number(t.elapsed())));
    if (bySerialNumber)
        rig.page->slots_updateSerialNumber(QStringLiteral("0000002A"));
    else
        rig.page->resetForm();
    QTest::qWait(2300);
    QCOMPARE(identityRequests(), 2);
    QVERIFY(visibleBox() == nullptr);
}

void TestMainPage::startStopWork_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("held");
    QTest::addColumn<QList<ModbusAddr>>("startSends");
    QTest::addColumn<int>("startPolls");
    QTest::addColumn<QList<ModbusAddr>>("stopSends");
    QTest::addColumn<int>("stopPolls");
    QTest::newRow("not measuring") << false << false << QList<ModbusAddr>{} << 1 << QList<ModbusAddr>{} << 1;
    QTest::newRow("measuring, not started") << true << false << QList<ModbusAddr>{Addrdds_start} << 0
                                            << QList<ModbusAddr>{Addrdds_end} << 0;
    QTest::newRow("measuring, started") << true << true << QList<ModbusAddr>{} << 0 << QList<ModbusAddr>{Addrdds_end}
                                        << 0;
}

void TestMainPage::startStopWork()
{
    QFETCH(bool, running);
    QFETCH(bool, held);
    QFETCH(QList<ModbusAddr>, startSends);
    QFETCH(int, startPolls);
    QFETCH(QList<ModbusAddr>, stopSends);
    QFETCH(int, stopPolls);
    MainPageRig rig;
    rig.hub->setRunning(running);
    rig.hub->setParamPollingHeld(held);
    QSignalSpy sends(rig.hub.get(), &ParamManager::sig_sendModbusData);
    QSignalSpy pollOn(rig.hub.get(), &ParamManager::sig_devStatusWorkerStart);
    QSignalSpy pollOff(rig.hub.get(), &ParamManager::sig_devStatusWorkerStop);
    rig.page->startWork();
    QCOMPARE(kinds(sends), startSends);
    QCOMPARE(pollOn.size(), startPolls);
    QVERIFY(rig.hub->isParamPollingHeld() == (held || running));
    sends.clear();
    rig.page->stopWork();
    QCOMPARE(kinds(sends), stopSends);
    QCOMPARE(pollOff.size(), stopPolls);
    // stopping does not clear the held flag
    QVERIFY(rig.hub->isParamPollingHeld() == (held || running));
}

void TestMainPage::signalLight_data()
{
    QTest::addColumn<int>("strength");
    QTest::addColumn<QString>("image");
    QTest::newRow("0") << 0 << ":/redlight.png";
    QTest::newRow("1") << 1 << ":/yellowlight.png";
    QTest::newRow("2") << 2 << ":/yellowlight1.png";
    QTest::newRow("3") << 3 << ":/greenlight.png";
    QTest::newRow("4") << 4 << ":/greenlight1.png";
    QTest::newRow("5 ignored") << 5 << ":/greenlight.png";
    QTest::newRow("-1 ignored") << -1 << ":/greenlight.png";
}

void TestMainPage::signalLight()
{
    QFETCH(int, strength);
    QFETCH(QString, image);
    MainPageRig rig;
    rig.page->slots_updateSignalStrength(3);
    rig.page->slots_updateSignalStrength(strength);
    const QString sheet = rig.child<QFrame>("frameStatus")->styleSheet();
    QVERIFY2(sheet.contains(QStringLiteral("url(%1)").arg(image)), qPrintable(sheet));
}

// ---- Restart, Retrack, Pause, replay ----

void TestMainPage::restartRetrack_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("progress");
    QTest::addColumn<ModbusAddr>("write");
    QTest::newRow("Restart") << "btn_ReStart" << 1 << Addr40118_restart;
    QTest::newRow("Retrack") << "btn_ddsReTrack" << 3 << Addr40118_retrack;
}

void TestMainPage::restartRetrack()
{
    QFETCH(QString, button);
    QFETCH(int, progress);
    QFETCH(ModbusAddr, write);
    MainPageRig rig({}, [](ParamManager& h) { h.isFSMode = 1; });
    rig.page->slots_updateProgressEx(4);
    feed(rig, ramp(100, 50000, 0.01), 100);
    rig.hub->setParamPollingHeld(true);
    rig.takeCrashLines();
    QSignalSpy sends(rig.hub.get(), &ParamManager::sig_sendModbusData);
    QSignalSpy pollOn(rig.hub.get(), &ParamManager::sig_devStatusWorkerStart);
    QElapsedTimer t;
    t.start();
    QTest::mouseClick(rig.child<QPushButton>(qPrintable(button)), Qt::LeftButton);
    QVERIFY(t.elapsed() >= 495);
    QCOMPARE(kinds(sends), QList<ModbusAddr>{write});
    QCOMPARE(pollOn.size(), 1);
    QVERIFY(!rig.hub->isRunning());
    QVERIFY(!rig.hub->isParamPollingHeld());
    QCOMPARE(workStatus(), progress);
    QCOMPARE(rig.takeCrashTexts(), QStringList{QStringLiteral("battery State:%1").arg(progress)});
    QVERIFY(rig.page->historyValues().isEmpty());
    QVERIFY(rig.page->chartGraph()->data()->isEmpty());
    QCOMPARE(rig.page->maxBadgeText(), QString());
}

void TestMainPage::refusedWhileRecording_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("text");
    QTest::newRow("Restart") << "btn_ReStart" << QString::fromUtf8("保存磁场信息中,要重启,请先停止保存!");
    QTest::newRow("Retrack") << "btn_ddsReTrack" << QString::fromUtf8("保存磁场信息中,要重新追踪,请先停止保存!");
}

void TestMainPage::refusedWhileRecording()
{
    QFETCH(QString, button);
    QFETCH(QString, text);
    MainPageRig rig({}, [](ParamManager& h) { h.isFSMode = 1; });
    rig.page->slots_updateProgress(4);
    feed(rig, ramp(10, 1, 1), 10);
    rig.hub->m_isSave = true;
    rig.takeCrashLines();
    QSignalSpy sends(rig.hub.get(), &ParamManager::sig_sendModbusData);
    QSignalSpy pollOn(rig.hub.get(), &ParamManager::sig_devStatusWorkerStart);
    QTest::mouseClick(rig.child<QPushButton>(qPrintable(button)), Qt::LeftButton);
    QMessageBox* box = visibleBox();
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), QString::fromUtf8("提示"));
    QCOMPARE(box->text(), text);
    QCOMPARE(box->icon(), QMessageBox::Information);
    QVERIFY(box->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(box->parent() == nullptr);
    QCOMPARE(sends.size(), 0);
    QCOMPARE(pollOn.size(), 0);
    QVERIFY(rig.hub->isRunning());
    QCOMPARE(workStatus(), 4);
    QCOMPARE(rig.takeCrashLines().size(), 0);
    QCOMPARE(rig.page->historyValues().size(), 10);
    rig.hub->m_isSave = false;
}

void TestMainPage::replayButton()
{
    MainPageRig rig({}, [](ParamManager& h) { h.isMockData = 1; });
    QVERIFY(!rig.hub->isRunning());
    // no replay source created here: the button still marks measuring
    QTest::mouseClick(rig.child<QPushButton>("btn_mock"), Qt::LeftButton);
    QVERIFY(rig.hub->isRunning());
}

// ---- texts ----

void TestMainPage::languageTexts()
{
    MainPageRig rig;
    struct Row {
        const char* widget;
        QString english;
        QString chinese;
    };
    const Row rows[] = {
        {"btn_com", "select", QString::fromUtf8("选择")},      {"btn_ReStart", "Restart", QString::fromUtf8("重启")},
        {"btn_pause", "Pause", QString::fromUtf8("暂停")},     {"btn_ddsReTrack", "Retrack", QString::fromUtf8("重新追踪")},
        {"btn_mock", "mock", QString::fromUtf8("墨客")},       {"label_3", "Chart", QString::fromUtf8("图表")},
        {"label_4", "S", QString::fromUtf8("秒")},             {"label_5", "Samples", QString::fromUtf8("采样数")},
        {"label_6", "Mear", QString::fromUtf8("测量值")},      {"label_7", QString::fromUtf8("△B"), QString::fromUtf8("△B")},
    };
    rig.page->slot_setLanguage(1);
    for (const Row& r : rows)
        QCOMPARE(rig.text(r.widget), r.chinese);
    rig.page->slot_setLanguage(0);
    for (const Row& r : rows)
        QCOMPARE(rig.text(r.widget), r.english);
    rig.page->slot_setLanguage(2); // any value but 1 is English
    for (const Row& r : rows)
        QCOMPARE(rig.text(r.widget), r.english);
}

void TestMainPage::pauseAndPortTextsFollowLanguageAndState()
{
    MainPageRig rig;
    QObject::disconnect(rig.hub->getModbusWorkThread(), &ModbusWorkThread::sig_connectDevice, nullptr, nullptr);
    auto* pause = rig.child<QPushButton>("btn_pause");
    QTest::mouseClick(pause, Qt::LeftButton);
    QCOMPARE(pause->text(), QStringLiteral("Resume"));
    QVERIFY(rig.hub->isPaused());
    rig.page->slot_setLanguage(1);
    QCOMPARE(pause->text(), QString::fromUtf8("恢复"));
    QCOMPARE(rig.text("btn_com"), QString::fromUtf8("选择"));
    QTest::mouseClick(pause, Qt::LeftButton);
    QCOMPARE(pause->text(), QString::fromUtf8("暂停"));
    QVERIFY(!rig.hub->isPaused());
    QTest::mouseClick(pause, Qt::LeftButton);
    rig.page->slot_setLanguage(0);
    QCOMPARE(pause->text(), QStringLiteral("Resume"));
    QCOMPARE(rig.text("btn_com"), QStringLiteral("select"));

    // a chosen port survives both switches
    rig.page->slot_handleActionTriggered(QStringLiteral("ttyUSB0"), QVariant());
    rig.page->slot_setLanguage(1);
    QCOMPARE(rig.text("btn_com"), QStringLiteral("ttyUSB0"));
    rig.page->slot_setLanguage(0);
    QCOMPARE(rig.text("btn_com"), QStringLiteral("ttyUSB0"));
}

void TestMainPage::pauseThenReset()
{
    MainPageRig rig;
    auto* pause = rig.child<QPushButton>("btn_pause");
    QTest::mouseClick(pause, Qt::LeftButton);
    QVERIFY(rig.page->isPausedState());
    rig.page->resetForm();
    QCOMPARE(pause->text(), QStringLiteral("Pause"));
    QVERIFY(!rig.hub->isPaused());
    QVERIFY(!rig.page->isPausedState());
    QTest::mouseClick(pause, Qt::LeftButton);
    QCOMPARE(pause->text(), QStringLiteral("Resume"));
    QVERIFY(rig.hub->isPaused());

    // in Chinese the reset uses the Chinese texts
    rig.page->slot_setLanguage(1);
    rig.page->resetForm();
    QCOMPARE(pause->text(), QString::fromUtf8("暂停"));
    QCOMPARE(rig.text("btn_com"), QString::fromUtf8("选择"));
}

void TestMainPage::resetForm()
{
    MainPageRig rig;
    QObject::disconnect(rig.hub->getModbusWorkThread(), &ModbusWorkThread::sig_connectDevice, nullptr, nullptr);
    rig.page->slot_handleActionTriggered(QStringLiteral("ttyUSB0"), QVariant());
    rig.page->slots_updateSerialNumber(QStringLiteral("00000042"));
    rig.page->slots_updateProgress(4);
    auto* edit = rig.child<QLineEdit>("edt_setTime");
    edit->setText(QStringLiteral("3"));
    emit edit->editingFinished();
    QCOMPARE(rig.hub->dataParam.setTime, 3);
    feed(rig, ramp(50, 50000, 0.1), 50);
    QCOMPARE(rig.text("edt_samples"), QStringLiteral("3000"));

    rig.takeCrashLines();
    QSignalSpy sends(rig.hub.get(), &ParamManager::sig_sendModbusData);
    QSignalSpy params(rig.hub.get(), &ParamManager::sig_syncDataParam);
    rig.page->resetForm();
    // measuring: the stream stop, then the restart write
    QCOMPARE(kinds(sends), (QList<ModbusAddr>{Addrdds_end, Addr40118_restart}));
    QCOMPARE(rig.text("edt_setTime"), QStringLiteral("10"));
    QCOMPARE(rig.hub->dataParam.setTime, 10);
    QCOMPARE(params.size(), 1);
    QCOMPARE(params.at(0).at(0).value<DataParam>().setTime, 10);
    for (const char* w : {"edt_samples", "edt_mear", "edt_svg"})
        QCOMPARE(rig.text(w), QStringLiteral("0"));
    QCOMPARE(rig.text("btn_com"), QStringLiteral("select"));
    QVERIFY(rig.page->isComButtonEnabled());
    QCOMPARE(rig.text("edt_devName"), QString());
    QVERIFY(rig.page->historyValues().isEmpty());
    QCOMPARE(workStatus(), 0);
    QCOMPARE(shownBattery(rig), batteryImage(0));
    // progress 0 now, after 500 ms and after 1500 ms
    QCOMPARE(rig.takeCrashTexts(), QStringList{QStringLiteral("battery State:0")});
    QTRY_COMPARE_WITH_TIMEOUT(rig.crashSpy->size(), 2, 10000);
    QCOMPARE(rig.takeCrashTexts(), (QStringList{QStringLiteral("battery State:0"), QStringLiteral("battery State:0")}));

    // the next window is the 10 s one again
    rig.hub->dataParam.dataRate = 0.001;
    feed(rig, ramp(5, 1, 1), 5);
    QCOMPARE(rig.text("edt_samples"), QStringLiteral("10000"));
}

// Nothing of one page's state leaks into another built later: neither the
// progress state (the first 4 of a new page writes its ConnectTime line)
// nor the texts kept at the first language switch.
void TestMainPage::twoPagesStartClean()
{
    MainPageRig first;
    first.page->slots_updateProgressEx(4);
    // whatever the first page shows at its first switch is its own to keep
    first.child<QPushButton>("btn_ReStart")->setText(QStringLiteral("Restart now"));
    first.child<QLabel>("label_5")->setText(QStringLiteral("Points"));
    first.page->slot_setLanguage(1);

    MainPageRig second;
    qint64 now = 1776400000;
    second.page->setClock([&now]() { return now; });
    second.page->slots_updateProgressEx(4);
    QCOMPARE(second.takeCrashTexts(), QStringList{QStringLiteral("battery State:4  ConnectTime:1776400000")});
    second.page->slot_setLanguage(1);
    QCOMPARE(second.text("btn_ReStart"), QString::fromUtf8("重启"));
    second.page->slot_setLanguage(0);
    QCOMPARE(second.text("btn_ReStart"), QStringLiteral("Restart"));
    QCOMPARE(second.text("label_5"), QStringLiteral("Samples"));

    first.page->slot_setLanguage(0);
    QCOMPARE(first.text("btn_ReStart"), QStringLiteral("Restart now"));
    QCOMPARE(first.text("label_5"), QStringLiteral("Points"));
}

// ---- chart ----

void TestMainPage::windowSize_data()
{
    QTest::addColumn<int>("setTime");
    QTest::addColumn<double>("dataRate");
    QTest::addColumn<int>("batch");
    QTest::addColumn<int>("batches");
    QTest::addColumn<int>("held");
    QTest::addColumn<QString>("samples");
    QTest::newRow("10 s at 1000/s, 3 s of data") << 10 << 0.001 << 1000 << 3 << 3000 << "10000";
    QTest::newRow("1 s at 1/s") << 1 << 1.0 << 1 << 3 << 1 << "1";
    QTest::newRow("3 s at 10/s") << 3 << 0.1 << 20 << 3 << 30 << "30";
    QTest::newRow("1 s at 333.3/s truncates") << 1 << 0.003 << 200 << 2 << 333 << "333";
    QTest::newRow("2 s at 20/s") << 2 << 0.05 << 20 << 5 << 40 << "40";
}

void TestMainPage::windowSize()
{
    QFETCH(int, setTime);
    QFETCH(double, dataRate);
    QFETCH(int, batch);
    QFETCH(int, batches);
    QFETCH(int, held);
    QFETCH(QString, samples);
    MainPageRig rig;
    rig.hub->dataParam.setTime = setTime;
    rig.hub->dataParam.dataRate = dataRate;
    QVector<double> all;
    for (int b = 0; b < batches; ++b) {
        const QVector<double> v = ramp(batch, 1000 + b * batch, 1);
        all += v;
        feed(rig, v, qMin(int(all.size()), held));
    }
    QCOMPARE(rig.page->historyValues(), all.mid(all.size() - held));
    QCOMPARE(rig.page->chartGraph()->dataCount(), held);
    QCOMPARE(rig.text("edt_samples"), samples);
    if (held == 1)
        QCOMPARE(rig.text("edt_svg"), QStringLiteral("0"));
}

void TestMainPage::windowEdit_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("0") << "0" << "1";
    QTest::newRow("empty") << "" << "1";
    QTest::newRow("1") << "1" << "1";
    QTest::newRow("2") << "2" << "2";
    QTest::newRow("leading zeros") << "0042" << "42";
    QTest::newRow("999") << "999" << "999";
    QTest::newRow("1000") << "1000" << "1000";
    QTest::newRow("1001") << "1001" << "1000";
    QTest::newRow("huge") << "99999" << "1000";
}

void TestMainPage::windowEdit()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    MainPageRig rig;
    rig.hub->dataParam.lowPass = 7; // the rest of the hub's settings travel along
    QSignalSpy params(rig.hub.get(), &ParamManager::sig_syncDataParam);
    auto* edit = rig.child<QLineEdit>("edt_setTime");
    edit->setText(typed);
    emit edit->editingFinished();
    QCOMPARE(edit->text(), shown);
    QCOMPARE(rig.hub->dataParam.setTime, shown.toInt());
    QCOMPARE(params.size(), 1);
    const DataParam sent = params.at(0).at(0).value<DataParam>();
    QCOMPARE(sent.setTime, shown.toInt());
    QCOMPARE(sent.lowPass, 7);
    // the x range follows at the next refresh that finds a batch
    feed(rig, {1.0, 2.0}, 2);
    QCOMPARE(rig.page->chartWidget()->xAxis->range(), QCPRange(0, shown.toInt()));
}

void TestMainPage::trimmingAfterWindowChange()
{
    MainPageRig rig;
    for (int b = 0; b < 3; ++b)
        feed(rig, ramp(1000, b * 1000, 1), (b + 1) * 1000);
    auto* edit = rig.child<QLineEdit>("edt_setTime");
    edit->setText(QStringLiteral("1"));
    emit edit->editingFinished();
    // nothing changes until a batch arrives
    QTest::qWait(100);
    QCOMPARE(rig.page->historyValues().size(), 3000);
    feed(rig, ramp(10, 3000, 1), 1000);
    QCOMPARE(rig.page->historyValues().first(), 2010.0);
    QCOMPARE(rig.page->historyValues().last(), 3009.0);
    QCOMPARE(rig.text("edt_samples"), QStringLiteral("1000"));
}

void TestMainPage::statistics_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QString>("maxText");
    QTest::addColumn<QString>("minText");
    QTest::addColumn<QString>("mear");
    QTest::addColumn<QString>("deltaB");
    QTest::newRow("spread 2.5 rounds up") << QVector<double>{50000.0, 50002.5, 50001.0} << "50002.5" << "50000"
                                          << "50001.00" << "3";
    QTest::newRow("spread 2.49 rounds down") << QVector<double>{50000.0, 50002.49} << "50002.5" << "50000"
                                             << "50002.49" << "2";
    QTest::newRow("six digits") << QVector<double>{49999.123, 50012.987, 50005.5} << "50013" << "49999.1"
                                << "50005.50" << "14";
    QTest::newRow("single value") << QVector<double>{35179.26} << "35179.3" << "35179.3" << "35179.26" << "0";
    // a replay file may hold any finite number: a spread beyond int
    QTest::newRow("spread beyond int") << QVector<double>{-1.5e9, 1.5e9} << "1.5e+09" << "-1.5e+09"
                                       << "1500000000.00" << "3000000000";
}

void TestMainPage::statistics()
{
    QFETCH(QVector<double>, values);
    QFETCH(QString, maxText);
    QFETCH(QString, minText);
    QFETCH(QString, mear);
    QFETCH(QString, deltaB);
    MainPageRig rig;
    feed(rig, values, values.size());
    QCOMPARE(rig.page->maxBadgeText(), maxText);
    QCOMPARE(rig.page->minBadgeText(), minText);
    QCOMPARE(rig.page->lastBadgeText(), mear);
    QCOMPARE(rig.text("edt_mear"), mear);
    QCOMPARE(rig.text("edt_svg"), deltaB);
    QCOMPARE(rig.text("edt_samples"), QStringLiteral("10000"));
    const double hi = *std::max_element(values.begin(), values.end());
    const double lo = *std::min_element(values.begin(), values.end());
    const QCPRange y = rig.page->chartWidget()->yAxis->range();
    // a flat window still gets a range around its value
    const double pad = hi > lo ? (hi - lo) / 10 : 1.0;
    QCOMPARE(y.lower, lo - pad);
    QCOMPARE(y.upper, hi + pad);
}

void TestMainPage::emptyDataKeepsReadouts()
{
    MainPageRig rig;
    feed(rig, {10.0, 14.0, 12.5}, 3);
    const QStringList before{rig.text("edt_samples"), rig.text("edt_mear"), rig.text("edt_svg"),
                             rig.page->maxBadgeText(), rig.page->minBadgeText(), rig.page->lastBadgeText()};
    QCOMPARE(before, (QStringList{"10000", "12.50", "4", "14", "10", "12.50"}));
    const auto now = [&rig]() {
        return QStringList{rig.text("edt_samples"), rig.text("edt_mear"), rig.text("edt_svg"),
                           rig.page->maxBadgeText(), rig.page->minBadgeText(), rig.page->lastBadgeText()};
    };
    // an empty batch with values in the window: the newest stays
    rig.page->slots_updateForm({});
    QTest::qWait(100);
    QCOMPARE(now(), before);
    QCOMPARE(rig.page->historyValues().size(), 3);

    // an empty batch into an empty window: readouts stay, badges stay cleared
    rig.page->clearPlot();
    rig.page->slots_updateForm({});
    QTest::qWait(100);
    QVERIFY(rig.page->historyValues().isEmpty());
    QCOMPARE(now(), (QStringList{"10000", "12.50", "4", "", "", ""}));

    // a window of no points (no rate) keeps them too
    rig.hub->dataParam.dataRate = 0.0;
    rig.page->slots_updateForm({5.0});
    rig.page->slots_updateForm({6.0});
    QTest::qWait(150);
    QVERIFY(rig.page->historyValues().isEmpty());
    QCOMPARE(now(), (QStringList{"10000", "12.50", "4", "", "", ""}));
}

void TestMainPage::chartDataIsSortedByKey()
{
    MainPageRig rig;
    rig.hub->dataParam.dataRate = 0.25;
    rig.hub->dataParam.setTime = 2; // 8 points
    const QVector<double> falling{9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    feed(rig, falling.mid(0, 5), 5);
    feed(rig, falling.mid(5), 8);
    QCPGraph* g = rig.page->chartGraph();
    QCOMPARE(g->dataCount(), 8);
    for (int i = 0; i < 8; ++i) {
        const QCPGraphData d = *(g->data()->constBegin() + i);
        QCOMPARE(d.key, i * 0.25);
        QCOMPARE(d.value, falling.at(i + 2)); // oldest first, the two oldest trimmed
    }
    // a changed rate rebuilds the keys
    rig.hub->dataParam.dataRate = 0.5;
    feed(rig, {100}, 4);
    QCOMPARE(g->dataCount(), 4);
    QCOMPARE((g->data()->constEnd() - 1)->key, 1.5);
    QCOMPARE((g->data()->constEnd() - 1)->value, 100.0);
}

void TestMainPage::pausedAndHiddenKeepHistory()
{
    MainPageRig rig;
    feed(rig, {1, 2, 3}, 3);
    QTest::mouseClick(rig.child<QPushButton>("btn_pause"), Qt::LeftButton);
    feed(rig, {50, 60}, 5);
    QCOMPARE(rig.text("edt_mear"), QStringLiteral("3.00"));
    QCOMPARE(rig.text("edt_svg"), QStringLiteral("2"));
    QCOMPARE(rig.page->chartGraph()->dataCount(), 3);
    QTest::mouseClick(rig.child<QPushButton>("btn_pause"), Qt::LeftButton);
    feed(rig, {70}, 6);
    QCOMPARE(rig.text("edt_mear"), QStringLiteral("70.00"));
    QCOMPARE(rig.text("edt_svg"), QStringLiteral("69"));
    QCOMPARE(rig.page->chartGraph()->dataCount(), 6);

    // another page shown: the ring is drained, the window kept, nothing drawn
    rig.page->setPlotEnabled(false);
    feed(rig, {80, 90}, 8);
    QCOMPARE(rig.text("edt_mear"), QStringLiteral("70.00"));
    rig.page->setPlotEnabled(true);
    feed(rig, {95}, 9);
    QCOMPARE(rig.page->chartGraph()->dataCount(), 9);
    QCOMPARE(rig.text("edt_svg"), QStringLiteral("94"));
}

void TestMainPage::clearPlotStartsNewWindow()
{
    MainPageRig rig;
    feed(rig, {1, 2, 3}, 3);
    rig.page->clearPlot();
    QVERIFY(rig.page->historyValues().isEmpty());
    QCOMPARE(rig.page->chartGraph()->dataCount(), 0);
    QCOMPARE(rig.page->maxBadgeText(), QString());
    QCOMPARE(rig.page->lastBadgeText(), QString());
    QCOMPARE(rig.text("edt_mear"), QStringLiteral("3.00")); // readouts wait for the next batch
    feed(rig, {40, 41}, 2);
    QCOMPARE(rig.page->historyValues(), (QVector<double>{40, 41}));
    QCOMPARE(rig.text("edt_svg"), QStringLiteral("1"));
}

void TestMainPage::batchesDroppedWhileNotMeasuring()
{
    MainPageRig rig;
    rig.page->slots_updateForm({1, 2, 3});
    QTest::qWait(100);
    QVERIFY(rig.page->historyValues().isEmpty());
    QCOMPARE(rig.text("edt_samples"), QStringLiteral("0"));
}

QTEST_MAIN(TestMainPage)
#include "tst_mainpage.moc"
