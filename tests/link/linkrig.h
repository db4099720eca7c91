#pragma once
// Shared fixture of the link tests: a fresh socat pty pair, the serial link
// on its own thread and the scheduler on the test thread, wired as the hub
// wires them, plus a raw far end and captured diagnostics.

#include "core/applog.h"
#include "core/types.h"
#include "link/modbusmanager.h"
#include "link/modbusworkthread.h"
#include "peers/ptypair.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QStringList>

#include <memory>

struct HandOn {
    ModbusAddr kind;
    QByteArray data;
};

// Debug and warning lines of every thread, kept for checks and passed on to
// the previous handler.
namespace MessageLog
{
void install();
void clear();
int count(const QString& needle);
QStringList lines();
} // namespace MessageLog

// Points the application log at a temporary folder; call before anything
// logs (initTestCase).
void useTemporaryAppFolder();
// Lines of the application log that contain needle.

// Hex text, upper case, no blanks: "01039CB6".
QByteArray hexOf(const QByteArray& bytes);

class LinkRig
{
public:
    LinkRig();
    ~LinkRig();
    LinkRig(const LinkRig&) = delete;
    LinkRig& operator=(const LinkRig&) = delete;

    bool isReady() const { return pty.isReady(); }

    // Opens the link on the pty (or on path) through the scheduler's signal;
    // true once sig_connected arrived.
    bool connectLink(const QString& path = QString());
    // Runs the link thread's queue to the end: every request emitted so far
    // has been written when this returns; then delivers what the link sent.
    void sync();
    // Waits (bounded) until at least n hand-ons arrived.
    bool waitForHandOns(int n, int timeoutMs = 3000);
    // Opens the raw far end of the pty on the test thread.
    bool openFarEnd();
    // Reads exactly n bytes from the far end within timeoutMs (fewer on time-out).
    QByteArray farRead(int n, int timeoutMs = 2000);
    // Everything that arrives at the far end within ms.
    QByteArray farReadFor(int ms);
    void farWrite(const QByteArray& bytes);

    // Sends a request by kind or a page-built frame, as the hub does.
    void send(ModbusAddr kind) { scheduler.slots_sendModbusData(kind); }
    void sendCustom(const QByteArray& frame) { scheduler.slots_sendCustomModbusData(frame); }
    // A rate change reaches the scheduler and the link, as from the hub.
    void syncDataByteCount(int byteCount, bool bChange);

    PtyPair pty;
    ModbusWorkThread scheduler;
    ModbusManager* link = nullptr;
    QSerialPort farEnd;
    QList<HandOn> handOns;
    int connectedCount = 0;
    int disconnectCount = 0;

private:
    std::unique_ptr<QObject> receiver; // test-thread context of the link's signals
};

// Modbus RTU read reply: 01 03 2n values CRC, with the CRC written outside
// the code under test.
QByteArray readReply(const QList<quint16>& values);
// A stream frame of size bytes: AB 01 04, a running number, filler, FF.
QByteArray streamFrame(int size, int number);
