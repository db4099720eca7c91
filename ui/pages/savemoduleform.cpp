#include "ui/pages/savemoduleform.h"

#include "core/appfolders.h"
#include "core/myintvalidator.h"
#include "hub/parammanager.h"
#include "recording/recordingnames.h"
#include "ui_savemoduleform.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QGraphicsDropShadowEffect>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <climits>

namespace
{

const char kNameFormat[] = "yyyyMMdd_hhmmss";

const char kSaveEnglish[] = "Save";
const char kSavingEnglish[] = "Saving";
const char kSaveChinese[] = "保存";
const char kSavingChinese[] = "保存中";

// Style sheets select the widgets by their "name" property.
const char kPageStyle[] =
    "SaveModuleForm { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #F9FAFC, stop:1 #DFEBF8); }"
    "QFrame[name=\"frameb\"] { border: none; background: transparent; }"
    "QWidget#mainPanel1 { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #FFFFFF, stop:1 #EDF6FF);"
    " border: 2px solid #FFFFFF; border-radius: 10px; }"
    "QWidget#widget_2 { background: transparent; }"
    "QLabel[name=\"lbl\"] { font-family: MiSans; font-size: 18px; color: #2B3B50; }"
    "QLabel#lbl_time { color: #77818E; }"
    "QLineEdit[name=\"edtb\"], QLineEdit[name=\"edt\"] { background-color: #FFFFFF; border: 1px solid #D3DCE5;"
    " border-radius: 6px; font-family: MiSans; font-size: 18px; color: #2B3B50; padding: 0px 12px; }"
    "QLineEdit[name=\"edt\"] { color: #4A5A6E; }"
    "QLineEdit#edt_saveTime { padding: 0px 4px; }"
    "QTextEdit[name=\"edtb\"] { background-color: #FFFFFF; border: 1px solid #D3DCE5; border-radius: 6px;"
    " font-family: MiSans; font-size: 18px; color: #2B3B50; padding: 6px; }"
    "QPushButton[name=\"btnOpen\"], QPushButton[name=\"btnSave\"] { border: none; border-radius: 22px;"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #8FA4B9, stop:1 #A4B7C8);"
    " font-family: MiSans; font-size: 18px; color: #FFFFFF; }"
    "QPushButton[name=\"btnOpen\"] { image: url(:/floder.png); padding: 12px 30px; }"
    "QPushButton[name=\"btnOpen\"]:hover, QPushButton[name=\"btnSave\"]:hover {"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #2A7ACD, stop:1 #4293E8); }"
    "QPushButton[name=\"btnOpen\"]:pressed, QPushButton[name=\"btnSave\"]:pressed {"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #0557AB, stop:1 #4293E8); }"
    "QCheckBox[name=\"chk\"] { font-family: MiSans; font-size: 18px; color: #2B3B50; spacing: 8px;"
    " background: transparent; }"
    "QCheckBox[name=\"chk\"]::indicator { width: 24px; height: 24px; }"
    "QCheckBox[name=\"chk\"]::indicator:unchecked { image: url(:/SaveCheckBoxNormal.png); }"
    "QCheckBox[name=\"chk\"]::indicator:checked { image: url(:/SaveCheckBoxCheck.png); }";

void addShadow(QWidget* w, qreal blur, const QPointF& offset, const QColor& color)
{
    auto* shadow = new QGraphicsDropShadowEffect(w);
    shadow->setBlurRadius(blur);
    shadow->setOffset(offset);
    shadow->setColor(color);
    w->setGraphicsEffect(shadow);
}

bool isRecordedRate(int rate)
{
    return rate == 1 || rate == 20 || rate == 200 || rate == 500 || rate == 1000;
}

} // namespace

SaveModuleForm::SaveModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), paramManager(paramManager)
{
    ui = new Ui_SaveModuleForm;
    ui->setupUi(this);
    initDefaultPath();
    connect(ui->edt_fileName, &QLineEdit::editingFinished, this, &SaveModuleForm::slots_lineEditIsOK);
    connect(ui->edt_filePath, &QLineEdit::editingFinished, this, &SaveModuleForm::slots_lineEditIsOK);
    ui->edt_saveTime->setValidator(paramManager->getIntValidator());
    ui->chk_local->hide();
    ui->chk_SD->hide();
    initStyle();
}

SaveModuleForm::~SaveModuleForm()
{
    delete ui;
}

void SaveModuleForm::resizeEvent(QResizeEvent*) {}

void SaveModuleForm::initStyle()
{
    ui->widget->setObjectName(QStringLiteral("mainPanel1"));
    setAttribute(Qt::WA_StyledBackground, true);
    ui->widget->setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QLatin1String(kPageStyle));
    addShadow(ui->textEdit, 8, QPointF(0, 2), QColor(190, 204, 225, 25));
    for (QWidget* edit : {static_cast<QWidget*>(ui->edt_fileName), static_cast<QWidget*>(ui->edt_filePath),
                          static_cast<QWidget*>(ui->edt_pathFileName)})
        addShadow(edit, 8, QPointF(0, 2), QColor(190, 204, 225, 40));
    addShadow(ui->widget, 16, QPointF(0, 3), QColor(150, 175, 205, 45));
}

