// The GPS worker and reader on a real QSerialPort: one end of a socat pty
// pair, with nmea_peer replaying captures on the other at 4800-baud pace,
// in whole lines, split lines and many lines per write. Then the faults: a
// receiver that dies mid-line, a line that never ends, a second start, and
// the pty pair itself vanishing.

#include "gpsrig.h"
#include "peers/peerprocess.h"
#include "peers/ptypair.h"
#include "processing/linecapture.h"

#include <QtTest>

#include <csignal>
#include <sys/types.h>

using gpsrig::Fix;
using gpsrig::Sink;

namespace
{

constexpr qint64 kT0 = 1776384000; // 2026-04-17 00:00:00 UTC

QString peerProgram()
{
    return PeerProcess::programPath(QStringLiteral("nmea_peer"));
}

// Bytes at 4800 baud, 10 bits each, plus slack for a loaded machine.
int paceMs(qint64 bytes)
{
    return int(bytes * 10 * 1000 / 4800) + 5000;
}

QString writeFile(const QString& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir + QLatin1Char('/') + name;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

QByteArray captureWire(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray out;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QByteArray l = line.trimmed();
        if (!l.isEmpty() && !l.startsWith('#'))
            out += l + "\r\n";
    }
    return out;
}

// A worker on the pty's link end, started as the server client starts it,
// with a fixed clock so that the throttle passes the first fix only.
struct Rig {
    Rig() : worker(pty.linkEnd())
    {
        worker.setClock([] { return kT0; });
        sink.listenToWorker(&worker);
    }
    bool start()
    {
        gpsrig::begin(worker);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 3000) {
            QCoreApplication::processEvents();
            if (!sink.portEvents.isEmpty())
                break;
            QThread::msleep(5);
        }
        if (sink.portEvents != QVector<bool>{true})
            return false;
        GpsReader* reader = worker.reader();
        if (!reader)
            return false;
        sink.listenToReader(reader);
        return true;
    }

    PtyPair pty;
    GPSThread worker;
    Sink sink;
};

} // namespace

class TestGpsPty : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { takeLines(); }
    void capture_data();
    void capture();
    void receiverDiesMidLine();
    void overlongLine();
    void receiverWithoutFix();
    void beginTwice();
    void pairVanishes_data();
    void pairVanishes();
};

void TestGpsPty::initTestCase()
{
    gpsrig::useTemporaryAppFolder();
    installLineCapture();
    QVERIFY2(QFile::exists(peerProgram()), qPrintable(peerProgram()));
}

void TestGpsPty::capture_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("peerArgs");
    QTest::newRow("garmin, a line per write") << "garmin17n.log" << QStringList{};
    QTest::newRow("garmin, every byte its own write") << "garmin17n.log" << QStringList{"--chunk", "1"};
    QTest::newRow("garmin, split every 7 bytes") << "garmin17n.log" << QStringList{"--chunk", "7"};
    QTest::newRow("garmin, 11 lines per write") << "garmin17n.log" << QStringList{"--lines-per-write", "11"};
    QTest::newRow("garmin, all in one write") << "garmin17n.log" << QStringList{"--lines-per-write", "1000"};
    QTest::newRow("hand-made GP and GN, split every 13 bytes") << "handmade.nmea" << QStringList{"--chunk", "13"};
}

void TestGpsPty::capture()
{
    QFETCH(QString, file);
    QFETCH(QStringList, peerArgs);
    const QString path = gpsrig::dataFile(file);
    const QVector<Fix> expected = gpsrig::fixesOf(path);
    QVERIFY(expected.size() >= 6);

    Rig rig;
    QVERIFY2(rig.pty.isReady(), qPrintable(rig.pty.errorString()));
    QVERIFY(rig.start());
    PeerProcess peer;
    QVERIFY2(peer.start(peerProgram(), QStringList{"--device", rig.pty.peerEnd(), "--file", path} + peerArgs),
             qPrintable(peer.errorString()));
    QVERIFY2(peer.waitForLine(QStringLiteral("DONE"), paceMs(captureWire(path).size())), "peer did not finish");

    QTRY_COMPARE_WITH_TIMEOUT(rig.sink.readerFixes.size(), expected.size(), 3000);
    QTest::qWait(200);
    QCOMPARE(rig.sink.readerFixes, expected);
    // The throttle passes the first fix on and holds the rest for an hour.
    QCOMPARE(rig.sink.passedFixes, QVector<Fix>{expected.first()});

    const GpsReader::Counters c = gpsrig::countersOf(rig.worker);
    QCOMPARE(c.fixes, expected.size());
    QCOMPARE(c.overlongLines, 0);
    QVERIFY(rig.worker.isPortOpen());
    QCOMPARE(indexOfLine(linesNow(), QStringLiteral("串口错误")), -1);
    QVERIFY(peer.stop());
}

