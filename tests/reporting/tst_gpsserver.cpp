// From the GPS receiver to the monitoring server, through the hub: a
// config.ini with "isServer" 1 and "GPSCom" naming one end of a socat pty
// pair, nmea_peer replaying sentences on the other end at 4800-baud pace, and
// the scripted HTTP server on 127.0.0.1. The hub creates and connects the
// server client and the GPS worker; the start-up signal starts the client,
// the client starts the GPS worker, and the fix comes back to the server as
// a status report whose "gpsInfo" Python parses. Expected positions are
// worked out by hand from the sentences.

#include "core/appfolders.h"
#include "hub/hubrig.h"
#include "peers/peerprocess.h"
#include "peers/ptypair.h"
#include "reporting/gpsrig.h"
#include "reporting/httppeer.h"
#include "reporting/jsoncheck.h"
#include "reporting/serverprotocol.h"
#include "reporting/serverthread.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>

using namespace ServerProtocol;

namespace
{

constexpr char kGuid[] = "0b7c54de-3f0a-4e6b-9a51-2c8e1d7f6a90";

// Sentences with their checksums (XOR of the characters between "$" and
// "*"), worked out by hand.
const QByteArray kRmcMunich = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A";
const QByteArray kGllVancouver = "$GPGLL,4916.45,N,12311.12,W,225444,A*31";

// 4807.038 N, 01131.000 E and 4916.45 N, 12311.12 W in degrees.
constexpr double kMunichLat = 48.0 + 7.038 / 60.0;
constexpr double kMunichLon = 11.0 + 31.0 / 60.0;
constexpr double kVancouverLat = 49.0 + 16.45 / 60.0;
constexpr double kVancouverLon = -(123.0 + 11.12 / 60.0);

int paceMs(qint64 bytes)
{
    // 4800 baud, 10 bits a byte, plus slack for a loaded machine.
    return int(bytes * 10 * 1000 / 4800) + 10000;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}

// The hub as the program builds it, in a folder of its own whose config.ini
// turns reporting on with the GPS receiver on the pty, and the two peers.
// Every worker is stopped before the peers go.
class Rig
{
public:
    explicit Rig(int cycleMs) : m_gpsOffset(std::make_shared<std::atomic<qint64>>(0))
    {
        AppFolders::setOverride(dir.path());
        if (!pty.isReady()) {
            error = QStringLiteral("pty: ") + pty.errorString();
            return;
        }
        if (!http.start()) {
            error = QStringLiteral("http peer: ") + http.errorString();
            return;
        }
        {
            QFile f(dir.filePath(QStringLiteral("config.ini")));
            if (!f.open(QIODevice::WriteOnly)) {
                error = QStringLiteral("cannot write config.ini");
                return;
            }
            f.write("[Server]\nisServer=1\nisExistGPS=0\nGPSCom=" + pty.linkEnd().toUtf8() + "\n");
        }
        hub = makeHubIn(dir.path());
        if (!hub->serverThread || !hub->gpsThread) {
            error = QStringLiteral("the hub made no server client or no GPS worker");
            return;
        }
        server()->setBaseUrl(http.baseUrl());
        server()->setCycleIntervalMs(cycleMs);
        server()->setRequestTimeoutMs(20000);
        const auto offset = m_gpsOffset;
        gps()->setClock([offset]() { return QDateTime::currentSecsSinceEpoch() + offset->load(); });
        ready = true;
    }

    ~Rig()
    {
        if (hub)
            stopHubWorkers(*hub);
        receiver.stop();
        http.stop();
        AppFolders::setOverride(QString());
    }

    ServerThread* server() const { return hub->serverThread; }
    GPSThread* gps() const { return hub->gpsThread; }

    // Registration answered with the identity, heartbeats and status reports
    // confirmed (status reports as told).
    bool routeServer()
    {
        return http.route(RegisterPath, 200,
                          QStringLiteral(R"({"success": true, "data": "%1"})").arg(QLatin1String(kGuid)).toUtf8()) &&
               http.route(HeartbeatPath, 200, QByteArrayLiteral(R"({"success": true})"));
    }

