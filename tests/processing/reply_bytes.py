#!/usr/bin/python3
"""Builds instrument read replies with struct, for the reply decoder tests.

Usage: reply_bytes.py KIND JSON, printing the reply as hex. KIND is
"param" (253 bytes from register 40100), "identity" (205 bytes from 40000)
or "status" (7 bytes, register 40118). JSON maps register numbers to values:
{"u32": {reg: value}, "f32": {reg: value}, "u16": {reg: value}}. 32-bit
values and singles take two registers, the low word at the lower address.
"""

import json
import struct
import sys

FIRST = {'param': (40100, 124), 'identity': (40000, 100), 'status': (40118, 1)}


def main():
    kind, registers = sys.argv[1], json.loads(sys.argv[2])
    first, count = FIRST[kind]
    regs = [0] * count
    for reg, value in registers.get('u16', {}).items():
        regs[int(reg) - first] = value
    for reg, value in registers.get('u32', {}).items():
        lo, hi = value & 0xFFFF, value >> 16
        regs[int(reg) - first], regs[int(reg) - first + 1] = lo, hi
    for reg, value in registers.get('f32', {}).items():
        hi, lo = struct.unpack('>HH', struct.pack('>f', value))
        regs[int(reg) - first], regs[int(reg) - first + 1] = lo, hi
    body = struct.pack('>BBB', 1, 3, 2 * count) + struct.pack('>%dH' % count, *regs)
    # A CRC is not checked by the decoder; any two bytes do.
    print((body + b'\x12\x34').hex())


if __name__ == '__main__':
    main()
