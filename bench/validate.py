#!/usr/bin/env python3
"""Does redordist recover known distance distributions from synthetic REDOR data?

For every case of a panel of known distributions (narrow and broad single
distances, two populations 0.5, 1.0 and 1.5 Angstrom apart, skewed shapes;
13C-15N and 13C-31P; realistic rotor-cycle ranges and 1-3 % noise) and each of
N noise draws, the script
  1. makes the data with build/bench/synth_redor (exact powder-averaged
     Bessel-function curve integrated over the distribution on a 0.002 A
     grid, Gaussian noise of the given fraction of S0; independent of
     redordist's own code),
  2. writes a parameter file (the annealing schedule of examples/fit.par,
     the case's NEAR/FAR, GRAIN 0.05, the chosen PER 2PI),
  3. runs redordist with the chosen solver (`--solver NAME` is passed only
     when NAME is not "annealing"),
  4. reads the result table OUTPUT.me (column 1 distance, column 3 density)
     and compares the recovered distribution with the truth.

Recovered (one fit of one case) means all of:
  * |mean - true mean| <= 0.05 A;
  * |sd - true sd| <= max(0.05 A, 0.3 * true sd);
  * for a two-population truth also: the population below the truth's
    midpoint (the midpoint between the two centres) and the one above it each
    within 0.15 (absolute fraction) of the truth's, and two separate peaks:
    the highest density below the midpoint and the highest above it are
    separated by a dip whose lowest density is at most half the lower of the
    two peaks.
Mean and sd are those of the recovered density over the grid (normalised to
1) and of the truth on the fine grid.

Output: a table per case (one row per draw), then the totals: recovered cases
per draw, the average number of recovered cases out of the panel, the worst
mean error.

Calibration (--calibrate CASE): one run in mode err on one noise draw, whose
standard output line "MC mean distance: X +- Y" gives the program's own
(Monte Carlo) spread Y of the mean distance; then 20 fresh noise draws fitted
in mode fit; the standard deviation of their recovered means is the true
spread. Reported: Y / true spread (1 is ideal; below 1 the error estimate is
too optimistic). The err run uses PER MC BLOCK 20 and MAX MC BLOCKS 5.

Examples:
  bench/validate.py                                  # whole panel, 3 draws
  bench/validate.py --cases cn_narrow,cp_bimodal_15 --draws 1
  bench/validate.py --solver maxent --per2pi 0
  bench/validate.py --calibrate cn_broad
Python 3 standard library only.
"""
import argparse
import math
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# Panel: distributions as synth_redor options. "split" marks a two-population
# truth (the midpoint between its centres).
CASES = [
    dict(name="cn_narrow", pair="CN", mas=5000, nc="0:4:64", noise=0.02,
         dist=["--comp", "1:3.4:0.1"], near=2.4, far=4.6,
         about="single, 3.4 A sd 0.1"),
    dict(name="cn_point", pair="CN", mas=5000, nc="0:4:64", noise=0.02,
         dist=["--comp", "1:3.0:0"], near=2.2, far=4.2,
         about="one distance, 3.0 A"),
    dict(name="cn_broad", pair="CN", mas=5000, nc="0:4:64", noise=0.02,
         dist=["--comp", "1:3.6:0.35"], near=2.2, far=5.2,
         about="single, 3.6 A sd 0.35"),
    dict(name="cn_bimodal_05", pair="CN", mas=5000, nc="0:4:64", noise=0.01,
         dist=["--comp", "0.5:3.0:0.08", "--comp", "0.5:3.5:0.08"], near=2.2, far=4.5,
         split=3.25, about="50 % 3.0 + 50 % 3.5 A, sd 0.08 (0.5 A apart)"),
    dict(name="cn_bimodal_10", pair="CN", mas=5000, nc="0:4:64", noise=0.02,
         dist=["--comp", "0.6:2.9:0.1", "--comp", "0.4:3.9:0.1"], near=2.2, far=5.0,
         split=3.4, about="60 % 2.9 + 40 % 3.9 A, sd 0.1 (1.0 A apart)"),
    dict(name="cn_skew", pair="CN", mas=5000, nc="0:4:64", noise=0.02,
         dist=["--skew", "3.1:0.45:4"], near=2.3, far=5.0,
         about="skew-normal loc 3.1 scale 0.45 shape 4 (tail outwards)"),
    dict(name="cp_narrow", pair="CP", mas=10000, nc="0:8:192", noise=0.01,
         dist=["--comp", "1:4.6:0.1"], near=3.6, far=6.0,
         about="single, 4.6 A sd 0.1"),
    dict(name="cp_broad", pair="CP", mas=8000, nc="0:8:160", noise=0.02,
         dist=["--comp", "1:5.5:0.4"], near=4.0, far=7.5,
         about="single, 5.5 A sd 0.4"),
    dict(name="cp_bimodal_15", pair="CP", mas=10000, nc="0:8:192", noise=0.01,
         dist=["--comp", "0.5:4.2:0.1", "--comp", "0.5:5.7:0.1"], near=3.4, far=7.0,
         split=4.95, about="50 % 4.2 + 50 % 5.7 A, sd 0.1 (1.5 A apart)"),
    dict(name="cp_tail", pair="CP", mas=8000, nc="0:6:144", noise=0.03,
         dist=["--gamma", "4.0:2:0.3"], near=3.4, far=7.0,
         about="gamma tail from 4.0 A, shape 2, scale 0.3"),
]

