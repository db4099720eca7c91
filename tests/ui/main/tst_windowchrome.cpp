// The main window's own frame: the designer form, the page tabs, the window
// buttons, the 8-pixel edge band with its cursors, moving and resizing.
// Also leaves a screenshot of the bare chrome in the build folder.
#include "ui/main/mainwindow.h"

#include "core/appfolders.h"
#include "hub/parammanager.h"

#include <QButtonGroup>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// One real hub for the whole run, working in a temporary folder; its
// workers live until the process ends.
ParamManager* hub()
{
    static QTemporaryDir folder;
    static ParamManager* instance = nullptr;
    if (!instance) {
        QDir::setCurrent(folder.path());
        AppFolders::setOverride(folder.path());
        instance = new ParamManager();
    }
    return instance;
}

// The one place that builds the window for these tests. The pages take
// their own presses and moves (charts, lists); these tests are about the
// frame, so the page area lets the mouse through to the window.
std::unique_ptr<MainWindow> makeWindow()
{
    auto w = std::make_unique<MainWindow>(hub());
    auto* pages = w->findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
    for (int i = 0; i < pages->count(); ++i)
        pages->widget(i)->setAttribute(Qt::WA_TransparentForMouseEvents);
    return w;
}

template <typename T>
T* child(QWidget* w, const char* name)
{
    return w->findChild<T*>(QLatin1String(name));
}

// Sends a mouse event where the platform would: to the widget under the
// point; what the child ignores travels up to the window.
void mouseAt(MainWindow& w, QEvent::Type type, QPoint local, QPoint global, Qt::MouseButton button,
             Qt::MouseButtons buttons)
{
    QWidget* target = w.childAt(local);
    if (!target)
        target = &w;
    const QPoint pos = target->mapFrom(&w, local);
    QMouseEvent e(type, pos, w.mapTo(&w, local), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
}

void drag(MainWindow& w, QPoint from, QPoint delta)
{
    const QPoint g0 = w.geometry().topLeft() + from;
    mouseAt(w, QEvent::MouseButtonPress, from, g0, Qt::LeftButton, Qt::LeftButton);
    // two steps: each move is measured from the press, not from the last move
    mouseAt(w, QEvent::MouseMove, from + delta / 2, g0 + delta / 2, Qt::NoButton, Qt::LeftButton);
    mouseAt(w, QEvent::MouseMove, from + delta, g0 + delta, Qt::NoButton, Qt::LeftButton);
    mouseAt(w, QEvent::MouseButtonRelease, from + delta, g0 + delta, Qt::LeftButton, Qt::NoButton);
}

QImage iconImage(const QPushButton* b)
{
    return b->icon().pixmap(24, 24).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage fileImage(const QString& path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

// The window's own widget of that name, not a page's namesake.
QObject* windowOwnChild(QWidget* w, const QString& name)
{
    const auto* stack = w->findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
    for (QObject* o : w->findChildren<QObject*>(name)) {
        bool inPage = false;
        for (QObject* p = o->parent(); p && !inPage; p = p->parent())
            inPage = p == stack;
        if (!inPage)
            return o;
    }
    return nullptr;
}

} // namespace

class TestWindowChrome : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void formTree();
    void titleBarStyles();
    void tabsOverlap();
    void tabIconsFollowChecked();
    void edgeRegions_data();
    void edgeRegions();
    void moveAndResizeAtMinimum_data();
    void moveAndResizeAtMinimum();
    void pressOnChildStartsNoDrag();
    void releaseClearsRegion();
    void otherButtonsDoNotDrag();
    void maximiseAndRestore();
    void minimiseAndClose();
    void screenshot();
};

void TestWindowChrome::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
    QVERIFY(QFile::exists(QStringLiteral(":/topbackground.png")));
}

