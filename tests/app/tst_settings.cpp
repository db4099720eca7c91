// "config.ini" through the real start-up step, and the hub's own behaviour.
#include "app/appmanager.h"
#include "core/applog.h"
#include "core/portnames.h"
#include "hub/parammanager.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void clampTable_data();
    void clampTable();
    void serializedValuesNeverDecoded();
    void unknownKeysNamed();
    void missingFileStaysMissing();
    void otherKeys();
    void signalOrder();
    void saveCrashLogStamp();
    void setSaveParamEmits();
    void samplingRateRelay();
    void portNamesReversed();
    void fileMembers();

private:
    ParamManager* loadFrom(const QByteArray& content);
    QString m_oldCwd;
    QTemporaryDir m_dir;
    QList<AppManager*> m_managers;
};

void TestSettings::initTestCase()
{
    m_oldCwd = QDir::currentPath();
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
}

void TestSettings::cleanupTestCase()
{
    qDeleteAll(m_managers);
    QDir::setCurrent(m_oldCwd);
}

ParamManager* TestSettings::loadFrom(const QByteArray& content)
{
    // A fresh folder and a distinct modification time per load: QSettings
    // keeps files it has read and takes one of the same size and time for
    // unchanged.
    static int serial = 0;
    const QString folder = m_dir.filePath(QString::number(++serial));
    QDir().mkpath(folder);
    QDir::setCurrent(folder);
    if (!content.isNull()) {
        QFile f("config.ini");
        if (!f.open(QIODevice::WriteOnly))
            return nullptr;
        f.write(content);
        f.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-100000 + serial), QFileDevice::FileModificationTime);
    }
    auto* manager = new AppManager;
    m_managers << manager;
    manager->initParams();
    return manager->params();
}

