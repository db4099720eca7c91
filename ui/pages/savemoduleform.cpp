#include "ui/pages/savemoduleform.h"

#include "hub/parammanager.h"

SaveModuleForm::SaveModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), paramManager(paramManager)
{
}

SaveModuleForm::~SaveModuleForm() = default;

// A reset ends any recording and the console echo.
void SaveModuleForm::resetForm()
{
    paramManager->setSaveParam(false, 0, paramManager->getFilePathName(), false);
    consoleOutput = false;
}
void SaveModuleForm::slots_updateForm(QVector<double>, FrequencyType) {}
void SaveModuleForm::slots_updateVectorForm(FIDVectorData) {}
void SaveModuleForm::slots_saveFinished() {}
void SaveModuleForm::slot_setLanguage(int) {}
