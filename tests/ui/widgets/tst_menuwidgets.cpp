// CustomMenu, RoundedMenu, NegativeSpacingHBoxLayout and CustomProgressBar.
#include "ui/widgets/custommenu.h"
#include "ui/widgets/customprogressbar.h"
#include "ui/widgets/negativespacinghboxlayout.h"
#include "ui/widgets/roundedmenu.h"

#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

QPushButton* fixedButton(QWidget* parent, int width)
{
    auto* b = new QPushButton(QStringLiteral("tab"), parent);
    b->setFixedSize(width, 41);
    return b;
}

// A shown menu is clicked through its platform window, the way a real
// click arrives (popup routing included); a hidden one directly.
void clickButton(QPushButton* b)
{
    QWidget* top = b->window();
    if (top->isVisible() && top->windowHandle()) {
        QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, b->mapTo(top, b->rect().center()));
        QCoreApplication::processEvents();
    } else {
        QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, b->rect().center());
    }
}

using SegmentCalls = QList<QPair<int, bool>>; // (index, on) in call order

} // namespace

class TestMenuWidgets : public QObject
{
    Q_OBJECT
private slots:
    void menuSetup();
    void menuClickEmitsThenCloses_data();
    void menuClickEmitsThenCloses();
    void menuTextAtClickTime();
    void clearActionsThenAdd();
    void handlerRebuildsMenuDuringClick();
    void selectorOpensBelowItsButton();
    void menuPaintsRoundedWhiteCard();
    void roundedMenuMask();
    void layoutPositions_data();
    void layoutPositions();
    void layoutSpacingAccessors();
    void layoutSizeHint_data();
    void layoutSizeHint();
    void progressSegments_data();
    void progressSegments();
};

void TestMenuWidgets::menuSetup()
{
    CustomMenu menu;
    QVERIFY(menu.windowFlags().testFlag(Qt::Popup));
    QVERIFY(menu.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(menu.testAttribute(Qt::WA_TranslucentBackground));
    QCOMPARE(menu.width(), 180);
    QCOMPARE(menu.minimumWidth(), 180);
    QCOMPARE(menu.maximumWidth(), 180);
    QCOMPARE(menu.layout()->contentsMargins(), QMargins(6, 6, 6, 6));
    QCOMPARE(menu.layout()->spacing(), 0);
    menu.addAction(QStringLiteral("COM3"), QVariant());
    QPushButton* b = menu.itemButtons().value(0);
    QVERIFY(b);
    QCOMPARE(b->parentWidget(), static_cast<QWidget*>(&menu));
    QCOMPARE(b->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(b->styleSheet().contains(QStringLiteral("#2B3B50")));
    QVERIFY(b->styleSheet().contains(QStringLiteral("#2C7ED3")));
}

void TestMenuWidgets::menuClickEmitsThenCloses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("data");
    QTest::newRow("port, invalid data") << "/dev/ttyUSB0" << QVariant();
    QTest::newRow("string data") << "0.005" << QVariant(QStringLiteral("samplingRate"));
    QTest::newRow("int data") << "English" << QVariant(2);
}

void TestMenuWidgets::menuClickEmitsThenCloses()
{
    QFETCH(QString, text);
    QFETCH(QVariant, data);
    CustomMenu menu;
    menu.addAction(QStringLiteral("first"), QVariant(QStringLiteral("other")));
    menu.addAction(text, data);
    menu.adjustSize();
    menu.show();
    QVERIFY(QTest::qWaitForWindowExposed(&menu));

    QStringList texts;
    QVariantList datas;
    bool visibleWhileEmitting = false;
    connect(&menu, &CustomMenu::triggered, &menu, [&](const QString& t, const QVariant& d) {
        texts << t;
        datas << d;
        visibleWhileEmitting = menu.isVisible();
    });
    clickButton(menu.itemButtons().at(1));
    QCOMPARE(texts, QStringList{text});
    QCOMPARE(datas.at(0).isValid(), data.isValid());
    QCOMPARE(datas.at(0), data);
    QVERIFY(visibleWhileEmitting); // emitted before closing
    QVERIFY(!menu.isVisible());
}

void TestMenuWidgets::menuTextAtClickTime()
{
    CustomMenu menu;
    menu.addAction(QStringLiteral("old"), QVariant(1));
    menu.show();
    menu.itemButtons().at(0)->setText(QStringLiteral("renamed"));
    QSignalSpy spy(&menu, &CustomMenu::triggered);
    clickButton(menu.itemButtons().at(0));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("renamed"));
}

