// Stream frames: checks, rejoining of split frames, the stream restart on a
// bad frame, sample decoding, signal strength and progress. Frames are built
// byte by byte by the test rig; samples come back through the filter-off
// path at 1000 per second, where each sample goes out on its own.

#include "handlerrig.h"
#include "processing/streamframe.h"

#include <QElapsedTimer>

namespace {

struct Outputs {
    explicit Outputs(ModbusDataHandler* h)
        : form(h, &ModbusDataHandler::sig_updateForm),
          progress(h, &ModbusDataHandler::sig_updateProgressEx),
          strength(h, &ModbusDataHandler::sig_signalStrength),
          send(h, &ModbusDataHandler::sig_sendModbusData)
    {
    }
    int batches() const { return form.count(); }
    QSignalSpy form, progress, strength, send;
};

QList<ModbusAddr> kinds(const QSignalSpy& spy)
{
    QList<ModbusAddr> out;
    for (const QList<QVariant>& args : spy)
        out << args.at(0).value<ModbusAddr>();
    return out;
}

std::unique_ptr<ModbusDataHandler> filterOffHandler()
{
    auto h = rig::localHandler();
    h->slots_setFilterEnabled(false);
    rig::setParams(*h, 0, 0, 0.001, 100);
    return h;
}

} // namespace

class TestDataHandlerStream : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerSharedMetaTypes();
        m_log.reset(new rig::LogCapture);
    }
    void cleanupTestCase() { m_log.reset(); }

    void validFrameGivesExactlyItsSamples();
    void littleEndianSamples();
    void floatEncoding();
    void badHeadOrTailRestartsStream_data();
    void badHeadOrTailRestartsStream();
    void tooLongPieceDropped();
    void shortOrStrayPiecesIgnored();
    void splitFramesRejoin_data();
    void splitFramesRejoin();
    void heldHeadClearedAfterJoin();
    void heldHeadClearedAfterFailedJoin();
    void newHeadReplacesHeldHead();
    void frameSizeAt200PerSecond();
    void strengthTracker();
    void strengthOnlyOnChange();
    void progressFromEveryFrame();
    void frameErrorsCountedOneLinePerSpan();

private:
    std::unique_ptr<rig::LogCapture> m_log;
};

void TestDataHandlerStream::validFrameGivesExactlyItsSamples()
{
    auto h = filterOffHandler();
    Outputs out(h.get());
    const QVector<quint32> samples = rig::fieldSamples(50);
    const QByteArray f = rig::frame(samples);
    QCOMPARE(f.size(), 209);
    h->slots_readDataFinished(Addrdds_data, f);
    QCOMPARE(out.batches(), 1);
    QCOMPARE(h->spectrumWindow(), rig::toDoubles(samples));
    const QVector<double> batch = rig::vec(out.form.at(0).at(0));
    QCOMPARE(batch.size(), 50);
    for (int i = 0; i < 50; ++i)
        QVERIFY(std::abs(batch[i] - samples[i] * 0.001 / 6.99583) < 1e-9);
    QCOMPARE(out.form.at(0).at(1).value<FrequencyType>(), Freq1000Hz);
    QCOMPARE(out.send.count(), 0);

    // Every stream tag is a stream frame.
    for (ModbusAddr tag : {Addr30000, Addrdds_start, Addrdds_end})
        h->slots_readDataFinished(tag, f);
    QCOMPARE(out.batches(), 4);
}

void TestDataHandlerStream::littleEndianSamples()
{
    auto h = filterOffHandler();
    QByteArray f = rig::frame(QVector<quint32>(50, 0));
    // First sample 01 02 00 00, last FF FF FF FF.
    f[5] = char(0x01);
    f[6] = char(0x02);
    for (int i = 0; i < 4; ++i)
        f[5 + 49 * 4 + i] = char(0xFF);
    h->slots_readDataFinished(Addrdds_data, f);
    const QVector<double>& w = h->spectrumWindow();
    QCOMPARE(w.size(), 50);
    QCOMPARE(w[0], 513.0);
    QCOMPARE(w[1], 0.0);
    QCOMPARE(w[49], 4294967295.0);
}

