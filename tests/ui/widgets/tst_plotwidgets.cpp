// The crosshair of CustomPlot, the rounded card mask of RoundedCustomPlot and
// the geometry of QCPItemRoundedRect.
#include "ui/widgets/customplot.h"
#include "ui/widgets/qcpitemroundedrect.h"
#include "ui/widgets/roundedcustomplot.h"

#include <QtTest>

namespace {

// Plot of 400 x 300 whose axis rectangle sits at (50, 20), 320 x 240, with
// x from 0 to 320 and y from 0 to 2.4, so pixels map to round coordinates.
bool fixGeometry(QCustomPlot& plot)
{
    plot.resize(400, 300);
    plot.show(); // the viewport follows the size only once shown
    if (!QTest::qWaitForWindowExposed(&plot))
        return false;
    plot.axisRect()->setAutoMargins(QCP::msNone);
    plot.axisRect()->setMargins(QMargins(50, 20, 30, 40));
    plot.xAxis->setRange(0, 320);
    plot.yAxis->setRange(0, 2.4);
    plot.replot();
    return plot.axisRect()->rect() == QRect(50, 20, 320, 240);
}

struct Crosshair {
    QCPItemLine* h;
    QCPItemLine* v;
    QCPItemText* tx;
    QCPItemText* ty;
};

Crosshair crosshairOf(CustomPlot& plot)
{
    // the plot creates its four items first, in this order
    return {qobject_cast<QCPItemLine*>(plot.item(0)), qobject_cast<QCPItemLine*>(plot.item(1)),
            qobject_cast<QCPItemText*>(plot.item(2)), qobject_cast<QCPItemText*>(plot.item(3))};
}

void press(QWidget& w, Qt::MouseButton button, QPoint pos)
{
    QMouseEvent e(QEvent::MouseButtonPress, pos, w.mapToGlobal(pos), button, button, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

void release(QWidget& w, Qt::MouseButton button, QPoint pos)
{
    QMouseEvent e(QEvent::MouseButtonRelease, pos, w.mapToGlobal(pos), button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

} // namespace

class TestPlotWidgets : public QObject
{
    Q_OBJECT
private slots:
    void crosshairHiddenAtStart();
    void rightPressShowsCrosshair_data();
    void rightPressShowsCrosshair();
    void releaseKeepsTexts();
    void withoutGraphNothingShows();
    void leftPressChangesNothing();
    void hideCursorHidesTexts();
    void roundedMask();
    void roundedRectGeometry_data();
    void roundedRectGeometry();
    void roundedRectWithoutAxisRect();
};

void TestPlotWidgets::crosshairHiddenAtStart()
{
    CustomPlot plot;
    QCOMPARE(plot.itemCount(), 4);
    const Crosshair c = crosshairOf(plot);
    QVERIFY(c.h && c.v && c.tx && c.ty);
    QVERIFY(!c.h->visible() && !c.v->visible() && !c.tx->visible() && !c.ty->visible());
    QCOMPARE(c.h->pen().color(), QColor(Qt::red));
    QCOMPARE(c.tx->color(), QColor(Qt::blue));
    QCOMPARE(c.tx->position->type(), QCPItemPosition::ptAxisRectRatio);
    QCOMPARE(c.tx->position->coords(), QPointF(0.05, 0.9));
    QCOMPARE(c.ty->position->coords(), QPointF(0.2, 0.9));
}

void TestPlotWidgets::rightPressShowsCrosshair_data()
{
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<QString>("textX");
    QTest::addColumn<QString>("textY");
    // x = px - 50; y = (259 - py) / 240 * 2.4 (the bottom pixel row is 259)
    QTest::newRow("inside") << QPoint(130, 140) << 80.0 << 1.19 << "x: 80" << "y: 1.1900000000";
    QTest::newRow("left edge") << QPoint(50, 259) << 0.0 << 0.0 << "x: 0" << "y: 0.0000000000";
    QTest::newRow("fraction") << QPoint(51, 20) << 1.0 << 2.39 << "x: 1" << "y: 2.3900000000";
    QTest::newRow("outside axis rect") << QPoint(10, 290) << -40.0 << -0.31 << "x: -40" << "y: -0.3100000000";
}

void TestPlotWidgets::rightPressShowsCrosshair()
{
    QFETCH(QPoint, pixel);
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(QString, textX);
    QFETCH(QString, textY);
    CustomPlot plot;
    plot.addGraph();
    QVERIFY(fixGeometry(plot));
    const Crosshair c = crosshairOf(plot);
    press(plot, Qt::RightButton, pixel);
    QVERIFY(c.h->visible() && c.v->visible() && c.tx->visible() && c.ty->visible());
    // horizontal line across the x range at y, vertical across the y range at x
    QCOMPARE(c.h->start->coords().x(), 0.0);
    QCOMPARE(c.h->end->coords().x(), 320.0);
    QVERIFY(qAbs(c.h->start->coords().y() - y) < 1e-12);
    QVERIFY(qAbs(c.h->end->coords().y() - y) < 1e-12);
    QVERIFY(qAbs(c.v->start->coords().x() - x) < 1e-12);
    QCOMPARE(c.v->start->coords().y(), 0.0);
    QCOMPARE(c.v->end->coords().y(), 2.4);
    QCOMPARE(c.tx->text(), textX);
    QCOMPARE(c.ty->text(), textY);
}

void TestPlotWidgets::releaseKeepsTexts()
{
    CustomPlot plot;
    plot.addGraph();
    QVERIFY(fixGeometry(plot));
    const Crosshair c = crosshairOf(plot);
    press(plot, Qt::RightButton, QPoint(130, 140));
    release(plot, Qt::RightButton, QPoint(200, 200));
    QVERIFY(!c.h->visible() && !c.v->visible());
    QVERIFY(c.tx->visible() && c.ty->visible());
    QCOMPARE(c.tx->text(), QStringLiteral("x: 80")); // snapshot of the press
    // the next right press moves the read-out
    press(plot, Qt::RightButton, QPoint(290, 140));
    QCOMPARE(c.tx->text(), QStringLiteral("x: 240"));
    QVERIFY(c.h->visible());
}

void TestPlotWidgets::withoutGraphNothingShows()
{
    CustomPlot plot;
    QVERIFY(fixGeometry(plot));
    const Crosshair c = crosshairOf(plot);
    // the press still reaches the library: its own signal fires
    int libraryPresses = 0;
    QObject::connect(&plot, &QCustomPlot::mousePress, &plot, [&libraryPresses] { ++libraryPresses; });
    press(plot, Qt::RightButton, QPoint(130, 140));
    QCOMPARE(libraryPresses, 1);
    QVERIFY(!c.h->visible() && !c.v->visible() && !c.tx->visible() && !c.ty->visible());
    QCOMPARE(c.tx->text(), c.ty->text()); // both still the untouched default
}

void TestPlotWidgets::leftPressChangesNothing()
{
    CustomPlot plot;
    plot.addGraph();
    QVERIFY(fixGeometry(plot));
    const Crosshair c = crosshairOf(plot);
    int libraryPresses = 0;
    QObject::connect(&plot, &QCustomPlot::mousePress, &plot, [&libraryPresses] { ++libraryPresses; });
    press(plot, Qt::LeftButton, QPoint(130, 140));
    release(plot, Qt::LeftButton, QPoint(130, 140));
    QCOMPARE(libraryPresses, 1);
    QVERIFY(!c.h->visible() && !c.tx->visible());

    // with a crosshair shown, a left press leaves it as it is
    press(plot, Qt::RightButton, QPoint(130, 140));
    press(plot, Qt::LeftButton, QPoint(300, 50));
    QVERIFY(c.h->visible() && c.tx->visible());
    QCOMPARE(c.tx->text(), QStringLiteral("x: 80"));
}

void TestPlotWidgets::hideCursorHidesTexts()
{
    CustomPlot plot;
    plot.addGraph();
    QVERIFY(fixGeometry(plot));
    const Crosshair c = crosshairOf(plot);
    press(plot, Qt::RightButton, QPoint(130, 140));
    plot.hideCursorLines();
    QVERIFY(!c.h->visible() && c.tx->visible() && c.ty->visible());
    plot.hideCursor();
    QVERIFY(!c.tx->visible() && !c.ty->visible());
}

void TestPlotWidgets::roundedMask()
{
    QWidget host;
    host.resize(320, 220);
    RoundedCustomPlot plot(&host);
    plot.setGeometry(10, 10, 300, 200);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    const QRegion mask = plot.mask();
    QVERIFY(!mask.isEmpty());
    // corners cut with radius 11: (2, 2) lies 12.7 px from the arc centre
    // (11, 11), (4, 4) only 9.9 px
    const QPoint outside[] = {{0, 0}, {2, 2}, {299, 0}, {297, 2}, {0, 199}, {2, 197}, {299, 199}, {297, 197}};
    for (const QPoint& p : outside)
        QVERIFY2(!mask.contains(p), qPrintable(QStringLiteral("(%1,%2) inside").arg(p.x()).arg(p.y())));
    const QPoint inside[] = {{150, 100}, {5, 5}, {294, 5}, {5, 194}, {294, 194}, {150, 0}, {0, 100}, {11, 0}};
    for (const QPoint& p : inside)
        QVERIFY2(mask.contains(p), qPrintable(QStringLiteral("(%1,%2) outside").arg(p.x()).arg(p.y())));
    QCOMPARE(mask.boundingRect(), QRect(0, 0, 300, 200));

    // a mouse press at a cut corner goes to the host behind, not to the plot
    QCOMPARE(host.childAt(QPoint(10, 10) + QPoint(1, 1)), static_cast<QWidget*>(nullptr));
    QCOMPARE(host.childAt(QPoint(10, 10) + QPoint(150, 100)), static_cast<QWidget*>(&plot));

    // after a resize the mask follows
    plot.resize(100, 60);
    QCOMPARE(plot.mask().boundingRect(), QRect(0, 0, 100, 60));
    QVERIFY(!plot.mask().contains(QPoint(99, 59)));

    // the card: corners transparent, the plot drawn inside
    plot.resize(300, 200);
    plot.setBackground(Qt::NoBrush);
    const QImage img = plot.grab().toImage();
    QCOMPARE(qAlpha(img.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(img.pixel(299, 199)), 0);
    QCOMPARE(qAlpha(img.pixel(150, 5)), 255);
}

void TestPlotWidgets::roundedRectGeometry_data()
{
    QTest::addColumn<QPointF>("topLeft");
    QTest::addColumn<QPointF>("bottomRight");
    QTest::newRow("badge") << QPointF(0.005, 0.005) << QPointF(0.08, 0.07);
    QTest::newRow("corners swapped") << QPointF(0.08, 0.07) << QPointF(0.005, 0.005);
}

// On an axis rectangle at (10, 20) of 1000 x 500 the badge spans
// (15, 22.5) to (90, 55) with corners rounded by 6 px.
void TestPlotWidgets::roundedRectGeometry()
{
    QFETCH(QPointF, topLeft);
    QFETCH(QPointF, bottomRight);
    QCustomPlot plot;
    plot.resize(1100, 600);
    plot.axisRect()->setAutoMargins(QCP::msNone);
    plot.axisRect()->setMargins(QMargins(10, 20, 90, 80));
    for (QCPAxis* axis : plot.axisRect()->axes())
        axis->setVisible(false);
    plot.xAxis->grid()->setVisible(false);
    plot.yAxis->grid()->setVisible(false);
    auto* badge = new QCPItemRoundedRect(&plot);
    badge->topLeft->setType(QCPItemPosition::ptAxisRectRatio);
    badge->bottomRight->setType(QCPItemPosition::ptAxisRectRatio);
    badge->topLeft->setCoords(topLeft);
    badge->bottomRight->setCoords(bottomRight);
    badge->setPen(Qt::NoPen);
    badge->setBrush(QColor(255, 0, 0));
    badge->setSelectedBrush(QColor(0, 0, 255)); // never used
    const QImage img = plot.toPixmap(1100, 600, 1.0).toImage();
    QCOMPARE(plot.axisRect()->rect(), QRect(10, 20, 1000, 500));

    auto isRed = [&img](int x, int y) {
        const QColor c = img.pixelColor(x, y);
        return c.red() > 200 && c.green() < 60 && c.blue() < 60;
    };
    // inside, near every edge
    QVERIFY(isRed(52, 38));
    QVERIFY(isRed(16, 38));
    QVERIFY(isRed(89, 38));
    QVERIFY(isRed(52, 23));
    QVERIFY(isRed(52, 54));
    // outside every edge
    QVERIFY(!isRed(13, 38));
    QVERIFY(!isRed(92, 38));
    QVERIFY(!isRed(52, 21));
    QVERIFY(!isRed(52, 56));
    // rounded corners: the corner pixel of the rectangle stays unpainted
    QVERIFY(!isRed(15, 23));
    QVERIFY(!isRed(89, 54));
    QVERIFY(isRed(21, 28));
}

void TestPlotWidgets::roundedRectWithoutAxisRect()
{
    QCustomPlot plot;
    plot.resize(300, 200);
    auto* badge = new QCPItemRoundedRect(&plot);
    badge->topLeft->setType(QCPItemPosition::ptAxisRectRatio);
    badge->bottomRight->setType(QCPItemPosition::ptAxisRectRatio);
    badge->topLeft->setCoords(0.1, 0.1);
    badge->bottomRight->setCoords(0.9, 0.9);
    badge->setPen(Qt::NoPen);
    badge->setBrush(QColor(255, 0, 0));
    badge->setClipToAxisRect(false);
    plot.plotLayout()->clear(); // no axis rectangle left
    QCOMPARE(plot.axisRectCount(), 0);
    const QImage img = plot.toPixmap(300, 200, 1.0).toImage();
    for (int y = 0; y < 200; y += 5)
        for (int x = 0; x < 300; x += 5)
            QVERIFY(img.pixelColor(x, y).red() < 200 || img.pixelColor(x, y).green() > 60);
}

QTEST_MAIN(TestPlotWidgets)
#include "tst_plotwidgets.moc"
