// The whole application, as main() starts it (AppManager, the real main
// window, offscreen), streaming from an instrument on a serial port, timed
// page by page. run_cost_bench.sh starts the simulated instrument on a socat
// pty pair and calls this with the program's end of the pair.
//
//   cost_driver --port PATH [--seconds N] [--warmup N] [--phases LIST] [--shots DIR] [--long MINUTES]
//
// The port is chosen as the operator does, through the main page's port
// menu: a link /dev/ttyTVCOST<pid> to PATH is made so that the menu's "tty"
// name opens it (without a writable /dev the port is opened by its path, as
// the menu's choice would). Once the stream runs and the spectrum window has
// filled (--warmup, 15 s), four phases of --seconds (60) each:
//
//   main page, charts drawn       main page, charts hidden
//   spectrum page, charts drawn   spectrum page, charts hidden
//
// "Charts hidden" is the same page shown with its drawing switched off the
// way the main window switches it off when the page is left
// (MainModuleForm::setPlotEnabled, SensitivityModuleForm::setActive): all
// else runs as before, so the difference is what drawing costs. Each phase
// prints the process's CPU time per second of wall time (all threads, from
// getrusage, and the GUI thread's share), the peak resident memory of the
// phase (VmHWM, reset at its start through /proc/self/clear_refs) and the
// samples per second that reached the charts, so a stalled stream shows.
// --phases runs some of them, in the order given (numbers 1 to 4 as above,
// left to right, top to bottom; "1,1,2" for example). --shots DIR saves the
// window at the end of each phase with charts drawn (cost_main.png,
// cost_spectrum.png).
//
// --long MINUTES replaces the phases by one run of that length with the
// charts drawn, the main and spectrum pages taking turns every 30 s, and
// prints the resident memory at the end of every minute, then minute 1
// against the last and the growth.
//
// Exit code 0, or 1 when the stream did not start or stopped.

#include "app/appmanager.h"
#include "core/appfolders.h"
#include "core/types.h"
#include "hub/parammanager.h"
#include "link/modbusworkthread.h"
#include "ui/main/mainwindow.h"
#include "ui/pages/mainmoduleform.h"
#include "ui/pages/sensitivitymoduleform.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

const char* const kConfig = "[Sensitivity]\n"
                            "xAxisUpper=150\nyAxisLower=1e-5\nyAxisUpper=1\nbandWidth=15\n"
                            "isTest=0\nisMockData=0\nisFSMode=0\nisChinese=0\n\n"
                            "[Com]\nbaudRate=921600\n\n"
                            "[Server]\nisServer=0\n";

double cpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec) + double(u.ru_utime.tv_usec) * 1e-6 + double(u.ru_stime.tv_sec) +
           double(u.ru_stime.tv_usec) * 1e-6;
}

// A "VmRSS:" style line of /proc/self/status, in MiB.
double statusMiB(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1.0;
    const QByteArray want(key);
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(want))
            return line.mid(want.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1.0;
}

void resetPeakRss()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2);
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int intArg(const QStringList& args, const QString& name, int fallback)
{
    const int i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args.at(i + 1).toInt() : fallback;
}

} // namespace

