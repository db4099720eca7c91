// The vector page: its set-up, the trimming of the time plots to the chart
// window, the read-outs, the combined plot's range table, the spectrum
// toggles and range, the measurement-time field, the spectrum cursor, the
// clear, and blocks decoded by the real data handler reaching the page in
// the main window (where it stays hidden).

#include "mainpagerig.h"

#include "core/globalstate.h"
#include "ui/pages/vectormodulewidget.h"

#include <qcustomplot.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QProcess>
#include <QStackedWidget>
#include <QtTest>

#include <cmath>

namespace
{

int measTime()
{
    GlobalState& g = GlobalState::instance();
    QMutexLocker lock(&g.measTimeMutex);
    return g.measTime;
}

FIDVectorData block(const QVector<double>& x, const QVector<double>& y, const QVector<double>& z,
                    const QVector<double>& s)
{
    FIDVectorData d;
    d.data[0] = x;
    d.data[1] = y;
    d.data[2] = z;
    d.data[3] = s;
    return d;
}

QVector<double> keysOf(const QCPGraph* g)
{
    QVector<double> k;
    for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
        k.append(it->key);
    return k;
}

QVector<double> valuesOf(const QCPGraph* g)
{
    QVector<double> v;
    for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
        v.append(it->value);
    return v;
}

double tickStepOf(QCPAxis* axis)
{
    auto fixed = qSharedPointerDynamicCast<QCPAxisTickerFixed>(axis->ticker());
    return fixed ? fixed->tickStep() : -1;
}

struct PageFixture {
    MainPageRig rig;
    VectorModuleWidget page{rig.hub.get()};

    template <typename T> T* child(const char* name) { return page.findChild<T*>(QLatin1String(name)); }
    QCustomPlot* combined() { return child<QCustomPlot>("vectorXYZ"); }
    QCustomPlot* spectrum() { return child<QCustomPlot>("vectorFFTAll"); }
    void draw(const FIDVectorData& d)
    {
        page.slots_updateVectorForm(d);
        page.onRefreshTimer();
    }
};

} // namespace

class TestVectorPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void setUpState();
    void trimsToChartWindow_data();
    void trimsToChartWindow();
    void combinedRange_data();
    void combinedRange();
    void combinedRangeFollowsToggles();
    void spectrumToggles();
    void invalidSpectrumClears();
    void emptyDataKeepsReadouts();
    void oneBlockPerTick();
    void measTimeField();
    void cursorFollowsMouse();
    void clearEmptiesEverything();
    void decodedBlocksReachHiddenPage();
};

void TestVectorPage::initTestCase()
{
    registerSharedMetaTypes();
}

void TestVectorPage::setUpState()
{
    {
        GlobalState& g = GlobalState::instance();
        QMutexLocker lock(&g.measTimeMutex);
        g.measTime = 0;
    }
    PageFixture f;
    QCOMPARE(measTime(), 10);
    QCOMPARE(f.child<QLineEdit>("edt_MeasTime")->text(), QStringLiteral("10"));
    QCOMPARE(f.child<QLineEdit>("edt_MeasTime")->toolTip(), QStringLiteral("1~60s"));
    QVERIFY(f.child<QLineEdit>("edt_CursorHz")->isReadOnly());
    QVERIFY(f.child<QPushButton>("btn_CombinePlots")->isHidden());
    QCOMPARE(f.child<QStackedWidget>("stackedWidget1")->currentWidget()->objectName(), QStringLiteral("page"));
    for (const char* name :
         {"btn_VectorX", "btn_VectorY", "btn_VectorZ", "btn_FFT_S", "btn_FFT_X", "btn_FFT_Y", "btn_FFT_Z"}) {
        QVERIFY2(f.child<QPushButton>(name)->isCheckable() && f.child<QPushButton>(name)->isChecked(), name);
        QCOMPARE(f.child<QPushButton>(name)->maximumSize(), QSize(41, 41));
    }
    QCOMPARE(f.page.refreshTimerObject()->interval(), 20);
    QVERIFY(f.page.refreshTimerObject()->isActive());
    for (int axis = 0; axis < 4; ++axis) {
        QCOMPARE(f.page.readoutText(axis, 0), QStringLiteral("0"));
        QCOMPARE(f.page.readoutText(axis, 1), QStringLiteral("500"));
        QCOMPARE(f.page.readoutText(axis, 2), QStringLiteral("1000"));
    }
    // The combined plot's flat red baseline of 1024 points.
    QCOMPARE(f.page.baseline()->data()->size(), 1024);
    QCOMPARE(valuesOf(f.page.baseline()), QVector<double>(1024, 0.0));
    QCOMPARE(f.page.baseline()->pen().color(), QColor(Qt::red));
    QCOMPARE(f.combined()->yAxis->range(), QCPRange(-1000, 1000));
    QCOMPARE(tickStepOf(f.combined()->yAxis), 200.0);
    QCOMPARE(f.spectrum()->yAxis->scaleType(), QCPAxis::stLogarithmic);
    QCOMPARE(f.spectrum()->xAxis->range(), QCPRange(0, 50));
    QCOMPARE(f.spectrum()->yAxis->range(), QCPRange(0.01, 10));
    QCOMPARE(f.page.cursorLineV()->point1->coords(), QPointF(60, 0.01));
    QCOMPARE(f.page.cursorLineH()->point2->coords(), QPointF(150, 0.1));
    // An empty queue: a tick changes nothing.
    f.page.onRefreshTimer();
    QCOMPARE(f.page.timeGraph(0)->data()->size(), 0);
    QCOMPARE(f.page.readoutText(3, 1), QStringLiteral("500"));
}