    // As AppManager's start step ends: the client registers, goes online and
    // starts the GPS worker, which opens the pty.
    bool startUp()
    {
        emit hub->sig_initServer();
        if (!waitFor([this] { return server()->snapshot().state == Online; }, 15000)) {
            error = QStringLiteral("the server client did not go online");
            return false;
        }
        if (!waitFor([this] { return gps()->isPortOpen(); }, 10000)) {
            error = QStringLiteral("the GPS port did not open");
            return false;
        }
        return true;
    }

    // The receiver sends lines (CR LF added) repeat times; true once all is
    // written. The receiver stays connected until the next send or the end.
    bool send(const QByteArrayList& lines, const QStringList& extraArgs = {}, int repeat = 1)
    {
        receiver.stop();
        const QString path = pty.filePath(QStringLiteral("feed%1.nmea").arg(++m_feeds));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        qint64 bytes = 0;
        for (const QByteArray& l : lines) {
            f.write(l + '\n');
            bytes += l.size() + 2;
        }
        f.close();
        QStringList args{QStringLiteral("--device"), pty.peerEnd(),          QStringLiteral("--file"), path,
                         QStringLiteral("--repeat"), QString::number(repeat)};
        args << extraArgs;
        if (!receiver.start(PeerProcess::programPath(QStringLiteral("nmea_peer")), args)) {
            error = QStringLiteral("nmea_peer: ") + receiver.errorString();
            return false;
        }
        if (!receiver.waitForLine(QStringLiteral("DONE"), paceMs(bytes * repeat))) {
            error = QStringLiteral("nmea_peer did not finish");
            return false;
        }
        return true;
    }

    // Waits until the reader has accepted n fixes since the port opened.
    // Whatever the worker passed on for them is queued to the server client
    // by then, so a snapshot taken afterwards includes it.
    bool waitReaderFixes(int n)
    {
        return waitFor([this, n] { return gpsrig::countersOf(*gps()).fixes >= n; }, 10000);
    }

    // One cycle of the client, on its thread, as its timer runs it.
    void tick()
    {
        QMetaObject::invokeMethod(
            server(), [s = server()] { s->handleTimeout(); }, Qt::BlockingQueuedConnection);
    }

    void advanceGpsClockSecs(qint64 s) { m_gpsOffset->fetch_add(s); }

    QTemporaryDir dir;
    PtyPair pty;
    HttpPeer http;
    PeerProcess receiver;
    std::unique_ptr<ParamManager> hub;
    bool ready = false;
    QString error;

private:
    std::shared_ptr<std::atomic<qint64>> m_gpsOffset;
    int m_feeds = 0;
};

// Half a unit of the sixth significant digit of x: how far the position
// in "gpsInfo" may lie from the exact value.
double sixDigitSlack(double x)
{
    if (x == 0)
        return 0;
    return 0.5 * std::pow(10.0, std::floor(std::log10(std::fabs(x))) - 5);
}

// The status report's body as the HTTP peer parsed it (Python's json), its
// "gpsInfo" string parsed again by Python and compared with the expected
// object; the expected numbers lie within rounding of the exact position.
void checkReport(const QJsonObject& request, const QByteArray& expectedGpsInfo, double lat, double lon, double alt)
{
    QVERIFY2(request["json_ok"].toBool(), qPrintable(request["json_error"].toString()));
    const QJsonObject body = request["json"].toObject();
    QCOMPARE(body.keys(), (QStringList{"deviceGuid", "gpsInfo"}));
    QCOMPARE(body["deviceGuid"].toString(), QString::fromLatin1(kGuid));
    QVERIFY(body["gpsInfo"].isString());
    const QByteArray gpsInfo = body["gpsInfo"].toString().toUtf8();
    QCOMPARE(pythonVerdict(gpsInfo, expectedGpsInfo), QStringLiteral("same"));

    // The hand-rounded expectation against the exact position.
    const QJsonObject e = QJsonDocument::fromJson(expectedGpsInfo).object();
    const double exact[] = {lat, lon, alt};
    const char* keys[] = {"latitude", "longitude", "altitude"};
    for (int i = 0; i < 3; ++i) {
        const double got = e[QLatin1String(keys[i])].toDouble();
        QVERIFY2(
            std::fabs(got - exact[i]) <= sixDigitSlack(exact[i]) + 1e-12,
            qPrintable(QStringLiteral("%1: %2 for %3").arg(keys[i]).arg(got, 0, 'g', 17).arg(exact[i], 0, 'g', 17)));
    }
}

} // namespace

