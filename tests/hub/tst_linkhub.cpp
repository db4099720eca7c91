// The hub's wiring of the serial link and the scheduler, driven through the
// hub's own signals and commands with a pty on the far end.

#include "link/linkrig.h"

#include "hub/parammanager.h"
#include "link/comportthread.h"
#include "link/modbusmanager.h"
#include "link/modbusworkthread.h"
#include "peers/peerprocess.h"

#include <QDeadlineTimer>

#include <QSignalSpy>
#include <QtTest>

class TestLinkHub : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hubDrivesLink();
    void linkFaultReachesHub();
    void portListReachesHub();

private:
    // The hub's link stops with the test: close its port and end its thread.
    static void stopLink(ParamManager& hub)
    {
        hub.modbusManager->shutdown();
        delete hub.modbusManager;
        hub.modbusManager = nullptr;
    }
};

void TestLinkHub::initTestCase()
{
    MessageLog::install();
    useTemporaryAppFolder();
}

void TestLinkHub::hubDrivesLink()
{
    PtyPair pty;
    QVERIFY2(pty.isReady(), qPrintable(pty.errorString()));
    QSerialPort far;
    far.setPortName(pty.peerEnd());
    QVERIFY(far.open(QIODevice::ReadWrite));
    QByteArray received;
    QObject::connect(&far, &QSerialPort::readyRead, &far, [&] { received += far.readAll(); });
    const auto take = [&received](int n) {
        // the status poll's first request waits for the second whole second
        QDeadlineTimer deadline(10000);
        while (received.size() < n && !deadline.hasExpired())
            QTest::qWait(5);
        const QByteArray head = received.left(n);
        received.remove(0, n);
        return hexOf(head);
    };

    ParamManager hub;
    QVERIFY(hub.getModbusWorkThread());
    QSignalSpy connected(&hub, &ParamManager::sig_connected);
    QSignalSpy disconnected(&hub, &ParamManager::sig_disconnect);
    QSignalSpy rebooted(&hub, &ParamManager::sig_reboot);
    QList<HandOn> handOns;
    QObject::connect(hub.modbusManager, &ModbusManager::sig_readDataFinished, &hub,
                     [&](ModbusAddr kind, QByteArray data) {
                         handOns.append({kind, data});
                     });

    emit hub.getModbusWorkThread()->sig_connectDevice(pty.linkEnd(), hub.baudRate);
    QVERIFY(connected.wait(3000));

    emit hub.sig_sendModbusData(Addr40118r);
    QCOMPARE(take(8), QByteArray("01039CB600014BBC"));
    hub.readParamsNow();
    QCOMPARE(take(8), QByteArray("01039CA4007C2B98"));
    const QByteArray frame = peers::withCrc(QByteArray::fromHex("01069CB60003"));
    emit hub.sig_sendCustomModbusData(frame);
    QCOMPARE(take(8), hexOf(frame));

    // A rate change reaches both the scheduler's frames and the link's cut.
    emit hub.sig_syncDataByteCount(200, true);
    emit hub.sig_sendModbusData(Addrdds_start);
    QCOMPARE(take(9), QByteArray("AB01047D000014E9B8"));
    far.write(streamFrame(49, 0) + streamFrame(49, 1));
    QTRY_COMPARE_WITH_TIMEOUT(handOns.size(), 2, 3000);
    QCOMPARE(hexOf(handOns[1].data), hexOf(streamFrame(49, 1)));

    emit hub.sig_devStatusWorkerStart();
    QCOMPARE(take(8), QByteArray("01039CB600014BBC"));
    emit hub.sig_devStatusWorkerStop();

    // Reboot closes the port: later requests are dropped, no fault reported.
    hub.reboot();
    QCOMPARE(rebooted.size(), 1);
    emit hub.sig_sendModbusData(Addr40118r);
    QTest::qWait(300);
    QCOMPARE(hexOf(received), QByteArray());
    QCOMPARE(disconnected.size(), 0);
    QVERIFY(MessageLog::count(QStringLiteral("serialPort is not open ")) >= 1);

    stopLink(hub);
}

void TestLinkHub::linkFaultReachesHub()
{
    PtyPair pty;
    QVERIFY(pty.isReady());
    ParamManager hub;
    QSignalSpy connected(&hub, &ParamManager::sig_connected);
    QSignalSpy disconnected(&hub, &ParamManager::sig_disconnect);
    emit hub.getModbusWorkThread()->sig_connectDevice(pty.linkEnd(), hub.baudRate);
    QVERIFY(connected.wait(3000));

    pty.stop();
    QVERIFY(disconnected.wait(5000));
    QTest::qWait(500);
    QCOMPARE(disconnected.size(), 1);
    stopLink(hub);
}

void TestLinkHub::portListReachesHub()
{
    ParamManager hub;
    hub.initComPortThread();
    QVERIFY(hub.comPortThread);
    int lists = 0;
    QObject::connect(hub.comPortThread, &ComPortThread::sig_setPortNamelist, &hub, [&](QList<QString>) { ++lists; });
    QTRY_VERIFY_WITH_TIMEOUT(lists >= 1, 10000);
    QCOMPARE(hub.portNameList, hub.availablePortNames());
    delete hub.comPortThread;
    hub.comPortThread = nullptr;
    stopLink(hub);
}

QTEST_MAIN(TestLinkHub)
#include "tst_linkhub.moc"
