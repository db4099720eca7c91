// The lock-loss watchdog on its own thread, driven with batches and timer
// checks run on that thread, an injected clock and the shared work status.
// Message texts and thresholds are written out here, not taken from the
// class. The last case runs the hub's forward into the real crash log.

#include "core/appfolders.h"
#include "core/globalstate.h"
#include "core/types.h"
#include "hub/parammanager.h"
#include "processing/datacheckerthread.h"

#include "linecapture.h"

#include <QDir>
#include <QDirIterator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {

const QString kNoData = QString::fromUtf8("10秒内没有数据发过来，请检查设备");
const QString kMonotonic = QString::fromUtf8("数据单调超过60秒,设备失锁中，请检查设备");
const QString kRange = QString::fromUtf8("数据连续30秒以上异常,设备失锁中，请检查设备");

constexpr qint64 kT0 = 1776400000; // 2026-04-17, UTC seconds

// As the main page sets it.
void setStatus(int s)
{
    GlobalState::instance().setWorkStatus(s);
}

struct Stop {
    void operator()(DataCheckerThread* w) const
    {
        w->stop();
        delete w;
    }
};
using Watchdog = std::unique_ptr<DataCheckerThread, Stop>;

// A watchdog with a clock the test sets.
class Rig
{
public:
    Rig()
        : dog(new DataCheckerThread(nullptr))
        , messages(dog.get(), &DataCheckerThread::sig_dataCheckMsg)
        , crashLog(dog.get(), &DataCheckerThread::sig_crashLogMsg)
    {
        clock = kT0;
        std::atomic<qint64>* c = &clock;
        dog->setClock([c] { return c->load(); });
    }

    // Runs on the watchdog thread and returns when the batch is judged, so
    // the spies are complete afterwards.
    void feed(const QVector<double>& values, FrequencyType fre)
    {
        QVERIFY(QMetaObject::invokeMethod(dog.get(), "slot_DataCheck", Qt::BlockingQueuedConnection,
                                          Q_ARG(QVector<double>, values), Q_ARG(FrequencyType, fre)));
    }
    void tick()
    {
        QVERIFY(QMetaObject::invokeMethod(dog.get(), "slot_onCheckData", Qt::BlockingQueuedConnection));
    }
    // One history entry per call at the 1 Hz rate, one second apart; the
    // first call primes the accumulator, since a value is taken only when
    // the next one arrives.
    void feedSeconds(const QVector<double>& values)
    {
        for (double v : values) {
            if (!primed) {
                feed({v}, Freq1Hz);
                primed = true;
            }
            feed({v}, Freq1Hz);
            ++clock;
        }
    }
    QStringList texts(const QSignalSpy& spy) const
    {
        QStringList out;
        for (const auto& args : spy)
            out << args.at(1).toString();
        return out;
    }

    Watchdog dog;
    std::atomic<qint64> clock{kT0};
    QSignalSpy messages;
    QSignalSpy crashLog;
    bool primed = false;
};

QVector<double> series(int n, double first, double step)
{
    QVector<double> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = first + step * i;
    return v;
}

QVector<double> alternating(int n, double a, double b)
{
    QVector<double> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = (i % 2) ? b : a;
    return v;
}

} // namespace

class TestWatchdog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void sampling_data();
    void sampling();
    void burstStampsConsecutiveSeconds();
    void strideChangeDropsPending();
    void countdown_data();
    void countdown();
    void pruneKeepsSeventySeconds();

    void checks_data();
    void checks();
    void nothingWhileNotMeasuring();
    void noData_data();
    void noData();
    void timerRunsEveryFiveSeconds();

    void noFalseNoDataAfterPause();
    void returnToFourBetweenTicksIsSeen();
    void crashLogAtMostEveryTenSeconds();
    void hubForwardsThrottledToCrashLog();

private:
    QTemporaryDir appFolder;
};

void TestWatchdog::initTestCase()
{
    registerSharedMetaTypes();
    QVERIFY(appFolder.isValid());
    AppFolders::setOverride(appFolder.path());
    installLineCapture(QString::fromUtf8("单调")); // the trend lines stay out of the output
}

void TestWatchdog::init()
{
    setStatus(4);
    takeLines();
}

