#pragma once
// The GPS worker, on a thread of its own: creates the reader (and with it
// the GPS port) when the server client starts it, and passes at most one fix
// per hour on to the server client.

#include "core/replaceableclock.h"

#include <QObject>
#include <QString>

#include <functional>

class GpsReader;
class QThread;

class GPSThread : public QObject
{
    Q_OBJECT
public:
    // UTC seconds since the epoch.
    using Clock = std::function<qint64()>;

    static constexpr int kBaudRate = 4800;
    static constexpr qint64 kSendIntervalSecs = 3600;

    explicit GPSThread(const QString& portName, QObject* parent = nullptr);
    ~GPSThread() override;

    // Replaces the wall clock of the throttle; safe from any thread.
    void setClock(Clock clock);
    // Closes the port and deletes the reader on the GPS thread, then ends the
    // thread and waits for it. Not from the GPS thread; safe to call twice.
    void stop();

    // For tests and diagnostics, from any thread but the GPS thread.
    GpsReader* reader() const;
    bool isPortOpen() const;
    QString portName() const { return m_portName; }

signals:
    void portOpened(bool opened);
    void newGpsData(double latitude, double longitude, double altitude, int satellites);

public slots:
    void slot_begin();
    void slot_GPSData(double latitude, double longitude, double altitude, int satellites);

private:
    qint64 now() const;

    QThread* workerThread = nullptr;
    GpsReader* gpsReader = nullptr;
    QString m_portName;

    // Touched only on the GPS thread. One worker exists per run, so these
    // last the whole run.
    bool readerCreated = true;  // the reader is still to be created
    qint64 nextGpsSendTime = 0; // UTC seconds; the next fix passes only after it

    ReplaceableClock clock;
};
