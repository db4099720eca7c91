// The vector and FID records: the 8-byte record, FID frame rejoining and the
// FID paths with the filter off and on, vector frames into x, y, z, s
// records, the axis histories and spectra, the crash-log dumps, and bad
// input. Frames and expected values come from vector_frames.py (struct),
// filtered values and spectra from scipy through datahandler_oracle.py.

#include "core/globalstate.h"
#include "processing/handlerrig.h"
#include "processing/linecapture.h"
#include "processing/vectorrecords.h"

#include <QMutexLocker>

#include <array>
#include <limits>

namespace
{

using VectorRecords::FidCheck;

struct Frames {
    QList<QByteArray> frames;
    QVector<double> f;                      // every record, Hz
    QVector<std::array<double, 4>> records; // x, y, z, s per group of nine
};

double number(const QJsonValue& v)
{
    if (v.isString()) {
        const QString s = v.toString();
        if (s == QLatin1String("nan"))
            return std::numeric_limits<double>::quiet_NaN();
        return s.startsWith(QLatin1Char('-')) ? -INFINITY : INFINITY;
    }
    return v.toDouble();
}

// Frames built by vector_frames.py; special maps a record index to its
// (value1, value2).
Frames makeFrames(const char* kind, int count, int seed, const QMap<int, QPair<int, qint64>>& special = {})
{
    QJsonObject job{{"kind", kind}, {"frames", count}, {"seed", seed}};
    QJsonObject sp;
    for (auto it = special.cbegin(); it != special.cend(); ++it)
        sp.insert(QString::number(it.key()), QJsonArray{it.value().first, double(it.value().second)});
    job.insert("special", sp);
    QProcess p;
    p.start("/usr/bin/python3", {qEnvironmentVariable("TERVAL_SOURCE_DIR") + "/tests/processing/vector_frames.py",
                                 QString::fromUtf8(QJsonDocument(job).toJson(QJsonDocument::Compact))});
    Frames out;
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning() << "vector_frames.py failed:" << p.readAllStandardError();
        return out;
    }
    const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    for (const QJsonValue& h : o["frames"].toArray())
        out.frames.append(QByteArray::fromHex(h.toString().toLatin1()));
    for (const QJsonValue& v : o["f"].toArray())
        out.f.append(number(v));
    for (const QJsonValue& r : o["records"].toArray()) {
        const QJsonArray a = r.toArray();
        out.records.append({number(a[0]), number(a[1]), number(a[2]), number(a[3])});
    }
    return out;
}

bool same(double a, double b)
{
    if (std::isnan(b))
        return std::isnan(a);
    if (std::isinf(b))
        return a == b;
    return std::abs(a - b) <= 1e-12 * std::max(1.0, std::abs(b));
}

void setMeasTime(int seconds)
{
    GlobalState& g = GlobalState::instance();
    QMutexLocker lock(&g.measTimeMutex);
    g.measTime = seconds;
}

QByteArray fidHead(int size)
{
    QByteArray b(size, char(0x33));
    b[0] = char(0xE4);
    b[1] = 0x00;
    return b;
}

// A vector frame of 288 bytes: the four head markers and a fill byte.
QByteArray vectorFrame(char fill = 0x11)
{
    QByteArray b(288, fill);
    b[0] = char(0xE8);
    b[8] = char(0xEF);
    b[16] = char(0xE4);
    b[24] = char(0xE2);
    return b;
}

} // namespace

class TestVectorFid : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void recordFrequency_data();
    void recordFrequency();
    void fidRejoining_data();
    void fidRejoining();
    void fidFilterOff_data();
    void fidFilterOff();
    void fidFilterOn();
    void vectorFramesToRecords();
    void historyLengthFollowsMeasTime_data();
    void historyLengthFollowsMeasTime();
    void vectorSpectrumMatchesScipy();
    void crashLogDumps();
    void headCheckedBeforeSize_data();
    void headCheckedBeforeSize();
    void zeroDivisorPassesOn();
    void badInputIsDropped_data();
    void badInputIsDropped();
    void biasField_data();
    void biasField();

private:
    rig::LogCapture logs;
};

void TestVectorFid::initTestCase()
{
    registerSharedMetaTypes();
    installLineCapture();
}

