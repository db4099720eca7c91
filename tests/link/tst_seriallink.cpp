// The serial link over a real pty pair, with the test itself on the far end:
// request bytes, reply cutting and checking, the stream reader, port state.

#include "linkrig.h"

#include "core/globalstate.h"
#include "core/logger.h"
#include "peers/peerprocess.h"

#include <QMutexLocker>
#include <QSemaphore>
#include <QThread>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

namespace
{

bool newFileRequest()
{
    GlobalState& g = GlobalState::instance();
    QMutexLocker lock(&g.newFileMutex);
    return g.newFileRequest;
}

void setNewFileRequest(bool value)
{
    GlobalState& g = GlobalState::instance();
    QMutexLocker lock(&g.newFileMutex);
    g.newFileRequest = value;
}

// A well-formed reply of size bytes (5 + 2 per register), distinct values.
QByteArray replyOfSize(int size, int seed = 0)
{
    QList<quint16> values;
    for (int i = 0; i < (size - 5) / 2; ++i)
        values << quint16(0x1234 + 97 * i + seed);
    return readReply(values);
}

// The pty pair up, the test's far end open and the link connected; says
// which step failed.
bool openBothEnds(LinkRig& rig)
{
    if (!rig.isReady()) {
        qWarning("pty pair: %s", qPrintable(rig.pty.errorString()));
        return false;
    }
    if (!rig.openFarEnd()) {
        qWarning("far end: %s", qPrintable(rig.farEnd.errorString()));
        return false;
    }
    if (!rig.connectLink()) {
        qWarning("the link did not connect");
        return false;
    }
    return true;
}

// Sends a request of kind, takes its size bytes off the far end and, if they
// all came, answers with reply (nothing if reply is empty).
bool exchange(LinkRig& rig, ModbusAddr kind, const QByteArray& reply, int size = 8)
{
    rig.send(kind);
    const int got = rig.farRead(size).size();
    if (got != size) {
        qWarning("request of %d bytes, expected %d", got, size);
        return false;
    }
    if (!reply.isEmpty())
        rig.farWrite(reply);
    return true;
}

// The stream start written, so the link reads stream frames from now on.
bool startStream(LinkRig& rig)
{
    return exchange(rig, Addrdds_start, QByteArray(), 9);
}

// n hand-ons arrived, and no more within settleMs.
bool settlesAt(LinkRig& rig, int n, int settleMs = 150)
{
    if (!rig.waitForHandOns(n)) {
        qWarning("%d hand-ons, expected %d", int(rig.handOns.size()), n);
        return false;
    }
    QTest::qWait(settleMs);
    if (rig.handOns.size() != n) {
        qWarning("%d hand-ons after settling, expected %d", int(rig.handOns.size()), n);
        return false;
    }
    return true;
}

} // namespace

class TestSerialLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void storedRequestsArriveByteForByte_data();
    void storedRequestsArriveByteForByte();
    void customFrameArrivesUnchanged();
    void emptyFrameIsNotWritten();

    void replyHandedOnOnce_data();
    void replyHandedOnOnce();
    void junkBeforeRequestIsDiscarded_data();
    void junkBeforeRequestIsDiscarded();
    void malformedReplyIsDropped_data();
    void malformedReplyIsDropped();
    void lostByteDoesNotShiftLaterReplies_data();
    void lostByteDoesNotShiftLaterReplies();
    void writeRepliesAreNotHandedOn_data();
    void writeRepliesAreNotHandedOn();
    void readerSwitchRequestsNewFile_data();
    void readerSwitchRequestsNewFile();

    void streamStartWritesStartAndRequestsNewFile();
    void separateStreamFramesHandedOnOneEach();
    void framesInOneWriteAllHandedOn_data();
    void framesInOneWriteAllHandedOn();
    void streamFrameSizeFollowsRate_data();
    void streamFrameSizeFollowsRate();
    void streamStopKeepsStreamReader();

    void closedPortDropsRequests();
    void failedOpenEmitsNothing();
    void farEndVanishes_data();
    void farEndVanishes();
    void emptiedInputIsNotAFault_data();
    void emptiedInputIsNotAFault();
};

void TestSerialLink::initTestCase()
{
    MessageLog::install();
    useTemporaryAppFolder();
    registerSharedMetaTypes();
}

