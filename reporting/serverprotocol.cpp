#include "reporting/serverprotocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringList>

#include <cmath>

#ifndef TERVAL_SERVER_ADDRESS
#error "TERVAL_SERVER_ADDRESS must name the monitoring server (scheme, host and port)"
#endif

namespace ServerProtocol
{

const QString RegisterPath = QStringLiteral("/api/v1/device/register");
const QString HeartbeatPath = QStringLiteral("/api/v1/device/heartbeat");
const QString StatusReportPath = QStringLiteral("/api/v1/device/status/report");
const QString SensorDataPath = QStringLiteral("/api/v1/sensor/data");
const QString FileUploadPath = QStringLiteral("/api/v1/file/upload");

const QString GuidInvalidMessage = QStringLiteral("设备GUID无效");

QString defaultServerUrl()
{
    QString address = QStringLiteral(TERVAL_SERVER_ADDRESS);
    while (address.endsWith(QLatin1Char('/')))
        address.chop(1);
    return address + QStringLiteral("/monitor-server");
}

QString jsonNumber(double value, char format, int precision)
{
    if (!std::isfinite(value))
        return QStringLiteral("null");
    return QString::number(value, format, precision);
}

QString jsonEscaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        // A surrogate without its partner has no UTF-8 form: the body would
        // carry a replacement in its place. Escaped, it travels as it is.
        const bool paired = c.isHighSurrogate() ? i + 1 < text.size() && text.at(i + 1).isLowSurrogate()
                                                : c.isLowSurrogate() && i > 0 && text.at(i - 1).isHighSurrogate();
        if (c.isSurrogate() && !paired) {
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            continue;
        }
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\b':
            out += QLatin1String("\\b");
            break;
        case '\f':
            out += QLatin1String("\\f");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out;
}

QString scalarValuesToJson(const QVector<double>& values)
{
    QStringList parts;
    parts.reserve(values.size());
    for (const double v : values)
        parts << jsonNumber(v, 'f', 2);
    return QLatin1Char('[') + parts.join(QLatin1String(", ")) + QLatin1Char(']');
}

QString vectorValuesToJson(const QVector<XYZST>& records)
{
    QStringList parts;
    parts.reserve(records.size());
    for (const XYZST& r : records)
        parts << QStringLiteral("{\"sValue\":%1,\"xValue\":%2,\"yValue\":%3,\"zValue\":%4}")
                     .arg(jsonNumber(r.s, 'f', 2), jsonNumber(r.x, 'f', 2), jsonNumber(r.y, 'f', 2),
                          jsonNumber(r.z, 'f', 2));
    return QLatin1Char('[') + parts.join(QLatin1String(", ")) + QLatin1Char(']');
}

// Every template is filled in one pass (the multi-argument arg), so a "%2"
// inside an identity is never taken for a placeholder.

QByteArray registerBody(const QString& deviceType)
{
    return QStringLiteral("\n                {\"deviceType\": \"%1\"}\n            ")
        .arg(jsonEscaped(deviceType))
        .toUtf8();
}

QByteArray heartbeatBody(const QString& guid)
{
    return QStringLiteral("\n            {\"deviceGuid\": \"%1\"}\n        ").arg(jsonEscaped(guid)).toUtf8();
}

QByteArray statusReportBody(const QString& guid, double latitude, double longitude, double altitude)
{
    return QStringLiteral("\n                 {\n                    \"deviceGuid\": \"%1\",\n                    "
                          "\"gpsInfo\": \"{\\\"latitude\\\": %2, \\\"longitude\\\": %3 ,\\\"altitude\\\": "
                          "%4}\"\n\n                 }\n                ")
        .arg(jsonEscaped(guid), jsonNumber(latitude, 'g', 6), jsonNumber(longitude, 'g', 6),
             jsonNumber(altitude, 'g', 6))
        .toUtf8();
}

