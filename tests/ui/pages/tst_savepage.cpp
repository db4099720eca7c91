// The recording page against the real hub and its recording worker: the
// one-second batching, the Save button's start and stop, folders, comments
// files, the console and its bound, language texts, reset, a timed
// recording, and the midnight and hourly splits with the page's clock set
// just before them. Files are read back by Python.

#include "savepagerig.h"

#include "core/myintvalidator.h"

#include <QSignalSpy>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <climits>

namespace
{

// "count@rate" steps of a batching run.
struct Step {
    int count;
    int rate;
};

QVector<Step> parseSteps(const QStringList& texts)
{
    QVector<Step> steps;
    for (const QString& t : texts) {
        const QStringList parts = t.split('@');
        steps.append({parts.value(0).toInt(), parts.value(1).toInt()});
    }
    return steps;
}

QStringList repeat(int n, const QString& step)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << step;
    return out;
}

// "first+count" ranges of running numbers, joined by "&".
QVector<double> expectedValues(const QString& ranges)
{
    QVector<double> v;
    for (const QString& r : ranges.split('&')) {
        const QStringList p = r.split('+');
        for (int i = 0; i < p.value(1).toInt(); ++i)
            v.append(p.value(0).toInt() + i);
    }
    return v;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Every row of the console: its table's cell texts, and whether any table
// lacks a cell.
struct ConsoleRows {
    QStringList times;
    QStringList values;
    int tables = 0;
    bool whole = true;
};

ConsoleRows consoleRows(QTextEdit* console)
{
    ConsoleRows out;
    QTextFrame* root = console->document()->rootFrame();
    for (QTextFrame::iterator it = root->begin(); !it.atEnd(); ++it) {
        if (auto* table = qobject_cast<QTextTable*>(it.currentFrame())) {
            ++out.tables;
            if (table->columns() != 2)
                out.whole = false;
            for (int r = 0; r < table->rows(); ++r) {
                const QString t = table->cellAt(r, 0).firstCursorPosition().block().text();
                const QString v = table->cellAt(r, 1).firstCursorPosition().block().text();
                if (t.isEmpty() || v.isEmpty())
                    out.whole = false;
                out.times << t;
                out.values << v;
            }
        }
    }
    return out;
}

// The console's time text of a value: arrival time plus index in ms.
QString rowTime(const QDateTime& arrival, int index)
{
    return arrival.addMSecs(index).toString("HH:mm:ss.zzz");
}

// The console's lines as its plain text has them.
QStringList plainLines(QTextEdit* console)
{
    return console->document()->toPlainText().split('\n');
}

QStringList withoutEmpty(QStringList lines)
{
    lines.removeAll(QString());
    return lines;
}

// The lines a batch adds to the console: a time and a value line for every
// tenth value, then the empty line after its table.
QStringList batchLines(const QDateTime& arrival, const QVector<double>& values)
{
    QStringList lines;
    for (int i = 0; i < values.size(); i += 10)
        lines << rowTime(arrival, i) << QString::number(values.at(i), 'f', 2);
    return lines << QString();
}

} // namespace

class TestSavePage : public QObject
{
    Q_OBJECT
    QTemporaryDir logDir; // the application log of the whole run

private slots:
    void initTestCase();
    void defaults();
    void batching_data();
    void batching();
    void startStop_data();
    void startStop();
    void folders_data();
    void folders();
    void stopWithoutFolder();
    void folderDialog();
    void comments_data();
    void comments();
    void console_data();
    void console();
    void consoleBound_data();
    void consoleBound();
    void consoleFlatten();
    void language_data();
    void language();
    void languageWithRecording();
    void reset();
    void defaultFolderCannotBeMade();
    void timedRecording_data();
    void timedRecording();
    void splits_data();
    void splits();
};

void TestSavePage::initTestCase()
{
    registerSharedMetaTypes();
    // The log opens once, here, and outlives every rig's folder.
    QVERIFY(logDir.isValid());
    AppFolders::setOverride(logDir.path());
    Logger::instance()->log("recording page tests start");
    QVERIFY(QFile::exists(Logger::instance()->currentFileName()));
    AppFolders::setOverride(QString());
    QVERIFY2(QDateTime(QDate(2026, 1, 3), QTime(12, 0)).offsetFromUtc() != 0,
             "the local time zone must differ from UTC for these tests");
}

