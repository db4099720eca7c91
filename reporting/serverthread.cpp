#include "reporting/serverthread.h"

#include "core/appfolders.h"
#include "reporting/serveridentity.h"
#include "reporting/serverprotocol.h"
#include "reporting/serverspool.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator64>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace
{

constexpr qint64 kNoFileRetrySecs = 600;       // look for a spool file again
constexpr qint64 kUploadInFlightSecs = 600000; // until the upload's reply sets the time
constexpr qint64 kAfterUploadSecs = 120;       // next file after a confirmed upload
constexpr int kRetryBaseSecs = 540;            // failed upload: 540 to 659 s later
constexpr int kRetrySpreadSecs = 120;

} // namespace

ServerThread::ServerThread(QObject* parent) : QObject(parent), m_baseUrl(ServerProtocol::defaultServerUrl())
{
    workerThread = new QThread(this);
    moveToThread(workerThread);
    workerThread->start(QThread::InheritPriority);
}

ServerThread::~ServerThread()
{
    shutdown();
}

void ServerThread::shutdown()
{
    if (m_stopped)
        return;
    auto release = [this]() {
        // abort() finishes each reply at once, so its failure action runs
        // (data to the spool) before the manager goes.
        const QList<QNetworkReply*> replies = pendingRequests.keys();
        for (QNetworkReply* reply : replies)
            if (pendingRequests.contains(reply))
                reply->abort();
        pendingRequests.clear();
        delete timer;
        timer = nullptr;
        delete networkManager;
        networkManager = nullptr;
    };
    if (workerThread->isRunning() && QThread::currentThread() != workerThread)
        QMetaObject::invokeMethod(this, release, Qt::BlockingQueuedConnection);
    else
        release();
    m_stopped = true;
    workerThread->quit();
    workerThread->wait();
}

ServerThread::Snapshot ServerThread::snapshot()
{
    Snapshot s;
    auto fill = [this, &s]() {
        s.state = state;
        s.guid = guid;
        s.pending = pendingRequests.size();
        s.uploading = !uploadingPath().isEmpty();
        s.timerActive = timer && timer->isActive();
        s.spoolFileNumber = spoolFileNumber;
        s.nextUpload = nextUpload;
        s.batchTimestamp = spoolBatch.timestamp;
        s.batchValues = spoolBatch.values.size();
        s.batchRate = spoolBatch.samplingRate;
        for (const ServerUploadRecord& held : qAsConst(m_heldForUpload))
            s.heldValues += held.values.size();
        s.latitude = latitude;
        s.longitude = longitude;
        s.altitude = altitude;
        s.satellites = satellites;
    };
    if (!m_stopped && workerThread->isRunning() && QThread::currentThread() != workerThread)
        QMetaObject::invokeMethod(this, fill, Qt::BlockingQueuedConnection);
    else
        fill();
    return s;
}

QDateTime ServerThread::nowUtc() const
{
    return m_clock ? m_clock().toUTC() : QDateTime::currentDateTimeUtc();
}

void ServerThread::slot_init()
{
    if (m_initialised) {
        qDebug() << "Server client already started; the second start is ignored";
        return;
    }
    m_initialised = true;

    if (DeviceCodeMap.contains(0)) {
        deviceType = DeviceCodeMap.value(0);
    } else {
        deviceType = QStringLiteral("RQ");
        qDebug() << "20250819 类型出错";
    }

    const QString folder = AppFolders::logsDir();
    if (!QDir(folder).exists()) {
        if (QDir().mkpath(folder))
            qDebug() << "成功创建 logs 文件夹";
        else
            qDebug() << "Failed to create folder" << folder;
    }
    iniPath = folder + QStringLiteral("/server.ini");

    networkManager = new QNetworkAccessManager();
    connect(networkManager, SIGNAL(finished(QNetworkReply*)), this, SLOT(finishedSlot(QNetworkReply*)));

    guid = ServerIdentity::read(iniPath);
    state = ServerIdentity::startState(guid);
    if (state == Registered) {
        sendHeartbeat();
    } else if (state == Unregistered) {
        sendRegister();
    } else {
        qDebug() << "server.ini holds a GUID of" << guid.size() << "characters, not" << ServerProtocol::kGuidLength
                 << "- the server client stays off";
        return;
    }

    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &ServerThread::handleTimeout);
    timer->start(m_cycleMs);

    nextUpload = nowUtc();
    updateSpoolFileNumber(true);
    emit sig_beginGPS();
}

