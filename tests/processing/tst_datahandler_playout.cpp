// The playout: blocks handed out by the filters are emitted one twentieth
// of a second per tick, in nT, with the spectrum once the window is full.
// Most cases tick by hand on a handler brought back to the test thread; one
// runs the real processing thread and its precise timer.

#include "handlerrig.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QThread>
#include <QTimer>

#include <atomic>

namespace {

// Counts debug lines, passing them on to whatever handled them before.
QtMessageHandler g_previous = nullptr;
QMutex g_linesMutex;
QStringList g_lines;

void countingHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    {
        QMutexLocker lock(&g_linesMutex);
        g_lines.append(message);
    }
    if (g_previous)
        g_previous(type, context, message);
}

int linesSeen(const QString& text)
{
    QMutexLocker lock(&g_linesMutex);
    return g_lines.count(text);
}

QVector<double> block(int n, double start)
{
    QVector<double> b;
    for (int i = 0; i < n; ++i)
        b.append(start + 17.0 * i);
    return b;
}

// Receives the handler's results on the test thread, queued, as the hub does.
class Mirror : public QObject
{
    Q_OBJECT
public:
    QElapsedTimer clock;
    QVector<QVector<double>> forms;
    QVector<int> tags;
    int spectra = 0;
    int spectrumBins = 0;

public slots:
    void onForm(QVector<double> datas, FrequencyType tag)
    {
        forms.append(datas);
        tags.append(tag);
    }
    void onFormEx(QVector<double>, QVector<double> f, QVector<double>)
    {
        ++spectra;
        spectrumBins = f.size();
    }
};

} // namespace

class TestDataHandlerPlayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerSharedMetaTypes();
        m_log.reset(new rig::LogCapture);
        g_previous = qInstallMessageHandler(countingHandler);
    }
    void cleanupTestCase()
    {
        qInstallMessageHandler(g_previous);
        m_log.reset();
    }

    void blockOfThousandFromFilter();
    void batchSizesPerRate_data();
    void batchSizesPerRate();
    void intervalFollowsQueue();
    void emptyBlockIgnored();
    void rateOneDropsWaitingBlocks();
    void firstSpectrumFillsWindow_data();
    void firstSpectrumFillsWindow();
    void rebootEmptiesWindowOnly();
    void spectrumPlansKept();
    void spectrumPlansOfManyLengths();
    void shortChunksPassUnfiltered();
    void filterLibraryErrorInTick();
    void realThreadAndTimer();

private:
    std::unique_ptr<rig::LogCapture> m_log;
};

void TestDataHandlerPlayout::blockOfThousandFromFilter()
{
    auto h = rig::localHandler();
    QCOMPARE(h->playoutInterval(), 47);
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    QSignalSpy handout(h.get(), &ModbusDataHandler::sig_handoutData);
    rig::feedFrames(*h, rig::fieldSamples(32 * 50), 50);
    QCOMPARE(handout.count(), 1);
    QCOMPARE(h->queuedBlocks(), 1);
    const QVector<double> z = rig::vec(handout.at(0).at(0));

    h->onTimeout(); // takes the block, emits nothing
    QCOMPARE(form.count(), 0);
    QCOMPARE(h->queuedBlocks(), 0);
    QCOMPARE(h->playingValues(), 1000);
    for (int t = 0; t < 20; ++t)
        h->onTimeout();
    QCOMPARE(form.count(), 20);
    for (int i = 0; i < 20; ++i) {
        const QVector<double> batch = rig::vec(form.at(i).at(0));
        QCOMPARE(batch.size(), 50);
        QCOMPARE(form.at(i).at(1).value<FrequencyType>(), Freq1000Hz);
        for (int j = 0; j < 50; ++j)
            QCOMPARE(batch[j], z[50 * i + j] * 0.001 / 6.99583);
    }
    // The window holds the played samples in mHz.
    QCOMPARE(h->spectrumWindow(), z);
    h->onTimeout();
    QCOMPARE(form.count(), 20);
    QCOMPARE(h->playoutInterval(), 47);
}

void TestDataHandlerPlayout::batchSizesPerRate_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<int>("batch");
    QTest::newRow("1000") << 1000 << 1000 << 50;
    QTest::newRow("200") << 200 << 200 << 10;
    QTest::newRow("20") << 20 << 20 << 1;
    QTest::newRow("short last chunk") << 1000 << 120 << 50;
}

