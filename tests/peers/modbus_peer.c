/*
 * modbus_peer: an independent Modbus RTU server (libmodbus) for link tests.
 *
 * It serves holding registers to one slave on a serial device (normally one
 * end of a socat pty pair). Framing is done here rather than by
 * modbus_receive(): the link also writes 0xAB vendor frames and junk, and
 * libmodbus's RTU receiver treats a frame for "another slave" as a reason to
 * swallow the next message as that slave's confirmation, which would lose a
 * real request. Only complete frames for our slave with a valid CRC reach
 * modbus_reply(); every other byte is logged as junk and skipped.
 *
 * See usage() for the command line.
 */
#define _POSIX_C_SOURCE 200809L
#include <modbus.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#define BUF_CAP 4096
/* An incomplete frame candidate is given up after this much line silence. */
#define GAP_MS 50

static volatile sig_atomic_t g_stop = 0;
static volatile sig_atomic_t g_dump = 0;

static void on_term(int sig) { (void)sig; g_stop = 1; }
static void on_usr1(int sig) { (void)sig; g_dump = 1; }

static struct {
    const char *device;
    int baud;
    char parity;
    int data_bits;
    int stop_bits;
    int slave;
    int first;
    int count;
    const char *dump_path;
    const char *log_path;
    int debug;
} opt = { NULL, 921600, 'N', 8, 1, 1, 40000, 301, NULL, NULL, 0 };

static modbus_mapping_t *g_map = NULL;
static unsigned char *g_written = NULL; /* one flag per register */
static FILE *g_log = NULL;

static void usage(FILE *f)
{
    fprintf(f,
        "usage: modbus_peer --device PATH [options]\n"
        "  --device PATH        serial device (e.g. a socat pty end)\n"
        "  --baud N             baud rate (default 921600)\n"
        "  --parity N|E|O       parity (default N)\n"
        "  --data-bits N        data bits (default 8)\n"
        "  --stop-bits N        stop bits (default 1)\n"
        "  --slave N            slave id (default 1)\n"
        "  --registers FIRST:COUNT  holding registers served (default 40000:301)\n"
        "  --set REG=VAL        initial register value (repeatable; VAL decimal or 0x..)\n"
        "  --init FILE          initial values, lines REG=VAL, '#' comments\n"
        "  --dump FILE          after each write, on SIGUSR1 and at exit: REG=VAL lines\n"
        "                       of every register written so far (atomic replace)\n"
        "  --log FILE           one line per received frame (upper-case hex), other\n"
        "                       bytes as 'junk HEX'\n"
        "  --debug              libmodbus debug output on stderr\n"
        "Prints 'READY <device>' on stdout once serving. SIGTERM/SIGINT stop it.\n");
}

static void logline(const char *prefix, const uint8_t *b, int n)
{
    if (!g_log || n <= 0)
        return;
    if (prefix)
        fputs(prefix, g_log);
    for (int i = 0; i < n; ++i)
        fprintf(g_log, "%02X", b[i]);
    fputc('\n', g_log);
    fflush(g_log);
}

static int parse_long(const char *s, long *out)
{
    char *end = NULL;
    errno = 0;
    long v = strtol(s, &end, 0);
    while (end && (*end == ' ' || *end == '\t'))
        ++end;
    if (errno || end == s || *end != '\0')
        return -1;
    *out = v;
    return 0;
}

static int set_register(const char *assignment)
{
    char buf[128];
    snprintf(buf, sizeof buf, "%s", assignment);
    char *eq = strchr(buf, '=');
    if (!eq)
        return -1;
    *eq = '\0';
    long reg, val;
    if (parse_long(buf, &reg) || parse_long(eq + 1, &val))
        return -1;
    if (reg < opt.first || reg >= opt.first + opt.count || val < 0 || val > 0xFFFF)
        return -1;
    g_map->tab_registers[reg - opt.first] = (uint16_t)val;
    return 0;
}

static int load_init_file(const char *path)
{
    FILE *f = fopen(path, "r");
    if (!f) {
        fprintf(stderr, "modbus_peer: cannot open %s: %s\n", path, strerror(errno));
        return -1;
    }
    char line[256];
    int lineno = 0, rc = 0;
    while (fgets(line, sizeof line, f)) {
        ++lineno;
        line[strcspn(line, "\r\n#")] = '\0';
        char *p = line;
        while (*p == ' ' || *p == '\t')
            ++p;
        char *e = p + strlen(p);
        while (e > p && (e[-1] == ' ' || e[-1] == '\t'))
            *--e = '\0';
        if (!*p)
            continue;
        if (set_register(p)) {
            fprintf(stderr, "modbus_peer: %s:%d: bad line '%s'\n", path, lineno, p);
            rc = -1;
        }
    }
    fclose(f);
    return rc;
}

