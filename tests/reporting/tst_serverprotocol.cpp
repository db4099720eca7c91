// Request bodies and reply reading of the monitoring-server client, without
// network or threads. Bodies are compared byte for byte with the layouts
// written out here, and parsed by Python's json module (strictly: NaN and
// Infinity refused), so what a real parser sees is checked, not our own
// reading of it.

#include "reporting/jsoncheck.h"
#include "reporting/serverprotocol.h"

#include <QtTest>

#include <limits>

namespace
{

QByteArray sp(int n)
{
    return QByteArray(n, ' ');
}
const QByteArray nl("\n");
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

XYZST record(double s, double x, double y, double z)
{
    XYZST r;
    r.s = s;
    r.x = x;
    r.y = y;
    r.z = z;
    return r;
}

} // namespace

class TestServerProtocol : public QObject
{
    Q_OBJECT

private slots:
    void defaultAddress();
    void bodyLayout_data();
    void bodyLayout();
    void bodiesParseInPython_data();
    void bodiesParseInPython();
    void replyText_data();
    void replyText();
    void parseReply_data();
    void parseReply();
};

void TestServerProtocol::defaultAddress()
{
    // Built from the CMake cache variable; the test build keeps its default.
    QCOMPARE(ServerProtocol::defaultServerUrl(), QStringLiteral("http://127.0.0.1:8080/monitor-server"));
}

void TestServerProtocol::bodyLayout_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("expected");

    const QString guid = QStringLiteral("123e4567-e89b-12d3-a456-426614174000");
    const QByteArray g = guid.toUtf8();

    QTest::newRow("register") << ServerProtocol::registerBody(QStringLiteral("RQ"))
                              << nl + sp(16) + R"({"deviceType": "RQ"})" + nl + sp(12);
    QTest::newRow("heartbeat") << ServerProtocol::heartbeatBody(guid)
                               << nl + sp(12) + R"({"deviceGuid": ")" + g + R"("})" + nl + sp(8);
    QTest::newRow("status report, 6 significant digits")
        << ServerProtocol::statusReportBody(guid, 48.1173, 11.516667, 545.4)
        << nl + sp(17) + "{" + nl + sp(20) + R"("deviceGuid": ")" + g + R"(",)" + nl + sp(20) +
               R"("gpsInfo": "{\"latitude\": 48.1173, \"longitude\": 11.5167 ,\"altitude\": 545.4}")" + nl + nl +
               sp(17) + "}" + nl + sp(16);
    QTest::newRow("scalar data, two decimals")
        << ServerProtocol::scalarDataBody(guid, QStringLiteral("RQ"), 1776412800000LL,
                                          {48765.4321, -12.5, 0.004, 50000}, 1000, 1)
        << nl + sp(8) + "{" + nl + sp(11) + R"("deviceId": ")" + g + R"(",)" + nl + sp(11) + R"("deviceType": "RQ",)" +
               nl + sp(11) + R"("time": 1776412800000,)" + nl + sp(11) + R"("sensorData": {)" + nl + sp(11) +
               R"("dataType": "SCALAR",)" + nl + sp(11) + R"("values": [48765.43, -12.50, 0.00, 50000.00],)" + nl +
               sp(11) + R"("samplingRate": 1000,)" + nl + sp(11) + R"("intervalMs": 1)" + nl + sp(11) + "}" + nl +
               sp(8) + "}" + nl + sp(12);
    QTest::newRow("scalar data, empty batch")
        << ServerProtocol::scalarDataBody(guid, QStringLiteral("RQ"), 5, {}, 20, 50)
        << nl + sp(8) + "{" + nl + sp(11) + R"("deviceId": ")" + g + R"(",)" + nl + sp(11) + R"("deviceType": "RQ",)" +
               nl + sp(11) + R"("time": 5,)" + nl + sp(11) + R"("sensorData": {)" + nl + sp(11) +
               R"("dataType": "SCALAR",)" + nl + sp(11) + R"("values": [],)" + nl + sp(11) + R"("samplingRate": 20,)" +
               nl + sp(11) + R"("intervalMs": 50)" + nl + sp(11) + "}" + nl + sp(8) + "}" + nl + sp(12);
    QTest::newRow("vector data") << ServerProtocol::vectorDataBody(
                                        guid, QStringLiteral("RQ"), 7,
                                        {record(1, 2, 3, 4), record(-0.5, 0.126, 9.999, 1e5)}, 111, 9)
                                 << nl + sp(8) + "{" + nl + sp(11) + R"("deviceId": ")" + g + R"(",)" + nl + sp(11) +
                                        R"("deviceType": "RQ",)" + nl + sp(11) + R"("time": 7,)" + nl + sp(11) +
                                        R"("sensorData": {)" + nl + sp(11) + R"("dataType": "VECTOR",)" + nl + sp(11) +
                                        R"("vectors": [{"sValue":1.00,"xValue":2.00,"yValue":3.00,"zValue":4.00}, )"
                                        R"({"sValue":-0.50,"xValue":0.13,"yValue":10.00,"zValue":100000.00}],)" +
                                        nl + sp(11) + R"("samplingRate": 111,)" + nl + sp(11) + R"("intervalMs": 9)" +
                                        nl + sp(11) + "}" + nl + sp(8) + "}" + nl + sp(12);
}

