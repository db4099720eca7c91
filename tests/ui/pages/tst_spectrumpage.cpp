// The spectrum page over a real hub: which arrivals are queued and drawn
// (running, shown, output rate, empty lists), the field window kept for each
// data rate, the frequency axis for each output rate, the stream start and
// stop rules, the spectrum's bad input (densities of zero or below, lists out
// of step or out of order), Clear Plot and the resets through the main
// window, the crosshair read-out on the logarithmic axis and the language.
#include "ui/pages/sensitivitymoduleform.h"

#include "core/appfolders.h"
#include "hub/parammanager.h"
#include "ui/main/mainwindow.h"
#include "ui/widgets/customplot.h"

#include <qcustomplot.h>

#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace
{

ParamManager* hub = nullptr;

// A spectrum as the data handler emits it: ascending frequencies, densities.
struct Spectrum {
    QVector<double> f;
    QVector<double> d;
};

Spectrum ramp(int bins, double step, double first = 1e-3)
{
    Spectrum s;
    for (int k = 0; k < bins; ++k) {
        s.f << k * step;
        s.d << first * (k + 1);
    }
    return s;
}

QVector<double> graphKeys(const QCPGraph* g)
{
    QVector<double> out;
    for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
        out << it->key;
    return out;
}

QVector<double> graphValues(const QCPGraph* g)
{
    QVector<double> out;
    for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
        out << it->value;
    return out;
}

// The page's own chunks drained as the 30 ms timer would, without waiting.
void drain(SensitivityModuleForm& page)
{
    for (int i = 0; i < 300 && !page.isQueueEmpty(); ++i)
        page.onRefreshTimer();
}

QCPItemText* readout(CustomPlot* plot, const char* prefix)
{
    for (int i = 0; i < plot->itemCount(); ++i)
        if (auto* t = qobject_cast<QCPItemText*>(plot->item(i)))
            if (t->text().startsWith(QLatin1String(prefix)))
                return t;
    return nullptr;
}

// Request kinds sent on the hub, in order.
QVector<int> kinds(const QSignalSpy& spy)
{
    QVector<int> out;
    for (const QList<QVariant>& args : spy)
        out << int(args.at(0).value<ModbusAddr>());
    return out;
}

int visibleLines(CustomPlot* plot)
{
    int n = 0;
    for (int i = 0; i < plot->itemCount(); ++i)
        if (auto* l = qobject_cast<QCPItemLine*>(plot->item(i)))
            n += l->visible() ? 1 : 0;
    return n;
}

} // namespace

class TestSpectrumPage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void chartsAtStart();
    void gating_data();
    void gating();
    void hiddenSpectrumIsNotDrawnLater();
    void windowByDataRate_data();
    void windowByDataRate();
    void noWindowForBadSettings();
    void emptyAndFlatChunks();
    void samplingRateAxis_data();
    void samplingRateAxis();
    void polling_data();
    void polling();
    void pageSwitchPolling_data();
    void pageSwitchPolling();
    void nonPositiveDensitiesLeftOut();
    void badSpectrumLists();
    void clearingEmptiesBothCharts_data();
    void clearingEmptiesBothCharts();
    void crosshairOnLogAxis();
    void language_data();
    void language();

private:
    QTemporaryDir folder;
};

void TestSpectrumPage::initTestCase()
{
    QVERIFY(folder.isValid());
    qRegisterMetaType<ModbusAddr>("ModbusAddr");
    QApplication::setQuitOnLastWindowClosed(false);
    QDir::setCurrent(folder.path());
    AppFolders::setOverride(folder.path());
    hub = new ParamManager(); // its workers live until the process ends
}

void TestSpectrumPage::init()
{
    hub->setRunning(true);
    hub->setParamPollingHeld(false);
    hub->m_isSave = false;
    hub->samplingRate = 1000;
    hub->dataParam = DataParam();
    hub->xAxisUpper = 150;
    hub->yAxisLower = 1e-5;
    hub->yAxisUpper = 1.0;
    hub->isTest = 1;
    hub->isChinese = 0;
}

