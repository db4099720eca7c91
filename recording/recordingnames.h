#pragma once
// File names of the recording worker: the CSV, vector and crash-log files,
// the name a recording takes at roll-over, and the timestamp a recording's
// name starts with. Plain functions, so they are checked without threads.

#include <QDateTime>
#include <QString>

namespace RecordingNames {

// Removes one trailing ".CSV" (any letter case) and nothing else, so that a
// folder such as "/data/old.csv.d/" keeps its name.
QString stripCsvSuffix(const QString& path);

// "<path without .CSV>_RQ_<rate>Hz.CSV"
QString scalarCsvPath(const QString& recordingPath, int dataFrequency);
// "<path without .CSV>_FIDVector_111Hz.CSV"
QString vectorCsvPath(const QString& recordingPath);

// The name a recording continues under after a roll-over: its folder, then
// the UTC time "yyyyMMdd_hhmmss", then ".CSV". Empty when the path has no
// folder part ("/"), in which case the recording keeps its name.
QString rolledPath(const QString& recordingPath, const QDateTime& utcTime);

// Everything before the last "/"; empty when there is none.
QString folderOf(const QString& recordingPath);

// Recordings are named after their UTC start, "yyyyMMdd_hhmmss..." (the
// first 15 characters). Returns that time as UTC, or an invalid time when
// the name does not start with one.
QDateTime timestampOfName(const QString& fileName);

// Deletes the "*.CSV" files (any case) of folder whose names start with a
// timestamp earlier than limit. Other files, folders and names stay. An
// empty folder means "no recording folder yet" and deletes nothing.
// Returns the number of files deleted.
int removeCsvFilesOlderThan(const QString& folder, const QDateTime& limit);

// "<logsDir>/RQ_Crash_yyyy_MM_dd.dmp" for the UTC date of the event.
QString crashLogPath(const QString& logsDir, const QDateTime& eventUtc);
// "yyyy_MM_dd HH:mm:ss UTC <text>\n"
QString crashLogLine(const QDateTime& eventUtc, const QString& text);

} // namespace RecordingNames
