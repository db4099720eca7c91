// What each path by rate emits per second of stream, in counts and sizes:
// blocks handed to the playout, batches for the charts and the spectrum
// page's signal. The values themselves are held against scipy in the
// oracle suite.

#include "handlerrig.h"

namespace {

enum Mode { Normal, OneHz, TwentyHz };

struct Setup {
    Mode mode = Normal;
    bool filter = true;
    int byteCount = 1000;
    bool change = false;
    double dataRate = 0.001;
    int fftSeconds = 10;
};

std::unique_ptr<ModbusDataHandler> handlerFor(const Setup& s)
{
    auto h = rig::localHandler();
    h->slots_syncDataByteCount(s.byteCount, s.change);
    h->slots_setOneHz(s.mode == OneHz);
    h->slots_setTwentyHz(s.mode == TwentyHz);
    h->slots_setFilterEnabled(s.filter);
    rig::setParams(*h, 0, 0, s.dataRate, s.fftSeconds);
    return h;
}

QVector<int> sizes(const QSignalSpy& spy)
{
    QVector<int> out;
    for (const auto& args : spy)
        out.append(rig::vec(args.at(0)).size());
    return out;
}

QVector<int> repeat(int value, int times) { return QVector<int>(times, value); }

} // namespace

Q_DECLARE_METATYPE(Mode)

class TestDataHandlerRates : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerSharedMetaTypes();
        m_log.reset(new rig::LogCapture);
    }
    void cleanupTestCase() { m_log.reset(); }

    void emittedPerSecond_data();
    void emittedPerSecond();
    void blockLengthBelowOneIsOne_data();
    void blockLengthBelowOneIsOne();
    void accumulatorCappedWithoutFilterPath_data();
    void accumulatorCappedWithoutFilterPath();
    void windowTrimmedToSpectrumLength_data();
    void windowTrimmedToSpectrumLength();
    void oneHzFilterOnKeepsOverlap();
    void replayChunks();
    void settingsKeepGatheredSamples();
    void filterLibraryErrorDropsBlock();

private:
    std::unique_ptr<rig::LogCapture> m_log;
};