void TestVectorPage::trimsToChartWindow_data()
{
    QTest::addColumn<int>("setTime");
    QTest::addColumn<int>("window"); // int(setTime / 0.009), worked out by hand
    QTest::newRow("10 s") << 10 << 1111;
    QTest::newRow("2 s") << 2 << 222;
    QTest::newRow("1 s") << 1 << 111;
}

void TestVectorPage::trimsToChartWindow()
{
    QFETCH(int, setTime);
    QFETCH(int, window);
    PageFixture f;
    f.rig.hub->dataParam.setTime = setTime;
    // 300 blocks of four: values 0 .. 1199 on X, their negatives on Y.
    for (int b = 0; b < 300; ++b) {
        QVector<double> x, y, z, s;
        for (int k = 0; k < 4; ++k) {
            const double v = b * 4 + k;
            x << v;
            y << -v;
            z << 0.5 * v;
            s << 50000.0 + v / 1000.0;
        }
        f.draw(block(x, y, z, s));
    }
    const int first = 1200 - window;
    QCOMPARE(f.page.axisValues(0).size(), window);
    QCOMPARE(f.page.axisValues(0).first(), double(first));
    QCOMPARE(f.page.axisValues(0).last(), 1199.0);
    const QVector<double> keys = keysOf(f.page.timeGraph(0));
    QCOMPARE(keys.size(), window);
    QCOMPARE(keys.first(), 0.0);
    QVERIFY(std::abs(keys.last() - (window - 1) * 0.009) < 1e-9);
    QCOMPARE(valuesOf(f.page.timeGraph(1)).first(), -double(first));
    QCOMPARE(f.page.axisPlot(0)->xAxis->range(), QCPRange(0, setTime));
    // Read-outs: max and min with 6 significant digits, latest with 2 decimals.
    QCOMPARE(f.page.readoutText(0, 0), QStringLiteral("1199"));
    QCOMPARE(f.page.readoutText(0, 1), QString::number(first));
    QCOMPARE(f.page.readoutText(0, 2), QStringLiteral("1199.00"));
    QCOMPARE(f.page.readoutText(1, 0), QStringLiteral("-%1").arg(first));
    QCOMPARE(f.page.readoutText(3, 0), QStringLiteral("50001.2"));
    QCOMPARE(f.page.readoutText(3, 2), QStringLiteral("50001.20"));
    // y range: a tenth of the span on each side.
    const double pad = (1199.0 - first) / 10;
    const QCPRange r = f.page.axisPlot(0)->yAxis->range();
    QVERIFY(std::abs(r.lower - (first - pad)) < 1e-9 && std::abs(r.upper - (1199 + pad)) < 1e-9);
    // The combined X graph carries the same trimmed series.
    QCOMPARE(valuesOf(f.page.combinedGraph(0)), f.page.axisValues(0));
}

