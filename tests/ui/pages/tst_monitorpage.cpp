// The service page in the real main window over the real hub: every
// register write byte for byte with the pauses of the parameter poll and
// the fixed waits around it, the password lock on the set-points (unlocked
// through the real dialog), the parameter-block display, the refill and
// follow rules, the pending status record, the language table, the
// set-points the main page reads for its crash-log line, and the page
// present in test mode only.
//
// Every expected frame below is written out by hand (CRC-16/MODBUS worked
// out independently of the program).

#include "monitorpagerig.h"

#include "core/globalstate.h"
#include "core/mydoublevalidator.h"
#include "core/myintvalidator.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QMutexLocker>
#include <QStackedWidget>

namespace
{

using L = QStringList;

const QString kStop = QStringLiteral("paramStop");
const QString kStart = QStringLiteral("paramStart");

// A set-point write: value, 50 ms, apply register, each inside the pause.
L setpointWrite(const QString& valueFrame, const QString& applyFrame)
{
    return {kStop, "wait 500", valueFrame, "wait 50", applyFrame, "wait 500", kStart};
}
// A DDS or sweep write.
L ddsWrite(const QString& frame)
{
    return {kStop, "wait 500", frame, "wait 500", kStart};
}
// Nothing written: the pause and both waits, then the poll again.
const L kNothingAfter500{kStop, "wait 500", "wait 500", kStart};
// FS Debug, work state and work mode.
L stateWrite(const QString& frame)
{
    return {kStop, "wait 100", frame, "wait 100", kStart};
}
const L kNothingAfter100{kStop, "wait 100", "wait 100", kStart};

const QString kDebugOn = QStringLiteral("01 06 9C B6 00 63 06 55");
const QString kDebugOff = QStringLiteral("01 06 9C B6 00 01 87 BC");

// Types text into a widget key by key; characters outside ASCII (a
// full-width digit) go as key events carrying the text.
void typeText(QWidget* w, const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClick(w, c.toLatin1());
        } else {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(w, &press);
            QApplication::sendEvent(w, &release);
        }
    }
}

void replaceAndReturn(QLineEdit* e, const QString& typed)
{
    QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
    if (typed.isEmpty())
        QTest::keyClick(e, Qt::Key_Backspace);
    else
        typeText(e, typed);
    QTest::keyClick(e, Qt::Key_Return);
}

RefreshData block(double laserTemp, double laserElectric, double airTemp, double pd, double pde)
{
    RefreshData r;
    r.laserTemp = laserTemp;
    r.laserElectric = laserElectric;
    r.airTemp = airTemp;
    r.pdValue = pd;
    r.pdeValue = pde;
    return r;
}

RefreshData setpointsBlock(double laserTempSet, double laserElectricSet, double airTempSet)
{
    RefreshData r = block(84.97, 1.248, 59.92, 1.8, 2.5);
    r.laserTempSet = laserTempSet;
    r.laserElectricSet = laserElectricSet;
    r.airTempSet = airTempSet;
    return r;
}

const char* const kReadings[] = {"edt_laserTemp", "edt_laserElectric", "edt_airTemp", "edt_pdValue", "edt_pdeValue"};
const char* const kSetpoints[] = {"edt_laserTempSet", "edt_laserElectricSet", "edt_airTempSet"};
const char* const kDebugControls[] = {"edt_ddsFreq", "edt_fsStart",  "edt_fsEnd",
                                      "edt_fsStep",  "btn_workMode", "btn_changeWorkMode"};

QStringList readings(MonitorPageRig& r)
{
    QStringList out;
    for (const char* name : kReadings)
        out << r.text(name);
    return out;
}

bool debugControlsEnabled(MonitorPageRig& r, bool enabled)
{
    for (const char* name : kDebugControls)
        if (r.child<QWidget>(name)->isEnabled() != enabled)
            return false;
    return true;
}

void setPending(bool flag, int code, qint64 time)
{
    GlobalState& g = GlobalState::instance();
    QMutexLocker lock(&g.pendingStatusMutex);
    g.hasPendingStatus = flag;
    g.pendingStatusCode = code;
    g.pendingStatusTime = time;
}

} // namespace

class TestMonitorPage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void formAtStart();
    void lockedKeysOpenDialog();
    void setpointWrites_data();
    void setpointWrites();
    void ddsWrites_data();
    void ddsWrites();
    void debugAndSelectors_data();
    void debugAndSelectors();
    void selectorTextNotInList();
    void parameterBlock_data();
    void parameterBlock();
    void refillRules();
    void workModeFollowsDdsFrequency();
    void pendingStatusRecord();
    void languageTable();

    // the rulings on faults
    void focusPassingThroughWritesNothing();
    void leavingWithDebugOnLeavesPollOff();

    void crashLogCarriesSetpoints_data();
    void crashLogCarriesSetpoints();
    void pageFiveOnlyInTestMode_data();
    void pageFiveOnlyInTestMode();
};

