#pragma once
// Page 2: the three-axis vector view. X, Y and Z as three time plots (or
// together in one combined plot), the scalar S as a fourth, and the
// amplitude spectral densities of all four in one logarithmic chart with a
// cursor read-out. The measurement-time field sets the vector spectrum
// window that the data handler reads from GlobalState.
//
// Blocks (FIDVectorData, values in nT) are queued in a ring and drawn by a
// 20 ms timer, one block per tick. The main window keeps the page and its
// button hidden: no vector reader is attached to the instrument's port.

#include "core/types.h"
#include "ui/widgets/ringbuffer.h"
#include "ui/widgets/samplekeys.h"

#include <qcustomplot.h>

#include <QColor>
#include <QPointer>
#include <QString>
#include <QVector>
#include <QWidget>

#include <array>

class ParamManager;
class QMouseEvent;
class QTimer;
class Ui_VectorModuleWidget;

class VectorModuleWidget : public QWidget
{
    Q_OBJECT
public:
    VectorModuleWidget(ParamManager* pm, QWidget* parent = nullptr);
    ~VectorModuleWidget() override;

    // Empties the buffers, the queue and every graph; the read-outs keep
    // their texts.
    void clearPlots();

    // Read-only views for tests. axis: 0 X, 1 Y, 2 Z, 3 S; readout: 0 max,
    // 1 min, 2 latest.
    QCPGraph* timeGraph(int axis) const { return timeGraphs[size_t(axis)]; }
    QCPGraph* fftGraph(int axis) const { return fftGraphs[size_t(axis)]; }
    QCPGraph* combinedGraph(int axis) const { return combinedGraphs[size_t(axis)]; }
    QCPGraph* baseline() const { return baselineGraph; }
    QCPItemStraightLine* cursorLineH() const { return fftCursorH; }
    QCPItemStraightLine* cursorLineV() const { return fftCursorV; }
    QCustomPlot* axisPlot(int axis) const { return axisPlots[size_t(axis)]; }
    QString readoutText(int axis, int readout) const;
    const QVector<double>& axisValues(int axis) const { return axisBuffers[size_t(axis)]; }
    const QTimer* refreshTimerObject() const { return refreshTimer; }
    bool isQueueEmpty() const { return vectorRing.isEmpty(); }

public slots:
    void slots_updateVectorForm(FIDVectorData data);

    // One refresh: draws the oldest queued block, if any.
    void onRefreshTimer();

private:
    void initButtons();
    void initAxisPlots();
    void initAxisPlot(QCustomPlot* plot, const QString& title, const QColor& colour, int axis);
    void initFftChart();
    void initFftCursorLines();
    void initFftCaption();
    void initCombinedPlot();
    void initTimer();
    void initLabelStyles();
    void onMeasTimeEdited();
    void onFftMouseMove(QMouseEvent* event);

    Ui_VectorModuleWidget* ui = nullptr;
    ParamManager* pm = nullptr;
    std::array<QCPGraph*, 3> combinedGraphs{};
    QPointer<QCPGraph> baselineGraph;
    QCPItemStraightLine* fftCursorH = nullptr;
    QCPItemStraightLine* fftCursorV = nullptr;
    std::array<QPointer<QCPGraph>, 4> fftGraphs;
    std::array<QPointer<QCPGraph>, 4> timeGraphs;
    std::array<QCustomPlot*, 4> axisPlots{};
    std::array<QVector<QCPItemText*>, 4> axisLabels;
    std::array<QVector<double>, 4> axisBuffers;
    SampleKeys recordKeys; // of the buffers, one record step apart
    QTimer* refreshTimer = nullptr;
    RingBuffer<FIDVectorData> vectorRing;
    std::array<bool, 3> showCombined{{true, true, true}};
    std::array<bool, 4> showFft{{true, true, true, true}};
    std::array<QColor, 4> axisColours;
};
