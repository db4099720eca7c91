#include "app/appmanager.h"

#include "core/settingsfile.h"
#include "core/textini.h"
#include "hub/parammanager.h"
#include "ui/main/mainwindow.h"

#include <QDebug>
#include <QSettings>

AppManager::AppManager(QObject* parent)
    : QObject(parent)
{
}

void AppManager::start()
{
    qDebug() << "Starting Application...";
    initParams();
    initUI();
    emit paramManager->sig_initServer();
    qDebug() << "Application started...";
}

void AppManager::initParams()
{
    using namespace SettingsFile;
    qDebug() << "Initializing Params...";
    paramManager = new ParamManager(this);
    ParamManager& p = *paramManager;

    QSettings settings(p.iniPath, TextIni::format());
    StartupKeys keys;
    readSensitivityGroup(settings, keys);
    p.bandWidth = keys.bandWidth;
    p.isTest = keys.isTest;
    qDebug() << "isTest:" << p.isTest;
    p.isMockData = keys.isMockData;
    p.isFSMode = keys.isFSMode;
    p.isChinese = keys.isChinese;

    if (p.isMockData == 1)
        p.initMockData();

    // The axis limits and the baud rate go in once both groups are read and clamped.
    readComGroup(settings, keys);
    applyClamps(keys);
    p.baudRate = keys.baudRate;
    p.xAxisUpper = keys.xAxisUpper;
    p.yAxisLower = keys.yAxisLower;
    p.yAxisUpper = keys.yAxisUpper;
    logUnknownKeys(settings, configKeys());
}

void AppManager::initUI()
{
    qDebug() << "Initializing UI...";
    mainWindow = new MainWindow(paramManager);
    mainWindow->show();
}

void AppManager::initServer()
{
    emit paramManager->sig_initServer();
}