void TestVectorFid::init()
{
    takeLines();
    setMeasTime(10);
}

void TestVectorFid::recordFrequency_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<int>("value1");
    QTest::addColumn<qint64>("value2");
    QTest::addColumn<double>("hz");
    // Frequencies from (value1 - 10) * 262144e9 / value2, evaluated in Python.
    QTest::newRow("11 over 1") << QByteArray::fromHex("00000B0000000001") << 11 << qint64(1) << 2.62144e14;
    QTest::newRow("10 gives 0") << QByteArray::fromHex("E0000A0000000001") << 10 << qint64(1) << 0.0;
    QTest::newRow("negative value1") << QByteArray::fromHex("E0FFF600000000FF") << -10 << qint64(255)
                                     << -20560313725490.195;
    QTest::newRow("40-bit value2") << QByteArray::fromHex("E003F2FFFFFFFFFF") << 1010 << qint64(1099511627775)
                                   << 238418.57910177935;
    QTest::newRow("largest value1") << QByteArray::fromHex("EF7FFF0000000002") << 32767 << qint64(2) << 4.293525504e+18;
    QTest::newRow("smallest value1") << QByteArray::fromHex("E88000ABCDEF0123") << -32768 << qint64(0xABCDEF0123)
                                     << -11644696.08200224;
    QTest::newRow("zero divisor") << QByteArray::fromHex("E0000B0000000000") << 11 << qint64(0) << double(INFINITY);
    QTest::newRow("zero over zero") << QByteArray::fromHex("E0000A0000000000") << 10 << qint64(0)
                                    << std::numeric_limits<double>::quiet_NaN();
}

void TestVectorFid::recordFrequency()
{
    QFETCH(QByteArray, record);
    QFETCH(int, value1);
    QFETCH(qint64, value2);
    QFETCH(double, hz);
    // Also at an offset inside a longer array: the record is read in place.
    const QByteArray padded = QByteArray(5, char(0x77)) + record + QByteArray(3, char(0x77));
    for (const auto& r : {VectorRecords::decodeRecord(record, 0), VectorRecords::decodeRecord(padded, 5)}) {
        QCOMPARE(r.value1, value1);
        QCOMPARE(qint64(r.value2), value2);
        QVERIFY2(same(r.hz, hz), qPrintable(QString::number(r.hz, 'g', 17)));
    }
}

void TestVectorFid::fidRejoining_data()
{
    // Pieces as "h<size>" (a head piece) or "t<size>" (a piece without a head).
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<QList<int>>("results");
    QTest::addColumn<QString>("line");
    using C = FidCheck;
    QTest::newRow("whole frame") << QStringList{"h400"} << QList<int>{int(C::Accepted)} << QString();
    QTest::newRow("too short") << QStringList{"h3"} << QList<int>{int(C::TooShort)} << QString();
    QTest::newRow("too long") << QStringList{"h401"} << QList<int>{int(C::TooLong)} << "250617 data error1";
    QTest::newRow("frame without head") << QStringList{"t400"} << QList<int>{int(C::NoHead)} << "250617 data error3";
    QTest::newRow("head and rest") << QStringList{"h150", "t250"} << QList<int>{int(C::HeldHead), int(C::Accepted)}
                                   << QString();
    QTest::newRow("rest too short") << QStringList{"h150", "t200"} << QList<int>{int(C::HeldHead), int(C::JoinFailed)}
                                    << "250617 data error2";
    QTest::newRow("rest without head") << QStringList{"t250"} << QList<int>{int(C::JoinFailed)} << "250617 data error2";
    QTest::newRow("newer head replaces") << QStringList{"h100", "h120", "t280"}
                                         << QList<int>{int(C::HeldHead), int(C::HeldHead), int(C::Accepted)}
                                         << QString();
    // The head is used once: a second rest must not be spliced to it again.
    QTest::newRow("head used once") << QStringList{"h150", "t250", "t250"}
                                    << QList<int>{int(C::HeldHead), int(C::Accepted), int(C::JoinFailed)}
                                    << "250617 data error2";
}

