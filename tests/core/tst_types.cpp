// Shared records: constant tables, defaults, and that every registered type
// survives a queued signal into another thread.
#include "core/globalstate.h"
#include "core/types.h"

#include <QThread>
#include <QtTest>

namespace {

class Sender : public QObject
{
    Q_OBJECT
signals:
    void freq(FrequencyType f);
    void addr(ModbusAddr a);
    void param(DataParam d);
    void refresh(RefreshData r);
    void refreshEx(RefreshDataEx r);
    void vectorNums(QVector<FIDVectorNum> v);
    void vectorData(FIDVectorData d);
    void xyzst(XYZST x);
    void xyzsts(QVector<XYZST> v);
    void doubles(QVector<double> v);
    void strings(QList<QString> s);
    void crash(qlonglong t, QString s);
    void csv(QVector<double> v, int f, QDateTime t);
};

} // namespace

class TestTypes : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerSharedMetaTypes(); }
    void rateStrideMap();
    void deviceCodeMap();
    void defaults();
    void vectorDataCopiesAreIndependent();
    void registeredNames_data();
    void registeredNames();
    void queuedAcrossThread();
    void globalStateInitialValues();
};

void TestTypes::rateStrideMap()
{
    const QMap<int, int> expected{{1, 1}, {20, 20}, {42, 41}, {100, 100}, {111, 111}, {200, 200}, {500, 500}, {1000, 1000}};
    QCOMPARE(RateStrideMap, expected);
}

void TestTypes::deviceCodeMap()
{
    const QMap<int, QString> expected{{0, "RQ"}, {1, "FID"}, {2, "FID"}};
    QCOMPARE(DeviceCodeMap, expected);
}

void TestTypes::defaults()
{
    const DataParam p;
    QCOMPARE(p.lowPass, 0);
    QCOMPARE(p.highPass, 0);
    QCOMPARE(p.dataRate, 0.001);
    QCOMPARE(p.setTime, 10);
    QCOMPARE(p.fftSeconds, 10);
    QCOMPARE(int(sizeof(ModbusAddr)), 4);
    QCOMPARE(int(sizeof(FrequencyType)), 4);
    QCOMPARE(int(Addr40000), 10);
    QCOMPARE(int(AddrFid), 12);
    QCOMPARE(int(Freq111Hz), 111);
    // 50000 nT is 349791500 mHz; the multiplication comes first.
    QCOMPARE(mHzToNanoTesla(349791500.0), 349791500.0 * 0.001 / 6.99583);
}

void TestTypes::vectorDataCopiesAreIndependent()
{
    FIDVectorData source;
    for (int i = 0; i < 5; ++i)
        source.data[i] = {double(i), double(i) + 0.5};
    for (int i = 0; i < 4; ++i) {
        source.freq[i] = {10.0 * i};
        source.amp[i] = {100.0 * i};
    }
    source.spectrumValid = true;
    const FIDVectorData copy = source;
    for (int i = 0; i < 5; ++i)
        source.data[i][0] = -1;
    for (int i = 0; i < 4; ++i) {
        source.freq[i][0] = -1;
        source.amp[i][0] = -1;
    }
    source.spectrumValid = false;
    for (int i = 0; i < 5; ++i)
        QCOMPARE(copy.data[i], (QVector<double>{double(i), double(i) + 0.5}));
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(copy.freq[i], QVector<double>{10.0 * i});
        QCOMPARE(copy.amp[i], QVector<double>{100.0 * i});
    }
    QVERIFY(copy.spectrumValid);
}

void TestTypes::registeredNames_data()
{
    QTest::addColumn<QByteArray>("name");
    for (const char* name : {"FrequencyType", "QVector<FIDVectorNum>", "FIDVectorNum", "FIDVectorData", "XYZST",
                             "QVector<XYZST>", "ModbusAddr", "RefreshData", "RefreshDataEx", "QVector<double>",
                             "QList<QString>", "DataParam"})
        QTest::newRow(name) << QByteArray(name);
}

