// Edge cases of SignalFilter that the scipy comparison cannot reach: error
// texts, short inputs, degenerate designs, slices and the linear solve.
// Expected values are written out by hand (or follow from Python's slicing
// rules and from the filters' unit gain at 0 Hz).

#include "processing/signalfilter.h"

#include <QtTest>

#include <cmath>
#include <stdexcept>
#include <vector>

using Vec = std::vector<double>;
using Matrix = std::vector<std::vector<double>>;
using QVec = QVector<double>;

Q_DECLARE_METATYPE(Vec)
Q_DECLARE_METATYPE(Matrix)

namespace {

enum ErrorType { InvalidArgument, RuntimeError };

QVec ramp(int n)
{
    // Field level with drift and a wobble, so that any filtering shows.
    QVec x(n);
    for (int i = 0; i < n; ++i)
        x[i] = 3.5e8 + 15.0 * i + 700.0 * std::sin(0.9 * i);
    return x;
}

Vec toStd(const QVec& v)
{
    return Vec(v.begin(), v.end());
}

} // namespace

class TestSignalFilter : public QObject
{
    Q_OBJECT

private slots:
    void lfilterRefusesMisuse_data();
    void lfilterRefusesMisuse();
    void poleAtOneCannotBeSolved_data();
    void poleAtOneCannotBeSolved();
    void solveLinear_data();
    void solveLinear();
    void shortInputsComeBackUnchanged_data();
    void shortInputsComeBackUnchanged();
    void degenerateDesignsPassThrough_data();
    void degenerateDesignsPassThrough();
    void cutoffIsClamped_data();
    void cutoffIsClamped();
    void designedZerosAreExact_data();
    void designedZerosAreExact();
    void constantInputKeepsItsLevel_data();
    void constantInputKeepsItsLevel();
    void sliceWithStepZeroIsEmpty_data();
    void sliceWithStepZeroIsEmpty();
    void pySlice_data();
    void pySlice();
    void axisSlice_data();
    void axisSlice();
    void oddExtension_data();
    void oddExtension();
    void stateShapes();
};

void TestSignalFilter::lfilterRefusesMisuse_data()
{
    QTest::addColumn<Vec>("b");
    QTest::addColumn<Vec>("a");
    QTest::addColumn<Vec>("zi");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("message");

    const Vec ok3{0.5, 0.2, 0.1};
    const Vec a3{1.0, -0.5, 0.1};
    const Vec zi2{0.0, 0.0};
    const QString ba = QStringLiteral("b/a must be length-3 vectors");
    const QString zi = QStringLiteral("zi must be length-2 vector");
    const QString a0 = QStringLiteral("a[0] cannot be zero");
    QTest::newRow("b of 2") << Vec{1.0, 2.0} << a3 << zi2 << int(InvalidArgument) << ba;
    QTest::newRow("a of 4") << ok3 << Vec{1.0, 0.1, 0.1, 0.1} << zi2 << int(InvalidArgument) << ba;
    QTest::newRow("b empty") << Vec{} << a3 << zi2 << int(InvalidArgument) << ba;
    QTest::newRow("zi of 1") << ok3 << a3 << Vec{0.0} << int(InvalidArgument) << zi;
    QTest::newRow("zi of 3") << ok3 << a3 << Vec{0.0, 0.0, 0.0} << int(InvalidArgument) << zi;
    QTest::newRow("a0 zero") << ok3 << Vec{0.0, -0.5, 0.1} << zi2 << int(RuntimeError) << a0;
    // The checks run in the order b/a, zi, a[0].
    QTest::newRow("b and zi wrong") << Vec{1.0} << a3 << Vec{0.0} << int(InvalidArgument) << ba;
    QTest::newRow("zi wrong and a0 zero") << ok3 << Vec{0.0, 1.0, 1.0} << Vec{} << int(InvalidArgument) << zi;
}

void TestSignalFilter::lfilterRefusesMisuse()
{
    QFETCH(Vec, b);
    QFETCH(Vec, a);
    QFETCH(Vec, zi);
    QFETCH(int, type);
    QFETCH(QString, message);

    const SignalFilter f;
    const Vec x{1.0, 2.0, 3.0};
    try {
        f.lfilter(b, a, x, zi);
        QFAIL("no exception");
    } catch (const std::invalid_argument& e) {
        QCOMPARE(type, int(InvalidArgument));
        QCOMPARE(QString::fromLatin1(e.what()), message);
    } catch (const std::runtime_error& e) {
        QCOMPARE(type, int(RuntimeError));
        QCOMPARE(QString::fromLatin1(e.what()), message);
    }
}

