#pragma once
// The real hub in the tests of the layers above it: built as the application
// builds it, in a working folder of the test's own, and its workers stopped
// before it goes.

#include "hub/parammanager.h"
#include "link/modbusmanager.h"
#include "processing/datacheckerthread.h"
#include "processing/mockdatathread.h"
#include "processing/modbusdatahandler.h"
#include "recording/savefilethread.h"
#include "reporting/gpsthread.h"
#include "reporting/serverthread.h"

#include <QDir>
#include <QString>

#include <functional>
#include <memory>

// The hub built with folder as the working folder, which is left as it was
// afterwards. prepare runs in the folder before the hub exists (files to
// place there); adjust runs on the hub while the folder is still current.
inline std::unique_ptr<ParamManager> makeHubIn(const QString& folder,
                                               const std::function<void(const QString& cwd)>& prepare = {},
                                               const std::function<void(ParamManager&)>& adjust = {})
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder);
    if (prepare)
        prepare(folder);
    auto hub = std::make_unique<ParamManager>(nullptr);
    if (adjust)
        adjust(*hub);
    QDir::setCurrent(previous);
    return hub;
}

// Stops each worker the hub started, on the worker's own thread.
inline void stopHubWorkers(ParamManager& hub)
{
    if (hub.gpsThread)
        hub.gpsThread->stop();
    if (hub.serverThread)
        hub.serverThread->shutdown();
    if (hub.mockDataThread)
        hub.mockDataThread->stop();
    hub.dataCheckerThread->stop();
    hub.modbusManager->shutdown();
    hub.modbusDataHandler->shutdown();
    hub.saveFileThread->shutdown();
}
