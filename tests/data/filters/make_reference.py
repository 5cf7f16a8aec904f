#!/usr/bin/python3
"""Reference tables for `sorvex-tool response` (tests/tool/response_test.cpp).

Writes, into the folder of this script, modem settings files NAME.ini and for
each one NAME.tsv: the magnitude |H| of its band-pass ("Band", slot 0) and
low-pass ("Smoothing", slot 1) filter at selected frequencies, designed
independently with scipy.signal (butter / cheby1, fs = 8000, the same
cut-offs; band-pass order n is scipy's N = n) and evaluated from scipy's
zeros, poles and gain. Every band-pass order 1..12 and low-pass order 1..25
is covered, for Butterworth and for Chebyshev with ripples 1, 2 and 3 dB.

Table format: comment lines start with '#'; then one line per frequency,
"f<TAB>band<TAB>smoothing", values with 13 significant digits
(5e-14 relative, far below the test's tolerance). Most files
hold every 10th Hz plus the points around each cut-off and the ends of the
range; the files listed in FULL_RESOLUTION hold all 4000 points.

It also writes iir_reference.tsv for tests/dsp/iir_filter_test.cpp: high-pass
orders 1..25 and band-stop orders 1..12 (a wide stop band, whose odd orders
give two real z-plane poles, and a narrow one), Butterworth and Chebyshev,
which the modem never designs. Each design starts with a line
"D<TAB>kind<TAB>band<TAB>order<TAB>freq1<TAB>freq2<TAB>ripple" (band 1 =
high-pass, 3 = band-stop, as in TIirFilter::Design), followed by lines
"f<TAB>|H|" every 50 Hz plus the points around the cut-offs.

Re-run (Debian: apt-get install python3-scipy, or scripts/setup --extras):
    /usr/bin/python3 tests/data/filters/make_reference.py
It deletes and rewrites every *.ini and *.tsv here; the output is the same
on every run.
"""
import glob
import os

import numpy as np
from scipy import signal

FS = 8000
HERE = os.path.dirname(os.path.abspath(__file__))

# Band edges (Freq1, Freq2), taken in turn: the defaults, a wide band whose
# odd orders map the real prototype pole to two real z-plane poles, narrow
# bands, one given high-to-low, and near the ends of the range.
BANDS = [(500, 3000), (300, 3400), (2400, 2900), (3000, 500), (1000, 1800),
         (100, 3900), (2000, 2200), (50, 1000), (1500, 3990)]
# Low-pass cut-offs, taken in turn.
CUTOFFS = [500, 100, 200, 300, 1000, 2000, 3500, 50, 150, 800, 3990]

FULL_RESOLUTION = {"butter_11"}  # a wide band of odd order: two real z-plane poles