// fre, batch size, batches; values are the running sample number, so the
// value of an entry is the position in the stream it was taken from.
void TestWatchdog::sampling_data()
{
    QTest::addColumn<int>("fre");
    QTest::addColumn<int>("batchSize");
    QTest::addColumn<int>("batches");
    QTest::addColumn<QVector<double>>("taken");
    QTest::addColumn<int>("pending");

    QTest::newRow("1000/s, 20 batches of 50: not yet") << 1000 << 50 << 20 << QVector<double>{} << 1000;
    QTest::newRow("1000/s, 21st batch takes the first") << 1000 << 50 << 21 << QVector<double>{1000} << 50;
    QTest::newRow("1000/s, 40 batches: still one") << 1000 << 50 << 40 << QVector<double>{1000} << 1000;
    QTest::newRow("1000/s, 41 batches: one per second") << 1000 << 50 << 41 << QVector<double>{1000, 2000} << 50;
    QTest::newRow("1/s, first value waits") << 1 << 1 << 1 << QVector<double>{} << 1;
    QTest::newRow("1/s, taken one batch late") << 1 << 1 << 2 << QVector<double>{1} << 1;
    QTest::newRow("1/s, five batches") << 1 << 1 << 5 << QVector<double>{1, 2, 3, 4} << 1;
    QTest::newRow("42 tag samples 41 apart") << 42 << 42 << 2 << QVector<double>{41, 82} << 2;
    QTest::newRow("20/s, one batch of 61") << 20 << 61 << 1 << QVector<double>{20, 40, 60} << 1;
    QTest::newRow("rate not in the table") << 7 << 50 << 30 << QVector<double>{} << 0;
}

void TestWatchdog::sampling()
{
    QFETCH(int, fre);
    QFETCH(int, batchSize);
    QFETCH(int, batches);
    QFETCH(QVector<double>, taken);
    QFETCH(int, pending);

    Rig rig;
    double next = 0;
    for (int b = 0; b < batches; ++b) {
        QVector<double> batch(batchSize);
        for (double& v : batch)
            v = next++;
        rig.feed(batch, FrequencyType(fre));
    }
    QVector<double> values;
    for (const CheckPoint& p : rig.dog->historySnapshot())
        values << p.value;
    QCOMPARE(values, taken);
    QCOMPARE(rig.dog->pendingSampleCount(), pending);
    QCOMPARE(rig.messages.count(), 0);
}

void TestWatchdog::burstStampsConsecutiveSeconds()
{
    Rig rig;
    rig.clock = kT0 + 5;
    rig.feed(series(61, 0, 1), Freq20Hz);
    const QVector<CheckPoint> h = rig.dog->historySnapshot();
    QCOMPARE(h.size(), 3);
    QCOMPARE(h[0].utcSecs, kT0 + 5);
    QCOMPARE(h[1].utcSecs, kT0 + 6);
    QCOMPARE(h[2].utcSecs, kT0 + 7);
}

void TestWatchdog::strideChangeDropsPending()
{
    Rig rig;
    rig.feed(series(10, 0, 1), Freq1000Hz);
    QCOMPARE(rig.dog->pendingSampleCount(), 10);
    // The batch that brings the new rate goes with the old samples.
    rig.feed(series(7, 0, 1), Freq500Hz);
    QCOMPARE(rig.dog->pendingSampleCount(), 0);
    rig.feed(series(7, 0, 1), Freq500Hz);
    QCOMPARE(rig.dog->pendingSampleCount(), 7);
}

// One value per batch. Without a reset the accumulator holds
// ((k - 1) mod stride) + 1 values after k of them.
void TestWatchdog::countdown_data()
{
    QTest::addColumn<int>("fre");
    QTest::addColumn<int>("after2000");
    QTest::addColumn<int>("after2001");
    QTest::newRow("111 counts down") << 111 << 2 << 0;
    QTest::newRow("42 counts down") << 42 << 32 << 0;
    QTest::newRow("100 does not") << 100 << 100 << 1;
}

void TestWatchdog::countdown()
{
    QFETCH(int, fre);
    QFETCH(int, after2000);
    QFETCH(int, after2001);
    Rig rig;
    for (int i = 0; i < 2000; ++i)
        rig.feed({50000.0 + (i % 3)}, FrequencyType(fre));
    QCOMPARE(rig.dog->pendingSampleCount(), after2000);
    rig.feed({50000.0}, FrequencyType(fre));
    QCOMPARE(rig.dog->pendingSampleCount(), after2001);
}

