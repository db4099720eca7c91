// Self-test of the test peers: each one is driven over a real socat pty pair
// through a real QSerialPort, the way the link tests will use them.

#include "peers/peerprocess.h"
#include "peers/ptypair.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <memory>

#include <sys/types.h>

namespace {

QByteArray hexBytes(const char *hex)
{
    return QByteArray::fromHex(hex);
}

// Bytes that arrive within timeoutMs, stopping early once `atLeast` bytes
// are in; then whatever follows within settleMs, so that extra bytes show.
QByteArray readBytes(QSerialPort &port, int atLeast, int timeoutMs = 2000, int settleMs = 100)
{
    QByteArray got = port.readAll();
    QDeadlineTimer deadline(timeoutMs);
    while (got.size() < atLeast && !deadline.hasExpired()) {
        port.waitForReadyRead(int(qBound<qint64>(1, deadline.remainingTime(), 50)));
        got += port.readAll();
    }
    QDeadlineTimer settle(settleMs);
    while (!settle.hasExpired()) {
        port.waitForReadyRead(int(qBound<qint64>(1, settle.remainingTime(), 50)));
        got += port.readAll();
    }
    return got;
}

// QSerialPort writes only from its event loop or a wait, so wait here.
void sendBytes(QSerialPort &port, const QByteArray &bytes)
{
    port.write(bytes);
    port.waitForBytesWritten(1000);
}

QByteArray exchange(QSerialPort &port, const QByteArray &request, int replySize)
{
    sendBytes(port, request);
    return readBytes(port, replySize);
}

quint16 be16(const QByteArray &b, int pos)
{
    return quint16((quint8(b.at(pos)) << 8) | quint8(b.at(pos + 1)));
}

// Two registers, the lower one holding the low word.
quint32 u32LowWordFirst(const QByteArray &b, int pos)
{
    return quint32(be16(b, pos + 2)) << 16 | be16(b, pos);
}

float floatLowWordFirst(const QByteArray &b, int pos)
{
    const quint32 v = u32LowWordFirst(b, pos);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

bool processGone(qint64 pid)
{
    return pid <= 0 || ::kill(pid_t(pid), 0) != 0;
}

} // namespace

class TestPeers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QSerialPort::SerialPortError>(); }
    void crc16_data();
    void crc16();
    void ptyPairCarriesBytesAndStops();
    void ptyPairRestarts();
    void storedReads_data();
    void storedReads();
    void restartWrite_data();
    void restartWrite();
    void multiRegisterWrite_data();
    void multiRegisterWrite();
    void junkBeforeRequest_data();
    void junkBeforeRequest();
    void simRegisterLayout();
    void simStatusRisesAfterRestart();
    void simStream_data();
    void simStream();
    void simReplyFaults_data();
    void simReplyFaults();
    void simPairAndStall();
    void simStreamPair();
    void simRateRegister_data();
    void simRateRegister();
    void simClose();
    void simStreamCounts();

private:
    struct Rig {
        std::unique_ptr<PtyPair> pty;
        PeerProcess peer;
        QSerialPort port;
        QString log, dump;
    };
    // Starts a pty pair, the named peer on one end and a port on the other.
    bool startRig(Rig &rig, const QString &peer, QStringList args = {});
};

bool TestPeers::startRig(Rig &rig, const QString &peer, QStringList args)
{
    rig.pty = std::make_unique<PtyPair>();
    if (!rig.pty->isReady()) {
        qWarning() << rig.pty->errorString();
        return false;
    }
    rig.log = rig.pty->filePath(QStringLiteral("rx.log"));
    rig.dump = rig.pty->filePath(QStringLiteral("regs.dump"));
    args << QStringLiteral("--device") << rig.pty->peerEnd() << QStringLiteral("--log") << rig.log
         << QStringLiteral("--dump") << rig.dump;
    if (!rig.peer.start(PeerProcess::programPath(peer), args)) {
        qWarning() << rig.peer.errorString();
        return false;
    }
    rig.port.setPortName(rig.pty->linkEnd());
    rig.port.setBaudRate(921600);
    rig.port.setDataBits(QSerialPort::Data8);
    rig.port.setParity(QSerialPort::NoParity);
    rig.port.setStopBits(QSerialPort::OneStop);
    rig.port.setFlowControl(QSerialPort::NoFlowControl);
    if (!rig.port.open(QIODevice::ReadWrite)) {
        qWarning() << "open" << rig.port.portName() << rig.port.errorString();
        return false;
    }
    return true;
}

