// The main page's dealings with the link when it goes wrong, end to end: the
// real hub, link and data handler (and main window where pages matter), the
// simulated instrument on a socat pty pair corrupting its replies on command.
// The identity block asked again after a broken reply and the operator told
// after ten unanswered tries; stream frame errors counted into the
// application log; a status of 4 that arrives under the configuration page.

#include "mainpagerig.h"

#include "core/appfolders.h"
#include "core/logger.h"
#include "peers/peerprocess.h"
#include "peers/ptypair.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QtTest>

namespace {

// Lines the application log gained since this object was made, without
// their time stamps.
class LogTail
{
public:
    LogTail() : path(Logger::instance()->currentFileName()), from(QFileInfo(path).size()) {}
    QStringList lines() const
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        f.seek(from);
        QStringList out;
        for (const QString& line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const int stamp = line.indexOf(QLatin1String("] "));
            out << (stamp >= 0 ? line.mid(stamp + 2) : line).trimmed();
        }
        return out;
    }
    QStringList matching(const QString& part) const { return lines().filter(part); }

private:
    QString path;
    qint64 from;
};

// The simulated instrument (measuring, serial 1A2B3C4D) on a fresh pty pair.
struct Instrument {
    bool start()
    {
        if (!pty.isReady()) {
            qWarning("%s", qPrintable(pty.errorString()));
            return false;
        }
        if (!sim.start(PeerProcess::programPath(QStringLiteral("sim_instrument")),
                       {QStringLiteral("--device"), pty.peerEnd(), QStringLiteral("--serial"),
                        QStringLiteral("1A2B3C4D"), QStringLiteral("--log"),
                        pty.filePath(QStringLiteral("sim.log"))})) {
            qWarning("%s", qPrintable(sim.errorString()));
            return false;
        }
        return true;
    }
    PtyPair pty;
    PeerProcess sim;
};

// Requests of one kind leaving the scheduler, with their times.
class RequestLog
{
public:
    RequestLog(ParamManager* hub, QObject* context)
    {
        timer.start();
        QObject::connect(hub->getModbusWorkThread(), &ModbusWorkThread::sig_readData, context,
                         [this](ModbusAddr kind, QByteArray) { sent.append({kind, timer.elapsed()}); });
    }
    QList<qint64> at(ModbusAddr kind) const
    {
        QList<qint64> out;
        for (const auto& r : sent)
            if (r.first == kind)
                out << r.second;
        return out;
    }

private:
    QElapsedTimer timer;
    QList<QPair<ModbusAddr, qint64>> sent;
};

// Stdout lines of the simulator that start with prefix. Read between event
// loop turns, so that the program keeps running while a test waits.
int simLines(PeerProcess& sim, const QString& prefix)
{
    int n = 0;
    for (const QString& line : sim.lines())
        n += line.startsWith(prefix);
    return n;
}

// The identity request at connect (at[0]) and its repeats come from one
// repeating 1 s timer. Qt rounds each due time of a coarse timer towards a
// round fraction of the second, up to 5 % of the interval early, so the
// early part can add up over several firings; and it keeps later firings on
// the first one's schedule, so a firing delayed by a busy event loop
// shortens the gap after it. Each repeat is therefore held to its place
// counted from the first request: no earlier than k times 950 ms (less
// 100 ms of clock), no later than k s plus 1.5 s (sanitizers, a loaded
// machine), which still tells a 1 s pace from a 0.9 s or a 1.15 s one.
QString offTheSecond(const QList<qint64>& at)
{
    constexpr qint64 kPeriodMs = 1000;
    constexpr qint64 kEarliestPeriodMs = kPeriodMs * 95 / 100;
    constexpr qint64 kClockMs = 100;
    constexpr qint64 kLateMs = 1500;
    QStringList stamps;
    for (qint64 t : at)
        stamps << QString::number(t - at.value(0));
    qInfo("identity requests at %s ms", qPrintable(stamps.join(' ')));
    for (int k = 1; k < at.size(); ++k) {
        const qint64 since = at[k] - at[0];
        if (since < k * kEarliestPeriodMs - kClockMs || since > k * kPeriodMs + kLateMs)
            return QStringLiteral("request %1 at %2 ms (all: %3)").arg(k).arg(since).arg(stamps.join(' '));
    }
    return QString();
}