void TestSerialLink::init()
{
    MessageLog::clear();
}

void TestSerialLink::storedRequestsArriveByteForByte_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("restart") << 0 << QByteArray("01069CB6000187BC");
    QTest::newRow("retrack") << 1 << QByteArray("01069CB60003067D");
    QTest::newRow("status") << 2 << QByteArray("01039CB600014BBC");
    QTest::newRow("parameters") << 3 << QByteArray("01039CA4007C2B98");
    QTest::newRow("40230") << 4 << QByteArray("01039D260003CBAC");
    QTest::newRow("30000") << 5 << QByteArray("AB010475300190EA24");
    QTest::newRow("dds data") << 6 << QByteArray("AB01047D000190E84B");
    QTest::newRow("stream start") << 7 << QByteArray("AB01047D000064E85C");
    QTest::newRow("stream stop") << 8 << QByteArray("AB01067D000064919C");
    QTest::newRow("identity") << 10 << QByteArray("01039C4000646BA5");
}

void TestSerialLink::storedRequestsArriveByteForByte()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, expected);
    LinkRig rig;
    QVERIFY(openBothEnds(rig));

    rig.send(ModbusAddr(kind));
    QCOMPARE(hexOf(rig.farRead(expected.size() / 2)), expected);
    QCOMPARE(hexOf(rig.farReadFor(150)), QByteArray());
}

void TestSerialLink::customFrameArrivesUnchanged()
{
    LinkRig rig;
    QVERIFY(openBothEnds(rig));

    // 40100..40101 := 1400000000 mHz, low word first.
    const QByteArray frame = peers::withCrc(QByteArray::fromHex("01109CA40002044E005372"));
    rig.sendCustom(frame);
    QCOMPARE(hexOf(rig.farRead(frame.size())), hexOf(frame));
    QCOMPARE(hexOf(rig.farReadFor(150)), QByteArray());
}

void TestSerialLink::emptyFrameIsNotWritten()
{
    LinkRig rig;
    QVERIFY(openBothEnds(rig));

    rig.send(AddrCustom);    // no stored frame: an empty request
    rig.send(AddrVectorFid); // likewise
    rig.send(Addr40118r);
    QCOMPARE(hexOf(rig.farRead(8, 5000)), QByteArray("01039CB600014BBC"));
    QCOMPARE(hexOf(rig.farReadFor(150)), QByteArray());
}

void TestSerialLink::replyHandedOnOnce_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("split"); // bytes in the first write; 0 = one write
    QTest::newRow("status whole") << 2 << 7 << 0;
    QTest::newRow("status split after head") << 2 << 7 << 3;
    QTest::newRow("parameters split after 1") << 3 << 253 << 1;
    QTest::newRow("parameters split before CRC") << 3 << 253 << 251;
    QTest::newRow("40230 split") << 4 << 11 << 5;
    QTest::newRow("identity split") << 10 << 205 << 100;
}

void TestSerialLink::replyHandedOnOnce()
{
    QFETCH(int, kind);
    QFETCH(int, size);
    QFETCH(int, split);
    LinkRig rig;
    QVERIFY(openBothEnds(rig));

    const QByteArray reply = replyOfSize(size);
    QCOMPARE(reply.size(), size);
    QVERIFY(exchange(rig, ModbusAddr(kind), split > 0 ? reply.left(split) : reply));
    if (split > 0) {
        QThread::msleep(60); // the link sees the first part on its own
        rig.farWrite(reply.mid(split));
    }
    QVERIFY(settlesAt(rig, 1));
    QCOMPARE(int(rig.handOns[0].kind), kind);
    QCOMPARE(hexOf(rig.handOns[0].data), hexOf(reply));
}

void TestSerialLink::junkBeforeRequestIsDiscarded_data()
{
    QTest::addColumn<int>("firstKind");
    QTest::addColumn<int>("junkLength");
    QTest::addColumn<int>("nextKind");
    QTest::newRow("short junk, same kind") << 2 << 5 << 2;
    QTest::newRow("long junk, same kind") << 3 << 40 << 3;
    QTest::newRow("junk, other kind") << 2 << 5 << 3;
    QTest::newRow("junk before identity") << 4 << 12 << 10;
}