void TestSignalFilter::poleAtOneCannotBeSolved_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Vec>("b");
    QTest::addColumn<Vec>("a");

    const Vec b{1.0, 0.0, 0.0};
    QTest::newRow("lfilterZi, pole at 1") << "lfilterZi" << b << Vec{1.0, -1.0, 0.0};
    QTest::newRow("lfilterZi, double pole at 1") << "lfilterZi" << b << Vec{1.0, -2.0, 1.0};
    QTest::newRow("lfilterZi, a0 of 2") << "lfilterZi" << b << Vec{2.0, -4.0, 2.0};
    QTest::newRow("filtfilt, double pole at 1") << "filtfilt" << b << Vec{1.0, -2.0, 1.0};
    QTest::newRow("sosfiltfilt, double pole at 1") << "sosfiltfilt" << b << Vec{1.0, -2.0, 1.0};
}

void TestSignalFilter::poleAtOneCannotBeSolved()
{
    QFETCH(QString, path);
    QFETCH(Vec, b);
    QFETCH(Vec, a);

    const SignalFilter f;
    const QVec x = ramp(64);
    try {
        if (path == QLatin1String("lfilterZi")) {
            f.lfilterZi(QVec(b.begin(), b.end()), QVec(a.begin(), a.end()));
        } else if (path == QLatin1String("filtfilt")) {
            f.filtfilt(toStd(x), b, a);
        } else {
            SignalFilter::Sections sos(4, QVec{1.0, 0.0, 0.0, 1.0, 0.0, 0.0});
            sos[2] = QVec{b[0], b[1], b[2], a[0], a[1], a[2]};
            f.sosfiltfilt(x, sos);
        }
        QFAIL("no exception");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromLatin1(e.what()), QStringLiteral("Linear system could not be solved."));
    }
}

void TestSignalFilter::solveLinear_data()
{
    QTest::addColumn<Matrix>("A");
    QTest::addColumn<Vec>("B");
    QTest::addColumn<bool>("solved");
    QTest::addColumn<Vec>("solution");

    QTest::newRow("empty") << Matrix{} << Vec{} << true << Vec{};
    QTest::newRow("1x1") << Matrix{{4.0}} << Vec{2.0} << true << Vec{0.5};
    QTest::newRow("zero leading pivot") << Matrix{{0.0, 1.0}, {2.0, 3.0}} << Vec{1.0, 8.0} << true << Vec{2.5, 1.0};
    QTest::newRow("3x3") << Matrix{{2.0, 1.0, -1.0}, {-3.0, -1.0, 2.0}, {-2.0, 1.0, 2.0}} << Vec{8.0, -11.0, -3.0}
                         << true << Vec{2.0, 3.0, -1.0};
    QTest::newRow("singular") << Matrix{{1.0, 2.0}, {2.0, 4.0}} << Vec{1.0, 2.0} << false << Vec{};
    QTest::newRow("pivot below 1e-12") << Matrix{{1e-13, 0.0}, {0.0, 1.0}} << Vec{1.0, 1.0} << false << Vec{};
    QTest::newRow("pivot at 1e-12") << Matrix{{1e-12, 0.0}, {0.0, 1.0}} << Vec{1e-12, 1.0} << true
                                    << Vec{1.0, 1.0};
    QTest::newRow("last pivot vanishes") << Matrix{{1.0, 1.0}, {1.0, 1.0 + 1e-14}} << Vec{1.0, 1.0} << false
                                         << Vec{};
    QTest::newRow("rhs of wrong size") << Matrix{{1.0, 0.0}, {0.0, 1.0}} << Vec{1.0} << false << Vec{};
}

void TestSignalFilter::solveLinear()
{
    QFETCH(Matrix, A);
    QFETCH(Vec, B);
    QFETCH(bool, solved);
    QFETCH(Vec, solution);

    const SignalFilter f;
    QCOMPARE(f.solveLinear(A, B), solved);
    if (!solved)
        return;
    QCOMPARE(B.size(), solution.size());
    for (std::size_t i = 0; i < B.size(); ++i)
        QVERIFY2(std::abs(B[i] - solution[i]) <= 1e-12 * (1.0 + std::abs(solution[i])),
                 qPrintable(QStringLiteral("x[%1] = %2").arg(i).arg(B[i], 0, 'g', 17)));
}

void TestSignalFilter::shortInputsComeBackUnchanged_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("unchanged");

    for (int n : {0, 1, 2, 26, 27})
        QTest::addRow("sosfiltfilt %d", n) << "sosfiltfilt" << n << true;
    QTest::newRow("sosfiltfilt 28") << "sosfiltfilt" << 28 << false;
    for (int n : {0, 1, 2, 8, 9})
        QTest::addRow("notch %d", n) << "notch" << n << true;
    QTest::newRow("notch 10") << "notch" << 10 << false;
}