void TestSpectrumPage::cleanup()
{
    hub->setRunning(false);
    emit hub->sig_devStatusWorkerStop();
    emit hub->sig_paramWorkerStop();
}

void TestSpectrumPage::chartsAtStart()
{
    hub->xAxisUpper = 200;
    hub->yAxisLower = 1e-4;
    hub->yAxisUpper = 10.0;
    SensitivityModuleForm page(hub);
    page.resize(1280, 610);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QCustomPlot* spectrum = page.spectrumChart();
    spectrum->replot();

    QCOMPARE(spectrum->yAxis->scaleType(), QCPAxis::stLogarithmic);
    QCOMPARE(spectrum->yAxis->range().lower, 1e-4);
    QCOMPARE(spectrum->yAxis->range().upper, 10.0);
    // one labelled tick per decade
    const QVector<double> yTicks = spectrum->yAxis->tickVector();
    QCOMPARE(yTicks.size(), 6);
    for (int i = 0; i < yTicks.size(); ++i)
        QVERIFY2(std::fabs(std::log10(yTicks.at(i)) - (i - 4)) < 1e-9, qPrintable(QString::number(yTicks.at(i))));
    QCOMPARE(spectrum->xAxis->range().lower, 0.0);
    QCOMPARE(spectrum->xAxis->range().upper, 200.0);
    QCOMPARE(spectrum->xAxis->tickVector(), (QVector<double>{0, 25, 50, 75, 100, 125, 150, 175, 200}));
    QCOMPARE(spectrum->xAxis->label(), QStringLiteral("Frequency(Hz)"));
    QCOMPARE(spectrum->yAxis->label(), QStringLiteral("Sens(nT/Hz^0.5)"));
    QVERIFY(spectrum->interactions().testFlag(QCP::iRangeDrag));

    QCustomPlot* time = page.timeChart();
    QCOMPARE(time->xAxis->range(), QCPRange(0, 10));
    QCOMPARE(time->yAxis->range(), QCPRange(12000, 16000));
    QCOMPARE(time->xAxis->label(), QString());
    QVERIFY(!page.timeCurve()->data()->size());
    QVERIFY(!page.spectrumCurve()->data()->size());
}

void TestSpectrumPage::gating_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<int>("samplingRate");
    QTest::addColumn<bool>("withSpectrum");
    QTest::addColumn<bool>("queued");
    QTest::addColumn<bool>("spectrumDrawn");
    QTest::addColumn<bool>("timeDrawn");
    // running, shown, rate, lists filled -> chunk queued, spectrum drawn, time chart drawn
    QTest::newRow("shown 1000 spectrum") << true << true << 1000 << true << true << true << true;
    QTest::newRow("shown 1000 empty lists") << true << true << 1000 << false << true << false << true;
    QTest::newRow("shown 1 spectrum") << true << true << 1 << true << true << false << true;
    QTest::newRow("shown 1 empty lists") << true << true << 1 << false << true << false << true;
    QTest::newRow("hidden 1000 spectrum") << true << false << 1000 << true << true << false << false;
    QTest::newRow("hidden 1000 empty lists") << true << false << 1000 << false << true << false << false;
    QTest::newRow("hidden 1 spectrum") << true << false << 1 << true << true << false << false;
    QTest::newRow("hidden 1 empty lists") << true << false << 1 << false << true << false << false;
    QTest::newRow("not running, shown") << false << true << 1000 << true << false << false << false;
    QTest::newRow("not running, hidden") << false << false << 1000 << true << false << false << false;
}

