// The GPS worker on its thread without a receiver: the one-hour throttle
// under an injected clock, and the start paths that open no port (an empty
// port name, a port that does not exist).

#include "gpsrig.h"
#include "processing/linecapture.h"

#include <QtTest>

#include <atomic>

using gpsrig::Sink;

namespace
{
constexpr qint64 kT0 = 1776384000; // 2026-04-17 00:00:00 UTC
}

class TestGpsThread : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void throttle_data();
    void throttle();
    void noReaderBeforeBegin();
    void emptyPortName();
    void openFails();
};

void TestGpsThread::initTestCase()
{
    gpsrig::useTemporaryAppFolder();
    installLineCapture();
}

void TestGpsThread::throttle_data()
{
    QTest::addColumn<QVector<qint64>>("offsets"); // seconds after kT0, one fix each
    QTest::addColumn<QVector<bool>>("passed");
    QTest::newRow("first fix passes at once") << QVector<qint64>{0} << QVector<bool>{true};
    QTest::newRow("ten minutes later dropped") << QVector<qint64>{0, 600} << QVector<bool>{true, false};
    QTest::newRow("3600 s dropped, 3601 s passes")
        << QVector<qint64>{0, 3600, 3601} << QVector<bool>{true, false, true};
    QTest::newRow("hour counts from the passed fix")
        << QVector<qint64>{0, 1800, 3601, 7201, 7202} << QVector<bool>{true, false, true, false, true};
    QTest::newRow("clock set back half an hour: still throttled")
        << QVector<qint64>{0, -1800, 3599, 3601} << QVector<bool>{true, false, false, true};
    QTest::newRow("clock set back two hours: one passes, then throttled")
        << QVector<qint64>{0, 10, -7201, -7190, -3600} << QVector<bool>{true, false, true, false, true};
}

void TestGpsThread::throttle()
{
    QFETCH(QVector<qint64>, offsets);
    QFETCH(QVector<bool>, passed);

    GPSThread worker(QStringLiteral("Com4"));
    std::atomic<qint64> now{kT0};
    worker.setClock([&now] { return now.load(); });
    Sink sink;
    sink.listenToWorker(&worker);

    QVector<gpsrig::Fix> expected;
    for (int i = 0; i < offsets.size(); ++i) {
        now = kT0 + offsets[i];
        // Each fix is told apart by its satellite count.
        gpsrig::offerFix(worker, 48.1173, 11.516667, 545.4, i);
        if (passed[i])
            expected.append({48.1173, 11.516667, 545.4, i, 0});
    }
    QTRY_COMPARE_WITH_TIMEOUT(sink.passedFixes.size(), expected.size(), 2000);
    QTest::qWait(50);
    QCOMPARE(sink.passedFixes, expected);
}

void TestGpsThread::noReaderBeforeBegin()
{
    // Until the server client starts it, nothing opens the port.
    GPSThread worker(QStringLiteral("Com4"));
    QCOMPARE(worker.portName(), QStringLiteral("Com4"));
    QVERIFY(worker.reader() == nullptr);
    QVERIFY(!worker.isPortOpen());
}

void TestGpsThread::emptyPortName()
{
    GPSThread worker{QString()};
    Sink sink;
    sink.listenToWorker(&worker);
    takeLines();
    gpsrig::begin(worker);
    QTRY_VERIFY_WITH_TIMEOUT(worker.reader() != nullptr, 2000);
    QVERIFY(!worker.isPortOpen());
    QTest::qWait(200);
    QVERIFY(sink.portEvents.isEmpty()); // nothing was open, nothing to report
    QVERIFY(sink.readerFixes.isEmpty() && sink.passedFixes.isEmpty());
    const QStringList lines = takeLines();
    QVERIFY(indexOfLine(lines, QStringLiteral("GPS port name empty")) >= 0);
    QCOMPARE(indexOfLine(lines, QStringLiteral("无法打开串口")), -1);
}

void TestGpsThread::openFails()
{
    // The default name "Com4" names no device here.
    GPSThread worker(QStringLiteral("Com4"));
    Sink sink;
    sink.listenToWorker(&worker);
    takeLines();
    const int appLogBefore = appLogCount(QStringLiteral("GPS port Com4 open failed"));
    gpsrig::begin(worker);
    QTRY_COMPARE_WITH_TIMEOUT(sink.portEvents, QVector<bool>{false}, 2000);
    QVERIFY(!worker.isPortOpen());
    QTest::qWait(1000); // nothing retries
    QCOMPARE(sink.portEvents, QVector<bool>{false});
    const QStringList lines = takeLines();
    QCOMPARE(lines.filter(QStringLiteral("无法打开串口")).size(), 1);
    QVERIFY(lines.filter(QStringLiteral("无法打开串口")).first().contains(QStringLiteral("Com4")));
    QCOMPARE(lines.filter(QStringLiteral("GPS串口打开失败")).size(), 1);
    QCOMPARE(appLogCount(QStringLiteral("GPS port Com4 open failed")), appLogBefore + 1);
}

QTEST_GUILESS_MAIN(TestGpsThread)
#include "tst_gpsthread.moc"