void TestVectorFid::fidRejoining()
{
    QFETCH(QStringList, pieces);
    QFETCH(QList<int>, results);
    QFETCH(QString, line);
    QByteArray partial;
    QByteArray lastHead;
    for (int i = 0; i < pieces.size(); ++i) {
        const int size = pieces[i].mid(1).toInt();
        QByteArray piece = pieces[i].startsWith('h') ? fidHead(size) : QByteArray(size, char(0x44 + i));
        if (pieces[i].startsWith('h'))
            lastHead = piece;
        const QByteArray original = piece;
        const FidCheck r = VectorRecords::assembleFidFrame(piece, partial);
        QCOMPARE(int(r), results[i]);
        if (r == FidCheck::Accepted && !pieces[i].startsWith('h'))
            QCOMPARE(piece, lastHead + original);
    }
    if (!line.isEmpty())
        QVERIFY(indexOfLine(takeLines(), line) >= 0);
}

void TestVectorFid::fidFilterOff_data()
{
    QTest::addColumn<bool>("split");
    QTest::newRow("whole frames") << false;
    QTest::newRow("frames in two pieces") << true;
}

void TestVectorFid::fidFilterOff()
{
    QFETCH(bool, split);
    // 21 frames, 1050 records; three cannot be kept: a negative frequency,
    // a zero divisor (+inf) and zero over zero.
    const Frames fr = makeFrames("fid", 21, 5, {{60, {-10, 256}}, {300, {11, 0}}, {700, {10, 0}}});
    QCOMPARE(fr.frames.size(), 21);
    auto h = rig::localHandler();
    h->slots_setFilterEnabled(false);
    QSignalSpy handouts(h.get(), &ModbusDataHandler::sig_handoutData);
    for (const QByteArray& frame : fr.frames) {
        if (split) {
            h->slots_readDataFinished(AddrFid, frame.left(137));
            h->slots_readDataFinished(AddrFid, frame.mid(137));
        } else {
            h->slots_readDataFinished(AddrFid, frame);
        }
    }
    QVector<double> kept;
    for (double f : fr.f)
        if (std::isfinite(f) && f > 0)
            kept.append(f);
    QCOMPARE(kept.size(), 1047);
    QCOMPARE(handouts.size(), 1);
    const QVector<double> block = rig::vec(handouts[0][0]);
    QCOMPARE(block.size(), 1000);
    for (int i = 0; i < 1000; ++i)
        QVERIFY2(same(block[i], kept[i] * 1000.0), qPrintable(QString::number(i)));
    QCOMPARE(h->pendingFidFrequencies(), 47);
    const QStringList lines = takeLines();
    QVERIFY(indexOfLine(lines, "frequency,value1,value2:-20480000000000.000000,-10,256") >= 0);
    QVERIFY(indexOfLine(lines, "byteArray:") >= 0);
    QVERIFY(indexOfLine(lines, "use time1:") >= 0);
}

void TestVectorFid::fidFilterOn()
{
    // 32 frames, 1600 records with a zero divisor among them: the notch
    // runs over the 1600 finite ones once the 33rd frame brings them.
    const Frames fr = makeFrames("fid", 33, 9, {{444, {11, 0}}});
    auto h = rig::localHandler();
    QVERIFY(h->isFilterEnabled());
    QSignalSpy handouts(h.get(), &ModbusDataHandler::sig_handoutData);
    QVector<double> kept;
    for (int i = 0; i < fr.frames.size(); ++i) {
        h->slots_readDataFinished(AddrFid, fr.frames[i]);
        for (int r = i * 50; r < (i + 1) * 50; ++r)
            if (std::isfinite(fr.f[r]) && fr.f[r] > 0)
                kept.append(fr.f[r]);
        if (kept.size() < 1600)
            QCOMPARE(handouts.size(), 0);
        else
            break;
    }
    QCOMPARE(handouts.size(), 1);
    QCOMPARE(kept.size(), 1649);
    const QJsonArray results = rig::oracle(
        {QJsonObject{{"op", "notch"}, {"x", rig::jsonArray(kept)}, {"f0", 0.54}, {"bw", 0.2}, {"fs", 1000.0}}});
    QCOMPARE(results.size(), 1);
    QVector<double> expected = rig::fromJson(results[0]).mid(300, 1000);
    for (double& v : expected)
        v *= 1000.0;
    const QVector<double> block = rig::vec(handouts[0][0]);
    QCOMPARE(block.size(), 1000);
    // mHz; the values are near 3.5e8, so this is 1e-11 relative.
    QVERIFY2(rig::maxAbsDiff(block, expected) < 5e-3, qPrintable(QString::number(rig::maxAbsDiff(block, expected))));
    QCOMPARE(h->pendingFidFrequencies(), 649);
}

