#pragma once
// Turns everything the instrument sends into records and field values, on a
// thread of its own (the processing thread): the dispatcher by reply kind,
// the stream frames and their samples, the averaging and filtering by rate,
// the paced playout of filtered blocks and the spectrum of the window.
//
// Blocks inside are in mHz; every value that leaves for the pages is in nT.
// Only the processing thread touches the members after construction.

#include "core/types.h"
#include "processing/signalfilter.h"
#include "processing/spectrum.h"
#include "processing/streamframe.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>

#include <array>
#include <atomic>

class QThread;
class QTimer;

class ModbusDataHandler : public QObject
{
    Q_OBJECT
public:
    explicit ModbusDataHandler(QObject* parent = nullptr);
    ~ModbusDataHandler() override;

    // Test seam: stops the playout timer, moves the handler back to the
    // calling thread, then ends the processing thread and waits for it.
    // Afterwards the slots may be called directly on the caller's thread;
    // the timer stays stopped and ticks are made by calling onTimeout. Call
    // from any thread but the processing thread; safe to call twice.
    void shutdown();

    // Read-only views for tests; call on the handler's thread.
    int dataFrequency() const { return DATA_FREQUENCY; }
    int frameBytes() const { return frameDataBytes; }
    int blockLengthUsed() const { return DATA_PRINT_AVG_COUNT; }
    int playoutInterval() const { return playInterval; }
    const QTimer* playoutTimer() const { return playTimer; }
    QThread* processingThread() const { return workerThread; }
    const QVector<double>& spectrumWindow() const { return history; }
    const QVector<double>& lastBatch() const { return lastChunk; }
    int accumulatedSamples() const { return accumulator.size(); }
    int queuedBlocks() const { return playQueue.size(); }
    int playingValues() const { return playBlock.size(); }
    bool isFilterEnabled() const { return filterEnabled; }
    // FFTW plans made so far, and kept now (one per recent window length).
    qint64 spectrumPlansMade() const { return transformer.plansMade(); }
    int spectrumPlansKept() const { return transformer.plansKept(); }
    DataParam processingParams() const { return dataParam; }
    // Vector path: axis histories in nT (0 x, 1 y, 2 z, 3 s), frequencies
    // waiting to be grouped, FID frequencies waiting for a filter window.
    const QVector<double>& vectorHistory(int axis) const { return axisHistory[size_t(axis)]; }
    int pendingVectorFrequencies() const { return vectorAccumulator.size(); }
    int pendingFidFrequencies() const { return fidAccumulator.size(); }

    // Stream frame errors are counted and written to the application log as
    // one line per span in which any occurred, the span starting with the
    // first error. Test seam for the span (default one minute); safe from
    // any thread, used by the next span.
    static constexpr int kFrameErrorReportMs = 60000;
    void setFrameErrorReportInterval(int ms) { frameErrorReportMs = ms; }

    // Vector and FID records. Nothing feeds them from the port: the readers
    // that would cut these frames are not attached to it.
    bool assembleFidFrame(QByteArray& piece);
    bool checkVectorFrameHeader(const QByteArray& frame);
    QList<FIDVectorNum> buildVectorRecords(const QVector<double>& frequencies);
    void processVectorBlock(const QVector<double>& frequencies);
    void computeVectorSpectrum(const QVector<double>& axisValues, QVector<double>& f_datas, QVector<double>& fft_datas);
    // Bias-field component from b0, b+, b- (and with b+ and b- exchanged);
    // nothing in the program calls them.
    double biasFieldComponent(double b0, double bPlus, double bMinus, bool& valid);
    double biasFieldComponentSwapped(double b0, double bPlus, double bMinus, bool& valid);