void TestMonitorPage::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
    qRegisterMetaType<ModbusAddr>("ModbusAddr");
}

void TestMonitorPage::cleanup()
{
    monitorrig::closeDialogs();
    setPending(false, -1, 0);
}

void TestMonitorPage::formAtStart()
{
    MonitorPageRig r;
    QCOMPARE(r.page->objectName(), QStringLiteral("MonitorModuleForm"));
    for (const char* name : kReadings) {
        QLineEdit* e = r.edit(name);
        QVERIFY2(e->isReadOnly(), name);
        QCOMPARE(e->text(), QStringLiteral("0"));
        QCOMPARE(e->size(), QSize(176, 44));
    }
    for (const char* name : kSetpoints) {
        QLineEdit* e = r.edit(name);
        QVERIFY2(!e->isReadOnly(), name);
        QCOMPARE(e->text(), QStringLiteral("0"));
        QCOMPARE(e->focusPolicy(), Qt::StrongFocus);
        QCOMPARE(e->alignment(), Qt::AlignRight | Qt::AlignVCenter);
        QCOMPARE(e->validator(), static_cast<const QValidator*>(r.hub->getDoubleValidator()));
    }
    const QPair<const char*, const char*> sweep[] = {{"edt_ddsFreq", "5000000"},
                                                     {"edt_fsStart", "300000000"},
                                                     {"edt_fsEnd", "400000000"},
                                                     {"edt_fsStep", "1000000"}};
    for (const auto& s : sweep) {
        QCOMPARE(r.text(s.first), QLatin1String(s.second));
        QCOMPARE(r.edit(s.first)->validator(), static_cast<const QValidator*>(r.hub->getIntValidator()));
        QCOMPARE(r.edit(s.first)->size(), QSize(176, 44));
    }
    QCOMPARE(r.text("btn_workState"), QStringLiteral("1"));
    QCOMPARE(r.text("btn_workMode"), QStringLiteral("0"));
    auto* debug = r.child<QCheckBox>("chk_debug");
    QVERIFY(debug->isEnabled());
    QVERIFY(!debug->isChecked());
    QVERIFY(debugControlsEnabled(r, false));
    double a = -1, b = -1, c = -1;
    r.page->getSetpoints(a, b, c);
    QCOMPARE(a, 0.0);
    QCOMPARE(b, 0.0);
    QCOMPARE(c, 0.0);
    QVERIFY(r.events.isEmpty());
}

// While locked, every key in a guarded edit opens a dialog of its own and
// changes nothing; a wrong password shows the error box and keeps it locked.
void TestMonitorPage::lockedKeysOpenDialog()
{
    MonitorPageRig r;
    QVERIFY(r.showWindow());
    QVERIFY(r.enterPage());
    r.takeEvents();
    int dialogs = 0;
    for (const char* name : kSetpoints) {
        QLineEdit* e = r.edit(name);
        for (int key : {int(Qt::Key_5), int(Qt::Key_Period), int(Qt::Key_Backspace), int(Qt::Key_Return)}) {
            QTest::keyClick(e, Qt::Key(key));
            ++dialogs;
            QCOMPARE(monitorrig::passwordDialogs().size(), dialogs);
            QCOMPARE(e->text(), QStringLiteral("0"));
        }
    }
    monitorrig::closeDialogs();
    QTest::keyClick(r.edit("edt_airTempSet"), Qt::Key_7);
    QInputDialog* dialog = monitorrig::passwordDialogs().value(0);
    QVERIFY(dialog);
    QTest::keyClicks(dialog->findChild<QLineEdit*>(), QStringLiteral("Vbnq20191105"));
    QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    monitorrig::flushDeletes();
    QCOMPARE(monitorrig::errorBoxes().size(), 1);
    QCOMPARE(monitorrig::errorBoxes().first()->text(), QStringLiteral("密码错误，无法输入！"));
    monitorrig::closeDialogs();
    QTest::keyClick(r.edit("edt_airTempSet"), Qt::Key_7);
    QCOMPARE(monitorrig::passwordDialogs().size(), 1);
    QCOMPARE(r.text("edt_airTempSet"), QStringLiteral("0"));
    QVERIFY(r.events.isEmpty());
}

