// Holds SignalFilter against scipy: the test-only command signalfilter_cli
// and the scipy script signalfilter_oracle.py run the same case file over
// the same generated signals, and every result is compared.
//
// Tolerances: designed coefficients and initial states within
// 1e-14 + 1e-12 * |ref|; filtered samples (around 3.5e8 mHz) within 1e-3 mHz.
// Intended differences: inputs at or below the padding length come back
// unchanged where scipy raises, and cut-offs are clamped to fs/2 - 1 (the
// script designs the clamped cut-off).

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <cmath>

namespace {

const char* const kPython = "/usr/bin/python3";
const int kProcessMs = 90000;

struct Result {
    QVector<double> values;
    QString failure; // "error ..." from ours, "raises ..." from scipy
};

enum class Kind { Coefficients, Samples };

struct Case {
    QString id;
    QString line;
    Kind kind;
    QString input;         // signal file, empty for designs
    bool expectUnchanged;  // short input: ours passes it through, scipy raises
};

} // namespace

class TestSignalFilterOracle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void agreesWithScipy_data();
    void agreesWithScipy();

private:
    QString writeSignal(int length);
    void addCase(const QString& id, const QString& op, Kind kind, const QString& input = QString(),
                 bool expectUnchanged = false);
    QHash<QString, Result> run(const QString& program, const QStringList& args, const QString& what);

    QTemporaryDir m_dir;
    QVector<Case> m_cases;
    QHash<QString, QVector<double>> m_inputs;
    QHash<QString, Result> m_ours;
    QHash<QString, Result> m_scipy;
};

QString TestSignalFilterOracle::writeSignal(int length)
{
    // Field level plus drift, with tones just off every notch centre and
    // inside the pass and stop bands of the Butterworth cases.
    static const double tones[][3] = {
        // Hz, amplitude (mHz), phase
        {0.54, 3000.0, 0.3},  {3.0, 1500.0, 1.1},   {24.6, 2500.0, 0.7},  {25.3, 2000.0, 2.0},
        {49.8, 4000.0, 0.1},  {50.2, 3500.0, 1.9},  {75.1, 2000.0, 0.4},  {124.7, 1800.0, 2.6},
        {130.0, 900.0, 0.5},  {175.3, 1600.0, 1.3}, {200.2, 1500.0, 0.9}, {224.9, 1400.0, 2.2},
        {250.1, 1300.0, 0.2}, {275.2, 1200.0, 1.7}, {299.8, 1100.0, 2.9}, {325.1, 1000.0, 0.6},
        {374.9, 900.0, 1.4},  {425.2, 800.0, 2.4},
    };
    const QString path = m_dir.filePath(QStringLiteral("signal_%1.txt").arg(length));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    QVector<double> x(length);
    QByteArray text;
    for (int i = 0; i < length; ++i) {
        double v = 3.5e8 + 20.0 * i;
        for (const auto& t : tones)
            v += t[1] * std::sin(2.0 * 3.141592653589793 * t[0] * i / 1000.0 + t[2]);
        x[i] = v;
        text += QByteArray::number(v, 'g', 17) + '\n';
    }
    f.write(text);
    m_inputs.insert(path, x);
    return path;
}

void TestSignalFilterOracle::addCase(const QString& id, const QString& op, Kind kind, const QString& input,
                                     bool expectUnchanged)
{
    m_cases.append({id, id + QLatin1Char(' ') + op + (input.isEmpty() ? QString() : QLatin1Char(' ') + input),
                    kind, input, expectUnchanged});
}

QHash<QString, Result> TestSignalFilterOracle::run(const QString& program, const QStringList& args,
                                                   const QString& what)
{
    QHash<QString, Result> out;
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        qWarning().noquote() << what << "did not start:" << p.errorString();
        return out;
    }
    if (!p.waitForFinished(kProcessMs)) {
        p.kill();
        p.waitForFinished(5000);
        qWarning().noquote() << what << "did not finish in time";
        return out;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning().noquote() << what << "failed:" << p.readAllStandardError();
        return out;
    }

    QString current;
    const QList<QByteArray> lines = p.readAllStandardOutput().split('\n');
    for (const QByteArray& raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith("== ")) {
            current = QString::fromLatin1(line.mid(3));
            out.insert(current, Result());
        } else if (line.startsWith("error ") || line.startsWith("raises ")) {
            out[current].failure = QString::fromLatin1(line);
        } else {
            bool ok = false;
            const double v = line.toDouble(&ok);
            if (!ok)
                out[current].failure = QStringLiteral("unparsable line ") + QString::fromLatin1(line);
            out[current].values.append(v);
        }
    }
    return out;
}

