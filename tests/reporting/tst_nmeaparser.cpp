// The NMEA core without threads or ports: sentences to fixes, coordinates
// and times, the checksum, status and range filters, the "GN" talker, and
// the line splitter with its 4 KiB cap. Expected numbers are worked out by
// hand (degrees + minutes / 60); checksums come from make_handmade.py's
// formula run in Python.

#include "core/filebytes.h"
#include "reporting/nmeaparser.h"

#include <QFile>
#include <QtTest>

#include <cmath>

using Nmea::Verdict;
Q_DECLARE_METATYPE(Nmea::Verdict)

namespace
{

const QDate kToday(2026, 4, 17);
constexpr double kTol = 1e-9;

QString dataFile(const QString& name)
{
    return QString::fromLocal8Bit(qgetenv("TERVAL_SOURCE_DIR")) + QStringLiteral("/tests/reporting/data/") + name;
}

// The capture as the receiver sends it: the sentence lines with CR LF.
QByteArray wireBytes(const QByteArray& file)
{
    QByteArray out;
    for (const QByteArray& line : file.split('\n')) {
        const QByteArray l = line.trimmed();
        if (!l.isEmpty() && !l.startsWith('#'))
            out += l + "\r\n";
    }
    return out;
}

} // namespace

class TestNmeaParser : public QObject
{
    Q_OBJECT
private slots:
    void sentences_data();
    void sentences();
    void rejected_data();
    void rejected();
    void rejectedLeavesDataAlone();
    void talkerGnReadLikeGp_data();
    void talkerGnReadLikeGp();
    void toDegrees_data();
    void toDegrees();
    void toDateTime_data();
    void toDateTime();
    void sentenceTimes();
    void captureBytesToFixes_data();
    void captureBytesToFixes();
    void splitter_data();
    void splitter();
    void lineCap_data();
    void lineCap();
    void checksumOverReceivedBytes_data();
    void checksumOverReceivedBytes();
};

void TestNmeaParser::sentences_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<double>("speed");
    QTest::addColumn<double>("alt");
    QTest::addColumn<int>("sats");

    // 4807.038 N = 48 + 7.038/60; 01131.000 E = 11 + 31/60; 22.4 kn x 1.852.
    QTest::newRow("RMC 12 fields, no checksum") << "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W"
                                                << Verdict::Fix << 48.1173 << 11.516666666666667 << 41.4848 << 0.0 << 0;
    QTest::newRow("RMC with checksum") << "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A"
                                       << Verdict::Fix << 48.1173 << 11.516666666666667 << 41.4848 << 0.0 << 0;
    QTest::newRow("GGA") << "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47" << Verdict::Fix
                         << 48.1173 << 11.516666666666667 << 0.0 << 545.4 << 8;
    // 4916.45 N = 49 + 16.45/60; 12311.12 W = -(123 + 11.12/60).
    QTest::newRow("GLL west") << "$GPGLL,4916.45,N,12311.12,W,225444,A*31" << Verdict::Fix << 49.274166666666667
                              << -123.18533333333333 << 0.0 << 0.0 << 0;
    // Leading zeros, however many, change nothing.
    QTest::newRow("GLL with 500 leading zeros")
        << QStringLiteral("$GPGLL,") + QString(500, QLatin1Char('0')) + QStringLiteral("4916.45,N,12311.12,W,225444,A")
        << Verdict::Fix << 49.274166666666667 << -123.18533333333333 << 0.0 << 0.0 << 0;
    QTest::newRow("GLL without status (before NMEA 2.0)")
        << "$GPGLL,4916.45,N,12311.12,W,225444*5C" << Verdict::Fix << 49.274166666666667 << -123.18533333333333 << 0.0
        << 0.0 << 0;
    QTest::newRow("GGA quality 6 (estimated) is a fix")
        << "$GPGGA,123519,4807.038,N,01131.000,E,6,08,0.9,545.4,M,46.9,M,,*40" << Verdict::Fix << 48.1173
        << 11.516666666666667 << 0.0 << 545.4 << 8;
    // The checksum is cut before the fields are read: with ten fields the
    // altitude is the last one.
    QTest::newRow("GGA 10 fields, checksum on the altitude")
        << "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4*7E" << Verdict::Fix << 48.1173 << 11.516666666666667
        << 0.0 << 545.4 << 8;
    QTest::newRow("edges of the globe") << "$GPGGA,123519,9000.000,S,18000.000,W,1,08,0.9,545.4,M,46.9,M,,*4A"
                                        << Verdict::Fix << -90.0 << -180.0 << 0.0 << 545.4 << 8;
    QTest::newRow("lower-case checksum digits")
        << "$GNRMC,101010.00,A,3351.86012,S,15112.76543,E,12.250,181.3,010124,,,D*6c" << Verdict::Fix
        << -(33 + 51.86012 / 60) << 151 + 12.76543 / 60 << 12.25 * 1.852 << 0.0 << 0;
    QTest::newRow("non-finite numbers count as 0") << "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,nan,M,46.9,M,,*08"
                                                   << Verdict::Fix << 48.1173 << 11.516666666666667 << 0.0 << 0.0 << 8;
    QTest::newRow("infinite speed counts as 0") << "$GPRMC,123519,A,4807.038,N,01131.000,E,inf,084.4,230394,003.1,W*21"
                                                << Verdict::Fix << 48.1173 << 11.516666666666667 << 0.0 << 0.0 << 0;
    QTest::newRow("surrounding white space")
        << "  $GPGLL,4916.45,N,12311.12,W,225444,A*31\r\n"
        << Verdict::Fix << 49.274166666666667 << -123.18533333333333 << 0.0 << 0.0 << 0;
    QTest::newRow("RMC without position is no fix to pass on")
        << "$GPRMC,123519,A,,,,,022.4,084.4,230394,003.1,W" << Verdict::NoPosition << 0.0 << 0.0 << 41.4848 << 0.0 << 0;
}