void TestDataHandlerRates::emittedPerSecond_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<bool>("filter");
    QTest::addColumn<int>("byteCount");
    QTest::addColumn<bool>("change");
    QTest::addColumn<double>("dataRate");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QVector<int>>("blocks");     // sig_handoutData sizes
    QTest::addColumn<QVector<int>>("batches");    // sig_updateForm sizes
    QTest::addColumn<int>("tag");                 // of every batch
    QTest::addColumn<QVector<int>>("exSizes");    // sig_updateFormEx first list sizes
    QTest::addColumn<bool>("exSpectrum");         // sig_updateFormEx carries a spectrum

    const QVector<int> none;
    // 1000 per second, filter on: 1600 samples make the first block, then
    // every 1000 another.
    QTest::newRow("1000 on, 31 frames") << Normal << true << 1000 << false << 0.001 << 31 << none << none << 0 << none << false;
    QTest::newRow("1000 on, 32 frames") << Normal << true << 1000 << false << 0.001 << 32 << QVector<int>{1000} << none << 0 << none << false;
    QTest::newRow("1000 on, 51 frames") << Normal << true << 1000 << false << 0.001 << 51 << QVector<int>{1000} << none << 0 << none << false;
    QTest::newRow("1000 on, 52 frames") << Normal << true << 1000 << false << 0.001 << 52 << QVector<int>{1000, 1000} << none << 0 << none << false;
    // Filter off: every frame at once, and a spectrum after each.
    QTest::newRow("1000 off") << Normal << false << 1000 << false << 0.001 << 20 << none << repeat(50, 20) << 1000 << repeat(50, 20) << true;
    QTest::newRow("200 on, 31 frames") << Normal << true << 200 << true << 0.005 << 31 << none << none << 0 << none << false;
    QTest::newRow("200 on, 32 frames") << Normal << true << 200 << true << 0.005 << 32 << QVector<int>{200} << none << 0 << none << false;
    QTest::newRow("200 on, 52 frames") << Normal << true << 200 << true << 0.005 << 52 << QVector<int>{200, 200} << none << 0 << none << false;
    QTest::newRow("200 off") << Normal << false << 200 << true << 0.005 << 20 << none << repeat(10, 20) << 200 << repeat(10, 20) << true;
    // 1 Hz: one value a second, and no spectrum.
    QTest::newRow("1 Hz off, 19 frames") << OneHz << false << 1000 << false << 1.0 << 19 << none << none << 0 << none << false;
    QTest::newRow("1 Hz off, 20 frames") << OneHz << false << 1000 << false << 1.0 << 20 << none << QVector<int>{1} << 1 << QVector<int>{1} << false;
    QTest::newRow("1 Hz off, 40 frames") << OneHz << false << 1000 << false << 1.0 << 40 << none << QVector<int>{1, 1} << 1 << QVector<int>{1, 1} << false;
    QTest::newRow("1 Hz on, 31 frames") << OneHz << true << 1000 << false << 1.0 << 31 << none << none << 0 << none << false;
    QTest::newRow("1 Hz on, 32 frames") << OneHz << true << 1000 << false << 1.0 << 32 << none << QVector<int>{1} << 1 << QVector<int>{1} << false;
    QTest::newRow("1 Hz on, 52 frames") << OneHz << true << 1000 << false << 1.0 << 52 << none << QVector<int>{1, 1} << 1 << QVector<int>{1, 1} << false;
    // 20 Hz off: twenty block means a second as samples; the second's mean
    // goes to the spectrum page only.
    QTest::newRow("20 Hz off") << TwentyHz << false << 1000 << false << 0.05 << 20 << none << repeat(1, 20) << 20 << QVector<int>{1} << false;
    QTest::newRow("20 Hz off, 40 frames") << TwentyHz << false << 1000 << false << 0.05 << 40 << none << repeat(1, 40) << 20 << QVector<int>{1, 1} << false;
    // 20 Hz on: the twenty means of a filtered second as one block.
    QTest::newRow("20 Hz on, 31 frames") << TwentyHz << true << 1000 << false << 0.05 << 31 << none << none << 0 << none << false;
    QTest::newRow("20 Hz on, 32 frames") << TwentyHz << true << 1000 << false << 0.05 << 32 << QVector<int>{20} << none << 0 << none << false;
    QTest::newRow("20 Hz on, 52 frames") << TwentyHz << true << 1000 << false << 0.05 << 52 << QVector<int>{20, 20} << none << 0 << none << false;
    // Rates without a filter path: nothing with the filter on; with it off
    // no batches but the spectrum.
    QTest::newRow("500 on") << Normal << true << 500 << true << 0.002 << 100 << none << none << 0 << none << false;
    QTest::newRow("10 on") << Normal << true << 10 << false << 0.1 << 100 << none << none << 0 << none << false;
    QTest::newRow("500 off") << Normal << false << 500 << true << 0.002 << 3 << none << none << 0 << repeat(25, 3) << true;
}

void TestDataHandlerRates::emittedPerSecond()
{
    QFETCH(Mode, mode);
    QFETCH(bool, filter);
    QFETCH(int, byteCount);
    QFETCH(bool, change);
    QFETCH(double, dataRate);
    QFETCH(int, frames);
    QFETCH(QVector<int>, blocks);
    QFETCH(QVector<int>, batches);
    QFETCH(int, tag);
    QFETCH(QVector<int>, exSizes);
    QFETCH(bool, exSpectrum);

    Setup s;
    s.mode = mode;
    s.filter = filter;
    s.byteCount = byteCount;
    s.change = change;
    s.dataRate = dataRate;
    auto h = handlerFor(s);
    QSignalSpy handout(h.get(), &ModbusDataHandler::sig_handoutData);
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    QSignalSpy formEx(h.get(), &ModbusDataHandler::sig_updateFormEx);

    const int perFrame = h->frameBytes() / 4;
    rig::feedFrames(*h, rig::fieldSamples(frames * perFrame), perFrame);

    QCOMPARE(sizes(handout), blocks);
    QCOMPARE(sizes(form), batches);
    for (const auto& args : form)
        QCOMPARE(int(args.at(1).value<FrequencyType>()), tag);
    QCOMPARE(sizes(formEx), exSizes);
    for (const auto& args : formEx) {
        const QVector<double> f = rig::vec(args.at(1));
        QCOMPARE(f.isEmpty(), !exSpectrum);
        QCOMPARE(rig::vec(args.at(2)).size(), f.size());
    }
}

