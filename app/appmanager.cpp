#include "app/appmanager.h"

#include "core/settingsfile.h"
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

    QSettings settings(p.iniPath, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Sensitivity"));
    p.xAxisUpper = readInt(settings, QStringLiteral("xAxisUpper"), 150);
    p.yAxisLower = readDouble(settings, QStringLiteral("yAxisLower"), 1e-5);
    p.yAxisUpper = readDouble(settings, QStringLiteral("yAxisUpper"), 1.0);
    p.bandWidth = readInt(settings, QStringLiteral("bandWidth"), 15);
    p.isTest = readInt(settings, QStringLiteral("isTest"), 0);
    qDebug() << "isTest:" << p.isTest;
    p.isMockData = readInt(settings, QStringLiteral("isMockData"), 0);
    p.isFSMode = readInt(settings, QStringLiteral("isFSMode"), 0);
    p.isChinese = readInt(settings, QStringLiteral("isChinese"), 0);
    settings.endGroup();

    if (p.isMockData == 1)
        p.initMockData();

    settings.beginGroup(QStringLiteral("Com"));
    p.baudRate = readInt(settings, QStringLiteral("baudRate"), 921600);
    settings.endGroup();

    p.baudRate = clampBaudRate(p.baudRate);
    p.xAxisUpper = clampXAxisUpper(p.xAxisUpper);
    p.yAxisLower = clampYAxisLower(p.yAxisLower);
    p.yAxisUpper = clampYAxisUpper(p.yAxisUpper, p.yAxisLower);
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
