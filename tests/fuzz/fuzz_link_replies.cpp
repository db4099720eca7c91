// The serial link's reply readers: bytes arriving in arbitrary chunks, one
// reader step per arrival (as one readyRead), for each fixed reply size and
// each stream frame size. Accepted replies are compared with a CRC-16 and
// header check written here; the bytes consumed must account for every byte.
//
// Input: byte 0 picks the reader (the four fixed reply sizes, then the
// stream at each rate); then chunks, each a length byte followed by that many
// bytes (fewer when the input ends first).

#include "fuzzsupport.h"

#include "link/instrumentframes.h"
#include "link/replycutter.h"

#include <QVector>

#include <algorithm>

namespace
{

// CRC-16/MODBUS, bit by bit: reflected polynomial 0xA001, start 0xFFFF.
quint16 crc16(const QByteArray& b, int len)
{
    quint16 crc = 0xFFFF;
    for (int i = 0; i < len; ++i) {
        crc ^= uchar(b.at(i));
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

bool expectedWellFormed(const QByteArray& r)
{
    const int n = r.size();
    if (n < 5 || uchar(r.at(0)) != 0x01 || uchar(r.at(1)) != 0x03 || uchar(r.at(2)) != n - 5)
        return false;
    const quint16 crc = crc16(r, n - 2);
    return uchar(r.at(n - 2)) == (crc & 0xFF) && uchar(r.at(n - 1)) == (crc >> 8);
}

// Reader sizes: status, rate registers, identity and parameter blocks; then
// stream frames at every rate the instrument has start frames for.
QVector<int> readerSizes(int* fixedCount)
{
    QVector<int> sizes{7, 11, 205, 253};
    *fixedCount = sizes.size();
    for (const auto& pair : InstrumentFrames::streamPairs)
        sizes << InstrumentFrames::streamFrameSize(pair.rate);
    return sizes;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int fixedCount = 0;
    static const QVector<int> sizes = readerSizes(&fixedCount);
    if (size < 1)
        return 0;
    FUZZ_CHECK(ReplyCutter::isWellFormedReadReply(FuzzSupport::bytes(data + 1, size - 1)) ==
               expectedWellFormed(FuzzSupport::bytes(data + 1, size - 1)));

    const int reader = data[0] % sizes.size();
    const int replySize = sizes.at(reader);
    const bool stream = reader >= fixedCount;

    QByteArray waiting;
    size_t pos = 1;
    while (pos < size) {
        const size_t length = std::min<size_t>(data[pos], size - pos - 1);
        waiting += FuzzSupport::bytes(data + pos + 1, length);
        pos += 1 + length;

        if (stream) {
            int consumed = -1;
            const QVector<QByteArray> frames = ReplyCutter::cutStreamFrames(waiting, replySize, &consumed);
            FUZZ_CHECK(frames.size() == waiting.size() / replySize);
            FUZZ_CHECK(consumed == frames.size() * replySize);
            for (int i = 0; i < frames.size(); ++i)
                FUZZ_CHECK(frames.at(i) == waiting.mid(i * replySize, replySize));
            waiting.remove(0, consumed);
            FUZZ_CHECK(waiting.size() < replySize);
            continue;
        }

        const ReplyCutter::FixedReply cut = ReplyCutter::cutFixedReply(waiting, replySize);
        switch (cut.outcome) {
        case ReplyCutter::FixedReply::Incomplete:
            FUZZ_CHECK(waiting.size() < replySize && cut.consumed == 0);
            break;
        case ReplyCutter::FixedReply::Accepted:
            FUZZ_CHECK(cut.reply == waiting.left(replySize) && cut.consumed == replySize);
            FUZZ_CHECK(expectedWellFormed(cut.reply));
            break;
        case ReplyCutter::FixedReply::Rejected:
            FUZZ_CHECK(cut.reply == waiting.left(replySize) && cut.consumed == waiting.size());
            FUZZ_CHECK(!expectedWellFormed(cut.reply));
            break;
        }
        waiting.remove(0, cut.consumed);
    }
    return 0;
}
