// The service page end to end: the real hub and main window in test mode,
// a peer on a socat pty pair (the simulated instrument, or the independent
// libmodbus server), the port opened, the service page entered through its
// tab. The live readings come from the peer's registers; the set-points are
// unlocked through the real dialog and typed, FS Debug, the sweep edits,
// the work mode and the work state are set as an operator does, with the
// real waits. The peer's own log shows every write frame in order, and its
// register dump holds the values typed. The run with the simulated
// instrument also saves the page's screenshots, English and Chinese.

#include "monitorpagerig.h"

#include "peers/peerprocess.h"
#include "peers/ptypair.h"

#include <QCheckBox>
#include <QDir>

namespace
{

// What the operator does, in order, and what must come out of it.
const char* const kWriteFrames[] = {
    "01109CBA00020400003F009052", // VCSEL 0.5
    "01069CB90001B7BF",
    "01109CCE00020400003F809725", // VCSEL default 1.5, written as 1
    "01069CCD0001F7A5",
    "01109CC200020400003E8096E0", // vapour cell 0.25
    "01069CC1000137A6",
    "01069CB600630655",           // FS Debug on
    "01109CA40002048D80005B6A5D", // DDS 6000000 mHz
    "01109CAA000204938014DCA29B", // FS Start 350000000
    "01109CAC0002044E005372AB79", // FS End 1400000000
    "01109CAE000204007B0000F144", // FS Step 0123
    "01109CB70001020002601F",     // work mode 1
    "01069CB6000187BC",           // work state: FS Debug off first,
    "01069CB60003067D",           // then state 3
};

// Registers after those writes (decimal, as the peers dump them).
const QPair<int, int> kRegisters[] = {
    {40122, 0},     {40123, 16128}, {40121, 1}, // 0.5f = 0x3F000000
    {40142, 0},     {40143, 16256}, {40141, 1}, // 1.0f = 0x3F800000
    {40130, 0},     {40131, 16000}, {40129, 1}, // 0.25f = 0x3E800000
    {40100, 36224}, {40101, 91},                // 6000000 = 0x005B8D80
    {40106, 37760}, {40107, 5340},              // 350000000 = 0x14DC9380
    {40108, 19968}, {40109, 21362},             // 1400000000 = 0x53724E00
    {40110, 123},   {40111, 0},                 //
    {40119, 2},     {40118, 3},
};

const char kParamRead[] = "01039CA4007C2B98";

// The register writes the peer received, less the sampling-rate write (40086)
// that the configuration page makes when the identity block first arrives.
QStringList writeLines(const QString& logPath)
{
    QStringList out;
    for (const QString& line : peers::readLog(logPath))
        if ((line.startsWith(QLatin1String("0110")) || line.startsWith(QLatin1String("0106"))) &&
            !line.startsWith(QLatin1String("01109C96")))
            out << line;
    return out;
}

int countLines(const QString& logPath, const QString& line)
{
    return peers::readLog(logPath).count(line);
}

QString saveShot(QWidget* w, const QString& name)
{
    // layouts settle from the event loop after a language switch
    QTest::qWait(100);
    const QString dir = qEnvironmentVariable("TERVAL_BINARY_DIR", QDir::currentPath()) + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + name;
    return w->grab().save(path) ? path : QString();
}

// The operator's language choice in the title bar.
bool pickLanguage(MainWindow* w, const QString& language)
{
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btn_Language")), Qt::LeftButton);
    auto* menu = w->findChild<CustomMenu*>(QStringLiteral("languageMenu"));
    if (!menu || !menu->isVisible())
        return false;
    for (QPushButton* item : menu->itemButtons())
        if (item->text() == language) {
            QTest::mouseClick(item, Qt::LeftButton);
            return true;
        }
    return false;
}

} // namespace

class TestMonitorPageE2E : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void operatorRoad_data();
    void operatorRoad();
};

void TestMonitorPageE2E::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
    qRegisterMetaType<ModbusAddr>("ModbusAddr");
}

void TestMonitorPageE2E::operatorRoad_data()
{
    QTest::addColumn<QString>("peer");
    QTest::newRow("simulated instrument") << "sim_instrument";
    QTest::newRow("libmodbus server") << "modbus_peer";
}

