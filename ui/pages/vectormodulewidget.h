#pragma once
// Page 2: the vector plots. Hidden: nothing feeds vector frames from the port.

#include "core/types.h"

#include <QWidget>

class ParamManager;

class VectorModuleWidget : public QWidget
{
    Q_OBJECT
public:
    VectorModuleWidget(ParamManager* paramManager, QWidget* parent = nullptr);
    ~VectorModuleWidget() override;

    void clearPlots();

public slots:
    void slots_updateVectorForm(FIDVectorData data);

private:
    ParamManager* paramManager = nullptr;
};
