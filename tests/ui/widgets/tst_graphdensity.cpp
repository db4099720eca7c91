// The density test that decides a live chart's antialiasing must agree with
// QCustomPlot's own thinning of the line. The oracle is the line the library
// builds for drawing: unthinned, every point lies at a data key's pixel;
// thinned, it holds points between them (the extremes of pixel columns).

#include "ui/widgets/graphdensity.h"

#include <qcustomplot.h>

#include <QSet>
#include <QtTest>

namespace {

// Opens the library's line building to the test.
class ProbeGraph : public QCPGraph
{
public:
    using QCPGraph::QCPGraph;
    QVector<QPointF> drawnLine() const
    {
        QVector<QPointF> lines;
        getLines(&lines, QCPDataRange(0, dataCount()));
        return lines;
    }
};

bool libraryThins(const ProbeGraph& g)
{
    QSet<double> dataX;
    for (auto it = g.data()->constBegin(); it != g.data()->constEnd(); ++it)
        dataX.insert(g.keyAxis()->coordToPixel(it->key));
    for (const QPointF& p : g.drawnLine())
        if (!dataX.contains(p.x()))
            return true;
    return false;
}

} // namespace

class TestGraphDensity : public QObject
{
    Q_OBJECT
private slots:
    void agreesWithLibrary_data();
    void agreesWithLibrary();
    void adaptiveSamplingOff();
    void nothingToThin();
};

void TestGraphDensity::agreesWithLibrary_data()
{
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<double>("last"); // the data run from 0 to here
    QTest::addColumn<double>("perPixel");
    // perPixel: points per pixel of the visible span, around the library's
    // threshold of two and well away from it.
    for (double d : {0.5, 1.0, 1.9, 2.1, 3.0, 8.0}) {
        QTest::addRow("window, %.1f per pixel", d) << 0.0 << 10.0 << 10.0 << d;
        // The spectrum: data to 500 Hz, the axis to 150 Hz.
        QTest::addRow("partly visible, %.1f per pixel", d) << 0.0 << 150.0 << 500.0 << d;
        // The first seconds of a window: the data cover part of the axis.
        QTest::addRow("filling, %.1f per pixel", d) << 0.0 << 10.0 << 2.5 << d;
    }
}

void TestGraphDensity::agreesWithLibrary()
{
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(double, last);
    QFETCH(double, perPixel);
    QCustomPlot plot;
    plot.resize(640, 300);
    auto* g = new ProbeGraph(plot.xAxis, plot.yAxis);
    plot.xAxis->setRange(lower, upper);
    plot.yAxis->setRange(-1.5, 1.5);
    plot.replot(); // lays out the axis rect
    const double pixels = plot.xAxis->coordToPixel(std::min(last, upper)) - plot.xAxis->coordToPixel(lower);
    const int visible = int(perPixel * pixels);
    const int n = int(visible * last / std::min(last, upper));
    QVector<double> keys(n);
    QVector<double> values(n);
    for (int i = 0; i < n; ++i) {
        keys[i] = last * i / n;
        values[i] = std::sin(i * 0.7); // jumps about: every column has a spread
    }
    g->setData(keys, values, true);

    const bool thins = libraryThins(*g);
    QCOMPARE(GraphDensity::isThinned(g), thins);
    // Well away from the threshold the answer is plain.
    if (perPixel >= 3.0)
        QVERIFY(thins);
    if (perPixel <= 1.0)
        QVERIFY(!thins);

    g->setAntialiased(thins);
    GraphDensity::antialiasUnlessThinned(g);
    QCOMPARE(g->antialiased(), !thins);
}

void TestGraphDensity::adaptiveSamplingOff()
{
    QCustomPlot plot;
    plot.resize(640, 300);
    auto* g = new ProbeGraph(plot.xAxis, plot.yAxis);
    plot.xAxis->setRange(0, 10);
    plot.replot();
    QVector<double> keys(20000);
    QVector<double> values(20000);
    for (int i = 0; i < keys.size(); ++i) {
        keys[i] = i * 0.0005;
        values[i] = std::sin(i * 0.7);
    }
    g->setData(keys, values, true);
    QVERIFY(GraphDensity::isThinned(g));
    g->setAdaptiveSampling(false);
    QVERIFY(!libraryThins(*g));
    QVERIFY(!GraphDensity::isThinned(g));
    GraphDensity::antialiasUnlessThinned(g);
    QVERIFY(g->antialiased());
}

void TestGraphDensity::nothingToThin()
{
    QCustomPlot plot;
    plot.resize(640, 300);
    QCPGraph* g = plot.addGraph();
    plot.xAxis->setRange(0, 10);
    QVERIFY(!GraphDensity::isThinned(g)); // no data
    g->setData({1.0}, {2.0});
    QVERIFY(!GraphDensity::isThinned(g));
    g->setData({20.0, 21.0, 22.0}, {1.0, 2.0, 3.0}); // all beyond the axis
    QVERIFY(!GraphDensity::isThinned(g));
    QVERIFY(!GraphDensity::isThinned(nullptr));
    GraphDensity::antialiasUnlessThinned(nullptr); // no crash
}

QTEST_MAIN(TestGraphDensity)
#include "tst_graphdensity.moc"
