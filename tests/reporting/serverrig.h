#pragma once
// Fixture of the server-client tests: the client on its own thread with its
// logs folder in a temporary folder, talking to a scripted HTTP server on
// 127.0.0.1, with a clock the test moves and the 30 s cycle driven by the
// test. Calls into the client are blocking, so when one returns the client
// has done its part (requests posted, files written).

#include "core/appfolders.h"
#include "reporting/httppeer.h"
#include "reporting/serverprotocol.h"
#include "reporting/serverthread.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <functional>
#include <memory>

namespace rig
{

constexpr char kGuid[] = "123e4567-e89b-12d3-a456-426614174000";
inline QByteArray ok()
{
    return QByteArrayLiteral(R"({"success": true})");
}
inline QByteArray refused()
{
    return QByteArrayLiteral(R"({"success": false})");
}
// 2026-04-17 08:00:00 UTC: the tests' "now" until they move the clock.
inline QDateTime clockBase()
{
    return QDateTime(QDate(2026, 4, 17), QTime(8, 0), Qt::UTC);
}
// Batch k of a run: a recognisable field value per sample.
inline QVector<double> batchValues(int k, int rate)
{
    QVector<double> v;
    v.reserve(rate);
    for (int j = 0; j < rate; ++j)
        v.append(50000.0 + k + j * 0.01);
    return v;
}

// Spool files read back by Python: per line the summary http_peer.py
// gives (time, samplingRate, intervalMs, count, first, last, nulls, ok).
inline QList<QJsonObject> pythonSpoolLines(const QString& path)
{
    QProcess py;
    const QString code =
        QStringLiteral("import sys, json\n"
                       "sys.path.insert(0, sys.argv[1])\n"
                       "import http_peer\n"
                       "text = open(sys.argv[2], 'rb').read().decode('utf-8')\n"
                       "print(json.dumps({'newline_end': text.endswith('\\n'),\n"
                       "  'lines': [http_peer.summarise_line(l) for l in text.split('\\n') if l != '']}))\n");
    py.start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"), code, qEnvironmentVariable("TERVAL_SOURCE_DIR") + QStringLiteral("/tests/peers"), path});
    if (!py.waitForFinished(30000)) {
        py.kill();
        py.waitForFinished(5000);
        return {};
    }
    QList<QJsonObject> out;
    const QJsonObject o = QJsonDocument::fromJson(py.readAllStandardOutput()).object();
    if (!o.value(QStringLiteral("newline_end")).toBool())
        return {};
    for (const QJsonValue& v : o.value(QStringLiteral("lines")).toArray())
        out << v.toObject();
    return out;
}

} // namespace rig

struct ServerRigOptions {
    QString storedGuid; // written to server.ini when not empty
    bool startPeer = true;
    int requestTimeoutMs = 4000;
    int cycleMs = 3600000; // the test drives the cycle itself
};

class ServerRig
{
public:
    using Options = ServerRigOptions;

    explicit ServerRig(const Options& options = Options()) : m_offsetMs(std::make_shared<std::atomic<qint64>>(0))
    {
        AppFolders::setOverride(dir.path());
        QDir().mkpath(logs());
        if (!options.storedGuid.isEmpty())
            writeGuid(options.storedGuid);
        if (options.startPeer)
            peerStarted = peer.start();
        server = std::make_unique<ServerThread>();
        server->setBaseUrl(peer.baseUrl());
        server->setCycleIntervalMs(options.cycleMs);
        server->setRequestTimeoutMs(options.requestTimeoutMs);
        const auto offset = m_offsetMs;
        server->setClock([offset]() { return rig::clockBase().addMSecs(offset->load()); });
        QObject::connect(
            server.get(), &ServerThread::sig_beginGPS, server.get(), [this]() { ++gpsBegun; }, Qt::DirectConnection);
    }

    ~ServerRig()
    {
        server->shutdown();
        server.reset();
        peer.stop();
        AppFolders::setOverride(QString());
    }

    QString logs() const { return dir.path() + QStringLiteral("/logs"); }
    QString spoolFile(int n) const { return logs() + QStringLiteral("/ServerData%1.txt").arg(n); }
    void writeGuid(const QString& guid)
    {
        QSettings s(logs() + QStringLiteral("/server.ini"), QSettings::IniFormat);
        s.setValue(QStringLiteral("Server/GUID"), guid);
        s.sync();
    }
    QString storedGuid() const
    {
        QSettings s(logs() + QStringLiteral("/server.ini"), QSettings::IniFormat);
        return s.value(QStringLiteral("Server/GUID")).toString();
    }
    // The base address points elsewhere (a closed port) before init.
    void setBaseUrl(const QString& url) { server->setBaseUrl(url); }

    void init()
    {
        onClient([this] { server->slot_init(); });
    }
    void tick()
    {
        onClient([this] { server->handleTimeout(); });
    }
    void send(qint64 timestamp, const QVector<double>& values, int rate)
    {
        onClient([=] { server->slot_SendServerScalarData(timestamp, values, rate, 1000 / rate); });
    }
    void gps(double lat, double lon, double alt, int sats)
    {
        onClient([=] { server->slot_GPSData1(lat, lon, alt, sats); });
    }
    ServerThread::Snapshot snap() { return server->snapshot(); }
    QDateTime now() const { return rig::clockBase().addMSecs(m_offsetMs->load()); }
    void advanceSecs(qint64 s) { m_offsetMs->fetch_add(s * 1000); }

    // Waits (bounded) until the client has nothing in flight.
    bool waitIdle(int timeoutMs = 10000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (snap().pending > 0) {
            if (deadline.hasExpired())
                return false;
            QTest::qWait(10);
        }
        return true;
    }
    bool waitState(int state, int timeoutMs = 10000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (snap().state != state) {
            if (deadline.hasExpired())
                return false;
            QTest::qWait(10);
        }
        return true;
    }
    // Stored identity, heartbeat answered: the client is online.
    bool bringOnline()
    {
        if (!peer.route(ServerProtocol::HeartbeatPath, 200, rig::ok()))
            return false;
        init();
        return waitState(Online) && waitIdle();
    }

    QTemporaryDir dir;
    HttpPeer peer;
    bool peerStarted = false;
    std::unique_ptr<ServerThread> server;
    std::atomic<int> gpsBegun{0};

private:
    void onClient(const std::function<void()>& f)
    {
        QMetaObject::invokeMethod(server.get(), f, Qt::BlockingQueuedConnection);
    }

    std::shared_ptr<std::atomic<qint64>> m_offsetMs;
};