void TestPeers::crc16_data()
{
    QTest::addColumn<QByteArray>("frame");
    // The published check value of CRC-16/MODBUS, low byte first.
    QTest::newRow("check 123456789") << QByteArray("123456789\x37\x4B", 11);
    QTest::newRow("restart") << hexBytes("01069CB6000187BC");
    QTest::newRow("retrack") << hexBytes("01069CB60003067D");
    QTest::newRow("status") << hexBytes("01039CB600014BBC");
    QTest::newRow("params") << hexBytes("01039CA4007C2B98");
    QTest::newRow("rate") << hexBytes("01039D260003CBAC");
    QTest::newRow("identity") << hexBytes("01039C4000646BA5");
    QTest::newRow("start 1000") << hexBytes("AB01047D000064E85C");
    QTest::newRow("stop 1000") << hexBytes("AB01067D000064919C");
    QTest::newRow("start 200") << hexBytes("AB01047D000014E9B8");
    QTest::newRow("stop 200") << hexBytes("AB01067D0000149078");
}

void TestPeers::crc16()
{
    QFETCH(QByteArray, frame);
    QVERIFY(peers::crcOk(frame));
    QCOMPARE(peers::withCrc(frame.left(frame.size() - 2)), frame);
    QByteArray broken = frame;
    broken[2] = char(broken.at(2) ^ 0x01);
    QVERIFY(!peers::crcOk(broken));
}

void TestPeers::ptyPairCarriesBytesAndStops()
{
    qint64 pid = 0;
    {
        PtyPair pty;
        QVERIFY2(pty.isReady(), qPrintable(pty.errorString()));
        pid = pty.pid();
        QVERIFY(pid > 0);
        QSerialPort a(pty.linkEnd()), b(pty.peerEnd());
        QVERIFY(a.open(QIODevice::ReadWrite));
        QVERIFY(b.open(QIODevice::ReadWrite));
        const QByteArray ping = hexBytes("00FF0D0A11135A");
        sendBytes(a, ping);
        QCOMPARE(readBytes(b, ping.size()), ping);
        sendBytes(b, ping + ping);
        QCOMPARE(readBytes(a, 2 * ping.size()), ping + ping);
    }
    QTRY_VERIFY_WITH_TIMEOUT(processGone(pid), 3000);
}

