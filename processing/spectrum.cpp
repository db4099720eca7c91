#include "processing/spectrum.h"

#include <QMutex>
#include <QMutexLocker>

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace Spectrum {

namespace {

// FFTW's planner keeps global state: creating and destroying plans must not
// run on two threads at once. Executing a finished plan is safe anywhere.
QMutex& plannerMutex()
{
    static QMutex mutex;
    return mutex;
}

} // namespace

// One kept plan with its own input and output arrays (fftw_malloc'd, so
// aligned as the plan expects), and the frequency axis of its last rate.
struct Transformer::Plan {
    int n = 0;
    double* in = nullptr;
    fftw_complex* out = nullptr;
    fftw_plan plan = nullptr;
    double fs = 0.0;
    QVector<double> frequencies;

    ~Plan()
    {
        QMutexLocker lock(&plannerMutex());
        if (plan)
            fftw_destroy_plan(plan);
        fftw_free(out);
        fftw_free(in);
    }
};

Transformer::Transformer() = default;

Transformer::~Transformer() = default;

Transformer::Plan& Transformer::planFor(int n)
{
    const auto hit =
        std::find_if(plans.begin(), plans.end(), [n](const std::unique_ptr<Plan>& p) { return p->n == n; });
    if (hit != plans.end()) {
        std::rotate(hit, hit + 1, plans.end()); // now the most recently used
        return *plans.back();
    }

    auto p = std::make_unique<Plan>();
    p->n = n;
    // r2c writes n / 2 + 1 outputs.
    p->in = static_cast<double*>(fftw_malloc(sizeof(double) * static_cast<size_t>(n)));
    p->out = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * (static_cast<size_t>(n) / 2 + 1)));
    if (!p->in || !p->out)
        throw std::bad_alloc();
    {
        // ESTIMATE: planning does not touch the arrays, and takes no
        // measurable time.
        QMutexLocker lock(&plannerMutex());
        p->plan = fftw_plan_dft_r2c_1d(n, p->in, p->out, FFTW_ESTIMATE);
    }
    if (!p->plan)
        throw std::bad_alloc();
    ++made;

    if (static_cast<int>(plans.size()) >= kMaxPlans)
        plans.erase(plans.begin());
    plans.push_back(std::move(p));
    return *plans.back();
}

void Transformer::amplitudeSpectralDensity(const QVector<double>& x, double fs, QVector<double>& frequencies,
                                           QVector<double>& amplitudes)
{
    const int n = x.size();
    if (n == 0 || !(fs > 0.0))
        return;
    const int bins = n - n / 2;

    Plan& p = planFor(n);
    std::memcpy(p.in, x.constData(), sizeof(double) * static_cast<size_t>(n));
    fftw_execute(p.plan);

    if (p.fs != fs || p.frequencies.size() != bins) {
        const double step = fs / n;
        p.frequencies.resize(bins);
        double* f = p.frequencies.data();
        for (int k = 0; k < bins; ++k)
            f[k] = k * step;
        p.fs = fs;
    }
    if (frequencies.isEmpty())
        frequencies = p.frequencies; // shared, not copied
    else
        frequencies += p.frequencies;

    const double scale = std::sqrt(2.0) / std::sqrt(n * fs);
    const int first = amplitudes.size();
    amplitudes.resize(first + bins);
    double* a = amplitudes.data() + first;
    const fftw_complex* out = p.out;
    for (int k = 0; k < bins; ++k) {
        const double re = out[k][0];
        const double im = out[k][1];
        a[k] = std::sqrt(re * re + im * im) * scale;
    }
}

} // namespace Spectrum
