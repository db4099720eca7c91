// The monitoring-server client on its thread against a scripted HTTP server
// on 127.0.0.1 (tests/peers/http_peer.py). Request bodies are parsed by
// Python's json.loads and uploads by Python's email package on the server
// side; spool files are read back by Python. The clock of the upload times
// and the 30 s cycle are driven by the tests.

#include "core/filebytes.h"
#include "reporting/serverrig.h"

#include <QCryptographicHash>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QtTest>

#include <cmath>
#include <functional>
#include <limits>

using namespace ServerProtocol;

namespace
{

// Debug lines of every thread, kept for checks; only warnings are passed on
// (the client's debug stream is chatty by design).
QMutex linesMutex;
QStringList keptLines;
QtMessageHandler previousHandler = nullptr;

void keepLine(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
{
    {
        QMutexLocker lock(&linesMutex);
        keptLines << msg;
    }
    if (type != QtDebugMsg && previousHandler)
        previousHandler(type, ctx, msg);
}

void clearLines()
{
    QMutexLocker lock(&linesMutex);
    keptLines.clear();
}

int linesWith(const QString& needle)
{
    QMutexLocker lock(&linesMutex);
    int n = 0;
    for (const QString& l : qAsConst(keptLines))
        if (l.contains(needle))
            ++n;
    return n;
}

constexpr qint64 kT0 = 1776412800000LL; // 2026-04-17 08:00:00 UTC in ms

QByteArray json(const char* text)
{
    return QByteArray(text);
}

QByteArray identityReply(const QString& guid)
{
    return QStringLiteral(R"({"success": true, "data": "%1"})").arg(guid).toUtf8();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A file of size bytes that takes no disk space.
bool makeSparse(const QString& path, qint64 size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.resize(size);
}

// Waits (bounded) until done() holds.
bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

QString sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// Valid spool lines written out here: n lines of two values each.
QByteArray handMadeSpool(qint64 firstTime, int n)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += QStringLiteral(R"({"deviceType": "RQ","time": %1,"sensorData": {"dataType": "SCALAR","values": )"
                              R"([%2.25, -1.50],"samplingRate": 1,"intervalMs": 1000}})")
                   .arg(firstTime + i * 2000)
                   .arg(i)
                   .toUtf8() +
               '\n';
    return out;
}

// Uploads are answered with reply only once the test releases them.
bool holdUploads(ServerRig& r, const QByteArray& reply)
{
    HttpPeer::Rule upload;
    upload.path = FileUploadPath;
    upload.body = reply;
    upload.action = QStringLiteral("hold");
    return r.peer.route(upload);
}

// The file part and the device part of an upload as Python split them.
struct Upload {
    QJsonObject file;
    QJsonObject device;
    QString contentType;
};
Upload uploadOf(const QJsonObject& request)
{
    Upload u;
    u.contentType = request[QStringLiteral("headers")].toObject()[QStringLiteral("content-type")].toString();
    for (const QJsonValue& v : request[QStringLiteral("multipart")].toArray()) {
        const QJsonObject part = v.toObject();
        if (part[QStringLiteral("name")].toString() == QLatin1String("file"))
            u.file = part;
        else if (part[QStringLiteral("name")].toString() == QLatin1String("deviceId"))
            u.device = part;
    }
    return u;
}

// Batch times (ms) a spool line covers: one per second of samples.
QList<qint64> batchTimesOf(const QJsonObject& line)
{
    QList<qint64> times;
    const qint64 t = qint64(line[QStringLiteral("time")].toDouble());
    const int rate = line[QStringLiteral("samplingRate")].toInt();
    const int count = line[QStringLiteral("count")].toInt();
    for (int i = 0; rate > 0 && i < count / rate; ++i)
        times << t + i * 1000;
    return times;
}

struct Delivery {
    qint64 offsetMs; // after kT0
    int rate;
    int repeat = 1; // this many, one second apart
};
struct SpoolLine {
    qint64 offsetMs;
    int rate;
    int count;
};

} // namespace

Q_DECLARE_METATYPE(QList<Delivery>)
Q_DECLARE_METATYPE(QList<SpoolLine>)

class TestServerThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void registrationThenDataPosts();
    void identityAtStart_data();
    void identityAtStart();
    void replyTable_data();
    void replyTable();
    void registrationReplies_data();
    void registrationReplies();
    void guidInvalidRepeated();
    void statusReport_data();
    void statusReport();
    void spoolBatching_data();
    void spoolBatching();
    void spoolRing_data();
    void spoolRing();
    void uploadOrderAndTimes();
    void downThenBack();
    void appendDuringSlowUpload();
    void uploadOfCurrentFileInFullRing_data();
    void uploadOfCurrentFileInFullRing();
    void longUploadCapsTheWait();
    void timeoutsKeepEveryBatch();
    void failingWritesCapTheBatch();
};

void TestServerThread::initTestCase()
{
    registerSharedMetaTypes();
    previousHandler = qInstallMessageHandler(keepLine);
}

void TestServerThread::init()
{
    clearLines();
}

