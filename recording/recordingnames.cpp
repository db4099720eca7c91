#include "recording/recordingnames.h"

#include <QDir>
#include <QFile>
#include <QStringList>

namespace RecordingNames {

namespace {
const QString kCsv = QStringLiteral(".CSV");
}

QString stripCsvSuffix(const QString& path)
{
    if (path.endsWith(kCsv, Qt::CaseInsensitive))
        return path.left(path.size() - kCsv.size());
    return path;
}

QString scalarCsvPath(const QString& recordingPath, int dataFrequency)
{
    // One-pass arg() so a "%" in the folder name is never substituted.
    return QStringLiteral("%1_RQ_%2Hz.CSV").arg(stripCsvSuffix(recordingPath), QString::number(dataFrequency));
}

QString vectorCsvPath(const QString& recordingPath)
{
    return QStringLiteral("%1_FIDVector_%2Hz.CSV").arg(stripCsvSuffix(recordingPath), QString::number(111));
}

QString rolledPath(const QString& recordingPath, const QDateTime& utcTime)
{
    const int slash = recordingPath.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    return recordingPath.left(slash + 1) + utcTime.toUTC().toString(QStringLiteral("yyyyMMdd_hhmmss")) + kCsv;
}

QString folderOf(const QString& recordingPath)
{
    const int slash = recordingPath.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : recordingPath.left(slash);
}

QDateTime timestampOfName(const QString& fileName)
{
    if (fileName.size() < 15 || fileName.at(8) != QLatin1Char('_'))
        return QDateTime();
    const QDate date = QDate::fromString(fileName.left(8), QStringLiteral("yyyyMMdd"));
    const QTime time = QTime::fromString(fileName.mid(9, 6), QStringLiteral("hhmmss"));
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    // The names are written from UTC times, so they are read back as UTC.
    return QDateTime(date, time, Qt::UTC);
}

int removeCsvFilesOlderThan(const QString& folder, const QDateTime& limit)
{
    // QDir("") is the working directory: never clean that by accident.
    if (folder.isEmpty())
        return 0;
    QDir dir(folder);
    if (!dir.exists())
        return 0;
    int removed = 0;
    const QStringList names = dir.entryList(QStringList{QStringLiteral("*.CSV")}, QDir::Files, QDir::NoSort);
    for (const QString& name : names) {
        const QDateTime stamp = timestampOfName(name);
        if (stamp.isValid() && stamp < limit && QFile::remove(dir.filePath(name)))
            ++removed;
    }
    return removed;
}

QString crashLogPath(const QString& logsDir, const QDateTime& eventUtc)
{
    return logsDir + QStringLiteral("/RQ_Crash_") + eventUtc.toUTC().toString(QStringLiteral("yyyy_MM_dd"))
        + QStringLiteral(".dmp");
}

QString crashLogLine(const QDateTime& eventUtc, const QString& text)
{
    const QDateTime d = eventUtc.toUTC();
    return d.toString(QStringLiteral("yyyy_MM_dd")) + QLatin1Char(' ') + d.toString(QStringLiteral("HH:mm:ss"))
        + QStringLiteral(" UTC ") + text + QLatin1Char('\n');
}

} // namespace RecordingNames
