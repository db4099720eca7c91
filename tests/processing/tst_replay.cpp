// The replay source on its own thread: file loading (good, malformed,
// missing), chunks and their pacing, the points-per-send hand-over from
// another thread, and the hub's creation of it at start-up, in process and
// in the application binary. Files are written here by hand or by our
// generator.

#include "app/appmanager.h"
#include "core/appfolders.h"
#include "core/types.h"
#include "hub/parammanager.h"
#include "processing/mockdatathread.h"

#include "app/apprun.h"
#include "linecapture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <memory>
#include <thread>

namespace {

struct Stop {
    void operator()(MockDataThread* m) const
    {
        m->stop();
        delete m;
    }
};
using Replay = std::unique_ptr<MockDataThread, Stop>;

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    f.write(bytes);
    return path;
}

// "i,i" for i = 0 .. n-1: the value of a sample is its position in the file.
QByteArray indexFile(int n)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += QByteArray::number(i) + ',' + QByteArray::number(i) + '\n';
    return out;
}

QVector<double> sendOnce(MockDataThread* m, QSignalSpy& spy)
{
    spy.clear();
    if (!QMetaObject::invokeMethod(m, "sendNextData", Qt::BlockingQueuedConnection) || spy.size() != 1)
        return {};
    return spy.first().first().value<QVector<double>>();
}

// Chunks received on the test thread, in order.
struct Collector : QObject {
    QList<QVector<double>> chunks;
    QStringList errors;
    QList<qint64> at;
    QElapsedTimer clock;
    explicit Collector(MockDataThread* m)
    {
        clock.start();
        connect(m, &MockDataThread::dataSent, this, [this](QVector<double> c) {
            chunks << c;
            at << clock.elapsed();
        });
        connect(m, &MockDataThread::errorOccurred, this, [this](QString e) { errors << e; });
    }
};

bool runGenerator(const QString& path, int seconds, int seed)
{
    return QProcess::execute(QStringLiteral(TERVAL_MOCKGEN),
                             {path, QString::number(seconds), QString::number(seed)})
           == 0;
}

} // namespace

class TestReplay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void load_data();
    void load();
    void missingFileKeepsValues();
    void generatedFile();

    void chunks_data();
    void chunks();
    void startWithoutData();
    void pointsPerSendBelowOne();
    void restartStartsFromFirstValue();
    void pacing();
    void pointsPerSendFromAnotherThread();

    void hubCreatesBeforeWindow_data();
    void hubCreatesBeforeWindow();
    void hubReplayErrorsAreDebugLines();
    void binaryReportsMockErrorInOrder();

private:
    QTemporaryDir appFolder;
    QTemporaryDir files;
};

void TestReplay::initTestCase()
{
    registerSharedMetaTypes();
    QVERIFY(appFolder.isValid() && files.isValid());
    AppFolders::setOverride(appFolder.path());
    installLineCapture();
}

void TestReplay::init()
{
    takeLines();
}

void TestReplay::load_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<int>("skippedReported"); // 0: no debug line

    QTest::newRow("header and two values")
        << QByteArray("time_s,frequency_mHz\n0.000,349800000.5\n0.001,349800001.25\n") << true
        << QVector<double>{349800000.5, 349800001.25} << 0;
    QTest::newRow("header then one number") << QByteArray("a,b\n1,2\n") << true << QVector<double>{2} << 0;
    QTest::newRow("blanks round an exponent, third field") << QByteArray("x,  2.5e8  ,zzz\n") << true
                                                           << QVector<double>{2.5e8} << 0;
    QTest::newRow("empty first field") << QByteArray(",5\n") << true << QVector<double>{5} << 0;
    QTest::newRow("negative and signed") << QByteArray("0,-1.5\n0,+3\n") << true << QVector<double>{-1.5, 3} << 0;
    QTest::newRow("line without a comma") << QByteArray("1,1\n123\n1,7\n") << true << QVector<double>{1, 7} << 1;
    QTest::newRow("empty second field") << QByteArray("1,1\n5,,6\n1,7\n") << true << QVector<double>{1, 7} << 1;
    QTest::newRow("not finite") << QByteArray("1,1\n1,nan\n1,inf\n1,-inf\n1,1e999\n1,8\n") << true
                                << QVector<double>{1, 8} << 4;
    QTest::newRow("decimal comma splits the field") << QByteArray("t,v\n1,2,5\n") << true << QVector<double>{2} << 0;
    QTest::newRow("CRLF, blank and empty lines") << QByteArray("1,3\r\n\r\n   \r\n\t1 , 4 \r\n") << true
                                                 << QVector<double>{3, 4} << 0;
    QTest::newRow("no valid data") << QByteArray("a,b\nc,d\n") << false << QVector<double>{} << 1;
    QTest::newRow("empty file") << QByteArray() << false << QVector<double>{} << 0;
    static const char garbage[] = "\x00\xff\xfe,\x01\x02\n\x07,\x80\xc3\n";
    QTest::newRow("binary garbage") << QByteArray(garbage, sizeof garbage - 1) << false
                                    << QVector<double>{} << 1;
}

