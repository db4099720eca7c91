#pragma once
// Shared pieces of the data handler tests: stream frames built byte by byte
// (independently of the decoder), a field-like test signal, a handler that
// has been brought back onto the test thread, and the scipy/numpy oracle.

#include "core/appfolders.h"
#include "core/logger.h"
#include "core/types.h"
#include "processing/modbusdatahandler.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVector>
#include <QtTest>

#include <cmath>
#include <memory>
#include <random>

namespace rig {

constexpr double kMHzToNt = 0.001 / 6.99583;
// 1e-3 mHz, the agreement asked of the filtered blocks, in nT.
constexpr double kNtTolerance = 1e-3 * kMHzToNt;

// AB 01, three header bytes, the samples little-endian, progress, a spare
// byte, strength, FF.
inline QByteArray frame(const QVector<quint32>& samples, int progress = 4, int strength = 3)
{
    QByteArray f;
    f.append(char(0xAB)).append(char(0x01)).append(char(0x11)).append(char(0x22)).append(char(0x33));
    for (quint32 s : samples) {
        f.append(char(s & 0xFF));
        f.append(char((s >> 8) & 0xFF));
        f.append(char((s >> 16) & 0xFF));
        f.append(char((s >> 24) & 0xFF));
    }
    f.append(char(progress)).append(char(0x5A)).append(char(strength)).append(char(0xFF));
    return f;
}

// A field near 50000 nT as mHz: drift, mains hum with harmonics at and just
// off the notch centres, a 3 Hz signal and noise; whole millihertz, as the
// instrument sends them.
inline QVector<quint32> fieldSamples(int count, double fs = 1000.0, unsigned seed = 7)
{
    std::mt19937 gen(seed);
    QVector<quint32> out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        const double t = i / fs;
        double v = 349791500.0 + 4000.0 * t;
        v += 3000.0 * std::sin(2 * M_PI * 3.0 * t + 0.4);
        v += 5000.0 * std::sin(2 * M_PI * 50.0 * t + 0.1) + 1800.0 * std::sin(2 * M_PI * 150.3 * t);
        v += 1500.0 * std::sin(2 * M_PI * 25.4 * t + 1.0) + 1200.0 * std::sin(2 * M_PI * 250.2 * t + 2.0);
        v += 700.0 * std::sin(2 * M_PI * 424.7 * t + 0.7);
        v += double(gen() % 2001) - 1000.0;
        out.append(quint32(std::llround(v)));
    }
    return out;
}

inline QVector<double> toDoubles(const QVector<quint32>& v)
{
    QVector<double> d;
    d.reserve(v.size());
    for (quint32 x : v)
        d.append(double(x));
    return d;
}

// Feeds samples as consecutive frames of perFrame samples.
inline void feedFrames(ModbusDataHandler& h, const QVector<quint32>& samples, int perFrame)
{
    for (int i = 0; i + perFrame <= samples.size(); i += perFrame)
        h.slots_readDataFinished(Addrdds_data, frame(samples.mid(i, perFrame)));
}

// A handler whose processing thread has ended: it lives on the test thread,
// its slots are called directly and its playout ticks by hand.
inline std::unique_ptr<ModbusDataHandler> localHandler()
{
    std::unique_ptr<ModbusDataHandler> h(new ModbusDataHandler(nullptr));
    h->shutdown();
    return h;
}

inline void setParams(ModbusDataHandler& h, int lowPass, int highPass, double dataRate, int fftSeconds = 10)
{
    DataParam p;
    p.lowPass = lowPass;
    p.highPass = highPass;
    p.dataRate = dataRate;
    p.fftSeconds = fftSeconds;
    h.slots_syncDataParam(p);
}

inline QVector<double> vec(const QVariant& v) { return v.value<QVector<double>>(); }

inline QJsonArray jsonArray(const QVector<double>& v)
{
    QJsonArray a;
    for (double x : v)
        a.append(x);
    return a;
}

inline QVector<double> fromJson(const QJsonValue& v)
{
    QVector<double> out;
    for (const QJsonValue& x : v.toArray())
        out.append(x.toDouble());
    return out;
}

// Runs the oracle script over the jobs; one result per job.
inline QJsonArray oracle(const QJsonArray& jobs)
{
    const QString script = qEnvironmentVariable("TERVAL_SOURCE_DIR") + "/tests/processing/datahandler_oracle.py";
    QProcess p;
    p.start("/usr/bin/python3", {script});
    if (!p.waitForStarted(10000))
        return QJsonArray();
    p.write(QJsonDocument(jobs).toJson(QJsonDocument::Compact));
    p.closeWriteChannel();
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        qWarning() << "oracle failed:" << p.readAllStandardError();
        return QJsonArray();
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

inline double maxAbsDiff(const QVector<double>& a, const QVector<double>& b)
{
    if (a.size() != b.size())
        return INFINITY;
    double m = 0.0;
    for (int i = 0; i < a.size(); ++i)
        m = std::max(m, std::abs(a[i] - b[i]));
    return m;
}

// The application log, pointed at a temporary folder for the whole run.
class LogCapture
{
public:
    LogCapture() { AppFolders::setOverride(m_dir.path()); }
    ~LogCapture() { AppFolders::setOverride(QString()); }
    QString text() const
    {
        QFile f(Logger::instance()->currentFileName());
        if (!f.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(f.readAll());
    }
    int count(const QString& line) const { return text().count(line); }

private:
    QTemporaryDir m_dir;
};

} // namespace rig
