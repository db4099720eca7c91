#include "processing/vectorrecords.h"

#include <QDebug>

#include <cmath>

namespace VectorRecords
{

namespace
{

quint8 at(const QByteArray& bytes, int i)
{
    return static_cast<quint8>(bytes.at(i));
}

} // namespace

FrequencyRecord decodeRecord(const QByteArray& bytes, int pos)
{
    FrequencyRecord r;
    r.value1 = static_cast<qint16>((at(bytes, pos + 1) << 8) | at(bytes, pos + 2));
    quint64 v2 = 0;
    for (int i = 3; i < 8; ++i)
        v2 = (v2 << 8) | at(bytes, pos + i);
    r.value2 = v2;
    r.hz = (static_cast<double>(r.value1) - 10.0) * kFrequencyScale / static_cast<double>(v2);
    return r;
}

QVector<FrequencyRecord> decodeRecords(const QByteArray& bytes)
{
    QVector<FrequencyRecord> out;
    const int count = bytes.size() / kRecordBytes;
    out.reserve(count);
    for (int i = 0; i < count; ++i)
        out.append(decodeRecord(bytes, i * kRecordBytes));
    return out;
}

bool isFidHead(const QByteArray& piece)
{
    return piece.size() >= 2 && FidFrames::isFidMarker(at(piece, 0)) && at(piece, 1) == 0x00;
}

FidCheck assembleFidFrame(QByteArray& piece, QByteArray& partialFrame)
{
    const int size = piece.size();
    if (size < 4)
        return FidCheck::TooShort;
    if (size > kFidFrameBytes) {
        qDebug() << "250617 data error1";
        return FidCheck::TooLong;
    }
    if (isFidHead(piece)) {
        if (size == kFidFrameBytes)
            return FidCheck::Accepted;
        partialFrame = piece;
        return FidCheck::HeldHead;
    }
    if (size == kFidFrameBytes) {
        qDebug() << "250617 data error3";
        return FidCheck::NoHead;
    }
    piece.prepend(partialFrame);
    partialFrame.clear();
    if (piece.size() == kFidFrameBytes)
        return FidCheck::Accepted;
    qDebug() << "250617 data error2";
    return FidCheck::JoinFailed;
}

VectorCheck checkVectorFrameHeader(const QByteArray& frame)
{
    if (!FidFrames::isVectorFIDFrameHead(frame)) {
        qDebug() << "wrong biaoTou";
        return VectorCheck::WrongHead;
    }
    if (frame.size() != kVectorFrameBytes) {
        qDebug() << "wrong size:" << frame.size() << kVectorFrameBytes;
        return VectorCheck::WrongSize;
    }
    return VectorCheck::Good;
}

QList<FIDVectorNum> buildVectorRecords(const QVector<double>& frequencies, double hzPerNt)
{
    QList<FIDVectorNum> records;
    if (frequencies.size() != kFrequenciesPerBlock) {
        qDebug() << "202500721 error fid size error";
        return records;
    }
    for (int g = 0; g < kFrequenciesPerBlock / kFrequenciesPerRecord; ++g) {
        const double* f = frequencies.constData() + g * kFrequenciesPerRecord;
        FIDVectorNum r;
        r.x = (f[0] - f[2]) / hzPerNt;
        r.y = (f[3] - f[5]) / hzPerNt;
        r.z = (f[6] - f[8]) / hzPerNt;
        r.s = (f[1] + f[4] + f[7]) / (3 * hzPerNt);
        for (int i = 0; i < kFrequenciesPerRecord; ++i)
            r.f[size_t(i)] = f[i];
        r.valid = std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.z) && std::isfinite(r.s);
        records.append(r);
    }
    return records;
}

QString frameDump(const QString& lead, const QByteArray& frame)
{
    QString text = lead;
    text += QLatin1Char('\n');
    const QByteArray hex = frame.toHex().toUpper();
    for (int i = 0; i < hex.size(); i += 16) {
        text += QString::fromLatin1(hex.mid(i, 16));
        text += QLatin1Char('\n');
    }
    return text;
}

BiasResult biasComponent(double b0, double bPlus, double bMinus)
{
    BiasResult out;
    out.r = (bPlus * bPlus + bMinus * bMinus) / 2 - b0 * b0;
    if (out.r < 1e-6)
        return out;
    out.valid = true;
    out.value = (bPlus * bPlus - bMinus * bMinus) / (4 * std::sqrt(out.r));
    return out;
}

} // namespace VectorRecords
