// The values that the handler emits, held against scipy and numpy on the
// same samples (datahandler_oracle.py, one run for the whole suite):
// the notch chain blocks at 1000 and 200 per second, the 1 Hz and 20 Hz
// values, the pass-filtered batches of the filter-off path and of the
// playout, and the spectrum. Analytic checks of the transform close it.
//
// Tolerances: filtered samples within 1e-3 mHz (in nT: 1e-3 x 0.001 /
// 6.99583). A spectrum computed from samples that are each within d of the
// reference differs by at most d * sqrt(2 N / fs) per bin, which sets the
// spectrum tolerance from the same 1e-3 mHz.

#include "handlerrig.h"

#include <QHash>

namespace {

constexpr double kMHzTol = 1e-3;

double spectrumTolerance(int n, double fs)
{
    return kMHzTol * std::sqrt(2.0 * n / fs) * rig::kMHzToNt;
}

QJsonObject job(const QString& op, const QVector<double>& x)
{
    QJsonObject o;
    o.insert("op", op);
    o.insert("x", rig::jsonArray(x));
    return o;
}

QVector<double> nt(QVector<double> v)
{
    for (double& x : v)
        x = x * 0.001 / 6.99583;
    return v;
}

} // namespace

class TestDataHandlerOracle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { m_log.reset(); }

    void filterOn1000();
    void filterOn200();
    void oneHz_data();
    void oneHz();
    void twentyHzFilterOn();
    void twentyHzFilterOff();
    void filterOffPassFilters_data();
    void filterOffPassFilters();
    void playoutPassFilters();
    void updateSpectrum_data();
    void updateSpectrum();
    void transformAgainstNumpy_data();
    void transformAgainstNumpy();
    void transformSmallSizes();
    void transformAnalytic_data();
    void transformAnalytic();

private:
    void add(const QString& name, const QJsonObject& o)
    {
        m_names.append(name);
        m_jobs.append(o);
    }
    QVector<double> values(const QString& name) const { return rig::fromJson(m_results.value(name)); }
    QJsonObject spectrum(const QString& name) const { return m_results.value(name).toObject(); }

    std::unique_ptr<rig::LogCapture> m_log;
    QStringList m_names;
    QJsonArray m_jobs;
    QHash<QString, QJsonValue> m_results;

    // Inputs shared by the jobs and the cases.
    QVector<quint32> m_x1000;   // 2600 samples at 1000 per second
    QVector<quint32> m_x200;    // 520 samples at 200 per second
    QVector<double> m_block;    // one filtered block to play out
    QVector<double> m_window;   // 10 s at 1000 per second
    QVector<double> m_window200;
};