void TestSettings::clampTable_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("xAxisUpper");
    QTest::addColumn<double>("yAxisLower");
    QTest::addColumn<double>("yAxisUpper");
    QTest::addColumn<int>("baudRate");
    // The key a log line names ("[Group] key"); empty: no line.
    QTest::addColumn<QString>("logged");

    auto s = [](const char* body) { return QByteArray("[Sensitivity]\n") + body; };
    QTest::newRow("empty file") << QByteArray("") << 150 << 1e-5 << 1.0 << 921600 << "";
    QTest::newRow("x 9") << s("xAxisUpper=9\n") << 10 << 1e-5 << 1.0 << 921600 << "";
    QTest::newRow("x 10") << s("xAxisUpper=10\n") << 10 << 1e-5 << 1.0 << 921600 << "";
    QTest::newRow("x 500") << s("xAxisUpper=500\n") << 500 << 1e-5 << 1.0 << 921600 << "";
    QTest::newRow("x 501") << s("xAxisUpper=501\n") << 500 << 1e-5 << 1.0 << 921600 << "";
    // A value that is no number takes the key's default, with a log line.
    QTest::newRow("x text") << s("xAxisUpper=abc\n") << 150 << 1e-5 << 1.0 << 921600 << "[Sensitivity] xAxisUpper";
    QTest::newRow("x fraction") << s("xAxisUpper=2.5\n") << 150 << 1e-5 << 1.0 << 921600
                                << "[Sensitivity] xAxisUpper";
    // Beyond an int: not cut to its low 32 bits (-1294967296, then 10).
    QTest::newRow("x beyond int") << s("xAxisUpper=3000000000\n") << 150 << 1e-5 << 1.0 << 921600
                                  << "[Sensitivity] xAxisUpper";
    QTest::newRow("x list") << s("xAxisUpper=200,300\n") << 150 << 1e-5 << 1.0 << 921600
                            << "[Sensitivity] xAxisUpper";
    QTest::newRow("x quoted, blanks") << s("xAxisUpper = \" 200\"  \n") << 200 << 1e-5 << 1.0 << 921600 << "";
    QTest::newRow("x negative") << s("xAxisUpper=-40\n") << 10 << 1e-5 << 1.0 << 921600 << "";
    QTest::newRow("lower 0") << s("yAxisLower=0\n") << 150 << 1e-6 << 1.0 << 921600 << "";
    QTest::newRow("lower text") << s("yAxisLower=low\n") << 150 << 1e-5 << 1.0 << 921600 << "[Sensitivity] yAxisLower";
    QTest::newRow("lower 2.5") << s("yAxisLower=2.5\n") << 150 << 1.0 << 1.0 << 921600 << "";
    QTest::newRow("lower 1e-3") << s("yAxisLower=1e-3\n") << 150 << 1e-3 << 1.0 << 921600 << "";
    QTest::newRow("lower nan") << s("yAxisLower=nan\n") << 150 << 1e-5 << 1.0 << 921600 << "[Sensitivity] yAxisLower";
    QTest::newRow("lower inf") << s("yAxisLower=inf\n") << 150 << 1e-5 << 1.0 << 921600 << "[Sensitivity] yAxisLower";
    QTest::newRow("lower -inf") << s("yAxisLower=-inf\n") << 150 << 1e-5 << 1.0 << 921600 << "[Sensitivity] yAxisLower";
    QTest::newRow("upper 0.5") << s("yAxisUpper=0.5\n") << 150 << 1e-5 << 1.0 << 921600 << "";
    QTest::newRow("upper 2e6") << s("yAxisUpper=2e6\n") << 150 << 1e-5 << 1e6 << 921600 << "";
    QTest::newRow("upper 300") << s("yAxisUpper=300\n") << 150 << 1e-5 << 300.0 << 921600 << "";
    QTest::newRow("upper nan") << s("yAxisUpper=NaN\n") << 150 << 1e-5 << 1.0 << 921600 << "[Sensitivity] yAxisUpper";
    QTest::newRow("upper inf") << s("yAxisUpper=inf\n") << 150 << 1e-5 << 1.0 << 921600 << "[Sensitivity] yAxisUpper";
    QTest::newRow("baud 9600") << QByteArray("[Com]\nbaudRate=9600\n") << 150 << 1e-5 << 1.0 << 921600 << "";
    QTest::newRow("baud 115200") << QByteArray("[Com]\nbaudRate=115200\n") << 150 << 1e-5 << 1.0 << 115200 << "";
    QTest::newRow("baud text") << QByteArray("[Com]\nbaudRate=fast\n") << 150 << 1e-5 << 1.0 << 921600 << "[Com] baudRate";
    QTest::newRow("windows BOM CRLF")
        << QByteArray("\xEF\xBB\xBF[Sensitivity]\r\nxAxisUpper=200\r\nyAxisLower=0.001\r\nyAxisUpper=50\r\n[Com]\r\nbaudRate=115200\r\n")
        << 200 << 1e-3 << 50.0 << 115200 << "";
    QTest::newRow("key in wrong group") << QByteArray("[Com]\nxAxisUpper=300\n") << 150 << 1e-5 << 1.0 << 921600
                                        << "[Com] \"xAxisUpper\"";
}

void TestSettings::clampTable()
{
    QFETCH(QByteArray, content);
    QFETCH(int, xAxisUpper);
    QFETCH(double, yAxisLower);
    QFETCH(double, yAxisUpper);
    QFETCH(int, baudRate);
    QFETCH(QString, logged);
    const int linesBefore = appLogCount(QStringLiteral("config.ini: ["));
    const int namedBefore = logged.isEmpty() ? 0 : appLogCount(QStringLiteral("config.ini: ") + logged + " = ");
    ParamManager* p = loadFrom(content);
    QVERIFY(p);
    QCOMPARE(p->xAxisUpper, xAxisUpper);
    QVERIFY2(std::isfinite(p->yAxisLower), "lower must be finite");
    QCOMPARE(p->yAxisLower, yAxisLower);
    QCOMPARE(p->yAxisUpper, yAxisUpper);
    QCOMPARE(p->baudRate, baudRate);
    QVERIFY(p->yAxisUpper >= p->yAxisLower);
    QCOMPARE(appLogCount(QStringLiteral("config.ini: [")) - linesBefore, logged.isEmpty() ? 0 : 1);
    if (!logged.isEmpty())
        QCOMPARE(appLogCount(QStringLiteral("config.ini: ") + logged + " = ") - namedBefore, 1);
}

