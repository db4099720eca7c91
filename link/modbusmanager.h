#pragma once
// The instrument's serial link. Lives on its own thread with the raw port:
// writes each request the scheduler sends, installs the reply reader that
// fits the request's kind, cuts replies by their fixed sizes and hands them
// on tagged with their kind.

#include "core/types.h"

#include <QByteArray>
#include <QList>
#include <QModbusDevice>
#include <QMutex>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QVariantList>

class QModbusDataUnit;
class QModbusRtuSerialMaster;
class QThread;

// Queued operations of the Modbus client path.
enum OperationType { ReadModbus = 0, WriteModbus = 1, ReadModbusData = 2 };

struct PendingModbusOperation {
    OperationType op;
    QVariantList args;
};

class ModbusManager : public QObject
{
    Q_OBJECT
public:
    explicit ModbusManager(QObject* parent = nullptr);
    ~ModbusManager() override;

    // Closes the port on the link thread, then ends the thread and waits for
    // it. Call from any thread but the link thread; safe to call twice.
    void shutdown();

    // Which reader is installed: the kind's state number, or kNoReader.
    int currentReadState();
    static constexpr int kNoReader = -1;

signals:
    void sig_connected();
    void sig_readDataFinished(ModbusAddr modbusAddr, QByteArray data);
    void sig_disconnect();
    void sig_readDataFinishedCeshiDelay(ModbusAddr modbusAddr, QByteArray data, int length);
    void sig_connectFidPort();

public slots:
    void slots_connectDevice(QString portName, int baudRate);
    void slots_disConnectDevice();
    void slots_readData(ModbusAddr modbusAddr, QByteArray data);
    void slots_clearSerialPort();
    void slots_syncDataByteCount(int byteCount, bool bChange);

    void onSerialError(QSerialPort::SerialPortError error);
    void onStateChanged(int state);
    void onErrorOccurred(QModbusDevice::Error error);

    // Raw write of hex text, used only to stop the FID stream.
    void writeHexToPort(QByteArray text);

    // Reply readers, each connected to readyRead while installed.
    void readAddr40118Finished();
    void readAddr40118rFinished();
    void readAddr40100Finished();
    void readAddr40230Finished();
    void readOtherDataFinished();
    void readAddr40000Finished();

private:
    void setReadState(const int& state);
    // Reads one fixed-size reply of kind when size bytes wait; hands it on
    // only when it is a well-formed read reply.
    void readFixedReply(ModbusAddr kind, int size);
    void discardWaiting();
    // False when the port's descriptor shows the line hung up or gone.
    bool lineIsUp();
    void closePortOnLinkThread();

    quint16 unitStart = 40230;
    quint16 unitCount = 1;
    int streamFrameSize = 209;
    int paramReplySize = 253;
    int rateReplySize = 11;
    int statusReplySize = 7;
    int identityReplySize = 205;
    bool busy = false;
    QList<PendingModbusOperation*> pendingOperations;
    QModbusRtuSerialMaster* modbusMaster = nullptr;
    QModbusDataUnit* readUnit = nullptr;
    QModbusDataUnit* writeUnit = nullptr;
    QSerialPort* serialPort = nullptr;
    QThread* workerThread = nullptr;
    QMutex readStateMutex;
    int readState = kNoReader;
    bool statusFourSeen = false;
    bool fidBufferReset = true;
    // Set by the first fatal port error until the next open, so that one
    // failure gives one sig_disconnect.
    bool disconnectReported = false;
};