QDateTime SaveModuleForm::nowUtc() const
{
    return m_clock ? m_clock().toUTC() : QDateTime::currentDateTimeUtc();
}

QString SaveModuleForm::nowName() const
{
    return nowUtc().toString(QLatin1String(kNameFormat)) + QStringLiteral(".CSV");
}

bool SaveModuleForm::makeFolder(const QString& folder) const
{
    // An empty folder would put the recording at the file-system root.
    if (!folder.isEmpty() && (QDir(folder).exists() || QDir().mkpath(folder)))
        return true;
    paramManager->log(QStringLiteral("SaveModuleForm create %1 path failed").arg(folder));
    return false;
}

void SaveModuleForm::initDefaultPath()
{
    const QString name = nowName();
    ui->edt_fileName->setText(name);
    const QString folder = AppFolders::fileDir();
    ui->edt_filePath->setText(folder);
    makeFolder(folder); // logged when it fails; the page goes on
    ui->edt_pathFileName->setText(QStringLiteral("%1/%2").arg(folder, name));
    ui->chk_saveFiles->setChecked(true);
}

void SaveModuleForm::slots_lineEditIsOK()
{
    ui->edt_pathFileName->setText(QStringLiteral("%1/%2").arg(ui->edt_filePath->text(), ui->edt_fileName->text()));
}

void SaveModuleForm::on_btnOpen_clicked()
{
    consoleEnabled = false;
    const QString start = ui->edt_filePath->text();
    const QString chosen =
        m_chooseFolder
            ? m_chooseFolder(start)
            : QFileDialog::getExistingDirectory(nullptr, QStringLiteral("Select a Directory"), start,
                                                QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty())
        return;
    ui->edt_filePath->setText(chosen);
    slots_lineEditIsOK();
}

void SaveModuleForm::on_btn_Save_clicked()
{
    // A new name at every click: a stop names the comments of its own moment.
    const QString name = nowName();
    ui->edt_fileName->setText(name);
    const QString folder = ui->edt_filePath->text();
    const bool wasRecording = paramManager->isSave();
    const bool folderReady = makeFolder(folder);
    // Without a folder nothing starts; a running recording still stops.
    if (!folderReady && !wasRecording)
        return;

    const QString pathName = QStringLiteral("%1/%2").arg(folder, name);
    ui->edt_pathFileName->setText(pathName);

    const QString comments = ui->textEdit->toPlainText();
    if (folderReady && !comments.isEmpty())
        paramManager->appendTextToFile(QStringLiteral("%1/%2.txt").arg(folder, RecordingNames::stripCsvSuffix(name)),
                                       comments);

    // Digits only (the validator); 0, empty or unreadable: until stopped.
    const QString durationText = ui->edt_saveTime->text();
    bool ok = false;
    const qulonglong seconds = durationText.toULongLong(&ok);
    int duration = 0;
    if (ok && seconds <= qulonglong(INT_MAX))
        duration = int(seconds);
    else if (!durationText.isEmpty() && !wasRecording)
        paramManager->log(QStringLiteral("SaveModuleForm duration \"%1\" s is not usable: recording until stopped")
                              .arg(durationText));

    paramManager->setSaveParam(!wasRecording, duration, pathName, ui->chk_saveFiles->isChecked());
    showSaveText(paramManager->isChinese == 1, !wasRecording);
    consoleEnabled = !wasRecording;
}

void SaveModuleForm::showSaveText(bool chinese, bool recording)
{
    const char* text =
        chinese ? (recording ? kSavingChinese : kSaveChinese) : (recording ? kSavingEnglish : kSaveEnglish);
    ui->btn_Save->setText(QString::fromUtf8(text));
}

void SaveModuleForm::slots_saveFinished()
{
    // A recording started since the end was reported keeps its state.
    if (paramManager->isSave())
        return;
    showSaveText(paramManager->isChinese == 1, false);
    consoleEnabled = false;
}

void SaveModuleForm::resetForm()
{
    showSaveText(paramManager->isChinese == 1, false);
    ui->edt_saveTime->setText(QStringLiteral("0"));
    paramManager->setSaveParam(false, 0, ui->edt_pathFileName->text(), false);
    consoleEnabled = false;
    ui->textEdit->clear();
    ui->textEdit_console->clear();
    initDefaultPath();
}

