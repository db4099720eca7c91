#include "ui/pages/configmoduleform.h"

#include "core/myintvalidator.h"
#include "core/textini.h"
#include "hub/parammanager.h"
#include "link/instrumentframes.h"
#include "ui/widgets/custommenu.h"
#include "ui_configmoduleform.h"

#include <QAction>
#include <QCheckBox>
#include <QDebug>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

namespace
{

// Sweep registers: two each, the 32-bit value in mHz low word first.
constexpr quint16 kRegFsStart = 40064;
constexpr quint16 kRegFsEnd = 40066;
constexpr quint16 kRegFsStep = 40068;
// One register each.
constexpr quint16 kRegBaudRate = 40083;     // baud rate / 100
constexpr quint16 kRegDataInterval = 40085; // 10 or 20

constexpr quint32 kSweepEmpty = 20000000; // an emptied edit writes this
constexpr quint32 kSweepMax = 1400000000; // larger values are clamped to it
constexpr int kSweepMaxDigits = 10;       // longer texts count as the maximum

const char kMenuKeyBaudRate[] = "raudRate";
const char kMenuKeySamplingRate[] = "samplingRate";
const char kMenuKeyDataInterval[] = "dataInterval";

const char kLabelStyle[] = "QLabel { font-family: MiSans; font-size: 18px; color: #2B3B50; background: transparent; }";
const char kEditStyle[] = "QLineEdit { background: transparent; border: 1px solid #D3DCE5; border-radius: 6px;"
                          " font-family: MiSans; font-size: 18px; color: #2B3B50; padding: 0px 10px; }"
                          "QLineEdit:focus { border: 1px solid #2C7ED3; }";
const char kSelectorStyle[] =
    "QPushButton { background: transparent; border: 1px solid #D3DCE5; border-radius: 6px;"
    " font-family: MiSans; font-size: 18px; color: #2B3B50; padding: 0px 12px; text-align: left;"
    " image: url(:/arrow_down.png); image-position: right; }"
    "QPushButton:hover { border: 1px solid #B9C6D4; background: rgba(255,255,255,0.6); }"
    "QPushButton:disabled { color: #A3ADB9; background: rgba(211,220,229,0.35); }";
const char kChangeStyle[] =
    "QPushButton { border: none; border-radius: 22px;"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #8FA4B9, stop:1 #A4B7C8);"
    " font-family: MiSans; font-size: 18px; color: #FFFFFF; }"
    "QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #2A7ACD, stop:1 #4293E8); }"
    "QPushButton:pressed { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #0557AB, stop:1 #4293E8); }"
    "QPushButton:disabled { background: #D3DCE5; color: #F4F7FA; }";
const char kCheckStyle[] =
    "QCheckBox { font-family: MiSans; font-size: 18px; color: #77818E; background: transparent; spacing: 10px; }"
    "QCheckBox:disabled { color: #B4BCC6; }"
    "QCheckBox::indicator { width: 24px; height: 24px; }"
    "QCheckBox::indicator:unchecked { image: url(:/ConfigCheckBoxNormal.png); }"
    "QCheckBox::indicator:checked { image: url(:/ConfigCheckBoxCheck.png); }";
const char kFrameStyle[] = "QFrame#frame_3 { border: none; border-radius: 10px;"
                           " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #FFFFFF, stop:1 #EDF6FF); }";
const char kPageStyle[] =
    "ConfigModuleForm { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #F9FAFC, stop:1 #DFEBF8); }";

// The value a sweep edit stands for, and the text it is to show; false when
// nothing is to be written (the edit then shows "0").
bool sweepValueOf(const QString& text, quint32* value, QString* shown)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        *value = kSweepEmpty;
        *shown = QString::number(kSweepEmpty);
        return true;
    }
    // Leading zeros say nothing about the size: "000000000500" is 500.
    int firstNonZero = 0;
    while (firstNonZero < trimmed.size() - 1 && trimmed.at(firstNonZero) == QLatin1Char('0'))
        ++firstNonZero;
    const QString digits = trimmed.mid(firstNonZero);
    if (digits.size() > kSweepMaxDigits) {
        *value = kSweepMax;
        *shown = QString::number(kSweepMax);
        return true;
    }
    bool ok = false;
    const int v = digits.toInt(&ok, 10);
    if (!ok || v < 1) {
        *shown = QStringLiteral("0");
        return false;
    }
    *value = quint32(v) >= kSweepMax ? kSweepMax : quint32(v);
    *shown = QString::number(*value);
    return true;
}

} // namespace

