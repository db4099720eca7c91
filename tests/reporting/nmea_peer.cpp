// nmea_peer: a GPS receiver on a serial device (normally one end of a socat
// pty pair) that replays an NMEA capture at the pace of its baud rate, for
// the GPS reader's tests. Plain POSIX, no event loop. See usage().

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace
{

volatile std::sig_atomic_t g_stop = 0;
void onTerm(int)
{
    g_stop = 1;
}

void usage(FILE* f)
{
    std::fputs("usage: nmea_peer --device PATH --file FILE [options]\n"
               "  --device PATH       serial device to write to (opened write-only)\n"
               "  --file FILE         capture to replay; lines starting with '#' are skipped and\n"
               "                      every other line is sent with CR LF\n"
               "  --verbatim          send FILE byte for byte instead\n"
               "  --baud N            pace of the writes, 10 bits a byte (default 4800)\n"
               "  --chunk N           write N bytes at a time, cutting through lines\n"
               "  --lines-per-write K join K lines in one write (default 1; ignored with --chunk)\n"
               "  --repeat N          send the capture N times (default 1, 0 = until stopped)\n"
               "stdout: 'READY <device>' once open, 'DONE <bytes>' when all is sent.\n"
               "After DONE it keeps the device open until SIGTERM, as a receiver on a\n"
               "cable would; SIGTERM ends it with exit code 0 at any time.\n",
               f);
}

struct Options {
    std::string device, file;
    bool verbatim = false;
    long baud = 4800;
    long chunk = 0;
    long linesPerWrite = 1;
    long repeat = 1;
};

bool readCapture(const Options& o, std::vector<std::string>& writes, std::string& err)
{
    std::ifstream in(o.file, std::ios::binary);
    if (!in) {
        err = "cannot read " + o.file + ": " + std::strerror(errno);
        return false;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string all = ss.str();
    std::string body;
    std::vector<std::string> lines;
    if (o.verbatim) {
        body = all;
    } else {
        std::istringstream ls(all);
        std::string line;
        while (std::getline(ls, line)) {
            while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
                line.pop_back();
            if (line.empty() || line[0] == '#')
                continue;
            lines.push_back(line + "\r\n");
            body += lines.back();
        }
    }
    if (o.chunk > 0 || o.verbatim) {
        const size_t step = o.chunk > 0 ? size_t(o.chunk) : body.size();
        for (size_t i = 0; i < body.size(); i += step)
            writes.push_back(body.substr(i, step));
    } else {
        for (size_t i = 0; i < lines.size(); i += size_t(o.linesPerWrite)) {
            std::string w;
            for (size_t k = i; k < lines.size() && k < i + size_t(o.linesPerWrite); ++k)
                w += lines[k];
            writes.push_back(w);
        }
    }
    if (writes.empty()) {
        err = "nothing to send in " + o.file;
        return false;
    }
    return true;
}

bool writeAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size() && !g_stop) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            std::fprintf(stderr, "nmea_peer: write: %s\n", std::strerror(errno));
            return false;
        }
        done += size_t(n);
    }
    return true;
}

// Sleeps in short steps so that SIGTERM ends a long wait at once.
template <typename TimePoint> void sleepUntil(TimePoint t)
{
    while (!g_stop && std::chrono::steady_clock::now() < t)
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(t - std::chrono::steady_clock::now(),
                                                                                  std::chrono::milliseconds(20)));
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                usage(stderr);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--device")
            o.device = value();
        else if (a == "--file")
            o.file = value();
        else if (a == "--verbatim")
            o.verbatim = true;
        else if (a == "--baud")
            o.baud = std::strtol(value(), nullptr, 10);
        else if (a == "--chunk")
            o.chunk = std::strtol(value(), nullptr, 10);
        else if (a == "--lines-per-write")
            o.linesPerWrite = std::strtol(value(), nullptr, 10);
        else if (a == "--repeat")
            o.repeat = std::strtol(value(), nullptr, 10);
        else if (a == "--help") {
            usage(stdout);
            return 0;
        } else {
            usage(stderr);
            return 2;
        }
    }
    if (o.device.empty() || o.file.empty() || o.baud <= 0 || o.chunk < 0 || o.linesPerWrite < 1 || o.repeat < 0) {
        usage(stderr);
        return 2;
    }

    std::signal(SIGTERM, onTerm);
    std::signal(SIGINT, onTerm);
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> writes;
    std::string err;
    if (!readCapture(o, writes, err)) {
        std::fprintf(stderr, "nmea_peer: %s\n", err.c_str());
        return 1;
    }
    const int fd = ::open(o.device.c_str(), O_WRONLY | O_NOCTTY);
    if (fd < 0) {
        std::fprintf(stderr, "nmea_peer: cannot open %s: %s\n", o.device.c_str(), std::strerror(errno));
        return 1;
    }
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    std::printf("READY %s\n", o.device.c_str());
    std::fflush(stdout);

    // Each write goes out when the bytes before it would have left the wire.
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    long long sent = 0;
    for (long pass = 0; !g_stop && (o.repeat == 0 || pass < o.repeat); ++pass) {
        for (const std::string& w : writes) {
            if (g_stop)
                break;
            sleepUntil(start + std::chrono::microseconds(sent * 10 * 1000000 / o.baud));
            if (!writeAll(fd, w)) {
                ::close(fd);
                return 1;
            }
            sent += (long long)w.size();
        }
    }
    if (!g_stop) {
        std::printf("DONE %lld\n", sent);
        std::fflush(stdout);
    }
    while (!g_stop)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::close(fd);
    return 0;
}
