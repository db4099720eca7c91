#pragma once
// Shared pieces of the GPS worker tests: collecting what the worker and its
// reader emit on the test thread, starting the worker as the server client
// does, and reading the files the peer replays.

#include "core/applog.h"
#include "core/appfolders.h"
#include "core/logger.h"
#include "reporting/gpsreader.h"
#include "reporting/gpsthread.h"
#include "reporting/nmeaparser.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMetaObject>
#include <QObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <QVector>

namespace gpsrig
{

struct Fix {
    double lat = 0;
    double lon = 0;
    double alt = 0;
    int sats = 0;
    qint64 atMs = 0; // since the sink was made
};

inline bool operator==(const Fix& a, const Fix& b)
{
    return a.lat == b.lat && a.lon == b.lon && a.alt == b.alt && a.sats == b.sats;
}

// Lives on the test thread; every connection to it is queued.
class Sink : public QObject
{
public:
    Sink() { clock.start(); }

    void listenToReader(GpsReader* reader)
    {
        connect(
            reader, &GpsReader::newGpsData, this,
            [this](double lat, double lon, double alt, int sats) {
                readerFixes.append({lat, lon, alt, sats, clock.elapsed()});
            },
            Qt::QueuedConnection);
    }
    void listenToWorker(GPSThread* worker)
    {
        connect(
            worker, &GPSThread::newGpsData, this,
            [this](double lat, double lon, double alt, int sats) {
                passedFixes.append({lat, lon, alt, sats, clock.elapsed()});
            },
            Qt::QueuedConnection);
        connect(
            worker, &GPSThread::portOpened, this,
            [this](bool opened) {
                portEvents.append(opened);
                portEventMs.append(clock.elapsed());
            },
            Qt::QueuedConnection);
    }

    QElapsedTimer clock;
    QVector<Fix> readerFixes; // every fix the reader emits
    QVector<Fix> passedFixes; // what the worker passes on to the server client
    QVector<bool> portEvents; // portOpened, forwarded by the worker
    QVector<qint64> portEventMs;
};

// As the server client's sig_beginGPS does: queued onto the GPS thread.
inline void begin(GPSThread& worker)
{
    QMetaObject::invokeMethod(&worker, &GPSThread::slot_begin, Qt::QueuedConnection);
}

inline GpsReader::Counters countersOf(GPSThread& worker)
{
    GpsReader::Counters c;
    GpsReader* reader = worker.reader();
    if (reader)
        QMetaObject::invokeMethod(
            reader, [&] { c = reader->counters(); }, Qt::BlockingQueuedConnection);
    return c;
}

// Runs slot_GPSData on the GPS thread and returns once it ran.
inline void offerFix(GPSThread& worker, double lat, double lon, double alt, int sats)
{
    QMetaObject::invokeMethod(
        &worker, [&] { worker.slot_GPSData(lat, lon, alt, sats); }, Qt::BlockingQueuedConnection);
}

inline QString dataFile(const QString& name)
{
    return QString::fromLocal8Bit(qgetenv("TERVAL_SOURCE_DIR")) + QStringLiteral("/tests/reporting/data/") + name;
}

// The fixes a file's sentence lines give, in order, read by the core.
inline QVector<Fix> fixesOf(const QString& path)
{
    QVector<Fix> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        GpsData d;
        if (Nmea::parseSentence(QString::fromLatin1(raw), d) == Nmea::Verdict::Fix)
            out.append({d.latitude, d.longitude, d.altitude, d.satellites, 0});
    }
    return out;
}

// Points the application log at a temporary folder (initTestCase).
inline void useTemporaryAppFolder()
{
    static QTemporaryDir folder;
    AppFolders::setOverride(folder.path());
}

} // namespace gpsrig