// A pulled cable: the open end sees the line go dead; after the restart the
// same names lead to a new pair that carries bytes, under a new socat.
void TestPeers::ptyPairRestarts()
{
    PtyPair pty;
    QVERIFY2(pty.isReady(), qPrintable(pty.errorString()));
    const qint64 first = pty.pid();
    QSerialPort a(pty.linkEnd());
    QVERIFY(a.open(QIODevice::ReadWrite));
    QSignalSpy errors(&a, &QSerialPort::errorOccurred);
    QVERIFY2(pty.restart(), qPrintable(pty.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(processGone(first), 3000);
    QVERIFY(pty.pid() != first && pty.isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty(), 3000);
    a.close();

    QSerialPort again(pty.linkEnd()), b(pty.peerEnd());
    QVERIFY(again.open(QIODevice::ReadWrite));
    QVERIFY(b.open(QIODevice::ReadWrite));
    const QByteArray ping = hexBytes("AB01FF00");
    sendBytes(b, ping);
    QCOMPARE(readBytes(again, ping.size()), ping);
}

void TestPeers::storedReads_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("replySize");
    for (const QString &peer : {QStringLiteral("sim_instrument"), QStringLiteral("modbus_peer")}) {
        const QByteArray name = peer.toLatin1();
        QTest::addRow("%s status", name.constData()) << peer << hexBytes("01039CB600014BBC") << 7;
        QTest::addRow("%s params", name.constData()) << peer << hexBytes("01039CA4007C2B98") << 253;
        QTest::addRow("%s identity", name.constData()) << peer << hexBytes("01039C4000646BA5") << 205;
        QTest::addRow("%s rate", name.constData()) << peer << hexBytes("01039D260003CBAC") << 11;
    }
}

void TestPeers::storedReads()
{
    QFETCH(QString, peer);
    QFETCH(QByteArray, request);
    QFETCH(int, replySize);
    Rig rig;
    QVERIFY(startRig(rig, peer, {QStringLiteral("--set"), QStringLiteral("40118=3")}));

    for (int round = 0; round < 2; ++round) {
        const QByteArray reply = exchange(rig.port, request, replySize);
        QCOMPARE(reply.size(), replySize);
        QCOMPARE(reply.left(2), hexBytes("0103"));
        QCOMPARE(int(quint8(reply.at(2))), replySize - 5);
        QVERIFY(peers::crcOk(reply));
        if (request == hexBytes("01039CB600014BBC"))
            QCOMPARE(reply, peers::withCrc(hexBytes("0103020003")));
    }
    const QString line = QString::fromLatin1(request.toHex().toUpper());
    QTRY_COMPARE_WITH_TIMEOUT(peers::readLog(rig.log), QStringList({line, line}), 2000);
    QVERIFY(rig.peer.stop());
}

void TestPeers::restartWrite_data()
{
    QTest::addColumn<QString>("peer");
    QTest::newRow("sim") << QStringLiteral("sim_instrument");
    QTest::newRow("modbus") << QStringLiteral("modbus_peer");
}

void TestPeers::restartWrite()
{
    QFETCH(QString, peer);
    Rig rig;
    QStringList args{QStringLiteral("--set"), QStringLiteral("40118=4")};
    if (peer == QLatin1String("sim_instrument"))
        args << QStringLiteral("--status-step-ms") << QStringLiteral("60000");
    QVERIFY(startRig(rig, peer, args));
    const QByteArray status = hexBytes("01039CB600014BBC");
    QCOMPARE(exchange(rig.port, status, 7), peers::withCrc(hexBytes("0103020004")));
    QVERIFY(peers::readDump(rig.dump).isEmpty());

    const QByteArray restart = hexBytes("01069CB6000187BC");
    QCOMPARE(exchange(rig.port, restart, 8), restart); // a write is echoed
    QTRY_COMPARE_WITH_TIMEOUT(peers::readDump(rig.dump), (QMap<int, int>{{40118, 1}}), 2000);
    QCOMPARE(exchange(rig.port, status, 7), peers::withCrc(hexBytes("0103020001")));

    const QByteArray retrack = hexBytes("01069CB60003067D");
    QCOMPARE(exchange(rig.port, retrack, 8), retrack);
    QTRY_COMPARE_WITH_TIMEOUT(peers::readDump(rig.dump), (QMap<int, int>{{40118, 3}}), 2000);
    QVERIFY(rig.peer.stop());
}

void TestPeers::multiRegisterWrite_data()
{
    restartWrite_data();
}

void TestPeers::multiRegisterWrite()
{
    QFETCH(QString, peer);
    Rig rig;
    QVERIFY(startRig(rig, peer));
    // 1400000000 = 0x53724E00 into 40200/40201, low word first.
    const QByteArray write = peers::withCrc(hexBytes("01109D08000204" "4E005372"));
    const QByteArray reply = exchange(rig.port, write, 8);
    QCOMPARE(reply, peers::withCrc(hexBytes("01109D080002")));
    QTRY_COMPARE_WITH_TIMEOUT(peers::readDump(rig.dump),
                              (QMap<int, int>{{40200, 0x4E00}, {40201, 0x5372}}), 2000);
    const QByteArray readBack = exchange(rig.port, peers::withCrc(hexBytes("01039D080002")), 9);
    QCOMPARE(readBack, peers::withCrc(hexBytes("0103044E005372")));
    QVERIFY(rig.peer.stop());
}

void TestPeers::junkBeforeRequest_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QByteArray>("junk");
    QTest::addColumn<QString>("junkLine");
    for (const QString &peer : {QStringLiteral("sim_instrument"), QStringLiteral("modbus_peer")}) {
        const QByteArray name = peer.toLatin1();
        // 0xAB vendor frames: the simulator knows them, a Modbus server does not.
        const bool sim = peer == QLatin1String("sim_instrument");
        QTest::addRow("%s vendor frame", name.constData())
            << peer << hexBytes("AB010475300190EA24")
            << QString::fromLatin1(sim ? "AB010475300190EA24" : "junk AB010475300190EA24");
        if (!sim)
            QTest::addRow("%s stream start", name.constData())
                << peer << hexBytes("AB01047D000064E85C") << QStringLiteral("junk AB01047D000064E85C");
        QTest::addRow("%s noise", name.constData()) << peer << hexBytes("0001EE0103") << QStringLiteral("junk 0001EE0103");
        // A request with a broken CRC is not answered.
        QTest::addRow("%s bad crc", name.constData()) << peer << hexBytes("01039CB600014BBD") << QStringLiteral("junk 01039CB600014BBD");
    }
}

