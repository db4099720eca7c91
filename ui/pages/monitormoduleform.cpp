#include "ui/pages/monitormoduleform.h"

#include "core/globalstate.h"
#include "core/mydoublevalidator.h"
#include "core/myintvalidator.h"
#include "hub/parammanager.h"
#include "link/instrumentframes.h"
#include "ui/widgets/custommenu.h"
#include "ui/widgets/passwordfilter.h"
#include "ui_monitormoduleform.h"

#include <QAction>
#include <QDebug>
#include <QGraphicsDropShadowEffect>
#include <QMutexLocker>
#include <QThread>

#include <cmath>

namespace
{

// Fixed waits around the register writes, ms.
constexpr int kSettleMs = 500;      // set-point and DDS/sweep writes
constexpr int kApplyGapMs = 50;     // between a set-point and its apply register
constexpr int kStateSettleMs = 100; // FS Debug, work state, work mode

// Registers (their decimal number is the address in the frame).
constexpr quint16 kRegDdsFreq = 40100;
constexpr quint16 kRegFsStart = 40106;
constexpr quint16 kRegFsEnd = 40108;
constexpr quint16 kRegFsStep = 40110;
constexpr quint16 kRegWorkState = 40118; // also FS Debug: 99 on, 1 off
constexpr quint16 kRegWorkMode = 40119;

constexpr qint64 kDdsEmptyValue = 20000000; // mHz, written for an emptied edit
constexpr qint64 kDdsMaxValue = 1400000000; // mHz
constexpr int kDdsMaxDigits = 10;           // 1400000000 has ten

constexpr quint16 kDebugOn = 99;
constexpr quint16 kDebugOff = 1;

struct SetpointRegisters {
    const char* editName;
    quint16 value; // IEEE single, two registers
    quint16 apply; // 1 makes the instrument take the new value
};

const SetpointRegisters kSetpointRegisters[] = {
    {"edt_laserTempSet", 40122, 40121},
    {"edt_laserElectricSet", 40142, 40141},
    {"edt_airTempSet", 40130, 40129},
};

struct DdsRegister {
    const char* editName;
    quint16 reg;
};

const DdsRegister kDdsRegisters[] = {
    {"edt_ddsFreq", kRegDdsFreq},
    {"edt_fsStart", kRegFsStart},
    {"edt_fsEnd", kRegFsEnd},
    {"edt_fsStep", kRegFsStep},
};

QString readingText(double v)
{
    return v >= 0.00001 ? QString::number(v, 'f', 5) : QStringLiteral("0");
}

// The number in a DDS or sweep edit, judged by its value: leading zeros do
// not count, and more significant digits than any register value has are
// oversize. Text that is not plain ASCII digits does not convert and counts
// as 0.
qint64 ddsValueOf(const QString& text)
{
    const QString digits = text.trimmed();
    for (QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
    int first = 0;
    while (first < digits.size() && digits.at(first) == QLatin1Char('0'))
        ++first;
    const QString significant = digits.mid(first);
    if (significant.size() > kDdsMaxDigits)
        return kDdsMaxValue;
    return significant.isEmpty() ? 0 : significant.toLongLong();
}

// The number in a set-point edit; text that does not convert counts as 0.
// A run of digits too long for a double is still a large number.
double setpointValueOf(const QString& text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (ok && std::isfinite(v))
        return v;
    if (std::isinf(v) && v > 0)
        return v;
    return 0.0;
}

const char kFrameStyle[] =
    "QFrame#frame_3 { background: transparent; border: none; }"
    "QFrame#frame, QFrame#frame_2 { border: 2px solid #FFFFFF; border-radius: 10px;"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #FFFFFF, stop:1 #EDF6FF); }"
    "QLabel { font-family: MiSans; font-size: 18px; color: #2B3B50; background: transparent; }"
    "QLineEdit { background: transparent; border: 1px solid #D3DCE5; border-radius: 6px;"
    " font-family: MiSans; font-size: 18px; color: #2B3B50; padding: 0px 10px; }"
    "QLineEdit:disabled { color: #A3B0BF; border: 1px solid #E3E9EF; }"
    "QCheckBox#chk_debug { font-family: MiSans; font-size: 18px; color: #2B3B50; spacing: 8px;"
    " background: transparent; }"
    "QCheckBox#chk_debug::indicator { width: 16px; height: 16px; }"
    "QCheckBox#chk_debug::indicator:unchecked { image: url(:/DebugCheckBoxNormal.png); }"
    "QCheckBox#chk_debug::indicator:checked { image: url(:/DebugCheckBoxCheck.png); }"
    "QPushButton#btn_workState, QPushButton#btn_workMode { background-color: #FFFFFF; border-radius: 6px;"
    " border: 1px solid #D3DCE5; font-family: MiSans; font-size: 18px; color: #2B3B50; padding: 8px 10px;"
    " text-align: left; image: url(:/arrow_down.png); image-position: right; }"
    "QPushButton#btn_workState:hover, QPushButton#btn_workMode:hover { background-color: #F5F7FA;"
    " border: 1px solid #B9C6D4; }"
    "QPushButton#btn_workState:pressed, QPushButton#btn_workMode:pressed { background-color: #E3EDF9;"
    " border: 1px solid #A3B4C5; }"
    "QPushButton#btn_workMode:disabled { color: #A3B0BF; border: 1px solid #E3E9EF; }"
    "QPushButton#btn_changeWorkState, QPushButton#btn_changeWorkMode { border: none; border-radius: 22px;"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #8FA4B9, stop:1 #A4B7C8);"
    " font-family: MiSans; font-size: 18px; color: #FFFFFF; }"
    "QPushButton#btn_changeWorkState:hover, QPushButton#btn_changeWorkMode:hover {"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #2A7ACD, stop:1 #4293E8); }"
    "QPushButton#btn_changeWorkState:pressed, QPushButton#btn_changeWorkMode:pressed {"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #0557AB, stop:1 #4293E8); }"
    "QPushButton#btn_changeWorkMode:disabled { background: #D5DDE5; }";

} // namespace

MonitorModuleForm::MonitorModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), ui(new Ui_MonitorModuleForm), pm(paramManager)
{
    refillSetpoints = true;
    showDdsFreq = false;
    ui->setupUi(this);
    initMenus();

    for (QLineEdit* edit : {ui->edt_laserTempSet, ui->edt_laserElectricSet, ui->edt_airTempSet}) {
        edit->setValidator(pm->getDoubleValidator());
        connect(edit, &QLineEdit::editingFinished, this, &MonitorModuleForm::slots_editingFinished);
    }

    // One lock for the three set-points; it goes with the page.
    auto* filter = new PasswordFilter(this, PasswordFilter::kDefaultTimeout);
    ui->edt_laserElectricSet->installEventFilter(filter);
    ui->edt_laserTempSet->installEventFilter(filter);
    ui->edt_airTempSet->installEventFilter(filter);

    for (QLineEdit* edit : {ui->edt_ddsFreq, ui->edt_fsStart, ui->edt_fsEnd, ui->edt_fsStep}) {
        edit->setValidator(pm->getIntValidator());
        connect(edit, &QLineEdit::editingFinished, this, &MonitorModuleForm::slots_ddsEditingFinished);
    }

    setDebugControlsEnabled(false);
    initStyle();
}

