#include "ui/main/mainmoduleform.h"

#include "core/parammanager.h"

MainModuleForm::MainModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), paramManager(paramManager)
{
}

MainModuleForm::~MainModuleForm() = default;

void MainModuleForm::startWork()
{
    if (!paramManager->isRunning()) {
        emit paramManager->sig_devStatusWorkerStart();
    } else if (!paramManager->isParamPollingHeld()) {
        emit paramManager->sig_sendModbusData(Addrdds_start);
        paramManager->setParamPollingHeld(true);
    }
}

void MainModuleForm::stopWork()
{
    if (paramManager->isRunning())
        emit paramManager->sig_sendModbusData(Addrdds_end);
    else
        emit paramManager->sig_devStatusWorkerStop();
}

void MainModuleForm::clearPlot() {}

void MainModuleForm::resetForm()
{
    stopWork();
    clearPlot();
    emit paramManager->sig_sendModbusData(Addr40118_restart);
    comButtonEnabled = true;
}

void MainModuleForm::slots_updateForm(QVector<double>) {}
void MainModuleForm::slots_updateProgress(int) {}
void MainModuleForm::slots_updateProgressEx(int) {}
void MainModuleForm::slots_updateSignalStrength(int) {}
void MainModuleForm::slots_connected() {}
void MainModuleForm::slots_updateSerialNumber(QString) {}
void MainModuleForm::slot_setLanguage(int) {}
