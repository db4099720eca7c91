// The offline spool's naming and ring, fed with what the "logs" folder may
// hold (any file names, any sizes) and the samples a spool line carries.
// Checked against a second reading written here: a spool file is exactly
// "ServerData<digits>.txt" with a number that fits an int; the start picks
// the smallest file that is not full; the upload takes the first spool name
// in case-insensitive order; rotation never picks or deletes the file in
// flight or the current one, and the ring does not grow past six files
// (only a file in flight may add one); a spool line is JSON whose values are
// the samples to two decimals.
//
// Input: byte 0 the current file (an index into the spool files found; a
// larger value: the start's pick); byte 1 the file in flight (an index into
// the names for the upload, into the spool files for the rotation; a larger
// value: none); then the folder: names, each ended by a NUL byte and a size
// byte (see entries()). The same bytes, read as doubles, are the samples of
// a line.

#include "fuzzsupport.h"

#include "reporting/serverspool.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace
{

struct Entry {
    QString name;
    qint64 size;
};

// Each name ends with a NUL byte (no file name holds one); the byte after it
// gives the file's size: 0-127 below the 10 MiB limit, 128-255 at or above.
QVector<Entry> entries(const QByteArray& bytes)
{
    QVector<Entry> out;
    int start = 0;
    while (start < bytes.size()) {
        int end = bytes.indexOf('\0', start);
        if (end < 0)
            end = bytes.size();
        const QByteArray name = bytes.mid(start, end - start);
        const int sizeByte = end + 1 < bytes.size() ? uchar(bytes.at(end + 1)) : 0;
        const qint64 size =
            sizeByte < 128 ? qint64(sizeByte) * 81920 : ServerSpool::kFileLimit + qint64(sizeByte - 128) * 4096;
        if (!name.isEmpty())
            out.append({QString::fromUtf8(name), size});
        start = end + 2;
    }
    return out;
}

// -1 unless the name is exactly "ServerData" + ASCII digits + ".txt" and the
// number fits an int.
int spoolNumber(const QString& name)
{
    const QString head = QStringLiteral("ServerData");
    const QString tail = QStringLiteral(".txt");
    if (!name.startsWith(head) || !name.endsWith(tail) || name.size() <= head.size() + tail.size())
        return -1;
    const QString digits = name.mid(head.size(), name.size() - head.size() - tail.size());
    qint64 value = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        value = value * 10 + (c.unicode() - '0');
        if (value > INT_MAX)
            return -1;
    }
    return int(value);
}

void checkLine(const QByteArray& bytes)
{
    QVector<double> values;
    for (int i = 0; i + 8 <= bytes.size() && values.size() < 64; i += 8) {
        double v;
        std::memcpy(&v, bytes.constData() + i, sizeof v);
        values << v;
    }
    const QString line = ServerSpool::line(QStringLiteral("RQ"), 1700000000000, values, 1000, 1);
    FUZZ_CHECK(!line.contains(QLatin1Char('\n')));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
    FUZZ_CHECK(doc.isObject());
    const QJsonObject sensor = doc.object().value(QStringLiteral("sensorData")).toObject();
    const QJsonArray list = sensor.value(QStringLiteral("values")).toArray();
    FUZZ_CHECK(list.size() == values.size());
    for (int i = 0; i < values.size(); ++i) {
        const double v = values.at(i);
        if (!std::isfinite(v)) {
            FUZZ_CHECK(list.at(i).isNull());
            continue;
        }
        FUZZ_CHECK(list.at(i).isDouble());
        // Two decimals, as printed; very large values lose their last digits
        // to the double that reads them back.
        FUZZ_CHECK(std::fabs(list.at(i).toDouble() - v) <= 0.005 + std::fabs(v) * 1e-15);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const QByteArray rest = FuzzSupport::bytes(data + 2, size - 2);
    const QVector<Entry> files = entries(rest);

    // Names as the folder lists them.
    QStringList names;
    QVector<ServerSpool::FileEntry> spool;
    for (const Entry& e : files) {
        const int n = ServerSpool::numberOfName(e.name);
        FUZZ_CHECK(n == spoolNumber(e.name));
        names << e.name;
        if (n >= 0 &&
            std::none_of(spool.cbegin(), spool.cend(), [n](const ServerSpool::FileEntry& f) { return f.number == n; }))
            spool.append({n, e.size});
    }
    std::sort(spool.begin(), spool.end(),
              [](const ServerSpool::FileEntry& a, const ServerSpool::FileEntry& b) { return a.number < b.number; });

    // Start-up: the smallest file not yet full, else the largest, else 0.
    int first = spool.isEmpty() ? 0 : spool.last().number;
    for (const ServerSpool::FileEntry& f : spool) {
        if (f.size < ServerSpool::kFileLimit) {
            first = f.number;
            break;
        }
    }
    FUZZ_CHECK(ServerSpool::firstNumber(spool) == first);

    // Upload order: the least spool name, case-insensitively, not busy.
    QStringList busy;
    if (data[1] < names.size())
        busy << names.at(data[1]);
    QString least;
    for (const QString& n : names)
        if (spoolNumber(n) >= 0 && !busy.contains(n) && (least.isEmpty() || n.compare(least, Qt::CaseInsensitive) < 0))
            least = n;
    FUZZ_CHECK(ServerSpool::pickUpload(names, busy) == least);

    // Rotation once the current file is full.
    QVector<int> numbers;
    for (const ServerSpool::FileEntry& f : spool)
        numbers << f.number;
    const int current = data[0] < spool.size() ? numbers.at(data[0]) : first;
    const int inFlight = data[1] < spool.size() ? numbers.at(data[1]) : -1;
    const ServerSpool::Rotation r = ServerSpool::rotate(numbers, current, inFlight);
    FUZZ_CHECK(r.number >= 0 && r.number != inFlight);
    FUZZ_CHECK(r.deleteNumber == -1 || numbers.contains(r.deleteNumber));
    FUZZ_CHECK(r.deleteNumber == -1 || (r.deleteNumber != inFlight && r.deleteNumber != current));
    if (numbers.size() < ServerSpool::kRingSize)
        FUZZ_CHECK(r.deleteNumber == -1 && !numbers.contains(r.number)); // a new file
    else
        FUZZ_CHECK(r.number != current);
    int after = numbers.size() - (r.deleteNumber >= 0 ? 1 : 0) +
                (numbers.contains(r.number) && r.number != r.deleteNumber ? 0 : 1);
    const int bound = std::max(int(numbers.size()), ServerSpool::kRingSize) + (inFlight >= 0 ? 1 : 0);
    FUZZ_CHECK(after <= bound);

    checkLine(rest);
    return 0;
}
