#include "ui/main/mainwindow.h"

// mainmoduleform.h reads a QPointer<QCPGraph> inline; the type must be complete.
#include <qcustomplot.h>

#include "core/parammanager.h"
#include "link/crc16.h"
#include "processing/datacheckerthread.h"
#include "recording/savemoduleform.h"
#include "ui/main/custommenu.h"
#include "ui/main/editclamp.h"
#include "ui/main/mainmoduleform.h"
#include "ui/main/negativespacinghboxlayout.h"
#include "ui/main/roundedmenu.h"
#include "ui/main/sensitivitymoduleform.h"
#include "ui/main/vectormodulewidget.h"
#include "ui/pages/configmoduleform.h"
#include "ui/pages/helpmoduleform.h"
#include "ui/pages/monitormoduleform.h"
#include "ui/pages/myintvalidator.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QGraphicsDropShadowEffect>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QSpacerItem>
#include <QThread>
#include <QTimer>

namespace {

const char kNormalIconProperty[] = "normalIcon";
const char kPressedIconProperty[] = "pressedIcon";

const char kPillButtonStyle[] =
    "QPushButton { border: none; border-radius: 22px;"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %1, stop:1 %2);"
    " font-family: MiSans; font-size: 18px; color: #FFFFFF; padding: 10px 20px; }"
    "QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %3, stop:1 %4); }"
    "QPushButton:pressed { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %5, stop:1 %6); }";

const char kEditStyle[] =
    "QLineEdit { background: #F1F8FF; border-radius: 6px; border: 1px solid rgba(185,198,212,143);"
    " font-family: MiSans; font-size: 18px; color: #2B3B50; }";

const char kBarLabelStyle[] = "QLabel { font-family: MiSans; font-size: 18px; color: #77818E; }";

} // namespace

MainWindow::MainWindow(ParamManager* paramManager, QWidget* parent)
    : QMainWindow(parent), ui(new Ui_MainWindow), paramManager(paramManager)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Terval-V1.1"));
    initForms();
    initLineEdits();
    initMenus();
    initTitleBar();
    initWindow();
    initLockLostBox();
    setMinimumSize(1024, 600);
}

MainWindow::~MainWindow()
{
    disconnect(workStateConnection);
    delete ui;
}

QString MainWindow::titleButtonStyle(const QString& normal, const QString& hover, const QString& pressed)
{
    static const QString style = QStringLiteral(
        "QPushButton { background-image: url(%1); background-repeat: no-repeat;"
        " background-position: center; border: none; background-color: transparent;"
        " min-width: 25px; min-height: 25px; }"
        "QPushButton:hover { background-image: url(%2); }"
        "QPushButton:pressed { background-image: url(%3); }");
    return style.arg(normal, hover, pressed);
}