void TestServerProtocol::bodyLayout()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, expected);
    QCOMPARE(body, expected);
}

void TestServerProtocol::bodiesParseInPython_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("expected"); // JSON as Python must read the body

    // An identity with a quote, a backslash, a tab, placeholders and CJK.
    const QString odd = QStringLiteral("ab\"c\\d\t%2%1-设备-0123456789abcdefghijk");
    const QByteArray oddText = R"(ab\"c\\d\t%2%1-设备-0123456789abcdefghijk)";

    QTest::newRow("register") << ServerProtocol::registerBody(QStringLiteral("RQ"))
                              << QByteArray(R"({"deviceType":"RQ"})");
    QTest::newRow("heartbeat, identity escaped")
        << ServerProtocol::heartbeatBody(odd) << QByteArray(R"({"deviceGuid":")" + oddText + R"("})");
    // Lone surrogates (a reply may carry "\ud800") have no UTF-8 form; a
    // pair is one character and travels as UTF-8.
    const QString surrogates =
        QString(QChar(0xD800)) + QStringLiteral("abc") + QChar(0xDC00) + QChar(0xD83D) + QChar(0xDE00) + QChar(0xDBFF);
    QTest::newRow("heartbeat, lone surrogates escaped")
        << ServerProtocol::heartbeatBody(surrogates)
        << QByteArray(R"({"deviceGuid":"\ud800abc\udc00\ud83d\ude00\udbff"})");
    QTest::newRow("scalar data, identity escaped, placeholders stay")
        << ServerProtocol::scalarDataBody(odd, QStringLiteral("RQ"), 1776412800123LL, {1.0, 2.25}, 20, 50)
        << QByteArray(R"({"deviceId":")" + oddText +
                      R"(","deviceType":"RQ","time":1776412800123,"sensorData":{"dataType":"SCALAR",)"
                      R"("values":[1.0,2.25],"samplingRate":20,"intervalMs":50}})");
    QTest::newRow("scalar data, non-finite values are null")
        << ServerProtocol::scalarDataBody(QStringLiteral("g"), QStringLiteral("RQ"), 1,
                                          {kNaN, 3.14159, kInf, -kInf, -1e-9}, 1, 1000)
        << QByteArray(R"({"deviceId":"g","deviceType":"RQ","time":1,"sensorData":{"dataType":"SCALAR",)"
                      R"("values":[null,3.14,null,null,-0.0],"samplingRate":1,"intervalMs":1000}})");
    QTest::newRow("status report, inner object")
        << ServerProtocol::statusReportBody(QStringLiteral("g"), -33.8688, 151.2093, kNaN)
        << QByteArray(R"({"deviceGuid":"g","gpsInfo":{"latitude":-33.8688,"longitude":151.209,"altitude":null}})");
    QTest::newRow("status report, large and tiny")
        << ServerProtocol::statusReportBody(QStringLiteral("g"), 1e-5, 179.99999, 1234567.0)
        << QByteArray(R"({"deviceGuid":"g","gpsInfo":{"latitude":1e-05,"longitude":180,"altitude":1.23457e+06}})");
    QTest::newRow("vector data, non-finite is null")
        << ServerProtocol::vectorDataBody(QStringLiteral("g"), QStringLiteral("RQ"), 2, {record(kNaN, 1, -kInf, 2)},
                                          111, 9)
        << QByteArray(R"({"deviceId":"g","deviceType":"RQ","time":2,"sensorData":{"dataType":"VECTOR",)"
                      R"("vectors":[{"sValue":null,"xValue":1,"yValue":null,"zValue":2}],"samplingRate":111,)"
                      R"("intervalMs":9}})");
}