void TestNmeaParser::sentences()
{
    QFETCH(QString, line);
    QFETCH(Verdict, verdict);
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(double, speed);
    QFETCH(double, alt);
    QFETCH(int, sats);

    GpsData d;
    QCOMPARE(Nmea::parseSentence(line, d, kToday), verdict);
    QVERIFY2(std::fabs(d.latitude - lat) <= kTol, qPrintable(QString::number(d.latitude, 'g', 17)));
    QVERIFY2(std::fabs(d.longitude - lon) <= kTol, qPrintable(QString::number(d.longitude, 'g', 17)));
    QVERIFY2(std::fabs(d.speedKph - speed) <= kTol, qPrintable(QString::number(d.speedKph, 'g', 17)));
    QVERIFY2(std::fabs(d.altitude - alt) <= kTol, qPrintable(QString::number(d.altitude, 'g', 17)));
    QCOMPARE(d.satellites, sats);
}

void TestNmeaParser::rejected_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<Verdict>("verdict");

    // Checksums: right sentence, wrong or malformed "*hh".
    QTest::newRow("checksum off by one bit")
        << "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6B" << Verdict::BadChecksum;
    QTest::newRow("checksum of another sentence")
        << "$GPRMC,123520,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A" << Verdict::BadChecksum;
    QTest::newRow("one checksum digit") << "$GPGLL,4916.45,N,12311.12,W,225444,A*3" << Verdict::BadChecksum;
    QTest::newRow("three checksum digits") << "$GPGLL,4916.45,N,12311.12,W,225444,A*310" << Verdict::BadChecksum;
    QTest::newRow("no checksum digits") << "$GPGLL,4916.45,N,12311.12,W,225444,A*" << Verdict::BadChecksum;
    QTest::newRow("not hex") << "$GPGLL,4916.45,N,12311.12,W,225444,A*3G" << Verdict::BadChecksum;
    QTest::newRow("byte changed in transit")
        << "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.5,M,46.9,M,,*47" << Verdict::BadChecksum;

    // Fixes the receiver marks invalid.
    QTest::newRow("RMC status V") << "$GPRMC,123519,V,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*7D"
                                  << Verdict::NoFix;
    QTest::newRow("GLL status V") << "$GPGLL,4916.45,N,12311.12,W,225444,V*26" << Verdict::NoFix;
    QTest::newRow("GGA quality 0") << "$GPGGA,120000,4807.038,N,01131.000,E,0,00,99.9,,M,,M,,*4B" << Verdict::NoFix;
    QTest::newRow("GGA quality empty") << "$GPGGA,123519,4807.038,N,01131.000,E,,08,0.9,545.4,M,46.9,M,,*76"
                                       << Verdict::NoFix;
    QTest::newRow("GNRMC status V, no position") << "$GNRMC,120001,V,,,,,,,230394,,,N*40" << Verdict::NoFix;

    // Coordinates outside the globe or not in dddmm.mmm form.
    QTest::newRow("latitude 91") << "$GPRMC,123519,A,9100.000,N,01131.000,E,022.4,084.4,230394,003.1,W*62"
                                 << Verdict::OutOfRange;
    QTest::newRow("longitude 181") << "$GPRMC,123519,A,4807.038,N,18100.000,E,022.4,084.4,230394,003.1,W*60"
                                   << Verdict::OutOfRange;
    QTest::newRow("minutes 60") << "$GPRMC,123519,A,4860.000,N,01131.000,E,022.4,084.4,230394,003.1,W*60"
                                << Verdict::OutOfRange;
    QTest::newRow("no decimal point: all minutes") << "$GPGLL,4807,N,01131.000,E,225444,A*3C" << Verdict::OutOfRange;
    QTest::newRow("negative degrees") << "$GPRMC,123519,A,-4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*47"
                                      << Verdict::OutOfRange;
    QTest::newRow("letter in the degrees") << "$GPGLL,48a7.038,N,01131.000,E,225444,A*78" << Verdict::OutOfRange;
    // 400 digits of degrees are no number a double holds; read as 0 they
    // would give latitude 0.208333 (12.5 minutes).
    QTest::newRow("degrees beyond a double")
        << QStringLiteral("$GPGLL,") + QString(400, QLatin1Char('9')) + QStringLiteral("12.5,N,01131.000,E,225444,A")
        << Verdict::OutOfRange;
    // Minutes without a decimal point and with hundreds of digits overflow a
    // double: far beyond 60, not the 0 (no position) they would read as.
    QTest::newRow("minutes beyond a double")
        << QStringLiteral("$GPGLL,") + QString(60, QLatin1Char('0')) + QLatin1Char('1') +
               QString(520, QLatin1Char('0')) + QStringLiteral(",N,12311.12,W,225444,A")
        << Verdict::OutOfRange;

    // Everything else.
    QTest::newRow("RMC with 11 fields") << "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1"
                                        << Verdict::Ignored;
    QTest::newRow("GGA with 9 fields") << "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9" << Verdict::Ignored;
    QTest::newRow("GLL with 5 fields") << "$GPGLL,4916.45,N,12311.12,W" << Verdict::Ignored;
    QTest::newRow("GLONASS talker") << "$GLRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*76"
                                    << Verdict::Ignored;
    QTest::newRow("lower-case name") << "$gprmc,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W"
                                     << Verdict::Ignored;
    QTest::newRow("other sentence") << "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48" << Verdict::Ignored;
    QTest::newRow("no dollar") << "GPGLL,4916.45,N,12311.12,W,225444,A*31" << Verdict::Ignored;
    QTest::newRow("empty") << "" << Verdict::Ignored;
    QTest::newRow("dollar alone") << "$" << Verdict::Ignored;
}

