// The FID frame readers as "feed bytes, get frames": the scalar reader's
// 400-byte chunks, the vector reader's 288-byte frames after the scanner
// chain, each fed whole, in halves, byte by byte and in odd chunks, with
// garbage, lost bytes and Modbus replies mixed in. Frames are built byte by
// byte (fidframes.h).

#include "fidframes.h"
#include "link/fidreaders.h"

#include <QtTest>

#include <random>

using namespace FidFrames;
using fidframes::fidFrame;
using fidframes::vectorFrame;

namespace
{

QStringList debugLines;
QtMessageHandler previousHandler = nullptr;

void keepLine(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
{
    debugLines << msg;
    // The search writes a line per dropped byte: keep them out of the output.
    if (previousHandler && !msg.startsWith(QLatin1String(" not right buf1")) &&
        !msg.startsWith(QLatin1String("20260306 read:")))
        previousHandler(type, ctx, msg);
}

int countLines(const QString& needle)
{
    int n = 0;
    for (const QString& l : debugLines)
        if (l.contains(needle))
            ++n;
    return n;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QByteArray garbage(int size, unsigned seed)
{
    std::mt19937 gen(seed);
    QByteArray g;
    for (int i = 0; i < size; ++i)
        g.append(char(0x20 + gen() % 0x20)); // no marker, no pattern byte
    return g;
}

const QByteArray kStatusFour = bytes({0x01, 0x03, 0x02, 0x00, 0x04, 0xB9, 0x87});
const QByteArray kRestartEcho = bytes({0x01, 0x06, 0x9C, 0xB6, 0x00, 0x01, 0x87, 0xBC});

QByteArray paramReply()
{
    QByteArray p = bytes({0x01, 0x03, 0xF8});
    for (int i = 0; i < 248; ++i)
        p.append(char(0x50 + i % 0x20));
    return p + bytes({0xA5, 0x5D});
}

// The pieces a stream is fed in.
QList<QByteArray> pieces(const QByteArray& stream, const QString& mode)
{
    QList<QByteArray> out;
    if (mode == "whole") {
        out << stream;
    } else if (mode == "halves") {
        out << stream.left(stream.size() / 2) << stream.mid(stream.size() / 2);
    } else {
        const int step = mode == "bytes" ? 1 : 37;
        for (int i = 0; i < stream.size(); i += step)
            out << stream.mid(i, step);
    }
    return out;
}

const QStringList kModes{"whole", "halves", "bytes", "chunks of 37"};

} // namespace

class TestFidReaders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void scalarEdges();
    void scalarWithoutHeadWaits();
    void scalarStreams_data();
    void scalarStreams();

    void vectorSearchStart();
    void vectorStreams_data();
    void vectorStreams();
    void chainEndsAtFirstFind();
    void takingScannersCheckSize_data();
    void takingScannersCheckSize();
    void headWithoutTailStays();
    void randomBytesStayBounded();
};

void TestFidReaders::initTestCase()
{
    previousHandler = qInstallMessageHandler(keepLine);
}

void TestFidReaders::init()
{
    debugLines.clear();
}

void TestFidReaders::scalarEdges()
{
    ScalarFidReader reader;
    reader.reset();
    const QByteArray frame = fidFrame(0);
    // 23 bytes: nothing can be tested yet.
    QVERIFY(reader.feed(frame.left(23)).isEmpty());
    QVERIFY(reader.isSearching());
    QCOMPARE(reader.bufferedBytes(), 23);
    QCOMPARE(countLines("find data"), 0);
    // 24 bytes with head values at 0, 8, 16: found, no chunk yet.
    QVERIFY(reader.feed(frame.mid(23, 1)).isEmpty());
    QVERIFY(!reader.isSearching());
    QCOMPARE(countLines("find data"), 1);
    // 400 more: one chunk, with the 24 bytes left behind it as its length.
    const QByteArray more = frame.mid(24) + fidFrame(1).left(24);
    const auto chunks = reader.feed(more);
    QCOMPARE(chunks.size(), 1);
    QCOMPARE(chunks[0].bytes, frame);
    QCOMPARE(chunks[0].remaining, 24);
    QCOMPARE(reader.chunkCount(), 1);
    QCOMPARE(countLines("20260306 read: 1"), 1);
}

void TestFidReaders::scalarWithoutHeadWaits()
{
    ScalarFidReader reader;
    // 30 bytes without any head: drained down to 23 (no look past the end),
    // still searching; the head that follows is then found.
    QVERIFY(reader.feed(garbage(30, 1)).isEmpty());
    QCOMPARE(reader.bufferedBytes(), 23);
    QVERIFY(reader.isSearching());
    const auto chunks = reader.feed(fidFrame(2) + fidFrame(3).left(10));
    QCOMPARE(chunks.size(), 1);
    QCOMPARE(chunks[0].bytes, fidFrame(2));
}

void TestFidReaders::scalarStreams_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QList<QByteArray>>("expected");
    const QByteArray f0 = fidFrame(0), f1 = fidFrame(1), f2 = fidFrame(2), f3 = fidFrame(3);
    QByteArray f1Short = f1;
    f1Short.remove(100, 1);
    for (const QString& mode : kModes) {
        QTest::addRow("three frames, %s", qPrintable(mode)) << mode << f0 + f1 + f2 << QList<QByteArray>{f0, f1, f2};
        QTest::addRow("garbage first, %s", qPrintable(mode))
            << mode << garbage(77, 2) + f0 + f1 << QList<QByteArray>{f0, f1};
        // The byte lost inside f1 is seen at the next cut (f2 out of step);
        // the search then takes up the next record boundary inside f2.
        QTest::addRow("lost byte, %s", qPrintable(mode))
            << mode << f0 + f1Short + f2 + f3 << QList<QByteArray>{f0, f1Short + f2.left(1), f2.mid(8) + f3.left(8)};
    }
}

