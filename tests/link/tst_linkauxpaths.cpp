// The serial link's members that nothing attaches to the port, run as they
// would run: the FID readers reading a real pty, the Modbus client path and
// its operation queue against the libmodbus server, the raw write, the
// firmware upload, and the FID port members.

#include "fidframes.h"
#include "linkrig.h"

#include "core/globalstate.h"
#include "peers/peerprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QMutexLocker>
#include <QtTest>

#include <random>

namespace
{

using fidframes::fidFrame;
using fidframes::vectorFrame;

constexpr int kFirstRegister = 40000;
constexpr int kRegisterCount = 301;

quint16 valueOf(int reg)
{
    return quint16((reg * 53 + 7) & 0xFFFF);
}

bool startModbusPeer(LinkRig& rig, PeerProcess& peer)
{
    const QString init = rig.pty.filePath(QStringLiteral("registers.txt"));
    QFile file(init);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    for (int reg = kFirstRegister; reg < kFirstRegister + kRegisterCount; ++reg)
        file.write(QByteArray::number(reg) + '=' + QByteArray::number(valueOf(reg)) + '\n');
    file.close();
    return peer.start(PeerProcess::programPath(QStringLiteral("modbus_peer")),
                      {QStringLiteral("--device"), rig.pty.peerEnd(), QStringLiteral("--registers"),
                       QStringLiteral("%1:%2").arg(kFirstRegister).arg(kRegisterCount), QStringLiteral("--init"), init,
                       QStringLiteral("--log"), rig.pty.filePath(QStringLiteral("peer.log")), QStringLiteral("--dump"),
                       rig.pty.filePath(QStringLiteral("dump.txt"))});
}

// Runs f on the link thread and waits for it.
template <typename F> void onLink(LinkRig& rig, F f)
{
    QMetaObject::invokeMethod(rig.link, f, Qt::BlockingQueuedConnection);
}

QString registerLine(int reg, int value)
{
    return QStringLiteral("Register %1 = %2").arg(reg).arg(value);
}

bool linkFlag(LinkRig& rig, bool (ModbusManager::*view)() const)
{
    bool value = false;
    onLink(rig, [&] { value = (rig.link->*view)(); });
    return value;
}

// Nothing runs the FID readers on readyRead: runs reader (a slot's name) by
// hand until done() holds or 3 s pass, as the pty may deliver in pieces.
template <typename Done> void runReaderUntil(LinkRig& rig, const char* reader, Done done)
{
    QDeadlineTimer deadline(3000);
    while (!done() && !deadline.hasExpired()) {
        QTest::qWait(20);
        QMetaObject::invokeMethod(rig.link, reader, Qt::QueuedConnection);
        rig.sync();
    }
}

int pendingOperations(LinkRig& rig)
{
    int n = 0;
    onLink(rig, [&] { n = rig.link->pendingOperationCount(); });
    return n;
}

} // namespace

class TestLinkAuxPaths : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void vectorReaderReadsThePort();
    void scalarReaderReadsThePort();
    void frameErrorRestartsSearch();
    void clientReadsAndWrites();
    void operationQueueRunsInTurn();
    void failedOperationFreesQueue_data();
    void failedOperationFreesQueue();
    void rawWriteReopensPort();
    void uploadArrivesWhole();
    void uploadOnClosedPort();
    void uploadStopsOnWriteFailure();
    void hexWriteOnlyWhileOpen();
    void fidPortMembers();
};

void TestLinkAuxPaths::initTestCase()
{
    MessageLog::install();
    useTemporaryAppFolder();
    registerSharedMetaTypes();
}

void TestLinkAuxPaths::init()
{
    MessageLog::clear();
}

void TestLinkAuxPaths::vectorReaderReadsThePort()
{
    LinkRig rig;
    QVERIFY(rig.isReady());
    QVERIFY(rig.openFarEnd());
    QVERIFY(rig.connectLink());
    const QByteArray status = QByteArray::fromHex("0103020004B987");
    rig.farWrite(vectorFrame(0) + status + vectorFrame(1) + vectorFrame(2).left(100));
    runReaderUntil(rig, "readVectorFIDFinished", [&] { return rig.handOns.size() >= 3; });
    QCOMPARE(rig.handOns.size(), 3);
    QCOMPARE(int(rig.handOns[0].kind), int(Addr40118r));
    QCOMPARE(rig.handOns[0].data, status);
    QCOMPARE(int(rig.handOns[1].kind), int(AddrVectorFid));
    QCOMPARE(rig.handOns[1].data, vectorFrame(0));
    QCOMPARE(int(rig.handOns[2].kind), int(AddrVectorFid));
    QCOMPARE(rig.handOns[2].data, vectorFrame(1));
    QVERIFY(linkFlag(rig, &ModbusManager::hasSeenStatusFour));
}