void TestDataHandlerPlayout::batchSizesPerRate()
{
    QFETCH(int, rate);
    QFETCH(int, blockSize);
    QFETCH(int, batch);
    auto h = rig::localHandler();
    h->slots_syncDataByteCount(rate, rate == 200);
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    h->slots_handoutData(block(blockSize, 3.5e8));
    const int emitting = (blockSize + batch - 1) / batch;
    for (int t = 0; t < emitting + 3; ++t)
        h->onTimeout();
    QCOMPARE(form.count(), emitting);
    int total = 0;
    for (int i = 0; i < emitting; ++i) {
        const int n = rig::vec(form.at(i).at(0)).size();
        QCOMPARE(n, qMin(batch, blockSize - total));
        total += n;
        QCOMPARE(int(form.at(i).at(1).value<FrequencyType>()), rate);
    }
    QCOMPARE(total, blockSize);
}

void TestDataHandlerPlayout::intervalFollowsQueue()
{
    auto h = rig::localHandler();
    const int to40 = linesSeen("timer change interval: 40");
    const int to47 = linesSeen("timer change interval: 47");
    h->slots_handoutData(block(1000, 3.5e8));
    h->slots_handoutData(block(1000, 3.6e8));
    h->slots_handoutData(block(1000, 3.7e8));
    h->onTimeout(); // three waiting at the take
    QCOMPARE(h->playoutInterval(), 40);
    QCOMPARE(h->playoutTimer()->interval(), 40);
    for (int t = 0; t < 21; ++t) // play out, take the second of three: still 40
        h->onTimeout();
    QCOMPARE(h->playoutInterval(), 40);
    QCOMPARE(linesSeen("timer change interval: 40"), to40 + 1);
    for (int t = 0; t < 21; ++t) // take the last one alone
        h->onTimeout();
    QCOMPARE(h->playoutInterval(), 47);
    QCOMPARE(h->playoutTimer()->interval(), 47);
    QCOMPARE(linesSeen("timer change interval: 47"), to47 + 1);
    // The interval only changes at a take.
    h->slots_handoutData(block(1000, 3.8e8));
    h->slots_handoutData(block(1000, 3.9e8));
    QCOMPARE(h->playoutInterval(), 47);
}

void TestDataHandlerPlayout::emptyBlockIgnored()
{
    auto h = rig::localHandler();
    h->slots_handoutData(QVector<double>());
    QCOMPARE(h->queuedBlocks(), 0);
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    h->onTimeout();
    h->onTimeout();
    QCOMPARE(form.count(), 0);
}

void TestDataHandlerPlayout::rateOneDropsWaitingBlocks()
{
    auto h = rig::localHandler();
    rig::setParams(*h, 0, 0, 0.001, 1);
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    QSignalSpy formEx(h.get(), &ModbusDataHandler::sig_updateFormEx);
    h->slots_handoutData(block(1000, 3.5e8));
    h->slots_handoutData(block(1000, 3.6e8));
    h->onTimeout();
    h->onTimeout();
    QCOMPARE(form.count(), 1);
    // The 1 Hz mode sets the rate to 1 with its next frame.
    h->slots_setOneHz(true);
    h->slots_readDataFinished(Addrdds_data, rig::frame(rig::fieldSamples(50)));
    QCOMPARE(h->dataFrequency(), 1);
    for (int t = 0; t < 25; ++t)
        h->onTimeout();
    QCOMPARE(h->playingValues(), 0);
    QCOMPARE(h->queuedBlocks(), 0);
    QCOMPARE(form.count(), 1);
    QCOMPARE(formEx.count(), 0);
    // Nothing stale comes back at the next rate.
    h->slots_setOneHz(false);
    h->slots_syncDataByteCount(1000, false);
    for (int t = 0; t < 5; ++t)
        h->onTimeout();
    QCOMPARE(form.count(), 1);
}

void TestDataHandlerPlayout::firstSpectrumFillsWindow_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("fftSeconds");
    QTest::addColumn<int>("blockSize");
    QTest::newRow("1000, 10 s") << 1000 << 10 << 1000;
    QTest::newRow("1000, 1 s") << 1000 << 1 << 1000;
    QTest::newRow("200, 2 s") << 200 << 2 << 200;
    QTest::newRow("20, 10 s") << 20 << 10 << 20;
}

