#include "recording/savefilethread.h"

#include "core/appfolders.h"
#include "core/globalstate.h"
#include "core/logger.h"
#include "recording/recordingnames.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMutexLocker>
#include <QTextStream>
#include <QThread>

namespace {

constexpr int kVectorBatch = 50;     // records per vector batch
constexpr int kVectorStepMs = 9;     // ms between vector records
constexpr int kVectorRate = 111;     // vector records per second, as reported
constexpr int kTestFileCalls = 399600; // calls per three-axis test file

const QString kOpenFailed = QStringLiteral("Failed to open file for writing:");

void prepareCsvStream(QTextStream& out, int precision)
{
    out.setCodec("UTF-8");
    out.setRealNumberNotation(QTextStream::SmartNotation);
    out.setRealNumberPrecision(precision);
}

} // namespace

SaveFileThread::SaveFileThread(QObject* parent)
    : QObject(parent)
{
    pendingValues.reserve(1000);
    pendingMs.reserve(1000);
    vectorBuffer.reserve(kVectorBatch + 1);
    thread = new QThread(this);
    moveToThread(thread);
    thread->start(QThread::InheritPriority);
}

SaveFileThread::~SaveFileThread()
{
    shutdown();
}

void SaveFileThread::shutdown()
{
    if (m_stopped)
        return;
    m_stopped = true;
    thread->quit();
    thread->wait();
}

QDateTime SaveFileThread::nowUtc() const
{
    return m_clock ? m_clock().toUTC() : QDateTime::currentDateTimeUtc();
}

void SaveFileThread::slots_syncSaveParam(bool isSave, int interval, QString filePathName, bool isSaveConsecutivefiles)
{
    this->isSave = isSave;
    this->filePathName = filePathName;
    remaining = static_cast<qint64>(interval);
    this->isSaveConsecutivefiles = isSaveConsecutivefiles;
    if (isSave) {
        timeLine.requestRestart();
        // A new recording reports its own write failures.
        writeFailing = false;
        failedWrites = 0;
    }
}

void SaveFileThread::saveCSVData(QVector<double> datas, int data_frequency, QDateTime utcTime)
{
    if (data_frequency <= 0) {
        Logger::instance()->log(QStringLiteral("Recording batch dropped: sampling rate %1 is not positive.").arg(data_frequency));
        return;
    }
    if (!utcTime.isValid()) {
        Logger::instance()->log(QStringLiteral("Recording batch dropped: it carries no valid completion time."));
        return;
    }
    const QDateTime utc = utcTime.toUTC();

    // A new-file request (stream started or stopped) or a recording start
    // brings the time line back to the clock.
    bool requested = false;
    {
        QMutexLocker lock(&GlobalState::instance().newFileMutex);
        requested = GlobalState::instance().newFileRequest;
    }
    if (requested || timeLine.restartPending()) {
        {
            QMutexLocker lock(&GlobalState::instance().newFileMutex);
            GlobalState::instance().newFileRequest = false;
        }
        anchorTimeLine(utc);
    }

    const int step = CsvTimeLine::stepMs(data_frequency);
    for (int i = 0; i < datas.size(); ++i) {
        const qint64 ms = timeLine.stampMs(qint64(step) * i);
        pendingValues.append(datas.at(i));
        pendingMs.append(ms);
    }
    timeLine.advance(qint64(datas.size()) * step);

    if (pendingValues.size() == data_frequency) {
        emit sig_SendServerData(pendingMs.first(), pendingValues, data_frequency, step);
        // Rolls over whether recording or not; writes only while recording.
        writeOrRollBatch(data_frequency);
        pendingValues.clear();
        pendingMs.clear();
        countDownBatch();
    } else if (pendingValues.size() > data_frequency) {
        // Pieces of two different seconds: neither is a whole second.
        pendingValues.clear();
        pendingMs.clear();
    }

    cleanUpIfDue(utc);
}

void SaveFileThread::anchorTimeLine(const QDateTime& utcTime)
{
    if (const qint64 back = timeLine.anchor(utcTime))
        Logger::instance()->log(QStringLiteral("Recording time line set back by %1 s: the clock is behind the "
                                               "samples already stamped")
                                    .arg(back / 1000.0, 0, 'f', 3));
    // The file is named after the click that started it, which may lie in
    // the hour or day before the first batch: its period is its name's.
    const QString name = filePathName.mid(filePathName.lastIndexOf(QLatin1Char('/')) + 1);
    const QDateTime named = RecordingNames::timestampOfName(name);
    if (named.isValid() && !(utcTime < named))
        timeLine.boundFileAt(named);
}