// As built: the form's widgets, the default name and folder, the hidden
// boxes, the validator.
void TestSavePage::defaults()
{
    SavePageRig rig;
    QCOMPARE(rig.page->objectName(), QStringLiteral("SaveModuleForm"));
    QVERIFY(QRegularExpression("^\\d{8}_\\d{6}\\.CSV$").match(rig.text("edt_fileName")).hasMatch());
    QCOMPARE(rig.text("edt_filePath"), rig.folder());
    QVERIFY(QDir(rig.folder()).exists());
    QCOMPARE(rig.text("edt_pathFileName"), rig.folder() + "/" + rig.text("edt_fileName"));
    QVERIFY(rig.child<QLineEdit>("edt_pathFileName")->isReadOnly());
    QVERIFY(rig.child<QTextEdit>("textEdit_console")->isReadOnly());
    QVERIFY(rig.child<QCheckBox>("chk_saveFiles")->isChecked());
    QVERIFY(rig.child<QCheckBox>("chk_local")->isHidden());
    QVERIFY(rig.child<QCheckBox>("chk_SD")->isHidden());
    QCOMPARE(rig.text("btn_Save"), QStringLiteral("Save"));
    QCOMPARE(rig.text("edt_saveTime"), QStringLiteral("0"));
    QCOMPARE(rig.child<QLineEdit>("edt_saveTime")->validator(),
             static_cast<const QValidator*>(rig.hub->getIntValidator()));
    QVERIFY(!rig.page->isConsoleOutputEnabled());
    QCOMPARE(rig.child<QPushButton>("btn_Save")->size(), QSize(114, 44));
    QCOMPARE(rig.child<QPushButton>("btnOpen")->size(), QSize(84, 44));
    QVERIFY(rig.page->findChild<QWidget*>("mainPanel1"));

    // Editing the name or the folder shows the path; nothing is checked.
    auto* folderEdit = rig.child<QLineEdit>("edt_filePath");
    folderEdit->setText("/no/such/place");
    emit folderEdit->editingFinished();
    QCOMPARE(rig.text("edt_pathFileName"), "/no/such/place/" + rig.text("edt_fileName"));
    auto* nameEdit = rig.child<QLineEdit>("edt_fileName");
    nameEdit->setText("mine.CSV");
    emit nameEdit->editingFinished();
    QCOMPARE(rig.text("edt_pathFileName"), QStringLiteral("/no/such/place/mine.CSV"));
    QVERIFY(!QDir("/no/such/place").exists());
}

// Batches as the data path delivers them: each whole second at the hub's
// rate goes out once, stamped by the page's clock, recording or not.
void TestSavePage::batching_data()
{
    QTest::addColumn<int>("samplingRate");
    QTest::addColumn<bool>("recording");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("emitted");
    QTest::addColumn<QString>("debugLine");

    QTest::newRow("1000/s: 20 batches of 50") << 1000 << false << repeat(20, "50@1000") << QStringList{"0+1000"} << "";
    QTest::newRow("1000/s: 2.5 s, recording")
        << 1000 << true << repeat(50, "50@1000") << QStringList{"0+1000", "1000+1000"} << "";
    QTest::newRow("20/s") << 20 << false << repeat(3, "20@20") << QStringList{"0+20", "20+20", "40+20"} << "";
    QTest::newRow("1/s") << 1 << false << repeat(2, "1@1") << QStringList{"0+1", "1+1"} << "";
    QTest::newRow("200/s in tenths") << 200 << false << repeat(20, "10@200") << QStringList{"0+200"} << "";
    QTest::newRow("500/s") << 500 << false << repeat(40, "25@500") << QStringList{"0+500", "500+500"} << "";
    QTest::newRow("a rate change drops the gathered values")
        << 1000 << false << (repeat(10, "50@1000") << "10@200" << repeat(20, "50@1000")) << QStringList{"510+1000"}
        << "";
    QTest::newRow("an overflow emits nothing")
        << 20 << true << QStringList{"15@20", "10@20", "20@20"} << QStringList{"25+20"}
        << "2025.07.02 Wrong  sendsize  samplingRate: 25,20";
    QTest::newRow("other rates are ignored, the gathered values kept")
        << 20 << false << QStringList{"10@20", "5@111", "5@42", "5@100", "10@20"} << QStringList{"0+10&25+10"} << "";
    QTest::newRow("batches at another rate than the hub's")
        << 200 << false << repeat(40, "50@1000") << QStringList{} << "";
}

void TestSavePage::batching()
{
    QFETCH(int, samplingRate);
    QFETCH(bool, recording);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, emitted);
    QFETCH(QString, debugLine);

    SavePageRig rig;
    rig.hub->samplingRate = samplingRate;
    if (recording)
        rig.clickSave();
    QCOMPARE(rig.hub->isSave(), recording);
    QSignalSpy out(rig.hub.get(), &ParamManager::sig_saveCSVData);
    QSignalSpy server(rig.hub->saveFileThread, &SaveFileThread::sig_SendServerData);
    if (!debugLine.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, qPrintable(debugLine));
    const int overflowLogs = appLogCount("SaveModuleForm dropped");

    int next = 0;
    QVector<QDateTime> stampAtEmit;
    for (const Step& s : parseSteps(steps)) {
        QVector<double> v;
        for (int i = 0; i < s.count; ++i)
            v.append(next++);
        rig.now = rig.now.addMSecs(50);
        const int before = out.size();
        rig.feed(v, s.rate);
        if (out.size() > before)
            stampAtEmit.append(rig.now);
    }

    QCOMPARE(out.size(), emitted.size());
    for (int k = 0; k < emitted.size(); ++k) {
        QCOMPARE(out.at(k).at(0).value<QVector<double>>(), expectedValues(emitted.at(k)));
        QCOMPARE(out.at(k).at(1).toInt(), samplingRate);
        QCOMPARE(out.at(k).at(2).toDateTime(), stampAtEmit.at(k));
        QCOMPARE(out.at(k).at(2).toDateTime().timeSpec(), Qt::UTC);
    }
    // Every second reaches the worker, which hands it on whether recording or not.
    rig.drainWorker();
    QCOMPARE(server.size(), emitted.size());
    QCOMPARE(appLogCount("SaveModuleForm dropped") - overflowLogs, debugLine.isEmpty() ? 0 : 1);
    if (recording) {
        const CsvReadBack r = readCsvFiles(recordedFiles(rig.folder(), samplingRate));
        QCOMPARE(r.rows, emitted.size() * samplingRate);
    }
}

