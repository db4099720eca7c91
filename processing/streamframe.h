#pragma once
// The instrument's sample stream: fixed-size frames AB 01, three header
// bytes, the payload of little-endian 32-bit samples (mHz), then progress
// status, one spare byte, signal strength and the FF tail. The serial link
// may hand a frame over in two pieces, a head piece and a tail piece.

#include <QByteArray>
#include <QString>
#include <QVector>

namespace StreamFrame {

constexpr int kOverhead = 9; // head 2 + header 3 + status 1 + spare 1 + strength 1 + tail 1
constexpr int kPayloadOffset = 5;

inline int frameSize(int frameDataBytes) { return frameDataBytes + kOverhead; }

enum class Check {
    Accepted,     // piece holds one complete frame (possibly rejoined in place)
    HeldHead,     // a head piece, kept until its tail arrives
    Ignored,      // too short, or a short piece that is neither head nor tail
    TooLong,      // longer than one frame ("data error1")
    JoinFailed,   // head and tail do not join to one frame ("data error2")
    BadHeadOrTail // one frame's length without the head or the tail ("data error3")
};

// Checks a piece against the frame size and rejoins split frames. heldHead
// is the head piece kept between calls; it is replaced by every new head
// piece and cleared once a tail has been offered to it, joined or not, so a
// stale head is never spliced to a later tail. Writes the debug line of each
// error kind.
Check assemble(QByteArray& piece, QByteArray& heldHead, int frameDataBytes);

// Frame errors of the stream over one report span: counted instead of
// logged one by one, since a bad line can spoil dozens of frames a second.
struct ErrorTally {
    int tooLong = 0;       // pieces longer than a frame
    int badHeadOrTail = 0; // a frame's length without its head or tail
    int unjoined = 0;      // split pieces that made no frame: failed joins, stray pieces, heads never completed
    int restarts = 0;      // stream stop and start requests
    qint64 bytesDiscarded = 0;

    // Counts one rejected piece of the given size.
    void count(Check check, int bytes);
    int framesDropped() const { return tooLong + badHeadOrTail + unjoined; }
    bool isEmpty() const { return framesDropped() == 0 && restarts == 0 && bytesDiscarded == 0; }
    // One log line with the counts of a span of spanMs.
    QString summary(int spanMs) const;
};

// Samples of an accepted frame, in mHz: valueType 0 reads each sample as an
// unsigned 32-bit integer, 1 as an IEEE single, both little-endian. Trailing
// bytes that do not fill a sample are ignored.
QVector<double> decodeSamples(const QByteArray& frame, int frameDataBytes, int bytesPerSample, int valueType);

// Trailer bytes of an accepted frame.
inline int progressStatus(const QByteArray& frame) { return static_cast<uchar>(frame.at(frame.size() - 4)); }
inline int signalStrength(const QByteArray& frame) { return static_cast<uchar>(frame.at(frame.size() - 2)); }

// Remembers the last signal strength reported, so that only changes go out.
class StrengthTracker
{
public:
    // True when strength (0 to 4) differs from the last one reported; it is
    // then the last one. Values above 4 are neither reported nor kept.
    bool update(int strength)
    {
        if (strength < 0 || strength > 4 || strength == m_last)
            return false;
        m_last = strength;
        return true;
    }
    int last() const { return m_last; }

private:
    int m_last = -1;
};

// The one tracker of the process; touched only on the processing thread.
StrengthTracker& processStrengthTracker();

} // namespace StreamFrame