    // Spectrum of the window w (mHz): 1 Hz high-pass, the pass filters, the
    // amplitude spectral density in nT/sqrt(Hz); emitted with lastChunk.
    void updateSpectrum(const QVector<double>& w);
    void computeAmplitudeSpectrum(const QVector<double>& datas, double fs, QVector<double>& f_datas,
                                  QVector<double>& fft_datas);

signals:
    void sig_saveVectorK3orK5CSV(QVector<double> datas);
    void sig_saveVectorXYZS(FIDVectorNum fidVectorNum, QDateTime utcTime);
    void sig_updateVectorForm(FIDVectorData fidVectorData);
    void sig_handoutData(QVector<double> filtered_datas);
    void sig_sendModbusData(ModbusAddr modbusAddr);
    void sig_updateProgress(int iStatus);
    void sig_updateProgressEx(int iStatus);
    void sig_signalStrength(int SignalStrength);
    void sig_updateSerialNumber(QString serialNumber);
    void sig_updateForm(QVector<double> datas, FrequencyType frequencyType);
    void sig_updateFormEx(QVector<double> datas, QVector<double> f_datas, QVector<double> fft_datas);
    void sig_updateFormParam(RefreshData refreshData);
    void sig_updateFormParamEx(RefreshDataEx refreshDataEx);
    void sig_updateSamplingRate(int iSamplingRate);
    void sig_saveCrashLog(qlonglong timestamp, QString text);

public slots:
    void slots_setOneHz(bool b);
    void slots_setTwentyHz(bool b);
    void slots_setFilterEnabled(bool b);
    void slots_handoutData(QVector<double> filtered_datas);
    void slots_readDataFinished(ModbusAddr modbusAddr, QByteArray data);
    void slots_readDataFinishedCeshiDelay(ModbusAddr modbusAddr, QByteArray data, int length);
    void slots_syncDataParam(DataParam data);
    void slots_syncDataByteCount(int byteCount, bool bChange);
    void slots_revMockData(QVector<double> mockData);
    void reboot();
    void initTimer();
    void onTimeout();

private:
    void dispatch(ModbusAddr modbusAddr, const QByteArray& data);
    void decodeIdentityBlock(const QByteArray& data);
    // Decodes one stream frame (or takes the replay samples) and runs the
    // path of the current mode; true when the caller should trim the window
    // and compute its spectrum.
    bool parseDdsData(const QByteArray& data, int valueType, const QVector<double>& mockData,
                      QVector<double>& window, bool isMock);
    bool assembleDdsFrame(QByteArray& data);
    void restartStream();
    // Counts a rejected piece (and opens a report span when none is open).
    void countFrameError(StreamFrame::Check check, int bytes);
    void reportFrameErrors();
    bool processSamples(const QVector<double>& samples, QVector<double>& window);
    void processOneHz(const QVector<double>& samples);
    void processTwentyHz(const QVector<double>& samples, QVector<double>& window);
    void processFilterOn(const QVector<double>& samples);
    bool processFilterOff(const QVector<double>& samples, QVector<double>& window);
    QVector<double> notchWindow(int lead, int length, int consumed);
    void spectrumAfterFrame();
    qint64 spectrumWindowLength() const;
    bool parseVectorData(const QByteArray& data, int valueType, const QVector<double>& mockData,
                         QVector<double>& window, bool isMock);
    bool parseFidFrequencyData(const QByteArray& data, int valueType, const QVector<double>& mockData,
                               QVector<double>& window, bool isMock);
    void dumpVectorFrame(const char* kind, const QByteArray& frame, bool toDebug);
    // Reports an error raised by the filter library; the block is dropped.
    void logDroppedBlock(const char* where, const char* what);

    float scratch = 0.0f; // last float of the parameter block
    int bytesPerSample = 4;
    int DATA_FREQUENCY = 1000;
    int frameDataBytes = 200;
    double hzPerNt = kHzPerNanoTesla;
    int DATA_PRINT_AVG_COUNT = 10;
    QVector<double> history;
    QVector<double> lastChunk;
    QVector<double> accumulator;
    QList<QVector<double>> playQueue;
    QTimer* playTimer = nullptr;
    QVector<double> playBlock;
    int playInterval = 47;
    bool oneHz = false;
    bool twentyHz = false;
    QByteArray partialFrame;
    StreamFrame::ErrorTally frameErrors;
    QTimer* frameErrorTimer = nullptr;
    std::atomic<int> frameErrorReportMs{kFrameErrorReportMs};
    QThread* workerThread = nullptr;
    DataParam dataParam{0, 0, 0.001, 10, 10};
    SignalFilter filter;
    Spectrum::Transformer transformer; // plans made and used on the processing thread
    // The spectrum's 1 Hz high-pass, designed once per rate.
    SignalFilter::Sections spectrumHighPass;
    int spectrumHighPassRate = 0;
    bool filterEnabled = true;
    int wideNotchHz = 25;
    QVector<int> notchList;

    // FID frames: the held head piece and the frequencies (Hz) waiting for a
    // filter window. Kept apart from the stream's, which are in mHz.
    QByteArray fidPartialFrame;
    QVector<double> fidAccumulator;
    // Vector frames.
    QVector<double> vectorAccumulator;          // frequencies (Hz) waiting to be grouped
    std::array<QVector<double>, 4> axisHistory; // x, y, z, s in nT
    qint64 vectorRecordCount = 0;
    int goodFramesToDump = 10;
    int badFramesToDump = 10;
    qint64 frequencyRecordCount = 0;
};