void SaveModuleForm::slot_setLanguage(int num)
{
    const LanguageTexts::Entry chinese[] = {
        {ui->label, "文件名格式"},   {ui->label_2, "选择文件夹"}, {ui->label_3, "实际路径 + 文件名"},
        {ui->label_4, "备注"},       {ui->lbl_time, "秒"},        {ui->chk_saveFiles, "保存为连续文件"},
        {ui->chk_local, "本地保存"}, {ui->chk_SD, "保存到SD卡"},
    };
    languageTexts.apply(num, chinese);
    showSaveText(num == 1, paramManager->isSave());
}

void SaveModuleForm::slots_updateVectorForm(FIDVectorData)
{
    qDebug() << "严重错误,目标不匹配";
}

// ---- one-second batches ----

void SaveModuleForm::slots_updateForm(QVector<double> datas, FrequencyType frequencytype)
{
    const int rate = int(frequencytype);
    if (!isRecordedRate(rate))
        return;
    const int samplingRate = paramManager->samplingRate;
    if (rate != samplingRate) {
        // A rate change: the incomplete second of the old rate is not a second.
        gathered.clear();
        return;
    }

    gathered += datas;
    if (gathered.size() == samplingRate) {
        emit paramManager->sig_saveCSVData(gathered, samplingRate, nowUtc());
        gathered.clear();
        overflowReported = false;
    } else if (gathered.size() > samplingRate) {
        qDebug().noquote()
            << QStringLiteral("2025.07.02 Wrong  sendsize  samplingRate: %1,%2").arg(gathered.size()).arg(samplingRate);
        // Lost from the recording: worth a line, once until seconds come whole again.
        if (!overflowReported) {
            overflowReported = true;
            paramManager->log(QStringLiteral("SaveModuleForm dropped %1 samples: more than one second at %2 "
                                             "samples per second")
                                  .arg(gathered.size())
                                  .arg(samplingRate));
        }
        gathered.clear();
    }

    if (consoleEnabled)
        updateConsole(datas);
}

// ---- console ----

void SaveModuleForm::updateConsole(const QVector<double>& datas)
{
    const QDateTime now = nowUtc();
    const int ms = now.time().msec();
    QString html =
        QStringLiteral("<table style=\"font-family: 'MiSans'; font-size: 18px; color: #2B3B50; line-height: 31px;\">");
    // Row times are the arrival time plus the value's index in ms, at any rate.
    for (int i = 0; i < datas.size(); i += 10) {
        const int at = ms + i;
        const QString time = now.addSecs(at / 1000).toString(QStringLiteral("HH:mm:ss.")) +
                             QStringLiteral("%1").arg(at % 1000, 3, 10, QLatin1Char('0'));
        html += QStringLiteral("<tr><td style='padding-right: 20px;'>%1</td><td>%2</td></tr>\n")
                    .arg(time, QString::number(datas.at(i), 'f', 2));
    }
    html += QStringLiteral("</table>");

    // At the document's end whatever the operator has selected.
    QTextCursor end(ui->textEdit_console->document());
    end.movePosition(QTextCursor::End);
    end.insertHtml(html);
    ui->textEdit_console->moveCursor(QTextCursor::End);

    trimConsole();
    if (++consoleUpdates >= consoleFlattenEvery) {
        consoleUpdates = 0;
        flattenConsole();
    }
}

int SaveModuleForm::consoleLineCount() const
{
    const QTextDocument* doc = ui->textEdit_console->document();
    return doc->isEmpty() ? 0 : doc->blockCount();
}

void SaveModuleForm::trimConsole()
{
    // A line is a block of the document: a table cell, the empty line
    // between two tables, a line of plain text; so the document has as many
    // as its plain text. Again while more than the bound, so that even an
    // outsized batch leaves no more.
    QTextDocument* doc = ui->textEdit_console->document();
    while (doc->blockCount() > kConsoleMaxLines) {
        const QTextBlock firstKept = doc->findBlockByNumber(kConsoleCutLines);
        QTextCursor cut(doc);
        QTextTable* table = QTextCursor(firstKept).currentTable();
        if (!table) {
            cut.setPosition(firstKept.position(), QTextCursor::KeepAnchor);
            cut.removeSelectedText();
            continue;
        }
        // The cut runs through a table, which a selection would take whole.
        // What lies before it goes but the empty line in front of it (a
        // document cannot begin with a table), then the table's rows among
        // the first lines, a row cut in two whole.
        const int cells = kConsoleCutLines - doc->findBlock(table->firstPosition()).blockNumber();
        cut.setPosition(table->firstPosition() - 1, QTextCursor::KeepAnchor);
        cut.removeSelectedText();
        const int rows = (cells + 1) / 2;
        if (rows > 0)
            table->removeRows(0, rows);
    }
}

void SaveModuleForm::flattenConsole()
{
    // A long run of tables weighs on the document: it becomes its own plain
    // text, one line per former cell.
    QTextDocument* doc = ui->textEdit_console->document();
    doc->clearUndoRedoStacks();
    ui->textEdit_console->setPlainText(doc->toPlainText());
    ui->textEdit_console->moveCursor(QTextCursor::End);
}
