#include "processing/modbusdatahandler.h"

#include "core/globalstate.h"
#include "core/logger.h"
#include "link/instrumentframes.h"
#include "processing/ratefilters.h"
#include "processing/replydecoder.h"
#include "processing/streamframe.h"
#include "processing/vectorrecords.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>
#include <exception>

namespace {

// Playout interval: one twentieth of a second of samples per tick, a little
// faster than real time so a block is played out before the next arrives,
// and faster still while blocks wait.
constexpr int kPlayIntervalMs = 47;
constexpr int kPlayIntervalBacklogMs = 40;

// Filter windows at 1000 samples per second (also the 1 Hz and 20 Hz modes):
// 1600 samples in, 300 of lead-in thrown away, 1000 kept; 200 per second:
// 320 in, 60 thrown away, 200 kept.
constexpr int kWindow1000 = 1600;
constexpr int kLead1000 = 300;
constexpr int kKeep1000 = 1000;
constexpr int kWindow200 = 320;
constexpr int kLead200 = 60;
constexpr int kKeep200 = 200;
// Samples gathered at a rate that the notch chain does not serve are kept
// only this far back, so that they cannot grow without bound.
constexpr int kAccumulatorCap = 1600;

constexpr int kRestartPauseMs = 50;

// The sampling rate that a data rate (seconds per point) stands for; false
// when there is none that an int can hold.
bool samplingRateOf(double dataRate, int* rate)
{
    if (!(dataRate > 0.0))
        return false;
    const double r = 1.0 / dataRate;
    if (!(r < static_cast<double>(INT_MAX)))
        return false;
    *rate = static_cast<int>(r);
    return true;
}

} // namespace

ModbusDataHandler::ModbusDataHandler(QObject* parent)
    : QObject(parent)
{
    notchList = {50, 75, 125, 175, 200, 225, 250, 275, 300, 325, 375, 425};
    workerThread = new QThread(this);
    moveToThread(workerThread);
    connect(workerThread, &QThread::started, this, &ModbusDataHandler::initTimer);
    workerThread->start(QThread::InheritPriority);
    connect(this, &ModbusDataHandler::sig_handoutData, this, &ModbusDataHandler::slots_handoutData);
    filterEnabled = true;
}

ModbusDataHandler::~ModbusDataHandler()
{
    shutdown();
}

void ModbusDataHandler::shutdown()
{
    if (!workerThread || QThread::currentThread() == workerThread || !workerThread->isRunning())
        return;
    QThread* const caller = QThread::currentThread();
    // The timer and the handler belong to the processing thread: stop and
    // hand them over from there.
    QMetaObject::invokeMethod(
        this,
        [this, caller]() {
            if (playTimer)
                playTimer->stop();
            moveToThread(caller);
        },
        Qt::BlockingQueuedConnection);
    workerThread->quit();
    workerThread->wait();
}

// ---- settings -------------------------------------------------------------

void ModbusDataHandler::slots_setOneHz(bool b)
{
    oneHz = b;
}

void ModbusDataHandler::slots_setTwentyHz(bool b)
{
    twentyHz = b;
}

void ModbusDataHandler::slots_setFilterEnabled(bool b)
{
    filterEnabled = b;
}

void ModbusDataHandler::slots_syncDataParam(DataParam data)
{
    dataParam = data;
}

void ModbusDataHandler::slots_syncDataByteCount(int byteCount, bool bChange)
{
    // The link cuts frames only for rates it has start frames for; expecting
    // another size would misread every frame it does cut.
    if (bChange && !InstrumentFrames::streamPairFor(byteCount)) {
        qDebug() << "stream frame size kept at" << frameDataBytes << "data bytes for unsupported rate" << byteCount;
        return;
    }
    frameDataBytes = bChange ? byteCount / 5 : 200;
    DATA_FREQUENCY = byteCount;
    qDebug() << "20260417 DATA_FREQUENCY:" << DATA_FREQUENCY;
}

// ---- dispatcher -----------------------------------------------------------