int main(int argc, char* argv[])
{
    registerMainMetaTypes();
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);

    const QStringList args = QApplication::arguments();
    const int portAt = args.indexOf(QStringLiteral("--port"));
    if (portAt < 0 || portAt + 1 >= args.size()) {
        std::fprintf(stderr, "usage: cost_driver --port PATH [--seconds N] [--warmup N] [--phases LIST] [--shots DIR] "
                             "[--long MINUTES]\n");
        return 2;
    }
    const QString portPath = QFileInfo(args.at(portAt + 1)).canonicalFilePath();
    const int seconds = intArg(args, QStringLiteral("--seconds"), 60);
    const int warmup = intArg(args, QStringLiteral("--warmup"), 15);
    const int longMinutes = intArg(args, QStringLiteral("--long"), 0);
    const int shotsAt = args.indexOf(QStringLiteral("--shots"));
    const QString shots = shotsAt >= 0 ? QFileInfo(args.value(shotsAt + 1)).absoluteFilePath() : QString();

    // Settings, logs and crash logs in a folder of their own.
    QTemporaryDir work;
    AppFolders::setOverride(work.path());
    QDir::setCurrent(work.path());
    {
        QFile ini(QStringLiteral("config.ini"));
        if (!ini.open(QIODevice::WriteOnly) || ini.write(kConfig) < 0) {
            std::fprintf(stderr, "cannot write %s/config.ini\n", qPrintable(work.path()));
            return 2;
        }
    }

    AppManager manager;
    manager.start();
    MainWindow* window = manager.window();
    ParamManager* hub = manager.params();
    auto* mainPage = window->findChild<MainModuleForm*>();
    auto* spectrumPage = window->findChild<SensitivityModuleForm*>();
    if (!mainPage || !spectrumPage) {
        std::fprintf(stderr, "main window without its pages\n");
        return 2;
    }

    // What reaches the pages, counted on the GUI thread as they get it.
    qint64 samples = 0;
    qint64 spectra = 0;
    QObject::connect(hub, &ParamManager::sig_updateForm, window,
                     [&samples](QVector<double> d, FrequencyType) { samples += d.size(); });
    QObject::connect(hub, &ParamManager::sig_updateFormEx, window,
                     [&spectra](QVector<double>, QVector<double> f, QVector<double>) {
                         if (!f.isEmpty())
                             ++spectra;
                     });

    // The port menu opens names below /dev.
    const QString linkName = QStringLiteral("ttyTVCOST%1").arg(QCoreApplication::applicationPid());
    const QString linkPath = QStringLiteral("/dev/") + linkName;
    QFile::remove(linkPath);
    const bool linked = QFile::link(portPath, linkPath);
    if (linked) {
        mainPage->slot_handleActionTriggered(linkName, QVariant());
    } else {
        std::fprintf(stderr, "cannot create %s: opening %s by its path\n", qPrintable(linkPath), qPrintable(portPath));
        emit hub->getModbusWorkThread()->sig_connectDevice(portPath, hub->baudRate);
    }
    struct Unlink {
        bool on;
        QString path;
        ~Unlink()
        {
            if (on)
                QFile::remove(path);
        }
    } unlinkAtEnd{linked, linkPath};

    QElapsedTimer waited;
    waited.start();
    while (samples == 0 && waited.elapsed() < 30000)
        runFor(100);
    if (samples == 0) {
        std::printf("the stream did not start within 30 s\n");
        return 1;
    }
    std::printf("stream running %.1f s after the port was chosen; warming up %d s\n", waited.elapsed() / 1000.0,
                warmup);
    std::fflush(stdout);
    runFor(warmup * 1000);

    QPushButton* btnMain = window->findChild<QPushButton*>(QStringLiteral("btnMain"));
    QPushButton* btnSpectrum = window->findChild<QPushButton*>(QStringLiteral("btnSensitivity"));
    const auto showPage = [&](int page, bool charts) {
        if (page == 0) {
            btnMain->click();
            mainPage->setPlotEnabled(charts);
        } else {
            btnSpectrum->click();
            spectrumPage->setActive(charts);
        }
    };

    bool stalled = false;
    if (longMinutes > 0) {
        std::printf("long run: %d min, charts drawn, main and spectrum pages taking turns every 30 s; load average "
                    "%s\n",
                    longMinutes, qPrintable(loadAverage()));
        std::fflush(stdout);
        QVector<double> rss;
        const double cpu0 = cpuSeconds(RUSAGE_SELF);
        const qint64 samples0 = samples;
        QElapsedTimer wall;
        wall.start();
        for (int half = 0; half < 2 * longMinutes; ++half) {
            showPage(half % 2, true);
            const qint64 before = samples;
            runFor(30000);
            if (samples - before < 30 * 900)
                stalled = true;
            if (half % 2 == 1) {
                rss.append(statusMiB("VmRSS:"));
                std::printf("  minute %2d: RSS %7.1f MiB, CPU %.3f s per s so far, load average %s\n", rss.size(),
                            rss.last(), (cpuSeconds(RUSAGE_SELF) - cpu0) / (wall.elapsed() / 1000.0),
                            qPrintable(loadAverage()));
                std::fflush(stdout);
            }
        }
        const double s = wall.elapsed() / 1000.0;
        std::printf("RSS at minute 1: %.1f MiB; at minute %d: %.1f MiB; growth %+.1f MiB (%+.1f %%)\n", rss.first(),
                    rss.size(), rss.last(), rss.last() - rss.first(), 100.0 * (rss.last() / rss.first() - 1.0));
        std::printf("peak RSS %.1f MiB; CPU %.3f s per s of wall time; %.0f samples per s\n", statusMiB("VmHWM:"),
                    (cpuSeconds(RUSAGE_SELF) - cpu0) / s, (samples - samples0) / s);
    } else {
        struct Phase {
            const char* name;
            int page;
            bool charts;
        };
        const Phase phases[] = {{"main page, charts drawn", 0, true},
                                {"main page, charts hidden", 0, false},
                                {"spectrum page, charts drawn", 1, true},
                                {"spectrum page, charts hidden", 1, false}};
        std::printf("%-30s %9s %8s %8s %10s %10s %9s %9s  %s\n", "phase", "CPU s/s", "% core", "GUI s/s", "peak MiB",
                    "end MiB", "samples/s", "spectra/s", "load average before, after");
        const QStringList chosen =
            args.indexOf(QStringLiteral("--phases")) >= 0
                ? args.value(args.indexOf(QStringLiteral("--phases")) + 1).split(QLatin1Char(','))
                : QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")};
        for (const QString& number : chosen) {
            const int index = number.toInt() - 1;
            if (index < 0 || index >= 4)
                continue;
            const Phase& p = phases[index];
            showPage(p.page, p.charts);
            runFor(1000); // settle after the switch
            const QString loadBefore = loadAverage();
            resetPeakRss();
            const double cpu0 = cpuSeconds(RUSAGE_SELF);
            const double gui0 = cpuSeconds(RUSAGE_THREAD);
            const qint64 samples0 = samples;
            const qint64 spectra0 = spectra;
            QElapsedTimer wall;
            wall.start();
            runFor(seconds * 1000);
            const double s = wall.elapsed() / 1000.0;
            const double cpu = (cpuSeconds(RUSAGE_SELF) - cpu0) / s;
            const double gui = (cpuSeconds(RUSAGE_THREAD) - gui0) / s;
            const double rate = (samples - samples0) / s;
            if (rate < 900)
                stalled = true;
            std::printf("%-30s %9.4f %7.1f%% %8.4f %10.1f %10.1f %9.0f %9.1f  %s, %s\n", p.name, cpu, 100.0 * cpu, gui,
                        statusMiB("VmHWM:"), statusMiB("VmRSS:"), rate, (spectra - spectra0) / s,
                        qPrintable(loadBefore), qPrintable(loadAverage()));
            std::fflush(stdout);
            if (!shots.isEmpty() && p.charts) {
                QDir().mkpath(shots);
                window->grab().save(shots + QStringLiteral("/cost_%1.png").arg(p.page == 0 ? "main" : "spectrum"));
            }
        }
    }
    if (stalled)
        std::printf("the stream fell below 900 samples per second: the figures are not those of a full stream\n");
    window->close();
    return stalled ? 1 : 0;
}