void TestLinkAuxPaths::scalarReaderReadsThePort()
{
    LinkRig rig;
    QVERIFY(rig.isReady());
    QVERIFY(rig.openFarEnd());
    QVERIFY(rig.connectLink());
    QList<HandOn> chunks;
    QList<int> lengths;
    QObject receiver;
    QObject::connect(rig.link, &ModbusManager::sig_readDataFinishedCeshiDelay, &receiver,
                     [&](ModbusAddr kind, QByteArray data, int length) {
                         chunks.append({kind, data});
                         lengths.append(length);
                     });
    rig.farWrite(QByteArray(5, 0x22) + fidFrame(0) + fidFrame(1) + QByteArray(10, 0x22));
    runReaderUntil(rig, "readFIDFinished", [&] { return chunks.size() >= 2; });
    QCOMPARE(chunks.size(), 2);
    QCOMPARE(int(chunks[0].kind), int(AddrFid));
    QCOMPARE(chunks[0].data, fidFrame(0));
    QCOMPARE(chunks[1].data, fidFrame(1));
    QCOMPARE(lengths.last(), 10);
    QCOMPARE(rig.handOns.size(), 0);
}

void TestLinkAuxPaths::frameErrorRestartsSearch()
{
    LinkRig rig;
    QVERIFY(rig.isReady());
    QVERIFY(rig.openFarEnd());
    QVERIFY(rig.connectLink());
    // Half a frame is buffered, then the error flag says the stream broke:
    // the half is thrown away and the next whole frame is found.
    rig.farWrite(vectorFrame(0).left(150));
    QTest::qWait(100);
    QMetaObject::invokeMethod(rig.link, "readVectorFIDFinished", Qt::QueuedConnection);
    rig.sync();
    {
        GlobalState& g = GlobalState::instance();
        QMutexLocker lock(&g.frameErrorMutex);
        g.vectorFrameError = true;
    }
    rig.farWrite(vectorFrame(1) + vectorFrame(2));
    runReaderUntil(rig, "readVectorFIDFinished", [&] { return rig.handOns.size() >= 2; });
    QCOMPARE(rig.handOns.size(), 2);
    QCOMPARE(rig.handOns[0].data, vectorFrame(1));
    QCOMPARE(rig.handOns[1].data, vectorFrame(2));
    QCOMPARE(MessageLog::count(QStringLiteral("frame error modify")), 1);
    GlobalState& g = GlobalState::instance();
    QMutexLocker lock(&g.frameErrorMutex);
    QVERIFY(!g.vectorFrameError);
}