void openPort(MainPageRig& rig, const Instrument& instrument)
{
    // By its path, as a chosen port name is opened.
    emit rig.hub->getModbusWorkThread()->sig_connectDevice(instrument.pty.linkEnd(), rig.hub->baudRate);
}

const QString kNoAnswer =
    QString::fromUtf8("设备无应答,连续10次读取设备信息均未收到回复,请检查设备和串口连接后重新选择串口!");

} // namespace

class TestMainPageLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void identityAskedAgainAfterBadReply();
    void noAnswerAfterTenTries();
    void frameErrorsCountedInTheLog();
    void statusFourOnConfigPageWaitsForLivePage();
    void statusFourByPage_data();
    void statusFourByPage();
    void statusPollWaitsForSerialNumber();

private:
    QTemporaryDir logFolder;
};

void TestMainPageLink::initTestCase()
{
    qRegisterMetaType<ModbusAddr>("ModbusAddr");
    // The application log stays in one folder for the whole run, whatever
    // folder each rig points the program at.
    QVERIFY(logFolder.isValid());
    AppFolders::setOverride(logFolder.path());
    Logger::instance()->log(QStringLiteral("main page link tests start"));
    AppFolders::setOverride(QString());
}

void TestMainPageLink::cleanup()
{
    closeBoxes();
}

