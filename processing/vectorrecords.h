#pragma once
// The instrument's FID frequency records and the frames made of them.
//
// A record is 8 bytes: a marker byte, value1 (signed 16-bit, big-endian) and
// value2 (unsigned 40-bit, big-endian); its frequency in Hz is
// (value1 - 10) x 262144e9 / value2. Scalar FID frames hold 50 records
// (400 bytes, head: one of E0 E1 E2 E4 E8 EF, then 00); vector frames hold 36
// (288 bytes, markers E8 EF E4 E2 at bytes 0, 8, 16, 24), that is four groups
// of nine frequencies, each group one x, y, z, s record.
//
// Plain functions; the debug lines named are written here.

#include "core/types.h"
#include "link/fidreaders.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

namespace VectorRecords
{

// The frame sizes the link's readers cut.
constexpr int kRecordBytes = FidFrames::kRecordBytes;
constexpr int kFidFrameBytes = FidFrames::kFidFrameBytes;
constexpr int kVectorFrameBytes = FidFrames::kVectorFrameBytes;
constexpr int kFrequenciesPerBlock = 36;
constexpr int kFrequenciesPerRecord = 9;
constexpr double kFrequencyScale = 2.62144e14; // 262144 x 10^9

struct FrequencyRecord {
    int value1 = 0;
    quint64 value2 = 0;
    double hz = 0.0; // infinite or undefined when value2 is 0
};

// The record at byte pos; the caller makes sure 8 bytes are there.
FrequencyRecord decodeRecord(const QByteArray& bytes, int pos);
// Every complete record of the bytes, in order; a trailing part is ignored.
QVector<FrequencyRecord> decodeRecords(const QByteArray& bytes);

// A FID frame head: one of the marker bytes, then 00.
bool isFidHead(const QByteArray& piece);

enum class FidCheck {
    Accepted,  // one complete frame (possibly rejoined in place)
    TooShort,  // fewer than 4 bytes
    TooLong,   // more than one frame ("250617 data error1")
    HeldHead,  // a head piece kept until its rest arrives
    NoHead,    // a whole frame's length without a head ("250617 data error3")
    JoinFailed // held head and piece do not make one frame ("250617 data error2")
};

// Checks a FID piece and rejoins split frames. partialFrame holds the head
// piece between calls; it is used for one join attempt only, so a stale head
// is never spliced to a later piece.
FidCheck assembleFidFrame(QByteArray& piece, QByteArray& partialFrame);

enum class VectorCheck { Good, WrongHead, WrongSize };

// Head bytes first ("wrong biaoTou"), then the size ("wrong size:").
VectorCheck checkVectorFrameHeader(const QByteArray& frame);

// Four records from 36 frequencies (Hz), group by group: x = (f0 - f2) / k,
// y = (f3 - f5) / k, z = (f6 - f8) / k, s = (f1 + f4 + f7) / (3 k), in nT.
// Any other count: the debug line "202500721 error fid size error" and no
// records.
QList<FIDVectorNum> buildVectorRecords(const QVector<double>& frequencies, double hzPerNt);

// lead, then the bytes as upper-case hex, 16 digits (8 bytes) per line,
// each line ended by a line feed.
QString frameDump(const QString& lead, const QByteArray& frame);

// A bias-field component from the magnitudes b0, b+ and b-:
// (b+^2 - b-^2) / (4 sqrt(r)) with r = (b+^2 + b-^2) / 2 - b0^2. r <= 0 and
// r below 1e-6 give 0 and are not valid.
struct BiasResult {
    double value = 0.0;
    double r = 0.0;
    bool valid = false;
};
BiasResult biasComponent(double b0, double bPlus, double bMinus);

} // namespace VectorRecords
