#include "processing/datacheckerthread.h"

#include "core/globalstate.h"

#include <QDateTime>
#include <QDebug>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>

const QString DataCheckerThread::MsgNoData = QString::fromUtf8("10秒内没有数据发过来，请检查设备");
const QString DataCheckerThread::MsgMonotonic = QString::fromUtf8("数据单调超过60秒,设备失锁中，请检查设备");
const QString DataCheckerThread::MsgOutOfRange = QString::fromUtf8("数据连续30秒以上异常,设备失锁中，请检查设备");

DataCheckerThread::DataCheckerThread(QObject* parent) : QObject(parent)
{
    workerThread = new QThread(this);
    moveToThread(workerThread);
    connect(workerThread, &QThread::started, this, &DataCheckerThread::slot_initTimer);
    finishedConnection = connect(workerThread, &QThread::finished, this, &QObject::deleteLater);
    workerThread->start(QThread::InheritPriority);
}

DataCheckerThread::~DataCheckerThread()
{
    if (QThread::currentThread() == workerThread) {
        // Deleted as its own thread ends: the thread object cannot be
        // destroyed from inside that thread, so it is left to the process.
        workerThread->setParent(nullptr);
        return;
    }
    if (workerThread->isRunning())
        stop();
}

void DataCheckerThread::setClock(Clock c)
{
    clock.set(std::move(c));
}

qint64 DataCheckerThread::now() const
{
    return clock.now();
}

template <typename F>
void DataCheckerThread::runOnWorker(F&& f) const
{
    if (QThread::currentThread() == workerThread || !workerThread->isRunning())
        f();
    else
        QMetaObject::invokeMethod(const_cast<DataCheckerThread*>(this), std::forward<F>(f),
                                  Qt::BlockingQueuedConnection);
}

void DataCheckerThread::stop()
{
    if (!workerThread->isRunning() || QThread::currentThread() == workerThread)
        return;
    // The timer belongs to the watchdog thread and must be stopped there.
    runOnWorker([this] {
        if (checkTimer)
            checkTimer->stop();
    });
    // Deleting itself when the thread ends would also delete the thread
    // object from inside that thread; whoever stops it deletes it instead.
    disconnect(finishedConnection);
    workerThread->quit();
    workerThread->wait();
}

QVector<CheckPoint> DataCheckerThread::historySnapshot() const
{
    QVector<CheckPoint> copy;
    runOnWorker([&] { copy = history; });
    return copy;
}

int DataCheckerThread::pendingSampleCount() const
{
    int n = 0;
    runOnWorker([&] { n = samples.size(); });
    return n;
}

void DataCheckerThread::slot_initTimer()
{
    checkTimer = new QTimer(this);
    connect(checkTimer, &QTimer::timeout, this, &DataCheckerThread::slot_onCheckData);
    checkTimer->start(kCheckIntervalMs);
}

int DataCheckerThread::readWorkStatus()
{
    GlobalState& state = GlobalState::instance();
    int status;
    quint64 changes;
    {
        QMutexLocker locker(&state.workStatusMutex);
        status = state.workStatus;
        changes = state.workStatusChanges;
    }
    // A status that left 4 and came back since the last look (a Restart
    // between two ticks) is a new start just as much as a first 4.
    if (status == 4 && (lastStatusSeen != 4 || changes != lastStatusChanges))
        measuringSince = now();
    lastStatusSeen = status;
    lastStatusChanges = changes;
    return status;
}

void DataCheckerThread::report(qint64 utcSecs, const QString& message)
{
    emit sig_dataCheckMsg(utcSecs, message);
    // While a condition holds it is reported with every batch; the crash log
    // only needs to hear of it once in a while.
    const auto last = lastCrashLogged.constFind(message);
    if (last != lastCrashLogged.constEnd() && utcSecs - last.value() < kCrashLogRepeatSecs
        && utcSecs >= last.value())
        return;
    lastCrashLogged.insert(message, utcSecs);
    emit sig_crashLogMsg(utcSecs, message);
}

void DataCheckerThread::slot_DataCheck(QVector<double> datas, FrequencyType fre)
{
    samples += datas;

    const auto strideIt = RateStrideMap.constFind(int(fre));
    if (readWorkStatus() != 4 || strideIt == RateStrideMap.constEnd()) {
        samples.clear();
        return;
    }

    const int stride = strideIt.value();
    if (lastStride != -1 && lastStride != stride)
        samples.clear();
    lastStride = stride;

    const qint64 t = now();
    if (samples.size() > stride) {
        int taken = 0;
        for (int pos = stride; pos < samples.size(); pos += stride) {
            history.append(CheckPoint{t + taken, samples.at(pos)});
            ++taken;
        }
        samples.remove(0, taken * stride);
    }

    if (fre == Freq42Hz || fre == Freq111Hz) {
        if (--countdown < 0) {
            countdown = kCountdownStart;
            samples.clear();
        }
    }

    if (history.isEmpty())
        return;

    const qint64 oldestKept = history.constLast().utcSecs - kHistorySecs;
    history.erase(std::remove_if(history.begin(), history.end(),
                                 [oldestKept](const CheckPoint& p) { return p.utcSecs < oldestKept; }),
                  history.end());

    if (history.size() >= kMonotonicPoints) {
        const int from = history.size() - kMonotonicPoints;
        bool rising = true;
        bool falling = true;
        for (int i = from + 1; i < history.size(); ++i) {
            if (history.at(i).value < history.at(i - 1).value)
                rising = false;
            if (history.at(i).value > history.at(i - 1).value)
                falling = false;
        }
        if (rising || falling) {
            QString line = QString::fromUtf8(rising ? "单调增：" : "单调减：");
            for (int i = from; i < history.size(); ++i)
                line += QString::number(history.at(i).value, 'f', 2) + QLatin1Char(' ');
            qDebug().noquote() << line;
            report(now(), MsgMonotonic);
            return;
        }
    }

    if (history.size() >= kRangePoints) {
        bool above = true;
        bool below = true;
        for (int i = history.size() - kRangePoints; i < history.size(); ++i) {
            const double v = history.at(i).value;
            if (!(v > kRangeUpper))
                above = false;
            if (!(v < kRangeLower))
                below = false;
        }
        if (above || below)
            report(now(), MsgOutOfRange);
    }
}

void DataCheckerThread::slot_onCheckData()
{
    if (readWorkStatus() != 4 || history.isEmpty())
        return;
    const qint64 t = now();
    // The newest value cannot be older than the moment measuring resumed.
    const qint64 since = qMax(history.constLast().utcSecs, measuringSince);
    if (t - since > kNoDataSecs)
        report(t, MsgNoData);
}
