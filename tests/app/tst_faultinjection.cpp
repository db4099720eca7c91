// The whole application under injected faults: the start-up object builds
// the hub, its workers and the main window (offscreen) in a temporary folder;
// the simulated instrument streams 1000 samples per second on a socat pty
// pair; recording runs from the recording page. Then, at random (seeded),
// the line drops and adds bytes, flips frame bytes, sends frames in bursts,
// stalls for 2 s, corrupts replies at each connect, and is unplugged and
// plugged in again twice (socat stopped and restarted by its PID). After a
// replug the operator starts recording again and picks the port again in
// the port menu, as nothing in the program reopens a port by itself.
//
// Shown: no crash, no hang (every worker thread and the GUI thread answer
// throughout), recovery after every fault by the program's own restart path,
// a strictly increasing time line in the files, and the balance of samples:
// what the simulator sent while its line was up, less what the faults
// destroyed, less the seconds handed on while recording was off (after an
// unplug), is in the files up to the samples still inside the processing at
// the end.
//
// TERVAL_FAULT_SECONDS sets the length of the faulty stretch (default 60),
// as a number of faults (one per 2.5 s of it, what an idle machine fits in)
// so that a seed gives the same faults, and the unplugs at the same places
// among them, however fast the machine runs; TERVAL_FAULT_SEED the random
// seed (default below). The figures are
// printed as "figure ..." lines (bench/app/run_fault_injection.sh runs the
// long version and shows them).

#include "app/appmanager.h"
#include "core/appfolders.h"
#include "core/logger.h"
#include "hub/parammanager.h"
#include "link/modbusmanager.h"
#include "link/modbusworkthread.h"
#include "peers/peerprocess.h"
#include "peers/ptypair.h"
#include "processing/datacheckerthread.h"
#include "processing/modbusdatahandler.h"
#include "recording/savefilethread.h"
#include "ui/main/mainwindow.h"
#include "ui/pages/mainmoduleform.h"
#include "ui/pages/savemoduleform.h"
#include "ui/widgets/custommenu.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QMutex>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QtTest>

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <random>

