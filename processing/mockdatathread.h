#pragma once
// Replay source: loads frequency samples (mHz) from a text file and sends
// them in chunks at a fixed pace in place of the instrument's stream, looping
// over the file until stopped. Runs on a thread of its own.

#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>

class QThread;
class QTimer;

class MockDataThread : public QObject
{
    Q_OBJECT
public:
    // Send pace of a replay: 50 values per send make 1000 per second, one
    // per send the 20 per second of the 20 Hz rate, as the instrument does.
    static constexpr int kSendIntervalMs = 50;

    explicit MockDataThread(QObject* parent = nullptr);
    ~MockDataThread() override;

    // Reads the second comma-separated field of every line; lines without
    // one, or whose field is no finite number (a header, say), are skipped.
    bool loadCsv(const QString& path);
    // Safe from any thread; a chunk being built uses the old or the new count.
    void setPointsPerSend(int n);

    // For tests and diagnostics, safe from any thread.
    int pointsPerSendNow() const { return pointsPerSend.load(); }
    int intervalMs() const;
    bool isSending() const;
    QVector<double> values() const;
    // Stops the timer, ends the thread and waits for it; afterwards the
    // object may be deleted from the calling thread. Not from the replay
    // thread itself.
    void stop();

signals:
    void dataSent(QVector<double> data);
    void errorOccurred(QString message);
    void startTimerRequested(int intervalMs);
    void stopTimerRequested();

public slots:
    void startSendingData(int intervalMs);
    void stopSendingData();
    void handleStartTimer(int intervalMs);
    void handleStopTimer();
    void sendNextData();

private:
    template <typename F>
    void runOnWorker(F&& f) const;

    QThread* workerThread = nullptr;
    QTimer* sendTimer = nullptr;
    QVector<double> data;
    int index = 0;
    // Written by the GUI thread while the replay thread reads it.
    std::atomic<int> pointsPerSend{1};
};
