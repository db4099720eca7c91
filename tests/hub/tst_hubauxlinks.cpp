// The hub's six connections to the link members that nothing in the program
// drives: the client read and write, the raw write, the FID port pair and
// the firmware upload, each driven through the signal the hub wires, with
// a pty (and the libmodbus server) on the far end.

#include "link/linkrig.h"

#include "hub/parammanager.h"
#include "link/modbusmanager.h"
#include "link/modbusworkthread.h"
#include "peers/peerprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

namespace
{

void stopLink(ParamManager& hub)
{
    hub.modbusManager->shutdown();
    delete hub.modbusManager;
    hub.modbusManager = nullptr;
}

QByteArray readFar(QSerialPort& far, int n, int timeoutMs = 3000)
{
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    while (got.size() < n && !deadline.hasExpired()) {
        if (!far.waitForReadyRead(50))
            continue;
        got += far.readAll();
    }
    return got;
}

} // namespace

class TestHubAuxLinks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rawPathsReachLink();
    void clientPathsReachLink();
};

void TestHubAuxLinks::initTestCase()
{
    MessageLog::install();
    useTemporaryAppFolder();
}

void TestHubAuxLinks::rawPathsReachLink()
{
    PtyPair pty;
    QVERIFY2(pty.isReady(), qPrintable(pty.errorString()));
    QSerialPort far;
    far.setPortName(pty.peerEnd());
    QVERIFY(far.open(QIODevice::ReadWrite));
    ParamManager hub;
    ModbusWorkThread* scheduler = hub.getModbusWorkThread();
    QSignalSpy connected(&hub, &ParamManager::sig_connected);
    int handOns = 0;
    QObject::connect(hub.modbusManager, &ModbusManager::sig_readDataFinished, &hub,
                     [&](ModbusAddr, QByteArray) { ++handOns; });
    emit scheduler->sig_connectDevice(pty.linkEnd(), hub.baudRate);
    QVERIFY(connected.wait(3000));

    // Upload, through the hub's own signal.
    const QByteArray image = QByteArray::fromHex("00112233445566778899AABBCCDDEEFF").repeated(300);
    emit hub.sig_sendUpgradeData(image);
    QCOMPARE(readFar(far, image.size()), image);

    // Raw write of hex text, through the scheduler's signal.
    emit scheduler->sig_readModbusData(QByteArray("01039CB600014BBC"));
    QCOMPARE(hexOf(readFar(far, 8)), QByteArray("01039CB600014BBC"));

    // FID port: the hub's signal reaches the link through the scheduler.
    emit hub.sig_connectFidPort();
    QTRY_COMPARE_WITH_TIMEOUT(MessageLog::count(QStringLiteral("connect Fid Port1111111")), 1, 3000);

    // Stopping the FID stream writes C5 and takes the readers off the port:
    // a reply to the status request sent before is no longer read.
    emit hub.sig_sendModbusData(Addr40118r);
    QCOMPARE(hexOf(readFar(far, 8)), QByteArray("01039CB600014BBC"));
    hub.stopFidStream();
    QCOMPARE(hexOf(readFar(far, 1)), QByteArray("C5"));
    QMetaObject::invokeMethod(
        hub.modbusManager, [] {}, Qt::BlockingQueuedConnection);
    far.write(readReply({4}));
    far.waitForBytesWritten(1000);
    QTest::qWait(300);
    QCOMPARE(handOns, 0);

    stopLink(hub);
}

void TestHubAuxLinks::clientPathsReachLink()
{
    PtyPair pty;
    QVERIFY(pty.isReady());
    PeerProcess peer;
    const QString dump = pty.filePath(QStringLiteral("dump.txt"));
    QVERIFY2(peer.start(PeerProcess::programPath(QStringLiteral("modbus_peer")),
                        {QStringLiteral("--device"), pty.peerEnd(), QStringLiteral("--registers"),
                         QStringLiteral("40000:301"), QStringLiteral("--set"), QStringLiteral("40231=4660"),
                         QStringLiteral("--dump"), dump}),
             qPrintable(peer.errorString()));
    ParamManager hub;
    ModbusWorkThread* scheduler = hub.getModbusWorkThread();
    QSignalSpy connected(&hub, &ParamManager::sig_connected);
    emit scheduler->sig_connectDevice(pty.linkEnd(), hub.baudRate);
    QVERIFY(connected.wait(3000));

    emit scheduler->sig_readModbus(40231, 1);
    QTRY_COMPARE_WITH_TIMEOUT(MessageLog::count(QStringLiteral("Register 40231 = 4660")), 1, 5000);
    emit scheduler->sig_writeModbus(40232, 99);
    QTRY_COMPARE_WITH_TIMEOUT(peers::readDump(dump).value(40232), 99, 5000);
    stopLink(hub);
}

QTEST_MAIN(TestHubAuxLinks)
#include "tst_hubauxlinks.moc"
