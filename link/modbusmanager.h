#pragma once
// The instrument's serial link. Lives on its own thread with the raw port:
// writes each request the scheduler sends, installs the reply reader that
// fits the request's kind, cuts replies by their fixed sizes and hands them
// on tagged with their kind.

#include "core/types.h"
#include "link/fidreaders.h"

#include <QByteArray>
#include <QList>
#include <QModbusDevice>
#include <QMutex>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QVariantList>

class QModbusDataUnit;
class QModbusReply;
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

    // Read-only views of the link-thread state for tests: read them on the
    // link thread (a blocking queued call).
    bool isBusy() const { return busy; }
    int pendingOperationCount() const { return pendingOperations.size(); }
    bool hasSeenStatusFour() const { return statusFourSeen; }
    bool isPortOpen() const;
    // Test seam: how long one upload chunk may take to leave (default 30 s).
    void setUpgradeWaitMs(int ms) { upgradeWaitMs = ms; }

    // More than 24 bytes with the vector frame's head bytes at 0, 8, 16, 24.
    static bool isVectorFIDFrameHead(const QByteArray& bytes) { return FidFrames::isVectorFIDFrameHead(bytes); }
    // The vector reader's scanner chain; *found when a scanner found a span.
    static QByteArray extractKnownFrames(QByteArray buffer, FidFrames::KnownFrames& taken, bool& found)
    {
        return FidFrames::extractKnownFrames(buffer, taken, found);
    }

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

    // FID frame readers. Nothing attaches them to the port's readyRead; when
    // run they read what waits and hand on the frames they cut.
    void readFIDFinished();
    void readVectorFIDFinished();

    // Request path through the Modbus RTU client object.
    void slots_readModbus(ushort address, ushort value);
    void slots_writeModbus(ushort address, ushort value);
    void slots_readModbusData(QByteArray data);
    void slots_sendModbus(OperationType operation, QVariantList args);
    void sendNextPendingOperation();
    void readFinished();
    void writeFinished();

    // Firmware upload in chunks of 2048 bytes.
    void slots_sendUpgradeData(QByteArray data);

    void solt_connectFidPort();
    void slot_disConnectFidPort();

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
    void ensureModbusConnected();
    void reopenSerialPort();
    // Sends a client request; a request of the operation queue (queued)
    // lets the next queued one run once it completes or fails.
    void sendClientRead(ushort address, ushort count, bool queued);
    void sendClientWrite(ushort address, ushort value, bool queued);
    // The raw write of the client path: hex text, at most 30 ms to leave.
    bool writeRawHex(const QByteArray& hex);
    // The queued operation ended without a reply to wait for.
    void queuedOperationEnded();
    // A read or write request handed to the client: refused at once, it ends
    // its queued operation; answered, its reply is handled from the event loop.
    void followClientReply(QModbusReply* reply, bool queued, bool isWrite);
    void handleClientReply(QModbusReply* reply, bool isWrite);

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
    FidFrames::ScalarFidReader scalarFidReader;
    FidFrames::VectorFidReader vectorFidReader;
    int upgradeWaitMs = 30000;
    // Set by the first fatal port error until the next open, so that one
    // failure gives one sig_disconnect.
    bool disconnectReported = false;
};
