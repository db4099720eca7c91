#pragma once
// One-sided amplitude spectral density of a real sequence with FFTW 3:
// bin k = 0 .. N - 1 - N/2 (the Nyquist bin of an even N is left out) at
// frequency k * fs / N, amplitude |X_k| * sqrt(2) / sqrt(N * fs), where X is
// the unnormalised forward transform. No window, no mean removal; every
// kept bin, DC included, carries the sqrt(2).
//
// The spectrum window is recomputed about twenty times a second with the
// same length, so plans and their buffers are made once per length and
// kept: an update then costs one copy in, one execute and the bins.

#include <QVector>

#include <memory>
#include <vector>

namespace Spectrum {

class Transformer
{
public:
    Transformer();
    ~Transformer();
    Transformer(const Transformer&) = delete;
    Transformer& operator=(const Transformer&) = delete;

    // Appends the frequencies (Hz) and amplitudes (input unit / sqrt(Hz))
    // to the two out-lists. An empty input, or fs that is not a positive
    // number, appends nothing.
    // An empty frequency out-list receives a list shared with the kept plan
    // (no allocation).
    //
    // FFTW's planner is not thread-safe: one Transformer belongs to one
    // thread (the processing thread in the program). Planning is also
    // serialised across Transformers, so that two of them on two threads
    // cannot plan at once.
    void amplitudeSpectralDensity(const QVector<double>& x, double fs, QVector<double>& frequencies,
                                  QVector<double>& amplitudes);

    // Plans made since construction, and plans held now (at most kMaxPlans,
    // the least recently used dropped first).
    qint64 plansMade() const { return made; }
    int plansKept() const { return static_cast<int>(plans.size()); }

    // A growing window (the filter-off path while it fills) passes through
    // many lengths; only the last few are worth keeping.
    static constexpr int kMaxPlans = 4;

private:
    struct Plan;
    Plan& planFor(int n);

    std::vector<std::unique_ptr<Plan>> plans; // most recently used last
    qint64 made = 0;
};

} // namespace Spectrum
