"""Chroma error, edge overshoot and the luma check of one output against
the clean source."""

import numpy as np

PEAK = 255.0
OVERSHOOT_REACH = 9  # half-rate samples either side: the reach of the 19-tap filters


def mse(a, b):
    """Mean squared difference of two 8-bit planes, summed exactly."""
    d = (a.astype(np.int16) - b.astype(np.int16)).ravel()
    return int(np.einsum("i,i->", d, d, dtype=np.int64)) / d.size


def psnr(error):
    return float("inf") if error == 0 else 10.0 * np.log10(PEAK * PEAK / error)


def _still_mean(plane, groups):
    """Mean over frames and over each run of rows that the clean still
    picture holds identical: the fringes a filter leaves stay, noise and
    cross-colour, which change from frame to frame and line to line, go."""
    mean = plane.astype(np.float64).mean(axis=0)
    out = np.empty_like(mean)
    for start, stop in groups:
        out[start:stop] = mean[start:stop].mean(axis=0)
    return out


def row_groups(clean_plane):
    """Runs of identical rows of a still picture (frame 0)."""
    rows = clean_plane[0]
    groups = []
    start = 0
    for r in range(1, rows.shape[0] + 1):
        if r == rows.shape[0] or not np.array_equal(rows[r], rows[start]):
            groups.append((start, r))
            start = r
    return groups


def overshoot(out_plane, clean_plane, groups):
    """Largest excursion, in code values, of the output's still mean beyond
    the range the clean picture spans within OVERSHOOT_REACH samples."""
    got = _still_mean(out_plane, groups)
    ref = clean_plane[0].astype(np.float64)
    reach = OVERSHOOT_REACH
    padded = np.pad(ref, ((0, 0), (reach, reach)), mode="edge")
    windows = np.lib.stride_tricks.sliding_window_view(padded, 2 * reach + 1, axis=1)
    above = got - windows.max(axis=-1)
    below = windows.min(axis=-1) - got
    return float(max(0.0, above.max(), below.max()))


def is_still(clean_plane):
    return all(np.array_equal(clean_plane[0], f) for f in clean_plane[1:])