// One button starts and stops; what the worker is told each time.
void TestSavePage::startStop_data()
{
    QTest::addColumn<QString>("durationText");
    QTest::addColumn<int>("duration");
    QTest::addColumn<bool>("consecutive");
    QTest::addColumn<bool>("logged");
    QTest::newRow("5 s") << "5" << 5 << true << false;
    QTest::newRow("empty: until stopped") << "" << 0 << true << false;
    QTest::newRow("0: until stopped") << "0" << 0 << true << false;
    QTest::newRow("leading zeros") << "007" << 7 << false << false;
    QTest::newRow("largest") << "2147483647" << INT_MAX << true << false;
    QTest::newRow("beyond an int") << "2147483648" << 0 << true << true;
    QTest::newRow("beyond any number") << "99999999999999999999999" << 0 << true << true;
    QTest::newRow("not a number") << "12a" << 0 << true << true;
}

void TestSavePage::startStop()
{
    QFETCH(QString, durationText);
    QFETCH(int, duration);
    QFETCH(bool, consecutive);
    QFETCH(bool, logged);
    SavePageRig rig;
    QSignalSpy sync(rig.hub.get(), &ParamManager::sig_syncSaveParam);
    rig.child<QLineEdit>("edt_saveTime")->setText(durationText); // past the validator
    rig.child<QCheckBox>("chk_saveFiles")->setChecked(consecutive);
    rig.child<QLineEdit>("edt_fileName")->setText("typed.CSV");
    const int logs = appLogCount("is not usable: recording until stopped");

    rig.now = utcAt(2026, 1, 3, 10, 15, 30, 999);
    rig.clickSave();
    const QString startPath = rig.folder() + "/20260103_101530.CSV";
    QCOMPARE(sync.size(), 1);
    QCOMPARE(sync.at(0), (QList<QVariant>{true, duration, startPath, consecutive}));
    QVERIFY(rig.hub->isSave());
    QCOMPARE(rig.hub->getFilePathName(), startPath);
    QCOMPARE(rig.text("edt_fileName"), QStringLiteral("20260103_101530.CSV")); // the typed name is replaced
    QCOMPARE(rig.text("edt_pathFileName"), startPath);
    QCOMPARE(rig.text("btn_Save"), QStringLiteral("Saving"));
    QVERIFY(rig.page->isConsoleOutputEnabled());
    QCOMPARE(appLogCount("is not usable: recording until stopped") - logs, logged ? 1 : 0);

    rig.now = utcAt(2026, 1, 3, 10, 20, 0);
    rig.clickSave();
    const QString stopPath = rig.folder() + "/20260103_102000.CSV";
    QCOMPARE(sync.size(), 2);
    QCOMPARE(sync.at(1), (QList<QVariant>{false, duration, stopPath, consecutive}));
    QVERIFY(!rig.hub->isSave());
    QCOMPARE(rig.text("edt_pathFileName"), stopPath);
    QCOMPARE(rig.text("btn_Save"), QStringLiteral("Save"));
    QVERIFY(!rig.page->isConsoleOutputEnabled());
    QCOMPARE(appLogCount("is not usable: recording until stopped") - logs, logged ? 1 : 0);
}

// The folder is made with all its parents; one that cannot be made refuses
// the start with the log line and toggles nothing.
void TestSavePage::folders_data()
{
    QTest::addColumn<QString>("folder"); // below the working folder; "" for none
    QTest::addColumn<bool>("starts");
    QTest::newRow("nested, missing") << "deep/er/still" << true;
    QTest::newRow("existing") << "file" << true;
    QTest::newRow("below a plain file") << "plain.txt/sub" << false;
    QTest::newRow("empty") << "" << false;
}

