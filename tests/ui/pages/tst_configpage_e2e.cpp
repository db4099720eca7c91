// The configuration page end to end: the real hub and main window, the
// simulated instrument on a socat pty pair. The identity block fills the
// sweep edits and makes the window write the current rate; on the page the
// stream stops and the parameter poll runs; a sweep edit and the baud-rate
// change land in the instrument's registers (read back from its dump) and
// the settings file, while the open port keeps working. The run ends with
// screenshots of the configuration and help pages in English and Chinese.

#include "mainpagerig.h"
#include "operatorinput.h"

#include "peers/peerprocess.h"
#include "peers/ptypair.h"
#include "ui/pages/configmoduleform.h"
#include "ui/pages/helpmoduleform.h"
#include "ui/widgets/custommenu.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QTextBrowser>
#include <QtTest>

namespace
{

bool copyTree(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = to + file.mid(from.size());
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!QFile::copy(file, target))
            return false;
    }
    return true;
}

// Screenshots go under the build folder, or to TERVAL_SHOTS_DIR when set.
QString saveScreenshot(QWidget* w, const QString& fileName)
{
    QString dir = qEnvironmentVariable("TERVAL_SHOTS_DIR");
    if (dir.isEmpty())
        dir = qEnvironmentVariable("TERVAL_BINARY_DIR", QDir::tempPath()) + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + fileName;
    return w->grab().save(path) ? path : QString();
}

bool clickShownEntry(const QString& text)
{
    QPushButton* item = shownMenuEntry(text).item;
    if (!item)
        return false;
    QTest::mouseClick(item, Qt::LeftButton);
    return true;
}

bool chooseLanguage(MainWindow& w, const QString& text)
{
    w.findChild<QPushButton*>(QStringLiteral("btn_Language"))->click();
    return clickShownEntry(text);
}

bool chooseFromSelector(MainWindow& w, const char* selector, const QString& text)
{
    QTest::mouseClick(w.findChild<QPushButton*>(QLatin1String(selector)), Qt::LeftButton);
    return clickShownEntry(text);
}

} // namespace

class TestConfigPageE2E : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void configRoad();
};

