#include "ui/pages/vectormodulewidget.h"

#include "core/globalstate.h"
#include "hub/parammanager.h"
#include "ui/widgets/cardgradient.h"
#include "ui_vectormodulewidget.h"

#include <qcustomplot.h>

#include <QIntValidator>
#include <QMutexLocker>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace
{

constexpr int kRingCapacity = 256;
constexpr int kRefreshMs = 20;
constexpr double kRecordStepSeconds = 0.009; // 111 vector records per second
constexpr int kDefaultMeasTime = 10;
constexpr int kCombinedPoints = 1024;

enum Readout { ReadoutMax = 0, ReadoutMin = 1, ReadoutLast = 2 };

struct ToggleColours {
    const char* normal;
    const char* hover;
    const char* checked;
};

// X, Y, Z, S.
const ToggleColours kToggleColours[4] = {{"#ED5E6A", "#FF7F87", "#C84754"},
                                         {"#15B6C2", "#2AD1D9", "#119AA6"},
                                         {"#369FED", "#57B0F0", "#1F7ACB"},
                                         {"#AB47BC", "#C257D9", "#8A36A3"}};

const char kLabelStyle[] =
    "QLabel { font-family: MiSans; font-weight: 400; font-size: 18px; color: #77818E; background: transparent; }";
const char kEditStyle[] =
    "QLineEdit { background-color: #F1F8FF; border-radius: 6px; border: 1px solid rgba(185, 198, 212, 143);"
    " font-family: MiSans; font-weight: 400; font-size: 18px; color: #2B3B50; }";

QString toggleStyle(const ToggleColours& c)
{
    return QStringLiteral("QPushButton { color: black; background-color: %1; }"
                          " QPushButton:hover { background-color: %2; }"
                          " QPushButton:checked { background-color: %3; }")
        .arg(QLatin1String(c.normal), QLatin1String(c.hover), QLatin1String(c.checked));
}

// Smallest and largest finite value, and the newest finite one; false when
// there is none (the read-outs and ranges then stay as they are).
bool finiteExtent(const QVector<double>& values, double& lo, double& hi, double& last)
{
    bool any = false;
    for (double v : values) {
        if (!std::isfinite(v))
            continue;
        if (!any) {
            lo = hi = v;
            any = true;
        } else {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        last = v;
    }
    return any;
}

double combinedTickStep(double span)
{
    if (span <= 10)
        return 1;
    if (span <= 50)
        return 5;
    if (span <= 100)
        return 10;
    if (span <= 500)
        return 50;
    if (span <= 1000)
        return 100;
    if (span <= 5000)
        return 500;
    if (span <= 10000)
        return 1000;
    return 10000;
}

void setMeasTime(int seconds)
{
    GlobalState& global = GlobalState::instance();
    QMutexLocker lock(&global.measTimeMutex);
    global.measTime = seconds;
}

} // namespace

VectorModuleWidget::VectorModuleWidget(ParamManager* pm, QWidget* parent)
    : QWidget(parent), pm(pm), vectorRing(kRingCapacity)
{
    ui = new Ui_VectorModuleWidget;
    axisColours = {QColor(QStringLiteral("#ED5E6A")), QColor(QStringLiteral("#15B6C2")),
                   QColor(QStringLiteral("#369FED")), QColor(QStringLiteral("#AB47BC"))};
    ui->setupUi(this);
    initButtons();
    initAxisPlots();
    initFftChart();
    initFftCursorLines();
    initFftCaption();
    initCombinedPlot();
    initTimer();
    initLabelStyles();
}

VectorModuleWidget::~VectorModuleWidget()
{
    // The base destructor hides the children: a focused edit then finishes
    // editing, which must not reach this half-destroyed page.
    disconnect(ui->edt_MeasTime, nullptr, this, nullptr);
    disconnect(ui->vectorFFTAll, nullptr, this, nullptr);
    delete ui;
}

QString VectorModuleWidget::readoutText(int axis, int readout) const
{
    const QVector<QCPItemText*>& labels = axisLabels[size_t(axis)];
    return readout >= 0 && readout < labels.size() ? labels[readout]->text() : QString();
}

// ---- construction ---------------------------------------------------------

void VectorModuleWidget::initButtons()
{
    ui->btn_FFT_X->setStyleSheet(toggleStyle(kToggleColours[0]));
    ui->btn_VectorX->setStyleSheet(toggleStyle(kToggleColours[0]));
    ui->btn_FFT_Y->setStyleSheet(toggleStyle(kToggleColours[1]));
    ui->btn_VectorY->setStyleSheet(toggleStyle(kToggleColours[1]));
    ui->btn_FFT_Z->setStyleSheet(toggleStyle(kToggleColours[2]));
    ui->btn_VectorZ->setStyleSheet(toggleStyle(kToggleColours[2]));
    ui->btn_FFT_S->setStyleSheet(toggleStyle(kToggleColours[3]));

    connect(ui->btn_CombinePlots, &QPushButton::toggled, ui->btn_CombinePlots,
            [this](bool checked) { ui->stackedWidget1->setCurrentWidget(checked ? ui->page_2 : ui->page); });
    // The graphs do not exist yet: each toggle looks its graph up when pressed.
    const std::array<QPushButton*, 3> combined{{ui->btn_VectorX, ui->btn_VectorY, ui->btn_VectorZ}};
    for (size_t i = 0; i < combined.size(); ++i) {
        connect(combined[i], &QPushButton::toggled, combined[i], [this, i](bool checked) {
            if (combinedGraphs[i])
                combinedGraphs[i]->setVisible(checked);
            showCombined[i] = checked;
        });
    }
    const std::array<QPushButton*, 4> fft{{ui->btn_FFT_X, ui->btn_FFT_Y, ui->btn_FFT_Z, ui->btn_FFT_S}};
    for (size_t i = 0; i < fft.size(); ++i) {
        connect(fft[i], &QPushButton::toggled, fft[i], [this, i](bool checked) {
            if (fftGraphs[i])
                fftGraphs[i]->setVisible(checked);
            showFft[i] = checked;
        });
    }

    ui->btn_CombinePlots->setVisible(false);
    ui->edt_MeasTime->setValidator(new QIntValidator(1, 60, this));
    ui->edt_MeasTime->setText(QString::number(kDefaultMeasTime));
    setMeasTime(kDefaultMeasTime);
    connect(ui->edt_MeasTime, &QLineEdit::editingFinished, this, &VectorModuleWidget::onMeasTimeEdited);
}

void VectorModuleWidget::initAxisPlots()
{
    axisPlots = {ui->vectorX, ui->vectorY, ui->vectorZ, ui->vectorS};
    const QString titles[4] = {QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z"), QStringLiteral("S")};
    for (int i = 0; i < 4; ++i)
        initAxisPlot(axisPlots[size_t(i)], titles[i], axisColours[size_t(i)], i);
}

void VectorModuleWidget::initAxisPlot(QCustomPlot* plot, const QString& title, const QColor& colour, int axis)
{
    QCPGraph* graph = plot->addGraph();
    graph->setPen(QPen(colour));
    timeGraphs[size_t(axis)] = graph;

    const auto makeText = [plot, &colour](double x, double y, Qt::Alignment alignment, const QString& text) {
        auto* item = new QCPItemText(plot);
        item->setFont(QFont(QString::fromUtf8("黑体"), 14));
        item->setColor(colour);
        item->position->setType(QCPItemPosition::ptAxisRectRatio);
        item->position->setCoords(x, y);
        item->setPositionAlignment(alignment);
        item->setText(text);
        return item;
    };
    QVector<QCPItemText*>& labels = axisLabels[size_t(axis)];
    labels.append(makeText(0.99, 0.01, Qt::AlignRight | Qt::AlignTop, QStringLiteral("0")));
    labels.append(makeText(0.99, 0.99, Qt::AlignRight | Qt::AlignBottom, QStringLiteral("500")));
    labels.append(makeText(0.04, 0.01, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("1000")));
    makeText(0.01, 0.01, Qt::AlignLeft | Qt::AlignTop, title);

    for (QCPAxis* a : {plot->xAxis, plot->yAxis}) {
        a->setVisible(false);
        a->grid()->setVisible(false);
        a->setTicks(false);
        a->setTickLabels(false);
        a->setBasePen(QPen(Qt::white));
        a->setTickPen(QPen(Qt::white));
        a->setTickLabelColor(Qt::white);
    }
    plot->xAxis->setRange(0, 1000);
    plot->setBackground(cardGradient());
    plot->axisRect()->setBackground(Qt::transparent);
}

void VectorModuleWidget::initFftChart()
{
    QCustomPlot* plot = ui->vectorFFTAll;
    plot->setBackground(cardGradient());
    plot->xAxis->setRange(0, 50);
    plot->xAxis->setLabel(QStringLiteral("Hz"));
    plot->yAxis->setScaleType(QCPAxis::stLogarithmic);
    plot->yAxis->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
    plot->yAxis->setRange(0.01, 10);
    plot->yAxis->setLabel(QString::fromUtf8("nT/√Hz"));
    plot->yAxis->setNumberFormat(QStringLiteral("e"));
    plot->yAxis->setNumberPrecision(0);
    const QColor text(QStringLiteral("#2C3E50"));
    const QPen axisPen(QColor(QStringLiteral("#4A90E2")));
    const QPen gridPen(QColor(QStringLiteral("#B0C4DE")));
    for (QCPAxis* a : {plot->xAxis, plot->yAxis}) {
        a->setLabelColor(text);
        a->setTickLabelColor(text);
        a->setBasePen(axisPen);
        a->setTickPen(axisPen);
        a->grid()->setPen(gridPen);
    }
    for (size_t i = 0; i < fftGraphs.size(); ++i) {
        fftGraphs[i] = plot->addGraph();
        fftGraphs[i]->setPen(QPen(axisColours[i]));
    }
    connect(plot, &QCustomPlot::mouseMove, this, &VectorModuleWidget::onFftMouseMove);
}

void VectorModuleWidget::initFftCursorLines()
{
    QCustomPlot* plot = ui->vectorFFTAll;
    const QPen pen(QColor(QStringLiteral("#F5A623")), 1, Qt::DashLine);
    fftCursorH = new QCPItemStraightLine(plot);
    fftCursorH->setPen(pen);
    fftCursorH->point1->setCoords(0, 0.1);
    fftCursorH->point2->setCoords(150, 0.1);
    fftCursorV = new QCPItemStraightLine(plot);
    fftCursorV->setPen(pen);
    fftCursorV->point1->setCoords(60, 0.01);
    fftCursorV->point2->setCoords(60, 10);
}

void VectorModuleWidget::initFftCaption()
{
    auto* caption = new QCPItemText(ui->vectorFFTAll);
    caption->position->setType(QCPItemPosition::ptAxisRectRatio);
    caption->position->setCoords(0.9, 0.05);
    caption->setText(QString::fromUtf8("nT/√Hz - Hz"));
    caption->setColor(QColor(QStringLiteral("#00796B")));
    caption->setFont(QFont(QStringLiteral("MiSans"), 10));
}

void VectorModuleWidget::initCombinedPlot()
{
    QCustomPlot* plot = ui->vectorXYZ;
    plot->setBackground(Qt::black);
    plot->axisRect()->setBackground(Qt::black);
    plot->xAxis->setRange(0, kCombinedPoints);
    plot->yAxis->setRange(-1000, 1000);
    QSharedPointer<QCPAxisTickerFixed> ticker(new QCPAxisTickerFixed);
    ticker->setTickStep(200);
    plot->yAxis->setTicker(ticker);
    for (QCPAxis* a : {plot->xAxis, plot->yAxis}) {
        a->setBasePen(QPen(Qt::white));
        a->setTickPen(QPen(Qt::white));
        a->setSubTickPen(QPen(Qt::white));
        a->setTickLabelColor(Qt::white);
        a->grid()->setVisible(false);
    }
    const QString names[3] = {QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")};
    const Qt::GlobalColor colours[3] = {Qt::red, Qt::green, Qt::cyan};
    for (size_t i = 0; i < combinedGraphs.size(); ++i) {
        combinedGraphs[i] = plot->addGraph();
        combinedGraphs[i]->setName(names[i]);
        combinedGraphs[i]->setPen(QPen(QColor(colours[i]), 1, Qt::SolidLine));
    }
    baselineGraph = plot->addGraph();
    baselineGraph->setPen(QPen(QColor(Qt::red), 1, Qt::SolidLine));
    QVector<double> keys(kCombinedPoints);
    for (int k = 0; k < kCombinedPoints; ++k)
        keys[k] = k;
    baselineGraph->setData(keys, QVector<double>(kCombinedPoints, 0.0), true);
    plot->replot(QCustomPlot::rpRefreshHint);
}

void VectorModuleWidget::initTimer()
{
    refreshTimer = new QTimer(this);
    connect(refreshTimer, &QTimer::timeout, this, &VectorModuleWidget::onRefreshTimer);
    refreshTimer->start(kRefreshMs);
}

void VectorModuleWidget::initLabelStyles()
{
    for (QLabel* label : {ui->label, ui->label_2, ui->label_5, ui->label_6, ui->label_7})
        label->setStyleSheet(QLatin1String(kLabelStyle));
    for (QLineEdit* edit : {ui->edt_MeasTime, ui->edt_CursorHz, ui->edt_nTHz})
        edit->setStyleSheet(QLatin1String(kEditStyle));
}

// ---- reactions --------------------------------------------------------------

void VectorModuleWidget::slots_updateVectorForm(FIDVectorData data)
{
    vectorRing.push(data);
}

void VectorModuleWidget::clearPlots()
{
    for (QVector<double>& b : axisBuffers)
        b.clear();
    vectorRing.clear();
    for (const QPointer<QCPGraph>& g : timeGraphs)
        g->data()->clear();
    for (QCPGraph* g : combinedGraphs)
        g->data()->clear();
    baselineGraph->data()->clear();
    for (const QPointer<QCPGraph>& g : fftGraphs)
        g->data()->clear();
    for (QCustomPlot* plot : {static_cast<QCustomPlot*>(ui->vectorX), static_cast<QCustomPlot*>(ui->vectorY),
                              static_cast<QCustomPlot*>(ui->vectorZ), static_cast<QCustomPlot*>(ui->vectorS),
                              ui->vectorXYZ, static_cast<QCustomPlot*>(ui->vectorFFTAll)})
        plot->replot(QCustomPlot::rpRefreshHint);
}

void VectorModuleWidget::onFftMouseMove(QMouseEvent* event)
{
    QCustomPlot* plot = ui->vectorFFTAll;
    const double x = plot->xAxis->pixelToCoord(event->pos().x());
    const double y = plot->yAxis->pixelToCoord(event->pos().y());
    if (!(y > 0))
        return;
    fftCursorV->point1->setCoords(x, 0.01);
    fftCursorV->point2->setCoords(x, 10);
    fftCursorH->point1->setCoords(0, y);
    fftCursorH->point2->setCoords(150, y);
    ui->edt_CursorHz->setText(QStringLiteral("%1").arg(x, 0, 'f', 1));
    ui->edt_nTHz->setText(QStringLiteral("%1").arg(y, 0, 'e', 2));
    plot->replot(QCustomPlot::rpRefreshHint);
}

void VectorModuleWidget::onMeasTimeEdited()
{
    bool ok = false;
    const int seconds = ui->edt_MeasTime->text().toInt(&ok);
    if (!ok || seconds < 1 || seconds > 60) {
        ui->edt_MeasTime->setText(QStringLiteral("1"));
        setMeasTime(1);
        return;
    }
    setMeasTime(seconds);
}

void VectorModuleWidget::onRefreshTimer()
{
    if (vectorRing.isEmpty())
        return;
    const FIDVectorData record = vectorRing.pop();
    for (size_t i = 0; i < axisBuffers.size(); ++i)
        axisBuffers[i] += record.data[i];

    const double setTime = pm ? double(pm->dataParam.setTime) : double(kDefaultMeasTime);
    const int window = std::max(0, int(setTime / kRecordStepSeconds));

    QVector<double> shownSpectrum;
    QVector<double> combinedMax;
    QVector<double> combinedMin;
    for (size_t i = 0; i < axisBuffers.size(); ++i) {
        QVector<double>& buffer = axisBuffers[i];
        if (buffer.size() > window)
            buffer.remove(0, buffer.size() - window);
        const QVector<double>& keys = recordKeys.forSamples(buffer.size(), kRecordStepSeconds);
        timeGraphs[i]->setData(keys, buffer, true);

        double lo = 0, hi = 0, last = 0;
        const bool any = finiteExtent(buffer, lo, hi, last);
        if (any) {
            const QVector<QCPItemText*>& labels = axisLabels[i];
            labels[ReadoutMax]->setText(QString::number(hi, 'g', 6));
            labels[ReadoutMin]->setText(QString::number(lo, 'g', 6));
            labels[ReadoutLast]->setText(QString::number(last, 'f', 2));
            double pad = (hi - lo) / 10;
            // A flat trace would give an empty range, which the plot refuses.
            if (!(pad > 0))
                pad = std::max(std::abs(hi) * 1e-6, 1e-3);
            axisPlots[i]->yAxis->setRange(lo - pad, hi + pad);
            axisPlots[i]->xAxis->setRange(0, setTime);
        }
        axisPlots[i]->replot(QCustomPlot::rpQueuedReplot);

        if (record.spectrumValid) {
            if (showFft[i]) {
                for (double a : record.amp[i])
                    if (std::isfinite(a))
                        shownSpectrum.append(a);
            }
            fftGraphs[i]->setData(record.freq[i], record.amp[i], true);
        } else {
            fftGraphs[i]->data()->clear();
        }

        if (i < combinedGraphs.size()) {
            combinedGraphs[i]->setData(keys, buffer, true);
            if (showCombined[i] && any) {
                combinedMax.append(hi);
                combinedMin.append(lo);
            }
        }
    }

    QCustomPlot* fft = ui->vectorFFTAll;
    if (record.spectrumValid && !shownSpectrum.isEmpty()) {
        const auto [lo, hi] = std::minmax_element(shownSpectrum.cbegin(), shownSpectrum.cend());
        const double pad = (*hi - *lo) / 10;
        fft->yAxis->setRange(*lo - pad, *hi + pad);
    }
    fft->replot(QCustomPlot::rpQueuedReplot);

    QCustomPlot* combined = ui->vectorXYZ;
    if (!combinedMax.isEmpty()) {
        const double gmax = *std::max_element(combinedMax.cbegin(), combinedMax.cend());
        const double gmin = *std::min_element(combinedMin.cbegin(), combinedMin.cend());
        const double pad = (gmax - gmin) / 10;
        const double upper = 5 * std::trunc((gmax + pad) / 5) + 5;
        // Down, toward minus infinity, so that the bound lies below the data.
        const double lower = 5 * std::floor((gmin - pad) / 5);
        QSharedPointer<QCPAxisTickerFixed> ticker(new QCPAxisTickerFixed);
        ticker->setTickStep(combinedTickStep(upper - lower));
        combined->yAxis->setRange(lower, upper);
        combined->xAxis->setRange(0, setTime);
        combined->yAxis->setTicker(ticker);
    }
    combined->replot(QCustomPlot::rpQueuedReplot);
}
