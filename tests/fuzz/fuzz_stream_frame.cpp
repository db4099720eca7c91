// Stream frames: arbitrary pieces, as the link may cut them, through the
// frame check and rejoin and the sample decoding, at every frame size the
// data handler can be set to.
//
// Input: byte 0 picks the payload size, bit 0 of byte 1 the sample encoding
// (0 unsigned, 1 IEEE single); then pieces, each a 2-byte big-endian length
// followed by that many bytes (fewer when the input ends first).

#include "fuzzsupport.h"

#include "core/types.h"
#include "link/instrumentframes.h"
#include "processing/streamframe.h"

#include <QVector>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{

// Payload bytes of one frame: rate / 5 for every rate of the rate table and
// every rate the instrument has start frames for, and the default 200.
QVector<int> payloadSizes()
{
    QVector<int> sizes{200};
    for (int rate : RateStrideMap.keys())
        sizes << rate / 5;
    for (const auto& pair : InstrumentFrames::streamPairs)
        sizes << pair.rate / 5;
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes;
}

quint32 littleEndian32(const QByteArray& b, int pos)
{
    const auto* p = reinterpret_cast<const uchar*>(b.constData()) + pos;
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

bool isHead(const QByteArray& piece)
{
    return piece.size() >= 2 && uchar(piece.at(0)) == 0xAB && uchar(piece.at(1)) == 0x01;
}

void checkSamples(const QByteArray& frame, int frameDataBytes, int valueType)
{
    const QVector<double> samples = StreamFrame::decodeSamples(frame, frameDataBytes, 4, valueType);
    FUZZ_CHECK(samples.size() == frameDataBytes / 4);
    for (int i = 0; i < samples.size(); ++i) {
        const quint32 raw = littleEndian32(frame, StreamFrame::kPayloadOffset + 4 * i);
        if (valueType == 0) {
            FUZZ_CHECK(samples.at(i) == double(raw));
        } else {
            float expected;
            std::memcpy(&expected, &raw, sizeof expected);
            FUZZ_CHECK(std::isnan(expected) ? std::isnan(samples.at(i)) : samples.at(i) == double(expected));
        }
        // The field conversion every sample goes through on its way out.
        const double nT = mHzToNanoTesla(samples.at(i));
        FUZZ_CHECK(std::isnan(nT) == std::isnan(samples.at(i)));
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
    static const QVector<int> sizes = payloadSizes();
    if (size < 2)
        return 0;
    const int frameDataBytes = sizes.at(data[0] % sizes.size());
    const int valueType = data[1] & 1;
    const int n = StreamFrame::frameSize(frameDataBytes);

    QByteArray heldHead;
    StreamFrame::StrengthTracker tracker;
    size_t pos = 2;
    while (pos + 2 <= size) {
        const size_t wanted = (size_t(data[pos]) << 8) | data[pos + 1];
        pos += 2;
        const size_t length = std::min(wanted, size - pos);
        QByteArray piece = FuzzSupport::bytes(data + pos, length);
        pos += length;

        const QByteArray offered = piece;
        const QByteArray headBefore = heldHead;
        const StreamFrame::Check check = StreamFrame::assemble(piece, heldHead, frameDataBytes);
        // A held head is always a head piece shorter than a frame.
        FUZZ_CHECK(heldHead.isEmpty() || (isHead(heldHead) && heldHead.size() < n));

        switch (check) {
        case StreamFrame::Check::Accepted: {
            FUZZ_CHECK(piece.size() == n);
            FUZZ_CHECK(isHead(piece) && uchar(piece.at(n - 1)) == 0xFF);
            FUZZ_CHECK(piece == offered || piece == headBefore + offered);
            const int strength = StreamFrame::signalStrength(piece);
            const int last = tracker.last();
            const bool reported = tracker.update(strength);
            FUZZ_CHECK(reported == (strength <= 4 && strength != last));
            FUZZ_CHECK(StreamFrame::progressStatus(piece) == uchar(piece.at(n - 4)));
            checkSamples(piece, frameDataBytes, valueType);
            break;
        }
        case StreamFrame::Check::HeldHead:
            FUZZ_CHECK(heldHead == offered && offered.size() < n);
            break;
        case StreamFrame::Check::TooLong:
            FUZZ_CHECK(offered.size() > n);
            break;
        case StreamFrame::Check::BadHeadOrTail:
            FUZZ_CHECK(offered.size() == n);
            break;
        case StreamFrame::Check::JoinFailed:
            FUZZ_CHECK(piece.size() != n && uchar(offered.at(offered.size() - 1)) == 0xFF);
            break;
        case StreamFrame::Check::Ignored:
            FUZZ_CHECK(piece == offered);
            break;
        }
    }
    return 0;
}