void TestSerialLink::junkBeforeRequestIsDiscarded()
{
    QFETCH(int, firstKind);
    QFETCH(int, junkLength);
    QFETCH(int, nextKind);
    const QMap<int, int> sizes{{2, 7}, {3, 253}, {4, 11}, {10, 205}};
    LinkRig rig;
    QVERIFY(openBothEnds(rig));

    const QByteArray first = replyOfSize(sizes[firstKind], 1);
    QVERIFY(exchange(rig, ModbusAddr(firstKind), first));
    QVERIFY(rig.waitForHandOns(1));

    // Bytes nobody asked for arrive and wait in the port.
    QByteArray junk(junkLength, char(0x03));
    for (int i = 0; i < junkLength; ++i)
        junk[i] = char(0x01 + (i % 3)); // looks like reply heads: 01 02 03 ...
    rig.farWrite(junk);
    QTest::qWait(100);

    const QByteArray next = replyOfSize(sizes[nextKind], 2);
    QVERIFY(exchange(rig, ModbusAddr(nextKind), next));
    QVERIFY(settlesAt(rig, 2));
    QCOMPARE(hexOf(rig.handOns[0].data), hexOf(first));
    QCOMPARE(int(rig.handOns[1].kind), nextKind);
    QCOMPARE(hexOf(rig.handOns[1].data), hexOf(next));
}

void TestSerialLink::malformedReplyIsDropped_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("position"); // byte changed; -1 = the last (CRC)
    QTest::newRow("status, bad CRC") << 2 << 7 << -1;
    QTest::newRow("parameters, bad CRC") << 3 << 253 << -1;
    QTest::newRow("parameters, data byte") << 3 << 253 << 100;
    QTest::newRow("identity, wrong unit") << 10 << 205 << 0;
    QTest::newRow("40230, wrong function") << 4 << 11 << 1;
    QTest::newRow("40230, wrong byte count") << 4 << 11 << 2;
}

void TestSerialLink::malformedReplyIsDropped()
{
    QFETCH(int, kind);
    QFETCH(int, size);
    QFETCH(int, position);
    LinkRig rig;
    QVERIFY(openBothEnds(rig));
    const int logBefore = appLogCount(QStringLiteral("Bad reply"));

    QByteArray bad = replyOfSize(size);
    const int at = position < 0 ? size - 1 : position;
    bad[at] = char(bad[at] ^ 0x10);
    QVERIFY(exchange(rig, ModbusAddr(kind), bad));
    QTRY_COMPARE_WITH_TIMEOUT(appLogCount(QStringLiteral("Bad reply")), logBefore + 1, 2000);
    QTest::qWait(100);
    QCOMPARE(rig.handOns.size(), 0);

    // The next exchange is not disturbed.
    const QByteArray good = replyOfSize(size, 5);
    QVERIFY(exchange(rig, ModbusAddr(kind), good));
    QVERIFY(rig.waitForHandOns(1));
    QCOMPARE(hexOf(rig.handOns[0].data), hexOf(good));
    QCOMPARE(appLogCount(QStringLiteral("Bad reply")), logBefore + 1);
}

void TestSerialLink::lostByteDoesNotShiftLaterReplies_data()
{
    QTest::addColumn<bool>("newRequest"); // the next reply answers a new request
    QTest::newRow("next poll") << true;
    QTest::newRow("late reply behind it") << false;
}

void TestSerialLink::lostByteDoesNotShiftLaterReplies()
{
    QFETCH(bool, newRequest);
    LinkRig rig;
    QVERIFY(openBothEnds(rig));

    QVERIFY(exchange(rig, Addr40100, replyOfSize(253, 1).remove(40, 1)));
    QTest::qWait(100);
    if (newRequest)
        QVERIFY(exchange(rig, Addr40100, replyOfSize(253, 2)));
    else
        rig.farWrite(replyOfSize(253, 2));
    QTest::qWait(200);

    // Whatever happened to those two, every later block is intact.
    for (int seed = 3; seed < 6; ++seed) {
        const int before = rig.handOns.size();
        const QByteArray good = replyOfSize(253, seed);
        QVERIFY(exchange(rig, Addr40100, good));
        QVERIFY(rig.waitForHandOns(before + 1));
        QCOMPARE(hexOf(rig.handOns.last().data), hexOf(good));
    }
    for (const HandOn& h : qAsConst(rig.handOns))
        QVERIFY2(h.data.size() == 253 && h.data.startsWith(QByteArray::fromHex("0103F8")) && peers::crcOk(h.data),
                 hexOf(h.data.left(8)).constData());
}