void TestPeers::junkBeforeRequest()
{
    QFETCH(QString, peer);
    QFETCH(QByteArray, junk);
    QFETCH(QString, junkLine);
    Rig rig;
    QVERIFY(startRig(rig, peer, {QStringLiteral("--set"), QStringLiteral("40118=4")}));
    sendBytes(rig.port, junk);
    QTest::qWait(150); // separate writes, as the link makes them
    const QByteArray status = hexBytes("01039CB600014BBC");
    const QByteArray reply = exchange(rig.port, status, 7);
    QCOMPARE(reply, peers::withCrc(hexBytes("0103020004")));
    QTRY_COMPARE_WITH_TIMEOUT(peers::readLog(rig.log), (QStringList{junkLine, "01039CB600014BBC"}), 2000);
    QVERIFY(rig.peer.stop());
}

void TestPeers::simRegisterLayout()
{
    QTemporaryDir tmp;
    const QString init = tmp.filePath(QStringLiteral("init.regs"));
    {
        QFile f(init);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("# initial values\n40231=7\n  40232 = 0x0102  # trailing comment\n");
    }
    Rig rig;
    QVERIFY(startRig(rig, QStringLiteral("sim_instrument"),
                     {QStringLiteral("--init"), init,
                      QStringLiteral("--serial"), QStringLiteral("001200AB"), QStringLiteral("--sweep"),
                      QStringLiteral("139916600,699583000,10000"), QStringLiteral("--field"),
                      QStringLiteral("40000"), QStringLiteral("--status"), QStringLiteral("2"),
                      QStringLiteral("--setf"), QStringLiteral("40126=1.0")}));

    const QByteArray id = exchange(rig.port, hexBytes("01039C4000646BA5"), 205);
    QCOMPARE(id.size(), 205);
    QCOMPARE(id.mid(3, 4), hexBytes("00AB0012")); // 40000 = 0x00AB, 40001 = 0x0012
    QCOMPARE(u32LowWordFirst(id, 131), 139916600u);
    QCOMPARE(u32LowWordFirst(id, 135), 699583000u);
    QCOMPARE(u32LowWordFirst(id, 139), 10000u);

    const QByteArray params = exchange(rig.port, hexBytes("01039CA4007C2B98"), 253);
    QCOMPARE(params.size(), 253);
    QCOMPARE(u32LowWordFirst(params, 3), 279833200u); // 40000 nT * 6995.83 mHz/nT
    QCOMPARE(params.mid(55, 4), hexBytes("00003F80"));
    QCOMPARE(floatLowWordFirst(params, 47), 85.0f);

    QCOMPARE(exchange(rig.port, hexBytes("01039CB600014BBC"), 7), peers::withCrc(hexBytes("0103020002")));
    // The rate register follows the last stream start (1000 before any);
    // the two after it come from the init file.
    QCOMPARE(exchange(rig.port, hexBytes("01039D260003CBAC"), 11),
             peers::withCrc(hexBytes("01030603E800070102")));

    QVERIFY(rig.peer.command(QStringLiteral("get 40001")));
    QVERIFY(rig.peer.lines().contains(QStringLiteral("40001=18")));
    QVERIFY(!rig.peer.command(QStringLiteral("frobnicate 3")));
    QVERIFY(rig.peer.stop());
}