void TestDataHandlerStream::floatEncoding()
{
    // Nothing selects it today; the decoder still reads singles little-endian.
    QByteArray f = rig::frame({0x3FC00000u, 0xC1200000u});
    const QVector<double> s = StreamFrame::decodeSamples(f, 8, 4, 1);
    QCOMPARE(s, (QVector<double>{1.5, -10.0}));
    // Trailing bytes that do not fill a sample are ignored.
    QCOMPARE(StreamFrame::decodeSamples(f, 7, 4, 0).size(), 1);
}

void TestDataHandlerStream::badHeadOrTailRestartsStream_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("value");
    QTest::newRow("head AB 02") << 1 << 0x02;
    QTest::newRow("head AC 01") << 0 << 0xAC;
    QTest::newRow("tail FE") << 208 << 0xFE;
}

void TestDataHandlerStream::badHeadOrTailRestartsStream()
{
    QFETCH(int, index);
    QFETCH(int, value);
    auto h = filterOffHandler();
    Outputs out(h.get());
    QElapsedTimer clock;
    clock.start();
    QVector<qint64> at;
    connect(h.get(), &ModbusDataHandler::sig_sendModbusData, h.get(), [&](ModbusAddr) { at.append(clock.nsecsElapsed()); });

    QByteArray f = rig::frame(rig::fieldSamples(50));
    f[index] = char(value);
    QTest::ignoreMessage(QtDebugMsg, "data error3");
    QTest::ignoreMessage(QtDebugMsg, "20260417 Addrdds_end 2");
    h->slots_readDataFinished(Addrdds_data, f);

    QCOMPARE(out.send.count(), 2);
    QCOMPARE(out.send.at(0).at(0).value<ModbusAddr>(), Addrdds_end);
    QCOMPARE(out.send.at(1).at(0).value<ModbusAddr>(), Addrdds_start);
    QVERIFY2(at[1] - at[0] >= 50 * 1000000LL, qPrintable(QString::number((at[1] - at[0]) / 1e6)));
    QCOMPARE(out.batches(), 0);
    QCOMPARE(out.progress.count(), 0);
    QCOMPARE(h->spectrumWindow().size(), 0);
}

void TestDataHandlerStream::tooLongPieceDropped()
{
    auto h = filterOffHandler();
    Outputs out(h.get());
    QTest::ignoreMessage(QtDebugMsg, "data error1");
    h->slots_readDataFinished(Addrdds_data, rig::frame(rig::fieldSamples(50)) + QByteArray(1, char(0xFF)));
    QCOMPARE(out.batches() + out.progress.count() + out.send.count() + out.strength.count(), 0);
}

void TestDataHandlerStream::shortOrStrayPiecesIgnored()
{
    auto h = filterOffHandler();
    Outputs out(h.get());
    const QByteArray f = rig::frame(rig::fieldSamples(50));
    h->slots_readDataFinished(Addrdds_data, f.left(3));      // too short
    h->slots_readDataFinished(Addrdds_data, QByteArray(100, char(0x10))); // neither head nor tail
    h->slots_readDataFinished(Addrdds_data, QByteArray::fromHex("AB01FF")); // 3 bytes, even with head and tail
    QCOMPARE(out.batches() + out.progress.count() + out.send.count(), 0);
    // The stray pieces left the stream intact.
    h->slots_readDataFinished(Addrdds_data, f);
    QCOMPARE(out.batches(), 1);
}

void TestDataHandlerStream::splitFramesRejoin_data()
{
    QTest::addColumn<int>("headBytes");
    QTest::newRow("100 + 109") << 100;
    QTest::newRow("4 + 205") << 4;
    QTest::newRow("205 + 4") << 205;
    QTest::newRow("inside a sample 7 + 202") << 7;
}

void TestDataHandlerStream::splitFramesRejoin()
{
    QFETCH(int, headBytes);
    auto h = filterOffHandler();
    Outputs out(h.get());
    const QVector<quint32> samples = rig::fieldSamples(50, 1000.0, 11);
    const QByteArray f = rig::frame(samples, 2, 1);
    h->slots_readDataFinished(Addrdds_data, f.left(headBytes));
    QCOMPARE(out.batches(), 0);
    h->slots_readDataFinished(Addrdds_data, f.mid(headBytes));
    QCOMPARE(out.batches(), 1);
    QCOMPARE(h->spectrumWindow(), rig::toDoubles(samples));
    QCOMPARE(out.progress.count(), 1);
    QCOMPARE(out.progress.at(0).at(0).toInt(), 2);
}

