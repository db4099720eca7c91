#!/usr/bin/python3
"""The reference for spectrum_bench: the same spectrum with scipy and numpy.

For each signal_<size>.f64 in the folder: sosfiltfilt of an order-8 1 Hz
Butterworth high-pass at 1000 per second, then
abs(rfft(x))[:N - N//2] * sqrt(2) / sqrt(N * fs), scaled from mHz to nT.
Prints "updateSpectrum_<size> <best seconds>" (CPU time of the thread, the
best of several runs, as on our side) and, against ours_<size>.f64,
"check updateSpectrum_<size> <max difference relative to the largest bin>".
"""

import sys
import time

import numpy as np
from scipy import signal

FS = 1000.0
REPEATS = {'1e4': 200, '1e5': 40, '1e6': 10}


def spectrum(x, sos):
    w = signal.sosfiltfilt(sos, x)
    n = len(w)
    a = np.abs(np.fft.rfft(w))[:n - n // 2] * np.sqrt(2) / np.sqrt(n * FS)
    return a * 0.001 / 6.99583


def main():
    folder = sys.argv[1]
    for name, repeats in REPEATS.items():
        x = np.fromfile('%s/signal_%s.f64' % (folder, name), dtype='<f8')
        best = float('inf')
        # Designed once, as on our side (the handler keeps it per rate).
        sos = signal.butter(8, 1, 'high', fs=FS, output='sos')
        for _ in range(repeats):
            start = time.thread_time()
            a = spectrum(x, sos)
            best = min(best, time.thread_time() - start)
        print('updateSpectrum_%s %.9f' % (name, best))
        ours = np.fromfile('%s/ours_%s.f64' % (folder, name), dtype='<f8')
        diff = np.max(np.abs(ours - a)) / np.max(a) if len(ours) == len(a) else float('inf')
        print('check updateSpectrum_%s %.3g' % (name, diff))


if __name__ == '__main__':
    main()
