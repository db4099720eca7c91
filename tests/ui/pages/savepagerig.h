#pragma once
// Fixture of the recording-page tests: the real hub (with its recording
// worker) in a temporary working folder that also holds "logs" and "file",
// the page wired to the hub as the main window wires it, a settable UTC
// clock, and the recorded CSV files read back by Python (csv and pandas).

#include "core/applog.h"
#include "core/appfolders.h"
#include "core/logger.h"
#include "hub/hubrig.h"
#include "recording/csvreadback.h"
#include "ui/pages/savemoduleform.h"

#include "operatorinput.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <functional>
#include <memory>

inline QDateTime utcAt(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

// Recorded sample files of a folder, in name (that is time) order.
inline QStringList recordedFiles(const QString& folder, int rate)
{
    QStringList paths;
    const QDir dir(folder);
    for (const QString& n :
         dir.entryList(QStringList{QStringLiteral("*_RQ_%1Hz.CSV").arg(rate)}, QDir::Files, QDir::Name))
        paths << dir.filePath(n);
    return paths;
}

class SavePageRig
{
public:
    // prepare runs in the working folder before the hub and page exist.
    explicit SavePageRig(const std::function<void(const QString& cwd)>& prepare = {})
    {
        AppFolders::setOverride(cwd.path());
        hub = makeHubIn(cwd.path(), prepare);
        page = std::make_unique<SaveModuleForm>(hub.get());
        page->setClock([this] { return now; });
        // The page's rows of the main window's connections.
        QObject::connect(hub.get(), &ParamManager::sig_updateForm, page.get(), &SaveModuleForm::slots_updateForm);
        QObject::connect(hub.get(), &ParamManager::sig_updateVectorForm, page.get(),
                         &SaveModuleForm::slots_updateVectorForm);
        QObject::connect(hub.get(), &ParamManager::sig_saveFinished, page.get(), &SaveModuleForm::slots_saveFinished);
    }

    ~SavePageRig()
    {
        page.reset();
        stopHubWorkers(*hub);
        AppFolders::setOverride(QString());
    }

    // Returns once the recording worker has handled everything sent so far.
    void drainWorker()
    {
        QMetaObject::invokeMethod(
            hub->saveFileThread, [] {}, Qt::BlockingQueuedConnection);
    }

    // A data-handler batch through the hub, as the live path delivers it.
    void feed(const QVector<double>& values, int rate) { emit hub->sig_updateForm(values, FrequencyType(rate)); }

    template <typename T> T* child(const char* name) const { return page->findChild<T*>(QLatin1String(name)); }
    QString text(const char* name) const { return childText(page.get(), name); }
    void clickSave() { QTest::mouseClick(child<QPushButton>("btn_Save"), Qt::LeftButton); }
    QString folder() const { return cwd.path() + QStringLiteral("/file"); }

    QTemporaryDir cwd;
    QDateTime now = utcAt(2026, 1, 3, 10, 15, 30, 250);
    std::unique_ptr<ParamManager> hub;
    std::unique_ptr<SaveModuleForm> page;
};
