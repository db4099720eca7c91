#pragma once
// The recording worker, on a thread of its own. It stamps each one-second
// batch of field samples on a running UTC time line, appends it to the
// current CSV file while recording is on, hands every full batch to the
// server client whether recording or not, ends a timed recording, rolls over
// to a new file at UTC midnight (every whole hour at 1000 samples per second),
// cutting the batch at the boundary by its stamped times, and deletes
// recordings older than 120 days once a day. It also writes the
// crash log, the vector files and the three-axis test file.

#include "core/types.h"
#include "recording/csvtimeline.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class QThread;

class SaveFileThread : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>; // returns UTC

    explicit SaveFileThread(QObject* parent = nullptr);
    ~SaveFileThread() override;

    // Stops the worker's thread and waits for it; later calls are ignored.
    // Call from another thread (tests); the application never stops it.
    void shutdown();

    // Only the three-axis test recorder reads the clock (its file name).
    // Set before the first such call.
    void setClock(Clock clock) { m_clock = std::move(clock); }

signals:
    void sig_saveFinished();
    void sig_SendServerData(qlonglong timestamp, QVector<double> save_data, int data_frequency, int intervalMs);
    void sig_SendServerVectorData(qlonglong timestamp, QVector<XYZST> save_data, int data_frequency, int intervalMs);

public slots:
    void slots_syncSaveParam(bool isSave, int interval, QString filePathName, bool isSaveConsecutivefiles);
    void saveCSVData(QVector<double> datas, int data_frequency, QDateTime utcTime);
    void slot_saveVectorK3orK5CSV(QVector<double> datas);
    void slot_saveVectorXYZS(FIDVectorNum fidVectorNum, QDateTime utcTime);
    void slot_saveCrashLog(qlonglong timestamp, QString text);

private:
    void anchorTimeLine(const QDateTime& utcTime);
    void rollOverIfDue(const QDateTime& utcTime, bool due);
    void writeOrRollBatch(int dataFrequency);
    void countDownBatch();
    void cleanUpIfDue(const QDateTime& utcTime);

    // Rows [from, to) of the pending second; false when they are not all in the file.
    bool writeTimeValueCsv(int dataFrequency, int from, int to);
    // Appends bytes; on a failed write the file is cut back to its size
    // before, so it never ends in a partial row. Logs the failure once per
    // run of failing seconds.
    bool appendToFile(const QString& path, const QByteArray& bytes);
    void removeFilesOlderThan(const QString& folder, const QDateTime& limit);
    bool writeFidVectorCsv(QVector<XYZST>& buffer, const QString& path, const QDateTime& limit);
    // Writers nothing calls yet.
    void writeValueColumn(const QString& path, const QVector<double>& values);
    void writeTimeXyzCsv(const QString& path, const QStringList& times, const QVector<double>& a,
                         const QVector<double>& b, const QVector<double>& c);
    void writeLog(const QString& text);

    QDateTime nowUtc() const;

    QThread* thread = nullptr;
    const double hzPerNanoTesla = kHzPerNanoTesla; // read by the three-axis test recorder
    bool isSaveConsecutivefiles = false;
    bool isSave = false;
    QString filePathName;
    CsvTimeLine timeLine; // fileStart, elapsedMs, restart, lastCleanup, nextMidnight, nextHour
    qint64 remaining = 0;

    // One second of samples being gathered, with the stamped time (ms since
    // the epoch) of each.
    QVector<double> pendingValues;
    QVector<qint64> pendingMs;

    // A run of seconds whose write failed after the file opened.
    bool writeFailing = false;
    int failedWrites = 0;

    QVector<XYZST> vectorBuffer;
    bool vectorNewFile = true;

    QString testFileTag;
    int testCallCount = 0;
    bool testStarted = false;

    Clock m_clock;
    bool m_stopped = false;
};