void TestServerThread::registrationThenDataPosts()
{
    ServerRig r;
    QVERIFY2(r.peerStarted, qPrintable(r.peer.errorString()));
    QVERIFY(r.peer.route(RegisterPath, 200, identityReply(QString::fromLatin1(rig::kGuid))));
    QVERIFY(r.peer.route(SensorDataPath, 200, rig::ok()));
    r.init();
    QVERIFY(r.waitState(Online));
    QCOMPARE(r.storedGuid(), QString::fromLatin1(rig::kGuid));
    QCOMPARE(r.gpsBegun.load(), 1);

    const QList<QJsonObject> reg = r.peer.requests(RegisterPath);
    QCOMPARE(reg.size(), 1);
    QVERIFY(reg[0]["json_ok"].toBool());
    QCOMPARE(reg[0]["json"].toObject(), QJsonObject({{"deviceType", "RQ"}}));
    QCOMPARE(reg[0]["headers"].toObject()["content-type"].toString(), QStringLiteral("application/json"));

    // One second each at three rates; non-finite samples travel as null.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QVector<double> at20 = rig::batchValues(1, 20);
    at20[3] = nan;
    at20[7] = std::numeric_limits<double>::infinity();
    const QList<QPair<int, QVector<double>>> batches{{1000, rig::batchValues(0, 1000)}, {20, at20}, {1, {48765.4321}}};
    for (int i = 0; i < batches.size(); ++i)
        r.send(kT0 + i * 1000, batches[i].second, batches[i].first);
    QVERIFY(r.peer.waitForRequests(SensorDataPath, 3));
    QVERIFY(r.waitIdle());
    QCOMPARE(r.snap().batchValues, 0); // nothing went to the spool

    QMap<qint64, QJsonObject> byTime;
    for (const QJsonObject& req : r.peer.requests(SensorDataPath)) {
        QVERIFY2(req["json_ok"].toBool(), qPrintable(req["json_error"].toString()));
        const QJsonObject body = req["json"].toObject();
        byTime.insert(qint64(body["time"].toDouble()), body);
    }
    QCOMPARE(byTime.size(), 3);
    for (int i = 0; i < batches.size(); ++i) {
        const QJsonObject body = byTime.value(kT0 + i * 1000);
        QCOMPARE(body["deviceId"].toString(), QString::fromLatin1(rig::kGuid));
        QCOMPARE(body["deviceType"].toString(), QStringLiteral("RQ"));
        const QJsonObject data = body["sensorData"].toObject();
        QCOMPARE(data["dataType"].toString(), QStringLiteral("SCALAR"));
        QCOMPARE(data["samplingRate"].toInt(), batches[i].first);
        QCOMPARE(data["intervalMs"].toInt(), 1000 / batches[i].first);
        const QJsonArray values = data["values"].toArray();
        const QVector<double>& sent = batches[i].second;
        QCOMPARE(values.size(), sent.size());
        for (int j = 0; j < sent.size(); ++j) {
            if (!std::isfinite(sent[j])) {
                QVERIFY2(values[j].isNull(), qPrintable(QStringLiteral("sample %1").arg(j)));
                continue;
            }
            // Two decimals: within half a hundredth of the sample.
            QVERIFY2(std::fabs(values[j].toDouble() - sent[j]) <= 0.005 + 1e-9,
                     qPrintable(QStringLiteral("sample %1: %2 for %3").arg(j).arg(values[j].toDouble()).arg(sent[j])));
        }
    }
    QCOMPARE(byTime.value(kT0 + 2000)["sensorData"].toObject()["values"].toArray()[0].toDouble(), 48765.43);
}

void TestServerThread::identityAtStart_data()
{
    QTest::addColumn<QString>("guid");
    QTest::addColumn<QString>("firstPath"); // empty = nothing is sent
    QTest::addColumn<int>("state");

    const QString g = QString::fromLatin1(rig::kGuid);
    QTest::newRow("no server.ini: registration") << QString() << RegisterPath << int(Unregistered);
    QTest::newRow("36 characters: heartbeat") << g << HeartbeatPath << int(Registered);
    QTest::newRow("36 with quote, backslash, tab")
        << QStringLiteral("12\"4\\67\t9-e89b-12d3-a456-42661417400") << HeartbeatPath << int(Registered);
    QTest::newRow("35 characters: off") << g.left(35) << QString() << int(Disabled);
    QTest::newRow("37 characters: off") << g + QLatin1Char('0') << QString() << int(Disabled);
}

void TestServerThread::identityAtStart()
{
    QFETCH(QString, guid);
    QFETCH(QString, firstPath);
    QFETCH(int, state);

    ServerRig::Options o;
    o.storedGuid = guid;
    ServerRig r(o);
    QVERIFY(r.peerStarted);
    QVERIFY(r.peer.route(RegisterPath, 200, rig::refused()));
    QVERIFY(r.peer.route(HeartbeatPath, 200, rig::refused()));
    r.init();

    if (firstPath.isEmpty()) {
        QTest::qWait(500);
        r.send(kT0, rig::batchValues(0, 20), 20);
        r.tick();
        QTest::qWait(300);
        QCOMPARE(r.peer.requests().size(), 0);
        const ServerThread::Snapshot s = r.snap();
        QCOMPARE(s.state, state);
        QCOMPARE(s.batchValues, 0); // dropped
        QVERIFY(!s.timerActive);
        QCOMPARE(r.gpsBegun.load(), 0);
        return;
    }
    QVERIFY(r.peer.waitForRequests(firstPath, 1));
    QVERIFY(r.waitIdle());
    const QJsonObject first = r.peer.requests().first();
    QCOMPARE(first["path"].toString(), HttpPeer::kPrefix + firstPath);
    QVERIFY2(first["json_ok"].toBool(), qPrintable(first["json_error"].toString()));
    if (firstPath == HeartbeatPath)
        QCOMPARE(first["json"].toObject()["deviceGuid"].toString(), guid);
    const ServerThread::Snapshot s = r.snap();
    QCOMPARE(s.state, state);
    QVERIFY(s.timerActive);
    QCOMPARE(r.gpsBegun.load(), 1);
    // Without a confirmed identity data waits in the spool.
    r.send(kT0, rig::batchValues(0, 20), 20);
    QCOMPARE(r.snap().batchValues, 20);
    QCOMPARE(r.peer.requests(SensorDataPath).size(), 0);
    QVERIFY(linesWith(QStringLiteral("no guid save")) >= 1);
}

void TestServerThread::replyTable_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("action"); // reply, close, hang, down (server stopped)
    QTest::addColumn<QString>("contentType");
    QTest::addColumn<bool>("good");
    QTest::addColumn<QString>("line"); // a debug line the reply must leave

    const QString js = QStringLiteral("application/json");
    const QByteArray page = "<html>\r\n<head><title>502 Bad Gateway</title></head>\r\n<body>\r\n<center><h1>502 Bad "
                            "Gateway</h1></center>\r\n<hr><center>nginx</center>\r\n</body>\r\n</html>\r\n";
    QTest::newRow("200 success") << 200 << rig::ok() << "reply" << js << true << "";
    QTest::newRow("byte-order mark") << 200 << QByteArray("\xEF\xBB\xBF") + rig::ok() << "reply" << js << true
                                     << "statrt BOM";
    QTest::newRow("NUL after the object")
        << 200 << rig::ok() + QByteArray("\0<junk>", 7) << "reply" << js << true << "";
    QTest::newRow("500 with success") << 500 << rig::ok() << "reply" << js << false << "服务器错误";
    QTest::newRow("404") << 404 << rig::ok() << "reply" << js << false << "资源未找到";
    QTest::newRow("non-object") << 200 << json("[true]") << "reply" << js << false << "jsonDoc is not object!";
    QTest::newRow("success as text") << 200 << json(R"({"success": "true"})") << "reply" << js << false << "";
    QTest::newRow("success false") << 200 << rig::refused() << "reply" << js << false << "";
    QTest::newRow("no success member") << 200 << json(R"({"message": "ok"})") << "reply" << js << false << "message:";
    QTest::newRow("HTML 502 page") << 502 << page << "reply" << QStringLiteral("text/html") << false << "Invalid JSON!";
    QTest::newRow("empty body") << 200 << QByteArray() << "reply" << js << false << "Invalid JSON!";
    QTest::newRow("connection dropped") << 0 << QByteArray() << "close" << js << false << "请求失败，错误信息1:";
    QTest::newRow("server hangs") << 0 << QByteArray() << "hang" << js << false << "timed out";
    QTest::newRow("port refused") << 0 << QByteArray() << "down" << js << false << "请求失败，错误信息1:";
}

