#pragma once
// Page 3: starting and stopping recordings.

#include "core/types.h"

#include <QWidget>

class ParamManager;

class SaveModuleForm : public QWidget
{
    Q_OBJECT
public:
    SaveModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~SaveModuleForm() override;

    void enableConsoleOutput() { consoleOutput = true; }
    void disableConsoleOutput() { consoleOutput = false; }
    bool isConsoleOutputEnabled() const { return consoleOutput; }
    void resetForm();

public slots:
    void slots_updateForm(QVector<double> datas, FrequencyType fre);
    void slots_updateVectorForm(FIDVectorData data);
    void slots_saveFinished();
    void slot_setLanguage(int num);

private:
    ParamManager* paramManager = nullptr;
    bool consoleOutput = false;
};
