#pragma once
// A strict JSON reader (RFC 8259) for the fuzz targets: a second reading of
// the server's replies beside Qt's, and a check that the request bodies are
// JSON that any strict reader takes. It keeps the members of the top object
// only.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

class StrictJson
{
public:
    enum Result { Valid, Invalid, Unsure };

    struct Value {
        char type = 0; // 's' string, 'b' boolean, 'n' number, 'z' null, 'o' object or array
        QString text;  // a string's text, a number as written
        bool flag = false;
        bool plain = false; // a string without escapes
    };

    explicit StrictJson(const QByteArray& bytes) : s(bytes) {}

    // Qt's reader takes an object or an array as the document, after a
    // UTF-8 byte-order mark if there is one. Unsure: valid, but for numbers
    // a double cannot hold or nesting near Qt's limit, where Qt decides.
    Result read()
    {
        if (s.startsWith("\xEF\xBB\xBF"))
            p = 3;
        space();
        if (p >= s.size() || (s.at(p) != '{' && s.at(p) != '['))
            return Invalid;
        topIsObject = s.at(p) == '{';
        Value top;
        if (!value(0, true, &top))
            return unsure ? Unsure : Invalid;
        space();
        if (p != s.size())
            return Invalid;
        return unsure ? Unsure : Valid;
    }

    bool topIsObject = false;
    // Every value each name has in the top object, in order.
    QMap<QString, QVector<Value>> members;

    // Qt 5 reads a string value without escapes with QString::fromUtf8,
    // which drops a leading U+FEFF as a byte-order mark; with escapes it
    // keeps it. (Names keep it when Qt looks them up.)
    static QString asQtReadsIt(const Value& v)
    {
        return v.plain && v.text.startsWith(QChar(0xFEFF)) ? v.text.mid(1) : v.text;
    }

private:
    // UTF-8 to text, keeping a leading U+FEFF: inside a string it is a
    // character.
    static QString utf8(const QByteArray& bytes) { return QString::fromUtf8("x" + bytes).mid(1); }

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
        for (int i = p; i < p + 4; ++i)
            if (!std::isxdigit(uchar(s.at(i))))
                return false;
        bool ok = false;
        *out = s.mid(p, 4).toUShort(&ok, 16);
        p += 4;
        return ok;
    }

    bool string(Value* out)
    {
        if (peek() != '"')
            return false;
        ++p;
        out->type = 's';
        out->plain = true;
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
            out->plain = false;
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
        out->text = text;
        return true;
    }

    bool number(Value* out)
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
        out->type = 'n';
        out->text = QString::fromLatin1(s.mid(start, p - start));
        // Qt refuses numbers a double cannot hold; where that line lies is
        // its own business.
        const std::string text = out->text.toStdString();
        const double v = std::strtod(text.c_str(), nullptr);
        if (!std::isfinite(v) || (v != 0 && std::fabs(v) < DBL_MIN) ||
            (v == 0 && text.find_first_of("123456789") < text.find_first_of("eE")))
            unsure = true;
        return true;
    }

    bool value(int depth, bool top, Value* out)
    {
        // Qt stops at 1024 nested containers; stay clear of the edge.
        if (depth > 1000) {
            unsure = true;
            return false;
        }
        space();
        const char c = peek();
        if (c == '{' || c == '[') {
            out->type = 'o';
            const char close = c == '{' ? '}' : ']';
            ++p;
            space();
            if (peek() == close) {
                ++p;
                return true;
            }
            for (;;) {
                space();
                Value key;
                if (c == '{') {
                    if (!string(&key))
                        return false;
                    space();
                    if (peek() != ':')
                        return false;
                    ++p;
                }
                Value member;
                if (!value(depth + 1, false, &member))
                    return false;
                if (top && c == '{')
                    members[key.text].append(member);
                space();
                if (peek() == ',') {
                    ++p;
                    continue;
                }
                if (peek() != close)
                    return false;
                ++p;
                return true;
            }
        }
        if (c == '"')
            return string(out);
        if (c == 't' || c == 'f') {
            out->type = 'b';
            out->flag = c == 't';
            return literal(out->flag ? "true" : "false");
        }
        if (c == 'n') {
            out->type = 'z';
            return literal("null");
        }
        return number(out);
    }

    const QByteArray s;
    int p = 0;
    bool unsure = false;
};
