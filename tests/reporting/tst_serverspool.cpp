// The offline spool's rules without files or threads: names, the ring of six
// files, the upload order, how seconds of samples join a batch and the cap
// on a batch that cannot be written.

#include "reporting/serverspool.h"

#include <QtTest>

#include <limits>

using namespace ServerSpool;

class TestServerSpool : public QObject
{
    Q_OBJECT

private slots:
    void numberOfName_data();
    void numberOfName();
    void spoolLine();
    void firstNumber_data();
    void firstNumber();
    void rotate_data();
    void rotate();
    void numberBesideUpload_data();
    void numberBesideUpload();
    void pickUpload_data();
    void pickUpload();
    void joinAction_data();
    void joinAction();
    void capBatch();
    void capBatches();
};

void TestServerSpool::numberOfName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number");
    QTest::newRow("first") << "ServerData0.txt" << 0;
    QTest::newRow("two digits") << "ServerData12.txt" << 12;
    QTest::newRow("leading zeros") << "ServerData007.txt" << 7;
    QTest::newRow("largest int") << "ServerData2147483647.txt" << 2147483647;
    QTest::newRow("beyond int") << "ServerData2147483648.txt" << -1;
    QTest::newRow("no number") << "ServerData.txt" << -1;
    QTest::newRow("sign") << "ServerData-1.txt" << -1;
    QTest::newRow("lower case") << "serverdata1.txt" << -1;
    QTest::newRow("upper-case suffix") << "ServerData1.TXT" << -1;
    QTest::newRow("prefix") << "xServerData1.txt" << -1;
    QTest::newRow("suffix") << "ServerData1.txt.bak" << -1;
    QTest::newRow("other file") << "server.ini" << -1;
    QTest::newRow("line feed after the name") << "ServerData4.txt\n" << -1;
    QTest::newRow("line feed before the name") << "\nServerData4.txt" << -1;
}

void TestServerSpool::numberOfName()
{
    QFETCH(QString, name);
    QFETCH(int, number);
    QCOMPARE(ServerSpool::numberOfName(name), number);
}

void TestServerSpool::spoolLine()
{
    QCOMPARE(fileName(0), QStringLiteral("ServerData0.txt"));
    QCOMPARE(fileName(12), QStringLiteral("ServerData12.txt"));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QCOMPARE(line(QStringLiteral("RQ"), 1776412800000LL, {50000.123, -7.005001, nan}, 1000, 1),
             QStringLiteral(R"({"deviceType": "RQ","time": 1776412800000,"sensorData": {"dataType": "SCALAR",)"
                            R"("values": [50000.12, -7.01, null],"samplingRate": 1000,"intervalMs": 1}})"));
    QCOMPARE(line(QStringLiteral("RQ"), 0, {}, 20, 50),
             QStringLiteral(R"({"deviceType": "RQ","time": 0,"sensorData": {"dataType": "SCALAR",)"
                            R"("values": [],"samplingRate": 20,"intervalMs": 50}})"));
}

void TestServerSpool::firstNumber_data()
{
    constexpr qint64 full = 10485760;
    QTest::addColumn<QVector<int>>("numbers");
    QTest::addColumn<QVector<qint64>>("sizes");
    QTest::addColumn<int>("expected");
    QTest::newRow("none") << QVector<int>{} << QVector<qint64>{} << 0;
    QTest::newRow("0 full, 1 at 3 MiB") << QVector<int>{0, 1} << QVector<qint64>{full, 3 << 20} << 1;
    QTest::newRow("one byte short of full") << QVector<int>{0, 1} << QVector<qint64>{full - 1, 0} << 0;
    QTest::newRow("all full: the largest") << QVector<int>{0, 1, 5} << QVector<qint64>{full, full, full + 9} << 5;
    QTest::newRow("gap") << QVector<int>{3, 8} << QVector<qint64>{full, 10} << 8;
}

void TestServerSpool::firstNumber()
{
    QFETCH(QVector<int>, numbers);
    QFETCH(QVector<qint64>, sizes);
    QFETCH(int, expected);
    QVector<FileEntry> entries;
    for (int i = 0; i < numbers.size(); ++i)
        entries.append({numbers[i], sizes[i]});
    QCOMPARE(ServerSpool::firstNumber(entries), expected);
}