void TestMonitorPage::setpointWrites_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("shown");

    const QString vcselApply = QStringLiteral("01 06 9C B9 00 01 B7 BF");
    const QString defaultApply = QStringLiteral("01 06 9C CD 00 01 F7 A5");
    const QString cellApply = QStringLiteral("01 06 9C C1 00 01 37 A6");

    QTest::newRow("VCSEL 0.5") << "edt_laserTempSet"
                               << "0.5" << setpointWrite("01 10 9C BA 00 02 04 00 00 3F 00 90 52", vcselApply) << "0.5";
    QTest::newRow("VCSEL default 1.5 written as 1")
        << "edt_laserElectricSet"
        << "1.5" << setpointWrite("01 10 9C CE 00 02 04 00 00 3F 80 97 25", defaultApply) << "1";
    QTest::newRow("vapour cell 0.25") << "edt_airTempSet"
                                      << "0.25" << setpointWrite("01 10 9C C2 00 02 04 00 00 3E 80 96 E0", cellApply)
                                      << "0.25";
    QTest::newRow("vapour cell exactly 1")
        << "edt_airTempSet"
        << "1" << setpointWrite("01 10 9C C2 00 02 04 00 00 3F 80 97 70", cellApply) << "1";
    QTest::newRow("leading full stop") << "edt_laserTempSet"
                                       << ".75" << setpointWrite("01 10 9C BA 00 02 04 00 00 3F 40 91 A2", vcselApply)
                                       << "0.75";
    QTest::newRow("smallest shown in exponent form")
        << "edt_airTempSet"
        << "0.00001" << setpointWrite("01 10 9C C2 00 02 04 C5 AC 37 27 2D E7", cellApply) << "1e-05";
    // judged by value, not by length
    QTest::newRow("seven decimals written as typed")
        << "edt_laserTempSet"
        << "0.1234567" << setpointWrite("01 10 9C BA 00 02 04 D6 DE 3D FC C9 01", vcselApply) << "0.123457";
    QTest::newRow("ten characters of 0.5")
        << "edt_laserElectricSet"
        << "00000000.5" << setpointWrite("01 10 9C CE 00 02 04 00 00 3F 00 96 85", defaultApply) << "0.5";
    QTest::newRow("nine digits written as 1")
        << "edt_laserTempSet"
        << "123456789" << setpointWrite("01 10 9C BA 00 02 04 00 00 3F 80 91 F2", vcselApply) << "1";
    QTest::newRow("four hundred digits written as 1")
        << "edt_airTempSet" << QString(400, QLatin1Char('9'))
        << setpointWrite("01 10 9C C2 00 02 04 00 00 3F 80 97 70", cellApply) << "1";
    // nothing above 0: "0" in the edit, nothing sent, the poll resumes
    QTest::newRow("zero") << "edt_laserTempSet"
                          << "0" << kNothingAfter500 << "0";
    QTest::newRow("zero with decimals") << "edt_airTempSet"
                                        << "0.000" << kNothingAfter500 << "0";
    QTest::newRow("emptied") << "edt_laserElectricSet"
                             << "" << kNothingAfter500 << "0";
    QTest::newRow("lone full stop") << "edt_laserTempSet"
                                    << "." << kNothingAfter500 << "0";
    QTest::newRow("full-width digit") << "edt_airTempSet" << QStringLiteral("５") << kNothingAfter500 << "0";
}

void TestMonitorPage::setpointWrites()
{
    QFETCH(QString, edit);
    QFETCH(QString, typed);
    QFETCH(QStringList, events);
    QFETCH(QString, shown);
    MonitorPageRig r;
    QVERIFY(r.showWindow());
    QVERIFY(r.enterPage());
    emit r.hub->sig_updateFormParam(setpointsBlock(0.85, 0.12, 0.6));
    QVERIFY(r.unlock());
    r.takeEvents();

    QLineEdit* e = r.edit(edit.toLatin1().constData());
    replaceAndReturn(e, typed);
    QCOMPARE(r.takeEvents(), events);
    QCOMPARE(e->text(), shown);
    QVERIFY(!e->isModified());
    // a second editingFinished for the same change writes nothing
    QTest::keyClick(e, Qt::Key_Return);
    QCOMPARE(r.takeEvents(), L{});
}

void TestMonitorPage::ddsWrites_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("shown");

    QTest::newRow("DDS 6000000") << "edt_ddsFreq"
                                 << "6000000" << ddsWrite("01 10 9C A4 00 02 04 8D 80 00 5B 6A 5D") << "6000000";
    QTest::newRow("DDS emptied") << "edt_ddsFreq"
                                 << "" << ddsWrite("01 10 9C A4 00 02 04 2D 00 01 31 C8 0A") << "20000000";
    QTest::newRow("start 350000000") << "edt_fsStart"
                                     << "350000000" << ddsWrite("01 10 9C AA 00 02 04 93 80 14 DC A2 9B")
                                     << "350000000";
    QTest::newRow("end at the limit") << "edt_fsEnd"
                                      << "1400000000" << ddsWrite("01 10 9C AC 00 02 04 4E 00 53 72 AB 79")
                                      << "1400000000";
    QTest::newRow("step of eleven digits")
        << "edt_fsStep"
        << "99999999999" << ddsWrite("01 10 9C AE 00 02 04 4E 00 53 72 2A A0") << "1400000000";
    QTest::newRow("step with a leading zero") << "edt_fsStep"
                                              << "0123" << ddsWrite("01 10 9C AE 00 02 04 00 7B 00 00 F1 44") << "123";
    // judged by value: ten digits beyond the signed range are oversize,
    // and leading zeros do not make a small value oversize
    QTest::newRow("start beyond the signed range")
        << "edt_fsStart"
        << "2147483648" << ddsWrite("01 10 9C AA 00 02 04 4E 00 53 72 2B 53") << "1400000000";
    QTest::newRow("end, eleven characters of 5")
        << "edt_fsEnd"
        << "00000000005" << ddsWrite("01 10 9C AC 00 02 04 00 05 00 00 10 85") << "5";
    QTest::newRow("DDS zero") << "edt_ddsFreq"
                              << "0" << kNothingAfter500 << "0";
    QTest::newRow("DDS full-width digit") << "edt_ddsFreq" << QStringLiteral("５") << kNothingAfter500 << "0";
}

