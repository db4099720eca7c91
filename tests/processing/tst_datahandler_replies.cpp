// Reply decoding: the byte-order helpers, and the dispatcher by reply kind
// fed with replies that Python's struct builds from register values.

#include "handlerrig.h"
#include "processing/replydecoder.h"

#include <QMetaMethod>

#include <limits>

using namespace ReplyDecoder;

namespace {

QByteArray pyReply(const QString& kind, const QJsonObject& regs)
{
    QProcess p;
    p.start("/usr/bin/python3", {qEnvironmentVariable("TERVAL_SOURCE_DIR") + "/tests/processing/reply_bytes.py", kind,
                                 QString::fromUtf8(QJsonDocument(regs).toJson(QJsonDocument::Compact))});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QByteArray();
    return QByteArray::fromHex(p.readAllStandardOutput().trimmed());
}

QJsonObject regMap(std::initializer_list<std::pair<int, double>> values)
{
    QJsonObject o;
    for (const auto& v : values)
        o.insert(QString::number(v.first), v.second);
    return o;
}

// One spy per signal of the handler, to show that nothing at all went out.
struct AllSignals {
    explicit AllSignals(ModbusDataHandler* h)
    {
        const QMetaObject& mo = ModbusDataHandler::staticMetaObject;
        for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
            if (mo.method(i).methodType() == QMetaMethod::Signal)
                spies.emplace_back(new QSignalSpy(h, mo.method(i)));
    }
    int total() const
    {
        int n = 0;
        for (const auto& s : spies)
            n += s->count();
        return n;
    }
    std::vector<std::unique_ptr<QSignalSpy>> spies;
};

} // namespace

class TestDataHandlerReplies : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerSharedMetaTypes();
        m_log.reset(new rig::LogCapture);
    }
    void cleanupTestCase() { m_log.reset(); }

    void byteOrderHelpers();
    void shortInputsLogAndGiveZero_data();
    void shortInputsLogAndGiveZero();
    void statusReply();
    void parameterBlock_data();
    void parameterBlock();
    void shortParameterBlock();
    void identityBlock_data();
    void identityBlock();
    void shortIdentityBlock();
    void badDataRateReportsNoSamplingRate_data();
    void badDataRateReportsNoSamplingRate();
    void kindsWithoutDecoderEmitNothing_data();
    void kindsWithoutDecoderEmitNothing();
    void frameSizeFollowsRate_data();
    void frameSizeFollowsRate();
    void unsupportedRateKeepsFrameSize_data();
    void unsupportedRateKeepsFrameSize();

private:
    std::unique_ptr<rig::LogCapture> m_log;
};

void TestDataHandlerReplies::byteOrderHelpers()
{
    const QByteArray abcd = QByteArray::fromHex("A1B2C3D4");
    QCOMPARE(swapWords(abcd), QByteArray::fromHex("C3D4A1B2"));
    QCOMPARE(swapWords(QByteArray::fromHex("A1B2C3D4E5F6")), QByteArray::fromHex("E5F6C3D4A1B2"));
    QCOMPARE(swapWords(QByteArray::fromHex("A1")), QByteArray());
    QCOMPARE(reverseBytes(abcd), QByteArray::fromHex("D4C3B2A1"));
    QCOMPARE(reverseBytes(QByteArray()), QByteArray());
    QCOMPARE(byteArrayToUInt32(abcd), 0xA1B2C3D4u);
    QCOMPARE(byteArrayToUInt(abcd), quint16(0xA1B2));
    QCOMPARE(byteArrayToFloat(QByteArray::fromHex("3FC00000"), false), 1.5f);
    QCOMPARE(byteArrayToFloat(QByteArray::fromHex("0000C03F"), true), 1.5f);
    // Low word first in the reply: 40126 = 0x0000, 40127 = 0x3F80 is 1.0.
    QCOMPARE(floatAt(QByteArray::fromHex("00003F80"), 0), 1.0f);
    QCOMPARE(uint32At(QByteArray::fromHex("00000001"), 0), 65536u);
}

void TestDataHandlerReplies::shortInputsLogAndGiveZero_data()
{
    QTest::addColumn<int>("helper");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("line");
    QTest::newRow("uint32 of 3") << 0 << QByteArray::fromHex("010203") << "byteArrayToUInt32 size error.";
    QTest::newRow("uint32 of 0") << 0 << QByteArray() << "byteArrayToUInt32 size error.";
    QTest::newRow("uint16 of 1") << 1 << QByteArray::fromHex("01") << "byteArrayToUInt size error.";
    QTest::newRow("float of 2") << 2 << QByteArray::fromHex("3F80") << "byteArrayToFloat size error.";
}

