#pragma once
// Page 0: port selection, device control and the live field chart.

#include "core/types.h"

#include <QWidget>

class ParamManager;
class MonitorModuleForm;

class MainModuleForm : public QWidget
{
    Q_OBJECT
public:
    MainModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~MainModuleForm() override;

    void setMonitorForm(MonitorModuleForm* form) { monitorForm = form; }
    // Starts the status poll, or the stream once the instrument measures.
    void startWork();
    // Stops the stream while measuring, else the status poll.
    void stopWork();
    void setPlotEnabled(bool enabled) { plotEnabled = enabled; }
    void clearPlot();
    void resetForm();
    bool isComButtonEnabled() const { return comButtonEnabled; }

public slots:
    void slots_updateForm(QVector<double> datas);
    void slots_updateProgress(int iStatus);
    void slots_updateProgressEx(int iStatus);
    void slots_updateSignalStrength(int signalStrength);
    void slots_connected();
    void slots_updateSerialNumber(QString serialNumber);
    void slot_setLanguage(int num);

private:
    ParamManager* paramManager = nullptr;
    MonitorModuleForm* monitorForm = nullptr;
    bool plotEnabled = true;
    bool comButtonEnabled = true;
};