void TestSpectrumPage::gating()
{
    QFETCH(bool, running);
    QFETCH(bool, shown);
    QFETCH(int, samplingRate);
    QFETCH(bool, withSpectrum);
    QFETCH(bool, queued);
    QFETCH(bool, spectrumDrawn);
    QFETCH(bool, timeDrawn);
    hub->setRunning(running);
    hub->samplingRate = samplingRate;
    SensitivityModuleForm page(hub);
    page.setActive(shown);
    const Spectrum s = ramp(50, 0.1);
    const QVector<double> chunk{50000.0, 50000.5, 49999.5};
    page.slots_updateForm(chunk, withSpectrum ? s.f : QVector<double>(), withSpectrum ? s.d : QVector<double>());

    QCOMPARE(!page.isQueueEmpty(), queued);
    QCOMPARE(graphKeys(page.spectrumCurve()), spectrumDrawn ? s.f : QVector<double>());
    QCOMPARE(graphValues(page.spectrumCurve()), spectrumDrawn ? s.d : QVector<double>());
    page.onRefreshTimer();
    QVERIFY(page.isQueueEmpty());
    // the hidden page still keeps the window, only the drawing waits
    QCOMPARE(page.timeValues(), queued ? chunk : QVector<double>());
    QCOMPARE(graphValues(page.timeCurve()), timeDrawn ? chunk : QVector<double>());
    if (timeDrawn)
        QCOMPARE(graphKeys(page.timeCurve()), (QVector<double>{0.0, 0.001, 0.002}));
}

void TestSpectrumPage::hiddenSpectrumIsNotDrawnLater()
{
    SensitivityModuleForm page(hub);
    page.setActive(true);
    const Spectrum first = ramp(10, 1.0);
    page.slots_updateForm({1.0}, first.f, first.d);
    page.setActive(false);
    const Spectrum second = ramp(20, 0.5, 2e-3);
    page.slots_updateForm({2.0}, second.f, second.d);
    page.setActive(true);
    drain(page);
    QCOMPARE(graphKeys(page.spectrumCurve()), first.f);
    QCOMPARE(graphValues(page.spectrumCurve()), first.d);
    // both chunks reached the window
    QCOMPARE(page.timeValues(), (QVector<double>{1.0, 2.0}));
}

void TestSpectrumPage::windowByDataRate_data()
{
    QTest::addColumn<int>("fftSeconds");
    QTest::addColumn<double>("dataRate");
    QTest::addColumn<int>("window");
    // windows from Python's int(fftSeconds / dataRate)
    QTest::newRow("10 s at 1000/s") << 10 << 0.001 << 10000;
    QTest::newRow("10 s at 200/s") << 10 << 0.005 << 2000;
    QTest::newRow("10 s at 20/s") << 10 << 0.05 << 200;
    QTest::newRow("10 s at 1/s") << 10 << 1.0 << 10;
    QTest::newRow("3 s at 500/s") << 3 << 0.002 << 1500;
    QTest::newRow("7 s at 200/s") << 7 << 0.005 << 1400;
    QTest::newRow("1 s at 1000/s") << 1 << 0.001 << 1000;
}

void TestSpectrumPage::windowByDataRate()
{
    QFETCH(int, fftSeconds);
    QFETCH(double, dataRate);
    QFETCH(int, window);
    hub->dataParam.fftSeconds = fftSeconds;
    hub->dataParam.dataRate = dataRate;
    SensitivityModuleForm page(hub);
    page.setActive(true);
    // chunks of 50 counting values, one and a half windows and more
    const int total = window + window / 2 + 60;
    QVector<double> chunk;
    for (int v = 0; v < total; ++v) {
        chunk << double(v);
        if (chunk.size() == 50 || v == total - 1) {
            page.slots_updateForm(chunk, {}, {});
            chunk.clear();
            page.onRefreshTimer(); // one chunk per tick
        }
    }
    QVERIFY(page.isQueueEmpty());
    QCOMPARE(page.timeValues().size(), window);
    QCOMPARE(page.timeValues().first(), double(total - window)); // the newest are kept
    QCOMPARE(page.timeValues().last(), double(total - 1));
    const QCPGraph* g = page.timeCurve();
    QCOMPARE(g->dataCount(), window);
    QCOMPARE(g->data()->at(0)->key, 0.0);
    QVERIFY(std::fabs(g->data()->at(window - 1)->key - (window - 1) * dataRate) < 1e-9);
    const QCustomPlot* plot = page.timeChart();
    QCOMPARE(plot->xAxis->range(), QCPRange(0, fftSeconds));
    const double span = (window - 1) / 10.0;
    QVERIFY(std::fabs(plot->yAxis->range().lower - (total - window - span)) < 1e-9);
    QVERIFY(std::fabs(plot->yAxis->range().upper - (total - 1 + span)) < 1e-9);
}

