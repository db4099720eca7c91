// The recording worker on its own thread, with real files read back by
// Python's csv module and pandas. Time comes only from the batches, so the
// tests pick any date. The local zone is 8 h ahead of UTC (TZ in the
// registration), so any local reading of UTC times or names shows.

#include "core/applog.h"
#include "core/appfolders.h"
#include "core/globalstate.h"
#include "core/logger.h"
#include "core/types.h"
#include "hub/parammanager.h"
#include "processing/modbusdatahandler.h"
#include "recording/csvreadback.h"
#include "recording/csvtimeline.h"
#include "recording/savefilethread.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

#include <sys/resource.h>

namespace {

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

// Values whose written form is fixed by the precision of 10 significant
// digits in the shorter of fixed and scientific notation.
struct ValueText {
    double value;
    const char* text;
};
const ValueText kValues[] = {
    {50123.45678912, "50123.45679"}, {50000.0, "50000"},          {-12.5, "-12.5"},
    {0.1 + 0.2, "0.3"},              {123456789012.0, "1.23456789e+11"}, {1e-7, "1e-07"},
    {48765.4321, "48765.4321"},
};
constexpr int kValueCount = int(sizeof(kValues) / sizeof(kValues[0]));

// Batch k of a recording: value j is kValues[(k * rate + j) % kValueCount].
QVector<double> batchValues(int k, int rate)
{
    QVector<double> v;
    for (int j = 0; j < rate; ++j)
        v.append(kValues[(k * rate + j) % kValueCount].value);
    return v;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList csvFilesIn(const QString& folder)
{
    return QDir(folder).entryList(QStringList{"*.CSV"}, QDir::Files, QDir::Name);
}

// A worker that is stopped and deleted at the end of the test.
struct Worker {
    std::unique_ptr<SaveFileThread> w{new SaveFileThread(nullptr)};
    ~Worker() { w->shutdown(); }
    SaveFileThread* operator->() const { return w.get(); }
    SaveFileThread* get() const { return w.get(); }

    // Every call goes through the worker's queue, as the hub's connections do.
    void sync(bool isSave, int interval, const QString& path)
    {
        SaveFileThread* t = w.get();
        QMetaObject::invokeMethod(t, [=] { t->slots_syncSaveParam(isSave, interval, path, false); }, Qt::QueuedConnection);
    }
    void batch(const QVector<double>& values, int rate, const QDateTime& completion)
    {
        SaveFileThread* t = w.get();
        QMetaObject::invokeMethod(t, [=] { t->saveCSVData(values, rate, completion); }, Qt::QueuedConnection);
    }
    void vector(const FIDVectorNum& rec, const QDateTime& at)
    {
        SaveFileThread* t = w.get();
        QMetaObject::invokeMethod(t, [=] { t->slot_saveVectorXYZS(rec, at); }, Qt::QueuedConnection);
    }
    void crash(qlonglong ts, const QString& text)
    {
        SaveFileThread* t = w.get();
        QMetaObject::invokeMethod(t, [=] { t->slot_saveCrashLog(ts, text); }, Qt::QueuedConnection);
    }
    // Returns once everything queued before has run.
    void drain() { QMetaObject::invokeMethod(w.get(), [] {}, Qt::BlockingQueuedConnection); }
};

} // namespace

class TestSaveFileThread : public QObject
{
    Q_OBJECT
    QTemporaryDir appDir; // holds "logs" and "file"
    QString logFile;

    // A fresh recording folder per test.
    QString newFolder(QTemporaryDir& tmp)
    {
        const QString f = tmp.path() + "/file";
        QDir().mkpath(f);
        return f;
    }

private slots:
    void initTestCase()
    {
        registerSharedMetaTypes();
        QVERIFY(appDir.isValid());
        AppFolders::setOverride(appDir.path());
        // Create the application log now, so it lives in appDir and a later
        // test that swaps the folder finds its own "logs" untouched.
        Logger::instance()->log("recording tests start");
        logFile = Logger::instance()->currentFileName();
        QVERIFY(QFile::exists(logFile));
        QVERIFY2(QDateTime(QDate(2026, 1, 3), QTime(12, 0)).offsetFromUtc() != 0,
                 "the local time zone must differ from UTC for these tests");
    }

    void cleanupTestCase() { AppFolders::setOverride(QString()); }

