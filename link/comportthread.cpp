#include "link/comportthread.h"

#include "core/portnames.h"

#include <QDebug>
#include <QMutexLocker>
#include <QSerialPortInfo>
#include <QThread>
#include <QTimer>

ComPortThread::ComPortThread(QObject* parent) : QObject(parent)
{
    pollTimer = new QTimer();
    connect(pollTimer, &QTimer::timeout, this, &ComPortThread::updateComProtList);
    workerThread = new QThread(this);
    pollTimer->moveToThread(workerThread);
    moveToThread(workerThread);
    workerThread->start(QThread::InheritPriority);
}

ComPortThread::~ComPortThread()
{
    // The thread processes the deferred delete as it finishes.
    pollTimer->deleteLater();
    workerThread->quit();
    workerThread->wait();
}

void ComPortThread::slots_startTimer()
{
    pollTimer->start(1000);
}

void ComPortThread::slots_stopTimer()
{
    pollTimer->stop();
}

void ComPortThread::setPortSource(PortSource source)
{
    QMutexLocker locker(&sourceMutex);
    portSource = std::move(source);
}

void ComPortThread::updateComProtList()
{
    PortSource source;
    {
        QMutexLocker locker(&sourceMutex);
        source = portSource;
    }
    QList<PortEntry> ports;
    if (source) {
        ports = source();
    } else {
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
            ports.append(PortEntry{info.portName(), info.description()});
    }
    QStringList names;
    names.reserve(ports.size());
    for (const PortEntry& port : qAsConst(ports)) {
        qDebug() << port.description;
        names.append(port.name);
    }
    emit sig_setPortNamelist(reversedPortNames(names));
}

QStringList reversedPortNames(const QList<QSerialPortInfo>& ports)
{
    QStringList names;
    names.reserve(ports.size());
    for (const QSerialPortInfo& info : ports)
        names.append(info.portName());
    return reversedPortNames(names);
}