void TestMonitorPage::ddsWrites()
{
    QFETCH(QString, edit);
    QFETCH(QString, typed);
    QFETCH(QStringList, events);
    QFETCH(QString, shown);
    MonitorPageRig r;
    QVERIFY(r.showWindow());
    QVERIFY(r.enterPage());
    r.takeEvents();
    r.child<QCheckBox>("chk_debug")->click();
    QCOMPARE(r.takeEvents(), stateWrite(kDebugOn));

    QLineEdit* e = r.edit(edit.toLatin1().constData());
    replaceAndReturn(e, typed);
    QCOMPARE(r.takeEvents(), events);
    QCOMPARE(e->text(), shown);
    QTest::keyClick(e, Qt::Key_Return);
    QCOMPARE(r.takeEvents(), L{});
}

void TestMonitorPage::debugAndSelectors_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<bool>("controlsEnabled");

    QTest::newRow("FS Debug on") << L{"debug"} << stateWrite(kDebugOn) << true;
    QTest::newRow("FS Debug off") << L{"debug", "debug"} << stateWrite(kDebugOn) + stateWrite(kDebugOff) << false;
    QTest::newRow("work state 1") << L{"state 1"} << stateWrite("01 06 9C B6 00 01 87 BC") << false;
    QTest::newRow("work state 2") << L{"state 2"} << stateWrite("01 06 9C B6 00 02 C7 BD") << false;
    QTest::newRow("work state 3") << L{"state 3"} << stateWrite("01 06 9C B6 00 03 06 7D") << false;
    QTest::newRow("work state 4") << L{"state 4"} << stateWrite("01 06 9C B6 00 04 47 BF") << false;
    QTest::newRow("work state 2 with FS Debug on")
        << L{"debug", "state 2"} << stateWrite(kDebugOn) + stateWrite(kDebugOff) + stateWrite("01 06 9C B6 00 02 C7 BD")
        << false;
    QTest::newRow("work mode 0") << L{"debug", "mode 0"}
                                 << stateWrite(kDebugOn) + stateWrite("01 10 9C B7 00 01 02 00 01 20 1E") << true;
    QTest::newRow("work mode 1") << L{"debug", "mode 1"}
                                 << stateWrite(kDebugOn) + stateWrite("01 10 9C B7 00 01 02 00 02 60 1F") << true;
}

void TestMonitorPage::debugAndSelectors()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, events);
    QFETCH(bool, controlsEnabled);
    MonitorPageRig r;
    QVERIFY(r.showWindow());
    QVERIFY(r.enterPage());
    emit r.hub->sig_updateFormParam(block(84.97, 1.248, 59.92, 1.8, 2.5));
    r.takeEvents();
    bool stateChanged = false;
    for (const QString& step : steps) {
        const QString arg = step.section(' ', 1);
        if (step == QLatin1String("debug")) {
            r.child<QCheckBox>("chk_debug")->click();
        } else if (step.startsWith(QLatin1String("state"))) {
            QVERIFY(r.choose("btn_workState", arg));
            QTest::mouseClick(r.child<QPushButton>("btn_changeWorkState"), Qt::LeftButton);
            stateChanged = true;
        } else {
            QVERIFY(r.choose("btn_workMode", arg));
            QTest::mouseClick(r.child<QPushButton>("btn_changeWorkMode"), Qt::LeftButton);
        }
    }
    QCOMPARE(r.takeEvents(), events);
    QVERIFY(debugControlsEnabled(r, controlsEnabled));
    QCOMPARE(r.child<QCheckBox>("chk_debug")->isChecked(), controlsEnabled);
    const L expectedReadings =
        stateChanged ? L{"0", "0", "0", "0", "0"} : L{"84.97000", "1.24800", "59.92000", "1.80000", "2.50000"};
    QCOMPARE(readings(r), expectedReadings);
}