void TestServerProtocol::bodiesParseInPython()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, expected);
    const QStringList verdict = pythonVerdicts({{body, expected}});
    QCOMPARE(verdict.size(), 1);
    QCOMPARE(verdict.first(), QStringLiteral("same"));
}

void TestServerProtocol::replyText_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bom");

    QTest::newRow("plain") << QByteArray(R"({"success":true})") << QStringLiteral(R"({"success":true})") << false;
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF{\"success\":true}")
                                     << QStringLiteral(R"({"success":true})") << true;
    QTest::newRow("up to the first NUL") << QByteArray("{\"a\":1}\0garbage", 15) << QStringLiteral(R"({"a":1})")
                                         << false;
    QTest::newRow("empty") << QByteArray() << QString() << false;
    QTest::newRow("UTF-8 text") << QByteArray(R"({"message":"设备GUID无效"})")
                                << QStringLiteral(R"({"message":"设备GUID无效"})") << false;
}

void TestServerProtocol::replyText()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, text);
    QFETCH(bool, bom);
    bool hadBom = !bom;
    QCOMPARE(ServerProtocol::replyText(body, &hadBom), text);
    QCOMPARE(hadBom, bom);
}

void TestServerProtocol::parseReply_data()
{
    using R = ServerProtocol::Reply;
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("success");     // -1 = no boolean "success"
    QTest::addColumn<QString>("message"); // "-" = no string "message"
    QTest::addColumn<QString>("data");    // "-" = no string "data"

    QTest::newRow("success") << R"({"success": true})" << int(R::Object) << 1 << "-"
                             << "-";
    QTest::newRow("failure with message")
        << R"({"success": false, "message": "设备GUID无效"})" << int(R::Object) << 0 << "设备GUID无效"
        << "-";
    QTest::newRow("registration") << R"({"success":true,"data":"123e4567-e89b-12d3-a456-426614174000"})"
                                  << int(R::Object) << 1 << "-"
                                  << "123e4567-e89b-12d3-a456-426614174000";
    QTest::newRow("success as text") << R"({"success": "true"})" << int(R::Object) << -1 << "-"
                                     << "-";
    QTest::newRow("success as number") << R"({"success": 1})" << int(R::Object) << -1 << "-"
                                       << "-";
    QTest::newRow("message not text") << R"({"success": true, "message": 17})" << int(R::Object) << 1 << "-"
                                      << "-";
    QTest::newRow("data not text") << R"({"success": true, "data": {"guid": "x"}})" << int(R::Object) << 1 << "-"
                                   << "-";
    QTest::newRow("array") << "[1, 2]" << int(R::NotObject) << -1 << "-"
                           << "-";
    QTest::newRow("HTML error page") << "<html><head><title>502 Bad Gateway</title></head></html>" << int(R::NotJson)
                                     << -1 << "-"
                                     << "-";
    QTest::newRow("empty") << "" << int(R::NotJson) << -1 << "-"
                           << "-";
    QTest::newRow("cut short") << R"({"success": tr)" << int(R::NotJson) << -1 << "-"
                               << "-";
}

void TestServerProtocol::parseReply()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(int, success);
    QFETCH(QString, message);
    QFETCH(QString, data);
    const ServerProtocol::Reply r = ServerProtocol::parseReply(text);
    QCOMPARE(int(r.kind), kind);
    QCOMPARE(r.hasSuccess, success >= 0);
    if (success >= 0)
        QCOMPARE(r.success, success == 1);
    QCOMPARE(r.hasMessage, message != QLatin1String("-"));
    if (r.hasMessage)
        QCOMPARE(r.message, message);
    QCOMPARE(r.hasData, data != QLatin1String("-"));
    if (r.hasData)
        QCOMPARE(r.data, data);
}

QTEST_GUILESS_MAIN(TestServerProtocol)
#include "tst_serverprotocol.moc"
