// The hub and the GPS worker: created with the server client, only with
// "isServer" 1 (whatever "isExistGPS" says), on the "GPSCom" port, idle
// until started; started through the hub's connection from the server
// client's sig_beginGPS, a fix from the receiver on a pty comes out of the
// worker's newGpsData once and reaches the server client through the hub's
// other connection.

#include "hub/hubrig.h"
#include "peers/peerprocess.h"
#include "peers/ptypair.h"
#include "reporting/gpsrig.h"
#include "reporting/serverthread.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

class TestGpsHub : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void creation_data();
    void creation();
    void fixReachesServerClient();

private:
    ParamManager* hubFrom(const QByteArray& config);

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<ParamManager>> m_hubs;
};

void TestGpsHub::initTestCase()
{
    gpsrig::useTemporaryAppFolder();
    QVERIFY(m_dir.isValid());
}

void TestGpsHub::cleanupTestCase()
{
    for (const auto& hub : m_hubs)
        stopHubWorkers(*hub);
    m_hubs.clear();
}

ParamManager* TestGpsHub::hubFrom(const QByteArray& config)
{
    // A fresh folder per hub: QSettings keeps files it has read.
    static int serial = 0;
    const QString folder = m_dir.filePath(QString::number(++serial));
    QDir().mkpath(folder);
    bool written = false;
    auto hub = makeHubIn(folder, [&](const QString&) {
        QFile f(QStringLiteral("config.ini"));
        written = f.open(QIODevice::WriteOnly) && f.write(config) == config.size();
    });
    m_hubs.push_back(std::move(hub));
    return written ? m_hubs.back().get() : nullptr;
}

void TestGpsHub::creation_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("port");
    QTest::newRow("no file") << QByteArray() << false << QString();
    QTest::newRow("isServer 0") << QByteArray("[Server]\nisServer=0\nisExistGPS=1\nGPSCom=/dev/ttyUSB3\n") << false
                                << QString();
    QTest::newRow("isServer 1, default port") << QByteArray("[Server]\nisServer=1\n") << true << "Com4";
    QTest::newRow("isServer 1, isExistGPS 0")
        << QByteArray("[Server]\nisServer=1\nisExistGPS=0\nGPSCom=COM7\n") << true << "COM7";
    QTest::newRow("isServer 1, empty port") << QByteArray("[Server]\nisServer=1\nGPSCom=\n") << true << "";
}

void TestGpsHub::creation()
{
    QFETCH(QByteArray, config);
    QFETCH(bool, exists);
    QFETCH(QString, port);
    ParamManager* hub = hubFrom(config);
    QVERIFY(hub);
    QCOMPARE(hub->gpsThread != nullptr, exists);
    // The two exist together: the GPS worker serves the server client.
    QCOMPARE(hub->serverThread != nullptr, exists);
    if (!exists)
        return;
    QCOMPARE(hub->gpsThread->portName(), port);
    QVERIFY(hub->gpsThread->parent() == nullptr);
    // Nothing opens the port before the server client starts the worker.
    QVERIFY(hub->gpsThread->reader() == nullptr);
    QVERIFY(!hub->gpsThread->isPortOpen());
}

void TestGpsHub::fixReachesServerClient()
{
    PtyPair pty;
    QVERIFY2(pty.isReady(), qPrintable(pty.errorString()));
    ParamManager* hub = hubFrom("[Server]\nisServer=1\nisExistGPS=0\nGPSCom=" + pty.linkEnd().toUtf8() + "\n");
    QVERIFY(hub && hub->gpsThread && hub->serverThread);
    GPSThread* gps = hub->gpsThread;
    ServerThread* server = hub->serverThread;
    gpsrig::Sink sink;
    sink.listenToWorker(gps);

    // As the server client ends its start-up; the hub queues it onto the
    // GPS thread.
    emit server->sig_beginGPS();
    QTRY_COMPARE_WITH_TIMEOUT(sink.portEvents, QVector<bool>{true}, 3000);
    const QString capture = gpsrig::dataFile(QStringLiteral("garmin17n.log"));
    PeerProcess peer;
    QVERIFY2(peer.start(PeerProcess::programPath(QStringLiteral("nmea_peer")),
                        {"--device", pty.peerEnd(), "--file", capture}),
             qPrintable(peer.errorString()));
    QVERIFY(peer.waitForLine(QStringLiteral("DONE"), 10000));
    QTRY_COMPARE_WITH_TIMEOUT(sink.passedFixes.size(), 1, 3000);
    QTest::qWait(200);
    // Once per hour: the first fix of the capture alone is passed on.
    const gpsrig::Fix first = gpsrig::fixesOf(capture).first();
    QCOMPARE(sink.passedFixes, QVector<gpsrig::Fix>{first});
    // The one start opened the port once.
    QCOMPARE(sink.portEvents, QVector<bool>{true});
    // The server client holds the fix passed on, as it was sent.
    QTRY_VERIFY_WITH_TIMEOUT(server->snapshot().latitude != 0.0, 3000);
    const ServerThread::Snapshot held = server->snapshot();
    QCOMPARE(held.latitude, first.lat);
    QCOMPARE(held.longitude, first.lon);
    QCOMPARE(held.altitude, first.alt);
    QCOMPARE(held.satellites, first.sats);
    QVERIFY(peer.stop());
    gps->stop();
}

QTEST_GUILESS_MAIN(TestGpsHub)
#include "tst_gpshub.moc"
