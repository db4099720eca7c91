#pragma once
// Runs the application binary offscreen in a folder for a while, then kills
// it; tests read what it printed and whether it was still running.

#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QTest>

struct AppRun {
    bool started = false;
    bool runningAtEnd = false; // still running when the time was up
    QString stderrText;        // the debug stream
};

inline QString appBinaryPath()
{
    return qEnvironmentVariable("TERVAL_BINARY_DIR") + QStringLiteral("/bin/Terval");
}

// program: another copy of the binary, whose folder then holds its "logs".
inline AppRun runAppFor(const QString& workingDir, int ms, const QString& program = appBinaryPath())
{
    AppRun run;
    QProcess process;
    process.setProgram(program);
    process.setWorkingDirectory(workingDir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start();
    run.started = process.waitForStarted(5000);
    if (!run.started)
        return run;
    QTest::qWait(ms);
    run.runningAtEnd = process.state() == QProcess::Running;
    process.kill();
    process.waitForFinished(5000);
    run.stderrText = QString::fromUtf8(process.readAllStandardError());
    return run;
}