void TestDataHandlerStream::heldHeadClearedAfterJoin()
{
    auto h = filterOffHandler();
    Outputs out(h.get());
    const QByteArray f = rig::frame(rig::fieldSamples(50));
    h->slots_readDataFinished(Addrdds_data, f.left(100));
    h->slots_readDataFinished(Addrdds_data, f.mid(100));
    QCOMPARE(out.batches(), 1);
    // The same tail again: the used head is gone, so nothing is spliced.
    QTest::ignoreMessage(QtDebugMsg, "data error2");
    h->slots_readDataFinished(Addrdds_data, f.mid(100));
    QCOMPARE(out.batches(), 1);
    QCOMPARE(h->spectrumWindow().size(), 50);
}

void TestDataHandlerStream::heldHeadClearedAfterFailedJoin()
{
    auto h = filterOffHandler();
    Outputs out(h.get());
    const QByteArray f = rig::frame(rig::fieldSamples(50));
    h->slots_readDataFinished(Addrdds_data, f.left(100));
    // 100 + 100 is not a frame.
    QTest::ignoreMessage(QtDebugMsg, "data error2");
    h->slots_readDataFinished(Addrdds_data, f.right(100));
    // A tail that would fit the old head is not joined to it.
    QTest::ignoreMessage(QtDebugMsg, "data error2");
    h->slots_readDataFinished(Addrdds_data, f.mid(100));
    QCOMPARE(out.batches(), 0);
    QCOMPARE(out.send.count(), 0);
}

void TestDataHandlerStream::newHeadReplacesHeldHead()
{
    auto h = filterOffHandler();
    const QVector<quint32> first = rig::fieldSamples(50, 1000.0, 1);
    const QVector<quint32> second = rig::fieldSamples(50, 1000.0, 2);
    const QByteArray a = rig::frame(first);
    const QByteArray b = rig::frame(second);
    h->slots_readDataFinished(Addrdds_data, a.left(100));
    h->slots_readDataFinished(Addrdds_data, b.left(100));
    h->slots_readDataFinished(Addrdds_data, b.mid(100));
    QCOMPARE(h->spectrumWindow(), rig::toDoubles(second));
}

void TestDataHandlerStream::frameSizeAt200PerSecond()
{
    auto h = filterOffHandler();
    h->slots_syncDataByteCount(200, true);
    rig::setParams(*h, 0, 0, 0.005, 100);
    Outputs out(h.get());
    const QVector<quint32> samples = rig::fieldSamples(10, 200.0);
    const QByteArray f = rig::frame(samples);
    QCOMPARE(f.size(), 49);
    h->slots_readDataFinished(Addrdds_data, f.left(20));
    h->slots_readDataFinished(Addrdds_data, f.mid(20));
    QCOMPARE(out.batches(), 1);
    QCOMPARE(out.form.at(0).at(1).value<FrequencyType>(), Freq200Hz);
    QCOMPARE(h->spectrumWindow(), rig::toDoubles(samples));
    // A 1000-per-second frame is now too long.
    QTest::ignoreMessage(QtDebugMsg, "data error1");
    h->slots_readDataFinished(Addrdds_data, rig::frame(rig::fieldSamples(50)));
    QCOMPARE(out.batches(), 1);
}

void TestDataHandlerStream::strengthTracker()
{
    StreamFrame::StrengthTracker t;
    QVector<int> reported;
    for (int s : {3, 3, 3, 5, 2, 2, 4, 255, 0})
        if (t.update(s))
            reported.append(s);
    QCOMPARE(reported, (QVector<int>{3, 2, 4, 0}));
    QCOMPARE(t.last(), 0);
}

void TestDataHandlerStream::strengthOnlyOnChange()
{
    auto h = filterOffHandler();
    Outputs out(h.get());
    // The last strength reported is shared by the whole process: start
    // from a value that differs from it.
    const int last = StreamFrame::processStrengthTracker().last();
    const int a = last == 3 ? 1 : 3;
    const int b = a == 3 ? 2 : 4;
    for (int s : {a, a, a, 5, b})
        h->slots_readDataFinished(Addrdds_data, rig::frame(rig::fieldSamples(50), 4, s));
    QCOMPARE(out.strength.count(), 2);
    QCOMPARE(out.strength.at(0).at(0).toInt(), a);
    QCOMPARE(out.strength.at(1).at(0).toInt(), b);
    // The out-of-range 5 still carried its samples.
    QCOMPARE(out.batches(), 5);
}