static void write_dump(void)
{
    if (!opt.dump_path)
        return;
    char tmp[4096];
    snprintf(tmp, sizeof tmp, "%s.tmp", opt.dump_path);
    FILE *f = fopen(tmp, "w");
    if (!f) {
        fprintf(stderr, "modbus_peer: cannot write %s: %s\n", tmp, strerror(errno));
        return;
    }
    for (int i = 0; i < opt.count; ++i)
        if (g_written[i])
            fprintf(f, "%d=%u\n", opt.first + i, (unsigned)g_map->tab_registers[i]);
    fclose(f);
    if (rename(tmp, opt.dump_path))
        fprintf(stderr, "modbus_peer: cannot rename %s: %s\n", tmp, strerror(errno));
}

static uint16_t crc16(const uint8_t *b, int n)
{
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < n; ++i) {
        crc ^= b[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (uint16_t)((crc >> 1) ^ 0xA001) : (uint16_t)(crc >> 1);
    }
    return crc;
}

/* Length of the request frame starting at b (n bytes available):
 * >0 full length, 0 need more bytes, -1 cannot be a request for us. */
static int request_length(const uint8_t *b, int n)
{
    if (n < 1)
        return 0;
    if (b[0] != opt.slave)
        return -1;
    if (n < 2)
        return 0;
    switch (b[1]) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06:
        return 8;
    case 0x0F: case 0x10:
        if (n < 7)
            return 0;
        return 9 + b[6];
    default:
        return -1;
    }
}

static long long now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

static void mark_written(const uint8_t *req, int len)
{
    int fc = req[1];
    int addr = (req[2] << 8) | req[3];
    int n = 0;
    if (fc == 0x06)
        n = 1;
    else if (fc == 0x10 && len >= 9)
        n = (req[4] << 8) | req[5];
    else
        return;
    for (int i = 0; i < n; ++i) {
        int r = addr + i - opt.first;
        if (r >= 0 && r < opt.count)
            g_written[r] = 1;
    }
}

