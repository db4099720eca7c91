#pragma once
// The hub between pages and workers: holds the settings read at start-up and
// the run-time flags the pages share, owns the validators, creates every
// worker and relays their results onto the GUI thread.

#include "core/types.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QVector>

#include <atomic>

class ModbusManager;
class ModbusWorkThread;
class ModbusDataHandler;
class ComPortThread;
class MockDataThread;
class SaveFileThread;
class ServerThread;
class GPSThread;
class DataCheckerThread;
class MyIntValidator;
class MyDoubleValidator;

class ParamManager : public QObject
{
    Q_OBJECT
public:
    explicit ParamManager(QObject* parent = nullptr);
    ~ParamManager() override;

    // Settings, read directly by the pages.
    QString iniPath = QStringLiteral("config.ini");
    int xAxisUpper = 150;
    double yAxisLower = 1e-5;
    double yAxisUpper = 1.0;
    int bandWidth = 15;
    int isTest = 0;
    int baudRate = 921600;
    int samplingRate = 1000;
    int isMockData = 0;
    int isFSMode = 0;
    int isChinese = 0;
    int isServer = 0;
    int isExistGPS = 0;
    QString m_GPSCom = QStringLiteral("Com4");

    ModbusManager* modbusManager = nullptr;
    ModbusWorkThread* modbusWorkThread = nullptr;
    ModbusDataHandler* modbusDataHandler = nullptr;
    ComPortThread* comPortThread = nullptr;
    MockDataThread* mockDataThread = nullptr;
    SaveFileThread* saveFileThread = nullptr;
    ServerThread* serverThread = nullptr;
    GPSThread* gpsThread = nullptr;
    MyIntValidator* intValidator = nullptr;
    MyDoubleValidator* doubleValidator = nullptr;

    // Written on the recording thread at the end of a timed recording while
    // the GUI thread reads it.
    std::atomic<bool> m_isSave{false};
    QString m_filePathName;
    bool m_isRunning = false;
    bool m_isPaused = false;
    bool m_paramPollingHeld = false;
    DataParam dataParam;
    QStringList portNameList;
    DataCheckerThread* dataCheckerThread = nullptr;

    ModbusWorkThread* getModbusWorkThread() const { return modbusWorkThread; }
    MyIntValidator* getIntValidator() const { return intValidator; }
    MyDoubleValidator* getDoubleValidator() const { return doubleValidator; }
    DataCheckerThread* getDataChecker() const { return dataCheckerThread; }

    bool isSave() const { return m_isSave.load(); }
    void setSaveParam(bool isSave, int interval, QString filePathName, bool isSaveConsecutivefiles);
    QString getFilePathName() const { return m_filePathName; }
    void clearSave() { m_isSave = false; }

    bool isRunning() const { return m_isRunning; }
    void setRunning(bool running) { m_isRunning = running; }
    bool isPaused() const { return m_isPaused; }
    void setPaused(bool paused) { m_isPaused = paused; }
    bool isParamPollingHeld() const { return m_paramPollingHeld; }
    void setParamPollingHeld(bool held) { m_paramPollingHeld = held; }

    void reboot();
    void startMockData(int pointsPerSend);
    void saveCrashLog(QString text, qint64 timestamp = 0);
    void readParamsNow();
    QStringList availablePortNames() const;
    void initMockData();
    void resetDefaults();
    void stopFidStream();
    void initComPortThread();
    void setPortNameList(const QStringList& list);

    // File and log members, on the caller's thread, through the application log.
    void log(QString text);
    void appendTextToFile(QString path, QString text);
    void appendHexLine(QString path, QByteArray bytes);
    QVector<double> readDoublesFromFile(QString path);

signals:
    void sig_devStatusWorkerStart();
    void sig_ddsWorkerStart();
    void sig_paramWorkerStart();
    void sig_devStatusWorkerStop();
    void sig_ddsWorkerStop();
    void sig_paramWorkerStop();
    void sig_sendModbusData(ModbusAddr modbusAddr);
    void sig_sendCustomModbusData(QByteArray data);
    void sig_updateForm(QVector<double> datas, FrequencyType fre);
    void sig_updateVectorForm(FIDVectorData data);
    void sig_updateFormEx(QVector<double> datas, QVector<double> f_datas, QVector<double> fft_datas);
    void sig_updateFormParam(RefreshData refreshData);
    void sig_updateFormParamEx(RefreshDataEx refreshDataEx);
    void sig_updateProgress(int iStatus);
    void sig_updateProgressEx(int iStatus);
    void sig_signalStrength(int SignalStrength);
    void sig_updateSerialNumber(QString serialNumber);
    void sig_saveFinished();
    void sig_connected();
    void sig_disconnect();
    void sig_changeWorkState();
    void sig_reboot();
    void sig_syncDataParam(DataParam data);
    void sig_syncSaveParam(bool isSave, int interval, QString filePathName, bool isSaveConsecutivefiles);
    void sig_syncDataByteCount(int byteCount, bool bChange);
    void sig_startComPortThreadTimer();
    void sig_stopComPortThreadTimer();
    void sig_sendUpgradeData(QByteArray data);
    void sig_setOneHz(bool b);
    void sig_setTwentyHz(bool b);
    void sig_saveCSVData(QVector<double> datas, int data_frequency, QDateTime utcTime);
    void sig_setFilterEnabled(bool b);
    void sig_updateSamplingRate(int iSamplingRate);
    void sig_changeSamplingRate(int samplingRate, bool bChange);
    void sig_saveCrashLog(qlonglong timestamp, QString text);
    void sig_initServer();
    void sig_connectFidPort();
    void sig_disconnectFidPort();

public slots:
    void slots_updateSamplingRate(int iSamplingRate);

private:
    void initValidators();
    void init();
    void initLink(); // the serial link, its scheduler and their wiring
    void initDataChecker();
};