void TestWindowChrome::formTree()
{
    auto w = makeWindow();
    QCOMPARE(w->windowTitle(), QStringLiteral("Terval-V1.1"));
    QCOMPARE(w->size(), QSize(1280, 720));
    QCOMPARE(w->minimumSize(), QSize(1024, 600));
    QVERIFY(!w->windowIcon().isNull());
    QVERIFY(w->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(w->windowFlags().testFlag(Qt::Window));

    const struct {
        const char* name;
        QSize fixed;
    } sizes[] = {
        {"label_2", {162, 44}},      {"label_title", {185, 25}},  {"label_3", {23, 23}},
        {"btn_Language", {25, 25}},  {"btn_Min", {25, 25}},       {"btn_Max", {25, 25}},
        {"btn_Close", {25, 25}},     {"btn_clearPlot", {146, 44}}, {"edt_lowPass", {76, 44}},
        {"edt_highPass", {76, 44}},  {"edt_fftTime", {76, 44}},   {"edt_dataRate", {76, 44}},
        {"btn_reboot", {120, 44}},
    };
    for (const auto& s : sizes) {
        QWidget* x = child<QWidget>(w.get(), s.name);
        QVERIFY2(x, s.name);
        QCOMPARE(x->minimumSize(), s.fixed);
        QCOMPARE(x->maximumSize(), s.fixed);
    }
    for (const char* n : {"btn_Min", "btn_Max", "btn_Close"})
        QCOMPARE(child<QPushButton>(w.get(), n)->iconSize(), QSize(25, 25));
    QWidget* top = child<QWidget>(w.get(), "mainTopWidget");
    QVERIFY(top);
    QCOMPARE(top->minimumHeight(), 106);
    QCOMPARE(top->maximumHeight(), 106);
    QCOMPARE(child<QWidget>(w.get(), "widget_topButtons")->maximumHeight(), 41);
    QCOMPARE(child<QWidget>(w.get(), "bottomWidget")->minimumHeight(), 60);
    QVERIFY(child<QStackedWidget>(w.get(), "stackedWidget"));
    QCOMPARE(w->centralWidget()->objectName(), QStringLiteral("centralwidget"));

    const struct {
        const char* name;
        const char* text;
        const char* style;
    } texts[] = {
        {"btn_clearPlot", "Clear Plot", "btn"}, {"btn_reboot", "Reboot", "btnRed"},
        {"lbl_lowPass", "Low Pass", "lbl"},     {"edt_lowPass", "0", "edtb"},
        {"lbl_highPass", "High Pass", "lbl"},   {"edt_highPass", "0", "edtb"},
        {"lbl_fftTime", "FFT", "lbl"},          {"edt_fftTime", "10", "edtb"},
        {"label_FFT_Unit", "S", "lbl"},         {"label", "Data Rate", "lbl"},
        {"edt_dataRate", "0.001", "edtb"},      {"label_DataRateUnit", "S", "lbl"},
    };
    for (const auto& t : texts) {
        QObject* x = windowOwnChild(w.get(), QLatin1String(t.name));
        QVERIFY2(x, t.name);
        QCOMPARE(x->property("text").toString(), QString::fromUtf8(t.text));
        QCOMPARE(x->property("name").toString(), QString::fromUtf8(t.style));
    }
    QCOMPARE(child<QLabel>(w.get(), "label_title")->text(), QStringLiteral("地磁量子磁力计"));
    QCOMPARE(child<QLabel>(w.get(), "label_language")->text(), QStringLiteral("English"));
    QVERIFY(child<QLineEdit>(w.get(), "edt_dataRate")->isReadOnly());
    QCOMPARE(child<QLineEdit>(w.get(), "edt_fftTime")->toolTip(), QStringLiteral("1~60s"));
    QCOMPARE(child<QLineEdit>(w.get(), "edt_lowPass")->alignment(), Qt::AlignCenter);

    // the tabs: children of the tab row, created in this order, one exclusive group
    const QStringList order{"btnMain", "btnSensitivity", "btnSave", "btnHelp", "btnConfig", "btnMonitor", "btnVector"};
    const QStringList captions{"Main", "Sensitivity", "Save", "Help", "Config", "Debug", "Vector"};
    QWidget* row = child<QWidget>(w.get(), "widget_topButtons");
    QStringList created;
    for (QObject* o : row->children())
        if (qobject_cast<QPushButton*>(o))
            created << o->objectName();
    // the window raises the main tab, which puts it last in the stacking order
    QStringList stacked = order;
    stacked.move(0, stacked.size() - 1);
    QCOMPARE(created, stacked);
    auto* group = w->findChild<QButtonGroup*>(QStringLiteral("buttonGroup"));
    QVERIFY(group);
    QVERIFY(group->exclusive());
    QCOMPARE(group->buttons().size(), 7);
    for (int i = 0; i < order.size(); ++i) {
        auto* b = child<QPushButton>(row, qPrintable(order[i]));
        QCOMPARE(b->text(), captions[i]);
        QCOMPARE(b->size(), QSize(157, 41));
        QCOMPARE(group->buttons().at(i), static_cast<QAbstractButton*>(b));
        QVERIFY(b->isCheckable());
        QCOMPARE(b->property("name").toString(), order[i] == "btnVector" ? QString() : QStringLiteral("btnTool"));
        QCOMPARE(b->iconSize(), QSize(24, 24));
    }
    QVERIFY(child<QPushButton>(row, "btnMain")->isChecked());

    // every widget follows the mouse, so edge cursors show over children too
    // (the lock-lost box is a window of its own)
    for (QWidget* x : w->findChildren<QWidget*>())
        if (x->window() == w.get())
            QVERIFY2(x->hasMouseTracking(), qPrintable(x->objectName()));
}

void TestWindowChrome::titleBarStyles()
{
    auto w = makeWindow();
    const QString max = child<QPushButton>(w.get(), "btn_Max")->styleSheet();
    QVERIFY(max.contains(QStringLiteral("url(:/btnMaxNormal.png)")));
    QVERIFY(max.contains(QStringLiteral("url(:/btnMaxAt.png)")));
    QVERIFY(max.contains(QStringLiteral("url(:/btnMaxPress.png)")));
    const QString lang = child<QPushButton>(w.get(), "btn_Language")->styleSheet();
    QVERIFY(lang.contains(QStringLiteral("menu-indicator")));
    QVERIFY(lang.contains(QStringLiteral("url(:/btnLanguageAt.png)")));
    QVERIFY(child<QWidget>(w.get(), "mainTopWidget")->styleSheet().contains(QStringLiteral(":/topbackground.png")));
    // the title bar image must not spread to the labels inside it
    QVERIFY(child<QWidget>(w.get(), "mainTopWidget")->styleSheet().startsWith(QStringLiteral("#mainTopWidget")));
}

void TestWindowChrome::tabsOverlap()
{
    auto w = makeWindow();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QWidget* row = child<QWidget>(w.get(), "widget_topButtons");
    // the window hides the vector and service tabs; show them for the full row
    child<QPushButton>(row, "btnVector")->show();
    child<QPushButton>(row, "btnMonitor")->show();
    row->layout()->activate();
    const int left = row->layout()->contentsMargins().left();
    const QStringList display{"btnMain", "btnSensitivity", "btnVector", "btnSave", "btnHelp", "btnMonitor", "btnConfig"};
    for (int i = 0; i < display.size(); ++i) {
        auto* b = child<QPushButton>(row, qPrintable(display[i]));
        QCOMPARE(b->geometry(), QRect(left + i * 144, 0, 157, 41));
    }
    // hidden tabs take no room: the shown ones close up
    child<QPushButton>(row, "btnVector")->hide();
    child<QPushButton>(row, "btnMonitor")->hide();
    row->layout()->activate();
    const QStringList shown{"btnMain", "btnSensitivity", "btnSave", "btnHelp", "btnConfig"};
    for (int i = 0; i < shown.size(); ++i)
        QCOMPARE(child<QPushButton>(row, qPrintable(shown[i]))->x(), left + i * 144);
    // the title row sits above, the tabs at the bottom of the 106 px bar
    QCOMPARE(row->geometry().bottom(), 105);
    QCOMPARE(child<QWidget>(w.get(), "mainTopWidget")->height(), 106);
}

void TestWindowChrome::tabIconsFollowChecked()
{
    auto w = makeWindow();
    auto* main = child<QPushButton>(w.get(), "btnMain");
    auto* save = child<QPushButton>(w.get(), "btnSave");
    auto* vector = child<QPushButton>(w.get(), "btnVector");
    QCOMPARE(iconImage(main), fileImage(QStringLiteral(":/mainPressIcon.png")));
    QCOMPARE(iconImage(save), fileImage(QStringLiteral(":/SaveNormalIcon.png")));
    QCOMPARE(iconImage(vector), fileImage(QStringLiteral(":/SensitivityNormalIcon.png")));
    save->click();
    QVERIFY(save->isChecked() && !main->isChecked());
    QCOMPARE(iconImage(save), fileImage(QStringLiteral(":/SavePressIcon.png")));
    QCOMPARE(iconImage(main), fileImage(QStringLiteral(":/mainNormalIcon.png")));
    QVERIFY(save->styleSheet().contains(QStringLiteral("url(:/topBtnPress.png)")));
}

void TestWindowChrome::edgeRegions_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<int>("region");
    QTest::addColumn<int>("cursor"); // -1: none set
    const int hor = Qt::SizeHorCursor, ver = Qt::SizeVerCursor, fd = Qt::SizeFDiagCursor, bd = Qt::SizeBDiagCursor;
    QTest::newRow("3,3 corner before edge") << QPoint(3, 3) << 5 << fd;
    QTest::newRow("3 from left only") << QPoint(3, 360) << 1 << hor;
    QTest::newRow("x 7 left") << QPoint(7, 360) << 1 << hor;
    QTest::newRow("x 8 inside") << QPoint(8, 360) << 0 << -1;
    QTest::newRow("x w-8 inside") << QPoint(1272, 360) << 0 << -1;
    QTest::newRow("x w-7 right") << QPoint(1273, 360) << 2 << hor;
    QTest::newRow("top") << QPoint(640, 3) << 3 << ver;
    QTest::newRow("y 7 top") << QPoint(640, 7) << 3 << ver;
    QTest::newRow("y 8 inside") << QPoint(640, 8) << 0 << -1;
    QTest::newRow("y h-8 inside") << QPoint(640, 712) << 0 << -1;
    QTest::newRow("y h-7 bottom") << QPoint(640, 713) << 4 << ver;
    QTest::newRow("top right") << QPoint(1277, 3) << 6 << bd;
    QTest::newRow("bottom left") << QPoint(3, 717) << 7 << bd;
    QTest::newRow("bottom right") << QPoint(1277, 717) << 8 << fd;
    QTest::newRow("far corner pixel") << QPoint(1279, 719) << 8 << fd;
    QTest::newRow("middle") << QPoint(640, 360) << 0 << -1;
    QTest::newRow("title bar inside") << QPoint(400, 30) << 0 << -1;
}