void ModbusDataHandler::slots_readDataFinished(ModbusAddr modbusAddr, QByteArray data)
{
    try {
        dispatch(modbusAddr, data);
    } catch (const std::exception& e) {
        logDroppedBlock("reply", e.what());
    }
}

void ModbusDataHandler::dispatch(ModbusAddr modbusAddr, const QByteArray& data)
{
    switch (modbusAddr) {
    case Addr40118r:
        emit sig_updateProgress(ReplyDecoder::decodeStatus(data));
        break;
    case Addr40100: {
        const RefreshData refreshData = ReplyDecoder::decodeParameterBlock(data);
        scratch = static_cast<float>(refreshData.pdValue);
        emit sig_updateFormParam(refreshData);
        break;
    }
    case Addr30000:
    case Addrdds_data:
    case Addrdds_start:
    case Addrdds_end:
        if (parseDdsData(data, 0, QVector<double>(), history, false))
            spectrumAfterFrame();
        break;
    case Addr40000:
        decodeIdentityBlock(data);
        break;
    case AddrVectorFid:
        parseVectorData(data, 0, QVector<double>(), history, false);
        break;
    case AddrFid:
        parseFidFrequencyData(data, 0, QVector<double>(), history, false);
        break;
    default:
        // Echoes of writes, the rate registers and unknown kinds.
        break;
    }
}

void ModbusDataHandler::decodeIdentityBlock(const QByteArray& data)
{
    qDebug() << "20260409 read name";
    QString serialNumber;
    if (ReplyDecoder::decodeSerialNumber(data, &serialNumber))
        emit sig_updateSerialNumber(serialNumber);
    emit sig_updateFormParamEx(ReplyDecoder::decodeSweep(data));
    // The rate the handler is set to, not one read from the reply.
    int rate = 0;
    if (samplingRateOf(dataParam.dataRate, &rate))
        emit sig_updateSamplingRate(rate);
    else
        Logger::instance()->log(QStringLiteral("sampling rate not reported: data rate %1 out of range")
                                    .arg(dataParam.dataRate));
}

void ModbusDataHandler::slots_readDataFinishedCeshiDelay(ModbusAddr modbusAddr, QByteArray data, int length)
{
    static int calls = 0;
    ++calls;
    QElapsedTimer timer;
    timer.start();
    slots_readDataFinished(modbusAddr, data);
    const qint64 ms = timer.elapsed();
    qDebug() << "data length:" << data.size();
    qDebug() << "-----20260306 handle:" << calls << "  20260306 not read length:" << length << "  use time:" << ms;
}

void ModbusDataHandler::slots_revMockData(QVector<double> mockData)
{
    try {
        if (parseDdsData(QByteArray(), 0, mockData, history, true))
            spectrumAfterFrame();
    } catch (const std::exception& e) {
        logDroppedBlock("replay", e.what());
    }
}

void ModbusDataHandler::spectrumAfterFrame()
{
    RateFilters::trimToNewest(history, spectrumWindowLength());
    updateSpectrum(history);
}

qint64 ModbusDataHandler::spectrumWindowLength() const
{
    return static_cast<qint64>(DATA_FREQUENCY) * dataParam.fftSeconds;
}

void ModbusDataHandler::logDroppedBlock(const char* where, const char* what)
{
    Logger::instance()->log(QStringLiteral("signal processing failed (%1), block dropped: %2")
                                .arg(QLatin1String(where), QString::fromLocal8Bit(what)));
}

// ---- stream frames --------------------------------------------------------

bool ModbusDataHandler::assembleDdsFrame(QByteArray& data)
{
    const int pieceBytes = data.size();
    const int heldBytes = partialFrame.size();
    const StreamFrame::Check check = StreamFrame::assemble(data, partialFrame, frameDataBytes);
    switch (check) {
    case StreamFrame::Check::Accepted:
        return true;
    case StreamFrame::Check::HeldHead:
        // A head that replaces one still waiting: that frame never completes.
        if (heldBytes > 0)
            countFrameError(check, heldBytes);
        return false;
    case StreamFrame::Check::BadHeadOrTail:
        countFrameError(check, pieceBytes);
        restartStream();
        return false;
    case StreamFrame::Check::JoinFailed:
        // the held head went with the tail it was joined to
        countFrameError(check, data.size());
        return false;
    default:
        if (pieceBytes > 0)
            countFrameError(check, pieceBytes);
        return false;
    }
}