void TestServerThread::replyTable()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, action);
    QFETCH(QString, contentType);
    QFETCH(bool, good);
    QFETCH(QString, line);

    ServerRig::Options o;
    o.storedGuid = QString::fromLatin1(rig::kGuid);
    o.requestTimeoutMs = 1500;
    ServerRig r(o);
    QVERIFY(r.peerStarted);
    QVERIFY(r.bringOnline());
    const QByteArray spooled = handMadeSpool(kT0 - 3600000, 3);
    QVERIFY(writeFile(r.spoolFile(0), spooled));

    // Every kind of request gets the reply under test from now on.
    for (const QString& path : {HeartbeatPath, SensorDataPath, FileUploadPath}) {
        HttpPeer::Rule rule;
        rule.path = path;
        rule.status = status;
        rule.body = body;
        rule.action = action == QLatin1String("down") ? QStringLiteral("reply") : action;
        rule.contentType = contentType;
        QVERIFY(r.peer.route(rule));
    }
    if (action == QLatin1String("down"))
        r.peer.stop();
    clearLines();

    // A data post: delivered, or kept in the spool batch.
    r.send(kT0, rig::batchValues(0, 1000), 1000);
    QVERIFY(r.waitIdle());
    ServerThread::Snapshot s = r.snap();
    QCOMPARE(s.batchValues, good ? 0 : 1000);
    if (!good)
        QCOMPARE(s.batchTimestamp, kT0);

    // A cycle: heartbeat, spool written, the spool file uploaded.
    r.tick();
    QVERIFY(r.waitIdle());
    s = r.snap();
    QCOMPARE(s.state, good ? int(Online) : int(Registered));
    if (good) {
        QVERIFY(!QFile::exists(r.spoolFile(0)));
        QCOMPARE(s.nextUpload, r.now().addSecs(120));
    } else {
        QVERIFY(s.nextUpload >= r.now().addSecs(540));
        QVERIFY(s.nextUpload <= r.now().addSecs(659));
        // The failed batch is in the file, after what was there, and the
        // failed upload left the file in place.
        const QByteArray bytes = fileBytes(r.spoolFile(0));
        QVERIFY(bytes.startsWith(spooled));
        const QList<QJsonObject> lines = rig::pythonSpoolLines(r.spoolFile(0));
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines[3]["ok"].toBool());
        QCOMPARE(qint64(lines[3]["time"].toDouble()), kT0);
        QCOMPARE(lines[3]["count"].toInt(), 1000);
    }
    if (!line.isEmpty())
        QVERIFY2(linesWith(line) >= 1, qPrintable(line));
}

void TestServerThread::registrationReplies_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("saved");

    const QString g = QString::fromLatin1(rig::kGuid);
    QTest::newRow("identity") << 200 << identityReply(g) << int(Online) << true;
    QTest::newRow("35-character identity") << 200 << identityReply(g.left(35)) << int(Unregistered) << false;
    QTest::newRow("37-character identity") << 200 << identityReply(g + QLatin1Char('f')) << int(Unregistered) << false;
    QTest::newRow("no identity") << 200 << rig::ok() << int(Unregistered) << false;
    QTest::newRow("identity not text") << 200 << json(R"({"success": true, "data": 123})") << int(Unregistered)
                                       << false;
    QTest::newRow("success false") << 200 << QStringLiteral(R"({"success": false, "data": "%1"})").arg(g).toUtf8()
                                   << int(Unregistered) << false;
    QTest::newRow("500 with identity") << 500 << identityReply(g) << int(Unregistered) << false;
    QTest::newRow("HTML page") << 502 << json("<html><body>502 Bad Gateway</body></html>") << int(Unregistered)
                               << false;
    QTest::newRow("identity invalid") << 200 << json(R"({"success": false, "message": "设备GUID无效"})")
                                      << int(Disabled) << false;
}

void TestServerThread::registrationReplies()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, state);
    QFETCH(bool, saved);

    ServerRig r;
    QVERIFY(r.peerStarted);
    QVERIFY(r.peer.route(RegisterPath, status, body));
    r.init();
    QVERIFY(r.peer.waitForRequests(RegisterPath, 1));
    QVERIFY(r.waitIdle());
    QCOMPARE(r.snap().state, state);
    QCOMPARE(r.storedGuid(), saved ? QString::fromLatin1(rig::kGuid) : QString());
    // The next cycle registers again only while no identity is known.
    r.tick();
    QVERIFY(r.waitIdle());
    QCOMPARE(r.peer.requests(RegisterPath).size(), state == Unregistered ? 2 : 1);
    QCOMPARE(r.snap().timerActive, state != Disabled);
}

void TestServerThread::guidInvalidRepeated()
{
    // A real cycle of 100 ms, so that a timer that kept running would show.
    ServerRig::Options o;
    o.storedGuid = QString::fromLatin1(rig::kGuid);
    o.cycleMs = 100;
    ServerRig r(o);
    QVERIFY(r.peerStarted);
    QVERIFY(r.peer.route(SensorDataPath, 200, rig::ok()));
    QVERIFY(r.bringOnline());

    // Every data post is refused with the identity declared invalid, each
    // reply a little later than the one before (the first after all eight
    // are posted); a heartbeat confirming the identity arrives after them.
    const QByteArray invalid = R"({"success": false, "message": "设备GUID无效"})";
    for (int i = 0; i < 8; ++i) {
        HttpPeer::Rule rule;
        rule.path = SensorDataPath;
        rule.body = invalid;
        rule.delayMs = 300 + 40 * i;
        rule.count = 1;
        QVERIFY(r.peer.route(rule));
    }
    HttpPeer::Rule late;
    late.path = HeartbeatPath;
    late.body = rig::ok();
    late.delayMs = 1000;
    QVERIFY(r.peer.route(late));
    const int dataBefore = r.peer.requests(SensorDataPath).size();
    for (int i = 0; i < 8; ++i)
        r.send(kT0 + i * 1000, rig::batchValues(i, 200), 200);
    QVERIFY(r.waitState(Disabled));
    QVERIFY(r.waitIdle());
    QTest::qWait(300);
    QVERIFY(r.waitIdle());

    ServerThread::Snapshot s = r.snap();
    QCOMPARE(s.state, int(Disabled)); // the late heartbeat did not bring it back
    QVERIFY(!s.timerActive);
    QVERIFY(linesWith(QStringLiteral("设备GUID无效")) >= 8);

    // No cycle runs any more, and data is dropped.
    const int heartbeats = r.peer.requests(HeartbeatPath).size();
    r.send(kT0 + 9000, rig::batchValues(9, 200), 200);
    QTest::qWait(500);
    QCOMPARE(r.peer.requests(HeartbeatPath).size(), heartbeats);
    QCOMPARE(r.peer.requests(SensorDataPath).size(), dataBefore + 8);
    s = r.snap();
    QCOMPARE(s.pending, 0);
    QCOMPARE(s.state, int(Disabled));
    // The identity stays in server.ini.
    QCOMPARE(r.storedGuid(), QString::fromLatin1(rig::kGuid));
}