void TestDataHandlerOracle::initTestCase()
{
    registerSharedMetaTypes();
    m_log.reset(new rig::LogCapture);

    m_x1000 = rig::fieldSamples(2600, 1000.0, 3);
    m_x200 = rig::fieldSamples(520, 200.0, 4);
    m_block = rig::toDoubles(rig::fieldSamples(1000, 1000.0, 5));
    m_window = rig::toDoubles(rig::fieldSamples(10000, 1000.0, 6));
    m_window200 = rig::toDoubles(rig::fieldSamples(2000, 200.0, 8));
    const QVector<double> x = rig::toDoubles(m_x1000);
    const QVector<double> y = rig::toDoubles(m_x200);

    auto chain = [&](const QString& name, const QVector<double>& in, int start, int length, int k) {
        QJsonObject o = job("chain", in);
        o.insert("start", start);
        o.insert("length", length);
        o.insert("k", k);
        add(name, o);
    };
    chain("chain1000 a", x.mid(0, 1600), 300, 1000, 1);
    chain("chain1000 b", x.mid(1000, 1600), 300, 1000, 1);
    chain("chain200 a", y.mid(0, 320), 60, 200, 1);
    chain("chain200 b", y.mid(200, 320), 60, 200, 1);
    chain("one hz on", x.mid(0, 1600), 300, 1000, 1000);
    chain("twenty hz on", x.mid(0, 1600), 300, 1000, 50);
    add("one hz off", job("mean", x.mid(0, 1000)));
    for (int i = 0; i < 20; ++i)
        add(QString("frame mean %1").arg(i), job("mean", x.mid(50 * i, 50)));

    auto pass = [&](const QString& name, const QVector<double>& in, int low, int high, int fs) {
        QJsonObject o = job("pass", in);
        o.insert("low", low);
        o.insert("high", high);
        o.insert("fs", fs);
        add(name, o);
    };
    const int passes[][2] = {{100, 0}, {0, 5}, {100, 5}};
    for (const auto& lh : passes)
        for (int i = 0; i < 20; ++i)
            pass(QString("off %1 %2 frame %3").arg(lh[0]).arg(lh[1]).arg(i), x.mid(50 * i, 50), lh[0], lh[1], 1000);
    for (int i = 0; i < 20; ++i)
        pass(QString("playout chunk %1").arg(i), m_block.mid(50 * i, 50), 100, 0, 1000);

    auto spectrumJob = [&](const QString& name, const QVector<double>& in, int low, int high, int fs) {
        QJsonObject o = job("spectrum", in);
        o.insert("low", low);
        o.insert("high", high);
        o.insert("fs", fs);
        add(name, o);
    };
    for (const auto& lh : passes)
        spectrumJob(QString("off spectrum %1 %2").arg(lh[0]).arg(lh[1]), x.mid(0, 1000), lh[0], lh[1], 1000);
    spectrumJob("window 0 0", m_window, 0, 0, 1000);
    spectrumJob("window 100 3", m_window, 100, 3, 1000);
    spectrumJob("window200 40 0", m_window200, 40, 0, 200);
    spectrumJob("window short", m_window.mid(0, 27), 0, 0, 1000);

    for (int n : {1000, 999, 4, 5, 1}) {
        const QVector<double> in = m_window.mid(0, n);
        for (const char* op : {"asd", "periodogram"}) {
            QJsonObject o = job(op, in);
            o.insert("fs", 1000.0);
            add(QString("%1 %2").arg(op).arg(n), o);
        }
    }

    const QJsonArray results = rig::oracle(m_jobs);
    QCOMPARE(results.size(), m_jobs.size());
    for (int i = 0; i < results.size(); ++i)
        m_results.insert(m_names[i], results[i]);
}

void TestDataHandlerOracle::filterOn1000()
{
    auto h = rig::localHandler();
    QSignalSpy handout(h.get(), &ModbusDataHandler::sig_handoutData);
    rig::feedFrames(*h, m_x1000, 50);
    QCOMPARE(handout.count(), 2);
    const double a = rig::maxAbsDiff(rig::vec(handout.at(0).at(0)), values("chain1000 a"));
    const double b = rig::maxAbsDiff(rig::vec(handout.at(1).at(0)), values("chain1000 b"));
    QVERIFY2(a <= kMHzTol, qPrintable(QString::number(a)));
    QVERIFY2(b <= kMHzTol, qPrintable(QString::number(b)));
}

void TestDataHandlerOracle::filterOn200()
{
    // Ten-sample frames, notches still designed at 1000 per second.
    auto h = rig::localHandler();
    h->slots_syncDataByteCount(200, true);
    rig::setParams(*h, 0, 0, 0.005);
    QSignalSpy handout(h.get(), &ModbusDataHandler::sig_handoutData);
    rig::feedFrames(*h, m_x200, 10);
    QCOMPARE(handout.count(), 2);
    const double a = rig::maxAbsDiff(rig::vec(handout.at(0).at(0)), values("chain200 a"));
    const double b = rig::maxAbsDiff(rig::vec(handout.at(1).at(0)), values("chain200 b"));
    QVERIFY2(a <= kMHzTol, qPrintable(QString::number(a)));
    QVERIFY2(b <= kMHzTol, qPrintable(QString::number(b)));
}

void TestDataHandlerOracle::oneHz_data()
{
    QTest::addColumn<bool>("filter");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("reference");
    QTest::newRow("filter on") << true << 32 << "one hz on";
    QTest::newRow("filter off") << false << 20 << "one hz off";
}

