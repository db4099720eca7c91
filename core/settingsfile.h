#pragma once
// Reading "config.ini" values. QVariant's conversions give 0 for text that is
// no number; NaN and infinity (which QString::toDouble accepts) take the
// key's default, since every clamp comparison with NaN would let it through.

#include <QSettings>
#include <QString>

namespace SettingsFile {

int readInt(const QSettings& settings, const QString& key, int defaultValue);
double readDouble(const QSettings& settings, const QString& key, double defaultValue);

// The clamps applied after both groups are read, in this order.
int clampBaudRate(int baudRate);
int clampXAxisUpper(int xAxisUpper);
double clampYAxisLower(double yAxisLower);
double clampYAxisUpper(double yAxisUpper, double yAxisLower);

} // namespace SettingsFile
