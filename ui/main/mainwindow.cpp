#include "ui/main/mainwindow.h"

MainWindow::MainWindow(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), m_paramManager(paramManager)
{
    setWindowTitle(QStringLiteral("Terval-V1.1"));
    resize(1280, 720);
}

MainWindow::~MainWindow() = default;
