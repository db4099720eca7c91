#include "processing/replydecoder.h"

#include "core/logger.h"

#include <cstring>

namespace ReplyDecoder {

quint32 byteArrayToUInt32(const QByteArray& bytes)
{
    if (bytes.size() < 4) {
        Logger::instance()->log(QStringLiteral("byteArrayToUInt32 size error."));
        return 0;
    }
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
}

quint16 byteArrayToUInt(const QByteArray& bytes)
{
    if (bytes.size() < 2) {
        Logger::instance()->log(QStringLiteral("byteArrayToUInt size error."));
        return 0;
    }
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    return quint16((quint32(b[0]) << 8) | quint32(b[1]));
}

float byteArrayToFloat(const QByteArray& bytes, bool native)
{
    if (bytes.size() < 4) {
        Logger::instance()->log(QStringLiteral("byteArrayToFloat size error."));
        return 0.0f;
    }
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    quint32 bits;
    if (native)
        std::memcpy(&bits, b, sizeof bits);
    else
        bits = (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

QByteArray swapWords(const QByteArray& bytes)
{
    // Whole words only: a trailing odd byte has no partner word.
    QByteArray out;
    const int words = bytes.size() / 2;
    out.reserve(words * 2);
    for (int w = words - 1; w >= 0; --w)
        out.append(bytes.constData() + 2 * w, 2);
    return out;
}

QByteArray reverseBytes(const QByteArray& bytes)
{
    QByteArray out(bytes.size(), '\0');
    for (int i = 0; i < bytes.size(); ++i)
        out[bytes.size() - 1 - i] = bytes[i];
    return out;
}

quint16 uint16At(const QByteArray& reply, int pos)
{
    return byteArrayToUInt(reply.mid(pos, 2));
}

quint32 uint32At(const QByteArray& reply, int pos)
{
    return byteArrayToUInt32(swapWords(reply.mid(pos, 4)));
}

float floatAt(const QByteArray& reply, int pos)
{
    return byteArrayToFloat(swapWords(reply.mid(pos, 4)), false);
}

int decodeStatus(const QByteArray& reply)
{
    return uint16At(reply, 3);
}

RefreshData decodeParameterBlock(const QByteArray& reply)
{
    RefreshData r;
    r.ddsFreq = uint32At(reply, 3);
    r.laserTempSet = floatAt(reply, 47);
    r.laserTemp = floatAt(reply, 55);
    r.airTempSet = floatAt(reply, 63);
    r.airTemp = floatAt(reply, 71);
    r.laserElectricSet = floatAt(reply, 87);
    r.laserElectric = floatAt(reply, 95);
    r.pdeValue = floatAt(reply, 111);
    r.pdValue = floatAt(reply, 119);
    return r;
}

bool decodeSerialNumber(const QByteArray& reply, QString* serialNumber)
{
    const QByteArray field = reply.mid(3, 4);
    if (field.size() != 4)
        return false;
    // Register 40001 first, then 40000, each high byte first.
    const QByteArray ordered = swapWords(field);
    if (serialNumber)
        *serialNumber = QString::fromLatin1(ordered.toHex()).toUpper();
    return true;
}

RefreshDataEx decodeSweep(const QByteArray& reply)
{
    RefreshDataEx ex;
    ex.fsStart = uint32At(reply, 131);
    ex.fsEnd = uint32At(reply, 135);
    ex.fsStep = uint32At(reply, 139);
    return ex;
}

} // namespace ReplyDecoder
