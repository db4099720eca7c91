#include "linkrig.h"

#include "core/appfolders.h"
#include "core/logger.h"
#include "peers/peerprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

namespace
{

QMutex messageMutex;
QStringList messages;
QtMessageHandler previousHandler = nullptr;

void keepMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    {
        QMutexLocker lock(&messageMutex);
        messages << text;
    }
    if (previousHandler)
        previousHandler(type, context, text);
}

} // namespace

namespace MessageLog
{

void install()
{
    static bool installed = false;
    if (!installed) {
        previousHandler = qInstallMessageHandler(keepMessage);
        installed = true;
    }
}

void clear()
{
    QMutexLocker lock(&messageMutex);
    messages.clear();
}

int count(const QString& needle)
{
    QMutexLocker lock(&messageMutex);
    int n = 0;
    for (const QString& line : qAsConst(messages))
        if (line.contains(needle))
            ++n;
    return n;
}

QStringList lines()
{
    QMutexLocker lock(&messageMutex);
    return messages;
}

} // namespace MessageLog

void useTemporaryAppFolder()
{
    static QTemporaryDir folder;
    AppFolders::setOverride(folder.path());
}

QByteArray hexOf(const QByteArray& bytes)
{
    return bytes.toHex().toUpper();
}

LinkRig::LinkRig() : receiver(new QObject)
{
    registerSharedMetaTypes();
    link = new ModbusManager();
    QObject::connect(&scheduler, &ModbusWorkThread::sig_connectDevice, link, &ModbusManager::slots_connectDevice);
    QObject::connect(&scheduler, &ModbusWorkThread::sig_disConnectDevice, link, &ModbusManager::slots_disConnectDevice);
    QObject::connect(&scheduler, &ModbusWorkThread::sig_readData, link, &ModbusManager::slots_readData,
                     Qt::QueuedConnection);
    QObject::connect(&scheduler, &ModbusWorkThread::sig_clearSerialPort, link, &ModbusManager::slots_clearSerialPort);
    QObject::connect(link, &ModbusManager::sig_readDataFinished, receiver.get(),
                     [this](ModbusAddr kind, QByteArray data) {
                         handOns.append({kind, data});
                     });
    QObject::connect(link, &ModbusManager::sig_connected, receiver.get(), [this] { ++connectedCount; });
    QObject::connect(link, &ModbusManager::sig_disconnect, receiver.get(), [this] { ++disconnectCount; });
}

LinkRig::~LinkRig()
{
    if (farEnd.isOpen())
        farEnd.close();
    link->shutdown();
    delete link;
}

bool LinkRig::connectLink(const QString& path)
{
    const int before = connectedCount;
    emit scheduler.sig_connectDevice(path.isEmpty() ? pty.linkEnd() : path, 921600);
    QDeadlineTimer deadline(3000);
    while (connectedCount == before && !deadline.hasExpired())
        QTest::qWait(10);
    return connectedCount > before;
}

void LinkRig::sync()
{
    QMetaObject::invokeMethod(
        link, [] {}, Qt::BlockingQueuedConnection);
    QCoreApplication::processEvents();
}

bool LinkRig::waitForHandOns(int n, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (handOns.size() < n && !deadline.hasExpired())
        QTest::qWait(5);
    return handOns.size() >= n;
}

void LinkRig::syncDataByteCount(int byteCount, bool bChange)
{
    scheduler.slots_syncDataByteCount(byteCount, bChange);
    QMetaObject::invokeMethod(link, "slots_syncDataByteCount", Qt::QueuedConnection, Q_ARG(int, byteCount),
                              Q_ARG(bool, bChange));
}

bool LinkRig::openFarEnd()
{
    farEnd.setPortName(pty.peerEnd());
    farEnd.setBaudRate(921600);
    return farEnd.open(QIODevice::ReadWrite);
}

QByteArray LinkRig::farRead(int n, int timeoutMs)
{
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    while (got.size() < n) {
        if (farEnd.bytesAvailable() > 0) {
            got += farEnd.read(n - got.size());
            continue;
        }
        if (deadline.hasExpired())
            break;
        farEnd.waitForReadyRead(int(qBound<qint64>(1, deadline.remainingTime(), 50)));
    }
    return got;
}

QByteArray LinkRig::farReadFor(int ms)
{
    QByteArray got;
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        farEnd.waitForReadyRead(int(qBound<qint64>(1, deadline.remainingTime(), 50)));
        got += farEnd.readAll();
    }
    return got + farEnd.readAll();
}

void LinkRig::farWrite(const QByteArray& bytes)
{
    farEnd.write(bytes);
    farEnd.waitForBytesWritten(1000);
}

QByteArray readReply(const QList<quint16>& values)
{
    QByteArray reply;
    reply.append(char(0x01));
    reply.append(char(0x03));
    reply.append(char(values.size() * 2));
    for (quint16 v : values) {
        reply.append(char(v >> 8));
        reply.append(char(v & 0xFF));
    }
    return peers::withCrc(reply);
}

QByteArray streamFrame(int size, int number)
{
    QByteArray frame(size, char(0x5A));
    frame[0] = char(0xAB);
    frame[1] = char(0x01);
    frame[2] = char(0x04);
    frame[3] = char(number >> 8);
    frame[4] = char(number & 0xFF);
    frame[size - 1] = char(0xFF);
    return frame;
}