# The long panel: the same truths with longer dephasing, so that lambda_D =
# (N_c / 2) D / MAS reaches about 1.5 at the truth's mean distance (D = 3062.6 /
# r^3 Hz for 13C-15N, 12242.5 / r^3 Hz for 13C-31P). MAS and N_c per case; every
# other setting (noise, grid, distribution) is that of the short panel.
LONG = {
    "cn_narrow": dict(mas=5000, nc="0:8:192"),       # 38.4 ms; lambda_D 1.50 at 3.4 A
    "cn_point": dict(mas=5000, nc="0:8:192"),        # 2.18 at 3.0 A
    "cn_broad": dict(mas=5000, nc="0:8:192"),        # 1.26 at 3.6 A, 2.18 at 3.0 A
    "cn_bimodal_05": dict(mas=5000, nc="0:8:192"),   # 2.18 at 3.0 A, 1.37 at 3.5 A
    "cn_bimodal_10": dict(mas=5000, nc="0:8:192"),   # 2.41 at 2.9 A, 0.99 at 3.9 A
    "cn_skew": dict(mas=5000, nc="0:8:192"),         # 1.43 at the mean 3.45 A
    "cp_narrow": dict(mas=10000, nc="0:10:240"),     # 24 ms; 1.51 at 4.6 A
    "cp_broad": dict(mas=8000, nc="0:14:336"),       # 42 ms; 1.55 at 5.5 A
    "cp_bimodal_15": dict(mas=10000, nc="0:14:336"), # 33.6 ms; 2.78 at 4.2 A, 1.11 at 5.7 A
    "cp_tail": dict(mas=8000, nc="0:8:192"),         # 24 ms; 1.51 at 4.6 A
}
PANELS = ("short", "long")

DIPOLAR = {"CN": 3062.6, "CP": 12242.5}
# The truths' mean distances (A), for the lambda_D shown by --list.
TRUE_MEAN = {"cn_narrow": 3.4, "cn_point": 3.0, "cn_broad": 3.6, "cn_bimodal_05": 3.25,
             "cn_bimodal_10": 3.3, "cn_skew": 3.448, "cp_narrow": 4.6, "cp_broad": 5.5,
             "cp_bimodal_15": 4.95, "cp_tail": 4.6}


def panel_cases(name):
    """The ten cases of the panel NAME ("short": CASES as they are)."""
    if name == "short":
        return list(CASES)
    out = []
    for c in CASES:
        c2 = dict(c)
        c2.update(LONG[c["name"]])
        out.append(c2)
    return out