void TestSpectrumPage::noWindowForBadSettings()
{
    hub->dataParam.dataRate = 0.0;
    SensitivityModuleForm page(hub);
    page.setActive(true);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("spectrum page: no window for 10 s at 0 s per value"));
    for (int i = 0; i < 3; ++i) { // reported once, not per tick
        page.slots_updateForm({1.0, 2.0}, {}, {});
        page.onRefreshTimer();
    }
    QVERIFY(page.timeValues().isEmpty());
    QCOMPARE(page.timeChart()->yAxis->range(), QCPRange(12000, 16000));
    // good settings again: the window fills
    hub->dataParam.dataRate = 0.001;
    page.slots_updateForm({1.0, 2.0}, {}, {});
    page.onRefreshTimer();
    QCOMPARE(page.timeValues(), (QVector<double>{1.0, 2.0}));
}

void TestSpectrumPage::emptyAndFlatChunks()
{
    SensitivityModuleForm page(hub);
    page.setActive(true);
    QCustomPlot* plot = page.timeChart();
    // nothing yet: an empty chunk leaves the ranges as they were
    page.slots_updateForm({}, {}, {});
    page.onRefreshTimer();
    QCOMPARE(plot->yAxis->range(), QCPRange(12000, 16000));
    QCOMPARE(plot->xAxis->range(), QCPRange(0, 10));
    QCOMPARE(page.timeCurve()->dataCount(), 0);

    page.slots_updateForm({50000.0, 50002.0}, {}, {});
    page.onRefreshTimer();
    const QCPRange drawn = plot->yAxis->range();
    QVERIFY(std::fabs(drawn.lower - 49999.8) < 1e-9 && std::fabs(drawn.upper - 50002.2) < 1e-9);
    page.slots_updateForm({}, {}, {});
    page.onRefreshTimer();
    QCOMPARE(plot->yAxis->range(), drawn);
    QCOMPARE(page.timeCurve()->dataCount(), 2);

    // a flat window stays in view, centred on its value
    page.clearCharts();
    page.slots_updateForm({35000.0, 35000.0, 35000.0}, {}, {});
    page.onRefreshTimer();
    QVERIFY(plot->yAxis->range().contains(35000.0));
    QCOMPARE(plot->yAxis->range().center(), 35000.0);
}

void TestSpectrumPage::samplingRateAxis_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<QVector<double>>("ticks");
    // xAxisUpper 150; the axis before the call: 0 to 10 with a tick every 2 (rate 20)
    QTest::newRow("1") << 1 << QVector<double>{0, 0.2, 0.4, 0.6, 0.8, 1.0};
    QTest::newRow("20") << 20 << QVector<double>{0, 2, 4, 6, 8, 10};
    QTest::newRow("200") << 200 << QVector<double>{0, 25, 50, 75, 100, 125, 150};
    QTest::newRow("1000") << 1000 << QVector<double>{0, 25, 50, 75, 100, 125, 150};
    QTest::newRow("500 keeps the axis") << 500 << QVector<double>{0, 2, 4, 6, 8, 10};
    QTest::newRow("10 keeps the axis") << 10 << QVector<double>{0, 2, 4, 6, 8, 10};
}

