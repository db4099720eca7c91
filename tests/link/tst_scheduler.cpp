// The request scheduler: what it sends for each request, the stream frame
// swap on a rate change, and the polls aligned to whole UTC seconds (with an
// injected clock, and with the real clock at the far end of a pty).

#include "linkrig.h"

#include "core/globalstate.h"

#include <QElapsedTimer>
#include <QMutexLocker>
#include <QSignalSpy>
#include <QtTest>

namespace
{

// A clock standing still at hh:mm:ss.msec on a fixed day.
ModbusWorkThread::Clock clockAt(int msec, qint64* secondsOut = nullptr)
{
    const QDateTime at(QDate(2026, 3, 10), QTime(12, 0, 0, msec), Qt::UTC);
    if (secondsOut)
        *secondsOut = at.toSecsSinceEpoch();
    return [at] { return at; };
}

QByteArray sentFor(ModbusWorkThread& scheduler, ModbusAddr kind)
{
    QSignalSpy spy(&scheduler, &ModbusWorkThread::sig_readData);
    scheduler.slots_sendModbusData(kind);
    if (spy.size() != 1)
        return QByteArray("<none>");
    return spy[0][1].toByteArray();
}

void setStatusValid(bool valid)
{
    GlobalState& g = GlobalState::instance();
    QMutexLocker lock(&g.statusValidMutex);
    g.statusValid = valid;
}

bool statusValid()
{
    GlobalState& g = GlobalState::instance();
    QMutexLocker lock(&g.statusValidMutex);
    return g.statusValid;
}

void setPending(bool pending, qint64 time)
{
    GlobalState& g = GlobalState::instance();
    QMutexLocker lock(&g.pendingStatusMutex);
    g.hasPendingStatus = pending;
    g.pendingStatusTime = time;
    g.pendingStatusCode = pending ? 2 : -1;
}

bool pendingStatus()
{
    GlobalState& g = GlobalState::instance();
    QMutexLocker lock(&g.pendingStatusMutex);
    return g.hasPendingStatus;
}

// How far past the nearest whole second t lies (negative: before it).
int pastWholeSecond(const QDateTime& t)
{
    const int ms = t.time().msec();
    return ms < 500 ? ms : ms - 1000;
}

// The scheduler's timers are precise: never early (but for the clock's
// millisecond), late by what a loaded machine or the sanitizers delay a
// thread. 200 ms still tells a tick on the second from one a quarter
// second off.
constexpr int kEarlyMs = 5;
constexpr int kLateMs = 200;

} // namespace

class TestScheduler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void requestsWithoutStoredFrameAreEmpty();
    void customFramePassesThrough();
    void rateSwapTable_data();
    void rateSwapTable();

    void firstTickAfterNextWholeSecond_data();
    void firstTickAfterNextWholeSecond();
    void stopBeforeFirstTickSendsNothing();
    void stoppingTwiceReportsInactiveTimer();
    void invalidStatusClearsPortOnce();
    void pendingStatusRecord_data();
    void pendingStatusRecord();
    void paramWorkEntrySendsAtOnce();

    void firstStatusRequestOnWholeUtcSecond();
    void startThenStopWritesNothing();
};

void TestScheduler::initTestCase()
{
    MessageLog::install();
    useTemporaryAppFolder();
    registerSharedMetaTypes();
}

void TestScheduler::init()
{
    MessageLog::clear();
    setStatusValid(true);
    setPending(false, 0);
}

void TestScheduler::requestsWithoutStoredFrameAreEmpty()
{
    ModbusWorkThread scheduler;
    QCOMPARE(sentFor(scheduler, AddrCustom), QByteArray());
    QCOMPARE(sentFor(scheduler, AddrVectorFid), QByteArray());
    QCOMPARE(sentFor(scheduler, AddrFid), QByteArray());
    QCOMPARE(sentFor(scheduler, Addr40118r), QByteArray("01039CB600014BBC"));
}

void TestScheduler::customFramePassesThrough()
{
    ModbusWorkThread scheduler;
    QSignalSpy spy(&scheduler, &ModbusWorkThread::sig_readData);
    const QByteArray frame = QByteArray::fromHex("01069CB60003067D");
    scheduler.slots_sendCustomModbusData(frame);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy[0][0].value<ModbusAddr>(), AddrCustom);
    QCOMPARE(spy[0][1].toByteArray(), frame);
}

