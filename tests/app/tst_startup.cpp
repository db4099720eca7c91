// The application binary in an empty folder: the start-up lines in order,
// still running after three seconds, nothing written to the folder but logs.
#include "apprun.h"

#include <QDir>
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
    QVERIFY2(QFileInfo::exists(appBinaryPath()), qPrintable(appBinaryPath()));
    QTemporaryDir dir;
    const AppRun run = runAppFor(dir.path(), 3000);
    QVERIFY(run.started);
    QVERIFY(run.runningAtEnd);

    const QString& err = run.stderrText;
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
