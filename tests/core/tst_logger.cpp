// The application log: UTC stamps, rotation at the 5 MiB boundary, clean-up
// of old day folders only, and whole lines under concurrent writers.
// Runs with TZ set to another zone than UTC.
#include "core/logger.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace {

const QDateTime kNow(QDate(2026, 12, 9), QTime(23, 30, 0), Qt::UTC);

Logger::Clock fixedClock(const QDateTime& t)
{
    return [t] { return t; };
}

QString dayFile(const QString& root, const QDateTime& t)
{
    return root + "/logs/" + t.toString("yyyy-MM-dd") + "/log" + t.toString("yyyyMMdd") + ".txt";
}

void writeBytes(const QString& path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.resize(size));
}

} // namespace

class TestLogger : public QObject
{
    Q_OBJECT
private slots:
    void lineFormatIsUtc();
    void rotationBoundary_data();
    void rotationBoundary();
    void rotationNumbering();
    void cleanOldDayFolders();
    void concurrentWriters();
    void unopenableFileIsRetried();
};

void TestLogger::lineFormatIsUtc()
{
    QVERIFY(qgetenv("TZ") != "UTC" && !qgetenv("TZ").isEmpty());
    QTemporaryDir dir;
    {
        // Real clock: the stamp must match UTC, not the local zone (+8 h).
        Logger logger(dir.path(), Logger::Clock());
        const QDateTime before = QDateTime::currentDateTimeUtc();
        logger.log(QStringLiteral("hello 你好"));
        const QDateTime after = QDateTime::currentDateTimeUtc();
        QFile f(logger.currentFileName());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString line = QString::fromUtf8(f.readAll());
        const QRegularExpression re(R"(^\[(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})\] hello 你好\n$)");
        const auto m = re.match(line);
        QVERIFY2(m.hasMatch(), qPrintable(line));
        QDateTime stamp = QDateTime::fromString(m.captured(1), "yyyy-MM-dd hh:mm:ss.zzz");
        stamp.setTimeSpec(Qt::UTC);
        QVERIFY(stamp >= before.addMSecs(-1) && stamp <= after.addMSecs(1));
        QCOMPARE(logger.currentFileName(), dayFile(dir.path(), before));
    }
    {
        // The day folder and file follow the UTC date of the clock.
        QTemporaryDir other;
        Logger logger(other.path(), fixedClock(kNow));
        logger.log("x");
        QVERIFY(QFileInfo::exists(other.path() + "/logs/2026-12-09/log20261209.txt"));
    }
}

void TestLogger::rotationBoundary_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("rotated");
    QTest::newRow("exactly 5 MiB") << qint64(5242880) << false;
    QTest::newRow("one byte more") << qint64(5242881) << true;
}

void TestLogger::rotationBoundary()
{
    QFETCH(qint64, size);
    QFETCH(bool, rotated);
    QTemporaryDir dir;
    const QString path = dayFile(dir.path(), kNow);
    writeBytes(path, size);
    Logger logger(dir.path(), fixedClock(kNow));
    logger.log("next");
    const QString rotatedPath = QFileInfo(path).absolutePath() + "/log20261209_001.txt";
    QCOMPARE(QFileInfo::exists(rotatedPath), rotated);
    if (rotated) {
        QCOMPARE(QFileInfo(rotatedPath).size(), size);
        QCOMPARE(QFileInfo(path).size(), qint64(QByteArray("[2026-12-09 23:30:00.000] next\n").size()));
    } else {
        QVERIFY(QFileInfo(path).size() > size);
    }
}