void TestWatchdog::pruneKeepsSeventySeconds()
{
    Rig rig;
    rig.feedSeconds(alternating(75, 50000, 50001));
    const QVector<CheckPoint> h = rig.dog->historySnapshot();
    // Stamps kT0 .. kT0 + 74; those older than newest - 70 are gone, the one
    // exactly 70 s older stays.
    QCOMPARE(h.size(), 71);
    QCOMPARE(h.first().utcSecs, kT0 + 4);
    QCOMPARE(h.last().utcSecs, kT0 + 74);
}

// Values fed one per second; the messages of the last batch are compared.
void TestWatchdog::checks_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("debugPrefix");

    const QString up = QString::fromUtf8("单调增：");
    const QString down = QString::fromUtf8("单调减：");

    QTest::newRow("60 equal") << series(60, 50000, 0) << QStringList{kMonotonic} << up;
    QTest::newRow("60 rising") << series(60, 50000, 0.5) << QStringList{kMonotonic} << up;
    QTest::newRow("60 falling") << series(60, 50000, -0.25) << QStringList{kMonotonic} << down;
    QTest::newRow("59 rising") << series(59, 50000, 0.5) << QStringList{} << QString();
    QVector<double> oneDip = series(60, 50000, 0.5);
    oneDip[30] = oneDip[29] - 0.01;
    QTest::newRow("60 rising but one falling step") << oneDip << QStringList{} << QString();
    QVector<double> flatStep = series(60, 50000, 0.5);
    flatStep[30] = flatStep[29];
    QTest::newRow("60 rising with one equal step") << flatStep << QStringList{kMonotonic} << up;
    // Rising within the last 60 only: an older dip does not count.
    QVector<double> oldDip = series(65, 50000, 0.5);
    oldDip[2] = 40000;
    QTest::newRow("newest 60 rising after an old dip") << oldDip << QStringList{kMonotonic} << up;

    QTest::newRow("30 above 90000") << alternating(30, 95000, 90000.5) << QStringList{kRange} << QString();
    QVector<double> oneAt = alternating(30, 95000, 90000.5);
    oneAt[17] = 90000.0;
    QTest::newRow("29 above and one at 90000") << oneAt << QStringList{} << QString();
    QTest::newRow("29 above 90000") << alternating(29, 95000, 91000) << QStringList{} << QString();
    QTest::newRow("30 below 10000") << alternating(30, 9999.9, 5000) << QStringList{kRange} << QString();
    QTest::newRow("30 at 10000") << alternating(30, 10000, 10000) << QStringList{} << QString();
    QVector<double> lastThirty = alternating(30, 50000, 50001) + alternating(30, 120000, 95000);
    QTest::newRow("only the newest 30 count") << lastThirty << QStringList{kRange} << QString();
    QVector<double> recovered = alternating(30, 120000, 95000) + alternating(1, 50000, 50000);
    QTest::newRow("one plausible value ends it") << recovered << QStringList{} << QString();
    // Monotonic wins; the range check is not made for that batch.
    QTest::newRow("60 rising above 90000") << series(60, 95000, 1) << QStringList{kMonotonic} << up;
}

void TestWatchdog::checks()
{
    QFETCH(QVector<double>, values);
    QFETCH(QStringList, expected);
    QFETCH(QString, debugPrefix);

    Rig rig;
    rig.feedSeconds(values.mid(0, values.size() - 1));
    rig.messages.clear();
    takeLines();
    const qint64 at = rig.clock;
    rig.feedSeconds(values.mid(values.size() - 1));

    QCOMPARE(rig.texts(rig.messages), expected);
    for (const auto& args : rig.messages)
        QCOMPARE(args.at(0).toLongLong(), at);

    const QStringList lines = takeLines();
    if (debugPrefix.isEmpty()) {
        for (const QString& line : lines)
            QVERIFY2(!line.startsWith(QString::fromUtf8("单调")), qPrintable(line));
    } else {
        QCOMPARE(lines.size(), 1);
        QString want = debugPrefix;
        for (double v : values.mid(values.size() - 60))
            want += QString::asprintf("%.2f ", v);
        QCOMPARE(lines.first(), want);
    }
}

void TestWatchdog::nothingWhileNotMeasuring()
{
    Rig rig;
    rig.feedSeconds(alternating(5, 50000, 50001));
    QCOMPARE(rig.dog->historySnapshot().size(), 5);

    setStatus(3);
    rig.feedSeconds(series(70, 95000, 0));
    QCOMPARE(rig.dog->historySnapshot().size(), 5);
    QCOMPARE(rig.dog->pendingSampleCount(), 0);
    rig.clock += 30;
    rig.tick();
    QCOMPARE(rig.messages.count(), 0);
}

