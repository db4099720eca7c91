#pragma once
// Shared by the server fuzz targets: an identity (from a reply or from
// "server.ini") must reach the server unchanged in every request body built
// with it, read back by Qt's JSON reader.

#include "fuzzsupport.h"

#include "reporting/serverprotocol.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace ServerBodies
{

inline QJsonObject parsed(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (!doc.isObject())
        std::fprintf(stderr, "body: %s\nerror: %s\n", body.constData(), qPrintable(error.errorString()));
    FUZZ_CHECK(doc.isObject());
    return doc.object();
}

inline void check(const QString& identity)
{
    const QString guid = QStringLiteral("deviceGuid");
    FUZZ_CHECK(parsed(ServerProtocol::heartbeatBody(identity)).value(guid).toString() == identity);
    const QJsonObject status = parsed(ServerProtocol::statusReportBody(identity, 48.1173, -11.5, 545.4));
    FUZZ_CHECK(status.value(guid).toString() == identity);
    const QJsonObject gps = parsed(status.value(QStringLiteral("gpsInfo")).toString().toUtf8());
    FUZZ_CHECK(gps.value(QStringLiteral("latitude")).toDouble() == 48.1173);
    FUZZ_CHECK(gps.value(QStringLiteral("altitude")).toDouble() == 545.4);
    const QJsonObject sample =
        parsed(ServerProtocol::scalarDataBody(identity, QStringLiteral("RQ"), 1700000000000, {1.0, 2.5}, 1000, 1));
    FUZZ_CHECK(sample.value(QStringLiteral("deviceId")).toString() == identity);
}

} // namespace ServerBodies