void TestNmeaParser::rejected()
{
    QFETCH(QString, line);
    QFETCH(Verdict, verdict);
    GpsData d;
    QCOMPARE(Nmea::parseSentence(line, d, kToday), verdict);
    QCOMPARE(d.latitude, 0.0);
    QCOMPARE(d.longitude, 0.0);
}

void TestNmeaParser::rejectedLeavesDataAlone()
{
    // A refused sentence must not overwrite the last fix with half a fix.
    GpsData d;
    QCOMPARE(Nmea::parseSentence("$GPGLL,4916.45,N,12311.12,W,225444,A*31", d, kToday), Verdict::Fix);
    const GpsData before = d;
    QCOMPARE(Nmea::parseSentence("$GPRMC,123519,A,9100.000,N,01131.000,E,022.4,084.4,230394,003.1,W*62", d, kToday),
             Verdict::OutOfRange);
    QCOMPARE(Nmea::parseSentence("$GPRMC,123519,V,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*7D", d, kToday),
             Verdict::NoFix);
    QCOMPARE(d.latitude, before.latitude);
    QCOMPARE(d.longitude, before.longitude);
    QCOMPARE(d.time, before.time);
    QCOMPARE(d.speedKph, before.speedKph);
}

void TestNmeaParser::talkerGnReadLikeGp_data()
{
    QTest::addColumn<QString>("gp");
    QTest::addColumn<QString>("gn");
    QTest::newRow("RMC") << "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A"
                         << "$GNRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*74";
    QTest::newRow("GGA") << "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47"
                         << "$GNGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*59";
    QTest::newRow("GLL") << "$GPGLL,4916.45,N,12311.12,W,225444,A*31"
                         << "$GNGLL,4916.45,N,12311.12,W,225444,A*2F";
}

