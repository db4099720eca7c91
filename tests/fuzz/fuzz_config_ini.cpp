// "config.ini": arbitrary file contents read as the start-up reads them
// (the group "Server" as the hub's constructor does, then "Sensitivity" and
// "Com" with the clamps), every clamped value checked against its range.
//
// Input: the file's bytes.

#include "fuzzsupport.h"

#include "core/settingsfile.h"

#include <QSettings>

#include <cmath>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = FuzzSupport::writeScratchFile(QStringLiteral("config.ini"), data, size);
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("Server"));
        const int isServer = settings.value(QStringLiteral("isServer"), 0).toInt();
        const int isExistGPS = settings.value(QStringLiteral("isExistGPS"), 0).toInt();
        const QString gpsCom = settings.value(QStringLiteral("GPSCom"), QStringLiteral("Com4")).toString();
        settings.endGroup();
        (void)isServer;
        (void)isExistGPS;
        (void)gpsCom;

        SettingsFile::StartupKeys keys;
        SettingsFile::readSensitivityGroup(settings, keys);
        SettingsFile::readComGroup(settings, keys);
        SettingsFile::applyClamps(keys);

        FUZZ_CHECK(keys.baudRate == 921600 || keys.baudRate == 115200);
        FUZZ_CHECK(keys.xAxisUpper >= 10 && keys.xAxisUpper <= 500);
        FUZZ_CHECK(std::isfinite(keys.yAxisLower) && keys.yAxisLower >= 1e-6 && keys.yAxisLower <= 1.0);
        FUZZ_CHECK(std::isfinite(keys.yAxisUpper) && keys.yAxisUpper >= 1.0 && keys.yAxisUpper <= 1e6);
        FUZZ_CHECK(keys.yAxisUpper >= keys.yAxisLower);
    }
    return 0;
}
