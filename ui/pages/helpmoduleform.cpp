#include "ui/pages/helpmoduleform.h"

HelpModuleForm::HelpModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), paramManager(paramManager)
{
}

HelpModuleForm::~HelpModuleForm() = default;

void HelpModuleForm::slot_setLanguage(int) {}