void TestSignalFilterOracle::initTestCase()
{
    QVERIFY(m_dir.isValid());

    // Designs: rates of the instrument and a few beyond, cut-offs on both
    // sides of the clamp at fs/2 - 1.
    const int rates[] = {20, 111, 200, 1000, 10000};
    const int cutoffs[] = {1, 2, 5, 9, 10, 49, 50, 99, 100, 300, 499, 600, 4999};
    for (int fs : rates)
        for (int c : cutoffs)
            for (int kind : {0, 1})
                addCase(QStringLiteral("butter_%1_%2_%3").arg(c).arg(kind).arg(fs),
                        QStringLiteral("butter %1 %2 %3").arg(c).arg(kind).arg(fs), Kind::Coefficients);
    addCase(QStringLiteral("butter_1_1_3"), QStringLiteral("butter 1 1 3"), Kind::Coefficients);

    const QList<QList<int>> designs = {{1, 1, 1000}, {10, 0, 1000}, {100, 0, 1000}, {600, 0, 1000},
                                       {150, 1, 1000}, {40, 1, 200}, {5, 0, 20}};
    for (const QList<int>& d : designs)
        addCase(QStringLiteral("sosfiltzi_%1_%2_%3").arg(d[0]).arg(d[1]).arg(d[2]),
                QStringLiteral("sosfiltzi %1 %2 %3").arg(d[0]).arg(d[1]).arg(d[2]), Kind::Coefficients);

    const int notches[] = {50, 75, 125, 175, 200, 225, 250, 275, 300, 325, 375, 425};
    for (int f0 : notches)
        addCase(QStringLiteral("iirnotch_%1_50").arg(f0), QStringLiteral("iirnotch %1 50 1000").arg(f0),
                Kind::Coefficients);
    addCase(QStringLiteral("iirnotch_25_2.5"), QStringLiteral("iirnotch 25 2.5 1000"), Kind::Coefficients);
    addCase(QStringLiteral("iirnotch_30_7_200"), QStringLiteral("iirnotch 30 7 200"), Kind::Coefficients);
    addCase(QStringLiteral("iirnotchbw_0.54_0.2"), QStringLiteral("iirnotchbw 0.54 0.2 1000"), Kind::Coefficients);

    const QString general = QStringLiteral("0.2 0.3 0.1 2 -1.2 0.4"); // a0 = 2: normalised on the way
    addCase(QStringLiteral("lfilterzi_general"), QStringLiteral("lfilterzi ") + general, Kind::Coefficients);
    addCase(QStringLiteral("lfilterzi_a0"), QStringLiteral("lfilterzi 2 1 0.5 4 -1 0.5"), Kind::Coefficients);

    for (int length : {9, 27, 28, 50, 1600, 10000}) {
        const QString in = writeSignal(length);
        QVERIFY2(!in.isEmpty(), "cannot write the input signal");
        const QString n = QString::number(length);
        const bool shortSos = length <= 27;
        const bool shortBiquad = length <= 9;
        for (const QList<int>& d : designs)
            addCase(QStringLiteral("sosfiltfilt_%1_%2_%3_n%4").arg(d[0]).arg(d[1]).arg(d[2]).arg(n),
                    QStringLiteral("sosfiltfilt %1 %2 %3").arg(d[0]).arg(d[1]).arg(d[2]), Kind::Samples, in,
                    shortSos);
        addCase(QStringLiteral("lfilter_n") + n, QStringLiteral("lfilter ") + general + QStringLiteral(" 3e8 -1e8"),
                Kind::Samples, in);
        addCase(QStringLiteral("filtfilt_n") + n, QStringLiteral("filtfilt ") + general, Kind::Samples, in,
                shortBiquad);
        for (int f0 : notches)
            addCase(QStringLiteral("notch_%1_n%2").arg(f0).arg(n), QStringLiteral("notch %1 1000 50").arg(f0),
                    Kind::Samples, in, shortBiquad);
        addCase(QStringLiteral("notchintbw_25_10_n") + n, QStringLiteral("notchintbw 25 10 1000"), Kind::Samples,
                in, shortBiquad);
        addCase(QStringLiteral("notchbw_0.54_0.2_n") + n, QStringLiteral("notchbw 0.54 0.2 1000"), Kind::Samples,
                in, shortBiquad);
        addCase(QStringLiteral("chain_n") + n, QStringLiteral("chain"), Kind::Samples, in, shortBiquad);
    }

    const QString casePath = m_dir.filePath(QStringLiteral("cases.txt"));
    {
        QFile f(casePath);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text));
        QTextStream ts(&f);
        for (const Case& c : m_cases)
            ts << c.line << '\n';
    }

    const QString script = QDir(qEnvironmentVariable("TERVAL_SOURCE_DIR"))
                               .filePath(QStringLiteral("tests/processing/signalfilter_oracle.py"));
    QVERIFY2(QFile::exists(script), qPrintable(QStringLiteral("oracle script not found: ") + script));
    QVERIFY2(QFile::exists(QString::fromLatin1(SIGNALFILTER_CLI)), SIGNALFILTER_CLI " not built");

    m_ours = run(QString::fromLatin1(SIGNALFILTER_CLI), {casePath}, QStringLiteral("signalfilter_cli"));
    m_scipy = run(QString::fromLatin1(kPython), {script, casePath}, QStringLiteral("scipy oracle"));
    QVERIFY2(!m_ours.isEmpty(), "signalfilter_cli produced no results");
    QVERIFY2(!m_scipy.isEmpty(), "the scipy oracle produced no results (is python3-scipy installed?)");
    QCOMPARE(m_ours.size(), m_cases.size());
    QCOMPARE(m_scipy.size(), m_cases.size());
}