void TestDataHandlerRates::blockLengthBelowOneIsOne_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<bool>("filter");
    QTest::addColumn<double>("dataRate");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("expectedSize"); // of the first handout block or batch
    QTest::newRow("off, 0.1 sample per block") << Normal << false << 0.0001 << 1 << 50;
    QTest::newRow("off, negative rate") << Normal << false << -1.0 << 1 << 50;
    QTest::newRow("20 Hz off, half a sample") << TwentyHz << false << 0.0005 << 1 << 50;
    QTest::newRow("20 Hz off, zero rate") << TwentyHz << false << 0.0 << 1 << 50;
    QTest::newRow("20 Hz on, 0.1 sample") << TwentyHz << true << 0.0001 << 32 << 1000;
    QTest::newRow("200 on, zero rate") << Normal << true << 0.0 << 32 << 200;
}

void TestDataHandlerRates::blockLengthBelowOneIsOne()
{
    QFETCH(Mode, mode);
    QFETCH(bool, filter);
    QFETCH(double, dataRate);
    QFETCH(int, frames);
    QFETCH(int, expectedSize);
    Setup s;
    s.mode = mode;
    s.filter = filter;
    s.dataRate = dataRate;
    if (expectedSize == 200) {
        s.byteCount = 200;
        s.change = true;
    }
    auto h = handlerFor(s);
    QSignalSpy handout(h.get(), &ModbusDataHandler::sig_handoutData);
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    const int perFrame = h->frameBytes() / 4;
    rig::feedFrames(*h, rig::fieldSamples(frames * perFrame), perFrame);
    const QSignalSpy& first = filter ? handout : form;
    QVERIFY(first.count() >= 1);
    QCOMPARE(rig::vec(first.at(0).at(0)).size(), expectedSize);
    QCOMPARE(h->blockLengthUsed(), 1);
}

void TestDataHandlerRates::accumulatorCappedWithoutFilterPath_data()
{
    QTest::addColumn<int>("byteCount");
    QTest::addColumn<bool>("change");
    QTest::newRow("500") << 500 << true;
    QTest::newRow("10") << 10 << false;
}

void TestDataHandlerRates::accumulatorCappedWithoutFilterPath()
{
    QFETCH(int, byteCount);
    QFETCH(bool, change);
    Setup s;
    s.byteCount = byteCount;
    s.change = change;
    auto h = handlerFor(s);
    const int perFrame = h->frameBytes() / 4;
    rig::feedFrames(*h, rig::fieldSamples(63 * perFrame), perFrame);
    QCOMPARE(h->accumulatedSamples(), qMin(1600, 63 * perFrame));
    rig::feedFrames(*h, rig::fieldSamples(200 * perFrame), perFrame);
    QCOMPARE(h->accumulatedSamples(), 1600);
}

void TestDataHandlerRates::windowTrimmedToSpectrumLength_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<int>("fftSeconds");
    QTest::addColumn<double>("dataRate");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("window");
    QTest::newRow("1000 off, 1 s") << Normal << 1 << 0.001 << 30 << 1000;
    QTest::newRow("1000 off, 2 s, not yet full") << Normal << 2 << 0.001 << 30 << 1500;
    QTest::newRow("20 Hz off, 1 s") << TwentyHz << 1 << 0.05 << 60 << 20;
    QTest::newRow("20 Hz off, 2 s") << TwentyHz << 2 << 0.05 << 100 << 40;
}

void TestDataHandlerRates::windowTrimmedToSpectrumLength()
{
    QFETCH(Mode, mode);
    QFETCH(int, fftSeconds);
    QFETCH(double, dataRate);
    QFETCH(int, frames);
    QFETCH(int, window);
    Setup s;
    s.mode = mode;
    s.filter = false;
    s.dataRate = dataRate;
    s.fftSeconds = fftSeconds;
    auto h = handlerFor(s);
    QSignalSpy formEx(h.get(), &ModbusDataHandler::sig_updateFormEx);
    const QVector<quint32> samples = rig::fieldSamples(frames * 50);
    rig::feedFrames(*h, samples, 50);
    QCOMPARE(h->spectrumWindow().size(), window);
    if (mode == Normal) {
        // The newest samples, and a spectrum of the whole window.
        QCOMPARE(h->spectrumWindow(), rig::toDoubles(samples.mid(samples.size() - window)));
        QCOMPARE(rig::vec(formEx.last().at(1)).size(), window - window / 2);
    }
}

