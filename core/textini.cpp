#include "core/textini.h"

#include "core/logger.h"

#include <QFileDevice>
#include <QFileInfo>
#include <QLocale>
#include <QVector>

#include <utility>

namespace TextIni
{

namespace
{

// Problems logged per file read; a file of garbage would otherwise flood
// the log.
constexpr int kMaxProblemsLogged = 5;

// Qt 5's QByteArray overloads of fromLatin1 and fromUtf8 stop at a NUL byte;
// a value may hold one.
QString latin1(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.constData(), bytes.size());
}

QString utf8Text(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes.constData(), bytes.size());
}

// Blanks around keys and unquoted values; other white space is text.
bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray blankTrimmed(const QByteArray& bytes)
{
    int from = 0;
    int to = bytes.size();
    while (from < to && isBlank(bytes.at(from)))
        ++from;
    while (to > from && isBlank(bytes.at(to - 1)))
        --to;
    return bytes.mid(from, to - from);
}

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Keys and group names: "%XX" and "%UXXXX" are characters, "\" stands for
// "/" (Qt's way of putting a sub-group into a key).
QString unescapeKey(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\')) {
            out += QLatin1Char('/');
            continue;
        }
        if (c == QLatin1Char('%')) {
            const bool wide = i + 1 < text.size() && text.at(i + 1) == QLatin1Char('U');
            const int digits = wide ? 4 : 2;
            const int from = wide ? i + 2 : i + 1;
            if (from + digits <= text.size()) {
                int value = 0;
                bool ok = true;
                for (int k = 0; k < digits && ok; ++k) {
                    const ushort u = text.at(from + k).unicode();
                    const int h = u < 128 ? hexValue(char(u)) : -1;
                    ok = h >= 0;
                    value = value * 16 + h;
                }
                if (ok) {
                    out += QChar(ushort(value));
                    i = from + digits - 1;
                    continue;
                }
            }
        }
        out += c;
    }
    return out;
}

bool isGeneral(const QString& name)
{
    return name.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0;
}

// "a//b/" and "/a/b" name the key "a/b", as QSettings itself reads keys.
QString normalizedKey(const QString& key)
{
    return key.split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('/'));
}

QString escapeKey(const QString& key)
{
    static const char hex[] = "0123456789ABCDEF";
    QString out;
    for (const QChar c : key) {
        const ushort u = c.unicode();
        if (u == '/') {
            out += QLatin1Char('\\');
        } else if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '-' ||
                   u == '.') {
            out += c;
        } else if (u <= 0xFF) {
            out += QLatin1Char('%');
            out += QLatin1Char(hex[u >> 4]);
            out += QLatin1Char(hex[u & 15]);
        } else {
            out += QLatin1String("%U");
            for (int shift = 12; shift >= 0; shift -= 4)
                out += QLatin1Char(hex[(u >> shift) & 15]);
        }
    }
    return out;
}

// One value's text (after "=", continued lines joined, a comment cut off)
// to its items: quotes, backslash escapes, unquoted commas between items,
// blanks around unquoted text dropped. Bytes outside escapes are Latin-1,
// or UTF-8 in a file that starts with a UTF-8 byte-order mark.
QStringList unescapeItems(const QByteArray& v, bool utf8)
{
    QStringList items;
    QString item;
    QByteArray run;    // raw bytes waiting to be decoded into item
    int escapedTo = 0; // item up to here came from escapes: never trimmed
    bool itemQuoted = false;
    bool inQuote = false;
    const int n = v.size();
    int i = 0;
    auto flush = [&]() {
        if (!run.isEmpty()) {
            item += utf8 ? utf8Text(run) : latin1(run);
            run.clear();
        }
    };
    auto skipBlanks = [&]() {
        while (i < n && isBlank(v.at(i)))
            ++i;
    };
    auto endItem = [&]() {
        flush();
        if (!itemQuoted) {
            int end = item.size();
            while (end > escapedTo && (item.at(end - 1) == QLatin1Char(' ') || item.at(end - 1) == QLatin1Char('\t')))
                --end;
            item.truncate(end);
        }
        items << item;
        item.clear();
        escapedTo = 0;
        itemQuoted = false;
    };

    skipBlanks();
    while (i < n) {
        const char c = v.at(i);
        if (c == '\\') {
            flush();
            if (i + 1 >= n) {
                ++i;
                continue;
            }
            const char e = v.at(i + 1);
            i += 2;
            switch (e) {
            case 'a':
                item += QChar('\a');
                break;
            case 'b':
                item += QChar('\b');
                break;
            case 'f':
                item += QChar('\f');
                break;
            case 'n':
                item += QChar('\n');
                break;
            case 'r':
                item += QChar('\r');
                break;
            case 't':
                item += QChar('\t');
                break;
            case 'v':
                item += QChar('\v');
                break;
            case '"':
            case '\'':
            case '\\':
            case '?':
                item += QLatin1Char(e);
                break;
            case 'x': {
                // As many hex digits as follow, kept to 16 bits.
                uint value = 0;
                int digits = 0;
                while (i < n && hexValue(v.at(i)) >= 0) {
                    value = ((value << 4) + uint(hexValue(v.at(i)))) & 0xFFFF;
                    ++digits;
                    ++i;
                }
                if (digits > 0)
                    item += QChar(ushort(value));
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    uint value = uint(e - '0');
                    while (i < n && v.at(i) >= '0' && v.at(i) <= '7') {
                        value = ((value << 3) + uint(v.at(i) - '0')) & 0xFFFF;
                        ++i;
                    }
                    item += QChar(ushort(value));
                }
                // Any other escape stands for nothing.
                break;
            }
            escapedTo = item.size();
            continue;
        }
        if (inQuote) {
            if (c == '"') {
                flush();
                inQuote = false;
                ++i;
                skipBlanks();
                continue;
            }
            run += c;
            ++i;
            continue;
        }
        if (c == '"') {
            flush();
            inQuote = true;
            itemQuoted = true;
            ++i;
            continue;
        }
        if (c == ',') {
            endItem();
            ++i;
            skipBlanks();
            continue;
        }
        run += c;
        ++i;
    }
    endItem();
    return items;
}

