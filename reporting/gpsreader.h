#pragma once
// The GPS receiver's serial port (NMEA 0183, read-only): splits what arrives
// into lines and emits every accepted fix. Created on the GPS thread by
// GPSThread, and the port with it, so that both live there.

#include "reporting/nmeaparser.h"

#include <QDateTime>
#include <QObject>
#include <QSerialPort>
#include <QString>

class GpsReader : public QObject
{
    Q_OBJECT
public:
    // What the reader has seen since the port was last opened.
    struct Counters {
        int fixes = 0;
        int badChecksum = 0;
        int invalidFix = 0;
        int outOfRange = 0;
        int overlongLines = 0;
        int suppressedErrors = 0; // port errors after the one that closed it
    };

    explicit GpsReader(QObject* parent = nullptr);
    ~GpsReader() override;

    void setPortParameters(const QString& portName, int baudRate);
    bool openPort();
    void closePort();

    void parseSentence(const QString& line, GpsData& data);
    double nmeaToDegrees(const QString& value, const QString& hemisphere);
    QDateTime nmeaToDateTime(const QString& hhmmss, const QString& ddmmyy);

    bool isOpen() const { return m_serial.isOpen(); }
    QString portName() const { return m_serial.portName(); }
    Counters counters() const { return m_counters; }

signals:
    void portOpened(bool opened);
    void newGpsData(double latitude, double longitude, double altitude, int satellites);
    void rawNmeaDataReceived(QString data);

public slots:
    void readData();
    void handleError(QSerialPort::SerialPortError error);

private:
    void takeResult(const NmeaResult& result);
    enum Rejection { Checksum = 1, Invalid = 2, Range = 4, Overlong = 8 };
    void noteRejected(Rejection kind, const QString& reason, const QString& what);

    QSerialPort m_serial;
    NmeaFixReader m_nmea;
    Counters m_counters;
    int m_overlongSeen = 0;
    // Each kind of rejected line is logged once until a fix comes through;
    // a receiver without a fix repeats its invalid sentences every second.
    int m_loggedKinds = 0; // Rejection bits
    // A vanished port reports errors in a tight loop until it is closed.
    bool m_closeQueued = false;
};