void TestWatchdog::noData_data()
{
    QTest::addColumn<int>("age");
    QTest::addColumn<bool>("fires");
    QTest::newRow("10 s") << 10 << false;
    QTest::newRow("11 s") << 11 << true;
    QTest::newRow("40 s") << 40 << true;
}

void TestWatchdog::noData()
{
    QFETCH(int, age);
    QFETCH(bool, fires);
    Rig rig;
    rig.tick(); // nothing sampled yet: silent
    QCOMPARE(rig.messages.count(), 0);

    rig.feedSeconds({50000});
    const qint64 newest = rig.dog->historySnapshot().last().utcSecs;
    rig.clock = newest + age;
    rig.tick();
    QCOMPARE(rig.texts(rig.messages), fires ? QStringList{kNoData} : QStringList{});
    if (fires)
        QCOMPARE(rig.messages.first().at(0).toLongLong(), newest + age);
}

void TestWatchdog::timerRunsEveryFiveSeconds()
{
    QElapsedTimer since;
    since.start();
    Rig rig;
    rig.feedSeconds({50000});
    rig.clock += 60;

    // Received on this thread, so it can be polled safely.
    QList<qint64> arrivals;
    QObject receiver;
    connect(rig.dog.get(), &DataCheckerThread::sig_dataCheckMsg, &receiver,
            [&](qlonglong, QString text) {
                if (text == kNoData)
                    arrivals << since.elapsed();
            });
    QTRY_VERIFY_WITH_TIMEOUT(arrivals.size() >= 1, 9000);
    // Timers never fire early by more than the coarse slack.
    QVERIFY2(arrivals.first() >= 4500, qPrintable(QString::number(arrivals.first())));
}

// Restart: status leaves 4, data stops; when 4 comes back the newest value is
// old, but nothing could have come in the pause.
void TestWatchdog::noFalseNoDataAfterPause()
{
    Rig rig;
    rig.feedSeconds(alternating(5, 50000, 50001));
    const qint64 newest = rig.dog->historySnapshot().last().utcSecs;

    setStatus(1);
    rig.clock = newest + 5;
    rig.tick();
    rig.clock = newest + 20;
    rig.tick();
    setStatus(4);
    rig.clock = newest + 40; // the tick that first sees status 4
    rig.tick();
    rig.clock = newest + 45;
    rig.tick();
    rig.clock = newest + 50;
    rig.tick();
    QCOMPARE(rig.messages.count(), 0);

    // Still nothing 11 s after measuring resumed: that is a real outage.
    rig.clock = newest + 51;
    rig.tick();
    QCOMPARE(rig.texts(rig.messages), QStringList{kNoData});

    // Retrack: the same, and fresh data ends the outage.
    rig.messages.clear();
    setStatus(3);
    rig.clock = newest + 60;
    rig.tick();
    setStatus(4);
    rig.clock = newest + 65;
    rig.tick();
    rig.clock = newest + 70;
    rig.feedSeconds({50000});
    rig.clock = newest + 80;
    rig.tick();
    QCOMPARE(rig.messages.count(), 0);
    rig.clock = newest + 81;
    rig.tick();
    QCOMPARE(rig.texts(rig.messages), QStringList{kNoData});
}

// A Restart whose status leaves 4 and comes back between two ticks, while no
// data flows: the tick after it must count from the return, not from the
// newest value.
void TestWatchdog::returnToFourBetweenTicksIsSeen()
{
    Rig rig;
    rig.feedSeconds(alternating(5, 50000, 50001));
    const qint64 newest = rig.dog->historySnapshot().last().utcSecs;
    rig.clock = newest + 3;
    rig.tick(); // measuring, fresh data: silent
    QCOMPARE(rig.messages.count(), 0);

    rig.clock = newest + 5;
    setStatus(1);
    rig.clock = newest + 7;
    setStatus(4);
    rig.clock = newest + 8; // the first tick after the return
    rig.tick();
    rig.clock = newest + 13;
    rig.tick();
    rig.clock = newest + 18;
    rig.tick();
    QCOMPARE(rig.messages.count(), 0);

    // 11 s after the return was first seen, with still nothing: an outage.
    rig.clock = newest + 19;
    rig.tick();
    QCOMPARE(rig.texts(rig.messages), QStringList{kNoData});
    QCOMPARE(rig.messages.first().at(0).toLongLong(), newest + 19);

    // A batch, not a tick, may be the first to see the return as well.
    rig.messages.clear();
    rig.feedSeconds({50002});
    const qint64 fresh = rig.dog->historySnapshot().last().utcSecs;
    setStatus(3);
    setStatus(4);
    rig.clock = fresh + 6;
    rig.feed({}, Freq1Hz); // an empty batch: nothing sampled, the status read
    rig.clock = fresh + 15;
    rig.tick();
    QCOMPARE(rig.messages.count(), 0);
    rig.clock = fresh + 17;
    rig.tick();
    QCOMPARE(rig.texts(rig.messages), QStringList{kNoData});
}

