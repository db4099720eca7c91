// CRC-16 and frame bytes, checked against values written out by hand or
// computed by an independent implementation (Python's struct and a bitwise
// CRC), never against our own CRC function.
#include "link/crc16.h"
#include "link/instrumentframes.h"

#include <QtTest>

class TestFrames : public QObject
{
    Q_OBJECT
private slots:
    void checkValue();
    void storedFrames_data();
    void storedFrames();
    void appendEdges();
    void rangesOutsideData_data();
    void rangesOutsideData();
    void sum8();
    void splitByLength_data();
    void splitByLength();
    void splitBySeparator_data();
    void splitBySeparator();
    void writeBuilders_data();
    void writeBuilders();
    void streamVariants();
};

void TestFrames::checkValue()
{
    // The published CRC-16/MODBUS check value.
    QCOMPARE(calculateCRC16(QByteArray("123456789"), 0, 9), 0x4B37u);
    QCOMPARE(calculateCRC16("123456789", 0, 9), 0x4B37u);
}

void TestFrames::storedFrames_data()
{
    QTest::addColumn<QString>("hex");
    using namespace InstrumentFrames;
    QTest::newRow("restart") << restart;
    QTest::newRow("retrack") << retrack;
    QTest::newRow("status") << readStatus;
    QTest::newRow("params") << readParams;
    QTest::newRow("40230") << read40230;
    QTest::newRow("30000") << ab30000;
    QTest::newRow("ddsData") << ddsData;
    QTest::newRow("identity") << readIdentity;
    for (const StreamPair& pair : streamPairs) {
        QTest::newRow(qPrintable(QStringLiteral("start%1").arg(pair.rate))) << QString::fromLatin1(pair.start);
        QTest::newRow(qPrintable(QStringLiteral("stop%1").arg(pair.rate))) << QString::fromLatin1(pair.stop);
    }
}

void TestFrames::storedFrames()
{
    QFETCH(QString, hex);
    const QByteArray frame = QByteArray::fromHex(hex.toLatin1());
    QVERIFY(checkCRC16(frame, 0, frame.size()));
    QVERIFY(checkCRC16(frame.constData(), 0, unsigned(frame.size())));

    QByteArray rebuilt = frame.left(frame.size() - 2);
    appendCRC16(rebuilt, 0, rebuilt.size());
    QCOMPARE(rebuilt.toHex().toUpper(), hex.toLatin1());

    for (int i = 0; i < frame.size(); ++i) {
        QByteArray damaged = frame;
        damaged[i] = char(damaged[i] ^ 0x01);
        QVERIFY2(!checkCRC16(damaged, 0, damaged.size()), qPrintable(QStringLiteral("byte %1").arg(i)));
    }
}

void TestFrames::appendEdges()
{
    QByteArray restart = QByteArray::fromHex("01069CB60001");
    appendCRC16(restart, 0, restart.size());
    QCOMPARE(restart.right(2), QByteArray::fromHex("87BC"));

    QByteArray start = QByteArray::fromHex("AB01047D000064");
    appendCRC16(start, 0, start.size());
    QCOMPARE(start.right(2), QByteArray::fromHex("E85C"));

    QByteArray empty;
    appendCRC16(empty, 0, 0);
    QCOMPARE(empty, QByteArray::fromHex("FFFF"));

    QCOMPARE(calculateCRC16(QByteArray("abc"), 0, 0), 0xFFFFFFFFu);
    QCOMPARE(calculateCRC16("abc", 0, -1), 0xFFFFFFFFu);
    // The pointer form must not read anything when len is below 3.
    QVERIFY(!checkCRC16(static_cast<const char*>(nullptr), 0, 2u));
    QVERIFY(!checkCRC16("\x01\x02", 0, 2u));
    QVERIFY(!checkCRC16(QByteArray::fromHex("FFFF"), 0, 2));
}

void TestFrames::rangesOutsideData_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("len");
    QTest::newRow("past end") << 0 << 9;
    QTest::newRow("start past end") << 8 << 1;
    QTest::newRow("negative start") << -1 << 3;
    QTest::newRow("overflowing len") << 2 << 0x7FFFFFFF;
}

void TestFrames::rangesOutsideData()
{
    QFETCH(int, start);
    QFETCH(int, len);
    const QByteArray frame = QByteArray::fromHex("01069CB6000187BC");
    QCOMPARE(calculateCRC16(frame, start, len), 0xFFFFFFFFu);
    QCOMPARE(checkCRC16(frame, start, len), false);
    QCOMPARE(int(calculateSum8(frame, start, len)), 0);
    QByteArray copy = frame;
    appendCRC16(copy, start, len);
    QCOMPARE(copy.right(2), QByteArray::fromHex("FFFF"));
}

