#include "ui/pages/mainmoduleform.h"

#include "core/globalstate.h"
#include "core/myintvalidator.h"
#include "hub/parammanager.h"
#include "link/modbusworkthread.h"
#include "ui/pages/monitormoduleform.h"
#include "ui/widgets/cardgradient.h"
#include "ui/widgets/custommenu.h"
#include "ui/widgets/editclamp.h"
#include "ui/widgets/graphdensity.h"
#include "ui/widgets/noticebox.h"
#include "ui/widgets/qcpitemroundedrect.h"
#include "ui_mainmoduleform.h"

#include <qcustomplot.h>

#include <QAction>
#include <QDateTime>
#include <QDebug>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr int kRingCapacity = 256;
constexpr int kRefreshMs = 30;
constexpr int kConnectFollowUpMs = 200;
constexpr int kDefaultWindowSeconds = 10;

// Told to the operator when the identity block never came back.
const char kNoAnswerText[] = "设备无应答,连续10次读取设备信息均未收到回复,请检查设备和串口连接后重新选择串口!";

const char kPillButtonStyle[] =
    "QPushButton { border: none; border-radius: 22px;"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #8FA4B9, stop:1 #A4B7C8);"
    " font-family: MiSans; font-size: 18px; color: #FFFFFF; padding: 10px 20px; }"
    "QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #2A7ACD, stop:1 #4293E8); }"
    "QPushButton:pressed { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #0557AB, stop:1 #4293E8); }";

const char kPageStyle[] =
    "MainModuleForm { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #F9FAFC, stop:1 #DFEBF8); }";

const char kLabelStyle[] = "QLabel { font-family: MiSans; font-size: 16px; color: #77818E; }";

const char kTimeEditStyle[] =
    "QLineEdit { background-color: #FFFFFF; border-radius: 6px; border: 1px solid rgba(185,198,212,0.56);"
    " font-family: MiSans; font-size: 16px; color: #2B3B50; }";

const char kReadoutStyle[] =
    "QLineEdit { background-color: #FFFFFF; border-radius: 6px; border: 1px solid #E3EDF9;"
    " font-family: MiSans; font-size: 16px; color: #2B3B50; padding: 5px 10px; }";

QString lightStyle(const QString& image)
{
    return QStringLiteral("QFrame#frameStatus { border: none; background-image: url(%1);"
                          " background-repeat: no-repeat; background-position: center; }")
        .arg(image);
}

} // namespace

MainModuleForm::MainModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), paramManager(paramManager), ring(kRingCapacity)
{
    ui = new Ui_MainModuleForm;
    ui->setupUi(this);
    initChart();
    initComMenu();
    initSetTimeEdit();
    initRefreshTimer();
    identityTimer = new QTimer(this);
    identityTimer->setInterval(kIdentityRetryMs);
    connect(identityTimer, &QTimer::timeout, this, &MainModuleForm::onIdentityRetry);
    setStatusLight(false);
    ui->btn_ddsReTrack->setVisible(paramManager->isFSMode == 1);
    ui->btn_mock->setVisible(paramManager->isMockData == 1);
    ui->btn_ReStart->setText(QStringLiteral("Restart"));
    ui->btn_ddsReTrack->setText(QStringLiteral("Retrack"));
    initStyle();
}

MainModuleForm::~MainModuleForm()
{
    delete ui;
}

QCPGraph* MainModuleForm::chartGraph() const
{
    return graph.data();
}

void MainModuleForm::setClock(Clock c)
{
    clock = std::move(c);
}

qint64 MainModuleForm::nowSecs() const
{
    return clock ? clock() : QDateTime::currentSecsSinceEpoch();
}

bool MainModuleForm::isComButtonEnabled() const
{
    return ui->btn_com->isEnabledTo(this);
}

void MainModuleForm::resizeEvent(QResizeEvent*)
{
}

// ---- construction ----

