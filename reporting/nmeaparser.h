#pragma once
// NMEA 0183 text of the GPS receiver as plain functions and small classes:
// bytes become lines, lines become fixes. No port, thread or clock here, so
// the whole road from received bytes to fixes is tested without either.
//
// Three sentences carry a position: RMC, GGA and GLL, from the talkers "GP"
// (GPS) and "GN" (several satellite systems combined). A sentence counts as
// a fix only when its "*hh" checksum, if it has one, matches the bytes
// received, the receiver marks the fix valid and the coordinates are in
// range.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

// The fix parsed from one sentence; all zero or invalid before parsing.
struct GpsData {
    QDateTime time;       // UTC; from RMC (time and date) and GLL (time, today)
    double latitude = 0;  // decimal degrees, north positive
    double longitude = 0; // decimal degrees, east positive
    double speedKph = 0;  // km/h, RMC only (knots x 1.852)
    double altitude = 0;  // metres as sent, GGA only
    int satellites = 0;   // GGA only
};

namespace Nmea
{

// What became of one line.
enum class Verdict {
    Fix,         // accepted: a position with non-zero latitude and longitude
    NoPosition,  // accepted sentence but latitude or longitude is 0 (or empty)
    Ignored,     // not a sentence, another sentence, or too few fields
    BadChecksum, // "*" present but not followed by the matching two hex digits
    NoFix,       // the receiver marks it invalid: RMC or GLL status "V", GGA quality 0
    OutOfRange,  // latitude beyond 90, longitude beyond 180, minutes not below 60
};

// Short English text for log lines ("checksum mismatch", ...).
QString verdictText(Verdict verdict);

// Degrees from "dddmm.mmmm" and a hemisphere: the part before the two digits
// that precede the decimal point is degrees, the rest minutes. Without a
// decimal point the whole value is minutes ("4807" gives 80.116667). "S" and
// "W" negate. An empty value gives 0.
double toDegrees(const QString& value, const QString& hemisphere);

// True when the value reads as whole degrees >= 0 (a finite number) and
// minutes in [0, 60).
bool coordinateWellFormed(const QString& value);

// hhmmss (fraction ignored) on the date ddmmyy (year 2000 + yy), or on today
// when ddmmyy is not exactly six characters; taken as UTC. Fewer than six
// time characters give an invalid date-time.
QDateTime toDateTime(const QString& hhmmss, const QString& ddmmyy, const QDate& today = QDate::currentDate());

// XOR of the characters between "$" and "*" (or the end).
quint8 checksumOf(const QByteArray& sentence);

// Reads one line into data. data is changed only for an accepted sentence
// (Fix or NoPosition); today is the date that GLL times are put on.
Verdict parseSentence(const QString& line, GpsData& data, const QDate& today = QDate::currentDate());

} // namespace Nmea

// Splits received bytes into lines at "\n". A line is trimmed of white space
// (the CR included), cut at a NUL byte and read as UTF-8. More than
// kMaxLineBytes without a line end is dropped, up to and including the next
// line end, so that a receiver sending noise cannot grow memory.
class NmeaLineSplitter
{
public:
    static constexpr int kMaxLineBytes = 4096;

    QStringList feed(const QByteArray& bytes);
    void clear();

    int pendingBytes() const { return int(m_pending.size()); }
    // Over-long lines dropped since construction or clear().
    int droppedLines() const { return m_dropped; }

private:
    QByteArray m_pending;
    bool m_discarding = false;
    int m_dropped = 0;
};

// One parsed line and what became of it.
struct NmeaResult {
    QString line;
    Nmea::Verdict verdict = Nmea::Verdict::Ignored;
    GpsData data;
};

// Feed bytes, get every line's result in order.
class NmeaFixReader
{
public:
    QVector<NmeaResult> feed(const QByteArray& bytes, const QDate& today = QDate::currentDate());
    void clear() { m_lines.clear(); }
    const NmeaLineSplitter& splitter() const { return m_lines; }

private:
    NmeaLineSplitter m_lines;
};
