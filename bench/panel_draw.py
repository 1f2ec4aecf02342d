"""Random synthetic truths for bench/random_panel.py: the draw of one truth
(family, nuclei, MAS, N_c list, noise, dephasable share, the SCALING a user
tells, NEAR and FAR), its data made by build/bench/synth_redor, and what is
true of it (mean, sd, effective distance, peaks, quantiles).

Every draw comes from numpy's generator seeded with (panel seed, draw index),
so one draw can be repeated alone.
"""
import math
import os
import subprocess
import sys

import numpy as np
from scipy.signal import find_peaks

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import validate  # noqa: E402  (Truth: the truth file of synth_redor)

# Magnetogyric ratios (10^7 rad s^-1 T^-1, magnitudes) and the names the
# program reads; the dipolar constant d = mu0/4pi gx gy hbar / 2pi in Hz A^3.
GAMMA = {"13C": 6.7283, "15N": 2.712, "31P": 10.841, "19F": 25.181, "1H": 26.7522205}
PAIRS = {"CN": ("13C", "15N"), "CP": ("13C", "31P"), "NP": ("15N", "31P"),
         "FC": ("19F", "13C"), "FP": ("19F", "31P"), "HC": ("1H", "13C")}
FAMILIES = ("narrow", "broad", "two", "three", "skewed", "flat")
GRAIN = 0.05
LAMBDA_FIRST_MIN = 1.945  # lambda_D of the exact curve's first minimum


def dipolar_constant(pair):
    gx, gy = (GAMMA[n] * 1e7 for n in PAIRS[pair])
    return 1e-7 * gx * gy * 1.05457168e-34 / (2 * math.pi) / 1e-30


def shape(family, r0, rng):
    """synth_redor arguments of a distribution of mean about r0, and the
    range (lo, hi) that holds practically all of it."""
    u = rng.uniform
    if family in ("narrow", "broad"):
        sd = u(0.03, 0.1) if family == "narrow" else u(0.2, 0.6)
        return ["--comp", "1:%.4f:%.4f" % (r0, sd)], r0 - 4 * sd, r0 + 4 * sd
    if family == "two":
        sep, w1 = u(0.5, 2.0), u(0.3, 0.7)
        cs, ws, sds = [r0 - (1 - w1) * sep, r0 + w1 * sep], [w1, 1 - w1], u(0.05, 0.25, 2)
    elif family == "three":
        gaps = u(0.5, 1.2, 2)
        ws = np.maximum(rng.dirichlet([2, 2, 2]), 0.15)
        ws = ws / ws.sum()
        cs = np.array([0.0, gaps[0], gaps.sum()])
        cs = cs - (ws * cs).sum() + r0
        sds = u(0.05, 0.2, 3)
    elif family == "skewed":
        if rng.random() < 0.5:
            scale, alpha = u(0.25, 0.6), u(3, 8) * rng.choice([-1, 1])
            loc = r0 - scale * alpha / math.sqrt(1 + alpha * alpha) * math.sqrt(2 / math.pi)
            return ["--skew", "%.4f:%.4f:%.3f" % (loc, scale, alpha)], r0 - 4 * scale, r0 + 4 * scale
        k, th = u(1.5, 4.0), u(0.1, 0.3)
        onset = r0 - k * th
        return ["--gamma", "%.4f:%.3f:%.4f" % (onset, k, th)], onset, r0 + 6 * math.sqrt(k) * th
    else:  # flat band
        width = u(0.5, 2.0)
        return ["--flat", "%.4f:%.4f" % (r0 - width / 2, r0 + width / 2)], r0 - width / 2, r0 + width / 2
    args = []
    for w, c, s in zip(ws, cs, sds):
        args += ["--comp", "%.4f:%.4f:%.4f" % (w, c, s)]
    return args, min(cs) - 4 * max(sds), max(cs) + 4 * max(sds)