void TestSettings::serializedValuesNeverDecoded()
{
    // Qt's own INI format decodes "@Variant(...)" and crashes on this one.
    const QStringList named{QStringLiteral("config.ini: [Sensitivity] isTest = the serialized value \"@Variant(\\x00"),
                            QStringLiteral("config.ini: [Sensitivity] \"other\" = the serialized value \"@Variant("),
                            QStringLiteral("config.ini: [Server] GPSCom = the serialized value \"@ByteArray(")};
    QList<int> before;
    for (const QString& line : named)
        before << appLogCount(line);
    const int all = appLogCount(QStringLiteral("config.ini: ["));
    ParamManager* p = loadFrom("[Sensitivity]\nisTest=@Variant(\\0\\0\\0\\[Genx7f)\nisFSMode=1\n"
                               "other=@Variant(\\0\\0\\0\\[Genx7f)\n[Server]\nGPSCom=@ByteArray(/dev/ttyS0)\n"
                               "isExistGPS=1\n");
    QVERIFY(p);
    QCOMPARE(p->isTest, 0);
    QCOMPARE(p->isFSMode, 1);
    QCOMPARE(p->m_GPSCom, QStringLiteral("Com4"));
    QCOMPARE(p->isExistGPS, 1);
    // One line per key.
    QCOMPARE(appLogCount(QStringLiteral("config.ini: [")) - all, 3);
    for (int i = 0; i < named.size(); ++i)
        QVERIFY2(appLogCount(named.at(i)) - before.at(i) == 1, qPrintable(named.at(i)));
}

void TestSettings::unknownKeysNamed()
{
    const QString misspelt = QStringLiteral("config.ini: [Sensitivity] \"isTets\" = \"1\" is not a setting");
    const QString lowerCase = QStringLiteral("config.ini: [Com] \"baudrate\" = \"115200\" is not a setting");
    const int before[] = {appLogCount(QStringLiteral("is not a setting of this program")), appLogCount(misspelt),
                          appLogCount(lowerCase)};
    ParamManager* p = loadFrom("[Sensitivity]\nisTets=1\nxAxisUpper=200\n[Com]\nbaudrate=115200\n");
    QVERIFY(p);
    QCOMPARE(p->isTest, 0);
    QCOMPARE(p->xAxisUpper, 200);
    QCOMPARE(p->baudRate, 921600);
    QCOMPARE(appLogCount(QStringLiteral("is not a setting of this program")) - before[0], 2);
    QCOMPARE(appLogCount(misspelt) - before[1], 1);
    QCOMPARE(appLogCount(lowerCase) - before[2], 1);
}

void TestSettings::missingFileStaysMissing()
{
    ParamManager* p = loadFrom(QByteArray());
    QVERIFY(p);
    QCOMPARE(p->iniPath, QStringLiteral("config.ini"));
    QCOMPARE(p->xAxisUpper, 150);
    QCOMPARE(p->isServer, 0);
    QCOMPARE(p->m_GPSCom, QStringLiteral("Com4"));
    QVERIFY(!QFileInfo::exists("config.ini"));
    QVERIFY(!p->mockDataThread); // no replay source unless asked for
}

void TestSettings::otherKeys()
{
    ParamManager* p = loadFrom("[Server]\nisServer=0\nisExistGPS=1\nGPSCom=/dev/ttyUSB3\n"
                               "[Sensitivity]\nbandWidth=33\nisTest=1\nisFSMode=1\nisChinese=1\n");
    QVERIFY(p);
    QCOMPARE(p->isExistGPS, 1);
    QCOMPARE(p->m_GPSCom, QStringLiteral("/dev/ttyUSB3"));
    QCOMPARE(p->bandWidth, 33);
    QCOMPARE(p->isTest, 1);
    QCOMPARE(p->isFSMode, 1);
    QCOMPARE(p->isChinese, 1);
    QCOMPARE(p->isMockData, 0);
    // Nothing was written back.
    QFile f("config.ini");
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(!f.readAll().contains("baudRate"));
}

