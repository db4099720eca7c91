#!/usr/bin/python3
"""Reference results for the signal filter cases, computed with scipy.

Reads the same case file as signalfilter_cli and prints the same format:
"== <id>", then one value per line ("%.17g"), or "raises <ExceptionType>"
when scipy refuses the input.
"""

import os
import sys

import numpy as np


def _pin_numpy_baseline():
    """Re-runs this script with numpy held to its baseline code paths.

    On machines with AVX2 or AVX-512 numpy switches to its own vector loops;
    its AVX-512 cos and tan are up to an ulp off where the C library is
    correctly rounded (cos at the 0.54 Hz notch centre, for one). Filters
    with poles next to the unit circle (the 0.54 Hz notch, a 499 Hz low-pass
    at 1000 Hz) turn such an ulp into 1e-3 mHz at the 3.5e8 mHz level, so
    the reference would depend on the CPU it runs on. The baseline paths
    call the C library and give the same result on every x86-64 machine.
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
_files = {}


def read_signal(path):
    if path not in _files:
        with open(path) as f:
            _files[path] = np.array([float(t) for t in f if t.strip()], dtype=np.float64)
    return _files[path]


def butter(cutoff, kind, fs):
    # Cut-offs at or above fs/2 - 1 are designed there.
    fc = min(float(cutoff), fs * 0.5 - 1.0)
    return signal.butter(8, fc, btype=('lowpass', 'highpass')[kind], fs=fs, output='sos')


def notch_chain(x):
    y = signal.filtfilt(*signal.iirnotch(25, 2.5, fs=1000.0), x)
    for f0 in NOTCHES:
        y = signal.filtfilt(*signal.iirnotch(f0, 50.0, fs=1000.0), y)
    return y


def run(op, a):
    f = [float(t) for t in a[:-1]] if a else []
    if op == 'butter':
        return butter(int(a[0]), int(a[1]), int(a[2])).ravel()
    if op == 'sosfiltzi':
        return signal.sosfilt_zi(butter(int(a[0]), int(a[1]), int(a[2]))).ravel()
    if op == 'sosfiltfilt':
        sos = butter(int(a[0]), int(a[1]), int(a[2]))
        return signal.sosfiltfilt(sos, read_signal(a[3]))
    if op == 'iirnotch':
        b, den = signal.iirnotch(int(a[0]), float(a[1]), fs=float(a[2]))
        return np.concatenate((b, den))
    if op == 'iirnotchbw':
        f0, bw, fs = (float(t) for t in a)
        b, den = signal.iirnotch(f0, f0 / bw, fs=fs)
        return np.concatenate((b, den))
    if op == 'lfilterzi':
        v = [float(t) for t in a]
        return signal.lfilter_zi(v[:3], v[3:6])
    if op == 'lfilter':
        y, _ = signal.lfilter(f[:3], f[3:6], read_signal(a[-1]), zi=f[6:8])
        return y
    if op == 'filtfilt':
        return signal.filtfilt(f[:3], f[3:6], read_signal(a[-1]))
    if op == 'notch':
        f0, fs, q = int(a[0]), float(a[1]), float(a[2])
        return signal.filtfilt(*signal.iirnotch(f0, q, fs=fs), read_signal(a[3]))
    if op in ('notchbw', 'notchintbw'):
        f0, bw, fs = float(a[0]), float(a[1]), float(a[2])
        return signal.filtfilt(*signal.iirnotch(f0, f0 / bw, fs=fs), read_signal(a[3]))
    if op == 'chain':
        return notch_chain(read_signal(a[0]))
    raise SystemExit('unknown operation ' + op)


def main():
    if len(sys.argv) != 2:
        raise SystemExit('usage: signalfilter_oracle.py <case-file>')
    out = []
    with open(sys.argv[1]) as cases:
        for line in cases:
            words = line.split('#', 1)[0].split()
            if len(words) < 2:
                continue
            out.append('== ' + words[0])
            try:
                values = np.asarray(run(words[1], words[2:]), dtype=np.float64).ravel()
                out.extend('%.17g' % v for v in values)
            except ValueError as e:
                out.append('raises ' + type(e).__name__)
    sys.stdout.write('\n'.join(out) + '\n')


if __name__ == '__main__':
    main()