void TestServerSpool::rotate_data()
{
    QTest::addColumn<QVector<int>>("numbers");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("inFlight");
    QTest::addColumn<int>("next");
    QTest::addColumn<int>("deleted");
    const QVector<int> ring{0, 1, 2, 3, 4, 5};
    QTest::newRow("no files") << QVector<int>{} << 0 << -1 << 0 << -1;
    QTest::newRow("three files") << QVector<int>{0, 1, 2} << 2 << -1 << 3 << -1;
    QTest::newRow("five files, gap") << QVector<int>{0, 1, 2, 3, 7} << 7 << -1 << 8 << -1;
    QTest::newRow("ring, 5 full: wraps to 0") << ring << 5 << -1 << 0 << 0;
    QTest::newRow("ring, 2 full: 3 goes") << ring << 2 << -1 << 3 << 3;
    QTest::newRow("ring with a gap") << QVector<int>{0, 1, 2, 3, 4, 9} << 4 << -1 << 5 << 9;
    QTest::newRow("ring, 0 in flight: skipped") << ring << 5 << 0 << 1 << 1;
    QTest::newRow("ring, 3 in flight: skipped") << ring << 2 << 3 << 4 << 4;
    QTest::newRow("ring, current in flight") << ring << 4 << 4 << 5 << 5;
    QTest::newRow("one file in flight") << QVector<int>{0} << 0 << 0 << 1 << -1;
    QTest::newRow("seven files, wrap") << QVector<int>{0, 1, 2, 3, 4, 5, 6} << 6 << -1 << 0 << 0;
    // File names may carry any number an int holds.
    QTest::newRow("largest int, fewer than six: smallest free")
        << QVector<int>{0, 1, 2147483647} << 2147483647 << -1 << 2 << -1;
    QTest::newRow("largest int, and 0 in flight") << QVector<int>{2147483647} << 2147483647 << 0 << 1 << -1;
    QTest::newRow("ring up to the largest int: wraps to 0")
        << QVector<int>{0, 1, 2, 3, 4, 2147483647} << 2147483647 << -1 << 0 << 0;
}

void TestServerSpool::rotate()
{
    QFETCH(QVector<int>, numbers);
    QFETCH(int, current);
    QFETCH(int, inFlight);
    QFETCH(int, next);
    QFETCH(int, deleted);
    const Rotation r = ServerSpool::rotate(numbers, current, inFlight);
    QCOMPARE(r.number, next);
    QCOMPARE(r.deleteNumber, deleted);
    QVERIFY(r.deleteNumber != inFlight || inFlight < 0);
}

void TestServerSpool::numberBesideUpload_data()
{
    QTest::addColumn<QVector<int>>("numbers");
    QTest::addColumn<int>("current"); // the file in flight
    QTest::addColumn<int>("next");    // -1 = the lines wait
    QTest::newRow("one file") << QVector<int>{0} << 0 << 1;
    QTest::newRow("five files") << QVector<int>{0, 1, 2, 3, 4} << 2 << 5;
    QTest::newRow("gap") << QVector<int>{0, 1, 5} << 0 << 6;
    QTest::newRow("current not listed") << QVector<int>{1, 2} << 3 << 4;
    QTest::newRow("largest int: the smallest free") << QVector<int>{0, 2147483647} << 2147483647 << 1;
    QTest::newRow("six files: wait") << QVector<int>{0, 1, 2, 3, 4, 5} << 0 << -1;
    QTest::newRow("seven files: wait") << QVector<int>{0, 1, 2, 3, 4, 5, 6} << 6 << -1;
}

void TestServerSpool::numberBesideUpload()
{
    QFETCH(QVector<int>, numbers);
    QFETCH(int, current);
    QFETCH(int, next);
    QCOMPARE(ServerSpool::numberBesideUpload(numbers, current), next);
}

void TestServerSpool::pickUpload_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("busy");
    QTest::addColumn<QString>("expected");
    const QStringList mixed{"ServerData2.txt", "server.ini", "ServerData10.txt", "notes.txt", "ServerData1.txt"};
    QTest::newRow("text order, not numeric") << mixed << QStringList{} << "ServerData1.txt";
    QTest::newRow("then 10 before 2") << mixed << QStringList{"ServerData1.txt"} << "ServerData10.txt";
    QTest::newRow("no spool file") << QStringList{"server.ini", "ServerData.txt"} << QStringList{} << "";
    QTest::newRow("only the busy one") << QStringList{"ServerData3.txt"} << QStringList{"ServerData3.txt"} << "";
}

void TestServerSpool::pickUpload()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, busy);
    QFETCH(QString, expected);
    QCOMPARE(ServerSpool::pickUpload(names, busy), expected);
}