void TestMonitorPage::selectorTextNotInList()
{
    MonitorPageRig r;
    QVERIFY(r.showWindow());
    QVERIFY(r.enterPage());
    r.child<QPushButton>("btn_workState")->setText(QStringLiteral("7"));
    r.takeEvents();
    QTest::ignoreMessage(QtDebugMsg, "未找到该状态");
    QTest::mouseClick(r.child<QPushButton>("btn_changeWorkState"), Qt::LeftButton);
    QCOMPARE(r.takeEvents(), kNothingAfter100);

    r.child<QCheckBox>("chk_debug")->click();
    r.child<QPushButton>("btn_workMode")->setText(QStringLiteral("2"));
    r.takeEvents();
    QTest::ignoreMessage(QtDebugMsg, "未找到该状态");
    QTest::mouseClick(r.child<QPushButton>("btn_changeWorkMode"), Qt::LeftButton);
    QCOMPARE(r.takeEvents(), kNothingAfter100);
}

void TestMonitorPage::parameterBlock_data()
{
    QTest::addColumn<RefreshData>("refresh");
    QTest::addColumn<QStringList>("shown");

    // PDE was 2.50000 before each row.
    QTest::newRow("readings") << block(84.97, 1.248, 59.92, 1.8, 3.25)
                              << L{"84.97000", "1.24800", "59.92000", "1.80000", "3.25000"};
    QTest::newRow("negative VCSEL reading shows 0")
        << block(-3.2, 1.248, 59.92, 1.8, 2.5) << L{"0", "1.24800", "59.92000", "1.80000", "2.50000"};
    QTest::newRow("negative lock current shows its size")
        << block(84.97, -1.25, 59.92, 1.8, 2.5) << L{"84.97000", "1.25000", "59.92000", "1.80000", "2.50000"};
    QTest::newRow("below 0.00001 shows 0")
        << block(0.000009, 0.0000099, 0.0, 0.000005, 0.000005) << L{"0", "0", "0", "0", "0"};
    QTest::newRow("0.00001 shows five decimals") << block(0.00001, 0.00001, 0.00001, 0.00001, 0.00001)
                                                 << L{"0.00001", "0.00001", "0.00001", "0.00001", "0.00001"};
    QTest::newRow("PDE 0 keeps the field")
        << block(1, 2, 3, 4, 0) << L{"1.00000", "2.00000", "3.00000", "4.00000", "2.50000"};
    QTest::newRow("negative PDE keeps the field")
        << block(1, 2, 3, -4, -1) << L{"1.00000", "2.00000", "3.00000", "0", "2.50000"};
}

void TestMonitorPage::parameterBlock()
{
    QFETCH(RefreshData, refresh);
    QFETCH(QStringList, shown);
    MonitorPageRig r;
    emit r.hub->sig_updateFormParam(block(1, 1, 1, 1, 2.5));
    QCOMPARE(r.text("edt_pdeValue"), QStringLiteral("2.50000"));
    refresh.ddsFreq = 6000000; // followed only in work mode 1
    emit r.hub->sig_updateFormParam(refresh);
    QCOMPARE(readings(r), shown);
    QCOMPARE(r.text("edt_ddsFreq"), QStringLiteral("5000000"));
}