void TestLinkAuxPaths::clientReadsAndWrites()
{
    LinkRig rig;
    QVERIFY(rig.isReady());
    PeerProcess peer;
    QVERIFY2(startModbusPeer(rig, peer), qPrintable(peer.errorString()));
    QVERIFY(rig.connectLink()); // gives the client object its port name

    onLink(rig, [&] { rig.link->slots_readModbus(40230, 3); });
    QTRY_COMPARE_WITH_TIMEOUT(MessageLog::count(registerLine(40232, valueOf(40232))), 1, 5000);
    QCOMPARE(MessageLog::count(registerLine(40230, valueOf(40230))), 1);
    QCOMPARE(MessageLog::count(registerLine(40231, valueOf(40231))), 1);
    // The client has the device now: the raw port was closed for it.
    bool open = true;
    onLink(rig, [&] { open = rig.link->isPortOpen(); });
    QVERIFY(!open);

    onLink(rig, [&] { rig.link->slots_writeModbus(40118, 4321); });
    QTRY_COMPARE_WITH_TIMEOUT(MessageLog::count(QStringLiteral("Write operation completed successfully")), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(peers::readDump(rig.pty.filePath(QStringLiteral("dump.txt"))).value(40118), 4321, 3000);
    onLink(rig, [&] { rig.link->slots_readModbus(40118, 1); });
    QTRY_COMPARE_WITH_TIMEOUT(MessageLog::count(registerLine(40118, 4321)), 1, 5000);

    // A register the server does not serve: the error is reported.
    onLink(rig, [&] { rig.link->slots_readModbus(41000, 1); });
    QTRY_COMPARE_WITH_TIMEOUT(MessageLog::count(QStringLiteral("Modbus read request error:")), 1, 8000);
}

void TestLinkAuxPaths::operationQueueRunsInTurn()
{
    LinkRig rig;
    QVERIFY(rig.isReady());
    PeerProcess peer;
    QVERIFY2(startModbusPeer(rig, peer), qPrintable(peer.errorString()));
    QVERIFY(rig.connectLink());

    // Three operations in one go: the first runs, the others wait in turn.
    bool busy = false;
    int waiting = 0;
    onLink(rig, [&] {
        rig.link->slots_sendModbus(ReadModbus, {40001, 1});
        rig.link->slots_sendModbus(WriteModbus, {40002, 777});
        rig.link->slots_sendModbus(ReadModbus, {40002, 1});
        busy = rig.link->isBusy();
        waiting = rig.link->pendingOperationCount();
    });
    QVERIFY(busy);
    QCOMPARE(waiting, 2);
    // The write answer lists the register too, then the read.
    QTRY_COMPARE_WITH_TIMEOUT(MessageLog::count(registerLine(40002, 777)), 2, 8000);
    QCOMPARE(MessageLog::count(registerLine(40001, valueOf(40001))), 1);
    // Done: the queue is free for the next one.
    QTRY_VERIFY_WITH_TIMEOUT(!linkFlag(rig, &ModbusManager::isBusy), 3000);
    QCOMPARE(pendingOperations(rig), 0);
    onLink(rig, [&] { rig.link->slots_sendModbus(ReadModbus, {40003, 1}); });
    QTRY_COMPARE_WITH_TIMEOUT(MessageLog::count(registerLine(40003, valueOf(40003))), 1, 5000);
    // The server saw them in this order.
    const QStringList log = peers::readLog(rig.pty.filePath(QStringLiteral("peer.log")));
    QCOMPARE(log.size(), 4);
    QCOMPARE(log[0], QString::fromLatin1(hexOf(peers::withCrc(QByteArray::fromHex("01039C410001")))));
    QCOMPARE(log[1], QString::fromLatin1(hexOf(peers::withCrc(QByteArray::fromHex("01069C420309")))));
    QCOMPARE(log[2], QString::fromLatin1(hexOf(peers::withCrc(QByteArray::fromHex("01039C420001")))));
}

void TestLinkAuxPaths::failedOperationFreesQueue_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QString>("line");
    QTest::newRow("write, one argument") << int(WriteModbus) << QVariantList{40001}
                                         << "Insufficient arguments for WriteModbus operation";
    QTest::newRow("read, no argument") << int(ReadModbus) << QVariantList{}
                                       << "Insufficient arguments for ReadModbus operation";
    QTest::newRow("raw write, no argument")
        << int(ReadModbusData) << QVariantList{} << "Insufficient arguments for ReadModbusData operation";
    QTest::newRow("unknown operation") << 9 << QVariantList{1, 2} << QString();
}

void TestLinkAuxPaths::failedOperationFreesQueue()
{
    QFETCH(int, operation);
    QFETCH(QVariantList, args);
    QFETCH(QString, line);
    LinkRig rig;
    QVERIFY(rig.isReady());
    PeerProcess peer;
    QVERIFY2(startModbusPeer(rig, peer), qPrintable(peer.errorString()));
    QVERIFY(rig.connectLink());
    // The failing operation, then one that must still run.
    onLink(rig, [&] {
        rig.link->slots_sendModbus(OperationType(operation), args);
        rig.link->slots_sendModbus(ReadModbus, {40005, 1});
    });
    if (!line.isEmpty())
        QCOMPARE(MessageLog::count(line), 1);
    QTRY_COMPARE_WITH_TIMEOUT(MessageLog::count(registerLine(40005, valueOf(40005))), 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!linkFlag(rig, &ModbusManager::isBusy), 3000);
}

void TestLinkAuxPaths::rawWriteReopensPort()
{
    LinkRig rig;
    QVERIFY(rig.isReady());
    QVERIFY(rig.openFarEnd());
    QVERIFY(rig.connectLink());
    onLink(rig, [&] { rig.link->slots_readModbusData("01039CB600014BBC"); });
    QCOMPARE(hexOf(rig.farRead(8)), QByteArray("01039CB600014BBC"));
    // Through the queue, as the third operation kind.
    onLink(rig, [&] { rig.link->slots_sendModbus(ReadModbusData, {QByteArray("AB0104")}); });
    QCOMPARE(hexOf(rig.farRead(3)), QByteArray("AB0104"));
    QTRY_VERIFY_WITH_TIMEOUT(!linkFlag(rig, &ModbusManager::isBusy), 3000);
    bool open = false;
    onLink(rig, [&] { open = rig.link->isPortOpen(); });
    QVERIFY(open);
}