void TestServerThread::statusReport_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("reports"); // after two more cycles
    QTest::newRow("confirmed: once per fix") << rig::ok() << 1;
    QTest::newRow("refused: sent again") << rig::refused() << 2;
}

void TestServerThread::statusReport()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, reports);

    ServerRig::Options o;
    o.storedGuid = QString::fromLatin1(rig::kGuid);
    ServerRig r(o);
    QVERIFY(r.peerStarted);
    QVERIFY(r.bringOnline());
    QVERIFY(r.peer.route(StatusReportPath, 200, reply));
    QVERIFY(r.peer.route(FileUploadPath, 200, rig::ok()));

    r.tick(); // no fix yet: no report
    QVERIFY(r.waitIdle());
    QCOMPARE(r.peer.requests(StatusReportPath).size(), 0);

    r.gps(48.1173, 11.516667, 545.4, 8);
    r.tick();
    QVERIFY(r.waitIdle());
    r.tick();
    QVERIFY(r.waitIdle());
    const QList<QJsonObject> sent = r.peer.requests(StatusReportPath);
    QCOMPARE(sent.size(), reports);
    QVERIFY(sent[0]["json_ok"].toBool());
    const QJsonObject body = sent[0]["json"].toObject();
    QCOMPARE(body["deviceGuid"].toString(), QString::fromLatin1(rig::kGuid));
    // The position is a JSON string holding an object text.
    QVERIFY(body["gpsInfo"].isString());
    QJsonParseError err;
    const QJsonObject gps = QJsonDocument::fromJson(body["gpsInfo"].toString().toUtf8(), &err).object();
    QCOMPARE(err.error, QJsonParseError::NoError);
    QCOMPARE(gps["latitude"].toDouble(), 48.1173);
    QCOMPARE(gps["longitude"].toDouble(), 11.5167);
    QCOMPARE(gps["altitude"].toDouble(), 545.4);
    QCOMPARE(gps.size(), 3); // satellites are kept, never sent
    const ServerThread::Snapshot s = r.snap();
    QCOMPARE(s.latitude, reports == 1 ? 0.0 : 48.1173);
    QCOMPARE(s.satellites, reports == 1 ? 0 : 8);
}

void TestServerThread::spoolBatching_data()
{
    QTest::addColumn<QList<Delivery>>("deliveries");
    QTest::addColumn<QList<SpoolLine>>("lines");
    QTest::addColumn<int>("waiting"); // samples left in memory

    QTest::newRow("1000 Hz: two seconds, one line")
        << QList<Delivery>{{0, 1000}, {1000, 1000}} << QList<SpoolLine>{{0, 1000, 2000}} << 0;
    QTest::newRow("999 ms apart: the first goes alone")
        << QList<Delivery>{{0, 1000}, {999, 1000}} << QList<SpoolLine>{{0, 1000, 1000}} << 1000;
    QTest::newRow("1001 ms apart: the first goes alone")
        << QList<Delivery>{{0, 1000}, {1001, 1000}} << QList<SpoolLine>{{0, 1000, 1000}} << 1000;
    QTest::newRow("rate change writes the batch first")
        << QList<Delivery>{{0, 20, 2}, {2000, 200}} << QList<SpoolLine>{{0, 20, 40}} << 200;
    QTest::newRow("20 Hz: 100 s make one line")
        << QList<Delivery>{{0, 20, 101}} << QList<SpoolLine>{{0, 20, 2000}} << 20;
    QTest::newRow("200 Hz: 10 s, then a gap")
        << QList<Delivery>{{0, 200, 10}, {15000, 200, 10}} << QList<SpoolLine>{{0, 200, 2000}, {15000, 200, 2000}} << 0;
}

void TestServerThread::spoolBatching()
{
    QFETCH(QList<Delivery>, deliveries);
    QFETCH(QList<SpoolLine>, lines);
    QFETCH(int, waiting);

    ServerRig r;
    QVERIFY(r.peerStarted);
    QVERIFY(r.peer.route(RegisterPath, 200, rig::refused()));
    r.init();
    QVERIFY(r.waitIdle());
    QCOMPARE(r.snap().state, int(Unregistered));

    // Batch k carries values 50000 + k + j/100, so a line's first and last
    // sample tell which seconds it holds.
    QMap<qint64, int> indexAt;
    int k = 0;
    for (const Delivery& d : deliveries)
        for (int i = 0; i < d.repeat; ++i, ++k) {
            const qint64 at = d.offsetMs + i * 1000;
            indexAt.insert(at, k);
            r.send(kT0 + at, rig::batchValues(k, d.rate), d.rate);
        }
    QCOMPARE(r.snap().batchValues, waiting);

    const QList<QJsonObject> got = rig::pythonSpoolLines(r.spoolFile(0));
    QCOMPARE(got.size(), lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        const QJsonObject& l = got[i];
        QVERIFY2(l["ok"].toBool(), qPrintable(l["error"].toString()));
        QCOMPARE(l["deviceType"].toString(), QStringLiteral("RQ"));
        QCOMPARE(l["dataType"].toString(), QStringLiteral("SCALAR"));
        QCOMPARE(qint64(l["time"].toDouble()), kT0 + lines[i].offsetMs);
        QCOMPARE(l["samplingRate"].toInt(), lines[i].rate);
        QCOMPARE(l["intervalMs"].toInt(), 1000 / lines[i].rate);
        QCOMPARE(l["count"].toInt(), lines[i].count);
        const int firstK = indexAt.value(lines[i].offsetMs);
        const int lastK = firstK + lines[i].count / lines[i].rate - 1;
        QCOMPARE(l["first"].toDouble(), 50000.0 + firstK);
        QVERIFY(std::fabs(l["last"].toDouble() - (50000.0 + lastK + (lines[i].rate - 1) * 0.01)) < 0.006);
    }
}

