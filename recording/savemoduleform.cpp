#include "recording/savemoduleform.h"

SaveModuleForm::SaveModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), paramManager(paramManager)
{
}

SaveModuleForm::~SaveModuleForm() = default;

void SaveModuleForm::resetForm() {}
void SaveModuleForm::slots_updateForm(QVector<double>, FrequencyType) {}
void SaveModuleForm::slots_updateVectorForm(FIDVectorData) {}
void SaveModuleForm::slots_saveFinished() {}
void SaveModuleForm::slot_setLanguage(int) {}