void TestDataHandlerReplies::shortInputsLogAndGiveZero()
{
    QFETCH(int, helper);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, line);
    const int before = m_log->count(line);
    double value = -1;
    if (helper == 0)
        value = byteArrayToUInt32(bytes);
    else if (helper == 1)
        value = byteArrayToUInt(bytes);
    else
        value = byteArrayToFloat(bytes, false);
    QCOMPARE(value, 0.0);
    QCOMPARE(m_log->count(line), before + 1);
}

void TestDataHandlerReplies::statusReply()
{
    auto h = rig::localHandler();
    QSignalSpy progress(h.get(), &ModbusDataHandler::sig_updateProgress);
    QJsonObject registers;
    registers.insert("u16", regMap({{40118, 3}}));
    const QByteArray reply = pyReply("status", registers);
    QCOMPARE(reply.size(), 7);
    h->slots_readDataFinished(Addr40118r, reply);
    QCOMPARE(progress.count(), 1);
    QCOMPARE(progress.at(0).at(0).toInt(), 3);

    // Cut before the register: 0 and a log line, still reported.
    const int before = m_log->count("byteArrayToUInt size error.");
    h->slots_readDataFinished(Addr40118r, reply.left(4));
    QCOMPARE(progress.count(), 2);
    QCOMPARE(progress.at(1).at(0).toInt(), 0);
    QCOMPARE(m_log->count("byteArrayToUInt size error."), before + 1);
}

void TestDataHandlerReplies::parameterBlock_data()
{
    QTest::addColumn<quint32>("ddsFreq");
    QTest::addColumn<QVector<double>>("floats"); // 40122 40126 40130 40134 40142 40146 40154 40158
    QTest::newRow("distinct") << 349791234u << QVector<double>{25.125, -3.5, 1234.75, 0.1, 150.0, 2.2e-5, -0.001, 7e7};
    // Only the high word set: the low word is at the lower address.
    QTest::newRow("high word only") << 65536u << QVector<double>{1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
}

void TestDataHandlerReplies::parameterBlock()
{
    QFETCH(quint32, ddsFreq);
    QFETCH(QVector<double>, floats);
    const int regs[] = {40122, 40126, 40130, 40134, 40142, 40146, 40154, 40158};
    QJsonObject f32;
    for (int i = 0; i < 8; ++i)
        f32.insert(QString::number(regs[i]), floats[i]);
    QJsonObject registers;
    registers.insert("u32", regMap({{40100, double(ddsFreq)}}));
    registers.insert("f32", f32);
    const QByteArray reply = pyReply("param", registers);
    QCOMPARE(reply.size(), 253);

    auto h = rig::localHandler();
    QSignalSpy spy(h.get(), &ModbusDataHandler::sig_updateFormParam);
    h->slots_readDataFinished(Addr40100, reply);
    QCOMPARE(spy.count(), 1);
    const RefreshData r = spy.at(0).at(0).value<RefreshData>();
    auto single = [&](int i) { return double(float(floats[i])); };
    QCOMPARE(r.ddsFreq, ddsFreq);
    QCOMPARE(r.laserTempSet, single(0));
    QCOMPARE(r.laserTemp, single(1));
    QCOMPARE(r.airTempSet, single(2));
    QCOMPARE(r.airTemp, single(3));
    QCOMPARE(r.laserElectricSet, single(4));
    QCOMPARE(r.laserElectric, single(5));
    QCOMPARE(r.pdeValue, single(6));
    QCOMPARE(r.pdValue, single(7));
}

void TestDataHandlerReplies::shortParameterBlock()
{
    QJsonObject registers;
    registers.insert("u32", regMap({{40100, 123456789}}));
    registers.insert("f32", regMap({{40122, 2.5}, {40126, -7.25}, {40158, 9.0}}));
    const QByteArray reply = pyReply("param", registers);
    QCOMPARE(reply.size(), 253);

    auto h = rig::localHandler();
    QSignalSpy spy(h.get(), &ModbusDataHandler::sig_updateFormParam);
    const int before = m_log->count("byteArrayToFloat size error.");
    // 60 bytes hold 40100-40101, 40122-40123 and 40126-40127; the six
    // singles from byte 63 on are missing.
    h->slots_readDataFinished(Addr40100, reply.left(60));
    QCOMPARE(spy.count(), 1);
    const RefreshData r = spy.at(0).at(0).value<RefreshData>();
    QCOMPARE(r.ddsFreq, 123456789u);
    QCOMPARE(r.laserTempSet, 2.5);
    QCOMPARE(r.laserTemp, -7.25);
    QCOMPARE(r.airTempSet, 0.0);
    QCOMPARE(r.pdValue, 0.0);
    QCOMPARE(m_log->count("byteArrayToFloat size error."), before + 6);

    // Nothing but the header: every field 0, no crash.
    h->slots_readDataFinished(Addr40100, reply.left(3));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).value<RefreshData>().ddsFreq, 0u);
}

