// MainWindow's bottom bar: the filter and FFT-window edits, the output
// data-rate menu and the sampling-rate change it starts.
#include "ui/main/mainwindow.h"

// mainmoduleform.h reads a QPointer<QCPGraph> inline; the type must be complete.
#include <qcustomplot.h>

#include "core/myintvalidator.h"
#include "hub/parammanager.h"
#include "link/instrumentframes.h"
#include "ui/pages/configmoduleform.h"
#include "ui/pages/mainmoduleform.h"
#include "ui/pages/monitormoduleform.h"
#include "ui/pages/sensitivitymoduleform.h"
#include "ui/widgets/editclamp.h"
#include "ui/widgets/roundedmenu.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QDebug>
#include <QLineEdit>
#include <QMouseEvent>
#include <QThread>

namespace
{

constexpr quint16 kRegSamplingRate = 40086; // the instrument's own rate

} // namespace

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

    // Register 40086 holds the instrument's rate; at 1 and 20 samples per
    // second it runs at 1000 and the data handler averages down.
    int registerValue = -1;
    switch (rate) {
    case 1:
    case 20:
    case 1000:
        registerValue = 1000;
        break;
    case 10:
    case 200:
    case 500:
        registerValue = rate;
        break;
    default:
        break;
    }
    if (registerValue < 0) {
        // No register value and no stream frames exist for it: switching the
        // data path anyway would leave it waiting for frames never cut.
        qDebug() << "sampling rate" << rate << "refused: not one of 1, 10, 20, 200, 500, 1000";
        return;
    }

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

    if (rate == 20)
        qDebug() << "-----send 20";
    paramManager->samplingRate = rate;
    const double dataRate = 1.0 / rate;

    paramManager->dataParam.dataRate = dataRate;
    emit paramManager->sig_syncDataParam(paramManager->dataParam);
    emit paramManager->sig_setOneHz(rate == 1);
    emit paramManager->sig_setTwentyHz(rate == 20);
    if (rate == 1 || rate == 20)
        emit paramManager->sig_syncDataByteCount(1000, false);
    else
        emit paramManager->sig_syncDataByteCount(paramManager->samplingRate, bChange);

    if (bChange) {
        emit paramManager->sig_sendCustomModbusData(
            InstrumentFrames::writeOneRegister(kRegSamplingRate, quint16(registerValue)));
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
