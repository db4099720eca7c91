// The NMEA core held against a second, independent parser (the npm package
// nmea-simple, run by nmea_oracle.js) on the same files: the Garmin 17N
// capture from gpsd's regression logs and the hand-written sentences.
// Every sentence ours accepts must be one the oracle reads as a valid
// RMC, GGA or GLL, at the same latitude and longitude within 1e-9 degrees;
// every valid position sentence of the oracle's must be accepted by ours.

#include "reporting/nmeaparser.h"

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <cmath>

namespace
{

constexpr double kTol = 1e-9;

QString sourceDir()
{
    return QString::fromLocal8Bit(qgetenv("TERVAL_SOURCE_DIR"));
}

const QStringList kFiles{QStringLiteral("garmin17n.log"), QStringLiteral("handmade.nmea")};

QString dataFile(const QString& name)
{
    return sourceDir() + QStringLiteral("/tests/reporting/data/") + name;
}

} // namespace

class TestNmeaOracle : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void agreesWithOracle_data();
    void agreesWithOracle();

private:
    // (file index, line number) -> the oracle's reading of that line
    QHash<QPair<int, int>, QJsonObject> m_oracle;
};

void TestNmeaOracle::initTestCase()
{
    const QString tools = QString::fromLocal8Bit(qgetenv("TERVAL_NODE_TOOLS"));
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    QVERIFY2(!node.isEmpty(), "node is not on PATH (Node.js is needed for the NMEA oracle)");
    QVERIFY2(QFile::exists(tools + QStringLiteral("/node_modules/nmea-simple/package.json")),
             qPrintable(QStringLiteral("nmea-simple is not installed under %1: run scripts/test.sh, or "
                                       "npm install --prefix %1 --no-save nmea-simple@3.3.0")
                            .arg(tools)));

    QStringList args{sourceDir() + QStringLiteral("/tests/reporting/nmea_oracle.js")};
    for (const QString& f : kFiles)
        args << dataFile(f);
    QProcess proc;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("NODE_PATH"), tools + QStringLiteral("/node_modules"));
    proc.setProcessEnvironment(env);
    proc.start(node, args);
    QVERIFY2(proc.waitForFinished(60000), "the oracle did not finish within 60 s");
    QVERIFY2(proc.exitStatus() == QProcess::NormalExit && proc.exitCode() == 0,
             proc.readAllStandardError().constData());

    for (const QByteArray& line : proc.readAllStandardOutput().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        QVERIFY2(o.contains(QLatin1String("line")), line.constData());
        m_oracle.insert({o.value("file").toInt(), o.value("line").toInt()}, o);
    }
    QVERIFY(!m_oracle.isEmpty());
}

void TestNmeaOracle::agreesWithOracle_data()
{
    QTest::addColumn<int>("fileIndex");
    QTest::addColumn<int>("fixes"); // counted by hand in the file
    QTest::newRow("garmin17n.log") << 0 << 6;
    QTest::newRow("handmade.nmea") << 1 << 17;
}

void TestNmeaOracle::agreesWithOracle()
{
    QFETCH(int, fileIndex);
    QFETCH(int, fixes);
    QFile file(dataFile(kFiles.at(fileIndex)));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');

    const QDate today(2026, 4, 17);
    int ours = 0;
    int compared = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromLatin1(lines.at(i)).trimmed();
        if (!line.startsWith(QLatin1Char('$')))
            continue;
        const QJsonObject o = m_oracle.value({fileIndex, i + 1});
        const QString where = QStringLiteral("line %1: %2 / oracle %3")
                                  .arg(i + 1)
                                  .arg(line, QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
        QVERIFY2(!o.isEmpty(), qPrintable(where));

        GpsData d;
        const bool accepted = Nmea::parseSentence(line, d, today) == Nmea::Verdict::Fix;
        const QString id = o.value("id").toString();
        const bool positionSentence = id == "RMC" || id == "GGA" || id == "GLL";
        const bool oracleFix = o.value("ok").toBool() && o.value("valid").toBool() && positionSentence &&
                               (o.value("talker") == "GP" || o.value("talker") == "GN") &&
                               o.value("lat").toDouble() != 0.0 && o.value("lon").toDouble() != 0.0;
        QVERIFY2(accepted == oracleFix, qPrintable(where));
        if (!accepted)
            continue;
        ++ours;
        const double dLat = std::fabs(d.latitude - o.value("lat").toDouble());
        const double dLon = std::fabs(d.longitude - o.value("lon").toDouble());
        QVERIFY2(
            dLat <= kTol && dLon <= kTol,
            qPrintable(where + QStringLiteral(" ours %1 %2").arg(d.latitude, 0, 'g', 17).arg(d.longitude, 0, 'g', 17)));
        ++compared;
    }
    QCOMPARE(ours, fixes);
    QCOMPARE(compared, fixes);
}

QTEST_APPLESS_MAIN(TestNmeaOracle)
#include "tst_nmea_oracle.moc"
