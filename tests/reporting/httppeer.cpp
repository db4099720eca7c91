#include "reporting/httppeer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTest>

const QString HttpPeer::kPrefix = QStringLiteral("/monitor-server");

HttpPeer::HttpPeer() = default;

HttpPeer::~HttpPeer()
{
    stop();
}

bool HttpPeer::start(int port)
{
    m_requests.clear();
    m_linesSeen = 0;
    const QString script = qEnvironmentVariable("TERVAL_SOURCE_DIR") + QStringLiteral("/tests/peers/http_peer.py");
    QStringList args{script, QStringLiteral("--save-dir"), m_saveDir.path()};
    if (port > 0)
        args << QStringLiteral("--port") << QString::number(port);
    if (!m_proc.start(QStringLiteral("/usr/bin/python3"), args, 10000)) {
        m_error = m_proc.errorString();
        return false;
    }
    QString ready;
    const QStringList lines = m_proc.lines();
    for (const QString& l : lines)
        if (l.startsWith(QLatin1String("READY ")))
            ready = l;
    m_port = ready.mid(6).toInt();
    return m_port > 0;
}

void HttpPeer::stop()
{
    m_proc.stop(3000);
}

QString HttpPeer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port) + kPrefix;
}

bool HttpPeer::route(const Rule& rule)
{
    QJsonObject o;
    o[QStringLiteral("path")] = kPrefix + rule.path;
    o[QStringLiteral("status")] = rule.status;
    o[QStringLiteral("body_hex")] = QString::fromLatin1(rule.body.toHex());
    o[QStringLiteral("action")] = rule.action;
    o[QStringLiteral("delay_ms")] = rule.delayMs;
    o[QStringLiteral("count")] = rule.count;
    o[QStringLiteral("read_chunk")] = rule.readChunk;
    o[QStringLiteral("read_pause_ms")] = rule.readPauseMs;
    o[QStringLiteral("content_type")] = rule.contentType;
    const QString line = QStringLiteral("route ") + QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
    if (!m_proc.command(line)) {
        m_error = m_proc.errorString();
        return false;
    }
    return true;
}

bool HttpPeer::route(const QString& path, int status, const QByteArray& body, int count)
{
    Rule rule;
    rule.path = path;
    rule.status = status;
    rule.body = body;
    rule.count = count;
    return route(rule);
}

bool HttpPeer::clear()
{
    return m_proc.command(QStringLiteral("clear"));
}

bool HttpPeer::release(const QString& path)
{
    if (!m_proc.command(QStringLiteral("release ") + kPrefix + path)) {
        m_error = m_proc.errorString();
        return false;
    }
    return true;
}

QList<QJsonObject> HttpPeer::requests()
{
    // The server prints a request before it answers, so once the client
    // has an answer the line is in the pipe: one pass of the event loop
    // brings it in.
    QCoreApplication::processEvents();
    const QStringList lines = m_proc.lines();
    for (; m_linesSeen < lines.size(); ++m_linesSeen) {
        const QString& l = lines.at(m_linesSeen);
        if (l.startsWith(QLatin1String("REQ ")))
            m_requests << QJsonDocument::fromJson(l.mid(4).toUtf8()).object();
    }
    return m_requests;
}

QList<QJsonObject> HttpPeer::requests(const QString& path)
{
    QList<QJsonObject> out;
    const QList<QJsonObject> all = requests();
    for (const QJsonObject& o : all)
        if (o.value(QStringLiteral("path")).toString() == kPrefix + path)
            out << o;
    return out;
}

bool HttpPeer::waitForRequests(const QString& path, int n, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (requests(path).size() < n) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}

int closedLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const int port = probe.serverPort();
    probe.close();
    return port;
}
