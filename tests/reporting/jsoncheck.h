#pragma once
// Python's verdict on JSON texts against expected JSON, one per pair:
// "same", "differs ..." or "invalid ..." (tests/reporting/json_check.py).

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtDebug>

// Empty when Python did not start or finish.
inline QStringList pythonVerdicts(const QList<QPair<QByteArray, QByteArray>>& pairs)
{
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
             {qEnvironmentVariable("TERVAL_SOURCE_DIR") + QStringLiteral("/tests/reporting/json_check.py")});
    if (!py.waitForStarted(10000))
        return {};
    for (const auto& p : pairs)
        py.write(p.first.toHex() + ' ' + p.second.toHex() + '\n');
    py.closeWriteChannel();
    if (!py.waitForFinished(30000)) {
        py.kill();
        py.waitForFinished(5000);
        return {};
    }
    if (py.exitCode() != 0)
        qWarning().noquote() << py.readAllStandardError();
    return QString::fromUtf8(py.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The verdict on one text; says so when Python gave none.
inline QString pythonVerdict(const QByteArray& text, const QByteArray& expected)
{
    const QStringList verdicts = pythonVerdicts({{text, expected}});
    return verdicts.size() == 1 ? verdicts.first()
                                : QStringLiteral("python gave %1 verdicts, not one").arg(verdicts.size());
}
