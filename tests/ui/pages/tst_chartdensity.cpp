// The live charts in the real main window: a line with more than two points
// per pixel (1000 samples a second over the 10 s window, a spectrum shown to
// 500 Hz) is drawn without antialiasing, a sparser one (200 a second, the
// spectrum to 10 Hz) with it, as the density test of the widget kit decides
// (its agreement with the plotting library is tested there).

#include "mainpagerig.h"

#include "ui/pages/sensitivitymoduleform.h"
#include "ui/widgets/customplot.h"
#include "ui/widgets/graphdensity.h"

#include <qcustomplot.h>

#include <QtTest>

#include <cmath>

namespace {

QVector<double> noise(int n, int seed)
{
    QVector<double> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = 50000.0 + 0.1 * std::sin(1.7 * (i + seed) * (i % 7 + 1));
    return v;
}

} // namespace

class TestChartDensity : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<ModbusAddr>("ModbusAddr"); }
    void liveCharts_data();
    void liveCharts();
};

void TestChartDensity::liveCharts_data()
{
    QTest::addColumn<double>("dataRate");
    QTest::addColumn<int>("xAxisUpper");
    QTest::addColumn<bool>("fieldAntialiased");
    QTest::addColumn<bool>("spectrumAntialiased");
    QTest::newRow("1000 per second, spectrum to 500 Hz") << 0.001 << 500 << false << false;
    QTest::newRow("200 per second, spectrum to 10 Hz") << 0.005 << 10 << true << true;
}

void TestChartDensity::liveCharts()
{
    QFETCH(double, dataRate);
    QFETCH(int, xAxisUpper);
    QFETCH(bool, fieldAntialiased);
    QFETCH(bool, spectrumAntialiased);
    MainPageRig rig(
        {}, [&](ParamManager& h) { h.xAxisUpper = xAxisUpper; }, MainPageRig::InWindow);
    ParamManager* hub = rig.hub.get();
    hub->dataParam.dataRate = dataRate;
    hub->setRunning(true);
    hub->setParamPollingHeld(true); // no stream start on the page switches
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    const int window = int(10 / dataRate);

    // The main page: a full 10 s window in 50-value batches.
    for (int b = 0; b < window / 50; ++b)
        rig.page->slots_updateForm(noise(50, b));
    QTRY_COMPARE_WITH_TIMEOUT(rig.page->historyValues().size(), window, 20000);
    QCPGraph* field = rig.page->chartGraph();
    QCOMPARE(field->dataCount(), window);
    QCOMPARE(field->antialiased(), fieldAntialiased);

    // The spectrum page shown: its field window and a spectrum of 5000 bins
    // from 0 to 499.9 Hz.
    rig.window->findChild<QPushButton*>(QStringLiteral("btnSensitivity"))->click();
    auto* spectrumPage = rig.window->findChild<SensitivityModuleForm*>();
    QVERIFY(spectrumPage->isVisible());
    QVector<double> f(5000);
    QVector<double> d(5000);
    for (int k = 0; k < f.size(); ++k) {
        f[k] = k * 0.1;
        d[k] = 1e-3 * (1.0 + 0.5 * std::sin(k * 0.9));
    }
    for (int b = 0; b < window / 50; ++b) {
        spectrumPage->slots_updateForm(noise(50, b), f, d);
        spectrumPage->onRefreshTimer();
    }
    QCPGraph* time = spectrumPage->timeChart()->graph(0);
    QCPGraph* spectrum = spectrumPage->spectrumChart()->graph(0);
    QCOMPARE(time->dataCount(), window);
    QCOMPARE(spectrum->dataCount(), 5000);
    QCOMPARE(time->antialiased(), fieldAntialiased);
    QCOMPARE(spectrum->antialiased(), spectrumAntialiased);
    for (QCPGraph* g : {field, time, spectrum})
        QCOMPARE(g->antialiased(), !GraphDensity::isThinned(g));
}

QTEST_MAIN(TestChartDensity)
#include "tst_chartdensity.moc"