void TestScheduler::rateSwapTable_data()
{
    QTest::addColumn<QList<int>>("rates");    // byteCount of each change
    QTest::addColumn<QList<bool>>("changes"); // bChange of each change
    QTest::addColumn<QByteArray>("startFrame");
    QTest::addColumn<QByteArray>("stopFrame");
    QTest::newRow("initial") << QList<int>{} << QList<bool>{} << QByteArray("AB01047D000064E85C")
                             << QByteArray("AB01067D000064919C");
    QTest::newRow("10") << QList<int>{10} << QList<bool>{true} << QByteArray("AB01047D0000012877")
                        << QByteArray("AB01067D00000151B7");
    QTest::newRow("20") << QList<int>{20} << QList<bool>{true} << QByteArray("AB01047D0000026876")
                        << QByteArray("AB01067D00000211B6");
    QTest::newRow("200") << QList<int>{200} << QList<bool>{true} << QByteArray("AB01047D000014E9B8")
                         << QByteArray("AB01067D0000149078");
    QTest::newRow("500") << QList<int>{500} << QList<bool>{true} << QByteArray("AB01047D0000326862")
                         << QByteArray("AB01067D00003211A2");
    QTest::newRow("1000 after 10") << QList<int>{10, 1000} << QList<bool>{true, true}
                                   << QByteArray("AB01047D000064E85C") << QByteArray("AB01067D000064919C");
    QTest::newRow("300 keeps 500") << QList<int>{500, 300} << QList<bool>{true, true}
                                   << QByteArray("AB01047D0000326862") << QByteArray("AB01067D00003211A2");
    QTest::newRow("no change restores 1000") << QList<int>{500, 20} << QList<bool>{true, false}
                                             << QByteArray("AB01047D000064E85C") << QByteArray("AB01067D000064919C");
}

void TestScheduler::rateSwapTable()
{
    QFETCH(QList<int>, rates);
    QFETCH(QList<bool>, changes);
    QFETCH(QByteArray, startFrame);
    QFETCH(QByteArray, stopFrame);
    ModbusWorkThread scheduler;
    for (int i = 0; i < rates.size(); ++i)
        scheduler.slots_syncDataByteCount(rates[i], changes[i]);
    QCOMPARE(sentFor(scheduler, Addrdds_start), startFrame);
    QCOMPARE(sentFor(scheduler, Addrdds_end), stopFrame);
}

void TestScheduler::firstTickAfterNextWholeSecond_data()
{
    QTest::addColumn<bool>("statusPoll");
    QTest::addColumn<int>("msec");    // clock reading at the start
    QTest::addColumn<int>("firstMs"); // first request after the start
    QTest::addColumn<int>("kind");
    QTest::newRow("status at .250") << true << 250 << 1750 << 2;
    QTest::newRow("status at .900") << true << 900 << 1100 << 2;
    QTest::newRow("parameters at .000") << false << 0 << 2000 << 3;
}

void TestScheduler::firstTickAfterNextWholeSecond()
{
    QFETCH(bool, statusPoll);
    QFETCH(int, msec);
    QFETCH(int, firstMs);
    QFETCH(int, kind);
    ModbusWorkThread scheduler;
    scheduler.setClock(clockAt(msec));
    QList<qint64> at;
    QList<int> kinds;
    QElapsedTimer elapsed;
    QObject::connect(&scheduler, &ModbusWorkThread::sig_readData, &scheduler, [&](ModbusAddr k, QByteArray) {
        at << elapsed.elapsed();
        kinds << int(k);
    });
    elapsed.start();
    if (statusPoll)
        scheduler.slots_devStatusWorkerStart();
    else
        scheduler.slots_paramWorkerStart();
    QTRY_VERIFY_WITH_TIMEOUT(at.size() >= 2, firstMs + 10000);
    // The second tick keeps the first's schedule (a late first one makes the
    // gap shorter), so both are measured from the start.
    for (int i = 0; i < 2; ++i)
        QVERIFY2(at[i] >= firstMs + i * 1000 - kEarlyMs && at[i] <= firstMs + i * 1000 + kLateMs,
                 qPrintable(QStringLiteral("tick %1 at %2 ms").arg(i).arg(at[i])));
    QCOMPARE(kinds[0], kind);
    QCOMPARE(kinds[1], kind);
}

void TestScheduler::stopBeforeFirstTickSendsNothing()
{
    ModbusWorkThread scheduler;
    scheduler.setClock(clockAt(900));
    QSignalSpy sent(&scheduler, &ModbusWorkThread::sig_readData);
    QSignalSpy cleared(&scheduler, &ModbusWorkThread::sig_clearSerialPort);
    scheduler.slots_devStatusWorkerStart();
    scheduler.slots_paramWorkerStart();
    scheduler.slots_devStatusWorkerStop();
    scheduler.slots_paramWorkerStop();
    QCOMPARE(MessageLog::count(QStringLiteral("devStatusTimer not active")), 1);
    QCOMPARE(MessageLog::count(QStringLiteral("------------未开启")), 1);
    QTest::qWait(2500);
    QCOMPARE(sent.size(), 0);
    QCOMPARE(cleared.size(), 0);
}

void TestScheduler::stoppingTwiceReportsInactiveTimer()
{
    ModbusWorkThread scheduler;
    scheduler.setClock(clockAt(950));
    QSignalSpy sent(&scheduler, &ModbusWorkThread::sig_readData);
    scheduler.slots_devStatusWorkerStart();
    QVERIFY(sent.wait(10000));
    scheduler.slots_devStatusWorkerStop();
    QCOMPARE(MessageLog::count(QStringLiteral("devStatusTimer not active")), 0);
    scheduler.slots_devStatusWorkerStop();
    QCOMPARE(MessageLog::count(QStringLiteral("devStatusTimer not active")), 1);
    QTest::qWait(1200);
    QCOMPARE(sent.size(), 1);
}