void TestServerThread::spoolRing_data()
{
    constexpr qint64 F = 10485760;              // full
    QTest::addColumn<QVector<qint64>>("sizes"); // by file number; -1 = absent
    QTest::addColumn<int>("flushes");
    QTest::addColumn<int>("start");
    QTest::addColumn<QVector<int>>("grown"); // lines added, by file number
    QTest::addColumn<QVector<int>>("deleted");
    QTest::addColumn<int>("after");

    QTest::newRow("no files") << QVector<qint64>{} << 1 << 0 << QVector<int>{1} << QVector<int>{} << 0;
    QTest::newRow("0 full, 1 at 3 MiB") << QVector<qint64>{F, 3 << 20} << 1 << 1 << QVector<int>{0, 1} << QVector<int>{}
                                        << 1;
    QTest::newRow("six full: line into 5, then 0")
        << QVector<qint64>{F, F, F, F, F, F} << 1 << 5 << QVector<int>{0, 0, 0, 0, 0, 1} << QVector<int>{0} << 0;
    QTest::newRow("2 fills up: 3 goes") << QVector<qint64>{F, F, F - 10, 1 << 20, 1 << 20, 1 << 20} << 2 << 2
                                        << QVector<int>{0, 0, 2, 0, 0, 0} << QVector<int>{3} << 3;
    QTest::newRow("five full: a sixth begins")
        << QVector<qint64>{F, F, F, F, F} << 2 << 4 << QVector<int>{0, 0, 0, 0, 1, 1} << QVector<int>{} << 5;
    QTest::newRow("gaps and other names") << QVector<qint64>{-1, F, -1, -1, -1, -1, -1, 100} << 1 << 7
                                          << QVector<int>{0, 0, 0, 0, 0, 0, 0, 1} << QVector<int>{} << 7;
}

void TestServerThread::spoolRing()
{
    QFETCH(QVector<qint64>, sizes);
    QFETCH(int, flushes);
    QFETCH(int, start);
    QFETCH(QVector<int>, grown);
    QFETCH(QVector<int>, deleted);
    QFETCH(int, after);

    ServerRig r;
    QVERIFY(r.peerStarted);
    for (int n = 0; n < sizes.size(); ++n)
        if (sizes[n] >= 0)
            QVERIFY(makeSparse(r.spoolFile(n), sizes[n]));
    // Names the spool must leave alone.
    const QStringList others{"ServerDataX.txt", "serverdata3.txt", "ServerData99999999999.txt", "ServerData2.log"};
    for (const QString& name : others)
        QVERIFY(writeFile(r.logs() + QLatin1Char('/') + name, "keep\n"));

    QVERIFY(r.peer.route(RegisterPath, 200, rig::refused()));
    r.init();
    QVERIFY(r.waitIdle());
    QCOMPARE(r.snap().spoolFileNumber, start);

    // Two seconds at 1000 Hz make one line.
    for (int i = 0; i < 2 * flushes; ++i)
        r.send(kT0 + i * 1000, rig::batchValues(i, 1000), 1000);
    QCOMPARE(r.snap().batchValues, 0);
    QCOMPARE(r.snap().spoolFileNumber, after);

    for (int n = 0; n < qMax(sizes.size(), grown.size()); ++n) {
        const qint64 before = n < sizes.size() ? sizes[n] : -1;
        const int added = n < grown.size() ? grown[n] : 0;
        const QString path = r.spoolFile(n);
        if (deleted.contains(n)) {
            QVERIFY2(!QFile::exists(path), qPrintable(path));
            continue;
        }
        if (before < 0 && added == 0) {
            QVERIFY2(!QFile::exists(path), qPrintable(path));
            continue;
        }
        QFile f(path);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(path));
        const qint64 from = qMax<qint64>(before, 0);
        QVERIFY(f.seek(from));
        const QByteArray tail = f.readAll();
        QCOMPARE(int(tail.count('\n')), added);
        if (added > 0) {
            const QString tailPath = r.dir.path() + QStringLiteral("/tail.txt");
            QVERIFY(writeFile(tailPath, tail));
            const QList<QJsonObject> lines = rig::pythonSpoolLines(tailPath);
            QCOMPARE(lines.size(), added);
            for (const QJsonObject& l : lines) {
                QVERIFY(l["ok"].toBool());
                QCOMPARE(l["count"].toInt(), 2000);
            }
        }
    }
    for (const QString& name : others)
        QCOMPARE(fileBytes(r.logs() + QLatin1Char('/') + name), QByteArray("keep\n"));
}

void TestServerThread::uploadOrderAndTimes()
{
    ServerRig::Options o;
    o.storedGuid = QString::fromLatin1(rig::kGuid);
    ServerRig r(o);
    QVERIFY(r.peerStarted);
    QVERIFY(r.bringOnline());
    QVERIFY(r.peer.route(FileUploadPath, 200, rig::ok()));

    QMap<QString, QByteArray> content;
    content["ServerData2.txt"] = handMadeSpool(kT0, 3);
    content["ServerData10.txt"] = handMadeSpool(kT0 + 100000, 2);
    content["ServerData1.txt"] = handMadeSpool(kT0 + 200000, 1);
    for (auto it = content.cbegin(); it != content.cend(); ++it)
        QVERIFY(writeFile(r.logs() + QLatin1Char('/') + it.key(), it.value()));

    auto uploads = [&r]() { return r.peer.requests(FileUploadPath); };
    auto checkUpload = [&](int index, const QString& name) {
        const QList<QJsonObject> all = uploads();
        QVERIFY(all.size() > index);
        const Upload u = uploadOf(all[index]);
        QVERIFY2(u.contentType.startsWith(QLatin1String("multipart/form-data; boundary=")), qPrintable(u.contentType));
        QCOMPARE(u.file["filename"].toString(), name);
        QCOMPARE(u.file["content_type"].toString(), QStringLiteral("application/octet-stream"));
        QCOMPARE(u.file["sha256"].toString(), sha256(content.value(name)));
        QCOMPARE(fileBytes(u.file["saved"].toString()), content.value(name));
        QCOMPARE(u.device["text"].toString(), QString::fromLatin1(rig::kGuid));
        QVERIFY(!QFile::exists(r.logs() + QLatin1Char('/') + name));
        QCOMPARE(r.snap().nextUpload, r.now().addSecs(120));
    };

    r.tick();
    QVERIFY(r.waitIdle());
    checkUpload(0, QStringLiteral("ServerData1.txt"));
    r.advanceSecs(60);
    r.tick();
    QVERIFY(r.waitIdle());
    QCOMPARE(uploads().size(), 1);
    r.advanceSecs(60);
    r.tick();
    QVERIFY(r.waitIdle());
    checkUpload(1, QStringLiteral("ServerData10.txt"));
    r.advanceSecs(120);
    r.tick();
    QVERIFY(r.waitIdle());
    checkUpload(2, QStringLiteral("ServerData2.txt"));

    // Nothing left: look again ten minutes later.
    r.advanceSecs(120);
    r.tick();
    QVERIFY(r.waitIdle());
    QCOMPARE(uploads().size(), 3);
    QCOMPARE(r.snap().nextUpload, r.now().addSecs(600));
    content["ServerData5.txt"] = handMadeSpool(kT0 + 300000, 1);
    QVERIFY(writeFile(r.spoolFile(5), content["ServerData5.txt"]));
    r.advanceSecs(599);
    r.tick();
    QVERIFY(r.waitIdle());
    QCOMPARE(uploads().size(), 3);
    r.advanceSecs(1);
    r.tick();
    QVERIFY(r.waitIdle());
    checkUpload(3, QStringLiteral("ServerData5.txt"));
}

