// The configuration page in the real main window over a real hub: the sweep
// edits and their register writes (frames written out by hand, CRCs from an
// independent Python loop), the baud-rate change with its frame and settings
// key, selector texts outside the lists, the hidden data-interval row, the
// filter box and its interlock with the sampling-rate controls, the rate
// change handed to the window, the identity fill and its re-arming by a
// reset, the reported rate, a rate outside the table (nothing anywhere) and
// the language texts.

#include "core/appfolders.h"
#include "core/types.h"
#include "hub/parammanager.h"
#include "ui/main/mainwindow.h"
#include "ui/pages/configmoduleform.h"
#include "ui/widgets/custommenu.h"

#include "operatorinput.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace
{

ParamManager* hub = nullptr;

// What the page and the window asked of the hub, in order.
class HubLog : public QObject
{
public:
    explicit HubLog(ParamManager* h)
    {
        connect(h, &ParamManager::sig_sendCustomModbusData, this,
                [this](QByteArray f) { events << "frame:" + QString::fromLatin1(f.toHex(' ').toUpper()); });
        connect(h, &ParamManager::sig_setOneHz, this,
                [this](bool b) { events << QStringLiteral("oneHz:%1").arg(b ? "true" : "false"); });
        connect(h, &ParamManager::sig_setTwentyHz, this,
                [this](bool b) { events << QStringLiteral("twentyHz:%1").arg(b ? "true" : "false"); });
        connect(h, &ParamManager::sig_syncDataByteCount, this,
                [this](int n, bool b) { events << QStringLiteral("bytes:%1,%2").arg(n).arg(b ? "true" : "false"); });
        connect(h, &ParamManager::sig_syncDataParam, this,
                [this](DataParam p) { events << QStringLiteral("dataRate:%1").arg(p.dataRate); });
        connect(h, &ParamManager::sig_setFilterEnabled, this,
                [this](bool b) { events << QStringLiteral("filter:%1").arg(b ? "true" : "false"); });
        connect(h, &ParamManager::sig_changeSamplingRate, this, [this](int r, bool b) {
            events << QStringLiteral("changeRate:%1,%2").arg(r).arg(b ? "true" : "false");
        });
        connect(h, &ParamManager::sig_paramWorkerStart, this, [this] { events << "paramStart"; });
        connect(h, &ParamManager::sig_paramWorkerStop, this, [this] { events << "paramStop"; });
    }
    QStringList frames() const { return events.filter(QStringLiteral("frame:")); }
    QStringList events;
};

QString frame(const char* hex)
{
    return QStringLiteral("frame:") + QLatin1String(hex);
}

template <typename T> T* child(QWidget& w, const char* name)
{
    return w.findChild<T*>(QLatin1String(name));
}

// The window shown on the configuration page.
std::unique_ptr<MainWindow> configWindow()
{
    auto w = std::make_unique<MainWindow>(hub);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        return nullptr;
    child<QPushButton>(*w, "btnConfig")->click();
    return w;
}

ConfigModuleForm* page(MainWindow& w)
{
    return w.findChild<ConfigModuleForm*>();
}

// Opens a selector's popup with its button and clicks the entry text.
bool choose(MainWindow& w, const char* selector, const QString& text)
{
    auto* button = child<QPushButton>(w, selector);
    QTest::mouseClick(button, Qt::LeftButton);
    const ShownMenuEntry entry = shownMenuEntry(text);
    if (!entry.item)
        return false;
    QTest::mouseClick(entry.item, Qt::LeftButton);
    return !entry.menu->isVisible();
}

RefreshDataEx sweep(quint32 start, quint32 end, quint32 step)
{
    RefreshDataEx r;
    r.fsStart = start;
    r.fsEnd = end;
    r.fsStep = step;
    return r;
}

QStringList sweepTexts(MainWindow& w)
{
    return {child<QLineEdit>(w, "edt_fsStart")->text(), child<QLineEdit>(w, "edt_fsEnd")->text(),
            child<QLineEdit>(w, "edt_fsStep")->text()};
}

} // namespace

