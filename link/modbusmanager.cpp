#include "link/modbusmanager.h"

#include "core/globalstate.h"
#include "core/logger.h"
#include "link/crc16.h"
#include "link/instrumentframes.h"

#include <QDebug>
#include <QMetaEnum>
#include <QModbusDataUnit>
#include <QModbusRtuSerialMaster>
#include <QMutexLocker>
#include <QThread>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#endif

namespace
{

template <typename E> QString enumName(E value)
{
    const char* key = QMetaEnum::fromType<E>().valueToKey(int(value));
    return key ? QString::fromLatin1(key) : QString::number(int(value));
}

} // namespace

ModbusManager::ModbusManager(QObject* parent) : QObject(parent)
{
    workerThread = new QThread(this);
    modbusMaster = new QModbusRtuSerialMaster();
    serialPort = new QSerialPort();
    moveToThread(workerThread);
    modbusMaster->moveToThread(workerThread);
    serialPort->moveToThread(workerThread);
    workerThread->start(QThread::InheritPriority);

    // Nothing touches the port on the link thread before the first queued
    // request, so configuring it from here is safe.
    serialPort->setParity(QSerialPort::NoParity);
    serialPort->setDataBits(QSerialPort::Data8);
    serialPort->setStopBits(QSerialPort::OneStop);
    serialPort->setFlowControl(QSerialPort::NoFlowControl);
    connect(serialPort, &QSerialPort::errorOccurred, this, &ModbusManager::onSerialError);

    modbusMaster->setConnectionParameter(QModbusDevice::SerialParityParameter, 0);
    modbusMaster->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, 921600);
    modbusMaster->setConnectionParameter(QModbusDevice::SerialDataBitsParameter, 8);
    modbusMaster->setConnectionParameter(QModbusDevice::SerialStopBitsParameter, 1);
    connect(modbusMaster, &QModbusDevice::stateChanged, this, &ModbusManager::onStateChanged);
    connect(modbusMaster, &QModbusDevice::errorOccurred, this, &ModbusManager::onErrorOccurred);

    readUnit = new QModbusDataUnit(QModbusDataUnit::HoldingRegisters, unitStart, unitCount);
    writeUnit = new QModbusDataUnit(QModbusDataUnit::HoldingRegisters, unitStart, unitCount);
}

ModbusManager::~ModbusManager()
{
    shutdown();
    delete readUnit;
    delete writeUnit;
    qDeleteAll(pendingOperations);
}

void ModbusManager::shutdown()
{
    if (!workerThread->isRunning())
        return;
    if (QThread::currentThread() == workerThread) {
        qWarning() << "ModbusManager::shutdown called on the link thread";
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            closePortOnLinkThread();
            delete serialPort;
            serialPort = nullptr;
            delete modbusMaster;
            modbusMaster = nullptr;
        },
        Qt::BlockingQueuedConnection);
    workerThread->quit();
    workerThread->wait();
}

int ModbusManager::currentReadState()
{
    QMutexLocker lock(&readStateMutex);
    return readState;
}

void ModbusManager::slots_connectDevice(QString portName, int baudRate)
{
    serialPort->setBaudRate(baudRate, QSerialPort::AllDirections);
    serialPort->setPortName(portName);
    modbusMaster->setConnectionParameter(QModbusDevice::SerialPortNameParameter, portName);
    if (serialPort->isOpen())
        serialPort->close();
    disconnectReported = false;
    if (serialPort->open(QIODevice::ReadWrite)) {
        emit sig_connected();
        qDebug() << "Connected ";
        return;
    }
    qDebug().noquote() << QStringLiteral("SerialPort  %0 open failed").arg(serialPort->portName());
    qDebug() << "Failed to open port:" << serialPort->errorString();
    Logger::instance()->log(QStringLiteral("Serial port %1 open failed: %2").arg(portName, serialPort->errorString()));
}

void ModbusManager::slots_disConnectDevice()
{
    closePortOnLinkThread();
}

void ModbusManager::closePortOnLinkThread()
{
    if (serialPort && serialPort->isOpen())
        serialPort->close();
}

void ModbusManager::slots_clearSerialPort()
{
    qDebug() << "20260310 clear serialPort";
    if (!serialPort->isOpen())
        return;
    serialPort->clear(QSerialPort::Input);
    serialPort->clear(QSerialPort::Output);
    serialPort->clear(QSerialPort::AllDirections);
}

