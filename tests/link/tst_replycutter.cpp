// The link's reply readers as functions of the bytes waiting in the port:
// what a fixed-size reader accepts, rejects or waits for, and how much it
// consumes; how the stream reader cuts frames. Replies and their CRCs are
// written out by hand (CRC-16/MODBUS computed with a separate script).
#include "link/replycutter.h"

#include <QtTest>

using ReplyCutter::FixedReply;

class TestReplyCutter : public QObject
{
    Q_OBJECT
private slots:
    void fixedReply_data();
    void fixedReply();
    void streamFrames_data();
    void streamFrames();
};

void TestReplyCutter::fixedReply_data()
{
    QTest::addColumn<QByteArray>("waiting");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("consumed");

    const QByteArray status = QByteArray::fromHex("0103020004B987");
    QTest::newRow("exact status reply") << status << 7 << int(FixedReply::Accepted) << 7;
    QTest::newRow("second reply stays") << status + status << 7 << int(FixedReply::Accepted) << 7;
    QTest::newRow("one byte short") << status.left(6) << 7 << int(FixedReply::Incomplete) << 0;
    QTest::newRow("nothing waits") << QByteArray() << 7 << int(FixedReply::Incomplete) << 0;
    QTest::newRow("bad CRC drops all waiting")
        << QByteArray::fromHex("0103020004B986") + status << 7 << int(FixedReply::Rejected) << 14;
    QTest::newRow("other unit") << QByteArray::fromHex("0203020004FD87") << 7 << int(FixedReply::Rejected) << 7;
    QTest::newRow("other function") << QByteArray::fromHex("0104020004B8F3") << 7 << int(FixedReply::Rejected) << 7;
    QTest::newRow("byte count off") << QByteArray::fromHex("01030400045986") << 7 << int(FixedReply::Rejected) << 7;
    QTest::newRow("write echo") << QByteArray::fromHex("0106020004B94B") << 7 << int(FixedReply::Rejected) << 7;
    QTest::newRow("status read as a longer reply")
        << status + QByteArray(4, '\0') << 11 << int(FixedReply::Rejected) << 11;
    QTest::newRow("size zero") << status << 0 << int(FixedReply::Incomplete) << 0;
}

void TestReplyCutter::fixedReply()
{
    QFETCH(QByteArray, waiting);
    QFETCH(int, size);
    QFETCH(int, outcome);
    QFETCH(int, consumed);

    const FixedReply cut = ReplyCutter::cutFixedReply(waiting, size);
    QCOMPARE(int(cut.outcome), outcome);
    QCOMPARE(cut.consumed, consumed);
    if (cut.outcome == FixedReply::Incomplete)
        QVERIFY(cut.reply.isEmpty());
    else
        QCOMPARE(cut.reply, waiting.left(size));
    QCOMPARE(ReplyCutter::isWellFormedReadReply(cut.reply), cut.outcome == FixedReply::Accepted);
}

void TestReplyCutter::streamFrames_data()
{
    QTest::addColumn<int>("waitingBytes");
    QTest::addColumn<int>("frameSize");
    QTest::addColumn<int>("frames");

    QTest::newRow("three frames and a piece") << 3 * 209 + 100 << 209 << 3;
    QTest::newRow("less than a frame") << 208 << 209 << 0;
    QTest::newRow("200 per second") << 2 * 49 << 49 << 2;
    QTest::newRow("no frame size") << 100 << 0 << 0;
}

void TestReplyCutter::streamFrames()
{
    QFETCH(int, waitingBytes);
    QFETCH(int, frameSize);
    QFETCH(int, frames);

    QByteArray waiting(waitingBytes, '\0');
    for (int i = 0; i < waitingBytes; ++i)
        waiting[i] = char(i % 251);
    int consumed = -1;
    const QVector<QByteArray> cut = ReplyCutter::cutStreamFrames(waiting, frameSize, &consumed);
    QCOMPARE(cut.size(), frames);
    QCOMPARE(consumed, frames * frameSize);
    for (int i = 0; i < cut.size(); ++i)
        QCOMPARE(cut.at(i), waiting.mid(i * frameSize, frameSize));
}

QTEST_GUILESS_MAIN(TestReplyCutter)
#include "tst_replycutter.moc"