void TestDataHandlerOracle::oneHz()
{
    QFETCH(bool, filter);
    QFETCH(int, frames);
    QFETCH(QString, reference);
    auto h = rig::localHandler();
    h->slots_setOneHz(true);
    h->slots_setFilterEnabled(filter);
    rig::setParams(*h, 0, 0, 1.0);
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    QSignalSpy formEx(h.get(), &ModbusDataHandler::sig_updateFormEx);
    rig::feedFrames(*h, m_x1000.mid(0, frames * 50), 50);
    QCOMPARE(form.count(), 1);
    const double expected = nt(values(reference)).at(0);
    const double got = rig::vec(form.at(0).at(0)).at(0);
    QVERIFY2(std::abs(got - expected) <= rig::kNtTolerance, qPrintable(QString::number(got - expected)));
    QCOMPARE(form.at(0).at(1).value<FrequencyType>(), Freq1Hz);
    QCOMPARE(formEx.count(), 1);
    QCOMPARE(rig::vec(formEx.at(0).at(0)), (QVector<double>{got}));
    QVERIFY(rig::vec(formEx.at(0).at(1)).isEmpty());
    QVERIFY(rig::vec(formEx.at(0).at(2)).isEmpty());
}

void TestDataHandlerOracle::twentyHzFilterOn()
{
    auto h = rig::localHandler();
    h->slots_setTwentyHz(true);
    rig::setParams(*h, 0, 0, 0.05);
    QSignalSpy handout(h.get(), &ModbusDataHandler::sig_handoutData);
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    rig::feedFrames(*h, m_x1000.mid(0, 1600), 50);
    QCOMPARE(handout.count(), 1);
    const QVector<double> means = values("twenty hz on");
    QCOMPARE(means.size(), 20);
    const double d = rig::maxAbsDiff(rig::vec(handout.at(0).at(0)), means);
    QVERIFY2(d <= kMHzTol, qPrintable(QString::number(d)));

    // Played out as twenty single values tagged 20, in 21 ticks.
    for (int t = 0; t < 21; ++t)
        h->onTimeout();
    QCOMPARE(form.count(), 20);
    QVector<double> played;
    for (const auto& args : form) {
        QCOMPARE(args.at(1).value<FrequencyType>(), Freq20Hz);
        played += rig::vec(args.at(0));
    }
    QVERIFY(rig::maxAbsDiff(played, nt(means)) <= rig::kNtTolerance);
}

void TestDataHandlerOracle::twentyHzFilterOff()
{
    auto h = rig::localHandler();
    h->slots_setTwentyHz(true);
    h->slots_setFilterEnabled(false);
    rig::setParams(*h, 5, 0, 0.05); // single values pass the low-pass untouched
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    QSignalSpy formEx(h.get(), &ModbusDataHandler::sig_updateFormEx);
    rig::feedFrames(*h, m_x1000.mid(0, 1000), 50);
    QCOMPARE(form.count(), 20);
    for (int i = 0; i < 20; ++i) {
        const QVector<double> v = rig::vec(form.at(i).at(0));
        QCOMPARE(v.size(), 1);
        QVERIFY(std::abs(v[0] - nt(values(QString("frame mean %1").arg(i)))[0]) <= rig::kNtTolerance);
    }
    // The second's mean only on the spectrum page's signal.
    QCOMPARE(formEx.count(), 1);
    const QVector<double> second = rig::vec(formEx.at(0).at(0));
    QCOMPARE(second.size(), 1);
    QVERIFY(std::abs(second[0] - nt(values("one hz off"))[0]) <= rig::kNtTolerance);
    QVERIFY(rig::vec(formEx.at(0).at(1)).isEmpty());
}

void TestDataHandlerOracle::filterOffPassFilters_data()
{
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::newRow("low-pass 100") << 100 << 0;
    QTest::newRow("high-pass 5") << 0 << 5;
    QTest::newRow("both") << 100 << 5;
}