void TestDataHandlerReplies::identityBlock_data()
{
    QTest::addColumn<int>("reg0");
    QTest::addColumn<int>("reg1");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<double>("dataRate");
    QTest::addColumn<int>("rate");
    QTest::newRow("digits") << 0x00AB << 0x0012 << "001200AB" << 0.001 << 1000;
    QTest::newRow("letters") << 0xBEEF << 0xCAFE << "CAFEBEEF" << 0.05 << 20;
    QTest::newRow("one per second") << 0x0102 << 0x0304 << "03040102" << 1.0 << 1;
    QTest::newRow("200 per second") << 0xF00D << 0x0000 << "0000F00D" << 0.005 << 200;
}

void TestDataHandlerReplies::identityBlock()
{
    QFETCH(int, reg0);
    QFETCH(int, reg1);
    QFETCH(QString, serial);
    QFETCH(double, dataRate);
    QFETCH(int, rate);
    QJsonObject registers;
    registers.insert("u16", regMap({{40000, double(reg0)}, {40001, double(reg1)}}));
    registers.insert("u32", regMap({{40064, 300000000}, {40066, 400000123}, {40068, 4567}}));
    const QByteArray reply = pyReply("identity", registers);
    QCOMPARE(reply.size(), 205);

    auto h = rig::localHandler();
    rig::setParams(*h, 0, 0, dataRate);
    QSignalSpy serialSpy(h.get(), &ModbusDataHandler::sig_updateSerialNumber);
    QSignalSpy sweepSpy(h.get(), &ModbusDataHandler::sig_updateFormParamEx);
    QSignalSpy rateSpy(h.get(), &ModbusDataHandler::sig_updateSamplingRate);
    QTest::ignoreMessage(QtDebugMsg, "20260409 read name");
    h->slots_readDataFinished(Addr40000, reply);

    QCOMPARE(serialSpy.count(), 1);
    // Register 40001 then 40000, upper-case hex; the main page adds "TVK-".
    QCOMPARE(serialSpy.at(0).at(0).toString(), serial);
    QCOMPARE(sweepSpy.count(), 1);
    const RefreshDataEx ex = sweepSpy.at(0).at(0).value<RefreshDataEx>();
    QCOMPARE(ex.fsStart, 300000000u);
    QCOMPARE(ex.fsEnd, 400000123u);
    QCOMPARE(ex.fsStep, 4567u);
    QCOMPARE(rateSpy.count(), 1);
    QCOMPARE(rateSpy.at(0).at(0).toInt(), rate);
}

void TestDataHandlerReplies::shortIdentityBlock()
{
    auto h = rig::localHandler();
    QSignalSpy serialSpy(h.get(), &ModbusDataHandler::sig_updateSerialNumber);
    QSignalSpy sweepSpy(h.get(), &ModbusDataHandler::sig_updateFormParamEx);
    QSignalSpy rateSpy(h.get(), &ModbusDataHandler::sig_updateSamplingRate);
    const int before = m_log->count("byteArrayToUInt32 size error.");
    h->slots_readDataFinished(Addr40000, QByteArray::fromHex("01036400AB00"));
    QCOMPARE(serialSpy.count(), 0);
    QCOMPARE(sweepSpy.count(), 1);
    QCOMPARE(sweepSpy.at(0).at(0).value<RefreshDataEx>().fsStep, 0u);
    QCOMPARE(rateSpy.count(), 1);
    QCOMPARE(rateSpy.at(0).at(0).toInt(), 1000);
    QCOMPARE(m_log->count("byteArrayToUInt32 size error."), before + 3);
}

void TestDataHandlerReplies::badDataRateReportsNoSamplingRate_data()
{
    QTest::addColumn<double>("dataRate");
    QTest::newRow("zero") << 0.0;
    QTest::newRow("negative") << -0.5;
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("too small for an int rate") << 1e-300;
}

void TestDataHandlerReplies::badDataRateReportsNoSamplingRate()
{
    QFETCH(double, dataRate);
    auto h = rig::localHandler();
    rig::setParams(*h, 0, 0, dataRate);
    QSignalSpy rateSpy(h.get(), &ModbusDataHandler::sig_updateSamplingRate);
    QSignalSpy serialSpy(h.get(), &ModbusDataHandler::sig_updateSerialNumber);
    const int before = m_log->count("sampling rate not reported");
    h->slots_readDataFinished(Addr40000, QByteArray(205, '\0'));
    QCOMPARE(rateSpy.count(), 0);
    QCOMPARE(serialSpy.count(), 1);
    QCOMPARE(m_log->count("sampling rate not reported"), before + 1);

    // The block lengths that the same data rate feeds stay at 1.
    h->slots_setFilterEnabled(false);
    QSignalSpy form(h.get(), &ModbusDataHandler::sig_updateForm);
    h->slots_readDataFinished(Addrdds_data, rig::frame(rig::fieldSamples(50)));
    QCOMPARE(form.count(), 1);
    QCOMPARE(rig::vec(form.at(0).at(0)).size(), 50);
    QCOMPARE(h->blockLengthUsed(), 1);
}