namespace
{

constexpr unsigned kDefaultSeed = 22061;
constexpr int kDefaultSeconds = 60;
// A fault, its recovery and the pause before the next take about 2.5 s.
constexpr int kFaultCycleMs = 2500;

constexpr double kField = 50000.0; // nT
constexpr double kHum = 1.0;       // nT, 50 Hz
constexpr double kNoise = 0.05;    // nT rms
// A sound value lies within the hum, eight noise deviations and the notch
// filters' small ripple of the field.
constexpr double kBand = kHum + 8 * kNoise + 0.5;

constexpr int kSamplesPerFrame = 50; // 1000 samples per second, 20 frames
// The processing holds back samples it has not handed on: the notch filter
// window of 1600 drops the first 300 of the run and keeps 300 to 1299 of
// its newest samples in hand; the recording page keeps the incomplete last
// second (0 to 999).
constexpr qint64 kFilterWindow = 1600;
constexpr qint64 kFilterStep = 1000;
constexpr qint64 kHeldMin = 600;          // 300 lead + 300 in hand
constexpr qint64 kHeldMax = 1599 + 999;   // 300 lead + 1299 in hand + 999 on the page

// Stream running again: a second of frames with no restart in between.
constexpr qint64 kRecoveredFrames = 20;
constexpr int kFaultRecoveryMs = 10000;
constexpr int kReplugRecoveryMs = 30000;
// A fault cannot have taken hold before this (frames are 50 ms apart).
constexpr int kFaultTakesHoldMs = 300;
constexpr int kStallMs = 2000;
// A thread that does not answer a probe for this long is hung.
constexpr qint64 kHangMs = 10000;

// Frames a fault may destroy: the spoilt frame and the pieces cut out of
// step behind it before the first restart (a quarter of a second), then per
// restart the frames that arrive while it runs (the handler pauses 50 ms
// between stop and start, the link drops what waits when it starts the
// stream again; half a second allows for a loaded machine).
constexpr qint64 kLossPerFaultFrames = 5;
constexpr qint64 kLossPerRestartFrames = 10;
// An unplug loses what is inside the pty pair and socat's buffers when the
// pair goes: at most a few kilobytes, that is a few dozen frames.
constexpr qint64 kLossPerUnplugFrames = 60;
// The counts are read while frames travel: up to half a second of them may
// be sent and not yet accepted at that moment.
constexpr qint64 kInFlightFrames = 10;

int envInt(const char* name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariable(name).toInt(&ok);
    return ok ? v : fallback;
}

// "... frames=F samples=S damaged=D junk=J" from the simulator.
struct SentCounts {
    bool ok = false;
    qint64 frames = 0, samples = 0, damaged = 0, junk = 0;
    static SentCounts parse(const QString& line)
    {
        static const QRegularExpression re(
            QStringLiteral("frames=(\\d+) samples=(\\d+) damaged=(\\d+) junk=(\\d+)$"));
        SentCounts c;
        const QRegularExpressionMatch m = re.match(line);
        if (!m.hasMatch())
            return c;
        c.ok = true;
        c.frames = m.captured(1).toLongLong();
        c.samples = m.captured(2).toLongLong();
        c.damaged = m.captured(3).toLongLong();
        c.junk = m.captured(4).toLongLong();
        return c;
    }
    void add(const SentCounts& o)
    {
        frames += o.frames;
        samples += o.samples;
        damaged += o.damaged;
        junk += o.junk;
    }
};

// The port under a name that the port menu's choice accepts ("tty..."),
// pointing at the pair's link end: the name stays across a replug, since
// the restarted pair makes its ends under the same names.
class DevLink
{
public:
    explicit DevLink(const QString& target)
        : name(QStringLiteral("ttyTVF%1").arg(QCoreApplication::applicationPid())),
          path(QStringLiteral("/dev/") + name)
    {
        QFile::remove(path);
        ok = QFile::link(target, path);
    }
    ~DevLink()
    {
        if (ok)
            QFile::remove(path);
    }
    QString name;
    QString path;
    bool ok = false;
};

// Counted on the processing thread as the data handler emits.
struct Live {
    std::atomic<qint64> accepted{0}; // stream frames accepted
    std::atomic<qint64> run{0};      // frames accepted since the last restart
    std::atomic<qint64> restarts{0}; // stream stop and start by the handler
    std::atomic<qint64> lastAcceptMs{-1};
    std::atomic<qint64> longestPauseMs{0}; // between accepted frames, since reset
};

// A worker thread answers when a queued call posted to it runs.
struct Probe {
    QObject* target = nullptr;
    const char* name = "";
    qint64 postedAt = -1;
    std::atomic<qint64> doneAt{-1};
    qint64 maxLatency = 0;
    bool hung = false;
};

enum class Kind { Drop, Junk, JunkNow, Corrupt, Pair, Burst, Stall, Unplug };
const char* kindName(Kind k)
{
    switch (k) {
    case Kind::Drop: return "dropped bytes";
    case Kind::Junk: return "extra bytes after a frame";
    case Kind::JunkNow: return "extra bytes between frames";
    case Kind::Corrupt: return "flipped frame byte";
    case Kind::Pair: return "two frames in one write";
    case Kind::Burst: return "burst of faults";
    case Kind::Stall: return "stall of 2 s";
    case Kind::Unplug: return "unplug and replug";
    }
    return "?";
}

struct KindStats {
    int injected = 0;
    int recovered = 0;
    qint64 maxRecoveryMs = 0;
    qint64 maxPauseMs = 0;      // longest pause between accepted frames
    qint64 maxDestroyed = 0;    // frames
    qint64 sumDestroyed = 0;    // frames
    qint64 sumRecoveryMs = 0;
};

// The program's debug stream is kept, not printed: a long run would pass
// Qt Test's limit on messages and lose the figures. The newest lines are
// shown when the test fails.
constexpr int kKeptDebugLines = 400;
QMutex g_debugMutex; // the workers write debug lines from their threads
QStringList g_debugLines;
QtMessageHandler g_previousHandler = nullptr;
void keepDebugLines(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtDebugMsg) {
        g_previousHandler(type, context, text);
        return;
    }
    QMutexLocker lock(&g_debugMutex);
    g_debugLines.append(text);
    if (g_debugLines.size() > kKeptDebugLines)
        g_debugLines.removeFirst();
}

QMessageBox* visibleBox()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && !box->parent())
            return box;
    return nullptr;
}

} // namespace

class TestFaultInjection : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void wholeApplicationUnderFaults();
};

void TestFaultInjection::initTestCase()
{
    qRegisterMetaType<ModbusAddr>("ModbusAddr");
}

