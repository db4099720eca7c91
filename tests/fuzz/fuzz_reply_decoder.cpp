// Reply decoding: every decoder and byte-order helper on arbitrary bytes,
// each result compared with a second reading written here from the reply
// layout (register data from byte 3, each register high byte first, 32-bit
// values and singles low word first; a field past the end reads as 0).
//
// Input: the reply bytes.

#include "fuzzsupport.h"

#include "processing/replydecoder.h"

#include <cmath>
#include <cstring>

namespace
{

using ReplyDecoder::byteArrayToFloat;
using ReplyDecoder::byteArrayToUInt;
using ReplyDecoder::byteArrayToUInt32;

const uchar* at(const QByteArray& b, int pos)
{
    return reinterpret_cast<const uchar*>(b.constData()) + pos;
}

bool inside(const QByteArray& b, int pos, int len)
{
    return pos >= 0 && pos + len <= b.size();
}

quint16 register16(const QByteArray& b, int pos)
{
    return quint16((at(b, pos)[0] << 8) | at(b, pos)[1]);
}

quint16 expectedUInt16(const QByteArray& b, int pos)
{
    return inside(b, pos, 2) ? register16(b, pos) : 0;
}

quint32 expectedUInt32(const QByteArray& b, int pos)
{
    if (!inside(b, pos, 4))
        return 0;
    return (quint32(register16(b, pos + 2)) << 16) | register16(b, pos);
}

float floatFromBits(quint32 bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

bool sameFloat(double got, float expected)
{
    return std::isnan(expected) ? std::isnan(got) : got == double(expected);
}

void checkHelpers(const QByteArray& reply)
{
    const int size = reply.size();
    const uchar* p = at(reply, 0);
    const quint32 be32 = size >= 4 ? (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3] : 0;
    FUZZ_CHECK(byteArrayToUInt32(reply) == be32);
    FUZZ_CHECK(byteArrayToUInt(reply) == (size >= 2 ? quint16((p[0] << 8) | p[1]) : 0));
    FUZZ_CHECK(sameFloat(byteArrayToFloat(reply, false), floatFromBits(be32)));
    quint32 native = 0;
    if (size >= 4)
        std::memcpy(&native, p, sizeof native);
    FUZZ_CHECK(sameFloat(byteArrayToFloat(reply, true), floatFromBits(native)));

    const QByteArray swapped = ReplyDecoder::swapWords(reply);
    const int words = size / 2;
    FUZZ_CHECK(swapped.size() == 2 * words);
    for (int w = 0; w < words; ++w)
        FUZZ_CHECK(std::memcmp(swapped.constData() + 2 * w, reply.constData() + 2 * (words - 1 - w), 2) == 0);

    const QByteArray reversed = ReplyDecoder::reverseBytes(reply);
    FUZZ_CHECK(reversed.size() == size);
    for (int i = 0; i < size; ++i)
        FUZZ_CHECK(reversed.at(i) == reply.at(size - 1 - i));
}

void checkField(const QByteArray& reply, int pos)
{
    FUZZ_CHECK(ReplyDecoder::uint16At(reply, pos) == expectedUInt16(reply, pos));
    FUZZ_CHECK(ReplyDecoder::uint32At(reply, pos) == expectedUInt32(reply, pos));
    FUZZ_CHECK(sameFloat(ReplyDecoder::floatAt(reply, pos), floatFromBits(expectedUInt32(reply, pos))));
}

void checkFields(const QByteArray& reply)
{
    // The first bytes, both ends of the reply and just outside them; the
    // decoders' own positions are checked through the records.
    const int size = reply.size();
    for (int pos = -3; pos <= qMin(size, 8); ++pos)
        checkField(reply, pos);
    for (int pos = qMax(9, size - 5); pos <= size + 1; ++pos)
        checkField(reply, pos);
}

void checkRecords(const QByteArray& reply)
{
    FUZZ_CHECK(ReplyDecoder::decodeStatus(reply) == expectedUInt16(reply, 3));

    const RefreshData r = ReplyDecoder::decodeParameterBlock(reply);
    auto single = [&](int pos) { return floatFromBits(expectedUInt32(reply, pos)); };
    FUZZ_CHECK(r.ddsFreq == expectedUInt32(reply, 3));
    FUZZ_CHECK(sameFloat(r.laserTempSet, single(47)));
    FUZZ_CHECK(sameFloat(r.laserTemp, single(55)));
    FUZZ_CHECK(sameFloat(r.airTempSet, single(63)));
    FUZZ_CHECK(sameFloat(r.airTemp, single(71)));
    FUZZ_CHECK(sameFloat(r.laserElectricSet, single(87)));
    FUZZ_CHECK(sameFloat(r.laserElectric, single(95)));
    FUZZ_CHECK(sameFloat(r.pdeValue, single(111)));
    FUZZ_CHECK(sameFloat(r.pdValue, single(119)));

    QString serial;
    const bool haveSerial = ReplyDecoder::decodeSerialNumber(reply, &serial);
    FUZZ_CHECK(haveSerial == (reply.size() >= 7));
    if (haveSerial) {
        const uchar* b = at(reply, 0);
        const QString expected = QString::asprintf("%02X%02X%02X%02X", b[5], b[6], b[3], b[4]);
        FUZZ_CHECK(serial == expected);
    }
    FUZZ_CHECK(ReplyDecoder::decodeSerialNumber(reply, nullptr) == haveSerial);

    const RefreshDataEx ex = ReplyDecoder::decodeSweep(reply);
    FUZZ_CHECK(ex.fsStart == expectedUInt32(reply, 131));
    FUZZ_CHECK(ex.fsEnd == expectedUInt32(reply, 135));
    FUZZ_CHECK(ex.fsStep == expectedUInt32(reply, 139));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray reply = FuzzSupport::bytes(data, size);
    checkHelpers(reply);
    checkFields(reply);
    checkRecords(reply);
    return 0;
}