void MainModuleForm::initStyle()
{
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QLatin1String(kPageStyle));
    for (QPushButton* button : {ui->btn_ReStart, ui->btn_ddsReTrack, ui->btn_pause})
        button->setStyleSheet(QLatin1String(kPillButtonStyle));
    for (QLabel* label : {ui->label_3, ui->label_4, ui->label_5, ui->label_6, ui->label_7})
        label->setStyleSheet(QLatin1String(kLabelStyle));
    ui->edt_setTime->setStyleSheet(QLatin1String(kTimeEditStyle));
    for (QLineEdit* edit : {ui->edt_samples, ui->edt_mear, ui->edt_svg})
        edit->setStyleSheet(QLatin1String(kReadoutStyle));
}

void MainModuleForm::setStatusLight(bool ok)
{
    ui->frameStatus->setStyleSheet(lightStyle(ok ? QStringLiteral(":/greenlight.png")
                                                  : QStringLiteral(":/yellowlight.png")));
}

void MainModuleForm::initChart()
{
    chart = ui->mainChart;
    graph = chart->addGraph(chart->xAxis, chart->yAxis);
    graph->setPen(QPen(QBrush(QColor(QStringLiteral("#1667BA"))), 0.5, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));

    struct Badge {
        QCPItemText** text;
        double left, top, right, bottom;
        const char* initial;
    };
    const Badge badges[] = {
        {&maxText, 0.005, 0.005, 0.08, 0.07, "35186.7"},
        {&minText, 0.005, 0.93, 0.08, 0.995, "35138.7"},
        {&lastText, 0.917, 0.005, 0.998, 0.07, "35179.26"},
    };
    for (const Badge& b : badges) {
        auto* rect = new QCPItemRoundedRect(chart);
        rect->topLeft->setType(QCPItemPosition::ptAxisRectRatio);
        rect->bottomRight->setType(QCPItemPosition::ptAxisRectRatio);
        rect->topLeft->setCoords(b.left, b.top);
        rect->bottomRight->setCoords(b.right, b.bottom);
        rect->setBrush(QBrush(QColor(QStringLiteral("#2C7ED3")), Qt::SolidPattern));
        rect->setPen(Qt::NoPen);
        rect->setLayer(QStringLiteral("background"));

        auto* text = new QCPItemText(chart);
        text->setFont(QFont(QStringLiteral("MiSans"), 16, QFont::Normal));
        text->setColor(Qt::white);
        text->setPositionAlignment(Qt::AlignCenter);
        text->position->setType(QCPItemPosition::ptAxisRectRatio);
        text->position->setParentAnchor(rect->topLeft);
        text->position->setCoords((b.right - b.left) / 2.0, (b.bottom - b.top) / 2.0);
        text->setLayer(QStringLiteral("overlay"));
        text->setText(QLatin1String(b.initial));
        *b.text = text;
    }
    maxText->setTextAlignment(Qt::AlignCenter);

    chart->xAxis->grid()->setVisible(false);
    chart->yAxis->grid()->setVisible(false);
    chart->setBackground(cardGradient());
    chart->axisRect()->setBackground(Qt::transparent);

    for (QCPAxis* axis : {chart->xAxis, chart->yAxis}) {
        axis->setVisible(false);
        axis->setTicks(false);
        axis->setTickLabels(false);
        axis->setBasePen(QPen(Qt::white));
        axis->setTickPen(QPen(Qt::white));
        axis->setTickLabelColor(Qt::white);
    }
    chart->xAxis->setRange(0, ui->edt_setTime->text().toInt());
}

void MainModuleForm::initComMenu()
{
    comMenu = new CustomMenu(this);
    comMenu->setAttribute(Qt::WA_TranslucentBackground);
    comMenu->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    if (auto* layout = qobject_cast<QVBoxLayout*>(comMenu->layout())) {
        layout->setContentsMargins(6, 6, 6, 6);
        layout->setSpacing(0);
    }
    comMenu->setFixedWidth(180);
    refreshComMenu();
}