// The first block after construction, and after each reset-all, fills the
// set-points; later blocks leave them to the operator.
void TestMonitorPage::refillRules()
{
    MonitorPageRig r;
    QVERIFY(r.showWindow());
    QVERIFY(r.enterPage());
    emit r.hub->sig_updateFormParam(setpointsBlock(85.0, 1.25, 60.0));
    QCOMPARE(r.text("edt_laserTempSet"), QStringLiteral("85.00"));
    QCOMPARE(r.text("edt_laserElectricSet"), QStringLiteral("1.25"));
    QCOMPARE(r.text("edt_airTempSet"), QStringLiteral("60.00"));
    emit r.hub->sig_updateFormParam(setpointsBlock(0.5, 0.25, 0.75));
    QCOMPARE(r.text("edt_laserTempSet"), QStringLiteral("85.00"));
    double a = 0, b = 0, c = 0;
    r.page->getSetpoints(a, b, c);
    QCOMPARE(a, 85.0);
    QCOMPARE(b, 1.25);
    QCOMPARE(c, 60.0);

    // FS Debug on, sweep edited, work mode 1, work state 3: then reset-all
    r.child<QCheckBox>("chk_debug")->click();
    replaceAndReturn(r.edit("edt_fsEnd"), QStringLiteral("5"));
    QVERIFY(r.choose("btn_workMode", QStringLiteral("1")));
    QTest::mouseClick(r.child<QPushButton>("btn_changeWorkMode"), Qt::LeftButton);
    QVERIFY(r.choose("btn_workState", QStringLiteral("3")));
    r.takeEvents();
    QTest::mouseClick(r.window->findChild<QPushButton*>(QStringLiteral("btn_reboot")), Qt::LeftButton);
    QTRY_COMPARE(r.text("edt_laserTempSet"), QStringLiteral("0"));
    const QStringList resetEvents = r.takeEvents();
    QVERIFY(resetEvents.contains(kStop));
    QVERIFY(!resetEvents.contains(kStart));
    for (const char* name : kSetpoints)
        QCOMPARE(r.text(name), QStringLiteral("0"));
    QCOMPARE(readings(r), (L{"0", "0", "0", "0", "0"}));
    QCOMPARE(r.text("edt_ddsFreq"), QStringLiteral("5000000"));
    QCOMPARE(r.text("edt_fsStart"), QStringLiteral("300000000"));
    QCOMPARE(r.text("edt_fsEnd"), QStringLiteral("400000000"));
    QCOMPARE(r.text("edt_fsStep"), QStringLiteral("1000000"));
    QCOMPARE(r.text("btn_workMode"), QStringLiteral("0"));
    QVERIFY(debugControlsEnabled(r, false));
    // kept: FS Debug and the work-state text
    QVERIFY(r.child<QCheckBox>("chk_debug")->isChecked());
    QCOMPARE(r.text("btn_workState"), QStringLiteral("3"));
    r.page->getSetpoints(a, b, c);
    QCOMPARE(a, 0.0);

    RefreshData next = setpointsBlock(0.5, 0.25, 0.75);
    next.ddsFreq = 7000000; // work mode was reset: not followed
    emit r.hub->sig_updateFormParam(next);
    QCOMPARE(r.text("edt_laserTempSet"), QStringLiteral("0.50"));
    QCOMPARE(r.text("edt_laserElectricSet"), QStringLiteral("0.25"));
    QCOMPARE(r.text("edt_airTempSet"), QStringLiteral("0.75"));
    QCOMPARE(r.text("edt_ddsFreq"), QStringLiteral("5000000"));
}

void TestMonitorPage::workModeFollowsDdsFrequency()
{
    MonitorPageRig r;
    QVERIFY(r.showWindow());
    QVERIFY(r.enterPage());
    r.child<QCheckBox>("chk_debug")->click();
    RefreshData refresh = block(1, 1, 1, 1, 1);
    refresh.ddsFreq = 6500000;
    emit r.hub->sig_updateFormParam(refresh);
    QCOMPARE(r.text("edt_ddsFreq"), QStringLiteral("5000000"));

    QVERIFY(r.choose("btn_workMode", QStringLiteral("1")));
    QTest::mouseClick(r.child<QPushButton>("btn_changeWorkMode"), Qt::LeftButton);
    emit r.hub->sig_updateFormParam(refresh);
    QCOMPARE(r.text("edt_ddsFreq"), QStringLiteral("6500000"));
    refresh.ddsFreq = 1400000000;
    emit r.hub->sig_updateFormParam(refresh);
    QCOMPARE(r.text("edt_ddsFreq"), QStringLiteral("1400000000"));

    // what the operator is typing is not overwritten until it is finished
    QLineEdit* dds = r.edit("edt_ddsFreq");
    QTest::keyClick(dds, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(dds, QStringLiteral("12"));
    refresh.ddsFreq = 6600000;
    emit r.hub->sig_updateFormParam(refresh);
    QCOMPARE(dds->text(), QStringLiteral("12"));
    r.takeEvents();
    QTest::keyClick(dds, Qt::Key_Return);
    QCOMPARE(r.takeEvents(), ddsWrite("01 10 9C A4 00 02 04 00 0C 00 00 C1 21"));
    emit r.hub->sig_updateFormParam(refresh);
    QCOMPARE(dds->text(), QStringLiteral("6600000"));

    QVERIFY(r.choose("btn_workMode", QStringLiteral("0")));
    QTest::mouseClick(r.child<QPushButton>("btn_changeWorkMode"), Qt::LeftButton);
    refresh.ddsFreq = 6700000;
    emit r.hub->sig_updateFormParam(refresh);
    QCOMPARE(dds->text(), QStringLiteral("6600000"));
}

void TestMonitorPage::pendingStatusRecord()
{
    MonitorPageRig r;
    r.rig.takeCrashLines();
    emit r.hub->sig_updateFormParam(block(84.97, -1.248, 59.92, 1.8, 2.5));
    QCOMPARE(r.rig.takeCrashLines().size(), 0);

    setPending(true, 3, 1767225600);
    emit r.hub->sig_updateFormParam(block(84.97, -1.248, 59.92, 1.8, 2.5));
    const QList<CrashLine> lines = r.rig.takeCrashLines();
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.at(0).stamp, qint64(1767225600));
    QCOMPARE(lines.at(0).text, QStringLiteral("battery State: 3 . ReadType: VCSEL = 84.97000 , VCSEL Default = "
                                              "1.24800 , VaporCell = 59.92000 , PD = 1.80000 , PDE = 2.50000."));
    {
        GlobalState& g = GlobalState::instance();
        QMutexLocker lock(&g.pendingStatusMutex);
        QVERIFY(!g.hasPendingStatus);
        QCOMPARE(g.pendingStatusCode, -1);
        QCOMPARE(g.pendingStatusTime, qint64(0));
    }
    emit r.hub->sig_updateFormParam(block(84.97, -1.248, 59.92, 1.8, 2.5));
    QCOMPARE(r.rig.takeCrashLines().size(), 0);
}

