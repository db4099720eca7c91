// The spectrum page end to end: the real hub and main window, the simulated
// instrument on a socat pty pair streaming a field with white noise and a
// 50 Hz hum. Once the FFT window has filled, the spectrum chart must show the
// hum at 50 Hz and, between the notches, the noise density sigma * sqrt(2/fs)
// of the simulator's white noise. Then the rate goes to 200 per second through
// the bottom bar's menu: the register write reaches the instrument, its frames
// shrink to 49 bytes and both charts carry on at the new rate. Screenshots of
// the live page in English and Chinese go to TERVAL_SHOTS_DIR (default: the
// build folder's screenshots).

#include "mainpagerig.h"

#include "peers/peerprocess.h"
#include "peers/ptypair.h"
#include "ui/pages/sensitivitymoduleform.h"
#include "ui/widgets/custommenu.h"
#include "ui/widgets/customplot.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QMessageBox>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace
{

constexpr double kField = 50000.0; // nT
constexpr double kHum = 2.0;       // nT, amplitude of the 50 Hz hum
constexpr double kNoise = 0.05;    // nT rms of the white noise

struct Curve {
    QVector<double> keys;
    QVector<double> values;
};

Curve curveOf(const QCPGraph* g)
{
    Curve c;
    for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it) {
        c.keys << it->key;
        c.values << it->value;
    }
    return c;
}

// Root mean square of the densities between lo and hi Hz.
double rmsBetween(const Curve& c, double lo, double hi, int* count)
{
    double sum = 0.0;
    int n = 0;
    for (int i = 0; i < c.keys.size(); ++i) {
        if (c.keys.at(i) >= lo && c.keys.at(i) <= hi) {
            sum += c.values.at(i) * c.values.at(i);
            ++n;
        }
    }
    *count = n;
    return n ? std::sqrt(sum / n) : 0.0;
}

QString shotsDir()
{
    const QString dir =
        qEnvironmentVariable("TERVAL_SHOTS_DIR", qEnvironmentVariable("TERVAL_BINARY_DIR", QDir::currentPath()) +
                                                     QStringLiteral("/screenshots"));
    QDir().mkpath(dir);
    return dir;
}

void closeAllBoxes()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w))
            box->close();
}

} // namespace

class TestSpectrumE2E : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void liveSpectrumAndRateChange();
};

void TestSpectrumE2E::initTestCase()
{
    qRegisterMetaType<ModbusAddr>("ModbusAddr");
}

