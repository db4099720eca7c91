#pragma once
// Page 5: the service page behind its password lock.

#include "core/types.h"

#include <QWidget>

class ParamManager;

class MonitorModuleForm : public QWidget
{
    Q_OBJECT
public:
    MonitorModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~MonitorModuleForm() override;

    void startParamPolling();
    void stopParamPolling();
    void uncheckDebug();
    void resetForm();
    // VCSEL, VCSEL default and vapour-cell set-points; 0.0 where unknown.
    void getSetpoints(double& laserTempSet, double& laserElectricSet, double& airTempSet) const;

public slots:
    void slots_updateFormParam(RefreshData refreshData);
    void slot_setLanguage(int num);

private:
    ParamManager* paramManager = nullptr;
};
