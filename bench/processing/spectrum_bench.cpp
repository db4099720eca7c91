// Times ModbusDataHandler::updateSpectrum (1 Hz high-pass, then the
// amplitude spectral density with FFTW) on the signals that
// run_spectrum_bench.sh writes, beside its floor on the same data: the
// forward-backward filter alone (sections designed beforehand) plus one
// execute of an FFTW plan made beforehand. Then the sustained rate of
// playout ticks once a window of 1e6 samples is full (each such tick
// computes a spectrum).
//
//   spectrum_bench <folder>
//
// Reads <folder>/signal_<size>.f64 (little-endian doubles, mHz at 1000 per
// second), writes the densities of one run to <folder>/ours_<size>.f64 for
// the comparison, prints "updateSpectrum_<size> <best seconds>",
// "floor_<size> <best seconds>", "plans_made <count>" and
// "ticks_per_second_1e6 <rate>". Times are CPU time of this thread, the best
// of several runs, ours and the floor taking turns so that a busy machine
// weighs on both alike.

#include "core/types.h"
#include "processing/modbusdatahandler.h"
#include "processing/signalfilter.h"

#include <QCoreApplication>
#include <QFile>

#include <fftw3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The floor of one spectrum of x: the 1 Hz high-pass run forward and
// backward, and one execute of a plan kept from before.
class Floor
{
public:
    explicit Floor(const QVector<double>& x) : sections(filter.butterSos(1, 1, 1000)), n(x.size())
    {
        in = static_cast<double*>(fftw_malloc(sizeof(double) * size_t(n)));
        out = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * (size_t(n) / 2 + 1)));
        plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE);
        std::memcpy(in, x.constData(), sizeof(double) * size_t(n));
    }
    ~Floor()
    {
        fftw_destroy_plan(plan);
        fftw_free(out);
        fftw_free(in);
    }
    Floor(const Floor&) = delete;
    Floor& operator=(const Floor&) = delete;

    double run(const QVector<double>& x)
    {
        const QVector<double> y = filter.sosfiltfilt(x, sections);
        fftw_execute(plan);
        return y.last() + out[1][0]; // keeps both alive
    }

private:
    SignalFilter filter;
    SignalFilter::Sections sections;
    int n = 0;
    double* in = nullptr;
    fftw_complex* out = nullptr;
    fftw_plan plan = nullptr;
};

QVector<double> readSignal(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    QVector<double> x(bytes.size() / int(sizeof(double)));
    std::memcpy(x.data(), bytes.constData(), size_t(x.size()) * sizeof(double));
    return x;
}

void writeSignal(const QString& path, const QVector<double>& x)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(reinterpret_cast<const char*>(x.constData()), qint64(x.size()) * qint64(sizeof(double)));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: spectrum_bench <folder>\n");
        return 2;
    }
    registerSharedMetaTypes();
    const QString folder = QString::fromLocal8Bit(argv[1]);

    ModbusDataHandler handler(nullptr);
    handler.shutdown(); // ticks and calls on this thread
    QVector<double> densities;
    QObject::connect(&handler, &ModbusDataHandler::sig_updateFormEx, &handler,
                     [&](QVector<double>, QVector<double>, QVector<double> d) { densities = d; });

    const struct {
        const char* name;
        int repeats;
    } sizes[] = {{"1e4", 200}, {"1e5", 40}, {"1e6", 10}};
    double sink = 0.0;
    for (const auto& s : sizes) {
        const QVector<double> x = readSignal(folder + "/signal_" + s.name + ".f64");
        if (x.isEmpty()) {
            std::fprintf(stderr, "missing signal_%s.f64\n", s.name);
            return 1;
        }
        Floor floor(x);
        double best = 1e30;
        double bestFloor = 1e30;
        for (int r = 0; r < s.repeats; ++r) {
            double t0 = threadSeconds();
            handler.updateSpectrum(x);
            best = std::min(best, threadSeconds() - t0);
            t0 = threadSeconds();
            sink += floor.run(x);
            bestFloor = std::min(bestFloor, threadSeconds() - t0);
        }
        writeSignal(folder + "/ours_" + s.name + ".f64", densities);
        std::printf("updateSpectrum_%s %.9f\n", s.name, best);
        std::printf("floor_%s %.9f\n", s.name, bestFloor);
    }
    std::printf("plans_made %lld\n", static_cast<long long>(handler.spectrumPlansMade()));
    std::fprintf(stderr, "(%g)\n", sink);

    // A window of 1e6: 1000 seconds at 1000 per second. Fill it through the
    // playout, then time ticks that each emit a batch and a spectrum.
    DataParam p;
    p.fftSeconds = 1000;
    handler.slots_syncDataParam(p);
    const QVector<double> big = readSignal(folder + "/signal_1e6.f64");
    for (int b = 0; b < 1000; ++b)
        handler.slots_handoutData(big.mid(1000 * b, 1000));
    handler.slots_handoutData(big.mid(0, 1000)); // played while timing
    while (handler.spectrumWindow().size() < 1000000)
        handler.onTimeout();
    handler.onTimeout(); // takes the last block; the timed ticks all emit
    int spectra = 0;
    QObject::connect(&handler, &ModbusDataHandler::sig_updateFormEx, &handler,
                     [&](QVector<double>, QVector<double>, QVector<double>) { ++spectra; });
    const double t0 = threadSeconds();
    const int ticks = 20;
    for (int i = 0; i < ticks; ++i)
        handler.onTimeout();
    const double seconds = threadSeconds() - t0;
    std::printf("ticks_per_second_1e6 %.3f\n", ticks / seconds);
    std::printf("spectra_in_timed_ticks %d\n", spectra);
    return 0;
}
