"""An independent one-Gaussian profile of REDOR data (bench/random_panel.py).

The exact powder-averaged curve S/S0 = (sqrt(2) pi / 4) J_1/4(x) J_-1/4(x),
x = 2 sqrt(2) lambda_D, lambda_D = N_c D / (2 MAS), D = d / r^3, from
scipy.special.jv (no code of redordist). One Gaussian in r, truncated to
NEAR..FAR and integrated on a 0.01 A grid, is fitted by chi2 over a grid of
centres (every 0.02 A from NEAR to FAR) and widths (40 from 0.02 A to
(FAR - NEAR) / 2, evenly in log), with SCALING either held at the value the
user told or free (fitted in closed form for each Gaussian, as the model is
linear in SCALING, within 0.05..1.2). The Gaussians within chi2 + 4 of the
best give the ranges of mean, sd, effective distance and SCALING the data
allow.
"""
import math

import numpy as np
from scipy.special import jv
from scipy.stats import chi2 as chi2_dist

REFERENCE = ((0.25, 0.7575780804), (0.5, 0.2716559048), (1.0, 0.0087956314), (2.0, -0.0157321081))
DELTA_CHI2 = 4.0


def redor(lam):
    x = 2 * math.sqrt(2) * np.abs(np.asarray(lam, dtype=float))
    with np.errstate(invalid="ignore", divide="ignore"):
        s = math.sqrt(2) * math.pi / 4 * jv(0.25, x) * jv(-0.25, x)
    return np.where(x < 1e-12, 1.0, s)


def check_closed_form():
    for lam, want in REFERENCE:
        got = float(redor(lam))
        if abs(got - want) > 5e-10:
            raise SystemExit("panel_profile: exact curve %.10f at lambda_D %g, expected %.10f" % (got, lam, want))


def profile(nc, y, sig, d, mas, near, far, told):
    """Ranges over the single Gaussians within chi2 + 4 of the best, with
    SCALING held at `told` ('fixed') and free ('free')."""
    r = np.arange(near, far + 1e-9, 0.01)
    a_mat = (1.0 - redor(0.5 * nc[:, None] * d / r[None, :] ** 3 / mas)) / sig[:, None]
    b = (1.0 - y) / sig
    centres = np.arange(near, far + 1e-9, 0.02)
    widths = np.geomspace(0.02, max(0.021, (far - near) / 2), 40)
    rows = {k: [] for k in ("fixed", "free", "s", "mean", "sd", "reff")}
    for w in widths:
        g = np.exp(-0.5 * ((r[:, None] - centres[None, :]) / w) ** 2)
        tot = g.sum(axis=0)
        ok = tot > 1e-300
        g = g[:, ok] / tot[ok]
        a = a_mat @ g                                   # (1 - curve) / sigma per Gaussian
        rows["fixed"].append(((b[:, None] - told * a) ** 2).sum(axis=0))
        s = np.clip((a * b[:, None]).sum(axis=0) / np.maximum((a * a).sum(axis=0), 1e-300), 0.05, 1.2)
        rows["free"].append(((b[:, None] - s * a) ** 2).sum(axis=0))
        rows["s"].append(s)
        mean = r @ g
        rows["mean"].append(mean)
        rows["sd"].append(np.sqrt(np.maximum((r * r) @ g - mean * mean, 0.0)))
        rows["reff"].append(((r ** -6.0) @ g) ** (-1 / 6))
    v = {k: np.concatenate(x) for k, x in rows.items()}
    n = len(y)
    out = {}
    for kind, npar in (("fixed", 2), ("free", 3)):
        c2 = v[kind]
        best = float(c2.min())
        sel = c2 <= best + DELTA_CHI2
        ranges = {q: (float(v[q][sel].min()), float(v[q][sel].max())) for q in ("mean", "sd", "reff")}
        ranges["scaling"] = (float(v["s"][sel].min()), float(v["s"][sel].max())) if kind == "free" else (told, told)
        out[kind] = dict(chi2=best, p=float(chi2_dist.sf(best, max(1, n - npar))), ranges=ranges)
    return out


def is_open(rng, truth, tol):
    """The allowed range reaches farther from the truth than the tolerance."""
    lo, hi = rng
    return lo < truth - tol or hi > truth + tol
