#include "link/modbusworkthread.h"

#include "core/globalstate.h"
#include "link/instrumentframes.h"

#include <QDebug>
#include <QMutexLocker>
#include <QTimer>

ModbusWorkThread::ModbusWorkThread(QObject* parent) : QObject(parent)
{
    using namespace InstrumentFrames;
    const auto pair = [](int rate) { return streamPairFor(rate); };

    addr30000Frame = ab30000;
    ddsDataFrame = ddsData;
    restartFrame = restart;
    retrackFrame = retrack;
    statusFrame = readStatus;
    paramFrame = readParams;
    addr40230Frame = read40230;
    ddsStartFrame = QString::fromLatin1(pair(1000)->start);
    ddsEndFrame = QString::fromLatin1(pair(1000)->stop);
    ddsStart200 = QString::fromLatin1(pair(200)->start);
    ddsEnd200 = QString::fromLatin1(pair(200)->stop);
    ddsStart500 = QString::fromLatin1(pair(500)->start);
    ddsEnd500 = QString::fromLatin1(pair(500)->stop);
    ddsStart20 = QString::fromLatin1(pair(20)->start);
    ddsEnd20 = QString::fromLatin1(pair(20)->stop);
    ddsStart10 = QString::fromLatin1(pair(10)->start);
    ddsEnd10 = QString::fromLatin1(pair(10)->stop);
    identityFrame = readIdentity;

    frameMap.insert(Addr40118_restart, restartFrame);
    frameMap.insert(Addr40118_retrack, retrackFrame);
    frameMap.insert(Addr40118r, statusFrame);
    frameMap.insert(Addr40100, paramFrame);
    frameMap.insert(Addr40230, addr40230Frame);
    frameMap.insert(Addr30000, addr30000Frame);
    frameMap.insert(Addrdds_data, ddsDataFrame);
    frameMap.insert(Addrdds_start, ddsStartFrame);
    frameMap.insert(Addrdds_end, ddsEndFrame);
    frameMap.insert(Addr40000, identityFrame);

    devStatusTimer = new QTimer(this);
    devStatusTimer->setTimerType(Qt::PreciseTimer);
    ddsTimer = new QTimer(this);
    ddsTimer->setTimerType(Qt::PreciseTimer);
    paramTimer = new QTimer(this);
    paramTimer->setTimerType(Qt::PreciseTimer);
    connect(devStatusTimer, &QTimer::timeout, this, &ModbusWorkThread::devStatusWork);
    connect(paramTimer, &QTimer::timeout, this, &ModbusWorkThread::paramWork);
    connect(ddsTimer, &QTimer::timeout, this, &ModbusWorkThread::ddsWork);
}

void ModbusWorkThread::setClock(Clock newClock)
{
    clock = std::move(newClock);
}

QDateTime ModbusWorkThread::nowUtc() const
{
    return clock ? clock().toUTC() : QDateTime::currentDateTimeUtc();
}

void ModbusWorkThread::slots_sendModbusData(ModbusAddr modbusAddr)
{
    // A kind without a stored frame sends an empty request, which the link
    // does not write.
    const QString& text = frameMap[int(modbusAddr)];
    emit sig_readData(modbusAddr, text.toUtf8());
}

void ModbusWorkThread::slots_sendCustomModbusData(QByteArray data)
{
    emit sig_readData(AddrCustom, data);
}

void ModbusWorkThread::startAligned(bool& enabled, int& generation, QTimer* timer, int interval)
{
    enabled = true;
    const int armed = ++generation;
    const int msec = nowUtc().time().msec();
    QTimer::singleShot(1000 - msec, Qt::PreciseTimer, this, [&enabled, &generation, armed, timer, interval] {
        if (enabled && generation == armed)
            timer->start(interval);
    });
}

void ModbusWorkThread::slots_devStatusWorkerStart()
{
    startAligned(devStatusEnabled, devStatusGeneration, devStatusTimer, devStatusInterval);
}

void ModbusWorkThread::slots_paramWorkerStart()
{
    startAligned(paramEnabled, paramGeneration, paramTimer, paramInterval);
}

void ModbusWorkThread::slots_devStatusWorkerStop()
{
    devStatusEnabled = false;
    if (devStatusTimer->isActive())
        devStatusTimer->stop();
    else
        qDebug() << "devStatusTimer not active";
}

void ModbusWorkThread::slots_paramWorkerStop()
{
    paramEnabled = false;
    if (paramTimer->isActive())
        paramTimer->stop();
    else
        qDebug() << "------------未开启";
}

void ModbusWorkThread::slots_ddsWorkerStart() {}

void ModbusWorkThread::slots_ddsWorkerStop() {}

void ModbusWorkThread::ddsWork() {}

void ModbusWorkThread::slots_syncDataByteCount(int byteCount, bool bChange)
{
    if (!bChange) {
        frameMap[Addrdds_start] = ddsStartFrame;
        frameMap[Addrdds_end] = ddsEndFrame;
        return;
    }
    const QString* start = nullptr;
    const QString* stop = nullptr;
    switch (byteCount) {
    case 10:
        start = &ddsStart10;
        stop = &ddsEnd10;
        break;
    case 20:
        start = &ddsStart20;
        stop = &ddsEnd20;
        break;
    case 200:
        start = &ddsStart200;
        stop = &ddsEnd200;
        break;
    case 500:
        start = &ddsStart500;
        stop = &ddsEnd500;
        break;
    case 1000:
        start = &ddsStartFrame;
        stop = &ddsEndFrame;
        break;
    default:
        return; // no frames for that rate: keep the current pair
    }
    frameMap[Addrdds_start] = *start;
    frameMap[Addrdds_end] = *stop;
}

void ModbusWorkThread::paramWorkEntry()
{
    paramWork();
}

void ModbusWorkThread::paramWork()
{
    qDebug() << "enter paramWork";
    emit sig_readData(Addr40100, frameMap[Addr40100].toUtf8());
}

void ModbusWorkThread::devStatusWork()
{
    GlobalState& global = GlobalState::instance();
    bool pending = false;
    qint64 pendingTime = 0;
    {
        QMutexLocker lock(&global.pendingStatusMutex);
        pending = global.hasPendingStatus;
        pendingTime = global.pendingStatusTime;
    }
    if (pending) {
        const qint64 age = nowUtc().toSecsSinceEpoch() - pendingTime;
        qDebug() << "20251231: time sub:" << age;
        if (age > 5) {
            QMutexLocker lock(&global.pendingStatusMutex);
            global.hasPendingStatus = false;
            global.pendingStatusCode = -1;
            global.pendingStatusTime = 0;
        } else {
            qDebug() << "status123_GetData";
            paramWork();
            return;
        }
    }

    bool valid = true;
    {
        QMutexLocker lock(&global.statusValidMutex);
        valid = global.statusValid;
    }
    if (!valid) {
        emit sig_clearSerialPort();
        QMutexLocker lock(&global.statusValidMutex);
        global.statusValid = true;
        return;
    }
    emit sig_readData(Addr40118r, frameMap[Addr40118r].toUtf8());
}