void ModbusDataHandler::restartStream()
{
    qDebug() << "20260417 Addrdds_end 2";
    ++frameErrors.restarts;
    emit sig_sendModbusData(Addrdds_end);
    QThread::msleep(kRestartPauseMs);
    emit sig_sendModbusData(Addrdds_start);
}

void ModbusDataHandler::countFrameError(StreamFrame::Check check, int bytes)
{
    frameErrors.count(check, bytes);
    if (!frameErrorTimer) {
        frameErrorTimer = new QTimer(this);
        frameErrorTimer->setSingleShot(true);
        connect(frameErrorTimer, &QTimer::timeout, this, &ModbusDataHandler::reportFrameErrors);
    }
    if (!frameErrorTimer->isActive())
        frameErrorTimer->start(frameErrorReportMs.load());
}

void ModbusDataHandler::reportFrameErrors()
{
    if (frameErrors.isEmpty())
        return;
    Logger::instance()->log(frameErrors.summary(frameErrorTimer->interval()));
    frameErrors = StreamFrame::ErrorTally();
}

bool ModbusDataHandler::parseDdsData(const QByteArray& data, int valueType, const QVector<double>& mockData,
                                     QVector<double>& window, bool isMock)
{
    QVector<double> samples;
    if (isMock) {
        samples = mockData;
    } else {
        QByteArray frame = data;
        if (!assembleDdsFrame(frame))
            return false;
        const int strength = StreamFrame::signalStrength(frame);
        if (StreamFrame::processStrengthTracker().update(strength))
            emit sig_signalStrength(strength);
        emit sig_updateProgressEx(StreamFrame::progressStatus(frame));
        samples = StreamFrame::decodeSamples(frame, frameDataBytes, bytesPerSample, valueType);
    }
    return processSamples(samples, window);
}

// ---- averaging and filtering by rate -------------------------------------

bool ModbusDataHandler::processSamples(const QVector<double>& samples, QVector<double>& window)
{
    if (oneHz) {
        processOneHz(samples);
        return false;
    }
    if (twentyHz) {
        processTwentyHz(samples, window);
        return false;
    }
    if (filterEnabled) {
        processFilterOn(samples);
        return false;
    }
    return processFilterOff(samples, window);
}

QVector<double> ModbusDataHandler::notchWindow(int lead, int length, int consumed)
{
    // The oldest samples are consumed before filtering, so a window that the
    // filter library rejects is dropped instead of being retried forever.
    const QVector<double> window = accumulator;
    accumulator.remove(0, qMin(consumed, accumulator.size()));
    return RateFilters::notchChain(filter, window, wideNotchHz, notchList).mid(lead, length);
}

void ModbusDataHandler::processOneHz(const QVector<double>& samples)
{
    DATA_FREQUENCY = 1;
    accumulator += samples;
    if (accumulator.size() < kKeep1000)
        return;
    double m = 0.0;
    if (!filterEnabled) {
        m = RateFilters::mean(accumulator);
        accumulator.clear();
    } else {
        if (accumulator.size() < kWindow1000)
            return;
        m = RateFilters::mean(notchWindow(kLead1000, kKeep1000, kKeep1000));
    }
    const QVector<double> value{m * 0.001 / hzPerNt};
    emit sig_updateForm(value, Freq1Hz);
    emit sig_updateFormEx(value, QVector<double>(), QVector<double>());
}