class TestConfigPage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formAtStart();
    void sweepEdit_data();
    void sweepEdit();
    void returnTwiceWritesTwice();
    void baudRateChange_data();
    void baudRateChange();
    void textOutsideListWritesNothing_data();
    void textOutsideListWritesNothing();
    void dataIntervalRow();
    void filterInterlock();
    void samplingRateChange();
    void reportedRate_data();
    void reportedRate();
    void unknownRateChangesNothing_data();
    void unknownRateChangesNothing();
    void identityFill();
    void languageTexts_data();
    void languageTexts();
    void labelStyle_data();
    void labelStyle();

private:
    QTemporaryDir folder;
};

void TestConfigPage::initTestCase()
{
    QVERIFY(folder.isValid());
    QApplication::setQuitOnLastWindowClosed(false);
    QDir::setCurrent(folder.path());
    AppFolders::setOverride(folder.path());
    hub = new ParamManager(); // its workers live until the process ends
}

void TestConfigPage::init()
{
    hub->samplingRate = 1000;
    hub->baudRate = 921600;
    hub->dataParam = DataParam();
    hub->m_isSave = false;
    QFile::remove(QDir::current().filePath(hub->iniPath));
}

void TestConfigPage::cleanup()
{
    emit hub->sig_paramWorkerStop();
    emit hub->sig_devStatusWorkerStop();
}

void TestConfigPage::formAtStart()
{
    hub->baudRate = 115200;
    auto w = configWindow();
    QVERIFY(w);
    QCOMPARE(sweepTexts(*w), (QStringList{"200000000", "1000000000", "200000"}));
    QCOMPARE(child<QPushButton>(*w, "btn_baudRate")->text(), QStringLiteral("115200"));
    QCOMPARE(child<QPushButton>(*w, "btn_samplingRate")->text(), QStringLiteral("1000"));
    QVERIFY(page(*w)->firstParamUpdate);
    // the window ticks the box at start: filtering on, rate locked
    auto* filter = child<QCheckBox>(*w, "chk_filter");
    QVERIFY(filter->isChecked());
    QVERIFY(filter->isVisible());
    QVERIFY(filter->isEnabled());
    QVERIFY(!child<QPushButton>(*w, "btn_samplingRate")->isEnabled());
    QVERIFY(!child<QPushButton>(*w, "btn_changeSamplingRate")->isEnabled());
    QVERIFY(child<QPushButton>(*w, "btn_changeBaudRate")->isEnabled());
    // the sweep edits take digits only
    auto* edit = child<QLineEdit>(*w, "edt_fsStep");
    typeOver(edit, QStringLiteral("12a-3 4"));
    QCOMPARE(edit->text(), QStringLiteral("1234"));
}

void TestConfigPage::sweepEdit_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("frame"); // empty: nothing written
    struct Reg {
        const char* edit;
        const char* tag;
        const char* f200m;
        const char* fEmpty;
        const char* fMax;
    };
    const Reg regs[] = {
        {"edt_fsStart", "40064", "01 10 9C 80 00 02 04 C2 00 0B EB 78 0E", "01 10 9C 80 00 02 04 2D 00 01 31 CB E1",
         "01 10 9C 80 00 02 04 4E 00 53 72 A9 34"},
        {"edt_fsEnd", "40066", "01 10 9C 82 00 02 04 C2 00 0B EB F9 D7", "01 10 9C 82 00 02 04 2D 00 01 31 4A 38",
         "01 10 9C 82 00 02 04 4E 00 53 72 28 ED"},
        {"edt_fsStep", "40068", "01 10 9C 84 00 02 04 C2 00 0B EB 79 FD", "01 10 9C 84 00 02 04 2D 00 01 31 CA 12",
         "01 10 9C 84 00 02 04 4E 00 53 72 A8 C7"},
    };
    for (const Reg& r : regs) {
        auto row = [&](const char* what) -> QTestData& {
            return QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(r.tag), QLatin1String(what))));
        };
        row("200000000") << r.edit << "200000000"
                         << "200000000" << frame(r.f200m);
        row("empty") << r.edit << ""
                     << "20000000" << frame(r.fEmpty);
        row("1400000000") << r.edit << "1400000000"
                          << "1400000000" << frame(r.fMax);
        row("0000") << r.edit << "0000"
                    << "0" << QString();
        row("2200000000") << r.edit << "2200000000"
                          << "0" << QString();
    }
    QTest::newRow("40064 1399999999") << "edt_fsStart"
                                      << "1399999999"
                                      << "1399999999" << frame("01 10 9C 80 00 02 04 4D FF 53 72 99 40");
    QTest::newRow("40064 2147483647 clamped") << "edt_fsStart"
                                              << "2147483647"
                                              << "1400000000" << frame("01 10 9C 80 00 02 04 4E 00 53 72 A9 34");
    QTest::newRow("40064 1") << "edt_fsStart"
                             << "1"
                             << "1" << frame("01 10 9C 80 00 02 04 00 01 00 00 53 09");
    QTest::newRow("40064 0") << "edt_fsStart"
                             << "0"
                             << "0" << QString();
    QTest::newRow("40066 00500") << "edt_fsEnd"
                                 << "00500"
                                 << "500" << frame("01 10 9C 82 00 02 04 01 F4 00 00 C3 1E");
    // leading zeros do not count towards the ten digits
    QTest::newRow("40068 000000000500") << "edt_fsStep"
                                        << "000000000500"
                                        << "500" << frame("01 10 9C 84 00 02 04 01 F4 00 00 43 34");
    QTest::newRow("40068 11 digits") << "edt_fsStep"
                                     << "12345678901"
                                     << "1400000000" << frame("01 10 9C 84 00 02 04 4E 00 53 72 A8 C7");
    QTest::newRow("40064 0000000000000") << "edt_fsStart"
                                         << "0000000000000"
                                         << "0" << QString();
}

