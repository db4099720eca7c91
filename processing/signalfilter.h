#pragma once
// Signal-processing library: order-8 Butterworth low/high-pass design as
// second-order sections, zero-phase filtering of section cascades and of
// single biquads, and second-order notch filters.
//
// The class has no data members; every operation is a pure function of its
// arguments. The arithmetic follows scipy.signal step by step, so that
// coefficients and filtered samples agree with it to rounding.
//
// Two container families are used on purpose: the section path works on
// QVector, the biquad and notch path on std::vector.
//
// Misuse is reported with standard exceptions (std::invalid_argument,
// std::runtime_error); the program's own inputs never raise them.

#include <QString>
#include <QVector>

#include <complex>
#include <vector>

class SignalFilter
{
public:
    using Row = QVector<double>;           // b0 b1 b2 a0 a1 a2
    using Sections = QVector<QVector<double>>;
    using Complexes = QVector<std::complex<double>>;

    SignalFilter() {}

    // ---- design -----------------------------------------------------------

    // kind 0 low-pass, 1 high-pass. Four rows, applied in row order; the
    // cut-off is clamped to fs/2 - 1. A clamped cut-off of 0 or less yields
    // pass-through rows (1, 0, 0, 1, 0, 0).
    Sections butterSos(int cutoff, int kind, int fs) const;

    Complexes buttap(int order) const;
    void lp2lpZpk(QVector<double>& z, Complexes& p, double& k, double wo) const;
    void lp2hpZpk(QVector<double>& z, Complexes& p, double& k, double wo) const;
    void bilinearZpk(QVector<double>& z, Complexes& p, double& k, double fs) const;
    Sections zpk2sos(QVector<double> z, Complexes p, double k) const;
    void cplxreal(const Complexes& values, Complexes& complexOut, QVector<double>& realOut, double tol) const;
    void pairSections(Complexes& p, Complexes& z, int sections, Sections& sos) const;
    int closestToUnitCircle(const Complexes& values) const;
    int nearestRealComplexIdx(const Complexes& values, std::complex<double> target, const QString& which) const;
    Row polyReal(const Complexes& zeros, const Complexes& poles, double gain) const;
    void polyComplex(const Complexes& zs, const Complexes& ps, int gain, QVector<double>& b, QVector<double>& a) const;
    Complexes toComplex(const QVector<double>& values) const;
    void zeros(QVector<double>& v, int n) const;

    // ---- section path -----------------------------------------------------

    // Zero-phase cascade: odd extension of 27 samples at each end; inputs of
    // 27 samples or fewer come back unchanged.
    QVector<double> sosfiltfilt(const QVector<double>& x, const Sections& sos) const;
    // Filters every row of signals in place; states[row][section] = {z0, z1}.
    void sosfilt(const Sections& sos, QVector<QVector<double>>& rows, QVector<Sections>& states) const;
    Sections sosfiltZi(const Sections& sos) const;
    // Throws std::runtime_error("Linear system could not be solved.") for a
    // filter with a pole at or next to z = 1.
    QVector<double> lfilterZi(QVector<double> b, QVector<double> a) const;
    // Gaussian elimination with partial pivoting; false for a pivot below 1e-12.
    bool solveLinear(std::vector<std::vector<double>>& A, std::vector<double>& B) const;
    Sections scaleStates(const Sections& zi, double s) const;
    QVector<QVector<double>> atleast2d(QVector<double> x) const;
    QVector<double> firstRow(const QVector<QVector<double>>& m) const;
    QVector<double> axisSlice(const QVector<double>& x, int start, int stop, int step) const;
    QVector<double> oddExt(const QVector<double>& x, int n) const;

    // ---- biquad and notch path --------------------------------------------

    // Zero-phase biquad: odd extension of 3 * max(len b, len a) samples;
    // inputs of 9 samples or fewer come back unchanged.
    std::vector<double> filtfilt(const std::vector<double>& x, const std::vector<double>& b,
                                 const std::vector<double>& a) const;
    std::vector<double> lfilter(const std::vector<double>& b, const std::vector<double>& a,
                                const std::vector<double>& x, const std::vector<double>& zi) const;
    std::vector<double> oddExtStd(const std::vector<double>& x, int n) const;
    // Python-style slice; indices outside x are skipped.
    std::vector<double> pySlice(const std::vector<double>& x, int start, int stop, int step) const;

    // w0 as a fraction of the Nyquist frequency.
    void iirnotchNormalized(double w0, double Q, std::vector<double>& b, std::vector<double>& a) const;
    void iirnotch(int f0, double Q, double fs, std::vector<double>& b, std::vector<double>& a) const;
    std::vector<double> notchFilter(const std::vector<double>& x, int f0, double fs, double Q) const;
    std::vector<double> notchFilterBandwidth(const std::vector<double>& x, double f0, double bw, double fs) const;
    std::vector<double> notchFilterIntBandwidth(const std::vector<double>& x, int f0, int bw, double fs) const;
};