void TestSpectrumPage::samplingRateAxis()
{
    QFETCH(int, rate);
    QFETCH(QVector<double>, ticks);
    SensitivityModuleForm page(hub);
    page.resize(1280, 610);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    page.setSamplingRate(20);
    QCustomPlot* plot = page.spectrumChart();
    const QCPRange yBefore = plot->yAxis->range();
    page.setSamplingRate(rate);
    QCOMPARE(plot->xAxis->range().lower, 0.0);
    QCOMPARE(plot->xAxis->range().upper, ticks.last());
    const QVector<double> shown = plot->xAxis->tickVector();
    QCOMPARE(shown.size(), ticks.size());
    for (int i = 0; i < ticks.size(); ++i)
        QVERIFY2(std::fabs(shown.at(i) - ticks.at(i)) < 1e-9, qPrintable(QString::number(shown.at(i))));
    auto fixed = qSharedPointerDynamicCast<QCPAxisTickerFixed>(plot->xAxis->ticker());
    QVERIFY(fixed);
    QCOMPARE(fixed->scaleStrategy(), QCPAxisTickerFixed::ssNone);
    QCOMPARE(plot->yAxis->range(), yBefore);
    QCOMPARE(plot->yAxis->scaleType(), QCPAxis::stLogarithmic);
}

void TestSpectrumPage::polling_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("held");
    QTest::addColumn<QVector<int>>("startSends");
    QTest::addColumn<bool>("heldAfterStart");
    QTest::addColumn<QVector<int>>("stopSends");
    const QVector<int> none;
    QTest::newRow("measuring, stream not started")
        << true << false << QVector<int>{Addrdds_start} << true << QVector<int>{Addrdds_end};
    QTest::newRow("measuring, stream running") << true << true << none << true << QVector<int>{Addrdds_end};
    QTest::newRow("not measuring") << false << false << none << false << none;
    QTest::newRow("not measuring, held") << false << true << none << true << none;
}

void TestSpectrumPage::polling()
{
    QFETCH(bool, running);
    QFETCH(bool, held);
    QFETCH(QVector<int>, startSends);
    QFETCH(bool, heldAfterStart);
    QFETCH(QVector<int>, stopSends);
    SensitivityModuleForm page(hub);
    hub->setRunning(running);
    hub->setParamPollingHeld(held);
    QSignalSpy start(hub, &ParamManager::sig_sendModbusData);
    page.startPolling();
    QCOMPARE(kinds(start), startSends);
    QCOMPARE(hub->isParamPollingHeld(), heldAfterStart);

    QSignalSpy stop(hub, &ParamManager::sig_sendModbusData);
    if (running)
        QTest::ignoreMessage(QtDebugMsg, "20260417 Addrdds_end 2");
    page.stopPolling();
    QCOMPARE(kinds(stop), stopSends);
    QCOMPARE(hub->isParamPollingHeld(), heldAfterStart); // the flag is the caller's
}

void TestSpectrumPage::pageSwitchPolling_data()
{
    QTest::addColumn<QString>("leaveTo");
    QTest::addColumn<bool>("streamStopped");
    QTest::newRow("to main") << "btnMain" << false;
    QTest::newRow("to recording") << "btnSave" << false;
    QTest::newRow("to help") << "btnHelp" << false;
    QTest::newRow("to service") << "btnMonitor" << true;
    QTest::newRow("to configuration") << "btnConfig" << true;
}

void TestSpectrumPage::pageSwitchPolling()
{
    QFETCH(QString, leaveTo);
    QFETCH(bool, streamStopped);
    MainWindow window(hub);
    auto* page = window.findChild<SensitivityModuleForm*>();
    QVERIFY(page);
    // the main page has started the stream already: entering sends nothing
    hub->setParamPollingHeld(true);
    QSignalSpy sends(hub, &ParamManager::sig_sendModbusData);
    window.findChild<QPushButton*>(QStringLiteral("btnSensitivity"))->click();
    QVERIFY(page->active());
    QVERIFY(!kinds(sends).contains(Addrdds_start));
    sends.clear();
    window.findChild<QPushButton*>(leaveTo)->click();
    QVERIFY(!page->active());
    QCOMPARE(kinds(sends).contains(Addrdds_end), streamStopped);
}