void TestLogger::rotationNumbering()
{
    QTemporaryDir dir;
    const QString path = dayFile(dir.path(), kNow);
    const QString folder = QFileInfo(path).absolutePath();
    writeBytes(folder + "/log20261209_001.txt", 10);
    writeBytes(path, Logger::kRotateBytes + 1);
    {
        Logger logger(dir.path(), fixedClock(kNow));
        logger.log("a");
    }
    QVERIFY(QFileInfo::exists(folder + "/log20261209_002.txt"));

    // After 999 the number grows to four digits.
    for (int n = 1; n <= 999; ++n)
        writeBytes(folder + QStringLiteral("/log20261209_%1.txt").arg(n, 3, 10, QLatin1Char('0')), 1);
    writeBytes(path, Logger::kRotateBytes + 1);
    Logger logger(dir.path(), fixedClock(kNow));
    logger.log("b");
    QVERIFY(QFileInfo::exists(folder + "/log20261209_1000.txt"));
}

void TestLogger::cleanOldDayFolders()
{
    QTemporaryDir dir;
    const QString logs = dir.path() + "/logs";
    const QString old8 = kNow.addDays(-8).toString("yyyy-MM-dd");
    const QString young6 = kNow.addDays(-6).toString("yyyy-MM-dd");
    writeBytes(logs + "/" + old8 + "/log.txt", 3);
    writeBytes(logs + "/" + young6 + "/log.txt", 3);
    writeBytes(logs + "/notadate/keep.txt", 3);
    writeBytes(logs + "/RQ_Crash_2020_01_01.dmp", 3); // files in logs are never touched
    writeBytes(logs + "/2020-01-01.txt", 3);

    Logger logger(dir.path(), fixedClock(kNow));
    QVERIFY(!QFileInfo::exists(logs + "/" + old8));
    QVERIFY(QFileInfo::exists(logs + "/" + young6 + "/log.txt"));
    QVERIFY(QFileInfo::exists(logs + "/notadate/keep.txt"));
    QVERIFY(QFileInfo::exists(logs + "/RQ_Crash_2020_01_01.dmp"));
    QVERIFY(QFileInfo::exists(logs + "/2020-01-01.txt"));
    // Today's folder was created by the first open.
    QVERIFY(QFileInfo::exists(logs + "/2026-12-09"));
}

void TestLogger::concurrentWriters()
{
    QTemporaryDir dir;
    Logger logger(dir.path(), Logger::Clock());
    auto writer = [&logger](char tag) {
        return QThread::create([&logger, tag] {
            for (int i = 0; i < 5000; ++i)
                logger.log(QStringLiteral("%1-%2-payload-%3").arg(QChar(tag)).arg(i).arg(QString(40, QChar(tag))));
        });
    };
    QThread* a = writer('A');
    QThread* b = writer('B');
    a->start();
    b->start();
    QVERIFY(a->wait(60000));
    QVERIFY(b->wait(60000));
    delete a;
    delete b;

    QFile f(logger.currentFileName());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines.size(), 10001); // the last split piece is empty
    QVERIFY(lines.last().isEmpty());
    const QRegularExpression re(R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] ([AB])-(\d+)-payload-\1{40}$)");
    int nextA = 0, nextB = 0;
    for (int i = 0; i < 10000; ++i) {
        const auto m = re.match(QString::fromUtf8(lines[i]));
        QVERIFY2(m.hasMatch(), lines[i].constData());
        int& next = m.captured(1) == "A" ? nextA : nextB;
        QCOMPARE(m.captured(2).toInt(), next); // each writer's lines in order
        ++next;
    }
    QCOMPARE(nextA, 5000);
    QCOMPARE(nextB, 5000);
}

void TestLogger::unopenableFileIsRetried()
{
    QTemporaryDir dir;
    // A regular file where the day folder should be: the open fails.
    writeBytes(dir.path() + "/logs/2026-12-09", 1);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Failed to open log file: .*log20261209\\.txt$"));
    Logger logger(dir.path(), fixedClock(kNow));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Failed to open log file: "));
    logger.log("lost"); // no crash; the line is lost
    QFile::remove(dir.path() + "/logs/2026-12-09");
    logger.log("kept");
    QFile f(dayFile(dir.path(), kNow));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("[2026-12-09 23:30:00.000] kept\n"));
}

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
