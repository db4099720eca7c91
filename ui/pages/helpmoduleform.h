#pragma once
// Page 4: the operating manual. Five HTML documents read from "help/" in the
// working directory (GBK text), one per topic, chosen with a column of
// exclusive buttons and shown in a text browser. Relative image, script and
// style-sheet paths are made absolute first, so that they resolve wherever
// the program runs.

#include <QList>
#include <QMetaType>
#include <QString>
#include <QWidget>

class ParamManager;
class QPushButton;
class QTreeWidgetItem;
class Ui_HelpModuleForm;

struct HelpItem {
    QString title;    // topic name in the language of start-up; not shown
    QString html;     // text shown directly when not empty
    QString filePath; // relative to the working directory
    QList<HelpItem> children;
};
Q_DECLARE_METATYPE(HelpItem)

class HelpModuleForm : public QWidget
{
    Q_OBJECT
public:
    HelpModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~HelpModuleForm() override;

    void setHtml(const QString& html);

    // Points every relative src of an img, script or link tag at baseDir
    // (an absolute folder path, "/" separated), in place; http, https and
    // file URLs are left alone.
    static void fixResourcePaths(QString& html, const QString& baseDir);
    // The value that src, relative to the folder baseDir, is rewritten to.
    static QString resourcePath(const QString& baseDir, const QString& src);

    const QList<HelpItem>& items() const { return helpItems; }

public slots:
    void slot_setLanguage(int num);
    void onItemSelected(QTreeWidgetItem* item, int column);

private:
    void initHelpItems();
    void initStyle();
    void onNavButtonToggled(int index, bool checked);
    void showItem(const HelpItem& item);
    void loadHtmlFile(const QString& filePath);
    QList<QPushButton*> navButtons() const;

    Ui_HelpModuleForm* ui = nullptr;
    ParamManager* pm = nullptr;
    QList<HelpItem> helpItems;
};
