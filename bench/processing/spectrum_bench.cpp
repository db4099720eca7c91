// Times ModbusDataHandler::updateSpectrum (1 Hz high-pass, then the
// amplitude spectral density with FFTW) on the signals that
// run_spectrum_bench.sh writes, and the sustained rate of playout ticks once
// a window of 1e6 samples is full (each such tick computes a spectrum).
//
//   spectrum_bench <folder>
//
// Reads <folder>/signal_<size>.f64 (little-endian doubles, mHz at 1000 per
// second), writes the densities of one run to <folder>/ours_<size>.f64 for
// the comparison, prints "updateSpectrum_<size> <best seconds>" and
// "ticks_per_second_1e6 <rate>".

#include "core/types.h"
#include "processing/modbusdatahandler.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

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
    } sizes[] = {{"1e4", 50}, {"1e5", 10}, {"1e6", 5}};
    for (const auto& s : sizes) {
        const QVector<double> x = readSignal(folder + "/signal_" + s.name + ".f64");
        if (x.isEmpty()) {
            std::fprintf(stderr, "missing signal_%s.f64\n", s.name);
            return 1;
        }
        double best = 1e30;
        for (int r = 0; r < s.repeats; ++r) {
            QElapsedTimer t;
            t.start();
            handler.updateSpectrum(x);
            best = std::min(best, t.nsecsElapsed() * 1e-9);
        }
        writeSignal(folder + "/ours_" + s.name + ".f64", densities);
        std::printf("updateSpectrum_%s %.9f\n", s.name, best);
    }

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
    QElapsedTimer t;
    t.start();
    const int ticks = 20;
    for (int i = 0; i < ticks; ++i)
        handler.onTimeout();
    const double seconds = t.nsecsElapsed() * 1e-9;
    std::printf("ticks_per_second_1e6 %.3f\n", ticks / seconds);
    std::printf("spectra_in_timed_ticks %d\n", spectra);
    return 0;
}
