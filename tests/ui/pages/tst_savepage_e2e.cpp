// Recording end to end: the real hub and main window, the simulated
// instrument on a socat pty pair streaming 1000 samples per second, the
// recording page reached through its tab, a duration typed and Save clicked.
// The CSV file is read back by Python (csv and pandas) and checked against
// the simulator's field and against the seconds the page handed on. A second,
// shorter recording runs in Chinese. Screenshots of the window during each
// recording go under the build folder (and TERVAL_SHOTS_DIR when set).

#include "devlink.h"
#include "mainpagerig.h"
#include "operatorinput.h"
#include "savepagerig.h"

#include "peers/peerprocess.h"
#include "peers/ptypair.h"
#include "recording/recordingnames.h"
#include "ui/widgets/custommenu.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextEdit>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace
{

constexpr double kField = 50000.0; // nT, the simulator's field
constexpr double kHum = 1.0;       // nT, its 50 Hz hum
constexpr double kNoise = 0.05;    // nT rms

QString saveScreenshot(QWidget* w, const QString& fileName)
{
    const QImage image = w->grab().toImage();
    QString saved;
    for (const QString& dir : {qEnvironmentVariable("TERVAL_BINARY_DIR", QDir::currentPath()) + "/screenshots",
                               qEnvironmentVariable("TERVAL_SHOTS_DIR")}) {
        if (dir.isEmpty())
            continue;
        QDir().mkpath(dir);
        const QString path = dir + QLatin1Char('/') + fileName;
        if (image.save(path))
            saved = path;
    }
    return saved;
}

void chooseLanguage(MainWindow* w, const QString& item)
{
    w->findChild<QPushButton*>(QStringLiteral("btn_Language"))->click();
    if (QPushButton* b = shownMenuEntry(item).item)
        b->click();
}

// The first n seconds the page handed on after the spy started.
QVector<double> firstSeconds(const QSignalSpy& spy, int n)
{
    QVector<double> out;
    for (int k = 0; k < n && k < spy.size(); ++k)
        out += spy.at(k).at(0).value<QVector<double>>();
    return out;
}

} // namespace

class TestSavePageE2E : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerSharedMetaTypes(); }
    void recordFromTheWindow();
};

