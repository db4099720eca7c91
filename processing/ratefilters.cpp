#include "processing/ratefilters.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace RateFilters {

int blockLength(double samplesPerBlock)
{
    if (!(samplesPerBlock >= 1.0))
        return 1;
    if (samplesPerBlock >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(samplesPerBlock);
}

QVector<double> blockMeans(const QVector<double>& v, int k)
{
    k = std::max(k, 1);
    QVector<double> out;
    out.reserve(v.size() / k + 1);
    for (qint64 i = 0; i < v.size(); i += k) {
        const int end = static_cast<int>(std::min<qint64>(i + k, v.size()));
        double sum = 0.0;
        for (int j = static_cast<int>(i); j < end; ++j)
            sum += v[j];
        out.append(sum / (end - i));
    }
    return out;
}

double mean(const QVector<double>& v)
{
    if (v.isEmpty())
        return 0.0;
    double sum = 0.0;
    for (double x : v)
        sum += x;
    return sum / v.size();
}

QVector<double> notchChain(const SignalFilter& filter, const QVector<double>& x, int wideNotchHz,
                           const QVector<int>& notchList)
{
    std::vector<double> y = filter.notchFilterIntBandwidth(std::vector<double>(x.begin(), x.end()), wideNotchHz, 10, 1000.0);
    for (int centre : notchList)
        y = filter.notchFilter(y, centre, 1000.0, 50.0);
    return QVector<double>(y.begin(), y.end());
}

QVector<double> passFilters(const SignalFilter& filter, QVector<double> v, int lowPass, int highPass, int rate)
{
    if (lowPass > 0)
        v = filter.sosfiltfilt(v, filter.butterSos(lowPass, 0, rate));
    if (highPass > 0)
        v = filter.sosfiltfilt(v, filter.butterSos(highPass, 1, rate));
    return v;
}

void toNanoTesla(QVector<double>& v, double hzPerNt)
{
    for (double& x : v)
        x = x * 0.001 / hzPerNt;
}

void trimToNewest(QVector<double>& v, qint64 keep)
{
    keep = std::max<qint64>(keep, 0);
    if (v.size() > keep)
        v.remove(0, static_cast<int>(v.size() - keep));
}

} // namespace RateFilters