void TestDataHandlerReplies::kindsWithoutDecoderEmitNothing_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("restart echo") << int(Addr40118_restart);
    QTest::newRow("retrack echo") << int(Addr40118_retrack);
    QTest::newRow("rate registers") << int(Addr40230);
    QTest::newRow("custom echo") << int(AddrCustom);
    QTest::newRow("past the last kind") << 13;
    QTest::newRow("far past") << 1000;
}

void TestDataHandlerReplies::kindsWithoutDecoderEmitNothing()
{
    QFETCH(int, kind);
    auto h = rig::localHandler();
    h->slots_setFilterEnabled(false);
    AllSignals all(h.get());
    // Bytes that would decode as a status, a block or a stream frame.
    h->slots_readDataFinished(ModbusAddr(kind), rig::frame(rig::fieldSamples(50)));
    h->slots_readDataFinished(ModbusAddr(kind), QByteArray::fromHex("01030200041234"));
    QCOMPARE(all.total(), 0);
    QCOMPARE(h->spectrumWindow().size(), 0);
}

void TestDataHandlerReplies::frameSizeFollowsRate_data()
{
    QTest::addColumn<int>("byteCount");
    QTest::addColumn<bool>("change");
    QTest::addColumn<int>("frameBytes");
    QTest::newRow("200 with change") << 200 << true << 40;
    QTest::newRow("1000 without") << 1000 << false << 200;
    QTest::newRow("500 with change") << 500 << true << 100;
}

void TestDataHandlerReplies::frameSizeFollowsRate()
{
    QFETCH(int, byteCount);
    QFETCH(bool, change);
    QFETCH(int, frameBytes);
    auto h = rig::localHandler();
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("20260417 DATA_FREQUENCY: %1").arg(byteCount)));
    h->slots_syncDataByteCount(byteCount, change);
    QCOMPARE(h->frameBytes(), frameBytes);
    QCOMPARE(h->dataFrequency(), byteCount);
    // A frame of the new size is taken whole.
    h->slots_setFilterEnabled(false);
    rig::setParams(*h, 0, 0, 1.0 / byteCount);
    QSignalSpy progress(h.get(), &ModbusDataHandler::sig_updateProgressEx);
    h->slots_readDataFinished(Addrdds_data, rig::frame(rig::fieldSamples(frameBytes / 4)));
    QCOMPARE(progress.count(), 1);
}

void TestDataHandlerReplies::unsupportedRateKeepsFrameSize_data()
{
    QTest::addColumn<int>("byteCount");
    QTest::newRow("333") << 333;
    QTest::newRow("100") << 100;
    QTest::newRow("1") << 1;
    QTest::newRow("0") << 0;
}

void TestDataHandlerReplies::unsupportedRateKeepsFrameSize()
{
    // The link cuts no frames for these rates; the handler keeps the size
    // the link still cuts, as the link does.
    QFETCH(int, byteCount);
    auto h = rig::localHandler();
    QTest::ignoreMessage(QtDebugMsg, "20260417 DATA_FREQUENCY: 200");
    h->slots_syncDataByteCount(200, true);
    QTest::ignoreMessage(
        QtDebugMsg,
        qPrintable(QStringLiteral("stream frame size kept at 40 data bytes for unsupported rate %1").arg(byteCount)));
    h->slots_syncDataByteCount(byteCount, true);
    QCOMPARE(h->frameBytes(), 40);
    QCOMPARE(h->dataFrequency(), 200);
    h->slots_setFilterEnabled(false);
    rig::setParams(*h, 0, 0, 1.0 / 200);
    QSignalSpy progress(h.get(), &ModbusDataHandler::sig_updateProgressEx);
    QSignalSpy batches(h.get(), &ModbusDataHandler::sig_updateForm);
    h->slots_readDataFinished(Addrdds_data, rig::frame(rig::fieldSamples(10)));
    QCOMPARE(progress.count(), 1);
    QCOMPARE(batches.count(), 1);
    QCOMPARE(batches.at(0).at(0).value<QVector<double>>().size(), 10);
}

QTEST_GUILESS_MAIN(TestDataHandlerReplies)
#include "tst_datahandler_replies.moc"