void TestWindowChrome::edgeRegions()
{
    QFETCH(QPoint, point);
    QFETCH(int, region);
    QFETCH(int, cursor);
    auto w = makeWindow();
    w->setGeometry(50, 40, 1280, 720);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QCOMPARE(w->size(), QSize(1280, 720));
    QCOMPARE(w->edgeRegionAt(point), region);

    // a move without a button, delivered to whatever child is there
    mouseAt(*w, QEvent::MouseMove, point, w->geometry().topLeft() + point, Qt::NoButton, Qt::NoButton);
    // an unset cursor of a window reads as the arrow
    QCOMPARE(int(w->cursor().shape()), cursor < 0 ? int(Qt::ArrowCursor) : cursor);
    if (cursor >= 0) {
        // back inside, the cursor is unset again
        mouseAt(*w, QEvent::MouseMove, QPoint(640, 360), w->geometry().topLeft() + QPoint(640, 360), Qt::NoButton,
                Qt::NoButton);
        QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
        // and leaving the window takes an edge cursor away
        mouseAt(*w, QEvent::MouseMove, point, w->geometry().topLeft() + point, Qt::NoButton, Qt::NoButton);
        QCOMPARE(int(w->cursor().shape()), cursor);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(w.get(), &leave);
        QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
    }
}