void MainModuleForm::initSetTimeEdit()
{
    ui->edt_setTime->setValidator(paramManager->getIntValidator());
    connect(ui->edt_setTime, &QLineEdit::editingFinished, this, &MainModuleForm::slots_lineEditIsOK);
}

void MainModuleForm::initRefreshTimer()
{
    refreshTimer = new QTimer(this);
    refreshTimer->setInterval(kRefreshMs);
    connect(refreshTimer, &QTimer::timeout, this, &MainModuleForm::refreshPlot);
    refreshTimer->start();
}

// ---- port selector ----

void MainModuleForm::refreshComMenu()
{
    qDebug() << "enter load Com";
    QStringList entries = paramManager->availablePortNames();
    entries << QStringLiteral("刷新");
    comMenu->clearActions();
    for (const QString& entry : qAsConst(entries))
        comMenu->addAction(entry, QVariant());
    comMenu->setFixedWidth(ui->btn_com->width());
    if (comMenuFirstBuild) {
        comMenuFirstBuild = false;
        connect(comMenu, &CustomMenu::triggered, this, &MainModuleForm::slot_handleActionTriggered);
        connect(ui->btn_com, &QPushButton::clicked, ui->btn_com, [this]() { onComButtonClicked(); },
                Qt::DirectConnection);
    }
}

void MainModuleForm::onComButtonClicked()
{
    comMenu->adjustSize();
    comMenu->move(ui->btn_com->mapToGlobal(QPoint(0, 0)) + QPoint(0, ui->btn_com->height()));
    comMenu->show();
}

void MainModuleForm::slot_handleActionTriggered(QString text, QVariant)
{
    if (text.startsWith(QLatin1String("COM")) || text.startsWith(QLatin1String("tty"))) {
        chosenPort = text;
        ui->btn_com->setText(text);
        emit paramManager->getModbusWorkThread()->sig_connectDevice(text, paramManager->baudRate);
    } else {
        refreshComMenu();
    }
}

void MainModuleForm::slot_handleComAction()
{
    auto* action = qobject_cast<QAction*>(sender());
    if (action)
        slot_handleActionTriggered(action->text(), QVariant());
}

void MainModuleForm::updateComText()
{
    if (!chosenPort.isEmpty())
        ui->btn_com->setText(chosenPort);
    else
        ui->btn_com->setText(chinese ? QStringLiteral("选择") : QStringLiteral("select"));
}

// ---- connection sequence ----

void MainModuleForm::slots_connected()
{
    // A port opened again starts its own count.
    stopIdentityRetries();
    // The status poll waits for the serial number. One already running (a
    // visit to this page before the port opened starts it) would let a
    // status of 4 start the stream while the identity block is still being
    // asked for, and that request takes the port's reader from the stream:
    // frames then arrive as broken identity or status replies for good.
    identityPending = true;
    emit paramManager->sig_devStatusWorkerStop();
    paramManager->readParamsNow();
    QTimer::singleShot(kConnectFollowUpMs, this, [this]() { onConnectedDelayed(); });
}

void MainModuleForm::onConnectedDelayed()
{
    double vcsel = 0.0;
    double vcselDefault = 0.0;
    double vaporCell = 0.0;
    if (monitorForm)
        monitorForm->getSetpoints(vcsel, vcselDefault, vaporCell);
    connectTime = nowSecs();
    paramManager->saveCrashLog(MsgConnectComSuccess.arg(QString::number(vcsel, 'f', 4),
                                                        QString::number(vcselDefault, 'f', 4),
                                                        QString::number(vaporCell, 'f', 4)),
                               connectTime);
    qDebug() << "is enter here 20260409";
    emit paramManager->sig_sendModbusData(Addr40000);
    // One lost or broken reply must not leave the port open with nothing
    // polled: ask again until the serial number comes.
    identityRetries = 0;
    identityTimer->start();
}