void TestSavePageE2E::recordFromTheWindow()
{
    QElapsedTimer total;
    total.start();
    PtyPair pty;
    QVERIFY2(pty.isReady(), qPrintable(pty.errorString()));
    PeerProcess sim;
    QVERIFY2(sim.start(PeerProcess::programPath(QStringLiteral("sim_instrument")),
                       {QStringLiteral("--device"), pty.peerEnd(), QStringLiteral("--status"), QStringLiteral("4"),
                        QStringLiteral("--field"), QString::number(kField), QStringLiteral("--hum"),
                        QString::number(kHum), QStringLiteral("--noise"), QString::number(kNoise),
                        QStringLiteral("--log"), pty.filePath(QStringLiteral("sim.log"))}),
             qPrintable(sim.errorString()));

    DevLink port(pty.linkEnd(), QStringLiteral("ttyTVR"));
    MainPageRig rig({}, {}, MainPageRig::InWindow);
    ParamManager* hub = rig.hub.get();
    MainWindow* window = rig.window.get();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));

    // Connect and wait for the stream to reach the pages.
    QSignalSpy connected(hub, &ParamManager::sig_connected);
    // The operator picks the port from the main page's menu. Without a
    // writable /dev (not root) the port is opened by its path instead.
    if (port.ok)
        rig.page->slot_handleActionTriggered(port.name, QVariant());
    else
        emit hub->getModbusWorkThread()->sig_connectDevice(pty.linkEnd(), hub->baudRate);
    QVERIFY(connected.wait(5000));
    // (waits that block the event loop would stall the connection sequence)
    QTRY_VERIFY_WITH_TIMEOUT(hub->isRunning(), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(rig.page->historyValues().size() >= 1000, 10000);
    QCOMPARE(hub->samplingRate, 1000);

    // To the recording page through its tab; the stream keeps running.
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnSave")), Qt::LeftButton);
    auto* page = window->findChild<SaveModuleForm*>();
    QVERIFY(page && page->isVisible());
    const auto child = [page](const char* name) { return page->findChild<QWidget*>(QLatin1String(name)); };
    auto* saveButton = static_cast<QPushButton*>(child("btn_Save"));
    auto* duration = static_cast<QLineEdit*>(child("edt_saveTime"));
    auto* console = static_cast<QTextEdit*>(child("textEdit_console"));
    QCOMPARE(static_cast<QLineEdit*>(child("edt_filePath"))->text(), AppFolders::fileDir());

    duration->selectAll();
    QTest::keyClicks(duration, QStringLiteral("5x")); // the validator keeps digits only
    QCOMPARE(duration->text(), QStringLiteral("5"));
    QTest::keyClicks(static_cast<QTextEdit*>(child("textEdit")), QStringLiteral("sim 50000 nT"));

    QSignalSpy seconds(hub, &ParamManager::sig_saveCSVData);
    QSignalSpy finished(hub, &ParamManager::sig_saveFinished);
    QElapsedTimer recording;
    recording.start();
    QTest::mouseClick(saveButton, Qt::LeftButton);
    QCOMPARE(saveButton->text(), QStringLiteral("Saving"));
    QVERIFY(hub->isSave());
    const QString started = hub->getFilePathName();
    QVERIFY(started.startsWith(AppFolders::fileDir() + "/"));

    // The console fills while the page is shown; the screenshot shows it.
    QTRY_VERIFY_WITH_TIMEOUT(seconds.size() >= 2, 10000);
    QVERIFY(page->consoleLineCount() >= 100);
    QVERIFY(console->toPlainText().contains(QStringLiteral("50000.")) ||
            console->toPlainText().contains(QStringLiteral("49999.")));
    QVERIFY(!saveScreenshot(window, QStringLiteral("recording_en.png")).isEmpty());

    // The button returns by itself after five seconds of samples.
    QTRY_COMPARE_WITH_TIMEOUT(saveButton->text(), QStringLiteral("Save"), 20000);
    // not ended early (a backlog may deliver the seconds a little faster)
    QVERIFY2(recording.elapsed() >= 3000, qPrintable(QString::number(recording.elapsed())));
    QCOMPARE(finished.size(), 1);
    QVERIFY(!hub->isSave());
    QVERIFY(!page->isConsoleOutputEnabled());
    QVERIFY(seconds.size() >= 5);
    QMetaObject::invokeMethod(
        hub->saveFileThread, [] {}, Qt::BlockingQueuedConnection);

    // Read back: 1000 rows per recorded second, 1 ms apart, the page's values.
    const QStringList files = recordedFiles(AppFolders::fileDir(), 1000);
    QVERIFY(!files.isEmpty() && files.size() <= 2); // two only across a whole hour
    // Named after the click (or, started in an hour's last second, after
    // the first row of the next hour).
    const QDateTime startName = RecordingNames::timestampOfName(QFileInfo(started).fileName());
    QVERIFY(startName.isValid());
    for (const QString& f : files) {
        const QDateTime named = RecordingNames::timestampOfName(QFileInfo(f).fileName());
        QVERIFY2(named >= startName && named <= startName.addSecs(10), qPrintable(f));
    }
    const CsvReadBack r = readCsvFiles(files);
    QVERIFY(r.ok);
    QCOMPARE(r.rows, 5000);
    QCOMPARE(std::accumulate(r.pandasRows.begin(), r.pandasRows.end(), 0), 5000);
    QCOMPARE(r.widths, QVector<int>{2});
    QVERIFY(r.formatOk);
    QVERIFY(r.increasing);
    QCOMPARE(r.diffs, QVector<qint64>{1});
    const QString mismatches = r.nameMismatches(true);
    QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches));
    const QVector<double> handedOn = firstSeconds(seconds, 5);
    QCOMPARE(handedOn.size(), 5000);
    for (int k = 0; k < 5; ++k)
        QCOMPARE(seconds.at(k).at(0).value<QVector<double>>().size(), 1000);
    double sum = 0;
    for (int i = 0; i < r.rows; ++i) {
        const double v = r.values.at(i);
        QVERIFY2(std::fabs(v - handedOn.at(i)) <= 1e-5, qPrintable(QString::number(i)));
        QVERIFY2(std::fabs(v - kField) < kHum + 6 * kNoise + 0.2, qPrintable(QString::number(v, 'f', 4)));
        sum += v;
    }
    // the hum averages out over whole cycles, the noise to ~0.001 nT
    QVERIFY2(std::fabs(sum / r.rows - kField) < 0.1, qPrintable(QString::number(sum / r.rows, 'f', 4)));
    // The comments went to the start's text file, as typed.
    QFile notes(AppFolders::fileDir() + "/" + QFileInfo(started).completeBaseName() + ".txt");
    QVERIFY(notes.open(QIODevice::ReadOnly));
    QCOMPARE(notes.readAll(), QByteArray("sim 50000 nT"));

    // In Chinese: a two-second recording, its screenshot, the idle text back.
    chooseLanguage(window, QStringLiteral("中文"));
    QCOMPARE(hub->isChinese, 1);
    QCOMPARE(saveButton->text(), QStringLiteral("保存"));
    duration->selectAll();
    QTest::keyClicks(duration, QStringLiteral("2"));
    seconds.clear();
    QTest::mouseClick(saveButton, Qt::LeftButton);
    QCOMPARE(saveButton->text(), QStringLiteral("保存中"));
    QTRY_VERIFY_WITH_TIMEOUT(seconds.size() >= 1 && page->consoleLineCount() >= 100, 10000);
    QVERIFY(!saveScreenshot(window, QStringLiteral("recording_zh.png")).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(saveButton->text(), QStringLiteral("保存"), 15000);
    QCOMPARE(finished.size(), 2);
    QMetaObject::invokeMethod(
        hub->saveFileThread, [] {}, Qt::BlockingQueuedConnection);
    QCOMPARE(readCsvFiles(recordedFiles(AppFolders::fileDir(), 1000)).rows, 7000);
    chooseLanguage(window, QStringLiteral("English"));

    QVERIFY(sim.stop());
    pty.stop();
    QVERIFY2(total.elapsed() < 60000, qPrintable(QString::number(total.elapsed())));
}

QTEST_MAIN(TestSavePageE2E)
#include "tst_savepage_e2e.moc"
