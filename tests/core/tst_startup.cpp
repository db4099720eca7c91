// The application binary in an empty folder: the start-up lines in order,
// still running after three seconds, nothing written to the folder but logs.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void startsInEmptyFolder();
};

void TestStartup::startsInEmptyFolder()
{
    const QString app = qEnvironmentVariable("TERVAL_BINARY_DIR") + "/bin/Terval";
    QVERIFY2(QFileInfo::exists(app), qPrintable(app));
    QTemporaryDir dir;
    QProcess process;
    process.setProgram(app);
    process.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start();
    QVERIFY(process.waitForStarted(5000));
    QTest::qWait(3000);
    QCOMPARE(process.state(), QProcess::Running);
    process.kill();
    QVERIFY(process.waitForFinished(5000));

    const QString err = QString::fromUtf8(process.readAllStandardError());
    const QStringList expected{"Starting Application...", "Initializing Params...", "isServer:", "isExistGPS:",
                               "isTest:", "Initializing UI...", "Application started..."};
    int from = 0;
    for (const QString& line : expected) {
        const int at = err.indexOf(line, from);
        QVERIFY2(at >= 0, qPrintable(QStringLiteral("missing or out of order: %1\n%2").arg(line, err)));
        from = at + line.size();
    }
    QVERIFY(!err.contains("mock error"));
    // Start-up reads config.ini but never creates it.
    QVERIFY(!QFileInfo::exists(dir.filePath("config.ini")));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
