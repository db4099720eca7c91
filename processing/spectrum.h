#pragma once
// One-sided amplitude spectral density of a real sequence with FFTW 3:
// bin k = 0 .. N - 1 - N/2 (the Nyquist bin of an even N is left out) at
// frequency k * fs / N, amplitude |X_k| * sqrt(2) / sqrt(N * fs), where X is
// the unnormalised forward transform. No window, no mean removal; every
// kept bin, DC included, carries the sqrt(2).
//
// FFTW's planner is not thread-safe: the program calls this only on the
// processing thread.

#include <QVector>

namespace Spectrum {

// Appends the frequencies (Hz) and amplitudes (input unit / sqrt(Hz)) to
// the two out-lists. An empty input, or fs that is not a positive number,
// appends nothing.
void amplitudeSpectralDensity(const QVector<double>& x, double fs, QVector<double>& frequencies,
                              QVector<double>& amplitudes);

} // namespace Spectrum
