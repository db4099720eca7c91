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

void readSensitivityGroup(QSettings& settings, StartupKeys& keys)
{
    settings.beginGroup(QStringLiteral("Sensitivity"));
    keys.xAxisUpper = readInt(settings, QStringLiteral("xAxisUpper"), 150);
    keys.yAxisLower = readDouble(settings, QStringLiteral("yAxisLower"), 1e-5);
    keys.yAxisUpper = readDouble(settings, QStringLiteral("yAxisUpper"), 1.0);
    keys.bandWidth = readInt(settings, QStringLiteral("bandWidth"), 15);
    keys.isTest = readInt(settings, QStringLiteral("isTest"), 0);
    keys.isMockData = readInt(settings, QStringLiteral("isMockData"), 0);
    keys.isFSMode = readInt(settings, QStringLiteral("isFSMode"), 0);
    keys.isChinese = readInt(settings, QStringLiteral("isChinese"), 0);
    settings.endGroup();
}

void readComGroup(QSettings& settings, StartupKeys& keys)
{
    settings.beginGroup(QStringLiteral("Com"));
    keys.baudRate = readInt(settings, QStringLiteral("baudRate"), 921600);
    settings.endGroup();
}

void applyClamps(StartupKeys& keys)
{
    keys.baudRate = clampBaudRate(keys.baudRate);
    keys.xAxisUpper = clampXAxisUpper(keys.xAxisUpper);
    keys.yAxisLower = clampYAxisLower(keys.yAxisLower);
    keys.yAxisUpper = clampYAxisUpper(keys.yAxisUpper, keys.yAxisLower);
}

} // namespace SettingsFile