void ModbusDataHandler::processTwentyHz(const QVector<double>& samples, QVector<double>& window)
{
    DATA_FREQUENCY = 20;
    if (filterEnabled) {
        accumulator += samples;
        if (accumulator.size() < kWindow1000)
            return;
        const QVector<double> z = notchWindow(kLead1000, kKeep1000, kKeep1000);
        DATA_PRINT_AVG_COUNT = RateFilters::blockLength(dataParam.dataRate * 1000.0);
        // One block of means: one value per tick at this rate, so the playout
        // keeps pace with the stream.
        emit sig_handoutData(RateFilters::blockMeans(z, DATA_PRINT_AVG_COUNT));
        return;
    }

    DATA_PRINT_AVG_COUNT = RateFilters::blockLength(dataParam.dataRate * 1000.0);
    qDebug() << "20260420 is DATA_PRINT_AVG_COUNT is 50:" << DATA_PRINT_AVG_COUNT;
    qDebug() << "20260420 original_data size is 50:" << samples.size();
    QVector<double> m = RateFilters::blockMeans(samples, DATA_PRINT_AVG_COUNT);
    window += m;
    RateFilters::trimToNewest(window, spectrumWindowLength());
    m = RateFilters::passFilters(filter, m, dataParam.lowPass, dataParam.highPass, 20);
    RateFilters::toNanoTesla(m, hzPerNt);
    lastChunk = m;
    emit sig_updateForm(m, Freq20Hz);

    accumulator += samples;
    if (accumulator.size() >= kKeep1000) {
        const double b = RateFilters::mean(accumulator) * 0.001 / hzPerNt;
        accumulator.clear();
        // The second's mean is a summary for the spectrum page only; as a
        // sample it would make 21 values a second.
        emit sig_updateFormEx(QVector<double>{b}, QVector<double>(), QVector<double>());
    }
}

void ModbusDataHandler::processFilterOn(const QVector<double>& samples)
{
    accumulator += samples;
    switch (DATA_FREQUENCY) {
    case 1000:
        if (accumulator.size() >= kWindow1000)
            emit sig_handoutData(notchWindow(kLead1000, kKeep1000, kKeep1000));
        break;
    case 200:
        if (accumulator.size() >= kWindow200) {
            const QVector<double> z = notchWindow(kLead200, kKeep200, kKeep200);
            DATA_PRINT_AVG_COUNT = RateFilters::blockLength(200 * dataParam.dataRate);
            emit sig_handoutData(RateFilters::blockMeans(z, DATA_PRINT_AVG_COUNT));
        }
        break;
    case 20:
        qDebug() << "20260420 wrong1, can not enter here";
        if (accumulator.size() >= kWindow1000) {
            const QVector<double> z = notchWindow(kLead1000, kKeep1000, kKeep1000);
            DATA_PRINT_AVG_COUNT = RateFilters::blockLength(dataParam.dataRate * 1000.0);
            qDebug() << "20260420 dataParam.dataRate:" << dataParam.dataRate;
            qDebug() << "20260420 DATA_PRINT_AVG_COUNT:" << DATA_PRINT_AVG_COUNT;
            emit sig_handoutData(RateFilters::blockMeans(z, DATA_PRINT_AVG_COUNT));
        }
        break;
    default:
        RateFilters::trimToNewest(accumulator, kAccumulatorCap);
        break;
    }
}

bool ModbusDataHandler::processFilterOff(const QVector<double>& samples, QVector<double>& window)
{
    DATA_PRINT_AVG_COUNT = RateFilters::blockLength(DATA_FREQUENCY * dataParam.dataRate);
    QVector<double> m = RateFilters::blockMeans(samples, DATA_PRINT_AVG_COUNT);
    window += m;
    m = RateFilters::passFilters(filter, m, dataParam.lowPass, dataParam.highPass, DATA_FREQUENCY);
    RateFilters::toNanoTesla(m, hzPerNt);
    lastChunk = m;
    switch (DATA_FREQUENCY) {
    case 1000:
        emit sig_updateForm(m, Freq1000Hz);
        break;
    case 200:
        emit sig_updateForm(m, Freq200Hz);
        break;
    case 20:
        qDebug() << "20260420 wrong1, can not enter here";
        emit sig_updateForm(m, Freq20Hz);
        break;
    default:
        break;
    }
    return true;
}

// ---- vector and FID records ---------------------------------------------

bool ModbusDataHandler::assembleFidFrame(QByteArray& piece)
{
    return VectorRecords::assembleFidFrame(piece, fidPartialFrame) == VectorRecords::FidCheck::Accepted;
}