def settings():
    """(name, band (kind, order, f1, f2, ripp), smoothing (kind, order, f1, f2, ripp))."""
    out = []
    # Butterworth: low-pass orders 1..25, band-pass orders 1..12 twice (+1).
    for n in range(1, 26):
        f1, f2 = BANDS[(n - 1) % len(BANDS)]
        band = (0, (n - 1) % 12 + 1, f1, f2, 1)
        smoothing = (0, n, CUTOFFS[(n - 1) % len(CUTOFFS)], 3000, 1)
        out.append(("butter_%02d" % n, band, smoothing))
    # Chebyshev: band-pass orders 1..12 at each ripple 1..3 dB (36 files);
    # low-pass orders 1..25, then 1..11 again, ripples rotating so each
    # ripple meets odd and even orders.
    for i in range(36):
        f1, f2 = BANDS[(i + 3) % len(BANDS)]
        band = (1, i % 12 + 1, f1, f2, i // 12 + 1)
        order = i % 25 + 1
        ripple = (i + i // 25) % 3 + 1
        smoothing = (1, order, CUTOFFS[(i + 5) % len(CUTOFFS)], 3000, ripple)
        out.append(("cheby_%02d" % (i + 1), band, smoothing))
    return out


def design(kind, order, freqs, btype, ripp):
    if kind == 0:
        return signal.butter(order, freqs, btype=btype, output="zpk", fs=FS)
    return signal.cheby1(order, ripp, freqs, btype=btype, output="zpk", fs=FS)


def magnitude(zpk, freqs):
    z, p, k = zpk
    e = np.exp(2j * np.pi * np.asarray(freqs, dtype=float) / FS)
    h = np.full(e.shape, complex(k))
    for r in z:
        h *= e - r
    for r in p:
        h /= e - r
    return np.abs(h)


def points(name, band, smoothing):
    if name in FULL_RESOLUTION:
        return list(range(4000))
    pts = set(range(0, 4000, 10)) | {1, 2, 3, 3995, 3996, 3997, 3998, 3999}
    for fc in (band[2], band[3], smoothing[2]):
        pts |= {f for f in range(fc - 2, fc + 3) if 0 <= f < 4000}
    return sorted(pts)


def write_iir_reference():
    designs = []
    for n in range(1, 26):  # high-pass, cut-off in turn
        kind = (n - 1) % 2
        designs.append((kind, 1, n, CUTOFFS[(n + 2) % len(CUTOFFS)], 0, (n - 1) // 2 % 3 + 1))
    for n in range(1, 13):  # band-stop, wide and narrow, both kinds
        for kind in (0, 1):
            designs.append((kind, 3, n, 300, 3400, n % 3 + 1))
            designs.append((kind, 3, n, 1000, 1200, (n + 1) % 3 + 1))
    with open(os.path.join(HERE, "iir_reference.tsv"), "w", newline="\n") as tsv:
        tsv.write("# Made by make_reference.py: high-pass and band-stop designs.\n")
        for kind, band, order, f1, f2, ripp in designs:
            btype = "highpass" if band == 1 else "bandstop"
            freqs = f1 if band == 1 else [f1, f2]
            zpk = design(kind, order, freqs, btype, ripp)
            pts = set(range(0, 4000, 50)) | {3999}
            for fc in (f1, f2) if band == 3 else (f1,):
                pts |= {f for f in range(fc - 2, fc + 3) if 0 <= f < 4000}
            pts = sorted(pts)
            tsv.write("D\t%d\t%d\t%d\t%d\t%d\t%d\n" % (kind, band, order, f1, f2, ripp))
            for f, h in zip(pts, magnitude(zpk, pts)):
                tsv.write("%d\t%.13g\n" % (f, h))


def main():
    for old in glob.glob(os.path.join(HERE, "*.ini")) + glob.glob(os.path.join(HERE, "*.tsv")):
        os.remove(old)
    write_iir_reference()
    for name, band, smoothing in settings():
        with open(os.path.join(HERE, name + ".ini"), "w", newline="\n") as ini:
            ini.write("[GENERAL]\nBaudrate=200\nFreq0=2540\nFreq1=2760\n[FILTERS]\n")
            for slot, f in (("Band", band), ("Smoothing", smoothing)):
                for key, value in zip(("Kind", "Order", "Freq1", "Freq2", "Ripp"), f):
                    ini.write("%s_%s=%d\n" % (slot, key, value))
        lo, hi = sorted(band[2:4])
        band_zpk = design(band[0], band[1], [lo, hi], "bandpass", band[4])
        smooth_zpk = design(smoothing[0], smoothing[1], smoothing[2], "lowpass", smoothing[4])
        pts = points(name, band, smoothing)
        hb = magnitude(band_zpk, pts)
        hs = magnitude(smooth_zpk, pts)
        with open(os.path.join(HERE, name + ".tsv"), "w", newline="\n") as tsv:
            tsv.write("# %s: band %s, smoothing %s (kind, order, freq1, freq2, ripple)\n"
                      % (name, band, smoothing))
            tsv.write("# f\tband |H|\tsmoothing |H|\n")
            for f, b, s in zip(pts, hb, hs):
                tsv.write("%d\t%.13g\t%.13g\n" % (f, b, s))


if __name__ == "__main__":
    main()