void TestMenuWidgets::clearActionsThenAdd()
{
    CustomMenu menu;
    menu.addAction(QStringLiteral("a"), QVariant());
    menu.addAction(QStringLiteral("b"), QVariant());
    menu.show();
    QPointer<QPushButton> oldA = menu.itemButtons().at(0);
    menu.clearActions();
    QVERIFY(menu.itemButtons().isEmpty());
    QVERIFY(oldA && !oldA->isVisible()); // detached and hidden, deleted later
    QCOMPARE(menu.layout()->count(), 0);
    menu.addAction(QStringLiteral("c"), QVariant(3));
    QCOMPARE(menu.itemButtons().size(), 1);
    QCOMPARE(menu.layout()->count(), 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(oldA.isNull());
    const QList<QPushButton*> alive = menu.findChildren<QPushButton*>();
    QCOMPARE(alive.size(), 1);
    QCOMPARE(alive.at(0)->text(), QStringLiteral("c"));
    // the new entry works: a button added to a shown menu appears from the
    // event loop, then it is laid out
    QCoreApplication::processEvents();
    menu.layout()->activate();
    QVERIFY(alive.at(0)->isVisible());
    QSignalSpy spy(&menu, &CustomMenu::triggered);
    clickButton(alive.at(0));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(1), QVariant(3));
}

// The port menu's refresh entry rebuilds the menu from inside the click of
// one of its own buttons; under the sanitizers this shows the button is not
// freed while its click is still running.
void TestMenuWidgets::handlerRebuildsMenuDuringClick()
{
    CustomMenu menu;
    menu.addAction(QStringLiteral("COM1"), QVariant());
    menu.addAction(QStringLiteral("刷新"), QVariant(QStringLiteral("refresh")));
    menu.show();
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    QPointer<QPushButton> clicked = menu.itemButtons().at(1);
    int rebuilds = 0;
    bool aliveAfterClear = false;
    connect(&menu, &CustomMenu::triggered, &menu, [&](const QString&, const QVariant& d) {
        if (d.toString() != QStringLiteral("refresh"))
            return;
        ++rebuilds;
        menu.clearActions();
        aliveAfterClear = !clicked.isNull();
        menu.addAction(QStringLiteral("COM1"), QVariant());
        menu.addAction(QStringLiteral("COM2"), QVariant());
        menu.addAction(QStringLiteral("刷新"), QVariant(QStringLiteral("refresh")));
    });
    clickButton(clicked); // press and release run to their end on a live button
    QCOMPARE(rebuilds, 1);
    QVERIFY(aliveAfterClear);
    QVERIFY(!menu.isVisible());
    QCOMPARE(menu.itemButtons().size(), 3);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(clicked.isNull()); // gone once the event loop had its turn
    QCOMPARE(menu.findChildren<QPushButton*>().size(), 3);
    // reopen and use the rebuilt entries
    menu.show();
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    clickButton(menu.itemButtons().at(2));
    QCOMPARE(rebuilds, 2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(menu.findChildren<QPushButton*>().size(), 3);
}

// The configuration and service pages' selectors: entries with their data,
// the style name, and the popup opening under the button's left edge.
void TestMenuWidgets::selectorOpensBelowItsButton()
{
    QWidget page;
    page.setGeometry(200, 150, 400, 300);
    auto* button = fixedButton(&page, 120);
    button->move(30, 40);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));

    std::unique_ptr<CustomMenu> menu(CustomMenu::createSelector(
        &page, {QStringLiteral("115200"), QStringLiteral("921600")}, QStringLiteral("key"), QStringLiteral("menu3")));
    QCOMPARE(menu->parentWidget(), &page);
    QCOMPARE(menu->property("name").toString(), QStringLiteral("menu3"));
    QCOMPARE(menu->itemButtons().size(), 2);
    QCOMPARE(menu->itemButtons().at(1)->text(), QStringLiteral("921600"));
    QSignalSpy chosen(menu.get(), &CustomMenu::triggered);

    menu->showBelow(button);
    QVERIFY(menu->isVisible());
    const QPoint buttonTopLeft = page.geometry().topLeft() + QPoint(30, 40);
    QCOMPARE(menu->pos(), buttonTopLeft + QPoint(0, 41));
    clickButton(menu->itemButtons().at(1));
    QCOMPARE(chosen.size(), 1);
    QCOMPARE(chosen.at(0).at(1).toString(), QStringLiteral("key"));
    QVERIFY(!menu->isVisible());
}