def lambda_at(case, r):
    """lambda_D = (N_c,max / 2) D / MAS at the distance r."""
    ncmax = float(case["nc"].split(":")[2])
    return ncmax / 2 * DIPOLAR[case["pair"]] / r ** 3 / case["mas"]


MEAN_TOL = 0.05
SD_TOL_ABS = 0.05
SD_TOL_REL = 0.3
POP_TOL = 0.15
DIP_RATIO = 0.5

FALLBACK_SCHEDULE = {
    "NTRIES": "3", "ITERS AT TEMP": "1000", "MAX STEP SIZE": "0.5 0.2 0.1",
    "BOLTZMANN": "1", "INIT TEMP": "20 0 0", "ATTEN TEMP": "1.2", "MIN TEMP": "0.05",
    "ERR ITERS AT TEMP": "300", "ERR MAX STEP SIZE": "0.3", "ERR BOLTZMANN": "1",
    "ERR INIT TEMP": "10", "ERR ATTEN TEMP": "1.3", "ERR MIN TEMP": "0.05",
    "MIN STDEV2": "0.001",
}
KEYS = ["MODE", "LAMBDA_D", "XYDATA", "DISTDIST", "PATH", "OUTPUT", "XN", "YN", "NEAR",
        "FAR", "GRAIN", "PER 2PI", "MID PULSE", "MAS", "SCALING", "LAST POINT", "NTRIES",
        "ITERS AT TEMP", "MAX STEP SIZE", "BOLTZMANN", "INIT TEMP", "ATTEN TEMP",
        "MIN TEMP", "ERR ITERS AT TEMP", "ERR MAX STEP SIZE", "ERR BOLTZMANN",
        "ERR INIT TEMP", "ERR ATTEN TEMP", "ERR MIN TEMP", "MIN STDEV2", "PER MC BLOCK",
        "MAX MC BLOCKS", "MAX MC CHI2"]

MC_MEAN_RE = re.compile(r"MC mean distance:\s*([-+0-9.eE]+)\s*\+-\s*([-+0-9.eE]+)")
MC_SD_RE = re.compile(r"MC distance sd:\s*([-+0-9.eE]+)\s*\+-\s*([-+0-9.eE]+)")


def example_schedule():
    """The annealing schedule (lines 17-30) of examples/fit.par."""
    sched = dict(FALLBACK_SCHEDULE)
    path = os.path.join(ROOT, "examples", "fit.par")
    try:
        with open(path) as f:
            for line in f:
                key, sep, val = line.rstrip("\n").partition(":")
                if sep and key in sched:
                    sched[key] = val.strip()
    except OSError:
        pass
    return sched


def nc_count(nc):
    a, step, b = (float(x) for x in nc.split(":"))
    return int(math.floor((b - a) / step + 1e-9)) + 1


# --- truth and result ----------------------------------------------------

class Truth:
    def __init__(self, path):
        self.mean = self.sd = None
        self.dr = 0.002
        self.points = []   # (r, mass)
        self.grid = []     # (r, mass)
        dens = []
        with open(path) as f:
            for line in f:
                w = line.split()
                if not w:
                    continue
                if w[0] == "#":
                    if len(w) >= 3 and w[1] == "mean":
                        self.mean = float(w[2])
                    elif len(w) >= 3 and w[1] == "sd":
                        self.sd = float(w[2])
                    elif len(w) >= 3 and w[1] == "dr":
                        self.dr = float(w[2])
                    elif len(w) >= 4 and w[1] == "point":
                        self.points.append((float(w[2]), float(w[3])))
                    continue
                dens.append((float(w[0]), float(w[1])))
        self.grid = [(r, f * self.dr) for r, f in dens]

    def below(self, split):
        return (sum(m for r, m in self.grid if r < split)
                + sum(m for r, m in self.points if r < split))