void TestSerialLink::writeRepliesAreNotHandedOn_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("restart") << 0;
    QTest::newRow("retrack") << 1;
    QTest::newRow("custom") << 9;
}

void TestSerialLink::writeRepliesAreNotHandedOn()
{
    QFETCH(int, kind);
    LinkRig rig;
    QVERIFY(openBothEnds(rig));

    const QByteArray custom = peers::withCrc(QByteArray::fromHex("01109CE600010200C8"));
    if (kind == AddrCustom)
        rig.sendCustom(custom);
    else
        rig.send(ModbusAddr(kind));
    const QByteArray request = rig.farRead(kind == AddrCustom ? custom.size() : 8);
    // The instrument echoes a write (0x06) or acknowledges it (0x10).
    rig.farWrite(kind == AddrCustom ? peers::withCrc(request.left(6)) : request);
    QTRY_VERIFY_WITH_TIMEOUT(MessageLog::count(QStringLiteral("recv ")) == 1, 2000);
    QTest::qWait(100);
    QCOMPARE(rig.handOns.size(), 0);
}

void TestSerialLink::readerSwitchRequestsNewFile_data()
{
    QTest::addColumn<QList<int>>("kinds");
    QTest::addColumn<bool>("requested"); // by the last request
    QTest::addColumn<int>("state");      // reader state after it
    QTest::newRow("status twice") << QList<int>{2, 2} << false << 2;
    QTest::newRow("parameters after status") << QList<int>{2, 3} << true << 3;
    QTest::newRow("status after parameters") << QList<int>{2, 3, 2} << true << 2;
    QTest::newRow("retrack after restart") << QList<int>{0, 1} << false << 0;
    QTest::newRow("custom after restart") << QList<int>{0, 9} << true << 9;
    QTest::newRow("stream start twice") << QList<int>{7, 7} << true << 6;
    QTest::newRow("stream stop") << QList<int>{7, 8} << true << 6;
    QTest::newRow("30000 after status") << QList<int>{2, 5} << true << 6;
    QTest::newRow("first request") << QList<int>{10} << true << 10;
}

void TestSerialLink::readerSwitchRequestsNewFile()
{
    QFETCH(QList<int>, kinds);
    QFETCH(bool, requested);
    QFETCH(int, state);
    LinkRig rig;
    QVERIFY(rig.isReady());
    QVERIFY(rig.connectLink());

    for (int i = 0; i + 1 < kinds.size(); ++i)
        rig.send(ModbusAddr(kinds[i]));
    rig.sync();
    setNewFileRequest(false);
    rig.send(ModbusAddr(kinds.last()));
    rig.sync();
    QCOMPARE(newFileRequest(), requested);
    QCOMPARE(rig.link->currentReadState(), state);
}

void TestSerialLink::streamStartWritesStartAndRequestsNewFile()
{
    LinkRig rig;
    QVERIFY(openBothEnds(rig));
    rig.send(Addr40118r);
    rig.farRead(8);
    rig.sync();

    setNewFileRequest(false);
    rig.send(Addrdds_start);
    QCOMPARE(hexOf(rig.farRead(9)), QByteArray("AB01047D000064E85C"));
    rig.sync();
    QVERIFY(newFileRequest());
    QCOMPARE(rig.link->currentReadState(), 6);
}

void TestSerialLink::separateStreamFramesHandedOnOneEach()
{
    LinkRig rig;
    QVERIFY(openBothEnds(rig));
    QVERIFY(startStream(rig));

    QList<QByteArray> sent;
    for (int n = 0; n < 4; ++n) {
        sent << streamFrame(209, n);
        rig.farWrite(sent.last());
        QVERIFY(rig.waitForHandOns(n + 1));
    }
    QVERIFY(settlesAt(rig, 4));
    for (int n = 0; n < 4; ++n) {
        QCOMPARE(int(rig.handOns[n].kind), int(Addrdds_data));
        QCOMPARE(hexOf(rig.handOns[n].data), hexOf(sent[n]));
    }
}

