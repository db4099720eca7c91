// Times SignalFilter on the data files written by run_signalfilter_bench.sh
// (raw little-endian doubles) and prints one line per case:
//   <case> <seconds per call> <calls timed>
// The output of each case is written to <dir>/ours_<case>.f64 so that the
// script can check it against scipy's.
//
// Timing: batches of calls lasting at least 50 ms each, seven batches, the
// fastest batch's time per call. The scipy side measures the same way.

#include "processing/signalfilter.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<double> readRaw(const std::string& path)
{
    std::vector<double> v;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return v;
    std::fseek(f, 0, SEEK_END);
    const long bytes = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    v.resize(static_cast<std::size_t>(bytes) / sizeof(double));
    const std::size_t got = std::fread(v.data(), sizeof(double), v.size(), f);
    v.resize(got);
    std::fclose(f);
    return v;
}

void writeRaw(const std::string& path, const std::vector<double>& v)
{
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(v.data(), sizeof(double), v.size(), f);
        std::fclose(f);
    }
}

volatile double g_sink = 0.0;

// Runs fn in batches and returns the best time per call, in seconds.
double timeIt(const std::function<double()>& fn, long& calls)
{
    using clock = std::chrono::steady_clock;
    const double batchSeconds = 0.05;
    long perBatch = 1;
    for (;;) {
        const auto t0 = clock::now();
        for (long i = 0; i < perBatch; ++i)
            g_sink = g_sink + fn();
        const double dt = std::chrono::duration<double>(clock::now() - t0).count();
        if (dt >= batchSeconds)
            break;
        perBatch = dt > 0 ? std::max(perBatch * 2, static_cast<long>(perBatch * batchSeconds / dt * 1.2)) : perBatch * 10;
    }
    double best = 1e300;
    for (int b = 0; b < 7; ++b) {
        const auto t0 = clock::now();
        for (long i = 0; i < perBatch; ++i)
            g_sink = g_sink + fn();
        const double dt = std::chrono::duration<double>(clock::now() - t0).count() / perBatch;
        best = std::min(best, dt);
    }
    calls = perBatch * 7;
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <data-dir>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const SignalFilter f;

    auto report = [](const char* name, double seconds, long calls) {
        std::printf("%s %.9g %ld\n", name, seconds, calls);
        std::fflush(stdout);
    };

    for (const char* size : {"1e4", "1e5", "1e6"}) {
        const std::vector<double> raw = readRaw(dir + "/signal_" + size + ".f64");
        if (raw.empty()) {
            std::fprintf(stderr, "missing signal_%s.f64\n", size);
            return 1;
        }
        const QVector<double> x(raw.begin(), raw.end());
        const SignalFilter::Sections sos = f.butterSos(1, 1, 1000);
        long calls = 0;
        const double t = timeIt([&] { return f.sosfiltfilt(x, sos).last(); }, calls);
        const std::string name = std::string("sosfiltfilt_hp1_") + size;
        report(name.c_str(), t, calls);
        const QVector<double> y = f.sosfiltfilt(x, sos);
        writeRaw(dir + "/ours_" + name + ".f64", std::vector<double>(y.begin(), y.end()));
    }

    {
        const std::vector<double> x = readRaw(dir + "/window_1600.f64");
        if (x.empty()) {
            std::fprintf(stderr, "missing window_1600.f64\n");
            return 1;
        }
        static const int centres[] = {50, 75, 125, 175, 200, 225, 250, 275, 300, 325, 375, 425};
        auto chain = [&f](const std::vector<double>& in) {
            std::vector<double> y = f.notchFilterIntBandwidth(in, 25, 10, 1000.0);
            for (int c : centres)
                y = f.notchFilter(y, c, 1000.0, 50.0);
            return y;
        };
        long calls = 0;
        const double t = timeIt([&] { return chain(x).back(); }, calls);
        report("notch_chain_1600", t, calls);
        writeRaw(dir + "/ours_notch_chain_1600.f64", chain(x));
    }

    {
        long calls = 0;
        const double t = timeIt([&] { return f.butterSos(1, 1, 1000)[0][0]; }, calls);
        report("butterSos_hp1", t, calls);
        std::vector<double> flat;
        for (const QVector<double>& row : f.butterSos(1, 1, 1000))
            flat.insert(flat.end(), row.begin(), row.end());
        writeRaw(dir + "/ours_butterSos_hp1.f64", flat);
    }
    return 0;
}