void TestPeers::simStatusRisesAfterRestart()
{
    Rig rig;
    QVERIFY(startRig(rig, QStringLiteral("sim_instrument"),
                     {QStringLiteral("--status"), QStringLiteral("4"), QStringLiteral("--status-step-ms"),
                      QStringLiteral("150")}));
    const QByteArray status = hexBytes("01039CB600014BBC");
    const QByteArray restart = hexBytes("01069CB6000187BC");
    QCOMPARE(exchange(rig.port, restart, 8), restart);

    // three steps of a second each; the deadline only bounds a hang
    QList<int> seen;
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired() && (seen.isEmpty() || seen.last() != 4)) {
        sendBytes(rig.port, status);
        const QByteArray reply = readBytes(rig.port, 7, 1000, 0);
        QCOMPARE(reply.size(), 7);
        const int value = be16(reply, 3);
        if (seen.isEmpty() || seen.last() != value)
            seen << value;
        QTest::qWait(30);
    }
    QCOMPARE(seen.first(), 1);
    QCOMPARE(seen.last(), 4);
    for (int i = 1; i < seen.size(); ++i)
        QCOMPARE(seen.at(i), seen.at(i - 1) + 1);
    QVERIFY(rig.peer.stop());
}

void TestPeers::simStream_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QByteArray>("stop");
    QTest::addColumn<int>("frameSize");
    QTest::newRow("1000/s") << hexBytes("AB01047D000064E85C") << hexBytes("AB01067D000064919C") << 209;
    QTest::newRow("500/s") << hexBytes("AB01047D0000326862") << hexBytes("AB01067D00003211A2") << 109;
    QTest::newRow("200/s") << hexBytes("AB01047D000014E9B8") << hexBytes("AB01067D0000149078") << 49;
    QTest::newRow("20/s") << hexBytes("AB01047D0000026876") << hexBytes("AB01067D00000211B6") << 13;
}