void TestSignalFilter::shortInputsComeBackUnchanged()
{
    QFETCH(QString, path);
    QFETCH(int, length);
    QFETCH(bool, unchanged);

    const SignalFilter f;
    const QVec x = ramp(length);
    QVec y;
    if (path == QLatin1String("sosfiltfilt")) {
        y = f.sosfiltfilt(x, f.butterSos(20, 1, 1000));
    } else {
        const Vec out = f.notchFilter(toStd(x), 50, 1000.0, 50.0);
        y = QVec(out.begin(), out.end());
    }
    QCOMPARE(y.size(), x.size());
    QCOMPARE(y == x, unchanged);
}

void TestSignalFilter::degenerateDesignsPassThrough_data()
{
    QTest::addColumn<int>("cutoff");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("fs");
    QTest::addColumn<bool>("passThrough");

    QTest::newRow("fs 2, low-pass") << 10 << 0 << 2 << true;
    QTest::newRow("fs 2, high-pass") << 10 << 1 << 2 << true;
    QTest::newRow("fs 1") << 1 << 0 << 1 << true;
    QTest::newRow("fs 0") << 5 << 1 << 0 << true;
    QTest::newRow("fs negative") << 5 << 0 << -100 << true;
    QTest::newRow("cut-off 0") << 0 << 0 << 1000 << true;
    QTest::newRow("cut-off negative") << -5 << 1 << 1000 << true;
    // Just above the boundary the design is real and usable.
    QTest::newRow("fs 3, clamped to 0.5 Hz") << 1 << 1 << 3 << false;
    QTest::newRow("cut-off 1 at fs 1000") << 1 << 1 << 1000 << false;
}

void TestSignalFilter::degenerateDesignsPassThrough()
{
    QFETCH(int, cutoff);
    QFETCH(int, kind);
    QFETCH(int, fs);
    QFETCH(bool, passThrough);

    const SignalFilter f;
    const SignalFilter::Sections sos = f.butterSos(cutoff, kind, fs);
    QCOMPARE(sos.size(), 4);
    const QVec unity{1.0, 0.0, 0.0, 1.0, 0.0, 0.0};
    bool allUnity = true;
    for (const QVec& row : sos) {
        QCOMPARE(row.size(), 6);
        allUnity = allUnity && row == unity;
    }
    QCOMPARE(allUnity, passThrough);

    const QVec x = ramp(200);
    const QVec y = f.sosfiltfilt(x, sos); // must not throw
    QCOMPARE(y.size(), x.size());
    if (passThrough)
        QCOMPARE(y, x);
    else
        QVERIFY(y != x);
}

void TestSignalFilter::cutoffIsClamped_data()
{
    QTest::addColumn<int>("cutoff");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("fs");
    QTest::addColumn<int>("clamped");

    QTest::newRow("600 at 1000") << 600 << 0 << 1000 << 499;
    QTest::newRow("500 at 1000") << 500 << 0 << 1000 << 499;
    QTest::newRow("1000 at 200, high-pass") << 1000 << 1 << 200 << 99;
    QTest::newRow("15 at 20") << 15 << 0 << 20 << 9;
}

void TestSignalFilter::cutoffIsClamped()
{
    QFETCH(int, cutoff);
    QFETCH(int, kind);
    QFETCH(int, fs);
    QFETCH(int, clamped);

    const SignalFilter f;
    QCOMPARE(f.butterSos(cutoff, kind, fs), f.butterSos(clamped, kind, fs));
}

void TestSignalFilter::designedZerosAreExact_data()
{
    QTest::addColumn<int>("cutoff");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("fs");

    for (int fs : {20, 200, 1000})
        for (int c : {1, 5, 9, 50, 300})
            for (int kind : {0, 1})
                QTest::addRow("%s %d at %d", kind ? "high" : "low", c, fs) << c << kind << fs;
}

