// The serial link against independent peers: a libmodbus RTU server that
// answers the stored reads and applies the writes, and the simulated
// instrument streaming sample frames.

#include "linkrig.h"

#include "link/instrumentframes.h"
#include "peers/peerprocess.h"

#include <QFile>
#include <QtTest>

namespace
{

constexpr int kFirstRegister = 40000;
constexpr int kRegisterCount = 301;

// Every register holds a value of its own, so a reply from the wrong
// registers cannot pass.
quint16 valueOf(int reg)
{
    return quint16((reg * 37 + 11) & 0xFFFF);
}

QList<quint16> valuesFrom(int first, int count)
{
    QList<quint16> values;
    for (int reg = first; reg < first + count; ++reg)
        values << valueOf(reg);
    return values;
}

bool writeInitFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    for (int reg = kFirstRegister; reg < kFirstRegister + kRegisterCount; ++reg)
        file.write(QByteArray::number(reg) + '=' + QByteArray::number(valueOf(reg)) + '\n');
    return true;
}

// Sequence number the simulated instrument puts in bytes 3-4 of each frame.
int frameNumber(const QByteArray& frame)
{
    return (quint8(frame[3]) << 8) | quint8(frame[4]);
}

} // namespace

class TestLinkPeers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void modbusServerAnswersStoredReads();
    void writesChangeServerRegisters();
    void simulatedInstrumentStream();

private:
    bool startModbusPeer(LinkRig& rig, PeerProcess& peer);
};

void TestLinkPeers::initTestCase()
{
    MessageLog::install();
    useTemporaryAppFolder();
    registerSharedMetaTypes();
}

bool TestLinkPeers::startModbusPeer(LinkRig& rig, PeerProcess& peer)
{
    const QString init = rig.pty.filePath(QStringLiteral("registers.txt"));
    if (!writeInitFile(init))
        return false;
    return peer.start(PeerProcess::programPath(QStringLiteral("modbus_peer")),
                      {QStringLiteral("--device"), rig.pty.peerEnd(), QStringLiteral("--registers"),
                       QStringLiteral("%1:%2").arg(kFirstRegister).arg(kRegisterCount), QStringLiteral("--init"), init,
                       QStringLiteral("--log"), rig.pty.filePath(QStringLiteral("peer.log")), QStringLiteral("--dump"),
                       rig.pty.filePath(QStringLiteral("dump.txt"))});
}

void TestLinkPeers::modbusServerAnswersStoredReads()
{
    LinkRig rig;
    QVERIFY2(rig.isReady(), qPrintable(rig.pty.errorString()));
    PeerProcess peer;
    QVERIFY2(startModbusPeer(rig, peer), qPrintable(peer.errorString()));
    QVERIFY(rig.connectLink());

    struct Read {
        ModbusAddr kind;
        QByteArray request;
        int first;
        int count;
        int size;
    };
    const QList<Read> reads{
        {Addr40118r, "01039CB600014BBC", 40118, 1, 7},
        {Addr40100, "01039CA4007C2B98", 40100, 124, 253},
        {Addr40000, "01039C4000646BA5", 40000, 100, 205},
        {Addr40230, "01039D260003CBAC", 40230, 3, 11},
    };
    for (const Read& read : reads) {
        rig.send(read.kind);
        QVERIFY2(rig.waitForHandOns(rig.handOns.size() + 1), read.request.constData());
    }
    QTest::qWait(200);
    QCOMPARE(rig.handOns.size(), reads.size());

    const QStringList received = peers::readLog(rig.pty.filePath(QStringLiteral("peer.log")));
    QCOMPARE(received.size(), reads.size());
    for (int i = 0; i < reads.size(); ++i) {
        const Read& read = reads[i];
        QCOMPARE(received[i].toLatin1(), read.request);
        QCOMPARE(int(rig.handOns[i].kind), int(read.kind));
        QCOMPARE(rig.handOns[i].data.size(), read.size);
        QCOMPARE(hexOf(rig.handOns[i].data), hexOf(readReply(valuesFrom(read.first, read.count))));
    }
}

