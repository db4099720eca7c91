// The link's FID readers: arbitrary bytes arriving in arbitrary pieces, one
// reader step per arrival. The scalar reader's 400-byte frames are compared
// with a reading of the whole stream at once (the frames it cuts do not
// depend on how the bytes were split); the vector reader, whose scanner chain
// depends on what each arrival holds, with a second writing of its rules,
// step by step. Every frame handed on has the size it stands for and its
// head; every reply taken out of the stream is the reply it claims to be.
//
// Input: byte 0 picks the reader (bit 0: 0 scalar, 1 vector) and, with byte
// 1, the piece sizes; the rest is the stream.

#include "fuzzsupport.h"

#include "link/fidreaders.h"

#include <algorithm>
#include <vector>

namespace
{

using Bytes = std::vector<quint8>;

const int kPieces[] = {1, 400, 3, 24, 288, 17, 1000, 2, 121, 122, 7, 253, 64, 5, 401, 287};

Bytes toBytes(const QByteArray& b)
{
    return Bytes(b.begin(), b.end());
}

bool marker(quint8 b)
{
    return b == 0xE0 || b == 0xE1 || b == 0xE2 || b == 0xE4 || b == 0xE8 || b == 0xEF;
}

// ---- scalar FID frames, read from the whole stream ----

bool scalarHead(const Bytes& s, size_t p)
{
    return p + 24 <= s.size() && marker(s[p]) && marker(s[p + 8]) && marker(s[p + 16]);
}

// Start offsets of the frames: search from the front for a head (markers at
// 0, 8, 16), then a frame every 400 bytes while each starts with a head;
// a frame without one starts the search again there.
std::vector<size_t> scalarFrames(const Bytes& s)
{
    std::vector<size_t> starts;
    size_t p = 0;
    for (;;) {
        while (p + 24 <= s.size() && !scalarHead(s, p))
            ++p;
        if (!scalarHead(s, p))
            return starts;
        while (p + 400 <= s.size() && scalarHead(s, p)) {
            starts.push_back(p);
            p += 400;
        }
        if (p + 400 > s.size())
            return starts;
    }
}

// ---- vector frames, step by step ----

struct Taken {
    std::vector<Bytes> status;
    std::vector<Bytes> params;
};

constexpr size_t kNone = size_t(-1);

size_t findAt(const Bytes& b, const Bytes& pattern, size_t from)
{
    if (from > b.size())
        return kNone;
    const auto it = std::search(b.begin() + long(from), b.end(), pattern.begin(), pattern.end());
    return it == b.end() ? kNone : size_t(it - b.begin());
}

// Every span from a head to the next tail after it goes; searching goes on
// where the span began. wanted: the length of a reply worth taking (0: none).
bool dropSpans(Bytes& b, const Bytes& head, const Bytes& tail, size_t wanted, std::vector<Bytes>* taken)
{
    bool any = false;
    size_t from = 0;
    for (;;) {
        const size_t h = findAt(b, head, from);
        if (h == kNone)
            return any;
        const size_t t = findAt(b, tail, h + head.size());
        if (t == kNone)
            return any;
        const size_t end = t + tail.size();
        if (taken && end - h == wanted)
            taken->emplace_back(b.begin() + long(h), b.begin() + long(end));
        b.erase(b.begin() + long(h), b.begin() + long(end));
        from = h;
        any = true;
    }
}

void chain(Bytes& b, Taken& taken)
{
    if (dropSpans(b, {0xAB, 0x01, 0x04}, {0x04, 0x02, 0xFF, 0xFF}, 0, nullptr))
        return;
    if (dropSpans(b, {0x01, 0x03, 0x02}, {0xB9, 0x87}, 7, &taken.status))
        return;
    if (dropSpans(b, {0x01, 0x03, 0xC8}, {0x7E, 0x50}, 0, nullptr))
        return;
    if (dropSpans(b, {0x01, 0x10, 0x9C}, {0xCF, 0xB5}, 0, nullptr))
        return;
    const Bytes echo{0x01, 0x06, 0x9C, 0xB6, 0x00, 0x01, 0x87, 0xBC};
    bool echoed = false;
    for (size_t at = findAt(b, echo, 0); at != kNone; at = findAt(b, echo, at)) {
        b.erase(b.begin() + long(at), b.begin() + long(at + echo.size()));
        echoed = true;
    }
    if (echoed)
        return;
    dropSpans(b, {0x01, 0x03, 0xF8}, {0xA5, 0x5D}, 253, &taken.params);
}

bool vectorHead(const Bytes& b, size_t p = 0)
{
    return b.size() > p + 24 && b[p] == 0xE8 && b[p + 8] == 0xEF && b[p + 16] == 0xE4 && b[p + 24] == 0xE2;
}

struct VectorModel {
    Bytes buffer;
    bool searching = true;