void TestReplay::load()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);
    QFETCH(QVector<double>, values);
    QFETCH(int, skippedReported);

    const QString path = writeFile(files, QStringLiteral("load.csv"), content);
    Replay replay(new MockDataThread(nullptr));
    QSignalSpy errors(replay.get(), &MockDataThread::errorOccurred);
    QCOMPARE(replay->loadCsv(path), ok);
    QCOMPARE(replay->values(), values);
    if (ok) {
        QCOMPARE(errors.count(), 0);
    } else {
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.first().first().toString(), QString::fromUtf8("文件没有包含有效数据: ") + path);
    }
    const QStringList lines = takeLines();
    const int at = indexOfLine(lines, QStringLiteral("skipped"));
    if (skippedReported == 0) {
        QCOMPARE(at, -1);
    } else {
        QVERIFY2(at >= 0, qPrintable(lines.join('\n')));
        QVERIFY2(lines.at(at).contains(path) && lines.at(at).contains(QStringLiteral("skipped %1 line").arg(skippedReported)),
                 qPrintable(lines.at(at)));
    }
}

void TestReplay::missingFileKeepsValues()
{
    Replay replay(new MockDataThread(nullptr));
    QVERIFY(replay->loadCsv(writeFile(files, QStringLiteral("three.csv"), indexFile(3))));
    QSignalSpy errors(replay.get(), &MockDataThread::errorOccurred);
    const QString missing = files.filePath(QStringLiteral("no/such/file.csv"));
    QVERIFY(!replay->loadCsv(missing));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().toString(), QString::fromUtf8("无法打开文件: ") + missing);
    QCOMPARE(replay->values(), (QVector<double>{0, 1, 2}));
    // A folder is no file either.
    QVERIFY(!replay->loadCsv(files.path()));
}

// Our generator: same seed, same bytes; a field near 50000 nT in mHz.
void TestReplay::generatedFile()
{
    const QString a = files.filePath(QStringLiteral("gen_a.csv"));
    const QString b = files.filePath(QStringLiteral("gen_b.csv"));
    QVERIFY(runGenerator(a, 2, 7));
    QVERIFY(runGenerator(b, 2, 7));
    QFile fa(a), fb(b);
    QVERIFY(fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly));
    QCOMPARE(fa.readAll(), fb.readAll());

    Replay replay(new MockDataThread(nullptr));
    QVERIFY(replay->loadCsv(a));
    const QVector<double> v = replay->values();
    QCOMPARE(v.size(), 2000);
    double sum = 0;
    for (double x : v) {
        const double nT = x * 0.001 / 6.99583;
        QVERIFY2(nT > 49990 && nT < 50010, qPrintable(QString::number(nT, 'f', 3)));
        sum += nT;
    }
    QVERIFY(std::fabs(sum / v.size() - 50000) < 5);
    QCOMPARE(indexOfLine(takeLines(), QStringLiteral("skipped")), -1);
}