void TestSettings::signalOrder()
{
    // Callers rely on the hub's methods keeping this order.
    const QStringList expected{
        "sig_devStatusWorkerStart", "sig_ddsWorkerStart", "sig_paramWorkerStart", "sig_devStatusWorkerStop",
        "sig_ddsWorkerStop", "sig_paramWorkerStop", "sig_sendModbusData", "sig_sendCustomModbusData",
        "sig_updateForm", "sig_updateVectorForm", "sig_updateFormEx", "sig_updateFormParam",
        "sig_updateFormParamEx", "sig_updateProgress", "sig_updateProgressEx", "sig_signalStrength",
        "sig_updateSerialNumber", "sig_saveFinished", "sig_connected", "sig_disconnect", "sig_changeWorkState",
        "sig_reboot", "sig_syncDataParam", "sig_syncSaveParam", "sig_syncDataByteCount",
        "sig_startComPortThreadTimer", "sig_stopComPortThreadTimer", "sig_sendUpgradeData", "sig_setOneHz",
        "sig_setTwentyHz", "sig_saveCSVData", "sig_setFilterEnabled", "sig_updateSamplingRate",
        "sig_changeSamplingRate", "sig_saveCrashLog", "sig_initServer", "sig_connectFidPort",
        "sig_disconnectFidPort", "slots_updateSamplingRate"};
    const QMetaObject& mo = ParamManager::staticMetaObject;
    QStringList names;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
        names << QString::fromLatin1(mo.method(i).name());
    QCOMPARE(names, expected);
    QCOMPARE(mo.method(mo.methodOffset() + 34).methodSignature(), QByteArray("sig_saveCrashLog(qlonglong,QString)"));
    QCOMPARE(mo.method(mo.methodOffset() + 30).methodSignature(),
             QByteArray("sig_saveCSVData(QVector<double>,int,QDateTime)"));
}

void TestSettings::saveCrashLogStamp()
{
    ParamManager* p = loadFrom("");
    QSignalSpy spy(p, &ParamManager::sig_saveCrashLog);
    const qint64 before = QDateTime::currentDateTimeUtc().toSecsSinceEpoch();
    p->saveCrashLog("now");
    const qint64 after = QDateTime::currentDateTimeUtc().toSecsSinceEpoch();
    p->saveCrashLog("given", 1765324800);
    QCOMPARE(spy.count(), 2);
    const qint64 stamped = spy[0][0].toLongLong();
    QVERIFY(stamped >= before && stamped <= after);
    QCOMPARE(spy[0][1].toString(), QStringLiteral("now"));
    QCOMPARE(spy[1][0].toLongLong(), 1765324800LL);
}

void TestSettings::setSaveParamEmits()
{
    ParamManager* p = loadFrom("");
    QSignalSpy spy(p, &ParamManager::sig_syncSaveParam);
    p->setSaveParam(true, 3600, "/tmp/x/20261209_010203.CSV", true);
    QVERIFY(p->isSave());
    QCOMPARE(p->getFilePathName(), QStringLiteral("/tmp/x/20261209_010203.CSV"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy[0][0].toBool(), true);
    QCOMPARE(spy[0][1].toInt(), 3600);
    QCOMPARE(spy[0][3].toBool(), true);
    p->clearSave();
    QVERIFY(!p->isSave());
}

void TestSettings::samplingRateRelay()
{
    ParamManager* p = loadFrom("");
    QSignalSpy spy(p, &ParamManager::sig_updateSamplingRate);
    p->slots_updateSamplingRate(200);
    QCOMPARE(p->samplingRate, 200);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy[0][0].toInt(), 200);
}

void TestSettings::portNamesReversed()
{
    QCOMPARE(reversedPortNames(QStringList{"first", "second", "third"}), (QStringList{"third", "second", "first"}));
    QCOMPARE(reversedPortNames(QStringList{}), QStringList{});
}

void TestSettings::fileMembers()
{
    ParamManager* p = loadFrom("");
    p->appendTextToFile("notes.txt", "a");
    p->appendTextToFile("notes.txt", "b\n");
    QFile notes("notes.txt");
    QVERIFY(notes.open(QIODevice::ReadOnly));
    QCOMPARE(notes.readAll(), QByteArray("ab\n"));

    p->appendHexLine("hex.txt", QByteArray::fromHex("01ab"));
    QFile hex("hex.txt");
    QVERIFY(hex.open(QIODevice::ReadOnly));
    QVERIFY(QRegularExpression(R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] 01 ab\n$)").match(QString::fromLatin1(hex.readAll())).hasMatch());

    QFile values("values.txt");
    QVERIFY(values.open(QIODevice::WriteOnly));
    values.write("1.5\n\n  2 \nabc\n-3e2\n");
    values.close();
    QCOMPARE(p->readDoublesFromFile("values.txt"), (QVector<double>{1.5, 2, 0, -300}));
    QCOMPARE(p->readDoublesFromFile("missing/none.txt"), QVector<double>{});
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