void ModbusManager::slots_syncDataByteCount(int byteCount, bool bChange)
{
    if (!bChange) {
        streamFrameSize = InstrumentFrames::streamFrameSize(InstrumentFrames::kDefaultStreamRate);
        return;
    }
    // Only rates the scheduler has start frames for: any other size would cut
    // the stream out of step with what the instrument sends.
    if (!InstrumentFrames::streamPairFor(byteCount)) {
        qDebug() << "stream frame size kept at" << streamFrameSize << "for unsupported rate" << byteCount;
        return;
    }
    streamFrameSize = byteCount / 5 + 9;
}

void ModbusManager::slots_readData(ModbusAddr modbusAddr, QByteArray data)
{
    if (!serialPort->isOpen()) {
        qDebug().noquote() << QStringLiteral("serialPort is not open ") +
                                  QString::fromLatin1(modbusAddr == AddrCustom ? data.toHex().toUpper() : data);
        return;
    }
    qDebug().noquote() << QStringLiteral("send ") +
                              QString::fromLatin1(modbusAddr == AddrCustom ? data.toHex().toUpper() : data) +
                              QLatin1Char(' ') + QString::number(modbusAddr);

    using Reader = void (ModbusManager::*)();
    Reader reader = nullptr;
    int state = kNoReader;
    switch (modbusAddr) {
    case Addr40118_restart:
    case Addr40118_retrack:
        reader = &ModbusManager::readAddr40118Finished;
        state = 0;
        break;
    case Addr40118r:
        reader = &ModbusManager::readAddr40118rFinished;
        state = 2;
        break;
    case Addr40100:
        reader = &ModbusManager::readAddr40100Finished;
        state = 3;
        break;
    case Addr40230:
        reader = &ModbusManager::readAddr40230Finished;
        state = 4;
        break;
    case AddrCustom:
        reader = &ModbusManager::readAddr40118Finished;
        state = 9;
        break;
    case Addrdds_start:
        reader = &ModbusManager::readOtherDataFinished;
        state = 7;
        break;
    case Addr40000:
        reader = &ModbusManager::readAddr40000Finished;
        state = 10;
        break;
    case Addr30000:
    case Addrdds_data:
    case Addrdds_end:
        discardWaiting();
        setReadState(6);
        break;
    default:
        break;
    }

    if (reader) {
        const bool switching = currentReadState() != state;
        if (switching) {
            // Only the readers go; the error handler stays connected for the
            // port's whole life.
            disconnect(serialPort, &QSerialPort::readyRead, this, nullptr);
        }
        // What waits before a request answers none of ours (a late reply,
        // line noise): left in place it would become the front of the reply.
        const qint64 stale = serialPort->bytesAvailable();
        discardWaiting();
        if (stale > 0 && !switching)
            qDebug() << "discarded" << stale << "stale bytes before request" << int(modbusAddr);
        if (switching)
            setReadState(state);
        connect(serialPort, &QSerialPort::readyRead, this, reader, Qt::UniqueConnection);
        if (modbusAddr == Addrdds_start) {
            discardWaiting();
            setReadState(6);
        }
    }

    const QByteArray frame = modbusAddr == AddrCustom ? data : QByteArray::fromHex(data);
    if (frame.isEmpty()) {
        qDebug() << "empty frame not sent, kind" << int(modbusAddr);
        return;
    }
    serialPort->write(frame);
    if (!serialPort->waitForBytesWritten(30))
        qDebug() << "SerialPort operation failed";
}

void ModbusManager::setReadState(const int& state)
{
    // Lock order: the read state first, then the shared new-file flag.
    QMutexLocker stateLock(&readStateMutex);
    readState = state;
    if (state != 7) {
        GlobalState& global = GlobalState::instance();
        QMutexLocker fileLock(&global.newFileMutex);
        global.newFileRequest = true;
    }
}

void ModbusManager::discardWaiting()
{
    if (serialPort->bytesAvailable() > 0)
        serialPort->readAll();
}