// Ticks driven one by one on the replay thread.
void TestReplay::chunks_data()
{
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<int>("perSend");
    QTest::addColumn<QList<int>>("firstValues");
    QTest::addColumn<QList<int>>("sizes");

    QTest::newRow("120 by 50") << 120 << 50 << QList<int>{0, 50, 100, 0, 50, 100} << QList<int>{50, 50, 20, 50, 50, 20};
    QTest::newRow("one value by 50") << 1 << 50 << QList<int>{0, 0, 0} << QList<int>{1, 1, 1};
    QTest::newRow("100 by 50") << 100 << 50 << QList<int>{0, 50, 0, 50} << QList<int>{50, 50, 50, 50};
    QTest::newRow("3 by 1") << 3 << 1 << QList<int>{0, 1, 2, 0} << QList<int>{1, 1, 1, 1};
    QTest::newRow("3 by 5") << 3 << 5 << QList<int>{0, 0} << QList<int>{3, 3};
}

void TestReplay::chunks()
{
    QFETCH(int, fileSize);
    QFETCH(int, perSend);
    QFETCH(QList<int>, firstValues);
    QFETCH(QList<int>, sizes);

    Replay replay(new MockDataThread(nullptr));
    QVERIFY(replay->loadCsv(writeFile(files, QStringLiteral("idx.csv"), indexFile(fileSize))));
    replay->setPointsPerSend(perSend);
    QSignalSpy sent(replay.get(), &MockDataThread::dataSent);
    for (int i = 0; i < sizes.size(); ++i) {
        const QVector<double> c = sendOnce(replay.get(), sent);
        QCOMPARE(c.size(), sizes.at(i));
        for (int k = 0; k < c.size(); ++k)
            QCOMPARE(c.at(k), double(firstValues.at(i) + k));
    }
}

void TestReplay::startWithoutData()
{
    Replay replay(new MockDataThread(nullptr));
    Collector got(replay.get());
    replay->startSendingData(5);
    QTRY_COMPARE(got.errors, QStringList{QString::fromUtf8("没有数据可发送，请先加载CSV文件")});
    QVERIFY(!replay->isSending());
    QTest::qWait(60);
    QVERIFY(got.chunks.isEmpty());
}

void TestReplay::pointsPerSendBelowOne()
{
    Replay replay(new MockDataThread(nullptr));
    QCOMPARE(replay->pointsPerSendNow(), 1);
    replay->setPointsPerSend(50);
    QSignalSpy errors(replay.get(), &MockDataThread::errorOccurred);
    replay->setPointsPerSend(0);
    replay->setPointsPerSend(-3);
    QCOMPARE(errors.count(), 2);
    QCOMPARE(errors.at(0).first().toString(), QString::fromUtf8("每次发送点数必须大于0，保持原值 "));
    QCOMPARE(replay->pointsPerSendNow(), 50);

    QVERIFY(replay->loadCsv(writeFile(files, QStringLiteral("p.csv"), indexFile(200))));
    QSignalSpy sent(replay.get(), &MockDataThread::dataSent);
    QCOMPARE(sendOnce(replay.get(), sent).size(), 50);
}

void TestReplay::restartStartsFromFirstValue()
{
    Replay replay(new MockDataThread(nullptr));
    QVERIFY(replay->loadCsv(writeFile(files, QStringLiteral("r.csv"), indexFile(120))));
    replay->setPointsPerSend(50);
    QSignalSpy sent(replay.get(), &MockDataThread::dataSent);
    sendOnce(replay.get(), sent);
    QCOMPARE(sendOnce(replay.get(), sent).first(), 50.0);

    // The start is queued; a long interval keeps the timer from ticking.
    replay->stopSendingData();
    replay->startSendingData(600000);
    QVERIFY(replay->isSending());
    QCOMPARE(sendOnce(replay.get(), sent).first(), 0.0);
    replay->stopSendingData();
    QVERIFY(!replay->isSending());
}

