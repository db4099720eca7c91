#pragma once
// The application log: one file per UTC day in logs/yyyy-MM-dd/logyyyyMMdd.txt
// beside the executable, rotated past 5 MiB, day folders older than 7 days
// removed when the log is created. Any thread may write; each line is
// flushed at once.

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QObject>
#include <QTextStream>

#include <functional>

class Logger : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>; // returns UTC

    static Logger* instance();

    explicit Logger(QObject* parent = nullptr);
    // Test seam: a log rooted at appDir (holding "logs") with its own clock.
    Logger(const QString& appDir, Clock clock, QObject* parent = nullptr);

    void log(const QString& text);

    static constexpr qint64 kRotateBytes = 5242880; // 5 MiB, rotate when larger

    QString currentFileName() const { return file.fileName(); }

private:
    QString logFilePath();
    void cleanOldLogs();
    void openLogFile();
    void rotateLogFile();
    QString baseDir() const;
    QDateTime nowUtc() const;

    QFile file;
    QTextStream stream;
    QMutex mutex;
    QString m_appDir; // empty: AppFolders::appDir()
    Clock m_clock;
};