void TestScheduler::invalidStatusClearsPortOnce()
{
    ModbusWorkThread scheduler;
    scheduler.setClock(clockAt(950));
    QSignalSpy sent(&scheduler, &ModbusWorkThread::sig_readData);
    QSignalSpy cleared(&scheduler, &ModbusWorkThread::sig_clearSerialPort);
    setStatusValid(false);
    scheduler.slots_devStatusWorkerStart();
    QVERIFY(cleared.wait(10000));
    QCOMPARE(sent.size(), 0);
    QVERIFY(statusValid());
    QVERIFY(sent.wait(10000));
    QCOMPARE(sent[0][0].value<ModbusAddr>(), Addr40118r);
    QCOMPARE(cleared.size(), 1);
    scheduler.slots_devStatusWorkerStop();
}

void TestScheduler::pendingStatusRecord_data()
{
    QTest::addColumn<int>("age");   // s
    QTest::addColumn<int>("kind");  // what the tick reads
    QTest::addColumn<bool>("kept"); // the record survives the tick
    QTest::newRow("3 s old") << 3 << 3 << true;
    QTest::newRow("6 s old") << 6 << 2 << false;
}

void TestScheduler::pendingStatusRecord()
{
    QFETCH(int, age);
    QFETCH(int, kind);
    QFETCH(bool, kept);
    ModbusWorkThread scheduler;
    qint64 now = 0;
    scheduler.setClock(clockAt(950, &now));
    setPending(true, now - age);
    QSignalSpy sent(&scheduler, &ModbusWorkThread::sig_readData);
    scheduler.slots_devStatusWorkerStart();
    QVERIFY(sent.wait(10000));
    scheduler.slots_devStatusWorkerStop();
    QCOMPARE(int(sent[0][0].value<ModbusAddr>()), kind);
    QCOMPARE(pendingStatus(), kept);
}

void TestScheduler::paramWorkEntrySendsAtOnce()
{
    ModbusWorkThread scheduler;
    QSignalSpy sent(&scheduler, &ModbusWorkThread::sig_readData);
    scheduler.paramWorkEntry();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0][0].value<ModbusAddr>(), Addr40100);
    QCOMPARE(sent[0][1].toByteArray(), QByteArray("01039CA4007C2B98"));
}

void TestScheduler::firstStatusRequestOnWholeUtcSecond()
{
    LinkRig rig;
    QVERIFY2(rig.isReady(), qPrintable(rig.pty.errorString()));
    QVERIFY(rig.openFarEnd());
    QVERIFY(rig.connectLink());

    // Arrival times at the far end, taken as the bytes come in.
    QList<QDateTime> arrivals;
    QByteArray received;
    QObject::connect(&rig.farEnd, &QSerialPort::readyRead, &rig.farEnd, [&] {
        const QByteArray bytes = rig.farEnd.readAll();
        for (int i = 0; i < bytes.size(); ++i)
            if ((received.size() + i) % 8 == 0)
                arrivals << QDateTime::currentDateTimeUtc();
        received += bytes;
    });

    const QDateTime started = QDateTime::currentDateTimeUtc();
    rig.scheduler.slots_devStatusWorkerStart();
    QTRY_VERIFY_WITH_TIMEOUT(arrivals.size() >= 2, 15000);
    rig.scheduler.slots_devStatusWorkerStop();

    // The bytes cross a thread and a pty on their way: later still, never
    // earlier.
    const qint64 first = started.msecsTo(arrivals[0]);
    QVERIFY2(first >= 1000 && first <= 2000 + kLateMs, qPrintable(QString::number(first)));
    for (int i = 0; i < 2; ++i)
        QVERIFY2(pastWholeSecond(arrivals[i]) >= -kEarlyMs && pastWholeSecond(arrivals[i]) <= kLateMs,
                 qPrintable(arrivals[i].toString("hh:mm:ss.zzz")));
    QCOMPARE(hexOf(received.left(16)), QByteArray("01039CB600014BBC01039CB600014BBC"));
}

void TestScheduler::startThenStopWritesNothing()
{
    LinkRig rig;
    QVERIFY(rig.isReady());
    QVERIFY(rig.openFarEnd());
    QVERIFY(rig.connectLink());

    QByteArray received;
    QObject::connect(&rig.farEnd, &QSerialPort::readyRead, &rig.farEnd, [&] { received += rig.farEnd.readAll(); });
    rig.scheduler.slots_devStatusWorkerStart();
    rig.scheduler.slots_devStatusWorkerStop();
    rig.scheduler.slots_paramWorkerStart();
    rig.scheduler.slots_paramWorkerStop();
    QTest::qWait(2500);
    QCOMPARE(hexOf(received), QByteArray());
}

QTEST_GUILESS_MAIN(TestScheduler)
#include "tst_scheduler.moc"