void TestReplay::pacing()
{
    Replay replay(new MockDataThread(nullptr));
    QVERIFY(replay->loadCsv(writeFile(files, QStringLiteral("pace.csv"), indexFile(5000))));
    Collector got(replay.get());
    replay->startSendingData(MockDataThread::kSendIntervalMs);
    replay->setPointsPerSend(50);
    QCOMPARE(replay->intervalMs(), 50);
    QTest::qWait(2050);
    replay->stopSendingData();
    QVERIFY(!replay->isSending());
    // Real time: 20 sends of 50 per second; loose bounds for a loaded machine,
    // but far from the 25 per second of a 40 ms pace.
    const int n = got.chunks.size();
    QVERIFY2(n >= 28 && n <= 44, qPrintable(QString::number(n)));
    int values = 0;
    for (const auto& c : got.chunks)
        values += c.size();
    QCOMPARE(values, 50 * n);
}

void TestReplay::pointsPerSendFromAnotherThread()
{
    const int fileSize = 997;
    Replay replay(new MockDataThread(nullptr));
    QVERIFY(replay->loadCsv(writeFile(files, QStringLiteral("t.csv"), indexFile(fileSize))));
    Collector got(replay.get());
    replay->startSendingData(1);

    std::atomic<bool> done{false};
    std::thread writer([&] {
        int i = 0;
        while (!done.load())
            replay->setPointsPerSend((++i % 2) ? 1 : 50);
    });
    QTest::qWait(400);
    done = true;
    writer.join();
    replay->stopSendingData();
    QVERIFY(!replay->isSending());
    QTest::qWait(20);

    QVERIFY2(got.chunks.size() > 20, qPrintable(QString::number(got.chunks.size())));
    double expectedStart = 0;
    bool sawOne = false, sawFifty = false;
    for (const QVector<double>& c : got.chunks) {
        QVERIFY(!c.isEmpty());
        QCOMPARE(c.first(), expectedStart);
        for (int k = 1; k < c.size(); ++k)
            QCOMPARE(c.at(k), c.at(k - 1) + 1); // contiguous, never across the end
        const bool atEnd = c.last() == fileSize - 1;
        QVERIFY2(c.size() == 1 || c.size() == 50 || (atEnd && c.size() < 50), qPrintable(QString::number(c.size())));
        sawOne |= c.size() == 1;
        sawFifty |= c.size() == 50;
        expectedStart = atEnd ? 0 : c.last() + 1;
    }
    QVERIFY(sawOne && sawFifty);
}

// Start-up step of the settings file, in process: the replay source exists
// once the settings are read, before any window, exactly when asked for.
void TestReplay::hubCreatesBeforeWindow_data()
{
    QTest::addColumn<int>("isMockData");
    QTest::addColumn<bool>("withFile");
    QTest::newRow("isMockData 1, file present") << 1 << true;
    QTest::newRow("isMockData 1, file missing") << 1 << false;
    QTest::newRow("isMockData 0") << 0 << true;
}