void MainModuleForm::onIdentityRetry()
{
    const QString port = chosenPort.isEmpty() ? QString() : QStringLiteral(" on ") + chosenPort;
    if (identityRetries >= kIdentityRetries) {
        identityTimer->stop();
        paramManager->log(QStringLiteral("Instrument does not answer%1: no identity block after %2 repeated requests")
                              .arg(port)
                              .arg(kIdentityRetries));
        showInfoBox(QString::fromUtf8(kNoAnswerText));
        return;
    }
    ++identityRetries;
    paramManager->log(QStringLiteral("No serial number yet%1: identity block requested again (try %2 of %3)")
                          .arg(port)
                          .arg(identityRetries)
                          .arg(kIdentityRetries));
    emit paramManager->sig_sendModbusData(Addr40000);
}

void MainModuleForm::stopIdentityRetries()
{
    identityTimer->stop();
    identityRetries = 0;
}

void MainModuleForm::slots_updateSerialNumber(QString serialNumber)
{
    if (identityRetries > 0)
        paramManager->log(QStringLiteral("Serial number %1 received after %2 repeated identity requests")
                              .arg(serialNumber)
                              .arg(identityRetries));
    stopIdentityRetries();
    identityPending = false;
    updateProgress(1);
    ui->edt_devName->setText(QStringLiteral("TVK-") + serialNumber);
    ui->btn_com->setEnabled(false);
    // Not while the stream runs (an identity request at close): the status
    // request would take the port's reader from the stream.
    if (paramManager->isRunning() && paramManager->isParamPollingHeld())
        return;
    emit paramManager->sig_devStatusWorkerStart();
}

// ---- progress and signal light ----

void MainModuleForm::updateProgress(int s)
{
    GlobalState& state = GlobalState::instance();
    if (unsigned(s) > 4u) {
        qDebug() << "light Status wrong:" << s;
        QMutexLocker lock(&state.statusValidMutex);
        state.statusValid = false;
        return;
    }
    {
        QMutexLocker lock(&state.statusValidMutex);
        state.statusValid = true;
    }
    state.setWorkStatus(s);
    if (progressIcons.isEmpty()) {
        for (int i = 0; i <= 4; ++i)
            progressIcons.append(QPixmap(QStringLiteral(":/battery%1.png").arg(i)));
    }
    ui->lableBattery->setPixmap(progressIcons.at(s).scaled(ui->lableBattery->size(), Qt::IgnoreAspectRatio,
                                                           Qt::SmoothTransformation));
    const qint64 now = nowSecs();
    if (s != 4) {
        paramManager->saveCrashLog(MsgBatteryState + QString::number(s), now);
        if (lastProgressState == 4)
            connectTime = now;
    } else if (lastProgressState != 4) {
        paramManager->saveCrashLog(MsgBatteryState + QStringLiteral("4") + QStringLiteral("  ConnectTime:") +
                                       QString::number(now - connectTime),
                                   now);
    }
    lastProgressState = s;
}

void MainModuleForm::slots_updateProgress(int iStatus)
{
    updateProgress(iStatus);
    if (iStatus == 4) {
        emit paramManager->sig_devStatusWorkerStop();
        paramManager->setRunning(true);
        // Not under the service or configuration page's parameter polling:
        // entering a live page starts the stream.
        if (paramPageShown)
            return;
        // a short gap between the last status reply and the stream start
        QThread::msleep(30);
        startWork();
    }
}

void MainModuleForm::slots_updateProgressEx(int iStatus)
{
    updateProgress(iStatus);
}

void MainModuleForm::slots_updateSignalStrength(int signalStrength)
{
    static const char* const lights[] = {":/redlight.png", ":/yellowlight.png", ":/yellowlight1.png",
                                         ":/greenlight.png", ":/greenlight1.png"};
    if (unsigned(signalStrength) > 4u)
        return;
    ui->frameStatus->setStyleSheet(lightStyle(QLatin1String(lights[signalStrength])));
}

// ---- stream and status poll ----