def read_me(path):
    """Distances (column 1) and density (column 3) of a result table."""
    rs, ps = [], []
    with open(path) as f:
        for line in f:
            if line.startswith("#"):
                continue
            w = line.split()
            if len(w) < 3 or w[0] == "?" or w[2] == "?":
                continue
            rs.append(float(w[0]))
            ps.append(float(w[2]))
    return rs, ps


def moments(rs, ps):
    tot = sum(ps)
    if not tot > 0:
        return float("nan"), float("nan")
    mean = sum(r * p for r, p in zip(rs, ps)) / tot
    var = sum(p * (r - mean) ** 2 for r, p in zip(rs, ps)) / tot
    return mean, math.sqrt(max(var, 0.0))


def two_peaks(rs, ps, split):
    """(resolved, low peak r, high peak r, dip/lower peak) about the split."""
    lo = [i for i, r in enumerate(rs) if r < split]
    hi = [i for i, r in enumerate(rs) if r >= split]
    if not lo or not hi:
        return False, None, None, None
    ilo = max(lo, key=lambda i: ps[i])
    ihi = max(hi, key=lambda i: ps[i])
    lower_peak = min(ps[ilo], ps[ihi])
    if not lower_peak > 0:
        return False, rs[ilo], rs[ihi], None
    dip = min(ps[ilo:ihi + 1])
    ratio = dip / lower_peak
    return ratio <= DIP_RATIO and ihi - ilo >= 2, rs[ilo], rs[ihi], ratio


def judge(case, truth, rs, ps):
    """Everything measured on one fit, and whether it counts as recovered."""
    tot = sum(ps)
    mean, sd = moments(rs, ps)
    res = dict(mean=mean, sd=sd, dmean=mean - truth.mean, mass=tot)
    ok_mean = abs(mean - truth.mean) <= MEAN_TOL
    ok_sd = abs(sd - truth.sd) <= max(SD_TOL_ABS, SD_TOL_REL * truth.sd)
    ok = ok_mean and ok_sd
    res["ok_mean"], res["ok_sd"] = ok_mean, ok_sd
    if "split" in case:
        split = case["split"]
        plo = sum(p for r, p in zip(rs, ps) if r < split) / tot if tot > 0 else float("nan")
        tlo = truth.below(split)
        resolved, rlo, rhi, ratio = two_peaks(rs, ps, split)
        ok_pop = abs(plo - tlo) <= POP_TOL and abs((1 - plo) - (1 - tlo)) <= POP_TOL
        res.update(pop=plo, tpop=tlo, resolved=resolved, peaks=(rlo, rhi), dip=ratio, ok_pop=ok_pop)
        ok = ok and ok_pop and resolved
    res["ok"] = ok
    return res


# --- runs ----------------------------------------------------------------