// A broken reply to the identity read at connect (a wrong CRC, which the
// link rightly discards) is followed a second later by a new request; the
// serial number then starts the status poll and the stream as usual.
void TestMainPageLink::identityAskedAgainAfterBadReply()
{
    Instrument instrument;
    QVERIFY(instrument.start());
    MainPageRig rig;
    LogTail log;
    RequestLog requests(rig.hub.get(), rig.page);
    QSignalSpy connected(rig.hub.get(), &ParamManager::sig_connected);
    QSignalSpy serials(rig.hub.get(), &ParamManager::sig_updateSerialNumber);

    // the parameter block's reply and the identity block's
    QVERIFY(instrument.sim.command(QStringLiteral("crc 2")));
    openPort(rig, instrument);
    QVERIFY(connected.wait(3000));
    QTRY_VERIFY_WITH_TIMEOUT(!serials.isEmpty(), 15000);
    QCOMPARE(serials.first().first().toString(), QStringLiteral("1A2B3C4D"));
    QCOMPARE(rig.text("edt_devName"), QStringLiteral("TVK-1A2B3C4D"));

    const QList<qint64> identity = requests.at(Addr40000);
    QCOMPARE(identity.size(), 2);
    const QString late = offTheSecond(identity);
    QVERIFY2(late.isEmpty(), qPrintable(late));
    QCOMPARE(log.matching(QStringLiteral("Bad reply to request 10 discarded")).size(), 1);
    QCOMPARE(log.matching(QStringLiteral("identity block requested again")),
             QStringList{QStringLiteral("No serial number yet: identity block requested again (try 1 of 10)")});
    QCOMPARE(log.matching(QStringLiteral("Serial number")),
             QStringList{QStringLiteral("Serial number 1A2B3C4D received after 1 repeated identity requests")});

    // measuring from here on as on any connect; no more identity requests
    QTRY_VERIFY_WITH_TIMEOUT(simLines(instrument.sim, QStringLiteral("stream start")) == 1, 15000);
    QVERIFY(rig.hub->isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(rig.page->historyValues().size() >= 500, 15000);
    QCOMPARE(requests.at(Addr40000).size(), 2);
    QVERIFY(visibleBox() == nullptr);
}

// No identity reply at all: ten requests after the first, one a second and
// each logged, then a log line and the operator's box. Choosing the port
// again starts over, and this time the instrument answers.
void TestMainPageLink::noAnswerAfterTenTries()
{
    Instrument instrument;
    QVERIFY(instrument.start());
    MainPageRig rig;
    LogTail log;
    RequestLog requests(rig.hub.get(), rig.page);
    QSignalSpy connected(rig.hub.get(), &ParamManager::sig_connected);
    QSignalSpy serials(rig.hub.get(), &ParamManager::sig_updateSerialNumber);

    // the parameter block, the identity block and its ten repeats
    QVERIFY(instrument.sim.command(QStringLiteral("crc 12")));
    openPort(rig, instrument);
    QVERIFY(connected.wait(3000));
    // about 11.2 s after the connect; the pace is checked from the stamps
    QTRY_VERIFY_WITH_TIMEOUT(visibleBox() != nullptr, 30000);
    QMessageBox* box = visibleBox();
    QCOMPARE(box->windowTitle(), QString::fromUtf8("提示"));
    QCOMPARE(box->text(), kNoAnswer);
    QCOMPARE(box->icon(), QMessageBox::Information);
    QVERIFY(box->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(box->parent() == nullptr);
    const QString shots =
        qEnvironmentVariable("TERVAL_BINARY_DIR", QDir::currentPath()) + QStringLiteral("/screenshots");
    QDir().mkpath(shots);
    const QString shot = shots + QStringLiteral("/mainpage_no_answer_box.png");
    QVERIFY(box->grab().save(shot));
    qInfo("screenshot: %s", qPrintable(shot));

    const QList<qint64> identity = requests.at(Addr40000);
    QCOMPARE(identity.size(), 11);
    const QString late = offTheSecond(identity);
    QVERIFY2(late.isEmpty(), qPrintable(late));
    QStringList expected;
    for (int i = 1; i <= 10; ++i)
        expected << QStringLiteral("No serial number yet: identity block requested again (try %1 of 10)").arg(i);
    expected << QStringLiteral("Instrument does not answer: no identity block after 10 repeated requests");
    QStringList seen = log.matching(QStringLiteral("identity block"));
    QCOMPARE(seen, expected);
    QCOMPARE(log.matching(QStringLiteral("Bad reply to request 10 discarded")).size(), 11);
    QVERIFY(serials.isEmpty());
    QVERIFY(rig.page->isComButtonEnabled());
    QVERIFY(!rig.hub->isRunning());

    // the tries have ended
    QTest::qWait(1500);
    QCOMPARE(requests.at(Addr40000).size(), 11);
    closeBoxes();

    // The operator chooses the port again.
    openPort(rig, instrument);
    QVERIFY(connected.wait(3000));
    QTRY_VERIFY_WITH_TIMEOUT(!serials.isEmpty(), 15000);
    QCOMPARE(rig.text("edt_devName"), QStringLiteral("TVK-1A2B3C4D"));
    QCOMPARE(requests.at(Addr40000).size(), 12);
    QTRY_VERIFY_WITH_TIMEOUT(simLines(instrument.sim, QStringLiteral("stream start")) == 1, 15000);
    QVERIFY(visibleBox() == nullptr);
}

// Junk on the line knocks the stream out of step: the data handler drops
// the frames, restarts the stream and writes one line with the counts for
// the span (shortened from its minute), not one per frame.
void TestMainPageLink::frameErrorsCountedInTheLog()
{
    Instrument instrument;
    QVERIFY(instrument.start());
    MainPageRig rig;
    rig.hub->modbusDataHandler->setFrameErrorReportInterval(1000);
    LogTail log;
    const QString prefix = QStringLiteral("Stream frame errors within 1 s: ");
    QSignalSpy connected(rig.hub.get(), &ParamManager::sig_connected);
    openPort(rig, instrument);
    QVERIFY(connected.wait(3000));
    QTRY_VERIFY_WITH_TIMEOUT(simLines(instrument.sim, QStringLiteral("stream start")) == 1, 15000);
    QTRY_VERIFY_WITH_TIMEOUT(rig.page->historyValues().size() >= 1000, 15000);
    // a clean stream writes nothing
    QTest::qWait(1500);
    QCOMPARE(log.matching(prefix), QStringList());

    QVERIFY(instrument.sim.command(QStringLiteral("junk 5")));
    QTRY_COMPARE_WITH_TIMEOUT(log.matching(prefix).size(), 1, 15000);
    const QString line = log.matching(prefix).first();
    qInfo("%s", qPrintable(line));
    const QRegularExpression counts(QStringLiteral(
        "^Stream frame errors within 1 s: (\\d+) frames dropped \\((\\d+) too long, (\\d+) without head or tail, "
        "(\\d+) split and not rejoined\\), (\\d+) stream restarts, (\\d+) bytes discarded$"));
    const QRegularExpressionMatch m = counts.match(line);
    QVERIFY2(m.hasMatch(), qPrintable(line));
    const int dropped = m.captured(1).toInt();
    const int restarts = m.captured(5).toInt();
    QVERIFY2(dropped >= 1 && restarts >= 1, qPrintable(line));
    // the link cuts whole frames' worth, so every dropped piece is one frame long
    QCOMPARE(m.captured(2).toInt(), 0);
    QCOMPARE(m.captured(6).toLongLong(), 209LL * dropped);
    QCOMPARE(m.captured(3).toInt() + m.captured(4).toInt(), dropped);

    // the stream runs again and the next quiet span writes nothing
    QVERIFY(simLines(instrument.sim, QStringLiteral("stream start")) >= 2);
    // (the contents, not the size: a full history keeps its size)
    const auto held = rig.page->historyValues();
    QTRY_VERIFY_WITH_TIMEOUT(rig.page->historyValues() != held, 15000);
    QTest::qWait(2500);
    QCOMPARE(log.matching(prefix).size(), 1);
}

// The status poll's read goes out on the main page; before its reply (4)
// arrives the operator opens the configuration page. The reply marks the
// instrument measuring there but starts no stream under the page's
// parameter polling; back on the main page the stream starts.
void TestMainPageLink::statusFourOnConfigPageWaitsForLivePage()
{
    Instrument instrument;
    QVERIFY(instrument.start());
    MainPageRig rig({}, {}, MainPageRig::InWindow);
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    auto* btnConfig = rig.window->findChild<QPushButton*>(QStringLiteral("btnConfig"));
    auto* btnMain = rig.window->findChild<QPushButton*>(QStringLiteral("btnMain"));
    auto* stack = rig.window->findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
    QVERIFY(btnConfig && btnMain && stack);
    QWidget* configPage = stack->widget(stack->count() - 1);
    QCOMPARE(configPage->metaObject()->className(), "ConfigModuleForm");

    bool switched = false;
    QObject::connect(rig.hub->getModbusWorkThread(), &ModbusWorkThread::sig_readData, rig.page,
                     [&](ModbusAddr kind, QByteArray) {
                         if (kind == Addr40118r && !switched) {
                             switched = true;
                             btnConfig->click();
                         }
                     });
    QSignalSpy progress(rig.hub.get(), &ParamManager::sig_updateProgress);
    QSignalSpy connected(rig.hub.get(), &ParamManager::sig_connected);
    openPort(rig, instrument);
    QVERIFY(connected.wait(3000));
    QTRY_VERIFY_WITH_TIMEOUT(switched, 15000);
    QCOMPARE(stack->currentWidget(), configPage);
    QTRY_VERIFY_WITH_TIMEOUT(!progress.isEmpty(), 15000);
    QCOMPARE(progress.first().first().toInt(), 4);
    QVERIFY(rig.hub->isRunning());
    QTest::qWait(2000);
    QCOMPARE(simLines(instrument.sim, QStringLiteral("stream start")), 0);

    btnMain->click();
    QCOMPARE(stack->currentWidget(), rig.page);
    QTRY_VERIFY_WITH_TIMEOUT(simLines(instrument.sim, QStringLiteral("stream start")) == 1, 15000);
    QTRY_VERIFY_WITH_TIMEOUT(rig.page->historyValues().size() >= 500, 15000);
}

// A status of 4 starts the stream on every page that the stream runs on,
// and on none of the two that poll the parameter block.
void TestMainPageLink::statusFourByPage_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("starts");
    QTest::newRow("spectrum") << "btnSensitivity" << true;
    QTest::newRow("recording") << "btnSave" << true;
    QTest::newRow("help") << "btnHelp" << true;
    QTest::newRow("service") << "btnMonitor" << false;
    QTest::newRow("configuration") << "btnConfig" << false;
}

void TestMainPageLink::statusFourByPage()
{
    QFETCH(QString, button);
    QFETCH(bool, starts);
    MainPageRig rig({}, [](ParamManager& h) { h.isTest = 1; }, MainPageRig::InWindow);
    auto* page = rig.window->findChild<QPushButton*>(button);
    auto* btnMain = rig.window->findChild<QPushButton*>(QStringLiteral("btnMain"));
    QVERIFY(page && btnMain);
    page->click();
    QSignalSpy sends(rig.hub.get(), &ParamManager::sig_sendModbusData);
    const auto streamStarts = [&sends]() {
        int n = 0;
        for (const QList<QVariant>& args : sends)
            n += args.at(0).value<ModbusAddr>() == Addrdds_start;
        return n;
    };
    emit rig.hub->sig_updateProgress(4);
    QVERIFY(rig.hub->isRunning());
    QCOMPARE(streamStarts(), starts ? 1 : 0);
    btnMain->click();
    QCOMPARE(streamStarts(), 1);
}

// The operator looks at another page and comes back before choosing the
// port, which starts the status poll with no port open. Once the port opens,
// the poll waits for the serial number: a status of 4 arriving while the
// identity block is asked for again would start the stream, and the next
// identity or status request would take the port's reader from it, so that
// every frame after it is thrown away as a broken reply.
void TestMainPageLink::statusPollWaitsForSerialNumber()
{
    Instrument instrument;
    QVERIFY(instrument.start());
    MainPageRig rig({}, {}, MainPageRig::InWindow);
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    LogTail log;
    RequestLog requests(rig.hub.get(), rig.page);
    QSignalSpy connected(rig.hub.get(), &ParamManager::sig_connected);
    QSignalSpy serials(rig.hub.get(), &ParamManager::sig_updateSerialNumber);
    QList<qint64> statusBeforeSerial;
    QObject::connect(rig.hub->getModbusWorkThread(), &ModbusWorkThread::sig_readData, rig.page,
                     [&](ModbusAddr kind, QByteArray) {
                         if (kind == Addr40118r && serials.isEmpty() && !connected.isEmpty())
                             statusBeforeSerial << kind;
                     });

    rig.window->findChild<QPushButton*>(QStringLiteral("btnSave"))->click();
    rig.window->findChild<QPushButton*>(QStringLiteral("btnMain"))->click();
    // the poll runs (to a closed port) before the port is chosen
    QTRY_VERIFY_WITH_TIMEOUT(!requests.at(Addr40118r).isEmpty(), 15000);
    // the parameter block's reply and the identity block's are broken: the
    // identity is asked again a second later
    QVERIFY(instrument.sim.command(QStringLiteral("crc 2")));
    openPort(rig, instrument);
    QVERIFY(connected.wait(3000));
    QTRY_VERIFY_WITH_TIMEOUT(!serials.isEmpty(), 15000);
    QCOMPARE(statusBeforeSerial.size(), 0);
    QCOMPARE(simLines(instrument.sim, QStringLiteral("stream start")), 0);
    QCOMPARE(requests.at(Addr40000).size(), 2);

    // then the poll, the status of 4, the stream; and the stream keeps coming
    QTRY_VERIFY_WITH_TIMEOUT(simLines(instrument.sim, QStringLiteral("stream start")) == 1, 15000);
    QTRY_VERIFY_WITH_TIMEOUT(rig.page->historyValues().size() >= 500, 15000);
    // A stream that lost its reader stops here for good; a running one gets
    // past two more seconds' worth, however slowly the machine delivers it.
    const int held = rig.page->historyValues().size();
    QTRY_VERIFY_WITH_TIMEOUT(rig.page->historyValues().size() >= held + 2000, 15000);
    QCOMPARE(log.matching(QStringLiteral("Bad reply to request 2")), QStringList());
}

QTEST_MAIN(TestMainPageLink)
#include "tst_mainpage_link.moc"