void TestWatchdog::crashLogAtMostEveryTenSeconds()
{
    Rig rig;
    rig.feedSeconds(series(59, 50000, 0));
    rig.messages.clear();

    // 25 s of playout at 20 batches per second with the condition holding.
    const qint64 start = rig.clock;
    for (int s = 0; s < 25; ++s) {
        for (int b = 0; b < 20; ++b)
            rig.feed({50000}, Freq1Hz);
        ++rig.clock;
    }
    QCOMPARE(rig.messages.count(), 500);
    QList<qint64> logged;
    for (const auto& args : rig.crashLog) {
        QCOMPARE(args.at(1).toString(), kMonotonic);
        logged << args.at(0).toLongLong();
    }
    QCOMPARE(logged, (QList<qint64>{start, start + 10, start + 20}));

    // Another message is no repeat: it goes through at once, then keeps its
    // own 10 s.
    rig.crashLog.clear();
    rig.clock = rig.dog->historySnapshot().last().utcSecs + 11;
    const qint64 quiet = rig.clock;
    rig.tick();
    rig.clock = quiet + 5;
    rig.tick();
    rig.clock = quiet + 10;
    rig.tick();
    QCOMPARE(rig.texts(rig.messages).mid(500), (QStringList{kNoData, kNoData, kNoData}));
    logged.clear();
    for (const auto& args : rig.crashLog)
        logged << args.at(0).toLongLong();
    QCOMPARE(rig.texts(rig.crashLog), (QStringList{kNoData, kNoData}));
    QCOMPARE(logged, (QList<qint64>{quiet, quiet + 10}));
}

// Through the hub into the recording worker's crash-log files.
void TestWatchdog::hubForwardsThrottledToCrashLog()
{
    QTemporaryDir cwd;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(cwd.path());
    auto hub = std::make_unique<ParamManager>(nullptr);
    QDir::setCurrent(previous);
    DataCheckerThread* dog = hub->getDataChecker();
    QVERIFY(dog);
    QCOMPARE(dog->parent(), nullptr);

    std::atomic<qint64> clock{kT0 + 3600};
    dog->setClock([&clock] { return clock.load(); });
    QSignalSpy forwarded(hub.get(), &ParamManager::sig_saveCrashLog);
    int boxMessages = 0;
    connect(dog, &DataCheckerThread::sig_dataCheckMsg, this, [&](qlonglong, QString) { ++boxMessages; });

    const auto feed = [dog](double v) {
        QMetaObject::invokeMethod(dog, "slot_DataCheck", Qt::BlockingQueuedConnection,
                                  Q_ARG(QVector<double>, QVector<double>{v}), Q_ARG(FrequencyType, Freq1Hz));
    };
    feed(50000);
    // 59 s to fill, then 26 s at the playout's 20 batches per second with a
    // flat line (monotonic) from the first of them on.
    for (int s = 0; s < 85; ++s) {
        for (int b = 0; b < (s < 59 ? 1 : 20); ++b)
            feed(50000);
        ++clock;
    }
    QTRY_COMPARE(boxMessages, 20 * 26);
    QTRY_COMPARE(forwarded.count(), 3);
    QList<qint64> stamps;
    for (const auto& args : forwarded) {
        QCOMPARE(args.at(1).toString(), kMonotonic);
        stamps << args.at(0).toLongLong();
    }
    const qint64 first = kT0 + 3600 + 59;
    QCOMPARE(stamps, (QList<qint64>{first, first + 10, first + 20}));

    int lines = 0;
    const auto countLines = [&] {
        lines = 0;
        QDirIterator it(AppFolders::logsDir(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            if (f.open(QIODevice::ReadOnly | QIODevice::Text))
                lines += QString::fromUtf8(f.readAll()).count(kMonotonic);
        }
        return lines;
    };
    QTRY_COMPARE(countLines(), 3);
    dog->stop();
}

QTEST_GUILESS_MAIN(TestWatchdog)
#include "tst_watchdog.moc"