class TestGpsServer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void fixReachesServer_data();
    void fixReachesServer();
    void onePerHour();
    void fixArrivingWhileReportInFlight();
    void invalidIdentityLeavesPortClosed();
};

void TestGpsServer::initTestCase()
{
    registerSharedMetaTypes();
    const QString peer = PeerProcess::programPath(QStringLiteral("nmea_peer"));
    QVERIFY2(QFile::exists(peer), qPrintable(peer));
}

void TestGpsServer::fixReachesServer_data()
{
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QStringList>("peerArgs");
    QTest::addColumn<QByteArray>("gpsInfo"); // what Python must read, rounded by hand
    QTest::addColumn<double>("lat");         // exact, from the sentence
    QTest::addColumn<double>("lon");
    QTest::addColumn<double>("alt");

    QTest::newRow("RMC, a line per write")
        << QByteArrayList{kRmcMunich} << QStringList{}
        << QByteArray(R"({"latitude": 48.1173, "longitude": 11.5167, "altitude": 0})") << kMunichLat << kMunichLon
        << 0.0;
    // 3342.6618 S, 11751.3858 W, 27.0 m.
    QTest::newRow("GGA south and west, split every 5 bytes")
        << QByteArrayList{"$GPGGA,002153.000,3342.6618,S,11751.3858,W,1,10,1.2,27.0,M,-34.2,M,,0000*43"}
        << QStringList{"--chunk", "5"} << QByteArray(R"({"latitude": -33.711, "longitude": -117.856, "altitude": 27})")
        << -(33.0 + 42.6618 / 60.0) << -(117.0 + 51.3858 / 60.0) << 27.0;
    QTest::newRow("GLL west") << QByteArrayList{kGllVancouver} << QStringList{}
                              << QByteArray(R"({"latitude": 49.2742, "longitude": -123.185, "altitude": 0})")
                              << kVancouverLat << kVancouverLon << 0.0;
    // 3351.86012 S, 15112.76543 E from a receiver of combined systems.
    QTest::newRow("GN RMC south and east")
        << QByteArrayList{"$GNRMC,101010.00,A,3351.86012,S,15112.76543,E,12.250,181.3,010124,,,D*6c"} << QStringList{}
        << QByteArray(R"({"latitude": -33.8643, "longitude": 151.213, "altitude": 0})") << -(33.0 + 51.86012 / 60.0)
        << 151.0 + 12.76543 / 60.0 << 0.0;
    // Before the fix: a sentence of another kind, two without a fix and one
    // with a bad checksum; were any of them passed on, the hourly throttle
    // would report that one instead. The fix itself rounds to the poles of
    // the sixth digit: 8959.999999 S, 17959.999999 E, -12.5 m.
    QTest::newRow("GN GGA after no-fix and bad-checksum sentences, one write")
        << QByteArrayList{"$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74",
                          "$GPRMC,120000,V,4807.038,N,01131.000,E,,,230394,,,N*66",
                          "$GNGGA,120001,,,,,0,00,99.99,,,,,,*54",
                          "$GNGGA,092726.00,4717.11399,N,00833.91590,E,1,08,1.01,499.6,M,48.0,M,,*66",
                          "$GNGGA,000005,8959.999999,S,17959.999999,E,6,03,9.9,-12.5,M,0.0,M,,*65"}
        << QStringList{"--lines-per-write", "10"}
        << QByteArray(R"({"latitude": -90, "longitude": 180, "altitude": -12.5})") << -(89.0 + 59.999999 / 60.0)
        << 179.0 + 59.999999 / 60.0 << -12.5;
}

