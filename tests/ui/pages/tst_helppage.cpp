// The help page against the real hub: the topic shown at start and on each
// button, read as GBK from "help/" in the working folder (fixture texts are
// GBK bytes written out by hand, so a misread codec shows the wrong text),
// the button shadows, missing and malformed files, the language texts, the
// rewrite of resource paths (table), images that resolve and are drawn from
// a folder whose name holds '#', '?' and a blank, and the shipped pages with
// every picture they name.

#include "core/appfolders.h"
#include "core/logger.h"
#include "hub/hubrig.h"
#include "ui/pages/helpmoduleform.h"

#include <QDir>
#include <QFile>
#include <QGraphicsDropShadowEffect>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>

#include <memory>

namespace
{

const char* const kButtons[] = {"btn_index1", "btn_main1", "btn_sensitivity1", "btn_save1", "btn_config1"};
const char* const kFiles[] = {"index.html", "main.html", "sensitivity.html", "save.html", "config.html"};

// GBK bytes of each fixture page's text, from Python's "gbk" codec.
const char* const kGbkHex[] = {
    "b4c5c1a6bcc6b0efd6facad7d2b3", // 磁力计帮助首页
    "d6f7c4a3bfe9cbb5c3f7",         // 主模块说明
    "c1e9c3f4b6c8d3ebd4ebc9f9c6d7", // 灵敏度与噪声谱
    "cafdbeddb1a3b4e6d3ebcec4bcfe", // 数据保存与文件
    "c5e4d6c3c9a8c6b5b7b6cea7",     // 配置扫频范围
};
const char* const kTexts[] = {"磁力计帮助首页", "主模块说明", "灵敏度与噪声谱", "数据保存与文件", "配置扫频范围"};

QByteArray fixturePage(int topic)
{
    return QByteArray("<html><head><meta charset=\"gbk\"></head><body><h1>") + QByteArray::fromHex(kGbkHex[topic]) +
           QByteArray("</h1><p>topic ") + QByteArray::number(topic) + QByteArray("</p></body></html>\n");
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The five fixture pages in workDir/help.
bool writeFixtureHelp(const QString& workDir)
{
    for (int i = 0; i < 5; ++i)
        if (!writeFile(workDir + QStringLiteral("/help/") + QLatin1String(kFiles[i]), fixturePage(i)))
            return false;
    return true;
}

QString logText()
{
    QFile f(Logger::instance()->currentFileName());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The real hub and the page, built with workDir as the working folder. The
// hub's workers stop when it goes.
class HelpRig
{
public:
    explicit HelpRig(const QString& workDir, int isChinese = 0) : previous(QDir::currentPath())
    {
        QDir::setCurrent(workDir);
        hub = std::make_unique<ParamManager>(nullptr);
        hub->isChinese = isChinese;
        page = std::make_unique<HelpModuleForm>(hub.get());
    }
    ~HelpRig()
    {
        page.reset();
        stopHubWorkers(*hub);
        QDir::setCurrent(previous);
    }
    QPushButton* button(int topic) const { return page->findChild<QPushButton*>(QLatin1String(kButtons[topic])); }
    QTextBrowser* browser() const { return page->findChild<QTextBrowser*>(QStringLiteral("textBrowser")); }
    QString shown() const { return browser()->toPlainText(); }
    int checkedTopic() const
    {
        for (int i = 0; i < 5; ++i)
            if (button(i)->isChecked())
                return i;
        return -1;
    }
    // Topics whose button carries a shadow.
    QList<int> shadowed() const
    {
        QList<int> out;
        for (int i = 0; i < 5; ++i)
            if (button(i)->graphicsEffect())
                out << i;
        return out;
    }

    QString previous;
    std::unique_ptr<ParamManager> hub;
    std::unique_ptr<HelpModuleForm> page;
};

// Names of the images the shown document holds, in order.
QStringList imageNames(const QTextDocument* doc)
{
    QStringList names;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                names << it.fragment().charFormat().toImageFormat().name();
    return names;
}

QImage loadedImage(QTextBrowser* browser, const QString& name)
{
    const QVariant data = browser->loadResource(QTextDocument::ImageResource, QUrl(name));
    return QImage::fromData(data.toByteArray());
}

int pixelsOf(const QImage& image, QRgb colour)
{
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF))
                ++n;
    return n;
}

QStringList painterWarnings;
void catchPainterWarnings(QtMsgType, const QMessageLogContext&, const QString& text)
{
    if (text.contains(QLatin1String("QPainter")))
        painterWarnings << text;
}

} // namespace