void TestFidReaders::scalarStreams()
{
    QFETCH(QString, mode);
    QFETCH(QByteArray, stream);
    QFETCH(QList<QByteArray>, expected);
    ScalarFidReader reader;
    QList<QByteArray> got;
    for (const QByteArray& piece : pieces(stream, mode))
        for (const auto& chunk : reader.feed(piece))
            got << chunk.bytes;
    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < got.size(); ++i)
        QCOMPARE(got[i].toHex(), expected[i].toHex());
}

void TestFidReaders::vectorSearchStart()
{
    VectorFidReader reader;
    const QByteArray frames = vectorFrame(0) + vectorFrame(1);
    QVERIFY(reader.feed(frames.left(121)).frames.isEmpty());
    QVERIFY(reader.isSearching());
    QCOMPARE(countLines("find data"), 0);
    QVERIFY(reader.feed(frames.mid(121, 1)).frames.isEmpty());
    QVERIFY(!reader.isSearching());
    QCOMPARE(countLines("find data"), 1);
    const auto out = reader.feed(frames.mid(122));
    QCOMPARE(out.frames.size(), 2);
    QCOMPARE(out.frames[0], vectorFrame(0));
    QCOMPARE(out.frames[1], vectorFrame(1));
    QCOMPARE(reader.bufferedBytes(), 0);
}

void TestFidReaders::vectorStreams_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QList<QByteArray>>("expected");
    QTest::addColumn<int>("statusReplies");
    QTest::addColumn<int>("paramReplies");
    const QByteArray f0 = vectorFrame(0), f1 = vectorFrame(1), f2 = vectorFrame(2), f3 = vectorFrame(3);
    QByteArray f1Short = f1;
    f1Short.remove(100, 1);
    const QByteArray rateRead = bytes({0xAB, 0x01, 0x04, 0x7D, 0x00, 0x00, 0x64, 0x04, 0x02, 0xFF, 0xFF});
    const QByteArray identity = bytes({0x01, 0x03, 0xC8}) + QByteArray(10, 0x55) + bytes({0x7E, 0x50});
    const QByteArray ack = bytes({0x01, 0x10, 0x9C, 0x40, 0x00, 0x02, 0xCF, 0xB5});
    for (const QString& mode : kModes) {
        const QByteArray name = mode.toLatin1();
        const char* m = name.constData();
        QTest::addRow("two frames, %s", m) << mode << f0 + f1 << QList<QByteArray>{f0, f1} << 0 << 0;
        QTest::addRow("garbage first, %s", m)
            << mode << garbage(150, 3) + f0 + f1 << QList<QByteArray>{f0, f1} << 0 << 0;
        QTest::addRow("status reply between, %s", m)
            << mode << f0 + kStatusFour + f1 << QList<QByteArray>{f0, f1} << 1 << 0;
        QTest::addRow("parameter block between, %s", m)
            << mode << f0 + paramReply() + f1 << QList<QByteArray>{f0, f1} << 0 << 1;
        QTest::addRow("write echo between, %s", m)
            << mode << f0 + kRestartEcho + f1 << QList<QByteArray>{f0, f1} << 0 << 0;
        QTest::addRow("rate read between, %s", m) << mode << f0 + rateRead + f1 << QList<QByteArray>{f0, f1} << 0 << 0;
        QTest::addRow("identity block between, %s", m)
            << mode << f0 + identity + f1 << QList<QByteArray>{f0, f1} << 0 << 0;
        QTest::addRow("write ack between, %s", m) << mode << f0 + ack + f1 << QList<QByteArray>{f0, f1} << 0 << 0;
        // The frame that lost a byte still starts with a head and goes out
        // (its decoder cannot tell); the next one is out of step, so the
        // reader searches again and finds f3.
        QTest::addRow("lost byte, %s", m)
            << mode << f0 + f1Short + f2 + f3 << QList<QByteArray>{f0, f1Short + f2.left(1), f3} << 0 << 0;
    }
}