bool ModbusDataHandler::parseFidFrequencyData(const QByteArray& data, int valueType, const QVector<double>& mockData,
                                              QVector<double>& window, bool isMock)
{
    Q_UNUSED(valueType);
    Q_UNUSED(mockData);
    Q_UNUSED(window);
    Q_UNUSED(isMock);
    QByteArray frame = data;
    if (!assembleFidFrame(frame))
        return false;

    int unusable = 0;
    for (const VectorRecords::FrequencyRecord& r : VectorRecords::decodeRecords(frame)) {
        if (r.hz < 0) {
            qDebug().noquote() << "byteArray:" << QString::fromLatin1(frame.toHex(' ').toUpper());
            qDebug().noquote()
                << QStringLiteral("frequency,value1,value2:%1,%2,%3").arg(r.hz, 0, 'f', 6).arg(r.value1).arg(r.value2);
        }
        // A zero divisor gives an infinite frequency, which would spoil a
        // whole notch window.
        if (r.hz > 0 && std::isfinite(r.hz))
            fidAccumulator.append(r.hz);
        else if (!(r.hz < 0))
            ++unusable;
    }
    if (unusable > 0)
        qDebug() << "FID frequencies dropped (zero or undefined):" << unusable;

    if (!filterEnabled) {
        if (fidAccumulator.size() >= kKeep1000) {
            QVector<double> block = fidAccumulator.mid(0, kKeep1000);
            for (double& v : block)
                v *= 1000.0; // Hz to mHz
            QElapsedTimer timer;
            timer.start();
            emit sig_handoutData(block);
            qDebug() << "use time1:" << timer.elapsed();
            fidAccumulator.remove(0, kKeep1000);
        }
        return false;
    }
    if (fidAccumulator.size() >= kWindow1000) {
        const std::vector<double> x(fidAccumulator.begin(), fidAccumulator.end());
        // Consumed before filtering: a window the filter rejects is dropped,
        // not retried with every frame.
        fidAccumulator.remove(0, kKeep1000);
        const std::vector<double> y = filter.notchFilterBandwidth(x, 0.54, 0.2, 1000.0);
        QVector<double> block;
        block.reserve(kKeep1000);
        for (int i = kLead1000; i < kLead1000 + kKeep1000 && i < int(y.size()); ++i)
            block.append(y[size_t(i)] * 1000.0);
        emit sig_handoutData(block);
    }
    return false;
}

bool ModbusDataHandler::checkVectorFrameHeader(const QByteArray& frame)
{
    return VectorRecords::checkVectorFrameHeader(frame) == VectorRecords::VectorCheck::Good;
}

void ModbusDataHandler::dumpVectorFrame(const char* kind, const QByteArray& frame, bool toDebug)
{
    const QString text = VectorRecords::frameDump(
        QStringLiteral("vector %1 byte size: %2 bytes:").arg(QLatin1String(kind)).arg(frame.size()), frame);
    if (toDebug)
        qDebug().noquote() << text;
    emit sig_saveCrashLog(QDateTime::currentDateTimeUtc().toSecsSinceEpoch(), text);
}

bool ModbusDataHandler::parseVectorData(const QByteArray& data, int valueType, const QVector<double>& mockData,
                                        QVector<double>& window, bool isMock)
{
    Q_UNUSED(valueType);
    Q_UNUSED(mockData);
    Q_UNUSED(window);
    Q_UNUSED(isMock);
    if (!checkVectorFrameHeader(data)) {
        // The first ten bad frames go to the crash log; the count stops at
        // -1 so that it cannot wrap.
        if (badFramesToDump >= 0 && --badFramesToDump >= 0)
            dumpVectorFrame("wrong", data, true);
        return false;
    }
    if (goodFramesToDump >= 0 && --goodFramesToDump >= 0)
        dumpVectorFrame("right", data, false);

    for (const VectorRecords::FrequencyRecord& r : VectorRecords::decodeRecords(data)) {
        if (r.value2 == 0)
            qDebug().noquote()
                << QStringLiteral("value2 =0 , B%1:%2").arg(frequencyRecordCount % 8).arg(r.hz, 0, 'g', 6);
        ++frequencyRecordCount;
        vectorAccumulator.append(r.hz);
    }
    while (vectorAccumulator.size() > VectorRecords::kFrequenciesPerBlock - 1) {
        processVectorBlock(vectorAccumulator.mid(0, VectorRecords::kFrequenciesPerBlock));
        vectorAccumulator.remove(0, VectorRecords::kFrequenciesPerBlock);
    }
    return false;
}

