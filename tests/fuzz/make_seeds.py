#!/usr/bin/python3
"""Writes the seed corpora of the fuzz targets into corpus/ beside this file.

The seeds are small real inputs in each target's input format (see the head
of each fuzz_<what>.cpp): stream frames as the instrument sends them, whole
and split; read replies with their CRC; the default config.ini and a few
edited ones; the first lines of a replay file; a GPS receiver's capture and
hand-made GN sentences; the monitoring server's replies and "server.ini"
files; spool folders; FID and vector frames built as the tests build them.

Usage: make_seeds.py [MOCK_CSV]. With MOCK_CSV (a file written by
terval_mockgen) the replay seed is its first 121 lines; without, the seed
already in corpus/mock_csv/ stays.
"""

import os
import random
import struct
import sys
from functools import reduce

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, 'corpus')

# Payload sizes of fuzz_stream_frame, sorted as the target sorts them.
PAYLOAD_SIZES = sorted({200} | {r // 5 for r in (1, 20, 42, 100, 111, 200, 500, 1000)}
                       | {r // 5 for r in (10, 20, 200, 500, 1000)})
# Reader sizes of fuzz_link_replies: four fixed replies, then stream frames.
READER_SIZES = [7, 11, 205, 253] + [r // 10 * 2 + 9 for r in (10, 20, 200, 500, 1000)]

LARMOR_MHZ = 349791500  # about 50000 nT


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def with_crc(body):
    return body + struct.pack('<H', crc16(body))


def read_reply(first, count, u32=None, f32=None, u16=None):
    regs = [0] * count
    for reg, value in (u16 or {}).items():
        regs[reg - first] = value
    for reg, value in (u32 or {}).items():
        regs[reg - first], regs[reg - first + 1] = value & 0xFFFF, value >> 16
    for reg, value in (f32 or {}).items():
        hi, lo = struct.unpack('>HH', struct.pack('>f', value))
        regs[reg - first], regs[reg - first + 1] = lo, hi
    return with_crc(struct.pack('>BBB', 1, 3, 2 * count) + struct.pack('>%dH' % count, *regs))


def stream_frame(payload_bytes, seq=0, status=4, strength=4, tail=0xFF, step=7):
    samples = payload_bytes // 4
    body = b''.join(struct.pack('<I', LARMOR_MHZ + step * i) for i in range(samples))
    body += b'\x00' * (payload_bytes - 4 * samples)
    return (bytes([0xAB, 0x01, 0x04, seq >> 8 & 0xFF, seq & 0xFF]) + body
            + bytes([status, 0x00, strength, tail]))


STATUS = read_reply(40118, 1, u16={40118: 4})
PARAMS = read_reply(40100, 124, u32={40100: LARMOR_MHZ},
                    f32={40122: 1520.5, 40126: 1519.75, 40130: 820.0, 40134: 819.25,
                         40142: 1.25, 40146: 1.2499, 40154: 0.731, 40158: 2.048})
IDENTITY = read_reply(40000, 100, u16={40000: 0x00AB, 40001: 0x0012},
                      u32={40064: 340000000, 40066: 360000000, 40068: 1000})


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def pieces(*chunks):
    return b''.join(struct.pack('>H', len(c)) + c for c in chunks)


def chunks(*parts):
    return b''.join(bytes([len(c)]) + c for c in parts)


def stream_seeds():
    sel = PAYLOAD_SIZES.index
    f1000 = [stream_frame(200, seq=i) for i in range(3)]
    write('stream_frame', 'frames_1000', bytes([sel(200), 0]) + pieces(f1000[0], f1000[1]))
    write('stream_frame', 'split_1000', bytes([sel(200), 0])
          + pieces(f1000[0][:100], f1000[0][100:], f1000[1], f1000[2][100:]))
    write('stream_frame', 'bad_tail_1000', bytes([sel(200), 0])
          + pieces(stream_frame(200, tail=0xFE), stream_frame(200, strength=3)))
    write('stream_frame', 'frames_200', bytes([sel(40), 0])
          + pieces(*(stream_frame(40, seq=i, strength=2 + i % 2) for i in range(4))))
    write('stream_frame', 'frames_111', bytes([sel(22), 0]) + pieces(stream_frame(22), stream_frame(22, seq=1)))
    write('stream_frame', 'frames_1_float', bytes([sel(0), 1]) + pieces(stream_frame(0), stream_frame(0, status=3)))


def reply_seeds():
    write('reply_decoder', 'status', STATUS)
    write('reply_decoder', 'params', PARAMS)
    write('reply_decoder', 'identity', IDENTITY)
    write('reply_decoder', 'short_params', PARAMS[:60])


def link_seeds():
    sel = READER_SIZES.index
    write('link_replies', 'status', bytes([sel(7)]) + chunks(STATUS, STATUS[:3], STATUS[3:]))
    broken = bytearray(STATUS)
    broken[-1] ^= 0x55
    write('link_replies', 'status_bad_crc', bytes([sel(7)]) + chunks(bytes(broken), STATUS))
    write('link_replies', 'params', bytes([sel(253)]) + chunks(PARAMS[:128], PARAMS[128:]))
    write('link_replies', 'identity', bytes([sel(205)]) + chunks(IDENTITY))
    rate = b''.join(stream_frame(200, seq=i) for i in range(2))
    write('link_replies', 'stream_1000', bytes([len(READER_SIZES) - 1])
          + chunks(*(rate[i:i + 64] for i in range(0, len(rate), 64))))


def config_seeds():
    with open(os.path.join(HERE, '..', '..', 'resources', 'config.ini'), 'rb') as f:
        write('config_ini', 'default.ini', f.read())
    write('config_ini', 'clamped.ini', b'[Sensitivity]\nxAxisUpper=9\nyAxisLower=abc\nyAxisUpper=2e6\n'
          b'isMockData=1\n\n[Com]\nbaudRate=9600\n')
    write('config_ini', 'odd.ini', b'\xef\xbb\xbf; comment\r\n[Sensitivity]\r\nyAxisLower = "1e-3"\r\n'
          b'yAxisUpper=nan\r\nxAxisUpper=0x20\r\n[Server]\r\nisServer=1\r\nGPSCom=COM4, COM5\r\n')


def mock_seeds(mock_csv):
    if mock_csv:
        with open(mock_csv, 'rb') as f:
            write('mock_csv', 'mock_head.csv', b''.join(f.readlines()[:121]))
    write('mock_csv', 'odd.csv', b'time,value\r\n0.001, 2.5e8 ,x\r\n\r\nno comma\r\n0.002,nan\r\n0.003,-1e3\r\n')


def processing_seeds():
    values = [LARMOR_MHZ + 3 * (i % 17) for i in range(50)]
    doubles = b''.join(struct.pack('<d', v + 0.25) for v in values)
    words = b''.join(struct.pack('<I', v) for v in values)
    # mode (bit 0 filter, bit 3 frames), rate (1, 10, 20, 200, 500, 1000),
    # pass filters, repeats
    write('sample_processing', 'replay_1000_filter_off', bytes([0, 5, 0, 39]) + doubles)
    write('sample_processing', 'replay_1000_filter_on', bytes([1, 5, 0, 39]) + doubles)
    write('sample_processing', 'replay_20hz', bytes([1, 2, 2, 39]) + doubles)
    write('sample_processing', 'replay_1hz', bytes([1, 0, 0, 39]) + doubles)
    write('sample_processing', 'frames_200_filter_off', bytes([8, 3, 3, 20]) + words)
    write('sample_processing', 'frames_1000_filter_on', bytes([9, 5, 1, 39]) + words)
    write('sample_processing', 'frames_500_filter_off', bytes([8, 4, 0, 39]) + words)

def nmea(body, checksum=None):
    """$body*hh with the XOR of the body's characters (or the one given)."""
    sum_ = reduce(lambda a, c: a ^ ord(c), body, 0) if checksum is None else checksum
    return ('$%s*%02X' % (body, sum_)).encode()


def lower_hex(sentence):
    return sentence[:-2] + sentence[-2:].lower()


def nmea_seeds():
    with open(os.path.join(HERE, '..', 'reporting', 'data', 'garmin17n.log'), 'rb') as f:
        write('nmea', 'garmin17n.log', f.read())
    lines = [
        nmea('GNRMC,083559.00,A,4717.11437,N,00833.91522,E,0.004,77.52,091202,,,A'),
        nmea('GNGGA,092725.00,4717.11399,N,00833.91590,E,1,08,1.01,499.6,M,48.0,M,,'),
        nmea('GNGLL,4717.11364,N,00833.91565,E,092321.00,A,A'),
        lower_hex(nmea('GNRMC,101010.00,A,3351.86012,S,15112.76543,E,12.250,181.3,010124,,,D')),
        nmea('GNRMC,120001,V,,,,,,,230394,,,N'),
        nmea('GNGGA,120001,,,,,0,00,99.99,,,,,,'),
        nmea('GPGGA,000002,512.5000,S,7.2500,E,1,04,2.0,10.0,M,0.0,M,,'),
        nmea('GNGLL,8959.99999,N,17959.99999,W,000003,A', checksum=0x20),
        b'$GPGLL,9100.0000,N,00000.0000,E,000004,A',
        b'$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W',
    ]
    write('nmea', 'gn_sentences.nmea', b'\r\n'.join(lines) + b'\r\n')
    # An unended run of noise longer than the line cap, then a good line.
    # A receiver that pads its coordinates with zeros.
    write('nmea', 'padded.nmea', nmea('GPGLL,' + '0' * 330 + '4916.45,N,' + '0' * 20 + '12311.12,W,225444,A') + b'\r\n')
    write('nmea', 'overlong.nmea', b'$GPGSV' + b',0' * 2050 + b'\n' + lines[0] + b'\r\n')


# Request kinds and states of fuzz_server_reply's byte 0.
REQ_REGISTER, REQ_SCALAR, REQ_VECTOR, REQ_HEARTBEAT, REQ_STATUS, REQ_UPLOAD = range(6)
UNREGISTERED, REGISTERED, ONLINE, DISABLED = range(4)
GUID = b'123e4567-e89b-12d3-a456-426614174000'


def server_seeds():
    def reply(name, kind, state, ok, body):
        write('server_reply', name, bytes([kind + 6 * state, 1 if ok else 0]) + body)

    reply('register_ok', REQ_REGISTER, UNREGISTERED, True, b'{"success": true, "data": "' + GUID + b'"}')
    reply('heartbeat_ok', REQ_HEARTBEAT, REGISTERED, True, b'{"success": true}')
    reply('heartbeat_refused', REQ_HEARTBEAT, ONLINE, True, b'{"success": false}')
    reply('guid_invalid', REQ_SCALAR, ONLINE, True,
          '{"success":false,"message":"设备GUID无效","data":null}'.encode())
    reply('upload_bom', REQ_UPLOAD, ONLINE, True, b'\xef\xbb\xbf{"success":true,"message":"ok"}')
    reply('status_500', REQ_STATUS, ONLINE, False, b'{"success": true}')
    reply('html_404', REQ_VECTOR, REGISTERED, False, b'<html><body><h1>404 Not Found</h1></body></html>')
    reply('envelope', REQ_REGISTER, UNREGISTERED, True,
          '{"code":200,"message":"操作成功","data":"\\u0031\\u0032\\u0033e4567-e89b-12d3-a456-426614174000",'
          '"success":true,"timestamp":1713340800000}'.encode())
    reply('array', REQ_HEARTBEAT, DISABLED, True, b'[{"success": true}]')
    reply('escapes', REQ_REGISTER, UNREGISTERED, True,
          b'{"success": true, "data": "\\ud83d\\ude00\\t\\"\\\\/%2-e89b-12d3-a456-42661417400", "message": ""}')

    def ini(name, text, identity=b''):
        write('server_ini', name, bytes([len(identity)]) + text + identity)

    ini('identity', b'[Server]\nGUID=' + GUID + b'\n', GUID[::-1])
    ini('missing', b'', GUID)
    ini('short', b'[Server]\r\nGUID=' + GUID[:35] + b'\r\n')
    ini('as_written', b'[General]\nx=1\n\n[Server]\nGUID="a,b"\nother=@Variant(\\0\\0\\0\\x7f)\n',
        '"é,\\中;=%'.encode())


def spool_seeds():
    full, part = 200, 40  # size bytes: at or above the limit, below it

    def folder(name, current, in_flight, files):
        write('spool', name, bytes([current, in_flight])
              + b''.join(n.encode() + b'\0' + bytes([size]) for n, size in files))

    folder('ring_full', 5, 255, [('ServerData%d.txt' % i, full) for i in range(6)])
    folder('ring_in_flight', 2, 3, [('ServerData%d.txt' % i, full if i < 3 else part) for i in range(6)])
    folder('mixed', 255, 1, [('ServerData1.txt', full), ('ServerData10.txt', part), ('serverdata2.txt', part),
                             ('ServerData007.txt', part), ('log20240101.txt', part), ('ServerData.txt', part),
                             ('ServerData3.txt.bak', part)])
    # Numbers at the end of an int, and one past it (not a spool file).
    folder('large_numbers', 0, 255, [('ServerData2147483646.txt', full), ('ServerData2147483647.txt', part),
                                     ('ServerData2147483648.txt', part), ('ServerData0.txt', full)])


def record(marker, value1, value2):
    return struct.pack('>Bh', marker, value1) + value2.to_bytes(5, 'big')


def fid_frame(rng):
    markers = [0xE0, 0xE1, 0xE2, 0xE4, 0xE8, 0xEF]
    return b''.join(record(markers[r % 6], 110, int(round(100 * 262144e9 / (349_791.5 + rng.uniform(-2, 2)))))
                    for r in range(50))


def vector_frame(rng):
    heads = [0xE8, 0xEF, 0xE4, 0xE2]
    return b''.join(record(heads[r] if r < 4 else (0xE0 if r % 2 else 0xE1), 1010,
                           int(round(1000 * 262144e9 / (349_791.5 + rng.uniform(-400, 400)))))
                    for r in range(36))


def frame_seeds():
    rng = random.Random(7)
    fid = [fid_frame(rng) for _ in range(3)]
    vec = [vector_frame(rng) for _ in range(3)]
    status = bytes([0x01, 0x03, 0x02, 0x00, 0x04, 0xB9, 0x87])
    echo = bytes([0x01, 0x06, 0x9C, 0xB6, 0x00, 0x01, 0x87, 0xBC])
    rate_read = bytes([0xAB, 0x01, 0x04, 0x00, 0x00, 0x04, 0x02, 0xFF, 0xFF])
    params = bytes([0x01, 0x03, 0xF8]) + bytes(248) + bytes([0xA5, 0x5D])

    # fid_readers: mode (bit 0 vector), piece pattern, stream.
    write('fid_readers', 'scalar', bytes([0, 0]) + b'\x11\x22\x33' + b''.join(fid))
    write('fid_readers', 'scalar_slip', bytes([0, 3]) + fid[0] + fid[1][1:] + fid[2])
    write('fid_readers', 'vector', bytes([1, 0]) + b''.join(vec))
    write('fid_readers', 'vector_replies', bytes([1, 5]) + vec[0][:100] + status + vec[0][100:] + echo
          + vec[1] + rate_read + params + vec[2])

    # vector_records: mode (bit 0 vector, bit 1 filter, bit 2 window 1 s),
    # repeats, pieces.
    write('vector_records', 'fid_filter_off', bytes([0, 19]) + pieces(fid[0], fid[1]))
    write('vector_records', 'fid_split_filter_on', bytes([2, 31]) + pieces(fid[0][:100], fid[0][100:], fid[1]))
    write('vector_records', 'vector_window', bytes([5, 29]) + pieces(vec[0]))
    zero = bytearray(vec[1])
    zero[8 * 5 + 3:8 * 5 + 8] = bytes(5)  # record 5: value2 = 0
    bad = bytearray(vec[2])
    bad[16] = 0xE0
    write('vector_records', 'vector_bad', bytes([1, 2]) + pieces(bytes(bad), vec[0][:200], bytes(zero), vec[2]))


def main():
    nmea_seeds()
    server_seeds()
    spool_seeds()
    frame_seeds()
    processing_seeds()
    stream_seeds()
    reply_seeds()
    link_seeds()
    config_seeds()
    mock_seeds(sys.argv[1] if len(sys.argv) > 1 else None)


if __name__ == '__main__':
    main()