void TestConfigPage::sweepEdit()
{
    QFETCH(QString, edit);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, frame);
    auto w = configWindow();
    QVERIFY(w);
    auto* e = w->findChild<QLineEdit*>(edit);
    HubLog log(hub);
    typeOver(e, typed);
    QCOMPARE(e->text(), shown);
    QCOMPARE(log.events, frame.isEmpty() ? QStringList() : QStringList{frame});
}

void TestConfigPage::returnTwiceWritesTwice()
{
    auto w = configWindow();
    QVERIFY(w);
    auto* e = child<QLineEdit>(*w, "edt_fsStart");
    HubLog log(hub);
    typeOver(e, QStringLiteral("200000000"));
    QTest::keyClick(e, Qt::Key_Return);
    const QString f = frame("01 10 9C 80 00 02 04 C2 00 0B EB 78 0E");
    QCOMPARE(log.events, (QStringList{f, f}));
}

void TestConfigPage::baudRateChange_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("frame");
    QTest::newRow("115200") << 921600 << "115200" << frame("01 10 9C 93 00 01 02 04 80 E4 5A");
    QTest::newRow("921600") << 115200 << "921600" << frame("01 10 9C 93 00 01 02 24 00 FC 3A");
}

void TestConfigPage::baudRateChange()
{
    QFETCH(int, before);
    QFETCH(QString, choice);
    QFETCH(QString, frame);
    hub->baudRate = before;
    auto w = configWindow();
    QVERIFY(w);
    HubLog log(hub);
    QVERIFY(choose(*w, "btn_baudRate", choice));
    QCOMPARE(child<QPushButton>(*w, "btn_baudRate")->text(), choice);
    // a choice alone writes nothing
    QVERIFY(log.events.isEmpty());
    QCOMPARE(hub->baudRate, before);
    QVERIFY(!QFile::exists(hub->iniPath));

    QTest::mouseClick(child<QPushButton>(*w, "btn_changeBaudRate"), Qt::LeftButton);
    QCOMPARE(log.events, QStringList{frame});
    QCOMPARE(hub->baudRate, choice.toInt());
    QFile ini(QDir::current().filePath(QStringLiteral("config.ini")));
    QVERIFY(ini.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(ini.readAll());
    QVERIFY2(text.contains(QStringLiteral("[Com]\nbaudRate=%1\n").arg(choice)), qPrintable(text));
}

void TestConfigPage::textOutsideListWritesNothing_data()
{
    QTest::addColumn<QString>("selector");
    QTest::addColumn<QString>("change");
    QTest::newRow("baud rate") << "btn_baudRate"
                               << "btn_changeBaudRate";
    QTest::newRow("sampling rate") << "btn_samplingRate"
                                   << "btn_changeSamplingRate";
    QTest::newRow("data interval") << "btn_dataInterval"
                                   << "btn_changeDataInterval";
}

void TestConfigPage::textOutsideListWritesNothing()
{
    QFETCH(QString, selector);
    QFETCH(QString, change);
    auto w = configWindow();
    QVERIFY(w);
    page(*w)->setFilterState(false, true); // the rate's Change is locked while filtering
    w->findChild<QPushButton*>(selector)->setText(QStringLiteral("9600"));
    HubLog log(hub);
    QTest::ignoreMessage(QtDebugMsg, "未找到该状态");
    w->findChild<QPushButton*>(change)->click(); // also the hidden and the locked ones
    QVERIFY(log.events.isEmpty());
    QCOMPARE(hub->baudRate, 921600);
    QCOMPARE(hub->samplingRate, 1000);
    QVERIFY(!QFile::exists(hub->iniPath));
}

void TestConfigPage::dataIntervalRow()
{
    auto w = configWindow();
    QVERIFY(w);
    for (const char* name : {"label_26", "btn_dataInterval", "btn_changeDataInterval"})
        QVERIFY2(!child<QWidget>(*w, name)->isVisibleTo(w.get()), name);
    QCOMPARE(child<QPushButton>(*w, "btn_dataInterval")->text(), QStringLiteral("20"));
    HubLog log(hub);
    child<QPushButton>(*w, "btn_changeDataInterval")->click();
    page(*w)->slot_handleActionTriggeredNew(QStringLiteral("10"), QStringLiteral("dataInterval"));
    QCOMPARE(child<QPushButton>(*w, "btn_dataInterval")->text(), QStringLiteral("10"));
    child<QPushButton>(*w, "btn_changeDataInterval")->click();
    QCOMPARE(log.events,
             (QStringList{frame("01 10 9C 95 00 01 02 00 14 E7 53"), frame("01 10 9C 95 00 01 02 00 0A 67 5B")}));
    // a choice tagged for another selector goes there, an unknown tag nowhere
    page(*w)->slot_handleActionTriggeredNew(QStringLiteral("115200"), QStringLiteral("raudRate"));
    page(*w)->slot_handleActionTriggeredNew(QStringLiteral("20"), QStringLiteral("other"));
    QCOMPARE(child<QPushButton>(*w, "btn_baudRate")->text(), QStringLiteral("115200"));
    QCOMPARE(child<QPushButton>(*w, "btn_samplingRate")->text(), QStringLiteral("1000"));
}

void TestConfigPage::filterInterlock()
{
    auto w = configWindow();
    QVERIFY(w);
    auto* filter = child<QCheckBox>(*w, "chk_filter");
    auto* rate = child<QPushButton>(*w, "btn_samplingRate");
    auto* change = child<QPushButton>(*w, "btn_changeSamplingRate");
    HubLog log(hub);
    QTest::mouseClick(filter, Qt::LeftButton);
    QVERIFY(!filter->isChecked());
    QVERIFY(rate->isEnabled());
    QVERIFY(change->isEnabled());
    QVERIFY(!page(*w)->isFilterChecked());
    QTest::mouseClick(filter, Qt::LeftButton);
    QVERIFY(!rate->isEnabled());
    QVERIFY(!change->isEnabled());
    QCOMPARE(log.events, (QStringList{"filter:false", "filter:true"}));

    // the window's start-up call, and hiding
    page(*w)->setFilterState(false, true);
    QVERIFY(filter->isVisible());
    QVERIFY(rate->isEnabled());
    page(*w)->setFilterState(true, false);
    QVERIFY(filter->isChecked());
    QVERIFY(!filter->isVisible());
    QVERIFY(!page(*w)->isFilterVisible());
    page(*w)->setFilterState(false, true); // true leaves the visibility alone
    QVERIFY(!filter->isVisible());
    QCOMPARE(log.events, (QStringList{"filter:false", "filter:true", "filter:false", "filter:true", "filter:false"}));
}

void TestConfigPage::samplingRateChange()
{
    auto w = configWindow();
    QVERIFY(w);
    auto* filter = child<QCheckBox>(*w, "chk_filter");
    QTest::mouseClick(filter, Qt::LeftButton);
    HubLog log(hub);
    QVERIFY(choose(*w, "btn_samplingRate", QStringLiteral("20")));
    QVERIFY(log.events.isEmpty());
    QTest::mouseClick(child<QPushButton>(*w, "btn_changeSamplingRate"), Qt::LeftButton);
    // the window writes the rate with the page's polling paused around it
    // (it is connected first, so its events come before the request's)
    QCOMPARE(log.events, (QStringList{"paramStop", "dataRate:0.05", "oneHz:false", "twentyHz:true", "bytes:1000,false",
                                      frame("01 10 9C 96 00 01 02 03 E8 E7 D1"), "paramStart", "changeRate:20,true"}));
    QCOMPARE(hub->samplingRate, 20);
    QVERIFY(!filter->isEnabled());
    QCOMPARE(child<QLineEdit>(*w, "edt_dataRate")->text(), QStringLiteral("0.05"));

    log.events.clear();
    QVERIFY(choose(*w, "btn_samplingRate", QStringLiteral("1000")));
    QTest::mouseClick(child<QPushButton>(*w, "btn_changeSamplingRate"), Qt::LeftButton);
    QCOMPARE(log.events,
             (QStringList{"paramStop", "dataRate:0.001", "oneHz:false", "twentyHz:false", "bytes:1000,true",
                          frame("01 10 9C 96 00 01 02 03 E8 E7 D1"), "paramStart", "changeRate:1000,true"}));
    QCOMPARE(hub->samplingRate, 1000);
    QVERIFY(filter->isEnabled());
}

void TestConfigPage::reportedRate_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("reported");
    QTest::addColumn<bool>("filterEnabled");
    QTest::addColumn<QString>("frame");
    QTest::newRow("20") << 1000 << 20 << false << frame("01 10 9C 96 00 01 02 03 E8 E7 D1");
    QTest::newRow("1000") << 20 << 1000 << true << frame("01 10 9C 96 00 01 02 03 E8 E7 D1");
    QTest::newRow("200") << 1000 << 200 << true << frame("01 10 9C 96 00 01 02 00 C8 E6 F9");
}