void TestSpectrumPage::nonPositiveDensitiesLeftOut()
{
    SensitivityModuleForm page(hub);
    page.setActive(true);
    QCustomPlot* plot = page.spectrumChart();
    const QCPRange xBefore = plot->xAxis->range();
    const QCPRange yBefore = plot->yAxis->range();
    const QVector<double> f{0.0, 0.1, 0.2, 0.3, 0.4, 0.5};
    const QVector<double> d{0.0, 3e-3, -1e-4, 2e-3, std::nan(""), 1e-3};
    page.slots_updateForm({1.0}, f, d);
    QCOMPARE(graphKeys(page.spectrumCurve()), (QVector<double>{0.1, 0.3, 0.5}));
    QCOMPARE(graphValues(page.spectrumCurve()), (QVector<double>{3e-3, 2e-3, 1e-3}));
    QCOMPARE(plot->xAxis->range(), xBefore);
    QCOMPARE(plot->yAxis->range(), yBefore);

    // a flat window: every density zero, nothing to draw
    page.slots_updateForm({1.0}, f, QVector<double>(f.size(), 0.0));
    QCOMPARE(page.spectrumCurve()->dataCount(), 0);
    QCOMPARE(plot->yAxis->range(), yBefore);
}

void TestSpectrumPage::badSpectrumLists()
{
    SensitivityModuleForm page(hub);
    page.setActive(true);
    const Spectrum good = ramp(8, 0.5);
    page.slots_updateForm({1.0}, good.f, good.d);

    // lists out of step: refused with one line, the last spectrum stays
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("spectrum page: spectrum refused, 3 frequencies for 2 densities"));
    page.slots_updateForm({1.0}, {0.0, 1.0, 2.0}, {1e-3, 2e-3});
    page.slots_updateForm({1.0}, {0.0, 1.0, 2.0}, {1e-3, 2e-3});
    QCOMPARE(graphKeys(page.spectrumCurve()), good.f);
    QCOMPARE(graphValues(page.spectrumCurve()), good.d);

    // frequencies out of order: drawn in order of frequency
    QTest::ignoreMessage(QtDebugMsg, "spectrum page: frequencies out of order, sorting them");
    page.slots_updateForm({1.0}, {2.0, 0.0, 1.0}, {3e-3, 1e-3, 2e-3});
    QCOMPARE(graphKeys(page.spectrumCurve()), (QVector<double>{0.0, 1.0, 2.0}));
    QCOMPARE(graphValues(page.spectrumCurve()), (QVector<double>{1e-3, 2e-3, 3e-3}));
    // the chunks still reached the window
    drain(page);
    QCOMPARE(page.timeValues().size(), 4);
}

void TestSpectrumPage::clearingEmptiesBothCharts_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Clear Plot") << "clear";
    QTest::newRow("Reboot") << "reboot";
    QTest::newRow("disconnect") << "disconnect";
}

void TestSpectrumPage::clearingEmptiesBothCharts()
{
    QFETCH(QString, how);
    MainWindow window(hub);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* page = window.findChild<SensitivityModuleForm*>();
    window.findChild<QPushButton*>(QStringLiteral("btnSensitivity"))->click();
    QVERIFY(page->isVisible());
    const Spectrum s = ramp(100, 0.1);
    page->slots_updateForm({50000.0, 50001.0, 50003.0}, s.f, s.d);
    page->onRefreshTimer();
    page->slots_updateForm({50002.0}, {}, {}); // one chunk still waiting
    QCOMPARE(page->timeCurve()->dataCount(), 3);
    QCOMPARE(page->spectrumCurve()->dataCount(), 100);

    // a crosshair on each chart
    for (CustomPlot* plot : {page->timeChart(), page->spectrumChart()}) {
        QTest::mousePress(plot, Qt::RightButton, Qt::NoModifier, plot->axisRect()->rect().center());
        QCOMPARE(visibleLines(plot), 2);
        QVERIFY(readout(plot, "x: ")->visible());
    }
    const QCPRange time = page->timeChart()->yAxis->range();
    const QCPRange spectrumX = page->spectrumChart()->xAxis->range();

    if (how == QLatin1String("clear")) {
        window.findChild<QPushButton*>(QStringLiteral("btn_clearPlot"))->click();
    } else {
        if (how == QLatin1String("reboot"))
            window.findChild<QPushButton*>(QStringLiteral("btn_reboot"))->click();
        else
            emit hub->sig_disconnect();
        QTRY_VERIFY(page->timeCurve()->dataCount() == 0);
    }
    QCOMPARE(page->timeCurve()->dataCount(), 0);
    QCOMPARE(page->spectrumCurve()->dataCount(), 0);
    QVERIFY(page->timeValues().isEmpty());
    QVERIFY(page->isQueueEmpty());
    for (CustomPlot* plot : {page->timeChart(), page->spectrumChart()}) {
        QCOMPARE(visibleLines(plot), 0);
        QVERIFY(!readout(plot, "x: ")->visible());
        QVERIFY(!readout(plot, "y: ")->visible());
    }
    QCOMPARE(page->timeChart()->yAxis->range(), time);
    QCOMPARE(page->spectrumChart()->xAxis->range(), spectrumX);

    // the next chunk starts a new window
    hub->setRunning(true);
    page->slots_updateForm({50005.0}, {}, {});
    page->onRefreshTimer();
    QCOMPARE(page->timeValues(), QVector<double>{50005.0});
}

