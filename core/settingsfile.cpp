#include "core/settingsfile.h"

#include "core/logger.h"

#include <QFileInfo>

#include <cmath>

namespace SettingsFile
{

namespace
{

// A value as the log shows it: quoted, control and non-ASCII characters
// escaped, long ones cut.
QString shown(const QString& text)
{
    constexpr int kMaxShown = 60;
    QString out = QStringLiteral("\"");
    for (int i = 0; i < text.size(); ++i) {
        if (i == kMaxShown)
            return out + QStringLiteral("\"...");
        const ushort u = text.at(i).unicode();
        if (u < 0x20 || u == 0x7F || u > 0xFF)
            out += QStringLiteral("\\x%1").arg(u, u > 0xFF ? 4 : 2, 16, QLatin1Char('0'));
        else if (u == '"' || u == '\\')
            out += QLatin1Char('\\') + QChar(u);
        else
            out += QChar(u);
    }
    return out + QLatin1Char('"');
}

QString shown(const QVariant& value)
{
    switch (value.userType()) {
    case QMetaType::QStringList: {
        QStringList items;
        for (const QString& item : value.toStringList())
            items << shown(item);
        return QStringLiteral("the list ") + items.join(QStringLiteral(", "));
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return QStringLiteral("the serialized value ") + shown(QString::fromUtf8(bytes.constData(), bytes.size()));
    }
    default:
        return shown(value.toString());
    }
}

QString where(const QSettings& settings, const QString& key)
{
    const QString file = QFileInfo(settings.fileName()).fileName();
    const QString group = settings.group();
    return QStringLiteral("%1: [%2] %3").arg(file, group.isEmpty() ? QStringLiteral("General") : group, key);
}

void logDefault(const QSettings& settings, const QString& key, const QVariant& value, const char* expected,
                const QString& defaultText)
{
    Logger::instance()->log(QStringLiteral("%1 = %2 is not %3; the default %4 is used")
                                .arg(where(settings, key), shown(value), QLatin1String(expected), defaultText));
}

// The value's text, when it is one: a text from the file, or a number a
// caller set on the same file (no list, no serialized value).
bool textOf(const QVariant& value, QString* text)
{
    switch (value.userType()) {
    case QMetaType::QString:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        *text = value.toString().trimmed();
        return true;
    default:
        return false;
    }
}

} // namespace

int readInt(const QSettings& settings, const QString& key, int defaultValue)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return defaultValue;
    QString text;
    bool ok = false;
    const int number = textOf(value, &text) ? text.toInt(&ok) : 0;
    if (ok)
        return number;
    logDefault(settings, key, value, "a whole number", QString::number(defaultValue));
    return defaultValue;
}

double readDouble(const QSettings& settings, const QString& key, double defaultValue)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return defaultValue;
    QString text;
    bool ok = false;
    const double number = textOf(value, &text) ? text.toDouble(&ok) : 0.0;
    if (ok && std::isfinite(number))
        return number;
    logDefault(settings, key, value, "a finite number", QString::number(defaultValue));
    return defaultValue;
}

QString readString(const QSettings& settings, const QString& key, const QString& defaultValue)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return defaultValue;
    if (value.userType() == QMetaType::QString)
        return value.toString(); // blanks inside quotes are the text's own
    QString text;
    if (textOf(value, &text))
        return text;
    logDefault(settings, key, value, "a text",
               defaultValue.isEmpty() ? QStringLiteral("(empty)") : shown(defaultValue));
    return defaultValue;
}

void logUnknownKeys(QSettings& settings, const QStringList& known)
{
    const QString file = QFileInfo(settings.fileName()).fileName();
    for (const QString& key : settings.allKeys()) {
        if (known.contains(key))
            continue;
        const int slash = key.lastIndexOf(QLatin1Char('/'));
        const QString group = slash < 0 ? QStringLiteral("General") : key.left(slash);
        Logger::instance()->log(QStringLiteral("%1: [%2] %3 = %4 is not a setting of this program; it is kept, unused")
                                    .arg(file, group, shown(key.mid(slash + 1)), shown(settings.value(key))));
    }
}

const QStringList& configKeys()
{
    static const QStringList keys{QStringLiteral("Server/isServer"),        QStringLiteral("Server/isExistGPS"),
                                  QStringLiteral("Server/GPSCom"),          QStringLiteral("Sensitivity/xAxisUpper"),
                                  QStringLiteral("Sensitivity/yAxisLower"), QStringLiteral("Sensitivity/yAxisUpper"),
                                  QStringLiteral("Sensitivity/bandWidth"),  QStringLiteral("Sensitivity/isTest"),
                                  QStringLiteral("Sensitivity/isMockData"), QStringLiteral("Sensitivity/isFSMode"),
                                  QStringLiteral("Sensitivity/isChinese"),  QStringLiteral("Com/baudRate")};
    return keys;
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