void TestLinkAuxPaths::uploadArrivesWhole()
{
    LinkRig rig;
    QVERIFY(rig.isReady());
    QVERIFY(rig.openFarEnd());
    QVERIFY(rig.connectLink());
    std::mt19937 gen(5);
    QByteArray image(5000, 0); // two full chunks and a short one
    for (char& c : image)
        c = char(gen() & 0xFF);
    QMetaObject::invokeMethod(rig.link, "slots_sendUpgradeData", Qt::QueuedConnection, Q_ARG(QByteArray, image));
    const QByteArray got = rig.farRead(image.size(), 5000);
    QCOMPARE(got.size(), image.size());
    QVERIFY(got == image);
    QCOMPARE(rig.farReadFor(100).size(), 0);
    QCOMPARE(MessageLog::count(QStringLiteral("upgrade send error")), 0);
}

void TestLinkAuxPaths::uploadOnClosedPort()
{
    LinkRig rig;
    QVERIFY(rig.isReady());
    QVERIFY(rig.openFarEnd());
    QMetaObject::invokeMethod(rig.link, "slots_sendUpgradeData", Qt::QueuedConnection,
                              Q_ARG(QByteArray, QByteArray::fromHex("0A0B")));
    rig.sync();
    QCOMPARE(MessageLog::count(QStringLiteral("serialPort is not open 0A0B")), 1);
    // A large image is not written out in full.
    QMetaObject::invokeMethod(rig.link, "slots_sendUpgradeData", Qt::QueuedConnection,
                              Q_ARG(QByteArray, QByteArray(100000, char(0x11))));
    rig.sync();
    QCOMPARE(MessageLog::count(QStringLiteral("... (100000 bytes)")), 1);
    QCOMPARE(rig.farReadFor(100).size(), 0);
}

void TestLinkAuxPaths::uploadStopsOnWriteFailure()
{
    LinkRig rig;
    QVERIFY(rig.isReady());
    QVERIFY(rig.connectLink());
    // Nobody opens the far end: once the pty buffers are full a chunk can no
    // longer leave, and the upload must stop instead of going on.
    onLink(rig, [&] { rig.link->setUpgradeWaitMs(300); });
    QByteArray image(4 * 1024 * 1024, char(0x5A));
    QElapsedTimer timer;
    timer.start();
    QMetaObject::invokeMethod(rig.link, "slots_sendUpgradeData", Qt::QueuedConnection, Q_ARG(QByteArray, image));
    rig.sync();
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(MessageLog::count(QStringLiteral("upgrade send error")), 1);
    QCOMPARE(appLogCount(QStringLiteral("Firmware upload stopped at byte")), 1);
}

void TestLinkAuxPaths::hexWriteOnlyWhileOpen()
{
    LinkRig rig;
    QVERIFY(rig.isReady());
    QVERIFY(rig.openFarEnd());
    QMetaObject::invokeMethod(rig.link, "writeHexToPort", Qt::QueuedConnection, Q_ARG(QByteArray, QByteArray("C5")));
    rig.sync();
    QCOMPARE(MessageLog::count(QStringLiteral("serialPort is not open C5")), 1);
    QVERIFY(rig.connectLink());
    QMetaObject::invokeMethod(rig.link, "writeHexToPort", Qt::QueuedConnection, Q_ARG(QByteArray, QByteArray("C5")));
    QCOMPARE(hexOf(rig.farRead(1)), QByteArray("C5"));
}

void TestLinkAuxPaths::fidPortMembers()
{
    LinkRig rig;
    QVERIFY(rig.isReady());
    QVERIFY(rig.openFarEnd());
    QVERIFY(rig.connectLink());
    QMetaObject::invokeMethod(rig.link, "solt_connectFidPort", Qt::QueuedConnection);
    rig.sync();
    QCOMPARE(MessageLog::count(QStringLiteral("connect Fid Port1111111")), 1);

    // A status request installs its reader; after the FID port goes the
    // reply is not read.
    rig.send(Addr40118r);
    QCOMPARE(rig.farRead(8).size(), 8);
    QMetaObject::invokeMethod(rig.link, "slot_disConnectFidPort", Qt::QueuedConnection);
    rig.sync();
    rig.farWrite(readReply({4}));
    QTest::qWait(200);
    QCOMPARE(rig.handOns.size(), 0);
    // Port faults are still reported.
    rig.pty.stop();
    QTRY_COMPARE_WITH_TIMEOUT(rig.disconnectCount, 1, 5000);
}

QTEST_MAIN(TestLinkAuxPaths)
#include "tst_linkauxpaths.moc"