void MainModuleForm::startWork()
{
    if (!paramManager->isRunning()) {
        // While a port waits for its serial number, the serial number starts
        // the poll (see slots_connected).
        if (!identityPending)
            emit paramManager->sig_devStatusWorkerStart();
    } else if (!paramManager->isParamPollingHeld()) {
        emit paramManager->sig_sendModbusData(Addrdds_start);
        paramManager->setParamPollingHeld(true);
    }
}

void MainModuleForm::stopWork()
{
    if (paramManager->isRunning())
        emit paramManager->sig_sendModbusData(Addrdds_end);
    else
        emit paramManager->sig_devStatusWorkerStop();
}

// ---- device control ----

void MainModuleForm::showInfoBox(const QString& text)
{
    openInfoBox(text, windowIcon());
}

void MainModuleForm::on_btn_ReStart_clicked()
{
    if (paramManager->isSave()) {
        showInfoBox(QStringLiteral("保存磁场信息中,要重启,请先停止保存!"));
        return;
    }
    updateProgress(1);
    paramManager->setRunning(false);
    paramManager->setParamPollingHeld(false);
    emit paramManager->sig_sendModbusData(Addr40118_restart);
    QThread::msleep(500);
    emit paramManager->sig_devStatusWorkerStart();
    clearPlot();
}

void MainModuleForm::on_btn_ddsReTrack_clicked()
{
    if (paramManager->isSave()) {
        showInfoBox(QStringLiteral("保存磁场信息中,要重新追踪,请先停止保存!"));
        return;
    }
    updateProgress(3);
    paramManager->setRunning(false);
    paramManager->setParamPollingHeld(false);
    emit paramManager->sig_sendModbusData(Addr40118_retrack);
    QThread::msleep(500);
    emit paramManager->sig_devStatusWorkerStart();
    clearPlot();
}

void MainModuleForm::updatePauseText()
{
    if (chinese)
        ui->btn_pause->setText(paused ? QStringLiteral("恢复") : QStringLiteral("暂停"));
    else
        ui->btn_pause->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
}

void MainModuleForm::on_btn_pause_clicked()
{
    paused = !paused;
    updatePauseText();
    paramManager->setPaused(paused);
    ring.clear();
}

void MainModuleForm::on_btn_mock_clicked()
{
    paramManager->setRunning(true);
    paramManager->startMockData(paramManager->samplingRate == 20 ? 1 : 50);
}

void MainModuleForm::resetForm()
{
    stopIdentityRetries();
    identityPending = false;
    stopWork();
    clearPlot();
    refreshComMenu();
    emit paramManager->sig_sendModbusData(Addr40118_restart);

    ui->edt_setTime->setText(QString::number(kDefaultWindowSeconds));
    // The point count follows the hub's window, so it goes back to 10 s too.
    DataParam param = paramManager->dataParam;
    param.setTime = kDefaultWindowSeconds;
    paramManager->dataParam = param;
    emit paramManager->sig_syncDataParam(param);

    ui->edt_samples->setText(QStringLiteral("0"));
    ui->edt_mear->setText(QStringLiteral("0"));
    ui->edt_svg->setText(QStringLiteral("0"));
    chosenPort.clear();
    updateComText();
    ui->btn_com->setEnabled(true);
    ui->edt_devName->clear();

    paused = false;
    updatePauseText();
    paramManager->setPaused(false);

    updateProgress(0);
    QTimer::singleShot(500, this, [this]() { updateProgress(0); });
    QTimer::singleShot(1500, this, [this]() { updateProgress(0); });
}

// ---- language ----

void MainModuleForm::slot_setLanguage(int num)
{
    // Widgets whose text does not depend on the page's state; each page
    // keeps its own.
    const LanguageTexts::Entry chineseTexts[] = {
        {ui->btn_ReStart, "重启"}, {ui->btn_ddsReTrack, "重新追踪"}, {ui->btn_mock, "墨客"},  {ui->label_3, "图表"},
        {ui->label_4, "秒"},       {ui->label_5, "采样数"},          {ui->label_6, "测量值"},
    };
    chinese = (num == 1);
    languageTexts.apply(num, chineseTexts);
    // A chosen port and the pause state survive a language switch.
    updateComText();
    updatePauseText();
}