QList<FIDVectorNum> ModbusDataHandler::buildVectorRecords(const QVector<double>& frequencies)
{
    const QList<FIDVectorNum> records = VectorRecords::buildVectorRecords(frequencies, hzPerNt);
    for (const FIDVectorNum& r : records)
        emit sig_saveVectorXYZS(r, QDateTime::currentDateTimeUtc());
    return records;
}

void ModbusDataHandler::processVectorBlock(const QVector<double>& frequencies)
{
    const QList<FIDVectorNum> records = buildVectorRecords(frequencies);
    std::array<QVector<double>, 4> axes;
    for (const FIDVectorNum& r : records) {
        ++vectorRecordCount;
        if (vectorRecordCount % 5000 == 0)
            qDebug() << "vector x:" << r.x << " y:" << r.y << " z:" << r.z << " s:" << r.s;
        axes[0].append(r.x);
        axes[1].append(r.y);
        axes[2].append(r.z);
        axes[3].append(r.s);
    }

    int seconds = 0;
    {
        GlobalState& global = GlobalState::instance();
        QMutexLocker lock(&global.measTimeMutex);
        seconds = global.measTime;
    }
    // Vector records come at 111 per second.
    const qint64 length = std::max<qint64>(0, static_cast<qint64>(seconds) * 111);

    FIDVectorData out;
    bool valid = false;
    for (size_t i = 0; i < axes.size(); ++i) {
        out.data[i] = axes[i];
        QVector<double>& h = axisHistory[i];
        h += axes[i];
        if (h.size() >= length) {
            RateFilters::trimToNewest(h, length);
            valid = true;
            try {
                computeVectorSpectrum(h, out.freq[i], out.amp[i]);
            } catch (const std::exception& e) {
                out.freq[i].clear();
                out.amp[i].clear();
                logDroppedBlock("vector spectrum", e.what());
            }
        } else {
            valid = false;
        }
    }
    out.spectrumValid = valid; // the flag of s, the last axis
    emit sig_updateVectorForm(out);
    emit sig_updateForm(axes[3], Freq111Hz);
}

void ModbusDataHandler::computeVectorSpectrum(const QVector<double>& axisValues, QVector<double>& f_datas,
                                              QVector<double>& fft_datas)
{
    if (axisValues.isEmpty())
        return;
    constexpr int kVectorRate = 111;
    QVector<double> x = filter.sosfiltfilt(axisValues, filter.butterSos(1, 1, kVectorRate));
    x = RateFilters::passFilters(filter, x, dataParam.lowPass, dataParam.highPass, kVectorRate);
    // The true record rate: one record every 9 ms.
    computeAmplitudeSpectrum(x, 1000.0 / 9.0, f_datas, fft_datas);
}

double ModbusDataHandler::biasFieldComponent(double b0, double bPlus, double bMinus, bool& valid)
{
    const VectorRecords::BiasResult r = VectorRecords::biasComponent(b0, bPlus, bMinus);
    valid = r.valid;
    if (r.r <= 0) {
        const QString text = MsgNegativeRootInDenominator + QString::number(r.r, 'f', 2);
        qDebug().noquote() << text;
        emit sig_saveCrashLog(QDateTime::currentDateTimeUtc().toSecsSinceEpoch(), text);
    } else if (r.r < 1e-6) {
        qDebug().noquote() << QString::fromUtf8("分母出现很小的数:") + QString::number(r.r);
    }
    return r.value;
}

double ModbusDataHandler::biasFieldComponentSwapped(double b0, double bPlus, double bMinus, bool& valid)
{
    return biasFieldComponent(b0, bMinus, bPlus, valid);
}

// ---- playout and spectrum -------------------------------------------------

