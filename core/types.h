#pragma once
// Value types and constant tables shared by every subsystem. Most of them
// cross threads inside queued signals, so each is a plain copyable value
// known to the meta-type system by name (see registerSharedMetaTypes).

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QVector>

#include <array>
#include <cstdint>

// Request kind on the way out, reply kind on the way back.
enum ModbusAddr : std::int32_t {
    Addr40118_restart = 0, // write 1 to 40118
    Addr40118_retrack = 1, // write 3 to 40118
    Addr40118r = 2,        // read status register, 7-byte reply
    Addr40100 = 3,         // parameter block, 253-byte reply
    Addr40230 = 4,         // 3 registers from 40230, 11-byte reply
    Addr30000 = 5,         // 0xAB frame to register 30000
    Addrdds_data = 6,      // tag of stream frames
    Addrdds_start = 7,     // start the sample stream
    Addrdds_end = 8,       // stop the sample stream
    AddrCustom = 9,        // frame built by the caller
    Addr40000 = 10,        // identity block, 205-byte reply
    AddrVectorFid = 11,    // 288-byte vector frames
    AddrFid = 12           // 400-byte scalar FID frames
};
static_assert(sizeof(ModbusAddr) == 4, "ModbusAddr travels as 4 bytes");

// Output data rate in samples per second; travels with every batch.
enum FrequencyType : std::int32_t {
    Freq1Hz = 1,
    Freq20Hz = 20,
    Freq42Hz = 42,
    Freq100Hz = 100,
    Freq111Hz = 111,
    Freq200Hz = 200,
    Freq500Hz = 500,
    Freq1000Hz = 1000
};
static_assert(sizeof(FrequencyType) == 4, "FrequencyType travels as 4 bytes");

// Processing settings sent from the pages to the data handler.
struct DataParam {
    std::int32_t lowPass = 0;    // Hz, 0 = off
    std::int32_t highPass = 0;   // Hz, 0 = off
    double dataRate = 0.001;     // seconds per output point
    std::int32_t setTime = 10;   // main chart window, s
    std::int32_t fftSeconds = 10; // FFT window, s
};

// Decoded parameter block (request kind 3). Doubles hold IEEE singles.
struct RefreshData {
    double laserTemp = 0;        // mV, 40126
    double laserElectric = 0;    // mA, 40146
    double airTemp = 0;          // mV, 40134
    double pdValue = 0;          // 40158
    double pdeValue = 0;         // 40154
    double laserTempSet = 0;     // mV, 40122
    double laserElectricSet = 0; // mA, 40142
    double airTempSet = 0;       // mV, 40130
    std::uint32_t ddsFreq = 0;   // mHz, 40100-40101
};

// From the identity block (request kind 10); all in mHz.
struct RefreshDataEx {
    std::uint32_t fsStart = 0; // 40064-40065
    std::uint32_t fsEnd = 0;   // 40066-40067
    std::uint32_t fsStep = 0;  // 40068-40069
};

// One decoded vector record.
struct FIDVectorNum {
    double x = 0, y = 0, z = 0; // nT
    double s = 0;               // scalar field, nT
    std::array<double, 9> f{};  // source frequencies, Hz, in frame order
    // True when the record decoded to finite values.
    bool valid = false;
};

// What the vector page draws for one block.
struct FIDVectorData {
    std::array<QVector<double>, 5> data; // x, y, z, s samples; [4] stays empty
    std::array<QVector<double>, 4> freq; // spectrum frequency axes
    std::array<QVector<double>, 4> amp;  // amplitude spectra
    bool spectrumValid = false;          // the spectrum window is full
};

// A vector record stamped with its UTC time, batched for the server client.
struct XYZST {
    QDateTime time;
    double x = 0, y = 0, z = 0, s = 0; // nT
    std::array<double, 9> f{};         // Hz
};

Q_DECLARE_METATYPE(ModbusAddr)
Q_DECLARE_METATYPE(FrequencyType)
Q_DECLARE_METATYPE(DataParam)
Q_DECLARE_METATYPE(RefreshData)
Q_DECLARE_METATYPE(RefreshDataEx)
Q_DECLARE_METATYPE(FIDVectorNum)
Q_DECLARE_METATYPE(FIDVectorData)
Q_DECLARE_METATYPE(XYZST)

// Device type codes; entry 0 is what the server client registers.
extern const QMap<int, QString> DeviceCodeMap;
// Samples per second delivered at each FrequencyType (42 -> 41).
extern const QMap<int, int> RateStrideMap;

// Crash-log texts shared by the main page, the service page and the data handler.
extern const QString MsgConnectComSuccess;
extern const QString MsgBatteryState;
extern const QString MsgBatteryStateRead;
extern const QString MsgNegativeRootInDenominator;

// Frequency to field: B [nT] = f / 6.99583 (Hz per nT).
constexpr double kHzPerNanoTesla = 6.99583;
inline double mHzToNanoTesla(double mHz) { return mHz * 0.001 / kHzPerNanoTesla; }

// Registers every type that crosses threads in a queued signal: the list of
// main and the hub's list. Safe to call more than once and from tests.
void registerSharedMetaTypes();
// The two halves, as main and the hub register them.
void registerMainMetaTypes();
void registerHubMetaTypes();
