#include "link/fidreaders.h"

#include <QDebug>
#include <QString>

#include <functional>

namespace FidFrames
{

namespace
{

QByteArray bytesOf(std::initializer_list<quint8> values)
{
    QByteArray out;
    for (quint8 v : values)
        out.append(char(v));
    return out;
}

quint8 at(const QByteArray& bytes, int i)
{
    return static_cast<quint8>(bytes.at(i));
}

// Removes every span from head to the next tail after it, handing each to
// take (when given); searching resumes where the removed span began. A head
// without a tail ends the scan. True when at least one span was found.
bool scanSpans(QByteArray& buffer, const QByteArray& head, const QByteArray& tail,
               const std::function<void(const QByteArray&)>& take)
{
    bool found = false;
    int pos = 0;
    for (;;) {
        const int h = buffer.indexOf(head, pos);
        if (h < 0)
            break;
        const int t = buffer.indexOf(tail, h + head.size());
        if (t < 0) {
            if (take)
                qDebug().noquote() << QString::fromUtf8("未发现帧尾1");
            break;
        }
        const int length = t + tail.size() - h;
        if (take)
            take(buffer.mid(h, length));
        buffer.remove(h, length);
        pos = h;
        found = true;
    }
    return found;
}

} // namespace

bool isFidMarker(quint8 b)
{
    switch (b) {
    case 0xE0:
    case 0xE1:
    case 0xE2:
    case 0xE4:
    case 0xE8:
    case 0xEF:
        return true;
    default:
        return false;
    }
}

bool isVectorFIDFrameHead(const QByteArray& bytes)
{
    return bytes.size() > 24 && at(bytes, 0) == 0xE8 && at(bytes, 8) == 0xEF && at(bytes, 16) == 0xE4 &&
           at(bytes, 24) == 0xE2;
}

QByteArray extractKnownFrames(QByteArray buffer, KnownFrames& taken, bool& found)
{
    static const QByteArray rateHead = bytesOf({0xAB, 0x01, 0x04});
    static const QByteArray rateTail = bytesOf({0x04, 0x02, 0xFF, 0xFF});
    static const QByteArray statusHead = bytesOf({0x01, 0x03, 0x02});
    static const QByteArray statusTail = bytesOf({0xB9, 0x87});
    static const QByteArray identityHead = bytesOf({0x01, 0x03, 0xC8});
    static const QByteArray identityTail = bytesOf({0x7E, 0x50});
    static const QByteArray ackHead = bytesOf({0x01, 0x10, 0x9C});
    static const QByteArray ackTail = bytesOf({0xCF, 0xB5});
    static const QByteArray restartEcho = bytesOf({0x01, 0x06, 0x9C, 0xB6, 0x00, 0x01, 0x87, 0xBC});
    static const QByteArray paramHead = bytesOf({0x01, 0x03, 0xF8});
    static const QByteArray paramTail = bytesOf({0xA5, 0x5D});

    found = false;
    if (scanSpans(buffer, rateHead, rateTail, nullptr)) {
        found = true;
        return buffer;
    }
    // A span of another length is a head and a tail that belong to different
    // things (or to vector data): it goes, but it is not a reply.
    if (scanSpans(buffer, statusHead, statusTail, [&taken](const QByteArray& span) {
            if (span.size() != kStatusReplyBytes) {
                qDebug().noquote() << QString::fromUtf8("读状态出错1") << span.size();
                return;
            }
            taken.statusReplies.append(span);
        })) {
        found = true;
        return buffer;
    }
    if (scanSpans(buffer, identityHead, identityTail, nullptr) || scanSpans(buffer, ackHead, ackTail, nullptr)) {
        found = true;
        return buffer;
    }
    const int before = buffer.size();
    buffer.replace(restartEcho, QByteArray());
    if (buffer.size() != before) {
        found = true;
        return buffer;
    }
    if (scanSpans(buffer, paramHead, paramTail, [&taken](const QByteArray& span) {
            if (span.size() != kParamReplyBytes) {
                qDebug().noquote() << QString::fromUtf8("读状态出错2") << span.size();
                return;
            }
            taken.paramReplies.append(span);
        })) {
        found = true;
    }
    return buffer;
}

// ---- scalar FID frames ------------------------------------------------------

void ScalarFidReader::reset()
{
    buffer.clear();
    searching = true;
}

bool ScalarFidReader::headAtFront() const
{
    return buffer.size() >= kFidHeadProbe && isFidMarker(at(buffer, 0)) && isFidMarker(at(buffer, 8)) &&
           isFidMarker(at(buffer, 16));
}

QList<ScalarFidReader::Chunk> ScalarFidReader::feed(const QByteArray& bytes)
{
    QList<Chunk> out;
    buffer.append(bytes);
    for (;;) {
        if (searching) {
            // Below the probe length the head cannot be tested: wait for more
            // rather than look past the end.
            while (buffer.size() >= kFidHeadProbe && !headAtFront())
                buffer.remove(0, 1);
            if (!headAtFront())
                return out;
            qDebug() << "find data";
            searching = false;
        }
        while (buffer.size() >= kFidFrameBytes) {
            if (!headAtFront()) {
                // A lost or extra byte: every later frame would be cut out of
                // step, so look for the next head.
                qDebug() << "FID frame out of step, searching again; buffered:" << buffer.size();
                searching = true;
                break;
            }
            ++chunks;
            qDebug() << "20260306 read:" << chunks;
            out.append({buffer.left(kFidFrameBytes), buffer.size() - kFidFrameBytes});
            buffer.remove(0, kFidFrameBytes);
        }
        if (!searching)
            return out;
    }
}

// ---- vector frames ------------------------------------------------------------

void VectorFidReader::reset()
{
    buffer.clear();
    searching = true;
}

VectorFidReader::Output VectorFidReader::feed(const QByteArray& bytes)
{
    Output out;
    buffer.append(bytes);
    bool found = false;
    buffer = extractKnownFrames(buffer, out.known, found);
    for (;;) {
        if (searching) {
            if (buffer.size() < kVectorSearchStart)
                return out;
            // Stop with 24 bytes left: a head that starts there cannot be
            // tested yet and would be thrown away.
            while (buffer.size() > 24 && !isVectorFIDFrameHead(buffer)) {
                buffer.remove(0, 1);
                qDebug() << " not right buf1 size:" << buffer.size();
            }
            if (!isVectorFIDFrameHead(buffer)) {
                qDebug() << "not find data:" << buffer.size();
                return out;
            }
            qDebug() << "find data";
            searching = false;
        }
        while (buffer.size() >= kVectorFrameBytes) {
            if (!isVectorFIDFrameHead(buffer)) {
                qDebug() << "vector frame out of step, searching again; buffered:" << buffer.size();
                searching = true;
                break;
            }
            out.frames.append(buffer.left(kVectorFrameBytes));
            buffer.remove(0, kVectorFrameBytes);
        }
        if (!searching)
            return out;
    }
}

} // namespace FidFrames