void TestSavePage::folders()
{
    QFETCH(QString, folder);
    QFETCH(bool, starts);
    SavePageRig rig([](const QString& cwd) {
        QFile f(cwd + "/plain.txt");
        QVERIFY(f.open(QIODevice::WriteOnly));
    });
    const QString path = folder.isEmpty() ? QString() : rig.cwd.path() + "/" + folder;
    rig.child<QLineEdit>("edt_filePath")->setText(path);
    rig.child<QTextEdit>("textEdit")->setPlainText("note");
    const QString shownBefore = rig.text("edt_pathFileName");
    QSignalSpy sync(rig.hub.get(), &ParamManager::sig_syncSaveParam);
    const QString failLine = QStringLiteral("SaveModuleForm create %1 path failed").arg(path);
    const int fails = appLogCount(failLine);

    rig.hub->samplingRate = 20;
    rig.clickSave();
    QCOMPARE(rig.hub->isSave(), starts);
    QCOMPARE(sync.size(), starts ? 1 : 0);
    QCOMPARE(rig.page->isConsoleOutputEnabled(), starts);
    QCOMPARE(rig.text("btn_Save"), starts ? QStringLiteral("Saving") : QStringLiteral("Save"));
    QCOMPARE(appLogCount(failLine) - fails, starts ? 0 : 1);
    if (!starts) {
        QCOMPARE(rig.text("edt_pathFileName"), shownBefore);
        return;
    }
    QVERIFY(QDir(path).exists());
    QCOMPARE(readAll(path + "/20260103_101530.txt"), QByteArray("note"));
    // The worker writes into it.
    rig.feed(QVector<double>(20, 50000.5), 20);
    rig.drainWorker();
    const QStringList files = recordedFiles(path, 20);
    QCOMPARE(files, QStringList{path + "/20260103_101530_RQ_20Hz.CSV"});
    const CsvReadBack r = readCsvFiles(files);
    QCOMPARE(r.rows, 20);
    QCOMPARE(r.values.first(), 50000.5);
}

// The folder vanishes and cannot be made again while recording: the stop
// still stops (with the log line), so a recording never outlives its folder.
void TestSavePage::stopWithoutFolder()
{
    SavePageRig rig;
    const QString path = rig.cwd.path() + "/usb";
    rig.child<QLineEdit>("edt_filePath")->setText(path);
    rig.child<QTextEdit>("textEdit")->setPlainText("note");
    rig.clickSave();
    QVERIFY(rig.hub->isSave());
    QVERIFY(QDir(path).removeRecursively());
    {
        QFile blocker(path);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    const QString failLine = QStringLiteral("SaveModuleForm create %1 path failed").arg(path);
    const int fails = appLogCount(failLine);
    QSignalSpy sync(rig.hub.get(), &ParamManager::sig_syncSaveParam);
    rig.now = rig.now.addSecs(60);
    rig.clickSave();
    QCOMPARE(appLogCount(failLine) - fails, 1);
    QCOMPARE(sync.size(), 1);
    QCOMPARE(sync.at(0).at(0).toBool(), false);
    QVERIFY(!rig.hub->isSave());
    QCOMPARE(rig.text("btn_Save"), QStringLiteral("Save"));
    QVERIFY(!rig.page->isConsoleOutputEnabled());
}

// The folder button: the console pauses, a choice lands in the folder edit
// and the path, a cancel changes nothing.
void TestSavePage::folderDialog()
{
    SavePageRig rig;
    QStringList asked;
    QString answer = rig.cwd.path() + "/chosen";
    rig.page->setFolderChooser([&](const QString& start) {
        asked << start;
        return answer;
    });
    rig.clickSave();
    QVERIFY(rig.page->isConsoleOutputEnabled());
    QTest::mouseClick(rig.child<QPushButton>("btnOpen"), Qt::LeftButton);
    QCOMPARE(asked, QStringList{rig.folder()});
    QVERIFY(!rig.page->isConsoleOutputEnabled());
    QCOMPARE(rig.text("edt_filePath"), answer);
    QCOMPARE(rig.text("edt_pathFileName"), answer + "/20260103_101530.CSV");
    answer.clear();
    QTest::mouseClick(rig.child<QPushButton>("btnOpen"), Qt::LeftButton);
    QCOMPARE(asked.last(), rig.cwd.path() + "/chosen");
    QCOMPARE(rig.text("edt_filePath"), rig.cwd.path() + "/chosen");
    QVERIFY(rig.hub->isSave()); // the recording itself goes on
}

// The comments go unchanged, at the start and at the stop, to a text file
// named after each click.
void TestSavePage::comments_data()
{
    QTest::addColumn<QString>("comment");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<bool>("sameSecond");
    QTest::newRow("plain") << "abc" << QByteArray("abc") << "file" << false;
    QTest::newRow("Chinese, lines, spaces and a tab")
        << QString::fromUtf8("第一行\n  second line \t\n")
        << QByteArray("\xe7\xac\xac\xe4\xb8\x80\xe8\xa1\x8c\n  second line \t\n") << "file" << false;
    QTest::newRow("percent signs and .CSV inside")
        << "50% at %1 .CSV.csv" << QByteArray("50% at %1 .CSV.csv") << "file" << false;
    QTest::newRow("a folder named like a CSV file") << "abc" << QByteArray("abc") << "old.CSV.d" << false;
    QTest::newRow("two clicks in one second") << "abc" << QByteArray("abc") << "file" << true;
    QTest::newRow("none") << "" << QByteArray() << "file" << false;
}

void TestSavePage::comments()
{
    QFETCH(QString, comment);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, folderName);
    QFETCH(bool, sameSecond);
    SavePageRig rig;
    const QString folder = rig.cwd.path() + "/" + folderName;
    rig.child<QLineEdit>("edt_filePath")->setText(folder);
    rig.child<QTextEdit>("textEdit")->setPlainText(comment);

    rig.now = utcAt(2026, 1, 3, 10, 15, 0, 100);
    rig.clickSave();
    QVERIFY(rig.hub->isSave());
    rig.now = sameSecond ? utcAt(2026, 1, 3, 10, 15, 0, 900) : utcAt(2026, 1, 3, 10, 20, 0);
    rig.clickSave();
    QVERIFY(!rig.hub->isSave());

    const QStringList texts = QDir(folder).entryList(QStringList{"*.txt"}, QDir::Files, QDir::Name);
    if (bytes.isEmpty()) {
        QVERIFY(texts.isEmpty());
    } else if (sameSecond) {
        QCOMPARE(texts, QStringList{"20260103_101500.txt"});
        QCOMPARE(readAll(folder + "/20260103_101500.txt"), bytes + bytes);
    } else {
        QCOMPARE(texts, (QStringList{"20260103_101500.txt", "20260103_102000.txt"}));
        QCOMPARE(readAll(folder + "/20260103_101500.txt"), bytes);
        QCOMPARE(readAll(folder + "/20260103_102000.txt"), bytes);
    }
}