    // Ten one-second batches whose completion times jitter by up to half a
    // second: the time column still runs evenly from the first batch's
    // completion time, across all batches.
    void timeLine_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("firstTime");
        QTest::addColumn<QString>("lastTime");
        QTest::newRow("1/s") << 1 << "sec" << "10:15:30" << "10:15:39";
        QTest::newRow("20/s") << 20 << "ms" << "10:15:30.123" << "10:15:40.073";
        QTest::newRow("200/s") << 200 << "ms" << "10:15:30.123" << "10:15:40.118";
        QTest::newRow("500/s") << 500 << "ms" << "10:15:30.123" << "10:15:40.121";
        QTest::newRow("1000/s") << 1000 << "ms" << "10:15:30.123" << "10:15:40.122";
    }
    void timeLine()
    {
        QFETCH(int, rate);
        QFETCH(QString, format);
        QFETCH(QString, firstTime);
        QFETCH(QString, lastTime);
        QTemporaryDir tmp;
        const QString folder = newFolder(tmp);
        const QDateTime base = utc(2026, 1, 3, 10, 15, 30, 123);
        const int jitter[10] = {0, 340, -270, 120, -480, 30, 499, -10, 0, 250};

        Worker w;
        QSignalSpy server(w.get(), &SaveFileThread::sig_SendServerData);
        w.sync(true, 0, folder + "/20260103_101530.CSV");
        for (int k = 0; k < 10; ++k)
            w.batch(batchValues(k, rate), rate, base.addMSecs(k * 1000 + jitter[k]));
        w.drain();

        QCOMPARE(csvFilesIn(folder), QStringList{QString("20260103_101530_RQ_%1Hz.CSV").arg(rate)});
        const CsvReadBack r = readCsvFiles({folder + "/" + csvFilesIn(folder).value(0)}, format);
        QCOMPARE(r.rows, 10 * rate);
        QCOMPARE(r.pandasRows, QVector<int>{10 * rate});
        QCOMPARE(r.widths, QVector<int>{2});
        QVERIFY(r.formatOk);
        QVERIFY(r.increasing);
        QCOMPARE(r.diffs, QVector<qint64>{1000 / rate});
        QCOMPARE(r.times.first(), firstTime);
        QCOMPARE(r.times.last(), lastTime);
        for (int i = 0; i < r.rows; ++i)
            QCOMPARE(r.rowValues.at(i).value(0), QString(kValues[i % kValueCount].text));

        // Every full second reaches the server client, stamped on the same line.
        QCOMPARE(server.count(), 10);
        for (int k = 0; k < 10; ++k) {
            const QList<QVariant> a = server.at(k);
            QCOMPARE(a.at(0).toLongLong(), base.toMSecsSinceEpoch() + k * 1000);
            QCOMPARE(a.at(1).value<QVector<double>>(), batchValues(k, rate));
            QCOMPARE(a.at(2).toInt(), rate);
            QCOMPARE(a.at(3).toInt(), 1000 / rate);
        }
    }

    // Not recording: batches are still sent, nothing is written.
    void idleBatchesAreSentNotWritten()
    {
        QTemporaryDir tmp;
        const QString folder = newFolder(tmp);
        Worker w;
        QSignalSpy server(w.get(), &SaveFileThread::sig_SendServerData);
        w.sync(false, 3, folder + "/20260103_101530.CSV");
        for (int k = 0; k < 4; ++k)
            w.batch(batchValues(k, 20), 20, utc(2026, 1, 3, 10, 15, 30 + k));
        w.drain();
        QCOMPARE(server.count(), 4);
        QCOMPARE(server.at(0).at(0).toLongLong(), utc(2026, 1, 3, 10, 15, 30).toMSecsSinceEpoch());
        QVERIFY(csvFilesIn(folder).isEmpty());
    }

    // The batch completed at or after the boundary goes into a new file named
    // after its completion time; the files together form one even time line.
    void rollOver_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("startPath");
        QTest::addColumn<QVector<QDateTime>>("completions");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QVector<int>>("rows");
        QTest::addColumn<QString>("firstOfSecond");

