#pragma once
// Page 5: the service page behind its password lock.
//
// It shows the instrument's live readings from the parameter block and lets
// a person who knows the service password change the three set-points. FS
// Debug opens the frequency-sweep controls (DDS frequency, sweep start, end
// and step, work mode). Every change is a register write built here and
// sent through the hub, with the parameter poll paused around it; the pauses
// block the GUI thread while the link's own thread sends the frame.

#include "core/types.h"
#include "ui/widgets/languagetexts.h"

#include <QStringList>
#include <QVector>
#include <QWidget>

#include <functional>

class ParamManager;
class CustomMenu;
class QLineEdit;
class Ui_MonitorModuleForm;

class MonitorModuleForm : public QWidget
{
    Q_OBJECT
public:
    // Blocks the GUI thread for the given milliseconds around a write.
    using Wait = std::function<void(int ms)>;

    MonitorModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~MonitorModuleForm() override;

    // Entering and leaving the page: the parameter poll runs only while it
    // is shown, and only then does a write resume it.
    void startParamPolling();
    void stopParamPolling();
    void uncheckDebug();
    // Back to the construction state after a reset-all, except FS Debug and
    // the work-state text; the poll stays stopped.
    void resetForm();
    // VCSEL, VCSEL default and vapour-cell set-points as their edits show
    // them; 0.0 where an edit holds no number.
    void getSetpoints(double& laserTempSet, double& laserElectricSet, double& airTempSet) const;
    void setDebugControlsEnabled(bool enabled);

    // Test seam: replaces QThread::msleep for the fixed waits (empty: the
    // real waits).
    void setWait(Wait wait);

public slots:
    void slots_updateFormParam(RefreshData refreshData);
    void slot_setLanguage(int num);
    void slots_editingFinished();
    void slots_ddsEditingFinished();
    void on_btn_changeWorkState_clicked();
    void on_btn_changeWorkMode_clicked();
    void on_chk_debug_stateChanged(int arg1);

private:
    void initMenus();
    void initStyle();
    void onWorkStateActionTriggered();
    void onWorkModeActionTriggered();
    void showMenuBelow(CustomMenu* menu, QWidget* button);
    void pausePolling();
    void resumePolling();
    // The edit that sent editingFinished when the operator changed its text,
    // with the poll paused for the write; null when nothing is to be written.
    QLineEdit* beginEditWrite();
    void wait(int ms);
    void sendFrame(const QByteArray& frame);
    void clearReadings();

    Ui_MonitorModuleForm* ui = nullptr;
    ParamManager* pm = nullptr;
    CustomMenu* workStateMenu = nullptr;
    CustomMenu* workModeMenu = nullptr;
    QStringList workStateList;
    QStringList workModeList;
    bool refillSetpoints = true;
    bool showDdsFreq = false;

    // Set while the page is the one shown: a write resumes the parameter
    // poll only then, so leaving the page with FS Debug on does not restart
    // the poll under another page.
    bool paramPollingWanted = false;
    Wait waitFn;

    LanguageTexts languageTexts;
};