void TestSignalFilter::designedZerosAreExact()
{
    QFETCH(int, cutoff);
    QFETCH(int, kind);
    QFETCH(int, fs);

    // All zeros sit exactly at -1 (low-pass) or +1 (high-pass): b is
    // g * (1, +-2, 1) to the bit, so 0 Hz or Nyquist is rejected exactly.
    const SignalFilter f;
    const SignalFilter::Sections sos = f.butterSos(cutoff, kind, fs);
    const double sign = kind == 0 ? 2.0 : -2.0;
    double largestA2 = 0.0;
    for (int r = 0; r < 4; ++r) {
        const QVec& row = sos[r];
        QCOMPARE(row[1], sign * row[0]);
        QCOMPARE(row[2], row[0]);
        QCOMPARE(row[3], 1.0);
        if (r > 0)
            QCOMPARE(row[0], 1.0);
        QVERIFY(row[5] > 0.0 && row[5] < 1.0); // poles inside the unit circle
        largestA2 = std::max(largestA2, row[5]);
    }
    // The last row holds the pole pair nearest the unit circle.
    QCOMPARE(sos[3][5], largestA2);
}

void TestSignalFilter::constantInputKeepsItsLevel_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<double>("expected"); // multiple of the input level

    QTest::newRow("notch 50 Q 50") << "notch" << 1.0;
    QTest::newRow("wide notch 25/10") << "notchint" << 1.0;
    QTest::newRow("notch 0.54/0.2") << "notchbw" << 1.0;
    QTest::newRow("low-pass 10 at 1000") << "lp10" << 1.0;
    QTest::newRow("low-pass 100 at 200") << "lp100_200" << 1.0;
    QTest::newRow("high-pass 1 at 1000") << "hp1" << 0.0;
    QTest::newRow("high-pass 40 at 200") << "hp40_200" << 0.0;
}

void TestSignalFilter::constantInputKeepsItsLevel()
{
    QFETCH(QString, filter);
    QFETCH(double, expected);

    // The initial states are the steady states scaled by the end samples,
    // so a constant shows no start-up transient at either end.
    const SignalFilter f;
    const double level = 3.5e8;
    const QVec x(1600, level);
    QVec y;
    if (filter == QLatin1String("notch")) {
        const Vec o = f.notchFilter(toStd(x), 50, 1000.0, 50.0);
        y = QVec(o.begin(), o.end());
    } else if (filter == QLatin1String("notchint")) {
        const Vec o = f.notchFilterIntBandwidth(toStd(x), 25, 10, 1000.0);
        y = QVec(o.begin(), o.end());
    } else if (filter == QLatin1String("notchbw")) {
        const Vec o = f.notchFilterBandwidth(toStd(x), 0.54, 0.2, 1000.0);
        y = QVec(o.begin(), o.end());
    } else if (filter == QLatin1String("lp10")) {
        y = f.sosfiltfilt(x, f.butterSos(10, 0, 1000));
    } else if (filter == QLatin1String("lp100_200")) {
        y = f.sosfiltfilt(x, f.butterSos(100, 0, 200));
    } else if (filter == QLatin1String("hp1")) {
        y = f.sosfiltfilt(x, f.butterSos(1, 1, 1000));
    } else {
        y = f.sosfiltfilt(x, f.butterSos(40, 1, 200));
    }

    QCOMPARE(y.size(), x.size());
    const double want = expected * level;
    double worst = 0.0;
    for (double v : y)
        worst = std::max(worst, std::abs(v - want));
    // Rounding only. Poles close to the unit circle amplify it (the 0.54 Hz
    // notch reaches 5e-11 of the level); a wrong initial state would leave a
    // transient many orders above this bound.
    QVERIFY2(worst <= 1e-10 * level, qPrintable(QStringLiteral("largest deviation %1 mHz").arg(worst, 0, 'g', 3)));
}

void TestSignalFilter::sliceWithStepZeroIsEmpty_data()
{
    QTest::addColumn<bool>("std");
    QTest::newRow("axisSlice") << false;
    QTest::newRow("pySlice") << true;
}

void TestSignalFilter::sliceWithStepZeroIsEmpty()
{
    QFETCH(bool, std);

    const SignalFilter f;
    QTest::ignoreMessage(QtWarningMsg, "step cannot be zero");
    if (std)
        QVERIFY(f.pySlice(Vec{1.0, 2.0, 3.0}, 0, 3, 0).empty());
    else
        QVERIFY(f.axisSlice(QVec{1.0, 2.0, 3.0}, 0, 3, 0).isEmpty());
}