void TestFaultInjection::wholeApplicationUnderFaults()
{
    const unsigned seed = unsigned(envInt("TERVAL_FAULT_SEED", int(kDefaultSeed)));
    const int seconds = qMax(20, envInt("TERVAL_FAULT_SECONDS", kDefaultSeconds));
    const int faultCount = seconds * 1000 / kFaultCycleMs;
    qInfo("figure seed %u (TERVAL_FAULT_SEED), faulty stretch %d s (TERVAL_FAULT_SECONDS): %d faults", seed, seconds,
          faultCount);
    std::mt19937 rng(seed);
    const auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

    QElapsedTimer clock;
    clock.start();
    // The GUI thread's longest pause; the test's own blocking waits (on
    // socat and the simulator) restart the count, they are not the program's.
    qint64 lastTick = 0, maxGuiGap = 0, maxGuiGapAt = 0;
    const auto testWaited = [&]() { lastTick = clock.elapsed(); };

    // ---- the instrument on its line ----
    PtyPair pty;
    QVERIFY2(pty.isReady(), qPrintable(pty.errorString()));
    DevLink port(pty.linkEnd());
    if (!port.ok)
        qWarning("cannot create %s: the port is opened by its path instead of the menu", qPrintable(port.path));
    std::unique_ptr<PeerProcess> sim;
    int sessions = 0;
    SentCounts sent;
    const auto startSim = [&](int status) {
        sim = std::make_unique<PeerProcess>();
        ++sessions;
        const auto done = qScopeGuard(testWaited);
        return sim->start(PeerProcess::programPath(QStringLiteral("sim_instrument")),
                          {QStringLiteral("--device"), pty.peerEnd(), QStringLiteral("--status"),
                           QString::number(status), QStringLiteral("--status-step-ms"), QStringLiteral("600"),
                           QStringLiteral("--serial"), QStringLiteral("1A2B3C4D"), QStringLiteral("--field"),
                           QString::number(kField), QStringLiteral("--hum"), QString::number(kHum),
                           QStringLiteral("--noise"), QString::number(kNoise), QStringLiteral("--seed"),
                           QString::number(seed + unsigned(sessions))});
    };
    // The newest totals the session printed: "count ..." answers a count
    // command, "sent ..." comes as it ends.
    const auto lastCounts = [&](const char* prefix) {
        SentCounts c;
        for (const QString& line : sim->lines())
            if (line.startsWith(QLatin1String(prefix)))
                c = SentCounts::parse(line);
        return c;
    };

    // ---- the application ----
    QTemporaryDir cwd;
    QVERIFY(cwd.isValid());
    // On a failure the application log tells what the program saw.
    g_previousHandler = qInstallMessageHandler(keepDebugLines);
    struct LogOnFailure {
        QString dir;
        ~LogOnFailure()
        {
            qInstallMessageHandler(g_previousHandler);
            if (!QTest::currentTestFailed())
                return;
            QMutexLocker lock(&g_debugMutex);
            qInfo("the program's last debug lines:\n%s", qPrintable(g_debugLines.join(QLatin1Char('\n'))));
            for (QDirIterator it(dir, {QStringLiteral("log*.txt")}, QDir::Files, QDirIterator::Subdirectories);
                 it.hasNext();) {
                QFile f(it.next());
                if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
                    continue;
                const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
                qInfo("application log %s, last lines:\n%s", qPrintable(f.fileName()),
                      qPrintable(lines.mid(qMax(0, lines.size() - 80)).join(QLatin1Char('\n'))));
            }
        }
    } logOnFailure{cwd.path() + QStringLiteral("/logs")};
    AppFolders::setOverride(cwd.path());
    const QString previousCwd = QDir::currentPath();
    QDir::setCurrent(cwd.path());
    auto manager = std::make_unique<AppManager>();
    manager->start();
    QDir::setCurrent(previousCwd);
    ParamManager* hub = manager->params();
    MainWindow* window = manager->window();
    QVERIFY(hub && window);
    // Counted live and probed from the workers' threads (declared before the
    // shut-down below, so that they outlive the threads).
    Live live;
    std::array<Probe, 5> probes;
    QMetaObject::Connection countAccepted, countRestarts;
    // However the test ends: the workers stopped as the test rigs do, and
    // what is still posted to them dropped (probes refer to these locals).
    const auto shutDown = qScopeGuard([&]() {
        QObject::disconnect(countAccepted);
        QObject::disconnect(countRestarts);
        while (QMessageBox* box = visibleBox())
            box->close();
        delete window;
        hub->dataCheckerThread->stop();
        hub->modbusManager->shutdown();
        hub->modbusDataHandler->shutdown();
        hub->saveFileThread->shutdown();
        for (QObject* worker : std::initializer_list<QObject*>{hub->modbusDataHandler, hub->modbusManager,
                                                               hub->saveFileThread, hub->dataCheckerThread})
            QCoreApplication::removePostedEvents(worker, QEvent::MetaCall);
        manager.reset();
        AppFolders::setOverride(QString());
    });
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto* mainPage = window->findChild<MainModuleForm*>();
    auto* savePage = window->findChild<SaveModuleForm*>();
    auto* stack = window->findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
    QVERIFY(mainPage && savePage && stack);
    ModbusDataHandler* handler = hub->modbusDataHandler;
    // One frame-error line per 5 s span instead of per minute, so that the
    // counts of the last faults are in the log when the run ends.
    constexpr int kReportMs = 5000;
    handler->setFrameErrorReportInterval(kReportMs);

    countAccepted = QObject::connect(
        handler, &ModbusDataHandler::sig_updateProgressEx, handler,
        [&live, &clock](int) {
            ++live.accepted;
            ++live.run;
            const qint64 now = clock.elapsed();
            const qint64 before = live.lastAcceptMs.exchange(now);
            qint64 longest = live.longestPauseMs.load();
            while (before >= 0 && now - before > longest &&
                   !live.longestPauseMs.compare_exchange_weak(longest, now - before)) {
            }
        },
        Qt::DirectConnection);
    countRestarts = QObject::connect(
        handler, &ModbusDataHandler::sig_sendModbusData, handler,
        [&live](ModbusAddr kind) {
            if (kind == Addrdds_end) {
                ++live.restarts;
                live.run = 0;
            }
        },
        Qt::DirectConnection);

    // On the GUI thread: samples out of the processing, seconds handed on.
    qint64 samplesOut = 0, otherRateBatches = 0;
    qint64 secondsRecorded = 0, secondsIdle = 0, oddSeconds = 0;
    QObject::connect(hub, &ParamManager::sig_updateForm, window, [&](QVector<double> values, FrequencyType rate) {
        if (rate == Freq1000Hz)
            samplesOut += values.size();
        else
            ++otherRateBatches;
    });
    QObject::connect(hub, &ParamManager::sig_saveCSVData, window, [&](QVector<double> values, int rate, QDateTime) {
        if (values.size() != 1000 || rate != 1000)
            ++oddSeconds;
        // The worker sees the batches and the recording switches in the order
        // the GUI thread sends them, so the flag now is the flag it will see.
        (hub->isSave() ? secondsRecorded : secondsIdle) += 1;
    });
    int disconnects = 0;
    QObject::connect(hub, &ParamManager::sig_disconnect, window, [&]() { ++disconnects; });

    // ---- watching for hangs ----
    probes[0].target = handler;
    probes[0].name = "processing";
    probes[1].target = hub->modbusManager;
    probes[1].name = "link";
    probes[2].target = hub->saveFileThread;
    probes[2].name = "recording";
    probes[3].target = hub->dataCheckerThread;
    probes[3].name = "watchdog";
    probes[4].target = window;
    probes[4].name = "GUI";
    testWaited();
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&]() {
        const qint64 now = clock.elapsed();
        if (now - lastTick > maxGuiGap) {
            maxGuiGap = now - lastTick;
            maxGuiGapAt = now;
        }
        lastTick = now;
        for (Probe& p : probes) {
            const qint64 done = p.doneAt.load();
            if (p.postedAt >= 0 && done < p.postedAt) {
                p.hung = p.hung || now - p.postedAt > kHangMs;
                continue;
            }
            if (p.postedAt >= 0)
                p.maxLatency = qMax(p.maxLatency, done - p.postedAt);
            if (p.postedAt >= 0 && now - p.postedAt < 500)
                continue;
            p.postedAt = now;
            Probe* probe = &p;
            QMetaObject::invokeMethod(
                p.target, [probe, &clock]() { probe->doneAt = clock.elapsed(); }, Qt::QueuedConnection);
        }
    });
    watch.start();
    const auto anyHung = [&probes]() {
        for (const Probe& p : probes)
            if (p.hung)
                return QString::fromLatin1(p.name);
        return QString();
    };
    const auto waitFor = [&](const std::function<bool()>& done, int timeoutMs) {
        QDeadlineTimer deadline(timeoutMs);
        while (!done()) {
            if (deadline.hasExpired() || !anyHung().isEmpty())
                return false;
            QTest::qWait(10);
        }
        return true;
    };

    // ---- the operator ----
    const auto showPage = [&](const char* button) {
        window->findChild<QPushButton*>(QLatin1String(button))->click();
    };
    const auto toggleRecording = [&](bool on) {
        showPage("btnSave");
        if (stack->currentWidget() != savePage)
            return false;
        savePage->findChild<QPushButton*>(QStringLiteral("btn_Save"))->click();
        return hub->isSave() == on;
    };
    bool portListed = false;
    const auto choosePort = [&]() {
        showPage("btnMain");
        if (stack->currentWidget() != mainPage || !mainPage->isComButtonEnabled())
            return false;
        if (!port.ok) {
            emit hub->getModbusWorkThread()->sig_connectDevice(pty.linkEnd(), hub->baudRate);
            return true;
        }
        mainPage->findChild<QPushButton*>(QStringLiteral("btn_com"))->click();
        auto* menu = mainPage->findChild<CustomMenu*>();
        if (!menu || !menu->isVisible())
            return false;
        for (QPushButton* item : menu->itemButtons())
            if (item->text() == port.name) {
                portListed = true;
                item->click();
                return true;
            }
        // The system's port list leaves pseudo-terminals out: the menu
        // reports the name as a click on its entry would.
        emit menu->triggered(port.name, QVariant());
        menu->hide();
        return true;
    };
    const auto streamRunsAgain = [&](qint64 acceptedBefore) {
        return live.accepted.load() >= acceptedBefore + kRecoveredFrames && live.run.load() >= kRecoveredFrames;
    };

    const auto command = [&](const QString& line) {
        const bool ok = sim->command(line);
        testWaited();
        if (!ok)
            qWarning("%s: %s", qPrintable(line), qPrintable(sim->errorString()));
        return ok;
    };
    // Samples the simulator has sent so far, over all its sessions.
    const auto sentSoFar = [&]() {
        const SentCounts now = command(QStringLiteral("count")) ? lastCounts("count ") : SentCounts();
        return now.ok ? sent.samples + now.samples : qint64(-1);
    };

    // Connect with recording on, replies corrupted at random.
    std::map<Kind, KindStats> stats;
    int corruptedReplies = 0;
    const auto connectInstrument = [&](int status) {
        if (!startSim(status))
            return QStringLiteral("simulator: %1").arg(sim->errorString());
        // The parameter block's reply and the identity block's at least, so
        // that the identity is asked again; at most also the next identity
        // reply and the first status reply.
        const int crc = uniform(2, 4);
        corruptedReplies += crc;
        if (!command(QStringLiteral("crc %1").arg(crc)))
            return QStringLiteral("simulator: %1").arg(sim->errorString());
        if (!toggleRecording(true))
            return QStringLiteral("recording did not start");
        if (!choosePort())
            return QStringLiteral("port not chosen");
        return QString();
    };

    QString failure = connectInstrument(4);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY2(waitFor([&]() { return streamRunsAgain(0); }, kReplugRecoveryMs),
             qPrintable(QStringLiteral("no stream after the first connect (%1 frames)").arg(live.accepted.load())));
    qInfo("figure port %s %s", qPrintable(port.name),
          port.ok ? (portListed ? "chosen from the port menu" : "chosen through the port menu's choice (not listed)")
                  : "opened by its path");

    // ---- faults ----
    // Stream frames carry no checksum: the program takes a frame's length of
    // bytes that begins AB 01 and ends FF. A frame that lost n bytes is cut
    // together with the first n bytes of the next one, whose last byte is
    // that frame's byte n - 1: FF by chance (1 in 256) when that is the low
    // byte of a sample (n = 6, 10, ..., 202) or the frame number's low byte
    // (n = 5). Such a drop can let a shifted frame through as samples.
    int shiftRiskDrops = 0;
    const auto randomFault = [&](Kind kind) {
        switch (kind) {
        case Kind::Drop: {
            const int n = uniform(1, 208);
            shiftRiskDrops += n == 5 || (n >= 6 && n <= 202 && (n - 6) % 4 == 0);
            return uniform(0, 1) ? QStringLiteral("drop %1").arg(n)
                                 : QStringLiteral("drop %1 %2").arg(n).arg(uniform(0, 208 - n));
        }
        case Kind::Junk: return QStringLiteral("junk %1").arg(uniform(1, 400));
        case Kind::JunkNow: return QStringLiteral("junknow %1").arg(uniform(1, 2000));
        case Kind::Corrupt: {
            // the frame's checked bytes, its progress status and its signal strength
            static const int positions[] = {0, 1, -1, -4, -2};
            return QStringLiteral("corrupt %1").arg(positions[uniform(0, 4)]);
        }
        case Kind::Pair: return QStringLiteral("pair");
        default: return QString();
        }
    };

    const qint64 faultStart = clock.elapsed();
    // The unplugs at 30 % and 65 % of the faults, counted, not timed.
    const std::array<int, 2> unplugAt{faultCount * 30 / 100, faultCount * 65 / 100};
    int unplugsDone = 0;
    std::vector<Kind> firstRound{Kind::Drop, Kind::Junk,  Kind::JunkNow, Kind::Corrupt,
                                 Kind::Pair, Kind::Burst, Kind::Stall};
    std::shuffle(firstRound.begin(), firstRound.end(), rng);
    size_t nextFirst = 0;
    QStringList lostRecoveries;
    // Samples sent and not accepted so far; what each fault destroyed is the
    // growth of this from its injection to the next one's (or to the end).
    const auto destroyedSoFar = [&]() {
        const qint64 s = sentSoFar();
        return s < 0 ? qint64(-1) : s - live.accepted.load() * kSamplesPerFrame;
    };
    struct FaultRecord {
        Kind kind;
        qint64 destroyedBefore = 0; // samples
        qint64 restartsBefore = 0;
    };
    std::vector<FaultRecord> records;
    const qint64 destroyedClean = destroyedSoFar(); // after a clean second of stream
    QVERIFY(destroyedClean >= 0);

    for (int fault = 0; fault < faultCount; ++fault) {
        QVERIFY2(anyHung().isEmpty(), qPrintable(anyHung() + QStringLiteral(" thread hung")));
        FaultRecord record;
        record.destroyedBefore = destroyedSoFar();
        QVERIFY(record.destroyedBefore >= 0);
        record.restartsBefore = live.restarts.load();
        const qint64 acceptedBefore = live.accepted.load();
        live.longestPauseMs = 0;
        const qint64 injected = clock.elapsed();
        qint64 takesHold = injected + kFaultTakesHoldMs;
        Kind kind;
        QString description;

        if (unplugsDone < 2 && fault == unplugAt[size_t(unplugsDone)]) {
            kind = Kind::Unplug;
            ++unplugsDone;
            // The cable goes: socat stopped by its PID; the instrument's end
            // hangs up and the simulator ends with its totals.
            const int disconnectsBefore = disconnects;
            pty.stop();
            QVERIFY2(sim->waitForExit(3000), "simulator still running after the unplug");
            testWaited();
            const SentCounts s = lastCounts("sent ");
            QVERIFY2(s.ok, qPrintable(sim->lines().join(QLatin1Char('|'))));
            sent.add(s);
            QVERIFY2(waitFor([&]() { return disconnects > disconnectsBefore && mainPage->isComButtonEnabled() &&
                                            !hub->isSave(); },
                             5000),
                     "the program did not notice the unplug");
            QTest::qWait(1000);
            // Plugged in again: the same port name, the instrument (which
            // kept measuring while its cable was out) answering again; the
            // operator starts recording and picks the port again.
            QVERIFY2(pty.restart(), qPrintable(pty.errorString()));
            testWaited();
            failure = connectInstrument(4);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            takesHold = clock.elapsed();
            description = QStringLiteral("unplugged for 1 s");
        } else {
            kind = nextFirst < firstRound.size() ? firstRound[nextFirst++] : Kind(uniform(0, 6));
            if (kind == Kind::Stall) {
                description = QStringLiteral("stall %1").arg(kStallMs);
                QVERIFY(command(description));
                takesHold = injected + kStallMs + kFaultTakesHoldMs;
            } else if (kind == Kind::Burst) {
                QStringList parts;
                const int n = uniform(3, 6);
                for (int i = 0; i < n; ++i) {
                    const QString line = randomFault(Kind(uniform(0, 4)));
                    parts << line;
                    QVERIFY(command(line));
                    QTest::qWait(uniform(0, 60));
                }
                description = parts.join(QStringLiteral(", "));
                takesHold = clock.elapsed() + kFaultTakesHoldMs;
            } else {
                description = randomFault(kind);
                QVERIFY(command(description));
            }
        }
        record.kind = kind;
        records.push_back(record);
        KindStats& st = stats[kind];
        ++st.injected;
        const int deadline = kind == Kind::Unplug ? kReplugRecoveryMs : kFaultRecoveryMs;
        const bool back = waitFor(
            [&]() { return clock.elapsed() >= takesHold && streamRunsAgain(acceptedBefore); }, deadline);
        const qint64 recovery = clock.elapsed() - injected;
        const qint64 pause = live.longestPauseMs.load();
        if (back) {
            ++st.recovered;
            st.maxRecoveryMs = qMax(st.maxRecoveryMs, recovery);
            st.sumRecoveryMs += recovery;
            st.maxPauseMs = qMax(st.maxPauseMs, pause);
        } else {
            lostRecoveries << QStringLiteral("%1 (%2) at %3 s").arg(QLatin1String(kindName(kind)), description)
                                  .arg((injected - faultStart) / 1000.0, 0, 'f', 1);
        }
        qInfo("fault at %6.1f s: %-26s %-44s stream paused %5lld ms, %s %5lld ms, %lld restarts",
              (injected - faultStart) / 1000.0, kindName(kind), qPrintable(description.left(44)), pause,
              back ? "a clean second after" : "NOT RECOVERED after", recovery,
              live.restarts.load() - record.restartsBefore);
        QVERIFY2(anyHung().isEmpty(), qPrintable(anyHung() + QStringLiteral(" thread hung")));
        if (!back)
            break;
        QTest::qWait(uniform(400, 1600));
    }
    QVERIFY2(lostRecoveries.isEmpty(), qPrintable(lostRecoveries.join(QStringLiteral("; "))));
    QCOMPARE(unplugsDone, 2);

    // ---- the end: the instrument falls silent, the processing drains ----
    QVERIFY(command(QStringLiteral("mute")));
    const qint64 mutedAt = clock.elapsed();
    qint64 lastOut = -1, stableSince = clock.elapsed();
    QVERIFY(waitFor(
        [&]() {
            if (samplesOut != lastOut) {
                lastOut = samplesOut;
                stableSince = clock.elapsed();
            }
            return clock.elapsed() - stableSince > 1500;
        },
        20000));
    QVERIFY(command(QStringLiteral("count")));
    const SentCounts last = lastCounts("count ");
    QVERIFY(last.ok);
    // The last frame-error span is written out once its time is up.
    QTest::qWait(int(qMax<qint64>(0, kReportMs + 700 - (clock.elapsed() - mutedAt))));
    QVERIFY(toggleRecording(false));
    QMetaObject::invokeMethod(
        hub->saveFileThread, [] {}, Qt::BlockingQueuedConnection);
    QVERIFY(sim->stop());
    const SentCounts lastTotals = lastCounts("sent ");
    QVERIFY(lastTotals.ok);
    QCOMPARE(lastTotals.frames, last.frames); // nothing went out while muted
    sent.add(lastTotals);
    QVERIFY2(anyHung().isEmpty(), qPrintable(anyHung() + QStringLiteral(" thread hung")));
    watch.stop();
    // Posted probes refer to this function's locals: let them all come back.
    QVERIFY(waitFor(
        [&probes]() {
            for (const Probe& p : probes)
                if (p.postedAt >= 0 && p.doneAt.load() < p.postedAt)
                    return false;
            return true;
        },
        5000));

    // ---- what the files hold ----
    QStringList files;
    for (const QString& n : QDir(AppFolders::fileDir()).entryList({QStringLiteral("*_RQ_1000Hz.CSV")}, QDir::Files,
                                                                  QDir::Name))
        files << AppFolders::fileDir() + QLatin1Char('/') + n;
    QVERIFY(!files.isEmpty());
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
             QStringList{qEnvironmentVariable("TERVAL_SOURCE_DIR") + QStringLiteral("/tests/app/fault_csv_check.py"),
                         QString::number(kField), QString::number(kBand)} +
                 files);
    QVERIFY(py.waitForFinished(120000));
    QVERIFY2(py.exitCode() == 0, py.readAllStandardError().constData());
    const QJsonObject csv = QJsonDocument::fromJson(py.readAllStandardOutput()).object();
    const qint64 rows = csv["rows"].toVariant().toLongLong();

    // ---- the program's own counts, from its log ----
    qint64 logDropped = 0, logTooLong = 0, logBadHeadOrTail = 0, logUnjoined = 0, logRestarts = 0, logBytes = 0;
    int logLines = 0;
    static const QRegularExpression errorLine(QStringLiteral(
        "Stream frame errors within [\\d.]+ s: (\\d+) frames dropped \\((\\d+) too long, (\\d+) without head or tail, "
        "(\\d+) split and not rejoined\\), (\\d+) stream restarts, (\\d+) bytes discarded"));
    int logsFound = 0;
    for (QDirIterator it(AppFolders::logsDir(), {QStringLiteral("log*.txt")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        QFile f(it.next());
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        ++logsFound;
        while (!f.atEnd()) {
            const QRegularExpressionMatch m = errorLine.match(QString::fromUtf8(f.readLine()));
            if (!m.hasMatch())
                continue;
            ++logLines;
            logDropped += m.captured(1).toLongLong();
            logTooLong += m.captured(2).toLongLong();
            logBadHeadOrTail += m.captured(3).toLongLong();
            logUnjoined += m.captured(4).toLongLong();
            logRestarts += m.captured(5).toLongLong();
            logBytes += m.captured(6).toLongLong();
        }
    }
    QVERIFY(logsFound > 0);

    // ---- the figures ----
    const qint64 accepted = live.accepted.load() * kSamplesPerFrame;
    const qint64 destroyed = sent.samples - accepted;
    const qint64 handedRecorded = secondsRecorded * 1000;
    const qint64 handedIdle = secondsIdle * 1000;
    const qint64 held = accepted - (handedRecorded + handedIdle);
    // What each fault destroyed: the growth of sent-minus-accepted from its
    // injection to the next one's, against its bound.
    QStringList overLoss;
    for (size_t i = 0; i < records.size(); ++i) {
        const FaultRecord& r = records[i];
        const bool lastOne = i + 1 == records.size();
        const qint64 until = lastOne ? destroyed : records[i + 1].destroyedBefore;
        const qint64 restarts = (lastOne ? live.restarts.load() : records[i + 1].restartsBefore) - r.restartsBefore;
        const qint64 frames = (until - r.destroyedBefore) / kSamplesPerFrame;
        KindStats& st = stats[r.kind];
        st.maxDestroyed = qMax(st.maxDestroyed, frames);
        st.sumDestroyed += frames;
        const qint64 bound = (r.kind == Kind::Unplug ? kLossPerUnplugFrames : kLossPerFaultFrames) +
                             restarts * kLossPerRestartFrames + kInFlightFrames;
        if (frames > bound)
            overLoss << QStringLiteral("%1: %2 frames, %3 restarts").arg(QLatin1String(kindName(r.kind))).arg(frames)
                            .arg(restarts);
    }
    qInfo("figure run: %d faults (a faulty stretch of %d s), %lld s in all, %d instrument sessions, %d disconnects "
          "seen",
          faultCount, seconds, clock.elapsed() / 1000, sessions, disconnects);
    for (const auto& [kind, st] : stats)
        qInfo("figure fault %-26s %3d injected, %3d recovered; longest stream pause %5lld ms; a clean second "
              "after %5lld ms mean, %5lld max; frames destroyed %4lld, at most %3lld per fault",
              kindName(kind), st.injected, st.recovered, st.maxPauseMs,
              st.recovered ? st.sumRecoveryMs / st.recovered : 0, st.maxRecoveryMs, st.sumDestroyed,
              st.maxDestroyed);
    qInfo("figure corrupted replies at connect: %d", corruptedReplies);
    qInfo("figure sent by the simulator while its line was up: %lld frames, %lld samples (%lld frames spoilt by "
          "it, %lld junk bytes)",
          sent.frames, sent.samples, sent.damaged, sent.junk);
    qInfo("figure accepted by the program: %lld frames, %lld samples", live.accepted.load(), accepted);
    qInfo("figure destroyed before the first fault (a clean second of stream): %lld frames",
          destroyedClean / kSamplesPerFrame);
    qInfo("figure destroyed by the faults: %lld samples (%lld frames); the program's log: %lld pieces dropped "
          "(%lld too long, %lld without head or tail, %lld split), %lld restarts, %lld bytes discarded in %d lines; "
          "restarts counted live %lld",
          destroyed, destroyed / kSamplesPerFrame, logDropped, logTooLong, logBadHeadOrTail, logUnjoined,
          logRestarts, logBytes, logLines, live.restarts.load());
    qInfo("figure out of the processing: %lld samples; handed on: %lld s recorded, %lld s while recording was off "
          "(after the unplugs)",
          samplesOut, secondsRecorded, secondsIdle);
    qInfo("figure recorded: %lld rows in %d files; time line %s (%d steps not forward), steps %.0f..%.0f ms, %d gaps; "
          "%d values outside %.2f nT of the field (%d drops could have let a shifted frame through)",
          rows, int(files.size()), csv["increasing"].toBool() ? "strictly increasing" : "NOT increasing",
          csv["violations"].toInt(), csv["step_min_ms"].toDouble(), csv["step_max_ms"].toDouble(),
          csv["steps_over_1ms"].toInt(), csv["out_of_band"].toInt(), kBand, shiftRiskDrops);
    qInfo("figure balance: sent %lld - destroyed %lld - not recorded %lld - recorded %lld = %lld held in the "
          "processing (allowed %lld..%lld)",
          sent.samples, destroyed, handedIdle, rows, sent.samples - destroyed - handedIdle - rows, kHeldMin, kHeldMax);
    qInfo("figure responsiveness: GUI thread longest pause %lld ms (ending %.1f s into the faults); longest answer "
          "to a probe: %s",
          maxGuiGap, (maxGuiGapAt - faultStart) / 1000.0,
          qPrintable([&probes]() {
              QStringList out;
              for (const Probe& p : probes)
                  out << QStringLiteral("%1 %2 ms").arg(QLatin1String(p.name)).arg(p.maxLatency);
              return out.join(QStringLiteral(", "));
          }()));

    // ---- the checks ----
    // The files: whole rows, times strictly increasing across all of them.
    QCOMPARE(csv["widths"].toArray(), QJsonArray{2});
    QVERIFY(csv["format_ok"].toBool());
    QVERIFY2(csv["increasing"].toBool(),
             qPrintable(QJsonDocument(csv["first_violation"].toArray()).toJson(QJsonDocument::Compact)));
    // The recorded values are the simulator's field, unless a drop may have
    // let a shifted frame through (a limit of the frame format, see above).
    if (shiftRiskDrops == 0)
        QCOMPARE(csv["out_of_band"].toInt(), 0);
    // Every second the recording worker was handed while recording is in the files.
    QCOMPARE(rows, handedRecorded);
    QCOMPARE(oddSeconds, qint64(0));
    QCOMPARE(otherRateBatches, qint64(0));
    // Nothing accepted is lost on the way: the notch filter hands on a block
    // of 1000 for every 1000 samples once 1600 are in, the playout plays all
    // of it, the page hands on every whole second.
    const qint64 blocks = accepted >= kFilterWindow ? (accepted - (kFilterWindow - kFilterStep)) / kFilterStep : 0;
    QCOMPARE(samplesOut, blocks * kFilterStep);
    QCOMPARE(handedRecorded + handedIdle, samplesOut / 1000 * 1000);
    QVERIFY2(held >= kHeldMin && held <= kHeldMax, qPrintable(QString::number(held)));
    // What was destroyed, the faults destroyed: the program drops nothing on
    // a sound line, and each fault costs a bounded stretch of the stream.
    QVERIFY(destroyed >= 0);
    QVERIFY2(destroyedClean <= kInFlightFrames * kSamplesPerFrame, qPrintable(QString::number(destroyedClean)));
    QVERIFY2(overLoss.isEmpty(), qPrintable(overLoss.join(QStringLiteral("; "))));
    // The program's own count of restarts is the one seen live, and it did restart.
    QCOMPARE(logRestarts, live.restarts.load());
    QVERIFY(logRestarts > 0);
    // No crash, no hang: every thread answered within kHangMs throughout.
    QVERIFY2(anyHung().isEmpty(), qPrintable(anyHung()));
    QVERIFY2(maxGuiGap < kHangMs, qPrintable(QString::number(maxGuiGap)));

}

QTEST_MAIN(TestFaultInjection)
#include "tst_faultinjection.moc"