void TestMonitorPage::languageTable()
{
    struct Row {
        const char* widget;
        const char* english;
        const char* chinese;
    };
    const Row table[] = {
        {"label_4", "mV", "毫伏"},
        {"label_6", "mV", "毫伏"},
        {"label_8", "mV", "毫伏"},
        {"label_10", "mV", "毫伏"},
        {"label_5", "mA", "毫安"},
        {"label_9", "mA", "毫安"},
        {"label_11", "Work State", "工作状态"},
        {"btn_changeWorkState", "Change", "更改"},
        {"btn_changeWorkMode", "Change", "更改"},
        {"chk_debug", "FS Debug", "采样频率调试"},
        {"label_13", "Freq", "频率"},
        {"label_14", "FS Start", "起始采样频率"},
        {"label_15", "FS End", "终止采样频率"},
        {"label_16", "FS Step", "采样频率步长"},
        {"label_17", "Work Mode", "工作模式"},
        {"label_18", "mHz", "毫赫兹"},
        {"label_19", "mHz", "毫赫兹"},
        {"label_20", "mHz", "毫赫兹"},
        {"label_24", "mHz", "毫赫兹"},
        // not translated
        {"label", "VCSEL", "VCSEL"},
        {"label_12", "VCSEL Lock", "VCSEL Lock"},
        {"label_2", "Vapor Cell", "Vapor Cell"},
        {"label_3", "PD", "PD"},
        {"label_7", "PDE", "PDE"},
        {"label_21", "VCSEL", "VCSEL"},
        {"label_23", "VCSEL Default", "VCSEL Default"},
        {"label_22", "Vapor Cell", "Vapor Cell"},
    };
    const auto check = [&](MonitorPageRig& r, bool chinese) {
        for (const Row& row : table)
            QCOMPARE(r.text(row.widget), QString::fromUtf8(chinese ? row.chinese : row.english));
    };
    {
        MonitorPageRig r;
        check(r, false);
        emit r.window->sig_ChangeLanguage(1);
        check(r, true);
        emit r.window->sig_ChangeLanguage(0);
        check(r, false);
        emit r.window->sig_ChangeLanguage(1);
        check(r, true);
    }
    {
        MonitorPageRig r(1, 1); // Chinese from the start
        check(r, true);
        emit r.window->sig_ChangeLanguage(0);
        check(r, false);
    }
}

// Focus passing through a guarded edit (clicked into and away again) ends
// in editingFinished; with the text unchanged nothing is written, locked or
// not, and the refilled value is not rounded.
void TestMonitorPage::focusPassingThroughWritesNothing()
{
    MonitorPageRig r;
    QVERIFY(r.showWindow());
    QVERIFY(r.enterPage());
    emit r.hub->sig_updateFormParam(setpointsBlock(85.0, 1.25, 0.6));
    r.takeEvents();
    QLineEdit* other = r.edit("edt_laserTemp");
    QSignalSpy finished(r.edit("edt_airTempSet"), &QLineEdit::editingFinished);
    for (int round = 0; round < 2; ++round) {
        if (round == 1)
            QVERIFY(r.unlock("edt_laserElectricSet"));
        r.takeEvents();
        for (const char* name : kSetpoints) {
            QTest::mouseClick(r.edit(name), Qt::LeftButton);
            QVERIFY(r.edit(name)->hasFocus());
            QTest::mouseClick(other, Qt::LeftButton);
            QVERIFY(other->hasFocus());
        }
        QCOMPARE(r.takeEvents(), L{});
        QVERIFY(monitorrig::passwordDialogs().isEmpty());
        QCOMPARE(r.text("edt_laserTempSet"), QStringLiteral("85.00"));
        QCOMPARE(r.text("edt_laserElectricSet"), QStringLiteral("1.25"));
        QCOMPARE(r.text("edt_airTempSet"), QStringLiteral("0.60"));
    }
    // Qt emits it at least on the first focus-out, edited or not: the slot
    // did run, and wrote nothing
    QVERIFY(finished.size() >= 1);

    // the same with the DDS and sweep edits
    r.child<QCheckBox>("chk_debug")->click();
    r.takeEvents();
    for (const char* name : {"edt_ddsFreq", "edt_fsStart", "edt_fsEnd", "edt_fsStep"}) {
        QTest::mouseClick(r.edit(name), Qt::LeftButton);
        QTest::mouseClick(other, Qt::LeftButton);
    }
    QCOMPARE(r.takeEvents(), L{});

    // a change that is finished by leaving the edit is written once
    QTest::mouseClick(r.edit("edt_airTempSet"), Qt::LeftButton);
    QTest::keyClick(r.edit("edt_airTempSet"), Qt::Key_End);
    QTest::keyClick(r.edit("edt_airTempSet"), Qt::Key_Backspace);
    QTest::keyClick(r.edit("edt_airTempSet"), Qt::Key_5); // "0.65"
    QTest::mouseClick(other, Qt::LeftButton);
    QCOMPARE(r.takeEvents(), setpointWrite("01 10 9C C2 00 02 04 66 66 3F 26 E9 9D", "01 06 9C C1 00 01 37 A6"));
}

