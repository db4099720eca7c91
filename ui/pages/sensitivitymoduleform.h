#pragma once
// Page 1: the instrument's noise level. The upper chart shows the field (nT)
// over the FFT window, the lower one the amplitude spectral density
// (nT/sqrt(Hz)) on a logarithmic axis. Field chunks reach the time chart
// through a ring drained by a 30 ms timer; a spectrum is drawn as it arrives,
// and only while the page is shown.

#include "ui/widgets/ringbuffer.h"
#include "ui/widgets/samplekeys.h"

#include <QPointer>
#include <QVector>
#include <QWidget>

class ParamManager;
class CustomPlot;
class QCPGraph;
class QTimer;
class Ui_SensitivityModuleForm;

class SensitivityModuleForm : public QWidget
{
    Q_OBJECT
public:
    SensitivityModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~SensitivityModuleForm() override;

    // Starts the stream when measuring and not started yet.
    void startPolling();
    // Stops the stream when measuring; the polling-held flag is the caller's.
    void stopPolling();
    void setActive(bool active);
    // Whether the charts are drawn (the page is shown).
    bool active() const { return isActive; }
    // Empties both charts, the field window and the queue; ranges stay.
    void clearCharts();
    void reset();
    // Frequency axis of the spectrum for an output rate (1, 20, 200, 1000).
    void setSamplingRate(int rate);

    // One tick of the 30 ms redraw: takes at most one queued chunk. Public
    // so that tests can drive it without waiting for the timer.
    void onRefreshTimer();

    // Read-only views for tests.
    CustomPlot* timeChart() const { return chart1; }
    CustomPlot* spectrumChart() const { return chart2; }
    QCPGraph* timeCurve() const;
    QCPGraph* spectrumCurve() const;
    const QVector<double>& timeValues() const { return timeBuffer; }
    bool isQueueEmpty() const { return ringBuffer.isEmpty(); }

public slots:
    void slots_updateForm(QVector<double> datas, QVector<double> f_datas, QVector<double> fft_datas);
    void slot_setLanguage(int num);

private:
    void initCharts();
    void initTimer();
    void drawSpectrum(const QVector<double>& f_datas, const QVector<double>& fft_datas);
    // Values of the field window: int(fftSeconds / dataRate), 0 when the
    // settings give no window.
    int windowSize();

    Ui_SensitivityModuleForm* ui = nullptr;
    ParamManager* paramManager = nullptr;
    CustomPlot* chart1 = nullptr;
    CustomPlot* chart2 = nullptr;
    QPointer<QCPGraph> timeGraph;
    QPointer<QCPGraph> spectrumGraph;
    QVector<double> timeBuffer;
    QTimer* refreshTimer = nullptr;
    RingBuffer<QVector<double>> ringBuffer;
    bool isActive = false;

    SampleKeys keys; // of the field window, dataRate apart
    // Last settings without a window, and whether the last spectrum was
    // refused or out of order, so that each fault is reported once rather
    // than per tick or per spectrum.
    int badFftSeconds = 0;
    double badDataRate = 0.0;
    bool spectrumRefused = false;
    bool spectrumUnsorted = false;
};
