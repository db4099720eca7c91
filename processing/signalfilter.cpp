#include "processing/signalfilter.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace {

constexpr double kPi = 3.141592653589793;
constexpr int kOrder = 8;
constexpr int kSections = 4;
constexpr double kPairTol = 1e-9;
constexpr int kSosPad = 27;       // 3 * (2 * sections + 1)
constexpr int kBiquadMinLen = 9;  // 3 * 3 taps
constexpr double kPivotMin = 1e-12;
// sqrt(1 - g^2) / g at g = 1/sqrt(2) in doubles: one ulp above 1.
constexpr double kNotchGain = 1.0000000000000002;

SignalFilter::Sections passThrough(int sections)
{
    return SignalFilter::Sections(sections, SignalFilter::Row{1.0, 0.0, 0.0, 1.0, 0.0, 0.0});
}

// The cascade for one signal with the states held in locals, so the
// recursion runs in registers; N is the section count.
template<int N>
void cascadeFixed(const double* coef, double* zs, double* x, int n)
{
    double b0[N], b1[N], b2[N], a1[N], a2[N], z0[N], z1[N];
    for (int k = 0; k < N; ++k) {
        b0[k] = coef[6 * k + 0];
        b1[k] = coef[6 * k + 1];
        b2[k] = coef[6 * k + 2];
        a1[k] = coef[6 * k + 4];
        a2[k] = coef[6 * k + 5];
        z0[k] = zs[2 * k];
        z1[k] = zs[2 * k + 1];
    }
    for (int s = 0; s < n; ++s) {
        double v = x[s];
#pragma GCC unroll 8
        for (int k = 0; k < N; ++k) {
            const double y = b0[k] * v + z0[k];
            z0[k] = z1[k] + (b1[k] * v - a1[k] * y);
            z1[k] = v * b2[k] - a2[k] * y;
            v = y;
        }
        x[s] = v;
    }
    for (int k = 0; k < N; ++k) {
        zs[2 * k] = z0[k];
        zs[2 * k + 1] = z1[k];
    }
}