void TestFrames::sum8()
{
    QCOMPARE(int(calculateSum8(QByteArray::fromHex("FF02"), 0, 2)), 0x01);
    QCOMPARE(int(calculateSum8("\xFF\x02\x10", 1, 2)), 0x12);
    QCOMPARE(int(calculateSum8(QByteArray::fromHex("FF02"), 0, 0)), 0);
}

void TestFrames::splitByLength_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("n");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::newRow("remainder dropped") << QByteArray("0123456789") << 4 << QList<QByteArray>{"0123", "4567"};
    QTest::newRow("exact, no empty third") << QByteArray("01234567") << 4 << QList<QByteArray>{"0123", "4567"};
    QTest::newRow("shorter than n") << QByteArray("01") << 4 << QList<QByteArray>{};
    QTest::newRow("n zero") << QByteArray("0123") << 0 << QList<QByteArray>{};
    QTest::newRow("n negative") << QByteArray("0123") << -2 << QList<QByteArray>{};
}

void TestFrames::splitByLength()
{
    QFETCH(QByteArray, data);
    QFETCH(int, n);
    QFETCH(QList<QByteArray>, pieces);
    QCOMPARE(::splitByLength(data, n).toList(), pieces);
}

void TestFrames::splitBySeparator_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::newRow("ends with separator") << QByteArray::fromHex("613B623B") << QByteArray(";")
                                         << QList<QByteArray>{"a;", "b;", ""};
    QTest::newRow("no separator") << QByteArray("abc") << QByteArray(";") << QList<QByteArray>{"abc"};
    QTest::newRow("two-byte separator") << QByteArray("a\r\nb") << QByteArray("\r\n")
                                        << QList<QByteArray>{"a\r\n", "b"};
    QTest::newRow("empty separator") << QByteArray("abc") << QByteArray() << QList<QByteArray>{};
}

void TestFrames::splitBySeparator()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, separator);
    QFETCH(QList<QByteArray>, pieces);
    QCOMPARE(::splitBySeparator(data, separator), pieces);
}

void TestFrames::writeBuilders_data()
{
    // Expected frames from Python's struct with an independent CRC.
    using namespace InstrumentFrames;
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("0x06 restart") << writeSingleRegister(40118, 1) << QByteArray("01069CB6000187BC");
    QTest::newRow("0x10 one register") << writeOneRegister(40002, 1000) << QByteArray("01109C4200010203E8F5C5");
    QTest::newRow("u32 1400000000") << writeUInt32(40064, 1400000000u) << QByteArray("01109C800002044E005372A934");
    QTest::newRow("float 1.0") << writeFloat(40122, 1.0f) << QByteArray("01109CBA00020400003F8091F2");
    QTest::newRow("float -2.5") << writeFloat(40122, -2.5f) << QByteArray("01109CBA0002040000C020D07A");
}

void TestFrames::writeBuilders()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame.toHex().toUpper(), expected);
}

void TestFrames::streamVariants()
{
    using namespace InstrumentFrames;
    // Data bytes of two-register writes: low word first.
    QCOMPARE(writeUInt32(40064, 1).mid(7, 4), QByteArray::fromHex("00010000"));
    QCOMPARE(writeUInt32(40064, 65536).mid(7, 4), QByteArray::fromHex("00000001"));

    QCOMPARE(streamFrameSize(1000), 209);
    QCOMPARE(streamFrameSize(200), 49);
    QCOMPARE(streamFrameSize(10), 11);
    QVERIFY(streamPairFor(300) == nullptr);
    for (const StreamPair& pair : streamPairs) {
        // The rate code in bytes 5-6 is rate / 10.
        const QByteArray start = QByteArray::fromHex(pair.start);
        const QByteArray stop = QByteArray::fromHex(pair.stop);
        const int code = (quint8(start[5]) << 8) | quint8(start[6]);
        QCOMPARE(code, pair.rate / 10);
        QCOMPARE(start.left(5), QByteArray::fromHex("AB01047D00"));
        QCOMPARE(stop.left(5), QByteArray::fromHex("AB01067D00"));
        QCOMPARE(stop.mid(5, 2), start.mid(5, 2));
    }
}

QTEST_GUILESS_MAIN(TestFrames)
#include "tst_frames.moc"
