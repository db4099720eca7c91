#pragma once
// The monitoring-server client, on a thread of its own. It registers the
// device once and keeps the identity the server assigns in "server.ini",
// sends a heartbeat every 30 s, reports the GPS position when a fix is known
// and posts every second of samples the recording worker hands it. What
// cannot be delivered is joined into an offline spool ("ServerData<n>.txt"
// in the logs folder, a ring of six files of 10 MiB) and uploaded later as a
// multipart form, one file at a time.

#include "core/types.h"
#include "reporting/serveruploadrecord.h"

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QThread;
class QTimer;

class ServerThread : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>; // returns UTC

    explicit ServerThread(QObject* parent = nullptr);
    ~ServerThread() override;

    // Seams for tests, set before slot_init runs: the base address (default
    // the built-in one), the cycle (default 30000 ms), the request time-out
    // (default 30000 ms) and the clock of the upload times.
    void setBaseUrl(const QString& url) { m_baseUrl = url; }
    void setCycleIntervalMs(int ms) { m_cycleMs = ms; }
    void setRequestTimeoutMs(int ms) { m_requestTimeoutMs = ms; }
    void setClock(Clock clock) { m_clock = std::move(clock); }

    // What the client's thread holds, read there (blocking) for tests.
    struct Snapshot {
        int state = Unregistered;
        QString guid;
        int pending = 0;        // requests in flight
        bool uploading = false; // a spool file is in flight
        bool timerActive = false;
        int spoolFileNumber = 0;
        QDateTime nextUpload;
        qint64 batchTimestamp = -1;
        int batchValues = 0;
        int batchRate = -1;
        int heldValues = 0; // samples waiting for the upload of the current file to end
        double latitude = 0, longitude = 0, altitude = 0;
        int satellites = 0;
    };
    Snapshot snapshot();

    // Aborts what is in flight (each takes its failure path), releases the
    // network objects and ends the thread; later calls are ignored. Call
    // from another thread (tests); the application never stops the client.
    void shutdown();

signals:
    void sig_beginGPS();

public slots:
    void slot_init();
    void finishedSlot(QNetworkReply* reply);
    void slot_SendServerScalarData(qlonglong timestamp, QVector<double> save_data, int data_frequency, int intervalMs);
    void slot_SendServerVectorData(qlonglong timestamp, QVector<XYZST> save_data, int data_frequency, int intervalMs);
    void handleTimeout();
    void slot_GPSData1(double latitude, double longitude, double altitude, int satellites);

private:
    void sendRegister();
    void sendHeartbeat();
    void sendStatusReport();
    // A batch of samples (the record holds its kind and values): posted
    // while online, spooled until the device's identity is confirmed.
    void sendSamples(ServerUploadRecord& record, qint64 timestamp, int rate, int intervalMs);
    QNetworkReply* postJson(const QString& path, const QByteArray& body, const ServerUploadRecord& record);
    void track(QNetworkReply* reply, const ServerUploadRecord& record, bool transferTimeout);
    void handleResponse(const QString& text, ServerUploadRecord& record, bool statusOk);
    void failureAction(const ServerUploadRecord& record);
    void disable();
    void stopTimer();

    // The offline spool.
    void spoolSamples(const ServerUploadRecord& record);
    void spoolScalarData(qint64 timestamp, QVector<double> values, int rate, int intervalMs);
    void spoolVectorData(qint64 timestamp, QVector<XYZST> vectors, int rate, int intervalMs);
    void flushScalarToSpool();
    void updateSpoolFileNumber(bool first);
    QString findSpoolFile();
    bool uploadNextSpoolFile();
    bool uploadFile(QString filePath, QString deviceId);
    bool appendLineToFile(QString path, QString text);
    bool deleteFile(QString path);
    QDateTime randomRetryTime();
    void capSpoolBatch();
    bool writeSpoolLine(const ServerUploadRecord& batch);
    bool holdForUpload();
    bool writeHeldLines();
    void capHeldLines();
    QVector<int> spoolNumbers() const;
    QString spoolPath(int number) const;
    QString uploadingPath() const;

    QDateTime nowUtc() const;

    QThread* workerThread = nullptr;
    QTimer* timer = nullptr;
    int state = Unregistered;
    QString guid;
    QNetworkAccessManager* networkManager = nullptr;
    QMap<QNetworkReply*, ServerUploadRecord> pendingRequests;
    QString iniPath;
    QString deviceType;
    ServerUploadRecord spoolBatch;
    int spoolFileNumber = 0;
    QDateTime nextUpload;
    double latitude = 0;
    double longitude = 0;
    double altitude = 0;
    int satellites = 0;

    // Writes of the spool are failing: the batch is capped and every join
    // tries again; counts what the cap dropped.
    bool m_spoolWriteFailing = false;
    qint64 m_spoolDropped = 0;
    // Lines for the current file while it is being uploaded and the ring
    // has no room beside it, oldest first; written when the upload ends.
    QVector<ServerUploadRecord> m_heldForUpload;
    qint64 m_heldDropped = 0;
    bool m_holdReported = false;

    QString m_baseUrl;
    int m_cycleMs = 30000;
    int m_requestTimeoutMs = 30000;
    Clock m_clock;
    bool m_initialised = false;
    bool m_stopped = false;
};