void MainWindow::initTitleBar()
{
    // 1. title bar background and title
    ui->mainTopWidget->setStyleSheet(QStringLiteral(
        "#mainTopWidget { background-image: url(:/topbackground.png); background-repeat: no-repeat;"
        " background-position: center; border: none; }"));
    ui->label_title->setStyleSheet(QStringLiteral(
        "QLabel { font-family: MiSans; font-size: 22px; font-weight: 400; color: #FFFFFF;"
        " margin: 0px; padding: 0px; background: transparent; }"));

    // 2. spacing of the title row and of its right-hand group
    ui->titleRowLayout->setSpacing(0);
    ui->titleRowLayout->insertSpacing(ui->titleRowLayout->indexOf(ui->label_2) + 1, 21);
    QHBoxLayout* right = ui->rightGroupLayout;
    right->setSpacing(0);
    right->insertSpacing(right->indexOf(ui->label_3) + 1, 12);
    right->insertSpacing(right->indexOf(ui->label_language) + 1, 16);
    right->insertSpacing(right->indexOf(ui->btn_Language) + 1, 38);
    right->insertSpacing(right->indexOf(ui->btn_Min) + 1, 8);
    right->insertSpacing(right->indexOf(ui->btn_Max) + 1, 8);
    ui->label_3->setStyleSheet(QStringLiteral("background: transparent;"));
    ui->label_2->setStyleSheet(QStringLiteral("background: transparent;"));
    ui->label_language->setStyleSheet(QStringLiteral(
        "QLabel { font-family: MiSans; font-size: 18px; color: #FFFFFF; background: transparent; }"));

    // 3. window buttons
    ui->btn_Min->setStyleSheet(titleButtonStyle(QStringLiteral(":/btnMinNormal.png"), QStringLiteral(":/btnMinAt.png"),
                                                QStringLiteral(":/btnMinPress.png")));
    ui->btn_Max->setStyleSheet(titleButtonStyle(QStringLiteral(":/btnMaxNormal.png"), QStringLiteral(":/btnMaxAt.png"),
                                                QStringLiteral(":/btnMaxPress.png")));
    ui->btn_Close->setStyleSheet(titleButtonStyle(QStringLiteral(":/btnCloseNormal.png"),
                                                  QStringLiteral(":/btnCloseAt.png"), QStringLiteral(":/btnClosePress.png")));
    ui->btn_Language->setStyleSheet(
        titleButtonStyle(QStringLiteral(":/btnLanguageNormal.png"), QStringLiteral(":/btnLanguageAt.png"),
                         QStringLiteral(":/btnLanguagePress.png")) +
        QStringLiteral("QPushButton::menu-indicator { image: none; width: 0px; height: 0px; }"));

    // 4. their connections
    connect(ui->btn_Min, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(ui->btn_Close, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->btn_Max, &QPushButton::clicked, ui->btn_Max, [this] { onMaxButtonClicked(); }, Qt::DirectConnection);

    // 5. page tabs: overlapping by 13 px
    auto* tabs = new NegativeSpacingHBoxLayout(ui->widget_topButtons);
    tabs->setObjectName(QStringLiteral("topTabsLayout"));
    int left = 0, top = 0, rightMargin = 0, bottom = 0;
    tabs->getContentsMargins(&left, &top, &rightMargin, &bottom);
    qDebug() << "left:" << left;
    tabs->setContentsMargins(left, 0, rightMargin, 0);
    tabs->setSpacing(-13);
    for (QPushButton* b : {ui->btnMain, ui->btnSensitivity, ui->btnVector, ui->btnSave, ui->btnHelp, ui->btnMonitor,
                           ui->btnConfig})
        tabs->addWidget(b);
    tabs->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    ui->widget_topButtons->setStyleSheet(QStringLiteral("#widget_topButtons { background: transparent; border: none; }"));
    ui->verticalLayout_2->insertSpacerItem(ui->verticalLayout_2->indexOf(ui->widget_topButtons),
                                           new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));

    // 6. Clear Plot
    ui->btn_clearPlot->setStyleSheet(QString::fromLatin1(kPillButtonStyle)
                                         .arg(QStringLiteral("#8FA4B9"), QStringLiteral("#A4B7C8"),
                                              QStringLiteral("#2A7ACD"), QStringLiteral("#4293E8"),
                                              QStringLiteral("#0557AB"), QStringLiteral("#4293E8")));
    ui->btn_clearPlot->setIcon(QIcon(QStringLiteral(":/ClearPlot.png")));
    ui->btn_clearPlot->setIconSize(QSize(17, 20));

    // 7. the four edits
    for (QLineEdit* e : {ui->edt_lowPass, ui->edt_highPass, ui->edt_fftTime, ui->edt_dataRate}) {
        e->setFixedSize(76, 44);
        e->setStyleSheet(QLatin1String(kEditStyle));
    }

    // 8. Reboot
    ui->btn_reboot->setStyleSheet(QString::fromLatin1(kPillButtonStyle)
                                      .arg(QStringLiteral("#C03837"), QStringLiteral("#EC5858"),
                                           QStringLiteral("#A32928"), QStringLiteral("#EC5858"),
                                           QStringLiteral("#890807"), QStringLiteral("#EC5858")));
    ui->btn_reboot->setIcon(QIcon(QStringLiteral(":/Reboot.png")));
    ui->btn_reboot->setIconSize(QSize(20, 20));

    // 9. bottom-bar labels
    for (QLabel* l : {ui->lbl_lowPass, ui->lbl_highPass, ui->lbl_fftTime, ui->label_FFT_Unit, ui->label,
                      ui->label_DataRateUnit})
        l->setStyleSheet(QLatin1String(kBarLabelStyle));

    // 10. page tabs and their icons
    setupNavButton(ui->btnMain, QStringLiteral(":/mainNormalIcon.png"), QStringLiteral(":/mainPressIcon.png"));
    setupNavButton(ui->btnSensitivity, QStringLiteral(":/SensitivityNormalIcon.png"),
                   QStringLiteral(":/SensitivityPressIcon.png"));
    setupNavButton(ui->btnVector, QStringLiteral(":/SensitivityNormalIcon.png"),
                   QStringLiteral(":/SensitivityPressIcon.png"));
    setupNavButton(ui->btnSave, QStringLiteral(":/SaveNormalIcon.png"), QStringLiteral(":/SavePressIcon.png"));
    setupNavButton(ui->btnHelp, QStringLiteral(":/helpNormalIcon.png"), QStringLiteral(":/helpPressIcon.png"));
    setupNavButton(ui->btnMonitor, QStringLiteral(":/debugNormalIcon.png"), QStringLiteral(":/debugPressIcon.png"));
    setupNavButton(ui->btnConfig, QStringLiteral(":/configNormalIcon.png"), QStringLiteral(":/configPressIcon.png"));

    // 11. page area and bottom bar
    ui->stackedWidget->setStyleSheet(QStringLiteral(
        "#stackedWidget { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #F9FAFC, stop:1 #E1ECF8); }"));
    ui->bottomWidget->setStyleSheet(QStringLiteral(
        "#bottomWidget { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #E1ECF8, stop:1 #DFEBF8); }"));
}

