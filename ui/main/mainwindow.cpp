#include "ui/main/mainwindow.h"

// mainmoduleform.h reads a QPointer<QCPGraph> inline; the type must be complete.
#include <qcustomplot.h>

#include "core/textini.h"
#include "hub/parammanager.h"
#include "processing/datacheckerthread.h"
#include "ui/pages/configmoduleform.h"
#include "ui/pages/helpmoduleform.h"
#include "ui/pages/mainmoduleform.h"
#include "ui/pages/monitormoduleform.h"
#include "ui/pages/savemoduleform.h"
#include "ui/pages/sensitivitymoduleform.h"
#include "ui/pages/vectormodulewidget.h"
#include "ui/widgets/custommenu.h"
#include "ui/widgets/noticebox.h"
#include "ui/widgets/roundedmenu.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QGraphicsDropShadowEffect>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

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
    openInfoBox(text, windowIcon());
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
    mainModuleForm->setParamPageShown(isParamPage(entered));

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
    QSettings settings(paramManager->iniPath, TextIni::format());
    settings.beginGroup(QStringLiteral("Sensitivity"));
    settings.setValue(QStringLiteral("isChinese"), paramManager->isChinese);
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        paramManager->log(QStringLiteral("cannot write isChinese to ") + paramManager->iniPath);
}

void MainWindow::slot_setLanguage(int num)
{
    const LanguageTexts::Entry chinese[] = {
        {ui->btn_clearPlot, "清除图表"}, {ui->lbl_lowPass, "低通"},
        {ui->lbl_highPass, "高通"},      {ui->lbl_fftTime, "傅立叶变换时间"},
        {ui->label_FFT_Unit, "秒"},      {ui->label, "数据速率"},
        {ui->label_DataRateUnit, "秒"},  {ui->btn_reboot, "重启"},
        {ui->btnMain, "主面板"},         {ui->btnSensitivity, "频率谱"},
        {ui->btnVector, "矢量"},         {ui->btnSave, "保存"},
        {ui->btnHelp, "帮助"},           {ui->btnMonitor, "调试"},
        {ui->btnConfig, "配置"},
    };
    languageTexts.apply(num, chinese);
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