void TestFidReaders::vectorStreams()
{
    QFETCH(QString, mode);
    QFETCH(QByteArray, stream);
    QFETCH(QList<QByteArray>, expected);
    QFETCH(int, statusReplies);
    QFETCH(int, paramReplies);
    VectorFidReader reader;
    QList<QByteArray> got;
    QList<QByteArray> status;
    QList<QByteArray> params;
    for (const QByteArray& piece : pieces(stream, mode)) {
        const auto out = reader.feed(piece);
        got << out.frames;
        status << out.known.statusReplies;
        params << out.known.paramReplies;
    }
    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < got.size(); ++i)
        QCOMPARE(got[i].toHex(), expected[i].toHex());
    QCOMPARE(status.size(), statusReplies);
    if (statusReplies)
        QCOMPARE(status[0], kStatusFour);
    QCOMPARE(params.size(), paramReplies);
    if (paramReplies)
        QCOMPARE(params[0], paramReply());
}

void TestFidReaders::chainEndsAtFirstFind()
{
    const QByteArray rateSpan = bytes({0xAB, 0x01, 0x04, 0x11, 0x04, 0x02, 0xFF, 0xFF});
    const QByteArray data = vectorFrame(5);
    const QByteArray buffer = data.left(40) + kRestartEcho + data.mid(40, 40) + rateSpan + data.mid(80);
    KnownFrames taken;
    bool found = false;
    // Only the first scanner that finds something acts in one run.
    const QByteArray once = extractKnownFrames(buffer, taken, found);
    QVERIFY(found);
    QCOMPARE(once.toHex(), (data.left(40) + kRestartEcho + data.mid(40)).toHex());
    const QByteArray twice = extractKnownFrames(once, taken, found);
    QVERIFY(found);
    QCOMPARE(twice.toHex(), data.toHex());
    const QByteArray third = extractKnownFrames(twice, taken, found);
    QVERIFY(!found);
    QCOMPARE(third, data);
    QVERIFY(taken.statusReplies.isEmpty() && taken.paramReplies.isEmpty());
}

void TestFidReaders::takingScannersCheckSize_data()
{
    QTest::addColumn<QByteArray>("span");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("params");
    QTest::addColumn<QString>("line");
    QTest::newRow("status 4") << kStatusFour << 1 << 0 << QString();
    QTest::newRow("status 2") << bytes({0x01, 0x03, 0x02, 0x00, 0x02, 0xB9, 0x87}) << 1 << 0 << QString();
    QTest::newRow("9-byte status span") << bytes({0x01, 0x03, 0x02, 0x00, 0x04, 0x00, 0x00, 0xB9, 0x87}) << 0 << 0
                                        << QString::fromUtf8("读状态出错1");
    QTest::newRow("parameter block") << paramReply() << 0 << 1 << QString();
    QTest::newRow("20-byte parameter span") << bytes({0x01, 0x03, 0xF8}) + QByteArray(15, 0x55) + bytes({0xA5, 0x5D})
                                            << 0 << 0 << QString::fromUtf8("读状态出错2");
}

void TestFidReaders::takingScannersCheckSize()
{
    QFETCH(QByteArray, span);
    QFETCH(int, status);
    QFETCH(int, params);
    QFETCH(QString, line);
    const QByteArray around = garbage(30, 7);
    KnownFrames taken;
    bool found = false;
    const QByteArray rest = extractKnownFrames(around + span + around, taken, found);
    QVERIFY(found);
    // Handed on or not, the span leaves the stream.
    QCOMPARE(rest, around + around);
    QCOMPARE(taken.statusReplies.size(), status);
    QCOMPARE(taken.paramReplies.size(), params);
    if (status)
        QCOMPARE(taken.statusReplies[0], span);
    if (params)
        QCOMPARE(taken.paramReplies[0], span);
    if (!line.isEmpty())
        QCOMPARE(countLines(line), 1);
}

void TestFidReaders::headWithoutTailStays()
{
    KnownFrames taken;
    bool found = true;
    const QByteArray buffer = garbage(20, 4) + bytes({0x01, 0x03, 0x02, 0x00, 0x04});
    QCOMPARE(extractKnownFrames(buffer, taken, found), buffer);
    QVERIFY(!found);
    QCOMPARE(countLines(QString::fromUtf8("未发现帧尾1")), 1);
}

void TestFidReaders::randomBytesStayBounded()
{
    // Arbitrary bytes, patterns and markers included: no frame out of
    // nothing, no crash, and the buffers stay small.
    std::mt19937 gen(12345);
    VectorFidReader vector;
    ScalarFidReader scalar;
    int vectorFrames = 0;
    for (int i = 0; i < 200; ++i) {
        QByteArray piece(int(gen() % 97), 0);
        for (char& c : piece)
            c = char(gen() & 0xFF);
        for (const QByteArray& f : vector.feed(piece).frames) {
            QCOMPARE(f.size(), 288);
            QVERIFY(isVectorFIDFrameHead(f));
            ++vectorFrames;
        }
        for (const auto& c : scalar.feed(piece))
            QCOMPARE(c.bytes.size(), 400);
        QVERIFY(vector.bufferedBytes() < 288 + 97);
        QVERIFY(scalar.bufferedBytes() < 400 + 97);
    }
    QCOMPARE(vectorFrames, 0);
}

QTEST_GUILESS_MAIN(TestFidReaders)
#include "tst_fidreaders.moc"