void MainWindow::setupNavButton(QPushButton* button, const QString& normalIcon, const QString& pressedIcon)
{
    button->setCheckable(true);
    button->setStyleSheet(QStringLiteral(
        "QPushButton { background-image: url(:/topBtnNormal.png); background-repeat: no-repeat;"
        " background-position: center; background-color: transparent; border: none;"
        " font-family: MiSans; font-size: 20px; font-weight: 400; color: #2B3B50; }"
        "QPushButton:checked { background-image: url(:/topBtnPress.png); color: #1667BA; }"));
    button->setProperty(kNormalIconProperty, normalIcon);
    button->setProperty(kPressedIconProperty, pressedIcon);
    button->setIconSize(QSize(24, 24));
    onNavButtonToggled(button, button->isChecked());
    connect(button, &QPushButton::toggled, this, [this, button](bool checked) { onNavButtonToggled(button, checked); });
}

void MainWindow::onNavButtonToggled(QPushButton* button, bool checked)
{
    const char* which = checked ? kPressedIconProperty : kNormalIconProperty;
    button->setIcon(QIcon(button->property(which).toString()));
}

void MainWindow::onMaxButtonClicked()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
    if (isMaximized())
        ui->btn_Max->setStyleSheet(titleButtonStyle(QStringLiteral(":/btnMaxNormal1.png"),
                                                    QStringLiteral(":/btnMaxAt1.png"), QStringLiteral(":/btnMaxPress1.png")));
    else
        ui->btn_Max->setStyleSheet(titleButtonStyle(QStringLiteral(":/btnMaxNormal.png"), QStringLiteral(":/btnMaxAt.png"),
                                                    QStringLiteral(":/btnMaxPress.png")));
}

void MainWindow::initWindow()
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setMouseTracking(true);
    setMouseTrackingRecursive(this);

    connect(this, &MainWindow::sig_ChangeLanguage, this, &MainWindow::slot_setLanguage);
    connect(this, &MainWindow::sig_ChangeLanguage, monitorModuleForm, &MonitorModuleForm::slot_setLanguage);
    connect(this, &MainWindow::sig_ChangeLanguage, sensitivityModuleForm, &SensitivityModuleForm::slot_setLanguage);
    connect(this, &MainWindow::sig_ChangeLanguage, configModuleForm, &ConfigModuleForm::slot_setLanguage);
    connect(this, &MainWindow::sig_ChangeLanguage, mainModuleForm, &MainModuleForm::slot_setLanguage);
    connect(this, &MainWindow::sig_ChangeLanguage, saveModuleForm, &SaveModuleForm::slot_setLanguage);
    connect(this, &MainWindow::sig_ChangeLanguage, helpModuleForm, &HelpModuleForm::slot_setLanguage);

    if (paramManager->isChinese == 1) {
        ui->label_language->setText(QStringLiteral("中文"));
        emit sig_ChangeLanguage(1);
        languageMenu->setFixedWidth(chinesePopupWidth);
    }
}

void MainWindow::setMouseTrackingRecursive(QWidget* widget)
{
    const QList<QWidget*> children = widget->findChildren<QWidget*>();
    for (QWidget* child : children)
        child->setMouseTracking(true);
}

int MainWindow::edgeRegionAt(const QPoint& pos) const
{
    const int b = borderWidth;
    const bool left = pos.x() < b;
    const bool top = pos.y() < b;
    const bool right = pos.x() > width() - b;
    const bool bottom = pos.y() > height() - b;
    if (left && top)
        return EdgeTopLeft;
    if (right && top)
        return EdgeTopRight;
    if (left && bottom)
        return EdgeBottomLeft;
    if (right && bottom)
        return EdgeBottomRight;
    if (top)
        return EdgeTop;
    if (bottom)
        return EdgeBottom;
    if (left)
        return EdgeLeft;
    if (right)
        return EdgeRight;
    return EdgeInside;
}

void MainWindow::updateEdgeCursor(const QPoint& pos)
{
    switch (edgeRegionAt(pos)) {
    case EdgeLeft:
    case EdgeRight:
        setCursor(Qt::SizeHorCursor);
        break;
    case EdgeTop:
    case EdgeBottom:
        setCursor(Qt::SizeVerCursor);
        break;
    case EdgeTopLeft:
    case EdgeBottomRight:
        setCursor(Qt::SizeFDiagCursor);
        break;
    case EdgeTopRight:
    case EdgeBottomLeft:
        setCursor(Qt::SizeBDiagCursor);
        break;
    default:
        unsetCursor();
        break;
    }
}

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QMainWindow::mousePressEvent(event);
        return;
    }
    dragging = true;
    pressPosition = event->globalPos();
    startGeometry = geometry();
    edgeRegion = edgeRegionAt(event->pos());
    event->accept();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging) {
        updateEdgeCursor(event->pos());
        return;
    }
    const QPoint delta = event->globalPos() - pressPosition;
    if (edgeRegion == EdgeInside) {
        move(startGeometry.topLeft() + delta);
        return;
    }
    QRect r = startGeometry;
    if (edgeRegion == EdgeLeft || edgeRegion == EdgeTopLeft || edgeRegion == EdgeBottomLeft)
        r.setLeft(r.left() + delta.x());
    if (edgeRegion == EdgeRight || edgeRegion == EdgeTopRight || edgeRegion == EdgeBottomRight)
        r.setRight(r.right() + delta.x());
    if (edgeRegion == EdgeTop || edgeRegion == EdgeTopLeft || edgeRegion == EdgeTopRight)
        r.setTop(r.top() + delta.y());
    if (edgeRegion == EdgeBottom || edgeRegion == EdgeBottomLeft || edgeRegion == EdgeBottomRight)
        r.setBottom(r.bottom() + delta.y());
    // Past the minimum the grabbed left or top edge pushes the window along.
    if (r.width() < minimumWidth())
        r.setRight(r.left() + minimumWidth() - 1);
    if (r.height() < minimumHeight())
        r.setBottom(r.top() + minimumHeight() - 1);
    setGeometry(r);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event)
{
    dragging = false;
    edgeRegion = EdgeInside;
    QMainWindow::mouseReleaseEvent(event);
}