void TestDataHandlerPlayout::firstSpectrumFillsWindow()
{
    QFETCH(int, rate);
    QFETCH(int, fftSeconds);
    QFETCH(int, blockSize);
    auto h = rig::localHandler();
    h->slots_syncDataByteCount(rate, rate == 200);
    rig::setParams(*h, 0, 0, 1.0 / rate, fftSeconds);
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    QSignalSpy formEx(h.get(), &ModbusDataHandler::sig_updateFormEx);
    const int window = rate * fftSeconds;
    const int blocks = window / blockSize + 1;
    for (int b = 0; b < blocks; ++b)
        h->slots_handoutData(rig::toDoubles(rig::fieldSamples(blockSize, rate, 20 + b)));
    // Tick until the window is full: no spectrum before.
    int ticks = 0;
    while (h->spectrumWindow().size() < window) {
        QCOMPARE(formEx.count(), 0);
        h->onTimeout();
        QVERIFY(++ticks < 100000);
    }
    QCOMPARE(formEx.count(), 1);
    const QVector<double> f = rig::vec(formEx.at(0).at(1));
    QCOMPARE(f.size(), window / 2);
    QCOMPARE(rig::vec(formEx.at(0).at(2)).size(), window / 2);
    QCOMPARE(f.first(), 0.0);
    QVERIFY(std::abs(f.last() - (rate / 2.0 - 1.0 / fftSeconds)) < 1e-9);
    // Sent with the last batch.
    QCOMPARE(rig::vec(formEx.at(0).at(0)), rig::vec(form.last().at(0)));
    // From then on every emitting tick brings one.
    const int formsBefore = form.count();
    for (int t = 0; t < 5; ++t)
        h->onTimeout();
    QCOMPARE(formEx.count() - 1, form.count() - formsBefore);
    QCOMPARE(h->spectrumWindow().size(), window);
}

// The spectrum of w as a handler that has never planned computes it.
static QList<QVariant> freshSpectrum(const QVector<double>& w)
{
    auto fresh = rig::localHandler();
    QSignalSpy formEx(fresh.get(), &ModbusDataHandler::sig_updateFormEx);
    fresh->updateSpectrum(w);
    return formEx.value(0);
}

void TestDataHandlerPlayout::spectrumPlansKept()
{
    auto h = rig::localHandler();
    rig::setParams(*h, 0, 0, 0.001, 1);
    QSignalSpy formEx(h.get(), &ModbusDataHandler::sig_updateFormEx);
    QCOMPARE(h->spectrumPlansMade(), qint64(0));

    // Through the playout: once the 1 s window is full every emitting tick
    // computes a spectrum of 1000 values, all with the one plan.
    for (int b = 0; b < 3; ++b)
        h->slots_handoutData(rig::toDoubles(rig::fieldSamples(1000, 1000.0, 40 + b)));
    for (int t = 0; t < 21 + 21 + 11; ++t)
        h->onTimeout();
    QCOMPARE(formEx.count(), 1 + 20 + 10);
    QCOMPARE(h->spectrumPlansMade(), qint64(1));
    QCOMPARE(h->spectrumPlansKept(), 1);

    // The kept arrays hold nothing of the previous window: each update of a
    // reused plan gives exactly what a handler planning afresh gives.
    const QVector<double> a = rig::toDoubles(rig::fieldSamples(1000, 1000.0, 50));
    const QVector<double> b = rig::toDoubles(rig::fieldSamples(1000, 1000.0, 51));
    for (const QVector<double>& w : {a, b, a}) {
        formEx.clear();
        h->updateSpectrum(w);
        QCOMPARE(formEx.count(), 1);
        const QList<QVariant> fresh = freshSpectrum(w);
        QCOMPARE(rig::vec(formEx.at(0).at(1)), rig::vec(fresh.at(1)));
        QCOMPARE(rig::vec(formEx.at(0).at(2)), rig::vec(fresh.at(2)));
    }
    QCOMPARE(h->spectrumPlansMade(), qint64(1));

    // A new length plans once; going back to the first plans nothing.
    h->updateSpectrum(a.mid(0, 999));
    QCOMPARE(h->spectrumPlansMade(), qint64(2));
    h->updateSpectrum(b.mid(0, 999));
    h->updateSpectrum(a);
    QCOMPARE(h->spectrumPlansMade(), qint64(2));
    QCOMPARE(h->spectrumPlansKept(), 2);

    // A caller that keeps an emitted frequency list does not see it change
    // when the next spectrum of another rate reuses the plan.
    formEx.clear();
    h->updateSpectrum(a);
    const QVector<double> kept = rig::vec(formEx.at(0).at(1));
    QVector<double> f;
    QVector<double> d;
    h->computeAmplitudeSpectrum(a, 10.0, f, d);
    QCOMPARE(kept.at(1), 1.0);
    QCOMPARE(f.at(1), 0.01);
    QCOMPARE(h->spectrumPlansMade(), qint64(2));
}

