#include "reporting/gpsthread.h"

#include "reporting/gpsreader.h"

#include <QDebug>
#include <QThread>

#include <utility>

GPSThread::GPSThread(const QString& portName, QObject* parent) : QObject(parent), m_portName(portName)
{
    workerThread = new QThread(this);
    moveToThread(workerThread);
    workerThread->start(QThread::InheritPriority);
}

GPSThread::~GPSThread()
{
    if (QThread::currentThread() == workerThread) {
        // The thread object cannot be destroyed from inside its own thread.
        workerThread->setParent(nullptr);
        return;
    }
    stop();
}

void GPSThread::setClock(Clock c)
{
    clock.set(std::move(c));
}

qint64 GPSThread::now() const
{
    return clock.now();
}

void GPSThread::stop()
{
    if (!workerThread->isRunning() || QThread::currentThread() == workerThread)
        return;
    // The port's notifiers belong to the GPS thread: close and delete there.
    QMetaObject::invokeMethod(
        this,
        [this] {
            delete gpsReader;
            gpsReader = nullptr;
        },
        Qt::BlockingQueuedConnection);
    workerThread->quit();
    workerThread->wait();
}

GpsReader* GPSThread::reader() const
{
    GpsReader* r = nullptr;
    if (workerThread->isRunning())
        QMetaObject::invokeMethod(
            const_cast<GPSThread*>(this), [&] { r = gpsReader; }, Qt::BlockingQueuedConnection);
    return r;
}

bool GPSThread::isPortOpen() const
{
    bool open = false;
    if (workerThread->isRunning())
        QMetaObject::invokeMethod(
            const_cast<GPSThread*>(this), [&] { open = gpsReader && gpsReader->isOpen(); },
            Qt::BlockingQueuedConnection);
    return open;
}

void GPSThread::slot_begin()
{
    if (readerCreated) {
        gpsReader = new GpsReader(this);
        connect(gpsReader, &GpsReader::portOpened, this, &GPSThread::portOpened);
        connect(gpsReader, &GpsReader::newGpsData, this, &GPSThread::slot_GPSData);
        readerCreated = false;
    }
    if (!gpsReader)
        return; // stopped
    if (m_portName.isEmpty()) {
        qDebug() << "GPS port name empty (config.ini [Server] GPSCom): the GPS receiver is not read";
        gpsReader->closePort();
        return;
    }
    gpsReader->setPortParameters(m_portName, kBaudRate);
    if (gpsReader->openPort())
        qDebug() << "串口打开成功";
    else
        qDebug() << "GPS串口打开失败";
}

void GPSThread::slot_GPSData(double latitude, double longitude, double altitude, int satellites)
{
    const qint64 t = now();
    // A clock set back to more than an hour before the last passed fix would
    // otherwise hold every fix until it catches up again, possibly for the
    // rest of the run.
    const bool clockSteppedBack = nextGpsSendTime - t > 2 * kSendIntervalSecs;
    if (nextGpsSendTime < t || clockSteppedBack) {
        emit newGpsData(latitude, longitude, altitude, satellites);
        nextGpsSendTime = t + kSendIntervalSecs;
    }
}
