#pragma once
// The application's only top-level window. It draws its own frame: a title
// bar with logo, language selector and window buttons, the row of page tabs,
// the page stack and the bottom bar. It is moved by dragging anywhere that no
// child takes the press, and resized by an 8-pixel band along its edges.
// It owns the seven pages, switches between them, runs the bottom bar and the
// sampling-rate change, switches the language and warns when lock is lost.

#include "ui/widgets/languagetexts.h"

#include <QMainWindow>
#include <QMap>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QVector>

#include <functional>

class ParamManager;
class MainModuleForm;
class MonitorModuleForm;
class SensitivityModuleForm;
class VectorModuleWidget;
class SaveModuleForm;
class HelpModuleForm;
class ConfigModuleForm;
class CustomMenu;
class RoundedMenu;
class QAction;
class QMessageBox;
class QPushButton;
class Ui_MainWindow;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // Where a point falls in the frame, corners before edges.
    enum EdgeRegion {
        EdgeInside = 0,
        EdgeLeft = 1,
        EdgeRight = 2,
        EdgeTop = 3,
        EdgeBottom = 4,
        EdgeTopLeft = 5,
        EdgeTopRight = 6,
        EdgeBottomLeft = 7,
        EdgeBottomRight = 8
    };

    // Page indices; the stack position differs, so switches go through them.
    enum PageIndex {
        PageMain = 0,
        PageSensitivity = 1,
        PageVector = 2,
        PageSave = 3,
        PageHelp = 4,
        PageMonitor = 5,
        PageConfig = 6
    };

    // UTC seconds since the epoch.
    using UtcClock = std::function<qint64()>;

    explicit MainWindow(ParamManager* paramManager, QWidget* parent = nullptr);
    ~MainWindow() override;

    int edgeRegionAt(const QPoint& pos) const;

    // Replaces the wall clock of the lock-lost throttle (empty: wall clock).
    void setUtcClock(UtcClock clock);

    // Writes the sampling-rate register (when bChange) and switches the data
    // handler's modes, stopping and restarting the shown page's traffic.
    void changeSamplingRate(int rate, bool bChange);

signals:
    void sig_ChangeLanguage(int num);

public slots:
    void on_btn_clearPlot_clicked();
    void slots_lineEditIsOK();
    void on_btn_reboot_clicked();
    void slot_setLanguage(int num);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void initForms();
    void initLineEdits();
    void initMenus();
    void initTitleBar();
    void initWindow();
    void initLockLostBox();
    void setupNavButton(QPushButton* button, const QString& normalIcon, const QString& pressedIcon);
    void onNavButtonToggled(QPushButton* button, bool checked);
    void onMaxButtonClicked();
    void updateEdgeCursor(const QPoint& pos);
    void setMouseTrackingRecursive(QWidget* widget);
    static QString titleButtonStyle(const QString& normal, const QString& hover, const QString& pressed);

    void onNavButtonClicked();
    void leavePage(int page, int target);
    void enterPage(int page);
    QPushButton* pageButton(int page) const;
    void showFilterRows();
    void showFftRow();
    void showInfoBox(const QString& text);

    void onDisconnected();
    void postResetAll();
    void resetAll();
    void onWorkStateChanged();

    void onLanguageButtonClicked();
    void onLanguageSelected(const QString& text);

    void onDataRateSelected(QAction* action);
    void onDataCheckMsg(qlonglong timestamp, const QString& text);
    qint64 utcNow() const;

    Ui_MainWindow* ui = nullptr;
    ParamManager* paramManager = nullptr;
    MainModuleForm* mainModuleForm = nullptr;
    MonitorModuleForm* monitorModuleForm = nullptr;
    SensitivityModuleForm* sensitivityModuleForm = nullptr;
    VectorModuleWidget* vectorModuleWidget = nullptr;
    QMessageBox* lockLostBox = nullptr;
    SaveModuleForm* saveModuleForm = nullptr;
    HelpModuleForm* helpModuleForm = nullptr;
    ConfigModuleForm* configModuleForm = nullptr;
    int currentPage = PageMain;
    int targetPage = PageMain;
    QMap<int, QWidget*> pages;
    RoundedMenu* dataRateMenu = nullptr;
    CustomMenu* languageMenu = nullptr;
    int chinesePopupWidth = 111;
    int englishPopupWidth = 136;

    // frameless move and resize
    int borderWidth = 8;
    bool dragging = false;
    QPoint pressPosition;
    QRect startGeometry;
    int edgeRegion = EdgeInside;

    LanguageTexts languageTexts;

    // At most one reset waits in the event loop, however many disconnects come.
    bool resetPending = false;

    // Last lock-lost message seen (UTC seconds; 0: none yet).
    qint64 lastLockLostShown = 0;
    UtcClock utcClock;

    QMetaObject::Connection workStateConnection;
};
