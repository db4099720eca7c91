#pragma once
// Page 6: the instrument's frequency sweep, the speed of its serial link, the
// output sampling rate and the filter switch. The page builds the register
// writes itself and hands them to the hub; the rate change itself is the
// main window's.

#include "core/types.h"
#include "ui/widgets/languagetexts.h"

#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <QWidget>

class ParamManager;
class CustomMenu;
class QPushButton;
class Ui_ConfigModuleForm;

class ConfigModuleForm : public QWidget
{
    Q_OBJECT
public:
    ConfigModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~ConfigModuleForm() override;

    void startParamPolling();
    void stopParamPolling();
    // Ticks or clears the filter box; false for visible hides it.
    void setFilterState(bool checked, bool visible);
    bool isFilterChecked() const;
    bool isFilterVisible() const;
    // Only re-arms the first-update flag.
    void resetForm() { firstParamUpdate = true; }

    // While true, the next identity block fills the sweep edits.
    bool firstParamUpdate = true;

public slots:
    void slots_updateFormParam(RefreshDataEx refreshDataEx);
    void slots_updateSamplingRate(int iSamplingRate);
    void slot_setLanguage(int num);
    void slot_handleActionTriggeredNew(QString text, QVariant data);
    void slots_editingFinished();
    void on_btn_changeDataInterval_clicked();
    void on_btn_changeBaudRate_clicked();
    void on_btn_changeSamplingRate_clicked();
    void on_chk_filter_stateChanged(int arg1);

private:
    void initMenus();
    void initStyle();
    void showBaudRateMenu();
    void showSamplingRateMenu();
    void showDataIntervalMenu();
    // Same as slot_handleActionTriggeredNew, from a QAction sender's "name".
    void slot_handleActionTriggered();

    Ui_ConfigModuleForm* ui = nullptr;
    ParamManager* pm = nullptr;
    CustomMenu* dataIntervalMenu = nullptr;
    CustomMenu* baudRateMenu = nullptr;
    CustomMenu* samplingRateMenu = nullptr;
    QStringList dataIntervalList;
    QStringList baudRateList;
    QStringList samplingRateList;

    LanguageTexts languageTexts;
};
