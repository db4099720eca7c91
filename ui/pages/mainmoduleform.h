#pragma once
// Page 0: port selection, device control and the live field chart.
//
// The page follows the instrument from the port choice to measuring: the
// parameter block at once, the identity block 200 ms later, the serial
// number, the status poll up to state 4 and the stream start. Sample batches
// (nT) reach the chart through a ring drained by a 30 ms timer.

#include "core/types.h"
#include "ui/widgets/languagetexts.h"
#include "ui/widgets/ringbuffer.h"
#include "ui/widgets/samplekeys.h"

#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVector>
#include <QWidget>

#include <climits>
#include <functional>

class ParamManager;
class MonitorModuleForm;
class CustomMenu;
class QCustomPlot;
class QCPGraph;
class QCPItemText;
class QTimer;
class Ui_MainModuleForm;

class MainModuleForm : public QWidget
{
    Q_OBJECT
public:
    // UTC seconds since the epoch.
    using Clock = std::function<qint64()>;

    MainModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~MainModuleForm() override;

    void setMonitorForm(MonitorModuleForm* form) { monitorForm = form; }
    // Starts the status poll, or the stream once the instrument measures.
    void startWork();
    // Stops the stream while measuring, else the status poll.
    void stopWork();
    void setPlotEnabled(bool enabled) { plotEnabled = enabled; }
    void clearPlot();
    // Back to "no port chosen" after a disconnect or Reboot.
    void resetForm();
    // True while no device is connected (the port can still be chosen).
    bool isComButtonEnabled() const;
    // Set by the main window while the service or configuration page is
    // shown: those pages poll the parameter block on the shared link, so a
    // status of 4 then only records that the instrument measures and the
    // stream waits until a live page is entered again.
    void setParamPageShown(bool shown) { paramPageShown = shown; }

    // Identity block requests made again after the first while no serial
    // number arrives, one a second; then the operator is told.
    static constexpr int kIdentityRetries = 10;
    static constexpr int kIdentityRetryMs = 1000;

    // Test seams: the clock of the crash-log stamps and of the connect time
    // (default: the system's UTC), and read-only views of the chart state.
    void setClock(Clock clock);
    const QVector<double>& historyValues() const { return history; }
    QCustomPlot* chartWidget() const { return chart; }
    QCPGraph* chartGraph() const;
    QString maxBadgeText() const;
    QString minBadgeText() const;
    QString lastBadgeText() const;
    bool isPausedState() const { return paused; }
    CustomMenu* portMenu() const { return comMenu; }

public slots:
    void slots_updateForm(QVector<double> datas);
    void slots_updateProgress(int iStatus);
    void slots_updateProgressEx(int iStatus);
    void slots_updateSignalStrength(int signalStrength);
    void slots_connected();
    void slots_updateSerialNumber(QString serialNumber);
    void slot_setLanguage(int num);
    void slots_lineEditIsOK();
    void on_btn_pause_clicked();
    void on_btn_mock_clicked();
    void slot_handleActionTriggered(QString text, QVariant data);
    void on_btn_ReStart_clicked();
    void on_btn_ddsReTrack_clicked();

protected:
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void refreshPlot();
    void slot_handleComAction();

private:
    void initChart();
    void initComMenu();
    void initSetTimeEdit();
    void initRefreshTimer();
    void initStyle();
    void setStatusLight(bool ok);
    void refreshComMenu();
    void onComButtonClicked();
    void onConnectedDelayed();
    void onIdentityRetry();
    void stopIdentityRetries();
    void updateProgress(int s);
    // Texts that depend on the language and on the page's state.
    void updatePauseText();
    void updateComText();
    void showInfoBox(const QString& text);
    // Points of the chart window: int(setTime / dataRate).
    int windowSize(const DataParam& param);
    qint64 nowSecs() const;

    Ui_MainModuleForm* ui = nullptr;
    ParamManager* paramManager = nullptr;
    QCustomPlot* chart = nullptr;
    QPointer<QCPGraph> graph;
    QCPItemText* maxText = nullptr;
    QCPItemText* minText = nullptr;
    QCPItemText* lastText = nullptr;
    bool paused = false;
    bool plotEnabled = true;
    CustomMenu* comMenu = nullptr;
    QVector<double> history;
    QTimer* refreshTimer = nullptr;
    RingBuffer<QVector<double>> ring;
    QVector<QPixmap> progressIcons;
    qint64 connectTime = 0;
    MonitorModuleForm* monitorForm = nullptr;

    SampleKeys keys; // of the window, dataRate apart
    // Last window without points that was reported.
    int badSetTime = INT_MIN;
    double badDataRate = 0.0;
    // Newest value shown, kept for batches that bring none.
    double lastValue = 0.0;
    // Language shown (1 Chinese) and the port chosen, for the state texts.
    bool chinese = false;
    QString chosenPort;
    // The menu's connections are made on its first build.
    bool comMenuFirstBuild = true;
    Clock clock;

    // Progress state of the previous update (0 at start).
    int lastProgressState = 0;
    // The texts of the language-independent widgets.
    LanguageTexts languageTexts;
    bool paramPageShown = false;
    QTimer* identityTimer = nullptr;
    int identityRetries = 0;
    // A port has opened and its serial number has not come yet.
    bool identityPending = false;
};
