#!/usr/bin/python3
"""scipy side of run_signalfilter_bench.sh: the same cases on the same data,
timed the same way as signalfilter_bench (batches of at least 50 ms, seven
batches, the fastest batch's time per call).

Prints "<case> <seconds per call> <calls timed>" per case, then one line
"check <case> <largest difference from ours>" per case when ours_<case>.f64
is present in the data folder.
"""

import os
import sys
import time

import numpy as np
from scipy import signal

NOTCHES = (50, 75, 125, 175, 200, 225, 250, 275, 300, 325, 375, 425)


def time_it(fn):
    per_batch = 1
    while True:
        t0 = time.perf_counter()
        for _ in range(per_batch):
            fn()
        dt = time.perf_counter() - t0
        if dt >= 0.05:
            break
        per_batch = max(per_batch * 2, int(per_batch * 0.05 / dt * 1.2)) if dt > 0 else per_batch * 10
    best = float('inf')
    for _ in range(7):
        t0 = time.perf_counter()
        for _ in range(per_batch):
            fn()
        best = min(best, (time.perf_counter() - t0) / per_batch)
    return best, per_batch * 7


def chain(x):
    y = signal.filtfilt(*signal.iirnotch(25, 2.5, fs=1000.0), x)
    for f0 in NOTCHES:
        y = signal.filtfilt(*signal.iirnotch(f0, 50.0, fs=1000.0), y)
    return y


def main():
    folder = sys.argv[1]
    outputs = {}

    def report(name, fn):
        t, calls = time_it(fn)
        print('%s %.9g %d' % (name, t, calls), flush=True)
        outputs[name] = np.ravel(fn())

    for size in ('1e4', '1e5', '1e6'):
        x = np.fromfile(os.path.join(folder, 'signal_%s.f64' % size), dtype='<f8')
        sos = signal.butter(8, 1, 'highpass', fs=1000, output='sos')
        report('sosfiltfilt_hp1_' + size, lambda: signal.sosfiltfilt(sos, x))

    w = np.fromfile(os.path.join(folder, 'window_1600.f64'), dtype='<f8')
    report('notch_chain_1600', lambda: chain(w))
    report('butterSos_hp1', lambda: signal.butter(8, 1, 'highpass', fs=1000, output='sos'))

    for name, ref in outputs.items():
        path = os.path.join(folder, 'ours_%s.f64' % name)
        if os.path.exists(path):
            ours = np.fromfile(path, dtype='<f8')
            diff = np.max(np.abs(ours - ref)) if ours.shape == ref.shape else float('nan')
            print('check %s %.3g' % (name, diff))


if __name__ == '__main__':
    main()
