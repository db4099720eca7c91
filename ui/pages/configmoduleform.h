#pragma once
// Page 6: frequency sweep, sampling rate, baud rate and filter.

#include "core/types.h"

#include <QWidget>

class ParamManager;

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
    bool isFilterChecked() const { return filterChecked; }
    bool isFilterVisible() const { return filterVisible; }
    // Only re-arms the first-update flag.
    void resetForm() { firstParamUpdate = true; }

    bool firstParamUpdate = true;

public slots:
    void slots_updateFormParam(RefreshDataEx refreshDataEx);
    void slots_updateSamplingRate(int iSamplingRate);
    void slot_setLanguage(int num);

private:
    ParamManager* paramManager = nullptr;
    bool filterChecked = false;
    bool filterVisible = true;
};
