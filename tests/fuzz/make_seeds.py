#!/usr/bin/python3
"""Writes the seed corpora of the fuzz targets into corpus/ beside this file.

The seeds are small real inputs in each target's input format (see the head
of each fuzz_<what>.cpp): stream frames as the instrument sends them, whole
and split; read replies with their CRC; the default config.ini and a few
edited ones; the first lines of a replay file.

Usage: make_seeds.py [MOCK_CSV]. With MOCK_CSV (a file written by
terval_mockgen) the replay seed is its first 121 lines; without, the seed
already in corpus/mock_csv/ stays.
"""

import os
import struct
import sys

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

def main():
    processing_seeds()
    stream_seeds()
    reply_seeds()
    link_seeds()
    config_seeds()
    mock_seeds(sys.argv[1] if len(sys.argv) > 1 else None)


if __name__ == '__main__':
    main()