void TestWindowChrome::moveAndResizeAtMinimum_data()
{
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("delta");
    QTest::addColumn<QRect>("expected");
    // the window starts at (100, 100) with its minimum size 1024 x 600
    QTest::newRow("move from the middle") << QPoint(500, 300) << QPoint(30, 40) << QRect(130, 140, 1024, 600);
    QTest::newRow("move from the title bar") << QPoint(400, 30) << QPoint(-60, 15) << QRect(40, 115, 1024, 600);
    QTest::newRow("right edge narrower stops") << QPoint(1020, 300) << QPoint(-50, 0) << QRect(100, 100, 1024, 600);
    QTest::newRow("right edge wider") << QPoint(1020, 300) << QPoint(60, 0) << QRect(100, 100, 1084, 600);
    QTest::newRow("left edge past minimum pushes") << QPoint(3, 300) << QPoint(50, 0) << QRect(150, 100, 1024, 600);
    QTest::newRow("left edge wider") << QPoint(3, 300) << QPoint(-40, 0) << QRect(60, 100, 1064, 600);
    QTest::newRow("top edge past minimum pushes") << QPoint(500, 3) << QPoint(0, 30) << QRect(100, 130, 1024, 600);
    QTest::newRow("top edge taller") << QPoint(500, 3) << QPoint(0, -20) << QRect(100, 80, 1024, 620);
    QTest::newRow("bottom edge lower stops") << QPoint(500, 597) << QPoint(0, -30) << QRect(100, 100, 1024, 600);
    QTest::newRow("bottom edge taller") << QPoint(500, 597) << QPoint(0, 25) << QRect(100, 100, 1024, 625);
    QTest::newRow("bottom right grows both") << QPoint(1021, 597) << QPoint(70, 40) << QRect(100, 100, 1094, 640);
    QTest::newRow("top left pushes both") << QPoint(3, 3) << QPoint(20, 10) << QRect(120, 110, 1024, 600);
    QTest::newRow("top right") << QPoint(1021, 3) << QPoint(-20, -15) << QRect(100, 85, 1024, 615);
    QTest::newRow("bottom left") << QPoint(3, 597) << QPoint(-10, 12) << QRect(90, 100, 1034, 612);
}

