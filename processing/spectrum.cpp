#include "processing/spectrum.h"

#include <fftw3.h>

#include <cmath>
#include <cstring>

namespace Spectrum {

void amplitudeSpectralDensity(const QVector<double>& x, double fs, QVector<double>& frequencies,
                              QVector<double>& amplitudes)
{
    const int n = x.size();
    if (n == 0 || !(fs > 0.0))
        return;
    const int bins = n - n / 2;

    // r2c writes n / 2 + 1 outputs; a fresh plan per call, ESTIMATE so the
    // input is not overwritten while planning.
    double* in = static_cast<double*>(fftw_malloc(sizeof(double) * static_cast<size_t>(n)));
    fftw_complex* out = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * static_cast<size_t>(n / 2 + 1)));
    if (!in || !out) {
        fftw_free(in);
        fftw_free(out);
        return;
    }
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE);
    std::memcpy(in, x.constData(), sizeof(double) * static_cast<size_t>(n));
    fftw_execute(plan);

    const double step = fs / n;
    const double scale = std::sqrt(2.0) / std::sqrt(n * fs);
    frequencies.reserve(frequencies.size() + bins);
    amplitudes.reserve(amplitudes.size() + bins);
    for (int k = 0; k < bins; ++k) {
        frequencies.append(k * step);
        const double re = out[k][0];
        const double im = out[k][1];
        amplitudes.append(std::sqrt(re * re + im * im) * scale);
    }

    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
}

} // namespace Spectrum
