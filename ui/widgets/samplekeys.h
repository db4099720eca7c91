#pragma once
// Time keys of a chart whose samples lie one step apart from 0 s (i * step).
// They are kept from one refresh to the next, so that only a changed step
// rebuilds them and a longer window adds just its new keys.

#include <QVector>

class SampleKeys
{
public:
    // The keys of count samples stepSeconds apart.
    const QVector<double>& forSamples(int count, double stepSeconds)
    {
        if (step != stepSeconds) {
            keys.clear();
            step = stepSeconds;
        }
        if (keys.size() > count)
            keys.resize(count);
        keys.reserve(count);
        for (int i = keys.size(); i < count; ++i)
            keys.append(i * stepSeconds);
        return keys;
    }

private:
    QVector<double> keys;
    double step = 0.0;
};
