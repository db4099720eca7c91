#include "link/instrumentframes.h"

#include "link/crc16.h"

#include <cstring>

namespace InstrumentFrames {

const StreamPair* streamPairFor(int rate)
{
    for (const StreamPair& pair : streamPairs)
        if (pair.rate == rate)
            return &pair;
    return nullptr;
}

namespace {

void appendWord(QByteArray& frame, quint16 word)
{
    frame.append(char(word >> 8));
    frame.append(char(word & 0xFF));
}

QByteArray header(quint8 function, quint16 reg, quint16 countOrValue)
{
    QByteArray frame;
    frame.append(char(0x01));
    frame.append(char(function));
    appendWord(frame, reg);
    appendWord(frame, countOrValue);
    return frame;
}

void closeFrame(QByteArray& frame) { appendCRC16(frame, 0, frame.size()); }

} // namespace

QByteArray writeSingleRegister(quint16 reg, quint16 value)
{
    QByteArray frame = header(0x06, reg, value);
    closeFrame(frame);
    return frame;
}

QByteArray writeOneRegister(quint16 reg, quint16 value)
{
    QByteArray frame = header(0x10, reg, 1);
    frame.append(char(0x02));
    appendWord(frame, value);
    closeFrame(frame);
    return frame;
}

QByteArray writeUInt32(quint16 reg, quint32 value)
{
    QByteArray frame = header(0x10, reg, 2);
    frame.append(char(0x04));
    appendWord(frame, quint16(value & 0xFFFF)); // low word first
    appendWord(frame, quint16(value >> 16));
    closeFrame(frame);
    return frame;
}

QByteArray writeFloat(quint16 reg, float value)
{
    quint32 bits = 0;
    static_assert(sizeof(bits) == sizeof(value), "IEEE single");
    std::memcpy(&bits, &value, sizeof(bits));
    return writeUInt32(reg, bits);
}

} // namespace InstrumentFrames
