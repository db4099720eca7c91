#pragma once
// The application's main window. For now a plain titled window; the pages,
// the title bar and the bottom bar are built into it step by step.

#include <QWidget>

class ParamManager;

class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(ParamManager* paramManager, QWidget* parent = nullptr);
    ~MainWindow() override;

private:
    ParamManager* m_paramManager = nullptr;
};
