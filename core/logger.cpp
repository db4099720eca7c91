#include "core/logger.h"

#include "core/appfolders.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>

#include <atomic>

namespace {
std::atomic<Logger*> loggerInstance{nullptr};
QMutex creationMutex;
}

Logger* Logger::instance()
{
    Logger* existing = loggerInstance.load(std::memory_order_acquire);
    if (existing)
        return existing;
    QMutexLocker lock(&creationMutex);
    existing = loggerInstance.load(std::memory_order_relaxed);
    if (!existing) {
        existing = new Logger();
        loggerInstance.store(existing, std::memory_order_release);
    }
    return existing;
}

Logger::Logger(QObject* parent)
    : Logger(QString(), Clock(), parent)
{
}

Logger::Logger(const QString& appDir, Clock clock, QObject* parent)
    : QObject(parent), m_appDir(appDir), m_clock(std::move(clock))
{
    cleanOldLogs();
    openLogFile();
}

QString Logger::baseDir() const
{
    return m_appDir.isEmpty() ? AppFolders::appDir() : QDir(m_appDir).absolutePath();
}

QDateTime Logger::nowUtc() const
{
    return m_clock ? m_clock().toUTC() : QDateTime::currentDateTimeUtc();
}

QString Logger::logFilePath()
{
    const QDateTime now = nowUtc();
    const QString dayDir = baseDir() + QStringLiteral("/logs/") + now.toString(QStringLiteral("yyyy-MM-dd"));
    QDir().mkpath(dayDir);
    return dayDir + QStringLiteral("/log") + now.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".txt");
}

void Logger::cleanOldLogs()
{
    QDir logs(baseDir() + QStringLiteral("/logs"));
    if (!logs.exists())
        return;
    const QDateTime limit = nowUtc().addDays(-7);
    const QStringList names = logs.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        // Folder names are UTC dates; reading them as local midnight would
        // remove a 6-day-old folder early in zones east of UTC.
        const QDate date = QDate::fromString(name, QStringLiteral("yyyy-MM-dd"));
        const QDateTime day(date, QTime(0, 0), Qt::UTC);
        if (date.isValid() && day < limit)
            QDir(logs.filePath(name)).removeRecursively();
    }
}

void Logger::openLogFile()
{
    const QString path = logFilePath();
    file.setFileName(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        stream.setDevice(&file);
    else
        qDebug().noquote() << "Failed to open log file: " + path;
}

void Logger::rotateLogFile()
{
    const QFileInfo info(file.fileName());
    const QString folder = info.absolutePath();
    const QString base = info.baseName();
    const QString suffix = info.completeSuffix();
    QString target;
    for (int n = 1;; ++n) {
        target = QStringLiteral("%1/%2_%3.%4").arg(folder, base).arg(n, 3, 10, QLatin1Char('0')).arg(suffix);
        if (!QFileInfo::exists(target))
            break;
    }
    QFile::rename(file.fileName(), target);
}

void Logger::log(const QString& text)
{
    QMutexLocker lock(&mutex);
    if (file.isOpen() && file.size() > kRotateBytes) {
        stream.setDevice(nullptr);
        file.close();
        rotateLogFile();
        openLogFile();
    }
    if (!file.isOpen())
        openLogFile();
    if (!file.isOpen())
        return; // reported by openLogFile; the line is lost
    stream << nowUtc().toString(QStringLiteral("[yyyy-MM-dd hh:mm:ss.zzz] ")) << text << '\n';
    stream.flush();
}