void ServerThread::handleTimeout()
{
    switch (state) {
    case Unregistered:
        sendRegister();
        break;
    case Registered:
        sendHeartbeat();
        break;
    case Online: {
        sendHeartbeat();
        sendStatusReport();
        flushScalarToSpool();
        const QDateTime now = nowUtc();
        if (now < nextUpload)
            break;
        if (!uploadingPath().isEmpty()) {
            qDebug() << "A spool file is still being uploaded; the next one waits";
            break;
        }
        qDebug() << "sendUnsetFile -----";
        // Until the reply sets the next time; a tick that sent nothing looks
        // again in ten minutes.
        nextUpload = now.addSecs(uploadNextSpoolFile() ? kUploadInFlightSecs : kNoFileRetrySecs);
        break;
    }
    default:
        break;
    }
}

void ServerThread::slot_SendServerScalarData(qlonglong timestamp, QVector<double> save_data, int data_frequency,
                                             int intervalMs)
{
    ServerUploadRecord record;
    record.type = ScalarData;
    record.values = save_data;
    sendSamples(record, timestamp, data_frequency, intervalMs);
}

void ServerThread::slot_SendServerVectorData(qlonglong timestamp, QVector<XYZST> save_data, int data_frequency,
                                             int intervalMs)
{
    ServerUploadRecord record;
    record.type = VectorData;
    record.vectors = save_data;
    sendSamples(record, timestamp, data_frequency, intervalMs);
}

void ServerThread::sendSamples(ServerUploadRecord& record, qint64 timestamp, int rate, int intervalMs)
{
    if (rate <= 0) {
        qDebug() << "Server batch dropped: sampling rate" << rate << "is not positive";
        return;
    }
    record.timestamp = timestamp;
    record.samplingRate = rate;
    record.intervalMs = intervalMs;
    if (state == Online) {
        const QByteArray body =
            record.type == VectorData
                ? ServerProtocol::vectorDataBody(guid, deviceType, timestamp, record.vectors, rate, intervalMs)
                : ServerProtocol::scalarDataBody(guid, deviceType, timestamp, record.values, rate, intervalMs);
        postJson(ServerProtocol::SensorDataPath, body, record);
    } else if (state == Unregistered || state == Registered) {
        qDebug() << "no guid save";
        spoolSamples(record);
    }
}

void ServerThread::spoolSamples(const ServerUploadRecord& record)
{
    if (record.type == VectorData)
        spoolVectorData(record.timestamp, record.vectors, record.samplingRate, record.intervalMs);
    else
        spoolScalarData(record.timestamp, record.values, record.samplingRate, record.intervalMs);
}

void ServerThread::slot_GPSData1(double latitude, double longitude, double altitude, int satellites)
{
    this->latitude = latitude;
    this->longitude = longitude;
    this->altitude = altitude;
    this->satellites = satellites;
}

void ServerThread::sendRegister()
{
    ServerUploadRecord record;
    record.type = Register;
    postJson(ServerProtocol::RegisterPath, ServerProtocol::registerBody(deviceType), record);
}

void ServerThread::sendHeartbeat()
{
    ServerUploadRecord record;
    record.type = Heartbeat;
    postJson(ServerProtocol::HeartbeatPath, ServerProtocol::heartbeatBody(guid), record);
}

void ServerThread::sendStatusReport()
{
    if (state != Online || !(std::fabs(latitude) > 1e-12))
        return;
    const QByteArray body = ServerProtocol::statusReportBody(guid, latitude, longitude, altitude);
    qDebug() << "send GPS:" << body;
    ServerUploadRecord record;
    record.type = StatusReport;
    record.latitude = latitude;
    record.longitude = longitude;
    record.altitude = altitude;
    postJson(ServerProtocol::StatusReportPath, body, record);
}

QNetworkReply* ServerThread::postJson(const QString& path, const QByteArray& body, const ServerUploadRecord& record)
{
    QNetworkRequest request(QUrl(m_baseUrl + path));
    request.setRawHeader("Content-Type", "application/json");
    QNetworkReply* reply = networkManager->post(request, body);
    track(reply, record, false);
    return reply;
}

