#pragma once
// What the link's reply readers do with the bytes waiting in the port, as
// plain functions of those bytes: the reader slots peek at what waits, ask
// these functions, then take the bytes they consumed from the port.

#include <QByteArray>
#include <QVector>

namespace ReplyCutter
{

// A read reply of unit 1, function 3, whose byte count matches its length
// (length - 5) and whose CRC holds. Shorter than 5 bytes is never one.
bool isWellFormedReadReply(const QByteArray& reply);

struct FixedReply {
    enum Outcome {
        Incomplete, // fewer than size bytes wait; nothing is consumed
        Accepted,   // the first size bytes are a well-formed reply
        Rejected    // the first size bytes are no reply: everything waiting goes
    };
    Outcome outcome = Incomplete;
    QByteArray reply; // the first size bytes (accepted or rejected)
    int consumed = 0; // bytes to take from the front of what waits
};

// One step of a fixed-size reader. After a broken reply, whatever follows
// it is out of step too, so all waiting bytes are consumed.
FixedReply cutFixedReply(const QByteArray& waiting, int size);

// Every whole stream frame of frameSize bytes from the front of what waits;
// *consumed is their total length. The stream reader does not look for
// frame boundaries (the data handler rejoins split frames). frameSize <= 0
// gives none.
QVector<QByteArray> cutStreamFrames(const QByteArray& waiting, int frameSize, int* consumed);

} // namespace ReplyCutter
