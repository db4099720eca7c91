#pragma once
// The request scheduler of the instrument link. Lives on the GUI thread
// (despite its name): holds the stored request frames, turns a request kind
// into the frame to send, runs the status and parameter polls aligned to
// whole UTC seconds and swaps the stream frames on a rate change. Every
// decision ends in a signal to the serial link; it never touches the port.

#include "core/types.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>

class QTimer;

class ModbusWorkThread : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>; // returns UTC

    explicit ModbusWorkThread(QObject* parent = nullptr);

    // Test seam: the clock that aligns the polls (default: the system's UTC).
    void setClock(Clock clock);

    // Runs the parameter poll once, now.
    void paramWorkEntry();

signals:
    void sig_connectDevice(QString portName, int baudRate);
    void sig_disConnectDevice();
    void sig_readData(ModbusAddr modbusAddr, QByteArray data);
    void sig_clearSerialPort();
    void sig_readModbus(ushort address, ushort value);
    void sig_writeModbus(ushort address, ushort value);
    void sig_readModbusData(QByteArray data);
    void sig_connectFidPort();
    void sig_disconnectFidPort();
    void sig_connected();
    void sig_disconnect();

public slots:
    void slots_sendModbusData(ModbusAddr modbusAddr);
    void slots_sendCustomModbusData(QByteArray data);
    void slots_devStatusWorkerStart();
    void slots_devStatusWorkerStop();
    void slots_paramWorkerStart();
    void slots_paramWorkerStop();
    void slots_ddsWorkerStart();
    void slots_ddsWorkerStop();
    void slots_syncDataByteCount(int byteCount, bool bChange);

private slots:
    void paramWork();
    void devStatusWork();
    void ddsWork();

private:
    // Arms a single shot at the next whole UTC second that starts timer, if
    // the poll is still wanted and no later start superseded this one.
    void startAligned(bool& enabled, int& generation, QTimer* timer, int interval);
    QDateTime nowUtc() const;

    int devStatusInterval = 1000; // ms
    int paramInterval = 1000;     // ms

    // Stored frames as upper-case hex text; the 1000 samples/s pair is the
    // initial stream start/stop.
    QString addr30000Frame;
    QString ddsDataFrame;
    QString restartFrame;
    QString retrackFrame;
    QString statusFrame;
    QString paramFrame;
    QString addr40230Frame;
    QString ddsStartFrame;
    QString ddsEndFrame;
    QString ddsStart200;
    QString ddsEnd200;
    QString ddsStart500;
    QString ddsEnd500;
    QString ddsStart20;
    QString ddsEnd20;
    QString ddsStart10;
    QString ddsEnd10;
    QString identityFrame;

    QMap<int, QString> frameMap;

    QTimer* devStatusTimer = nullptr;
    QTimer* ddsTimer = nullptr;
    QTimer* paramTimer = nullptr;
    bool devStatusEnabled = false;
    bool paramEnabled = false;

    int devStatusGeneration = 0;
    int paramGeneration = 0;
    Clock clock;
};