class Runner:
    def __init__(self, args):
        self.args = args
        self.synth = args.synth or os.path.join(os.path.dirname(os.path.abspath(args.bin)),
                                                "bench", "synth_redor")
        if not os.path.exists(self.synth):
            beside = os.path.join(os.path.dirname(os.path.abspath(args.bin)), "synth_redor")
            self.synth = beside if os.path.exists(beside) else os.path.join(
                ROOT, "build", "bench", "synth_redor")
        for exe in (args.bin, self.synth):
            if not os.access(exe, os.X_OK):
                sys.exit("validate.py: %s is not an executable (build first)" % exe)
        self.sched = example_schedule()
        if args.keep:
            os.makedirs(args.keep, exist_ok=True)
            self.work = os.path.abspath(args.keep)
        else:
            self.work = tempfile.mkdtemp(prefix="redor_validate_")
        stub = os.path.join(self.work, "bin")
        os.makedirs(stub, exist_ok=True)
        gp = os.path.join(stub, "gnuplot")
        with open(gp, "w") as f:
            f.write("#!/bin/sh\nexit 0\n")
        os.chmod(gp, 0o755)
        self.env = dict(os.environ)
        self.env["PATH"] = stub + os.pathsep + self.env.get("PATH", "")
        self.env["OMP_NUM_THREADS"] = str(args.threads)

    def cleanup(self):
        if not self.args.keep:
            shutil.rmtree(self.work, ignore_errors=True)

    def make_data(self, case, tag, seed):
        d = os.path.join(self.work, tag)
        os.makedirs(os.path.join(d, "runs"), exist_ok=True)
        cmd = [self.synth, "--pair", case["pair"], "--mas", str(case["mas"]), "--nc", case["nc"],
               "--noise", str(case["noise"]), "--seed", str(seed), "--out",
               os.path.join(d, "data.dat"), "--truth", os.path.join(d, "truth.txt"), "--quiet"]
        cmd += case["dist"]
        r = subprocess.run(cmd, capture_output=True, text=True)
        if r.returncode != 0:
            sys.exit("validate.py: synth_redor failed: %s\n%s" % (" ".join(cmd), r.stderr))
        return d, Truth(os.path.join(d, "truth.txt"))

    def write_par(self, case, d, mode):
        v = dict(self.sched)
        n = nc_count(case["nc"])
        v.update({
            "MODE": mode, "LAMBDA_D": "none", "XYDATA": "data.dat", "DISTDIST": "none",
            "PATH": "runs/", "OUTPUT": "r", "XN": "C13",
            "YN": {"CN": "N15", "CP": "P31"}[case["pair"]],
            "NEAR": "%g" % case["near"], "FAR": "%g" % case["far"], "GRAIN": "%g" % self.args.grain,
            "PER 2PI": str(self.args.per2pi), "MID PULSE": "0", "MAS": "%g" % case["mas"],
            "SCALING": "1.0", "LAST POINT": "0",
            "PER MC BLOCK": "20", "MAX MC BLOCKS": "5",
            "MAX MC CHI2": "%g" % max(80, 4 * n),
        })
        if self.args.min_stdev2 is not None:
            v["MIN STDEV2"] = "%g" % self.args.min_stdev2
        par = os.path.join(d, mode + ".par")
        with open(par, "w") as f:
            for k in KEYS:
                f.write("%s: %s\n" % (k, v[k]))
        return par

    def run(self, d, par, seed):
        cmd = [os.path.abspath(self.args.bin)]
        if self.args.solver != "annealing":
            cmd += ["--solver", self.args.solver]
        cmd.append(os.path.basename(par))
        env = dict(self.env)
        env["GSL_RNG_SEED"] = str(seed)
        t0 = time.monotonic()
        try:
            r = subprocess.run(cmd, cwd=d, env=env, capture_output=True, text=True,
                               timeout=self.args.timeout)
            rc, out = r.returncode, r.stdout + r.stderr
        except subprocess.TimeoutExpired:
            rc, out = "timeout", ""
        dt = time.monotonic() - t0
        with open(os.path.join(d, "stdout.txt"), "w") as f:
            f.write(out)
        return rc, out, dt

    def fit(self, case, tag, seed, mode="fit"):
        """One data set and one run; returns (truth, result dict or None, stdout, time)."""
        d, truth = self.make_data(case, tag, seed)
        par = self.write_par(case, d, mode)
        rc, out, dt = self.run(d, par, seed)
        me = os.path.join(d, "runs", "r", "r.me")
        if rc != 0 or not os.path.exists(me):
            tail = out.strip().splitlines()[-1:] or [""]
            return truth, dict(failed="exit %s: %s" % (rc, tail[0][:70])), out, dt
        rs, ps = read_me(me)
        if not rs:
            return truth, dict(failed="empty result table"), out, dt
        return truth, judge(case, truth, rs, ps), out, dt


def seed_for(base, draw, index):
    return base + 1000 * draw + 7 * index + 1


def case_index(case):
    return [c["name"] for c in CASES].index(case["name"])