QVariant valueOf(const QByteArray& text, bool utf8)
{
    QStringList items = unescapeItems(text, utf8);
    for (QString& item : items) {
        if (item.startsWith(QLatin1String("@@")))
            item.remove(0, 1);
        else if (items.size() == 1 && item.startsWith(QLatin1Char('@')))
            return QVariant(item.toUtf8()); // a serialized Qt value: kept as its text, never decoded
    }
    if (items.size() == 1)
        return QVariant(items.first());
    return QVariant(items);
}

void escapeString(const QString& text, QByteArray& out)
{
    const int start = out.size();
    bool needsQuotes = false;
    bool escapeNextIfHex = false; // after "\x.." or "\0" a hex digit would join the escape
    auto hexOf = [&](uint u) { out += "\\x" + QByteArray::number(u, 16); };
    for (const QChar qc : text) {
        const uint u = qc.unicode();
        if (u == ';' || u == ',' || u == '=')
            needsQuotes = true;
        if (escapeNextIfHex && u < 128 && hexValue(char(u)) >= 0) {
            hexOf(u);
            continue;
        }
        escapeNextIfHex = false;
        switch (u) {
        case 0:
            out += "\\0";
            escapeNextIfHex = true;
            break;
        case '\a':
            out += "\\a";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\v':
            out += "\\v";
            break;
        case '"':
        case '\\':
            out += '\\';
            out += char(u);
            break;
        default:
            if (u <= 0x1F || u >= 0x7F) {
                hexOf(u);
                escapeNextIfHex = true;
            } else {
                out += char(u);
            }
        }
    }
    if (needsQuotes || (out.size() > start && (out.at(start) == ' ' || out.at(out.size() - 1) == ' '))) {
        out.insert(start, '"');
        out += '"';
    }
}

QString withAtDoubled(const QString& text)
{
    return text.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + text : text;
}

void writeValue(const QVariant& value, QByteArray& out)
{
    switch (value.userType()) {
    case QMetaType::QString:
        escapeString(withAtDoubled(value.toString()), out);
        break;
    case QMetaType::QByteArray:
        // A kept "@" value goes back as text that Qt reads as text.
        escapeString(withAtDoubled(utf8Text(value.toByteArray())), out);
        break;
    case QMetaType::QStringList: {
        const QStringList items = value.toStringList();
        for (int i = 0; i < items.size(); ++i) {
            if (i > 0)
                out += ", ";
            escapeString(withAtDoubled(items.at(i)), out);
        }
        break;
    }
    case QMetaType::Bool:
        out += value.toBool() ? "true" : "false";
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        out += value.toString().toLatin1();
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        out += QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest).toLatin1();
        break;
    default:
        if (value.isValid())
            escapeString(withAtDoubled(value.toString()), out);
        break;
    }
}

} // namespace

