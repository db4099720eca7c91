// "config.ini": arbitrary file contents read as the start-up reads them
// (the group "Server" as the hub's constructor does, then "Sensitivity" and
// "Com" with the clamps), every clamped value checked against its range.
// Then the file as the program writes it back: the written text reads back
// to the same keys and values, and Qt's own INI format (what other
// programs and older builds read it with) finds the same texts in it.
//
// Input: the file's bytes.

#include "fuzzsupport.h"

#include "core/settingsfile.h"
#include "core/textini.h"

#include <QSettings>

#include <cmath>

namespace
{

// The texts Qt's INI format finds in the written file, and the same for
// what was written. Only texts and lists travel through the written file.
QStringList asTexts(const QVariant& value)
{
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList();
    if (value.userType() == QMetaType::QByteArray)
        return {QString::fromUtf8(value.toByteArray().constData(), value.toByteArray().size())};
    return {value.toString()};
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = FuzzSupport::writeScratchFile(QStringLiteral("config.ini"), data, size);
    {
        QSettings settings(path, TextIni::format());
        settings.beginGroup(QStringLiteral("Server"));
        (void)SettingsFile::readInt(settings, QStringLiteral("isServer"), 0);
        (void)SettingsFile::readInt(settings, QStringLiteral("isExistGPS"), 0);
        (void)SettingsFile::readString(settings, QStringLiteral("GPSCom"), QStringLiteral("Com4"));
        settings.endGroup();

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

    const QSettings::SettingsMap read = TextIni::parse(FuzzSupport::bytes(data, size)).map;
    const QByteArray written = TextIni::serialize(read);
    const TextIni::Parsed again = TextIni::parse(written);
    FUZZ_CHECK(again.problems.isEmpty());
    FUZZ_CHECK(again.map.keys() == read.keys());
    for (auto it = read.cbegin(); it != read.cend(); ++it) {
        // A kept serialized value comes back as its text; nothing else changes.
        FUZZ_CHECK(asTexts(again.map.value(it.key())) == asTexts(it.value()));
        FUZZ_CHECK(again.map.value(it.key()).userType() != QMetaType::QByteArray);
    }
    FUZZ_CHECK(TextIni::serialize(again.map) == written);
    for (const char c : written)
        FUZZ_CHECK(c == '\n' || (c >= 0x20 && c < 0x7F)); // plain ASCII lines

    // A file of its own: QSettings keeps files it has read, whatever their
    // format, and would hand back the map read above.
    const QString qtPath = FuzzSupport::writeScratchFile(
        QStringLiteral("config-qt.ini"), reinterpret_cast<const uint8_t*>(written.constData()), size_t(written.size()));
    QSettings qt(qtPath, QSettings::IniFormat);
    FUZZ_CHECK(qt.status() == QSettings::NoError);
    const QStringList qtKeys = qt.allKeys();
    FUZZ_CHECK(qtKeys.size() == read.size());
    for (auto it = read.cbegin(); it != read.cend(); ++it) {
        FUZZ_CHECK(qtKeys.contains(it.key()));
        FUZZ_CHECK(asTexts(qt.value(it.key())) == asTexts(it.value()));
    }
    return 0;
}