void TestMonitorPageE2E::operatorRoad()
{
    QFETCH(QString, peer);
    const bool sim = peer == QLatin1String("sim_instrument");
    PtyPair pty;
    QVERIFY2(pty.isReady(), qPrintable(pty.errorString()));
    const QString logPath = pty.filePath(QStringLiteral("peer.log"));
    const QString dumpPath = pty.filePath(QStringLiteral("peer.dump"));
    QStringList args{QStringLiteral("--device"), pty.peerEnd(), QStringLiteral("--log"), logPath,
                     QStringLiteral("--dump"),   dumpPath};
    // set-points 0.85, 0.12 and 0.6 in both peers; the readings of the
    // simulated instrument are its own defaults, the libmodbus server's the same
    // values set word by word (IEEE single, low word first)
    if (sim) {
        args << QStringLiteral("--status") << QStringLiteral("1") << QStringLiteral("--status-step-ms")
             << QStringLiteral("600000") << QStringLiteral("--setf") << QStringLiteral("40122=0.85")
             << QStringLiteral("--setf") << QStringLiteral("40142=0.12") << QStringLiteral("--setf")
             << QStringLiteral("40130=0.6");
    } else {
        for (const char* set : {"40118=1", "40122=39322", "40123=16217", "40142=49807", "40143=15861", "40130=39322",
                                "40131=16153", "40126=61604", "40127=17065", "40146=48759", "40147=16287",
                                "40134=44564", "40135=17007", "40154=0", "40155=16416", "40158=26214", "40159=16358"})
            args << QStringLiteral("--set") << QLatin1String(set);
    }
    PeerProcess process;
    QVERIFY2(process.start(PeerProcess::programPath(peer), args), qPrintable(process.errorString()));

    MonitorPageRig r(1, 0, MonitorPageRig::RealWaits);
    r.hub->iniPath = r.rig.cwd.filePath(QStringLiteral("config.ini")); // the language choice is written there
    QVERIFY(r.showWindow());
    QSignalSpy connected(r.hub, &ParamManager::sig_connected);
    QSignalSpy blocks(r.hub, &ParamManager::sig_updateFormParam);
    emit r.hub->getModbusWorkThread()->sig_connectDevice(pty.linkEnd(), r.hub->baudRate);
    QVERIFY(connected.wait(3000));

    // The main page's crash-log line carries the instrument's set-points.
    QStringList crashTexts;
    QTRY_VERIFY_WITH_TIMEOUT((crashTexts << r.rig.takeCrashTexts()).filter(QLatin1String("Connect Com")).size() == 1,
                             3000);
    QCOMPARE(
        crashTexts.filter(QLatin1String("Connect Com")).first(),
        QStringLiteral("Connect Com success. SetType: VCSEL = 0.8500 , VCSEL Default = 0.1200 , VaporCell = 0.6000."));

    // The service page polls the parameter block once a second.
    QVERIFY(r.enterPage());
    const int readsBefore = countLines(logPath, QLatin1String(kParamRead));
    QTRY_VERIFY_WITH_TIMEOUT(countLines(logPath, QLatin1String(kParamRead)) >= readsBefore + 2, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(r.text("edt_laserTemp"), QStringLiteral("84.97000"), 15000);
    QCOMPARE(r.text("edt_laserElectric"), QStringLiteral("1.24800"));
    QCOMPARE(r.text("edt_airTemp"), QStringLiteral("59.92000"));
    QCOMPARE(r.text("edt_pdValue"), QStringLiteral("1.80000"));
    QCOMPARE(r.text("edt_pdeValue"), QStringLiteral("2.50000"));
    QCOMPARE(r.text("edt_laserTempSet"), QStringLiteral("0.85"));
    QCOMPARE(r.text("edt_laserElectricSet"), QStringLiteral("0.12"));
    QCOMPARE(r.text("edt_airTempSet"), QStringLiteral("0.60"));

    // The operator unlocks and types the set-points.
    QVERIFY(r.unlock());
    r.takeEvents();
    r.typeAndReturn("edt_laserTempSet", QStringLiteral("0.5"));
    QCOMPARE(r.takeEvents(), (QStringList{"paramStop", "wait 500", "01 10 9C BA 00 02 04 00 00 3F 00 90 52", "wait 50",
                                          "01 06 9C B9 00 01 B7 BF", "wait 500", "paramStart"}));
    r.typeAndReturn("edt_laserElectricSet", QStringLiteral("1.5"));
    r.typeAndReturn("edt_airTempSet", QStringLiteral("0.25"));
    QCOMPARE(r.text("edt_laserElectricSet"), QStringLiteral("1"));

    // FS Debug and the sweep edits.
    r.child<QCheckBox>("chk_debug")->click();
    r.typeAndReturn("edt_ddsFreq", QStringLiteral("6000000"));
    r.typeAndReturn("edt_fsStart", QStringLiteral("350000000"));
    r.typeAndReturn("edt_fsEnd", QStringLiteral("1400000000"));
    r.typeAndReturn("edt_fsStep", QStringLiteral("0123"));
    QCOMPARE(r.text("edt_fsStep"), QStringLiteral("123"));

    // Live values again after the writes: the poll was resumed.
    const int blocksAfterWrites = blocks.size();
    QTRY_VERIFY_WITH_TIMEOUT(blocks.size() >= blocksAfterWrites + 2, 15000);
    QCOMPARE(r.text("edt_laserTemp"), QStringLiteral("84.97000"));
    if (sim) {
        const QString en = saveShot(r.window, QStringLiteral("service_page_en.png"));
        QVERIFY(pickLanguage(r.window, QStringLiteral("中文")));
        QCOMPARE(r.text("chk_debug"), QStringLiteral("采样频率调试"));
        const QString zh = saveShot(r.window, QStringLiteral("service_page_zh.png"));
        QVERIFY(pickLanguage(r.window, QStringLiteral("English")));
        QCOMPARE(r.text("chk_debug"), QStringLiteral("FS Debug"));
        QVERIFY(!en.isEmpty() && !zh.isEmpty());
        qInfo("screenshots: %s %s", qPrintable(en), qPrintable(zh));
    }

    QVERIFY(r.choose("btn_workMode", QStringLiteral("1")));
    QTest::mouseClick(r.child<QPushButton>("btn_changeWorkMode"), Qt::LeftButton);
    QVERIFY(r.choose("btn_workState", QStringLiteral("3")));
    QTest::mouseClick(r.child<QPushButton>("btn_changeWorkState"), Qt::LeftButton);
    QVERIFY(!r.child<QCheckBox>("chk_debug")->isChecked());

    // Every write reached the peer, byte for byte, in order.
    QStringList expected;
    for (const char* f : kWriteFrames)
        expected << QLatin1String(f);
    QTRY_COMPARE_WITH_TIMEOUT(writeLines(logPath), expected, 15000);
    // and landed in its registers with the values typed
    QTRY_VERIFY_WITH_TIMEOUT(peers::readDump(dumpPath).value(40118) == 3, 15000);
    const QMap<int, int> dump = peers::readDump(dumpPath);
    for (const auto& reg : kRegisters)
        QVERIFY2(
            dump.value(reg.first, -1) == reg.second,
            qPrintable(
                QStringLiteral("%1=%2, expected %3").arg(reg.first).arg(dump.value(reg.first, -1)).arg(reg.second)));

    // Work mode 1: the page follows the instrument's DDS frequency.
    QTRY_COMPARE_WITH_TIMEOUT(r.text("edt_ddsFreq"), QStringLiteral("6000000"), 15000);
    if (sim) {
        QVERIFY(process.command(QStringLiteral("field 50000"))); // 40100-40101 := 349791500 mHz
        QTRY_COMPARE_WITH_TIMEOUT(r.text("edt_ddsFreq"), QStringLiteral("349791500"), 15000);
    }

    // Leaving with FS Debug on writes 1 to 40118 and leaves the parameter
    // poll off under the main page.
    r.child<QCheckBox>("chk_debug")->click();
    QTest::mouseClick(r.window->findChild<QPushButton*>(QStringLiteral("btnMain")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(writeLines(logPath).mid(expected.size()),
                              (QStringList{"01069CB600630655", "01069CB6000187BC"}), 15000);
    const int readsAfterLeaving = countLines(logPath, QLatin1String(kParamRead));
    QTest::qWait(2600);
    QCOMPARE(countLines(logPath, QLatin1String(kParamRead)), readsAfterLeaving);
    QVERIFY(process.stop());
}

QTEST_MAIN(TestMonitorPageE2E)
#include "tst_monitorpage_e2e.moc"