        QTest::newRow("1000/s at 11:00")
            << 1000 << "20260103_105957.CSV"
            << QVector<QDateTime>{utc(2026, 1, 3, 10, 59, 57, 400), utc(2026, 1, 3, 10, 59, 58, 400),
                                  utc(2026, 1, 3, 10, 59, 59, 400), utc(2026, 1, 3, 11, 0, 0, 400),
                                  utc(2026, 1, 3, 11, 0, 1, 400), utc(2026, 1, 3, 11, 0, 2, 400)}
            << QStringList{"20260103_105957_RQ_1000Hz.CSV", "20260103_110000_RQ_1000Hz.CSV"} << QVector<int>{2600, 3400}
            << "11:00:00.000";
        // Jittered completion times do not matter: the stamps decide.
        QTest::newRow("1000/s exactly at 11:00")
            << 1000 << "20260103_105958.CSV"
            << QVector<QDateTime>{utc(2026, 1, 3, 10, 59, 58, 700), utc(2026, 1, 3, 10, 59, 59, 999),
                                  utc(2026, 1, 3, 11, 0, 0, 0), utc(2026, 1, 3, 11, 0, 1, 200)}
            << QStringList{"20260103_105958_RQ_1000Hz.CSV", "20260103_110000_RQ_1000Hz.CSV"} << QVector<int>{1300, 2700}
            << "11:00:00.000";
        QTest::newRow("200/s keeps its file at 11:00")
            << 200 << "20260103_105958.CSV"
            << QVector<QDateTime>{utc(2026, 1, 3, 10, 59, 58, 500), utc(2026, 1, 3, 10, 59, 59, 500),
                                  utc(2026, 1, 3, 11, 0, 0, 500), utc(2026, 1, 3, 11, 0, 1, 500)}
            << QStringList{"20260103_105958_RQ_200Hz.CSV"} << QVector<int>{800} << "";
        // The second completed at 23:59:59.250 holds 250 ms of the next day:
        // those rows open the next day's file.
        QTest::newRow("200/s at midnight")
            << 200 << "20260103_235958.CSV"
            << QVector<QDateTime>{utc(2026, 1, 3, 23, 59, 58, 250), utc(2026, 1, 3, 23, 59, 59, 250),
                                  utc(2026, 1, 4, 0, 0, 0, 250), utc(2026, 1, 4, 0, 0, 1, 250)}
            << QStringList{"20260103_235958_RQ_200Hz.CSV", "20260104_000000_RQ_200Hz.CSV"} << QVector<int>{350, 450}
            << "00:00:00.000";
        QTest::newRow("20/s at midnight, late batches")
            << 20 << "20260103_235958.CSV"
            << QVector<QDateTime>{utc(2026, 1, 3, 23, 59, 58, 0), utc(2026, 1, 3, 23, 59, 59, 300),
                                  utc(2026, 1, 4, 0, 0, 0, 100), utc(2026, 1, 4, 0, 0, 0, 900),
                                  utc(2026, 1, 4, 0, 0, 2, 200)}
            << QStringList{"20260103_235958_RQ_20Hz.CSV", "20260104_000000_RQ_20Hz.CSV"} << QVector<int>{40, 60}
            << "00:00:00.000";
        QTest::newRow("1000/s at midnight")
            << 1000 << "20260103_235958.CSV"
            << QVector<QDateTime>{utc(2026, 1, 3, 23, 59, 58, 600), utc(2026, 1, 3, 23, 59, 59, 600),
                                  utc(2026, 1, 4, 0, 0, 0, 600), utc(2026, 1, 4, 0, 0, 1, 600)}
            << QStringList{"20260103_235958_RQ_1000Hz.CSV", "20260104_000000_RQ_1000Hz.CSV"} << QVector<int>{1400, 2600}
            << "00:00:00.000";
        // Started in the last second of the hour or day, first batch after
        // it: the rows go to a file of their own hour or day.
        QTest::newRow("1000/s started at 10:59:59")
            << 1000 << "20260103_105959.CSV"
            << QVector<QDateTime>{utc(2026, 1, 3, 11, 0, 0, 300), utc(2026, 1, 3, 11, 0, 1, 300)}
            << QStringList{"20260103_110000_RQ_1000Hz.CSV"} << QVector<int>{2000} << "";
        QTest::newRow("20/s started at 23:59:59")
            << 20 << "20260103_235959.CSV"
            << QVector<QDateTime>{utc(2026, 1, 4, 0, 0, 0, 500), utc(2026, 1, 4, 0, 0, 1, 500)}
            << QStringList{"20260104_000000_RQ_20Hz.CSV"} << QVector<int>{40} << "";
    }
    void rollOver()
    {
        QFETCH(int, rate);
        QFETCH(QString, startPath);
        QFETCH(QVector<QDateTime>, completions);
        QFETCH(QStringList, files);
        QFETCH(QVector<int>, rows);
        QFETCH(QString, firstOfSecond);
        QTemporaryDir tmp;
        const QString folder = newFolder(tmp);

        Worker w;
        QSignalSpy server(w.get(), &SaveFileThread::sig_SendServerData);
        w.sync(true, 0, folder + "/" + startPath);
        for (int k = 0; k < completions.size(); ++k)
            w.batch(batchValues(k, rate), rate, completions.at(k));
        w.drain();

        QCOMPARE(csvFilesIn(folder), files);
        QStringList paths;
        for (const QString& f : files)
            paths << folder + "/" + f;
        const CsvReadBack r = readCsvFiles(paths, "ms");
        QCOMPARE(r.fileRows, rows);
        QCOMPARE(r.pandasRows, rows);
        QCOMPARE(r.rows, completions.size() * rate);
        QVERIFY(r.formatOk);
        // Continuous: no repeated second, no step back, no gap at the roll-over.
        QVERIFY(r.increasing);
        QCOMPARE(r.diffs, QVector<qint64>{1000 / rate});
        if (files.size() > 1)
            QCOMPARE(r.times.value(rows.at(0)), firstOfSecond);
        QCOMPARE(r.named.size(), files.size());
        const QString mismatches = r.nameMismatches(rate == 1000);
        QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches));
        for (int i = 0; i < r.rows; ++i)
            QCOMPARE(r.rowValues.at(i).value(0), QString(kValues[i % kValueCount].text));

        QCOMPARE(server.count(), completions.size());
        for (int k = 1; k < server.count(); ++k)
            QCOMPARE(server.at(k).at(0).toLongLong() - server.at(k - 1).at(0).toLongLong(), qint64(1000));
    }

    // A timed recording writes exactly its seconds and reports the end once;
    // a stopped one never reports it.
    void timedRecording_data()
    {
        QTest::addColumn<int>("duration");
        QTest::addColumn<int>("batchesBeforeStop"); // -1: never stopped
        QTest::addColumn<int>("batches");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("finished");
        QTest::newRow("3 s") << 3 << -1 << 6 << 60 << 1;
        QTest::newRow("0 s runs until stopped") << 0 << 5 << 9 << 100 << 0;
        QTest::newRow("stopped after 2 of 5 s") << 5 << 2 << 12 << 40 << 0;
    }
    void timedRecording()
    {
        QFETCH(int, duration);
        QFETCH(int, batchesBeforeStop);
        QFETCH(int, batches);
        QFETCH(int, rows);
        QFETCH(int, finished);
        QTemporaryDir tmp;
        const QString folder = newFolder(tmp);
        const QString path = folder + "/20260103_101530.CSV";
        const QDateTime base = utc(2026, 1, 3, 10, 15, 30, 500);

        Worker w;
        QSignalSpy done(w.get(), &SaveFileThread::sig_saveFinished);
        QSignalSpy server(w.get(), &SaveFileThread::sig_SendServerData);
        w.sync(true, duration, path);
        for (int k = 0; k < batches; ++k) {
            if (k == batchesBeforeStop)
                w.sync(false, duration, path); // the page's stop stores the duration again
            w.batch(batchValues(k, 20), 20, base.addSecs(k));
            if (duration > 0 && k + 1 == duration && batchesBeforeStop < 0) {
                w.drain();
                QCOMPARE(done.count(), 1); // right after the last second
            }
        }
        w.drain();
        QCOMPARE(done.count(), finished);
        QCOMPARE(server.count(), batches);
        const CsvReadBack r = readCsvFiles({folder + "/20260103_101530_RQ_20Hz.CSV"}, "ms");
        QCOMPARE(r.rows, rows);
        QCOMPARE(r.diffs, QVector<qint64>{50});
        QCOMPARE(r.times.first(), QString("10:15:30.500"));
        if (duration == 3)
            QCOMPARE(r.times.last(), QString("10:15:33.450")); // exactly three seconds
    }

    // Through the hub: the page hears of the end once, and the hub's flag is
    // already off when it is told.
    void hubTimedRecording()
    {
        QTemporaryDir tmp;
        const QString folder = newFolder(tmp);
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(tmp.path())); // config.ini is read from here
        ParamManager hub;
        QDir::setCurrent(saved);
        QVERIFY(hub.saveFileThread);

        int pageCount = 0;
        bool flagAtPage = true;
        connect(&hub, &ParamManager::sig_saveFinished, this, [&] {
            ++pageCount;
            flagAtPage = hub.isSave();
        });
        std::atomic<int> flagAtEmit{-1};
        connect(
            &hub, &ParamManager::sig_saveFinished, &hub, [&] { flagAtEmit = hub.isSave() ? 1 : 0; },
            Qt::DirectConnection);

        const QString path = folder + "/20260103_101530.CSV";
        hub.setSaveParam(true, 3, path, false);
        QVERIFY(hub.isSave());
        QCOMPARE(hub.getFilePathName(), path);
        for (int k = 0; k < 5; ++k)
            emit hub.sig_saveCSVData(batchValues(k, 20), 20, utc(2026, 1, 3, 10, 15, 30).addSecs(k));
        hub.saveCrashLog("hub line", utc(2026, 1, 3, 10, 15, 40).toSecsSinceEpoch());
        QTRY_COMPARE(pageCount, 1);
        QMetaObject::invokeMethod(hub.saveFileThread, [] {}, Qt::BlockingQueuedConnection);
        QTest::qWait(50);
        QCOMPARE(pageCount, 1);
        QCOMPARE(flagAtEmit.load(), 0);
        QVERIFY(!flagAtPage);
        QVERIFY(!hub.isSave());
        QCOMPARE(readCsvFiles({folder + "/20260103_101530_RQ_20Hz.CSV"}, "ms").rows, 60);
        QVERIFY(readAll(appDir.path() + "/logs/RQ_Crash_2026_01_03.dmp").contains("2026_01_03 10:15:40 UTC hub line\n"));

        // Vector records from the data handler reach the worker: the first 50
        // only anchor (recording start), the next 50 are written.
        QVERIFY(hub.modbusDataHandler);
        hub.setSaveParam(true, 0, folder + "/20260103_120000.CSV", false);
        FIDVectorNum rec;
        rec.s = 50000.0;
        for (int i = 0; i < 100; ++i)
            emit hub.modbusDataHandler->sig_saveVectorXYZS(rec, utc(2026, 1, 3, 12, 0, 0).addMSecs(9 * i));
        QMetaObject::invokeMethod(hub.saveFileThread, [] {}, Qt::BlockingQueuedConnection);
        QCOMPARE(readCsvFiles({folder + "/20260103_120000_FIDVector_111Hz.CSV"}, "ms").rows, 50);
        hub.saveFileThread->shutdown();
    }

    // Old recordings go after more than a day; names are read as UTC; nothing
    // is deleted before a recording folder is known.
    void cleanUp()
    {
        QTemporaryDir tmp;
        const QString folder = newFolder(tmp);
        const QDateTime t0 = utc(2026, 6, 1, 12, 0, 0);
        const QDateTime t1 = t0.addSecs(86401);
        const QDateTime limit = t1.addDays(-120);
        const QString fmt = "yyyyMMdd_hhmmss";
        const QString justOld = limit.addSecs(-60).toString(fmt) + "_RQ_20Hz.CSV";
        const QString justYoung = limit.addSecs(60).toString(fmt) + "_RQ_20Hz.CSV";
        // A local reading (8 h ahead) would take the young file for an old one.
        QVERIFY(QDateTime::fromString(justYoung.left(15), fmt) < limit);
        const QStringList deleted{justOld, "20250101_000000_RQ_1000Hz.CSV", "20250101_000000_rq_20hz.csv"};
        const QStringList kept{justYoung, "notes.CSV", "20250101_000000.txt", "2025X101_000000.CSV",
                               "20260601_120000_RQ_20Hz.CSV"};
        for (const QString& n : deleted + kept) {
            QFile f(folder + "/" + n);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir().mkpath(folder + "/20250101_000000_old.CSV"));

        Worker w;
        w.sync(false, 0, folder + "/20260601_120000.CSV");
        w.batch(batchValues(0, 20), 20, t0);
        w.batch(batchValues(1, 20), 20, t0.addSecs(86400)); // exactly a day: not yet
        w.drain();
        for (const QString& n : deleted + kept)
            QVERIFY2(QFile::exists(folder + "/" + n), qPrintable(n));
        w.batch(batchValues(2, 20), 20, t1);
        w.drain();
        for (const QString& n : deleted)
            QVERIFY2(!QFile::exists(folder + "/" + n), qPrintable(n));
        for (const QString& n : kept)
            QVERIFY2(QFile::exists(folder + "/" + n), qPrintable(n));
        QVERIFY(QDir(folder + "/20250101_000000_old.CSV").exists());
    }

    void cleanUpWithoutFolder_data()
    {
        QTest::addColumn<bool>("synced");
        QTest::addColumn<QString>("path");
        QTest::newRow("never given") << false << "";
        QTest::newRow("empty") << true << "";
        QTest::newRow("no folder part") << true << "20200101_000000.CSV";
    }
    void cleanUpWithoutFolder()
    {
        QFETCH(bool, synced);
        QFETCH(QString, path);
        QTemporaryDir cwd;
        const QStringList decoys{"20200101_000000_RQ_20Hz.CSV", "20200101_000000.CSV", "19991231_235959.csv"};
        for (const QString& n : decoys) {
            QFile f(cwd.filePath(n));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(cwd.path()));
        {
            Worker w;
            if (synced)
                w.sync(false, 0, path);
            const QDateTime t0 = utc(2026, 6, 1, 12, 0, 0);
            for (int d = 0; d < 3; ++d)
                w.batch(batchValues(0, 20), 20, t0.addSecs(d * 86401));
            w.drain();
        }
        QDir::setCurrent(saved);
        for (const QString& n : decoys)
            QVERIFY2(QFile::exists(cwd.filePath(n)), qPrintable(n));
    }

    // A target that cannot be opened: one log line per batch, the server
    // client keeps getting every second, and the recording stays on.
    void unopenableTarget()
    {
        QTemporaryDir tmp;
        const QString folder = newFolder(tmp);
        const QString target = folder + "/20260103_101530_RQ_20Hz.CSV";
        QVERIFY(QDir().mkpath(target)); // a folder where the file should be
        const QString needle = "Failed to open file for writing:";
        const int before = appLogCount(needle, logFile);

        Worker w;
        QSignalSpy server(w.get(), &SaveFileThread::sig_SendServerData);
        w.sync(true, 0, folder + "/20260103_101530.CSV");
        const QDateTime base = utc(2026, 1, 3, 10, 15, 30);
        for (int k = 0; k < 5; ++k)
            w.batch(batchValues(k, 20), 20, base.addSecs(k));
        w.drain();
        QCOMPARE(appLogCount(needle, logFile) - before, 5);
        QCOMPARE(server.count(), 5);

        QVERIFY(QDir(target).removeRecursively());
        w.batch(batchValues(5, 20), 20, base.addSecs(5));
        w.drain();
        QCOMPARE(appLogCount(needle, logFile) - before, 5);
        QCOMPARE(server.count(), 6);
        const CsvReadBack r = readCsvFiles({target}, "ms");
        QCOMPARE(r.rows, 20);
        QCOMPARE(r.times.first(), QString("10:15:35.000"));
    }

    // A write that fails after the file opened: one log line naming the file
    // and the cause for the whole run of failing seconds, no partial row left
    // in the file, the next second tried again, a line when it works again.
    void failingWrite_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("error");
        QTest::newRow("disk full") << "full" << 20 << "No space left on device";
        QTest::newRow("file size limit inside a second") << "limit" << 1000 << "File too large";
    }
    void failingWrite()
    {
        QFETCH(QString, cause);
        QFETCH(int, rate);
        QFETCH(QString, error);
        if (cause == "full" && !QFileInfo::exists("/dev/full"))
            QSKIP("no /dev/full");
        QTemporaryDir tmp;
        const QString folder = newFolder(tmp);
        const QString target = folder + QString("/20260103_101530_RQ_%1Hz.CSV").arg(rate);
        const QString failed = "could not be written";
        const QString again = "written again";
        const int failedBefore = appLogCount(failed, logFile);
        const int againBefore = appLogCount(again, logFile);
        const QDateTime base = utc(2026, 1, 3, 10, 15, 30);

        Worker w;
        QSignalSpy server(w.get(), &SaveFileThread::sig_SendServerData);
        w.sync(true, 0, folder + "/20260103_101530.CSV");
        for (int k = 0; k < 2; ++k)
            w.batch(batchValues(k, rate), rate, base.addSecs(k));
        w.drain();
        const qint64 goodSize = QFileInfo(target).size();
        QVERIFY(goodSize > 0);

        // Three seconds fail.
        struct rlimit saved = {0, 0};
        if (cause == "full") {
            QVERIFY(QFile::rename(target, target + ".good"));
            QVERIFY(QFile::link("/dev/full", target));
        } else {
            // The limit lies inside the next second's rows; the log file must
            // stay below it to take the report.
            QVERIFY2(QFileInfo(logFile).size() + 4096 < goodSize, "the log file is too big for this limit");
            signal(SIGXFSZ, SIG_IGN);
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
            struct rlimit low = saved;
            low.rlim_cur = rlim_t(goodSize + 1001);
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &low), 0);
        }
        for (int k = 2; k < 5; ++k)
            w.batch(batchValues(k, rate), rate, base.addSecs(k));
        w.drain();
        if (cause == "full") {
            QVERIFY(QFile::remove(target));
            QVERIFY(QFile::rename(target + ".good", target));
        } else {
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
        }
        QCOMPARE(QFileInfo(target).size(), goodSize);
        QCOMPARE(appLogCount(failed, logFile) - failedBefore, 1);
        QCOMPARE(appLogCount(again, logFile) - againBefore, 0);
        QCOMPARE(appLogCount(target + " " + failed + ": " + error, logFile), 1);

        // It works again.
        for (int k = 5; k < 7; ++k)
            w.batch(batchValues(k, rate), rate, base.addSecs(k));
        w.drain();
        QCOMPARE(appLogCount(failed, logFile) - failedBefore, 1);
        QCOMPARE(appLogCount(again, logFile) - againBefore, 1);
        QCOMPARE(appLogCount(target + " " + again + " after 3 failed write(s).", logFile), 1);
        QCOMPARE(server.count(), 7); // the server client got every second

        const CsvReadBack r = readCsvFiles({target}, "ms");
        QCOMPARE(r.rows, 4 * rate);
        QCOMPARE(r.pandasRows, QVector<int>{4 * rate});
        QCOMPARE(r.widths, QVector<int>{2});
        QVERIFY(r.formatOk);
        QCOMPARE(r.diffs, (QVector<qint64>{1000 / rate, 3000 + 1000 / rate}));
        QCOMPARE(r.times.first(), QString("10:15:30.000"));
        QCOMPARE(r.times.at(2 * rate), QString("10:15:35.000"));
        for (int i = 0; i < r.rows; ++i) {
            const int k = i < 2 * rate ? i / rate : i / rate + 3;
            QCOMPARE(r.rowValues.at(i).value(0), QString(kValues[(k * rate + i % rate) % kValueCount].text));
        }
    }

    // A new-file request brings the line back to the clock and is consumed.
    void newFileRequestReanchors()
    {
        QTemporaryDir tmp;
        const QString folder = newFolder(tmp);
        Worker w;
        w.sync(true, 0, folder + "/20260103_101530.CSV");
        const QDateTime base = utc(2026, 1, 3, 10, 15, 30);
        w.batch(batchValues(0, 20), 20, base);
        w.batch(batchValues(1, 20), 20, base.addSecs(1));
        w.drain();
        {
            QMutexLocker lock(&GlobalState::instance().newFileMutex);
            GlobalState::instance().newFileRequest = true;
        }
        w.batch(batchValues(2, 20), 20, base.addMSecs(7250));
        w.batch(batchValues(3, 20), 20, base.addMSecs(8300));
        w.drain();
        {
            QMutexLocker lock(&GlobalState::instance().newFileMutex);
            QVERIFY(!GlobalState::instance().newFileRequest);
        }
        const CsvReadBack r = readCsvFiles({folder + "/20260103_101530_RQ_20Hz.CSV"}, "ms");
        QCOMPARE(r.rows, 80);
        QCOMPARE(r.times.at(39), QString("10:15:31.950"));
        QCOMPARE(r.times.at(40), QString("10:15:37.250"));
        QCOMPARE(r.times.at(79), QString("10:15:39.200"));
    }

    // A stream restart (or a new recording) anchors the line again on a
    // batch's completion time. The line runs about a batch ahead of those
    // times, so the completion can lie behind rows already written: the line
    // then carries on, one step after its last row. Only a clock set back by
    // more than a minute is followed, with a log line.
    void reanchorNeverStepsBack_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("newRecording");
        QTest::addColumn<qint64>("thirdAtMs");   // completion of the third batch, from the first's
        QTest::addColumn<qint64>("thirdFromMs"); // its first row, from the first batch's first row
        QTest::addColumn<bool>("setBack");
        QTest::newRow("1000/s, completion 10 ms behind the line") << 1000 << false << qint64(1990) << qint64(2000)
                                                                 << false;
        QTest::newRow("20/s, completion 940 ms behind the line") << 20 << false << qint64(1060) << qint64(2000)
                                                                << false;
        QTest::newRow("1000/s, new recording behind the line") << 1000 << true << qint64(1500) << qint64(2000)
                                                              << false;
        QTest::newRow("1000/s, completion after the line") << 1000 << false << qint64(2500) << qint64(2500) << false;
        QTest::newRow("1000/s, clock set back 2 h") << 1000 << false << qint64(-7200000) << qint64(-7200000) << true;
    }
    void reanchorNeverStepsBack()
    {
        QFETCH(int, rate);
        QFETCH(bool, newRecording);
        QFETCH(qint64, thirdAtMs);
        QFETCH(qint64, thirdFromMs);
        QFETCH(bool, setBack);
        QTemporaryDir tmp;
        const QString folder = newFolder(tmp);
        const int setBackLines = appLogCount("Recording time line set back by", logFile);
        Worker w;
        const QString path = folder + "/20260103_101530.CSV";
        w.sync(true, 0, path);
        const QDateTime base = utc(2026, 1, 3, 10, 15, 30, 400);
        w.batch(batchValues(0, rate), rate, base);
        w.batch(batchValues(1, rate), rate, base.addMSecs(1000));
        w.drain();
        if (newRecording) {
            w.sync(false, 0, path);
            w.sync(true, 0, path);
        } else {
            QMutexLocker lock(&GlobalState::instance().newFileMutex);
            GlobalState::instance().newFileRequest = true;
        }
        w.batch(batchValues(2, rate), rate, base.addMSecs(thirdAtMs));
        w.batch(batchValues(3, rate), rate, base.addMSecs(thirdAtMs + 1000));
        w.drain();

        const CsvReadBack r = readCsvFiles({folder + "/20260103_101530_RQ_" + QString::number(rate) + "Hz.CSV"}, "ms");
        QCOMPARE(r.rows, 4 * rate);
        const auto at = [&](qint64 offsetMs) {
            return CsvTimeLine::timeText(base.addMSecs(offsetMs).toMSecsSinceEpoch(), rate);
        };
        QCOMPARE(r.times.at(0), at(0));
        QCOMPARE(r.times.at(2 * rate - 1), at(2000 - 1000 / rate));
        QCOMPARE(r.times.at(2 * rate), at(thirdFromMs));
        QCOMPARE(r.times.at(4 * rate - 1), at(thirdFromMs + 2000 - 1000 / rate));
        QCOMPARE(r.increasing, !setBack);
        QCOMPARE(appLogCount("Recording time line set back by 7202.000 s", logFile) - setBackLines, setBack ? 1 : 0);
    }

    // Halves of one second make a batch; pieces that overshoot are dropped.
    void partialBatches()
    {
        QTemporaryDir tmp;
        const QString folder = newFolder(tmp);
        Worker w;
        QSignalSpy server(w.get(), &SaveFileThread::sig_SendServerData);
        w.sync(true, 0, folder + "/20260103_101530.CSV");
        const QDateTime base = utc(2026, 1, 3, 10, 15, 30);
        const QVector<double> all = batchValues(0, 20);
        w.batch(all.mid(0, 10), 20, base);
        w.drain();
        QCOMPARE(server.count(), 0);
        w.batch(all.mid(10, 10), 20, base.addMSecs(500));
        w.batch(all.mid(0, 15), 20, base.addMSecs(1000));
        w.batch(all.mid(0, 10), 20, base.addMSecs(1500)); // 25: neither sent nor written
        w.drain();
        QCOMPARE(server.count(), 1);
        QCOMPARE(server.at(0).at(0).toLongLong(), base.toMSecsSinceEpoch()); // first sample of the batch
        QCOMPARE(server.at(0).at(1).value<QVector<double>>(), all);
        const CsvReadBack r = readCsvFiles({folder + "/20260103_101530_RQ_20Hz.CSV"}, "ms");
        QCOMPARE(r.rows, 20);
        QCOMPARE(r.diffs, QVector<qint64>{50});
    }

    // Crash-log lines go to the file of their own UTC date, in a "logs"
    // folder made when missing.
    void crashLog()
    {
        QTemporaryDir fresh;
        AppFolders::setOverride(fresh.path());
        QVERIFY(!QDir(fresh.path() + "/logs").exists());
        {
            Worker w;
            w.crash(utc(2026, 1, 3, 10, 15, 0).toSecsSinceEpoch(), "Connect Com success.");
            w.crash(utc(2026, 1, 3, 23, 59, 59).toSecsSinceEpoch(), "battery State: 4");
            w.crash(utc(2026, 1, 4, 0, 0, 1).toSecsSinceEpoch(), "line1\nline2");
            w.crash(utc(2026, 1, 4, 0, 0, 2).toSecsSinceEpoch(), QString::fromUtf8("分母中根号下出现负数:1"));
            w.drain();
        }
        AppFolders::setOverride(appDir.path());
        const QString logs = fresh.path() + "/logs/";
        QCOMPARE(QDir(logs).entryList(QDir::Files, QDir::Name),
                 (QStringList{"RQ_Crash_2026_01_03.dmp", "RQ_Crash_2026_01_04.dmp"}));
        QCOMPARE(readAll(logs + "RQ_Crash_2026_01_03.dmp"),
                 QByteArray("2026_01_03 10:15:00 UTC Connect Com success.\n"
                            "2026_01_03 23:59:59 UTC battery State: 4\n"));
        QCOMPARE(readAll(logs + "RQ_Crash_2026_01_04.dmp"),
                 QByteArray("2026_01_04 00:00:01 UTC line1\nline2\n"
                            "2026_01_04 00:00:02 UTC 分母中根号下出现负数:1\n"));
    }

    // Vector records: the 50th after start re-anchors and releases nothing;
    // then every 50 records make a batch 9 ms apart, written with 14 columns,
    // continuing across the hourly roll-over.
    void vectorFile()
    {
        QTemporaryDir tmp;
        const QString folder = newFolder(tmp);
        Worker w;
        QSignalSpy server(w.get(), &SaveFileThread::sig_SendServerVectorData);
        w.sync(true, 0, folder + "/20260103_105958.CSV");
        FIDVectorNum rec;
        rec.x = 50123.45678912;
        rec.y = 50000.0;
        rec.z = -12.5;
        rec.s = 48765.4321;
        for (int i = 0; i < 9; ++i)
            rec.f[size_t(i)] = 350000.0 + i * 0.125;
        // Completion times of six batches; the first only anchors.
        const QVector<QDateTime> done{utc(2026, 1, 3, 10, 59, 58, 600), utc(2026, 1, 3, 10, 59, 58, 800),
                                      utc(2026, 1, 3, 10, 59, 59, 100), utc(2026, 1, 3, 10, 59, 59, 500),
                                      utc(2026, 1, 3, 11, 0, 0, 100),   utc(2026, 1, 3, 11, 0, 0, 300)};
        for (int b = 0; b < done.size(); ++b) {
            for (int i = 0; i < 50; ++i)
                w.vector(rec, done.at(b));
            if (b == 0) {
                w.drain();
                QCOMPARE(server.count(), 0); // the anchoring batch is empty: nothing sent
                QVERIFY(csvFilesIn(folder).isEmpty());
            }
        }
        w.drain();

        const QStringList files{"20260103_105958_FIDVector_111Hz.CSV", "20260103_110000_FIDVector_111Hz.CSV"};
        QCOMPARE(csvFilesIn(folder), files);
        const CsvReadBack r = readCsvFiles({folder + "/" + files.at(0), folder + "/" + files.at(1)}, "ms");
        QCOMPARE(r.fileRows, (QVector<int>{150, 100}));
        QCOMPARE(r.pandasRows, (QVector<int>{150, 100}));
        QCOMPARE(r.widths, QVector<int>{14});
        QVERIFY(r.formatOk);
        QVERIFY(r.increasing);
        QCOMPARE(r.diffs, QVector<qint64>{9});
        QCOMPARE(r.times.first(), QString("10:59:58.600"));
        QCOMPARE(r.times.at(150), QString("10:59:59.950")); // stamped on the old line, under the new name
        const QStringList expected{"50123.45679", "50000",       "-12.5",       "48765.4321",  "350000",
                                   "350000.125",  "350000.25",   "350000.375",  "350000.5",    "350000.625",
                                   "350000.75",   "350000.875",  "350001"};
        QCOMPARE(r.rowValues.first(), expected);
        QCOMPARE(r.rowValues.last(), expected);

        QCOMPARE(server.count(), 5);
        const qint64 anchor = done.at(0).toMSecsSinceEpoch();
        for (int k = 0; k < server.count(); ++k) {
            const QList<QVariant> a = server.at(k);
            QCOMPARE(a.at(0).toLongLong(), anchor + k * 450);
            const QVector<XYZST> batch = a.at(1).value<QVector<XYZST>>();
            QCOMPARE(batch.size(), 50);
            QCOMPARE(batch.at(1).time.toMSecsSinceEpoch() - batch.at(0).time.toMSecsSinceEpoch(), qint64(9));
            QCOMPARE(a.at(2).toInt(), 111);
            QCOMPARE(a.at(3).toInt(), 9);
        }
    }

    // The three-axis test file: labelled values, a "sqrt" line after every
    // third, an "S" line and dashes after every ninth.
    void threeAxisTestFile()
    {
        QDir().mkpath(AppFolders::fileDir());
        Worker w;
        w->setClock([] { return utc(2026, 1, 3, 10, 15, 30); });
        QVector<double> d;
        for (int i = 1; i <= 9; ++i)
            d.append(i);
        SaveFileThread* t = w.get();
        QMetaObject::invokeMethod(t, [=] { t->slot_saveVectorK3orK5CSV(d); }, Qt::QueuedConnection);
        w.drain();
        const QString path = AppFolders::fileDir() + QString::fromUtf8("/K3三轴测试_101530.CSV");
        QCOMPARE(readAll(path), QByteArray("1,1111\n2,1000\n3,0100\n5.5,sqrt\n"
                                           "4,1111\n5,0010\n6,0001\n14.5,sqrt\n"
                                           "7,1111\n8,0000\n9,0000\n23.5,sqrt\n"
                                           "S,0.5717691825\n--------------,-------------\n"));
    }

    void badBatchesAreLoggedAndDropped()
    {
        const int before = appLogCount("Recording batch dropped", logFile);
        Worker w;
        QSignalSpy server(w.get(), &SaveFileThread::sig_SendServerData);
        w.batch(batchValues(0, 20), 0, utc(2026, 1, 3, 10, 0, 0));
        w.batch(batchValues(0, 20), 20, QDateTime());
        w.batch(batchValues(0, 20), 20, utc(2026, 1, 3, 10, 0, 1));
        w.drain();
        QCOMPARE(appLogCount("Recording batch dropped", logFile) - before, 2);
        QCOMPARE(server.count(), 1);
    }
};

QTEST_MAIN(TestSaveFileThread)
#include "tst_savefilethread.moc"