// One console row for every tenth value, timed by the arrival time plus the
// value's index in ms.
void TestSavePage::console_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QDateTime>("arrival");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QStringList>("times");
    QTest::addColumn<QStringList>("texts");

    QVector<double> fifty;
    for (int i = 0; i < 50; ++i)
        fifty.append(50000.004 + i * 0.5);
    QTest::newRow("1000/s, 50 values") << 1000 << fifty << utcAt(2026, 1, 3, 10, 15, 30, 123) << true
                                       << QStringList{"10:15:30.123", "10:15:30.133", "10:15:30.143", "10:15:30.153",
                                                      "10:15:30.163"}
                                       << QStringList{"50000.00", "50005.00", "50010.00", "50015.00", "50020.00"};
    QVector<double> twenty(20, -12.346);
    twenty[10] = 0.005001;
    QTest::newRow("20/s across a second")
        << 20 << twenty << utcAt(2026, 1, 3, 10, 15, 30, 995) << true << QStringList{"10:15:30.995", "10:15:31.005"}
        << QStringList{"-12.35", "0.01"};
    QTest::newRow("1/s before midnight") << 1 << QVector<double>{48765.4321} << utcAt(2026, 1, 3, 23, 59, 59, 999)
                                         << true << QStringList{"23:59:59.999"} << QStringList{"48765.43"};
    QTest::newRow("console off") << 1000 << fifty << utcAt(2026, 1, 3, 10, 15, 30, 123) << false << QStringList{}
                                 << QStringList{};
}

void TestSavePage::console()
{
    QFETCH(int, rate);
    QFETCH(QVector<double>, values);
    QFETCH(QDateTime, arrival);
    QFETCH(bool, enabled);
    QFETCH(QStringList, times);
    QFETCH(QStringList, texts);
    SavePageRig rig;
    rig.hub->samplingRate = rate;
    if (enabled)
        rig.page->enableConsoleOutput();
    rig.now = arrival;
    rig.feed(values, rate);
    const ConsoleRows rows = consoleRows(rig.child<QTextEdit>("textEdit_console"));
    QCOMPARE(rows.times, times);
    QCOMPARE(rows.values, texts);
    QVERIFY(rows.whole);
    // Its lines are those of its plain text, each cell on a line of its own.
    QTextEdit* console = rig.child<QTextEdit>("textEdit_console");
    QStringList cells;
    for (int i = 0; i < times.size(); ++i)
        cells << times.at(i) << texts.at(i);
    QCOMPARE(withoutEmpty(plainLines(console)), cells);
    QCOMPARE(rig.page->consoleLineCount(), enabled ? plainLines(console).size() : 0);
    if (enabled) {
        const QString html = rig.child<QTextEdit>("textEdit_console")->toHtml();
        QVERIFY(html.contains("MiSans"));
        QVERIFY(html.contains("#2b3b50", Qt::CaseInsensitive));
    }
}

void TestSavePage::consoleBound_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("values"); // per batch, a row for every tenth
    QTest::addColumn<int>("batches");
    QTest::newRow("1000/s, 5 rows a batch") << 1000 << 50 << 1300;
    QTest::newRow("200/s, 1 row a batch") << 200 << 10 << 2500;
    QTest::newRow("1000/s, 100 rows a batch") << 1000 << 1000 << 90;
}