void ServerThread::track(QNetworkReply* reply, const ServerUploadRecord& record, bool transferTimeout)
{
    pendingRequests.insert(reply, record);
    // A request the server never answers takes its failure path, so nothing
    // waits forever and the requests in flight stay few. A JSON request gets
    // the time-out in all; a spool file, which may take longer on a slow
    // link, gets it without progress.
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    const int ms = m_requestTimeoutMs;
    connect(deadline, &QTimer::timeout, reply, [reply, ms]() {
        if (reply->isFinished())
            return;
        qDebug() << "Server request timed out after" << ms << "ms:" << reply->url().toString();
        reply->abort();
    });
    if (transferTimeout) {
        connect(reply, &QNetworkReply::uploadProgress, deadline, [deadline]() { deadline->start(); });
        connect(reply, &QNetworkReply::downloadProgress, deadline, [deadline]() { deadline->start(); });
    }
    deadline->start(ms);
}

void ServerThread::finishedSlot(QNetworkReply* reply)
{
    const auto it = pendingRequests.constFind(reply);
    if (it == pendingRequests.constEnd())
        return;
    ServerUploadRecord record = it.value();

    if (reply->error() != QNetworkReply::NoError)
        qDebug() << "请求失败，错误信息1:" << reply->errorString();

    bool statusOk = false;
    const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!code.isValid()) {
        qDebug() << "http状态码无效";
    } else {
        const int status = code.toInt();
        if (status == 200) {
            statusOk = true;
        } else {
            if (status == 404)
                qDebug() << "资源未找到";
            else if (status >= 500)
                qDebug() << "服务器错误";
            qDebug() << "HTTP 状态码:" << status;
        }
    }

    bool hadBom = false;
    const QString text = ServerProtocol::replyText(reply->readAll(), &hadBom);
    if (hadBom)
        qDebug() << "statrt BOM";
    if (record.type == FileUpload)
        qDebug() << "请求成功，返回数据:" << text;
    else if (record.type == StatusReport)
        qDebug() << "revc GPS1:" << (statusOk ? "true" : "false");

    handleResponse(text, record, statusOk);

    pendingRequests.remove(reply);
    reply->abort();
    reply->deleteLater();
    if (record.type == FileUpload)
        writeHeldLines(); // whatever the reply, the file is no longer in flight
}

void ServerThread::handleResponse(const QString& text, ServerUploadRecord& record, bool statusOk)
{
    using ServerProtocol::Reply;
    using ServerProtocol::ReplyDecision;
    const Reply reply = ServerProtocol::parseReply(text);
    const ReplyDecision d = ServerProtocol::decideReply(reply, record.type, state, statusOk);
    if (reply.kind == Reply::NotJson)
        qDebug() << "Invalid JSON!";
    else if (reply.kind == Reply::NotObject)
        qDebug() << "jsonDoc is not object!";
    else if (reply.hasMessage)
        qDebug() << "message:" << reply.message;
    if (d.disable)
        disable();

    switch (d.action) {
    case ReplyDecision::Failure:
        failureAction(record);
        break;
    case ReplyDecision::AdoptIdentity:
        guid = reply.data;
        if (!ServerIdentity::write(iniPath, guid))
            qDebug() << "Failed to write the device identity to" << iniPath;
        break;
    case ReplyDecision::RegisterAgain:
        if (!reply.hasData)
            qDebug() << "Registration reply carries no device identity; registering again next cycle";
        else
            qDebug() << "Registration reply carries an identity of" << reply.data.size() << "characters, not"
                     << ServerProtocol::kGuidLength << "; registering again next cycle";
        break;
    case ReplyDecision::ClearPosition:
        // A newer fix that came in meanwhile waits for the next cycle; the
        // GPS worker passes one an hour at most, so it must not be lost.
        if (latitude == record.latitude && longitude == record.longitude && altitude == record.altitude) {
            latitude = 0;
            longitude = 0;
            altitude = 0;
            satellites = 0;
        }
        break;
    case ReplyDecision::DeleteUploaded:
        qDebug() << "send delete";
        if (record.file)
            record.file->close();
        deleteFile(record.filePath);
        nextUpload = nowUtc().addSecs(kAfterUploadSecs);
        break;
    case ReplyDecision::None:
        break;
    }
    if (record.type == StatusReport && d.action != ReplyDecision::Failure)
        qDebug() << "revc GPS2:" << (d.action == ReplyDecision::ClearPosition ? "true" : "false");
    state = d.state;
}