void TestGpsServer::fixReachesServer()
{
    QFETCH(QByteArrayList, lines);
    QFETCH(QStringList, peerArgs);
    QFETCH(QByteArray, gpsInfo);
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(double, alt);

    // The client's own timer runs the cycle, every 200 ms.
    Rig r(200);
    QVERIFY2(r.ready, qPrintable(r.error));
    QVERIFY(r.routeServer());
    QVERIFY(r.http.route(StatusReportPath, 200, QByteArrayLiteral(R"({"success": true})")));
    QVERIFY2(r.startUp(), qPrintable(r.error));

    // The receiver repeats its sentences: one fix an hour is passed on and
    // the server hears of it once.
    QVERIFY2(r.send(lines, peerArgs, 3), qPrintable(r.error));
    QVERIFY(r.http.waitForRequests(StatusReportPath, 1, 15000));
    QVERIFY(r.waitReaderFixes(3));
    const int beats = r.http.requests(HeartbeatPath).size();
    QVERIFY(r.http.waitForRequests(HeartbeatPath, beats + 5, 15000));
    const QList<QJsonObject> reports = r.http.requests(StatusReportPath);
    QCOMPARE(reports.size(), 1);
    checkReport(reports.first(), gpsInfo, lat, lon, alt);
    if (QTest::currentTestFailed())
        return;

    // Confirmed: nothing waits to be reported until the next fix.
    QCOMPARE(r.server()->snapshot().latitude, 0.0);
    QCOMPARE(r.gps()->isPortOpen(), true);
}

void TestGpsServer::onePerHour()
{
    Rig r(3600000); // the test runs the cycle
    QVERIFY2(r.ready, qPrintable(r.error));
    QVERIFY(r.routeServer());
    QVERIFY(r.http.route(StatusReportPath, 200, QByteArrayLiteral(R"({"success": true})")));
    QVERIFY2(r.startUp(), qPrintable(r.error));

    QVERIFY2(r.send({kRmcMunich}), qPrintable(r.error));
    QVERIFY(r.waitReaderFixes(1));
    r.tick();
    QVERIFY(r.http.waitForRequests(StatusReportPath, 1, 10000));
    QVERIFY(waitFor([&r] { return r.server()->snapshot().latitude == 0.0; }, 10000));

    // A new position within the hour stays with the GPS worker.
    r.advanceGpsClockSecs(3599);
    QVERIFY2(r.send({kGllVancouver}), qPrintable(r.error));
    QVERIFY(r.waitReaderFixes(2));
    QCOMPARE(r.server()->snapshot().latitude, 0.0);
    const int beats = r.http.requests(HeartbeatPath).size();
    r.tick();
    QVERIFY(r.http.waitForRequests(HeartbeatPath, beats + 1, 10000));
    QCOMPARE(r.http.requests(StatusReportPath).size(), 1);

    // An hour and a second after the first, the next fix goes through.
    r.advanceGpsClockSecs(2);
    QVERIFY2(r.send({kGllVancouver}), qPrintable(r.error));
    QVERIFY(r.waitReaderFixes(3));
    QVERIFY(std::fabs(r.server()->snapshot().latitude - kVancouverLat) < 1e-9);
    r.tick();
    QVERIFY(r.http.waitForRequests(StatusReportPath, 2, 10000));
    const QList<QJsonObject> reports = r.http.requests(StatusReportPath);
    QCOMPARE(reports.size(), 2);
    checkReport(reports.at(0), R"({"latitude": 48.1173, "longitude": 11.5167, "altitude": 0})", kMunichLat, kMunichLon,
                0);
    checkReport(reports.at(1), R"({"latitude": 49.2742, "longitude": -123.185, "altitude": 0})", kVancouverLat,
                kVancouverLon, 0);
}