void TestServerSpool::joinAction_data()
{
    QTest::addColumn<int>("batchRate"); // -1 = empty batch
    QTest::addColumn<qint64>("lastTimestamp");
    QTest::addColumn<qint64>("timestamp");
    QTest::addColumn<int>("rate");
    QTest::addColumn<qint64>("stepMs");
    QTest::addColumn<int>("action");
    const qint64 t = 1776412800000LL;
    QTest::newRow("empty batch") << -1 << qint64(-1) << t << 1000 << kScalarStepMs << int(Join::Start);
    QTest::newRow("1000 ms later joins") << 1000 << t << t + 1000 << 1000 << kScalarStepMs << int(Join::Append);
    QTest::newRow("999 ms later") << 1000 << t << t + 999 << 1000 << kScalarStepMs << int(Join::FlushThenStart);
    QTest::newRow("1001 ms later") << 1000 << t << t + 1001 << 1000 << kScalarStepMs << int(Join::FlushThenStart);
    QTest::newRow("same time") << 20 << t << t << 20 << kScalarStepMs << int(Join::FlushThenStart);
    QTest::newRow("other rate") << 20 << t << t + 1000 << 200 << kScalarStepMs << int(Join::FlushThenStart);
    QTest::newRow("vector 1200 ms") << 111 << t << t + 1200 << 111 << kVectorStepMs << int(Join::Append);
    QTest::newRow("vector 1000 ms") << 111 << t << t + 1000 << 111 << kVectorStepMs << int(Join::FlushThenStart);
}

void TestServerSpool::joinAction()
{
    QFETCH(int, batchRate);
    QFETCH(qint64, lastTimestamp);
    QFETCH(qint64, timestamp);
    QFETCH(int, rate);
    QFETCH(qint64, stepMs);
    QFETCH(int, action);
    ServerUploadRecord batch;
    batch.samplingRate = batchRate;
    batch.lastTimestamp = lastTimestamp;
    batch.timestamp = lastTimestamp;
    QCOMPARE(int(ServerSpool::joinAction(batch, timestamp, rate, stepMs)), action);
}

void TestServerSpool::capBatch()
{
    // Twenty minutes at 20 samples per second, capped to ten: the newest
    // 12000 stay and the batch starts 600 s later.
    ServerUploadRecord batch;
    startBatch(batch, 1000000, 20, 50);
    for (int i = 0; i < 24000; ++i)
        batch.values.append(i);
    QCOMPARE(ServerSpool::capBatch(batch, 20 * kMemorySeconds, -1), 12000);
    QCOMPARE(batch.values.size(), 12000);
    QCOMPARE(batch.values.first(), 12000.0);
    QCOMPARE(batch.values.last(), 23999.0);
    QCOMPARE(batch.timestamp, 1000000 + 12000LL * 50);
    QCOMPARE(batch.samplingRate, 20);
    QCOMPARE(ServerSpool::capBatch(batch, 20 * kMemorySeconds, -1), 0);

    resetBatch(batch);
    QCOMPARE(batch.samplingRate, -1);
    QCOMPARE(batch.timestamp, qint64(-1));
    QCOMPARE(batch.lastTimestamp, qint64(-1));
    QCOMPARE(batch.intervalMs, -1);
    QVERIFY(batch.values.isEmpty());
}

void TestServerSpool::capBatches()
{
    // Two seconds at 1000 Hz, ten minutes at 20 Hz, one second at 1000 Hz:
    // capped to ten minutes, the first goes whole and the second loses its
    // first second (20 samples, its time 1000 ms on).
    auto batch = [](qint64 t, int rate, int count) {
        ServerUploadRecord b;
        startBatch(b, t, rate, 1000 / rate);
        for (int i = 0; i < count; ++i)
            b.values.append(i);
        return b;
    };
    QVector<ServerUploadRecord> held{batch(0, 1000, 2000), batch(10000, 20, 12000), batch(700000, 1000, 1000)};
    QCOMPARE(ServerSpool::capBatches(held, kMemorySeconds), 2020);
    QCOMPARE(held.size(), 2);
    QCOMPARE(held[0].samplingRate, 20);
    QCOMPARE(held[0].values.size(), 11980);
    QCOMPARE(held[0].values.first(), 20.0);
    QCOMPARE(held[0].timestamp, 11000LL);
    QCOMPARE(held[1].values.size(), 1000);
    QCOMPARE(held[1].timestamp, 700000LL);
    QCOMPARE(ServerSpool::capBatches(held, kMemorySeconds), 0);
    QCOMPARE(held[0].values.size(), 11980);
}

QTEST_GUILESS_MAIN(TestServerSpool)
#include "tst_serverspool.moc"
