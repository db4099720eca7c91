// Writes a replay file for the application's replay source: one line per
// sample at 1000 samples per second, "time in s,frequency in mHz", after a
// header line. The field sits near 50000 nT with a slow drift, a geomagnetic
// pulsation, 50 Hz mains hum with harmonics and white sensor noise. Every
// slow component completes whole cycles over the file, so the replay loops
// without a step. The output depends only on the arguments.
//
//   terval_mockgen <output.csv> [seconds = 60] [seed = 20260417]

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kHzPerNanoTesla = 6.99583;
constexpr int kSampleRate = 1000;

// Box-Muller on a fully specified engine, so that every standard library
// produces the same file.
class Gaussian
{
public:
    explicit Gaussian(std::uint64_t seed) : engine(seed) {}
    double next()
    {
        if (haveSpare) {
            haveSpare = false;
            return spare;
        }
        double u1;
        do {
            u1 = uniform();
        } while (u1 <= 0.0);
        const double u2 = uniform();
        const double r = std::sqrt(-2.0 * std::log(u1));
        spare = r * std::sin(2.0 * kPi * u2);
        haveSpare = true;
        return r * std::cos(2.0 * kPi * u2);
    }

private:
    double uniform() { return double(engine() >> 11) * (1.0 / 9007199254740992.0); }
    std::mt19937_64 engine;
    double spare = 0;
    bool haveSpare = false;
};

struct Tone {
    double hz;
    double nT;
    double phase;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s <output.csv> [seconds] [seed]\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const long seconds = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 60;
    const unsigned long long seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 20260417ULL;
    if (seconds < 1 || seconds > 3600) {
        std::fprintf(stderr, "seconds must lie in 1..3600\n");
        return 2;
    }

    const double span = double(seconds);
    // Whole cycles over the file: drift over the full length and half of it,
    // a pulsation near 0.1 Hz.
    const double pulsationHz = std::max(1.0, std::round(0.1 * span)) / span;
    const Tone slow[] = {
        {1.0 / span, 1.5, 0.0},
        {2.0 / span, 0.4, 0.7},
        {pulsationHz, 0.25, 1.9},
    };
    // Mains hum: the odd harmonics of a transformer are stronger than the even.
    const Tone hum[] = {
        {50.0, 0.8, 0.3}, {100.0, 0.12, 1.1}, {150.0, 0.35, 2.0}, {200.0, 0.04, 0.5},
        {250.0, 0.15, 2.6}, {350.0, 0.06, 0.9}, {450.0, 0.03, 1.7},
    };
    const double baseNanoTesla = 50000.0;
    const double noiseNanoTesla = 0.03; // about 1.3 pT/sqrt(Hz) white

    std::FILE* out = std::fopen(path.c_str(), "w");
    if (!out) {
        std::perror(path.c_str());
        return 1;
    }
    std::fputs("time_s,frequency_mHz\n", out);

    Gaussian noise(seed);
    const long total = seconds * kSampleRate;
    for (long i = 0; i < total; ++i) {
        const double t = double(i) / kSampleRate;
        double b = baseNanoTesla;
        for (const Tone& tone : slow)
            b += tone.nT * std::sin(2.0 * kPi * tone.hz * t + tone.phase);
        for (const Tone& tone : hum)
            b += tone.nT * std::sin(2.0 * kPi * tone.hz * t + tone.phase);
        b += noiseNanoTesla * noise.next();
        const double mHz = b * kHzPerNanoTesla * 1000.0;
        std::fprintf(out, "%.3f,%.3f\n", t, mHz);
    }
    if (std::fclose(out) != 0) {
        std::perror(path.c_str());
        return 1;
    }
    return 0;
}