void TestServerThread::downThenBack()
{
    ServerRig::Options o;
    o.storedGuid = QString::fromLatin1(rig::kGuid);
    o.requestTimeoutMs = 2000;
    ServerRig r(o);
    QVERIFY(r.peerStarted);
    QVERIFY(r.peer.route(SensorDataPath, 200, rig::ok()));
    QVERIFY(r.bringOnline());
    const int port = r.peer.port();

    // Up: posted. Down: the posts fail, then the heartbeat, then data waits
    // for an identity again.
    int k = 0;
    for (; k < 3; ++k) {
        r.send(kT0 + k * 1000, rig::batchValues(k, 1000), 1000);
        QVERIFY(r.waitIdle());
    }
    const QList<QJsonObject> postedBefore = r.peer.requests(SensorDataPath);
    r.peer.stop();
    for (; k < 13; ++k) {
        r.send(kT0 + k * 1000, rig::batchValues(k, 1000), 1000);
        QVERIFY(r.waitIdle());
    }
    r.tick();
    QVERIFY(r.waitIdle());
    QCOMPARE(r.snap().state, int(Registered));
    for (; k < 20; ++k)
        r.send(kT0 + k * 1000, rig::batchValues(k, 1000), 1000);
    QCOMPARE(r.snap().batchValues, 1000); // the last second waits in memory
    const int total = k;

    // Back on the same port; the upload is answered after a pause, so the
    // file can be read while it is in flight.
    HttpPeer back;
    QVERIFY2(back.start(port), qPrintable(back.errorString()));
    QVERIFY(back.route(HeartbeatPath, 200, rig::ok()));
    QVERIFY(back.route(SensorDataPath, 200, rig::ok()));
    HttpPeer::Rule upload;
    upload.path = FileUploadPath;
    upload.body = rig::ok();
    upload.delayMs = 700;
    QVERIFY(back.route(upload));
    r.tick();
    QVERIFY(r.waitIdle());
    QCOMPARE(r.snap().state, int(Online));
    // The upload tried while the server was down set a retry 540-659 s on.
    r.advanceSecs(660);

    r.tick(); // heartbeat, the last second written, the spool file sent
    QVERIFY(back.waitForRequests(FileUploadPath, 1));
    QVERIFY(r.snap().uploading);
    const QByteArray inFlight = fileBytes(r.spoolFile(0));
    QVERIFY(!inFlight.isEmpty());
    QVERIFY(r.waitIdle());
    QVERIFY(!r.snap().uploading);

    const QList<QJsonObject> uploads = back.requests(FileUploadPath);
    QCOMPARE(uploads.size(), 1);
    const Upload u = uploadOf(uploads[0]);
    QCOMPARE(u.file["filename"].toString(), QStringLiteral("ServerData0.txt"));
    QCOMPARE(fileBytes(u.file["saved"].toString()), inFlight);
    QVERIFY(!QFile::exists(r.spoolFile(0)));
    QCOMPARE(QDir(r.logs()).entryList({QStringLiteral("ServerData*")}, QDir::Files), QStringList());

    // Every second reached the server once: posted while up, or in the file.
    QList<qint64> seen;
    for (const QJsonObject& req : postedBefore)
        seen << qint64(req["json"].toObject()["time"].toDouble());
    QCOMPARE(seen.size(), 3);
    for (const QJsonValue& v : u.file["lines"].toArray()) {
        const QJsonObject line = v.toObject();
        QVERIFY2(line["ok"].toBool(), qPrintable(line["error"].toString()));
        QCOMPARE(line["samplingRate"].toInt(), 1000);
        const QList<qint64> times = batchTimesOf(line);
        QCOMPARE(line["first"].toDouble(), 50000.0 + (times.first() - kT0) / 1000);
        seen << times;
    }
    std::sort(seen.begin(), seen.end());
    QList<qint64> expected;
    for (int i = 0; i < total; ++i)
        expected << kT0 + i * 1000;
    QCOMPARE(seen, expected);
}