void ServerThread::failureAction(const ServerUploadRecord& record)
{
    switch (record.type) {
    case ScalarData:
    case VectorData:
        qDebug() << "un success save";
        spoolSamples(record);
        break;
    case StatusReport:
        qDebug() << "revc GPS2:"
                 << "false";
        break;
    case FileUpload:
        qDebug() << "send fail";
        nextUpload = randomRetryTime();
        break;
    default:
        break;
    }
}

void ServerThread::disable()
{
    state = Disabled;
    stopTimer();
}

void ServerThread::stopTimer()
{
    // Any number of replies may say the identity is invalid; the timer is
    // stopped and released by the first.
    if (!timer)
        return;
    timer->stop();
    timer->deleteLater();
    timer = nullptr;
}

// ---- offline spool ----

QString ServerThread::spoolPath(int number) const
{
    return AppFolders::logsDir() + QLatin1Char('/') + ServerSpool::fileName(number);
}

QString ServerThread::uploadingPath() const
{
    for (auto it = pendingRequests.constBegin(); it != pendingRequests.constEnd(); ++it)
        if (it.value().type == FileUpload)
            return it.value().filePath;
    return QString();
}

void ServerThread::spoolScalarData(qint64 timestamp, QVector<double> values, int rate, int intervalMs)
{
    using namespace ServerSpool;
    switch (joinAction(spoolBatch, timestamp, rate, kScalarStepMs)) {
    case Join::FlushThenStart:
        flushScalarToSpool();
        if (!spoolBatch.values.isEmpty())
            qDebug() << "Spool batch of" << spoolBatch.values.size()
                     << "samples lost: it could not be written and a new batch begins";
        startBatch(spoolBatch, timestamp, rate, intervalMs);
        spoolBatch.values = values;
        break;
    case Join::Start:
        startBatch(spoolBatch, timestamp, rate, intervalMs);
        spoolBatch.values = values;
        break;
    case Join::Append:
        spoolBatch.values += values;
        spoolBatch.lastTimestamp = timestamp;
        break;
    }
    // While writes fail, every second tries again and the batch is capped.
    if (spoolBatch.values.size() >= kFlushValues || m_spoolWriteFailing)
        flushScalarToSpool();
    if (m_spoolWriteFailing)
        capSpoolBatch();
}

void ServerThread::spoolVectorData(qint64 timestamp, QVector<XYZST> vectors, int rate, int intervalMs)
{
    using namespace ServerSpool;
    switch (joinAction(spoolBatch, timestamp, rate, kVectorStepMs)) {
    case Join::FlushThenStart:
        flushScalarToSpool();
        [[fallthrough]];
    case Join::Start:
        startBatch(spoolBatch, timestamp, rate, intervalMs);
        spoolBatch.vectors = vectors;
        break;
    case Join::Append:
        qDebug() << "成功差值:" << timestamp - spoolBatch.lastTimestamp;
        qDebug() << "lasttimestamp:" << spoolBatch.lastTimestamp;
        spoolBatch.vectors += vectors;
        spoolBatch.lastTimestamp = timestamp;
        break;
    }
    if (spoolBatch.values.size() >= kFlushValues)
        flushScalarToSpool();
    // Vector records are never written to a spool file; a continuous run
    // keeps only its newest ten minutes.
    capBatch(spoolBatch, -1, qMax(rate, 1) * kMemorySeconds);
}

void ServerThread::capSpoolBatch()
{
    const int rate = qMax(spoolBatch.samplingRate, 1);
    const int dropped = ServerSpool::capBatch(spoolBatch, rate * ServerSpool::kMemorySeconds, -1);
    if (dropped <= 0)
        return;
    if (m_spoolDropped == 0)
        qDebug() << "Spool file cannot be written: the newest" << ServerSpool::kMemorySeconds
                 << "s of samples are kept in memory, older ones are dropped";
    m_spoolDropped += dropped;
}