void TestDataHandlerOracle::filterOffPassFilters()
{
    QFETCH(int, low);
    QFETCH(int, high);
    auto h = rig::localHandler();
    h->slots_setFilterEnabled(false);
    rig::setParams(*h, low, high, 0.001, 1);
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    QSignalSpy formEx(h.get(), &ModbusDataHandler::sig_updateFormEx);
    rig::feedFrames(*h, m_x1000.mid(0, 1000), 50);
    QCOMPARE(form.count(), 20);
    for (int i = 0; i < 20; ++i) {
        const QVector<double> ref = nt(values(QString("off %1 %2 frame %3").arg(low).arg(high).arg(i)));
        const double d = rig::maxAbsDiff(rig::vec(form.at(i).at(0)), ref);
        QVERIFY2(d <= rig::kNtTolerance, qPrintable(QString("frame %1: %2").arg(i).arg(d)));
    }
    // The spectrum after the 20th frame covers the 1 s window.
    QCOMPARE(formEx.count(), 20);
    const QJsonObject ref = spectrum(QString("off spectrum %1 %2").arg(low).arg(high));
    const QVector<double> f = rig::vec(formEx.last().at(1));
    const QVector<double> a = rig::vec(formEx.last().at(2));
    QVERIFY(rig::maxAbsDiff(f, rig::fromJson(ref.value("f"))) <= 1e-9);
    const double d = rig::maxAbsDiff(a, rig::fromJson(ref.value("a")));
    QVERIFY2(d <= spectrumTolerance(1000, 1000.0), qPrintable(QString::number(d)));
    QCOMPARE(rig::vec(formEx.last().at(0)), rig::vec(form.last().at(0)));
}

void TestDataHandlerOracle::playoutPassFilters()
{
    auto h = rig::localHandler();
    rig::setParams(*h, 100, 0, 0.001);
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    h->slots_handoutData(m_block);
    for (int t = 0; t < 21; ++t)
        h->onTimeout();
    QCOMPARE(form.count(), 20);
    for (int i = 0; i < 20; ++i) {
        const double d = rig::maxAbsDiff(rig::vec(form.at(i).at(0)), nt(values(QString("playout chunk %1").arg(i))));
        QVERIFY2(d <= rig::kNtTolerance, qPrintable(QString("chunk %1: %2").arg(i).arg(d)));
    }
    // The window keeps the unfiltered samples.
    QCOMPARE(h->spectrumWindow(), m_block);
}

void TestDataHandlerOracle::updateSpectrum_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<QString>("reference");
    QTest::newRow("10 s at 1000") << 1000 << 0 << 0 << "window 0 0";
    QTest::newRow("10 s at 1000, low 100 high 3") << 1000 << 100 << 3 << "window 100 3";
    QTest::newRow("10 s at 200, low 40") << 200 << 40 << 0 << "window200 40 0";
    QTest::newRow("27 samples, not high-passed") << 1000 << 0 << 0 << "window short";
}

void TestDataHandlerOracle::updateSpectrum()
{
    QFETCH(int, rate);
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(QString, reference);
    auto h = rig::localHandler();
    h->slots_syncDataByteCount(rate, rate == 200);
    rig::setParams(*h, low, high, 1.0 / rate);
    QSignalSpy formEx(h.get(), &ModbusDataHandler::sig_updateFormEx);
    const QVector<double> w = rate == 200 ? m_window200 : (reference == "window short" ? m_window.mid(0, 27) : m_window);
    h->updateSpectrum(w);
    QCOMPARE(formEx.count(), 1);
    const QJsonObject ref = spectrum(reference);
    const QVector<double> f = rig::vec(formEx.at(0).at(1));
    const QVector<double> a = rig::vec(formEx.at(0).at(2));
    const QVector<double> refF = rig::fromJson(ref.value("f"));
    QCOMPARE(f.size(), w.size() - w.size() / 2);
    QVERIFY(rig::maxAbsDiff(f, refF) <= 1e-9);
    const double d = rig::maxAbsDiff(a, rig::fromJson(ref.value("a")));
    QVERIFY2(d <= spectrumTolerance(w.size(), rate), qPrintable(QString::number(d)));

    // An empty window emits nothing.
    h->updateSpectrum(QVector<double>());
    QCOMPARE(formEx.count(), 1);
}

void TestDataHandlerOracle::transformAgainstNumpy_data()
{
    QTest::addColumn<int>("n");
    QTest::newRow("even") << 1000;
    QTest::newRow("odd") << 999;
    QTest::newRow("four") << 4;
    QTest::newRow("five") << 5;
    QTest::newRow("one") << 1;
}