void TestMenuWidgets::menuPaintsRoundedWhiteCard()
{
    CustomMenu menu;
    menu.addAction(QStringLiteral("x"), QVariant());
    menu.resize(180, 60);
    menu.layout()->activate();
    const QImage img = menu.grab().toImage();
    QCOMPARE(qAlpha(img.pixel(0, 0)), 0); // rounded corner stays transparent
    QCOMPARE(qAlpha(img.pixel(179, 59)), 0);
    QCOMPARE(img.pixelColor(90, 3), QColor(Qt::white));
    QCOMPARE(img.pixelColor(2, 30), QColor(Qt::white));
}

void TestMenuWidgets::roundedMenuMask()
{
    RoundedMenu menu;
    menu.addAction(QStringLiteral("0.001"));
    menu.addAction(QStringLiteral("1"));
    menu.popup(QPoint(100, 100));
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    const int w = menu.width(), h = menu.height();
    QVERIFY(w > 20 && h > 20);
    const QRegion mask = menu.mask();
    QCOMPARE(mask.boundingRect(), QRect(0, 0, w, h));
    QVERIFY(!mask.contains(QPoint(0, 0)));
    QVERIFY(!mask.contains(QPoint(w - 1, h - 1)));
    QVERIFY(mask.contains(QPoint(w / 2, h / 2)));
    QVERIFY(mask.contains(QPoint(6, 0)));
    menu.close();
}

void TestMenuWidgets::layoutPositions_data()
{
    QTest::addColumn<int>("spacing");
    QTest::addColumn<bool>("hideMiddle");
    QTest::addColumn<QList<int>>("xs");
    QTest::newRow("-13, three tabs") << -13 << false << QList<int>{9, 153, 297};
    QTest::newRow("-13, hidden tab between") << -13 << true << QList<int>{9, 153, 297};
    QTest::newRow("0") << 0 << false << QList<int>{9, 166, 323};
    QTest::newRow("+5") << 5 << false << QList<int>{9, 171, 333};
}

// A hidden tab in between takes no room; every tab keeps its hint width and
// the full height inside the margins.
void TestMenuWidgets::layoutPositions()
{
    QFETCH(int, spacing);
    QFETCH(bool, hideMiddle);
    QFETCH(QList<int>, xs);
    QWidget host;
    host.resize(900, 50);
    auto* layout = new NegativeSpacingHBoxLayout(&host);
    layout->setContentsMargins(9, 4, 9, 5);
    layout->setSpacing(spacing);
    QList<QPushButton*> visible;
    visible << fixedButton(&host, 157);
    layout->addWidget(visible.last());
    if (hideMiddle) {
        QPushButton* hidden = fixedButton(&host, 157);
        hidden->hide();
        layout->addWidget(hidden);
    }
    visible << fixedButton(&host, 157);
    layout->addWidget(visible.last());
    visible << fixedButton(&host, 157);
    layout->addWidget(visible.last());
    layout->addStretch(1); // ignored: no stretch, no spare width handed out
    host.show();
    layout->activate();
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(visible[i]->geometry(), QRect(xs[i], 4, 157, 41));
    }
    // overlap is by stacking: the later button lies over the earlier one
    if (spacing < 0)
        QCOMPARE(host.childAt(QPoint(160, 20)), static_cast<QWidget*>(visible[1]));
}

