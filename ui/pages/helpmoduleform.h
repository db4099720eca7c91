#pragma once
// Page 4: the help documents.

#include <QWidget>

class ParamManager;

class HelpModuleForm : public QWidget
{
    Q_OBJECT
public:
    HelpModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~HelpModuleForm() override;

public slots:
    void slot_setLanguage(int num);

private:
    ParamManager* paramManager = nullptr;
};
