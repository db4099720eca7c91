#include "ui/pages/helpmoduleform.h"

#include "core/logger.h"
#include "hub/parammanager.h"
#include "ui/pages/customtextbrowser.h"
#include "ui_helpmoduleform.h"

#include <QFile>
#include <QFileInfo>
#include <QGraphicsDropShadowEffect>
#include <QPushButton>
#include <QRegExp>
#include <QTextCodec>
#include <QTreeWidgetItem>
#include <QUrl>

#include <algorithm>

namespace
{

const char kIndexStyle[] =
    "#widgetHelpIndex { background: qlineargradient(x1:0, y1:1, x2:0, y2:0, stop:0 #EDF6FF, stop:1 #FFFFFF);"
    " border-radius: 10px; border: 2px solid #FFFFFF; padding: 2px; }"
    "QPushButton { background: qlineargradient(x1:0, y1:1, x2:0, y2:0, stop:0 #8FA4B9, stop:1 #A4B7C8);"
    " border-radius: 22px; border: none; font-family: MiSans; font-weight: 400; font-size: 18px;"
    " color: #FFFFFF; padding-left: 20px; padding-right: 10px; text-align: left; min-height: 44px; }"
    "QPushButton:checked { background: qlineargradient(x1:0, y1:1, x2:0, y2:0, stop:0 #0557AB, stop:1 #4293E8);"
    " border-radius: 22px; }";

const char kBrowserStyle[] =
    "QTextBrowser { background: qlineargradient(x1:0, y1:1, x2:0, y2:0, stop:0 #EDF6FF, stop:1 #FFFFFF);"
    " border-radius: 10px; border: 2px solid #FFFFFF; padding: 10px; font-family: MiSans; font-weight: 400;"
    " font-size: 18px; color: #000000; selection-color: #FFFFFF; selection-background-color: #2C7ED3; }"
    "QScrollBar:vertical { background: #E3EDF9; width: 12px; border-radius: 5px; margin: 2px; }"
    "QScrollBar::handle:vertical { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #0557AB,"
    " stop:1 #4293E8); border-radius: 3px; min-height: 30px; }"
    "QScrollBar::handle:vertical:hover { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #03478F,"
    " stop:1 #3A82D0); }"
    "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { background: transparent; height: 0px; }"
    "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }";

struct Topic {
    const char* chinese;
    const char* english;
    const char* file;
};
const Topic kTopics[] = {
    {"帮助首页", "Index", "help/index.html"},
    {"主模块", "Main", "help/main.html"},
    {"灵敏度模块", "Sensitivity", "help/sensitivity.html"},
    {"数据保存模块", "Save", "help/save.html"},
    {"配置模块", "Config", "help/config.html"},
};

QGraphicsDropShadowEffect* panelShadow(QObject* parent)
{
    auto* shadow = new QGraphicsDropShadowEffect(parent);
    shadow->setBlurRadius(16);
    shadow->setOffset(0, 9);
    shadow->setColor(QColor(185, 204, 225, 168));
    return shadow;
}

} // namespace

HelpModuleForm::HelpModuleForm(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), ui(new Ui_HelpModuleForm), pm(paramManager)
{
    ui->setupUi(this);
    qRegisterMetaType<HelpItem>("HelpItem");
    qRegisterMetaType<QList<HelpItem>>("QList<HelpItem>");
    initHelpItems();
    initStyle();
}

HelpModuleForm::~HelpModuleForm()
{
    delete ui;
}

QList<QPushButton*> HelpModuleForm::navButtons() const
{
    return {ui->btn_index1, ui->btn_main1, ui->btn_sensitivity1, ui->btn_save1, ui->btn_config1};
}

void HelpModuleForm::initHelpItems()
{
    const bool chinese = pm && pm->isChinese == 1;
    for (const Topic& t : kTopics) {
        HelpItem item;
        item.title = chinese ? QString::fromUtf8(t.chinese) : QString::fromLatin1(t.english);
        item.filePath = QString::fromLatin1(t.file);
        helpItems.append(item);
    }
}

void HelpModuleForm::initStyle()
{
    ui->widgetHelpIndex->setAttribute(Qt::WA_StyledBackground, true);
    ui->widgetHelpIndex->setStyleSheet(QLatin1String(kIndexStyle));
    ui->textBrowser->setStyleSheet(QLatin1String(kBrowserStyle));
    ui->frame->setStyleSheet(QStringLiteral("QFrame#frame { border: none; background: transparent; }"));
    ui->widgetHelpIndex->setGraphicsEffect(panelShadow(ui->widgetHelpIndex));
    ui->textBrowser->setGraphicsEffect(panelShadow(ui->textBrowser));

    const QList<QPushButton*> buttons = navButtons();
    for (int i = 0; i < buttons.size(); ++i) {
        QPushButton* button = buttons.at(i);
        button->setCursor(Qt::PointingHandCursor);
        connect(button, &QPushButton::toggled, button, [this, i](bool checked) { onNavButtonToggled(i, checked); });
    }
    // Runs the handler for both: the page ends on the index, checked and
    // shadowed, whichever document could be read on the way.
    ui->btn_main1->setChecked(true);
    ui->btn_index1->setChecked(true);
}

