#pragma once
// Readers that cut the instrument's FID frames out of the raw byte stream:
// scalar FID frames of 400 bytes and three-axis vector frames of 288 bytes,
// both made of 8-byte records whose first byte is a marker (E0, E1, E2, E4,
// E8 or EF). Each reader keeps its buffer between calls; feed it whatever
// the port delivered and it returns the complete frames. No port, no thread.
//
// The vector reader first takes known Modbus replies out of the stream
// (a chain of frame scanners), since the instrument may answer polls in the
// middle of its vector frames.

#include <QByteArray>
#include <QList>

namespace FidFrames
{

constexpr int kRecordBytes = 8;
constexpr int kFidFrameBytes = 400;
constexpr int kVectorFrameBytes = 288;
// Bytes needed before the scalar reader can test a head (markers at 0, 8, 16).
constexpr int kFidHeadProbe = 24;
// Bytes gathered before the vector reader starts looking for a head.
constexpr int kVectorSearchStart = 122;
constexpr int kStatusReplyBytes = 7;
constexpr int kParamReplyBytes = 253;

// Marker byte of a record: E0, E1, E2, E4, E8 or EF.
bool isFidMarker(quint8 b);
// More than 24 bytes with E8, EF, E4, E2 at bytes 0, 8, 16 and 24.
bool isVectorFIDFrameHead(const QByteArray& bytes);

// What the scanner chain took out of the stream to hand on.
struct KnownFrames {
    QList<QByteArray> statusReplies; // 7-byte status replies (01 03 02 .. B9 87)
    QList<QByteArray> paramReplies;  // 253-byte parameter blocks (01 03 F8 .. A5 5D)
};

// Runs the scanners in their fixed order (rate-read frames, status replies,
// identity blocks, write-multiple acks, the restart echo, parameter blocks);
// the first scanner that finds a span ends the chain and *found is set. A
// span runs from a head to the next tail after it and is removed; the two
// taking scanners hand on only spans of their reply's size.
QByteArray extractKnownFrames(QByteArray buffer, KnownFrames& taken, bool& found);

// 400-byte scalar FID frames. Searches for a head (markers at 0, 8 and 16)
// once at start and again whenever the stream falls out of step.
class ScalarFidReader
{
public:
    struct Chunk {
        QByteArray bytes;
        int remaining; // bytes still buffered after this chunk was cut
    };

    // Empties the buffer and searches for a head again.
    void reset();
    QList<Chunk> feed(const QByteArray& bytes);

    bool isSearching() const { return searching; }
    int bufferedBytes() const { return buffer.size(); }
    int chunkCount() const { return chunks; }

private:
    bool headAtFront() const;

    QByteArray buffer;
    bool searching = true;
    int chunks = 0;
};

// 288-byte vector frames, after the scanner chain.
class VectorFidReader
{
public:
    struct Output {
        QList<QByteArray> frames;
        KnownFrames known;
    };

    void reset();
    Output feed(const QByteArray& bytes);

    bool isSearching() const { return searching; }
    int bufferedBytes() const { return buffer.size(); }

private:
    QByteArray buffer;
    bool searching = true;
};

} // namespace FidFrames
