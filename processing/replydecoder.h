#pragma once
// Reading the register data of Modbus read replies. A reply is delivered as
// unit, function, byte count, register data (byte 3 onward, each register
// high byte first) and CRC; only the register data is read, nothing else is
// checked. 32-bit values and IEEE singles span two registers, low word first.
//
// A field that lies past the end of a short reply reads as 0, with one
// line in the application log naming the helper that came up short.

#include "core/types.h"

#include <QByteArray>
#include <QString>

namespace ReplyDecoder {

// Byte-order helpers. Each reads the first bytes of its argument.
quint32 byteArrayToUInt32(const QByteArray& bytes);               // 4 bytes, big-endian
quint16 byteArrayToUInt(const QByteArray& bytes);                 // 2 bytes, big-endian
float byteArrayToFloat(const QByteArray& bytes, bool native);     // big-endian unless native
QByteArray swapWords(const QByteArray& bytes);                    // ABCD -> CDAB
QByteArray reverseBytes(const QByteArray& bytes);                 // ABCD -> DCBA

// Fields at byte position pos of a reply.
quint16 uint16At(const QByteArray& reply, int pos);               // one register
quint32 uint32At(const QByteArray& reply, int pos);               // two registers, low word first
float floatAt(const QByteArray& reply, int pos);                  // two registers, low word first

// Status reply (7 bytes): the progress status 0-4 in bytes 3-4.
int decodeStatus(const QByteArray& reply);
// Parameter block (253 bytes from register 40100).
RefreshData decodeParameterBlock(const QByteArray& reply);
// Identity block (205 bytes from register 40000): the serial number as the
// upper-case hex of register 40001 then 40000; false when bytes 3-6 are not
// all present.
bool decodeSerialNumber(const QByteArray& reply, QString* serialNumber);
// Identity block: the sweep record.
RefreshDataEx decodeSweep(const QByteArray& reply);

} // namespace ReplyDecoder
