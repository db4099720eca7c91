#pragma once
// Shared by the server fuzz targets: an identity (from a reply or from
// "server.ini") must reach the server unchanged in every request body built
// with it, as a strict JSON reader reads the body.

#include "fuzzsupport.h"
#include "strictjson.h"

#include "reporting/serverprotocol.h"

namespace ServerBodies
{

// The one value of a top-level name of a JSON object text.
inline StrictJson::Value member(const QByteArray& json, const char* name)
{
    StrictJson reader(json);
    if (reader.read() != StrictJson::Valid || !reader.topIsObject)
        std::fprintf(stderr, "not a JSON object: %s\n", json.constData());
    FUZZ_CHECK(reader.topIsObject);
    const QVector<StrictJson::Value> values = reader.members.value(QLatin1String(name));
    FUZZ_CHECK(values.size() == 1);
    return values.first();
}

inline bool isString(const StrictJson::Value& v, const QString& text)
{
    return v.type == 's' && v.text == text;
}

inline bool isNumber(const StrictJson::Value& v, double number)
{
    return v.type == 'n' && std::strtod(v.text.toLatin1().constData(), nullptr) == number;
}

inline void check(const QString& identity)
{
    FUZZ_CHECK(isString(member(ServerProtocol::heartbeatBody(identity), "deviceGuid"), identity));
    const QByteArray status = ServerProtocol::statusReportBody(identity, 48.1173, -11.5, 545.4);
    FUZZ_CHECK(isString(member(status, "deviceGuid"), identity));
    const StrictJson::Value gps = member(status, "gpsInfo");
    FUZZ_CHECK(gps.type == 's');
    FUZZ_CHECK(isNumber(member(gps.text.toUtf8(), "latitude"), 48.1173));
    FUZZ_CHECK(isNumber(member(gps.text.toUtf8(), "altitude"), 545.4));
    const QByteArray sample =
        ServerProtocol::scalarDataBody(identity, QStringLiteral("RQ"), 1700000000000, {1.0, 2.5}, 1000, 1);
    FUZZ_CHECK(isString(member(sample, "deviceId"), identity));
}

} // namespace ServerBodies