// Past 5000 lines (those of the document's plain text: a cell a line, an
// empty line after each table) the first 1000 go, and only they: the empty
// line a table needs in front of it stays, and a row cut in two goes whole.
// The console never holds more than 5000 lines.
void TestSavePage::consoleBound()
{
    QFETCH(int, rate);
    QFETCH(int, values);
    QFETCH(int, batches);
    SavePageRig rig;
    rig.hub->samplingRate = rate;
    rig.page->enableConsoleOutput();
    QTextEdit* console = rig.child<QTextEdit>("textEdit_console");
    const QDateTime start = utcAt(2026, 1, 3, 10, 0, 0);
    const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d$"));
    QStringList lines = plainLines(console);
    QVector<double> batch(values);
    int trims = 0;
    for (int k = 0; k < batches; ++k) {
        rig.now = start.addMSecs(qint64(k) * values * 1000 / rate);
        for (int i = 0; i < values; ++i)
            batch[i] = k + i / 1000.0;
        rig.feed(batch, rate);
        const QStringList full = lines + batchLines(rig.now, batch);
        lines = plainLines(console);
        QCOMPARE(rig.page->consoleLineCount(), lines.size());
        QVERIFY2(lines.size() <= SaveModuleForm::kConsoleMaxLines, qPrintable(QString::number(lines.size())));
        if (full.size() <= SaveModuleForm::kConsoleMaxLines) {
            QCOMPARE(lines, full);
            continue;
        }
        ++trims;
        const int removed = full.size() - lines.size();
        QVERIFY2(removed >= 999 && removed <= 1001, qPrintable(QString::number(removed)));
        QCOMPARE(lines.mid(1), full.mid(removed + 1));
        QVERIFY(lines.first() == full.at(removed) || lines.first().isEmpty());
        // Rows stay whole: times and values in pairs.
        const QStringList cells = withoutEmpty(lines);
        QVERIFY(cells.size() % 2 == 0);
        for (int i = 0; i < cells.size(); i += 2)
            QVERIFY2(time.match(cells.at(i)).hasMatch() && !time.match(cells.at(i + 1)).hasMatch(),
                     qPrintable(cells.mid(i, 2).join(' ')));
    }
    QVERIFY(trims >= 2);
    QCOMPARE(consoleRows(console).values.last(), QString::number(batch.at(values - 10), 'f', 2));
}

// Every so many updates (12000 in use, fewer here) the document becomes its
// own plain text: the same lines, no tables left. Rows go on as tables after
// it, and the bound then cuts the plain lines exactly.
void TestSavePage::consoleFlatten()
{
    SavePageRig rig;
    rig.hub->samplingRate = 200;
    rig.page->setConsoleFlattenEvery(1000);
    rig.page->enableConsoleOutput();
    QTextEdit* console = rig.child<QTextEdit>("textEdit_console");
    QTextDocument* doc = console->document();
    const QDateTime start = utcAt(2026, 1, 3, 10, 0, 0);
    auto tables = [doc] { return doc->rootFrame()->childFrames().size(); };
    QStringList added; // the lines of the last batch
    const auto feed = [&](int k) {
        rig.now = start.addMSecs(50 * k);
        const QVector<double> batch(10, k);
        rig.feed(batch, 200);
        added = batchLines(rig.now, batch);
    };
    for (int k = 0; k < 999; ++k)
        feed(k);
    QCOMPARE(tables(), 999);
    const QStringList before = plainLines(console);

    feed(999);
    QCOMPARE(tables(), 0);
    QCOMPARE(plainLines(console), before + added);
    QCOMPARE(rig.page->consoleLineCount(), 3001);

    // 666 more rows as tables make 4999 lines; the next one passes 5000 and
    // cuts exactly the first 1000 lines, all plain.
    QStringList lines = plainLines(console);
    for (int k = 1000; k < 1666; ++k) {
        feed(k);
        lines += added;
    }
    QCOMPARE(plainLines(console), lines);
    QCOMPARE(tables(), 666);
    feed(1666);
    lines += added;
    QCOMPARE(rig.page->consoleLineCount(), 5002 - 1000);
    QCOMPARE(plainLines(console), lines.mid(1000));
    QCOMPARE(tables(), 667);
}

void TestSavePage::language_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("chinese");
    QTest::newRow("label") << "label"
                           << "Filename Format"
                           << "文件名格式";
    QTest::newRow("label_2") << "label_2"
                             << "Select Folder"
                             << "选择文件夹";
    QTest::newRow("label_3") << "label_3"
                             << "Actual Path + Filename"
                             << "实际路径 + 文件名";
    QTest::newRow("label_4") << "label_4"
                             << "Comments"
                             << "备注";
    QTest::newRow("btn_Save") << "btn_Save"
                              << "Save"
                              << "保存";
    QTest::newRow("lbl_time") << "lbl_time"
                              << "S"
                              << "秒";
    QTest::newRow("chk_saveFiles") << "chk_saveFiles"
                                   << "Save as consecutive files"
                                   << "保存为连续文件";
    QTest::newRow("chk_local") << "chk_local"
                               << "Saving locally"
                               << "本地保存";
    QTest::newRow("chk_SD") << "chk_SD"
                            << "Saving to SD Card"
                            << "保存到SD卡";
}