void TestSignalFilter::pySlice_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("stop");
    QTest::addColumn<int>("step");
    QTest::addColumn<Vec>("expected");

    // x = [10, 11, 12, 13, 14]; expectations are Python's x[start:stop:step].
    QTest::newRow("all") << 0 << 5 << 1 << Vec{10, 11, 12, 13, 14};
    QTest::newRow("stop -1") << 1 << -1 << 1 << Vec{11, 12, 13};
    QTest::newRow("every other") << 0 << 5 << 2 << Vec{10, 12, 14};
    QTest::newRow("stop past end") << 3 << 100 << 1 << Vec{13, 14};
    QTest::newRow("empty range") << 2 << 2 << 1 << Vec{};
    QTest::newRow("backwards range, forward step") << 3 << 1 << 1 << Vec{};
    QTest::newRow("start past end, forward") << 9 << -9 << 1 << Vec{};
    QTest::newRow("reverse from -2") << -2 << -7 << -1 << Vec{13, 12, 11, 10};
    QTest::newRow("reverse from past end") << 7 << 0 << -1 << Vec{14, 13, 12, 11};
    QTest::newRow("reverse by two") << 4 << -100 << -2 << Vec{14, 12, 10};
    QTest::newRow("reverse empty") << 1 << 3 << -1 << Vec{};
}

void TestSignalFilter::pySlice()
{
    QFETCH(int, start);
    QFETCH(int, stop);
    QFETCH(int, step);
    QFETCH(Vec, expected);

    const SignalFilter f;
    QCOMPARE(f.pySlice(Vec{10, 11, 12, 13, 14}, start, stop, step), expected);
}

void TestSignalFilter::axisSlice_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("stop");
    QTest::addColumn<int>("step");
    QTest::addColumn<QVec>("expected");

    QTest::newRow("first") << 0 << 1 << 1 << QVec{10};
    QTest::newRow("reverse all") << 4 << -1 << -1 << QVec{14, 13, 12, 11, 10};
    QTest::newRow("reflection") << 3 << 0 << -1 << QVec{13, 12, 11};
    QTest::newRow("start equals stop") << 2 << 2 << 1 << QVec{};
    QTest::newRow("by two") << 1 << 5 << 2 << QVec{11, 13};
    // Past the end the walk is clipped instead of reading outside x.
    QTest::newRow("clipped past the end") << 3 << 10 << 1 << QVec{13, 14};
    QTest::newRow("clipped below zero") << 2 << -5 << -1 << QVec{12, 11, 10};
    QTest::newRow("wrong direction") << 3 << 1 << 1 << QVec{};
}

void TestSignalFilter::axisSlice()
{
    QFETCH(int, start);
    QFETCH(int, stop);
    QFETCH(int, step);
    QFETCH(QVec, expected);

    const SignalFilter f;
    QCOMPARE(f.axisSlice(QVec{10, 11, 12, 13, 14}, start, stop, step), expected);
}

void TestSignalFilter::oddExtension_data()
{
    QTest::addColumn<Vec>("x");
    QTest::addColumn<int>("n");
    QTest::addColumn<Vec>("expected");
    QTest::addColumn<bool>("qvector"); // oddExt needs more samples than n

    QTest::newRow("n 2") << Vec{1, 2, 4, 8, 16} << 2 << Vec{-2, 0, 1, 2, 4, 8, 16, 24, 28} << true;
    QTest::newRow("n 4") << Vec{1, 2, 4, 8, 16} << 4 << Vec{-14, -6, -2, 0, 1, 2, 4, 8, 16, 24, 28, 30, 31} << true;
    QTest::newRow("n 0") << Vec{1, 2, 4} << 0 << Vec{1, 2, 4} << true;
    // Only the std path tolerates n beyond the input: missing samples are skipped.
    QTest::newRow("n past the input") << Vec{1, 2, 4} << 5 << Vec{-2, 0, 1, 2, 4, 6, 7} << false;
    QTest::newRow("n negative") << Vec{1, 2, 4} << -3 << Vec{1, 2, 4} << false;
    QTest::newRow("empty") << Vec{} << 3 << Vec{} << true;
}

void TestSignalFilter::oddExtension()
{
    QFETCH(Vec, x);
    QFETCH(int, n);
    QFETCH(Vec, expected);
    QFETCH(bool, qvector);

    const SignalFilter f;
    QCOMPARE(f.oddExtStd(x, n), expected);
    if (qvector)
        QCOMPARE(f.oddExt(QVec(x.begin(), x.end()), n), QVec(expected.begin(), expected.end()));
}

void TestSignalFilter::stateShapes()
{
    const SignalFilter f;
    QVERIFY(f.sosfiltZi(SignalFilter::Sections()).isEmpty());
    QCOMPARE(f.sosfiltZi(f.butterSos(10, 0, 1000)).size(), 4);
    QCOMPARE(f.lfilterZi(QVec{1.0, 0.5}, QVec{1.0, -0.5, 0.25, 0.1}).size(), 3);
    QVERIFY(f.lfilterZi(QVec{2.0}, QVec{1.0}).isEmpty());
}

QTEST_GUILESS_MAIN(TestSignalFilter)
#include "tst_signalfilter.moc"
