#include "ui/pages/configmoduleform.h"

#include "hub/parammanager.h"

ConfigModuleForm::ConfigModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), paramManager(paramManager)
{
}

ConfigModuleForm::~ConfigModuleForm() = default;

void ConfigModuleForm::startParamPolling()
{
    paramManager->setParamPollingHeld(false);
    emit paramManager->sig_paramWorkerStart();
}

void ConfigModuleForm::stopParamPolling()
{
    emit paramManager->sig_paramWorkerStop();
}

void ConfigModuleForm::setFilterState(bool checked, bool visible)
{
    filterChecked = checked;
    if (!visible)
        filterVisible = false;
}
void ConfigModuleForm::slots_updateFormParam(RefreshDataEx) {}
void ConfigModuleForm::slots_updateSamplingRate(int) {}
void ConfigModuleForm::slot_setLanguage(int) {}
