#pragma once
// Reading the values of "config.ini" (and of "server.ini"), opened with
// TextIni::format(). A missing key takes its default silently. A value that
// does not read as its key expects (no whole number, no finite number, a
// list, a serialized Qt value) takes the key's default too, with one line
// in the application log naming the file, the group, the key and the value.
// NaN and infinity count as no number: every clamp comparison with NaN
// would let it through.

#include <QSettings>
#include <QString>
#include <QStringList>

namespace SettingsFile
{

int readInt(const QSettings& settings, const QString& key, int defaultValue);
double readDouble(const QSettings& settings, const QString& key, double defaultValue);
QString readString(const QSettings& settings, const QString& key, const QString& defaultValue);

// One log line for each key of the file (read from its top, outside any
// group) that is not among known ("Group/key"): a misspelt key would
// otherwise be ignored without a word. Such keys are kept when the file is
// written.
void logUnknownKeys(QSettings& settings, const QStringList& known);

// Every key of "config.ini" that the program reads.
const QStringList& configKeys();

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