void TestNmeaParser::talkerGnReadLikeGp()
{
    QFETCH(QString, gp);
    QFETCH(QString, gn);
    GpsData a, b;
    QCOMPARE(Nmea::parseSentence(gp, a, kToday), Verdict::Fix);
    QCOMPARE(Nmea::parseSentence(gn, b, kToday), Verdict::Fix);
    QCOMPARE(b.latitude, a.latitude);
    QCOMPARE(b.longitude, a.longitude);
    QCOMPARE(b.altitude, a.altitude);
    QCOMPARE(b.satellites, a.satellites);
    QCOMPARE(b.speedKph, a.speedKph);
    QCOMPARE(b.time, a.time);
}

void TestNmeaParser::toDegrees_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("hemisphere");
    QTest::addColumn<double>("degrees");
    QTest::newRow("no point: all minutes") << "4807"
                                           << "N" << 80.116666666666667;
    QTest::newRow("south") << "1230.0"
                           << "S" << -12.5;
    QTest::newRow("west, three-digit degrees") << "12311.12"
                                               << "W" << -123.18533333333333;
    QTest::newRow("east") << "01131.000"
                          << "E" << 11.516666666666667;
    QTest::newRow("one-digit degrees") << "512.5"
                                       << "N" << 5.2083333333333333;
    QTest::newRow("minutes only") << "7.25"
                                  << "E" << 0.12083333333333333;
    QTest::newRow("empty") << ""
                           << "S" << 0.0;
    QTest::newRow("hemisphere is case-sensitive") << "1230.0"
                                                  << "s" << 12.5;
    QTest::newRow("high precision") << "4717.11437"
                                    << "N" << 47.285239500000000;
}

void TestNmeaParser::toDegrees()
{
    QFETCH(QString, value);
    QFETCH(QString, hemisphere);
    QFETCH(double, degrees);
    const double got = Nmea::toDegrees(value, hemisphere);
    QVERIFY2(std::fabs(got - degrees) <= kTol, qPrintable(QString::number(got, 'g', 17)));
}

void TestNmeaParser::toDateTime_data()
{
    QTest::addColumn<QString>("hhmmss");
    QTest::addColumn<QString>("ddmmyy");
    QTest::addColumn<QDateTime>("expected");
    QTest::newRow("date, century 2000") << "123519"
                                        << "230394" << QDateTime(QDate(2094, 3, 23), QTime(12, 35, 19), Qt::UTC);
    QTest::newRow("fraction ignored") << "225444.87"
                                      << "010124" << QDateTime(QDate(2024, 1, 1), QTime(22, 54, 44), Qt::UTC);
    QTest::newRow("no date: today") << "225444"
                                    << "" << QDateTime(kToday, QTime(22, 54, 44), Qt::UTC);
    QTest::newRow("date not six characters: today") << "000001"
                                                    << "1012024" << QDateTime(kToday, QTime(0, 0, 1), Qt::UTC);
    QTest::newRow("short time") << "12351"
                                << "230394" << QDateTime();
    QTest::newRow("hour 25") << "250000"
                             << "230394" << QDateTime();
    QTest::newRow("31 February") << "120000"
                                 << "310224" << QDateTime();
}

