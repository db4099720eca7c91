#pragma once
// Lock-loss watchdog: keeps one field value per second for the last 70 s and
// reports when no data comes, when the last 60 s run monotonically or when
// the last 30 s all lie outside the plausible field. Judges only while the
// instrument reports that it is measuring (work status 4). Runs on a thread
// of its own.

#include "core/replaceableclock.h"
#include "core/types.h"

#include <QHash>
#include <QMetaObject>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

class QThread;
class QTimer;

struct CheckPoint {
    qint64 utcSecs = 0; // UTC seconds since the epoch, stamped on arrival
    double value = 0;   // nT
};

class DataCheckerThread : public QObject
{
    Q_OBJECT
public:
    // UTC seconds since the epoch.
    using Clock = std::function<qint64()>;

    static constexpr int kCheckIntervalMs = 5000;
    static constexpr qint64 kNoDataSecs = 10;
    static constexpr qint64 kHistorySecs = 70;
    static constexpr int kMonotonicPoints = 60;
    static constexpr int kRangePoints = 30;
    static constexpr double kRangeUpper = 90000.0;
    static constexpr double kRangeLower = 10000.0;
    static constexpr int kCountdownStart = 2000;
    // A repeating message reaches the crash log at most once per this span.
    static constexpr qint64 kCrashLogRepeatSecs = 10;

    static const QString MsgNoData;
    static const QString MsgMonotonic;
    static const QString MsgOutOfRange;

    explicit DataCheckerThread(QObject* parent = nullptr);
    ~DataCheckerThread() override;

    // Replaces the wall clock; safe from any thread.
    void setClock(Clock clock);
    // Stops the timer, ends the thread and waits for it; afterwards the
    // object may be deleted from the calling thread. Not from the watchdog
    // thread itself.
    void stop();

    // Snapshots for tests and diagnostics, safe from any thread.
    QVector<CheckPoint> historySnapshot() const;
    int pendingSampleCount() const;

signals:
    void sig_dataCheckMsg(qlonglong utcSecs, QString message);
    // The same messages, each text at most once per kCrashLogRepeatSecs;
    // this is what the hub forwards to the crash log.
    void sig_crashLogMsg(qlonglong utcSecs, QString message);

public slots:
    void slot_DataCheck(QVector<double> datas, FrequencyType fre);
    void slot_initTimer();
    void slot_onCheckData();

private:
    qint64 now() const;
    int readWorkStatus();
    void report(qint64 utcSecs, const QString& message);
    template <typename F>
    void runOnWorker(F&& f) const;

    QThread* workerThread = nullptr;
    QTimer* checkTimer = nullptr;
    QVector<CheckPoint> history;

    // Sampling state; only the one watchdog of the process uses it.
    QVector<double> samples;
    int lastStride = -1;
    int countdown = kCountdownStart;

    // Status 4 was last entered at this UTC second, as first seen here (-1:
    // not yet seen). After a pause the age of the newest value counts from
    // here, not from the value, since nothing could arrive while the
    // instrument was not measuring. The change count of the shared status
    // tells a return to 4 between two looks.
    int lastStatusSeen = -1;
    quint64 lastStatusChanges = 0;
    qint64 measuringSince = -1;

    QHash<QString, qint64> lastCrashLogged;

    ReplaceableClock clock;
    QMetaObject::Connection finishedConnection;
};