void TestPeers::simStream()
{
    QFETCH(QByteArray, start);
    QFETCH(QByteArray, stop);
    QFETCH(int, frameSize);
    const double fieldNt = 48000.0;
    Rig rig;
    QVERIFY(startRig(rig, QStringLiteral("sim_instrument"),
                     {QStringLiteral("--field"), QString::number(fieldNt), QStringLiteral("--hum"),
                      QStringLiteral("2"), QStringLiteral("--noise"), QStringLiteral("0.05"),
                      QStringLiteral("--status"), QStringLiteral("3"), QStringLiteral("--strength"),
                      QStringLiteral("2")}));
    sendBytes(rig.port, start);
    QVERIFY(rig.peer.waitForLine(QStringLiteral("stream start"), 2000));

    const int frames = 8;
    const QByteArray got = readBytes(rig.port, frames * frameSize, 3000, 0);
    QVERIFY2(got.size() >= frames * frameSize, qPrintable(QString::number(got.size())));
    const int samplesPerFrame = (frameSize - 9) / 4;
    double lo = 1e12, hi = -1e12;
    for (int f = 0; f < frames; ++f) {
        const QByteArray frame = got.mid(f * frameSize, frameSize);
        QCOMPARE(frame.left(2), hexBytes("AB01"));
        QCOMPARE(quint8(frame.at(frameSize - 1)), quint8(0xFF));
        QCOMPARE(int(frame.at(frameSize - 4)), 3); // progress
        QCOMPARE(int(frame.at(frameSize - 2)), 2); // signal strength
        for (int s = 0; s < samplesPerFrame; ++s) {
            const quint32 mhz = qFromLittleEndian<quint32>(frame.constData() + 5 + 4 * s);
            const double nt = mhz * 0.001 / 6.99583;
            lo = qMin(lo, nt);
            hi = qMax(hi, nt);
        }
    }
    // Field +- hum amplitude, plus noise and rounding to whole mHz.
    QVERIFY2(lo > fieldNt - 2.5 && hi < fieldNt + 2.5, qPrintable(QStringLiteral("%1 .. %2").arg(lo).arg(hi)));
    if (samplesPerFrame >= 10) // the hum shows once a frame spans a few of its periods
        QVERIFY2(hi - lo > 3.0, qPrintable(QStringLiteral("%1 .. %2").arg(lo).arg(hi)));

    sendBytes(rig.port, stop);
    QVERIFY(rig.peer.waitForLine(QStringLiteral("stream stop"), 2000));
    readBytes(rig.port, 0, 0, 200); // what was under way
    QCOMPARE(readBytes(rig.port, 0, 0, 300).size(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(peers::readLog(rig.log).contains(QString::fromLatin1(stop.toHex().toUpper())), 2000);
    QVERIFY(rig.peer.stop());
}

void TestPeers::simReplyFaults_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray good = peers::withCrc(hexBytes("0103020004"));
    QByteArray badCrc = good;
    badCrc[6] = char(badCrc.at(6) ^ 0x5A);
    QTest::newRow("crc") << "crc" << badCrc;
    QTest::newRow("drop last") << "drop 1" << good.left(6);
    QTest::newRow("drop inside") << "drop 2 3" << (good.left(3) + good.mid(5));
    QTest::newRow("junk") << "junk 3" << (good + hexBytes("E0E1E2"));
    QByteArray badHead = good;
    badHead[0] = char(badHead.at(0) ^ 0x5A);
    QTest::newRow("corrupt first") << "corrupt 0" << badHead;
    QByteArray badLast = good;
    badLast[6] = char(badLast.at(6) ^ 0x5A);
    QTest::newRow("corrupt last") << "corrupt -1" << badLast;
}

void TestPeers::simReplyFaults()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, expected);
    Rig rig;
    QVERIFY(startRig(rig, QStringLiteral("sim_instrument")));
    const QByteArray status = hexBytes("01039CB600014BBC");
    const QByteArray good = peers::withCrc(hexBytes("0103020004"));
    QVERIFY2(rig.peer.command(command), qPrintable(rig.peer.errorString()));
    const QByteArray faulty = exchange(rig.port, status, expected.size());
    QCOMPARE(faulty, expected);
    QVERIFY(!peers::crcOk(faulty));
    // A fault hits one reply only.
    QCOMPARE(exchange(rig.port, status, 7), good);
    QVERIFY(rig.peer.stop());
}

void TestPeers::simPairAndStall()
{
    Rig rig;
    QVERIFY(startRig(rig, QStringLiteral("sim_instrument")));
    const QByteArray status = hexBytes("01039CB600014BBC");
    const QByteArray good = peers::withCrc(hexBytes("0103020004"));

    QVERIFY(rig.peer.command(QStringLiteral("pair")));
    sendBytes(rig.port, status);
    QCOMPARE(readBytes(rig.port, 7, 300, 0).size(), 0); // held back
    QCOMPARE(exchange(rig.port, status, 14), good + good);

    QVERIFY(rig.peer.command(QStringLiteral("stall 600")));
    sendBytes(rig.port, status);
    QCOMPARE(readBytes(rig.port, 7, 300, 0).size(), 0);
    QCOMPARE(readBytes(rig.port, 7, 2000, 0), good); // answered after the stall

    QVERIFY(rig.peer.command(QStringLiteral("junknow 5")));
    QCOMPARE(readBytes(rig.port, 5), hexBytes("E0E1E2E3E4"));
    QVERIFY(rig.peer.stop());
}

