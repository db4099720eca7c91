#pragma once
// Modbus CRC-16 and small byte utilities of the instrument link.
// Ranges outside the data give the invalid results instead of reading past
// the end: 0xFFFFFFFF for a CRC, false for a check, 0 for a sum.

#include <QByteArray>
#include <QList>
#include <QVector>

// CRC-16/MODBUS of data[start .. start+len-1]: 0 to 0xFFFF; len <= 0 gives 0xFFFFFFFF.
// The pointer form trusts the caller for the extent of data.
quint32 calculateCRC16(const char* data, int start, int len);
quint32 calculateCRC16(const QByteArray& data, int start, int len);

// Appends the CRC of data[start .. start+len-1], low byte first.
// len <= 0 (or a range outside data) appends 0xFF 0xFF.
void appendCRC16(QByteArray& data, int start, int len);

// True when the last two bytes of data[start .. start+len-1] are the CRC of
// the bytes before them (low byte first).
bool checkCRC16(const char* data, int start, unsigned int len);
bool checkCRC16(const QByteArray& data, int start, int len);

// Sum of data[start .. start+len-1] modulo 256; len <= 0 gives 0.
quint8 calculateSum8(const char* data, int start, int len);
quint8 calculateSum8(const QByteArray& data, int start, int len);

// Consecutive n-byte pieces from the start; a shorter remainder is dropped.
// n <= 0 gives an empty list.
QVector<QByteArray> splitByLength(const QByteArray& data, int n);

// Pieces that each end with the separator; the last is what follows the last
// separator (empty when data ends with one). An empty separator gives an
// empty list.
QList<QByteArray> splitBySeparator(const QByteArray& data, const QByteArray& separator);