void TestNmeaParser::toDateTime()
{
    QFETCH(QString, hhmmss);
    QFETCH(QString, ddmmyy);
    QFETCH(QDateTime, expected);
    const QDateTime got = Nmea::toDateTime(hhmmss, ddmmyy, kToday);
    QCOMPARE(got.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(got, expected);
        QCOMPARE(got.timeSpec(), Qt::UTC);
    }
}

void TestNmeaParser::sentenceTimes()
{
    GpsData rmc, gga, gll;
    Nmea::parseSentence("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A", rmc, kToday);
    Nmea::parseSentence("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47", gga, kToday);
    Nmea::parseSentence("$GPGLL,4916.45,N,12311.12,W,225444,A*31", gll, kToday);
    QCOMPARE(rmc.time, QDateTime(QDate(2094, 3, 23), QTime(12, 35, 19), Qt::UTC));
    QVERIFY(!gga.time.isValid()); // GGA's time is not taken
    QCOMPARE(gll.time, QDateTime(kToday, QTime(22, 54, 44), Qt::UTC));
}

void TestNmeaParser::captureBytesToFixes_data()
{
    QTest::addColumn<int>("chunk");
    QTest::newRow("whole capture") << 0;
    QTest::newRow("one byte at a time") << 1;
    QTest::newRow("7 bytes") << 7;
    QTest::newRow("64 bytes") << 64;
}

void TestNmeaParser::captureBytesToFixes()
{
    // The Garmin 17N capture, cut anywhere: six fixes (RMC, GGA, GLL twice)
    // at 5213.1439 N = 52 + 13.1439/60, 02100.6511 E = 21 + 0.6511/60.
    QFETCH(int, chunk);
    const QByteArray wire = wireBytes(fileBytes(dataFile("garmin17n.log")));
    QVERIFY(!wire.isEmpty());
    NmeaFixReader reader;
    QVector<NmeaResult> results;
    const int step = chunk > 0 ? chunk : wire.size();
    for (int i = 0; i < wire.size(); i += step)
        results += reader.feed(wire.mid(i, step), kToday);
    QCOMPARE(results.size(), 22); // every sentence line comes out once

    QVector<GpsData> fixes;
    for (const NmeaResult& r : results) {
        if (r.verdict == Verdict::Fix)
            fixes << r.data;
        else
            QVERIFY2(r.verdict == Verdict::Ignored, qPrintable(r.line));
    }
    QCOMPARE(fixes.size(), 6);
    const double alt[] = {0, 137.2, 0, 0, 137.2, 0};
    const int sats[] = {0, 10, 0, 0, 10, 0};
    for (int i = 0; i < 6; ++i) {
        QVERIFY(std::fabs(fixes[i].latitude - 52.219065) <= kTol);
        QVERIFY(std::fabs(fixes[i].longitude - 21.010851666666667) <= kTol);
        QVERIFY(std::fabs(fixes[i].altitude - alt[i]) <= kTol);
        QCOMPARE(fixes[i].satellites, sats[i]);
        QCOMPARE(fixes[i].speedKph, 0.0);
    }
    QCOMPARE(fixes[0].time, QDateTime(QDate(2005, 3, 16), QTime(9, 38, 2), Qt::UTC));
    QCOMPARE(fixes[5].time, QDateTime(kToday, QTime(9, 38, 3), Qt::UTC));
    QCOMPARE(reader.splitter().pendingBytes(), 0);
}

void TestNmeaParser::splitter_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("CR LF") << QList<QByteArray>{"$A\r\n$B\r\n"} << QStringList{"$A", "$B"};
    QTest::newRow("LF only") << QList<QByteArray>{"$A\n$B\n"} << QStringList{"$A", "$B"};
    QTest::newRow("partial line waits") << QList<QByteArray>{"$A\r\n$B"} << QStringList{"$A"};
    QTest::newRow("split across writes") << QList<QByteArray>{"$A,1", "2,3\r", "\n$B", "\r\n"}
                                         << QStringList{"$A,12,3", "$B"};
    QTest::newRow("blank lines skipped") << QList<QByteArray>{"\r\n\r\n$A\r\n  \r\n"} << QStringList{"$A"};
    QTest::newRow("cut at NUL") << QList<QByteArray>{QByteArray("$A,1\0garbage\r\n", 14)} << QStringList{"$A,1"};
    QTest::newRow("UTF-8") << QList<QByteArray>{"$A,\xC2\xB0\r\n"} << QStringList{QString::fromUtf8("$A,\xC2\xB0")};
}