void TestConfigPage::reportedRate()
{
    QFETCH(int, stored);
    QFETCH(int, reported);
    QFETCH(bool, filterEnabled);
    QFETCH(QString, frame);
    hub->samplingRate = stored;
    auto w = configWindow();
    QVERIFY(w);
    HubLog log(hub);
    // as the data handler reports it with every identity block
    hub->slots_updateSamplingRate(reported);
    QCOMPARE(child<QPushButton>(*w, "btn_samplingRate")->text(), QString::number(reported));
    QCOMPARE(child<QCheckBox>(*w, "chk_filter")->isEnabled(), filterEnabled);
    QCOMPARE(log.frames(), QStringList{frame});
    QCOMPARE(log.events.last(), QStringLiteral("changeRate:%1,true").arg(reported));
    QCOMPARE(hub->samplingRate, reported);
}

void TestConfigPage::unknownRateChangesNothing_data()
{
    QTest::addColumn<int>("rate");
    QTest::newRow("333") << 333;
    QTest::newRow("100") << 100;
    QTest::newRow("0") << 0;
    QTest::newRow("-20") << -20;
}

void TestConfigPage::unknownRateChangesNothing()
{
    QFETCH(int, rate);
    auto w = configWindow();
    QVERIFY(w);
    const DataParam before = hub->dataParam;
    HubLog log(hub);
    QTest::ignoreMessage(
        QtDebugMsg,
        qPrintable(QStringLiteral("sampling rate %1 refused: not one of 1, 10, 20, 200, 500, 1000").arg(rate)));
    emit hub->sig_changeSamplingRate(rate, true);
    // no write, no mode or frame-size signal, no pause of the polling
    QCOMPARE(log.events, QStringList{QStringLiteral("changeRate:%1,true").arg(rate)});
    QCOMPARE(hub->samplingRate, 1000);
    QCOMPARE(hub->dataParam.dataRate, before.dataRate);
    QCOMPARE(child<QLineEdit>(*w, "edt_dataRate")->text(), QStringLiteral("0.001"));
}