MonitorModuleForm::~MonitorModuleForm()
{
    delete ui;
}

void MonitorModuleForm::setWait(Wait w)
{
    waitFn = std::move(w);
}

void MonitorModuleForm::wait(int ms)
{
    if (waitFn)
        waitFn(ms);
    else
        QThread::msleep(ulong(ms));
}

// ---- construction ----

void MonitorModuleForm::initMenus()
{
    workStateList = QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")};
    workModeList = QStringList{QStringLiteral("0"), QStringLiteral("1")};
    workStateMenu = CustomMenu::createSelector(this, workStateList, QVariant(), QStringLiteral("menu"));
    workModeMenu = CustomMenu::createSelector(this, workModeList, QVariant(), QStringLiteral("menu"));
    workStateMenu->setObjectName(QStringLiteral("workStateMenu"));
    workModeMenu->setObjectName(QStringLiteral("workModeMenu"));

    // A choice only changes the button's text; "Change" makes the write.
    connect(
        workStateMenu, &CustomMenu::triggered, workStateMenu,
        [this](const QString& text, const QVariant&) { ui->btn_workState->setText(text); }, Qt::DirectConnection);
    connect(workModeMenu, &CustomMenu::triggered, this,
            [this](const QString& text, const QVariant&) { ui->btn_workMode->setText(text); });
    connect(ui->btn_workState, &QPushButton::clicked, ui->btn_workState,
            [this] { showMenuBelow(workStateMenu, ui->btn_workState); });
    connect(ui->btn_workMode, &QPushButton::clicked, ui->btn_workMode,
            [this] { showMenuBelow(workModeMenu, ui->btn_workMode); });
    workStateMenu->setFixedWidth(ui->btn_workState->width());
    workModeMenu->setFixedWidth(ui->btn_workMode->width());
}