void TestMenuWidgets::layoutSpacingAccessors()
{
    QWidget host;
    auto* layout = new NegativeSpacingHBoxLayout(&host);
    QCOMPARE(layout->spacing(), -5);
    const int baseSpacing = static_cast<QHBoxLayout*>(layout)->spacing();
    layout->setSpacing(-13);
    QCOMPARE(layout->spacing(), -13);
    QCOMPARE(static_cast<QHBoxLayout*>(layout)->spacing(), baseSpacing); // base left alone
}

void TestMenuWidgets::layoutSizeHint_data()
{
    QTest::addColumn<int>("spacing");
    QTest::addColumn<int>("buttonWidth");
    QTest::newRow("-13") << -13 << 157;
    QTest::newRow("0 equals base") << 0 << 157;
    QTest::newRow("+7 equals base") << 7 << 157;
    QTest::newRow("never below 0") << -200 << 10;
}

// Seven items, two hidden, one spacer: the hint is the plain box layout's
// hint shortened by six spacings when the spacing is negative.
void TestMenuWidgets::layoutSizeHint()
{
    QFETCH(int, spacing);
    QFETCH(int, buttonWidth);
    auto fill = [buttonWidth](QWidget* host, QHBoxLayout* layout) {
        layout->setContentsMargins(9, 0, 9, 0);
        for (int i = 0; i < 6; ++i) {
            QPushButton* b = fixedButton(host, buttonWidth);
            if (i == 1 || i == 4)
                b->hide();
            layout->addWidget(b);
        }
        layout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    };
    QWidget plainHost;
    auto* plain = new QHBoxLayout(&plainHost);
    fill(&plainHost, plain);
    QWidget host;
    auto* layout = new NegativeSpacingHBoxLayout(&host);
    fill(&host, layout);
    layout->setSpacing(spacing);
    QCOMPARE(layout->count(), 7);
    const QSize base = plain->sizeHint();
    const int expected = spacing < 0 ? qMax(0, base.width() + 6 * spacing) : base.width();
    QCOMPARE(layout->sizeHint(), QSize(expected, base.height()));
    if (spacing == -200)
        QCOMPARE(layout->sizeHint().width(), 0);
}

void TestMenuWidgets::progressSegments_data()
{
    QTest::addColumn<SegmentCalls>("calls");
    QTest::addColumn<QString>("expected"); // g green, y yellow, - not drawn
    QTest::newRow("fresh") << SegmentCalls{} << "y---";
    QTest::newRow("1 on") << SegmentCalls{{1, true}} << "ggy-";
    QTest::newRow("2 off") << SegmentCalls{{2, false}} << "ggy-";
    QTest::newRow("3 on") << SegmentCalls{{3, true}} << "gggg";
    QTest::newRow("0 off") << SegmentCalls{{0, false}} << "y---";
    QTest::newRow("index 4 ignored") << SegmentCalls{{1, true}, {4, true}} << "ggy-";
    QTest::newRow("index -1 ignored") << SegmentCalls{{2, true}, {-1, true}} << "gggy";
    QTest::newRow("lower index clears later") << SegmentCalls{{3, true}, {1, true}} << "ggy-";
}

// Width 200, height 40: segment width (200 - 25) / 4 = 43, height 30; the
// segment i is filled at x = 48 i + 8, y = 6, 41 x 28.
void TestMenuWidgets::progressSegments()
{
    QFETCH(SegmentCalls, calls);
    QFETCH(QString, expected);
    CustomProgressBar bar;
    bar.resize(200, 40);
    for (const auto& c : calls)
        bar.setSegmentState(c.first, c.second);
    const QImage img = bar.grab().toImage();
    QString seen;
    for (int i = 0; i < 4; ++i) {
        const QColor c = img.pixelColor(48 * i + 8 + 20, 20);
        if (c == QColor(Qt::green))
            seen += QLatin1Char('g');
        else if (c == QColor(Qt::yellow))
            seen += QLatin1Char('y');
        else if (c == QColor(QStringLiteral("#636363")))
            seen += QLatin1Char('-');
        else
            seen += QLatin1Char('?');
    }
    QCOMPARE(seen, expected);
}

QTEST_MAIN(TestMenuWidgets)
#include "tst_menuwidgets.moc"