ConfigModuleForm::ConfigModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), ui(new Ui_ConfigModuleForm), pm(paramManager)
{
    firstParamUpdate = true;
    ui->setupUi(this);
    initMenus();
    for (QLineEdit* e : {ui->edt_fsStart, ui->edt_fsEnd, ui->edt_fsStep}) {
        e->setValidator(pm->getIntValidator());
        connect(e, &QLineEdit::editingFinished, this, &ConfigModuleForm::slots_editingFinished);
    }
    ui->label_26->hide();
    ui->btn_dataInterval->hide();
    ui->btn_changeDataInterval->hide();
    initStyle();
}

ConfigModuleForm::~ConfigModuleForm()
{
    delete ui;
}

// ---------------------------------------------------------------- polling and filter state

void ConfigModuleForm::startParamPolling()
{
    pm->setParamPollingHeld(false);
    emit pm->sig_paramWorkerStart();
}

void ConfigModuleForm::stopParamPolling()
{
    emit pm->sig_paramWorkerStop();
}

void ConfigModuleForm::setFilterState(bool checked, bool visible)
{
    ui->chk_filter->setChecked(checked);
    if (!visible)
        ui->chk_filter->hide();
}

bool ConfigModuleForm::isFilterChecked() const
{
    return ui->chk_filter->isChecked();
}

bool ConfigModuleForm::isFilterVisible() const
{
    return !ui->chk_filter->isHidden();
}

// ---------------------------------------------------------------- selectors

void ConfigModuleForm::initMenus()
{
    ui->btn_baudRate->setText(QString::number(pm->baudRate));
    ui->btn_samplingRate->setText(QString::number(pm->samplingRate));

    struct Selector {
        CustomMenu** menu;
        QStringList* list;
        QStringList entries;
        const char* styleName;
        const char* key;
        QPushButton* button;
        void (ConfigModuleForm::*show)();
    };
    const Selector selectors[] = {
        {&baudRateMenu,
         &baudRateList,
         {QStringLiteral("115200"), QStringLiteral("921600")},
         "menu3",
         kMenuKeyBaudRate,
         ui->btn_baudRate,
         &ConfigModuleForm::showBaudRateMenu},
        {&samplingRateMenu,
         &samplingRateList,
         {QStringLiteral("20"), QStringLiteral("1000")},
         "menu2",
         kMenuKeySamplingRate,
         ui->btn_samplingRate,
         &ConfigModuleForm::showSamplingRateMenu},
        {&dataIntervalMenu,
         &dataIntervalList,
         {QStringLiteral("10"), QStringLiteral("20")},
         "menu",
         kMenuKeyDataInterval,
         ui->btn_dataInterval,
         &ConfigModuleForm::showDataIntervalMenu},
    };
    for (const Selector& s : selectors) {
        auto* menu =
            CustomMenu::createSelector(this, s.entries, QString::fromLatin1(s.key), QLatin1String(s.styleName));
        *s.menu = menu;
        *s.list = s.entries;
        connect(menu, &CustomMenu::triggered, this, &ConfigModuleForm::slot_handleActionTriggeredNew);
        const auto show = s.show;
        connect(s.button, &QPushButton::clicked, s.button, [this, show] { (this->*show)(); });
    }
    baudRateMenu->setFixedWidth(ui->btn_baudRate->width());
    samplingRateMenu->setFixedWidth(ui->btn_samplingRate->width());
    dataIntervalMenu->setFixedWidth(ui->btn_dataInterval->width());
}

