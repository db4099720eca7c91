#include "link/modbusmanager.h"

#include "core/globalstate.h"
#include "core/logger.h"
#include "link/instrumentframes.h"
#include "link/replycutter.h"

#include <QDebug>
#include <QMetaEnum>
#include <QModbusDataUnit>
#include <QModbusReply>
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

// The link's own entry to the application log; nothing calls it.
[[maybe_unused]] void writeLog(const QString& text)
{
    Logger::instance()->log(text);
}

// Status reply 4 (measuring) as it appears inside a vector stream.
const QByteArray kStatusFour = QByteArray::fromHex("0103020004B987");

constexpr int kUpgradeChunkBytes = 2048;
constexpr int kLoggedImageBytes = 32;
constexpr int kRawWriteWaitMs = 30;

// Marks a client reply as the one the operation queue waits for.
const char* const kQueuedProperty = "tervalQueued";

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

bool ModbusManager::isPortOpen() const
{
    return serialPort && serialPort->isOpen();
}

void ModbusManager::writeHexToPort(QByteArray text)
{
    if (!serialPort->isOpen()) {
        qDebug().noquote() << QStringLiteral("serialPort is not open ") + QString::fromLatin1(text);
        return;
    }
    serialPort->write(QByteArray::fromHex(text));
}

// ---- FID frame readers ------------------------------------------------------

void ModbusManager::readFIDFinished()
{
    // Both readers share the reset: only the first of them to run starts
    // from an empty buffer.
    if (fidBufferReset) {
        scalarFidReader.reset();
        fidBufferReset = false;
    }
    const auto chunks = scalarFidReader.feed(serialPort->readAll());
    for (const auto& chunk : chunks)
        emit sig_readDataFinishedCeshiDelay(AddrFid, chunk.bytes, chunk.remaining);
}

void ModbusManager::readVectorFIDFinished()
{
    if (fidBufferReset) {
        vectorFidReader.reset();
        fidBufferReset = false;
    }
    {
        GlobalState& global = GlobalState::instance();
        QMutexLocker lock(&global.frameErrorMutex);
        if (global.vectorFrameError) {
            global.vectorFrameError = false;
            vectorFidReader.reset();
            qDebug() << "frame error modify";
        }
    }
    const FidFrames::VectorFidReader::Output out = vectorFidReader.feed(serialPort->readAll());
    for (const QByteArray& status : out.known.statusReplies) {
        if (status == kStatusFour)
            statusFourSeen = true;
        emit sig_readDataFinished(Addr40118r, status);
    }
    for (const QByteArray& param : out.known.paramReplies)
        emit sig_readDataFinished(Addr40100, param);
    for (const QByteArray& frame : out.frames)
        emit sig_readDataFinished(AddrVectorFid, frame);
}

// ---- Modbus client path ------------------------------------------------------

void ModbusManager::ensureModbusConnected()
{
    if (modbusMaster->state() != QModbusDevice::UnconnectedState)
        return;
    // The client opens a port of its own on the same device.
    if (serialPort->isOpen())
        serialPort->close();
    if (!modbusMaster->connectDevice())
        qDebug() << "Failed to connect to serial port:" << modbusMaster->errorString();
}

void ModbusManager::reopenSerialPort()
{
    if (modbusMaster->state() != QModbusDevice::UnconnectedState)
        modbusMaster->disconnectDevice();
    if (serialPort->isOpen())
        serialPort->close();
    disconnectReported = false;
    if (!serialPort->open(QIODevice::ReadWrite))
        qDebug().noquote() << QStringLiteral("SerialPort  %0 open failed").arg(serialPort->portName());
}

void ModbusManager::slots_readModbus(ushort address, ushort value)
{
    sendClientRead(address, value, false);
}

void ModbusManager::slots_writeModbus(ushort address, ushort value)
{
    sendClientWrite(address, value, false);
}

void ModbusManager::sendClientRead(ushort address, ushort count, bool queued)
{
    ensureModbusConnected();
    readUnit->setStartAddress(address);
    readUnit->setValueCount(count);
    followClientReply(modbusMaster->sendReadRequest(*readUnit, 1), queued, false);
}

void ModbusManager::sendClientWrite(ushort address, ushort value, bool queued)
{
    ensureModbusConnected();
    writeUnit->setStartAddress(address);
    if (writeUnit->valueCount() >= 1)
        writeUnit->setValue(0, value);
    followClientReply(modbusMaster->sendWriteRequest(*writeUnit, 1), queued, true);
}

void ModbusManager::followClientReply(QModbusReply* reply, bool queued, bool isWrite)
{
    if (!reply) {
        qDebug() << (isWrite ? "Write request failed:" : "Modbus read request failed:") << modbusMaster->errorString();
        if (queued)
            queuedOperationEnded();
        return;
    }
    reply->setProperty(kQueuedProperty, queued);
    if (reply->isFinished())
        QMetaObject::invokeMethod(
            this, [this, reply, isWrite] { handleClientReply(reply, isWrite); }, Qt::QueuedConnection);
    else
        connect(reply, &QModbusReply::finished, this,
                isWrite ? &ModbusManager::writeFinished : &ModbusManager::readFinished);
}

bool ModbusManager::writeRawHex(const QByteArray& hex)
{
    serialPort->write(QByteArray::fromHex(hex));
    return serialPort->waitForBytesWritten(kRawWriteWaitMs);
}

void ModbusManager::slots_readModbusData(QByteArray data)
{
    reopenSerialPort();
    if (!serialPort->isOpen())
        return;
    if (!writeRawHex(data))
        qDebug() << "SerialPort operation failed";
}