void HelpModuleForm::onNavButtonToggled(int index, bool checked)
{
    QPushButton* button = navButtons().value(index);
    if (!button)
        return;
    if (!checked) {
        button->setGraphicsEffect(nullptr); // deletes the shadow
        return;
    }
    auto* shadow = new QGraphicsDropShadowEffect(button);
    shadow->setBlurRadius(2);
    shadow->setOffset(0, 2);
    shadow->setColor(QColor(57, 138, 223, 181));
    button->setGraphicsEffect(shadow);
    if (index < helpItems.size())
        showItem(helpItems.at(index));
}

void HelpModuleForm::showItem(const HelpItem& item)
{
    if (!item.html.isEmpty())
        ui->textBrowser->setHtml(item.html);
    else if (!item.filePath.isEmpty())
        loadHtmlFile(item.filePath);
}

void HelpModuleForm::onItemSelected(QTreeWidgetItem* item, int column)
{
    Q_UNUSED(column)
    if (!item)
        return;
    showItem(item->data(0, Qt::UserRole).value<HelpItem>());
}

void HelpModuleForm::setHtml(const QString& html)
{
    ui->textBrowser->setHtml(html);
}

void HelpModuleForm::loadHtmlFile(const QString& filePath)
{
    // A missing document leaves the one shown; the log says why.
    QFile file(filePath);
    if (!file.exists()) {
        Logger::instance()->log(QStringLiteral("help file not found: %1").arg(QFileInfo(filePath).absoluteFilePath()));
        return;
    }
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        Logger::instance()->log(QStringLiteral("help file %1 cannot be read: %2")
                                    .arg(QFileInfo(filePath).absoluteFilePath(), file.errorString()));
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    QTextCodec* codec = QTextCodec::codecForName("GBK");
    if (!codec) {
        Logger::instance()->log(QStringLiteral("help file %1 not shown: no GBK text codec").arg(filePath));
        return;
    }
    QTextCodec::ConverterState state;
    QString html = codec->toUnicode(bytes.constData(), bytes.size(), &state);
    // Not every codec backend counts what it replaced; GBK itself has no
    // replacement character, so one in the text marks a bad byte.
    const int invalid = std::max(state.invalidChars, int(html.count(QChar(QChar::ReplacementCharacter))));
    if (invalid > 0)
        Logger::instance()->log(QStringLiteral("help file %1: %2 characters are not GBK; shown as replacements")
                                    .arg(filePath)
                                    .arg(invalid));

    const QString baseDir = QFileInfo(filePath).absolutePath();
    fixResourcePaths(html, baseDir);
    ui->textBrowser->setHtml(html);
}

QString HelpModuleForm::resourcePath(const QString& baseDir, const QString& src)
{
    // Joined as plain text, then percent-encoded, so that a '#', '?' or
    // blank in a folder name stays part of the path when the browser reads
    // the value back as a URL. A path with a drive letter becomes a file URL,
    // which keeps the drive.
    const QString localPath = baseDir + QLatin1Char('/') + src;
    QUrl path;
    path.setPath(localPath, QUrl::DecodedMode);
    QString value = path.path(QUrl::FullyEncoded);
    if (!localPath.startsWith(QLatin1Char('/')))
        value.prepend(QLatin1String("file:///"));
    // the attribute may be quoted either way
    value.replace(QLatin1Char('\''), QLatin1String("%27"));
    return value;
}

void HelpModuleForm::fixResourcePaths(QString& html, const QString& baseDir)
{
    QRegExp tag(QStringLiteral("<\\s*(img|script|link)\\s+[^>]*\\s+src=[\"']([^\"']+)[\"'][^>]*>"));
    int pos = 0;
    while ((pos = tag.indexIn(html, pos)) != -1) {
        int length = tag.matchedLength();
        const QString src = tag.cap(2);
        if (!src.startsWith(QLatin1String("http://")) && !src.startsWith(QLatin1String("https://")) &&
            !src.startsWith(QLatin1String("file://"))) {
            // Only this attribute: the same text elsewhere in the document
            // (another tag, the prose) stays as written.
            const QString value = resourcePath(baseDir, src);
            html.replace(tag.pos(2), src.size(), value);
            length += value.size() - src.size();
        }
        pos += length;
    }
}

void HelpModuleForm::slot_setLanguage(int num)
{
    const QList<QPushButton*> buttons = navButtons();
    for (int i = 0; i < buttons.size(); ++i)
        buttons.at(i)->setText(num == 1 ? QString::fromUtf8(kTopics[i].chinese)
                                        : QString::fromLatin1(kTopics[i].english));
}
