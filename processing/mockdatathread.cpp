#include "processing/mockdatathread.h"

#include <QDebug>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <cmath>
#include <utility>

MockDataThread::MockDataThread(QObject* parent)
    : QObject(parent)
{
    workerThread = new QThread(this);
    sendTimer = new QTimer(this);
    data.clear();
    index = 0;
    pointsPerSend = 1;
    moveToThread(workerThread);
    connect(this, &MockDataThread::startTimerRequested, this, &MockDataThread::handleStartTimer);
    connect(this, &MockDataThread::stopTimerRequested, this, &MockDataThread::handleStopTimer);
    connect(sendTimer, &QTimer::timeout, this, &MockDataThread::sendNextData);
    sendTimer->setSingleShot(false);
    workerThread->start(QThread::InheritPriority);
}

MockDataThread::~MockDataThread()
{
    if (QThread::currentThread() == workerThread) {
        // The thread object cannot be destroyed from inside its own thread.
        workerThread->setParent(nullptr);
        return;
    }
    stop();
}

template <typename F>
void MockDataThread::runOnWorker(F&& f) const
{
    if (QThread::currentThread() == workerThread || !workerThread->isRunning())
        f();
    else
        QMetaObject::invokeMethod(const_cast<MockDataThread*>(this), std::forward<F>(f),
                                  Qt::BlockingQueuedConnection);
}

void MockDataThread::stop()
{
    if (!workerThread->isRunning() || QThread::currentThread() == workerThread)
        return;
    emit stopTimerRequested();
    // Queued calls run in order: once this returns the timer is stopped, on
    // its own thread, before the loop ends.
    runOnWorker([] {});
    workerThread->quit();
    workerThread->wait();
}

bool MockDataThread::loadCsv(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        emit errorOccurred(tr("无法打开文件: %1").arg(path));
        return false;
    }

    QVector<double> loaded;
    int lineNo = 0;
    int skipped = 0;
    int firstSkipped = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        ++lineNo;
        if (line.isEmpty())
            continue;
        const QStringList fields = line.split(QLatin1Char(','));
        bool ok = false;
        double value = 0;
        if (fields.size() > 1)
            value = fields.at(1).trimmed().toDouble(&ok);
        if (ok && std::isfinite(value)) {
            loaded.append(value);
        } else if (lineNo > 1) { // a first line that is no value is a header
            if (skipped++ == 0)
                firstSkipped = lineNo;
        }
    }
    file.close();

    if (skipped > 0)
        qDebug().noquote() << QStringLiteral("%1: skipped %2 line(s) without a finite number in the second field, "
                                             "the first at line %3")
                                  .arg(path)
                                  .arg(skipped)
                                  .arg(firstSkipped);

    const bool none = loaded.isEmpty();
    // The replay thread reads the values; hand them over there, and never
    // leave the position beyond a shorter file.
    runOnWorker([&] {
        data = std::move(loaded);
        if (index >= data.size())
            index = 0;
    });

    if (none) {
        emit errorOccurred(tr("文件没有包含有效数据: %1").arg(path));
        return false;
    }
    return true;
}

void MockDataThread::setPointsPerSend(int n)
{
    if (n < 1) {
        emit errorOccurred(tr("每次发送点数必须大于0，保持原值 "));
        return;
    }
    pointsPerSend = n;
}

int MockDataThread::intervalMs() const
{
    int ms = 0;
    runOnWorker([&] { ms = sendTimer->interval(); });
    return ms;
}

bool MockDataThread::isSending() const
{
    bool active = false;
    runOnWorker([&] { active = sendTimer->isActive(); });
    return active;
}

QVector<double> MockDataThread::values() const
{
    QVector<double> copy;
    runOnWorker([&] { copy = data; });
    return copy;
}

void MockDataThread::startSendingData(int intervalMs)
{
    emit startTimerRequested(intervalMs);
}

void MockDataThread::stopSendingData()
{
    emit stopTimerRequested();
}

void MockDataThread::handleStartTimer(int intervalMs)
{
    if (data.isEmpty()) {
        emit errorOccurred(tr("没有数据可发送，请先加载CSV文件"));
        return;
    }
    index = 0;
    sendTimer->start(intervalMs);
}

void MockDataThread::handleStopTimer()
{
    sendTimer->stop();
}

void MockDataThread::sendNextData()
{
    if (data.isEmpty())
        return;
    const int count = pointsPerSend.load();
    QVector<double> chunk;
    chunk.reserve(count);
    for (int i = 0; i < count; ++i) {
        chunk.append(data.at(index));
        index = (index + 1) % data.size();
        if (index == 0)
            break; // a chunk never spans the end of the file
    }
    emit dataSent(chunk);
}
