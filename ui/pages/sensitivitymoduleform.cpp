#include "ui/pages/sensitivitymoduleform.h"

#include "hub/parammanager.h"
#include "ui/widgets/cardgradient.h"
#include "ui/widgets/customplot.h"
#include "ui/widgets/graphdensity.h"
#include "ui_sensitivitymoduleform.h"

#include <QDebug>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>

namespace
{

constexpr int kRingCapacity = 256;
constexpr int kRefreshMs = 30;

const QColor kTextColour(43, 59, 80); // #2B3B50
const char kCurveColour[] = "#1667BA";
const char kAxisColour[] = "#CDDBEB";

QFont chartFont()
{
    return QFont(QStringLiteral("MiSans"), 16, QFont::Normal, false);
}

void styleChart(QCustomPlot* chart)
{
    chart->xAxis->grid()->setVisible(false);
    chart->yAxis->grid()->setVisible(false);
    chart->setBackground(cardGradient());
    chart->axisRect()->setBackground(QBrush(Qt::transparent));
    for (QCPAxis* axis : {chart->xAxis, chart->yAxis})
        axis->setBasePen(QPen(QColor(QLatin1String(kAxisColour))));
}

void styleTicks(QCustomPlot* chart)
{
    for (QCPAxis* axis : {chart->xAxis, chart->yAxis}) {
        axis->setTickLength(0, 0);
        axis->setSubTickLength(0, 0);
        axis->setTickPen(QPen(QColor(QLatin1String(kAxisColour)), 1.0));
        axis->setSubTickPen(QPen(QColor(QLatin1String(kAxisColour)), 0.5));
        axis->setTickLabels(true);
        axis->setTickLabelFont(chartFont());
        axis->setTickLabelColor(kTextColour);
    }
}

QSharedPointer<QCPAxisTickerFixed> fixedTicker(double step)
{
    QSharedPointer<QCPAxisTickerFixed> ticker(new QCPAxisTickerFixed);
    ticker->setTickStep(step);
    ticker->setScaleStrategy(QCPAxisTickerFixed::ssNone);
    return ticker;
}

} // namespace

SensitivityModuleForm::SensitivityModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), paramManager(paramManager), ringBuffer(kRingCapacity)
{
    ui = new Ui_SensitivityModuleForm;
    ui->setupUi(this); // ends with connectSlotsByName; no slot of this page matches
    initCharts();
    initTimer();
}

SensitivityModuleForm::~SensitivityModuleForm()
{
    delete ui;
}

QCPGraph* SensitivityModuleForm::timeCurve() const
{
    return timeGraph.data();
}

QCPGraph* SensitivityModuleForm::spectrumCurve() const
{
    return spectrumGraph.data();
}

void SensitivityModuleForm::initCharts()
{
    chart1 = ui->chart1;
    chart2 = ui->chart2;

    timeGraph = chart1->addGraph();
    timeGraph->setPen(QPen(QColor(QLatin1String(kCurveColour))));
    styleChart(chart1);
    chart1->xAxis->setRange(0, 10);
    chart1->yAxis->setRange(12000, 16000);
    styleTicks(chart1);

    chart2->xAxis->setLabel(QStringLiteral("Frequency(Hz)"));
    chart2->yAxis->setLabel(QStringLiteral("Sens(nT/Hz^0.5)"));
    for (QCPAxis* axis : {chart2->xAxis, chart2->yAxis}) {
        axis->setLabelFont(chartFont());
        axis->setLabelColor(kTextColour);
    }
    chart2->setInteractions(QCP::iRangeDrag);
    spectrumGraph = chart2->addGraph();
    spectrumGraph->setPen(QPen(QColor(QLatin1String(kCurveColour))));
    styleChart(chart2);
    chart2->xAxis->setRange(0, paramManager->xAxisUpper);
    chart2->xAxis->setTicker(fixedTicker(25));
    chart2->yAxis->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
    chart2->yAxis->setScaleType(QCPAxis::stLogarithmic);
    chart2->yAxis->setNumberPrecision(0);
    chart2->yAxis->setNumberFormat(QStringLiteral("eb"));
    qSharedPointerCast<QCPAxisTickerLog>(chart2->yAxis->ticker())->setLogBase(10);
    chart2->yAxis->setRange(paramManager->yAxisLower, paramManager->yAxisUpper);
    styleTicks(chart2);
    chart2->replot(QCustomPlot::rpRefreshHint);
}

void SensitivityModuleForm::initTimer()
{
    refreshTimer = new QTimer(this);
    connect(refreshTimer, &QTimer::timeout, this, &SensitivityModuleForm::onRefreshTimer);
    refreshTimer->start(kRefreshMs);
}

// ---- commands from the main window ----

void SensitivityModuleForm::startPolling()
{
    if (paramManager->isRunning() && !paramManager->isParamPollingHeld()) {
        emit paramManager->sig_sendModbusData(Addrdds_start);
        paramManager->setParamPollingHeld(true);
    }
}

void SensitivityModuleForm::stopPolling()
{
    if (paramManager->isRunning()) {
        qDebug() << "20260417 Addrdds_end 2";
        emit paramManager->sig_sendModbusData(Addrdds_end);
    }
}

void SensitivityModuleForm::setActive(bool active)
{
    isActive = active;
}

void SensitivityModuleForm::setSamplingRate(int rate)
{
    double upper = 0.0;
    double step = 0.0;
    switch (rate) {
    case 1:
        upper = 1;
        step = 0.2;
        break;
    case 20:
        upper = 10;
        step = 2;
        break;
    case 200:
    case 1000:
        upper = paramManager->xAxisUpper;
        step = 25;
        break;
    default:
        break;
    }
    if (step > 0.0) {
        chart2->xAxis->setRange(0, upper);
        chart2->xAxis->setTicker(fixedTicker(step));
    }
    GraphDensity::antialiasUnlessThinned(spectrumGraph);
    chart2->replot(QCustomPlot::rpRefreshHint);
}