void TestSavePage::language()
{
    QFETCH(QString, name);
    QFETCH(QString, english);
    QFETCH(QString, chinese);
    SavePageRig rig;
    const QByteArray n = name.toLatin1();
    QCOMPARE(rig.text(n.constData()), english);
    rig.page->slot_setLanguage(1);
    QCOMPARE(rig.text(n.constData()), chinese);
    rig.page->slot_setLanguage(0);
    QCOMPARE(rig.text(n.constData()), english);
    rig.page->slot_setLanguage(1);
    QCOMPARE(rig.text(n.constData()), chinese);
    rig.page->slot_setLanguage(7);
    QCOMPARE(rig.text(n.constData()), english);
}

// The button follows the recording state in either language.
void TestSavePage::languageWithRecording()
{
    SavePageRig rig;
    rig.hub->samplingRate = 20;
    rig.child<QLineEdit>("edt_saveTime")->setText("2");
    rig.clickSave();
    QCOMPARE(rig.text("btn_Save"), QStringLiteral("Saving"));
    rig.page->slot_setLanguage(1);
    QCOMPARE(rig.text("btn_Save"), QStringLiteral("保存中"));
    rig.page->slot_setLanguage(0);
    QCOMPARE(rig.text("btn_Save"), QStringLiteral("Saving"));
    rig.page->slot_setLanguage(1);
    rig.hub->isChinese = 1;
    // The timed end in Chinese.
    for (int k = 0; k < 2; ++k)
        rig.feed(QVector<double>(20, 1.0), 20);
    QTRY_COMPARE(rig.text("btn_Save"), QStringLiteral("保存"));
    QVERIFY(!rig.page->isConsoleOutputEnabled());
    rig.clickSave();
    QCOMPARE(rig.text("btn_Save"), QStringLiteral("保存中"));
    rig.clickSave();
    QCOMPARE(rig.text("btn_Save"), QStringLiteral("保存"));
    rig.page->slot_setLanguage(0);
    QCOMPARE(rig.text("btn_Save"), QStringLiteral("Save"));
}

// Reset ends the recording and returns every field to its default.
void TestSavePage::reset()
{
    SavePageRig rig;
    const QString custom = rig.cwd.path() + "/custom";
    rig.child<QLineEdit>("edt_filePath")->setText(custom);
    rig.child<QLineEdit>("edt_saveTime")->setText("7");
    rig.child<QCheckBox>("chk_saveFiles")->setChecked(false);
    rig.child<QTextEdit>("textEdit")->setPlainText("abc");
    rig.clickSave();
    QVERIFY(rig.hub->isSave());
    rig.feed(QVector<double>(50, 1.0), 1000);
    QVERIFY(rig.page->consoleLineCount() > 0);
    const QString shown = rig.text("edt_pathFileName");

    QSignalSpy sync(rig.hub.get(), &ParamManager::sig_syncSaveParam);
    rig.now = utcAt(2026, 1, 4, 8, 0, 1);
    rig.page->resetForm();
    QCOMPARE(sync.size(), 1);
    QCOMPARE(sync.at(0), (QList<QVariant>{false, 0, shown, false}));
    QVERIFY(!rig.hub->isSave());
    QCOMPARE(rig.text("btn_Save"), QStringLiteral("Save"));
    QCOMPARE(rig.text("edt_saveTime"), QStringLiteral("0"));
    QVERIFY(!rig.page->isConsoleOutputEnabled());
    QVERIFY(rig.child<QTextEdit>("textEdit")->toPlainText().isEmpty());
    QVERIFY(rig.child<QTextEdit>("textEdit_console")->toPlainText().isEmpty());
    QCOMPARE(rig.page->consoleLineCount(), 0);
    QCOMPARE(rig.text("edt_fileName"), QStringLiteral("20260104_080001.CSV"));
    QCOMPARE(rig.text("edt_filePath"), rig.folder());
    QCOMPARE(rig.text("edt_pathFileName"), rig.folder() + "/20260104_080001.CSV");
    QVERIFY(rig.child<QCheckBox>("chk_saveFiles")->isChecked());

    // In Chinese the idle text is Chinese.
    rig.hub->isChinese = 1;
    rig.clickSave();
    rig.page->resetForm();
    QCOMPARE(rig.text("btn_Save"), QStringLiteral("保存"));
}

// The default folder cannot be made: the log line, and the page still works.
void TestSavePage::defaultFolderCannotBeMade()
{
    SavePageRig rig([](const QString& cwd) {
        QFile f(cwd + "/file"); // a plain file where the folder should be
        QVERIFY(f.open(QIODevice::WriteOnly));
    });
    const QString line = QStringLiteral("SaveModuleForm create %1 path failed").arg(rig.folder());
    QVERIFY(appLogCount(line) >= 1);
    QCOMPARE(rig.text("edt_filePath"), rig.folder());
    QCOMPARE(rig.text("edt_pathFileName"), rig.folder() + "/" + rig.text("edt_fileName"));
    const int before = appLogCount(line);
    rig.page->resetForm();
    QCOMPARE(appLogCount(line) - before, 1);
    rig.clickSave();
    QVERIFY(!rig.hub->isSave());
    QCOMPARE(appLogCount(line) - before, 2);
}

