#include "ui/pages/monitormoduleform.h"

#include "hub/parammanager.h"

MonitorModuleForm::MonitorModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), paramManager(paramManager)
{
}

MonitorModuleForm::~MonitorModuleForm() = default;

void MonitorModuleForm::startParamPolling()
{
    paramManager->setParamPollingHeld(false);
    emit paramManager->sig_paramWorkerStart();
}

void MonitorModuleForm::stopParamPolling()
{
    emit paramManager->sig_paramWorkerStop();
}

void MonitorModuleForm::uncheckDebug() {}
void MonitorModuleForm::resetForm()
{
    emit paramManager->sig_paramWorkerStop();
}

void MonitorModuleForm::getSetpoints(double& laserTempSet, double& laserElectricSet, double& airTempSet) const
{
    laserTempSet = laserElectricSet = airTempSet = 0.0;
}

void MonitorModuleForm::slots_updateFormParam(RefreshData) {}
void MonitorModuleForm::slot_setLanguage(int) {}
