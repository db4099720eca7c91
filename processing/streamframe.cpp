#include "processing/streamframe.h"

#include "processing/replydecoder.h"

#include <QDebug>

namespace StreamFrame {

Check assemble(QByteArray& piece, QByteArray& heldHead, int frameDataBytes)
{
    const int size = piece.size();
    const int n = frameSize(frameDataBytes);
    if (size < 4)
        return Check::Ignored;
    const bool head = static_cast<uchar>(piece.at(0)) == 0xAB && static_cast<uchar>(piece.at(1)) == 0x01;
    const bool tail = static_cast<uchar>(piece.at(size - 1)) == 0xFF;
    if (size > n) {
        qDebug() << "data error1";
        return Check::TooLong;
    }
    if (size == n) {
        if (head && tail)
            return Check::Accepted;
        qDebug() << "data error3";
        return Check::BadHeadOrTail;
    }
    if (head) {
        heldHead = piece;
        return Check::HeldHead;
    }
    if (!tail)
        return Check::Ignored;
    piece.prepend(heldHead);
    heldHead.clear();
    if (piece.size() == n)
        return Check::Accepted;
    qDebug() << "data error2";
    return Check::JoinFailed;
}

void ErrorTally::count(Check check, int bytes)
{
    switch (check) {
    case Check::TooLong:
        ++tooLong;
        break;
    case Check::BadHeadOrTail:
        ++badHeadOrTail;
        break;
    case Check::JoinFailed:
    case Check::Ignored:
    case Check::HeldHead:
        ++unjoined;
        break;
    case Check::Accepted:
        return;
    }
    bytesDiscarded += bytes;
}

QString ErrorTally::summary(int spanMs) const
{
    return QStringLiteral("Stream frame errors within %1 s: %2 frames dropped (%3 too long, %4 without head or tail, "
                          "%5 split and not rejoined), %6 stream restarts, %7 bytes discarded")
        .arg(QString::number(spanMs / 1000.0))
        .arg(framesDropped())
        .arg(tooLong)
        .arg(badHeadOrTail)
        .arg(unjoined)
        .arg(restarts)
        .arg(bytesDiscarded);
}

QVector<double> decodeSamples(const QByteArray& frame, int frameDataBytes, int bytesPerSample, int valueType)
{
    QVector<double> samples;
    if (bytesPerSample < 4 || frameDataBytes <= 0)
        return samples;
    const QByteArray payload = frame.mid(kPayloadOffset, frameDataBytes);
    const int count = payload.size() / bytesPerSample;
    samples.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QByteArray be = ReplyDecoder::reverseBytes(payload.mid(i * bytesPerSample, 4));
        if (valueType == 1)
            samples.append(ReplyDecoder::byteArrayToFloat(be, false));
        else
            samples.append(ReplyDecoder::byteArrayToUInt32(be));
    }
    return samples;
}

StrengthTracker& processStrengthTracker()
{
    static StrengthTracker tracker;
    return tracker;
}

} // namespace StreamFrame