void TestSerialLink::framesInOneWriteAllHandedOn_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("extra"); // bytes of the following frame in the same write
    QTest::newRow("two") << 2 << 0;
    QTest::newRow("five") << 5 << 0;
    QTest::newRow("two and a part") << 2 << 100;
}

void TestSerialLink::framesInOneWriteAllHandedOn()
{
    QFETCH(int, frames);
    QFETCH(int, extra);
    LinkRig rig;
    QVERIFY(openBothEnds(rig));
    QVERIFY(startStream(rig));

    QByteArray burst;
    for (int n = 0; n < frames; ++n)
        burst += streamFrame(209, n);
    const QByteArray partial = streamFrame(209, frames);
    burst += partial.left(extra);
    rig.farWrite(burst);
    QVERIFY(settlesAt(rig, frames, 200));
    for (int n = 0; n < frames; ++n)
        QCOMPARE(hexOf(rig.handOns[n].data), hexOf(streamFrame(209, n)));

    if (extra > 0) {
        rig.farWrite(partial.mid(extra));
        QVERIFY(rig.waitForHandOns(frames + 1));
        QCOMPARE(hexOf(rig.handOns.last().data), hexOf(partial));
    }
}

void TestSerialLink::streamFrameSizeFollowsRate_data()
{
    QTest::addColumn<int>("earlierRate"); // 0: no earlier change
    QTest::addColumn<int>("byteCount");
    QTest::addColumn<bool>("bChange");
    QTest::addColumn<int>("frameSize");
    QTest::addColumn<QByteArray>("startFrame");
    QTest::newRow("10") << 0 << 10 << true << 11 << QByteArray("AB01047D0000012877");
    QTest::newRow("20") << 0 << 20 << true << 13 << QByteArray("AB01047D0000026876");
    QTest::newRow("200") << 0 << 200 << true << 49 << QByteArray("AB01047D000014E9B8");
    QTest::newRow("500") << 0 << 500 << true << 109 << QByteArray("AB01047D0000326862");
    QTest::newRow("1000 after 200") << 200 << 1000 << true << 209 << QByteArray("AB01047D000064E85C");
    QTest::newRow("no change after 200") << 200 << 20 << false << 209 << QByteArray("AB01047D000064E85C");
    QTest::newRow("300 keeps 200") << 200 << 300 << true << 49 << QByteArray("AB01047D000014E9B8");
    QTest::newRow("0 keeps 500") << 500 << 0 << true << 109 << QByteArray("AB01047D0000326862");
    QTest::newRow("negative keeps default") << 0 << -200 << true << 209 << QByteArray("AB01047D000064E85C");
}

void TestSerialLink::streamFrameSizeFollowsRate()
{
    QFETCH(int, earlierRate);
    QFETCH(int, byteCount);
    QFETCH(bool, bChange);
    QFETCH(int, frameSize);
    QFETCH(QByteArray, startFrame);
    LinkRig rig;
    QVERIFY(openBothEnds(rig));

    if (earlierRate > 0)
        rig.syncDataByteCount(earlierRate, true);
    rig.syncDataByteCount(byteCount, bChange);
    rig.send(Addrdds_start);
    QCOMPARE(hexOf(rig.farRead(9)), startFrame);

    rig.farWrite(streamFrame(frameSize, 0) + streamFrame(frameSize, 1) + QByteArray(3, char(0xAB)));
    QVERIFY(settlesAt(rig, 2));
    QCOMPARE(hexOf(rig.handOns[0].data), hexOf(streamFrame(frameSize, 0)));
    QCOMPARE(hexOf(rig.handOns[1].data), hexOf(streamFrame(frameSize, 1)));
}

void TestSerialLink::streamStopKeepsStreamReader()
{
    LinkRig rig;
    QVERIFY(openBothEnds(rig));
    QVERIFY(startStream(rig));
    rig.send(Addrdds_end);
    QCOMPARE(hexOf(rig.farRead(9)), QByteArray("AB01067D000064919C"));

    // A frame the instrument still sends after the stop.
    rig.farWrite(streamFrame(209, 7));
    QVERIFY(rig.waitForHandOns(1));
    QCOMPARE(int(rig.handOns[0].kind), int(Addrdds_data));
    QCOMPARE(hexOf(rig.handOns[0].data), hexOf(streamFrame(209, 7)));
}