void TestConfigPageE2E::initTestCase()
{
    qRegisterMetaType<ModbusAddr>("ModbusAddr");
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestConfigPageE2E::configRoad()
{
    const QString shippedHelp = qEnvironmentVariable("TERVAL_BINARY_DIR") + QStringLiteral("/run/help");
    QVERIFY2(QFileInfo::exists(shippedHelp + QStringLiteral("/index.html")), qPrintable(shippedHelp));
    PtyPair pty;
    QVERIFY2(pty.isReady(), qPrintable(pty.errorString()));
    const QString dump = pty.filePath(QStringLiteral("regs.dump"));
    PeerProcess sim;
    QVERIFY2(sim.start(PeerProcess::programPath(QStringLiteral("sim_instrument")),
                       {QStringLiteral("--device"), pty.peerEnd(), QStringLiteral("--status"), QStringLiteral("4"),
                        QStringLiteral("--serial"), QStringLiteral("5E6F7A8B"), QStringLiteral("--sweep"),
                        QStringLiteral("150000000,650000000,20000"), QStringLiteral("--dump"), dump}),
             qPrintable(sim.errorString()));

    MainPageRig rig([&](const QString& cwd) { QVERIFY(copyTree(shippedHelp, cwd + QStringLiteral("/help"))); }, {},
                    MainPageRig::InWindow);
    // settings and help pages are read from the working folder
    const QString previous = QDir::currentPath();
    QDir::setCurrent(rig.cwd.path());
    ParamManager* hub = rig.hub.get();
    MainWindow* w = rig.window.get();
    auto* config = w->findChild<ConfigModuleForm*>();
    QVERIFY(config);
    w->resize(1280, 720);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const auto edit = [w](const char* name) { return w->findChild<QLineEdit*>(QLatin1String(name)); };
    const auto sweepTexts = [&] {
        return QStringList{edit("edt_fsStart")->text(), edit("edt_fsEnd")->text(), edit("edt_fsStep")->text()};
    };

    // The main page's choice of port, by its path.
    QSignalSpy serials(hub, &ParamManager::sig_updateSerialNumber);
    emit hub->getModbusWorkThread()->sig_connectDevice(pty.linkEnd(), hub->baudRate);
    QTRY_VERIFY_WITH_TIMEOUT(!serials.isEmpty(), 15000);
    QCOMPARE(serials.first().first().toString(), QStringLiteral("5E6F7A8B"));
    QTRY_COMPARE_WITH_TIMEOUT(sweepTexts(), (QStringList{"150000000", "650000000", "20000"}), 15000);
    QVERIFY(!config->firstParamUpdate);
    // the identity reply makes the window write the current rate (1000)
    QTRY_COMPARE_WITH_TIMEOUT(peers::readDump(dump).value(40086), 1000, 15000);
    // the status poll runs on this thread: wait with the event loop turning
    QTRY_VERIFY_WITH_TIMEOUT(hub->isRunning() && hub->isParamPollingHeld(), 15000);
    QVERIFY(sim.waitForLine(QStringLiteral("stream start"), 15000));

    // On the page the stream stops and the parameter block is polled.
    QSignalSpy params(hub, &ParamManager::sig_updateFormParam);
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnConfig")), Qt::LeftButton);
    QVERIFY(sim.waitForLine(QStringLiteral("stream stop"), 15000));
    QTRY_VERIFY_WITH_TIMEOUT(params.size() >= 1, 15000);
    QTest::qWait(300);
    const QString shotEn = saveScreenshot(w, QStringLiteral("config_page_en.png"));
    QVERIFY(!shotEn.isEmpty());
    QVERIFY(chooseLanguage(*w, QStringLiteral("中文")));
    QCOMPARE(w->findChild<QLabel*>(QStringLiteral("label_14"))->text(), QStringLiteral("起始采样频率"));
    QTest::qWait(300);
    const QString shotZh = saveScreenshot(w, QStringLiteral("config_page_zh.png"));
    QVERIFY(!shotZh.isEmpty());
    qInfo("screenshots: %s %s", qPrintable(shotEn), qPrintable(shotZh));

    // 123456789 = 0x075BCD15: 40064 low word, 40065 high word
    typeOver(edit("edt_fsStart"), QStringLiteral("123456789"));
    // empty: 20000000 = 0x01312D00
    typeOver(edit("edt_fsStep"), QString());
    QCOMPARE(edit("edt_fsStep")->text(), QStringLiteral("20000000"));
    QTRY_VERIFY_WITH_TIMEOUT(peers::readDump(dump).value(40069) == 305, 15000);
    QMap<int, int> regs = peers::readDump(dump);
    QCOMPARE(regs.value(40064), 52501);
    QCOMPARE(regs.value(40065), 1883);
    QCOMPARE(regs.value(40068), 11520);
    QVERIFY(!regs.contains(40066)); // FS End untouched

    // Baud rate: the register and the settings; the open port keeps working.
    QVERIFY(chooseFromSelector(*w, "btn_baudRate", QStringLiteral("115200")));
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btn_changeBaudRate")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(peers::readDump(dump).value(40083), 1152, 15000);
    QCOMPARE(hub->baudRate, 115200);
    QSettings ini(QStringLiteral("config.ini"), QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("Com/baudRate")).toInt(), 115200);
    const int before = params.size();
    QTRY_VERIFY_WITH_TIMEOUT(params.size() > before, 15000);

    // The help page, in Chinese and in English.
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnHelp")), Qt::LeftButton);
    auto* help = w->findChild<HelpModuleForm*>();
    auto* browser = help->findChild<QTextBrowser*>(QStringLiteral("textBrowser"));
    QTest::mouseClick(help->findChild<QPushButton*>(QStringLiteral("btn_config1")), Qt::LeftButton);
    QVERIFY2(browser->toPlainText().startsWith(QStringLiteral("配置模块：配置")),
             qPrintable(browser->toPlainText().left(40)));
    QCOMPARE(help->findChild<QPushButton*>(QStringLiteral("btn_config1"))->text(), QStringLiteral("配置模块"));
    QTest::qWait(300);
    const QString helpZh = saveScreenshot(w, QStringLiteral("help_page_zh.png"));
    QVERIFY(!helpZh.isEmpty());
    QVERIFY(chooseLanguage(*w, QStringLiteral("English")));
    QTest::mouseClick(help->findChild<QPushButton*>(QStringLiteral("btn_index1")), Qt::LeftButton);
    browser->scrollToAnchor(QStringLiteral("en-window"));
    QTest::qWait(300);
    const QString helpEn = saveScreenshot(w, QStringLiteral("help_page_en.png"));
    QVERIFY(!helpEn.isEmpty());
    qInfo("screenshots: %s %s", qPrintable(helpZh), qPrintable(helpEn));

    QVERIFY(sim.stop());
    QDir::setCurrent(previous);
}

QTEST_MAIN(TestConfigPageE2E)
#include "tst_configpage_e2e.moc"