void MonitorModuleForm::showMenuBelow(CustomMenu* menu, QWidget* button)
{
    menu->setFixedWidth(button->width());
    menu->showBelow(button);
}

void MonitorModuleForm::onWorkStateActionTriggered()
{
    if (auto* action = qobject_cast<QAction*>(sender()))
        ui->btn_workState->setText(action->text());
}

void MonitorModuleForm::onWorkModeActionTriggered()
{
    if (auto* action = qobject_cast<QAction*>(sender()))
        ui->btn_workMode->setText(action->text());
}

void MonitorModuleForm::initStyle()
{
    setStyleSheet(QLatin1String(kFrameStyle));
    for (QFrame* frame : {ui->frame, ui->frame_2}) {
        auto* shadow = new QGraphicsDropShadowEffect(frame);
        shadow->setBlurRadius(16);
        shadow->setColor(QColor(185, 204, 225, 169));
        shadow->setOffset(0, 9);
        frame->setGraphicsEffect(shadow);
    }
}

// ---- polling around the writes ----

void MonitorModuleForm::startParamPolling()
{
    paramPollingWanted = true;
    pm->setParamPollingHeld(false);
    emit pm->sig_paramWorkerStart();
}

void MonitorModuleForm::stopParamPolling()
{
    paramPollingWanted = false;
    emit pm->sig_paramWorkerStop();
}

void MonitorModuleForm::pausePolling()
{
    emit pm->sig_paramWorkerStop();
}

void MonitorModuleForm::resumePolling()
{
    if (!paramPollingWanted) {
        qDebug() << "service page not shown: parameter poll stays off";
        return;
    }
    pm->setParamPollingHeld(false);
    emit pm->sig_paramWorkerStart();
}

void MonitorModuleForm::sendFrame(const QByteArray& frame)
{
    emit pm->sig_sendCustomModbusData(frame);
}

// ---- calls from the main window and the main page ----

void MonitorModuleForm::uncheckDebug()
{
    if (ui->chk_debug->isChecked())
        ui->chk_debug->setChecked(false); // its slot writes 1 to 40118
}

void MonitorModuleForm::setDebugControlsEnabled(bool enabled)
{
    for (QWidget* w : {static_cast<QWidget*>(ui->edt_ddsFreq), static_cast<QWidget*>(ui->edt_fsStart),
                       static_cast<QWidget*>(ui->edt_fsEnd), static_cast<QWidget*>(ui->edt_fsStep),
                       static_cast<QWidget*>(ui->btn_workMode), static_cast<QWidget*>(ui->btn_changeWorkMode)})
        w->setEnabled(enabled);
}

void MonitorModuleForm::getSetpoints(double& laserTempSet, double& laserElectricSet, double& airTempSet) const
{
    const auto valueOf = [](const QLineEdit* edit) {
        bool ok = false;
        const double v = edit->text().toDouble(&ok);
        return ok ? v : 0.0;
    };
    laserTempSet = valueOf(ui->edt_laserTempSet);
    laserElectricSet = valueOf(ui->edt_laserElectricSet);
    airTempSet = valueOf(ui->edt_airTempSet);
}

void MonitorModuleForm::clearReadings()
{
    for (QLineEdit* edit :
         {ui->edt_laserTemp, ui->edt_laserElectric, ui->edt_airTemp, ui->edt_pdValue, ui->edt_pdeValue})
        edit->setText(QStringLiteral("0"));
}