void SaveFileThread::writeOrRollBatch(int dataFrequency)
{
    const bool recording = isSave && !filePathName.isEmpty();
    int from = 0;
    for (int i = 0; i < pendingMs.size(); ++i) {
        const QDateTime stamped = QDateTime::fromMSecsSinceEpoch(pendingMs.at(i), Qt::UTC);
        if (!timeLine.rollOverDue(stamped, dataFrequency))
            continue;
        // Rows stamped from the boundary on belong to the next file, named
        // after the first of them.
        const QString rolled = RecordingNames::rolledPath(filePathName, stamped);
        if (rolled.isEmpty())
            break; // no folder part: keep the name, try again with the next batch
        if (recording && i > from)
            writeTimeValueCsv(dataFrequency, from, i);
        filePathName = rolled;
        timeLine.continueAcrossRollOver(stamped);
        from = i;
    }
    if (recording && from < pendingMs.size())
        writeTimeValueCsv(dataFrequency, from, pendingMs.size());
}

void SaveFileThread::rollOverIfDue(const QDateTime& utcTime, bool due)
{
    if (!due)
        return;
    const QString rolled = RecordingNames::rolledPath(filePathName, utcTime);
    if (rolled.isEmpty())
        return; // no folder part: keep the name, try again with the next batch
    filePathName = rolled;
    timeLine.continueAcrossRollOver(utcTime);
}

void SaveFileThread::countDownBatch()
{
    // Only a running recording counts, so a stopped one never "finishes" later.
    if (!isSave)
        return;
    --remaining;
    if (remaining == 0) {
        isSave = false;
        emit sig_saveFinished();
    }
}

void SaveFileThread::cleanUpIfDue(const QDateTime& utcTime)
{
    if (!timeLine.cleanupDue(utcTime))
        return;
    timeLine.markCleanup(utcTime);
    removeFilesOlderThan(RecordingNames::folderOf(filePathName), CsvTimeLine::cleanupLimit(utcTime));
}

bool SaveFileThread::writeTimeValueCsv(int dataFrequency, int from, int to)
{
    if (pendingValues.size() != pendingMs.size())
        return false;
    QByteArray bytes;
    {
        QTextStream out(&bytes, QIODevice::WriteOnly);
        prepareCsvStream(out, 10);
        // Time texts are made only for rows that are written.
        for (int i = from; i < to; ++i)
            out << CsvTimeLine::timeText(pendingMs.at(i), dataFrequency) << ',' << pendingValues.at(i) << '\n';
    }
    return appendToFile(RecordingNames::scalarCsvPath(filePathName, dataFrequency), bytes);
}

bool SaveFileThread::appendToFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    // Unbuffered: a failed write leaves nothing behind to be flushed later.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text | QIODevice::Unbuffered)) {
        Logger::instance()->log(kOpenFailed + file.errorString());
        return false;
    }
    const qint64 before = file.size();
    // A short write is retried for the rest, which then fails with the cause.
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += n;
    }
    bool ok = done == bytes.size();
    QString error = file.errorString();
    if (!ok && !file.isSequential())
        file.resize(before); // may fail too; then the partial row stays, and the log says why
    file.close();
    if (ok && file.error() != QFileDevice::NoError) {
        ok = false;
        error = file.errorString();
    }

    if (!ok) {
        ++failedWrites;
        if (!writeFailing) {
            writeFailing = true;
            Logger::instance()->log(
                QStringLiteral("Recording file %1 could not be written: %2. The rows are not in the file; the next "
                               "second is tried again.")
                    .arg(QDir::toNativeSeparators(path), error));
        }
    } else if (writeFailing) {
        writeFailing = false;
        Logger::instance()->log(QStringLiteral("Recording file %1 written again after %2 failed write(s).")
                                    .arg(QDir::toNativeSeparators(path))
                                    .arg(failedWrites));
        failedWrites = 0;
    }
    return ok;
}

void SaveFileThread::removeFilesOlderThan(const QString& folder, const QDateTime& limit)
{
    RecordingNames::removeCsvFilesOlderThan(folder, limit);
}

void SaveFileThread::slot_saveCrashLog(qlonglong timestamp, QString text)
{
    const QDateTime d = QDateTime::fromSecsSinceEpoch(timestamp, Qt::UTC);
    // The application log may not have made the folder yet on a fresh install.
    QDir().mkpath(AppFolders::logsDir());
    QFile file(RecordingNames::crashLogPath(AppFolders::logsDir(), d));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        qDebug() << "Failed to open file for writing:" << file.errorString();
        return;
    }
    QTextStream out(&file);
    out.setCodec("UTF-8");
    out << RecordingNames::crashLogLine(d, text);
}