def describe(case):
    ncmax = float(case["nc"].split(":")[2])
    return ("%s: %s, %s, MAS %g Hz, N_c %s (%d points, %.1f ms, lambda_D %.2f at %.2f A),"
            " noise %g %%, grid %g-%g A") % (
        case["name"], case["about"], {"CN": "13C-15N", "CP": "13C-31P"}[case["pair"]],
        case["mas"], case["nc"], nc_count(case["nc"]), 1000 * ncmax / case["mas"],
        lambda_at(case, TRUE_MEAN[case["name"]]), TRUE_MEAN[case["name"]], 100 * case["noise"],
        case["near"], case["far"])


def fmt_pop(res):
    if "pop" not in res:
        return "-"
    return "%.2f/%.2f" % (res["pop"], res["tpop"])


def panel(args, runner, cases):
    print("redordist validation: panel %s, solver %s, PER 2PI %s, GRAIN %g, %d draw(s), binary %s" % (
        args.panel, args.solver, args.per2pi, args.grain, args.draws, args.bin))
    print("recovered: |dmean| <= %.2f A, |sd - true sd| <= max(%.2f A, %.1f true sd);"
          " two populations also: each within %.2f and a dip <= %.1f x lower peak" % (
              MEAN_TOL, SD_TOL_ABS, SD_TOL_REL, POP_TOL, DIP_RATIO))
    print("work directory: %s%s" % (runner.work, "" if args.keep else " (removed at the end)"))
    per_draw = [0] * args.draws
    worst = (0.0, None)
    failures = 0
    total_time = 0.0
    misses = []   # "case:draw:conditions"
    for ci, case in enumerate(cases):
        print()
        print(describe(case))
        print("  %4s %6s %8s %8s %7s %7s %11s %6s %5s %4s %7s" % (
            "draw", "seed", "mean", "dmean", "sd", "sd_tru", "pop lo r/t", "peaks", "dip", "rec", "time_s"))
        tmean = None
        for k in range(args.draws):
            seed = seed_for(args.seed, k, case_index(case))
            tag = "%s_d%d" % (case["name"], k)
            truth, res, _, dt = runner.fit(case, tag, seed)
            total_time += dt
            tmean = truth
            if "failed" in res:
                failures += 1
                misses.append("%s:d%d:failed" % (case["name"], k))
                print("  %4d %6d  FAILED %s  %7.2f" % (k, seed, res["failed"], dt))
                continue
            if res["ok"]:
                per_draw[k] += 1
            if worst[1] is None or abs(res["dmean"]) > abs(worst[0]):
                worst = (res["dmean"], "%s draw %d" % (case["name"], k))
            peaks = "-" if "resolved" not in res else ("two" if res["resolved"] else "one")
            dip = "-" if res.get("dip") is None else "%.2f" % res["dip"]
            missed = [n for n, key in (("mean", "ok_mean"), ("sd", "ok_sd"), ("pop", "ok_pop"))
                      if key in res and not res[key]]
            if not res.get("resolved", True):
                missed.append("peaks")
            flags = " (missed: %s)" % ",".join(missed) if missed else ""
            if not res["ok"]:
                misses.append("%s:d%d:%s" % (case["name"], k, "+".join(missed)))
            print("  %4d %6d %8.4f %+8.4f %7.4f %7.4f %11s %6s %5s %4s %7.2f%s" % (
                k, seed, res["mean"], res["dmean"], res["sd"], truth.sd, fmt_pop(res), peaks, dip,
                "yes" if res["ok"] else "no", dt, flags))
        if tmean is not None:
            print("  truth: mean %.4f A, sd %.4f A" % (tmean.mean, tmean.sd))
    n = len(cases)
    print()
    print("totals (%d cases, solver %s, PER 2PI %s):" % (n, args.solver, args.per2pi))
    for k, c in enumerate(per_draw):
        print("  draw %d: %d / %d recovered" % (k, c, n))
    print("  average recovered: %.2f / %d" % (sum(per_draw) / max(1, args.draws), n))
    if worst[1] is not None:
        print("  worst mean error: %+.4f A (%s)" % worst)
    if failures:
        print("  failed runs: %d" % failures)
    print("  total run time: %.1f s" % total_time)
    if args.summary:
        print("SUMMARY panel=%s solver=%s per2pi=%s draws=%s avg=%.2f/%d worst=%+.4f(%s) time=%.1fs"
              " missed=%s" % (
                  args.panel, args.solver, args.per2pi, ",".join(str(c) for c in per_draw),
                  sum(per_draw) / max(1, args.draws), n, worst[0],
                  (worst[1] or "-").replace(" draw ", ":d"), total_time,
                  " ".join(misses) if misses else "none"))
    return 0 if failures == 0 else 1


