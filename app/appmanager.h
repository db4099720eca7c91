#pragma once
// Start-up: creates the hub, fills it from "config.ini", shows the main
// window and starts the server client by a signal.

#include <QObject>

class MainWindow;
class ParamManager;

class AppManager : public QObject
{
    Q_OBJECT
public:
    explicit AppManager(QObject* parent = nullptr);

    void start();
    // The two steps of start, public so tests can run the settings step alone.
    void initParams();
    void initUI();
    void initServer();

    ParamManager* params() const { return paramManager; }
    MainWindow* window() const { return mainWindow; }

private:
    MainWindow* mainWindow = nullptr;
    ParamManager* paramManager = nullptr;
};