class TestHelpPage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void startShowsIndex();
    void startKeepsMainWhenIndexMissing();
    void eachTopicShowsItsText_data();
    void eachTopicShowsItsText();
    void missingFileKeepsDocument();
    void malformedGbkIsLogged();
    void languageTexts_data();
    void languageTexts();
    void rewrite_data();
    void rewrite();
    void imageResolvesAndIsDrawn();
    void shippedPages_data();
    void shippedPages();

private:
    QTemporaryDir appDir; // logs of the whole run
};

void TestHelpPage::initTestCase()
{
    QVERIFY(appDir.isValid());
    AppFolders::setOverride(appDir.path());
}

void TestHelpPage::startShowsIndex()
{
    QTemporaryDir work;
    QVERIFY(writeFixtureHelp(work.path()));
    HelpRig rig(work.path());
    QCOMPARE(rig.checkedTopic(), 0);
    QCOMPARE(rig.shadowed(), QList<int>{0});
    auto* shadow = qobject_cast<QGraphicsDropShadowEffect*>(rig.button(0)->graphicsEffect());
    QVERIFY(shadow);
    QCOMPARE(shadow->blurRadius(), 2.0);
    QCOMPARE(shadow->offset(), QPointF(0, 2));
    QCOMPARE(shadow->color(), QColor(57, 138, 223, 181));
    QVERIFY2(rig.shown().contains(QString::fromUtf8(kTexts[0])), qPrintable(rig.shown()));
    QVERIFY(!rig.shown().contains(QString::fromUtf8(kTexts[1])));
    // The titles follow the language of start-up; the files do not.
    const QList<HelpItem>& items = rig.page->items();
    QCOMPARE(items.size(), 5);
    QCOMPARE(items.at(2).title, QStringLiteral("Sensitivity"));
    QCOMPARE(items.at(2).filePath, QStringLiteral("help/sensitivity.html"));
    HelpRig chinese(work.path(), 1);
    QCOMPARE(chinese.page->items().at(2).title, QStringLiteral("灵敏度模块"));
    QCOMPARE(chinese.page->items().at(2).filePath, QStringLiteral("help/sensitivity.html"));
}

void TestHelpPage::startKeepsMainWhenIndexMissing()
{
    // The main topic is read on the way to the index; without an index it stays.
    QTemporaryDir work;
    QVERIFY(writeFixtureHelp(work.path()));
    QVERIFY(QFile::remove(work.filePath(QStringLiteral("help/index.html"))));
    HelpRig rig(work.path());
    QCOMPARE(rig.checkedTopic(), 0);
    QCOMPARE(rig.shadowed(), QList<int>{0});
    QVERIFY2(rig.shown().contains(QString::fromUtf8(kTexts[1])), qPrintable(rig.shown()));
    QVERIFY(logText().contains(QStringLiteral("help file not found: %1").arg(work.filePath("help/index.html"))));
}

void TestHelpPage::eachTopicShowsItsText_data()
{
    QTest::addColumn<int>("topic");
    QTest::newRow("main") << 1;
    QTest::newRow("sensitivity") << 2;
    QTest::newRow("save") << 3;
    QTest::newRow("config") << 4;
    QTest::newRow("back to index") << 0;
}

void TestHelpPage::eachTopicShowsItsText()
{
    QFETCH(int, topic);
    QTemporaryDir work;
    QVERIFY(writeFixtureHelp(work.path()));
    HelpRig rig(work.path());
    const int other = topic == 0 ? 3 : 0;
    QTest::mouseClick(rig.button(other), Qt::LeftButton);
    QTest::mouseClick(rig.button(topic), Qt::LeftButton);
    QCOMPARE(rig.checkedTopic(), topic);
    QCOMPARE(rig.shadowed(), QList<int>{topic});
    const QString shown = rig.shown();
    QVERIFY2(shown.contains(QString::fromUtf8(kTexts[topic])), qPrintable(shown));
    QVERIFY(shown.contains(QStringLiteral("topic %1").arg(topic)));
    // A file changed on disk is read again when its topic is chosen again.
    QVERIFY(writeFile(work.filePath(QStringLiteral("help/") + QLatin1String(kFiles[topic])),
                      QByteArray("<html><body><p>second edition</p></body></html>")));
    QTest::mouseClick(rig.button(other), Qt::LeftButton);
    QTest::mouseClick(rig.button(topic), Qt::LeftButton);
    QCOMPARE(rig.shown(), QStringLiteral("second edition"));
}