void ModbusDataHandler::initTimer()
{
    playTimer = new QTimer(this);
    playTimer->setTimerType(Qt::PreciseTimer);
    connect(playTimer, &QTimer::timeout, this, &ModbusDataHandler::onTimeout);
    playInterval = kPlayIntervalMs;
    playTimer->start(kPlayIntervalMs);
}

void ModbusDataHandler::slots_handoutData(QVector<double> filtered_datas)
{
    if (!filtered_datas.isEmpty())
        playQueue.append(filtered_datas);
}

void ModbusDataHandler::reboot()
{
    history.clear();
    lastChunk.clear();
}

void ModbusDataHandler::onTimeout()
{
    const int n = DATA_FREQUENCY / 20;
    if (n < 1) {
        // Below 20 samples per second a tick takes no values: what waits
        // would never drain and its spectrum would mean nothing.
        if (!playBlock.isEmpty() || !playQueue.isEmpty()) {
            playBlock.clear();
            playQueue.clear();
            qDebug() << "playout dropped: rate" << DATA_FREQUENCY << "below 20";
        }
        return;
    }

    if (playBlock.isEmpty()) {
        if (playQueue.isEmpty())
            return;
        if (playQueue.size() == 1 && playInterval != kPlayIntervalMs) {
            playInterval = kPlayIntervalMs;
            if (playTimer)
                playTimer->setInterval(kPlayIntervalMs);
            qDebug() << "timer change interval: 47";
        } else if (playQueue.size() >= 2 && playInterval != kPlayIntervalBacklogMs) {
            playInterval = kPlayIntervalBacklogMs;
            if (playTimer)
                playTimer->setInterval(kPlayIntervalBacklogMs);
            qDebug() << "timer change interval: 40";
        }
        playBlock = playQueue.takeFirst();
        return;
    }

    QVector<double> chunk = playBlock.mid(0, n);
    playBlock.remove(0, chunk.size());
    history += chunk;
    try {
        chunk = RateFilters::passFilters(filter, chunk, dataParam.lowPass, dataParam.highPass, DATA_FREQUENCY);
    } catch (const std::exception& e) {
        logDroppedBlock("playout", e.what());
        return;
    }
    RateFilters::toNanoTesla(chunk, hzPerNt);
    lastChunk = chunk;
    switch (DATA_FREQUENCY) {
    case 1000:
        emit sig_updateForm(chunk, Freq1000Hz);
        break;
    case 200:
        emit sig_updateForm(chunk, Freq200Hz);
        break;
    case 20:
        emit sig_updateForm(chunk, Freq20Hz);
        break;
    default:
        break;
    }

    const qint64 length = spectrumWindowLength();
    RateFilters::trimToNewest(history, length);
    if (history.size() == length) {
        try {
            updateSpectrum(history);
        } catch (const std::exception& e) {
            logDroppedBlock("spectrum", e.what());
        }
    }
}

void ModbusDataHandler::updateSpectrum(const QVector<double>& w)
{
    if (w.isEmpty() || DATA_FREQUENCY <= 0)
        return;
    if (spectrumHighPassRate != DATA_FREQUENCY) {
        spectrumHighPass = filter.butterSos(1, 1, DATA_FREQUENCY);
        spectrumHighPassRate = DATA_FREQUENCY;
    }
    QVector<double> x = filter.sosfiltfilt(w, spectrumHighPass);
    x = RateFilters::passFilters(filter, x, dataParam.lowPass, dataParam.highPass, DATA_FREQUENCY);
    QVector<double> frequencies;
    QVector<double> densities;
    computeAmplitudeSpectrum(x, static_cast<double>(DATA_FREQUENCY), frequencies, densities);
    RateFilters::toNanoTesla(densities, hzPerNt);
    emit sig_updateFormEx(lastChunk, frequencies, densities);
}

void ModbusDataHandler::computeAmplitudeSpectrum(const QVector<double>& datas, double fs, QVector<double>& f_datas,
                                                 QVector<double>& fft_datas)
{
    transformer.amplitudeSpectralDensity(datas, fs, f_datas, fft_datas);
}