def nc_list(rng, ncmax, npts):
    """Even rotor-cycle counts up to about ncmax: evenly spaced, or denser
    early (N_c proportional to a power of the point's index)."""
    dense = rng.random() < 0.5
    if dense:
        p = rng.uniform(1.5, 2.5)
        ncs = sorted({max(2, 2 * round(ncmax * (k / npts) ** p / 2)) for k in range(1, npts + 1)})
        if len(ncs) >= 10:
            return ncs, "dense early (power %.2f)" % p
    step = max(2, 2 * (ncmax // (2 * npts)))
    first = 0 if rng.random() < 0.5 else step
    return [first + step * k for k in range(npts)], "even, step %d" % step


def draw(seed, index):
    """Parameters of draw `index` of the panel `seed` (no files yet)."""
    rng = np.random.default_rng([seed, index])
    family = FAMILIES[rng.integers(len(FAMILIES))]
    pair = list(PAIRS)[rng.integers(len(PAIRS))]
    d = dipolar_constant(pair)
    mas = float(round(rng.uniform(5000, 60000), -2))
    npts = int(rng.integers(10, 31))
    for _ in range(1000):
        t_max = math.exp(rng.uniform(math.log(1e-3), math.log(40e-3)))  # s
        ncmax = max(2 * npts, 2 * round(t_max * mas / 2))
        lam_end = math.exp(rng.uniform(math.log(0.4), math.log(4.0)))
        r0 = (d * ncmax / (2 * lam_end * mas)) ** (1 / 3)
        if not 1.5 <= r0 <= 14.0:
            continue
        args, lo, hi = shape(family, r0, rng)
        if lo >= 1.5:
            break
    ncs, spacing = nc_list(rng, ncmax, npts)
    share = float(rng.uniform(0.6, 1.0))
    told_wrong = rng.random() < 1 / 3
    scaling = share
    if told_wrong:
        delta = rng.uniform(0.05, 0.25) * rng.choice([-1, 1])
        scaling = min(1.0, share + delta)
        if abs(scaling - share) < 0.05:
            scaling = share - abs(delta)
    return dict(index=index, family=family, pair=pair, xn=PAIRS[pair][0], yn=PAIRS[pair][1], d=d,
                mas=mas, nc=ncs, spacing=spacing, lam_end=lam_end,
                lam_end_at_mean=ncs[-1] * d / r0 ** 3 / (2 * mas), r0=r0,
                past_first_min=lam_end > LAMBDA_FIRST_MIN, dist=args,
                noise=float(rng.uniform(0.005, 0.05)), share=share, told_wrong=bool(told_wrong),
                scaling=round(scaling, 2), noise_seed=int((seed * 7919 + index * 104729) % 2147483647) + 1,
                far_margin=float(rng.uniform(1.5, 2.0)))


class TruthOf:
    """What is true of a drawn distribution: moments, r_eff, quantiles, peaks."""

    def __init__(self, path, family, dist):
        t = validate.Truth(path)
        r = np.array([x for x, _ in t.grid] + [x for x, _ in t.points])
        m = np.array([y for _, y in t.grid] + [y for _, y in t.points])
        order = np.argsort(r)
        self.r, self.m = r[order], m[order] / m.sum()
        self.mean, self.sd = t.mean, t.sd
        self.reff = float((self.m * self.r ** -6).sum() ** (-1 / 6))
        self.family = family
        self.band = tuple(float(v) for v in dist[1].split(":")[-2:]) if family == "flat" else None
        self.peaks = self._peaks()

    def quantile(self, q):
        return float(self.r[np.searchsorted(np.cumsum(self.m), q)])

    def _peaks(self):
        """Peaks as the program defines them, on cells of GRAIN: stretches
        between minima holding at least 10 %, a minimum above 90 % of the
        lower maximum beside it being a ripple."""
        edges = np.arange(self.r[0] - GRAIN, self.r[-1] + 2 * GRAIN, GRAIN)
        h, _ = np.histogram(self.r, edges, weights=self.m)
        centres = 0.5 * (edges[1:] + edges[:-1])
        pk = list(find_peaks(np.r_[0.0, h, 0.0])[0] - 1)
        while len(pk) > 1:
            valleys = [a + int(np.argmin(h[a:b + 1])) for a, b in zip(pk, pk[1:])]
            ripple = [i for i, v in enumerate(valleys) if h[v] > 0.9 * min(h[pk[i]], h[pk[i + 1]])]
            if ripple:
                i = ripple[0]
                pk.pop(i if h[pk[i]] < h[pk[i + 1]] else i + 1)
                continue
            bounds = [0] + valleys + [len(h)]
            mass = [h[a:b].sum() for a, b in zip(bounds, bounds[1:])]
            i = int(np.argmin(mass))
            if mass[i] >= 0.1:
                break
            pk.pop(i)
        return [float(centres[i]) for i in pk]


def make(synth, draw_, folder):
    """Data and truth files of a draw, NEAR and FAR a user would choose
    (1 A below the smallest distance, 1.5-2 A above the largest, rounded to
    0.1 A), and the truth."""
    data, truth = os.path.join(folder, "data.dat"), os.path.join(folder, "truth.txt")
    cmd = [synth, "--pair", draw_["pair"], "--mas", "%g" % draw_["mas"],
           "--nclist", ",".join(str(n) for n in draw_["nc"]), "--noise", "%.5f" % draw_["noise"],
           "--seed", str(draw_["noise_seed"]), "--fraction", "%.5f" % draw_["share"],
           "--out", data, "--truth", truth, "--quiet"] + draw_["dist"]
    r = subprocess.run(cmd, capture_output=True, text=True)
    if r.returncode != 0:
        raise RuntimeError("synth_redor failed: %s\n%s" % (" ".join(cmd), r.stderr))
    t = TruthOf(truth, draw_["family"], draw_["dist"])
    near = max(0.5, math.floor((t.quantile(0.001) - 1.0) * 10) / 10)
    far = math.ceil((t.quantile(0.999) + draw_["far_margin"]) * 10) / 10
    return data, t, near, far


def read_data(path):
    nc, y, sig = (np.array(v) for v in zip(*[(float(w[0]), float(w[3]), float(w[4]))
                                               for w in (ln.split() for ln in open(path))
                                               if w and not w[0].startswith("#")]))
    return nc, y, sig