void ConfigModuleForm::showBaudRateMenu()
{
    baudRateMenu->showBelow(ui->btn_baudRate);
}

void ConfigModuleForm::showSamplingRateMenu()
{
    samplingRateMenu->showBelow(ui->btn_samplingRate);
}

void ConfigModuleForm::showDataIntervalMenu()
{
    dataIntervalMenu->showBelow(ui->btn_dataInterval);
}

void ConfigModuleForm::slot_handleActionTriggeredNew(QString text, QVariant data)
{
    // A choice only changes the selector's text; the row's Change writes it.
    const QString key = data.toString();
    if (key == QLatin1String(kMenuKeyBaudRate))
        ui->btn_baudRate->setText(text);
    else if (key == QLatin1String(kMenuKeySamplingRate))
        ui->btn_samplingRate->setText(text);
    else if (key == QLatin1String(kMenuKeyDataInterval))
        ui->btn_dataInterval->setText(text);
}

void ConfigModuleForm::slot_handleActionTriggered()
{
    auto* action = qobject_cast<QAction*>(sender());
    if (action)
        slot_handleActionTriggeredNew(action->text(), action->property("name"));
}

// ---------------------------------------------------------------- sweep edits

void ConfigModuleForm::slots_editingFinished()
{
    auto* edit = qobject_cast<QLineEdit*>(sender());
    if (!edit)
        return;
    quint32 value = 0;
    QString shown;
    const bool send = sweepValueOf(edit->text(), &value, &shown);
    edit->setText(shown);
    if (!send)
        return;

    const QString name = edit->objectName();
    quint16 reg = 0;
    if (name.contains(QLatin1String("edt_fsStart")))
        reg = kRegFsStart;
    else if (name.contains(QLatin1String("edt_fsEnd")))
        reg = kRegFsEnd;
    else if (name.contains(QLatin1String("edt_fsStep")))
        reg = kRegFsStep;
    else
        return;
    emit pm->sig_sendCustomModbusData(InstrumentFrames::writeUInt32(reg, value));
}

// ---------------------------------------------------------------- Change buttons

void ConfigModuleForm::on_btn_changeBaudRate_clicked()
{
    const int index = baudRateList.indexOf(ui->btn_baudRate->text());
    if (index < 0) {
        qDebug() << "未找到该状态";
        return;
    }
    pm->baudRate = index == 0 ? 115200 : 921600;

    // The open port keeps its speed; the next connection uses the new one.
    QSettings settings(pm->iniPath, TextIni::format());
    settings.beginGroup(QStringLiteral("Com"));
    settings.setValue(QStringLiteral("baudRate"), pm->baudRate);
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        pm->log(QStringLiteral("cannot write baudRate to ") + pm->iniPath);

    emit pm->sig_sendCustomModbusData(InstrumentFrames::writeOneRegister(kRegBaudRate, quint16(pm->baudRate / 100)));
}

void ConfigModuleForm::on_btn_changeSamplingRate_clicked()
{
    const int index = samplingRateList.indexOf(ui->btn_samplingRate->text());
    if (index < 0) {
        qDebug() << "未找到该状态";
        return;
    }
    // At 20 samples per second the data handler averages; it does not filter.
    if (index == 0) {
        pm->samplingRate = 20;
        ui->chk_filter->setEnabled(false);
    } else {
        pm->samplingRate = 1000;
        ui->chk_filter->setEnabled(true);
    }
    emit pm->sig_changeSamplingRate(pm->samplingRate, true);
}