// ---- live chart ----

void MainModuleForm::slots_updateForm(QVector<double> datas)
{
    if (paramManager->isRunning())
        ring.push(datas);
}

void MainModuleForm::slots_lineEditIsOK()
{
    DataParam param = paramManager->dataParam;
    auto* edit = qobject_cast<QLineEdit*>(sender());
    if (edit && edit->objectName().contains(QLatin1String("edt_setTime"))) {
        param.setTime = clampEditText(edit, 1, 1000);
    }
    paramManager->dataParam = param;
    emit paramManager->sig_syncDataParam(param);
}

int MainModuleForm::windowSize(const DataParam& param)
{
    const double n = double(param.setTime) / param.dataRate;
    const bool valid = param.dataRate > 0.0 && std::isfinite(param.dataRate) && n >= 1.0;
    // Said once per bad window, not at every refresh.
    if (!valid && (param.setTime != badSetTime || param.dataRate != badDataRate)) {
        qDebug() << "main chart: no window for" << param.setTime << "s at" << param.dataRate
                 << "s per sample; the chart stays empty";
        badSetTime = param.setTime;
        badDataRate = param.dataRate;
    }
    if (!valid)
        return 0;
    return n >= double(INT_MAX) ? INT_MAX : int(n);
}

void MainModuleForm::refreshPlot()
{
    if (ring.isEmpty())
        return;
    const QVector<double> batch = ring.pop();
    history += batch;
    if (!batch.isEmpty())
        lastValue = batch.last();

    const DataParam param = paramManager->dataParam;
    const int n = windowSize(param);
    if (history.size() > n)
        history.remove(0, history.size() - n);

    if (paramManager->isPaused() || !plotEnabled)
        return;
    // Nothing to take a maximum, minimum or newest value of: the readouts
    // keep what they show.
    if (history.isEmpty())
        return;

    const QVector<double>& historyKeys = keys.forSamples(history.size(), param.dataRate);
    // The keys ascend by construction: no sort needed.
    if (graph)
        graph->setData(historyKeys, history, true);

    const auto range = std::minmax_element(history.constBegin(), history.constEnd());
    const double maxValue = *range.second;
    const double minValue = *range.first;

    ui->edt_samples->setText(QString::number(n));
    ui->edt_mear->setText(QString::number(lastValue, 'f', 2));
    // Rounded as a double: a replay file may hold values whose spread no
    // int can take.
    ui->edt_svg->setText(QString::number(std::round(maxValue - minValue), 'f', 0));

    maxText->setText(QString::number(maxValue, 'g', 6));
    minText->setText(QString::number(minValue, 'g', 6));
    lastText->setText(QString::number(lastValue, 'f', 2));

    // A flat window has no spread; the chart would keep its old range.
    const double pad = maxValue > minValue ? (maxValue - minValue) / 10.0 : 1.0;
    chart->yAxis->setRange(minValue - pad, maxValue + pad);
    chart->xAxis->setRange(0, ui->edt_setTime->text().toInt());
    GraphDensity::antialiasUnlessThinned(graph);
    chart->replot(QCustomPlot::rpQueuedReplot);
}

void MainModuleForm::clearPlot()
{
    history.clear();
    ring.clear();
    if (graph)
        graph->data()->clear();
    maxText->setText(QString());
    minText->setText(QString());
    lastText->setText(QString());
    chart->replot(QCustomPlot::rpRefreshHint);
}

QString MainModuleForm::maxBadgeText() const
{
    return maxText->text();
}

QString MainModuleForm::minBadgeText() const
{
    return minText->text();
}

QString MainModuleForm::lastBadgeText() const
{
    return lastText->text();
}