void TestGpsPty::receiverDiesMidLine()
{
    // The receiver is killed halfway through a sentence and another takes
    // its place: the torn start joins the next line, which is then refused
    // by its checksum; the line stays open and every later fix comes through.
    Rig rig;
    QVERIFY2(rig.pty.isReady(), qPrintable(rig.pty.errorString()));
    QVERIFY(rig.start());
    {
        const QString torn = writeFile(rig.pty.dir(), "torn.nmea", "$GPRMC,093802,A,5213.1");
        PeerProcess first;
        QVERIFY2(first.start(peerProgram(), {"--device", rig.pty.peerEnd(), "--file", torn, "--verbatim"}),
                 qPrintable(first.errorString()));
        QVERIFY(first.waitForLine(QStringLiteral("DONE"), 3000));
        first.kill();
    }
    QTest::qWait(300);
    QVERIFY(rig.worker.isPortOpen());

    const QString path = gpsrig::dataFile("garmin17n.log");
    const QVector<Fix> all = gpsrig::fixesOf(path);
    PeerProcess second;
    QVERIFY2(second.start(peerProgram(), {"--device", rig.pty.peerEnd(), "--file", path}),
             qPrintable(second.errorString()));
    QVERIFY(second.waitForLine(QStringLiteral("DONE"), paceMs(captureWire(path).size())));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink.readerFixes.size(), all.size() - 1, 3000);
    QTest::qWait(200);
    QCOMPARE(rig.sink.readerFixes, all.mid(1));

    const GpsReader::Counters c = gpsrig::countersOf(rig.worker);
    QCOMPARE(c.badChecksum, 1);
    const QStringList lines = linesNow();
    QCOMPARE(lines.filter(QStringLiteral("GPS sentence dropped (checksum mismatch)")).size(), 1);
    QCOMPARE(indexOfLine(lines, QStringLiteral("串口错误")), -1);
    QVERIFY(second.stop());
}

void TestGpsPty::overlongLine()
{
    // Noise without a line end: dropped at 4 KiB, logged once, and the
    // sentences after it are read as usual.
    Rig rig;
    QVERIFY2(rig.pty.isReady(), qPrintable(rig.pty.errorString()));
    QVERIFY(rig.start());
    const QString capture = gpsrig::dataFile("garmin17n.log");
    const QByteArray wire = QByteArray(6000, 'x') + "\r\n" + QByteArray(5000, '$') + "\r\n" + captureWire(capture);
    const QString path = writeFile(rig.pty.dir(), "noise.nmea", wire);
    PeerProcess peer;
    QVERIFY2(peer.start(peerProgram(), {"--device", rig.pty.peerEnd(), "--file", path, "--verbatim", "--chunk", "256"}),
             qPrintable(peer.errorString()));
    QVERIFY(peer.waitForLine(QStringLiteral("DONE"), paceMs(wire.size())));

    const QVector<Fix> expected = gpsrig::fixesOf(capture);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink.readerFixes.size(), expected.size(), 3000);
    QCOMPARE(rig.sink.readerFixes, expected);
    QCOMPARE(gpsrig::countersOf(rig.worker).overlongLines, 2);
    QCOMPARE(linesNow().filter(QStringLiteral("GPS sentence dropped (over-long line)")).size(), 1);
    QVERIFY(peer.stop());
}

void TestGpsPty::receiverWithoutFix()
{
    // A receiver without a fix repeats invalid sentences every second, with
    // the odd corrupted line: each kind is logged once until a fix comes
    // through, and counted every time.
    const QByteArray invalidRmc = "$GPRMC,120000,V,4807.038,N,01131.000,E,,,230394,,,N*66\r\n";
    const QByteArray invalidGga = "$GPGGA,120000,4807.038,N,01131.000,E,0,00,99.9,,M,,M,,*4B\r\n";
    const QByteArray corrupt = "$GPGLL,4916.46,N,12311.12,W,225445,A*B3\r\n";
    const QByteArray fix = "$GPGLL,4916.45,N,12311.12,W,225444,A*31\r\n";
    QByteArray wire;
    for (int i = 0; i < 5; ++i)
        wire += invalidRmc + invalidGga + corrupt;
    wire += fix + invalidRmc + invalidGga;

    Rig rig;
    QVERIFY2(rig.pty.isReady(), qPrintable(rig.pty.errorString()));
    QVERIFY(rig.start());
    const QString path = writeFile(rig.pty.dir(), "nofix.nmea", wire);
    PeerProcess peer;
    QVERIFY2(peer.start(peerProgram(), {"--device", rig.pty.peerEnd(), "--file", path}),
             qPrintable(peer.errorString()));
    QVERIFY(peer.waitForLine(QStringLiteral("DONE"), paceMs(wire.size())));
    QTRY_COMPARE_WITH_TIMEOUT(gpsrig::countersOf(rig.worker).invalidFix, 12, 3000);

    const GpsReader::Counters c = gpsrig::countersOf(rig.worker);
    QCOMPARE(c.badChecksum, 5);
    QCOMPARE(c.fixes, 1);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink.readerFixes.size(), 1, 2000); // queued to this thread
    QCOMPARE(rig.sink.readerFixes.first().lon, -(123 + 11.12 / 60));
    const QStringList lines = linesNow();
    QCOMPARE(lines.filter(QStringLiteral("GPS sentence dropped (fix marked invalid by the receiver)")).size(), 2);
    QCOMPARE(lines.filter(QStringLiteral("GPS sentence dropped (checksum mismatch)")).size(), 1);
    QVERIFY(peer.stop());
}