void TestSpectrumE2E::liveSpectrumAndRateChange()
{
    QElapsedTimer total;
    total.start();
    PtyPair pty;
    QVERIFY2(pty.isReady(), qPrintable(pty.errorString()));
    PeerProcess sim;
    const QString simLog = pty.filePath(QStringLiteral("sim.log"));
    QVERIFY2(sim.start(PeerProcess::programPath(QStringLiteral("sim_instrument")),
                       {QStringLiteral("--device"), pty.peerEnd(), QStringLiteral("--status"), QStringLiteral("4"),
                        QStringLiteral("--field"), QString::number(kField), QStringLiteral("--hum"),
                        QString::number(kHum), QStringLiteral("--noise"), QString::number(kNoise),
                        QStringLiteral("--seed"), QStringLiteral("16"), QStringLiteral("--log"), simLog}),
             qPrintable(sim.errorString()));

    MainPageRig rig({}, {}, MainPageRig::InWindow);
    ParamManager* hub = rig.hub.get();
    MainWindow* window = rig.window.get();
    auto* page = window->findChild<SensitivityModuleForm*>();
    QVERIFY(page);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));

    // Sizes of the stream frames the link cuts from the port.
    QVector<int> frameSizes;
    QObject::connect(hub->modbusManager, &ModbusManager::sig_readDataFinished, window,
                     [&frameSizes](ModbusAddr kind, QByteArray bytes) {
                         if (kind == Addrdds_data)
                             frameSizes << bytes.size();
                     });

    // The instrument measures already: the main page starts the stream.
    emit hub->getModbusWorkThread()->sig_connectDevice(pty.linkEnd(), hub->baudRate);
    // (the peer's waits do not run the event loop: wait here first)
    QTRY_VERIFY_WITH_TIMEOUT(hub->isRunning() && hub->isParamPollingHeld(), 20000);
    QVERIFY(sim.waitForLine(QStringLiteral("stream start 100"), 3000));

    QSignalSpy sends(hub, &ParamManager::sig_sendModbusData);
    window->findChild<QPushButton*>(QStringLiteral("btnSensitivity"))->click();
    QVERIFY(page->isVisible());
    QVERIFY(page->active());
    QVERIFY(sends.isEmpty()); // the stream runs already

    // The 10 s window at 1000 per second fills after about 12 s of stream.
    QTRY_VERIFY_WITH_TIMEOUT(page->spectrumCurve()->dataCount() >= 4990, 45000);
    const Curve spectrum = curveOf(page->spectrumCurve());
    if (qEnvironmentVariableIsSet("TERVAL_SPECTRUM_DUMP")) {
        QFile dump(qEnvironmentVariable("TERVAL_SPECTRUM_DUMP"));
        QVERIFY(dump.open(QIODevice::WriteOnly | QIODevice::Text));
        for (int i = 0; i < spectrum.keys.size(); ++i)
            dump.write(QByteArray::number(spectrum.keys.at(i), 'g', 12) + ',' +
                       QByteArray::number(spectrum.values.at(i), 'g', 12) + '\n');
    }
    const double fs = 1000.0;
    const int bins = 10000 / 2;
    const double binHz = fs / 10000;
    QVERIFY2(spectrum.keys.size() >= bins - 1 && spectrum.keys.size() <= bins,
             qPrintable(QString::number(spectrum.keys.size())));
    QVERIFY(std::is_sorted(spectrum.keys.begin(), spectrum.keys.end()));
    QVERIFY(std::fabs(spectrum.keys.last() - (bins - 1) * binHz) < 1e-9);
    for (double d : spectrum.values)
        QVERIFY(d > 0.0);

    // The hum: the highest density above the high-pass corner lies at 50 Hz.
    int peak = -1;
    for (int i = 0; i < spectrum.keys.size(); ++i)
        if (spectrum.keys.at(i) >= 2.0 && (peak < 0 || spectrum.values.at(i) > spectrum.values.at(peak)))
            peak = i;
    QVERIFY2(std::fabs(spectrum.keys.at(peak) - 50.0) <= binHz + 1e-9,
             qPrintable(QStringLiteral("peak at %1 Hz").arg(spectrum.keys.at(peak))));

    // The noise floor between the notches: sigma * sqrt(2 / fs).
    const double expected = kNoise * std::sqrt(2.0 / fs);
    struct Band {
        double lo, hi;
    };
    // clear of the notch skirts at 75, 125, 175 and 425 Hz
    for (const Band& band : {Band{90, 115}, Band{140, 165}, Band{440, 490}}) {
        int n = 0;
        const double floor = rmsBetween(spectrum, band.lo, band.hi, &n);
        QVERIFY(n >= 250);
        QVERIFY2(std::fabs(floor / expected - 1.0) < 0.2,
                 qPrintable(QStringLiteral("%1-%2 Hz: %3 nT/sqrt(Hz), expected %4")
                                .arg(band.lo)
                                .arg(band.hi)
                                .arg(floor, 0, 'g', 5)
                                .arg(expected, 0, 'g', 5)));
    }
    // The time chart gets the chunks that come with the spectra and keeps
    // the newest 10 s of them.
    QTRY_COMPARE_WITH_TIMEOUT(page->timeValues().size(), 10000, 20000);
    QTest::qWait(300);
    QCOMPARE(page->timeValues().size(), 10000);
    const Curve field = curveOf(page->timeCurve());
    QCOMPARE(field.values.size(), 10000);
    QVERIFY(std::fabs(field.keys.last() - 9.999) < 1e-9);
    const double mean = std::accumulate(field.values.begin(), field.values.end(), 0.0) / field.values.size();
    QVERIFY2(std::fabs(mean - kField) < 0.1, qPrintable(QString::number(mean, 'f', 3)));

    // Screenshots, English then Chinese through the language menu (its
    // choice is saved beside the test's other files).
    hub->iniPath = rig.cwd.filePath(QStringLiteral("config.ini"));
    const QString dir = shotsDir();
    QVERIFY(window->grab().save(dir + QStringLiteral("/spectrum_live_en.png")));
    auto* languages = window->findChild<CustomMenu*>(QStringLiteral("languageMenu"));
    QVERIFY(languages);
    emit languages->triggered(QStringLiteral("中文"), QVariant());
    QCOMPARE(page->spectrumChart()->xAxis->label(), QStringLiteral("频率(Hz)"));
    QTest::qWait(100);
    QVERIFY(window->grab().save(dir + QStringLiteral("/spectrum_live_zh.png")));
    emit languages->triggered(QStringLiteral("English"), QVariant());
    qInfo("screenshots in %s", qPrintable(dir));

    // To 200 per second through the bottom bar's menu.
    bool chose = false;
    QTimer::singleShot(50, window, [&chose] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* a : menu->actions())
            if (a->text() == QLatin1String("0.005")) {
                menu->setActiveAction(a);
                chose = true;
            }
        QTest::keyClick(menu, Qt::Key_Return);
    });
    sends.clear();
    QTest::mousePress(window->findChild<QLineEdit*>(QStringLiteral("edt_dataRate")), Qt::LeftButton, Qt::NoModifier,
                      QPoint(10, 10));
    QVERIFY(chose);
    const int sizesAtChange = frameSizes.size();
    QCOMPARE(hub->samplingRate, 200);
    QVERIFY(sends.size() >= 2);
    QCOMPARE(sends.first().at(0).value<ModbusAddr>(), Addrdds_end);
    QCOMPARE(sends.last().at(0).value<ModbusAddr>(), Addrdds_start);
    QTRY_VERIFY_WITH_TIMEOUT(peers::readLog(simLog).contains(QStringLiteral("01109C9600010200C8E6F9")), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(frameSizes.size() >= sizesAtChange + 5, 20000);
    QVERIFY(sim.waitForLine(QStringLiteral("stream stop"), 3000));
    QVERIFY(sim.waitForLine(QStringLiteral("stream rate 20"), 3000));
    QVERIFY(sim.waitForLine(QStringLiteral("stream start 20"), 3000));

    // 49-byte frames, and both charts continue
    QTRY_VERIFY_WITH_TIMEOUT(frameSizes.size() >= sizesAtChange + 30, 20000);
    const QVector<int> recent = frameSizes.mid(frameSizes.size() - 20);
    QCOMPARE(recent, QVector<int>(20, 49));
    QTRY_VERIFY_WITH_TIMEOUT(page->timeValues().size() >= 400, 20000);
    const Curve slowField = curveOf(page->timeCurve());
    QVERIFY(slowField.keys.size() >= 2);
    QVERIFY(std::fabs(slowField.keys.at(1) - 0.005) < 1e-12);
    QVERIFY(std::fabs(slowField.values.last() - kField) < kHum + 6 * kNoise + 0.5);
    QTRY_VERIFY_WITH_TIMEOUT(page->spectrumCurve()->dataCount() > 0, 20000);
    const Curve slowSpectrum = curveOf(page->spectrumCurve());
    QVERIFY2(slowSpectrum.keys.last() < 100.0, qPrintable(QString::number(slowSpectrum.keys.last())));
    QVERIFY(std::fabs(slowSpectrum.keys.at(1) - slowSpectrum.keys.at(0) - 0.1) < 1e-9); // 200 / 2000
    QCOMPARE(page->spectrumChart()->xAxis->range(), QCPRange(0, hub->xAxisUpper));
    if (qEnvironmentVariableIsSet("TERVAL_SHOTS_DIR")) {
        // Samples gathered at 1000 per second are played out at the new rate
        // for a few seconds; the picture waits for a window of new ones.
        QTest::qWait(12000);
        QVERIFY(window->grab().save(dir + QStringLiteral("/spectrum_200_en.png")));
    }

    closeAllBoxes();
    QVERIFY(sim.command(QStringLiteral("close")));
    QVERIFY(sim.waitForExit(3000));
    QVERIFY2(total.elapsed() < 90000, qPrintable(QString::number(total.elapsed())));
}

QTEST_MAIN(TestSpectrumE2E)
#include "tst_spectrum_e2e.moc"
