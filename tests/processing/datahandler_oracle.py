#!/usr/bin/python3
"""Reference values for the data handler's outputs, from scipy and numpy.

Reads a JSON list of jobs on stdin and writes a JSON list of results (one
per job, same order) on stdout. Every job has "op" and "x" (the input
samples); the other keys depend on the op:

  chain       start, length, k  mains notch chain at 1000 Hz, y[start:start+length],
                                then means of blocks of k (k = 1: no averaging)
  pass        low, high, fs     order-8 Butterworth low-pass then high-pass, zero phase
  spectrum    low, high, fs     the spectrum page's density: 1 Hz high-pass, the pass
                                filters, then asd, scaled from mHz to nT
  asd         fs                abs(rfft(x))[:N - N//2] * sqrt(2) / sqrt(N * fs)
  periodogram fs                the same from scipy.signal.periodogram (boxcar, no
                                detrend, density): sqrt(Pxx), DC given the sqrt(2)
                                that the one-sided scaling leaves off, Nyquist dropped
  mean                          mean of x
  notch       f0, bw, fs        one zero-phase notch: filtfilt of iirnotch(f0, f0 / bw)

Results are lists of numbers, or {"f": [...], "a": [...]} for the spectra.
"""

import json
import os
import sys

import numpy as np


def _pin_numpy_baseline():
    """Re-runs the script with numpy on its baseline code paths.

    numpy's AVX2/AVX-512 loops for cos and tan can be an ulp off the C
    library; for filters with poles next to the unit circle that ulp shows
    at the 3.5e8 mHz level, so the reference would depend on the CPU.
    """
    if os.environ.get('NPY_DISABLE_CPU_FEATURES') is not None:
        return
    from numpy.core import _multiarray_umath as mu
    present = [f for f in getattr(mu, '__cpu_dispatch__', ()) if mu.__cpu_features__.get(f)]
    if present:
        env = dict(os.environ, NPY_DISABLE_CPU_FEATURES=' '.join(present))
        os.execve(sys.executable, [sys.executable] + sys.argv, env)


if __name__ == '__main__':
    _pin_numpy_baseline()

from scipy import signal  # noqa: E402

NOTCHES = (50, 75, 125, 175, 200, 225, 250, 275, 300, 325, 375, 425)
MHZ_TO_NT = 0.001 / 6.99583


def chain(x):
    y = signal.filtfilt(*signal.iirnotch(25, 25 / 10, fs=1000), x)
    for c in NOTCHES:
        y = signal.filtfilt(*signal.iirnotch(c, 50, fs=1000), y)
    return y


def block_means(v, k):
    return [float(np.mean(v[i:i + k])) for i in range(0, len(v), k)]


def zero_phase(kind, cutoff, fs, x):
    """sosfiltfilt of an order-8 Butterworth. scipy refuses 27 samples or
    fewer (its padding length); the program passes them through unchanged,
    and so does this reference."""
    x = np.asarray(x, dtype=float)
    if len(x) <= 27:
        return x
    return signal.sosfiltfilt(signal.butter(8, cutoff, kind, fs=fs, output='sos'), x)


def pass_filters(x, low, high, fs):
    x = np.asarray(x, dtype=float)
    if low > 0:
        x = zero_phase('low', low, fs, x)
    if high > 0:
        x = zero_phase('high', high, fs, x)
    return x


def asd(x, fs):
    x = np.asarray(x, dtype=float)
    n = len(x)
    a = np.abs(np.fft.rfft(x))[:n - n // 2] * np.sqrt(2) / np.sqrt(n * fs)
    f = np.arange(n - n // 2) * (fs / n)
    return f, a


def periodogram(x, fs):
    n = len(x)
    f, pxx = signal.periodogram(np.asarray(x, dtype=float), fs, window='boxcar', detrend=False,
                                scaling='density')
    a = np.sqrt(pxx)
    a[0] *= np.sqrt(2)
    keep = n - n // 2
    return f[:keep], a[:keep]


def run(job):
    op = job['op']
    x = np.asarray(job['x'], dtype=float)
    if op == 'chain':
        y = chain(x)[job['start']:job['start'] + job['length']]
        return block_means(y, job.get('k', 1))
    if op == 'pass':
        return pass_filters(x, job['low'], job['high'], job['fs']).tolist()
    if op == 'spectrum':
        fs = job['fs']
        w = zero_phase('high', 1, fs, x)
        w = pass_filters(w, job['low'], job['high'], fs)
        f, a = asd(w, fs)
        return {'f': f.tolist(), 'a': (a * MHZ_TO_NT).tolist()}
    if op == 'asd':
        f, a = asd(x, job['fs'])
        return {'f': f.tolist(), 'a': a.tolist()}
    if op == 'periodogram':
        f, a = periodogram(x, job['fs'])
        return {'f': f.tolist(), 'a': a.tolist()}
    if op == 'mean':
        return [float(np.mean(x))]
    if op == 'notch':
        f0 = job['f0']
        return signal.filtfilt(*signal.iirnotch(f0, f0 / job['bw'], fs=job['fs']), x).tolist()
    raise ValueError('unknown op ' + op)


def main():
    jobs = json.load(sys.stdin)
    json.dump([run(job) for job in jobs], sys.stdout)


if __name__ == '__main__':
    main()