void TestDataHandlerPlayout::spectrumPlansOfManyLengths()
{
    // The filter-off path while its window fills: a new length after every
    // frame. Only the most recent few plans are kept, and a dropped length
    // is planned again when it returns.
    auto h = rig::localHandler();
    h->slots_setFilterEnabled(false);
    rig::setParams(*h, 0, 0, 0.001, 1);
    QSignalSpy formEx(h.get(), &ModbusDataHandler::sig_updateFormEx);
    const QVector<quint32> samples = rig::fieldSamples(30 * 50);
    for (int i = 0; i < 30; ++i)
        h->slots_readDataFinished(Addrdds_data, rig::frame(samples.mid(50 * i, 50)));
    QCOMPARE(formEx.count(), 30);
    QCOMPARE(rig::vec(formEx.last().at(1)).size(), 500);
    // 20 lengths while filling (50 .. 1000), then the full window only.
    QCOMPARE(h->spectrumPlansMade(), qint64(20));
    QVERIFY(h->spectrumPlansKept() <= 4);
    const qint64 made = h->spectrumPlansMade();
    h->updateSpectrum(h->spectrumWindow().mid(0, 50));
    QCOMPARE(h->spectrumPlansMade(), made + 1);
    QVERIFY(h->spectrumPlansKept() <= 4);
}

void TestDataHandlerPlayout::rebootEmptiesWindowOnly()
{
    auto h = rig::localHandler();
    rig::setParams(*h, 0, 0, 0.001, 1);
    QSignalSpy formEx(h.get(), &ModbusDataHandler::sig_updateFormEx);
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    for (int b = 0; b < 3; ++b)
        h->slots_handoutData(block(1000, 3.5e8 + b));
    for (int t = 0; t < 21 + 11; ++t) // the first block, then 10 batches of the second
        h->onTimeout();
    QCOMPARE(formEx.count(), 1 + 10);
    h->slots_readDataFinished(Addrdds_data, rig::frame(rig::fieldSamples(50))); // 50 raw samples waiting
    h->reboot();
    QCOMPARE(h->spectrumWindow().size(), 0);
    QCOMPARE(h->lastBatch().size(), 0);
    QCOMPARE(h->accumulatedSamples(), 50);
    QCOMPARE(h->queuedBlocks(), 1);
    QCOMPARE(h->playingValues(), 500);
    // The queued samples still play; the spectrum waits for a full window.
    const int spectraBefore = formEx.count();
    for (int t = 0; t < 10 + 1 + 9; ++t)
        h->onTimeout();
    QCOMPARE(formEx.count(), spectraBefore);
    h->onTimeout();
    QCOMPARE(formEx.count(), spectraBefore + 1);
    QCOMPARE(form.count(), 20 + 10 + 10 + 10);
}

void TestDataHandlerPlayout::shortChunksPassUnfiltered()
{
    // Ten values at 200 per second are too short for the pass filters.
    auto h = rig::localHandler();
    h->slots_syncDataByteCount(200, true);
    rig::setParams(*h, 40, 2, 0.005, 10);
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    const QVector<double> b = block(200, 3.5e8);
    h->slots_handoutData(b);
    for (int t = 0; t < 21; ++t)
        h->onTimeout();
    QCOMPARE(form.count(), 20);
    for (int i = 0; i < 20; ++i) {
        const QVector<double> batch = rig::vec(form.at(i).at(0));
        for (int j = 0; j < 10; ++j)
            QCOMPARE(batch[j], b[10 * i + j] * 0.001 / 6.99583);
    }
}

void TestDataHandlerPlayout::filterLibraryErrorInTick()
{
    auto h = rig::localHandler();
    h->slots_syncDataByteCount(10000000, false); // no 1 Hz low-pass design exists here
    rig::setParams(*h, 1, 0, 1e-7, 10);
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    const int before = m_log->count("block dropped");
    h->slots_handoutData(block(1000, 3.5e8));
    h->onTimeout();
    h->onTimeout();
    QCOMPARE(m_log->count("block dropped"), before + 1);
    QCOMPARE(form.count(), 0);
    QCOMPARE(h->playingValues(), 0);
}

