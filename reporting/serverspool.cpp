#include "reporting/serverspool.h"

#include "reporting/serverprotocol.h"

#include <QRegularExpression>

#include <algorithm>
#include <climits>
#include <cmath>

namespace ServerSpool
{

QString fileName(int number)
{
    return QStringLiteral("ServerData%1.txt").arg(number);
}

int numberOfName(const QString& name)
{
    // Anchored to the whole name: "$" alone would also match before a final
    // line feed, taking "ServerData4.txt\n" for spool file 4.
    static const QRegularExpression re(QRegularExpression::anchoredPattern(QStringLiteral("ServerData(\\d+)\\.txt")));
    const QRegularExpressionMatch m = re.match(name);
    if (!m.hasMatch())
        return -1;
    bool ok = false;
    const int n = m.captured(1).toInt(&ok);
    return ok ? n : -1;
}

QString line(const QString& deviceType, qint64 timestamp, const QVector<double>& values, int samplingRate,
             int intervalMs)
{
    return QStringLiteral("{\"deviceType\": \"%1\",\"time\": %2,\"sensorData\": {\"dataType\": \"SCALAR\",\"values\": "
                          "%3,\"samplingRate\": %4,\"intervalMs\": %5}}")
        .arg(ServerProtocol::jsonEscaped(deviceType), QString::number(timestamp),
             ServerProtocol::scalarValuesToJson(values), QString::number(samplingRate), QString::number(intervalMs));
}

int firstNumber(const QVector<FileEntry>& ascending)
{
    if (ascending.isEmpty())
        return 0;
    for (const FileEntry& e : ascending)
        if (e.size < kFileLimit)
            return e.number;
    return ascending.last().number;
}

Rotation rotate(const QVector<int>& ascending, int current, int inFlight)
{
    // A name may carry any number an int holds: the one after the largest
    // is 0, never an overflow.
    auto after = [](int n) { return n == INT_MAX ? 0 : n + 1; };
    Rotation r;
    if (ascending.size() < kRingSize) {
        // One past the largest; the file in flight is skipped (only if it
        // went unlisted), and so is any number taken after a wrap to 0.
        r.number = ascending.isEmpty() ? 0 : after(ascending.last());
        while (ascending.contains(r.number) || r.number == inFlight)
            r.number = after(r.number);
        return r;
    }
    const int largest = ascending.last();
    auto step = [largest, after](int n) { return n >= largest ? 0 : after(n); };
    r.number = step(current);
    // The ring never hands out, or empties, the file still being uploaded.
    for (int i = 0; i <= ascending.size() && (r.number == inFlight || r.number == current); ++i)
        r.number = step(r.number);
    for (const int n : ascending) {
        if (n >= r.number && n != inFlight && n != current) {
            r.deleteNumber = n;
            break;
        }
    }
    return r;
}

int numberBesideUpload(const QVector<int>& ascending, int current)
{
    if (ascending.size() >= kRingSize)
        return -1;
    return rotate(ascending, current, current).number;
}

QString pickUpload(QStringList names, const QStringList& busy)
{
    // Plain case-insensitive text order, not numeric order.
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    for (const QString& name : names)
        if (numberOfName(name) >= 0 && !busy.contains(name))
            return name;
    return QString();
}

Join joinAction(const ServerUploadRecord& batch, qint64 timestamp, int samplingRate, qint64 stepMs)
{
    if (batch.samplingRate == -1)
        return Join::Start;
    if (samplingRate != batch.samplingRate)
        return Join::FlushThenStart;
    if (batch.lastTimestamp != -1 && timestamp - batch.lastTimestamp != stepMs)
        return Join::FlushThenStart;
    return Join::Append;
}

void startBatch(ServerUploadRecord& batch, qint64 timestamp, int samplingRate, int intervalMs)
{
    batch.timestamp = timestamp;
    batch.lastTimestamp = timestamp;
    batch.samplingRate = samplingRate;
    batch.intervalMs = intervalMs;
    batch.values.clear();
    batch.vectors.clear();
}

void resetBatch(ServerUploadRecord& batch)
{
    batch.timestamp = -1;
    batch.samplingRate = -1;
    batch.lastTimestamp = -1;
    batch.intervalMs = -1;
    batch.values.clear();
    batch.vectors.clear();
}

int capBatch(ServerUploadRecord& batch, int maxValues, int maxVectors)
{
    int dropped = 0;
    if (maxValues >= 0 && batch.values.size() > maxValues) {
        const int n = batch.values.size() - maxValues;
        batch.values.remove(0, n);
        if (batch.timestamp >= 0 && batch.intervalMs > 0)
            batch.timestamp += qint64(n) * batch.intervalMs;
        dropped += n;
    }
    if (maxVectors >= 0 && batch.vectors.size() > maxVectors) {
        const int n = batch.vectors.size() - maxVectors;
        batch.vectors.remove(0, n);
        dropped += n;
    }
    return dropped;
}

int capBatches(QVector<ServerUploadRecord>& batches, int maxSeconds)
{
    auto seconds = [](const ServerUploadRecord& b) { return double(b.values.size()) / qMax(b.samplingRate, 1); };
    double total = 0;
    for (const ServerUploadRecord& b : qAsConst(batches))
        total += seconds(b);
    int dropped = 0;
    while (!batches.isEmpty() && total > maxSeconds) {
        ServerUploadRecord& oldest = batches.first();
        const double excess = total - maxSeconds;
        const double span = seconds(oldest);
        if (span <= excess) {
            dropped += oldest.values.size();
            total -= span;
            batches.removeFirst();
            continue;
        }
        const int rate = qMax(oldest.samplingRate, 1);
        const int n = qMax(1, int(std::ceil(excess * rate)));
        dropped += capBatch(oldest, oldest.values.size() - n, -1);
        total -= double(n) / rate;
    }
    return dropped;
}

} // namespace ServerSpool