void TestConfigPage::identityFill()
{
    auto w = configWindow();
    QVERIFY(w);
    HubLog log(hub);
    // values above 2^31 mHz show unsigned
    emit hub->sig_updateFormParamEx(sweep(3000000000u, 4294967295u, 10000));
    QTRY_COMPARE(sweepTexts(*w), (QStringList{"3000000000", "4294967295", "10000"}));
    QVERIFY(!page(*w)->firstParamUpdate);
    emit hub->sig_updateFormParamEx(sweep(139916600, 699583000, 20000));
    QTest::qWait(50);
    QCOMPARE(sweepTexts(*w), (QStringList{"3000000000", "4294967295", "10000"}));

    // the operator's own value survives later blocks, not a reset
    child<QLineEdit>(*w, "edt_fsStep")->setText(QStringLiteral("777"));
    emit hub->sig_updateFormParamEx(sweep(139916600, 699583000, 20000));
    QTest::qWait(50);
    QCOMPARE(child<QLineEdit>(*w, "edt_fsStep")->text(), QStringLiteral("777"));
    child<QPushButton>(*w, "btn_reboot")->click();
    QTRY_VERIFY(page(*w)->firstParamUpdate);
    emit hub->sig_updateFormParamEx(sweep(139916600, 699583000, 20000));
    QTRY_COMPARE(sweepTexts(*w), (QStringList{"139916600", "699583000", "20000"}));
    // filling writes nothing
    QVERIFY(log.frames().isEmpty());
}

