#pragma once
// Fixture of the main-page tests: the real hub in a temporary working folder
// (its settings, logs and crash logs land there), the main page wired to the
// hub as the main window wires it, and captured crash-log lines. The hub's
// workers are stopped when the rig goes.

#include "core/appfolders.h"
#include "hub/hubrig.h"
#include "link/modbusworkthread.h"
#include "ui/main/mainwindow.h"
#include "ui/pages/mainmoduleform.h"

#include "operatorinput.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// The first message box on screen, or null.
inline QMessageBox* visibleBox()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w))
            if (box->isVisible())
                return box;
    return nullptr;
}

// Closes every message box on screen; those that delete themselves go too.
inline void closeBoxes()
{
    while (QMessageBox* box = visibleBox())
        box->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

struct CrashLine {
    qint64 stamp;
    QString text;
};

class MainPageRig
{
public:
    enum Mode { PageOnly, InWindow };

    // prepare runs in the working folder before the hub exists (files to
    // place there); adjust runs on the hub before the page is built. In
    // window mode the main window builds the page and makes its own
    // connections.
    explicit MainPageRig(const std::function<void(const QString& cwd)>& prepare = {},
                         const std::function<void(ParamManager&)>& adjust = {}, Mode mode = PageOnly)
    {
        AppFolders::setOverride(cwd.path());
        hub = makeHubIn(cwd.path(), prepare, adjust);
        crashSpy = std::make_unique<QSignalSpy>(hub.get(), &ParamManager::sig_saveCrashLog);
        if (mode == InWindow) {
            window = std::make_unique<MainWindow>(hub.get());
            page = window->findChild<MainModuleForm*>();
        } else {
            ownPage = std::make_unique<MainModuleForm>(hub.get());
            page = ownPage.get();
            wirePage();
        }
    }

    ~MainPageRig()
    {
        window.reset();
        ownPage.reset();
        stopHubWorkers(*hub);
        AppFolders::setOverride(QString());
    }

    // The page's rows of the main window's connections.
    void wirePage()
    {
        ParamManager* h = hub.get();
        MainModuleForm* p = page;
        QObject::connect(h, &ParamManager::sig_updateForm, p, &MainModuleForm::slots_updateForm);
        QObject::connect(h, &ParamManager::sig_connected, p, &MainModuleForm::slots_connected);
        QObject::connect(h, &ParamManager::sig_updateProgress, p, &MainModuleForm::slots_updateProgress);
        QObject::connect(h, &ParamManager::sig_updateProgressEx, p, &MainModuleForm::slots_updateProgressEx);
        QObject::connect(h, &ParamManager::sig_signalStrength, p, &MainModuleForm::slots_updateSignalStrength);
        QObject::connect(h, &ParamManager::sig_updateSerialNumber, p, &MainModuleForm::slots_updateSerialNumber);
    }

    // Crash-log lines since the last take.
    QList<CrashLine> takeCrashLines()
    {
        QList<CrashLine> lines;
        for (const QList<QVariant>& args : qAsConst(*crashSpy))
            lines.append({args.at(0).toLongLong(), args.at(1).toString()});
        crashSpy->clear();
        return lines;
    }
    QStringList takeCrashTexts()
    {
        QStringList texts;
        for (const CrashLine& l : takeCrashLines())
            texts << l.text;
        return texts;
    }

    template <typename T>
    T* child(const char* name) const
    {
        return page->findChild<T*>(QLatin1String(name));
    }
    QString text(const char* name) const { return childText(page, name); }

    QTemporaryDir cwd;
    std::unique_ptr<ParamManager> hub;
    std::unique_ptr<QSignalSpy> crashSpy;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainModuleForm> ownPage;
    MainModuleForm* page = nullptr;
};