void ModbusManager::slots_sendModbus(OperationType operation, QVariantList args)
{
    if (busy) {
        pendingOperations.append(new PendingModbusOperation{operation, args});
        return;
    }
    busy = true;
    switch (operation) {
    case WriteModbus:
        if (args.size() < 2) {
            qDebug() << "Insufficient arguments for WriteModbus operation";
            queuedOperationEnded();
            return;
        }
        sendClientWrite(ushort(args.at(0).toUInt()), ushort(args.at(1).toUInt()), true);
        return;
    case ReadModbusData:
        if (args.isEmpty()) {
            qDebug() << "Insufficient arguments for ReadModbusData operation";
            queuedOperationEnded();
            return;
        }
        reopenSerialPort();
        if (serialPort->isOpen() && !writeRawHex(args.at(0).toByteArray()))
            qDebug() << "SerialPort operation failed:";
        queuedOperationEnded();
        return;
    case ReadModbus:
        if (args.size() < 2) {
            qDebug() << "Insufficient arguments for ReadModbus operation";
            queuedOperationEnded();
            return;
        }
        sendClientRead(ushort(args.at(0).toUInt()), ushort(args.at(1).toUInt()), true);
        return;
    }
    // An unknown operation has nothing to wait for.
    queuedOperationEnded();
}

void ModbusManager::queuedOperationEnded()
{
    // From the event loop, so that a run of failing operations does not
    // recurse through the queue.
    QMetaObject::invokeMethod(this, &ModbusManager::sendNextPendingOperation, Qt::QueuedConnection);
}

void ModbusManager::sendNextPendingOperation()
{
    busy = false;
    if (pendingOperations.isEmpty())
        return;
    PendingModbusOperation* next = pendingOperations.takeFirst();
    const OperationType op = next->op;
    const QVariantList args = next->args;
    delete next;
    slots_sendModbus(op, args);
}

void ModbusManager::readFinished()
{
    if (auto* reply = qobject_cast<QModbusReply*>(sender()))
        handleClientReply(reply, false);
}

void ModbusManager::writeFinished()
{
    if (auto* reply = qobject_cast<QModbusReply*>(sender()))
        handleClientReply(reply, true);
}

void ModbusManager::handleClientReply(QModbusReply* reply, bool isWrite)
{
    if (reply->error() != QModbusDevice::NoError) {
        qDebug() << (isWrite ? "Write operation failed:" : "Modbus read request error:") << reply->errorString();
    } else {
        const QModbusDataUnit unit = reply->result();
        for (uint i = 0; i < unit.valueCount(); ++i)
            qDebug() << "Register" << unit.startAddress() + int(i) << "=" << unit.value(int(i));
        if (isWrite)
            qDebug() << "Write operation completed successfully";
    }
    const bool queued = reply->property(kQueuedProperty).toBool();
    reply->deleteLater();
    if (queued)
        sendNextPendingOperation();
}

// ---- firmware upload and FID port members -------------------------------------

void ModbusManager::slots_sendUpgradeData(QByteArray data)
{
    if (!serialPort->isOpen()) {
        // An image can be megabytes: its start and size are enough here.
        qDebug().noquote() << QStringLiteral("serialPort is not open ") +
                                  QString::fromLatin1(data.left(kLoggedImageBytes).toHex().toUpper()) +
                                  (data.size() > kLoggedImageBytes ? QStringLiteral("... (%1 bytes)").arg(data.size())
                                                                   : QString());
        return;
    }
    qint64 offset = 0;
    while (offset < data.size()) {
        const qint64 length = qMin<qint64>(kUpgradeChunkBytes, data.size() - offset);
        const qint64 accepted = serialPort->write(data.constData() + offset, length);
        // A refused write would never advance: stop instead of looping.
        if (accepted <= 0 || !serialPort->waitForBytesWritten(upgradeWaitMs)) {
            qDebug() << "upgrade send error";
            Logger::instance()->log(QStringLiteral("Firmware upload stopped at byte %1 of %2: %3")
                                        .arg(offset)
                                        .arg(data.size())
                                        .arg(serialPort->errorString()));
            return;
        }
        offset += accepted;
    }
}

void ModbusManager::solt_connectFidPort()
{
    qDebug() << "connect Fid Port1111111";
}

void ModbusManager::slot_disConnectFidPort()
{
    serialPort->disconnect();
    // Faults of the port are still reported: without them an unplugged
    // instrument would go unnoticed for the rest of the run.
    connect(serialPort, &QSerialPort::errorOccurred, this, &ModbusManager::onSerialError);
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
    const qint64 available = serialPort->bytesAvailable();
    if (available < size)
        return;
    const ReplyCutter::FixedReply cut = ReplyCutter::cutFixedReply(serialPort->peek(available), size);
    serialPort->skip(cut.consumed);
    if (cut.outcome == ReplyCutter::FixedReply::Accepted) {
        emit sig_readDataFinished(kind, cut.reply);
        return;
    }
    // Whatever follows a broken reply is out of step too; the next request
    // starts clean.
    Logger::instance()->log(QStringLiteral("Bad reply to request %1 discarded (%2 bytes, starting %3)")
                                .arg(int(kind))
                                .arg(cut.consumed)
                                .arg(QString::fromLatin1(cut.reply.left(8).toHex(' ').toUpper())));
}

void ModbusManager::readOtherDataFinished()
{
    // One readyRead may announce a burst of frames: hand on all complete ones.
    int consumed = 0;
    const QVector<QByteArray> frames =
        ReplyCutter::cutStreamFrames(serialPort->peek(serialPort->bytesAvailable()), streamFrameSize, &consumed);
    serialPort->skip(consumed);
    for (const QByteArray& frame : frames)
        emit sig_readDataFinished(Addrdds_data, frame);
}
