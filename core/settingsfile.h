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

// The keys of the groups "Sensitivity" and "Com" that the start-up reads,
// holding their defaults until read.
struct StartupKeys {
    int xAxisUpper = 150;
    double yAxisLower = 1e-5;
    double yAxisUpper = 1.0;
    int bandWidth = 15;
    int isTest = 0;
    int isMockData = 0;
    int isFSMode = 0;
    int isChinese = 0;
    int baudRate = 921600;
};

// Each reads its group, in the file's key order, into keys.
void readSensitivityGroup(QSettings& settings, StartupKeys& keys);
void readComGroup(QSettings& settings, StartupKeys& keys);
// The clamps, once both groups are read: baud rate, xAxisUpper, yAxisLower,
// then yAxisUpper (its own bounds, then not below yAxisLower).
void applyClamps(StartupKeys& keys);

} // namespace SettingsFile
