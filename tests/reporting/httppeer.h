#pragma once
// The scripted HTTP server of tests/peers/http_peer.py, run with the system
// Python on 127.0.0.1 and stopped by its PID. Every request it received is
// one JSON object (its "REQ" line): path, headers, the body as parsed by
// Python's json.loads, the multipart parts as split by Python's email package.

#include "peers/peerprocess.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QTemporaryDir>

class HttpPeer
{
public:
    // The prefix of every request path, after the host.
    static const QString kPrefix; // "/monitor-server"

    struct Rule {
        QString path; // below kPrefix, e.g. "/api/v1/device/heartbeat"
        int status = 200;
        QByteArray body;                          // sent as it is
        QString action = QStringLiteral("reply"); // reply, hang, close, hold (until release)
        int delayMs = 0;
        int count = -1;      // -1 = every request after the counted rules
        int readChunk = 0;   // read the request body in pieces of this size
        int readPauseMs = 0; // ... with this pause between them
        QString contentType = QStringLiteral("application/json");
    };

    HttpPeer();
    ~HttpPeer();

    // Starts the server on port (0 = ephemeral); true once it listens.
    bool start(int port = 0);
    void stop();
    bool isRunning() { return m_proc.isRunning(); }
    int port() const { return m_port; }
    // The client's base address for this server.
    QString baseUrl() const;
    QString saveDir() const { return m_saveDir.path(); }
    QString errorString() const { return m_error; }

    bool route(const Rule& rule);
    // Shorthands: a JSON reply of status, body for path.
    bool route(const QString& path, int status, const QByteArray& body, int count = -1);
    bool clear();
    // Lets one request held by a "hold" rule of path be answered.
    bool release(const QString& path);

    // Every request received so far, oldest first; with a path (below
    // kPrefix), only those.
    QList<QJsonObject> requests();
    QList<QJsonObject> requests(const QString& path);
    // Waits (bounded) until at least n requests to path arrived.
    bool waitForRequests(const QString& path, int n, int timeoutMs = 5000);

private:
    PeerProcess m_proc;
    QTemporaryDir m_saveDir;
    int m_port = 0;
    QString m_error;
    QList<QJsonObject> m_requests; // parsed REQ lines
    int m_linesSeen = 0;           // stdout lines looked at so far
};

// A port on 127.0.0.1 on which nothing listens (bound, then released).
int closedLoopbackPort();