void SensitivityModuleForm::clearCharts()
{
    timeBuffer.resize(0); // keeps the capacity for the next window
    ringBuffer.clear();
    if (timeGraph)
        timeGraph->data()->clear();
    if (spectrumGraph)
        spectrumGraph->data()->clear();
    chart1->hideCursor();
    chart2->hideCursor();
    chart1->replot(QCustomPlot::rpRefreshHint);
    chart2->replot(QCustomPlot::rpRefreshHint);
}

void SensitivityModuleForm::reset()
{
    clearCharts();
}

// ---- data ----

void SensitivityModuleForm::slots_updateForm(QVector<double> datas, QVector<double> f_datas, QVector<double> fft_datas)
{
    if (!paramManager->isRunning())
        return;
    ringBuffer.push(datas);
    // The spectrum is not queued: one that comes while the page is hidden is
    // dropped. At one value a second there is no spectrum to show.
    if (!f_datas.isEmpty() && !fft_datas.isEmpty() && isActive && paramManager->samplingRate != 1)
        drawSpectrum(f_datas, fft_datas);
}

void SensitivityModuleForm::drawSpectrum(const QVector<double>& f_datas, const QVector<double>& fft_datas)
{
    if (!spectrumGraph)
        return;
    if (f_datas.size() != fft_datas.size()) {
        if (!spectrumRefused)
            qDebug() << "spectrum page: spectrum refused," << f_datas.size() << "frequencies for" << fft_datas.size()
                     << "densities; the chart keeps the last one";
        spectrumRefused = true;
        return;
    }
    spectrumRefused = false;
    // A density of zero or below (0 Hz after the high-pass, a flat window)
    // has no place on the logarithmic axis: such bins are left out.
    QVector<double> frequencies;
    QVector<double> densities;
    frequencies.reserve(f_datas.size());
    densities.reserve(fft_datas.size());
    for (int i = 0; i < f_datas.size(); ++i) {
        const double d = fft_datas.at(i);
        if (d > 0.0 && std::isfinite(d) && std::isfinite(f_datas.at(i))) {
            frequencies.append(f_datas.at(i));
            densities.append(d);
        }
    }
    // Frequencies come ascending; anything else is sorted by the library.
    const bool sorted = std::is_sorted(frequencies.constBegin(), frequencies.constEnd());
    if (!sorted && !spectrumUnsorted)
        qDebug() << "spectrum page: frequencies out of order, sorting them";
    spectrumUnsorted = !sorted;
    spectrumGraph->setData(frequencies, densities, sorted);
    GraphDensity::antialiasUnlessThinned(spectrumGraph);
    chart2->replot(QCustomPlot::rpRefreshHint);
}

int SensitivityModuleForm::windowSize()
{
    const DataParam& param = paramManager->dataParam;
    const double n = double(param.fftSeconds) / param.dataRate;
    const bool valid = param.dataRate > 0.0 && std::isfinite(param.dataRate) && n >= 1.0;
    if (!valid) {
        if (param.fftSeconds != badFftSeconds || param.dataRate != badDataRate)
            qDebug() << "spectrum page: no window for" << param.fftSeconds << "s at" << param.dataRate
                     << "s per value; the time chart stays empty";
        badFftSeconds = param.fftSeconds;
        badDataRate = param.dataRate;
        return 0;
    }
    badFftSeconds = 0;
    badDataRate = 0.0;
    return n >= double(INT_MAX) ? INT_MAX : int(n);
}

void SensitivityModuleForm::onRefreshTimer()
{
    if (ringBuffer.isEmpty())
        return;
    timeBuffer += ringBuffer.pop();

    const int window = windowSize();
    if (timeBuffer.size() > window)
        timeBuffer.remove(0, timeBuffer.size() - window);

    if (!isActive)
        return;
    // Nothing to draw: the chart and its ranges keep what they show.
    if (timeBuffer.isEmpty())
        return;

    const DataParam& param = paramManager->dataParam;
    const QVector<double>& timeKeys = keys.forSamples(timeBuffer.size(), param.dataRate);
    if (timeGraph)
        timeGraph->setData(timeKeys, timeBuffer, true);

    double minValue = INFINITY;
    double maxValue = -INFINITY;
    for (double v : qAsConst(timeBuffer)) {
        if (std::isfinite(v)) {
            minValue = std::min(minValue, v);
            maxValue = std::max(maxValue, v);
        }
    }
    if (minValue <= maxValue) {
        // A flat window has no spread; 1 nT either side keeps the line in view.
        const double span = maxValue > minValue ? (maxValue - minValue) / 10.0 : 1.0;
        chart1->yAxis->setRange(minValue - span, maxValue + span);
    }
    chart1->xAxis->setRange(0, param.fftSeconds);
    GraphDensity::antialiasUnlessThinned(timeGraph);
    chart1->replot(QCustomPlot::rpQueuedReplot);
}

// ---- language ----

void SensitivityModuleForm::slot_setLanguage(int num)
{
    static const QString frequencyLabel = chart2->xAxis->label();
    static const QString sensLabel = chart2->yAxis->label();
    if (num == 1) {
        chart2->xAxis->setLabel(QStringLiteral("频率(Hz)"));
        chart2->yAxis->setLabel(QStringLiteral("灵敏度(nT/Hz^0.5)"));
    } else {
        chart2->xAxis->setLabel(frequencyLabel);
        chart2->yAxis->setLabel(sensLabel);
    }
    chart2->replot(QCustomPlot::rpRefreshHint);
}