void TestDataHandlerOracle::transformAgainstNumpy()
{
    QFETCH(int, n);
    auto h = rig::localHandler();
    QVector<double> f, a;
    h->computeAmplitudeSpectrum(m_window.mid(0, n), 1000.0, f, a);
    QCOMPARE(f.size(), n - n / 2);
    for (const char* op : {"asd", "periodogram"}) {
        const QJsonObject ref = spectrum(QString("%1 %2").arg(op).arg(n));
        const QVector<double> refA = rig::fromJson(ref.value("a"));
        QVERIFY(rig::maxAbsDiff(f, rig::fromJson(ref.value("f"))) <= 1e-9);
        double scale = 0;
        for (double v : refA)
            scale = std::max(scale, v);
        const double d = rig::maxAbsDiff(a, refA);
        QVERIFY2(d <= 1e-12 * scale, qPrintable(QString("%1: %2 of %3").arg(op).arg(d).arg(scale)));
    }
}

void TestDataHandlerOracle::transformSmallSizes()
{
    auto h = rig::localHandler();
    QVector<double> f, a;
    h->computeAmplitudeSpectrum({1, 2, 3, 4}, 1000.0, f, a);
    QCOMPARE(f, (QVector<double>{0.0, 250.0}));
    f.clear();
    a.clear();
    h->computeAmplitudeSpectrum({1, 2, 3, 4, 5}, 1000.0, f, a);
    QCOMPARE(f, (QVector<double>{0.0, 200.0, 400.0}));
    // DC of 1..5: sum 15, times sqrt(2) / sqrt(5 * 1000).
    QVERIFY(std::abs(a[0] - 15.0 * std::sqrt(2.0) / std::sqrt(5000.0)) < 1e-12);
    // Appends to what the lists hold.
    h->computeAmplitudeSpectrum({1, 2}, 10.0, f, a);
    QCOMPARE(f.size(), 4);
    // Nothing for no samples.
    QVector<double> f2, a2;
    h->computeAmplitudeSpectrum({}, 1000.0, f2, a2);
    QVERIFY(f2.isEmpty() && a2.isEmpty());
}

void TestDataHandlerOracle::transformAnalytic_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<double>("fs");
    QTest::newRow("10000 at 1000") << 10000 << 1000.0;
    QTest::newRow("2001 at 200") << 2001 << 200.0;
}

void TestDataHandlerOracle::transformAnalytic()
{
    QFETCH(int, n);
    QFETCH(double, fs);
    auto h = rig::localHandler();

    // A bin-centred sine of amplitude A: A * sqrt(N / (2 fs)) in its bin.
    const double amplitude = 3.0;
    const int bin = n / 7;
    QVector<double> sine(n);
    for (int i = 0; i < n; ++i)
        sine[i] = amplitude * std::sin(2 * M_PI * bin * i / double(n) + 0.3);
    QVector<double> f, a;
    h->computeAmplitudeSpectrum(sine, fs, f, a);
    const double expected = amplitude * std::sqrt(n / (2.0 * fs));
    QVERIFY2(std::abs(a[bin] - expected) <= 1e-9 * expected, qPrintable(QString::number(a[bin] / expected)));
    QVERIFY(std::abs(f[bin] - bin * fs / n) < 1e-9);
    QVERIFY(a[bin + 3] < 1e-9 * expected);

    // White noise of sigma: sigma * sqrt(2 / fs), as the rms over the bins.
    std::mt19937 gen(42);
    std::normal_distribution<double> normal(0.0, 1.0);
    const double sigma = 2.5;
    QVector<double> noise(n);
    for (double& v : noise)
        v = sigma * normal(gen);
    f.clear();
    a.clear();
    h->computeAmplitudeSpectrum(noise, fs, f, a);
    double sq = 0;
    for (double v : a)
        sq += v * v;
    const double rms = std::sqrt(sq / a.size());
    const double level = sigma * std::sqrt(2.0 / fs);
    QVERIFY2(std::abs(rms / level - 1.0) < 0.05, qPrintable(QString::number(rms / level)));
}

QTEST_GUILESS_MAIN(TestDataHandlerOracle)
#include "tst_datahandler_oracle.moc"
