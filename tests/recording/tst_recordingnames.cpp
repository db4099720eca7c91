// File naming and the time line of the recording worker, without threads.
// Runs with a local time zone 8 h ahead of UTC (TZ in the registration), so
// any local reading of a UTC name or time shows.

#include "recording/csvtimeline.h"
#include "recording/recordingnames.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}
void touch(const QString& path)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
}
} // namespace

class TestRecordingNames : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(QDateTime(QDate(2026, 1, 3), QTime(12, 0)).offsetFromUtc() != 0,
                 "the local time zone must differ from UTC for these tests");
    }

    void stripCsvSuffix_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("stripped");
        QTest::newRow("upper") << "/rec/20260103_101500.CSV" << "/rec/20260103_101500";
        QTest::newRow("lower") << "/rec/20260103_101500.csv" << "/rec/20260103_101500";
        QTest::newRow("mixed") << "/rec/20260103_101500.cSv" << "/rec/20260103_101500";
        QTest::newRow("folder named .csv") << "/data/old.csv.d/20260103_101500.CSV" << "/data/old.csv.d/20260103_101500";
        QTest::newRow("folder ending .CSV") << "/data/x.CSV/20260103_101500.CSV" << "/data/x.CSV/20260103_101500";
        QTest::newRow("only one ending") << "/rec/a.CSV.CSV" << "/rec/a.CSV";
        QTest::newRow("no ending") << "/rec/20260103_101500" << "/rec/20260103_101500";
        QTest::newRow("ending inside name") << "/rec/a.CSV_b" << "/rec/a.CSV_b";
        QTest::newRow("empty") << "" << "";
    }
    void stripCsvSuffix()
    {
        QFETCH(QString, path);
        QFETCH(QString, stripped);
        QCOMPARE(RecordingNames::stripCsvSuffix(path), stripped);
    }

    void fileNames()
    {
        QCOMPARE(RecordingNames::scalarCsvPath("/rec/20260103_101500.CSV", 200), QString("/rec/20260103_101500_RQ_200Hz.CSV"));
        QCOMPARE(RecordingNames::scalarCsvPath("/rec/20260103_101500.CSV", 1), QString("/rec/20260103_101500_RQ_1Hz.CSV"));
        QCOMPARE(RecordingNames::scalarCsvPath("/a.csv.d/20260103_101500.csv", 1000),
                 QString("/a.csv.d/20260103_101500_RQ_1000Hz.CSV"));
        // A "%2" in a folder name is text, not a placeholder.
        QCOMPARE(RecordingNames::scalarCsvPath("/r%2/20260103_101500.CSV", 20), QString("/r%2/20260103_101500_RQ_20Hz.CSV"));
        QCOMPARE(RecordingNames::vectorCsvPath("/rec.CSV/20260103_101500.CSV"),
                 QString("/rec.CSV/20260103_101500_FIDVector_111Hz.CSV"));
        QCOMPARE(RecordingNames::crashLogPath("/app/logs", utc(2026, 1, 3, 23, 59, 59)),
                 QString("/app/logs/RQ_Crash_2026_01_03.dmp"));
        QCOMPARE(RecordingNames::crashLogLine(utc(2026, 1, 3, 10, 15, 0), "text here"),
                 QString("2026_01_03 10:15:00 UTC text here\n"));
    }

    void rolledPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QDateTime>("at");
        QTest::addColumn<QString>("rolled");
        QTest::newRow("hour") << "/rec/20260103_101500.CSV" << utc(2026, 1, 3, 11, 0, 0, 400) << "/rec/20260103_110000.CSV";
        QTest::newRow("midnight") << "/rec/20260103_101500.CSV" << utc(2026, 1, 4, 0, 0, 1) << "/rec/20260104_000001.CSV";
        QTest::newRow("afternoon is 24 h") << "/rec/x.CSV" << utc(2026, 1, 3, 15, 4, 5) << "/rec/20260103_150405.CSV";
        QTest::newRow("local input read as UTC") << "/rec/x.CSV" << utc(2026, 1, 3, 23, 0, 0).toLocalTime()
                                                << "/rec/20260103_230000.CSV";
        QTest::newRow("no folder") << "20260103_101500.CSV" << utc(2026, 1, 4, 0, 0, 0) << "";
        QTest::newRow("empty") << "" << utc(2026, 1, 4, 0, 0, 0) << "";
    }
    void rolledPath()
    {
        QFETCH(QString, path);
        QFETCH(QDateTime, at);
        QFETCH(QString, rolled);
        QCOMPARE(RecordingNames::rolledPath(path, at), rolled);
    }

    void timestampOfName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QDateTime>("stamp");
        QTest::newRow("recording") << "20250101_000000_RQ_1000Hz.CSV" << utc(2025, 1, 1, 0, 0, 0);
        QTest::newRow("bare") << "20260103_235959.CSV" << utc(2026, 1, 3, 23, 59, 59);
        QTest::newRow("notes") << "notes.CSV" << QDateTime();
        QTest::newRow("short") << "20250101_0000" << QDateTime();
        QTest::newRow("no underscore") << "20250101-000000.CSV" << QDateTime();
        QTest::newRow("bad month") << "20251301_000000.CSV" << QDateTime();
        QTest::newRow("bad hour") << "20250101_250000.CSV" << QDateTime();
        QTest::newRow("letters") << "2025X101_000000.CSV" << QDateTime();
    }
    void timestampOfName()
    {
        QFETCH(QString, name);
        QFETCH(QDateTime, stamp);
        const QDateTime got = RecordingNames::timestampOfName(name);
        QCOMPARE(got.isValid(), stamp.isValid());
        if (stamp.isValid())
            QCOMPARE(got.toMSecsSinceEpoch(), stamp.toMSecsSinceEpoch());
    }

    // The working directory holds old recordings; an empty folder must not
    // mean "here".
    void removeWithEmptyFolderDeletesNothing()
    {
        QTemporaryDir dir;
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        touch("20200101_000000_RQ_20Hz.CSV");
        const int removed = RecordingNames::removeCsvFilesOlderThan(QString(), utc(2030, 1, 1, 0, 0, 0));
        QDir::setCurrent(saved);
        QCOMPARE(removed, 0);
        QVERIFY(QFile::exists(dir.filePath("20200101_000000_RQ_20Hz.CSV")));
        QCOMPARE(RecordingNames::removeCsvFilesOlderThan(dir.filePath("missing"), utc(2030, 1, 1, 0, 0, 0)), 0);
    }

    void anchorBoundaries_data()
    {
        QTest::addColumn<QDateTime>("anchor");
        QTest::addColumn<QDateTime>("nextHour");
        QTest::addColumn<QDateTime>("nextMidnight");
        QTest::newRow("10:15:30") << utc(2026, 1, 3, 10, 15, 30, 250) << utc(2026, 1, 3, 11, 0, 0) << utc(2026, 1, 4, 0, 0, 0);
        QTest::newRow("23:30") << utc(2026, 1, 3, 23, 30, 0) << utc(2026, 1, 4, 0, 0, 0) << utc(2026, 1, 4, 0, 0, 0);
        QTest::newRow("on the hour") << utc(2026, 1, 3, 11, 0, 0) << utc(2026, 1, 3, 12, 0, 0) << utc(2026, 1, 4, 0, 0, 0);
        QTest::newRow("year end") << utc(2025, 12, 31, 23, 59, 59, 999) << utc(2026, 1, 1, 0, 0, 0) << utc(2026, 1, 1, 0, 0, 0);
        // 16:30 UTC is already the next day in the local zone.
        QTest::newRow("local given") << utc(2026, 1, 3, 16, 30, 0).toLocalTime() << utc(2026, 1, 3, 17, 0, 0)
                                     << utc(2026, 1, 4, 0, 0, 0);
    }
    void anchorBoundaries()
    {
        QFETCH(QDateTime, anchor);
        QFETCH(QDateTime, nextHour);
        QFETCH(QDateTime, nextMidnight);
        CsvTimeLine line;
        QVERIFY(line.restartPending());
        line.anchor(anchor);
        QVERIFY(!line.restartPending());
        QCOMPARE(line.nextHour().toMSecsSinceEpoch(), nextHour.toMSecsSinceEpoch());
        QCOMPARE(line.nextMidnight().toMSecsSinceEpoch(), nextMidnight.toMSecsSinceEpoch());
        QCOMPARE(line.stampMs(0), anchor.toMSecsSinceEpoch());
    }

    // Which completion time starts a new file, and that the stamps carry on
    // without a step back or a repeat across it.
    void rollOverTable_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<QDateTime>("anchor");
        QTest::addColumn<QDateTime>("completion");
        QTest::addColumn<bool>("due");
        const QDateTime a = utc(2026, 1, 3, 10, 59, 57, 400);
        QTest::newRow("1000/s before 11:00") << 1000 << a << utc(2026, 1, 3, 10, 59, 59, 999) << false;
        QTest::newRow("1000/s at 11:00") << 1000 << a << utc(2026, 1, 3, 11, 0, 0) << true;
        QTest::newRow("1000/s after 11:00") << 1000 << a << utc(2026, 1, 3, 11, 0, 0, 400) << true;
        QTest::newRow("200/s at 11:00") << 200 << a << utc(2026, 1, 3, 11, 0, 0, 400) << false;
        QTest::newRow("500/s at 11:00") << 500 << a << utc(2026, 1, 3, 11, 0, 0, 400) << false;
        QTest::newRow("200/s before midnight") << 200 << a << utc(2026, 1, 3, 23, 59, 59, 999) << false;
        QTest::newRow("200/s at midnight") << 200 << a << utc(2026, 1, 4, 0, 0, 0) << true;
        QTest::newRow("1/s at midnight") << 1 << a << utc(2026, 1, 4, 0, 0, 0, 500) << true;
        QTest::newRow("1000/s at midnight") << 1000 << utc(2026, 1, 3, 23, 59, 58) << utc(2026, 1, 4, 0, 0, 0) << true;
    }
    void rollOverTable()
    {
        QFETCH(int, rate);
        QFETCH(QDateTime, anchor);
        QFETCH(QDateTime, completion);
        QFETCH(bool, due);
        CsvTimeLine line;
        line.anchor(anchor);
        const int step = CsvTimeLine::stepMs(rate);
        line.advance(3 * 1000); // three batches stamped
        QCOMPARE(line.rollOverDue(completion, rate), due);
        if (!due)
            return;
        const QDateTime cleanupDay = line.lastCleanup();
        const qint64 next = line.stampMs(0);
        line.continueAcrossRollOver(completion);
        QCOMPARE(line.stampMs(0), next); // continues, no repeat
        QCOMPARE(line.stampMs(step) - line.stampMs(0), qint64(step));
        QVERIFY(!line.rollOverDue(completion, rate)); // not again for the same time
        QVERIFY(line.rollOverBoundary(rate) > completion);
        QCOMPARE(line.lastCleanup(), cleanupDay);
    }

    void timeText_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<QDateTime>("at");
        QTest::addColumn<QString>("text");
        QTest::newRow("1/s") << 1 << utc(2026, 1, 3, 10, 15, 30, 250) << "10:15:30";
        QTest::newRow("20/s") << 20 << utc(2026, 1, 3, 10, 15, 30, 250) << "10:15:30.250";
        QTest::newRow("1000/s") << 1000 << utc(2026, 1, 3, 22, 5, 3, 7) << "22:05:03.007";
    }
    void timeText()
    {
        QFETCH(int, rate);
        QFETCH(QDateTime, at);
        QFETCH(QString, text);
        QCOMPARE(CsvTimeLine::timeText(at.toMSecsSinceEpoch(), rate), text);
    }

    void stepAndCleanup()
    {
        QCOMPARE(CsvTimeLine::stepMs(1), 1000);
        QCOMPARE(CsvTimeLine::stepMs(20), 50);
        QCOMPARE(CsvTimeLine::stepMs(200), 5);
        QCOMPARE(CsvTimeLine::stepMs(500), 2);
        QCOMPARE(CsvTimeLine::stepMs(1000), 1);
        CsvTimeLine line;
        const QDateTime a = utc(2026, 6, 1, 12, 0, 0);
        line.anchor(a);
        QVERIFY(!line.cleanupDue(a.addSecs(86400)));
        QVERIFY(line.cleanupDue(a.addSecs(86401)));
        QCOMPARE(CsvTimeLine::cleanupLimit(a), a.addDays(-120));
    }
};

QTEST_GUILESS_MAIN(TestRecordingNames)
#include "tst_recordingnames.moc"
