#pragma once
// The offline spool without files or threads: spool file names, the ring of
// at most six files, the JSON line of a flushed batch, the order of uploads
// and how a second of samples joins the batch waiting in memory.

#include "reporting/serveruploadrecord.h"

#include <QString>
#include <QStringList>
#include <QVector>

namespace ServerSpool
{

constexpr qint64 kFileLimit = 10485760; // a spool file is full at 10 MiB
constexpr int kRingSize = 6;            // spool files kept at most
constexpr int kFlushValues = 2000;      // a batch this large is written at once
constexpr qint64 kScalarStepMs = 1000;  // one scalar batch per second joins the previous
constexpr qint64 kVectorStepMs = 1200;  // the vector path joins batches 1.2 s apart
constexpr int kMemorySeconds = 600;     // batch kept in memory while writes fail

// "ServerData<n>.txt".
QString fileName(int number);
// The number of a spool file name, or -1 for any other name (one that does
// not read "ServerData<digits>.txt" exactly, or whose number overflows an int).
int numberOfName(const QString& name);

// One spool line, without its line feed. It names no device identity: the
// upload does.
QString line(const QString& deviceType, qint64 timestamp, const QVector<double>& values, int samplingRate,
             int intervalMs);

struct FileEntry {
    int number;
    qint64 size; // bytes
};
// Number to append to at start-up: the smallest file that is not full; the
// largest when all are full; 0 when there are none. Entries in ascending order.
int firstNumber(const QVector<FileEntry>& ascending);

struct Rotation {
    int number = 0;        // file to append to from now on
    int deleteNumber = -1; // file to delete to keep the ring at six, or -1
};
// Next file once the current one is full. Fewer than six files: one past the
// largest. Six or more: the next number round the ring, whose oldest occupant
// is deleted. The file being uploaded (inFlight, -1 for none) is neither
// chosen nor deleted, nor is the current one.
Rotation rotate(const QVector<int>& ascending, int current, int inFlight);

// Where lines go while the current file is being uploaded, which must stay
// as it was sent: while the ring has room, the next free number (nothing is
// deleted); with six files or more -1: the lines wait in memory until the
// upload ends.
int numberBesideUpload(const QVector<int>& ascending, int current);

// The file to upload next: the first spool name in case-insensitive name
// order (so "ServerData10.txt" precedes "ServerData2.txt"), skipping the
// names in busy; empty when there is none.
QString pickUpload(QStringList names, const QStringList& busy = QStringList());

enum class Join {
    Start,         // the batch is empty: start it with these samples
    Append,        // same rate, exactly one step after the last: join
    FlushThenStart // another rate or a gap: write the batch, then start anew
};
Join joinAction(const ServerUploadRecord& batch, qint64 timestamp, int samplingRate, qint64 stepMs);

// Starts the batch with one delivery, replacing whatever it held.
void startBatch(ServerUploadRecord& batch, qint64 timestamp, int samplingRate, int intervalMs);
// Empties the batch (timestamp, rate, last time and interval -1).
void resetBatch(ServerUploadRecord& batch);

// Keeps at most maxValues of the newest samples (and maxVectors of the newest
// records); the batch's time moves on by intervalMs per dropped sample.
// Returns how many samples and records were dropped.
int capBatch(ServerUploadRecord& batch, int maxValues, int maxVectors);

// Keeps the newest maxSeconds of samples of batches waiting in order, oldest
// first, each counted at its own rate: whole batches go from the front, then
// the oldest samples of the first one kept. Returns how many samples went.
int capBatches(QVector<ServerUploadRecord>& batches, int maxSeconds);

} // namespace ServerSpool