void TestHelpPage::missingFileKeepsDocument()
{
    QTemporaryDir work;
    QVERIFY(writeFixtureHelp(work.path()));
    HelpRig rig(work.path());
    QTest::mouseClick(rig.button(2), Qt::LeftButton);
    QVERIFY(QFile::remove(work.filePath(QStringLiteral("help/save.html"))));
    QTest::mouseClick(rig.button(3), Qt::LeftButton);
    QCOMPARE(rig.checkedTopic(), 3);
    QCOMPARE(rig.shadowed(), QList<int>{3});
    QVERIFY(rig.shown().contains(QString::fromUtf8(kTexts[2])));
    QVERIFY(logText().contains(QStringLiteral("help file not found: %1").arg(work.filePath("help/save.html"))));
    // A folder in place of a file cannot be read: the same.
    QVERIFY(QDir().mkpath(work.filePath(QStringLiteral("help/save.html"))));
    QTest::mouseClick(rig.button(1), Qt::LeftButton);
    QTest::mouseClick(rig.button(3), Qt::LeftButton);
    QVERIFY(rig.shown().contains(QString::fromUtf8(kTexts[1])));
    QVERIFY(logText().contains(QStringLiteral("help file %1 cannot be read").arg(work.filePath("help/save.html"))));
}

void TestHelpPage::malformedGbkIsLogged()
{
    QTemporaryDir work;
    QVERIFY(writeFixtureHelp(work.path()));
    // 0x80 and a lead byte 0x81 followed by 0x7F are no GBK characters.
    QVERIFY(writeFile(work.filePath(QStringLiteral("help/config.html")),
                      QByteArray("<html><body><p>") + QByteArray::fromHex(kGbkHex[4]) + QByteArray::fromHex("80817f") +
                          QByteArray("tail</p></body></html>")));
    HelpRig rig(work.path());
    QTest::mouseClick(rig.button(4), Qt::LeftButton);
    const QString shown = rig.shown();
    QVERIFY2(shown.startsWith(QString::fromUtf8(kTexts[4])) && shown.endsWith(QLatin1String("tail")),
             qPrintable(shown));
    QVERIFY(shown.contains(QChar(QChar::ReplacementCharacter)));
    QVERIFY(logText().contains(QStringLiteral("help file help/config.html: ")));
    QVERIFY(logText().contains(QStringLiteral(" characters are not GBK; shown as replacements")));
}

void TestHelpPage::languageTexts_data()
{
    QTest::addColumn<QList<int>>("switches");
    QTest::newRow("Chinese first") << QList<int>{1, 0};
    QTest::newRow("English first") << QList<int>{0, 1, 0};
}

void TestHelpPage::languageTexts()
{
    QFETCH(QList<int>, switches);
    QTemporaryDir work;
    QVERIFY(writeFixtureHelp(work.path()));
    HelpRig rig(work.path());
    QTest::mouseClick(rig.button(2), Qt::LeftButton);
    const QString document = rig.browser()->toHtml();
    const QStringList chinese{"帮助首页", "主模块", "灵敏度模块", "数据保存模块", "配置模块"};
    const QStringList english{"Index", "Main", "Sensitivity", "Save", "Config"};
    QCOMPARE(rig.button(0)->text(), QStringLiteral(" Index")); // the form's own, with its blank
    for (int num : switches) {
        rig.page->slot_setLanguage(num);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(rig.button(i)->text(), num == 1 ? chinese.at(i) : english.at(i));
        QCOMPARE(rig.browser()->toHtml(), document);
        QCOMPARE(rig.checkedTopic(), 2);
    }
}