void TestTypes::registeredNames()
{
    QFETCH(QByteArray, name);
    QVERIFY(QMetaType::type(name.constData()) != QMetaType::UnknownType);
}

void TestTypes::queuedAcrossThread()
{
    // A worker thread sends every type back through queued signals; the
    // values must arrive unchanged on the test thread.
    QThread thread;
    Sender sender;
    sender.moveToThread(&thread);
    thread.start();

    struct Received {
        FrequencyType f{};
        ModbusAddr a{};
        DataParam d;
        RefreshData r;
        RefreshDataEx rx;
        QVector<FIDVectorNum> nums;
        FIDVectorData vd;
        XYZST x;
        QVector<XYZST> xs;
        QVector<double> dv;
        QList<QString> sl;
        qlonglong t = 0;
        QString text;
        int csvFreq = 0;
        QDateTime csvTime;
        int count = 0;
    } got;
    QObject receiver;
    connect(&sender, &Sender::freq, &receiver, [&](FrequencyType v) { got.f = v; ++got.count; }, Qt::QueuedConnection);
    connect(&sender, &Sender::addr, &receiver, [&](ModbusAddr v) { got.a = v; ++got.count; }, Qt::QueuedConnection);
    connect(&sender, &Sender::param, &receiver, [&](DataParam v) { got.d = v; ++got.count; }, Qt::QueuedConnection);
    connect(&sender, &Sender::refresh, &receiver, [&](RefreshData v) { got.r = v; ++got.count; }, Qt::QueuedConnection);
    connect(&sender, &Sender::refreshEx, &receiver, [&](RefreshDataEx v) { got.rx = v; ++got.count; }, Qt::QueuedConnection);
    connect(&sender, &Sender::vectorNums, &receiver, [&](QVector<FIDVectorNum> v) { got.nums = v; ++got.count; }, Qt::QueuedConnection);
    connect(&sender, &Sender::vectorData, &receiver, [&](FIDVectorData v) { got.vd = v; ++got.count; }, Qt::QueuedConnection);
    connect(&sender, &Sender::xyzst, &receiver, [&](XYZST v) { got.x = v; ++got.count; }, Qt::QueuedConnection);
    connect(&sender, &Sender::xyzsts, &receiver, [&](QVector<XYZST> v) { got.xs = v; ++got.count; }, Qt::QueuedConnection);
    connect(&sender, &Sender::doubles, &receiver, [&](QVector<double> v) { got.dv = v; ++got.count; }, Qt::QueuedConnection);
    connect(&sender, &Sender::strings, &receiver, [&](QList<QString> v) { got.sl = v; ++got.count; }, Qt::QueuedConnection);
    connect(&sender, &Sender::crash, &receiver, [&](qlonglong t, QString s) { got.t = t; got.text = s; ++got.count; }, Qt::QueuedConnection);
    connect(&sender, &Sender::csv, &receiver, [&](QVector<double> v, int f, QDateTime t) {
        got.dv += v; got.csvFreq = f; got.csvTime = t; ++got.count; }, Qt::QueuedConnection);

    const QDateTime when = QDateTime(QDate(2026, 12, 9), QTime(23, 59, 59, 950), Qt::UTC);
    QMetaObject::invokeMethod(&sender, [&] {
        emit sender.freq(Freq20Hz);
        emit sender.addr(Addr40000);
        DataParam d;
        d.lowPass = 5; d.highPass = 1; d.dataRate = 0.05; d.setTime = 30; d.fftSeconds = 20;
        emit sender.param(d);
        RefreshData r;
        r.laserTemp = 1.5; r.pdeValue = -2.25; r.airTempSet = 3.125; r.ddsFreq = 0xFFFFFFFFu;
        emit sender.refresh(r);
        emit sender.refreshEx(RefreshDataEx{1400000000u, 1500000000u, 1000u});
        FIDVectorNum n;
        n.x = 1; n.s = 50000.5; n.f[8] = 350000.25; n.valid = true;
        emit sender.vectorNums({n, n});
        FIDVectorData vd;
        vd.data[3] = {7, 8};
        vd.amp[2] = {0.5};
        vd.spectrumValid = true;
        emit sender.vectorData(vd);
        XYZST x;
        x.time = when; x.z = -3; x.f[0] = 1.25;
        emit sender.xyzst(x);
        emit sender.xyzsts({x});
        emit sender.doubles({1.0, 2.0});
        emit sender.strings({"ttyUSB0", "ttyS0"});
        emit sender.crash(1765324800LL, QString::fromUtf8("锁失"));
        emit sender.csv({3.0}, 1000, when);
    }, Qt::BlockingQueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(got.count, 13, 5000);
    thread.quit();
    thread.wait();

    QCOMPARE(got.f, Freq20Hz);
    QCOMPARE(got.a, Addr40000);
    QCOMPARE(got.d.lowPass, 5);
    QCOMPARE(got.d.dataRate, 0.05);
    QCOMPARE(got.d.fftSeconds, 20);
    QCOMPARE(got.r.pdeValue, -2.25);
    QCOMPARE(got.r.ddsFreq, 0xFFFFFFFFu);
    QCOMPARE(got.rx.fsEnd, 1500000000u);
    QCOMPARE(got.nums.size(), 2);
    QCOMPARE(got.nums[1].f[8], 350000.25);
    QVERIFY(got.nums[0].valid);
    QCOMPARE(got.vd.data[3], (QVector<double>{7, 8}));
    QCOMPARE(got.vd.amp[2], QVector<double>{0.5});
    QVERIFY(got.vd.spectrumValid);
    QCOMPARE(got.x.time, when);
    QCOMPARE(got.x.f[0], 1.25);
    QCOMPARE(got.xs.size(), 1);
    QCOMPARE(got.dv, (QVector<double>{1.0, 2.0, 3.0}));
    QCOMPARE(got.sl, (QList<QString>{"ttyUSB0", "ttyS0"}));
    QCOMPARE(got.t, 1765324800LL);
    QCOMPARE(got.text, QString::fromUtf8("锁失"));
    QCOMPARE(got.csvFreq, 1000);
    QCOMPARE(got.csvTime, when);
}

void TestTypes::globalStateInitialValues()
{
    // First access of this process happens on a worker thread.
    struct Seen { bool newFile, statusValid, hasPending, frameError; int pendingCode, measTime, workStatus; qint64 pendingTime; } seen{};
    GlobalState* fromThread = nullptr;
    QThread* thread = QThread::create([&] {
        GlobalState& s = GlobalState::instance();
        fromThread = &s;
        { QMutexLocker l(&s.newFileMutex); seen.newFile = s.newFileRequest; }
        { QMutexLocker l(&s.statusValidMutex); seen.statusValid = s.statusValid; }
        { QMutexLocker l(&s.pendingStatusMutex); seen.hasPending = s.hasPendingStatus; seen.pendingCode = s.pendingStatusCode; seen.pendingTime = s.pendingStatusTime; }
        { QMutexLocker l(&s.frameErrorMutex); seen.frameError = s.vectorFrameError; }
        { QMutexLocker l(&s.measTimeMutex); seen.measTime = s.measTime; }
        { QMutexLocker l(&s.workStatusMutex); seen.workStatus = s.workStatus; }
    });
    thread->start();
    QVERIFY(thread->wait(5000));
    delete thread;
    QVERIFY(seen.newFile);
    QVERIFY(seen.statusValid);
    QVERIFY(!seen.hasPending);
    QVERIFY(!seen.frameError);
    QCOMPARE(seen.pendingCode, -1);
    QCOMPARE(seen.pendingTime, qint64(0));
    QCOMPARE(seen.measTime, 0);
    QCOMPARE(seen.workStatus, 0);
    QCOMPARE(fromThread, &GlobalState::instance());
}

QTEST_GUILESS_MAIN(TestTypes)
#include "tst_types.moc"