namespace
{

QByteArray dataBody(const QString& dataType, const QString& listName, const QString& guid, const QString& deviceType,
                    qint64 timestamp, const QString& list, int samplingRate, int intervalMs)
{
    return QStringLiteral("\n        {\n           \"deviceId\": \"%1\",\n           \"deviceType\": \"%2\",\n    "
                          "       \"time\": %3,\n           \"sensorData\": {\n           \"dataType\": \"%7\",\n "
                          "          \"%8\": %4,\n           \"samplingRate\": %5,\n           \"intervalMs\": "
                          "%6\n           }\n        }\n            ")
        .arg(jsonEscaped(guid), jsonEscaped(deviceType), QString::number(timestamp), list,
             QString::number(samplingRate), QString::number(intervalMs), dataType, listName)
        .toUtf8();
}

} // namespace

QByteArray scalarDataBody(const QString& guid, const QString& deviceType, qint64 timestamp,
                          const QVector<double>& values, int samplingRate, int intervalMs)
{
    return dataBody(QStringLiteral("SCALAR"), QStringLiteral("values"), guid, deviceType, timestamp,
                    scalarValuesToJson(values), samplingRate, intervalMs);
}

QByteArray vectorDataBody(const QString& guid, const QString& deviceType, qint64 timestamp,
                          const QVector<XYZST>& records, int samplingRate, int intervalMs)
{
    return dataBody(QStringLiteral("VECTOR"), QStringLiteral("vectors"), guid, deviceType, timestamp,
                    vectorValuesToJson(records), samplingRate, intervalMs);
}

QString replyText(const QByteArray& body, bool* hadBom)
{
    QByteArray bytes = body;
    const bool bom = bytes.startsWith("\xEF\xBB\xBF");
    if (bom)
        bytes.remove(0, 3);
    if (hadBom)
        *hadBom = bom;
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromUtf8(bytes);
}

Reply parseReply(const QString& text)
{
    Reply reply;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (doc.isNull()) {
        reply.kind = Reply::NotJson;
        return reply;
    }
    if (!doc.isObject()) {
        reply.kind = Reply::NotObject;
        return reply;
    }
    reply.kind = Reply::Object;
    const QJsonObject o = doc.object();
    const QJsonValue message = o.value(QLatin1String("message"));
    if (message.isString()) {
        reply.hasMessage = true;
        reply.message = message.toString();
    }
    const QJsonValue success = o.value(QLatin1String("success"));
    if (success.isBool()) {
        reply.hasSuccess = true;
        reply.success = success.toBool();
    }
    const QJsonValue data = o.value(QLatin1String("data"));
    if (data.isString()) {
        reply.hasData = true;
        reply.data = data.toString();
    }
    return reply;
}

ReplyDecision decideReply(const Reply& reply, int requestType, int state, bool statusOk)
{
    ReplyDecision d;
    d.state = state;
    // A failed heartbeat lowers the state; nothing raises a disabled client.
    auto fail = [&d, requestType]() {
        d.action = ReplyDecision::Failure;
        if (requestType == Heartbeat && d.state != Disabled)
            d.state = Registered;
    };
    // No usable answer at all (refused, timed out, an HTML error page, an
    // empty body) is a failure like any other: the data goes to the spool.
    if (reply.kind != Reply::Object) {
        fail();
        return d;
    }
    if (reply.hasMessage && reply.message == GuidInvalidMessage) {
        d.disable = true;
        d.state = Disabled;
    }
    // The HTTP verdict comes first: a 500 that says "success" is a failure.
    if (!statusOk || !reply.hasSuccess) {
        fail();
        return d;
    }
    switch (requestType) {
    case Register:
        if (d.state == Disabled || !reply.success)
            break;
        if (reply.hasData && reply.data.size() == kGuidLength) {
            d.action = ReplyDecision::AdoptIdentity;
            d.state = Online;
        } else {
            d.action = ReplyDecision::RegisterAgain;
        }
        break;
    case ScalarData:
    case VectorData:
    case FileUpload:
        if (!reply.success)
            fail();
        else if (requestType == FileUpload)
            d.action = ReplyDecision::DeleteUploaded;
        break;
    case Heartbeat:
        if (!reply.success)
            fail();
        else if (d.state != Disabled)
            d.state = Online;
        break;
    case StatusReport:
        if (reply.success)
            d.action = ReplyDecision::ClearPosition;
        break;
    default:
        break;
    }
    return d;
}

} // namespace ServerProtocol
