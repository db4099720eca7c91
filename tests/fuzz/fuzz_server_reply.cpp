// The monitoring server's replies: arbitrary reply bytes, for every kind of
// request, client state and HTTP verdict, read as the client reads them (a
// UTF-8 byte-order mark dropped, text up to the first NUL, a JSON object with
// "success", "message" and "data") and turned into the client's next step.
// Checked against a second reading written here: a strict JSON reader
// (strictjson.h; where it accepts a text, Qt's reader must find the same
// members: Qt is more lenient, not less) and the client's rules as a table. An identity
// that a reply carries must travel unchanged in the request bodies built
// from it.
//
// Input: byte 0 the request kind (modulo 6) and the client state (divided
// by 6, modulo 4); byte 1 bit 0 the HTTP verdict (1: status 200); then the
// reply's body.

#include "fuzzsupport.h"
#include "serverbodies.h"
#include "strictjson.h"

#include "reporting/serverprotocol.h"

namespace
{

using ServerProtocol::Reply;
using ServerProtocol::ReplyDecision;

// Whether what Qt found for a name (has: a value of the wanted type) is one
// of the values the name has. With one value Qt must find it; with several
// it keeps one of them (the last, but not always when the object also holds
// names that are not ASCII).
bool found(const QVector<StrictJson::Value>& values, bool has, char type, const QString& text, bool flag)
{
    if (values.isEmpty())
        return !has;
    for (const StrictJson::Value& v : values) {
        if (!has && v.type != type)
            return true;
        if (has && v.type == type && (type == 's' ? StrictJson::asQtReadsIt(v) == text : v.flag == flag))
            return true;
    }
    return false;
}

// ---- the client's rules ----

ReplyDecision expectedDecision(const Reply& r, int type, int state, bool statusOk)
{
    ReplyDecision d;
    const bool object = r.kind == Reply::Object;
    d.disable = object && r.hasMessage && r.message == QStringLiteral("设备GUID无效");
    d.state = d.disable ? int(Disabled) : state;
    const bool failed =
        !object || !statusOk || !r.hasSuccess ||
        (!r.success && (type == ScalarData || type == VectorData || type == Heartbeat || type == FileUpload));
    if (failed) {
        d.action = ReplyDecision::Failure;
        if (type == Heartbeat && d.state != Disabled)
            d.state = Registered;
        return d;
    }
    if (!r.success)
        return d; // a registration or status report refused: nothing happens
    switch (type) {
    case Register:
        if (d.state == Disabled)
            break;
        if (r.hasData && r.data.size() == 36) {
            d.action = ReplyDecision::AdoptIdentity;
            d.state = Online;
        } else {
            d.action = ReplyDecision::RegisterAgain;
        }
        break;
    case Heartbeat:
        if (d.state != Disabled)
            d.state = Online;
        break;
    case StatusReport:
        d.action = ReplyDecision::ClearPosition;
        break;
    case FileUpload:
        d.action = ReplyDecision::DeleteUploaded;
        break;
    default:
        break;
    }
    return d;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int type = data[0] % 6;
    const int state = (data[0] / 6) % 4;
    const bool statusOk = data[1] & 1;
    const QByteArray body = FuzzSupport::bytes(data + 2, size - 2);

    bool hadBom = false;
    const QString text = ServerProtocol::replyText(body, &hadBom);
    FUZZ_CHECK(hadBom == body.startsWith("\xEF\xBB\xBF"));
    QByteArray rest = hadBom ? body.mid(3) : body;
    if (rest.contains('\0'))
        rest.truncate(rest.indexOf('\0'));
    FUZZ_CHECK(text == QString::fromUtf8(rest));
    FUZZ_CHECK(!text.contains(QChar(0)));

    const Reply reply = ServerProtocol::parseReply(text);
    StrictJson strict(text.toUtf8());
    if (strict.read() == StrictJson::Valid) {
        FUZZ_CHECK(reply.kind == (strict.topIsObject ? Reply::Object : Reply::NotObject));
        if (reply.kind == Reply::Object) {
            const auto member = [&strict](const char* name) { return strict.members.value(QLatin1String(name)); };
            FUZZ_CHECK(found(member("success"), reply.hasSuccess, 'b', QString(), reply.success));
            FUZZ_CHECK(found(member("message"), reply.hasMessage, 's', reply.message, false));
            FUZZ_CHECK(found(member("data"), reply.hasData, 's', reply.data, false));
        }
    }
    if (reply.kind != Reply::Object)
        FUZZ_CHECK(!reply.hasSuccess && !reply.hasMessage && !reply.hasData);

    const ReplyDecision d = ServerProtocol::decideReply(reply, type, state, statusOk);
    const ReplyDecision e = expectedDecision(reply, type, state, statusOk);
    FUZZ_CHECK(d.disable == e.disable && d.action == e.action && d.state == e.state);
    FUZZ_CHECK(d.state >= Unregistered && d.state <= Disabled);
    // Nothing brings a disabled client back.
    if (state == Disabled)
        FUZZ_CHECK(d.state == Disabled);

    if (reply.hasData)
        ServerBodies::check(reply.data);
    if (reply.hasMessage)
        ServerBodies::check(reply.message);
    return 0;
}