void MonitorModuleForm::resetForm()
{
    emit pm->sig_paramWorkerStop();
    clearReadings();
    for (QLineEdit* edit : {ui->edt_laserTempSet, ui->edt_laserElectricSet, ui->edt_airTempSet})
        edit->setText(QStringLiteral("0"));
    ui->edt_ddsFreq->setText(QStringLiteral("5000000"));
    ui->edt_fsStart->setText(QStringLiteral("300000000"));
    ui->edt_fsEnd->setText(QStringLiteral("400000000"));
    ui->edt_fsStep->setText(QStringLiteral("1000000"));
    ui->btn_workMode->setText(QStringLiteral("0"));
    refillSetpoints = true;
    showDdsFreq = false;
    setDebugControlsEnabled(false);
}

// ---- parameter block ----

void MonitorModuleForm::slots_updateFormParam(RefreshData refreshData)
{
    ui->edt_laserTemp->setText(readingText(refreshData.laserTemp));
    ui->edt_laserElectric->setText(readingText(std::fabs(refreshData.laserElectric)));
    ui->edt_airTemp->setText(readingText(refreshData.airTemp));
    ui->edt_pdValue->setText(readingText(refreshData.pdValue));
    if (refreshData.pdeValue > 0)
        ui->edt_pdeValue->setText(readingText(refreshData.pdeValue));

    GlobalState& state = GlobalState::instance();
    int code = -1;
    qint64 time = 0;
    bool pending = false;
    {
        QMutexLocker lock(&state.pendingStatusMutex);
        code = state.pendingStatusCode;
        time = state.pendingStatusTime;
        pending = state.hasPendingStatus;
    }
    if (pending) {
        const auto f5 = [](double v) { return QString::number(v, 'f', 5); };
        pm->saveCrashLog(MsgBatteryStateRead.arg(QString::number(code), f5(refreshData.laserTemp),
                                                 f5(std::fabs(refreshData.laserElectric)), f5(refreshData.airTemp),
                                                 f5(refreshData.pdValue), f5(refreshData.pdeValue)),
                         time);
        QMutexLocker lock(&state.pendingStatusMutex);
        state.hasPendingStatus = false;
        state.pendingStatusCode = -1;
        state.pendingStatusTime = 0;
    }

    // An edit the operator is still typing in keeps its text: the next
    // block shows the instrument's value once the edit is finished.
    if (showDdsFreq && !ui->edt_ddsFreq->isModified())
        ui->edt_ddsFreq->setText(QString::number(refreshData.ddsFreq));

    if (refillSetpoints) {
        const QPair<QLineEdit*, double> setpoints[] = {
            {ui->edt_laserTempSet, refreshData.laserTempSet},
            {ui->edt_airTempSet, refreshData.airTempSet},
            {ui->edt_laserElectricSet, refreshData.laserElectricSet},
        };
        for (const auto& s : setpoints)
            if (!s.first->isModified())
                s.first->setText(QString::number(s.second, 'f', 2));
        refillSetpoints = false;
    }
}

// ---- register writes ----

QLineEdit* MonitorModuleForm::beginEditWrite()
{
    auto* edit = qobject_cast<QLineEdit*>(sender());
    // Only text the operator changed is written: focus passing through a
    // guarded edit, or a second editingFinished, writes nothing.
    if (!edit || !edit->isModified())
        return nullptr;
    edit->setModified(false);

    pausePolling();
    wait(kSettleMs);
    return edit;
}

void MonitorModuleForm::slots_editingFinished()
{
    QLineEdit* edit = beginEditWrite();
    if (!edit)
        return;

    const SetpointRegisters* regs = nullptr;
    for (const SetpointRegisters& r : kSetpointRegisters)
        if (edit->objectName() == QLatin1String(r.editName))
            regs = &r;
    const QString text = edit->text();
    const double v = regs ? setpointValueOf(text) : 0.0;
    if (!regs || text.trimmed().isEmpty() || v <= 0) {
        qDebug() << "set-point" << edit->objectName() << "not written: no value above 0 in" << text;
        edit->setText(QStringLiteral("0"));
        wait(kSettleMs);
        resumePolling();
        return;
    }

    float value = 1.0f;
    if (v >= 1) {
        edit->setText(QStringLiteral("1"));
    } else {
        edit->setText(QString::number(v, 'g', 6));
        value = float(v);
    }
    const QByteArray frame = InstrumentFrames::writeFloat(regs->value, value);
    emit pm->sig_sendCustomModbusData(frame);
    qDebug() << "20251023 begin sendByte:" << frame.toHex().toUpper();
    wait(kApplyGapMs);

    const QByteArray apply = InstrumentFrames::writeSingleRegister(regs->apply, 1);
    emit pm->sig_sendCustomModbusData(apply);
    qDebug() << "20251023 begin sendSetByte:" << apply.toHex().toUpper();
    wait(kSettleMs);
    resumePolling();
}