void TestWindowChrome::moveAndResizeAtMinimum()
{
    QFETCH(QPoint, from);
    QFETCH(QPoint, delta);
    QFETCH(QRect, expected);
    auto w = makeWindow();
    w->setGeometry(100, 100, 1024, 600);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QTRY_COMPARE(w->geometry(), QRect(100, 100, 1024, 600));
    drag(*w, from, delta);
    QTRY_COMPARE(w->geometry(), expected);
}

void TestWindowChrome::pressOnChildStartsNoDrag()
{
    auto w = makeWindow();
    w->setGeometry(100, 100, 1280, 720);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    // a press that a button or an edit takes never reaches the window
    for (const char* name : {"btn_clearPlot", "edt_lowPass", "btnSensitivity"}) {
        QWidget* x = child<QWidget>(w.get(), name);
        const QPoint local = x->mapTo(w.get(), x->rect().center());
        drag(*w, local, QPoint(80, 50));
        QCOMPARE(w->geometry(), QRect(100, 100, 1280, 720));
    }
}

void TestWindowChrome::releaseClearsRegion()
{
    auto w = makeWindow();
    w->setGeometry(100, 100, 1280, 720);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    drag(*w, QPoint(1277, 360), QPoint(20, 0));
    QTRY_COMPARE(w->geometry(), QRect(100, 100, 1300, 720));
    // after the release a move only updates the cursor
    const QPoint g = w->geometry().topLeft();
    mouseAt(*w, QEvent::MouseMove, QPoint(640, 360), g + QPoint(900, 500), Qt::NoButton, Qt::NoButton);
    QTest::qWait(20);
    QCOMPARE(w->geometry(), QRect(100, 100, 1300, 720));
    QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
    mouseAt(*w, QEvent::MouseMove, QPoint(3, 360), g + QPoint(3, 360), Qt::NoButton, Qt::NoButton);
    QCOMPARE(w->cursor().shape(), Qt::SizeHorCursor);
    QCOMPARE(w->geometry(), QRect(100, 100, 1300, 720));
}

