#include "ui/pages/vectormodulewidget.h"

VectorModuleWidget::VectorModuleWidget(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), paramManager(paramManager)
{
}

VectorModuleWidget::~VectorModuleWidget() = default;

void VectorModuleWidget::clearPlots() {}
void VectorModuleWidget::slots_updateVectorForm(FIDVectorData) {}
