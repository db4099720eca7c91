#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

// Runs one test peer (sim_instrument, modbus_peer) as a child process.
// stdout is read line by line (the peers print "READY <device>", events and
// the answers to control commands); stderr goes to the test's own stderr.
// Every wait is bounded; the destructor stops the process by its PID.
class PeerProcess
{
public:
    PeerProcess() = default;
    ~PeerProcess();
    PeerProcess(const PeerProcess &) = delete;
    PeerProcess &operator=(const PeerProcess &) = delete;

    // Full path of a peer program built next to the tests ("sim_instrument").
    static QString programPath(const QString &name);

    // Starts the program and waits at most timeoutMs for its "READY" line.
    bool start(const QString &program, const QStringList &args, int timeoutMs = 5000);
    // Writes one control line to stdin and waits for "ok <line>";
    // false on "error ..." or time-out.
    bool command(const QString &line, int timeoutMs = 3000);
    // Waits for a stdout line that starts with prefix, searching from the
    // line after the previous match. The whole line goes to *line.
    bool waitForLine(const QString &prefix, int timeoutMs, QString *line = nullptr);
    QStringList lines(); // every stdout line so far

    // SIGTERM, bounded wait, then SIGKILL. True when it exited with code 0.
    bool stop(int timeoutMs = 3000);
    // SIGKILL at once (the far end vanishes without a goodbye).
    void kill(int timeoutMs = 3000);
    bool waitForExit(int timeoutMs);

    qint64 pid() const { return m_proc.processId(); }
    bool isRunning() const { return m_proc.state() != QProcess::NotRunning; }
    int exitCode() const { return m_proc.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return m_proc.exitStatus(); }
    QString errorString() const { return m_error; }

private:
    void drain();
    bool waitFor(const std::function<bool(const QString &)> &match, int &cursor, int timeoutMs,
                 QString *line);

    QProcess m_proc;
    QByteArray m_partial;
    QStringList m_lines;
    int m_cursor = 0;       // waitForLine
    int m_answerCursor = 0; // command
    QString m_error;
};

namespace peers {

// CRC-16/MODBUS written independently of the application's code.
quint16 crc16(const QByteArray &bytes);
// bytes followed by their CRC, low byte first.
QByteArray withCrc(const QByteArray &bytes);
// True when the last two bytes are the CRC of the ones before.
bool crcOk(const QByteArray &frame);
// "REG=VAL" lines of a peer's --dump file (missing file: empty map).
QMap<int, int> readDump(const QString &path);
// Lines of a peer's --log file (hex of each received frame, "junk ..." lines).
QStringList readLog(const QString &path);

} // namespace peers
