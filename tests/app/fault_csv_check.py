#!/usr/bin/python3
"""Reads the recording files of a fault-injection run back with pandas,
independently of the writer, and prints what they hold as one JSON object.

usage: fault_csv_check.py FIELD BAND FILE [FILE ...]
  FIELD  the simulator's field in nT
  BAND   largest distance from FIELD that a sound value can have, in nT
  FILE   recording files ("HH:mm:ss.zzz,value" rows), read in the order given
         as one concatenated time line

Printed keys:
  rows          rows over all files
  file_rows     rows per file
  widths        distinct numbers of fields per row
  format_ok     every time reads as HH:mm:ss.zzz
  increasing    times strictly increase over the concatenation (a jump back
                of more than half a day is taken as midnight)
  violations    number of steps that are not forward
  first_violation  [row, time before, time at] of the first such step, or null
  step_min_ms, step_max_ms   smallest and largest step between rows
  steps_over_1ms             steps longer than the 1 ms of 1000 samples/s
  out_of_band   values farther than BAND from FIELD
  value_min, value_max
"""
import json
import re
import sys

import numpy as np
import pandas as pd


def main():
    field, band = float(sys.argv[1]), float(sys.argv[2])
    files = sys.argv[3:]
    time_re = re.compile(r"^\d\d:\d\d:\d\d\.\d\d\d$")
    times, values, file_rows, widths, format_ok = [], [], [], set(), True
    for name in files:
        with open(name, encoding="utf-8") as f:
            for line in f:
                widths.add(line.rstrip("\r\n").count(",") + 1)
        frame = pd.read_csv(name, header=None, names=["t", "v"], dtype={"t": str}, keep_default_na=False)
        file_rows.append(int(len(frame)))
        format_ok = format_ok and bool(frame["t"].map(lambda t: bool(time_re.match(t))).all())
        parts = frame["t"].str.extract(r"^(\d\d):(\d\d):(\d\d)\.(\d\d\d)$").astype("float64")
        ms = ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * 1000 + parts[3]
        times.append(ms.to_numpy())
        values.append(pd.to_numeric(frame["v"], errors="coerce").to_numpy())

    t = np.concatenate(times) if times else np.zeros(0)
    v = np.concatenate(values) if values else np.zeros(0)
    # Midnight: a step back of more than half a day is the next day.
    d = np.diff(t)
    wraps = np.concatenate(([0.0], np.cumsum(np.where(d < -43200000, 86400000, 0)))) if len(t) else t
    u = t + wraps
    steps = np.diff(u)
    bad = np.nonzero(~(steps > 0))[0]
    first = None
    if len(bad):
        i = int(bad[0])
        first = [i + 1, float(u[i]), float(u[i + 1])]
    out = np.abs(v - field) > band
    print(json.dumps({
        "rows": int(len(t)),
        "file_rows": file_rows,
        "widths": sorted(widths),
        "format_ok": format_ok and not np.isnan(t).any(),
        "increasing": bool(len(bad) == 0),
        "violations": int(len(bad)),
        "first_violation": first,
        "step_min_ms": float(steps.min()) if len(steps) else 0.0,
        "step_max_ms": float(steps.max()) if len(steps) else 0.0,
        "steps_over_1ms": int(np.count_nonzero(steps > 1)),
        "out_of_band": int(np.count_nonzero(out | np.isnan(v))),
        "value_min": float(np.nanmin(v)) if len(v) else 0.0,
        "value_max": float(np.nanmax(v)) if len(v) else 0.0,
    }))


if __name__ == "__main__":
    main()
