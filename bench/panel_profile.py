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
allow. Where FAR lies beyond the distance that completes one dephasing
cycle by the last point, a share there falls monotonically, as a SCALING
below 1 does: each Gaussian is fitted also with a share at one distance
between the two, and the ranges hold those fits too (the SCALING trap).
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
    shared = far_share_fits(nc, y, sig, d, mas, r, a_mat, far, told) if far > cycle_distance(nc, d, mas) else None
    for kind, npar in (("fixed", 2), ("free", 3)):
        fits = [dict(chi2=v[kind], s=v["s"] if kind == "free" else np.full(len(v[kind]), told),
                     mean=v["mean"], sd=v["sd"], reff=v["reff"])] + ([shared[kind]] if shared else [])
        best = float(v[kind].min())
        level = min(float(f["chi2"].min()) for f in fits) + DELTA_CHI2
        ranges = {}
        for q, key in (("mean", "mean"), ("sd", "sd"), ("reff", "reff"), ("scaling", "s")):
            got = np.concatenate([f[key][f["chi2"] <= level] for f in fits])
            ranges[q] = (float(got.min()), float(got.max()))
        out[kind] = dict(chi2=best, p=float(chi2_dist.sf(best, max(1, n - npar))), ranges=ranges)
    return out


def cycle_distance(nc, d, mas):
    """The longest distance whose exact curve passes its first minimum by the
    largest N_c of the data."""
    lam = np.arange(0.3, 3.0, 0.0005)
    lam_min = float(lam[np.argmax(np.diff(redor(lam)) > 0)])
    return (0.5 * float(np.max(nc)) * d / (mas * lam_min)) ** (1 / 3)


def far_share_fits(nc, y, sig, d, mas, r, a_mat, far, told):
    """Each Gaussian with a share q at one distance r_f from the cycle
    distance to FAR (8 of them), SCALING s held at `told` or free: the model
    (1 - y) / sigma = s u + s q (v - u), u and v the falls of the Gaussian and
    of r_f over sigma, is linear in s and s q (least squares, s within
    0.05..1.2, q within 0..1). Per kind, each fit's chi2, s, mean, sd, r_eff."""
    r_f = np.linspace(cycle_distance(nc, d, mas), far, 8)
    v = (1.0 - redor(0.5 * nc[:, None] * d / r_f[None, :] ** 3 / mas)) / sig[:, None]
    b = (1.0 - y) / sig
    centres = np.arange(r[0], r[-1] + 1e-9, 0.02)
    rows = {k: {q: [] for q in ("chi2", "s", "mean", "sd", "reff")} for k in ("fixed", "free")}
    for w in np.geomspace(0.02, max(0.021, (r[-1] - r[0]) / 2), 40):
        g = np.exp(-0.5 * ((r[:, None] - centres[None, :]) / w) ** 2)
        tot = g.sum(axis=0)
        g = g[:, tot > 1e-300] / tot[tot > 1e-300]
        u = a_mat @ g                                        # n x C
        dd_ = v[:, None, :] - u[:, :, None]                  # n x C x F
        uu, ub, bb = (u * u).sum(0), (u * b[:, None]).sum(0), float(b @ b)
        ud, dd, db = (u[:, :, None] * dd_).sum(0), (dd_ * dd_).sum(0), (dd_ * b[:, None, None]).sum(0)
        gm, g2, g6 = r @ g, (r * r) @ g, (r ** -6.0) @ g
        for kind in ("fixed", "free"):
            if kind == "fixed":
                s_ = np.full(dd.shape, told)
            else:
                det = uu[:, None] * dd - ud * ud
                s_ = np.where(det > 1e-300, (ub[:, None] * dd - db * ud) / np.maximum(det, 1e-300), ub[:, None] / uu[:, None])
                s_ = np.clip(s_, 0.05, 1.2)
            t = np.clip((db - s_ * ud) / np.maximum(dd, 1e-300), 0.0, s_)   # s q
            chi2 = bb - 2 * s_ * ub[:, None] - 2 * t * db + s_ * s_ * uu[:, None] + 2 * s_ * t * ud + t * t * dd
            q = t / s_
            mean = (1 - q) * gm[:, None] + q * r_f[None, :]
            second = (1 - q) * g2[:, None] + q * r_f[None, :] ** 2
            rows[kind]["chi2"].append(chi2.ravel()), rows[kind]["s"].append(s_.ravel())
            rows[kind]["mean"].append(mean.ravel())
            rows[kind]["sd"].append(np.sqrt(np.maximum(second - mean * mean, 0.0)).ravel())
            rows[kind]["reff"].append((((1 - q) * g6[:, None] + q * r_f[None, :] ** -6.0) ** (-1 / 6)).ravel())
    return {kind: {k: np.concatenate(a) for k, a in rows[kind].items()} for kind in rows}


def is_open(rng, truth, tol):
    """The allowed range reaches farther from the truth than the tolerance."""
    lo, hi = rng
    return lo < truth - tol or hi > truth + tol
