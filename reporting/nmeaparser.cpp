#include "reporting/nmeaparser.h"

#include <QTime>

#include <algorithm>
#include <cmath>

namespace
{

constexpr double kKphPerKnot = 1.852;
constexpr int kRmcMinFields = 12;
constexpr int kGgaMinFields = 10;
constexpr int kGllMinFields = 6;

// Fields that do not read as a finite number count as 0 ("nan" and "inf"
// read as numbers in Qt and would travel on to the server's JSON).
double number(const QString& text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

int integer(const QString& text)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    return ok ? v : 0;
}

// Index where the minutes start: two digits before the decimal point, or 0
// when there is no point (then everything is minutes).
int minutesStart(const QString& value)
{
    return std::max(int(value.indexOf(QLatin1Char('.'))), 2) - 2;
}

bool allDigits(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

bool nameIs(const QString& f0, const char* sentence)
{
    // The talker "GN" (combined systems) is read like "GP".
    return f0.contains(QLatin1String("GP") + QLatin1String(sentence)) ||
           f0.contains(QLatin1String("GN") + QLatin1String(sentence));
}

// A coordinate pair is usable when both values are well formed (or both
// empty, which reads as no position) and inside the globe.
bool positionInRange(const QString& lat, const QString& lon, double latitude, double longitude)
{
    if (!lat.isEmpty() && !Nmea::coordinateWellFormed(lat))
        return false;
    if (!lon.isEmpty() && !Nmea::coordinateWellFormed(lon))
        return false;
    return std::fabs(latitude) <= 90.0 && std::fabs(longitude) <= 180.0;
}

Nmea::Verdict accept(const GpsData& parsed, GpsData& data)
{
    data = parsed;
    return parsed.latitude != 0.0 && parsed.longitude != 0.0 ? Nmea::Verdict::Fix : Nmea::Verdict::NoPosition;
}

QString lineText(const QByteArray& raw)
{
    const int nul = raw.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? raw : raw.left(nul)).trimmed();
}

} // namespace

namespace Nmea
{

QString verdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Fix:
        return QStringLiteral("fix");
    case Verdict::NoPosition:
        return QStringLiteral("no position");
    case Verdict::Ignored:
        return QStringLiteral("not a position sentence");
    case Verdict::BadChecksum:
        return QStringLiteral("checksum mismatch");
    case Verdict::NoFix:
        return QStringLiteral("fix marked invalid by the receiver");
    case Verdict::OutOfRange:
        return QStringLiteral("coordinate out of range or malformed");
    }
    return QString();
}

double toDegrees(const QString& value, const QString& hemisphere)
{
    if (value.isEmpty())
        return 0.0;
    const int n = minutesStart(value);
    const double degrees = number(value.left(n));
    const double minutes = number(value.mid(n));
    const double result = degrees + minutes / 60.0;
    if (hemisphere == QLatin1String("S") || hemisphere == QLatin1String("W"))
        return -result;
    return result;
}

bool coordinateWellFormed(const QString& value)
{
    const int n = minutesStart(value);
    const QString degrees = value.left(n);
    const QString minutes = value.mid(n);
    if (!allDigits(degrees) || minutes.isEmpty())
        return false;
    const int point = minutes.indexOf(QLatin1Char('.'));
    const QString whole = point < 0 ? minutes : minutes.left(point);
    const QString fraction = point < 0 ? QString() : minutes.mid(point + 1);
    if (whole.isEmpty() || !allDigits(whole) || !allDigits(fraction))
        return false;
    // Digits too many for a double would read as 0 degrees: a position near
    // the equator or the prime meridian made of noise.
    bool ok = false;
    if (!degrees.isEmpty() && !(std::isfinite(degrees.toDouble(&ok)) && ok))
        return false;
    // Minutes too long for a double overflow: far beyond 60, not 0.
    const double m = minutes.toDouble(&ok);
    return ok && std::isfinite(m) && m < 60.0;
}

QDateTime toDateTime(const QString& hhmmss, const QString& ddmmyy, const QDate& today)
{
    if (hhmmss.size() < 6)
        return QDateTime();
    const QTime time(integer(hhmmss.mid(0, 2)), integer(hhmmss.mid(2, 2)), integer(hhmmss.mid(4, 2)));
    QDate date = today;
    if (ddmmyy.size() == 6)
        date = QDate(2000 + integer(ddmmyy.mid(4, 2)), integer(ddmmyy.mid(2, 2)), integer(ddmmyy.mid(0, 2)));
    if (!time.isValid() || !date.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::UTC);
}

quint8 checksumOf(const QByteArray& sentence)
{
    int begin = sentence.startsWith('$') ? 1 : 0;
    int end = sentence.indexOf('*');
    if (end < 0)
        end = sentence.size();
    quint8 sum = 0;
    for (int i = begin; i < end; ++i)
        sum ^= quint8(sentence.at(i));
    return sum;
}