void MonitorModuleForm::slots_ddsEditingFinished()
{
    QLineEdit* edit = beginEditWrite();
    if (!edit)
        return;

    qint64 value = 0;
    if (edit->text().trimmed().isEmpty()) {
        value = kDdsEmptyValue;
        edit->setText(QString::number(value));
    } else {
        value = ddsValueOf(edit->text());
        if (value < 1) {
            qDebug() << edit->objectName() << "not written: no value above 0 in" << edit->text();
            edit->setText(QStringLiteral("0"));
            wait(kSettleMs);
            resumePolling();
            return;
        }
        if (value >= kDdsMaxValue)
            value = kDdsMaxValue;
        edit->setText(QString::number(value));
    }

    int reg = -1;
    for (const DdsRegister& r : kDdsRegisters) {
        if (edit->objectName().contains(QLatin1String(r.editName))) {
            reg = r.reg;
            break;
        }
    }
    if (reg < 0)
        qDebug() << "no register for" << edit->objectName();
    else
        sendFrame(InstrumentFrames::writeUInt32(quint16(reg), quint32(value)));
    wait(kSettleMs);
    resumePolling();
}

void MonitorModuleForm::on_chk_debug_stateChanged(int arg1)
{
    const bool checked = arg1 == Qt::Checked;
    setDebugControlsEnabled(checked);
    pausePolling();
    wait(kStateSettleMs);
    sendFrame(InstrumentFrames::writeSingleRegister(kRegWorkState, checked ? kDebugOn : kDebugOff));
    wait(kStateSettleMs);
    resumePolling();
}

void MonitorModuleForm::on_btn_changeWorkState_clicked()
{
    uncheckDebug();
    pausePolling();
    clearReadings();
    wait(kStateSettleMs);
    const int i = workStateList.indexOf(ui->btn_workState->text());
    if (i < 0)
        qDebug() << "未找到该状态";
    else
        sendFrame(InstrumentFrames::writeSingleRegister(kRegWorkState, quint16(i + 1)));
    wait(kStateSettleMs);
    resumePolling();
}

void MonitorModuleForm::on_btn_changeWorkMode_clicked()
{
    pausePolling();
    wait(kStateSettleMs);
    const int i = workModeList.indexOf(ui->btn_workMode->text());
    if (i < 0) {
        qDebug() << "未找到该状态";
    } else {
        showDdsFreq = i == 1;
        sendFrame(InstrumentFrames::writeOneRegister(kRegWorkMode, quint16(i + 1)));
    }
    wait(kStateSettleMs);
    resumePolling();
}

// ---- language ----

void MonitorModuleForm::slot_setLanguage(int num)
{
    const LanguageTexts::Entry chinese[] = {
        {ui->label_4, "毫伏"},
        {ui->label_6, "毫伏"},
        {ui->label_8, "毫伏"},
        {ui->label_10, "毫伏"},
        {ui->label_5, "毫安"},
        {ui->label_9, "毫安"},
        {ui->label_11, "工作状态"},
        {ui->btn_changeWorkState, "更改"},
        {ui->btn_changeWorkMode, "更改"},
        {ui->chk_debug, "采样频率调试"},
        {ui->label_13, "频率"},
        {ui->label_14, "起始采样频率"},
        {ui->label_15, "终止采样频率"},
        {ui->label_16, "采样频率步长"},
        {ui->label_17, "工作模式"},
        {ui->label_18, "毫赫兹"},
        {ui->label_19, "毫赫兹"},
        {ui->label_20, "毫赫兹"},
        {ui->label_24, "毫赫兹"},
    };
    languageTexts.apply(num, chinese);
}
