#pragma once
// Fixture of the service-page tests: the real hub and main window (test
// mode) in a temporary folder, the service page found in it, and one log of
// what the page asks of the link in order: the parameter poll's stops and
// starts, every frame it builds and every fixed wait. The waits are
// recorded instead of slept unless the test asks for real ones.

#include "mainpagerig.h"
#include "operatorinput.h"

#include "ui/pages/monitormoduleform.h"
#include "ui/widgets/custommenu.h"
#include "ui/widgets/passwordprompts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QMessageBox>
#include <QThread>
#include <QtTest>

namespace monitorrig
{

using passwordprompts::closeDialogs;
using passwordprompts::errorBoxes;
using passwordprompts::flushDeletes;
using passwordprompts::kPassword;
using passwordprompts::passwordDialogs;

// Frame text as the tests write it: upper-case hex bytes with blanks.
inline QString spaced(const QByteArray& frame)
{
    return QString::fromLatin1(frame.toHex(' ').toUpper());
}

} // namespace monitorrig

class MonitorPageRig
{
public:
    enum Waits { RecordedWaits, RealWaits };

    explicit MonitorPageRig(int isTest = 1, int isChinese = 0, Waits waits = RecordedWaits)
        : rig(
              {},
              [isTest, isChinese](ParamManager& h) {
                  h.isTest = isTest;
                  h.isChinese = isChinese;
              },
              MainPageRig::InWindow)
    {
        hub = rig.hub.get();
        window = rig.window.get();
        page = window->findChild<MonitorModuleForm*>();
        page->setWait([this, waits](int ms) {
            events << QStringLiteral("wait %1").arg(ms);
            if (waits == RealWaits)
                QThread::msleep(ulong(ms));
        });
        QObject::connect(hub, &ParamManager::sig_paramWorkerStop, page, [this] { events << "paramStop"; });
        QObject::connect(hub, &ParamManager::sig_paramWorkerStart, page, [this] { events << "paramStart"; });
        QObject::connect(hub, &ParamManager::sig_sendCustomModbusData, page,
                         [this](QByteArray f) { events << monitorrig::spaced(f); });
    }

    ~MonitorPageRig()
    {
        monitorrig::closeDialogs();
        emit hub->sig_paramWorkerStop();
        emit hub->sig_devStatusWorkerStop();
    }

    bool showWindow()
    {
        window->show();
        if (!QTest::qWaitForWindowExposed(window))
            return false;
        window->activateWindow();
        return QTest::qWaitForWindowActive(window);
    }

    // Switches to the service page through its tab, as the operator does.
    bool enterPage()
    {
        auto* tab = window->findChild<QPushButton*>(QStringLiteral("btnMonitor"));
        if (!tab || !tab->isVisible())
            return false;
        QTest::mouseClick(tab, Qt::LeftButton);
        return page->isVisible();
    }

    template <typename T> T* child(const char* name) const { return page->findChild<T*>(QLatin1String(name)); }
    QLineEdit* edit(const char* name) const { return child<QLineEdit>(name); }
    QString text(const char* name) const { return childText(page, name); }

    QStringList takeEvents()
    {
        const QStringList out = events;
        events.clear();
        return out;
    }

    // Unlocks the set-points through the real dialog: a key in a guarded
    // edit (swallowed) opens it, the password is typed and OK pressed.
    bool unlock(const char* guardedEdit = "edt_laserTempSet")
    {
        QLineEdit* e = edit(guardedEdit);
        const QString before = e->text();
        QTest::keyClick(e, Qt::Key_5);
        const QList<QInputDialog*> dialogs = monitorrig::passwordDialogs();
        if (dialogs.size() != 1 || e->text() != before)
            return false;
        QInputDialog* dialog = dialogs.first();
        auto* field = dialog->findChild<QLineEdit*>();
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        if (!field || !buttons)
            return false;
        QTest::keyClicks(field, monitorrig::kPassword);
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        monitorrig::flushDeletes();
        return monitorrig::passwordDialogs().isEmpty() && monitorrig::errorBoxes().isEmpty();
    }

    // Replaces the edit's text by typing (select all, the keys, Return).
    void typeAndReturn(const char* name, const QString& typed)
    {
        QLineEdit* e = edit(name);
        QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
        if (typed.isEmpty())
            QTest::keyClick(e, Qt::Key_Backspace);
        else
            QTest::keyClicks(e, typed);
        QTest::keyClick(e, Qt::Key_Return);
    }

    // Picks an entry of a selector's popup, as the operator does.
    bool choose(const char* selector, const QString& entry)
    {
        QTest::mouseClick(child<QPushButton>(selector), Qt::LeftButton);
        const ShownMenuEntry shown = shownMenuEntry(entry, page);
        if (!shown.item)
            return false;
        QTest::mouseClick(shown.item, Qt::LeftButton);
        return !shown.menu->isVisible() && text(selector) == entry;
    }

    MainPageRig rig;
    ParamManager* hub = nullptr;
    MainWindow* window = nullptr;
    MonitorModuleForm* page = nullptr;
    QStringList events;
};
