#include "hub/parammanager.h"

#include "core/logger.h"
#include "core/mydoublevalidator.h"
#include "core/myintvalidator.h"
#include "core/portnames.h"
#include "core/settingsfile.h"
#include "core/textini.h"
#include "link/comportthread.h"
#include "link/modbusmanager.h"
#include "link/modbusworkthread.h"
#include "processing/datacheckerthread.h"
#include "processing/mockdatathread.h"
#include "processing/modbusdatahandler.h"
#include "recording/savefilethread.h"
#include "reporting/gpsthread.h"
#include "reporting/serverthread.h"

#include <QDebug>
#include <QFile>
#include <QSerialPortInfo>
#include <QSettings>
#include <QTextStream>

ParamManager::ParamManager(QObject* parent)
    : QObject(parent)
{
    // The hub's types and, for workers tested without main, main's too.
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

    initLink();

    // Data handler on its own thread: every call into it is queued there,
    // and its results are re-emitted here on the GUI thread.
    modbusDataHandler = new ModbusDataHandler(nullptr);
    ModbusDataHandler* const handler = modbusDataHandler;
    connect(modbusManager, &ModbusManager::sig_readDataFinished, handler, &ModbusDataHandler::slots_readDataFinished);
    connect(modbusManager, &ModbusManager::sig_readDataFinishedCeshiDelay, handler,
            &ModbusDataHandler::slots_readDataFinishedCeshiDelay);
    connect(this, &ParamManager::sig_reboot, handler, &ModbusDataHandler::reboot);
    connect(this, &ParamManager::sig_syncDataParam, handler, &ModbusDataHandler::slots_syncDataParam);
    connect(this, &ParamManager::sig_syncDataByteCount, handler, &ModbusDataHandler::slots_syncDataByteCount);
    connect(this, &ParamManager::sig_setOneHz, handler, &ModbusDataHandler::slots_setOneHz);
    connect(this, &ParamManager::sig_setTwentyHz, handler, &ModbusDataHandler::slots_setTwentyHz);
    connect(this, &ParamManager::sig_setFilterEnabled, handler, &ModbusDataHandler::slots_setFilterEnabled);
    connect(handler, &ModbusDataHandler::sig_updateSamplingRate, this, &ParamManager::slots_updateSamplingRate);
    connect(handler, &ModbusDataHandler::sig_updateProgress, this, &ParamManager::sig_updateProgress);
    connect(handler, &ModbusDataHandler::sig_updateProgressEx, this, &ParamManager::sig_updateProgressEx);
    connect(handler, &ModbusDataHandler::sig_signalStrength, this, &ParamManager::sig_signalStrength);
    connect(handler, &ModbusDataHandler::sig_updateSerialNumber, this, &ParamManager::sig_updateSerialNumber);
    connect(handler, &ModbusDataHandler::sig_sendModbusData, this, &ParamManager::sig_sendModbusData);
    connect(handler, &ModbusDataHandler::sig_updateForm, this, &ParamManager::sig_updateForm);
    connect(handler, &ModbusDataHandler::sig_updateVectorForm, this, &ParamManager::sig_updateVectorForm);
    connect(handler, &ModbusDataHandler::sig_updateFormEx, this, &ParamManager::sig_updateFormEx);
    connect(handler, &ModbusDataHandler::sig_updateFormParam, this, &ParamManager::sig_updateFormParam);
    connect(handler, &ModbusDataHandler::sig_updateFormParamEx, this, &ParamManager::sig_updateFormParamEx);
    connect(handler, &ModbusDataHandler::sig_saveCrashLog, this, &ParamManager::sig_saveCrashLog);

    // Recording worker: batches, recording switches and crash-log lines are
    // queued onto its thread.
    saveFileThread = new SaveFileThread(nullptr);
    connect(this, &ParamManager::sig_syncSaveParam, saveFileThread, &SaveFileThread::slots_syncSaveParam);
    connect(this, &ParamManager::sig_saveCSVData, saveFileThread, &SaveFileThread::saveCSVData);
    connect(this, &ParamManager::sig_saveCrashLog, saveFileThread, &SaveFileThread::slot_saveCrashLog);
    connect(modbusDataHandler, &ModbusDataHandler::sig_saveVectorK3orK5CSV, saveFileThread,
            &SaveFileThread::slot_saveVectorK3orK5CSV);
    connect(modbusDataHandler, &ModbusDataHandler::sig_saveVectorXYZS, saveFileThread,
            &SaveFileThread::slot_saveVectorXYZS);
    // End of a timed recording, on the recording thread: the flag is cleared
    // before the page hears of it, so the page never sees a stale "on".
    connect(
        saveFileThread, &SaveFileThread::sig_saveFinished, saveFileThread,
        [this]() {
            m_isSave = false;
            emit sig_saveFinished();
        },
        Qt::DirectConnection);

    QSettings settings(iniPath, TextIni::format());
    settings.beginGroup(QStringLiteral("Server"));
    isServer = SettingsFile::readInt(settings, QStringLiteral("isServer"), 0);
    isExistGPS = SettingsFile::readInt(settings, QStringLiteral("isExistGPS"), 0);
    m_GPSCom = SettingsFile::readString(settings, QStringLiteral("GPSCom"), QStringLiteral("Com4"));
    settings.endGroup();
    qDebug() << "isServer:" << isServer << "  setIniPath:" << iniPath;
    qDebug() << "isExistGPS:" << isExistGPS << "  m_GPSCom:" << m_GPSCom;

    // Reporting on: the server client on its own thread, started by
    // sig_initServer at the end of start-up and fed every second of samples;
    // then the GPS reader, which exists whenever the server client does
    // ("isExistGPS" decides nothing): the client starts it and takes its fixes.
    if (isServer == 1) {
        serverThread = new ServerThread(nullptr);
        connect(this, &ParamManager::sig_initServer, serverThread, &ServerThread::slot_init);
        connect(saveFileThread, &SaveFileThread::sig_SendServerData, serverThread,
                &ServerThread::slot_SendServerScalarData);
        connect(saveFileThread, &SaveFileThread::sig_SendServerVectorData, serverThread,
                &ServerThread::slot_SendServerVectorData);

        gpsThread = new GPSThread(m_GPSCom, nullptr);
        connect(serverThread, &ServerThread::sig_beginGPS, gpsThread, &GPSThread::slot_begin);
        connect(gpsThread, &GPSThread::newGpsData, serverThread, &ServerThread::slot_GPSData1);
    }
}