void MainWindow::leaveEvent(QEvent* event)
{
    unsetCursor();
    QMainWindow::leaveEvent(event);
}

// ---------------------------------------------------------------- pages

void MainWindow::initForms()
{
    mainModuleForm = new MainModuleForm(paramManager, this);
    sensitivityModuleForm = new SensitivityModuleForm(paramManager, this);
    vectorModuleWidget = new VectorModuleWidget(paramManager, this);
    saveModuleForm = new SaveModuleForm(paramManager, this);
    helpModuleForm = new HelpModuleForm(paramManager, this);
    monitorModuleForm = new MonitorModuleForm(paramManager, this);
    configModuleForm = new ConfigModuleForm(paramManager, this);
    mainModuleForm->setMonitorForm(monitorModuleForm);

    pages.insert(PageMain, mainModuleForm);
    pages.insert(PageSensitivity, sensitivityModuleForm);
    pages.insert(PageVector, vectorModuleWidget);
    pages.insert(PageSave, saveModuleForm);
    pages.insert(PageHelp, helpModuleForm);
    pages.insert(PageMonitor, monitorModuleForm);
    pages.insert(PageConfig, configModuleForm);

    // The service page exists in any case (it gets the parameter block,
    // switches language and lends its set-points) but is stacked only in
    // test mode.
    const bool testMode = paramManager->isTest == 1;
    ui->stackedWidget->addWidget(mainModuleForm);
    ui->stackedWidget->addWidget(sensitivityModuleForm);
    ui->stackedWidget->addWidget(vectorModuleWidget);
    ui->stackedWidget->addWidget(saveModuleForm);
    ui->stackedWidget->addWidget(helpModuleForm);
    if (testMode) {
        qDebug() << "isTest 1";
        ui->stackedWidget->addWidget(monitorModuleForm);
    } else {
        qDebug() << "isTest 0";
    }
    ui->stackedWidget->addWidget(configModuleForm);

    monitorModuleForm->setVisible(testMode);
    ui->btnMonitor->setVisible(testMode);
    vectorModuleWidget->setVisible(false);
    ui->btnVector->setVisible(false);
    sensitivityModuleForm->setVisible(true);
    ui->btnSensitivity->setVisible(true);
    ui->btnMain->setCheckable(true);
    ui->btnMain->setChecked(true);
    ui->btnMain->raise();

    const QList<QPushButton*> buttons =
        ui->widget_topButtons->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
    for (QPushButton* b : buttons)
        if (b->objectName().contains(QLatin1String("btn")))
            connect(b, &QPushButton::clicked, this, &MainWindow::onNavButtonClicked);

    ui->stackedWidget->setCurrentIndex(currentPage);
    for (int i = 0; i < ui->stackedWidget->count(); ++i)
        ui->stackedWidget->widget(i)->setVisible(i == 0);

    ParamManager* const pm = paramManager;
    connect(pm, &ParamManager::sig_updateVectorForm, vectorModuleWidget, &VectorModuleWidget::slots_updateVectorForm);
    connect(pm, &ParamManager::sig_updateVectorForm, saveModuleForm, &SaveModuleForm::slots_updateVectorForm);
    connect(pm, &ParamManager::sig_updateForm, mainModuleForm, &MainModuleForm::slots_updateForm);
    connect(pm, &ParamManager::sig_updateForm, saveModuleForm, &SaveModuleForm::slots_updateForm);
    if (DataCheckerThread* checker = pm->getDataChecker())
        connect(pm, &ParamManager::sig_updateForm, checker, &DataCheckerThread::slot_DataCheck, Qt::UniqueConnection);
    connect(pm, &ParamManager::sig_updateFormParam, monitorModuleForm, &MonitorModuleForm::slots_updateFormParam);
    connect(pm, &ParamManager::sig_updateFormParamEx, configModuleForm, &ConfigModuleForm::slots_updateFormParam);
    connect(pm, &ParamManager::sig_updateFormEx, sensitivityModuleForm, &SensitivityModuleForm::slots_updateForm);
    connect(pm, &ParamManager::sig_updateSamplingRate, configModuleForm, &ConfigModuleForm::slots_updateSamplingRate);
    connect(pm, &ParamManager::sig_changeSamplingRate, this, &MainWindow::changeSamplingRate);
    connect(pm, &ParamManager::sig_saveFinished, saveModuleForm, &SaveModuleForm::slots_saveFinished);
    connect(pm, &ParamManager::sig_connected, mainModuleForm, &MainModuleForm::slots_connected);
    connect(pm, &ParamManager::sig_disconnect, this, &MainWindow::onDisconnected);
    connect(pm, &ParamManager::sig_updateProgress, mainModuleForm, &MainModuleForm::slots_updateProgress);
    connect(pm, &ParamManager::sig_updateProgressEx, mainModuleForm, &MainModuleForm::slots_updateProgressEx);
    connect(pm, &ParamManager::sig_signalStrength, mainModuleForm, &MainModuleForm::slots_updateSignalStrength);
    connect(pm, &ParamManager::sig_updateSerialNumber, mainModuleForm, &MainModuleForm::slots_updateSerialNumber);
    // The hub is the context; the connection goes with the window.
    workStateConnection = connect(
        pm, &ParamManager::sig_changeWorkState, pm, [this] { onWorkStateChanged(); }, Qt::DirectConnection);

    for (QWidget* w : {static_cast<QWidget*>(ui->lbl_fftTime), static_cast<QWidget*>(ui->edt_fftTime),
                       static_cast<QWidget*>(ui->label_FFT_Unit)})
        w->hide();
    ui->edt_dataRate->setText(QString::number(1.0 / pm->samplingRate, 'g', 6));
    configModuleForm->setFilterState(true, true);
}

