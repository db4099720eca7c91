// Vector and FID frames through the data handler, as the dispatcher hands
// them on (tags 11 and 12): arbitrary pieces, repeated, with the filter on
// and off and a vector spectrum window of 0 or 1 s. Each record is decoded
// here a second time from the bytes (value1 signed 16-bit and value2
// unsigned 40-bit, both big-endian; f = (value1 - 10) x 262144e9 / value2);
// the FID frequencies handed to the playout and the vector records made of
// them must be those, and nothing may read past a piece's end.
//
// Input: byte 0 the mode (bit 0: 0 FID, 1 vector; bit 1 filter on; bit 2
// spectrum window 1 s), byte 1 how often the pieces are repeated; then
// pieces, each a 2-byte big-endian length followed by that many bytes (fewer
// when the input ends first).

#include "fuzzsupport.h"

#include "core/globalstate.h"
#include "processing/modbusdatahandler.h"

#include <QList>
#include <QVector>

#include <algorithm>
#include <cmath>

namespace
{

constexpr double kHzPerNt = 6.99583;

bool marker(quint8 b)
{
    return b == 0xE0 || b == 0xE1 || b == 0xE2 || b == 0xE4 || b == 0xE8 || b == 0xEF;
}

quint8 byteAt(const QByteArray& b, int i)
{
    return quint8(b.at(i));
}

QVector<double> frequencies(const QByteArray& frame)
{
    QVector<double> out;
    for (int p = 0; p + 8 <= frame.size(); p += 8) {
        const int value1 = qint16(quint16(byteAt(frame, p + 1) << 8 | byteAt(frame, p + 2)));
        quint64 value2 = 0;
        for (int i = p + 3; i < p + 8; ++i)
            value2 = value2 << 8 | byteAt(frame, i);
        out << (double(value1) - 10.0) * 262144e9 / double(value2);
    }
    return out;
}

bool sameNumber(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

bool allFinite(const QVector<double>& v)
{
    return std::all_of(v.cbegin(), v.cend(), [](double x) { return std::isfinite(x); });
}

struct Seen {
    QList<QVector<double>> handedOut;
    QList<FIDVectorNum> records;
    QList<FIDVectorData> forms;
};

Seen& seen()
{
    static Seen s;
    return s;
}

// A FID piece as the rejoin rules take it: a whole frame with a head, or a
// head piece held for one join with the next piece without a head.
bool rejoin(QByteArray& piece, QByteArray& held)
{
    const int n = piece.size();
    if (n < 4 || n > 400)
        return false;
    const bool head = marker(byteAt(piece, 0)) && byteAt(piece, 1) == 0x00;
    if (head) {
        if (n < 400)
            held = piece;
        return n == 400;
    }
    if (n == 400)
        return false;
    piece = held + piece;
    held.clear();
    return piece.size() == 400;
}

void runFid(ModbusDataHandler& h, const QList<QByteArray>& pieces, int repeats, bool filterOn)
{
    QByteArray held;
    QVector<double> waiting;
    for (int r = 0; r < repeats; ++r) {
        for (QByteArray piece : pieces) {
            seen().handedOut.clear();
            h.slots_readDataFinished(AddrFid, piece);
            if (rejoin(piece, held))
                for (double f : frequencies(piece))
                    if (f > 0 && std::isfinite(f))
                        waiting << f;
            QList<QVector<double>> expected;
            if (!filterOn && waiting.size() >= 1000) {
                QVector<double> block = waiting.mid(0, 1000);
                for (double& v : block)
                    v *= 1000.0;
                expected << block;
                waiting.remove(0, 1000);
            } else if (filterOn && waiting.size() >= 1600) {
                waiting.remove(0, 1000);
                FUZZ_CHECK(seen().handedOut.size() == 1);
                FUZZ_CHECK(seen().handedOut.first().size() == 1000 && allFinite(seen().handedOut.first()));
                expected = seen().handedOut;
            }
            FUZZ_CHECK(seen().handedOut == expected);
            FUZZ_CHECK(h.pendingFidFrequencies() == waiting.size());
        }
    }
}

void runVector(ModbusDataHandler& h, const QList<QByteArray>& pieces, int repeats, int window)
{
    QVector<double> waiting;
    int historyLength = 0;
    for (int r = 0; r < repeats; ++r) {
        for (const QByteArray& piece : pieces) {
            seen().records.clear();
            seen().forms.clear();
            h.slots_readDataFinished(AddrVectorFid, piece);
            const bool good = piece.size() == 288 && byteAt(piece, 0) == 0xE8 && byteAt(piece, 8) == 0xEF &&
                              byteAt(piece, 16) == 0xE4 && byteAt(piece, 24) == 0xE2;
            QList<FIDVectorNum> expected;
            if (good)
                waiting += frequencies(piece);
            int blocks = 0;
            while (waiting.size() >= 36) {
                for (int g = 0; g < 4; ++g) {
                    const double* f = waiting.constData() + 9 * g;
                    FIDVectorNum v;
                    v.x = (f[0] - f[2]) / kHzPerNt;
                    v.y = (f[3] - f[5]) / kHzPerNt;
                    v.z = (f[6] - f[8]) / kHzPerNt;
                    v.s = (f[1] + f[4] + f[7]) / (3 * kHzPerNt);
                    std::copy(f, f + 9, v.f.begin());
                    expected << v;
                }
                waiting.remove(0, 36);
                ++blocks;
            }
            FUZZ_CHECK(seen().records.size() == expected.size());
            for (int i = 0; i < expected.size(); ++i) {
                const FIDVectorNum& a = seen().records.at(i);
                const FIDVectorNum& e = expected.at(i);
                FUZZ_CHECK(sameNumber(a.x, e.x) && sameNumber(a.y, e.y) && sameNumber(a.z, e.z) &&
                           sameNumber(a.s, e.s));
                for (size_t k = 0; k < 9; ++k)
                    FUZZ_CHECK(sameNumber(a.f[k], e.f[k]));
                FUZZ_CHECK(a.valid ==
                           (std::isfinite(e.x) && std::isfinite(e.y) && std::isfinite(e.z) && std::isfinite(e.s)));
            }
            FUZZ_CHECK(seen().forms.size() == blocks);
            for (int b = 0; b < blocks; ++b) {
                const FIDVectorData& form = seen().forms.at(b);
                historyLength = std::min(historyLength + 4, window);
                FUZZ_CHECK(form.data[4].isEmpty());
                for (size_t axis = 0; axis < 4; ++axis) {
                    FUZZ_CHECK(form.data[axis].size() == 4);
                    FUZZ_CHECK(form.freq[axis].size() == form.amp[axis].size());
                    if (window == 0)
                        FUZZ_CHECK(form.freq[axis].isEmpty());
                }
                FUZZ_CHECK(h.vectorHistory(3).size() == historyLength);
                FUZZ_CHECK(form.spectrumValid == (historyLength >= window));
            }
            FUZZ_CHECK(h.pendingVectorFrequencies() == waiting.size());
        }
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
    const bool vector = data[0] & 1;
    const bool filterOn = data[0] & 2;
    const int window = (data[0] & 4) ? 111 : 0; // records in 0 or 1 s
    const int repeats = 1 + data[1] % 32;

    QList<QByteArray> pieces;
    size_t bytes = 0;
    for (size_t pos = 2; pos + 2 <= size;) {
        const size_t wanted = size_t(data[pos]) << 8 | data[pos + 1];
        pos += 2;
        const size_t length = std::min(wanted, size - pos);
        pieces << FuzzSupport::bytes(data + pos, length);
        pos += length;
        bytes += length;
    }
    if (pieces.isEmpty())
        return 0;

    {
        GlobalState& global = GlobalState::instance();
        QMutexLocker lock(&global.measTimeMutex);
        global.measTime = window / 111;
    }
    // A fresh handler per input; its slots then run on this thread.
    ModbusDataHandler handler(nullptr);
    handler.shutdown();
    handler.slots_setFilterEnabled(filterOn);
    QObject::connect(&handler, &ModbusDataHandler::sig_handoutData, &handler,
                     [](QVector<double> block) { seen().handedOut << block; });
    QObject::connect(&handler, &ModbusDataHandler::sig_saveVectorXYZS, &handler,
                     [](FIDVectorNum record, QDateTime) { seen().records << record; });
    QObject::connect(&handler, &ModbusDataHandler::sig_updateVectorForm, &handler,
                     [](FIDVectorData form) { seen().forms << form; });

    // About 16 KiB in all (a full vector spectrum window, a FID filter
    // window), so that an input stays in the milliseconds.
    const int times = std::max(1, std::min(repeats, int(16384 / std::max<size_t>(bytes, 1))));
    if (vector)
        runVector(handler, pieces, times, window);
    else
        runFid(handler, pieces, times, filterOn);
    return 0;
}
