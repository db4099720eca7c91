#pragma once
// Page 1: the time chart and the noise spectrum.

#include <QVector>
#include <QWidget>

class ParamManager;

class SensitivityModuleForm : public QWidget
{
    Q_OBJECT
public:
    SensitivityModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~SensitivityModuleForm() override;

    // Starts the stream when measuring and not started yet.
    void startPolling();
    // Stops the stream when measuring.
    void stopPolling();
    void setActive(bool active) { isActive = active; }
    // Whether the charts are drawn (the page is shown).
    bool active() const { return isActive; }
    void clearCharts();
    void reset();
    void setSamplingRate(int rate) { samplingRate = rate; }

public slots:
    void slots_updateForm(QVector<double> datas, QVector<double> f_datas, QVector<double> fft_datas);
    void slot_setLanguage(int num);

private:
    ParamManager* paramManager = nullptr;
    bool isActive = false;
    int samplingRate = 1000;
};