void TestVectorFid::vectorFramesToRecords()
{
    const Frames fr = makeFrames("vector", 3, 11);
    QCOMPARE(fr.records.size(), 12);
    auto h = rig::localHandler();
    QSignalSpy saved(h.get(), &ModbusDataHandler::sig_saveVectorXYZS);
    QSignalSpy forms(h.get(), &ModbusDataHandler::sig_updateVectorForm);
    QSignalSpy scalars(h.get(), &ModbusDataHandler::sig_updateForm);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    for (const QByteArray& frame : fr.frames)
        h->slots_readDataFinished(AddrVectorFid, frame);

    QCOMPARE(saved.size(), 12);
    for (int i = 0; i < 12; ++i) {
        const FIDVectorNum r = saved[i][0].value<FIDVectorNum>();
        const std::array<double, 4> e = fr.records[i];
        QVERIFY2(same(r.x, e[0]) && same(r.y, e[1]) && same(r.z, e[2]) && same(r.s, e[3]),
                 qPrintable(QStringLiteral("record %1: %2 %3 %4 %5").arg(i).arg(r.x).arg(r.y).arg(r.z).arg(r.s)));
        for (int k = 0; k < 9; ++k)
            QVERIFY(same(r.f[size_t(k)], fr.f[i * 9 + k]));
        QVERIFY(r.valid);
        const QDateTime t = saved[i][1].toDateTime();
        QCOMPARE(t.timeSpec(), Qt::UTC);
        QVERIFY(t >= before.addSecs(-1) && t <= QDateTime::currentDateTimeUtc());
    }
    QCOMPARE(forms.size(), 3);
    QCOMPARE(scalars.size(), 3);
    for (int b = 0; b < 3; ++b) {
        const FIDVectorData d = forms[b][0].value<FIDVectorData>();
        for (int axis = 0; axis < 4; ++axis) {
            QCOMPARE(d.data[size_t(axis)].size(), 4);
            for (int k = 0; k < 4; ++k)
                QVERIFY(same(d.data[size_t(axis)][k], fr.records[b * 4 + k][size_t(axis)]));
            QVERIFY(d.freq[size_t(axis)].isEmpty() && d.amp[size_t(axis)].isEmpty());
        }
        QVERIFY(d.data[4].isEmpty());
        QVERIFY(!d.spectrumValid); // 12 values, far from 1110
        QCOMPARE(rig::vec(scalars[b][0]), d.data[3]);
        QCOMPARE(scalars[b][1].value<FrequencyType>(), Freq111Hz);
    }
    QCOMPARE(h->pendingVectorFrequencies(), 0);
}

void TestVectorFid::historyLengthFollowsMeasTime_data()
{
    QTest::addColumn<int>("measTime");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<int>("firstValid"); // block (1-based) whose flag is first true
    QTest::addColumn<int>("historyLength");
    QTest::addColumn<int>("bins");
    // L = measTime x 111 values per axis, four per block; N - N/2 bins.
    QTest::newRow("0 s: nothing kept") << 0 << 3 << 1 << 0 << 0;
    QTest::newRow("1 s: 111 values") << 1 << 30 << 28 << 111 << 56;
    QTest::newRow("10 s: 1110 values") << 10 << 280 << 278 << 1110 << 555;
}