void TestVectorPage::combinedRange_data()
{
    QTest::addColumn<double>("gmin");
    QTest::addColumn<double>("gmax");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<double>("step");
    // pad = (gmax - gmin) / 10; upper = 5 trunc((gmax + pad) / 5) + 5;
    // lower = 5 floor((gmin - pad) / 5), below the data.
    QTest::newRow("-7.3 .. 12") << -7.3 << 12.0 << -10.0 << 15.0 << 5.0;                // pad 1.93, span 25
    QTest::newRow("0.5 .. 3.2") << 0.5 << 3.2 << 0.0 << 5.0 << 1.0;                     // pad 0.27, span 5
    QTest::newRow("-300 .. -120") << -300.0 << -120.0 << -320.0 << -95.0 << 50.0;       // pad 18, span 225
    QTest::newRow("-40 .. 40") << -40.0 << 40.0 << -50.0 << 50.0 << 10.0;               // pad 8, span 100
    QTest::newRow("-4000 .. 4000") << -4000.0 << 4000.0 << -4800.0 << 4805.0 << 1000.0; // span 9605
    QTest::newRow("10 .. 60000") << 10.0 << 60000.0 << -5990.0 << 66000.0 << 10000.0;   // span 71990
    QTest::newRow("-2 .. 300") << -2.0 << 300.0 << -35.0 << 335.0 << 50.0;              // pad 30.2
}

void TestVectorPage::combinedRange()
{
    QFETCH(double, gmin);
    QFETCH(double, gmax);
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(double, step);
    PageFixture f;
    f.rig.hub->dataParam.setTime = 10;
    const double mid = (gmin + gmax) / 2;
    f.draw(block({gmin, mid}, {mid, gmax}, {mid}, {50000.0}));
    const QCPRange r = f.combined()->yAxis->range();
    QVERIFY2(std::abs(r.lower - lower) < 1e-9 && std::abs(r.upper - upper) < 1e-9,
             qPrintable(QStringLiteral("%1 .. %2").arg(r.lower).arg(r.upper)));
    QVERIFY(r.lower <= gmin && r.upper >= gmax);
    QCOMPARE(tickStepOf(f.combined()->yAxis), step);
    QCOMPARE(f.combined()->xAxis->range(), QCPRange(0, 10));
}

void TestVectorPage::combinedRangeFollowsToggles()
{
    PageFixture f;
    // X spans -100 .. 100, Y and Z stay within 0 .. 10.
    const FIDVectorData d = block({-100.0, 100.0}, {0.0, 10.0}, {5.0}, {50000.0});
    f.child<QPushButton>("btn_VectorX")->setChecked(false);
    QVERIFY(!f.page.combinedGraph(0)->visible());
    f.draw(d);
    // Y and Z only: pad 1, upper 5 trunc(11 / 5) + 5 = 15, lower 5 floor(-1 / 5) = -5.
    QCOMPARE(f.combined()->yAxis->range(), QCPRange(-5, 15));
    QCOMPARE(valuesOf(f.page.combinedGraph(0)).size(), 2); // data set, only hidden
    // All three off: the range stays as it was.
    f.child<QPushButton>("btn_VectorY")->setChecked(false);
    f.child<QPushButton>("btn_VectorZ")->setChecked(false);
    f.draw(block({-1000.0}, {2000.0}, {3000.0}, {50000.0}));
    QCOMPARE(f.combined()->yAxis->range(), QCPRange(-5, 15));
    f.child<QPushButton>("btn_VectorX")->setChecked(true);
    QVERIFY(f.page.combinedGraph(0)->visible());
}

void TestVectorPage::spectrumToggles()
{
    PageFixture f;
    FIDVectorData d = block({1.0}, {2.0}, {3.0}, {4.0});
    d.spectrumValid = true;
    const QVector<double> freq{0.0, 1.0};
    const QVector<double> amps[4] = {{1.0, 2.0}, {10.0, 20.0}, {100.0, 200.0}, {0.5, 0.6}};
    for (int i = 0; i < 4; ++i) {
        d.freq[size_t(i)] = freq;
        d.amp[size_t(i)] = amps[i];
    }
    f.draw(d);
    // All shown: 0.5 .. 200, pad 19.95 (the log axis keeps its lower bound
    // above zero).
    QVERIFY(std::abs(f.spectrum()->yAxis->range().upper - 219.95) < 1e-9);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(valuesOf(f.page.fftGraph(i)), amps[i]);

    // Only S: the range follows S alone, the others are still set but hidden.
    for (const char* name : {"btn_FFT_X", "btn_FFT_Y", "btn_FFT_Z"})
        f.child<QPushButton>(name)->setChecked(false);
    f.draw(d);
    const QCPRange r = f.spectrum()->yAxis->range();
    QVERIFY2(std::abs(r.lower - 0.49) < 1e-9 && std::abs(r.upper - 0.61) < 1e-9,
             qPrintable(QStringLiteral("%1 .. %2").arg(r.lower).arg(r.upper)));
    for (int i = 0; i < 3; ++i) {
        QVERIFY(!f.page.fftGraph(i)->visible());
        QCOMPARE(valuesOf(f.page.fftGraph(i)), amps[i]);
    }
    QVERIFY(f.page.fftGraph(3)->visible());

    // None shown: the range stays.
    f.child<QPushButton>("btn_FFT_S")->setChecked(false);
    FIDVectorData louder = d;
    louder.amp[3] = {5.0, 9.0};
    f.draw(louder);
    QCOMPARE(f.spectrum()->yAxis->range(), r);
    QCOMPARE(valuesOf(f.page.fftGraph(3)), QVector<double>({5.0, 9.0}));
}