void ParamManager::initLink()
{
    modbusManager = new ModbusManager();
    modbusWorkThread = new ModbusWorkThread(this);
    ModbusWorkThread* const scheduler = modbusWorkThread;
    ModbusManager* const link = modbusManager;

    // Hub to scheduler, both on the GUI thread: direct calls.
    connect(this, &ParamManager::sig_devStatusWorkerStart, scheduler, &ModbusWorkThread::slots_devStatusWorkerStart);
    connect(this, &ParamManager::sig_devStatusWorkerStop, scheduler, &ModbusWorkThread::slots_devStatusWorkerStop);
    connect(this, &ParamManager::sig_paramWorkerStart, scheduler, &ModbusWorkThread::slots_paramWorkerStart);
    connect(this, &ParamManager::sig_paramWorkerStop, scheduler, &ModbusWorkThread::slots_paramWorkerStop);
    connect(this, &ParamManager::sig_ddsWorkerStart, scheduler, &ModbusWorkThread::slots_ddsWorkerStart);
    connect(this, &ParamManager::sig_ddsWorkerStop, scheduler, &ModbusWorkThread::slots_ddsWorkerStop);
    connect(this, &ParamManager::sig_sendModbusData, scheduler, &ModbusWorkThread::slots_sendModbusData);
    connect(this, &ParamManager::sig_sendCustomModbusData, scheduler, &ModbusWorkThread::slots_sendCustomModbusData);
    connect(this, &ParamManager::sig_syncDataByteCount, scheduler, &ModbusWorkThread::slots_syncDataByteCount);
    connect(this, &ParamManager::sig_connectFidPort, scheduler, &ModbusWorkThread::sig_connectFidPort);
    connect(this, &ParamManager::sig_disconnectFidPort, scheduler, &ModbusWorkThread::sig_disconnectFidPort);

    // Scheduler and hub to the link thread: queued, requests in emission order.
    connect(scheduler, &ModbusWorkThread::sig_connectDevice, link, &ModbusManager::slots_connectDevice);
    connect(scheduler, &ModbusWorkThread::sig_disConnectDevice, link, &ModbusManager::slots_disConnectDevice);
    connect(scheduler, &ModbusWorkThread::sig_readData, link, &ModbusManager::slots_readData, Qt::QueuedConnection);
    connect(scheduler, &ModbusWorkThread::sig_clearSerialPort, link, &ModbusManager::slots_clearSerialPort);
    connect(this, &ParamManager::sig_syncDataByteCount, link, &ModbusManager::slots_syncDataByteCount);
    // The client request path, the FID port members and the upload: nothing
    // emits these signals in the running program.
    connect(scheduler, &ModbusWorkThread::sig_readModbus, link, &ModbusManager::slots_readModbus);
    connect(scheduler, &ModbusWorkThread::sig_writeModbus, link, &ModbusManager::slots_writeModbus);
    connect(scheduler, &ModbusWorkThread::sig_readModbusData, link, &ModbusManager::slots_readModbusData);
    connect(scheduler, &ModbusWorkThread::sig_connectFidPort, link, &ModbusManager::solt_connectFidPort,
            Qt::QueuedConnection);
    connect(scheduler, &ModbusWorkThread::sig_disconnectFidPort, link, &ModbusManager::slot_disConnectFidPort,
            Qt::QueuedConnection);
    connect(this, &ParamManager::sig_sendUpgradeData, link, &ModbusManager::slots_sendUpgradeData);

    // Link results re-emitted on the GUI thread.
    connect(link, &ModbusManager::sig_connected, this, &ParamManager::sig_connected);
    connect(link, &ModbusManager::sig_disconnect, this, &ParamManager::sig_disconnect);
}