void TestNmeaParser::splitter()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QStringList, lines);
    NmeaLineSplitter s;
    QStringList got;
    for (const QByteArray& p : pieces)
        got += s.feed(p);
    QCOMPARE(got, lines);
    QCOMPARE(s.droppedLines(), 0);
}

void TestNmeaParser::lineCap_data()
{
    QTest::addColumn<int>("length"); // bytes before CR LF
    QTest::addColumn<int>("piece");  // bytes per feed
    QTest::addColumn<bool>("kept");
    QTest::newRow("4096 bytes, one piece") << 4096 << 0 << true;
    QTest::newRow("4096 bytes in 100-byte pieces") << 4096 << 100 << true;
    QTest::newRow("4097 bytes, one piece") << 4097 << 0 << false;
    QTest::newRow("4097 bytes in 100-byte pieces") << 4097 << 100 << false;
    QTest::newRow("1 MiB in 1000-byte pieces") << (1 << 20) << 1000 << false;
}

void TestNmeaParser::lineCap()
{
    // A long line (CR included in the count) followed by a good sentence:
    // the long one is kept or dropped whole, the next is read either way.
    QFETCH(int, length);
    QFETCH(int, piece);
    QFETCH(bool, kept);
    const QByteArray good = "$GPGLL,4916.45,N,12311.12,W,225444,A*31\r\n";
    const QByteArray longLine = "$" + QByteArray(length - 2, 'x') + "\r\n";
    const QByteArray wire = longLine + good;

    NmeaFixReader reader;
    QVector<NmeaResult> results;
    int maxPending = 0;
    const int step = piece > 0 ? piece : wire.size();
    for (int i = 0; i < wire.size(); i += step) {
        results += reader.feed(wire.mid(i, step), kToday);
        maxPending = qMax(maxPending, reader.splitter().pendingBytes());
    }
    QCOMPARE(results.size(), kept ? 2 : 1);
    QCOMPARE(results.last().verdict, Verdict::Fix);
    QCOMPARE(reader.splitter().droppedLines(), kept ? 0 : 1);
    QVERIFY2(maxPending <= NmeaLineSplitter::kMaxLineBytes, qPrintable(QString::number(maxPending)));
    if (kept)
        QCOMPARE(results.first().line.size(), length - 1); // CR trimmed
}

void TestNmeaParser::checksumOverReceivedBytes_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<Verdict>("verdict");
    // "*6A" is the sum of the sentence with "003.1"; two bytes that are no
    // UTF-8 in place of "00" decode to two replacement characters, whose
    // bytes cancel out just as "00" does.
    QTest::newRow("two undecodable bytes keep the text's sum")
        << QByteArray("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,\x80\x80"
                      "3.1,W*6A\r\n")
        << Verdict::BadChecksum;
    QTest::newRow("one undecodable byte")
        << QByteArray("$GPGLL,4916.45,N,12311.12,W,225444,A\xFF*31\r\n") << Verdict::BadChecksum;
    // UTF-8 is summed as sent: C2 B0 ("°") in place of "00" gives 18.
    QTest::newRow("UTF-8 summed byte by byte")
        << QByteArray("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,\xC2\xB0"
                      "3.1,W*18\r\n")
        << Verdict::Fix;
    // Without a checksum there is nothing to confirm, as before.
    QTest::newRow("undecodable byte, no checksum")
        << QByteArray("$GPGLL,4916.45,N,12311.12,W,225444,A,\xFF\r\n") << Verdict::Fix;
}

void TestNmeaParser::checksumOverReceivedBytes()
{
    QFETCH(QByteArray, wire);
    QFETCH(Verdict, verdict);
    NmeaFixReader reader;
    const QVector<NmeaResult> results = reader.feed(wire, kToday);
    QCOMPARE(results.size(), 1);
    QCOMPARE(results.first().verdict, verdict);
}

QTEST_APPLESS_MAIN(TestNmeaParser)
#include "tst_nmeaparser.moc"