void ServerThread::flushScalarToSpool()
{
    if (spoolBatch.values.isEmpty() && m_heldForUpload.isEmpty())
        return;
    if (holdForUpload()) {
        if (!spoolBatch.values.isEmpty()) {
            ServerUploadRecord held = spoolBatch;
            held.vectors.clear(); // never written to a spool file
            m_heldForUpload.append(held);
            ServerSpool::resetBatch(spoolBatch);
            capHeldLines();
        }
        return;
    }
    // Lines that waited for an upload are older than the batch: first.
    if (!writeHeldLines() || spoolBatch.values.isEmpty())
        return;
    if (writeSpoolLine(spoolBatch))
        ServerSpool::resetBatch(spoolBatch);
}

bool ServerThread::holdForUpload()
{
    // The file in flight must stay as it was sent, so that deleting it after
    // the upload loses nothing; and keeping it so must not cost another file.
    const QString inFlight = uploadingPath();
    if (inFlight.isEmpty() || spoolPath(spoolFileNumber) != inFlight)
        return false;
    const int next = ServerSpool::numberBesideUpload(spoolNumbers(), spoolFileNumber);
    if (next >= 0) {
        qDebug() << "Spool file" << inFlight << "is being uploaded; new lines go to" << ServerSpool::fileName(next);
        spoolFileNumber = next;
        qDebug() << "20250709 fileNum:" << spoolFileNumber;
        return false;
    }
    if (!m_holdReported) {
        m_holdReported = true;
        qDebug() << "Spool file" << inFlight
                 << "is being uploaded and the ring is full: new lines wait in memory until the upload ends";
    }
    return true;
}

void ServerThread::capHeldLines()
{
    const int dropped = ServerSpool::capBatches(m_heldForUpload, ServerSpool::kMemorySeconds);
    if (dropped <= 0)
        return;
    if (m_heldDropped == 0)
        qDebug() << "The upload of" << uploadingPath() << "takes long: the newest" << ServerSpool::kMemorySeconds
                 << "s of samples wait in memory, older ones are dropped";
    m_heldDropped += dropped;
}

bool ServerThread::writeHeldLines()
{
    if (m_heldForUpload.isEmpty())
        return true;
    int values = 0;
    while (!m_heldForUpload.isEmpty()) {
        if (!writeSpoolLine(m_heldForUpload.first()))
            return false; // kept, in order, for the next flush
        values += m_heldForUpload.first().values.size();
        m_heldForUpload.removeFirst();
    }
    qDebug() << values << "samples held during an upload written to the spool;" << m_heldDropped
             << "were dropped meanwhile";
    m_heldDropped = 0;
    m_holdReported = false;
    return true;
}

bool ServerThread::writeSpoolLine(const ServerUploadRecord& batch)
{
    const QString path = spoolPath(spoolFileNumber);
    const QFileInfo info(path);
    if (info.exists() && info.size() >= ServerSpool::kFileLimit)
        updateSpoolFileNumber(false); // this line still goes to the full file
    if (m_spoolWriteFailing) {
        // Retried every second while failing: see that the file opens before
        // ten minutes of samples are turned into text.
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            qDebug() << "Failed to open file for writing:" << probe.errorString();
            return false;
        }
    }
    const QString line =
        ServerSpool::line(deviceType, batch.timestamp, batch.values, batch.samplingRate, batch.intervalMs);
    if (!appendLineToFile(path, line)) {
        m_spoolWriteFailing = true;
        return false;
    }
    if (m_spoolWriteFailing) {
        qDebug() << "Spool file written again;" << m_spoolDropped << "samples were dropped meanwhile";
        m_spoolWriteFailing = false;
        m_spoolDropped = 0;
    }
    return true;
}

bool ServerThread::appendLineToFile(QString path, QString text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        qDebug() << "Failed to open file for writing:" << file.errorString();
        return false;
    }
    const qint64 before = file.size();
    const QByteArray bytes = (text + QLatin1Char('\n')).toUtf8();
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        qDebug() << "Failed to write to" << path << ":" << file.errorString();
        // No half line stays behind to spoil the next one.
        file.resize(before);
        return false;
    }
    return true;
}