void TestPeers::simStreamPair()
{
    Rig rig;
    QVERIFY(startRig(rig, QStringLiteral("sim_instrument")));
    sendBytes(rig.port, hexBytes("AB01047D000064E85C"));
    QVERIFY(rig.peer.waitForLine(QStringLiteral("stream start 100"), 2000));
    QVERIFY(readBytes(rig.port, 2 * 209, 2000, 0).size() >= 2 * 209);
    QVERIFY(rig.peer.command(QStringLiteral("pair")));
    // Frames come 50 ms apart, so a read that returns two frames at once is
    // the paired write; give it a few frames to show up.
    bool pairSeen = false;
    QByteArray stream = rig.port.readAll();
    QDeadlineTimer deadline(2000);
    while (!pairSeen && !deadline.hasExpired()) {
        if (!rig.port.waitForReadyRead(200))
            continue;
        const QByteArray chunk = rig.port.readAll();
        pairSeen = chunk.size() >= 2 * 209;
        stream += chunk;
    }
    QVERIFY(pairSeen);
    stream += readBytes(rig.port, 0, 0, 100);
    // The stream stays in step: still whole frames from the first byte on.
    const int first = stream.indexOf(hexBytes("AB01"));
    QVERIFY(first >= 0);
    for (int pos = first; pos + 209 <= stream.size(); pos += 209) {
        QCOMPARE(stream.mid(pos, 2), hexBytes("AB01"));
        QCOMPARE(quint8(stream.at(pos + 208)), quint8(0xFF));
    }
    QVERIFY(rig.peer.stop());
}

void TestPeers::simRateRegister_data()
{
    QTest::addColumn<QByteArray>("write");
    QTest::addColumn<int>("frameSize");
    QTest::addColumn<int>("rateRegister"); // 40230 afterwards
    // CRCs from an independent CRC-16/MODBUS in Python
    QTest::newRow("200/s, function 16") << hexBytes("01109C9600010200C8E6F9") << 49 << 200;
    QTest::newRow("100/s, function 16") << hexBytes("01109C960001020064E684") << 29 << 100;
    QTest::newRow("500/s, function 6") << hexBytes("01069C9601F447A1") << 109 << 500;
    QTest::newRow("7/s: no rate, stream kept") << hexBytes("01069C9600070674") << 209 << 1000;
}

// A write of register 40086 sets the rate of a running stream at once.
void TestPeers::simRateRegister()
{
    QFETCH(QByteArray, write);
    QFETCH(int, frameSize);
    QFETCH(int, rateRegister);
    Rig rig;
    QVERIFY(startRig(rig, QStringLiteral("sim_instrument")));
    sendBytes(rig.port, hexBytes("AB01047D000064E85C"));
    QVERIFY(rig.peer.waitForLine(QStringLiteral("stream start 100"), 2000));
    QVERIFY(readBytes(rig.port, 2 * 209, 2000, 0).size() >= 2 * 209);
    sendBytes(rig.port, write);
    QTRY_VERIFY_WITH_TIMEOUT(peers::readLog(rig.log).contains(QString::fromLatin1(write.toHex().toUpper())), 2000);
    readBytes(rig.port, 0, 0, 200); // the echo and frames under way
    const QByteArray stream = readBytes(rig.port, 6 * frameSize, 3000, 0);
    const int first = stream.indexOf(hexBytes("AB01"));
    QVERIFY(first >= 0);
    QVERIFY(stream.size() - first >= 4 * frameSize);
    for (int pos = first; pos + frameSize <= stream.size(); pos += frameSize) {
        QCOMPARE(stream.mid(pos, 2), hexBytes("AB01"));
        QCOMPARE(quint8(stream.at(pos + frameSize - 1)), quint8(0xFF));
    }
    QVERIFY(rig.peer.command(QStringLiteral("get 40230")));
    QVERIFY(rig.peer.waitForLine(QStringLiteral("40230=%1").arg(rateRegister), 2000));
    QVERIFY(rig.peer.stop());
}

