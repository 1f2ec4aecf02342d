#!/usr/bin/python3
"""What three curves of one truth can tell about its effective distance.

The share panel of bench/study_bench.py (one Gaussian distance distribution
seen at MAS 5, 10 and 20 kHz with N_c 0:4:64, 0:8:160 and 0:16:256,
dephasable shares 1.0, 0.9 and 0.8, noise 0.015 of S0) asks how much less
the shared fit's effective distance scatters than each curve's alone. This
gives the Cramer-Rao bound of that scatter: the smallest sd any unbiased
estimate of r_eff = <r^-6>^(-1/6) can have, from the Fisher information of
the Gaussian truth's parameters (centre, width, and each curve's SCALING),
for each curve alone and for the three together, with the width and the
SCALINGs free or known. The curves are the exact powder average,
S/S0 = 1 - s (1 - <(sqrt(2) pi / 4) J_1/4(x) J_-1/4(x)>), x = 2 sqrt(2) lambda_D,
lambda_D = (N_c / 2) D / (MAS r^3), D = 3062.61 Hz A^3 for 13C-15N:
nothing of the program is used.

  bench/share_bound.py            # the panel's truth, and a few others
Prints a Markdown table.
"""
import itertools

import numpy as np
from scipy.special import jv

D_CN = 3062.61  # Hz A^3
R = np.linspace(1.5, 7.0, 5501)  # A: the Gaussians below lie well inside
CURVES = [(5000.0, np.arange(0, 65, 4)), (10000.0, np.arange(0, 161, 8)), (20000.0, np.arange(0, 257, 16))]
SHARES = [1.0, 0.9, 0.8]
NOISE = 0.015


def s_exact(lam):
    x = 2.0 * np.sqrt(2.0) * lam
    out = np.ones_like(x)
    on = x > 0
    out[on] = np.sqrt(2.0) * np.pi / 4.0 * jv(0.25, x[on]) * jv(-0.25, x[on])
    return out


def weights(centre, sd):
    p = np.exp(-0.5 * ((R - centre) / sd) ** 2)
    return p / p.sum()


def curve(centre, sd, scaling, mas, n_c):
    lam = np.outer(n_c / 2.0, D_CN / R ** 3) / mas
    return 1.0 - scaling * (1.0 - s_exact(lam) @ weights(centre, sd))


def effective(centre, sd):
    return float((weights(centre, sd) @ R ** -6) ** (-1.0 / 6.0))


def bound(which, centre, sd, free_sd=True, free_scaling=True):
    """The Cramer-Rao sd of r_eff from the curves `which` (indices into CURVES)."""
    theta0 = [centre] + [sd] * free_sd + [SHARES[c] for c in which] * free_scaling

    def unpack(t):
        w = t[1] if free_sd else sd
        s = t[1 + free_sd:] if free_scaling else [SHARES[c] for c in which]
        return t[0], w, s

    def model(t):
        c0, w, s = unpack(t)
        return np.concatenate([curve(c0, w, s[k], *CURVES[c]) for k, c in enumerate(which)])

    def reff(t):
        c0, w, _ = unpack(t)
        return effective(c0, w)

    t0, h = np.array(theta0), 1e-5
    steps = np.eye(len(t0)) * h
    jac = np.array([(model(t0 + e) - model(t0 - e)) / (2 * h) for e in steps]).T
    grad = np.array([(reff(t0 + e) - reff(t0 - e)) / (2 * h) for e in steps])
    info = jac.T @ jac / NOISE ** 2
    return float(np.sqrt(grad @ np.linalg.solve(info, grad)))


def main():
    print("| truth (A) | width | SCALINGs | bound alone 5 / 10 / 20 kHz (A) | together (A) | ratio to each |")
    print("|---|---|---|---|---|---|")
    truths = [(3.6, 0.2)] + list(itertools.product((3.0, 4.2), (0.1, 0.3)))
    for (centre, sd), (free_sd, free_scaling) in itertools.product(truths, ((True, True), (False, True),
                                                                           (True, False), (False, False))):
        alone = [bound([c], centre, sd, free_sd, free_scaling) for c in range(3)]
        both = bound([0, 1, 2], centre, sd, free_sd, free_scaling)
        print("| %.1f, sd %.1f | %s | %s | %s | %.4f | %s |" % (
            centre, sd, "free" if free_sd else "known", "free" if free_scaling else "known",
            " / ".join("%.4f" % a for a in alone), both, " / ".join("%.2f" % (both / a) for a in alone)))


if __name__ == "__main__":
    main()
