// The hub creates the server client only when "isServer" is 1 and wires it
// to the recording worker: seconds of samples handed to the hub reach a
// scripted HTTP server on 127.0.0.1 as data posts, stamped on the recording
// worker's time line.

#include "core/appfolders.h"
#include "hub/hubrig.h"
#include "reporting/httppeer.h"
#include "reporting/serverprotocol.h"
#include "reporting/serverthread.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace
{

constexpr char kGuid[] = "123e4567-e89b-12d3-a456-426614174000";

// The hub built in a folder whose config.ini says isServer; its workers
// stop with it.
struct HubInFolder {
    QTemporaryDir dir;
    std::unique_ptr<ParamManager> hub;

    explicit HubInFolder(int isServer)
    {
        AppFolders::setOverride(dir.path());
        {
            QSettings s(dir.path() + QStringLiteral("/config.ini"), QSettings::IniFormat);
            s.setValue(QStringLiteral("Server/isServer"), isServer);
            s.sync();
        }
        hub = makeHubIn(dir.path());
    }
    ~HubInFolder()
    {
        stopHubWorkers(*hub);
        AppFolders::setOverride(QString());
    }
};

} // namespace

class TestServerHub : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerSharedMetaTypes(); }
    void noServerClientWhenOff();
    void recordingFeedsServer();
};

void TestServerHub::noServerClientWhenOff()
{
    HubInFolder h(0);
    QCOMPARE(h.hub->isServer, 0);
    QVERIFY(h.hub->serverThread == nullptr);
    emit h.hub->sig_initServer(); // reaches nobody
    QVERIFY(!QFile::exists(h.dir.path() + QStringLiteral("/logs/server.ini")));
}

void TestServerHub::recordingFeedsServer()
{
    HttpPeer peer;
    QVERIFY2(peer.start(), qPrintable(peer.errorString()));
    QVERIFY(peer.route(ServerProtocol::RegisterPath, 200,
                       QStringLiteral(R"({"success": true, "data": "%1"})").arg(QLatin1String(kGuid)).toUtf8()));
    QVERIFY(peer.route(ServerProtocol::SensorDataPath, 200, QByteArray(R"({"success": true})")));

    HubInFolder h(1);
    QCOMPARE(h.hub->isServer, 1);
    ServerThread* server = h.hub->serverThread;
    QVERIFY(server);
    server->setBaseUrl(peer.baseUrl());
    server->setCycleIntervalMs(3600000);

    emit h.hub->sig_initServer();
    QVERIFY(peer.waitForRequests(ServerProtocol::RegisterPath, 1));
    QDeadlineTimer deadline(10000);
    while (server->snapshot().state != Online) {
        QVERIFY(!deadline.hasExpired());
        QTest::qWait(10);
    }
    {
        QSettings s(h.dir.path() + QStringLiteral("/logs/server.ini"), QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Server/GUID")).toString(), QString::fromLatin1(kGuid));
    }

    // Three seconds at 20 Hz, completed a second apart, through the hub as
    // the recording page sends them; recording is off.
    const QDateTime first(QDate(2026, 4, 17), QTime(8, 30, 15, 250), Qt::UTC);
    for (int s = 0; s < 3; ++s) {
        QVector<double> v;
        for (int j = 0; j < 20; ++j)
            v << 49000.0 + s + j * 0.05;
        emit h.hub->sig_saveCSVData(v, 20, first.addSecs(s));
    }
    QVERIFY(peer.waitForRequests(ServerProtocol::SensorDataPath, 3));

    QMap<qint64, QJsonObject> byTime;
    for (const QJsonObject& req : peer.requests(ServerProtocol::SensorDataPath)) {
        QVERIFY(req["json_ok"].toBool());
        const QJsonObject body = req["json"].toObject();
        byTime.insert(qint64(body["time"].toDouble()), body);
    }
    // The time line is anchored at the first batch's completion time and
    // runs on by 20 x 50 ms per batch.
    for (int s = 0; s < 3; ++s) {
        const qint64 t = first.toMSecsSinceEpoch() + s * 1000;
        QVERIFY2(byTime.contains(t), qPrintable(QString::number(t)));
        const QJsonObject body = byTime.value(t);
        QCOMPARE(body["deviceId"].toString(), QString::fromLatin1(kGuid));
        const QJsonObject data = body["sensorData"].toObject();
        QCOMPARE(data["samplingRate"].toInt(), 20);
        QCOMPARE(data["intervalMs"].toInt(), 50);
        const QJsonArray values = data["values"].toArray();
        QCOMPARE(values.size(), 20);
        for (int j = 0; j < 20; ++j)
            QVERIFY(std::fabs(values[j].toDouble() - (49000.0 + s + j * 0.05)) <= 0.005 + 1e-9);
    }
}

QTEST_MAIN(TestServerHub)
#include "tst_serverhub.moc"