void TestDataHandlerStream::progressFromEveryFrame()
{
    auto h = filterOffHandler();
    Outputs out(h.get());
    for (int p : {0, 1, 4, 4, 2})
        h->slots_readDataFinished(Addrdds_data, rig::frame(rig::fieldSamples(50), p));
    QCOMPARE(out.progress.count(), 5);
    QVector<int> got;
    for (const auto& args : out.progress)
        got.append(args.at(0).toInt());
    QCOMPARE(got, (QVector<int>{0, 1, 4, 4, 2}));
}

// Frame errors go to the application log as counts, one line per span in
// which any occurred (the span shortened here from its minute).
void TestDataHandlerStream::frameErrorsCountedOneLinePerSpan()
{
    const QString prefix = QStringLiteral("Stream frame errors within");
    const auto lines = [&]() {
        QStringList out;
        for (const QString& line : m_log->text().split(QLatin1Char('\n')))
            if (line.contains(prefix))
                out << line.mid(line.indexOf(prefix)).trimmed();
        return out;
    };
    const int linesBefore = lines().size();
    auto h = filterOffHandler();
    h->setFrameErrorReportInterval(400);
    Outputs out(h.get());
    const QByteArray good = rig::frame(rig::fieldSamples(50));

    // Clean frames alone write nothing.
    for (int i = 0; i < 5; ++i)
        h->slots_readDataFinished(Addrdds_data, good);
    QTest::qWait(700);
    QCOMPARE(lines().size(), linesBefore);

    QByteArray badHead = good;
    badHead[1] = char(0x02);
    QByteArray badTail = good;
    badTail[208] = char(0xFE);
    h->slots_readDataFinished(Addrdds_data, badHead);                       // 209, restart
    h->slots_readDataFinished(Addrdds_data, good);
    h->slots_readDataFinished(Addrdds_data, badTail);                       // 209, restart
    h->slots_readDataFinished(Addrdds_data, badHead);                       // 209, restart
    h->slots_readDataFinished(Addrdds_data, good + QByteArray(1, char(0xFF))); // 210, too long
    h->slots_readDataFinished(Addrdds_data, good.left(100));                 // held
    h->slots_readDataFinished(Addrdds_data, good.left(100));                 // replaces it: 100
    h->slots_readDataFinished(Addrdds_data, good.right(100));                // 100 + 100: 200
    h->slots_readDataFinished(Addrdds_data, QByteArray(50, char(0x10)));     // stray: 50
    h->slots_readDataFinished(Addrdds_data, good);
    QCOMPARE(out.batches(), 7);
    QCOMPARE(kinds(out.send), (QList<ModbusAddr>{Addrdds_end, Addrdds_start, Addrdds_end, Addrdds_start,
                                                 Addrdds_end, Addrdds_start}));
    // nothing yet: the span is still open
    QCOMPARE(lines().size(), linesBefore);
    QTRY_COMPARE_WITH_TIMEOUT(lines().size(), linesBefore + 1, 3000);
    QCOMPARE(lines().last(), QStringLiteral("Stream frame errors within 0.4 s: 7 frames dropped (1 too long, "
                                            "3 without head or tail, 3 split and not rejoined), 3 stream restarts, "
                                            "1187 bytes discarded"));
    // a quiet span writes nothing
    QTest::qWait(900);
    QCOMPARE(lines().size(), linesBefore + 1);

    // a later error opens a span of its own
    h->slots_readDataFinished(Addrdds_data, badTail);
    QTRY_COMPARE_WITH_TIMEOUT(lines().size(), linesBefore + 2, 3000);
    QCOMPARE(lines().last(), QStringLiteral("Stream frame errors within 0.4 s: 1 frames dropped (0 too long, "
                                            "1 without head or tail, 0 split and not rejoined), 1 stream restarts, "
                                            "209 bytes discarded"));
}

QTEST_GUILESS_MAIN(TestDataHandlerStream)
#include "tst_datahandler_stream.moc"
