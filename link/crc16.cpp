#include "link/crc16.h"

namespace {

constexpr quint32 kInvalidCrc = 0xFFFFFFFFu;

quint16 crcOver(const unsigned char* p, int len)
{
    quint16 crc = 0xFFFF;
    for (int i = 0; i < len; ++i) {
        crc ^= p[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? quint16((crc >> 1) ^ 0xA001u) : quint16(crc >> 1);
    }
    return crc;
}

bool rangeInside(const QByteArray& data, int start, qint64 len)
{
    return start >= 0 && len > 0 && qint64(start) + len <= data.size();
}

} // namespace

quint32 calculateCRC16(const char* data, int start, int len)
{
    if (!data || start < 0 || len <= 0)
        return kInvalidCrc;
    return crcOver(reinterpret_cast<const unsigned char*>(data) + start, len);
}

quint32 calculateCRC16(const QByteArray& data, int start, int len)
{
    if (!rangeInside(data, start, len))
        return kInvalidCrc;
    return crcOver(reinterpret_cast<const unsigned char*>(data.constData()) + start, len);
}

void appendCRC16(QByteArray& data, int start, int len)
{
    const quint32 crc = calculateCRC16(data, start, len);
    const quint16 value = crc == kInvalidCrc ? quint16(0xFFFF) : quint16(crc);
    data.append(char(value & 0xFF));
    data.append(char(value >> 8));
}

bool checkCRC16(const char* data, int start, unsigned int len)
{
    if (!data || start < 0 || len < 3)
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(data) + start;
    const quint16 crc = crcOver(p, int(len - 2));
    return p[len - 2] == (crc & 0xFF) && p[len - 1] == (crc >> 8);
}

bool checkCRC16(const QByteArray& data, int start, int len)
{
    if (data.size() < 3 || len < 3 || !rangeInside(data, start, len))
        return false;
    return checkCRC16(data.constData(), start, unsigned(len));
}

quint8 calculateSum8(const char* data, int start, int len)
{
    if (!data || start < 0 || len <= 0)
        return 0;
    quint8 sum = 0;
    for (int i = 0; i < len; ++i)
        sum = quint8(sum + static_cast<unsigned char>(data[start + i]));
    return sum;
}

quint8 calculateSum8(const QByteArray& data, int start, int len)
{
    if (!rangeInside(data, start, len))
        return 0;
    return calculateSum8(data.constData(), start, len);
}

QVector<QByteArray> splitByLength(const QByteArray& data, int n)
{
    QVector<QByteArray> pieces;
    if (n <= 0)
        return pieces;
    for (int pos = 0; pos + n <= data.size(); pos += n)
        pieces.append(data.mid(pos, n));
    return pieces;
}

QList<QByteArray> splitBySeparator(const QByteArray& data, const QByteArray& separator)
{
    QList<QByteArray> pieces;
    if (separator.isEmpty())
        return pieces;
    int pos = 0;
    for (;;) {
        const int i = data.indexOf(separator, pos);
        if (i < 0) {
            pieces.append(data.mid(pos));
            break;
        }
        pieces.append(data.mid(pos, i - pos + separator.size()));
        pos = i + separator.size();
    }
    return pieces;
}