void TestPeers::simClose()
{
    Rig rig;
    QVERIFY(startRig(rig, QStringLiteral("sim_instrument")));
    QSignalSpy errors(&rig.port, &QSerialPort::errorOccurred);
    QVERIFY(rig.peer.command(QStringLiteral("close")));
    QVERIFY(rig.peer.waitForExit(2000));
    QCOMPARE(rig.peer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(rig.peer.exitCode(), 0);
    QVERIFY(rig.peer.lines().contains(QStringLiteral("closed")));
    // socat keeps both ends open itself, so the other end learns nothing
    // from the peer leaving; the line goes dead only with socat.
    rig.pty->stop();
    QVERIFY(!rig.pty->isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty(), 3000);
    rig.port.close();
}

// The counts of what the stream sent agree with what arrived; muting stops
// the frames without a stop request; the totals come out at exit.
void TestPeers::simStreamCounts()
{
    Rig rig;
    QVERIFY(startRig(rig, QStringLiteral("sim_instrument")));
    const auto counts = [&rig]() {
        QString last;
        if (rig.peer.command(QStringLiteral("count")))
            for (const QString &l : rig.peer.lines())
                if (l.startsWith(QLatin1String("count ")))
                    last = l;
        return last;
    };
    QCOMPARE(counts(), QStringLiteral("count frames=0 samples=0 damaged=0 junk=0"));
    QVERIFY(rig.peer.command(QStringLiteral("drop 3")));
    QVERIFY(rig.peer.command(QStringLiteral("corrupt -1")));
    QVERIFY(rig.peer.command(QStringLiteral("junk 4")));
    sendBytes(rig.port, hexBytes("AB01047D000064E85C"));
    QVERIFY(rig.peer.waitForLine(QStringLiteral("stream start 100"), 2000));
    QByteArray got = readBytes(rig.port, 206 + 4 + 5 * 209, 3000, 0);
    QVERIFY(rig.peer.command(QStringLiteral("mute")));
    got += readBytes(rig.port, 0, 0, 200); // what was under way
    QCOMPARE(readBytes(rig.port, 0, 0, 300).size(), 0);
    // the first frame lost its last three bytes, then its new last byte
    // (the progress status, 4) was flipped; four junk bytes follow it
    QCOMPARE(got.left(2), hexBytes("AB01"));
    QCOMPARE(quint8(got.at(205)), quint8(0x04 ^ 0x5A));
    QCOMPARE(got.mid(206, 4), hexBytes("E0E1E2E3"));
    QCOMPARE((got.size() - 210) % 209, 0);
    const int frames = 1 + (got.size() - 210) / 209;
    QCOMPARE(counts(), QStringLiteral("count frames=%1 samples=%2 damaged=1 junk=4").arg(frames).arg(frames * 50));

    QVERIFY(rig.peer.command(QStringLiteral("unmute")));
    QVERIFY(readBytes(rig.port, 2 * 209, 2000, 0).size() >= 2 * 209);
    QVERIFY(rig.peer.stop());
    const QStringList sent = rig.peer.lines().filter(QRegularExpression(QStringLiteral("^sent ")));
    QCOMPARE(sent.size(), 1);
    QVERIFY2(sent.first().contains(QLatin1String(" damaged=1 junk=4")), qPrintable(sent.first()));
}

QTEST_GUILESS_MAIN(TestPeers)
#include "tst_peers.moc"
