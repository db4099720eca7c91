// "mock.csv": arbitrary file contents through the replay source's loader,
// then one pass of sends over what it loaded. Every loaded value must be
// finite; the chunks of a pass must be non-empty, hold at most the points per
// send, never span the end of the file, and together give the values in order.
//
// Input: the file's bytes (the points per send come from its length).

#include "fuzzsupport.h"

#include "processing/mockdatathread.h"

#include <QMetaObject>
#include <QVector>

#include <cmath>

namespace
{

// One replay source for the whole run; its thread lives until exit.
MockDataThread* source()
{
    static MockDataThread* mock = nullptr;
    if (!mock)
        mock = new MockDataThread(nullptr);
    return mock;
}

template <typename F> void onReplayThread(F f)
{
    QMetaObject::invokeMethod(source(), f, Qt::BlockingQueuedConnection);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::init();
    source();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MockDataThread* mock = source();
    const QString path = FuzzSupport::writeScratchFile(QStringLiteral("mock.csv"), data, size);
    const bool loaded = mock->loadCsv(path);

    const QVector<double> values = mock->values();
    FUZZ_CHECK(loaded == !values.isEmpty());
    for (double v : values)
        FUZZ_CHECK(std::isfinite(v));

    const int perSend = 1 + int(size % 64);
    mock->setPointsPerSend(perSend);
    FUZZ_CHECK(mock->pointsPerSendNow() == perSend);

    // A start rewinds to the first value; the long interval keeps the timer
    // from firing before the stop.
    QVector<QVector<double>> chunks;
    const auto connection = QObject::connect(
        mock, &MockDataThread::dataSent, mock, [&chunks](QVector<double> chunk) { chunks << chunk; },
        Qt::DirectConnection);
    onReplayThread([mock, &values, perSend] {
        mock->handleStartTimer(3600 * 1000);
        mock->handleStopTimer();
        // One pass and the first send of the next.
        const int sends = values.isEmpty() ? 1 : (values.size() + perSend - 1) / perSend + 1;
        for (int i = 0; i < sends; ++i)
            mock->sendNextData();
    });
    QObject::disconnect(connection);

    if (values.isEmpty()) {
        FUZZ_CHECK(chunks.isEmpty());
        return 0;
    }
    QVector<double> pass;
    int i = 0;
    for (; i < chunks.size() && pass.size() < values.size(); ++i) {
        FUZZ_CHECK(!chunks.at(i).isEmpty() && chunks.at(i).size() <= perSend);
        pass += chunks.at(i);
    }
    FUZZ_CHECK(pass == values);
    // The next send starts the file again.
    FUZZ_CHECK(i < chunks.size() && chunks.at(i).first() == values.first());
    return 0;
}
