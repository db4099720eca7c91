#pragma once
// The monitoring server's HTTP interface without any network: request paths,
// the JSON bodies the client posts and the reading of its replies. Plain
// functions, so that bodies and replies are tested without threads.

#include "core/types.h"
#include "reporting/serveruploadrecord.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace ServerProtocol
{

// Appended to the base address; the base address ends in "/monitor-server".
extern const QString RegisterPath;
extern const QString HeartbeatPath;
extern const QString StatusReportPath;
extern const QString SensorDataPath;
extern const QString FileUploadPath;

// The server's word for an identity it does not know; it disables the client.
extern const QString GuidInvalidMessage;

// A device identity is a textual UUID; only its length is tested.
constexpr int kGuidLength = 36;

// The built-in base address: the server address chosen at build time
// followed by "/monitor-server". Nothing at run time changes it.
QString defaultServerUrl();

// A number as JSON: QString::number(value, format, precision), or null when
// the value is not finite (NaN and infinities have no JSON form).
QString jsonNumber(double value, char format, int precision);
// Text escaped for use between the double quotes of a JSON string.
QString jsonEscaped(const QString& text);

// "[v, v, ...]" with two decimals each.
QString scalarValuesToJson(const QVector<double>& values);
// "[{"sValue":s,"xValue":x,"yValue":y,"zValue":z}, ...]" with two decimals each.
QString vectorValuesToJson(const QVector<XYZST>& records);

// Request bodies, UTF-8, laid out as the server has always received them.
QByteArray registerBody(const QString& deviceType);
QByteArray heartbeatBody(const QString& guid);
// The position travels as a JSON string that holds a JSON object text.
QByteArray statusReportBody(const QString& guid, double latitude, double longitude, double altitude);
QByteArray scalarDataBody(const QString& guid, const QString& deviceType, qint64 timestamp,
                          const QVector<double>& values, int samplingRate, int intervalMs);
QByteArray vectorDataBody(const QString& guid, const QString& deviceType, qint64 timestamp,
                          const QVector<XYZST>& records, int samplingRate, int intervalMs);

// Reply bytes as text: a leading UTF-8 byte-order mark dropped (*hadBom
// tells), decoded as UTF-8 up to the first NUL byte.
QString replyText(const QByteArray& body, bool* hadBom = nullptr);

// What a reply text says.
struct Reply {
    enum Kind { NotJson, NotObject, Object };
    Kind kind = NotJson;
    bool hasMessage = false; // "message" is a string
    QString message;
    bool hasSuccess = false; // "success" is a boolean
    bool success = false;
    bool hasData = false; // "data" is a string
    QString data;
};
Reply parseReply(const QString& text);

// What the client does with one finished request: decided from what the
// reply says, the HTTP verdict (status 200), the request's kind and the
// client's state. The client only carries it out (and logs).
struct ReplyDecision {
    enum Action {
        None,           // nothing beyond the state below
        Failure,        // the failure action of the request's kind
        AdoptIdentity,  // registration: Reply::data becomes the identity, saved
        RegisterAgain,  // registration confirmed without a usable identity
        ClearPosition,  // status report confirmed: wait for the next fix
        DeleteUploaded, // upload confirmed: the spool file goes
    };
    bool disable = false; // "message" says the identity is invalid: state 3, timer released
    Action action = None;
    int state = Unregistered; // the client's state afterwards (a ServerState)
};
ReplyDecision decideReply(const Reply& reply, int requestType, int state, bool statusOk);

} // namespace ServerProtocol