    std::vector<Bytes> feed(const Bytes& piece, Taken& taken)
    {
        std::vector<Bytes> frames;
        buffer.insert(buffer.end(), piece.begin(), piece.end());
        chain(buffer, taken);
        for (;;) {
            if (searching) {
                if (buffer.size() < 122)
                    return frames;
                size_t drop = 0;
                while (buffer.size() - drop > 24 && !vectorHead(buffer, drop))
                    ++drop;
                buffer.erase(buffer.begin(), buffer.begin() + long(drop));
                if (!vectorHead(buffer))
                    return frames;
                searching = false;
            }
            while (buffer.size() >= 288 && vectorHead(buffer)) {
                frames.emplace_back(buffer.begin(), buffer.begin() + 288);
                buffer.erase(buffer.begin(), buffer.begin() + 288);
            }
            if (buffer.size() < 288)
                return frames;
            searching = true; // out of step
        }
    }
};

bool same(const QByteArray& a, const Bytes& b)
{
    return toBytes(a) == b;
}

void runScalar(const QByteArray& stream, int first)
{
    const Bytes all = toBytes(stream);
    const std::vector<size_t> starts = scalarFrames(all);

    FidFrames::ScalarFidReader reader;
    size_t next = 0;
    int delivered = 0;
    for (int i = first; delivered < stream.size(); ++i) {
        const int n = kPieces[size_t(i) % (sizeof kPieces / sizeof *kPieces)];
        const QByteArray piece = stream.mid(delivered, n);
        delivered += piece.size();
        for (const FidFrames::ScalarFidReader::Chunk& c : reader.feed(piece)) {
            FUZZ_CHECK(next < starts.size());
            const size_t at = starts[next++];
            FUZZ_CHECK(c.bytes.size() == FidFrames::kFidFrameBytes);
            FUZZ_CHECK(same(c.bytes, Bytes(all.begin() + long(at), all.begin() + long(at + 400))));
            // What stays buffered is exactly what arrived after this frame.
            FUZZ_CHECK(c.remaining == int(size_t(delivered) - (at + 400)));
        }
        FUZZ_CHECK(reader.bufferedBytes() <= delivered);
    }
    FUZZ_CHECK(next == starts.size());
    FUZZ_CHECK(reader.chunkCount() == int(starts.size()));
}

void runVector(const QByteArray& stream, int first)
{
    FidFrames::VectorFidReader reader;
    VectorModel model;
    int delivered = 0;
    long long handedOn = 0;
    for (int i = first; delivered < stream.size(); ++i) {
        const int n = kPieces[size_t(i) % (sizeof kPieces / sizeof *kPieces)];
        const QByteArray piece = stream.mid(delivered, n);
        delivered += piece.size();

        const FidFrames::VectorFidReader::Output out = reader.feed(piece);
        Taken taken;
        const std::vector<Bytes> frames = model.feed(toBytes(piece), taken);

        FUZZ_CHECK(size_t(out.frames.size()) == frames.size());
        for (int k = 0; k < out.frames.size(); ++k) {
            const QByteArray& f = out.frames.at(k);
            FUZZ_CHECK(f.size() == FidFrames::kVectorFrameBytes && FidFrames::isVectorFIDFrameHead(f));
            FUZZ_CHECK(same(f, frames[size_t(k)]));
        }
        FUZZ_CHECK(size_t(out.known.statusReplies.size()) == taken.status.size());
        for (int k = 0; k < out.known.statusReplies.size(); ++k) {
            const QByteArray& r = out.known.statusReplies.at(k);
            FUZZ_CHECK(r.size() == FidFrames::kStatusReplyBytes && r.startsWith("\x01\x03\x02") &&
                       r.endsWith("\xB9\x87"));
            FUZZ_CHECK(same(r, taken.status[size_t(k)]));
        }
        FUZZ_CHECK(size_t(out.known.paramReplies.size()) == taken.params.size());
        for (int k = 0; k < out.known.paramReplies.size(); ++k) {
            const QByteArray& r = out.known.paramReplies.at(k);
            FUZZ_CHECK(r.size() == FidFrames::kParamReplyBytes && r.startsWith("\x01\x03\xF8") &&
                       r.endsWith("\xA5\x5D"));
            FUZZ_CHECK(same(r, taken.params[size_t(k)]));
        }
        FUZZ_CHECK(size_t(reader.bufferedBytes()) == model.buffer.size());
        FUZZ_CHECK(reader.isSearching() == model.searching);
        handedOn += 288LL * out.frames.size();
        FUZZ_CHECK(handedOn + reader.bufferedBytes() <= delivered);
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
    const QByteArray stream = FuzzSupport::bytes(data + 2, size - 2);
    const int first = (data[0] >> 1) ^ data[1];
    if (data[0] & 1) {
        runVector(stream, first);
    } else {
        runScalar(stream, first);
        runScalar(stream, first + 5); // other pieces, the same frames
    }
    return 0;
}