void TestHelpPage::rewrite_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("baseDir");
    QTest::addColumn<QString>("expected");
    const QString base = QStringLiteral("/opt/app/help");
    QTest::newRow("alt before src") << R"(<img alt="a" src="images/a.png">)" << base
                                    << R"(<img alt="a" src="/opt/app/help/images/a.png">)";
    QTest::newRow("attributes after src") << R"(<p><img alt="a" src="images/a.png" width="10"></p>)" << base
                                          << R"(<p><img alt="a" src="/opt/app/help/images/a.png" width="10"></p>)";
    QTest::newRow("link, single quotes") << R"(<link rel='x' src='css/s.css'>)" << base
                                         << R"(<link rel='x' src='/opt/app/help/css/s.css'>)";
    QTest::newRow("script, two blanks") << R"(<script  src="js/a.js"></script>)" << base
                                        << R"(<script  src="/opt/app/help/js/a.js"></script>)";
    QTest::newRow("one blank, nothing before src")
        << R"(<img src="images/a.png">)" << base << R"(<img src="images/a.png">)";
    QTest::newRow("upper-case tag") << R"(<IMG alt="a" src="images/a.png">)" << base
                                    << R"(<IMG alt="a" src="images/a.png">)";
    QTest::newRow("http kept") << R"(<img alt="a" src="http://h/a.png">)" << base
                               << R"(<img alt="a" src="http://h/a.png">)";
    QTest::newRow("https kept") << R"(<img alt="a" src="https://h/a.png">)" << base
                                << R"(<img alt="a" src="https://h/a.png">)";
    QTest::newRow("file kept") << R"(<img alt="a" src="file:///x/a.png">)" << base
                               << R"(<img alt="a" src="file:///x/a.png">)";
    QTest::newRow("upper-case scheme is a path")
        << R"(<img alt="a" src="HTTP://h/a.png">)" << base << R"(<img alt="a" src="/opt/app/help/HTTP://h/a.png">)";
    QTest::newRow("absolute path joined")
        << R"(<img alt="a" src="/abs/a.png">)" << base << R"(<img alt="a" src="/opt/app/help//abs/a.png">)";
    // Each tag once, in place; the same text in the prose stays.
    QTest::newRow("repeated image")
        << R"(<p>see images/a.png</p><img alt="1" src="images/a.png"><img alt="2" src="images/a.png">)" << base
        << R"(<p>see images/a.png</p><img alt="1" src="/opt/app/help/images/a.png">)"
           R"(<img alt="2" src="/opt/app/help/images/a.png">)";
    QTest::newRow("value that is a prefix of another")
        << R"(<img alt="1" src="a.png"><img alt="2" src="a.png.bak"><b>a.png</b>)" << base
        << R"(<img alt="1" src="/opt/app/help/a.png"><img alt="2" src="/opt/app/help/a.png.bak"><b>a.png</b>)";
    QTest::newRow("folder with #") << R"(<img alt="a" src="images/a.png">)" << QStringLiteral("/tmp/x#1/help")
                                   << R"(<img alt="a" src="/tmp/x%231/help/images/a.png">)";
    QTest::newRow("folder with ? and a blank")
        << R"(<img alt="a" src="images/a.png">)" << QStringLiteral("/tmp/what? now/help")
        << R"(<img alt="a" src="/tmp/what%3F%20now/help/images/a.png">)";
    QTest::newRow("folder with Chinese") << R"(<img alt="a" src="images/a.png">)" << QStringLiteral("/tmp/帮助/help")
                                         << R"(<img alt="a" src="/tmp/%E5%B8%AE%E5%8A%A9/help/images/a.png">)";
    QTest::newRow("folder with a quote") << R"(<img alt="a" src='images/a.png'>)" << QStringLiteral("/tmp/it's/help")
                                         << R"(<img alt="a" src='/tmp/it%27s/help/images/a.png'>)";
    QTest::newRow("drive keeps its letter") << R"(<img alt="a" src="images/a.png">)" << QStringLiteral("C:/App/help")
                                            << R"(<img alt="a" src="file:///C:/App/help/images/a.png">)";
    QTest::newRow("nothing to rewrite") << R"(<p>plain <a href="#x">text</a></p>)" << base
                                        << R"(<p>plain <a href="#x">text</a></p>)";
}