void TestServerThread::appendDuringSlowUpload()
{
    ServerRig::Options o;
    o.storedGuid = QString::fromLatin1(rig::kGuid);
    o.requestTimeoutMs = 5000;
    ServerRig r(o);
    QVERIFY(r.peerStarted);
    QVERIFY(r.bringOnline());

    // About 200 kB read by the server in 4 kB pieces every 30 ms: about
    // 1.5 s in flight. Data posts fail meanwhile, so they are spooled.
    const QByteArray original = handMadeSpool(kT0 - 86400000, 2000);
    QVERIFY(writeFile(r.spoolFile(0), original));
    HttpPeer::Rule upload;
    upload.path = FileUploadPath;
    upload.body = rig::ok();
    upload.readChunk = 4096;
    upload.readPauseMs = 30;
    QVERIFY(r.peer.route(upload));
    QVERIFY(r.peer.route(SensorDataPath, 500, rig::refused()));
    QCOMPARE(r.snap().spoolFileNumber, 0); // the file in flight is the current one

    r.tick();
    QVERIFY(r.snap().uploading);
    // One second at a time, each refused and spooled before the next, so
    // that they join in order; only the upload stays in flight.
    for (int k = 0; k < 6; ++k) {
        r.send(kT0 + k * 1000, rig::batchValues(k, 1000), 1000);
        QDeadlineTimer deadline(5000);
        while (r.snap().pending > 1) {
            QVERIFY(!deadline.hasExpired());
            QTest::qWait(5);
        }
    }
    QCOMPARE(r.peer.requests(SensorDataPath).size(), 6);
    QCOMPARE(r.snap().batchValues, 0);
    QVERIFY2(r.snap().uploading, "the upload ended before the lines were spooled; slow it down");
    QCOMPARE(fileBytes(r.spoolFile(0)), original);
    QVERIFY(r.waitIdle());

    const QList<QJsonObject> uploads = r.peer.requests(FileUploadPath);
    QCOMPARE(uploads.size(), 1);
    const Upload u = uploadOf(uploads[0]);
    QCOMPARE(u.file["sha256"].toString(), sha256(original));
    QVERIFY(!QFile::exists(r.spoolFile(0)));

    // The six seconds went to the next file, three lines, none lost.
    const QList<QJsonObject> lines = rig::pythonSpoolLines(r.spoolFile(1));
    QCOMPARE(lines.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(qint64(lines[i]["time"].toDouble()), kT0 + i * 2000);
        QCOMPARE(lines[i]["count"].toInt(), 2000);
    }
    QCOMPARE(r.snap().spoolFileNumber, 1);

    // The next upload takes that file.
    const QByteArray second = fileBytes(r.spoolFile(1));
    r.advanceSecs(121);
    r.tick();
    QVERIFY(r.waitIdle());
    const QList<QJsonObject> more = r.peer.requests(FileUploadPath);
    QCOMPARE(more.size(), 2);
    QCOMPARE(uploadOf(more[1]).file["filename"].toString(), QStringLiteral("ServerData1.txt"));
    QCOMPARE(uploadOf(more[1]).file["sha256"].toString(), sha256(second));
    QVERIFY(!QFile::exists(r.spoolFile(1)));
}

void TestServerThread::uploadOfCurrentFileInFullRing_data()
{
    QTest::addColumn<QByteArray>("uploadReply");
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("upload confirmed") << rig::ok() << true;
    QTest::newRow("upload refused") << rig::refused() << false;
}

// Six spool files of about 287 kB, file 0 the current one and in flight,
// every data post refused. Nothing may be deleted to keep the file in flight
// as it was sent: new lines wait until the upload ends, whichever way it
// ends, and every second is then in the confirmed upload or in a spool file.
void TestServerThread::uploadOfCurrentFileInFullRing()
{
    QFETCH(QByteArray, uploadReply);
    QFETCH(bool, confirmed);

    ServerRig::Options o;
    o.storedGuid = QString::fromLatin1(rig::kGuid);
    o.requestTimeoutMs = 60000; // the held upload ends by the test's release only
    ServerRig r(o);
    QVERIFY(r.peerStarted);
    const int handMade = 2020; // lines of a file, about 287 kB
    QVector<QByteArray> original;
    for (int n = 0; n < 6; ++n) {
        original << handMadeSpool(kT0 - (6 - n) * 86400000LL, handMade);
        QVERIFY(writeFile(r.spoolFile(n), original[n]));
    }
    QVERIFY(original[0].size() > 280000 && original[0].size() < 300000);
    QVERIFY(r.bringOnline());
    QCOMPARE(r.snap().spoolFileNumber, 0);
    QVERIFY(r.peer.route(SensorDataPath, 500, rig::refused()));
    QVERIFY(holdUploads(r, uploadReply));
    clearLines();

    // One second at a time, each refused and spooled before the next.
    QList<qint64> sent;
    auto sendRefused = [&](int k) {
        const int inFlight = r.snap().uploading ? 1 : 0;
        r.send(kT0 + k * 1000LL, rig::batchValues(k, 1000), 1000);
        sent << kT0 + k * 1000LL;
        return waitFor([&] { return r.snap().pending <= inFlight; });
    };
    auto othersUnchanged = [&]() {
        for (int n = 1; n < 6; ++n)
            if (fileBytes(r.spoolFile(n)) != original[n])
                return false;
        return true;
    };

    // Before: a line in file 0 and a second in memory, which the cycle that
    // sends file 0 writes first.
    for (int k = 0; k < 3; ++k)
        QVERIFY(sendRefused(k));
    r.tick();
    QVERIFY(r.peer.waitForRequests(FileUploadPath, 1, 10000)); // read whole, reply held
    QVERIFY(r.snap().uploading);
    const QByteArray inFlight = fileBytes(r.spoolFile(0));
    QVERIFY(inFlight.startsWith(original[0]));
    QCOMPARE(inFlight.count('\n'), handMade + 2);

    // During: a run, a gap of a second with a second waiting, another run,
    // and a cycle.
    for (int k = 3; k < 8; ++k)
        QVERIFY(sendRefused(k));
    for (int k = 9; k < 12; ++k)
        QVERIFY(sendRefused(k));
    r.tick();
    QVERIFY(waitFor([&] { return r.snap().pending <= 1; }));
    QVERIFY(r.snap().uploading);
    QCOMPARE(fileBytes(r.spoolFile(0)), inFlight);
    QVERIFY2(othersUnchanged(), "a spool file changed while file 0 was in flight");
    QCOMPARE(r.snap().heldValues, 8000);

    // The upload ends; after it, four more seconds and a cycle.
    QVERIFY(r.peer.release(FileUploadPath));
    QVERIFY(waitFor([&] { return !r.snap().uploading; }));
    QCOMPARE(r.snap().heldValues, 0);
    for (int k = 13; k < 17; ++k)
        QVERIFY(sendRefused(k));
    r.tick();
    QVERIFY(r.waitIdle());
    QCOMPARE(r.snap().batchValues, 0);
    QCOMPARE(r.peer.requests(FileUploadPath).size(), 1);

    // Only the confirmed upload went; the ring's deletion never ran.
    QVERIFY2(othersUnchanged(), "a spool file other than the one uploaded changed");
    QCOMPARE(linesWith(QStringLiteral("enter delete")), 0);
    const Upload u = uploadOf(r.peer.requests(FileUploadPath).first());
    QCOMPARE(fileBytes(u.file["saved"].toString()), inFlight);
    // File 0 now: the lines of seconds 3-7, 9-11 and 13-16, alone or after
    // what was sent.
    const QByteArray file0 = fileBytes(r.spoolFile(0));
    QCOMPARE(file0.startsWith(inFlight), !confirmed);
    QCOMPARE(file0.count('\n'), (confirmed ? 0 : handMade + 2) + 7);
    QCOMPARE(QDir(r.logs()).entryList({QStringLiteral("ServerData*")}, QDir::Files).size(), 6);

    // Every second sent is once in the confirmed upload or in a spool file.
    QList<qint64> seen;
    auto collect = [&](const QList<QJsonObject>& lines) {
        for (const QJsonObject& line : lines) {
            QVERIFY2(line["ok"].toBool(), qPrintable(line["error"].toString()));
            if (line["samplingRate"].toInt() != 1000)
                continue; // the hand-made lines
            const QList<qint64> times = batchTimesOf(line);
            QCOMPARE(line["first"].toDouble(), 50000.0 + (times.first() - kT0) / 1000);
            seen << times;
        }
    };
    if (confirmed) {
        QList<QJsonObject> uploaded;
        for (const QJsonValue& v : u.file["lines"].toArray())
            uploaded << v.toObject();
        collect(uploaded);
    }
    for (int n = 0; n < 6; ++n)
        collect(rig::pythonSpoolLines(r.spoolFile(n)));
    std::sort(seen.begin(), seen.end());
    QCOMPARE(seen, sent);
}

