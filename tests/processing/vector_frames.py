#!/usr/bin/python3
"""Builds the instrument's FID and vector frames with struct, and the values
the decoder must find in them, for the vector and FID tests.

Usage: vector_frames.py JSON, printing one JSON object. The argument:
  {"kind": "vector" | "fid", "frames": N, "seed": S,
   "special": {"<record index>": [value1, value2], ...}}
Record indices count over all frames (vector: 36 per frame, fid: 50).

A record is a marker byte, value1 as a big-endian int16 and value2 as a
big-endian unsigned 40-bit number; its frequency is
(value1 - 10) * 262144e9 / value2 Hz (inf or nan when value2 is 0).

Output: {"frames": [hex, ...], "f": [Hz, ...] (every record in order, nan
and inf as strings), and for vector frames "records": [[x, y, z, s], ...],
one per group of nine frequencies, in nT with 6.99583 Hz per nT.
"""

import json
import math
import random
import struct
import sys

HZ_PER_NT = 6.99583
VECTOR_MARKERS = [0xE8, 0xEF, 0xE4, 0xE2]
FID_MARKERS = [0xE0, 0xE1, 0xE2, 0xE4, 0xE8, 0xEF]


def record(marker, value1, value2):
    return struct.pack('>Bh', marker, value1) + value2.to_bytes(5, 'big')


def frequency(value1, value2):
    if value2 == 0:
        return math.nan if value1 == 10 else math.copysign(math.inf, value1 - 10)
    return (value1 - 10) * 262144e9 / value2


def as_json(v):
    return v if math.isfinite(v) else repr(v)


def main():
    job = json.loads(sys.argv[1])
    rng = random.Random(job.get('seed', 1))
    special = {int(k): v for k, v in job.get('special', {}).items()}
    vector = job['kind'] == 'vector'
    per_frame = 36 if vector else 50
    frames, freqs = [], []
    index = 0
    for _ in range(job['frames']):
        body = b''
        for r in range(per_frame):
            if vector:
                marker = VECTOR_MARKERS[r] if r < 4 else (0xE0 if r % 2 else 0xE1)
                # Around 349.8 kHz (50000 nT), a few hundred Hz apart by axis.
                value1 = 1010
                target = 349_791.5 + rng.uniform(-400.0, 400.0)
            else:
                marker = FID_MARKERS[r % len(FID_MARKERS)]
                # The frame head needs a zero second byte: value1 below 256.
                value1 = 110
                target = 349_791.5 + rng.uniform(-2.0, 2.0)
            value2 = int(round((value1 - 10) * 262144e9 / target))
            if index in special:
                value1, value2 = special[index]
            body += record(marker, value1, value2)
            freqs.append(frequency(value1, value2))
            index += 1
        frames.append(body.hex().upper())
    out = {'frames': frames, 'f': [as_json(f) for f in freqs]}
    if vector:
        recs = []
        for g in range(0, len(freqs), 9):
            f = freqs[g:g + 9]
            recs.append([as_json(v) for v in ((f[0] - f[2]) / HZ_PER_NT, (f[3] - f[5]) / HZ_PER_NT,
                                              (f[6] - f[8]) / HZ_PER_NT,
                                              (f[1] + f[4] + f[7]) / (3 * HZ_PER_NT))])
        out['records'] = recs
    print(json.dumps(out))


if __name__ == '__main__':
    main()