void TestHelpPage::rewrite()
{
    QFETCH(QString, html);
    QFETCH(QString, baseDir);
    QFETCH(QString, expected);
    HelpModuleForm::fixResourcePaths(html, baseDir);
    QCOMPARE(html, expected);
}

void TestHelpPage::imageResolvesAndIsDrawn()
{
    QTemporaryDir tmp;
    const QString work = tmp.filePath(QStringLiteral("run #1? x"));
    QVERIFY(QDir().mkpath(work + QStringLiteral("/help/images")));
    QVERIFY(writeFixtureHelp(work));
    QImage dot(40, 30, QImage::Format_RGB32);
    dot.fill(QColor(255, 0, 255));
    QVERIFY(dot.save(work + QStringLiteral("/help/images/dot.png")));
    QVERIFY(writeFile(work + QStringLiteral("/help/index.html"),
                      QByteArray("<html><body><p>") + QByteArray::fromHex(kGbkHex[0]) +
                          QByteArray("</p><p><img alt=\"one\" src=\"images/dot.png\"></p>"
                                     "<p>images/dot.png</p><p><img alt=\"two\" src=\"images/dot.png\"></p>"
                                     "</body></html>")));

    HelpRig rig(work);
    const QStringList names = imageNames(rig.browser()->document());
    QCOMPARE(names.size(), 2);
    // QTemporaryDir names hold letters, digits and '-' only.
    const QString expected = tmp.path() + QStringLiteral("/run%20%231%3F%20x/help/images/dot.png");
    for (const QString& name : names) {
        QCOMPARE(name, expected);
        QCOMPARE(loadedImage(rig.browser(), name).size(), QSize(40, 30));
    }
    QVERIFY(rig.shown().contains(QStringLiteral("images/dot.png")));

    painterWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(catchPainterWarnings);
    rig.page->resize(1000, 600);
    rig.page->show();
    const bool exposed = QTest::qWaitForWindowExposed(rig.page.get());
    const QImage drawn = rig.browser()->grab().toImage();
    qInstallMessageHandler(previous);
    QVERIFY(exposed);
    QVERIFY2(painterWarnings.isEmpty(), qPrintable(painterWarnings.join('\n')));
    // both pictures drawn whole (the browser may place them a pixel wider)
    const int magenta = pixelsOf(drawn, qRgb(255, 0, 255));
    QVERIFY2(magenta >= 2 * 40 * 30 && magenta <= 2 * 42 * 32, qPrintable(QString::number(magenta)));
}

void TestHelpPage::shippedPages_data()
{
    QTest::addColumn<int>("topic");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("images");
    QTest::newRow("index") << 0 << QStringLiteral("地磁量子磁力计 Terval-V1.1 使用帮助") << 2;
    QTest::newRow("main") << 1 << QStringLiteral("主模块：主面板") << 2;
    QTest::newRow("sensitivity") << 2 << QStringLiteral("灵敏度模块：频率谱") << 2;
    QTest::newRow("save") << 3 << QStringLiteral("数据保存模块：保存") << 2;
    QTest::newRow("config") << 4 << QStringLiteral("配置模块：配置") << 2;
}

void TestHelpPage::shippedPages()
{
    QFETCH(int, topic);
    QFETCH(QString, title);
    QFETCH(int, images);
    // The run folder the build assembled: the pages and their pictures.
    const QString run = qEnvironmentVariable("TERVAL_BINARY_DIR") + QStringLiteral("/run");
    QVERIFY2(QFileInfo::exists(run + QStringLiteral("/help/index.html")), qPrintable(run));
    HelpRig rig(run);
    if (topic != 0)
        QTest::mouseClick(rig.button(topic), Qt::LeftButton);
    const QString shown = rig.shown();
    QVERIFY2(shown.startsWith(title), qPrintable(shown.left(80)));
    QVERIFY(shown.contains(QLatin1String("English")));
    const QStringList names = imageNames(rig.browser()->document());
    QCOMPARE(names.size(), images);
    for (const QString& name : names) {
        QVERIFY2(name.startsWith(run + QStringLiteral("/help/images/")), qPrintable(name));
        const QImage image = loadedImage(rig.browser(), name);
        QVERIFY2(image.width() >= 400 && image.height() >= 200, qPrintable(name));
    }
}

QTEST_MAIN(TestHelpPage)
#include "tst_helppage.moc"