void cascadeAny(const double* coef, double* zs, int sections, double* x, int n)
{
    for (int s = 0; s < n; ++s) {
        double v = x[s];
        for (int k = 0; k < sections; ++k) {
            const double* c = coef + 6 * k;
            double* z = zs + 2 * k;
            const double y = c[0] * v + z[0];
            z[0] = z[1] + (c[1] * v - c[4] * y);
            z[1] = v * c[2] - c[5] * y;
            v = y;
        }
        x[s] = v;
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Design

SignalFilter::Sections SignalFilter::butterSos(int cutoff, int kind, int fs) const
{
    const double fc = std::min(static_cast<double>(cutoff), static_cast<double>(fs) * 0.5 - 1.0);
    // No valid low or high pass exists there; unity sections keep the
    // zero-phase filter an exact no-op instead of failing its state solve.
    if (!(fc > 0.0))
        return passThrough(kSections);
    const double Wn = (fc + fc) / static_cast<double>(fs);

    QVector<double> z;
    Complexes p = buttap(kOrder);
    double k = 1.0;

    const double wo = std::tan((Wn * kPi) * 0.5) * 4.0;
    if (kind == 0)
        lp2lpZpk(z, p, k, wo);
    else if (kind == 1)
        lp2hpZpk(z, p, k, wo);

    bilinearZpk(z, p, k, 2.0);
    return zpk2sos(z, p, k);
}

SignalFilter::Complexes SignalFilter::buttap(int order) const
{
    Complexes p;
    if (order <= 0)
        return p;
    p.reserve(order);
    for (int m = 1 - order; m <= order - 1; m += 2) {
        const double theta = (static_cast<double>(m) * kPi) / static_cast<double>(2 * order);
        p.append(std::complex<double>(-std::cos(theta), -std::sin(theta)));
    }
    return p;
}

void SignalFilter::lp2lpZpk(QVector<double>& z, Complexes& p, double& k, double wo) const
{
    const int degree = p.size() - z.size();
    k = k * std::pow(wo, static_cast<double>(degree));
    for (double& v : z)
        v = v * wo;
    for (std::complex<double>& v : p)
        v = std::complex<double>(v.real() * wo, v.imag() * wo);
}

void SignalFilter::lp2hpZpk(QVector<double>& z, Complexes& p, double& k, double wo) const
{
    const int degree = p.size() - z.size();
    k = 1.0;
    for (int i = 0; i < degree; ++i)
        z.append(0.0);
    const std::complex<double> w(wo, 0.0);
    for (std::complex<double>& v : p)
        v = w / v;
}

void SignalFilter::bilinearZpk(QVector<double>& z, Complexes& p, double& k, double fs) const
{
    const double fs2 = fs + fs;
    const int degree = p.size() - z.size();
    const QVector<double> za = z;
    const Complexes pa = p;

    for (double& v : z)
        v = (v + fs2) / (fs2 - v);
    for (std::complex<double>& v : p)
        v = std::complex<double>(v.real() + fs2, v.imag() + 0.0)
            / std::complex<double>(fs2 - v.real(), 0.0 - v.imag());
    for (int i = 0; i < degree; ++i)
        z.append(-1.0);

    double num = 1.0;
    for (double v : za)
        num = num * (fs2 - v);
    std::complex<double> den(1.0, 0.0);
    for (const std::complex<double>& v : pa)
        den = std::complex<double>(fs2 - v.real(), 0.0 - v.imag()) * den;

    k = (num / den.real()) * k;
}

SignalFilter::Sections SignalFilter::zpk2sos(QVector<double> z, Complexes p, double k) const
{
    Complexes pc;
    QVector<double> pr;
    cplxreal(p, pc, pr, kPairTol);
    Complexes P = pc + toComplex(pr);

    std::sort(z.begin(), z.end());
    Complexes Z = toComplex(z);

    Sections sos(kSections, Row(6, 0.0));
    pairSections(P, Z, kSections, sos);

    sos[0][0] *= k;
    sos[0][1] *= k;
    sos[0][2] *= k;
    return sos;
}

void SignalFilter::cplxreal(const Complexes& values, Complexes& complexOut, QVector<double>& realOut,
                            double tol) const
{
    const int n = values.size();
    QVector<bool> taken(n, false);
    for (int i = 0; i < n; ++i) {
        if (taken[i])
            continue;
        const std::complex<double> v = values[i];
        if (v.imag() == 0.0) {
            realOut.append(v.real());
            continue;
        }
        int partner = -1;
        for (int j = i + 1; j < n; ++j) {
            if (taken[j])
                continue;
            const std::complex<double> w = values[j];
            if (std::abs(v.real() - w.real()) < tol && std::abs(w.imag() + v.imag()) < tol) {
                partner = j;
                break;
            }
        }
        if (partner < 0) {
            complexOut.append(v);
        } else {
            taken[partner] = true;
            complexOut.append(v.imag() > 0.0 ? v : values[partner]);
        }
    }

    auto key = [](const std::complex<double>& c) {
        const double m = std::abs(c);
        return m * m;
    };
    std::sort(complexOut.begin(), complexOut.end(),
              [&key](const std::complex<double>& l, const std::complex<double>& r) { return key(l) < key(r); });
    std::sort(realOut.begin(), realOut.end());
}

void SignalFilter::pairSections(Complexes& p, Complexes& z, int sections, Sections& sos) const
{
    const std::complex<double> origin(0.0, 0.0);
    // Takes the zero nearest p1 of the given kind; a missing zero sits at
    // the origin, as for a digital design with fewer zeros than poles.
    auto takeZero = [&](const std::complex<double>& target, const QString& which) {
        if (z.isEmpty())
            return origin;
        const int i = nearestRealComplexIdx(z, target, which);
        const std::complex<double> v = z[i];
        z.remove(i);
        return v;
    };

    for (int r = sections - 1; r >= 0; --r) {
        if (r >= sos.size())
            continue;
        if (p.isEmpty()) {
            sos[r] = Row{1.0, 0.0, 0.0, 1.0, 0.0, 0.0};
            continue;
        }
        int i = closestToUnitCircle(p);
        const std::complex<double> p1 = p[i];
        p.remove(i);

        std::complex<double> p2 = std::conj(p1);
        if (p1.imag() == 0.0) {
            // A real pole pairs with the remaining real pole nearest the
            // unit circle, or with a pole at the origin when none is left.
            Complexes reals;
            QVector<int> where;
            for (int j = 0; j < p.size(); ++j) {
                if (p[j].imag() == 0.0) {
                    reals.append(p[j]);
                    where.append(j);
                }
            }
            if (reals.isEmpty()) {
                p2 = origin;
            } else {
                const int j = where[closestToUnitCircle(reals)];
                p2 = p[j];
                p.remove(j);
            }
        }

        const std::complex<double> z1 = takeZero(p1, QStringLiteral("any"));
        std::complex<double> z2;
        if (z1.imag() != 0.0)
            z2 = std::conj(z1);
        else
            z2 = takeZero(p1, QStringLiteral("real"));

        sos[r] = polyReal(Complexes{z1, z2}, Complexes{p1, p2}, 1.0);
    }
}

int SignalFilter::closestToUnitCircle(const Complexes& values) const
{
    int best = 0;
    double bestD = 0.0;
    for (int i = 0; i < values.size(); ++i) {
        const double d = std::abs(1.0 - std::abs(values[i]));
        if (i == 0 || d < bestD) {
            best = i;
            bestD = d;
        }
    }
    return best;
}

int SignalFilter::nearestRealComplexIdx(const Complexes& values, std::complex<double> target,
                                        const QString& which) const
{
    int mode;
    if (which == QLatin1String("any"))
        mode = 0;
    else if (which == QLatin1String("real"))
        mode = 1;
    else if (which == QLatin1String("complex"))
        mode = 2;
    else
        return 0;

    int best = -1;
    double bestD = 0.0;
    for (int i = 0; i < values.size(); ++i) {
        const bool isReal = values[i].imag() == 0.0;
        if ((mode == 1 && !isReal) || (mode == 2 && isReal))
            continue;
        const double d = std::abs(values[i] - target);
        if (best < 0 || d < bestD) {
            best = i;
            bestD = d;
        }
    }
    return best < 0 ? 0 : best;
}

SignalFilter::Row SignalFilter::polyReal(const Complexes& zeros, const Complexes& poles, double gain) const
{
    Row row(6, 0.0);
    QVector<double> b, a;
    polyComplex(zeros, poles, static_cast<int>(gain), b, a);
    for (int i = 0; i < b.size(); ++i) {
        const int at = 3 - b.size() + i;
        if (at >= 0)
            row[at] = b[i];
    }
    for (int i = 0; i < a.size(); ++i) {
        const int at = 6 - a.size() + i;
        if (at >= 3)
            row[at] = a[i];
    }
    return row;
}

void SignalFilter::polyComplex(const Complexes& zs, const Complexes& ps, int gain, QVector<double>& b,
                               QVector<double>& a) const
{
    Complexes num{std::complex<double>(static_cast<double>(gain), 0.0)};
    for (const std::complex<double>& r : zs) {
        Complexes next(num.size() + 1, std::complex<double>(0.0, 0.0));
        for (int j = 0; j < num.size(); ++j) {
            next[j] += num[j];
            next[j + 1] += num[j] * (-r);
        }
        num = next;
    }
    Complexes den{std::complex<double>(1.0, 0.0)};
    for (const std::complex<double>& r : ps) {
        Complexes next(den.size() + 1, std::complex<double>(0.0, 0.0));
        for (int j = 0; j < den.size(); ++j) {
            next[j] += den[j];
            next[j + 1] += (-r) * den[j];
        }
        den = next;
    }
    zeros(b, num.size());
    zeros(a, den.size());
    for (int i = 0; i < num.size(); ++i)
        b[i] = num[i].real();
    for (int i = 0; i < den.size(); ++i)
        a[i] = den[i].real();
}

SignalFilter::Complexes SignalFilter::toComplex(const QVector<double>& values) const
{
    Complexes out;
    out.reserve(values.size());
    for (double v : values)
        out.append(std::complex<double>(v, 0.0));
    return out;
}

void SignalFilter::zeros(QVector<double>& v, int n) const
{
    if (n >= 0)
        v.resize(n);
    v.fill(0.0);
}

// ---------------------------------------------------------------------------
// Section path

QVector<double> SignalFilter::sosfiltfilt(const QVector<double>& x, const Sections& sos) const
{
    if (x.size() <= kSosPad)
        return x;

    QVector<double> ext = oddExt(x, kSosPad);
    const Sections zi = sosfiltZi(sos);

    QVector<Sections> states{scaleStates(zi, ext.first())};
    QVector<QVector<double>> signal = atleast2d(std::move(ext));
    sosfilt(sos, signal, states);
    QVector<double> y = firstRow(signal);
    signal.clear();

    // The one working buffer is reversed, filtered and cut in place: the
    // same samples as the reversing and cutting slices, without allocating
    // (fresh buffers of this size cost page faults on every call).
    states = QVector<Sections>{scaleStates(zi, y.last())};
    std::reverse(y.begin(), y.end());
    signal = atleast2d(std::move(y));
    sosfilt(sos, signal, states);
    y = firstRow(signal);
    signal.clear();

    std::reverse(y.begin(), y.end());
    std::copy(y.cbegin() + kSosPad, y.cend() - kSosPad, y.begin());
    y.resize(x.size());
    return y;
}

void SignalFilter::sosfilt(const Sections& sos, QVector<QVector<double>>& signals, QVector<Sections>& states) const
{
    const int nSec = sos.size();
    if (signals.isEmpty())
        return;

    // Rows shorter than six coefficients read as zero coefficients.
    QVector<double> coef(6 * nSec, 0.0);
    for (int k = 0; k < nSec; ++k)
        for (int c = 0; c < 6; ++c)
            coef[6 * k + c] = sos[k].value(c, 0.0);

    const int count = signals[0].size();
    if (states.size() < signals.size())
        states.resize(signals.size());

    QVector<double> z(2 * nSec, 0.0);
    for (int r = 0; r < signals.size(); ++r) {
        Sections& st = states[r];
        if (st.size() < nSec)
            st.resize(nSec);
        for (int k = 0; k < nSec; ++k) {
            z[2 * k] = st[k].value(0, 0.0);
            z[2 * k + 1] = st[k].value(1, 0.0);
        }

        const int n = std::min(count, signals[r].size());
        double* xs = signals[r].data();
        switch (nSec) {
        case 1: cascadeFixed<1>(coef.constData(), z.data(), xs, n); break;
        case 2: cascadeFixed<2>(coef.constData(), z.data(), xs, n); break;
        case 3: cascadeFixed<3>(coef.constData(), z.data(), xs, n); break;
        case 4: cascadeFixed<4>(coef.constData(), z.data(), xs, n); break;
        default: cascadeAny(coef.constData(), z.data(), nSec, xs, n); break;
        }

        for (int k = 0; k < nSec; ++k) {
            QVector<double>& row = st[k];
            if (row.size() < 2)
                row.resize(2);
            row[0] = z[2 * k];
            row[1] = z[2 * k + 1];
        }
    }
}

SignalFilter::Sections SignalFilter::sosfiltZi(const Sections& sos) const
{
    Sections zi;
    zi.reserve(sos.size());
    double scale = 1.0;
    for (const Row& row : sos) {
        const QVector<double> b{row.value(0, 0.0), row.value(1, 0.0), row.value(2, 0.0)};
        const QVector<double> a{row.value(3, 0.0), row.value(4, 0.0), row.value(5, 0.0)};
        const QVector<double> z = lfilterZi(b, a);
        zi.append(QVector<double>{z.value(0, 0.0) * scale, z.value(1, 0.0) * scale});
        scale = scale * (((b[0] + b[1]) + b[2]) / ((a[0] + a[1]) + a[2]));
    }
    return zi;
}

QVector<double> SignalFilter::lfilterZi(QVector<double> b, QVector<double> a) const
{
    const int n = std::max(a.size(), b.size());

    while (a.size() > 1 && a[0] == 0.0)
        a.removeFirst();
    if (!a.isEmpty() && a[0] != 1.0) {
        const double a0 = a[0];
        for (double& v : b)
            v = v / a0;
        for (double& v : a)
            v = v / a0;
    }
    while (a.size() < n)
        a.append(0.0);
    while (b.size() < n)
        b.append(0.0);

    const int m = n - 1;
    if (m <= 0)
        return {};

    std::vector<std::vector<double>> A(m, std::vector<double>(m, 0.0));
    std::vector<double> B(m, 0.0);
    for (int i = 0; i < m; ++i) {
        A[i][i] = 1.0;
        if (i + 1 < m)
            A[i][i + 1] = -1.0;
        if (i < a.size() - 1)
            A[i][0] += a[i + 1];
        B[i] = b[i + 1] - a[i + 1] * b[0];
    }

    if (!solveLinear(A, B))
        throw std::runtime_error("Linear system could not be solved.");

    return QVector<double>(B.begin(), B.end());
}

bool SignalFilter::solveLinear(std::vector<std::vector<double>>& A, std::vector<double>& B) const
{
    const std::size_t n = A.size();
    if (B.size() != n)
        return false;
    for (const std::vector<double>& row : A)
        if (row.size() < n)
            return false;

    for (std::size_t k = 0; k < n; ++k) {
        std::size_t piv = k;
        double best = std::abs(A[k][k]);
        for (std::size_t i = k + 1; i < n; ++i) {
            const double m = std::abs(A[i][k]);
            if (m > best) {
                best = m;
                piv = i;
            }
        }
        if (best < kPivotMin)
            return false;
        std::swap(A[k], A[piv]);
        std::swap(B[k], B[piv]);
        if (k == n - 1)
            break;
        for (std::size_t i = k + 1; i < n; ++i) {
            const double f = A[i][k] / A[k][k];
            for (std::size_t j = k; j < n; ++j)
                A[i][j] -= f * A[k][j];
            B[i] -= f * B[k];
        }
    }

    for (std::size_t i = n; i-- > 0;) {
        B[i] = B[i] / A[i][i];
        for (std::size_t r = 0; r < i; ++r)
            B[r] -= A[r][i] * B[i];
    }
    return true;
}

SignalFilter::Sections SignalFilter::scaleStates(const Sections& zi, double s) const
{
    Sections out = zi;
    for (QVector<double>& row : out)
        for (double& v : row)
            v = v * s;
    return out;
}

QVector<QVector<double>> SignalFilter::atleast2d(QVector<double> x) const
{
    QVector<QVector<double>> m;
    m.append(std::move(x));
    return m;
}

QVector<double> SignalFilter::firstRow(const QVector<QVector<double>>& m) const
{
    if (m.isEmpty())
        return {};
    return m.first();
}

QVector<double> SignalFilter::axisSlice(const QVector<double>& x, int start, int stop, int step) const
{
    if (step == 0) {
        qWarning("step cannot be zero");
        return {};
    }
    QVector<double> out;
    if (start == stop)
        return out;

    // Indices outside x are never read: the walk is clipped to 0 .. size - 1.
    const qint64 size = x.size();
    const qint64 s = step;
    qint64 first = start, count = 0;
    if (s > 0) {
        if (first < 0)
            first += ((-first + s - 1) / s) * s;
        const qint64 end = std::min<qint64>(stop, size);
        if (first < end)
            count = (end - first + s - 1) / s;
    } else {
        const qint64 d = -s;
        if (first > size - 1)
            first -= ((first - (size - 1) + d - 1) / d) * d;
        const qint64 end = std::max<qint64>(stop, -1);
        if (first > end)
            count = (first - end + d - 1) / d;
    }
    if (count <= 0)
        return out;

    out.resize(static_cast<int>(count));
    const double* in = x.constData() + first;
    double* o = out.data();
    if (s == 1)
        std::copy(in, in + count, o);
    else if (s == -1)
        std::reverse_copy(in - (count - 1), in + 1, o);
    else
        for (qint64 i = 0; i < count; ++i)
            o[i] = in[i * s];
    return out;
}

QVector<double> SignalFilter::oddExt(const QVector<double>& x, int n) const
{
    const int N = x.size();
    if (N == 0)
        return {};

    const double leftEnd = axisSlice(x, 0, 1, 1).first();
    const QVector<double> leftExt = axisSlice(x, n, 0, -1);
    const double rightEnd = axisSlice(x, N - 1, N, 1).first();
    const QVector<double> rightExt = axisSlice(x, N - 2, N - n - 2, -1);

    QVector<double> out;
    out.reserve(N + leftExt.size() + rightExt.size());
    const double l2 = leftEnd + leftEnd;
    for (double v : leftExt)
        out.append(l2 - v);
    out.append(x);
    const double r2 = rightEnd + rightEnd;
    for (double v : rightExt)
        out.append(r2 - v);
    return out;
}

// ---------------------------------------------------------------------------
// Biquad and notch path

std::vector<double> SignalFilter::filtfilt(const std::vector<double>& x, const std::vector<double>& b,
                                           const std::vector<double>& a) const
{
    if (x.size() <= static_cast<std::size_t>(kBiquadMinLen))
        return x;

    const int edge = 3 * static_cast<int>(std::max(b.size(), a.size()));
    const std::vector<double> ext = oddExtStd(x, edge);

    const QVector<double> zi = lfilterZi(QVector<double>(b.begin(), b.end()), QVector<double>(a.begin(), a.end()));

    std::vector<double> z(zi.begin(), zi.end());
    for (double& v : z)
        v = v * ext.front();
    std::vector<double> y = lfilter(b, a, ext, z);

    z.assign(zi.begin(), zi.end());
    for (double& v : z)
        v = v * y.back();
    std::reverse(y.begin(), y.end());
    std::vector<double> y2 = lfilter(b, a, y, z);

    // Reversing back and cutting the padding off, in place (the samples of
    // pySlice(reversed, edge, -edge, 1)).
    std::reverse(y2.begin(), y2.end());
    std::copy(y2.cbegin() + edge, y2.cend() - edge, y2.begin());
    y2.resize(x.size());
    return y2;
}

std::vector<double> SignalFilter::lfilter(const std::vector<double>& b, const std::vector<double>& a,
                                          const std::vector<double>& x, const std::vector<double>& zi) const
{
    if (b.size() != 3 || a.size() != 3)
        throw std::invalid_argument("b/a must be length-3 vectors");
    if (zi.size() != 2)
        throw std::invalid_argument("zi must be length-2 vector");
    if (a[0] == 0.0)
        throw std::runtime_error("a[0] cannot be zero");

    const double a0 = a[0];
    const double b0 = b[0] / a0, b1 = b[1] / a0, b2 = b[2] / a0;
    const double a1 = a[1] / a0, a2 = a[2] / a0;

    std::vector<double> y(x.size());
    double z0 = zi[0], z1 = zi[1];
    const double* xs = x.data();
    double* ys = y.data();
    const std::size_t n = x.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double v = xs[i];
        const double out = b0 * v + z0;
        z0 = (b1 * v + z1) - a1 * out;
        z1 = v * b2 - a2 * out;
        ys[i] = out;
    }
    return y;
}

std::vector<double> SignalFilter::oddExtStd(const std::vector<double>& x, int n) const
{
    if (n < 1)
        return x;
    if (x.empty())
        return {};

    const double leftEnd = x.front();
    const std::vector<double> leftExt = pySlice(x, n, 0, -1);
    const double rightEnd = x.back();
    const std::vector<double> rightExt = pySlice(x, -2, -2 - n, -1);

    std::vector<double> out;
    out.reserve(x.size() + leftExt.size() + rightExt.size());
    const double l2 = leftEnd + leftEnd;
    for (double v : leftExt)
        out.push_back(l2 - v);
    out.insert(out.end(), x.begin(), x.end());
    const double r2 = rightEnd + rightEnd;
    for (double v : rightExt)
        out.push_back(r2 - v);
    return out;
}

std::vector<double> SignalFilter::pySlice(const std::vector<double>& x, int start, int stop, int step) const
{
    if (step == 0) {
        qWarning("step cannot be zero");
        return {};
    }
    const qint64 N = static_cast<qint64>(x.size());
    qint64 first = start, last = stop;
    if (first < 0)
        first += N;
    if (last < 0)
        last += N;
    first = std::max<qint64>(first, 0);
    last = std::min<qint64>(last, N);

    std::vector<double> out;
    const qint64 s = step;
    if (s > 0) {
        if (last > first)
            out.reserve(static_cast<std::size_t>((last - first + s - 1) / s));
        for (qint64 i = first; i < last; i += s)
            out.push_back(x[static_cast<std::size_t>(i)]);
    } else {
        const qint64 d = -s;
        qint64 i = first;
        if (i > N - 1)
            i -= ((i - (N - 1) + d - 1) / d) * d;
        const qint64 end = std::max<qint64>(last, -1);
        if (i > end)
            out.reserve(static_cast<std::size_t>((i - end + d - 1) / d));
        for (; i > end; i -= d)
            out.push_back(x[static_cast<std::size_t>(i)]);
    }
    return out;
}

void SignalFilter::iirnotchNormalized(double w0, double Q, std::vector<double>& b, std::vector<double>& a) const
{
    const double w = (w0 + w0) * 0.5;
    const double g = 1.0 / (std::tan(((w / Q) * kPi) * 0.5) * kNotchGain + 1.0);
    const double c = std::cos(w * kPi);
    b = {g, (c * -2.0) * g, g};
    a = {1.0, (-2.0 * g) * c, (g + g) - 1.0};
}

void SignalFilter::iirnotch(int f0, double Q, double fs, std::vector<double>& b, std::vector<double>& a) const
{
    iirnotchNormalized(static_cast<double>(f0) / (fs * 0.5), Q, b, a);
}

std::vector<double> SignalFilter::notchFilter(const std::vector<double>& x, int f0, double fs, double Q) const
{
    std::vector<double> b, a;
    iirnotchNormalized(static_cast<double>(f0) / (0.5 * fs), Q, b, a);
    return filtfilt(x, b, a);
}

std::vector<double> SignalFilter::notchFilterBandwidth(const std::vector<double>& x, double f0, double bw,
                                                       double fs) const
{
    std::vector<double> b, a;
    iirnotchNormalized(f0 / (0.5 * fs), f0 / bw, b, a);
    return filtfilt(x, b, a);
}

std::vector<double> SignalFilter::notchFilterIntBandwidth(const std::vector<double>& x, int f0, int bw,
                                                          double fs) const
{
    std::vector<double> b, a;
    iirnotchNormalized(static_cast<double>(f0) / (0.5 * fs), static_cast<double>(f0) / static_cast<double>(bw),
                       b, a);
    return filtfilt(x, b, a);
}