void TestSignalFilterOracle::agreesWithScipy_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < m_cases.size(); ++i)
        QTest::newRow(qPrintable(m_cases[i].id)) << i;
}

void TestSignalFilterOracle::agreesWithScipy()
{
    QFETCH(int, index);
    const Case& c = m_cases[index];
    QVERIFY2(m_ours.contains(c.id), "no result from signalfilter_cli");
    QVERIFY2(m_scipy.contains(c.id), "no result from scipy");
    const Result& ours = m_ours[c.id];
    const Result& ref = m_scipy[c.id];
    QVERIFY2(ours.failure.isEmpty(), qPrintable(ours.failure));

    if (c.expectUnchanged) {
        // scipy refuses inputs this short; ours hands them back untouched.
        QVERIFY2(ref.failure.startsWith(QLatin1String("raises")),
                 "scipy accepted an input expected to be at or below the padding length");
        QCOMPARE(ours.values, m_inputs.value(c.input));
        return;
    }
    QVERIFY2(ref.failure.isEmpty(), qPrintable(ref.failure));
    QCOMPARE(ours.values.size(), ref.values.size());

    double worst = 0.0;
    int worstAt = -1;
    for (int i = 0; i < ref.values.size(); ++i) {
        const double r = ref.values[i];
        const double tol = c.kind == Kind::Coefficients ? 1e-14 + 1e-12 * std::abs(r) : 1e-3;
        const double err = std::abs(ours.values[i] - r);
        if (!(err <= tol) && (worstAt < 0 || !(err <= worst))) {
            worst = err;
            worstAt = i;
        }
    }
    if (worstAt >= 0)
        QFAIL(qPrintable(QStringLiteral("value %1 of %2: ours %3, scipy %4 (difference %5)")
                             .arg(worstAt)
                             .arg(ref.values.size())
                             .arg(ours.values[worstAt], 0, 'g', 17)
                             .arg(ref.values[worstAt], 0, 'g', 17)
                             .arg(worst, 0, 'g', 3)));
}

QTEST_GUILESS_MAIN(TestSignalFilterOracle)
#include "tst_signalfilter_oracle.moc"