void TestVectorPage::invalidSpectrumClears()
{
    PageFixture f;
    FIDVectorData d = block({1.0}, {2.0}, {3.0}, {4.0});
    d.spectrumValid = true;
    for (size_t i = 0; i < 4; ++i) {
        d.freq[i] = {0.0, 0.5, 1.0};
        d.amp[i] = {0.1, 0.2, 0.3};
    }
    f.draw(d);
    FIDVectorData invalid = block({1.0}, {2.0}, {3.0}, {4.0});
    f.draw(invalid);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(f.page.fftGraph(i)->data()->size(), 0);
    f.draw(d);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(f.page.fftGraph(i)->data()->size(), 3);
}

void TestVectorPage::emptyDataKeepsReadouts()
{
    PageFixture f;
    const QCPRange before = f.page.axisPlot(0)->yAxis->range();
    const QCPRange combinedBefore = f.combined()->yAxis->range();
    // X empty with an empty buffer, Z and S not finite: their read-outs
    // and ranges stay; Y is drawn.
    f.draw(block({}, {3.0, 7.0}, {NAN, INFINITY}, {INFINITY}));
    for (int axis : {0, 2, 3}) {
        QCOMPARE(f.page.readoutText(axis, 0), QStringLiteral("0"));
        QCOMPARE(f.page.readoutText(axis, 1), QStringLiteral("500"));
        QCOMPARE(f.page.readoutText(axis, 2), QStringLiteral("1000"));
    }
    QCOMPARE(f.page.axisPlot(0)->yAxis->range(), before);
    QCOMPARE(f.page.readoutText(1, 0), QStringLiteral("7"));
    QCOMPARE(f.page.readoutText(1, 2), QStringLiteral("7.00"));
    // The combined range comes from Y alone: pad 0.4, upper 5 trunc(7.4 / 5) + 5 = 10,
    // lower 5 floor(2.6 / 5) = 0.
    QVERIFY(f.combined()->yAxis->range() != combinedBefore);
    QCOMPARE(f.combined()->yAxis->range(), QCPRange(0, 10));
    // A constant trace still gets a range that shows it.
    f.draw(block({42.0, 42.0}, {}, {}, {}));
    const QCPRange flat = f.page.axisPlot(0)->yAxis->range();
    QVERIFY(flat.lower < 42.0 && flat.upper > 42.0);
}

void TestVectorPage::oneBlockPerTick()
{
    PageFixture f;
    for (int i = 0; i < 300; ++i)
        f.page.slots_updateVectorForm(block({double(i)}, {0.0}, {0.0}, {0.0}));
    // 256 slots hold 255 blocks; the rest were dropped.
    int drawn = 0;
    while (!f.page.isQueueEmpty()) {
        f.page.onRefreshTimer();
        ++drawn;
        QCOMPARE(f.page.axisValues(0).size(), drawn);
    }
    QCOMPARE(drawn, 255);
    QCOMPARE(f.page.axisValues(0).last(), 254.0);
}

void TestVectorPage::measTimeField()
{
    PageFixture f;
    QLineEdit* edit = f.child<QLineEdit>("edt_MeasTime");
    f.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.page));
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "30");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(measTime(), 30);
    // Texts outside 1 .. 60 are not accepted, so the edit does not finish
    // with them and nothing is stored.
    for (const char* text : {"0", "61", ""}) {
        edit->setText(QString::fromLatin1(text));
        QVERIFY(!edit->hasAcceptableInput());
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(measTime(), 30);
    }
    // Should an unaccepted text ever reach the slot, it becomes 1.
    edit->setValidator(nullptr);
    edit->setText(QStringLiteral("abc"));
    emit edit->editingFinished();
    QCOMPARE(edit->text(), QStringLiteral("1"));
    QCOMPARE(measTime(), 1);
}

