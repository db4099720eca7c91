// NMEA 0183 from the GPS receiver: arbitrary bytes through the "feed bytes,
// get fixes" reader, once in one piece and once cut into pieces of many
// sizes (a line may arrive a byte at a time, or 4 KiB at once). Both must
// give the same results, and each result must agree with a second reading of
// the rules written here: lines end at a line feed and are cut at a NUL;
// longer than 4 KiB is dropped; "*hh", when present, is two hex digits
// matching the XOR of the bytes received between "$" and "*"; RMC, GGA and
// GLL from the talkers GP and GN; status "V" or quality 0 is no fix;
// coordinates are "dddmm.mmmm" with minutes below 60 and end within 90 and
// 180 degrees.
//
// Input: the bytes as the port delivers them.

#include "fuzzsupport.h"

#include "reporting/nmeaparser.h"

#include <QRegularExpression>

#include <cmath>
#include <cstdlib>
#include <string>

namespace
{

using Nmea::Verdict;

const QDate kToday(2024, 2, 29);

// Piece sizes for the second feed; 4096 and 4097 sit on the line cap.
const int kPieces[] = {1, 7, 2, 64, 3, 4097, 13, 1, 4096, 5, 255, 11};

struct Expected {
    QString line;
    Verdict verdict = Verdict::Ignored;
    GpsData data;
    // Whether data.time and the number fields other than the position can be
    // predicted here (fields in plain digits); otherwise only sanity is checked.
    bool timeKnown = true;
    bool speedKnown = true;
    bool altitudeKnown = true;
    bool satellitesKnown = true;
};

bool isDigits(const QString& s)
{
    for (const QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

// Plain decimal: optional sign, digits, optional point and digits.
bool isPlainDecimal(const QString& s)
{
    static const QRegularExpression re(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)$"));
    return re.match(s).hasMatch();
}

double cNumber(const QString& s)
{
    const std::string text = s.toStdString();
    return std::strtod(text.c_str(), nullptr);
}

// "dddmm.mmmm": the two digits before the point start the minutes; without a
// point the whole value is minutes. Returns false when it is not digits in
// that form or the minutes reach 60.
bool readCoordinate(const QString& value, const QString& hemisphere, double* degreesOut)
{
    *degreesOut = 0.0;
    if (value.isEmpty())
        return true;
    const int point = value.indexOf(QLatin1Char('.'));
    const int split = point >= 2 ? point - 2 : 0;
    const QString degrees = value.left(split);
    const QString minutes = value.mid(split);
    static const QRegularExpression minutesForm(QStringLiteral("^\\d+(\\.\\d*)?$"));
    if (!isDigits(degrees) || !minutesForm.match(minutes).hasMatch())
        return false;
    const double m = cNumber(minutes);
    if (!(m < 60.0))
        return false;
    // strtod gives infinity for a degrees part too long for a double: out of
    // range, as it truly is.
    const double d = degrees.isEmpty() ? 0.0 : cNumber(degrees);
    double result = d + m / 60.0;
    if (hemisphere == QLatin1String("S") || hemisphere == QLatin1String("W"))
        result = -result;
    *degreesOut = result;
    return true;
}

bool position(const QString& lat, const QString& latHemi, const QString& lon, const QString& lonHemi, GpsData& d)
{
    if (!readCoordinate(lat, latHemi, &d.latitude) || !readCoordinate(lon, lonHemi, &d.longitude))
        return false;
    return std::fabs(d.latitude) <= 90.0 && std::fabs(d.longitude) <= 180.0;
}

int twoDigits(const QString& s, int at)
{
    return s.at(at).digitValue() * 10 + s.at(at + 1).digitValue();
}

// hhmmss on ddmmyy (2000 + yy), or on today without a six-character date.
// Predicted only when the characters read are digits.
bool timeOf(const QString& hhmmss, const QString& ddmmyy, QDateTime* out)
{
    *out = QDateTime();
    if (hhmmss.size() < 6)
        return true;
    if (!isDigits(hhmmss.left(6)) || (ddmmyy.size() == 6 && !isDigits(ddmmyy)))
        return false;
    const QTime time(twoDigits(hhmmss, 0), twoDigits(hhmmss, 2), twoDigits(hhmmss, 4));
    QDate date = kToday;
    if (ddmmyy.size() == 6)
        date = QDate(2000 + twoDigits(ddmmyy, 4), twoDigits(ddmmyy, 2), twoDigits(ddmmyy, 0));
    if (time.isValid() && date.isValid())
        *out = QDateTime(date, time, Qt::UTC);
    return true;
}

int hexValue(QChar c)
{
    const QString digits = QStringLiteral("0123456789abcdef");
    return digits.indexOf(c.toLower());
}

bool named(const QString& f0, const char* sentence)
{
    return f0.contains(QStringLiteral("GP%1").arg(QLatin1String(sentence))) ||
           f0.contains(QStringLiteral("GN%1").arg(QLatin1String(sentence)));
}

Verdict accepted(const GpsData& d)
{
    return d.latitude != 0.0 && d.longitude != 0.0 ? Verdict::Fix : Verdict::NoPosition;
}

// One line: raw is what arrived between two line feeds, cut at a NUL.
Expected readLine(const QByteArray& raw, const QString& text)
{
    Expected e;
    e.line = text;
    if (!text.startsWith(QLatin1Char('$')))
        return e;
    QString body = text;
    const int star = text.indexOf(QLatin1Char('*'));
    if (star >= 0) {
        const QString sent = text.mid(star + 1);
        if (sent.size() != 2 || hexValue(sent.at(0)) < 0 || hexValue(sent.at(1)) < 0) {
            e.verdict = Verdict::BadChecksum;
            return e;
        }
        // Bytes that were no UTF-8 cannot be summed once decoded; a
        // replacement character in the text may stand for any of them.
        if (text.left(star).contains(QChar::ReplacementCharacter)) {
            e.verdict = Verdict::BadChecksum;
            return e;
        }
        // The sum of the bytes as they came, not as they were decoded.
        const int dollar = raw.indexOf('$');
        const int rawStar = raw.indexOf('*', dollar);
        FUZZ_CHECK(dollar >= 0 && rawStar > dollar);
        quint8 sum = 0;
        for (int i = dollar + 1; i < rawStar; ++i)
            sum ^= quint8(raw.at(i));
        if (sum != hexValue(sent.at(0)) * 16 + hexValue(sent.at(1))) {
            e.verdict = Verdict::BadChecksum;
            return e;
        }
        body = text.left(star);
    }
    const QStringList f = body.split(QLatin1Char(','));
    GpsData d;
    if (named(f.at(0), "RMC") && f.size() >= 12) {
        if (f.at(2) == QLatin1String("V")) {
            e.verdict = Verdict::NoFix;
            return e;
        }
        if (!position(f.at(3), f.at(4), f.at(5), f.at(6), d)) {
            e.verdict = Verdict::OutOfRange;
            return e;
        }
        e.timeKnown = timeOf(f.at(1), f.at(9), &d.time);
        e.speedKnown = f.at(7).isEmpty() || isPlainDecimal(f.at(7));
        d.speedKph = f.at(7).isEmpty() ? 0.0 : cNumber(f.at(7)) * 1.852;
    } else if (named(f.at(0), "GGA") && f.size() >= 10) {
        if (f.at(6).toInt() == 0) {
            e.verdict = Verdict::NoFix;
            return e;
        }
        if (!position(f.at(2), f.at(3), f.at(4), f.at(5), d)) {
            e.verdict = Verdict::OutOfRange;
            return e;
        }
        e.satellitesKnown = f.at(7).isEmpty() || (isDigits(f.at(7)) && f.at(7).size() <= 9);
        d.satellites = f.at(7).isEmpty() ? 0 : f.at(7).toInt();
        e.altitudeKnown = f.at(9).isEmpty() || isPlainDecimal(f.at(9));
        d.altitude = f.at(9).isEmpty() ? 0.0 : cNumber(f.at(9));
    } else if (named(f.at(0), "GLL") && f.size() >= 6) {
        if (f.size() > 6 && f.at(6) == QLatin1String("V")) {
            e.verdict = Verdict::NoFix;
            return e;
        }
        if (!position(f.at(1), f.at(2), f.at(3), f.at(4), d)) {
            e.verdict = Verdict::OutOfRange;
            return e;
        }
        e.timeKnown = timeOf(f.at(5), QString(), &d.time);
    } else {
        return e;
    }
    e.data = d;
    e.verdict = accepted(d);
    return e;
}

QVector<Expected> readStream(const QByteArray& bytes)
{
    QVector<Expected> out;
    int start = 0;
    for (;;) {
        const int nl = bytes.indexOf('\n', start);
        if (nl < 0)
            break; // an unended line waits for its end
        QByteArray raw = bytes.mid(start, nl - start);
        start = nl + 1;
        if (raw.size() > NmeaLineSplitter::kMaxLineBytes)
            continue;
        const int nul = raw.indexOf('\0');
        if (nul >= 0)
            raw.truncate(nul);
        const QString text = QString::fromUtf8(raw).trimmed();
        if (!text.isEmpty())
            out << readLine(raw, text);
    }
    return out;
}

bool sameData(const GpsData& a, const GpsData& b)
{
    return a.time == b.time && a.latitude == b.latitude && a.longitude == b.longitude && a.speedKph == b.speedKph &&
           a.altitude == b.altitude && a.satellites == b.satellites;
}

bool sameResult(const NmeaResult& a, const NmeaResult& b)
{
    auto bits = [](double v) { return std::signbit(v) ? -1 : 1; };
    return a.line == b.line && a.verdict == b.verdict && sameData(a.data, b.data) &&
           bits(a.data.latitude) == bits(b.data.latitude) && bits(a.data.longitude) == bits(b.data.longitude);
}

void check(const NmeaResult& r, const Expected& e)
{
    FUZZ_CHECK(r.line == e.line);
    if (r.verdict != e.verdict) {
        std::fprintf(stderr, "line: %s\nverdict %d, expected %d\n", qPrintable(r.line), int(r.verdict), int(e.verdict));
        FUZZ_CHECK(r.verdict == e.verdict);
    }
    const bool taken = r.verdict == Verdict::Fix || r.verdict == Verdict::NoPosition;
    if (!taken) {
        // Nothing of a refused sentence travels.
        FUZZ_CHECK(sameData(r.data, GpsData()));
        return;
    }
    FUZZ_CHECK(r.data.latitude == e.data.latitude && r.data.longitude == e.data.longitude);
    FUZZ_CHECK(std::fabs(r.data.latitude) <= 90.0 && std::fabs(r.data.longitude) <= 180.0);
    if (r.verdict == Verdict::Fix)
        FUZZ_CHECK(r.data.latitude != 0.0 && r.data.longitude != 0.0);
    FUZZ_CHECK(std::isfinite(r.data.speedKph) && std::isfinite(r.data.altitude));
    FUZZ_CHECK(!r.data.time.isValid() || r.data.time.timeSpec() == Qt::UTC);
    if (e.timeKnown)
        FUZZ_CHECK(r.data.time == e.data.time);
    if (e.speedKnown)
        FUZZ_CHECK(r.data.speedKph == e.data.speedKph || (std::isinf(e.data.speedKph) && r.data.speedKph == 0.0));
    if (e.altitudeKnown)
        FUZZ_CHECK(r.data.altitude == e.data.altitude || (std::isinf(e.data.altitude) && r.data.altitude == 0.0));
    if (e.satellitesKnown)
        FUZZ_CHECK(r.data.satellites == e.data.satellites);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = FuzzSupport::bytes(data, size);

    NmeaFixReader whole;
    const QVector<NmeaResult> once = whole.feed(bytes, kToday);

    NmeaFixReader pieces;
    QVector<NmeaResult> split;
    const int count = int(sizeof kPieces / sizeof *kPieces);
    for (int pos = 0, i = int(size % count); pos < bytes.size(); i = (i + 1) % count) {
        split += pieces.feed(bytes.mid(pos, kPieces[i]), kToday);
        pos += kPieces[i];
    }
    FUZZ_CHECK(split.size() == once.size());
    for (int i = 0; i < once.size(); ++i)
        FUZZ_CHECK(sameResult(once.at(i), split.at(i)));
    FUZZ_CHECK(whole.splitter().pendingBytes() <= NmeaLineSplitter::kMaxLineBytes);
    FUZZ_CHECK(pieces.splitter().pendingBytes() <= NmeaLineSplitter::kMaxLineBytes);
    FUZZ_CHECK(whole.splitter().droppedLines() == pieces.splitter().droppedLines());

    const QVector<Expected> expected = readStream(bytes);
    FUZZ_CHECK(once.size() == expected.size());
    for (int i = 0; i < once.size(); ++i)
        check(once.at(i), expected.at(i));
    return 0;
}