// A timed recording writes its seconds and the button returns by itself;
// without a duration it runs until stopped.
void TestSavePage::timedRecording_data()
{
    QTest::addColumn<QString>("durationText");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("ends");
    QTest::newRow("10 s at 20/s") << "10" << 200 << true;
    QTest::newRow("empty") << "" << 240 << false;
}

void TestSavePage::timedRecording()
{
    QFETCH(QString, durationText);
    QFETCH(int, rows);
    QFETCH(bool, ends);
    SavePageRig rig;
    rig.hub->samplingRate = 20;
    QSignalSpy finished(rig.hub.get(), &ParamManager::sig_saveFinished);
    rig.child<QLineEdit>("edt_saveTime")->setText(durationText);
    rig.clickSave();
    for (int k = 0; k < 12; ++k) {
        rig.now = rig.now.addSecs(1);
        rig.feed(QVector<double>(20, 50000.0 + k), 20);
    }
    rig.drainWorker();
    if (ends) {
        QTRY_COMPARE(rig.text("btn_Save"), QStringLiteral("Save"));
        QCOMPARE(finished.size(), 1);
        QVERIFY(!rig.hub->isSave());
        QVERIFY(!rig.page->isConsoleOutputEnabled());
    } else {
        QTest::qWait(50);
        QCOMPARE(finished.size(), 0);
        QCOMPARE(rig.text("btn_Save"), QStringLiteral("Saving"));
        QVERIFY(rig.hub->isSave());
    }
    const CsvReadBack r = readCsvFiles(recordedFiles(rig.folder(), 20));
    QCOMPARE(r.rows, rows);
    QCOMPARE(r.diffs, QVector<qint64>{50});
    QCOMPARE(r.values.first(), 50000.0);
    QCOMPARE(r.values.last(), 50000.0 + rows / 20 - 1);
}

// The page's clock set just before midnight or a whole hour: every row lands
// in the file whose name's date (and hour, at 1000/s) holds its time.
void TestSavePage::splits_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("firstOfNext");
    QTest::newRow("1000/s at 11:00") << 1000 << utcAt(2026, 1, 3, 10, 59, 58, 600)
                                     << QStringList{"20260103_105958_RQ_1000Hz.CSV", "20260103_110000_RQ_1000Hz.CSV"}
                                     << "11:00:00.000";
    QTest::newRow("1000/s at midnight") << 1000 << utcAt(2026, 1, 3, 23, 59, 58, 600)
                                        << QStringList{"20260103_235958_RQ_1000Hz.CSV", "20260104_000000_RQ_1000Hz.CSV"}
                                        << "00:00:00.000";
    QTest::newRow("200/s at the year's end")
        << 200 << utcAt(2025, 12, 31, 23, 59, 58, 333)
        << QStringList{"20251231_235958_RQ_200Hz.CSV", "20260101_000000_RQ_200Hz.CSV"} << "00:00:00.003";
    QTest::newRow("200/s keeps its day file at 11:00")
        << 200 << utcAt(2026, 1, 3, 10, 59, 58, 600) << QStringList{"20260103_105958_RQ_200Hz.CSV"} << "";
}

void TestSavePage::splits()
{
    QFETCH(int, rate);
    QFETCH(QDateTime, start);
    QFETCH(QStringList, files);
    QFETCH(QString, firstOfNext);
    SavePageRig rig;
    rig.hub->samplingRate = rate;
    rig.now = start;
    rig.clickSave();
    // Four seconds, delivered a twentieth of a second at a time.
    const int perBatch = rate / 20;
    int n = 0;
    for (int b = 0; b < 80; ++b) {
        rig.now = start.addMSecs(50 * (b + 1));
        QVector<double> v;
        for (int i = 0; i < perBatch; ++i)
            v.append(50000.0 + (n++) * 0.001);
        rig.feed(v, rate);
    }
    rig.drainWorker();
    QStringList names;
    for (const QString& p : recordedFiles(rig.folder(), rate))
        names << QFileInfo(p).fileName();
    QCOMPARE(names, files);
    const CsvReadBack r = readCsvFiles(recordedFiles(rig.folder(), rate));
    QCOMPARE(r.rows, 4 * rate);
    QCOMPARE(r.pandasRows.size(), files.size());
    QVERIFY(r.increasing);
    QCOMPARE(r.diffs, QVector<qint64>{1000 / rate});
    const QString mismatches = r.nameMismatches(rate == 1000);
    QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches));
    if (files.size() > 1)
        QCOMPARE(r.times.at(r.fileRows.at(0)), firstOfNext);
    for (int i = 0; i < r.rows; ++i)
        QVERIFY2(qAbs(r.values.at(i) - (50000.0 + i * 0.001)) < 1e-6, qPrintable(QString::number(i)));
}

QTEST_MAIN(TestSavePage)
#include "tst_savepage.moc"