void TestVectorPage::cursorFollowsMouse()
{
    PageFixture f;
    f.page.resize(1497, 870);
    f.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.page));
    QCustomPlot* plot = f.spectrum();
    plot->replot();
    const QPoint pos(qRound(plot->xAxis->coordToPixel(12.34)), qRound(plot->yAxis->coordToPixel(0.0567)));
    const double x = plot->xAxis->pixelToCoord(pos.x());
    const double y = plot->yAxis->pixelToCoord(pos.y());
    QVERIFY(std::abs(x - 12.34) < 0.2 && std::abs(y / 0.0567 - 1) < 0.05);
    QMouseEvent move(QEvent::MouseMove, pos, plot->mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    QCOMPARE(f.child<QLineEdit>("edt_CursorHz")->text(), QString::asprintf("%.1f", x));
    QCOMPARE(f.child<QLineEdit>("edt_nTHz")->text(), QString::asprintf("%.2e", y));
    QCOMPARE(f.page.cursorLineV()->point1->coords(), QPointF(x, 0.01));
    QCOMPARE(f.page.cursorLineV()->point2->coords(), QPointF(x, 10));
    QCOMPARE(f.page.cursorLineH()->point1->coords(), QPointF(0, y));
    QCOMPARE(f.page.cursorLineH()->point2->coords(), QPointF(150, y));
}

void TestVectorPage::clearEmptiesEverything()
{
    PageFixture f;
    FIDVectorData d = block({1.0, 2.0}, {3.0}, {4.0}, {5.0});
    d.spectrumValid = true;
    for (size_t i = 0; i < 4; ++i) {
        d.freq[i] = {0.0, 1.0};
        d.amp[i] = {0.1, 0.2};
    }
    f.draw(d);
    f.page.slots_updateVectorForm(d);
    f.page.clearPlots();
    QVERIFY(f.page.isQueueEmpty());
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(f.page.axisValues(i).size(), 0);
        QCOMPARE(f.page.timeGraph(i)->data()->size(), 0);
        QCOMPARE(f.page.fftGraph(i)->data()->size(), 0);
    }
    for (int i = 0; i < 3; ++i)
        QCOMPARE(f.page.combinedGraph(i)->data()->size(), 0);
    QCOMPARE(f.page.baseline()->data()->size(), 0);
    QCOMPARE(f.page.readoutText(0, 0), QStringLiteral("2"));
    // The next block starts from nothing.
    f.draw(block({9.0}, {9.0}, {9.0}, {9.0}));
    QCOMPARE(f.page.axisValues(0), QVector<double>{9.0});
}

void TestVectorPage::decodedBlocksReachHiddenPage()
{
    {
        GlobalState& g = GlobalState::instance();
        QMutexLocker lock(&g.measTimeMutex);
        g.measTime = 10;
    }
    MainPageRig rig({}, {}, MainPageRig::InWindow);
    auto* page = rig.window->findChild<VectorModuleWidget*>();
    QVERIFY(page);
    QVERIFY(page->isHidden());
    QVERIFY(rig.window->findChild<QPushButton*>(QStringLiteral("btnVector"))->isHidden());

    // Three frames built with struct, decoded on the processing thread.
    QProcess p;
    p.start("/usr/bin/python3", {qEnvironmentVariable("TERVAL_SOURCE_DIR") + "/tests/processing/vector_frames.py",
                                 R"({"kind": "vector", "frames": 3, "seed": 17})"});
    QVERIFY(p.waitForFinished(30000) && p.exitCode() == 0);
    const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    QCOMPARE(o["frames"].toArray().size(), 3);
    for (const QJsonValue& hex : o["frames"].toArray())
        QMetaObject::invokeMethod(rig.hub->modbusDataHandler, "slots_readDataFinished", Qt::QueuedConnection,
                                  Q_ARG(ModbusAddr, AddrVectorFid),
                                  Q_ARG(QByteArray, QByteArray::fromHex(hex.toString().toLatin1())));
    // The page's own timer draws them, one block per tick.
    QTRY_COMPARE_WITH_TIMEOUT(page->axisValues(3).size(), 12, 5000);
    const QJsonArray records = o["records"].toArray();
    for (int k = 0; k < 12; ++k)
        QVERIFY(std::abs(page->axisValues(0)[k] - records[k].toArray()[0].toDouble()) < 1e-9);
}

QTEST_MAIN(TestVectorPage)
#include "tst_vectorpage.moc"
