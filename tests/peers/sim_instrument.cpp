// sim_instrument: a simulated magnetometer on a serial device (normally one
// end of a socat pty pair), for end-to-end tests of the instrument link.
//
// It answers Modbus RTU reads and writes from a register map, runs the
// progress status up to 4 after a restart or retrack write, streams 0xAB
// sample frames after the stream start frame, and injects faults on command
// from stdin. Plain POSIX so that it has no event loop of its own to get in
// the way of timing. See usage() for the interface.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_dump = 0;
void onTerm(int) { g_stop = 1; }
void onUsr1(int) { g_dump = 1; }

constexpr double kHzPerNt = 6.99583;
constexpr double kPi = 3.14159265358979323846;
constexpr int kFirstReg = 40000;
constexpr int kRegCount = 301;      // 40000 .. 40300
constexpr int kStatusReg = 40118;
constexpr int kRateReg = 40230;
constexpr int kSamplingRateReg = 40086; // samples per second; sets the stream rate
constexpr int64_t kFrameIntervalUs = 50000; // 20 frames a second
constexpr int64_t kGapUs = 50000;           // silence that ends an incomplete frame
constexpr size_t kOutCap = 1 << 20;         // nobody reading: stop queueing stream frames

int64_t nowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

uint16_t crc16(const uint8_t *b, size_t n)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= b[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

void appendCrc(std::string &f)
{
    const uint16_t c = crc16(reinterpret_cast<const uint8_t *>(f.data()), f.size());
    f.push_back(char(c & 0xFF));
    f.push_back(char(c >> 8));
}

std::string hex(const uint8_t *b, size_t n)
{
    static const char d[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        s.push_back(d[b[i] >> 4]);
        s.push_back(d[b[i] & 15]);
    }
    return s;
}

bool parseLong(const std::string &s, long long &out)
{
    if (s.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s.c_str(), &end, 0);
    if (errno || *end != '\0')
        return false;
    out = v;
    return true;
}

bool parseDouble(const std::string &s, double &out)
{
    if (s.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    if (errno || *end != '\0' || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

speed_t baudConstant(long long baud)
{
    switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return 0;
    }
}

void usage(FILE *f)
{
    std::fputs(
        "usage: sim_instrument --device PATH [options]\n"
        "  --device PATH          serial device (e.g. a socat pty end)\n"
        "  --baud N               baud rate set on the device (default 921600)\n"
        "  --slave N              Modbus unit id (default 1)\n"
        "  --status N             initial progress status, register 40118 (default 4)\n"
        "  --status-step-ms MS    after a write of N<4 to 40118 the status rises by one\n"
        "                         every MS ms until 4 (default 1000)\n"
        "  --serial HEX8          serial number as shown: 40001 = first 4 digits,\n"
        "                         40000 = last 4 digits (default 1A2B3C4D)\n"
        "  --sweep START,END,STEP fsStart/fsEnd/fsStep in mHz at 40064/40066/40068\n"
        "                         (default 139916600,699583000,10000)\n"
        "  --field NT             field of the samples (default 50000)\n"
        "  --hum NT               50 Hz mains hum amplitude (default 1.0)\n"
        "  --hum-hz HZ            hum frequency (default 50)\n"
        "  --noise NT             Gaussian noise rms (default 0.05)\n"
        "  --seed N               noise seed (default 1)\n"
        "  --strength N           signal-strength byte of stream frames (default 4)\n"
        "  --rate-code N          rate code assumed before any start frame (default 100)\n"
        "  --set REG=VAL          16-bit register value (repeatable)\n"
        "  --set32 REG=VAL        32-bit value at REG, REG+1 (low word first)\n"
        "  --setf REG=FLOAT       IEEE single at REG, REG+1 (low word first)\n"
        "  --init FILE            16-bit values, lines REG=VAL, '#' comments (applied\n"
        "                         where it stands among the --set options)\n"
        "  --dump FILE            REG=VAL lines of every register written by requests,\n"
        "                         rewritten after each write, on SIGUSR1 and at exit\n"
        "  --log FILE             one line per received frame (upper-case hex),\n"
        "                         other bytes as 'junk HEX'\n"
        "Control (stdin, one command a line; each answered 'ok <line>' or 'error ...'):\n"
        "  drop N [POS]   next outgoing frame loses N bytes (from POS; default the last N)\n"
        "  corrupt POS    next outgoing frame has byte POS flipped (XOR 0x5A; a negative\n"
        "                 POS counts from the end, -1 is the last byte)\n"
        "  junk N         N junk bytes follow the next outgoing frame in the same write\n"
        "  junknow N      write N junk bytes now\n"
        "  crc [N]        the next N Modbus replies carry a wrong CRC (default 1)\n"
        "  pair           the next outgoing frame is held and written together with\n"
        "                 the one after it (alone after 1 s if none follows)\n"
        "  stall MS       read and send nothing for MS ms; what falls due goes out after\n"
        "  mute | unmute  stream frames stop falling due / resume (the stream stays on)\n"
        "  count          prints 'count frames=F samples=S damaged=D junk=J': stream\n"
        "                 frames and their samples handed to the device so far, those of\n"
        "                 them spoilt by drop or corrupt, and junk bytes sent\n"
        "  close          close the device and exit 0\n"
        "  status N | field NT | hum NT | noise NT | strength N | set REG=VAL\n"
        "  get REG        prints 'REG=VAL'\n"
        "  ping\n"
        "A write of register 40086 (samples per second, a multiple of 10) sets the\n"
        "stream's rate code to value / 10, as a start frame does.\n"
        "stdout events: 'READY <device>', 'stream start <code>', 'stream rate <code>',\n"
        "  'stream stop', 'closed'; at exit, however it comes, 'sent frames=F samples=S\n"
        "  damaged=D junk=J' with the totals of 'count'.\n",
        f);
}

struct Options {
    std::string device;
    long long baud = 921600;
    int slave = 1;
    int status = 4;
    int statusStepMs = 1000;
    uint32_t serial = 0x1A2B3C4D;
    uint32_t fsStart = 139916600, fsEnd = 699583000, fsStep = 10000;
    double field = 50000.0, hum = 1.0, humHz = 50.0, noise = 0.05;
    unsigned seed = 1;
    int strength = 4;
    int rateCode = 100;
    std::vector<std::pair<std::string, std::string>> sets; // kind, assignment
    std::string dumpPath, logPath;
};

class Sim {
public:
    explicit Sim(const Options &o) : opt(o), regs(kRegCount, 0), written(kRegCount, 0), rng(o.seed) {}

    bool init(std::string &err)
    {
        setU32(40000, opt.serial); // shown as register 40001 then 40000
        setU32(40064, opt.fsStart);
        setU32(40066, opt.fsEnd);
        setU32(40068, opt.fsStep);
        setFloat(40122, 85.0f);   // laser temperature set-point
        setFloat(40126, 84.97f);  // laser temperature
        setFloat(40130, 60.0f);   // vapour cell temperature set-point
        setFloat(40134, 59.92f);  // vapour cell temperature
        setFloat(40142, 1.25f);   // laser current set-point
        setFloat(40146, 1.248f);  // laser current
        setFloat(40154, 2.5f);    // PDE
        setFloat(40158, 1.8f);    // PD
        reg(kStatusReg) = uint16_t(opt.status);
        reg(kRateReg) = uint16_t(opt.rateCode * 10);
        field = opt.field;
        hum = opt.hum;
        noise = opt.noise;
        strength = opt.strength;
        updateDdsFreq();
        rateCode = opt.rateCode;
        for (const auto &s : opt.sets)
            if (!assign(s.first, s.second)) {
                err = "bad --" + s.first + " " + s.second;
                return false;
            }
        if (!opt.logPath.empty()) {
            log = std::fopen(opt.logPath.c_str(), "w");
            if (!log) {
                err = "cannot open log " + opt.logPath + ": " + std::strerror(errno);
                return false;
            }
        }
        fd = ::open(opt.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) {
            err = "cannot open " + opt.device + ": " + std::strerror(errno);
            return false;
        }
        termios tio{};
        if (tcgetattr(fd, &tio) == 0) {
            cfmakeraw(&tio);
            tio.c_cflag |= CLOCAL | CREAD;
            tio.c_cflag &= ~(PARENB | CSTOPB | CRTSCTS);
            if (speed_t sp = baudConstant(opt.baud))
                cfsetspeed(&tio, sp);
            tio.c_cc[VMIN] = 0;
            tio.c_cc[VTIME] = 0;
            tcsetattr(fd, TCSANOW, &tio);
        }
        writeDump();
        return true;
    }

    int run()
    {
        std::printf("READY %s\n", opt.device.c_str());
        std::fflush(stdout);
        int exitCode = 0;
        while (!g_stop && !closing) {
            if (g_dump) {
                g_dump = 0;
                writeDump();
            }
            const int64_t now = nowUs();
            const bool stalled = now < stallUntil;
            std::vector<pollfd> pfds;
            pfds.push_back({fd, short(stalled ? 0 : (POLLIN | (out.empty() ? 0 : POLLOUT))), 0});
            if (stdinOpen)
                pfds.push_back({STDIN_FILENO, POLLIN, 0});
            const int rc = ::poll(pfds.data(), pfds.size(), pollTimeoutMs(now));
            if (rc < 0) {
                if (errno == EINTR)
                    continue;
                std::fprintf(stderr, "sim_instrument: poll: %s\n", std::strerror(errno));
                exitCode = 1;
                break;
            }
            if (stdinOpen && (pfds[1].revents & (POLLIN | POLLHUP | POLLERR)))
                readControl();
            if (closing)
                break;
            if (pfds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                std::fprintf(stderr, "sim_instrument: device hung up\n");
                exitCode = 3;
                break;
            }
            if (nowUs() < stallUntil)
                continue;
            bool gotAny = false;
            if (pfds[0].revents & POLLIN) {
                uint8_t tmp[4096];
                const ssize_t r = ::read(fd, tmp, sizeof tmp);
                if (r > 0) {
                    in.insert(in.end(), tmp, tmp + r);
                    lastRx = nowUs();
                    gotAny = true;
                } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
                    std::fprintf(stderr, "sim_instrument: device closed (%s)\n",
                                 r == 0 ? "eof" : std::strerror(errno));
                    exitCode = 3;
                    break;
                }
            }
            processInput(gotAny);
            tick();
            if (!flushOut()) {
                exitCode = 3;
                break;
            }
        }
        if (closing) {
            std::printf("closed\n");
            std::fflush(stdout);
        }
        std::printf("sent %s\n", counts().c_str());
        std::fflush(stdout);
        flushJunkLog();
        writeDump();
        if (fd >= 0)
            ::close(fd);
        if (log)
            std::fclose(log);
        return exitCode;
    }

private:
    // ---- register map ----
    uint16_t &reg(int r) { return regs[size_t(r - kFirstReg)]; }
    static bool inMap(int r) { return r >= kFirstReg && r < kFirstReg + kRegCount; }
    void setU32(int r, uint32_t v)
    {
        if (!inMap(r) || !inMap(r + 1))
            return;
        reg(r) = uint16_t(v & 0xFFFF);
        reg(r + 1) = uint16_t(v >> 16);
    }
    void setFloat(int r, float f)
    {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        setU32(r, v);
    }
    void updateDdsFreq() { setU32(40100, uint32_t(std::llround(field * kHzPerNt * 1000.0))); }

    bool assign(const std::string &kind, const std::string &a)
    {
        const auto eq = a.find('=');
        if (eq == std::string::npos)
            return false;
        auto trim = [](std::string t) {
            t.erase(0, t.find_first_not_of(" \t"));
            t.erase(t.find_last_not_of(" \t") + 1);
            return t;
        };
        long long r;
        if (!parseLong(trim(a.substr(0, eq)), r))
            return false;
        const std::string val = trim(a.substr(eq + 1));
        if (kind == "setf") {
            double d;
            if (!parseDouble(val, d) || !inMap(int(r)) || !inMap(int(r) + 1))
                return false;
            setFloat(int(r), float(d));
            return true;
        }
        long long v;
        if (!parseLong(val, v) || !inMap(int(r)))
            return false;
        if (kind == "set32") {
            if (v < 0 || v > 0xFFFFFFFFLL || !inMap(int(r) + 1))
                return false;
            setU32(int(r), uint32_t(v));
            return true;
        }
        if (v < 0 || v > 0xFFFF)
            return false;
        reg(int(r)) = uint16_t(v);
        return true;
    }

    void writeDump()
    {
        if (opt.dumpPath.empty())
            return;
        const std::string tmp = opt.dumpPath + ".tmp";
        FILE *f = std::fopen(tmp.c_str(), "w");
        if (!f) {
            std::fprintf(stderr, "sim_instrument: cannot write %s\n", tmp.c_str());
            return;
        }
        for (int i = 0; i < kRegCount; ++i)
            if (written[size_t(i)])
                std::fprintf(f, "%d=%u\n", kFirstReg + i, unsigned(regs[size_t(i)]));
        std::fclose(f);
        if (std::rename(tmp.c_str(), opt.dumpPath.c_str()) != 0)
            std::fprintf(stderr, "sim_instrument: cannot rename %s\n", tmp.c_str());
    }

    // ---- received bytes ----
    void logLine(const std::string &line)
    {
        if (!log)
            return;
        std::fputs(line.c_str(), log);
        std::fputc('\n', log);
        std::fflush(log);
    }
    void flushJunkLog()
    {
        if (!junkSeen.empty()) {
            logLine("junk " + hex(junkSeen.data(), junkSeen.size()));
            junkSeen.clear();
        }
    }

    // Full length of the frame that starts at b, 0 when more bytes are
    // needed to tell, -1 when b cannot start a frame.
    int frameLength(const uint8_t *b, size_t n) const
    {
        if (n < 1)
            return 0;
        if (b[0] == 0xAB) {
            if (n < 2)
                return 0;
            return b[1] == 0x01 ? 9 : -1;
        }
        if (b[0] != opt.slave)
            return -1;
        if (n < 2)
            return 0;
        switch (b[1]) {
        case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06:
            return 8;
        case 0x0F: case 0x10:
            return n < 7 ? 0 : 9 + b[6];
        default:
            return -1;
        }
    }

    void processInput(bool gotAny)
    {
        size_t pos = 0;
        for (;;) {
            const uint8_t *b = in.data() + pos;
            const size_t n = in.size() - pos;
            int len = frameLength(b, n);
            if (len > 0 && n >= size_t(len)) {
                const uint16_t c = crc16(b, size_t(len) - 2);
                if (b[len - 2] == (c & 0xFF) && b[len - 1] == (c >> 8)) {
                    flushJunkLog();
                    logLine(hex(b, size_t(len)));
                    handleFrame(std::vector<uint8_t>(b, b + len));
                    pos += size_t(len);
                    continue;
                }
                len = -1;
            }
            if (len < 0 || (n > 0 && !gotAny && nowUs() - lastRx >= kGapUs)) {
                junkSeen.push_back(*b);
                ++pos;
                continue;
            }
            break;
        }
        in.erase(in.begin(), in.begin() + long(pos));
        if (in.size() > 65536) {
            junkSeen.insert(junkSeen.end(), in.begin(), in.end());
            in.clear();
        }
        if (in.empty() || !gotAny)
            flushJunkLog();
    }

    void handleFrame(const std::vector<uint8_t> &f)
    {
        if (f[0] == 0xAB) {
            const int fc = f[2];
            const int r = (f[3] << 8) | f[4];
            const int v = (f[5] << 8) | f[6];
            if (fc == 0x04 && r == 0x7D00) {
                startStream(v);
            } else if (fc == 0x06 && r == 0x7D00) {
                if (streaming) {
                    streaming = false;
                    std::printf("stream stop\n");
                    std::fflush(stdout);
                }
            }
            // Other vendor frames are accepted silently.
            return;
        }
        const int fc = f[1];
        const int addr = (f[2] << 8) | f[3];
        const int cnt = (f[4] << 8) | f[5];
        std::string rsp;
        auto exception = [&](int code) {
            rsp.assign({char(f[0]), char(fc | 0x80), char(code)});
        };
        if (fc == 0x03) {
            if (cnt < 1 || cnt > 125) {
                exception(3);
            } else if (!inMap(addr) || !inMap(addr + cnt - 1)) {
                exception(2);
            } else {
                rsp.assign({char(f[0]), char(0x03), char(cnt * 2)});
                for (int i = 0; i < cnt; ++i) {
                    const uint16_t v = reg(addr + i);
                    rsp.push_back(char(v >> 8));
                    rsp.push_back(char(v & 0xFF));
                }
            }
        } else if (fc == 0x06) {
            if (!inMap(addr)) {
                exception(2);
            } else {
                applyWrite(addr, uint16_t(cnt));
                rsp.assign(reinterpret_cast<const char *>(f.data()), 6);
                writeDump();
            }
        } else if (fc == 0x10) {
            if (cnt < 1 || cnt > 123 || f[6] != cnt * 2) {
                exception(3);
            } else if (!inMap(addr) || !inMap(addr + cnt - 1)) {
                exception(2);
            } else {
                for (int i = 0; i < cnt; ++i)
                    applyWrite(addr + i, uint16_t((f[7 + 2 * i] << 8) | f[8 + 2 * i]));
                rsp.assign(reinterpret_cast<const char *>(f.data()), 6);
                writeDump();
            }
        } else {
            exception(1);
        }
        appendCrc(rsp);
        send(rsp, true);
    }

    void applyWrite(int r, uint16_t v)
    {
        reg(r) = v;
        written[size_t(r - kFirstReg)] = 1;
        if (r == kStatusReg)
            nextStatusStep = v < 4 ? nowUs() + int64_t(opt.statusStepMs) * 1000 : 0;
        // A new sampling rate changes the stream's frames at once, running or
        // not: rate / 10 is the rate code (frames of rate / 5 + 9 bytes).
        if (r == kSamplingRateReg && v >= 10 && v % 10 == 0 && v <= 20000) {
            rateCode = v / 10;
            reg(kRateReg) = uint16_t(rateCode * 10);
            std::printf("stream rate %d\n", rateCode);
            std::fflush(stdout);
        }
    }

    void startStream(int code)
    {
        rateCode = code;
        reg(kRateReg) = uint16_t(code * 10);
        const bool wasStreaming = streaming;
        streaming = true;
        if (!wasStreaming)
            nextFrame = nowUs() + kFrameIntervalUs;
        std::printf("stream start %d\n", code);
        std::fflush(stdout);
    }

    std::string makeFrame()
    {
        const int payload = rateCode * 2;
        const int n = payload + 9;
        std::string f(size_t(n), '\0');
        f[0] = char(0xAB);
        f[1] = char(0x01);
        f[2] = char(0x04);
        f[3] = char(frameSeq >> 8);   // running frame number, handy when reading traces
        f[4] = char(frameSeq & 0xFF);
        ++frameSeq;
        const int samples = payload / 4;
        const double rate = samples * 20.0;
        std::normal_distribution<double> gauss(0.0, 1.0);
        for (int i = 0; i < samples; ++i) {
            const double t = double(sampleIndex++) / rate;
            double nt = field + hum * std::sin(2.0 * kPi * opt.humHz * t);
            if (noise > 0)
                nt += noise * gauss(rng);
            const double mhz = std::max(0.0, std::min(4294967295.0, std::round(nt * kHzPerNt * 1000.0)));
            const uint32_t v = uint32_t(mhz);
            for (int k = 0; k < 4; ++k)
                f[size_t(5 + 4 * i + k)] = char((v >> (8 * k)) & 0xFF);
        }
        f[size_t(n - 4)] = char(reg(kStatusReg) & 0xFF);
        f[size_t(n - 3)] = 0;
        f[size_t(n - 2)] = char(strength);
        f[size_t(n - 1)] = char(0xFF);
        return f;
    }

    // ---- outgoing bytes and faults ----
    std::string junkBytes(long long n)
    {
        junkSent += n;
        std::string j;
        for (long long i = 0; i < n; ++i)
            j.push_back(char(0xE0 | (junkCounter++ & 0x0F)));
        return j;
    }

    void send(std::string f, bool isReply)
    {
        if (!isReply && out.size() > kOutCap)
            return; // nobody reads the other end
        if (isReply && crcFaults > 0 && f.size() >= 2) {
            --crcFaults;
            f[f.size() - 1] = char(f[f.size() - 1] ^ 0x5A);
        }
        bool spoilt = false;
        if (dropCount > 0) {
            spoilt = true;
            const size_t n = std::min<size_t>(size_t(dropCount), f.size());
            size_t at = dropPos < 0 ? f.size() - n : std::min<size_t>(size_t(dropPos), f.size() - n);
            f.erase(at, n);
            dropCount = 0;
            dropPos = -1;
        }
        // after a drop, so that POS counts in the frame as it goes out
        if (corruptArmed && !f.empty()) {
            const long long n = (long long)f.size();
            const long long at = corruptPos < 0 ? n + corruptPos : corruptPos;
            if (at >= 0 && at < n) {
                f[size_t(at)] = char(f[size_t(at)] ^ 0x5A);
                spoilt = true;
            }
            corruptArmed = false;
        }
        if (!isReply) {
            ++streamFrames;
            streamSamples += uint64_t(rateCode * 2 / 4);
            damagedFrames += spoilt;
        }
        if (junkAfter > 0) {
            f += junkBytes(junkAfter);
            junkAfter = 0;
        }
        if (pairArmed) {
            if (!held) {
                heldFrame = f;
                held = true;
                heldSince = nowUs();
                return;
            }
            f = heldFrame + f;
            heldFrame.clear();
            held = false;
            pairArmed = false;
        }
        out += f;
        flushOut();
    }

    std::string counts() const
    {
        return "frames=" + std::to_string(streamFrames) + " samples=" + std::to_string(streamSamples) +
               " damaged=" + std::to_string(damagedFrames) + " junk=" + std::to_string(junkSent);
    }

    bool flushOut()
    {
        if (out.empty() || nowUs() < stallUntil)
            return true;
        const ssize_t w = ::write(fd, out.data(), out.size());
        if (w > 0) {
            out.erase(0, size_t(w));
        } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
            std::fprintf(stderr, "sim_instrument: write: %s\n", std::strerror(errno));
            return false;
        }
        return true;
    }

    void tick()
    {
        const int64_t now = nowUs();
        if (now < stallUntil)
            return;
        if (nextStatusStep && now >= nextStatusStep) {
            uint16_t &s = reg(kStatusReg);
            if (s < 4)
                ++s;
            nextStatusStep = s < 4 ? nextStatusStep + int64_t(opt.statusStepMs) * 1000 : 0;
        }
        if (held && now - heldSince >= 1000000) {
            out += heldFrame;
            heldFrame.clear();
            held = false;
            pairArmed = false;
        }
        if (streaming && muted) {
            nextFrame = now + kFrameIntervalUs;
        } else if (streaming) {
            if (now - nextFrame > 5000000)
                nextFrame = now; // after a very long stall, do not flood
            while (streaming && now >= nextFrame) {
                send(makeFrame(), false);
                nextFrame += kFrameIntervalUs;
            }
        }
    }

    int pollTimeoutMs(int64_t now) const
    {
        int64_t until = now + 200000;
        if (now < stallUntil)
            return int((std::min(until, stallUntil) - now + 999) / 1000);
        if (streaming && !muted)
            until = std::min(until, nextFrame);
        if (nextStatusStep)
            until = std::min(until, nextStatusStep);
        if (held)
            until = std::min(until, heldSince + 1000000);
        if (!in.empty())
            until = std::min(until, lastRx + kGapUs);
        const int64_t ms = (until - now + 999) / 1000;
        return int(std::max<int64_t>(0, ms));
    }

    // ---- control channel ----
    void readControl()
    {
        char tmp[1024];
        const ssize_t r = ::read(STDIN_FILENO, tmp, sizeof tmp);
        if (r <= 0) {
            if (r == 0 || (errno != EAGAIN && errno != EINTR))
                stdinOpen = false;
            return;
        }
        ctl.append(tmp, size_t(r));
        size_t nl;
        while ((nl = ctl.find('\n')) != std::string::npos) {
            std::string line = ctl.substr(0, nl);
            ctl.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty())
                command(line);
            if (closing)
                return;
        }
    }

    void reply(const std::string &s)
    {
        std::printf("%s\n", s.c_str());
        std::fflush(stdout);
    }

    void command(const std::string &line)
    {
        std::istringstream ss(line);
        std::string cmd, a1, a2, extra;
        ss >> cmd >> a1 >> a2 >> extra;
        long long n = 0;
        double d = 0;
        auto num = [&](const std::string &s, long long lo, long long hi) {
            return parseLong(s, n) && n >= lo && n <= hi;
        };
        bool ok = true;
        if (cmd == "ping" && a1.empty()) {
        } else if (cmd == "drop" && num(a1, 1, 1 << 20)) {
            dropCount = n;
            dropPos = -1;
            if (!a2.empty()) {
                if (num(a2, 0, 1 << 20))
                    dropPos = n;
                else
                    ok = false;
            }
        } else if (cmd == "corrupt" && num(a1, -(1 << 20), 1 << 20) && a2.empty()) {
            corruptArmed = true;
            corruptPos = n;
        } else if (cmd == "mute" && a1.empty()) {
            muted = true;
        } else if (cmd == "unmute" && a1.empty()) {
            muted = false;
        } else if (cmd == "count" && a1.empty()) {
            reply("count " + counts());
        } else if (cmd == "junk" && num(a1, 1, 1 << 20) && a2.empty()) {
            junkAfter = n;
        } else if (cmd == "junknow" && num(a1, 1, 1 << 20) && a2.empty()) {
            out += junkBytes(n);
            flushOut();
        } else if (cmd == "crc" && (a1.empty() || num(a1, 1, 1 << 20)) && a2.empty()) {
            crcFaults = a1.empty() ? 1 : n;
        } else if (cmd == "pair" && a1.empty()) {
            pairArmed = true;
        } else if (cmd == "stall" && num(a1, 0, 600000) && a2.empty()) {
            stallUntil = nowUs() + n * 1000;
        } else if (cmd == "close" && a1.empty()) {
            reply("ok " + line);
            if (fd >= 0)
                ::close(fd);
            fd = -1;
            closing = true;
            return;
        } else if (cmd == "status" && num(a1, 0, 0xFFFF) && a2.empty()) {
            reg(kStatusReg) = uint16_t(n);
            nextStatusStep = 0;
        } else if (cmd == "field" && parseDouble(a1, d) && d > 0 && a2.empty()) {
            field = d;
            updateDdsFreq();
        } else if (cmd == "hum" && parseDouble(a1, d) && d >= 0 && a2.empty()) {
            hum = d;
        } else if (cmd == "noise" && parseDouble(a1, d) && d >= 0 && a2.empty()) {
            noise = d;
        } else if (cmd == "strength" && num(a1, 0, 255) && a2.empty()) {
            strength = int(n);
        } else if (cmd == "set" && a2.empty() && assign("set", a1)) {
        } else if (cmd == "get" && num(a1, kFirstReg, kFirstReg + kRegCount - 1) && a2.empty()) {
            reply(std::to_string(n) + "=" + std::to_string(reg(int(n))));
        } else {
            ok = false;
        }
        if (ok && !extra.empty())
            ok = false;
        reply(ok ? "ok " + line : "error bad command: " + line);
    }

    Options opt;
    std::vector<uint16_t> regs;
    std::vector<uint8_t> written;
    std::mt19937 rng;
    int fd = -1;
    FILE *log = nullptr;

    std::vector<uint8_t> in;
    std::vector<uint8_t> junkSeen;
    int64_t lastRx = 0;
    std::string out;
    std::string ctl;
    bool stdinOpen = true;
    bool closing = false;

    double field = 50000.0, hum = 1.0, noise = 0.05;
    int strength = 4;
    int rateCode = 100;
    bool streaming = false;
    int64_t nextFrame = 0;
    uint16_t frameSeq = 0;
    uint64_t sampleIndex = 0;
    int64_t nextStatusStep = 0;

    long long dropCount = 0, dropPos = -1, junkAfter = 0, crcFaults = 0;
    bool corruptArmed = false;
    long long corruptPos = 0;
    bool muted = false;
    // What went out, for tests that balance it against what arrived.
    uint64_t streamFrames = 0, streamSamples = 0, damagedFrames = 0;
    long long junkSent = 0;
    unsigned junkCounter = 0;
    bool pairArmed = false, held = false;
    std::string heldFrame;
    int64_t heldSince = 0;
    int64_t stallUntil = 0;
};

} // namespace