def calibrate(args, runner, case):
    print("calibration of the Monte Carlo error of the mean distance: panel %s, solver %s,"
          " PER 2PI %s" % (args.panel, args.solver, args.per2pi))
    print(describe(case))
    idx = case_index(case)
    err_runs = []   # (seed, mc mean match, mc sd match)
    for j in range(args.calib_err_draws):
        seed0 = seed_for(args.seed, 0, idx) + 3000 * j
        truth, res, out, dt = runner.fit(case, "%s_err%d" % (case["name"], j), seed0, mode="err")
        print("mode err, seed %d: %.1f s" % (seed0, dt))
        m1, m2 = MC_MEAN_RE.search(out), MC_SD_RE.search(out)
        err_runs.append((seed0, m1, m2))
        if "failed" in res:
            print("  err run FAILED: %s" % res["failed"])
        else:
            print("  fitted mean %.4f A (truth %.4f), sd %.4f A (truth %.4f)" % (
                res["mean"], truth.mean, res["sd"], truth.sd))
        if m1:
            print("  program: MC mean distance %s +- %s A" % m1.groups())
        else:
            print("  program printed no 'MC mean distance' line")
        if m2:
            print("  program: MC distance sd %s +- %s A" % m2.groups())
    mc_mean = err_runs[0][1]
    mc_sd = err_runs[0][2]
    means, sds = [], []
    nd = args.calib_draws
    t_all = 0.0
    for k in range(nd):
        seed = seed_for(args.seed, k + 1, idx) + 500
        truth, res, _, dt = runner.fit(case, "%s_cal%d" % (case["name"], k), seed)
        t_all += dt
        if "failed" in res:
            print("  draw %d (seed %d) FAILED: %s" % (k, seed, res["failed"]))
            continue
        means.append(res["mean"])
        sds.append(res["sd"])
    print("mode fit, %d fresh draws: %.1f s" % (nd, t_all))
    if len(means) < 2:
        print("  too few successful fits")
        return 1
    spread = statistics.stdev(means)
    rms = math.sqrt(sum((m - truth.mean) ** 2 for m in means) / len(means))
    print("  recovered mean: average %.4f A (truth %.4f), sd over draws %.4f A, rms error %.4f A" % (
        statistics.mean(means), truth.mean, spread, rms))
    print("  recovered sd:   average %.4f A (truth %.4f), sd over draws %.4f A" % (
        statistics.mean(sds), truth.sd, statistics.stdev(sds)))
    if mc_mean:
        y = float(mc_mean.group(2))
        print("  ratio MC spread / true spread of the mean: %.3f (%.4f / %.4f)" % (
            y / spread if spread > 0 else float("inf"), y, spread))
        print("  ratio MC spread / rms error of the mean:   %.3f" % (y / rms if rms > 0 else float("inf")))
        ys = [float(m1.group(2)) for _, m1, _ in err_runs if m1]
        if len(ys) > 1:
            print("  ratios of the %d err runs (seeds %s): %s" % (
                len(ys), ",".join(str(sd) for sd, m1, _ in err_runs if m1),
                " ".join("%.3f" % (v / spread) for v in ys)))
    else:
        print("  ratio: n/a (no MC mean distance line)")
    if mc_sd:
        y = float(mc_sd.group(2))
        s = statistics.stdev(sds)
        print("  ratio MC spread / true spread of the sd:   %.3f (%.4f / %.4f)" % (
            y / s if s > 0 else float("inf"), y, s))
    if args.summary:
        ys = [float(m1.group(2)) for _, m1, _ in err_runs if m1]
        print("CALIB panel=%s solver=%s case=%s true_spread=%.4f rms=%.4f avg_mean=%.4f"
              " mc_sd=%s ratio=%s" % (
                  args.panel, args.solver, case["name"], spread, rms, statistics.mean(means),
                  ",".join("%.4f" % v for v in ys) or "n/a",
                  ",".join("%.3f" % (v / spread) for v in ys) or "n/a"))
    return 0