void TestDataHandlerRates::oneHzFilterOnKeepsOverlap()
{
    Setup s;
    s.mode = OneHz;
    s.dataRate = 1.0;
    auto h = handlerFor(s);
    rig::feedFrames(*h, rig::fieldSamples(32 * 50), 50);
    QCOMPARE(h->accumulatedSamples(), 600);
    QCOMPARE(h->dataFrequency(), 1);
    // 1 Hz leaves the window and the last batch alone.
    QCOMPARE(h->spectrumWindow().size(), 0);
    QCOMPARE(h->lastBatch().size(), 0);

    s.filter = false;
    auto off = handlerFor(s);
    rig::feedFrames(*off, rig::fieldSamples(20 * 50), 50);
    QCOMPARE(off->accumulatedSamples(), 0);
}

void TestDataHandlerRates::replayChunks()
{
    Setup s;
    s.filter = false;
    auto h = handlerFor(s);
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    QSignalSpy formEx(h.get(), &ModbusDataHandler::sig_updateFormEx);
    QSignalSpy progress(h.get(), &ModbusDataHandler::sig_updateProgressEx);

    // An empty chunk: an empty batch with the rate's tag, no spectrum.
    h->slots_revMockData(QVector<double>());
    QCOMPARE(form.count(), 1);
    QCOMPARE(rig::vec(form.at(0).at(0)).size(), 0);
    QCOMPARE(form.at(0).at(1).value<FrequencyType>(), Freq1000Hz);
    QCOMPARE(formEx.count(), 0);

    // A chunk goes the way of a frame's samples, without strength or progress.
    const QVector<double> chunk = rig::toDoubles(rig::fieldSamples(50));
    h->slots_revMockData(chunk);
    QCOMPARE(form.count(), 2);
    QCOMPARE(rig::vec(form.at(1).at(0)).size(), 50);
    QCOMPARE(formEx.count(), 1);
    QCOMPARE(h->spectrumWindow(), chunk);
    QCOMPARE(progress.count(), 0);
}

void TestDataHandlerRates::settingsKeepGatheredSamples()
{
    Setup s;
    auto h = handlerFor(s);
    QSignalSpy handout(h.get(), &ModbusDataHandler::sig_handoutData);
    rig::feedFrames(*h, rig::fieldSamples(20 * 50), 50);
    h->slots_setFilterEnabled(false);
    h->slots_setFilterEnabled(true);
    h->slots_syncDataParam(DataParam());
    rig::feedFrames(*h, rig::fieldSamples(12 * 50), 50);
    QCOMPARE(handout.count(), 1);
}

void TestDataHandlerRates::filterLibraryErrorDropsBlock()
{
    // At ten million samples per second the 1 Hz design cannot be solved:
    // the library throws, the block is dropped with a log line.
    Setup s;
    s.filter = false;
    s.byteCount = 10000000;
    auto h = handlerFor(s);
    rig::setParams(*h, 1, 0, 1e-7);
    QSignalSpy formEx(h.get(), &ModbusDataHandler::sig_updateFormEx);
    const int before = m_log->count("block dropped");
    h->slots_readDataFinished(Addrdds_data, rig::frame(rig::fieldSamples(50)));
    h->slots_revMockData(rig::toDoubles(rig::fieldSamples(50)));
    QCOMPARE(m_log->count("block dropped"), before + 2);
    QCOMPARE(formEx.count(), 0);

    // Back at a sound rate the handler carries on.
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    h->slots_syncDataByteCount(1000, false);
    rig::setParams(*h, 100, 0, 0.001);
    h->slots_readDataFinished(Addrdds_data, rig::frame(rig::fieldSamples(50)));
    QCOMPARE(form.count(), 1);
    QCOMPARE(formEx.count(), 1);
}

QTEST_GUILESS_MAIN(TestDataHandlerRates)
#include "tst_datahandler_rates.moc"
