// Samples through the data handler's processing: the replay path (any
// finite value a replay file can hold) or whole stream frames, at every rate
// the bottom bar offers, filter on and off, with the playout ticks and the
// spectrum. Nothing may crash or hang, and every value handed on to the pages
// must be finite when the samples were of a sane size.
//
// Input: byte 0 the mode (bit 0 filter on, bit 3 stream frames instead of
// replay values), byte 1 the rate, byte 2 the pass filters, byte 3 how often
// the samples are repeated (up to about 4000 samples in all); then the
// samples, 8 bytes each (a double; values that are no finite number are
// skipped, as the replay loader skips them), or 4 bytes each (unsigned mHz)
// packed into stream frames.

#include "fuzzsupport.h"

#include "processing/modbusdatahandler.h"
#include "processing/streamframe.h"

#include <QVector>

#include <cmath>
#include <cstring>

namespace
{

bool allFinite(const QVector<double>& v)
{
    for (double x : v)
        if (!std::isfinite(x))
            return false;
    return true;
}

// Whether the samples being fed must give finite outputs.
bool& expectFinite()
{
    static bool expect = true;
    return expect;
}

void checkOutput(const QVector<double>& v)
{
    if (expectFinite())
        FUZZ_CHECK(allFinite(v));
}

// At most about 4000 samples in all (two filter windows, four spectrum
// windows), so that an input stays in the milliseconds.
int repeatsFor(int wanted, int samples)
{
    return qMax(1, qMin(wanted, 4000 / qMax(1, samples)));
}

QByteArray frameOf(const QVector<quint32>& samples, int payloadBytes)
{
    QByteArray f(payloadBytes + StreamFrame::kOverhead, '\0');
    f[0] = char(0xAB);
    f[1] = char(0x01);
    for (int i = 0; i < samples.size() && 4 * i + 3 < payloadBytes; ++i)
        for (int b = 0; b < 4; ++b)
            f[StreamFrame::kPayloadOffset + 4 * i + b] = char(samples.at(i) >> (8 * b));
    f[f.size() - 4] = 4;
    f[f.size() - 2] = 4;
    f[f.size() - 1] = char(0xFF);
    return f;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const int rates[] = {1, 10, 20, 200, 500, 1000};
    static const int passChoices[][2] = {{0, 0}, {0, 1}, {10, 0}, {100, 1}};
    if (size < 4)
        return 0;
    // A fresh handler per input, so that a finding does not depend on the
    // inputs before it. Its slots then run on this thread; ticks are calls.
    ModbusDataHandler handler(nullptr);
    handler.shutdown();
    ModbusDataHandler* h = &handler;
    QObject::connect(h, &ModbusDataHandler::sig_updateForm, h,
                     [](QVector<double> datas, FrequencyType) { checkOutput(datas); });
    QObject::connect(h, &ModbusDataHandler::sig_updateFormEx, h,
                     [](QVector<double> datas, QVector<double> f, QVector<double> fft) {
                         checkOutput(datas);
                         checkOutput(f);
                         checkOutput(fft);
                     });

    const bool filterOn = data[0] & 1;
    const bool frames = data[0] & 8;
    const int rate = rates[data[1] % (sizeof rates / sizeof *rates)];
    const int* pass = passChoices[data[2] % 4];
    const int wantedRepeats = 1 + data[3] % 40;

    // As the bottom bar sets a rate: 1 and 20 are modes of the 1000 stream
    // without the size change.
    const bool slowMode = rate == 1 || rate == 20;
    h->slots_setOneHz(rate == 1);
    h->slots_setTwentyHz(rate == 20);
    h->slots_setFilterEnabled(filterOn);
    h->slots_syncDataByteCount(slowMode ? 1000 : rate, !slowMode);
    DataParam param{pass[0], pass[1], 1.0 / rate, 10, 1};
    h->slots_syncDataParam(param);

    expectFinite() = true;
    if (frames) {
        QVector<quint32> samples;
        for (size_t pos = 4; pos + 4 <= size; pos += 4) {
            quint32 v;
            std::memcpy(&v, data + pos, 4);
            samples << v;
        }
        const int repeats = repeatsFor(wantedRepeats, samples.size());
        const int payload = slowMode ? 200 : rate / 5;
        const int perFrame = payload / 4;
        for (int r = 0; r < repeats; ++r)
            for (int i = 0; perFrame > 0 && i < samples.size(); i += perFrame)
                h->slots_readDataFinished(Addrdds_data, frameOf(samples.mid(i, perFrame), payload));
    } else {
        QVector<double> samples;
        for (size_t pos = 4; pos + 8 <= size; pos += 8) {
            double v;
            std::memcpy(&v, data + pos, 8);
            if (std::isfinite(v))
                samples << v;
        }
        // Finite inputs may still overflow to infinity on the way (a sum of
        // values near the largest double); only inputs of a sane size must
        // come out finite.
        for (double v : samples)
            expectFinite() = expectFinite() && std::fabs(v) < 1e100;
        const int repeats = repeatsFor(wantedRepeats, samples.size());
        for (int r = 0; r < repeats; ++r)
            h->slots_revMockData(samples);
    }
    for (int tick = 0; tick < 30; ++tick)
        h->onTimeout();
    return 0;
}