void TestLinkPeers::writesChangeServerRegisters()
{
    LinkRig rig;
    QVERIFY(rig.isReady());
    PeerProcess peer;
    QVERIFY2(startModbusPeer(rig, peer), qPrintable(peer.errorString()));
    QVERIFY(rig.connectLink());
    const QString dump = rig.pty.filePath(QStringLiteral("dump.txt"));

    rig.send(Addr40118_restart);
    QTRY_COMPARE_WITH_TIMEOUT(peers::readDump(dump).value(40118), 1, 3000);
    rig.send(Addr40118_retrack);
    QTRY_COMPARE_WITH_TIMEOUT(peers::readDump(dump).value(40118), 3, 3000);

    // Page-built 0x10 writes: a 32-bit value, low word first, and one register.
    rig.sendCustom(InstrumentFrames::writeUInt32(40100, 1400000000));
    QTRY_COMPARE_WITH_TIMEOUT(peers::readDump(dump).value(40101), 0x5372, 3000);
    QCOMPARE(peers::readDump(dump).value(40100), 0x4E00);
    rig.sendCustom(InstrumentFrames::writeOneRegister(40230, 200));
    QTRY_COMPARE_WITH_TIMEOUT(peers::readDump(dump).value(40230), 200, 3000);

    const QStringList received = peers::readLog(rig.pty.filePath(QStringLiteral("peer.log")));
    const QStringList expected{
        QStringLiteral("01069CB6000187BC"),
        QStringLiteral("01069CB60003067D"),
        QString::fromLatin1(hexOf(peers::withCrc(QByteArray::fromHex("01109CA40002044E005372")))),
        QString::fromLatin1(hexOf(peers::withCrc(QByteArray::fromHex("01109D2600010200C8")))),
    };
    QCOMPARE(received, expected);
    // Write answers are only logged.
    QTest::qWait(100);
    QCOMPARE(rig.handOns.size(), 0);
}

void TestLinkPeers::simulatedInstrumentStream()
{
    LinkRig rig;
    QVERIFY(rig.isReady());
    PeerProcess sim;
    QVERIFY2(sim.start(PeerProcess::programPath(QStringLiteral("sim_instrument")),
                       {QStringLiteral("--device"), rig.pty.peerEnd()}),
             qPrintable(sim.errorString()));
    QVERIFY(rig.connectLink());

    const auto checkRun = [&rig](int from, int size) {
        for (int i = from; i < rig.handOns.size(); ++i) {
            const QByteArray& f = rig.handOns[i].data;
            QCOMPARE(int(rig.handOns[i].kind), int(Addrdds_data));
            QCOMPARE(f.size(), size);
            QCOMPARE(quint8(f[0]), quint8(0xAB));
            QCOMPARE(quint8(f[size - 1]), quint8(0xFF));
            if (i > from)
                QCOMPARE(frameNumber(f), (frameNumber(rig.handOns[i - 1].data) + 1) & 0xFFFF);
        }
    };

    rig.send(Addrdds_start);
    QVERIFY(sim.waitForLine(QStringLiteral("stream start 100"), 3000));
    QVERIFY(rig.waitForHandOns(10));
    checkRun(0, 209);
    if (QTest::currentTestFailed())
        return;

    // Rate change as the main window makes it: stop, let the line drain,
    // swap the frames, start.
    rig.send(Addrdds_end);
    QVERIFY(sim.waitForLine(QStringLiteral("stream stop"), 3000));
    QTest::qWait(200);
    rig.syncDataByteCount(200, true);
    const int from = rig.handOns.size();
    rig.send(Addrdds_start);
    QVERIFY(sim.waitForLine(QStringLiteral("stream start 20"), 3000));
    QVERIFY(rig.waitForHandOns(from + 10));
    checkRun(from, 49);
    if (QTest::currentTestFailed())
        return;

    // Two frames in one write: none lost, none cut out of step.
    const int paired = rig.handOns.size();
    QVERIFY(sim.command(QStringLiteral("pair")));
    QVERIFY(sim.command(QStringLiteral("pair")));
    QVERIFY(rig.waitForHandOns(paired + 10));
    checkRun(from, 49);
}

QTEST_GUILESS_MAIN(TestLinkPeers)
#include "tst_linkpeers.moc"