// Leaving the page with FS Debug on writes 1 to 40118 but leaves the
// parameter poll off: the main page's traffic takes over alone.
void TestMonitorPage::leavingWithDebugOnLeavesPollOff()
{
    MonitorPageRig r;
    QVERIFY(r.showWindow());
    QVERIFY(r.enterPage());
    r.takeEvents();
    r.child<QCheckBox>("chk_debug")->click();
    QCOMPARE(r.takeEvents(), stateWrite(kDebugOn));
    QSignalSpy statusStarts(r.hub, &ParamManager::sig_devStatusWorkerStart);
    QTest::mouseClick(r.window->findChild<QPushButton*>(QStringLiteral("btnMain")), Qt::LeftButton);
    QCOMPARE(r.takeEvents(), (L{kStop, kStop, "wait 100", kDebugOff, "wait 100"}));
    QVERIFY(!r.child<QCheckBox>("chk_debug")->isChecked());
    QCOMPARE(statusStarts.size(), 1); // the main page's status poll

    // back on the page, writes resume the poll again
    QVERIFY(r.enterPage());
    QCOMPARE(r.takeEvents(), L{kStart});
    r.child<QCheckBox>("chk_debug")->click();
    QCOMPARE(r.takeEvents(), stateWrite(kDebugOn));
    // leaving for the configuration page: the same
    QTest::mouseClick(r.window->findChild<QPushButton*>(QStringLiteral("btnConfig")), Qt::LeftButton);
    const QStringList events = r.takeEvents();
    QCOMPARE(events.mid(0, 5), (L{kStop, kStop, "wait 100", kDebugOff, "wait 100"}));
    QCOMPARE(events.mid(5), L{kStart}); // the configuration page's own poll
}

void TestMonitorPage::crashLogCarriesSetpoints_data()
{
    QTest::addColumn<int>("isTest");
    QTest::newRow("test mode") << 1;
    QTest::newRow("service page not stacked") << 0;
}

// The main page's "Connect Com success" line carries the set-points of the
// parameter block, through the service page, whether it is shown or not.
void TestMonitorPage::crashLogCarriesSetpoints()
{
    QFETCH(int, isTest);
    MonitorPageRig r(isTest);
    r.rig.takeCrashLines();
    emit r.hub->sig_updateFormParam(setpointsBlock(0.85, 0.12, 0.6));
    emit r.hub->sig_connected();
    QTRY_VERIFY(!r.rig.crashSpy->isEmpty());
    const QStringList texts = r.rig.takeCrashTexts();
    QCOMPARE(
        texts.first(),
        QStringLiteral("Connect Com success. SetType: VCSEL = 0.8500 , VCSEL Default = 0.1200 , VaporCell = 0.6000."));
}

void TestMonitorPage::pageFiveOnlyInTestMode_data()
{
    QTest::addColumn<int>("isTest");
    QTest::newRow("isTest 1") << 1;
    QTest::newRow("isTest 0") << 0;
}

void TestMonitorPage::pageFiveOnlyInTestMode()
{
    QFETCH(int, isTest);
    MonitorPageRig r(isTest);
    QVERIFY(r.showWindow());
    auto* stack = r.window->findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
    auto* tab = r.window->findChild<QPushButton*>(QStringLiteral("btnMonitor"));
    QCOMPARE(stack->indexOf(r.page) >= 0, isTest == 1);
    QCOMPARE(tab->isVisible(), isTest == 1);
    // it receives the parameter block either way
    emit r.hub->sig_updateFormParam(block(84.97, 1.248, 59.92, 1.8, 2.5));
    QCOMPARE(r.text("edt_laserTemp"), QStringLiteral("84.97000"));
    if (isTest == 1) {
        QVERIFY(r.enterPage());
        QCOMPARE(stack->currentWidget(), r.page);
        QCOMPARE(r.takeEvents(), L{kStart});
    } else {
        QVERIFY(!r.page->isVisible());
        QVERIFY(r.events.isEmpty());
    }
}

QTEST_MAIN(TestMonitorPage)
#include "tst_monitorpage.moc"