void SaveFileThread::slot_saveVectorXYZS(FIDVectorNum fidVectorNum, QDateTime utcTime)
{
    if (!utcTime.isValid()) {
        Logger::instance()->log(QStringLiteral("Vector record dropped: it carries no valid time."));
        return;
    }
    const QDateTime utc = utcTime.toUTC();

    XYZST record;
    record.x = fidVectorNum.x;
    record.y = fidVectorNum.y;
    record.z = fidVectorNum.z;
    record.s = fidVectorNum.s;
    record.f = fidVectorNum.f;
    vectorBuffer.append(record);

    if (vectorBuffer.size() < kVectorBatch)
        return;
    if (vectorBuffer.size() > kVectorBatch)
        qDebug() << "2025.8.18 出现严重错误：" << vectorBuffer.size() << "," << kVectorBatch;

    if (vectorNewFile || timeLine.restartPending()) {
        vectorNewFile = false;
        vectorBuffer.clear();
        timeLine.anchor(utc);
        return; // the batch is empty now: nothing to send, write or count
    }

    for (int i = 0; i < vectorBuffer.size(); ++i)
        vectorBuffer[i].time = QDateTime::fromMSecsSinceEpoch(timeLine.stampMs(qint64(kVectorStepMs) * i), Qt::UTC);
    const qint64 t0 = timeLine.stampMs(0);
    timeLine.advance(qint64(kVectorStepMs) * vectorBuffer.size());

    rollOverIfDue(utc, timeLine.hourlyRollOverDue(utc));

    emit sig_SendServerVectorData(t0, vectorBuffer, kVectorRate, kVectorStepMs);

    if (isSave && !filePathName.isEmpty()) {
        // Records stamped at or past the next hour wait for the next file.
        if (!writeFidVectorCsv(vectorBuffer, filePathName, timeLine.nextHour()))
            vectorBuffer.clear();
    } else {
        vectorBuffer.clear();
    }

    countDownBatch();
    cleanUpIfDue(utc);
}

bool SaveFileThread::writeFidVectorCsv(QVector<XYZST>& buffer, const QString& path, const QDateTime& limit)
{
    QByteArray bytes;
    int written = 0;
    bool endedEarly = false;
    {
        QTextStream out(&bytes, QIODevice::WriteOnly);
        prepareCsvStream(out, 10);
        for (const XYZST& r : qAsConst(buffer)) {
            if (r.time.isValid() && !(r.time < limit)) {
                endedEarly = true;
                break;
            }
            out << r.time.toUTC().toString(QStringLiteral("HH:mm:ss.zzz")) << ',' << r.x << ',' << r.y << ',' << r.z
                << ',' << r.s;
            for (double f : r.f)
                out << ',' << f;
            out << '\n';
            ++written;
        }
    }
    if (!appendToFile(RecordingNames::vectorCsvPath(path), bytes))
        return false;
    buffer.remove(0, written);
    return endedEarly;
}

void SaveFileThread::slot_saveVectorK3orK5CSV(QVector<double> datas)
{
    static const char* const labels[9] = {"1111", "1000", "0100", "1111", "0010", "0001", "1111", "0000", "0000"};

    const QDateTime now = nowUtc();
    if (!testStarted) {
        testStarted = true;
        testFileTag = now.toString(QStringLiteral("HHmmss"));
    }
    if (testCallCount + 1 > kTestFileCalls) {
        testCallCount = 0;
        testFileTag = now.toString(QStringLiteral("HHmmss"));
    } else {
        ++testCallCount;
    }

    const QString path = AppFolders::fileDir() + QString::fromUtf8("/K3三轴测试_") + testFileTag + QStringLiteral(".CSV");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        qDebug() << "ceshi 1211-2 :" << file.errorString() << ":" << path;
        Logger::instance()->log(kOpenFailed + file.errorString());
        return;
    }
    QTextStream out(&file);
    prepareCsvStream(out, 10);
    const QVector<double>& d = datas;
    for (int i = 0; i < d.size(); ++i) {
        out << d[i] << ',' << labels[i % 9] << '\n';
        if ((i + 1) % 3 == 0)
            out << ((d[i - 1] * d[i - 1] + d[i] * d[i]) * 0.5 - d[i - 2] * d[i - 2]) << ",sqrt\n";
        if ((i + 1) % 9 == 0) {
            out << "S," << (d[i - 8] + d[i - 5] + d[i - 2]) / (3 * hzPerNanoTesla) << '\n';
            out << "--------------,-------------\n";
        }
    }
}

void SaveFileThread::writeValueColumn(const QString& path, const QVector<double>& values)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        Logger::instance()->log(kOpenFailed + file.errorString());
        return;
    }
    QTextStream out(&file);
    prepareCsvStream(out, 15);
    for (double v : values)
        out << v << '\n';
}

void SaveFileThread::writeTimeXyzCsv(const QString& path, const QStringList& times, const QVector<double>& a,
                                     const QVector<double>& b, const QVector<double>& c)
{
    if (times.size() != a.size())
        return;
    if (b.size() != a.size() || c.size() != a.size()) {
        Logger::instance()->log(QStringLiteral("Data vectors must have the same size."));
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        Logger::instance()->log(kOpenFailed + QLatin1Char(' ') + file.errorString());
        return;
    }
    QTextStream out(&file);
    prepareCsvStream(out, 10);
    for (int i = 0; i < a.size(); ++i)
        out << times.at(i) << ',' << a.at(i) << ',' << b.at(i) << ',' << c.at(i) << '\n';
}

void SaveFileThread::writeLog(const QString& text)
{
    Logger::instance()->log(text);
}