void TestSerialLink::closedPortDropsRequests()
{
    LinkRig rig;
    QVERIFY(rig.isReady());
    QVERIFY(rig.openFarEnd());

    rig.send(Addr40118r);
    rig.send(Addr40100);
    rig.send(Addrdds_start);
    rig.sync();
    QCOMPARE(MessageLog::count(QStringLiteral("serialPort is not open ")), 3);
    QCOMPARE(rig.farReadFor(150), QByteArray());

    // Nothing was kept for later.
    QVERIFY(rig.connectLink());
    QCOMPARE(rig.farReadFor(150), QByteArray());
    rig.send(Addr40118r);
    QCOMPARE(hexOf(rig.farRead(8)), QByteArray("01039CB600014BBC"));

    // Closing on request drops again and reports no fault.
    emit rig.scheduler.sig_disConnectDevice();
    rig.send(Addr40118r);
    rig.sync();
    QCOMPARE(MessageLog::count(QStringLiteral("serialPort is not open ")), 4);
    QCOMPARE(rig.farReadFor(150), QByteArray());
    QCOMPARE(rig.disconnectCount, 0);
}

void TestSerialLink::failedOpenEmitsNothing()
{
    LinkRig rig;
    QVERIFY(rig.isReady());
    const int logBefore = appLogCount(QStringLiteral("open failed"));

    QVERIFY(!rig.connectLink(rig.pty.filePath(QStringLiteral("no-such-port"))));
    QTest::qWait(300);
    QCOMPARE(rig.connectedCount, 0);
    QCOMPARE(rig.disconnectCount, 0);
    QCOMPARE(MessageLog::count(QStringLiteral("open failed")), 1);
    QCOMPARE(appLogCount(QStringLiteral("open failed")), logBefore + 1);

    rig.send(Addr40118r);
    rig.sync();
    QCOMPARE(MessageLog::count(QStringLiteral("serialPort is not open ")), 1);
}

void TestSerialLink::farEndVanishes_data()
{
    QTest::addColumn<QString>("how");
    // The pair's far end goes with socat; an instrument that only closes its
    // own side leaves the line open, as a real cable would.
    QTest::newRow("pty pair stopped") << QStringLiteral("terminate");
    QTest::newRow("pty pair killed") << QStringLiteral("kill");
}

void TestSerialLink::farEndVanishes()
{
    QFETCH(QString, how);
    LinkRig rig;
    QVERIFY(rig.isReady());
    PeerProcess sim;
    QVERIFY2(sim.start(PeerProcess::programPath(QStringLiteral("sim_instrument")),
                       {QStringLiteral("--device"), rig.pty.peerEnd()}),
             qPrintable(sim.errorString()));
    QVERIFY(rig.connectLink());

    // A few reader switches first: the error handler must outlive them.
    rig.send(Addr40118r);
    QVERIFY(rig.waitForHandOns(1));
    rig.send(Addr40100);
    QVERIFY(rig.waitForHandOns(2));
    rig.send(Addrdds_start);
    QVERIFY(rig.waitForHandOns(4));
    const int errorLinesBefore = appLogCount(QStringLiteral("error"));

    if (how == QLatin1String("terminate"))
        rig.pty.stop();
    else
        QCOMPARE(::kill(pid_t(rig.pty.pid()), SIGKILL), 0);

    QTRY_COMPARE_WITH_TIMEOUT(rig.disconnectCount, 1, 5000);
    QTest::qWait(1000);
    QCOMPARE(rig.disconnectCount, 1);

    // The port is closed: a request is dropped.
    const int dropsBefore = MessageLog::count(QStringLiteral("serialPort is not open "));
    rig.send(Addr40118r);
    rig.sync();
    QCOMPARE(MessageLog::count(QStringLiteral("serialPort is not open ")), dropsBefore + 1);

    QCOMPARE(MessageLog::count(QStringLiteral("Serial error: ")), 1);
    const int errorLines = appLogCount(QStringLiteral("error")) - errorLinesBefore;
    QVERIFY2(errorLines >= 1 && errorLines <= 2, qPrintable(QString::number(errorLines)));
}