Parsed parse(const QByteArray& data)
{
    Parsed result;
    const int n = data.size();
    int i = 0;
    const bool utf8 = data.startsWith("\xEF\xBB\xBF");
    if (utf8)
        i = 3;
    int lineNo = 1;
    QString group; // empty: the keys without a group ("[General]")

    auto problem = [&](int line, const QString& text) {
        result.problems << QStringLiteral("line %1: %2").arg(line).arg(text);
    };
    // Moves i past one line end (LF, CR or CR LF) and counts it.
    auto takeLineEnd = [&]() {
        if (data.at(i) == '\r' && i + 1 < n && data.at(i + 1) == '\n')
            ++i;
        ++i;
        ++lineNo;
    };
    auto physicalLineEnd = [&](int from) {
        while (from < n && !isLineEnd(data.at(from)))
            ++from;
        return from;
    };

    while (i < n) {
        const char c = data.at(i);
        if (isBlank(c)) {
            ++i;
            continue;
        }
        if (isLineEnd(c)) {
            takeLineEnd();
            continue;
        }
        const int line = lineNo;
        const int end = physicalLineEnd(i);
        if (c == ';') { // a comment line
            i = end;
            continue;
        }
        if (c == '[') {
            const int close = data.indexOf(']', i + 1);
            const bool closed = close >= 0 && close < end;
            const QString name = latin1(blankTrimmed(data.mid(i + 1, (closed ? close : end) - i - 1)));
            if (!closed)
                problem(line, QStringLiteral("group header without ']'"));
            // "[General]" in any letter case holds the keys without a
            // group; a group of that name is written "[%General]".
            if (isGeneral(name))
                group.clear();
            else if (name.startsWith(QLatin1Char('%')) && isGeneral(name.mid(1)))
                group = name.mid(1);
            else
                group = normalizedKey(unescapeKey(name));
            i = end;
            continue;
        }
        const int eq = data.indexOf('=', i);
        if (eq < 0 || eq >= end) {
            problem(line, QStringLiteral("no '=', skipped"));
            i = end;
            continue;
        }
        const QString key = normalizedKey(unescapeKey(latin1(blankTrimmed(data.mid(i, eq - i)))));

        // The value runs to the line end outside quotes; a backslash at the
        // end of a line continues it on the next, and ";" outside quotes
        // starts a comment.
        QByteArray value;
        bool inQuote = false;
        int j = eq + 1;
        while (j < n) {
            const char d = data.at(j);
            if (d == '\\' && j + 1 < n) {
                const char e = data.at(j + 1);
                if (isLineEnd(e)) {
                    j += (e == '\r' && j + 2 < n && data.at(j + 2) == '\n') ? 3 : 2;
                    ++lineNo;
                    continue;
                }
                value += d;
                value += e;
                j += 2;
                continue;
            }
            if (d == '"')
                inQuote = !inQuote;
            if (!inQuote && d == ';') {
                j = physicalLineEnd(j);
                break;
            }
            if (isLineEnd(d)) {
                if (!inQuote)
                    break;
                ++lineNo;
                if (d == '\r' && j + 1 < n && data.at(j + 1) == '\n') {
                    value += "\r\n";
                    j += 2;
                    continue;
                }
            }
            value += d;
            ++j;
        }
        if (inQuote)
            problem(line, QStringLiteral("quote not closed; the value runs to the end of the file"));
        i = j;
        if (key.isEmpty()) {
            problem(line, QStringLiteral("no key before '=', skipped"));
            continue;
        }
        const QString fullKey = group.isEmpty() ? key : group + QLatin1Char('/') + key;
        result.map.insert(fullKey, valueOf(value, utf8)); // a key given twice: the last one counts
    }
    return result;
}

QByteArray serialize(const QSettings::SettingsMap& map)
{
    // Keys without a group first, under "[General]", then the groups in
    // key order, as Qt's INI format writes them.
    QVector<std::pair<QString, QVector<std::pair<QString, QVariant>>>> groups;
    QVector<std::pair<QString, QVariant>> topLevel;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const int slash = it.key().indexOf(QLatin1Char('/'));
        if (slash < 0) {
            topLevel.append({it.key(), it.value()});
            continue;
        }
        const QString name = it.key().left(slash);
        if (groups.isEmpty() || groups.last().first != name)
            groups.append({name, {}});
        groups.last().second.append({it.key().mid(slash + 1), it.value()});
    }
    if (!topLevel.isEmpty())
        groups.prepend({QString(), topLevel});

    QByteArray out;
    for (int g = 0; g < groups.size(); ++g) {
        if (g > 0)
            out += '\n';
        const QString& name = groups.at(g).first;
        out += '[';
        if (name.isEmpty())
            out += "General";
        else if (isGeneral(name))
            out += '%' + name.toLatin1();
        else
            out += escapeKey(name).toLatin1();
        out += "]\n";
        for (const auto& entry : groups.at(g).second) {
            out += escapeKey(entry.first).toLatin1();
            out += '=';
            writeValue(entry.second, out);
            out += '\n';
        }
    }
    return out;
}

bool read(QIODevice& device, QSettings::SettingsMap& map)
{
    const QByteArray data = device.readAll();
    Parsed parsed = parse(data);
    map = std::move(parsed.map);
    if (!parsed.problems.isEmpty()) {
        auto* file = qobject_cast<QFileDevice*>(&device);
        const QString name = file ? QFileInfo(file->fileName()).fileName() : QStringLiteral("settings file");
        for (int k = 0; k < parsed.problems.size() && k < kMaxProblemsLogged; ++k)
            Logger::instance()->log(name + QStringLiteral(": ") + parsed.problems.at(k));
        if (parsed.problems.size() > kMaxProblemsLogged)
            Logger::instance()->log(
                QStringLiteral("%1: %2 more such lines").arg(name).arg(parsed.problems.size() - kMaxProblemsLogged));
    }
    return true;
}

bool write(QIODevice& device, const QSettings::SettingsMap& map)
{
    const QByteArray out = serialize(map);
    return device.write(out) == out.size();
}

QSettings::Format format()
{
    static const QSettings::Format registered = QSettings::registerFormat(QStringLiteral("ini"), read, write);
    return registered;
}

} // namespace TextIni
