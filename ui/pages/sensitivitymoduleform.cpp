#include "ui/pages/sensitivitymoduleform.h"

#include "hub/parammanager.h"

#include <QDebug>

SensitivityModuleForm::SensitivityModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), paramManager(paramManager)
{
}

SensitivityModuleForm::~SensitivityModuleForm() = default;

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

void SensitivityModuleForm::clearCharts() {}
void SensitivityModuleForm::reset() {}
void SensitivityModuleForm::slots_updateForm(QVector<double>, QVector<double>, QVector<double>) {}
void SensitivityModuleForm::slot_setLanguage(int) {}
