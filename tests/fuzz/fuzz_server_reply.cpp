// The monitoring server's replies: arbitrary reply bytes, for every kind of
// request, client state and HTTP verdict, read as the client reads them (a
// UTF-8 byte-order mark dropped, text up to the first NUL, a JSON object with
// "success", "message" and "data") and turned into the client's next step.
// Checked against a second reading written here: a strict JSON reader
// (where it accepts a text, Qt's reader must find the same members; Qt is
// more lenient, not less) and the client's rules as a table. An identity
// that a reply carries must travel unchanged in the request bodies built
// from it.
//
// Input: byte 0 the request kind (modulo 6) and the client state (divided
// by 6, modulo 4); byte 1 bit 0 the HTTP verdict (1: status 200); then the
// reply's body.

#include "fuzzsupport.h"
#include "serverbodies.h"

#include "reporting/serverprotocol.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{

using ServerProtocol::Reply;
using ServerProtocol::ReplyDecision;

// ---- a strict JSON reader (RFC 8259), members of the top object only ----

struct Value {
    char type = 0; // 's' string, 'b' boolean, 'o' other
    QString text;
    bool flag = false;
};

// Every value a name has in the top object. With one, Qt must find it; with
// several, Qt keeps one of them (usually the last, but not always when the
// object also holds names that are not ASCII).
using Member = QVector<Value>;

// UTF-8 to text, keeping a leading U+FEFF (QString::fromUtf8 drops it as a
// byte-order mark, but inside a JSON string it is a character).
QString utf8(const QByteArray& bytes)
{
    return QString::fromUtf8("x" + bytes).mid(1);
}

class StrictJson
{
public:
    enum Result { Valid, Invalid, Unsure };

    explicit StrictJson(const QByteArray& bytes) : s(bytes) {}

    // Qt's reader takes an object or an array as the document, after a
    // UTF-8 byte-order mark if there is one.
    Result read()
    {
        if (s.startsWith("\xEF\xBB\xBF"))
            p = 3;
        space();
        if (p >= s.size() || (s.at(p) != '{' && s.at(p) != '['))
            return Invalid;
        topIsObject = s.at(p) == '{';
        if (!value(0, true))
            return unsure ? Unsure : Invalid;
        space();
        if (p != s.size())
            return Invalid;
        return unsure ? Unsure : Valid;
    }

    bool topIsObject = false;
    Member success, message, data;

private:
    char peek() const { return p < s.size() ? s.at(p) : '\0'; }

    void space()
    {
        while (p < s.size() && (s.at(p) == ' ' || s.at(p) == '\t' || s.at(p) == '\n' || s.at(p) == '\r'))
            ++p;
    }

    bool literal(const char* word)
    {
        const int n = int(std::strlen(word));
        if (s.mid(p, n) != word)
            return false;
        p += n;
        return true;
    }

    bool hex4(ushort* out)
    {
        if (p + 4 > s.size())
            return false;
        bool ok = false;
        *out = s.mid(p, 4).toUShort(&ok, 16);
        // toUShort would take a sign or blanks; four hex digits only.
        for (int i = p; i < p + 4; ++i)
            if (!std::isxdigit(uchar(s.at(i))))
                return false;
        p += 4;
        return ok;
    }

    bool string(QString* out)
    {
        if (peek() != '"')
            return false;
        ++p;
        QByteArray run; // raw UTF-8 between escapes
        QString text;
        for (;;) {
            if (p >= s.size())
                return false;
            const uchar c = uchar(s.at(p++));
            if (c == '"')
                break;
            if (c < 0x20)
                return false;
            if (c != '\\') {
                run += char(c);
                continue;
            }
            text += utf8(run);
            run.clear();
            if (p >= s.size())
                return false;
            const char e = s.at(p++);
            switch (e) {
            case '"':
            case '\\':
            case '/':
                text += QLatin1Char(e);
                break;
            case 'b':
                text += QLatin1Char('\b');
                break;
            case 'f':
                text += QLatin1Char('\f');
                break;
            case 'n':
                text += QLatin1Char('\n');
                break;
            case 'r':
                text += QLatin1Char('\r');
                break;
            case 't':
                text += QLatin1Char('\t');
                break;
            case 'u': {
                ushort unit = 0;
                if (!hex4(&unit))
                    return false;
                text += QChar(unit); // lone surrogates are kept as they are
                break;
            }
            default:
                return false;
            }
        }
        text += utf8(run);
        *out = text;
        return true;
    }