void TestConfigPage::languageTexts_data()
{
    QTest::addColumn<QList<int>>("switches");
    QTest::newRow("Chinese first") << QList<int>{1, 0, 1};
    QTest::newRow("English first") << QList<int>{0, 1, 0};
}

void TestConfigPage::languageTexts()
{
    QFETCH(QList<int>, switches);
    auto w = configWindow();
    QVERIFY(w);
    const QList<QPair<const char*, QPair<QString, QString>>> texts = {
        {"label_14", {"FS Start", "起始采样频率"}},
        {"label_15", {"FS End", "终止采样频率"}},
        {"label_16", {"FS Step", "采样频率步长"}},
        {"label_19", {"mHz", "毫赫兹"}},
        {"label_20", {"mHz", "毫赫兹"}},
        {"label_24", {"mHz", "毫赫兹"}},
        {"label_27", {"Baud Rate", "波特率"}},
        {"label_28", {"Sampling Rate", "采样率"}},
        {"label_26", {"Data Interval", "数据间隔"}},
        {"btn_changeBaudRate", {"Change", "更改"}},
        {"btn_changeSamplingRate", {"Change", "更改"}},
        {"btn_changeDataInterval", {"Change", "更改"}},
        {"chk_filter", {"Enable filtering", "启用滤波"}},
    };
    for (int num : switches) {
        emit w->sig_ChangeLanguage(num);
        for (const auto& t : texts)
            QCOMPARE(child<QWidget>(*w, t.first)->property("text").toString(),
                     num == 1 ? t.second.second : t.second.first);
        // selector values are not translated
        QCOMPARE(child<QPushButton>(*w, "btn_baudRate")->text(), QStringLiteral("921600"));
    }
}

void TestConfigPage::labelStyle_data()
{
    QTest::addColumn<QString>("label");
    for (const char* name :
         {"label_14", "label_15", "label_16", "label_19", "label_20", "label_24", "label_27", "label_28", "label_26"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

// The nine labels, units included, as the shown page draws them: MiSans
// 18 px in #2B3B50.
void TestConfigPage::labelStyle()
{
    QFETCH(QString, label);
    auto w = configWindow();
    QVERIFY(w);
    auto* l = w->findChild<QLabel*>(label);
    QVERIFY(l);
    l->ensurePolished();
    QCOMPARE(l->palette().color(l->foregroundRole()).name(), QStringLiteral("#2b3b50"));
    QCOMPARE(l->font().family(), QStringLiteral("MiSans"));
    QCOMPARE(l->font().pixelSize(), 18);
}

QTEST_MAIN(TestConfigPage)
#include "tst_configpage.moc"