QVector<int> ServerThread::spoolNumbers() const
{
    QVector<int> numbers;
    const QStringList names = QDir(AppFolders::logsDir()).entryList({QStringLiteral("*.txt")}, QDir::Files);
    for (const QString& name : names) {
        const int n = ServerSpool::numberOfName(name);
        if (n >= 0)
            numbers.append(n);
    }
    std::sort(numbers.begin(), numbers.end());
    // "ServerData7.txt" and "ServerData007.txt" are one number.
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

void ServerThread::updateSpoolFileNumber(bool first)
{
    const QString folder = AppFolders::logsDir();
    if (!QDir(folder).exists() && QDir().mkpath(folder))
        qDebug() << "成功创建 logs 文件夹";

    if (first) {
        QVector<ServerSpool::FileEntry> found;
        const QFileInfoList entries = QDir(folder).entryInfoList({QStringLiteral("*.txt")}, QDir::Files);
        for (const QFileInfo& entry : entries) {
            const int n = ServerSpool::numberOfName(entry.fileName());
            if (n >= 0)
                found.append({n, entry.size()});
        }
        std::sort(found.begin(), found.end(),
                  [](const ServerSpool::FileEntry& a, const ServerSpool::FileEntry& b) { return a.number < b.number; });
        spoolFileNumber = ServerSpool::firstNumber(found);
        qDebug() << "first enter fileNum:" << spoolFileNumber;
    } else {
        const QString inFlight = uploadingPath();
        const int inFlightNumber = inFlight.isEmpty() ? -1 : ServerSpool::numberOfName(QFileInfo(inFlight).fileName());
        const ServerSpool::Rotation r = ServerSpool::rotate(spoolNumbers(), spoolFileNumber, inFlightNumber);
        spoolFileNumber = r.number;
        if (r.deleteNumber >= 0) {
            qDebug() << "enter delete";
            deleteFile(spoolPath(r.deleteNumber));
        }
    }
    qDebug() << "20250709 fileNum:" << spoolFileNumber;
}

QString ServerThread::findSpoolFile()
{
    const QString folder = AppFolders::logsDir();
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    QStringList busy;
    const QString inFlight = uploadingPath();
    if (!inFlight.isEmpty())
        busy << QFileInfo(inFlight).fileName();
    const QString name = ServerSpool::pickUpload(names, busy);
    return name.isEmpty() ? QString() : folder + QLatin1Char('/') + name;
}

bool ServerThread::uploadNextSpoolFile()
{
    const QString path = findSpoolFile();
    if (path.isEmpty())
        return false;
    return uploadFile(path, guid);
}

bool ServerThread::uploadFile(QString filePath, QString deviceId)
{
    auto* multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);

    QHttpPart filePart;
    filePart.setHeader(QNetworkRequest::ContentDispositionHeader,
                       QStringLiteral("form-data; name=\"file\"; filename=\"%1\"").arg(QFileInfo(filePath).fileName()));
    filePart.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/octet-stream"));
    auto* file = new QFile(filePath);
    if (!file->open(QIODevice::ReadOnly)) {
        qDebug() << "无法打开文件:" << filePath;
        delete file;
        delete multiPart;
        return false;
    }
    filePart.setBodyDevice(file);
    file->setParent(multiPart);
    multiPart->append(filePart);

    QHttpPart idPart;
    idPart.setHeader(QNetworkRequest::ContentDispositionHeader, QStringLiteral("form-data; name=\"deviceId\""));
    idPart.setBody(deviceId.toUtf8());
    multiPart->append(idPart);

    QNetworkRequest request(QUrl(m_baseUrl + ServerProtocol::FileUploadPath));
    qDebug() << "send file:" << multiPart;
    qDebug() << "send file Path:" << filePath;
    QNetworkReply* reply = networkManager->post(request, multiPart);
    multiPart->setParent(reply);

    ServerUploadRecord record;
    record.type = FileUpload;
    record.filePath = filePath;
    record.file = file;
    track(reply, record, true);
    return true;
}

bool ServerThread::deleteFile(QString path)
{
    QFile file(path);
    if (!file.exists()) {
        qDebug() << "File does not exist:" << path;
        return false;
    }
    if (file.remove()) {
        qDebug() << "File deleted successfully:" << path;
        return true;
    }
    qDebug() << "Failed to delete file:" << path;
    qDebug() << "Error:" << file.errorString();
    return false;
}

QDateTime ServerThread::randomRetryTime()
{
    const int r = int(QRandomGenerator64::global()->bounded(kRetrySpreadSecs)) + kRetryBaseSecs;
    const QDateTime now = nowUtc();
    const QDateTime next = now.addSecs(r);
    qDebug() << "随机秒数：" << r;
    qDebug() << "当前时间：" << now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    qDebug() << "未来时间：" << next.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    return next;
}