// While the upload of the current file in a full ring takes long, the lines
// waiting for it keep the newest ten minutes, with one line in the log.
void TestServerThread::longUploadCapsTheWait()
{
    ServerRig::Options o;
    o.storedGuid = QString::fromLatin1(rig::kGuid);
    o.requestTimeoutMs = 60000;
    ServerRig r(o);
    QVERIFY(r.peerStarted);
    for (int n = 0; n < 6; ++n)
        QVERIFY(writeFile(r.spoolFile(n), handMadeSpool(kT0 - (6 - n) * 86400000LL, 1)));
    QVERIFY(r.bringOnline());
    QVERIFY(holdUploads(r, rig::ok()));
    // The cycle's heartbeat fails: data then goes straight to the spool.
    QVERIFY(r.peer.route(HeartbeatPath, 200, rig::refused()));
    r.tick();
    QVERIFY(r.peer.waitForRequests(FileUploadPath, 1, 10000));
    QVERIFY(r.waitState(Registered));
    QVERIFY(r.snap().uploading);
    clearLines();

    // 700 s at 20 Hz: seven lines' worth; the oldest 100 s give way.
    for (int k = 0; k < 700; ++k)
        r.send(kT0 + k * 1000LL, rig::batchValues(k, 20), 20);
    QCOMPARE(r.snap().heldValues, 600 * 20);
    QCOMPARE(linesWith(QStringLiteral("older ones are dropped")), 1);

    QVERIFY(r.peer.release(FileUploadPath));
    QVERIFY(waitFor([&] { return !r.snap().uploading; }));
    QCOMPARE(r.snap().heldValues, 0);
    QCOMPARE(linesWith(QStringLiteral("2000 were dropped meanwhile")), 1);
    const QList<QJsonObject> lines = rig::pythonSpoolLines(r.spoolFile(0));
    QCOMPARE(lines.size(), 6);
    for (int i = 0; i < lines.size(); ++i) {
        QCOMPARE(qint64(lines[i]["time"].toDouble()), kT0 + (100 + 100 * i) * 1000LL);
        QCOMPARE(lines[i]["count"].toInt(), 2000);
        QCOMPARE(lines[i]["first"].toDouble(), 50000.0 + 100 + 100 * i);
    }
    for (int n = 1; n < 6; ++n)
        QCOMPARE(fileBytes(r.spoolFile(n)), handMadeSpool(kT0 - (6 - n) * 86400000LL, 1));
}

void TestServerThread::timeoutsKeepEveryBatch()
{
    ServerRig::Options o;
    o.storedGuid = QString::fromLatin1(rig::kGuid);
    o.requestTimeoutMs = 1000;
    ServerRig r(o);
    QVERIFY(r.peerStarted);
    QVERIFY(r.bringOnline());
    HttpPeer::Rule hang;
    hang.path = SensorDataPath;
    hang.action = QStringLiteral("hang");
    QVERIFY(r.peer.route(hang));

    const int batches = 12;
    for (int k = 0; k < batches; ++k)
        r.send(kT0 + k * 1000, rig::batchValues(k, 1000), 1000);
    QVERIFY(r.snap().pending <= batches);
    QVERIFY(r.waitIdle(8000)); // each gave up after its second
    QVERIFY(linesWith(QStringLiteral("timed out")) >= batches);

    // All twelve seconds are in the spool: in the file or in memory.
    QList<qint64> seen;
    for (const QJsonObject& line : rig::pythonSpoolLines(r.spoolFile(0)))
        seen << batchTimesOf(line);
    const ServerThread::Snapshot s = r.snap();
    for (int i = 0; i < s.batchValues / 1000; ++i)
        seen << s.batchTimestamp + i * 1000;
    std::sort(seen.begin(), seen.end());
    QList<qint64> expected;
    for (int k = 0; k < batches; ++k)
        expected << kT0 + k * 1000;
    QCOMPARE(seen, expected);
}

void TestServerThread::failingWritesCapTheBatch()
{
    ServerRig r;
    QVERIFY(r.peerStarted);
    QVERIFY(r.peer.route(RegisterPath, 200, rig::refused()));
    // A folder where the spool file should be: every write fails.
    QVERIFY(QDir().mkpath(r.spoolFile(0)));
    r.init();
    QVERIFY(r.waitIdle());

    // Twelve minutes at 20 Hz; ten stay in memory.
    const int seconds = 720;
    for (int k = 0; k < seconds; ++k)
        r.send(kT0 + k * 1000, rig::batchValues(k, 20), 20);
    ServerThread::Snapshot s = r.snap();
    QCOMPARE(s.batchValues, 20 * 600);
    QCOMPARE(s.batchTimestamp, kT0 + (seconds - 600) * 1000LL);
    QCOMPARE(linesWith(QStringLiteral("older ones are dropped")), 1);

    // The disk recovers: the next second writes everything kept.
    QVERIFY(QDir(r.spoolFile(0)).removeRecursively());
    r.send(kT0 + seconds * 1000LL, rig::batchValues(seconds, 20), 20);
    s = r.snap();
    QCOMPARE(s.batchValues, 0);
    QVERIFY(linesWith(QStringLiteral("2400 samples were dropped")) == 1);
    const QList<QJsonObject> lines = rig::pythonSpoolLines(r.spoolFile(0));
    QCOMPARE(lines.size(), 1);
    QCOMPARE(qint64(lines[0]["time"].toDouble()), kT0 + (seconds - 600) * 1000LL);
    QCOMPARE(lines[0]["count"].toInt(), 20 * 601);
    QCOMPARE(lines[0]["first"].toDouble(), 50000.0 + (seconds - 600));
    QCOMPARE(lines[0]["last"].toDouble(), 50000.0 + seconds + 0.19);
}

QTEST_MAIN(TestServerThread)
#include "tst_serverthread.moc"