QPushButton* MainWindow::pageButton(int page) const
{
    switch (page) {
    case PageMain:
        return ui->btnMain;
    case PageSensitivity:
        return ui->btnSensitivity;
    case PageVector:
        return ui->btnVector;
    case PageSave:
        return ui->btnSave;
    case PageHelp:
        return ui->btnHelp;
    case PageMonitor:
        return ui->btnMonitor;
    case PageConfig:
        return ui->btnConfig;
    default:
        return nullptr;
    }
}

namespace {

int pageOfButtonName(const QString& name)
{
    static const char* const names[] = {"btnMain", "btnSensitivity", "btnVector", "btnSave",
                                        "btnHelp", "btnMonitor",     "btnConfig"};
    for (int i = 0; i < 7; ++i)
        if (name == QLatin1String(names[i]))
            return i;
    return -1;
}

bool isParamPage(int page)
{
    return page == MainWindow::PageMonitor || page == MainWindow::PageConfig;
}

} // namespace

void MainWindow::showInfoBox(const QString& text)
{
    auto* box = new QMessageBox();
    box->setWindowIcon(windowIcon());
    box->setIcon(QMessageBox::Information);
    box->setWindowTitle(QStringLiteral("提示"));
    box->setText(text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindow::onNavButtonClicked()
{
    QObject* from = sender();
    if (!from)
        return;
    const int target = pageOfButtonName(from->objectName());
    if (target >= 0)
        targetPage = target;
    if (targetPage == currentPage)
        return;

    if (paramManager->isSave() && isParamPage(targetPage)) {
        showInfoBox(targetPage == PageMonitor ? QStringLiteral("保存磁场信息中,要切换到调试界面,请先停止保存!")
                                              : QStringLiteral("保存磁场信息中,要切换到配置界面,请先停止保存!"));
        // The click has checked the refused tab; the shown page keeps its own.
        if (QPushButton* shown = pageButton(currentPage))
            shown->setChecked(true);
        return;
    }

    if (auto* button = qobject_cast<QPushButton*>(from))
        button->raise();

    const int left = currentPage;
    const int entered = targetPage;
    leavePage(left, entered);

    // The service and configuration pages poll the parameter block on the
    // shared link: nothing else may run under them, whatever page they are
    // entered from and whether or not the instrument measures.
    if (isParamPage(entered) && !isParamPage(left)) {
        if (left != PageMain && left != PageSensitivity)
            mainModuleForm->stopWork();
        // stopWork only ends the status poll when not measuring.
        if (paramManager->isRunning() || left == PageSensitivity)
            emit paramManager->sig_devStatusWorkerStop();
    }

    ui->stackedWidget->setCurrentWidget(pages.value(entered));
    currentPage = entered;

    // Back from them to a live page: traffic resumes as on the main page
    // (which does this itself on entry).
    if (isParamPage(left) && !isParamPage(entered) && entered != PageMain)
        mainModuleForm->startWork();

    enterPage(entered);
}

void MainWindow::leavePage(int page, int target)
{
    switch (page) {
    case PageMain:
        if (isParamPage(target))
            mainModuleForm->stopWork();
        mainModuleForm->setPlotEnabled(false);
        break;
    case PageSensitivity:
        if (isParamPage(target))
            sensitivityModuleForm->stopPolling();
        sensitivityModuleForm->setActive(false);
        break;
    case PageSave:
        saveModuleForm->disableConsoleOutput();
        break;
    case PageMonitor:
        monitorModuleForm->stopParamPolling();
        monitorModuleForm->uncheckDebug();
        break;
    case PageConfig:
        configModuleForm->stopParamPolling();
        break;
    default:
        break;
    }
}

void MainWindow::enterPage(int page)
{
    switch (page) {
    case PageMain:
        showFilterRows();
        mainModuleForm->startWork();
        mainModuleForm->setPlotEnabled(true);
        break;
    case PageSensitivity:
        showFftRow();
        sensitivityModuleForm->startPolling();
        sensitivityModuleForm->setActive(true);
        break;
    case PageVector:
        showFilterRows();
        break;
    case PageSave:
        if (paramManager->isSave())
            saveModuleForm->enableConsoleOutput();
        break;
    case PageMonitor:
        monitorModuleForm->startParamPolling();
        break;
    case PageConfig:
        configModuleForm->startParamPolling();
        break;
    default:
        break;
    }
}

void MainWindow::showFilterRows()
{
    for (QWidget* w : {static_cast<QWidget*>(ui->lbl_lowPass), static_cast<QWidget*>(ui->edt_lowPass),
                       static_cast<QWidget*>(ui->lbl_highPass), static_cast<QWidget*>(ui->edt_highPass)})
        w->show();
    for (QWidget* w : {static_cast<QWidget*>(ui->lbl_fftTime), static_cast<QWidget*>(ui->edt_fftTime),
                       static_cast<QWidget*>(ui->label_FFT_Unit)})
        w->hide();
}

void MainWindow::showFftRow()
{
    for (QWidget* w : {static_cast<QWidget*>(ui->lbl_fftTime), static_cast<QWidget*>(ui->edt_fftTime),
                       static_cast<QWidget*>(ui->label_FFT_Unit)})
        w->show();
    for (QWidget* w : {static_cast<QWidget*>(ui->lbl_lowPass), static_cast<QWidget*>(ui->edt_lowPass),
                       static_cast<QWidget*>(ui->lbl_highPass), static_cast<QWidget*>(ui->edt_highPass)})
        w->hide();
}

// ---------------------------------------------------------------- bottom bar buttons

void MainWindow::on_btn_clearPlot_clicked()
{
    QWidget* shown = ui->stackedWidget->currentWidget();
    if (shown == mainModuleForm)
        mainModuleForm->clearPlot();
    else if (shown == sensitivityModuleForm)
        sensitivityModuleForm->clearCharts();
    else if (shown == vectorModuleWidget)
        vectorModuleWidget->clearPlots();
}

void MainWindow::on_btn_reboot_clicked()
{
    postResetAll();
}

void MainWindow::onDisconnected()
{
    postResetAll();
}

void MainWindow::postResetAll()
{
    // Runs from the event loop, never inside the emitting call; a burst of
    // requests is served by the one reset already waiting.
    if (resetPending)
        return;
    resetPending = true;
    QTimer::singleShot(0, this, [this] {
        resetPending = false;
        resetAll();
    });
}

void MainWindow::resetAll()
{
    mainModuleForm->resetForm();
    paramManager->reboot();
    monitorModuleForm->resetForm();
    sensitivityModuleForm->reset();
    saveModuleForm->resetForm();
    configModuleForm->resetForm();
}

void MainWindow::onWorkStateChanged()
{
    mainModuleForm->clearPlot();
    sensitivityModuleForm->clearCharts();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    emit paramManager->sig_sendModbusData(Addr40000);
    event->accept();
}

// ---------------------------------------------------------------- language

void MainWindow::initMenus()
{
    // output data-rate selector
    ui->edt_dataRate->installEventFilter(this);
    dataRateMenu = new RoundedMenu(this);
    dataRateMenu->setObjectName(QStringLiteral("dataRateMenu"));
    for (double period : {0.001, 0.005, 0.05, 1.0}) {
        QAction* action = dataRateMenu->addAction(QString::number(period, 'g', 6));
        action->setData(int(1 / period));
        connect(action, &QAction::triggered, this, [this, action] { onDataRateSelected(action); });
    }
    dataRateMenu->setStyleSheet(
        QStringLiteral("QMenu { background-color: white; padding: 6px; }"
                       "QMenu::item { font-family: MiSans; font-size: 16px; color: #2B3B50; padding: 6px 12px; }"
                       "QMenu::item:selected { color: #2C7ED3; background-color: rgba(44,126,211,0.08); }"));
    dataRateMenu->setAttribute(Qt::WA_StyledBackground);
    auto* shadow = new QGraphicsDropShadowEffect(dataRateMenu);
    shadow->setBlurRadius(10);
    shadow->setOffset(0, 3);
    shadow->setColor(QColor(223, 235, 248, 143));
    dataRateMenu->setGraphicsEffect(shadow);

    // language popup
    languageMenu = new CustomMenu(this);
    languageMenu->setObjectName(QStringLiteral("languageMenu"));
    languageMenu->addAction(QStringLiteral("中文"), QVariant());
    languageMenu->addAction(QStringLiteral("English"), QVariant());
    languageMenu->setFixedWidth(englishPopupWidth);
    connect(
        languageMenu, &CustomMenu::triggered, languageMenu,
        [this](const QString& text, const QVariant&) { onLanguageSelected(text); }, Qt::DirectConnection);
    connect(
        ui->btn_Language, &QPushButton::clicked, ui->btn_Language, [this] { onLanguageButtonClicked(); },
        Qt::DirectConnection);
}

void MainWindow::onLanguageButtonClicked()
{
    languageMenu->adjustSize();
    QPushButton* button = ui->btn_Language;
    const QPoint topLeft = button->mapToGlobal(QPoint(0, 0));
    const int w = languageMenu->sizeHint().width();
    const int k = languageMenu->minimumWidth() == chinesePopupWidth ? 2 : 1;
    languageMenu->move(topLeft.x() + k * button->width() - w - w / 2, topLeft.y() + button->height());
    languageMenu->show();
}

void MainWindow::onLanguageSelected(const QString& text)
{
    if (text == QStringLiteral("中文")) {
        paramManager->isChinese = 1;
        emit sig_ChangeLanguage(1);
        ui->label_language->setText(QStringLiteral("中文"));
        languageMenu->setFixedWidth(chinesePopupWidth);
    } else if (text == QLatin1String("English")) {
        paramManager->isChinese = 0;
        emit sig_ChangeLanguage(0);
        ui->label_language->setText(QStringLiteral("English"));
        languageMenu->setFixedWidth(englishPopupWidth);
    } else {
        return;
    }
    QSettings settings(paramManager->iniPath, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Sensitivity"));
    settings.setValue(QStringLiteral("isChinese"), paramManager->isChinese);
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        paramManager->log(QStringLiteral("cannot write isChinese to ") + paramManager->iniPath);
}

void MainWindow::slot_setLanguage(int num)
{
    const QPair<QObject*, const char*> chinese[] = {
        {ui->btn_clearPlot, "清除图表"}, {ui->lbl_lowPass, "低通"},
        {ui->lbl_highPass, "高通"},      {ui->lbl_fftTime, "傅立叶变换时间"},
        {ui->label_FFT_Unit, "秒"},      {ui->label, "数据速率"},
        {ui->label_DataRateUnit, "秒"},  {ui->btn_reboot, "重启"},
        {ui->btnMain, "主面板"},         {ui->btnSensitivity, "频率谱"},
        {ui->btnVector, "矢量"},         {ui->btnSave, "保存"},
        {ui->btnHelp, "帮助"},           {ui->btnMonitor, "调试"},
        {ui->btnConfig, "配置"},
    };
    if (!languageTextsKept) {
        languageTextsKept = true;
        for (const auto& entry : chinese)
            keptTexts.append({entry.first, entry.first->property("text").toString()});
    }
    if (num == 1) {
        for (const auto& entry : chinese)
            entry.first->setProperty("text", QString::fromUtf8(entry.second));
    } else {
        for (const auto& kept : qAsConst(keptTexts))
            kept.first->setProperty("text", kept.second);
    }
}

// ---------------------------------------------------------------- lock-lost warning

void MainWindow::initLockLostBox()
{
    lockLostBox = new QMessageBox(this);
    lockLostBox->setObjectName(QStringLiteral("lockLostBox"));
    lockLostBox->setWindowIcon(windowIcon());
    lockLostBox->setIcon(QMessageBox::Information);
    lockLostBox->setWindowTitle(QStringLiteral("提示"));
    lockLostBox->setText(QStringLiteral("设备处于失锁状态!"));
    if (DataCheckerThread* checker = paramManager->getDataChecker())
        connect(checker, &DataCheckerThread::sig_dataCheckMsg, this, &MainWindow::onDataCheckMsg);
}

void MainWindow::setUtcClock(UtcClock clock)
{
    utcClock = std::move(clock);
}

qint64 MainWindow::utcNow() const
{
    return utcClock ? utcClock() : QDateTime::currentSecsSinceEpoch();
}

void MainWindow::onDataCheckMsg(qlonglong timestamp, const QString& text)
{
    const qint64 now = utcNow();
    // The service and configuration pages stop the stream themselves: the
    // message is expected there, but it still restarts the quiet span.
    if (isParamPage(currentPage)) {
        lastLockLostShown = now;
        return;
    }
    if (now - lastLockLostShown <= 9)
        return;
    lockLostBox->setText(
        QDateTime::fromSecsSinceEpoch(timestamp, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC' ")) +
        text);
    lockLostBox->show();
    lastLockLostShown = now;
}

// ---------------------------------------------------------------- bottom-bar edits and rate

void MainWindow::initLineEdits()
{
    for (QLineEdit* e : {ui->edt_lowPass, ui->edt_highPass, ui->edt_fftTime}) {
        e->setValidator(paramManager->getIntValidator());
        connect(e, &QLineEdit::editingFinished, this, &MainWindow::slots_lineEditIsOK);
    }
}

void MainWindow::slots_lineEditIsOK()
{
    QObject* from = sender();
    if (!from)
        return;
    const QString name = from->objectName();
    DataParam param = paramManager->dataParam;
    if (name.contains(QLatin1String("edt_lowPass")) || name.contains(QLatin1String("edt_highPass"))) {
        QLineEdit* edit = name.contains(QLatin1String("edt_lowPass")) ? ui->edt_lowPass : ui->edt_highPass;
        const int v = edit->text().toInt();
        if (v > 99999)
            edit->setText(QStringLiteral("1000"));
        else if (v <= 0)
            edit->setText(QStringLiteral("0"));
        else
            edit->setText(QString::number(v));
        if (edit == ui->edt_lowPass)
            param.lowPass = edit->text().toInt();
        else
            param.highPass = edit->text().toInt();
    } else if (name.contains(QLatin1String("edt_fftTime"))) {
        param.fftSeconds = clampEditText(ui->edt_fftTime, 1, 1000);
    } else {
        return;
    }
    // Only one of the two filters can be set at a time.
    ui->edt_highPass->setReadOnly(param.lowPass >= 1);
    ui->edt_lowPass->setReadOnly(param.highPass > 0);
    paramManager->dataParam = param;
    emit paramManager->sig_syncDataParam(param);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            auto* edit = qobject_cast<QLineEdit*>(watched);
            if (!edit || !edit->objectName().contains(QLatin1String("edt_dataRate")) || !edit->isEnabled())
                return true;
            if (paramManager->isSave())
                showInfoBox(QStringLiteral("保存磁场信息中,要修改频率,请先停止保存!"));
            else
                dataRateMenu->exec(edit->mapToGlobal(mouse->pos()));
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::onDataRateSelected(QAction* action)
{
    const int rate = action->data().toInt();
    ui->edt_dataRate->setText(action->text());
    changeSamplingRate(rate, true);
    sensitivityModuleForm->setSamplingRate(rate);
    if (!mainModuleForm->isComButtonEnabled())
        showInfoBox(QStringLiteral("修改频率后，建议等待图像稳定再保存数据，以确保数据准确!"));
}

void MainWindow::changeSamplingRate(int rate, bool bChange)
{
    qDebug() << "TO Change samplingRate:" << rate << (bChange ? "true" : "false");

    switch (currentPage) {
    case PageMain:
        mainModuleForm->stopWork();
        paramManager->setParamPollingHeld(false);
        break;
    case PageSensitivity:
        sensitivityModuleForm->stopPolling();
        paramManager->setParamPollingHeld(false);
        break;
    case PageMonitor:
        monitorModuleForm->stopParamPolling();
        break;
    case PageConfig:
        configModuleForm->stopParamPolling();
        break;
    default:
        break;
    }
    QThread::msleep(200);

    // Register 40086 holds the instrument's rate; at 1 and 20 samples per
    // second it runs at 1000 and the data handler averages down.
    int registerValue = -1;
    switch (rate) {
    case 1:
    case 1000:
        registerValue = 1000;
        break;
    case 20:
        registerValue = 1000;
        qDebug() << "-----send 20";
        break;
    case 10:
    case 200:
    case 500:
        registerValue = rate;
        break;
    default:
        break;
    }
    if (registerValue > 0)
        paramManager->samplingRate = rate;
    const double dataRate = registerValue > 0 ? 1.0 / rate : 1.0 / paramManager->samplingRate;

    paramManager->dataParam.dataRate = dataRate;
    emit paramManager->sig_syncDataParam(paramManager->dataParam);
    emit paramManager->sig_setOneHz(rate == 1);
    emit paramManager->sig_setTwentyHz(rate == 20);
    if (rate == 1 || rate == 20)
        emit paramManager->sig_syncDataByteCount(1000, false);
    else
        emit paramManager->sig_syncDataByteCount(paramManager->samplingRate, bChange);

    if (bChange) {
        if (registerValue > 0) {
            // unit 1, write registers from 40086, one register, two bytes
            QByteArray frame = QByteArray::fromHex("01109C96000102");
            frame.append(char((registerValue >> 8) & 0xFF));
            frame.append(char(registerValue & 0xFF));
            appendCRC16(frame, 0, frame.size());
            emit paramManager->sig_sendCustomModbusData(frame);
        } else {
            // The instrument defines no register value for it: nothing is written.
            qDebug() << "no sampling-rate register value for rate" << rate;
        }
        qDebug() << "------------------------------";
        qDebug() << "dataRate20250918:" << dataRate;
        ui->edt_dataRate->setText(QString::number(dataRate, 'g', 6));
    }
    QThread::msleep(200);

    switch (currentPage) {
    case PageMain:
        mainModuleForm->startWork();
        mainModuleForm->clearPlot();
        break;
    case PageSensitivity:
        sensitivityModuleForm->startPolling();
        if (rate == 1) {
            QThread::msleep(200);
            emit paramManager->sig_reboot();
        }
        sensitivityModuleForm->clearCharts();
        break;
    case PageMonitor:
        monitorModuleForm->startParamPolling();
        break;
    case PageConfig:
        configModuleForm->startParamPolling();
        break;
    default:
        break;
    }
}