def main():
    ap = argparse.ArgumentParser(description="Recover known distance distributions with redordist.",
                                 formatter_class=argparse.RawDescriptionHelpFormatter,
                                 epilog="cases: " + ", ".join(c["name"] for c in CASES))
    ap.add_argument("--solver", default="annealing",
                    help="solver name; --solver NAME is passed to redordist unless it is 'annealing'")
    ap.add_argument("--draws", type=int, default=3, help="noise draws per case (default 3)")
    ap.add_argument("--per2pi", type=int, default=100, help="PER 2PI (default 100; 0 = exact kernel)")
    ap.add_argument("--grain", type=float, default=0.05, help="GRAIN in Angstrom (default 0.05)")
    ap.add_argument("--bin", default=os.path.join(ROOT, "build", "redordist"), help="redordist binary")
    ap.add_argument("--synth", default=None, help="synth_redor binary (default beside --bin)")
    ap.add_argument("--keep", default=None, metavar="DIR", help="work in DIR and keep it")
    ap.add_argument("--cases", default=None, help="comma-separated subset of the panel")
    ap.add_argument("--seed", type=int, default=1, help="base of the noise seeds (default 1)")
    ap.add_argument("--threads", type=int, default=1, help="OMP_NUM_THREADS of each run (default 1)")
    ap.add_argument("--timeout", type=float, default=900, help="seconds per run (default 900)")
    ap.add_argument("--calibrate", default=None, metavar="CASE", help="calibrate the MC error on CASE")
    ap.add_argument("--calib-draws", type=int, default=20, help="fresh draws of --calibrate (default 20)")
    ap.add_argument("--calib-err-draws", type=int, default=1,
                    help="err runs of --calibrate, each on its own noise draw (default 1)")
    ap.add_argument("--panel", default="short", choices=PANELS,
                    help="short: the rotor-cycle ranges above (default); long: longer dephasing,"
                    " lambda_D about 1.5 at the truth's mean")
    ap.add_argument("--summary", action="store_true",
                    help="end with one line: SUMMARY (panel) or CALIB (--calibrate)")
    ap.add_argument("--min-stdev2", type=float, default=None,
                    help="MIN STDEV2 of the err runs (default that of examples/fit.par)")
    ap.add_argument("--list", action="store_true", help="list the panel and stop")
    args = ap.parse_args()

    all_cases = panel_cases(args.panel)
    if args.list:
        for c in all_cases:
            print(describe(c))
        return 0
    byname = {c["name"]: c for c in all_cases}
    if args.calibrate is not None and args.calibrate not in byname:
        sys.exit("validate.py: unknown case %s (one of %s)" % (args.calibrate, ", ".join(byname)))
    if args.calib_err_draws < 1:
        sys.exit("validate.py: --calib-err-draws must be at least 1")
    cases = all_cases
    if args.cases:
        names = [s.strip() for s in args.cases.split(",") if s.strip()]
        bad = [s for s in names if s not in byname]
        if bad:
            sys.exit("validate.py: unknown case(s) %s (one of %s)" % (", ".join(bad), ", ".join(byname)))
        cases = [byname[s] for s in names]
    if args.draws < 1:
        sys.exit("validate.py: --draws must be at least 1")
    runner = Runner(args)
    try:
        if args.calibrate is not None:
            return calibrate(args, runner, byname[args.calibrate])
        return panel(args, runner, cases)
    finally:
        runner.cleanup()


if __name__ == "__main__":
    sys.exit(main())
