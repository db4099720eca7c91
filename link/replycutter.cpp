#include "link/replycutter.h"

#include "link/crc16.h"

namespace ReplyCutter
{

bool isWellFormedReadReply(const QByteArray& reply)
{
    const int size = reply.size();
    if (size < 5)
        return false;
    return quint8(reply.at(0)) == 0x01 && quint8(reply.at(1)) == 0x03 && quint8(reply.at(2)) == size - 5 &&
           checkCRC16(reply, 0, size);
}

FixedReply cutFixedReply(const QByteArray& waiting, int size)
{
    FixedReply cut;
    if (size <= 0 || waiting.size() < size)
        return cut;
    cut.reply = waiting.left(size);
    if (isWellFormedReadReply(cut.reply)) {
        cut.outcome = FixedReply::Accepted;
        cut.consumed = size;
    } else {
        cut.outcome = FixedReply::Rejected;
        cut.consumed = waiting.size();
    }
    return cut;
}

QVector<QByteArray> cutStreamFrames(const QByteArray& waiting, int frameSize, int* consumed)
{
    const QVector<QByteArray> frames = splitByLength(waiting, frameSize);
    if (consumed)
        *consumed = frames.size() * qMax(frameSize, 0);
    return frames;
}

} // namespace ReplyCutter