int main(int argc, char **argv)
{
    const char *sets[256];
    int nsets = 0;
    const char *init_path = NULL;

    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        const char *v = (i + 1 < argc) ? argv[i + 1] : NULL;
        long n;
#define NEED_VALUE() do { if (!v) { fprintf(stderr, "modbus_peer: %s needs a value\n", a); return 2; } ++i; } while (0)
        if (!strcmp(a, "--help") || !strcmp(a, "-h")) {
            usage(stdout);
            return 0;
        } else if (!strcmp(a, "--device")) {
            NEED_VALUE(); opt.device = v;
        } else if (!strcmp(a, "--baud")) {
            NEED_VALUE(); if (parse_long(v, &n) || n <= 0) goto bad; opt.baud = (int)n;
        } else if (!strcmp(a, "--parity")) {
            NEED_VALUE(); if (strlen(v) != 1 || !strchr("NEO", v[0])) goto bad; opt.parity = v[0];
        } else if (!strcmp(a, "--data-bits")) {
            NEED_VALUE(); if (parse_long(v, &n) || n < 5 || n > 8) goto bad; opt.data_bits = (int)n;
        } else if (!strcmp(a, "--stop-bits")) {
            NEED_VALUE(); if (parse_long(v, &n) || n < 1 || n > 2) goto bad; opt.stop_bits = (int)n;
        } else if (!strcmp(a, "--slave")) {
            NEED_VALUE(); if (parse_long(v, &n) || n < 1 || n > 247) goto bad; opt.slave = (int)n;
        } else if (!strcmp(a, "--registers")) {
            NEED_VALUE();
            if (sscanf(v, "%d:%d", &opt.first, &opt.count) != 2 || opt.first < 0 || opt.count < 1
                || opt.first + opt.count > 65536)
                goto bad;
        } else if (!strcmp(a, "--set")) {
            NEED_VALUE(); if (nsets == 256) goto bad; sets[nsets++] = v;
        } else if (!strcmp(a, "--init")) {
            NEED_VALUE(); init_path = v;
        } else if (!strcmp(a, "--dump")) {
            NEED_VALUE(); opt.dump_path = v;
        } else if (!strcmp(a, "--log")) {
            NEED_VALUE(); opt.log_path = v;
        } else if (!strcmp(a, "--debug")) {
            opt.debug = 1;
        } else {
            fprintf(stderr, "modbus_peer: unknown option %s\n", a);
            usage(stderr);
            return 2;
        }
        continue;
    bad:
        fprintf(stderr, "modbus_peer: bad value for %s: %s\n", a, v);
        return 2;
#undef NEED_VALUE
    }
    if (!opt.device) {
        usage(stderr);
        return 2;
    }

    g_map = modbus_mapping_new_start_address(0, 0, 0, 0, (unsigned)opt.first, (unsigned)opt.count, 0, 0);
    g_written = calloc((size_t)opt.count, 1);
    if (!g_map || !g_written) {
        fprintf(stderr, "modbus_peer: out of memory\n");
        return 1;
    }
    if (init_path && load_init_file(init_path))
        return 2;
    for (int i = 0; i < nsets; ++i)
        if (set_register(sets[i])) {
            fprintf(stderr, "modbus_peer: bad --set %s\n", sets[i]);
            return 2;
        }

    if (opt.log_path) {
        g_log = fopen(opt.log_path, "w");
        if (!g_log) {
            fprintf(stderr, "modbus_peer: cannot open log %s: %s\n", opt.log_path, strerror(errno));
            return 1;
        }
    }

    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_term;
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);
    sa.sa_handler = on_usr1;
    sigaction(SIGUSR1, &sa, NULL);
    signal(SIGPIPE, SIG_IGN);

    modbus_t *ctx = modbus_new_rtu(opt.device, opt.baud, opt.parity, opt.data_bits, opt.stop_bits);
    if (!ctx) {
        fprintf(stderr, "modbus_peer: modbus_new_rtu: %s\n", modbus_strerror(errno));
        return 1;
    }
    modbus_set_debug(ctx, opt.debug);
    modbus_set_slave(ctx, opt.slave);
    if (modbus_connect(ctx) == -1) {
        fprintf(stderr, "modbus_peer: cannot open %s: %s\n", opt.device, modbus_strerror(errno));
        modbus_free(ctx);
        return 1;
    }
    const int fd = modbus_get_socket(ctx);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    write_dump();

    printf("READY %s\n", opt.device);
    fflush(stdout);

    uint8_t buf[BUF_CAP];
    int have = 0;
    uint8_t junk[BUF_CAP];
    int njunk = 0;
    long long last_rx = now_ms();
    int exit_code = 0;

    while (!g_stop) {
        if (g_dump) {
            g_dump = 0;
            write_dump();
        }
        struct pollfd pfd = { fd, POLLIN, 0 };
        int prc = poll(&pfd, 1, have > 0 ? GAP_MS : 200);
        if (prc < 0) {
            if (errno == EINTR)
                continue;
            fprintf(stderr, "modbus_peer: poll: %s\n", strerror(errno));
            exit_code = 1;
            break;
        }
        int got_any = 0;
        if (prc > 0 && (pfd.revents & POLLIN)) {
            ssize_t r = read(fd, buf + have, (size_t)(BUF_CAP - have));
            if (r > 0) {
                have += (int)r;
                got_any = 1;
                last_rx = now_ms();
            } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
                fprintf(stderr, "modbus_peer: device closed (%s)\n", r == 0 ? "eof" : strerror(errno));
                exit_code = 3;
                break;
            }
        } else if (prc > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            fprintf(stderr, "modbus_peer: device hung up\n");
            exit_code = 3;
            break;
        }

        /* Cut frames from the front of what waits. */
        int pos = 0;
        for (;;) {
            int len = request_length(buf + pos, have - pos);
            if (len > 0 && have - pos >= len) {
                uint16_t crc = crc16(buf + pos, len - 2);
                if (buf[pos + len - 2] == (crc & 0xFF) && buf[pos + len - 1] == (crc >> 8)) {
                    if (njunk) {
                        logline("junk ", junk, njunk);
                        njunk = 0;
                    }
                    logline(NULL, buf + pos, len);
                    if (modbus_reply(ctx, buf + pos, len, g_map) == -1)
                        fprintf(stderr, "modbus_peer: reply failed: %s\n", modbus_strerror(errno));
                    if (buf[pos + 1] == 0x06 || buf[pos + 1] == 0x10) {
                        mark_written(buf + pos, len);
                        write_dump();
                    }
                    pos += len;
                    continue;
                }
                len = -1; /* bad CRC: not a frame */
            }
            if (len < 0) {
                if (njunk < BUF_CAP)
                    junk[njunk++] = buf[pos];
                ++pos;
                continue;
            }
            /* Incomplete candidate (or nothing left). */
            if (pos < have && !got_any && now_ms() - last_rx >= GAP_MS) {
                if (njunk < BUF_CAP)
                    junk[njunk++] = buf[pos];
                ++pos;
                continue;
            }
            break;
        }
        if (pos > 0) {
            memmove(buf, buf + pos, (size_t)(have - pos));
            have -= pos;
        }
        if (have == BUF_CAP) { /* cannot happen with valid frames; keep going */
            logline("junk ", buf, have);
            have = 0;
        }
        if (njunk && (have == 0 || !got_any)) {
            logline("junk ", junk, njunk);
            njunk = 0;
        }
    }

    if (njunk)
        logline("junk ", junk, njunk);
    write_dump();
    modbus_close(ctx);
    modbus_free(ctx);
    modbus_mapping_free(g_map);
    free(g_written);
    if (g_log)
        fclose(g_log);
    return exit_code;
}
