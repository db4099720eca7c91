// Chart hand-off queue: capacity, drop-on-full, order across wrap-around,
// clear, and that a popped slot lets go of its data.
#include "ui/widgets/ringbuffer.h"

#include "core/types.h"

#include <QtTest>

#include <memory>

namespace {

QVector<double> batch(int i)
{
    return QVector<double>{double(i), i + 0.5};
}

} // namespace

class TestRingBuffer : public QObject
{
    Q_OBJECT
private slots:
    void freshQueueIsEmpty();
    void freshVectorRecordQueueIsEmpty();
    void fillTable_data();
    void fillTable();
    void onePopMakesRoomForOne();
    void wrapAroundKeepsOrder();
    void clearEmptiesAndNextPushWins();
    void poppedSlotReleasesData();
    void badCapacityIsClamped();
};

void TestRingBuffer::freshQueueIsEmpty()
{
    RingBuffer<QVector<double>> ring(256);
    QVERIFY(ring.isEmpty());
    QVERIFY(ring.pop().isEmpty());
    QCOMPARE(ring.headIndex(), 0);
    QCOMPARE(ring.tailIndex(), 0);
}

void TestRingBuffer::freshVectorRecordQueueIsEmpty()
{
    RingBuffer<FIDVectorData> ring(256);
    const FIDVectorData d = ring.pop();
    QVERIFY(!d.spectrumValid);
    for (const auto& s : d.data)
        QVERIFY(s.isEmpty());
    QCOMPARE(ring.headIndex(), 0);
    QCOMPARE(ring.tailIndex(), 0);
}

// pushes without a pop: how many are kept, and they come out in order
void TestRingBuffer::fillTable_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("pushes");
    QTest::addColumn<int>("kept");
    QTest::newRow("256 slots, 1 push") << 256 << 1 << 1;
    QTest::newRow("256 slots, 254 pushes") << 256 << 254 << 254;
    QTest::newRow("256 slots, 255 pushes") << 256 << 255 << 255;
    QTest::newRow("256 slots, 256th dropped") << 256 << 256 << 255;
    QTest::newRow("256 slots, 400 pushes") << 256 << 400 << 255;
    QTest::newRow("2 slots hold one") << 2 << 3 << 1;
}

void TestRingBuffer::fillTable()
{
    QFETCH(int, capacity);
    QFETCH(int, pushes);
    QFETCH(int, kept);
    RingBuffer<QVector<double>> ring(capacity);
    for (int i = 0; i < pushes; ++i)
        ring.push(batch(i));
    for (int i = 0; i < kept; ++i) {
        QVERIFY2(!ring.isEmpty(), qPrintable(QStringLiteral("empty after %1 pops").arg(i)));
        QCOMPARE(ring.pop(), batch(i));
    }
    QVERIFY(ring.isEmpty());
    QVERIFY(ring.pop().isEmpty());
}

void TestRingBuffer::onePopMakesRoomForOne()
{
    RingBuffer<QVector<double>> ring(256);
    for (int i = 0; i < 255; ++i)
        ring.push(batch(i));
    QCOMPARE(ring.pop(), batch(0));
    ring.push(batch(1000)); // fits
    ring.push(batch(1001)); // full again: dropped
    for (int i = 1; i < 255; ++i)
        QCOMPARE(ring.pop(), batch(i));
    QCOMPARE(ring.pop(), batch(1000));
    QVERIFY(ring.isEmpty());
}

void TestRingBuffer::wrapAroundKeepsOrder()
{
    RingBuffer<QVector<double>> ring(256);
    for (int i = 0; i < 300; ++i) {
        ring.push(batch(i));
        QCOMPARE(ring.pop(), batch(i));
    }
    QCOMPARE(ring.headIndex(), ring.tailIndex());
    QCOMPARE(ring.headIndex(), 300 % 256);
    // a backlog that straddles the end of the slot array
    for (int i = 0; i < 100; ++i)
        ring.push(batch(i));
    for (int i = 0; i < 100; ++i)
        QCOMPARE(ring.pop(), batch(i));
    QVERIFY(ring.isEmpty());
}

void TestRingBuffer::clearEmptiesAndNextPushWins()
{
    RingBuffer<QVector<double>> ring(256);
    for (int i = 0; i < 10; ++i)
        ring.push(batch(i));
    const int oldTail = ring.tailIndex();
    ring.clear();
    QVERIFY(ring.isEmpty());
    QVERIFY(ring.pop().isEmpty());
    ring.push(batch(77));
    QCOMPARE(ring.tailIndex(), (oldTail + 1) % 256);
    QCOMPARE(ring.pop(), batch(77)); // not the stale batch 0
    QVERIFY(ring.isEmpty());
}

void TestRingBuffer::poppedSlotReleasesData()
{
    RingBuffer<std::shared_ptr<int>> ring(4);
    auto a = std::make_shared<int>(1);
    auto b = std::make_shared<int>(2);
    ring.push(a);
    ring.push(b);
    QCOMPARE(a.use_count(), 2L); // held by the queue
    {
        auto got = ring.pop();
        QCOMPARE(got.get(), a.get());
    }
    QCOMPARE(a.use_count(), 1L); // the slot no longer shares it
    QCOMPARE(b.use_count(), 2L);
    ring.pop();
    QCOMPARE(b.use_count(), 1L);

    // the same for implicitly shared batches
    RingBuffer<QVector<double>> vring(4);
    QVector<double> v{1, 2, 3};
    vring.push(v);
    QVERIFY(!v.isDetached());
    QVector<double> out = vring.pop();
    out.clear();
    QVERIFY(v.isDetached());
}

void TestRingBuffer::badCapacityIsClamped()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("capacity 0 too small"));
    RingBuffer<QVector<double>> ring(0);
    QCOMPARE(ring.capacity(), 2);
    ring.push(batch(1));
    ring.push(batch(2));
    QCOMPARE(ring.pop(), batch(1));
    QVERIFY(ring.isEmpty());
}

QTEST_APPLESS_MAIN(TestRingBuffer)
#include "tst_ringbuffer.moc"