void TestSerialLink::emptiedInputIsNotAFault_data()
{
    QTest::addColumn<QString>("emptiedBy");
    QTest::addColumn<bool>("staleAgain");
    QTest::addColumn<QString>("reported");
    // The wait after a write reads the port itself; a clear drops the input.
    QTest::newRow("status poll written") << QStringLiteral("request") << false << QStringLiteral("ReadError");
    QTest::newRow("input cleared") << QStringLiteral("clear") << false << QStringLiteral("ReadError");
    // An empty read is judged by whatever errno was left behind: EAGAIN turns
    // it into a resource error, on which the port stops reading.
    QTest::newRow("stale EAGAIN") << QStringLiteral("request") << true << QStringLiteral("ResourceError");
}

// The link thread finds the line readable, but before the port's own read
// notification runs, something else in the same pass of its event loop has
// emptied the input: the notification then reads nothing, which the port
// reports as an error. The line is up and must stay so.
void TestSerialLink::emptiedInputIsNotAFault()
{
    QFETCH(QString, emptiedBy);
    QFETCH(bool, staleAgain);
    QFETCH(QString, reported);
    LinkRig rig;
    QVERIFY(openBothEnds(rig));
    QVERIFY(startStream(rig));
    rig.farWrite(streamFrame(209, 0));
    QVERIFY(settlesAt(rig, 1));

    // Hold the link thread until a frame waits in its port's input, so that
    // its next poll sees the input readable together with the work queued
    // while it was held (work queued before would run in the same pass).
    QSemaphore held;
    QSemaphore go;
    bool sawInput = false;
    const QByteArray linkEnd = QFile::encodeName(rig.pty.linkEnd());
    QMetaObject::invokeMethod(
        rig.link,
        [&held, &go, &sawInput, linkEnd] {
            held.release();
            go.acquire();
            // A second descriptor on the same terminal sees its input without
            // taking it.
            const int fd = ::open(linkEnd.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
            if (fd < 0)
                return;
            pollfd p{fd, POLLIN, 0};
            sawInput = ::poll(&p, 1, 3000) == 1 && (p.revents & POLLIN);
            ::close(fd);
        },
        Qt::QueuedConnection);
    QVERIFY(held.tryAcquire(1, 3000));
    rig.farWrite(streamFrame(209, 1));
    if (emptiedBy == QLatin1String("request"))
        rig.send(Addr40118r);
    else
        emit rig.scheduler.sig_clearSerialPort();
    if (staleAgain)
        QMetaObject::invokeMethod(
            rig.link, [] { errno = EAGAIN; }, Qt::QueuedConnection);
    go.release();

    const QString emptyRead = QStringLiteral("Serial empty read ignored: ") + reported;
    QTRY_VERIFY_WITH_TIMEOUT(MessageLog::count(emptyRead) >= 1 || rig.disconnectCount > 0, 5000);
    QVERIFY(sawInput);
    QTest::qWait(300);
    QCOMPARE(rig.disconnectCount, 0);
    QCOMPARE(MessageLog::count(QStringLiteral("Serial error: ")), 0);
    QVERIFY2(MessageLog::count(emptyRead) >= 1, qPrintable(MessageLog::lines().join('\n')));

    // Still open and still reading: a status poll gets its reply through.
    if (emptiedBy == QLatin1String("request"))
        QCOMPARE(hexOf(rig.farRead(8)), QByteArray("01039CB600014BBC"));
    const int before = rig.handOns.size();
    const QByteArray reply = readReply({4});
    QVERIFY(exchange(rig, Addr40118r, reply));
    QVERIFY(rig.waitForHandOns(before + 1));
    QCOMPARE(int(rig.handOns.last().kind), int(Addr40118r));
    QCOMPARE(hexOf(rig.handOns.last().data), hexOf(reply));

    // A line that really goes still gives one disconnect and a closed port.
    rig.farEnd.close();
    rig.pty.stop();
    QTRY_COMPARE_WITH_TIMEOUT(rig.disconnectCount, 1, 5000);
    QTest::qWait(500);
    QCOMPARE(rig.disconnectCount, 1);
    const int drops = MessageLog::count(QStringLiteral("serialPort is not open "));
    rig.send(Addr40118r);
    rig.sync();
    QCOMPARE(MessageLog::count(QStringLiteral("serialPort is not open ")), drops + 1);
}

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
