#include "reporting/serveridentity.h"

#include "reporting/serverprotocol.h"
#include "reporting/serveruploadrecord.h"

#include "core/settingsfile.h"
#include "core/textini.h"

#include <QSettings>

namespace ServerIdentity
{

namespace
{

const QString kGroup = QStringLiteral("Server");
const QString kKey = QStringLiteral("GUID");

} // namespace

QString read(const QString& iniPath)
{
    QSettings settings(iniPath, TextIni::format());
    settings.beginGroup(kGroup);
    const QString guid = SettingsFile::readString(settings, kKey, QString());
    settings.endGroup();
    SettingsFile::logUnknownKeys(settings, {kGroup + QLatin1Char('/') + kKey});
    return guid;
}

bool write(const QString& iniPath, const QString& guid)
{
    QSettings settings(iniPath, TextIni::format());
    settings.beginGroup(kGroup);
    settings.setValue(kKey, guid);
    settings.endGroup();
    settings.sync();
    // A FormatError tells that the old contents could not be read; the file
    // is written all the same. Only an access error means it was not.
    return settings.status() != QSettings::AccessError;
}

int startState(const QString& guid)
{
    if (guid.size() == ServerProtocol::kGuidLength)
        return Registered;
    if (guid.isEmpty())
        return Unregistered;
    return Disabled;
}

} // namespace ServerIdentity
