#include "core/settingsfile.h"

#include <cmath>

namespace SettingsFile {

int readInt(const QSettings& settings, const QString& key, int defaultValue)
{
    return settings.value(key, defaultValue).toInt();
}

double readDouble(const QSettings& settings, const QString& key, double defaultValue)
{
    const double value = settings.value(key, defaultValue).toDouble();
    return std::isfinite(value) ? value : defaultValue;
}

int clampBaudRate(int baudRate)
{
    return (baudRate == 921600 || baudRate == 115200) ? baudRate : 921600;
}

int clampXAxisUpper(int xAxisUpper)
{
    if (xAxisUpper <= 9)
        return 10;
    if (xAxisUpper > 500)
        return 500;
    return xAxisUpper;
}

double clampYAxisLower(double yAxisLower)
{
    if (yAxisLower < 1e-6)
        return 1e-6;
    if (yAxisLower > 1.0)
        return 1.0;
    return yAxisLower;
}

double clampYAxisUpper(double yAxisUpper, double yAxisLower)
{
    if (yAxisUpper < 1.0)
        yAxisUpper = 1.0;
    else if (yAxisUpper > 1e6)
        yAxisUpper = 1e6;
    if (yAxisUpper < yAxisLower)
        yAxisUpper = yAxisLower;
    return yAxisUpper;
}

} // namespace SettingsFile
