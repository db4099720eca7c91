// Settings files that Qt's own INI format crashes on (a malformed
// "@Variant(...)" value), given to the application binary: it starts, runs
// on, names the key in its log and writes nothing at start-up. The binary is
// a copy in a folder of the test's own, so that its "logs" folder (which
// holds "server.ini" and the log) is the test's too.
#include "apprun.h"
#include "core/filebytes.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

const QByteArray kVariant = "@Variant(\\0\\0\\0\\[Genx7f)";

QByteArray configWith(const QByteArray& sensitivityLine, int isServer)
{
    return "[Sensitivity]\nxAxisUpper=150\nyAxisLower=1e-5\nyAxisUpper=1\nbandWidth=15\n" + sensitivityLine +
           "\nisMockData=0\nisFSMode=0\nisChinese=0\n\n[Com]\nbaudRate=921600\n\n[Server]\nisServer=" +
           QByteArray::number(isServer) + "\nisExistGPS=0\nGPSCom=/dev/null\n";
}

// A fuzz find: its first byte is the fuzz target's own, the rest the file.
QByteArray serverIniFind(const char* name)
{
    return sourceFileBytes(QStringLiteral("tests/fuzz/corpus/server_ini/") + QLatin1String(name)).mid(1);
}

// Every log file the program wrote below its logs folder, in one text.
QString logText(const QString& logsDir)
{
    QString text;
    QDirIterator it(logsDir, {QStringLiteral("log*.txt")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        text += QString::fromUtf8(fileBytes(it.next()));
    return text;
}

} // namespace

class TestBadSettings : public QObject
{
    Q_OBJECT
private slots:
    void startsAndNamesTheKey_data();
    void startsAndNamesTheKey();
};

void TestBadSettings::startsAndNamesTheKey_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QByteArray>("serverIni"); // null: none
    QTest::addColumn<QString>("logged");
    QTest::addColumn<QString>("debugLine");

    QTest::newRow("config.ini, a key the program does not read")
        << configWith("isTest=1\nother=" + kVariant, 0) << QByteArray()
        << "config.ini: [Sensitivity] \"other\" = the serialized value \"@Variant("
        << "isTest: 1";
    QTest::newRow("config.ini, isTest") << configWith("isTest=" + kVariant, 0) << QByteArray()
                                        << "config.ini: [Sensitivity] isTest = the serialized value \"@Variant("
                                        << "isTest: 0";
    QTest::newRow("server.ini, a key the program does not read")
        << configWith("isTest=0", 1) << "[Server]\nGUID=123e4567-e89b-12d3-a456-426614174000\nother=" + kVariant + "\n"
        << "server.ini: [Server] \"other\" = the serialized value \"@Variant("
        << "isServer: 1";
    QTest::newRow("server.ini, first find") << configWith("isTest=0", 1) << serverIniFind("find-variant-1")
                                            << "server.ini: [Server] \"other\" = the serialized value \"@Variant("
                                            << "isServer: 1";
    QTest::newRow("server.ini, second find")
        << configWith("isTest=0", 1) << serverIniFind("find-variant-2")
        << QStringLiteral("server.ini: [¼¢] \"other\" = the serialized value \"@Variant(") << "isServer: 1";
}

void TestBadSettings::startsAndNamesTheKey()
{
    QFETCH(QByteArray, config);
    QFETCH(QByteArray, serverIni);
    QFETCH(QString, logged);
    QFETCH(QString, debugLine);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString bin = root.filePath(QStringLiteral("bin"));
    const QString run = root.filePath(QStringLiteral("run"));
    QVERIFY(QDir().mkpath(bin + QStringLiteral("/logs")) && QDir().mkpath(run));
    const QString program = bin + QStringLiteral("/Terval");
    QVERIFY2(QFile::copy(appBinaryPath(), program), qPrintable(appBinaryPath()));

    const QString configPath = run + QStringLiteral("/config.ini");
    const QString serverPath = bin + QStringLiteral("/logs/server.ini");
    QFile c(configPath);
    QVERIFY(c.open(QIODevice::WriteOnly) && c.write(config) == config.size());
    c.close();
    if (!serverIni.isNull()) {
        QVERIFY(!serverIni.isEmpty());
        QFile s(serverPath);
        QVERIFY(s.open(QIODevice::WriteOnly) && s.write(serverIni) == serverIni.size());
    }

    const AppRun result = runAppFor(run, 4000, program);
    QVERIFY(result.started);
    QVERIFY2(result.stderrText.contains(QLatin1String("Application started...")), qPrintable(result.stderrText));
    QVERIFY2(result.runningAtEnd, qPrintable(result.stderrText));
    QVERIFY2(result.stderrText.contains(debugLine), qPrintable(result.stderrText));

    const QString log = logText(bin + QStringLiteral("/logs"));
    QVERIFY2(log.count(logged) == 1, qPrintable(log));

    // Nothing is written at start-up: both files are as they were.
    QCOMPARE(fileBytes(configPath), config);
    if (!serverIni.isNull())
        QCOMPARE(fileBytes(serverPath), serverIni);
}

QTEST_GUILESS_MAIN(TestBadSettings)
#include "tst_badsettings.moc"
