#pragma once
// Records of the monitoring-server client: the state of the connection, the
// kind of each request in flight and the record kept for it, which doubles
// as the batch waiting for the offline spool.

#include "core/types.h"

#include <QString>
#include <QVector>

class QFile;

enum ServerState {
    Unregistered = 0, // no device identity yet; each cycle registers
    Registered = 1,   // identity known, not confirmed; each cycle sends a heartbeat
    Online = 2,       // identity confirmed; data and status reports are posted
    Disabled = 3      // identity unusable; nothing is sent, incoming data is dropped
};

enum ServerRequestType {
    Register = 0,
    ScalarData = 1,
    VectorData = 2,
    Heartbeat = 3,
    StatusReport = 4,
    FileUpload = 5
};

struct ServerUploadRecord {
    int type = Register;       // ServerRequestType
    QString filePath;          // spool file being uploaded (FileUpload)
    QFile* file = nullptr;     // that file, open while it is sent (FileUpload)
    qint64 timestamp = -1;     // first sample, ms since the epoch (UTC)
    QVector<double> values;    // scalar samples, nT
    QVector<XYZST> vectors;    // vector records
    int samplingRate = -1;     // samples per second; -1 marks an empty spool batch
    qint64 lastTimestamp = -1; // last batch joined (spool batch only)
    int intervalMs = -1;       // ms between samples
    // Status report: the position it carries. Its confirmation clears the
    // client's position only while that is still the one sent, so that a
    // fix arriving while the report is in flight is reported too.
    double latitude = 0;
    double longitude = 0;
    double altitude = 0;
};