    bool number()
    {
        const int start = p;
        if (peek() == '-')
            ++p;
        if (peek() == '0') {
            ++p;
        } else if (peek() >= '1' && peek() <= '9') {
            while (std::isdigit(uchar(peek())))
                ++p;
        } else {
            return false;
        }
        if (peek() == '.') {
            ++p;
            if (!std::isdigit(uchar(peek())))
                return false;
            while (std::isdigit(uchar(peek())))
                ++p;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++p;
            if (peek() == '+' || peek() == '-')
                ++p;
            if (!std::isdigit(uchar(peek())))
                return false;
            while (std::isdigit(uchar(peek())))
                ++p;
        }
        // Qt refuses numbers a double cannot hold; where that line lies is
        // its own business.
        const std::string text = s.mid(start, p - start).toStdString();
        const double v = std::strtod(text.c_str(), nullptr);
        if (!std::isfinite(v) || (v != 0 && std::fabs(v) < DBL_MIN) ||
            (v == 0 && text.find_first_of("123456789") < text.find_first_of("eE")))
            unsure = true;
        return true;
    }

    bool value(int depth, bool top)
    {
        // Qt stops at 1024 nested containers; stay clear of the edge.
        if (depth > 1000) {
            unsure = true;
            return false;
        }
        space();
        const char c = peek();
        if (c == '{') {
            ++p;
            space();
            if (peek() == '}') {
                ++p;
                return true;
            }
            for (;;) {
                space();
                QString key;
                if (!string(&key))
                    return false;
                space();
                if (peek() != ':')
                    return false;
                ++p;
                space();
                Value m;
                const char v = peek();
                if (v == '"') {
                    m.type = 's';
                    if (!string(&m.text))
                        return false;
                } else if (v == 't' || v == 'f') {
                    m.type = 'b';
                    m.flag = v == 't';
                    if (!literal(m.flag ? "true" : "false"))
                        return false;
                } else {
                    m.type = 'o';
                    if (!value(depth + 1, false))
                        return false;
                }
                if (top && key == QLatin1String("success"))
                    success << m;
                else if (top && key == QLatin1String("message"))
                    message << m;
                else if (top && key == QLatin1String("data"))
                    data << m;
                space();
                if (peek() == ',') {
                    ++p;
                    continue;
                }
                if (peek() != '}')
                    return false;
                ++p;
                return true;
            }
        }
        if (c == '[') {
            ++p;
            space();
            if (peek() == ']') {
                ++p;
                return true;
            }
            for (;;) {
                if (!value(depth + 1, false))
                    return false;
                space();
                if (peek() == ',') {
                    ++p;
                    continue;
                }
                if (peek() != ']')
                    return false;
                ++p;
                return true;
            }
        }
        if (c == '"') {
            QString ignored;
            return string(&ignored);
        }
        if (c == 't')
            return literal("true");
        if (c == 'f')
            return literal("false");
        if (c == 'n')
            return literal("null");
        return number();
    }

    const QByteArray s;
    int p = 0;
    bool unsure = false;
};

// Whether what Qt found for a name (has: a value of the wanted type) is one
// of the values the name has.
bool found(const Member& values, bool has, char type, const QString& text, bool flag)
{
    if (values.isEmpty())
        return !has;
    for (const Value& v : values) {
        if (!has && v.type != type)
            return true;
        if (has && v.type == type && (type == 's' ? v.text == text : v.flag == flag))
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
            FUZZ_CHECK(found(strict.success, reply.hasSuccess, 'b', QString(), reply.success));
            FUZZ_CHECK(found(strict.message, reply.hasMessage, 's', reply.message, false));
            FUZZ_CHECK(found(strict.data, reply.hasData, 's', reply.data, false));
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
