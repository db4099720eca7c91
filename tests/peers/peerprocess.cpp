#include "peers/peerprocess.h"

#include <QDeadlineTimer>
#include <QFile>

#ifndef TERVAL_PEERS_DIR
#error "TERVAL_PEERS_DIR must name the folder of the peer programs"
#endif

PeerProcess::~PeerProcess()
{
    stop();
}

QString PeerProcess::programPath(const QString &name)
{
    return QStringLiteral(TERVAL_PEERS_DIR "/") + name;
}

bool PeerProcess::start(const QString &program, const QStringList &args, int timeoutMs)
{
    m_error.clear();
    m_partial.clear();
    m_lines.clear();
    m_cursor = 0;
    m_answerCursor = 0;
    m_proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_proc.start(program, args);
    if (!m_proc.waitForStarted(timeoutMs)) {
        m_error = QStringLiteral("%1 did not start: %2").arg(program, m_proc.errorString());
        return false;
    }
    if (!waitForLine(QStringLiteral("READY"), timeoutMs)) {
        m_error = isRunning() ? QStringLiteral("%1 not ready within %2 ms").arg(program).arg(timeoutMs)
                              : QStringLiteral("%1 exited with code %2 before it was ready")
                                    .arg(program).arg(m_proc.exitCode());
        stop();
        return false;
    }
    return true;
}

void PeerProcess::drain()
{
    m_partial += m_proc.readAllStandardOutput();
    int nl;
    while ((nl = m_partial.indexOf('\n')) >= 0) {
        m_lines << QString::fromLocal8Bit(m_partial.left(nl)).trimmed();
        m_partial.remove(0, nl + 1);
    }
}

bool PeerProcess::waitFor(const std::function<bool(const QString &)> &match, int &cursor,
                          int timeoutMs, QString *line)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        drain();
        for (; cursor < m_lines.size(); ++cursor) {
            if (match(m_lines.at(cursor))) {
                if (line)
                    *line = m_lines.at(cursor);
                ++cursor;
                return true;
            }
        }
        if (m_proc.state() == QProcess::NotRunning) {
            if (!m_proc.atEnd())
                continue; // last words still buffered
            return false;
        }
        if (deadline.hasExpired())
            return false;
        m_proc.waitForReadyRead(int(qBound<qint64>(1, deadline.remainingTime(), 50)));
    }
}

bool PeerProcess::waitForLine(const QString &prefix, int timeoutMs, QString *line)
{
    return waitFor([&](const QString &l) { return l.startsWith(prefix); }, m_cursor, timeoutMs, line);
}

bool PeerProcess::command(const QString &line, int timeoutMs)
{
    if (!isRunning()) {
        m_error = QStringLiteral("peer not running");
        return false;
    }
    m_proc.write(line.toLocal8Bit() + '\n');
    m_proc.waitForBytesWritten(timeoutMs);
    // Answers come in order, so the first ok/error after the previous
    // answer is ours; event lines in between are left for waitForLine.
    const QString ok = QLatin1String("ok ") + line;
    QString got;
    if (waitFor([&](const QString &l) { return l == ok || l.startsWith(QLatin1String("error")); },
                m_answerCursor, timeoutMs, &got)) {
        if (got == ok)
            return true;
        m_error = got;
        return false;
    }
    m_error = QStringLiteral("no answer to '%1'").arg(line);
    return false;
}

QStringList PeerProcess::lines()
{
    drain();
    return m_lines;
}

bool PeerProcess::waitForExit(int timeoutMs)
{
    if (m_proc.state() == QProcess::NotRunning)
        return true;
    return m_proc.waitForFinished(timeoutMs);
}

bool PeerProcess::stop(int timeoutMs)
{
    if (m_proc.state() != QProcess::NotRunning) {
        m_proc.terminate();
        if (!m_proc.waitForFinished(timeoutMs)) {
            m_proc.kill();
            m_proc.waitForFinished(timeoutMs);
            return false;
        }
    }
    drain();
    return m_proc.exitStatus() == QProcess::NormalExit && m_proc.exitCode() == 0;
}

void PeerProcess::kill(int timeoutMs)
{
    if (m_proc.state() == QProcess::NotRunning)
        return;
    m_proc.kill();
    m_proc.waitForFinished(timeoutMs);
}

namespace peers {

quint16 crc16(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

QByteArray withCrc(const QByteArray &bytes)
{
    const quint16 c = crc16(bytes);
    return bytes + char(c & 0xFF) + char(c >> 8);
}

bool crcOk(const QByteArray &frame)
{
    return frame.size() >= 3 && withCrc(frame.left(frame.size() - 2)) == frame;
}

QMap<int, int> readDump(const QString &path)
{
    QMap<int, int> regs;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return regs;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        const int eq = line.indexOf('=');
        if (eq > 0)
            regs.insert(line.left(eq).toInt(), line.mid(eq + 1).toInt());
    }
    return regs;
}

QStringList readLog(const QString &path)
{
    QStringList out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return out;
    while (!f.atEnd()) {
        const QString line = QString::fromLatin1(f.readLine()).trimmed();
        if (!line.isEmpty())
            out << line;
    }
    return out;
}

} // namespace peers