void TestReplay::hubCreatesBeforeWindow()
{
    QFETCH(int, isMockData);
    QFETCH(bool, withFile);

    QTemporaryDir cwd;
    writeFile(cwd, QStringLiteral("config.ini"),
              QStringLiteral("[Sensitivity]\nisMockData=%1\n").arg(isMockData).toUtf8());
    if (withFile)
        QVERIFY(runGenerator(cwd.filePath(QStringLiteral("mock.csv")), 3, 1));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(cwd.path());
    AppManager app;
    app.initParams();
    QDir::setCurrent(previous);
    const QStringList lines = takeLines();

    QVERIFY(app.window() == nullptr);
    ParamManager* hub = app.params();
    QCOMPARE(hub->isMockData, isMockData);
    if (isMockData != 1) {
        QVERIFY(hub->mockDataThread == nullptr);
        QCOMPARE(indexOfLine(lines, QStringLiteral("mock error")), -1);
        return;
    }
    MockDataThread* replay = hub->mockDataThread;
    QVERIFY(replay);
    QCOMPARE(replay->parent(), nullptr);
    QCOMPARE(replay->values().size(), withFile ? 3000 : 0);
    const int mockError = indexOfLine(lines, QStringLiteral("mock error"));
    if (withFile) {
        QCOMPARE(mockError, -1);
    } else {
        QVERIFY2(mockError > indexOfLine(lines, QStringLiteral("isTest:")), qPrintable(lines.join('\n')));
        // The source's own message went out before anyone listened.
        QCOMPARE(indexOfLine(lines, QStringLiteral("Error:")), -1);
    }

    if (withFile) {
        // A 2 s FFT window fills within a few seconds of replay.
        DataParam param;
        param.fftSeconds = 2;
        emit hub->sig_syncDataParam(param);
        QSignalSpy spectra(hub, &ParamManager::sig_updateFormEx);
        // The main page's replay button at 1000 samples per second.
        QSignalSpy batches(hub, &ParamManager::sig_updateForm);
        hub->startMockData(50);
        QVERIFY(replay->isSending());
        QCOMPARE(replay->intervalMs(), MockDataThread::kSendIntervalMs);
        QCOMPARE(replay->pointsPerSendNow(), 50);
        // The chunks reach the data handler, whose batches come back to
        // the hub as field values.
        QTRY_VERIFY_WITH_TIMEOUT(!batches.isEmpty(), 5000);
        const QVector<double> batch = batches.first().at(0).value<QVector<double>>();
        QCOMPARE(batches.first().at(1).value<FrequencyType>(), Freq1000Hz);
        QCOMPARE(batch.size(), 50);
        for (double nT : batch)
            QVERIFY2(std::fabs(nT - 50000) < 10, qPrintable(QString::number(nT, 'f', 3)));
        // Once the window holds fftSeconds x 1000 samples, the spectrum has
        // fftSeconds x 500 bins at k / fftSeconds Hz.
        QTRY_VERIFY_WITH_TIMEOUT(!spectra.isEmpty(), 15000);
        const QVector<double> freqs = spectra.first().at(1).value<QVector<double>>();
        const QVector<double> density = spectra.first().at(2).value<QVector<double>>();
        QCOMPARE(freqs.size(), 2 * 500);
        QCOMPARE(density.size(), 2 * 500);
        QCOMPARE(freqs.at(1) - freqs.at(0), 0.5);
        for (double d : density)
            QVERIFY(std::isfinite(d) && d >= 0);
        hub->startMockData(1);
        QCOMPARE(replay->pointsPerSendNow(), 1);
    }
    replay->stop();
}

void TestReplay::hubReplayErrorsAreDebugLines()
{
    QTemporaryDir cwd;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(cwd.path());
    auto hub = std::make_unique<ParamManager>(nullptr);
    hub->initMockData(); // no mock.csv here
    QDir::setCurrent(previous);
    QVERIFY(hub->mockDataThread);
    takeLines();

    hub->startMockData(50);
    QTRY_VERIFY(indexOfLine(linesNow(), QString::fromUtf8("没有数据可发送，请先加载CSV文件")) >= 0);
    const QStringList lines = takeLines();
    const QString line = lines.at(indexOfLine(lines, QString::fromUtf8("没有数据可发送")));
    QVERIFY2(line.startsWith(QStringLiteral("Error:")), qPrintable(line));
    QVERIFY(!hub->mockDataThread->isSending());
    hub->mockDataThread->stop();
}

// The application itself with isMockData 1 and no replay file: "mock error"
// between the settings and the window, and it keeps running.
void TestReplay::binaryReportsMockErrorInOrder()
{
    QVERIFY2(QFileInfo::exists(appBinaryPath()), qPrintable(appBinaryPath()));
    QTemporaryDir dir;
    writeFile(dir, QStringLiteral("config.ini"), "[Sensitivity]\nisMockData=1\n");
    const AppRun run = runAppFor(dir.path(), 2500);
    QVERIFY(run.started);
    QVERIFY(run.runningAtEnd);

    const QString& err = run.stderrText;
    const int isTest = err.indexOf("isTest:");
    const int mockError = err.indexOf("mock error");
    const int ui = err.indexOf("Initializing UI...");
    QVERIFY2(isTest >= 0 && mockError > isTest && ui > mockError, qPrintable(err));
}

QTEST_MAIN(TestReplay)
#include "tst_replay.moc"