void TestVectorFid::historyLengthFollowsMeasTime()
{
    QFETCH(int, measTime);
    QFETCH(int, blocks);
    QFETCH(int, firstValid);
    QFETCH(int, historyLength);
    QFETCH(int, bins);
    setMeasTime(measTime);
    const Frames fr = makeFrames("vector", blocks, 21);
    QCOMPARE(fr.frames.size(), blocks);
    auto h = rig::localHandler();
    QSignalSpy forms(h.get(), &ModbusDataHandler::sig_updateVectorForm);
    for (int b = 0; b < blocks; ++b) {
        h->slots_readDataFinished(AddrVectorFid, fr.frames[b]);
        QCOMPARE(forms.size(), b + 1);
        const FIDVectorData d = forms.last()[0].value<FIDVectorData>();
        QCOMPARE(d.spectrumValid, b + 1 >= firstValid);
        for (int axis = 0; axis < 4; ++axis) {
            const int expectedBins = b + 1 >= firstValid ? bins : 0;
            QCOMPARE(d.amp[size_t(axis)].size(), expectedBins);
            QCOMPARE(d.freq[size_t(axis)].size(), expectedBins);
            QCOMPARE(h->vectorHistory(axis).size(),
                     std::min((b + 1) * 4, b + 1 >= firstValid ? historyLength : INT_MAX));
        }
    }
    // The newest values are kept.
    for (int axis = 0; axis < 4; ++axis) {
        const QVector<double>& hist = h->vectorHistory(axis);
        for (int k = 0; k < hist.size(); ++k)
            QVERIFY(same(hist[k], fr.records[fr.records.size() - hist.size() + k][size_t(axis)]));
    }
}

void TestVectorFid::vectorSpectrumMatchesScipy()
{
    // 1 s window: block 28 is the first with 111 values per axis; its
    // spectra come from records 1..111 (the oldest dropped).
    setMeasTime(1);
    const Frames fr = makeFrames("vector", 28, 33);
    auto h = rig::localHandler();
    DataParam p;
    p.lowPass = 20; // at 111 samples per second
    h->slots_syncDataParam(p);
    QSignalSpy forms(h.get(), &ModbusDataHandler::sig_updateVectorForm);
    for (const QByteArray& frame : fr.frames)
        h->slots_readDataFinished(AddrVectorFid, frame);
    QCOMPARE(forms.size(), 28);
    const FIDVectorData d = forms.last()[0].value<FIDVectorData>();
    QVERIFY(d.spectrumValid);

    QJsonArray passJobs;
    for (int axis = 0; axis < 4; ++axis) {
        QVector<double> hist;
        for (int k = 1; k < 112; ++k)
            hist.append(fr.records[k][size_t(axis)]);
        // 1 Hz high-pass designed at 111 Hz, then the 20 Hz low-pass.
        const QJsonArray hp = rig::oracle(
            {QJsonObject{{"op", "pass"}, {"x", rig::jsonArray(hist)}, {"low", 0}, {"high", 1}, {"fs", 111}}});
        QCOMPARE(hp.size(), 1);
        passJobs.append(QJsonObject{{"op", "pass"}, {"x", hp[0]}, {"low", 20}, {"high", 0}, {"fs", 111}});
    }
    const QJsonArray filtered = rig::oracle(passJobs);
    QCOMPARE(filtered.size(), 4);
    QJsonArray asdJobs;
    for (int axis = 0; axis < 4; ++axis)
        asdJobs.append(QJsonObject{{"op", "asd"}, {"x", filtered[axis]}, {"fs", 1000.0 / 9.0}});
    const QJsonArray spectra = rig::oracle(asdJobs);
    QCOMPARE(spectra.size(), 4);
    for (int axis = 0; axis < 4; ++axis) {
        const QVector<double> f = rig::fromJson(spectra[axis].toObject()["f"]);
        const QVector<double> a = rig::fromJson(spectra[axis].toObject()["a"]);
        QCOMPARE(d.freq[size_t(axis)].size(), 56);
        QVERIFY(rig::maxAbsDiff(d.freq[size_t(axis)], f) < 1e-9);
        const double diff = rig::maxAbsDiff(d.amp[size_t(axis)], a);
        QVERIFY2(diff < 1e-6, qPrintable(QStringLiteral("axis %1: %2").arg(axis).arg(diff)));
    }
}