int main(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "sim_instrument: %s needs a value\n", a.c_str());
            usage(stderr);
            return 2;
        }
        const std::string v = argv[++i];
        long long n = 0;
        double d = 0;
        bool good = true;
        if (a == "--device") {
            o.device = v;
        } else if (a == "--baud") {
            good = parseLong(v, n) && n > 0;
            o.baud = n;
        } else if (a == "--slave") {
            good = parseLong(v, n) && n >= 1 && n <= 247;
            o.slave = int(n);
        } else if (a == "--status") {
            good = parseLong(v, n) && n >= 0 && n <= 0xFFFF;
            o.status = int(n);
        } else if (a == "--status-step-ms") {
            good = parseLong(v, n) && n >= 1 && n <= 600000;
            o.statusStepMs = int(n);
        } else if (a == "--serial") {
            good = v.size() == 8 && v.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
            if (good)
                o.serial = uint32_t(std::strtoul(v.c_str(), nullptr, 16));
        } else if (a == "--sweep") {
            unsigned long s1, s2, s3;
            char tail;
            good = std::sscanf(v.c_str(), "%lu,%lu,%lu%c", &s1, &s2, &s3, &tail) == 3
                && s1 <= 0xFFFFFFFFul && s2 <= 0xFFFFFFFFul && s3 <= 0xFFFFFFFFul;
            if (good) {
                o.fsStart = uint32_t(s1);
                o.fsEnd = uint32_t(s2);
                o.fsStep = uint32_t(s3);
            }
        } else if (a == "--field") {
            good = parseDouble(v, d) && d > 0;
            o.field = d;
        } else if (a == "--hum") {
            good = parseDouble(v, d) && d >= 0;
            o.hum = d;
        } else if (a == "--hum-hz") {
            good = parseDouble(v, d) && d >= 0;
            o.humHz = d;
        } else if (a == "--noise") {
            good = parseDouble(v, d) && d >= 0;
            o.noise = d;
        } else if (a == "--seed") {
            good = parseLong(v, n) && n >= 0;
            o.seed = unsigned(n);
        } else if (a == "--strength") {
            good = parseLong(v, n) && n >= 0 && n <= 255;
            o.strength = int(n);
        } else if (a == "--rate-code") {
            good = parseLong(v, n) && n >= 1 && n <= 2000;
            o.rateCode = int(n);
        } else if (a == "--set" || a == "--set32" || a == "--setf") {
            o.sets.emplace_back(a.substr(2), v);
        } else if (a == "--init") {
            FILE *f = std::fopen(v.c_str(), "r");
            good = f != nullptr;
            char buf[256];
            while (f && std::fgets(buf, sizeof buf, f)) {
                std::string line(buf);
                line = line.substr(0, line.find_first_of("#\r\n"));
                line.erase(0, line.find_first_not_of(" \t"));
                line.erase(line.find_last_not_of(" \t") + 1);
                if (!line.empty())
                    o.sets.emplace_back("set", line);
            }
            if (f)
                std::fclose(f);
        } else if (a == "--dump") {
            o.dumpPath = v;
        } else if (a == "--log") {
            o.logPath = v;
        } else {
            std::fprintf(stderr, "sim_instrument: unknown option %s\n", a.c_str());
            usage(stderr);
            return 2;
        }
        if (!good) {
            std::fprintf(stderr, "sim_instrument: bad value for %s: %s\n", a.c_str(), v.c_str());
            return 2;
        }
    }
    if (o.device.empty()) {
        usage(stderr);
        return 2;
    }

    struct sigaction sa {};
    sa.sa_handler = onTerm;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sa.sa_handler = onUsr1;
    sigaction(SIGUSR1, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Sim sim(o);
    std::string err;
    if (!sim.init(err)) {
        std::fprintf(stderr, "sim_instrument: %s\n", err.c_str());
        return 1;
    }
    return sim.run();
}
