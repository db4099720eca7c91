#pragma once
// Recorded CSV files as a user of them sees them: read back by
// tests/recording/csv_readback.py with Python's csv module and pandas.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QStringList>
#include <QVector>
#include <QtDebug>

struct CsvReadBack {
    bool ok = false;
    int rows = -1;
    QVector<int> fileRows;
    QVector<int> pandasRows;
    QVector<int> widths;
    QStringList times;
    QVector<QStringList> rowValues; // every value column, as written
    QVector<double> values;         // the first value column
    bool formatOk = false;
    QVector<qint64> diffs;
    bool increasing = false;
    QJsonArray named;

    // Empty when every row of every file lies in the day (and, for hourly
    // files, the hour) that the file's name gives; else what does not.
    QString nameMismatches(bool hourly) const
    {
        QStringList bad;
        for (const QJsonValue& v : named) {
            const QJsonObject f = v.toObject();
            const QString file = f["file"].toString();
            if (f["wraps"].toBool())
                bad << file + ": rows of the next day";
            if (f["before_name"].toBool())
                bad << file + ": rows before its name's time";
            const QJsonArray hours = f["hours"].toArray();
            if (hourly && (hours.size() != 1 || hours.at(0).toInt() != f["name_hour"].toInt()))
                bad << file + ": rows of other hours";
        }
        return bad.join("; ");
    }
};

inline CsvReadBack readCsvFiles(const QStringList& files, const QString& format = QStringLiteral("ms"))
{
    CsvReadBack r;
    QProcess py;
    QStringList args{qEnvironmentVariable("TERVAL_SOURCE_DIR") + "/tests/recording/csv_readback.py", format};
    args += files;
    py.start("/usr/bin/python3", args);
    if (!py.waitForFinished(60000)) {
        py.kill();
        py.waitForFinished(5000);
        qWarning() << "python did not finish";
        return r;
    }
    if (py.exitCode() != 0) {
        qWarning().noquote() << "python failed:" << py.readAllStandardError();
        return r;
    }
    const QJsonObject o = QJsonDocument::fromJson(py.readAllStandardOutput()).object();
    r.ok = true;
    r.rows = o["rows"].toInt(-1);
    for (const QJsonValue& v : o["file_rows"].toArray())
        r.fileRows.append(v.toInt());
    for (const QJsonValue& v : o["pandas_rows"].toArray())
        r.pandasRows.append(v.toInt());
    for (const QJsonValue& v : o["widths"].toArray())
        r.widths.append(v.toInt());
    for (const QJsonValue& v : o["times"].toArray())
        r.times.append(v.toString());
    for (const QJsonValue& row : o["values"].toArray()) {
        QStringList texts;
        for (const QJsonValue& v : row.toArray())
            texts.append(v.toString());
        r.rowValues.append(texts);
        r.values.append(texts.value(0).toDouble());
    }
    r.formatOk = o["format_ok"].toBool();
    for (const QJsonValue& v : o["diffs_ms"].toArray())
        r.diffs.append(qint64(v.toDouble()));
    r.increasing = o["increasing"].toBool();
    r.named = o["named"].toArray();
    return r;
}