void TestVectorFid::crashLogDumps()
{
    auto h = rig::localHandler();
    QSignalSpy crash(h.get(), &ModbusDataHandler::sig_saveCrashLog);
    QSignalSpy forms(h.get(), &ModbusDataHandler::sig_updateVectorForm);
    // A short frame with a good head: bad by its size.
    QByteArray bad = vectorFrame().left(27);
    bad[26] = char(0xAB);
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < 11; ++i)
        h->slots_readDataFinished(AddrVectorFid, bad);
    QCOMPARE(crash.size(), 10); // the eleventh goes without an entry
    QVERIFY(crash[0][0].toLongLong() >= before && crash[0][0].toLongLong() <= QDateTime::currentSecsSinceEpoch());
    const QString badText = "vector wrong byte size: 27 bytes:\n"
                            "E811111111111111\n"
                            "EF11111111111111\n"
                            "E411111111111111\n"
                            "E211AB\n";
    QCOMPARE(crash[0][1].toString(), badText);
    QCOMPARE(forms.size(), 0);
    const QStringList badLines = takeLines();
    QVERIFY(indexOfLine(badLines, "vector wrong byte size: 27 bytes:") >= 0);
    QVERIFY(indexOfLine(badLines, "wrong size: 27 288") >= 0);

    crash.clear();
    const Frames fr = makeFrames("vector", 11, 4);
    for (const QByteArray& frame : fr.frames)
        h->slots_readDataFinished(AddrVectorFid, frame);
    QCOMPARE(forms.size(), 11);
    QCOMPARE(crash.size(), 10);
    QString goodText = "vector right byte size: 288 bytes:\n";
    const QByteArray hex = fr.frames[0].toHex().toUpper();
    for (int i = 0; i < 36; ++i)
        goodText += QString::fromLatin1(hex.mid(i * 16, 16)) + "\n";
    QCOMPARE(crash[0][1].toString(), goodText);
    // Good frames go to the crash log only.
    QCOMPARE(indexOfLine(takeLines(), "vector right byte size"), -1);
}

void TestVectorFid::headCheckedBeforeSize_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("notLine");
    QByteArray wrongAt16 = vectorFrame();
    wrongAt16[16] = char(0xE8);
    QTest::newRow("288 bytes, wrong byte 16") << wrongAt16 << "wrong biaoTou"
                                              << "wrong size:";
    QTest::newRow("good head, 300 bytes") << (vectorFrame() + QByteArray(12, 0)) << "wrong size: 300 288"
                                          << "wrong biaoTou";
    QTest::newRow("24 bytes cannot hold the head") << vectorFrame().left(24) << "wrong biaoTou"
                                                   << "wrong size:";
}

void TestVectorFid::headCheckedBeforeSize()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, line);
    QFETCH(QString, notLine);
    auto h = rig::localHandler();
    QSignalSpy forms(h.get(), &ModbusDataHandler::sig_updateVectorForm);
    h->slots_readDataFinished(AddrVectorFid, frame);
    QCOMPARE(forms.size(), 0);
    const QStringList lines = takeLines();
    QVERIFY(indexOfLine(lines, line) >= 0);
    QCOMPARE(indexOfLine(lines, notLine), -1);
}

void TestVectorFid::zeroDivisorPassesOn()
{
    // Record 13 (group 1, f4, an s term) has value2 = 0: the record goes on
    // with an infinite s and is not valid.
    const Frames fr = makeFrames("vector", 1, 8, {{13, {1010, 0}}});
    auto h = rig::localHandler();
    QSignalSpy saved(h.get(), &ModbusDataHandler::sig_saveVectorXYZS);
    h->slots_readDataFinished(AddrVectorFid, fr.frames[0]);
    QCOMPARE(saved.size(), 4);
    const FIDVectorNum r = saved[1][0].value<FIDVectorNum>();
    QVERIFY(std::isinf(r.s) && r.s > 0);
    QVERIFY(!r.valid);
    QVERIFY(saved[0][0].value<FIDVectorNum>().valid);
    QVERIFY(indexOfLine(takeLines(), "value2 =0 , B5:inf") >= 0);
}