void TestDataHandlerPlayout::realThreadAndTimer()
{
    std::unique_ptr<ModbusDataHandler> h(new ModbusDataHandler(nullptr));
    QThread* const processing = h->processingThread();
    QVERIFY(processing != QThread::currentThread());
    QCOMPARE(h->thread(), processing);

    // The timer is made on the processing thread when it starts.
    struct TimerState {
        bool exists = false, active = false, precise = false, onThread = false;
        int interval = 0;
    } state;
    QTRY_VERIFY_WITH_TIMEOUT(processing->isRunning(), 2000);
    QMetaObject::invokeMethod(
        h.get(),
        [&]() {
            const QTimer* t = h->playoutTimer();
            state.exists = t != nullptr;
            if (t) {
                state.active = t->isActive();
                state.precise = t->timerType() == Qt::PreciseTimer;
                state.onThread = t->thread() == QThread::currentThread() && t->parent() == h.get();
                state.interval = t->interval();
            }
        },
        Qt::BlockingQueuedConnection);
    QVERIFY(state.exists);
    QVERIFY(state.active);
    QVERIFY(state.precise);
    QVERIFY(state.onThread);
    QCOMPARE(state.interval, 47);

    Mirror mirror;
    mirror.clock.start();
    connect(h.get(), &ModbusDataHandler::sig_updateForm, &mirror, &Mirror::onForm);
    connect(h.get(), &ModbusDataHandler::sig_updateFormEx, &mirror, &Mirror::onFormEx);
    // When each batch leaves the timer, taken on the processing thread: the
    // queued hop to this thread may bunch them up on a loaded machine.
    QMutex emittedLock;
    QVector<qint64> emittedAt;
    connect(
        h.get(), &ModbusDataHandler::sig_updateForm, h.get(),
        [&](QVector<double>, FrequencyType) {
            QMutexLocker lock(&emittedLock);
            emittedAt.append(mirror.clock.elapsed());
        },
        Qt::DirectConnection);
    // Where the spectrum is computed, seen from inside the emission.
    std::atomic<QThread*> spectrumThread{nullptr};
    connect(
        h.get(), &ModbusDataHandler::sig_updateFormEx, h.get(),
        [&](QVector<double>, QVector<double>, QVector<double>) { spectrumThread = QThread::currentThread(); },
        Qt::DirectConnection);

    DataParam p;
    p.fftSeconds = 1; // the first block fills the window
    QMetaObject::invokeMethod(h.get(), "slots_syncDataParam", Qt::QueuedConnection, Q_ARG(DataParam, p));
    const QVector<quint32> samples = rig::fieldSamples(32 * 50);
    for (int i = 0; i < 32; ++i)
        QMetaObject::invokeMethod(h.get(), "slots_readDataFinished", Qt::QueuedConnection,
                                  Q_ARG(ModbusAddr, Addrdds_data), Q_ARG(QByteArray, rig::frame(samples.mid(50 * i, 50))));

    QTRY_COMPARE_WITH_TIMEOUT(mirror.forms.size(), 20, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(mirror.spectra, 1, 2000);
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(mirror.forms[i].size(), 50);
        QCOMPARE(mirror.tags[i], int(Freq1000Hz));
    }
    QCOMPARE(mirror.spectrumBins, 500);
    QCOMPARE(spectrumThread.load(), processing);
    // Paced, not emitted at once: nineteen ticks of at least 40 ms lie
    // between the first batch and the last (a lower bound only). A precise
    // timer never fires early, and one firing late by up to an interval
    // shortens only the gap after it; 10 % below covers the clock.
    QMutexLocker lock(&emittedLock);
    QCOMPARE(emittedAt.size(), 20);
    QVERIFY2(emittedAt.last() - emittedAt.first() >= 19 * 40 * 9 / 10,
             qPrintable(QString::number(emittedAt.last() - emittedAt.first())));
    lock.unlock();

    h->shutdown();
    QCOMPARE(h->thread(), QThread::currentThread());
    QVERIFY(processing->isFinished());
    QVERIFY(!h->playoutTimer()->isActive());
}

QTEST_GUILESS_MAIN(TestDataHandlerPlayout)
#include "tst_datahandler_playout.moc"
