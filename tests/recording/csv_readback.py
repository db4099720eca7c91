#!/usr/bin/python3
"""Reads recorded CSV files back, independently of the writer, and prints
what a user of the files would see as one JSON object.

usage: csv_readback.py FORMAT FILE [FILE ...]
  FORMAT  "sec" (HH:mm:ss) or "ms" (HH:mm:ss.zzz): the expected time column
  FILE    read in the order given, as one concatenated recording

Printed keys:
  rows        rows seen by the csv module, over all files
  file_rows   rows per file (csv module)
  pandas_rows rows per file seen by pandas (header=None)
  widths      distinct numbers of fields per row
  times       the time column as written
  values      every other column as written (list of lists of texts)
  format_ok   every time matches FORMAT
  diffs_ms    distinct differences between consecutive times, in ms, with
              a day added when the clock passes midnight
  increasing  the times strictly increase over the concatenation
  named       per file whose name starts with a time "yyyyMMdd_hhmmss":
              "wraps" (its times pass midnight, so some rows are of the
              next date), "before_name" (a row earlier than the name's
              time), "hours" (distinct hours of its rows, sorted) and
              "name_hour" (the hour in its name)
"""
import csv
import json
import os
import re
import sys

import pandas as pd


def main():
    fmt, files = sys.argv[1], sys.argv[2:]
    pattern = re.compile(r"^\d\d:\d\d:\d\d$" if fmt == "sec" else r"^\d\d:\d\d:\d\d\.\d\d\d$")
    pd_format = "%H:%M:%S" if fmt == "sec" else "%H:%M:%S.%f"

    times, values, widths, file_rows, pandas_rows = [], [], set(), [], []
    day_ms = []
    named = []
    name_pattern = re.compile(r"^(\d{8})_(\d\d)(\d\d)(\d\d)")
    for name in files:
        with open(name, newline="", encoding="utf-8") as f:
            rows = list(csv.reader(f))
        file_rows.append(len(rows))
        for row in rows:
            widths.add(len(row))
            times.append(row[0])
            values.append(row[1:])
        frame = pd.read_csv(name, header=None, dtype=str, keep_default_na=False)
        pandas_rows.append(int(len(frame)))
        parsed = pd.to_datetime(frame[0], format=pd_format)
        file_ms = [int(t.hour * 3600000 + t.minute * 60000 + t.second * 1000 + t.microsecond // 1000)
                   for t in parsed]
        day_ms.extend(file_ms)
        m = name_pattern.match(os.path.basename(name))
        if m:
            name_ms = (int(m.group(2)) * 3600 + int(m.group(3)) * 60 + int(m.group(4))) * 1000
            named.append({
                "file": os.path.basename(name),
                "wraps": any(b < a for a, b in zip(file_ms, file_ms[1:])),
                "before_name": bool(file_ms) and file_ms[0] < name_ms,
                "hours": sorted({t.hour for t in parsed}),
                "name_hour": int(m.group(2)),
            })

    # Unwrap midnight: a jump back of more than half a day is the next day.
    offset, unwrapped, last = 0, [], None
    for t in day_ms:
        if last is not None and t + offset < last - 43200000:
            offset += 86400000
        unwrapped.append(t + offset)
        last = t + offset
    diffs = sorted({b - a for a, b in zip(unwrapped, unwrapped[1:])})

    print(json.dumps({
        "rows": len(times),
        "file_rows": file_rows,
        "pandas_rows": pandas_rows,
        "widths": sorted(widths),
        "times": times,
        "values": values,
        "format_ok": all(pattern.match(t) for t in times),
        "diffs_ms": diffs,
        "increasing": all(b > a for a, b in zip(unwrapped, unwrapped[1:])),
        "named": named,
    }))


if __name__ == "__main__":
    main()