void ConfigModuleForm::on_btn_changeDataInterval_clicked()
{
    const int index = dataIntervalList.indexOf(ui->btn_dataInterval->text());
    if (index < 0) {
        qDebug() << "未找到该状态";
        return;
    }
    emit pm->sig_sendCustomModbusData(InstrumentFrames::writeOneRegister(kRegDataInterval, index == 0 ? 10 : 20));
}

void ConfigModuleForm::on_chk_filter_stateChanged(int arg1)
{
    const bool checked = arg1 == Qt::Checked;
    emit pm->sig_setFilterEnabled(checked);
    // The sampling rate can be changed only with filtering off.
    ui->btn_changeSamplingRate->setEnabled(!checked);
    ui->btn_samplingRate->setEnabled(!checked);
}

// ---------------------------------------------------------------- instrument replies

void ConfigModuleForm::slots_updateFormParam(RefreshDataEx refreshDataEx)
{
    if (!firstParamUpdate)
        return;
    // Registers hold unsigned values; a start above 2^31 mHz must not show negative.
    ui->edt_fsStart->setText(QString::number(quint32(refreshDataEx.fsStart)));
    ui->edt_fsEnd->setText(QString::number(quint32(refreshDataEx.fsEnd)));
    ui->edt_fsStep->setText(QString::number(quint32(refreshDataEx.fsStep)));
    firstParamUpdate = false;
}

void ConfigModuleForm::slots_updateSamplingRate(int iSamplingRate)
{
    ui->btn_samplingRate->setText(QString::number(iSamplingRate));
    ui->chk_filter->setEnabled(iSamplingRate != 20);
    qDebug() << "reported samplingRate:" << iSamplingRate;
    emit pm->sig_changeSamplingRate(pm->samplingRate, true);
}

// ---------------------------------------------------------------- language and style

void ConfigModuleForm::slot_setLanguage(int num)
{
    const LanguageTexts::Entry chinese[] = {
        {ui->label_14, "起始采样频率"},
        {ui->label_15, "终止采样频率"},
        {ui->label_16, "采样频率步长"},
        {ui->label_19, "毫赫兹"},
        {ui->label_20, "毫赫兹"},
        {ui->label_24, "毫赫兹"},
        {ui->label_27, "波特率"},
        {ui->label_28, "采样率"},
        {ui->label_26, "数据间隔"},
        {ui->btn_changeBaudRate, "更改"},
        {ui->btn_changeSamplingRate, "更改"},
        {ui->btn_changeDataInterval, "更改"},
        {ui->chk_filter, "启用滤波"},
    };
    languageTexts.apply(num, chinese);
}

void ConfigModuleForm::initStyle()
{
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QLatin1String(kPageStyle));
    ui->frame_3->setStyleSheet(QLatin1String(kFrameStyle));
    auto* shadow = new QGraphicsDropShadowEffect(ui->frame_3);
    shadow->setBlurRadius(16);
    shadow->setColor(QColor(185, 204, 225, 168));
    shadow->setOffset(0, 9);
    ui->frame_3->setGraphicsEffect(shadow);

    // The row labels and the "mHz" units alike.
    for (QLabel* l : {ui->label_14, ui->label_15, ui->label_16, ui->label_19, ui->label_20, ui->label_24, ui->label_27,
                      ui->label_28, ui->label_26})
        l->setStyleSheet(QLatin1String(kLabelStyle));
    for (QLineEdit* e : {ui->edt_fsStart, ui->edt_fsEnd, ui->edt_fsStep})
        e->setStyleSheet(QLatin1String(kEditStyle));
    for (QPushButton* b : {ui->btn_baudRate, ui->btn_samplingRate, ui->btn_dataInterval})
        b->setStyleSheet(QLatin1String(kSelectorStyle));
    for (QPushButton* b : {ui->btn_changeBaudRate, ui->btn_changeSamplingRate, ui->btn_changeDataInterval})
        b->setStyleSheet(QLatin1String(kChangeStyle));
    ui->chk_filter->setStyleSheet(QLatin1String(kCheckStyle));
}
