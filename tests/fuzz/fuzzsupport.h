#pragma once
// Shared by the fuzz targets: a quiet Qt with an application object, a
// scratch folder for the files the targets write (and for the application
// log), and a check that turns a broken expectation into a crash, so that
// libFuzzer keeps the input that broke it.

#include "core/appfolders.h"
#include "core/logger.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "FUZZ_CHECK failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);                        \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

namespace FuzzSupport
{

inline QString& scratchDir()
{
    static QString dir;
    return dir;
}

// The product's debug lines ("data error1", ...) would flood the run; only a
// fatal message still stops it.
inline void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        std::abort();
    }
}

// Call once from LLVMFuzzerInitialize. The scratch folder is
// $TERVAL_FUZZ_SCRATCH, or a temporary folder removed at exit.
inline void init()
{
    static int argc = 1;
    static char name[] = "terval_fuzz";
    static char* argv[] = {name, nullptr};
    qInstallMessageHandler(quietMessages);
    // Kept until exit: worker threads need the application object.
    new QCoreApplication(argc, argv);

    QString dir = qEnvironmentVariable("TERVAL_FUZZ_SCRATCH");
    if (dir.isEmpty()) {
        static QTemporaryDir temporary;
        dir = temporary.path();
    }
    QDir().mkpath(dir);
    scratchDir() = QDir(dir).absolutePath();
    AppFolders::setOverride(scratchDir());

    // Short replies log a line per missing field; at fuzzing speed that
    // would fill the disk. Today's log file is made /dev/null before the
    // log opens it (it keeps that file for the rest of the run).
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString day = scratchDir() + QStringLiteral("/logs/") + now.toString(QStringLiteral("yyyy-MM-dd"));
    QDir().mkpath(day);
    const QString logFile =
        day + QStringLiteral("/log") + now.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".txt");
    QFile::remove(logFile);
    QFile::link(QStringLiteral("/dev/null"), logFile);
    Logger::instance();
}

// Gives the file a modification time of its own, so that the next QSettings
// reads it from disk again, as a new start of the program would.
inline void restamp(const QString& path)
{
    static qint64 serial = 0;
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadWrite));
    FUZZ_CHECK(file.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000 + ++serial, Qt::UTC),
                                QFileDevice::FileModificationTime));
}

// Writes the input to the file name of the scratch folder and returns its
// path. Each call stamps the file with a modification time of its own:
// QSettings keeps the files it has read and takes a rewritten file of the
// same size and time for unchanged.
inline QString writeScratchFile(const QString& name, const uint8_t* data, size_t size)
{
    const QString path = scratchDir() + QLatin1Char('/') + name;
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    file.close();
    restamp(path);
    return path;
}

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), int(size));
}

} // namespace FuzzSupport
