"""What the checks of our files in other readers share: values compared with the CSV export
of the same frames, and the firing order of each channel's points."""
import sys

import numpy as np

# Dual echo: a point's time is its firing's, which the CSV's stated time stamps space as in
# single echo; the two lie at most 295 us apart (six firings of 32 channels of 1.536 us).
DUAL_ECHO_TIME_SLACK = 295.0e-6


def csv_frames(path):
    """[rows x y z intensity channel] per frame of a CSV export, in frame order, returns of
    distance 0 left out."""
    frames = {}
    with open(path) as f:
        next(f)
        for line in f:
            v = line.split(",")
            if float(v[7]) != 0:
                frames.setdefault(int(v[0]), []).append([float(t) for t in v[1:6]])
    return [np.array(rows) for _, rows in sorted(frames.items())]


def close(actual, expected, what, slack=0.0):
    """`actual` as read elsewhere equals `expected` from the CSV within the CSV's 6 significant
    digits and `slack`, the format's own rounding; the run ends naming `what` otherwise."""
    actual = np.asarray(actual, dtype=np.float64)
    if actual.shape != expected.shape:
        sys.exit(f"{what}: {actual.shape} values, the CSV {expected.shape}")
    worst = np.max(np.abs(actual - expected) - (1e-5 * np.abs(expected) + slack)) if expected.size else -1
    if worst > 0:
        sys.exit(f"{what} differs from the CSV by up to {worst} beyond the rounding")


def check_firings(what, ring, time, second):
    """Each channel's points in firing order: a second echo (`second` true or non-zero) has its
    first echo's time, and no time goes back."""
    second = np.asarray(second) != 0
    for c in np.unique(ring):
        t, s = time[ring == c], second[ring == c]
        pair = s[1:] & ~s[:-1]
        if np.any(t[1:][pair] != t[:-1][pair]):
            sys.exit(f"{what}: channel {int(c)}: a second echo's time differs from its first echo's")
        if np.any(np.diff(t)[~pair] < 0):
            sys.exit(f"{what}: channel {int(c)}: a time goes back")