void TestVectorFid::badInputIsDropped_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("bytes");
    std::mt19937 gen(99);
    for (int kind : {int(AddrVectorFid), int(AddrFid)}) {
        const char* name = kind == AddrVectorFid ? "vector" : "fid";
        QTest::addRow("%s empty", name) << kind << QByteArray();
        QTest::addRow("%s one byte", name) << kind << QByteArray(1, char(0xE8));
        QTest::addRow("%s head only", name) << kind << vectorFrame().left(25);
        QTest::addRow("%s one short", name) << kind << vectorFrame().left(287);
        QTest::addRow("%s fid one short", name) << kind << fidHead(399);
        QTest::addRow("%s fid one long", name) << kind << fidHead(401);
        for (int size : {7, 288, 400, 577, 4096}) {
            QByteArray g(size, 0);
            for (char& c : g)
                c = char(gen() & 0xFF);
            QTest::addRow("%s garbage %d", name, size) << kind << g;
        }
    }
}

void TestVectorFid::badInputIsDropped()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, bytes);
    auto h = rig::localHandler();
    QSignalSpy forms(h.get(), &ModbusDataHandler::sig_updateVectorForm);
    QSignalSpy handouts(h.get(), &ModbusDataHandler::sig_handoutData);
    h->slots_readDataFinished(ModbusAddr(kind), bytes);
    h->slots_readDataFinished(ModbusAddr(kind), bytes);
    QCOMPARE(forms.size(), 0);
    QCOMPARE(handouts.size(), 0);
    QCOMPARE(h->pendingVectorFrequencies(), 0);
    // A good frame afterwards still decodes.
    const Frames fr = makeFrames("vector", 1, 2);
    h->slots_readDataFinished(AddrVectorFid, fr.frames[0]);
    QCOMPARE(forms.size(), 1);
}

void TestVectorFid::biasField_data()
{
    QTest::addColumn<double>("b0");
    QTest::addColumn<double>("bPlus");
    QTest::addColumn<double>("bMinus");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("swapped");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("crashText");
    // r = (b+^2 + b-^2) / 2 - b0^2; value (b+^2 - b-^2) / (4 sqrt(r)).
    // 3, 5, 4: r = 41 / 2 - 9 = 11.5, value 9 / (4 sqrt(11.5)).
    QTest::newRow("regular") << 3.0 << 5.0 << 4.0 << 9.0 / (4.0 * std::sqrt(11.5)) << -9.0 / (4.0 * std::sqrt(11.5))
                             << true << QString();
    // 5, 3, 4: r = 12.5 - 25 = -12.5.
    QTest::newRow("negative root") << 5.0 << 3.0 << 4.0 << 0.0 << 0.0 << false
                                   << QString::fromUtf8("分母中根号下出现负数:-12.50");
    // 5, 5, 5: r = 0.
    QTest::newRow("zero root") << 5.0 << 5.0 << 5.0 << 0.0 << 0.0 << false
                               << QString::fromUtf8("分母中根号下出现负数:0.00");
    // 1, 1.0000001, 1: r about 1e-7.
    QTest::newRow("tiny root") << 1.0 << 1.0000001 << 1.0 << 0.0 << 0.0 << false << QString();
}

void TestVectorFid::biasField()
{
    QFETCH(double, b0);
    QFETCH(double, bPlus);
    QFETCH(double, bMinus);
    QFETCH(double, value);
    QFETCH(double, swapped);
    QFETCH(bool, valid);
    QFETCH(QString, crashText);
    auto h = rig::localHandler();
    QSignalSpy crash(h.get(), &ModbusDataHandler::sig_saveCrashLog);
    bool v1 = !valid;
    bool v2 = !valid;
    QVERIFY(same(h->biasFieldComponent(b0, bPlus, bMinus, v1), value));
    QVERIFY(same(h->biasFieldComponentSwapped(b0, bPlus, bMinus, v2), swapped));
    QCOMPARE(v1, valid);
    QCOMPARE(v2, valid);
    if (crashText.isEmpty()) {
        QCOMPARE(crash.size(), 0);
    } else {
        QCOMPARE(crash.size(), 2);
        QCOMPARE(crash[0][1].toString(), crashText);
    }
    if (QTest::currentDataTag() == QLatin1String("tiny root"))
        QVERIFY(indexOfLine(takeLines(), QString::fromUtf8("分母出现很小的数:")) >= 0);
}

QTEST_GUILESS_MAIN(TestVectorFid)
#include "tst_vectorfid.moc"