Verdict parseSentence(const QString& line, GpsData& data, const QDate& today)
{
    const QString text = line.trimmed();
    if (!text.startsWith(QLatin1Char('$')))
        return Verdict::Ignored;

    // A sentence that carries "*hh" is taken only when it matches; the
    // checksum is cut off before the fields are read.
    QString body = text;
    const int star = text.indexOf(QLatin1Char('*'));
    if (star >= 0) {
        const QString sent = text.mid(star + 1);
        if (sent.size() != 2 || hexDigit(sent.at(0)) < 0 || hexDigit(sent.at(1)) < 0)
            return Verdict::BadChecksum;
        body = text.left(star);
        // The sum is over the bytes as received. Bytes that were no UTF-8
        // became replacement characters on decoding and can no longer be
        // summed (two of them cancel out): such a sentence cannot be confirmed.
        if (body.contains(QChar::ReplacementCharacter))
            return Verdict::BadChecksum;
        const int expected = hexDigit(sent.at(0)) * 16 + hexDigit(sent.at(1));
        if (checksumOf(body.toUtf8()) != expected)
            return Verdict::BadChecksum;
    }

    const QStringList f = body.split(QLatin1Char(','), Qt::KeepEmptyParts);
    const QString& f0 = f.at(0);
    GpsData parsed;

    if (nameIs(f0, "RMC") && f.size() >= kRmcMinFields) {
        if (f.at(2) == QLatin1String("V"))
            return Verdict::NoFix;
        parsed.latitude = toDegrees(f.at(3), f.at(4));
        parsed.longitude = toDegrees(f.at(5), f.at(6));
        if (!positionInRange(f.at(3), f.at(5), parsed.latitude, parsed.longitude))
            return Verdict::OutOfRange;
        parsed.time = toDateTime(f.at(1), f.at(9), today);
        parsed.speedKph = number(f.at(7)) * kKphPerKnot;
        return accept(parsed, data);
    }
    if (nameIs(f0, "GGA") && f.size() >= kGgaMinFields) {
        if (integer(f.at(6)) == 0)
            return Verdict::NoFix;
        parsed.latitude = toDegrees(f.at(2), f.at(3));
        parsed.longitude = toDegrees(f.at(4), f.at(5));
        if (!positionInRange(f.at(2), f.at(4), parsed.latitude, parsed.longitude))
            return Verdict::OutOfRange;
        parsed.satellites = integer(f.at(7));
        parsed.altitude = number(f.at(9));
        return accept(parsed, data);
    }
    if (nameIs(f0, "GLL") && f.size() >= kGllMinFields) {
        // Receivers before NMEA 2.0 send no status field.
        if (f.size() > 6 && f.at(6) == QLatin1String("V"))
            return Verdict::NoFix;
        parsed.latitude = toDegrees(f.at(1), f.at(2));
        parsed.longitude = toDegrees(f.at(3), f.at(4));
        if (!positionInRange(f.at(1), f.at(3), parsed.latitude, parsed.longitude))
            return Verdict::OutOfRange;
        parsed.time = toDateTime(f.at(5), QString(), today);
        return accept(parsed, data);
    }
    return Verdict::Ignored;
}

} // namespace Nmea

QStringList NmeaLineSplitter::feed(const QByteArray& bytes)
{
    QStringList lines;
    int pos = 0;
    while (pos < bytes.size()) {
        const int nl = bytes.indexOf('\n', pos);
        if (nl < 0) {
            if (!m_discarding) {
                m_pending += bytes.mid(pos);
                if (m_pending.size() > kMaxLineBytes) {
                    m_pending.clear();
                    m_discarding = true;
                    ++m_dropped;
                }
            }
            break;
        }
        if (m_discarding) {
            m_discarding = false; // the over-long line ends here
        } else {
            m_pending += bytes.mid(pos, nl - pos);
            if (m_pending.size() > kMaxLineBytes) {
                ++m_dropped;
            } else {
                const QString line = lineText(m_pending);
                if (!line.isEmpty())
                    lines << line;
            }
            m_pending.clear();
        }
        pos = nl + 1;
    }
    return lines;
}

void NmeaLineSplitter::clear()
{
    m_pending.clear();
    m_discarding = false;
    m_dropped = 0;
}

QVector<NmeaResult> NmeaFixReader::feed(const QByteArray& bytes, const QDate& today)
{
    QVector<NmeaResult> results;
    const QStringList lines = m_lines.feed(bytes);
    results.reserve(lines.size());
    for (const QString& line : lines) {
        NmeaResult r;
        r.line = line;
        r.verdict = Nmea::parseSentence(line, r.data, today);
        results.append(r);
    }
    return results;
}