void ParamManager::initDataChecker()
{
    dataCheckerThread = new DataCheckerThread(nullptr);
    // Every batch re-reports a lasting condition; the crash log takes the
    // throttled copy, the lock-lost box (main window) the full stream.
    connect(dataCheckerThread, &DataCheckerThread::sig_crashLogMsg, this, &ParamManager::sig_saveCrashLog);
}

void ParamManager::setSaveParam(bool isSave, int interval, QString filePathName, bool isSaveConsecutivefiles)
{
    m_isSave = isSave;
    m_filePathName = filePathName;
    emit sig_syncSaveParam(isSave, interval, filePathName, isSaveConsecutivefiles);
}

void ParamManager::reboot()
{
    emit modbusWorkThread->sig_disConnectDevice();
    emit sig_reboot();
    m_isRunning = false;
    m_paramPollingHeld = false;
}

void ParamManager::startMockData(int pointsPerSend)
{
    if (!mockDataThread)
        return;
    mockDataThread->stopSendingData();
    mockDataThread->startSendingData(MockDataThread::kSendIntervalMs);
    mockDataThread->setPointsPerSend(pointsPerSend);
}

void ParamManager::saveCrashLog(QString text, qint64 timestamp)
{
    if (timestamp == 0)
        timestamp = QDateTime::currentDateTimeUtc().toSecsSinceEpoch();
    emit sig_saveCrashLog(timestamp, text);
}

void ParamManager::readParamsNow()
{
    modbusWorkThread->paramWorkEntry();
}

QStringList ParamManager::availablePortNames() const
{
    return reversedPortNames(QSerialPortInfo::availablePorts());
}

void ParamManager::initMockData()
{
    mockDataThread = new MockDataThread(nullptr);
    // Its own message about the file goes out before anyone listens.
    if (!mockDataThread->loadCsv(QStringLiteral("mock.csv")))
        qDebug() << "mock error";
    connect(mockDataThread, &MockDataThread::dataSent, modbusDataHandler, &ModbusDataHandler::slots_revMockData);
    connect(mockDataThread, &MockDataThread::errorOccurred, this,
            [](QString message) { qDebug() << "Error:" << message; });
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
    // The port belongs to the link thread: the byte goes out from there.
    QMetaObject::invokeMethod(modbusManager, "writeHexToPort", Qt::QueuedConnection, Q_ARG(QByteArray, QByteArray("C5")));
    emit sig_disconnectFidPort();
}

void ParamManager::initComPortThread()
{
    comPortThread = new ComPortThread();
    connect(this, &ParamManager::sig_startComPortThreadTimer, comPortThread, &ComPortThread::slots_startTimer);
    connect(this, &ParamManager::sig_stopComPortThreadTimer, comPortThread, &ComPortThread::slots_stopTimer);
    connect(comPortThread, &ComPortThread::sig_setPortNamelist, this, &ParamManager::setPortNameList);
    emit sig_startComPortThreadTimer();
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