void TestSpectrumPage::crosshairOnLogAxis()
{
    hub->yAxisLower = 1e-5;
    hub->yAxisUpper = 1.0;
    SensitivityModuleForm page(hub);
    page.resize(1280, 610);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    CustomPlot* plot = page.spectrumChart();
    plot->replot();
    // a point at 3/5 of the width and 1/5 of the height from the bottom:
    // 0.6 * 150 Hz = 90 Hz and, on 5 decades, 10^(-5 + 1) = 1e-4
    const QRect r = plot->axisRect()->rect();
    const QPoint at(r.left() + qRound(0.6 * (r.width() - 1)), r.bottom() - qRound(0.2 * (r.height() - 1)));
    QTest::mousePress(plot, Qt::RightButton, Qt::NoModifier, at);
    const double x = readout(plot, "x: ")->text().mid(3).toDouble();
    const double y = readout(plot, "y: ")->text().mid(3).toDouble();
    const double xPerPixel = 150.0 / r.width();
    const double decadesPerPixel = 5.0 / r.height();
    QVERIFY2(std::fabs(x - 90.0) < 2 * xPerPixel, qPrintable(QString::number(x)));
    QVERIFY2(std::fabs(std::log10(y) + 4.0) < 2 * decadesPerPixel, qPrintable(QString::number(y, 'g', 10)));
    QCOMPARE(visibleLines(plot), 2);
    QTest::mouseRelease(plot, Qt::RightButton, Qt::NoModifier, at);
    QCOMPARE(visibleLines(plot), 0);
    QVERIFY(readout(plot, "y: ")->visible());
}

void TestSpectrumPage::language_data()
{
    QTest::addColumn<int>("isChinese");
    QTest::addColumn<QString>("xLabel");
    QTest::addColumn<QString>("yLabel");
    QTest::newRow("English") << 0 << "Frequency(Hz)"
                             << "Sens(nT/Hz^0.5)";
    QTest::newRow("Chinese") << 1 << "频率(Hz)"
                             << "灵敏度(nT/Hz^0.5)";
}

void TestSpectrumPage::language()
{
    QFETCH(int, isChinese);
    QFETCH(QString, xLabel);
    QFETCH(QString, yLabel);
    hub->isChinese = isChinese;
    MainWindow window(hub);
    auto* page = window.findChild<SensitivityModuleForm*>();
    QCOMPARE(page->spectrumChart()->xAxis->label(), xLabel);
    QCOMPARE(page->spectrumChart()->yAxis->label(), yLabel);
    // and back the other way through the window's signal
    emit window.sig_ChangeLanguage(isChinese == 1 ? 0 : 1);
    QCOMPARE(page->spectrumChart()->xAxis->label() == xLabel, false);
    emit window.sig_ChangeLanguage(isChinese);
    QCOMPARE(page->spectrumChart()->xAxis->label(), xLabel);
    QCOMPARE(page->spectrumChart()->yAxis->label(), yLabel);
}

QTEST_MAIN(TestSpectrumPage)
#include "tst_spectrumpage.moc"
