#pragma once
// Page 3: recordings. The operator sees the file-name format, picks the
// folder, writes comments, sets a duration and starts and stops recording
// with one button. Whether or not a recording is on, the page gathers the
// live samples (nT) into batches of one second and hands each full batch to
// the recording worker through the hub; while recording and shown it lists
// every tenth sample with its time in a console.

#include "core/types.h"
#include "ui/widgets/languagetexts.h"

#include <QDateTime>
#include <QPair>
#include <QString>
#include <QVector>
#include <QWidget>

#include <functional>

class ParamManager;
class Ui_SaveModuleForm;

class SaveModuleForm : public QWidget
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>; // returns UTC
    // Asks for a folder, starting at the given one; empty when cancelled.
    using FolderChooser = std::function<QString(const QString& start)>;

    static constexpr int kConsoleMaxLines = 5000;      // trimmed when it holds more
    static constexpr int kConsoleCutLines = 1000;      // the first lines that go then
    static constexpr int kConsoleFlattenEvery = 12000; // console updates

    SaveModuleForm(ParamManager* paramManager, QWidget* parent = nullptr);
    ~SaveModuleForm() override;

    // Name from the current UTC time, the folder "file" beside the
    // executable (made when missing), the actual path, consecutive files on.
    void initDefaultPath();
    void enableConsoleOutput() { consoleEnabled = true; }
    void disableConsoleOutput() { consoleEnabled = false; }
    bool isConsoleOutputEnabled() const { return consoleEnabled; }
    // Ends any recording and returns the page to its defaults.
    void resetForm();

    // Test seams: the UTC clock of names, batches and console rows, and the
    // folder dialog (default: the system's).
    void setClock(Clock clock) { m_clock = std::move(clock); }
    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }
    // Lines of the console's document: its blocks, as many as the lines of
    // its plain text (none when it is empty).
    int consoleLineCount() const;
    // Every how many console updates the document becomes its plain text.
    void setConsoleFlattenEvery(int updates) { consoleFlattenEvery = updates; }

public slots:
    void slots_saveFinished();
    void slots_updateForm(QVector<double> datas, FrequencyType frequencytype);
    void slots_updateVectorForm(FIDVectorData vecFid);
    void slot_setLanguage(int num);
    void on_btnOpen_clicked();
    void slots_lineEditIsOK();
    void on_btn_Save_clicked();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void initStyle();
    void updateConsole(const QVector<double>& datas);
    void trimConsole();
    void flattenConsole();
    void showSaveText(bool chinese, bool recording);
    QString nowName() const;
    QDateTime nowUtc() const;
    // Makes the folder with its parents; logs and returns false when it cannot.
    bool makeFolder(const QString& folder) const;

    Ui_SaveModuleForm* ui = nullptr;
    ParamManager* paramManager = nullptr;
    bool consoleEnabled = false;

    QVector<double> gathered; // the second being gathered, nT
    bool overflowReported = false;
    int consoleUpdates = 0;
    int consoleFlattenEvery = kConsoleFlattenEvery;
    LanguageTexts languageTexts;

    Clock m_clock;
    FolderChooser m_chooseFolder;
};
