#pragma once
// Building blocks of the per-rate processing: block means, the mains notch
// chain, the Butterworth pass filters and the mHz to nT conversion. Plain
// functions of their arguments; the filter calls may throw what the
// signal-processing library throws.

#include "processing/signalfilter.h"

#include <QVector>

namespace RateFilters {

// Block length from a sample count per block (rate x seconds per point).
// Anything below 1, and a count that is not a number, gives 1, so that the
// block-mean loop always advances and a bad data rate never reaches the
// integer conversion.
int blockLength(double samplesPerBlock);

// Means of consecutive blocks of k values; the last block may be shorter.
// k below 1 is taken as 1.
QVector<double> blockMeans(const QVector<double>& v, int k);

double mean(const QVector<double>& v); // 0 for an empty list

// Wide notch at wideNotchHz (10 Hz wide), then a narrow notch (Q 50) at each
// centre in order; every filter designed for 1000 samples per second.
QVector<double> notchChain(const SignalFilter& filter, const QVector<double>& x, int wideNotchHz,
                           const QVector<int>& notchList);

// Low-pass (when lowPass > 0), then high-pass (when highPass > 0), order 8,
// zero phase, at the given rate.
QVector<double> passFilters(const SignalFilter& filter, QVector<double> v, int lowPass, int highPass, int rate);

// mHz to nT in place: v x 0.001 / hzPerNt.
void toNanoTesla(QVector<double>& v, double hzPerNt);

// Keeps the newest keep values (none for keep <= 0).
void trimToNewest(QVector<double>& v, qint64 keep);

} // namespace RateFilters
