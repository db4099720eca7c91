#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A connected pair of pseudo-terminals made by socat, in a fresh temporary
// folder. One end is for the program under test, the other for a peer;
// bytes written to one come out of the other. socat is stopped by its PID
// when the pair goes out of scope.
class PtyPair
{
public:
    // Starts socat and waits at most timeoutMs for both ends to exist.
    explicit PtyPair(int timeoutMs = 5000);
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isReady() const { return m_ready; }
    QString errorString() const { return m_error; }

    QString linkEnd() const; // for the program under test (QSerialPort)
    QString peerEnd() const; // for the peer process
    QString dir() const;     // the temporary folder, for logs and dumps
    QString filePath(const QString &name) const;

    qint64 pid() const;
    bool isRunning() const;
    // Stops socat (SIGTERM, then SIGKILL), waiting at most timeoutMs.
    void stop(int timeoutMs = 2000);
    // Stops socat and starts a new one with ends of the same names (a cable
    // pulled and plugged in again); the pty devices behind them are new.
    // False when the new pair is not ready within timeoutMs.
    bool restart(int timeoutMs = 5000);

private:
    void start(int timeoutMs);

    QTemporaryDir m_dir;
    QProcess m_socat;
    bool m_ready = false;
    QString m_error;
};
