// Test-only command: runs SignalFilter operations listed in a case file and
// prints every result at full precision, so that a script can hold them
// against scipy.
//
// Case file: one case per line, "<id> <op> <args...>"; '#' starts a comment.
// Signals are read from files with one number per line.
//
//   butter      cutoff kind fs                 -> 24 coefficients, row by row
//   sosfiltzi   cutoff kind fs                 -> 8 state values
//   sosfiltfilt cutoff kind fs file
//   iirnotch    f0 Q fs                        -> b0 b1 b2 a0 a1 a2
//   iirnotchbw  f0 bw fs                       -> b0 b1 b2 a0 a1 a2 (Q = f0 / bw)
//   lfilterzi   b0 b1 b2 a0 a1 a2              -> 2 state values
//   lfilter     b0 b1 b2 a0 a1 a2 zi0 zi1 file
//   filtfilt    b0 b1 b2 a0 a1 a2 file
//   notch       f0 fs Q file                   (notchFilter)
//   notchbw     f0 bw fs file                  (notchFilterBandwidth)
//   notchintbw  f0 bw fs file                  (notchFilterIntBandwidth)
//   chain       file                           (25 Hz wide notch, then the twelve Q 50 notches)
//
// Output per case: "== <id>", then one value per line ("%.17g"), or one line
// "error <text>" when the operation throws.

#include "processing/signalfilter.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::map<std::string, std::vector<double>> g_files;

const std::vector<double>& readSignal(const std::string& path)
{
    auto it = g_files.find(path);
    if (it != g_files.end())
        return it->second;
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    std::vector<double> v;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        v.push_back(std::strtod(line.c_str(), nullptr));
    }
    return g_files.emplace(path, std::move(v)).first->second;
}

QVector<double> toQ(const std::vector<double>& v)
{
    return QVector<double>(v.begin(), v.end());
}

void print(std::FILE* out, const std::vector<double>& v)
{
    for (double d : v)
        std::fprintf(out, "%.17g\n", d);
}

void print(std::FILE* out, const QVector<double>& v)
{
    for (double d : v)
        std::fprintf(out, "%.17g\n", d);
}

std::vector<double> notchChain(const SignalFilter& f, const std::vector<double>& x)
{
    static const int centres[] = {50, 75, 125, 175, 200, 225, 250, 275, 300, 325, 375, 425};
    std::vector<double> y = f.notchFilterIntBandwidth(x, 25, 10, 1000.0);
    for (int c : centres)
        y = f.notchFilter(y, c, 1000.0, 50.0);
    return y;
}

void runCase(std::FILE* out, const SignalFilter& f, const std::string& op, std::istringstream& args)
{
    auto num = [&args]() {
        std::string t;
        if (!(args >> t))
            throw std::runtime_error("missing argument");
        return std::strtod(t.c_str(), nullptr);
    };
    auto integer = [&num]() { return static_cast<int>(num()); };
    auto word = [&args]() {
        std::string t;
        if (!(args >> t))
            throw std::runtime_error("missing argument");
        return t;
    };
    auto three = [&num]() {
        std::vector<double> v(3);
        for (double& d : v)
            d = num();
        return v;
    };

    if (op == "butter") {
        const int c = integer(), k = integer(), fs = integer();
        for (const QVector<double>& row : f.butterSos(c, k, fs))
            print(out, row);
    } else if (op == "sosfiltzi") {
        const int c = integer(), k = integer(), fs = integer();
        for (const QVector<double>& row : f.sosfiltZi(f.butterSos(c, k, fs)))
            print(out, row);
    } else if (op == "sosfiltfilt") {
        const int c = integer(), k = integer(), fs = integer();
        const std::vector<double>& x = readSignal(word());
        print(out, f.sosfiltfilt(toQ(x), f.butterSos(c, k, fs)));
    } else if (op == "iirnotch") {
        const int f0 = integer();
        const double q = num(), fs = num();
        std::vector<double> b, a;
        f.iirnotch(f0, q, fs, b, a);
        print(out, b);
        print(out, a);
    } else if (op == "iirnotchbw") {
        const double f0 = num(), bw = num(), fs = num();
        std::vector<double> b, a;
        f.iirnotchNormalized(f0 / (0.5 * fs), f0 / bw, b, a);
        print(out, b);
        print(out, a);
    } else if (op == "lfilterzi") {
        const std::vector<double> b = three(), a = three();
        print(out, f.lfilterZi(toQ(b), toQ(a)));
    } else if (op == "lfilter") {
        const std::vector<double> b = three(), a = three();
        std::vector<double> zi(2);
        zi[0] = num();
        zi[1] = num();
        print(out, f.lfilter(b, a, readSignal(word()), zi));
    } else if (op == "filtfilt") {
        const std::vector<double> b = three(), a = three();
        print(out, f.filtfilt(readSignal(word()), b, a));
    } else if (op == "notch") {
        const int f0 = integer();
        const double fs = num(), q = num();
        print(out, f.notchFilter(readSignal(word()), f0, fs, q));
    } else if (op == "notchbw") {
        const double f0 = num(), bw = num(), fs = num();
        print(out, f.notchFilterBandwidth(readSignal(word()), f0, bw, fs));
    } else if (op == "notchintbw") {
        const int f0 = integer(), bw = integer();
        const double fs = num();
        print(out, f.notchFilterIntBandwidth(readSignal(word()), f0, bw, fs));
    } else if (op == "chain") {
        print(out, notchChain(f, readSignal(word())));
    } else {
        throw std::runtime_error("unknown operation " + op);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <case-file>\n", argv[0]);
        return 2;
    }
    std::ifstream cases(argv[1]);
    if (!cases) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 2;
    }

    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);

    const SignalFilter filter;
    std::string line;
    while (std::getline(cases, line)) {
        const std::size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream args(line);
        std::string id, op;
        if (!(args >> id >> op))
            continue;
        std::printf("== %s\n", id.c_str());
        try {
            runCase(stdout, filter, op, args);
        } catch (const std::exception& e) {
            std::printf("error %s\n", e.what());
        }
    }
    std::fflush(stdout);
    return 0;
}
