#!/usr/bin/env python3
"""Checks request bodies with Python's own JSON parser.

Reads lines "<body hex> <expected hex>" on stdin and prints one line per
pair: "same", "differs <parsed> <expected>" or "invalid <error>". Bodies are
parsed strictly (NaN and Infinity refused); a string value that holds a JSON
object text (the status report's "gpsInfo") is parsed too, so the expected
JSON names the inner object.
"""

import json
import sys


def refuse(name):
    raise ValueError("non-finite number " + name)


def strict(text):
    return json.loads(text, parse_constant=refuse)


def inner(value):
    if isinstance(value, dict):
        return {k: inner(v) for k, v in value.items()}
    if isinstance(value, list):
        return [inner(v) for v in value]
    if isinstance(value, str) and value.startswith("{"):
        return inner(strict(value))
    return value


for raw in sys.stdin:
    raw = raw.strip()
    if not raw:
        continue
    body_hex, _, expected_hex = raw.partition(" ")
    try:
        got = inner(strict(bytes.fromhex(body_hex).decode("utf-8")))
    except Exception as e:
        print("invalid %s" % e)
        continue
    expected = json.loads(bytes.fromhex(expected_hex).decode("utf-8"))
    if got == expected:
        print("same")
    else:
        print("differs %s %s" % (json.dumps(got), json.dumps(expected)))