void TestWindowChrome::otherButtonsDoNotDrag()
{
    auto w = makeWindow();
    w->setGeometry(100, 100, 1280, 720);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    const QPoint from(500, 300);
    const QPoint g0 = w->geometry().topLeft() + from;
    mouseAt(*w, QEvent::MouseButtonPress, from, g0, Qt::RightButton, Qt::RightButton);
    mouseAt(*w, QEvent::MouseMove, from + QPoint(40, 40), g0 + QPoint(40, 40), Qt::NoButton, Qt::RightButton);
    mouseAt(*w, QEvent::MouseButtonRelease, from, g0, Qt::RightButton, Qt::NoButton);
    QTest::qWait(20);
    QCOMPARE(w->geometry(), QRect(100, 100, 1280, 720));
}

void TestWindowChrome::maximiseAndRestore()
{
    auto w = makeWindow();
    w->setGeometry(60, 50, 1280, 720);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    auto* max = child<QPushButton>(w.get(), "btn_Max");
    max->click();
    QVERIFY(w->isMaximized());
    QVERIFY(max->styleSheet().contains(QStringLiteral("url(:/btnMaxNormal1.png)")));
    QVERIFY(max->styleSheet().contains(QStringLiteral("url(:/btnMaxAt1.png)")));
    QVERIFY(max->styleSheet().contains(QStringLiteral("url(:/btnMaxPress1.png)")));
    max->click();
    QVERIFY(!w->isMaximized());
    QTRY_COMPARE(w->geometry(), QRect(60, 50, 1280, 720));
    QVERIFY(max->styleSheet().contains(QStringLiteral("url(:/btnMaxNormal.png)")));
    QVERIFY(!max->styleSheet().contains(QStringLiteral("Normal1")));
}

void TestWindowChrome::minimiseAndClose()
{
    auto w = makeWindow();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    child<QPushButton>(w.get(), "btn_Min")->click();
    QTRY_VERIFY(w->isMinimized());
    w->showNormal();
    QTRY_VERIFY(w->isVisible());
    child<QPushButton>(w.get(), "btn_Close")->click();
    QVERIFY(!w->isVisible());
}

// The window as it opens: the vector and service tabs and the FFT row are
// hidden at start, the main tab lies on top of its neighbours.
void TestWindowChrome::screenshot()
{
    auto w = makeWindow();
    for (const char* hidden : {"btnVector", "btnMonitor", "lbl_fftTime", "edt_fftTime", "label_FFT_Unit"})
        child<QWidget>(w.get(), hidden)->hide();
    child<QWidget>(w.get(), "btnMain")->raise();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QCOMPARE(w->size(), QSize(1280, 720));
    const QImage shot = w->grab().toImage();
    QCOMPARE(shot.size(), QSize(1280, 720));

    QString dir = qEnvironmentVariable("TERVAL_BINARY_DIR");
    if (dir.isEmpty())
        dir = QDir::currentPath();
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/screenshots")));
    const QString path = dir + QStringLiteral("/screenshots/window-chrome.png");
    QVERIFY(shot.save(path));
    qInfo("screenshot: %s", qPrintable(path));

    // the chrome really is drawn: blue title bar, light page area, the bottom
    // bar's grey-blue and red pills
    const QColor bar = shot.pixelColor(640, 20);
    QVERIFY2(bar.blue() > bar.red() + 60, qPrintable(bar.name()));
    const QColor page = shot.pixelColor(640, 300);
    QVERIFY2(page.lightness() > 220, qPrintable(page.name()));
    auto* reboot = child<QWidget>(w.get(), "btn_reboot");
    const QColor red = shot.pixelColor(reboot->mapTo(w.get(), QPoint(8, 22)));
    QVERIFY2(red.red() > red.blue() + 60, qPrintable(red.name()));
}

QTEST_MAIN(TestWindowChrome)
#include "tst_windowchrome.moc"