void TestGpsServer::fixArrivingWhileReportInFlight()
{
    // The server takes its time to confirm the first report; meanwhile, an
    // hour later, the receiver gives a new position. The confirmation is for
    // the position sent, and the new one is still reported.
    Rig r(3600000);
    QVERIFY2(r.ready, qPrintable(r.error));
    QVERIFY(r.routeServer());
    HttpPeer::Rule slow;
    slow.path = StatusReportPath;
    slow.body = R"({"success": true})";
    slow.delayMs = 6000;
    slow.count = 1;
    QVERIFY(r.http.route(slow));
    QVERIFY(r.http.route(StatusReportPath, 200, QByteArrayLiteral(R"({"success": true})")));
    QVERIFY2(r.startUp(), qPrintable(r.error));

    QVERIFY2(r.send({kRmcMunich}), qPrintable(r.error));
    QVERIFY(r.waitReaderFixes(1));
    r.tick();
    QVERIFY(r.http.waitForRequests(StatusReportPath, 1, 10000));
    // The heartbeat of that cycle answered; the report still waits.
    QVERIFY(waitFor([&r] { return r.server()->snapshot().pending == 1; }, 5000));

    r.advanceGpsClockSecs(3601);
    QVERIFY2(r.send({kGllVancouver}), qPrintable(r.error));
    QVERIFY(r.waitReaderFixes(2));
    const ServerThread::Snapshot during = r.server()->snapshot();
    QVERIFY2(during.pending == 1, "the first report was confirmed before the new fix arrived; machine too slow");
    QVERIFY(std::fabs(during.latitude - kVancouverLat) < 1e-9);

    QVERIFY(waitFor([&r] { return r.server()->snapshot().pending == 0; }, 15000));
    const ServerThread::Snapshot after = r.server()->snapshot();
    QVERIFY(std::fabs(after.latitude - kVancouverLat) < 1e-9);
    QVERIFY(std::fabs(after.longitude - kVancouverLon) < 1e-9);

    r.tick();
    QVERIFY(r.http.waitForRequests(StatusReportPath, 2, 10000));
    const QList<QJsonObject> reports = r.http.requests(StatusReportPath);
    checkReport(reports.at(0), R"({"latitude": 48.1173, "longitude": 11.5167, "altitude": 0})", kMunichLat, kMunichLon,
                0);
    checkReport(reports.at(1), R"({"latitude": 49.2742, "longitude": -123.185, "altitude": 0})", kVancouverLat,
                kVancouverLon, 0);
    QVERIFY(waitFor([&r] { return r.server()->snapshot().pending == 0; }, 10000));
    QCOMPARE(r.server()->snapshot().latitude, 0.0);
}

void TestGpsServer::invalidIdentityLeavesPortClosed()
{
    // A stored identity of the wrong length stops the client at start-up:
    // it sends nothing and never starts the GPS worker.
    Rig r(200);
    QVERIFY2(r.ready, qPrintable(r.error));
    QVERIFY(r.routeServer());
    {
        QDir().mkpath(AppFolders::logsDir());
        QSettings s(AppFolders::logsDir() + QStringLiteral("/server.ini"), QSettings::IniFormat);
        s.setValue(QStringLiteral("Server/GUID"), QString::fromLatin1(kGuid).left(35));
        s.sync();
    }
    emit r.hub->sig_initServer();
    // The snapshot runs after the start on the client's thread; a start of
    // the worker would be queued on the GPS thread before the reader query.
    QCOMPARE(r.server()->snapshot().state, int(Disabled));
    QVERIFY(r.gps()->reader() == nullptr);
    QVERIFY(!r.gps()->isPortOpen());
    QTest::qWait(500);
    QCOMPARE(r.http.requests().size(), 0);
}

QTEST_MAIN(TestGpsServer)
#include "tst_gpsserver.moc"