void ModbusManager::onSerialError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError)
        return;
    if (error == QSerialPort::TimeoutError) {
        Logger::instance()->log(QStringLiteral("Serial port %1: write time-out").arg(serialPort->portName()));
        return;
    }
    // A vanished far end raises read errors in a tight loop until the port
    // closes: report the first one only.
    if (!serialPort->isOpen() || disconnectReported)
        return;
    if ((error == QSerialPort::ReadError || error == QSerialPort::ResourceError) && lineIsUp()) {
        // The port's read notification found nothing to read: its descriptor
        // was seen readable, but the input was emptied in the same pass of
        // the event loop (the write wait reads the port itself, a clear drops
        // the input). A raw terminal then reads 0 bytes, which the port
        // reports as an error with whatever errno was left behind; a resource
        // error also stops its reading.
        qDebug().noquote() << QStringLiteral("Serial empty read ignored: ") + enumName(error);
        serialPort->clearError();
        serialPort->setReadBufferSize(serialPort->readBufferSize()); // reading on again
        return;
    }
    disconnectReported = true;
    qDebug().noquote() << QStringLiteral("Serial error: ") + enumName(error);
    Logger::instance()->log(QStringLiteral("Serial port %1 error %2 (%3); port closed")
                                .arg(serialPort->portName(), enumName(error), serialPort->errorString()));
    // Not inside the port's own signal: close once control is back in the
    // link thread's event loop.
    QMetaObject::invokeMethod(this, &ModbusManager::closePortOnLinkThread, Qt::QueuedConnection);
    emit sig_disconnect();
}

bool ModbusManager::lineIsUp()
{
#ifdef Q_OS_UNIX
    // A hung-up or vanished line reports POLLHUP or POLLERR whatever is asked.
    pollfd fd{int(serialPort->handle()), POLLIN, 0};
    int ready;
    do
        ready = ::poll(&fd, 1, 0);
    while (ready < 0 && errno == EINTR);
    return ready >= 0 && !(fd.revents & (POLLHUP | POLLERR | POLLNVAL));
#else
    return false;
#endif
}

void ModbusManager::onStateChanged(int state)
{
    qDebug() << "Modbus state changed: " << state;
}

void ModbusManager::onErrorOccurred(QModbusDevice::Error error)
{
    qDebug().noquote() << QStringLiteral("Modbus error occurred: ") + enumName(error);
}

void ModbusManager::writeHexToPort(QByteArray text)
{
    serialPort->write(QByteArray::fromHex(text));
}

void ModbusManager::readAddr40118Finished()
{
    if (serialPort->bytesAvailable() < 1)
        return;
    const QByteArray bytes = serialPort->readAll();
    qDebug().noquote() << QStringLiteral("recv ") + QString::fromLatin1(bytes.toHex(' ').toUpper());
}

void ModbusManager::readAddr40118rFinished()
{
    readFixedReply(Addr40118r, statusReplySize);
}

void ModbusManager::readAddr40100Finished()
{
    readFixedReply(Addr40100, paramReplySize);
}

void ModbusManager::readAddr40230Finished()
{
    readFixedReply(Addr40230, rateReplySize);
}

void ModbusManager::readAddr40000Finished()
{
    readFixedReply(Addr40000, identityReplySize);
}

void ModbusManager::readFixedReply(ModbusAddr kind, int size)
{
    if (serialPort->bytesAvailable() < size)
        return;
    const QByteArray reply = serialPort->read(size);
    const bool wellFormed = quint8(reply.at(0)) == 0x01 && quint8(reply.at(1)) == 0x03 &&
                            quint8(reply.at(2)) == size - 5 && checkCRC16(reply, 0, size);
    if (wellFormed) {
        emit sig_readDataFinished(kind, reply);
        return;
    }
    // Whatever follows a broken reply is out of step too; the next request
    // starts clean.
    const qint64 dropped = reply.size() + serialPort->bytesAvailable();
    discardWaiting();
    Logger::instance()->log(QStringLiteral("Bad reply to request %1 discarded (%2 bytes, starting %3)")
                                .arg(int(kind))
                                .arg(dropped)
                                .arg(QString::fromLatin1(reply.left(8).toHex(' ').toUpper())));
}

void ModbusManager::readOtherDataFinished()
{
    // One readyRead may announce a burst of frames: hand on all complete ones.
    while (serialPort->bytesAvailable() >= streamFrameSize)
        emit sig_readDataFinished(Addrdds_data, serialPort->read(streamFrameSize));
}
