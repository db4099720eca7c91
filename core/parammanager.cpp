#include "core/parammanager.h"

#include "core/logger.h"
#include "core/portnames.h"
#include "ui/pages/mydoublevalidator.h"
#include "ui/pages/myintvalidator.h"

#include <QDebug>
#include <QFile>
#include <QSerialPortInfo>
#include <QSettings>
#include <QTextStream>

ParamManager::ParamManager(QObject* parent)
    : QObject(parent)
{
    registerHubMetaTypes();
    // Workers tested without main still need the types main registers.
    registerSharedMetaTypes();
    initValidators();
    init();
    m_isSave = false;
    initDataChecker();
}

ParamManager::~ParamManager() = default;

void ParamManager::initValidators()
{
    intValidator = new MyIntValidator(this);
    doubleValidator = new MyDoubleValidator(this);
}

void ParamManager::init()
{
    m_isRunning = false;
    m_isPaused = false;
    m_paramPollingHeld = false;

    QSettings settings(iniPath, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Server"));
    isServer = settings.value(QStringLiteral("isServer"), 0).toInt();
    isExistGPS = settings.value(QStringLiteral("isExistGPS"), 0).toInt();
    m_GPSCom = settings.value(QStringLiteral("GPSCom"), QStringLiteral("Com4")).toString();
    settings.endGroup();
    qDebug() << "isServer:" << isServer << "  setIniPath:" << iniPath;
    qDebug() << "isExistGPS:" << isExistGPS << "  m_GPSCom:" << m_GPSCom;
}

void ParamManager::initDataChecker()
{
}

void ParamManager::setSaveParam(bool isSave, int interval, QString filePathName, bool isSaveConsecutivefiles)
{
    m_isSave = isSave;
    m_filePathName = filePathName;
    emit sig_syncSaveParam(isSave, interval, filePathName, isSaveConsecutivefiles);
}

void ParamManager::reboot()
{
    emit sig_reboot();
    m_isRunning = false;
    m_paramPollingHeld = false;
}

void ParamManager::startMockData(int /*pointsPerSend*/)
{
}

void ParamManager::saveCrashLog(QString text, qint64 timestamp)
{
    if (timestamp == 0)
        timestamp = QDateTime::currentDateTimeUtc().toSecsSinceEpoch();
    emit sig_saveCrashLog(timestamp, text);
}

void ParamManager::readParamsNow()
{
}

QStringList ParamManager::availablePortNames() const
{
    return reversedPortNames(QSerialPortInfo::availablePorts());
}

void ParamManager::initMockData()
{
}

void ParamManager::resetDefaults()
{
    iniPath = QStringLiteral("config.ini");
    xAxisUpper = 150;
    yAxisLower = 1e-5;
    yAxisUpper = 1.0;
    bandWidth = 15;
    baudRate = 921600;
    samplingRate = 1000;
    isFSMode = 0;
}

void ParamManager::stopFidStream()
{
    emit sig_disconnectFidPort();
}

void ParamManager::initComPortThread()
{
}

void ParamManager::setPortNameList(const QStringList& list)
{
    if (!list.isSharedWith(portNameList))
        portNameList = list;
}

void ParamManager::slots_updateSamplingRate(int iSamplingRate)
{
    samplingRate = iSamplingRate;
    emit sig_updateSamplingRate(iSamplingRate);
}

void ParamManager::log(QString text)
{
    Logger::instance()->log(text);
}

void ParamManager::appendTextToFile(QString path, QString text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        Logger::instance()->log(QStringLiteral("Failed to open file for writing:") + file.errorString());
        return;
    }
    QTextStream out(&file);
    out << text;
}

void ParamManager::appendHexLine(QString path, QByteArray bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        Logger::instance()->log(QStringLiteral("Failed to open file for writing:") + file.errorString());
        return;
    }
    QByteArray line = QDateTime::currentDateTimeUtc().toString(QStringLiteral("[yyyy-MM-dd hh:mm:ss.zzz] ")).toUtf8();
    line += bytes.toHex(' ');
    line += '\n';
    file.write(line);
}

QVector<double> ParamManager::readDoublesFromFile(QString path)
{
    QVector<double> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        Logger::instance()->log(QStringLiteral("Failed to open file:") + file.errorString());
        return values;
    }
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (!line.isEmpty())
            values.append(line.toDouble());
    }
    return values;
}
