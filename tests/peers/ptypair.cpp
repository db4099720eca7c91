#include "peers/ptypair.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>

#ifndef TERVAL_SOCAT
#define TERVAL_SOCAT "socat"
#endif

PtyPair::PtyPair(int timeoutMs)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("cannot create a temporary folder: %1").arg(m_dir.errorString());
        return;
    }
    start(timeoutMs);
}

bool PtyPair::restart(int timeoutMs)
{
    stop();
    if (!m_dir.isValid())
        return false;
    start(timeoutMs);
    return m_ready;
}

void PtyPair::start(int timeoutMs)
{
    m_ready = false;
    m_error.clear();
    // Ends left behind by a socat that was killed would hide the new ones.
    QFile::remove(linkEnd());
    QFile::remove(peerEnd());
    QFile::remove(filePath(QStringLiteral("socat.log")));
    const QStringList args{
        QStringLiteral("-d"), QStringLiteral("-d"),
        QStringLiteral("pty,raw,echo=0,link=%1").arg(linkEnd()),
        QStringLiteral("pty,raw,echo=0,link=%1").arg(peerEnd()),
    };
    // socat's log goes to a file beside the ends: nothing has to drain it,
    // and it is there to read when a test fails.
    m_socat.setStandardOutputFile(QProcess::nullDevice());
    m_socat.setStandardErrorFile(filePath(QStringLiteral("socat.log")));
    m_socat.start(QStringLiteral(TERVAL_SOCAT), args);
    QDeadlineTimer deadline(timeoutMs);
    if (!m_socat.waitForStarted(int(qMax<qint64>(1, deadline.remainingTime())))) {
        m_error = QStringLiteral("socat did not start: %1").arg(m_socat.errorString());
        return;
    }
    // socat says so once both ends exist and it moves bytes.
    QByteArray log;
    bool looping = false;
    for (;;) {
        QFile logFile(filePath(QStringLiteral("socat.log")));
        if (logFile.open(QIODevice::ReadOnly))
            log = logFile.readAll();
        looping = looping || log.contains("starting data transfer loop");
        if (looping && QFileInfo::exists(linkEnd()) && QFileInfo::exists(peerEnd())) {
            m_ready = true;
            return;
        }
        if (m_socat.state() == QProcess::NotRunning) {
            m_error = QStringLiteral("socat exited: %1").arg(QString::fromLocal8Bit(log).trimmed());
            return;
        }
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("socat pair not ready within %1 ms: %2")
                          .arg(timeoutMs).arg(QString::fromLocal8Bit(log).trimmed());
            stop();
            return;
        }
        m_socat.waitForFinished(int(qBound<qint64>(1, deadline.remainingTime(), 20)));
    }
}

PtyPair::~PtyPair()
{
    stop();
}

QString PtyPair::linkEnd() const
{
    return m_dir.filePath(QStringLiteral("link"));
}

QString PtyPair::peerEnd() const
{
    return m_dir.filePath(QStringLiteral("peer"));
}

QString PtyPair::dir() const
{
    return m_dir.path();
}

QString PtyPair::filePath(const QString &name) const
{
    return m_dir.filePath(name);
}

qint64 PtyPair::pid() const
{
    return m_socat.processId();
}

bool PtyPair::isRunning() const
{
    return m_socat.state() != QProcess::NotRunning;
}

void PtyPair::stop(int timeoutMs)
{
    if (m_socat.state() == QProcess::NotRunning)
        return;
    m_socat.terminate();
    if (!m_socat.waitForFinished(timeoutMs)) {
        m_socat.kill();
        m_socat.waitForFinished(timeoutMs);
    }
}