void TestGpsPty::beginTwice()
{
    // A second start finds the port open: it is closed and opened again,
    // and the reader goes on reading.
    Rig rig;
    QVERIFY2(rig.pty.isReady(), qPrintable(rig.pty.errorString()));
    QVERIFY(rig.start());
    gpsrig::begin(rig.worker);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink.portEvents, (QVector<bool>{true, true}), 2000);
    const QStringList lines = linesNow();
    const int already = indexOfLine(lines, QStringLiteral("串口已经打开"));
    QVERIFY(already >= 0);
    QVERIFY(indexOfLine(lines.mid(already), QStringLiteral("关闭成功")) >= 0);
    QCOMPARE(lines.filter(QStringLiteral("串口打开成功")).size(), 2);

    const QString path = gpsrig::dataFile("garmin17n.log");
    PeerProcess peer;
    QVERIFY2(peer.start(peerProgram(), {"--device", rig.pty.peerEnd(), "--file", path, "--chunk", "9"}),
             qPrintable(peer.errorString()));
    QVERIFY(peer.waitForLine(QStringLiteral("DONE"), paceMs(captureWire(path).size())));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink.readerFixes, gpsrig::fixesOf(path), 3000);
    QVERIFY(peer.stop());
}

void TestGpsPty::pairVanishes_data()
{
    QTest::addColumn<bool>("killed");
    QTest::newRow("pty pair stopped") << false;
    QTest::newRow("pty pair killed") << true;
}

void TestGpsPty::pairVanishes()
{
    // The line itself goes away (an unplugged USB receiver): the port is
    // closed within a second, after fewer than 10 error lines, and the GPS
    // thread goes on answering.
    QFETCH(bool, killed);
    Rig rig;
    QVERIFY2(rig.pty.isReady(), qPrintable(rig.pty.errorString()));
    QVERIFY(rig.start());
    const QString path = gpsrig::dataFile("garmin17n.log");
    PeerProcess peer;
    QVERIFY2(peer.start(peerProgram(), {"--device", rig.pty.peerEnd(), "--file", path, "--repeat", "0"}),
             qPrintable(peer.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(rig.sink.readerFixes.size() >= 2, 5000);

    const int appLogBefore = appLogCount(QStringLiteral("port closed"));
    takeLines();
    const qint64 goneAt = rig.sink.clock.elapsed();
    if (killed)
        QCOMPARE(::kill(pid_t(rig.pty.pid()), SIGKILL), 0);
    else
        rig.pty.stop();

    QTRY_COMPARE_WITH_TIMEOUT(rig.sink.portEvents, (QVector<bool>{true, false}), 3000);
    const qint64 closedAfter = rig.sink.portEventMs.last() - goneAt;
    QVERIFY2(closedAfter < 1000, qPrintable(QString::number(closedAfter)));
    QVERIFY(!rig.worker.isPortOpen());

    QTest::qWait(1000); // nothing reopens, nothing keeps reporting
    QCOMPARE(rig.sink.portEvents, (QVector<bool>{true, false}));
    const QStringList lines = takeLines();
    const int errorLines = lines.filter(QStringLiteral("串口错误")).size();
    QVERIFY2(errorLines >= 1 && errorLines < 10, qPrintable(lines.join('\n')));
    QCOMPARE(lines.filter(QStringLiteral("已关闭串口")).size(), 1);
    QCOMPARE(appLogCount(QStringLiteral("port closed")), appLogBefore + 1);
    peer.kill();
}

QTEST_GUILESS_MAIN(TestGpsPty)
#include "tst_gpspty.moc"
