#pragma once
// The instrument's fixed request frames (as upper-case hex text, as the
// scheduler stores them), the stream start/stop pair of each sampling rate,
// and builders for the register writes that pages send as caller-built
// requests. Register numbers go into frames as themselves (40118 = 0x9CB6).

#include "core/types.h"

#include <QByteArray>
#include <QString>

namespace InstrumentFrames {

// Stored table frames by request kind.
inline const QString restart = QStringLiteral("01069CB6000187BC");    // 0: 40118 := 1
inline const QString retrack = QStringLiteral("01069CB60003067D");    // 1: 40118 := 3
inline const QString readStatus = QStringLiteral("01039CB600014BBC"); // 2: 7-byte reply
inline const QString readParams = QStringLiteral("01039CA4007C2B98"); // 3: 253-byte reply
inline const QString read40230 = QStringLiteral("01039D260003CBAC");  // 4: 11-byte reply
inline const QString ab30000 = QStringLiteral("AB010475300190EA24");  // 5
inline const QString ddsData = QStringLiteral("AB01047D000190E84B");  // 6
inline const QString readIdentity = QStringLiteral("01039C4000646BA5"); // 10: 205-byte reply

// Stream start and stop frames by sampling rate (samples per second);
// the rate code in the frame is rate / 10.
struct StreamPair {
    int rate;
    const char* start;
    const char* stop;
};
inline constexpr StreamPair streamPairs[] = {
    {10, "AB01047D0000012877", "AB01067D00000151B7"},
    {20, "AB01047D0000026876", "AB01067D00000211B6"},
    {200, "AB01047D000014E9B8", "AB01067D0000149078"},
    {500, "AB01047D0000326862", "AB01067D00003211A2"},
    {1000, "AB01047D000064E85C", "AB01067D000064919C"},
};
inline constexpr int kDefaultStreamRate = 1000;

// The pair for a rate, or nullptr when the instrument has none.
const StreamPair* streamPairFor(int rate);

// Stream frame size at a rate: rate code * 2 + 9 bytes (209 at 1000).
constexpr int streamFrameSize(int rate) { return rate / 10 * 2 + 9; }

// Register writes to unit 1, each closed with the CRC (low byte first).
// 0x06: one register := value.
QByteArray writeSingleRegister(quint16 reg, quint16 value);
// 0x10 of one register.
QByteArray writeOneRegister(quint16 reg, quint16 value);
// 0x10 of two registers holding a 32-bit value, low word first.
QByteArray writeUInt32(quint16 reg, quint32 value);
// 0x10 of two registers holding an IEEE single's bit pattern, low word first.
QByteArray writeFloat(quint16 reg, float value);

} // namespace InstrumentFrames
