#!/usr/bin/env python3
"""Does redordist say what the data determine, and only that?

A panel of known distance distributions (narrow at short, medium and long
range, broad, two populations, skewed, partial labelling with SCALING told
right and told wrong, dephasing that stops early; 13C-15N, 13C-31P,
15N-31P, 19F-13C and 19F-31P), three noise draws each, made by the
independent generator build/bench/synth_redor (exact powder average) and
fitted in mode fit with the exact kernel (PER 2PI 0) by each solver.

What the program claims, read from its summary OUTPUT.json:
  * the mean distance and the effective distance <r^-6>^(-1/6);
  * the sd, unless it is marked not determined (distance.sd_determined);
  * the peaks it marks as supported (distance.peaks), and for two of them
    the share below the truth's midpoint (from OUTPUT.me).
A draw is RECOVERED when every claim is right:
  * |mean - true mean| <= max(0.05 A, 1 % of the true mean);
  * |r_eff - true r_eff| <= 3 % of the true r_eff;
  * an sd claimed: |sd - true sd| <= max(0.05 A, 0.3 true sd);
  * as many supported peaks as the truth has; with two, the share below the
    truth's midpoint within 0.15 of the truth's.
Otherwise it is WRONG. Every "warning:" line of the run counts as a warning.
For each solver the script counts: recovered draws, wrong draws without any
warning, and recovered draws with a warning (false alarms). Targets: at most
1 in 14 draws wrong without a warning; warnings on at most 1 in 5 recovered
draws.

--calibrate CASE: for each solver one run in mode err (20 x 5 Monte Carlo
runs or bootstrap replicates) whose "Effective distance: X +- Y" gives the
program's spread Y of r_eff, then --calib-draws fresh draws in mode fit whose
r_eff scatter is the true spread; prints Y / true spread (target 0.7-1.4).

Examples:
  bench/validate_determined.py                       # the panel, three solvers
  bench/validate_determined.py --solvers maxent --cases cp_long_narrow
  bench/validate_determined.py --calibrate cn_broad
Python 3 standard library only; runs two fits at a time (--jobs).
"""
import argparse
import concurrent.futures
import json
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
sys.path.insert(0, HERE)
import validate  # noqa: E402  (Truth, read_me, KEYS, the annealing schedule)

NUCLEI = {"CN": ("C13", "N15"), "CP": ("C13", "P31"), "NP": ("N15", "P31"),
          "FC": ("F19", "C13"), "FP": ("F19", "P31")}

# name, pair, MAS (Hz), N_c start:step:end, noise (of S0), distribution for
# synth_redor, NEAR, FAR, dephasable fraction, SCALING told, true peaks,
# split (midpoint between two populations).
CASES = [
    dict(name="cn_short_narrow", pair="CN", mas=10000, nc="0:8:192", noise=0.02,
         dist=["--comp", "1:2.6:0.05"], near=1.8, far=3.8, peaks=1,
         about="2.6 A sd 0.05; lambda_D 1.67 at 2.6 A"),
    dict(name="cn_medium_narrow", pair="CN", mas=5000, nc="0:8:256", noise=0.015,
         dist=["--comp", "1:3.8:0.05"], near=2.8, far=5.2, peaks=1,
         about="3.8 A sd 0.05; lambda_D 1.43"),
    dict(name="fc_medium_narrow", pair="FC", mas=12000, nc="0:8:200", noise=0.02,
         dist=["--comp", "1:5.5:0.08"], near=4.3, far=7.0, peaks=1,
         about="5.5 A sd 0.08; lambda_D 1.42"),
    dict(name="cp_long_narrow", pair="CP", mas=8000, nc="0:16:384", noise=0.02,
         dist=["--comp", "1:7.0:0.05"], near=5.5, far=9.0, peaks=1,
         about="7.0 A sd 0.05; lambda_D 0.86: the width is not in the data"),
    dict(name="cn_broad", pair="CN", mas=5000, nc="0:4:96", noise=0.02,
         dist=["--comp", "1:3.6:0.35"], near=2.2, far=5.4, peaks=1,
         about="3.6 A sd 0.35; lambda_D 1.26 at 3.6 A"),
    dict(name="fp_broad", pair="FP", mas=12000, nc="0:16:480", noise=0.02,
         dist=["--comp", "1:9.0:0.6"], near=6.8, far=12.0, peaks=1,
         about="9.0 A sd 0.6; lambda_D 1.26 at 9.0 A"),
    dict(name="cp_bimodal", pair="CP", mas=10000, nc="0:8:256", noise=0.01,
         dist=["--comp", "0.5:4.2:0.1", "--comp", "0.5:5.7:0.1"], near=3.4, far=7.0, peaks=2,
         split=4.95, about="50 % 4.2 + 50 % 5.7 A, sd 0.1"),
    dict(name="cn_bimodal", pair="CN", mas=5000, nc="0:8:192", noise=0.015,
         dist=["--comp", "0.6:2.9:0.1", "--comp", "0.4:3.9:0.1"], near=2.2, far=5.0, peaks=2,
         split=3.4, about="60 % 2.9 + 40 % 3.9 A, sd 0.1"),
    dict(name="cn_skew", pair="CN", mas=5000, nc="0:8:192", noise=0.02,
         dist=["--skew", "3.1:0.45:4"], near=2.3, far=5.2, peaks=1,
         about="skew-normal 3.1 A, scale 0.45, shape 4 (tail outwards)"),
    dict(name="cp_partial_told", pair="CP", mas=10000, nc="0:8:256", noise=0.015,
         dist=["--comp", "1:4.6:0.15"], near=3.6, far=6.2, fraction=0.75, scaling=0.75, peaks=1,
         about="4.6 A sd 0.15, 75 % labelled, SCALING 0.75 told"),
    dict(name="cp_partial_untold", pair="CP", mas=10000, nc="0:8:256", noise=0.015,
         dist=["--comp", "1:4.6:0.15"], near=3.6, far=7.5, fraction=0.75, scaling=1.0, peaks=1,
         about="the same data, SCALING 1 told"),
    dict(name="np_stops_early", pair="NP", mas=10000, nc="0:8:200", noise=0.015,
         dist=["--comp", "1:5.0:0.2"], near=3.8, far=6.5, peaks=1,
         about="5.0 A sd 0.2; lambda_D 0.39: S/S0 stops near 0.45"),
]
SOLVERS = ("annealing", "maxent", "gaussians")

MEAN_TOL, MEAN_REL = 0.05, 0.01
REFF_REL = 0.03
SD_TOL_ABS, SD_TOL_REL = 0.05, 0.3
POP_TOL = 0.15
EFF_RE = re.compile(r"Effective distance:\s*([-+0-9.eE]+)(?:\s*\+-\s*([-+0-9.eE]+))?")


def truth_reff(t):
    m6 = sum(m * r ** -6 for r, m in t.grid) + sum(m * r ** -6 for r, m in t.points)
    tot = sum(m for _, m in t.grid) + sum(m for _, m in t.points)
    return (m6 / tot) ** (-1.0 / 6.0)


class Runner:
    def __init__(self, args):
        self.args = args
        self.synth = args.synth or os.path.join(ROOT, "build", "bench", "synth_redor")
        for exe in (args.bin, self.synth):
            if not os.access(exe, os.X_OK):
                sys.exit("validate_determined.py: %s is not an executable (build first)" % exe)
        self.work = os.path.abspath(args.keep) if args.keep else tempfile.mkdtemp(prefix="redor_det_")
        os.makedirs(os.path.join(self.work, "bin"), exist_ok=True)
        gp = os.path.join(self.work, "bin", "gnuplot")
        with open(gp, "w") as f:
            f.write("#!/bin/sh\nexit 0\n")
        os.chmod(gp, 0o755)
        self.env = dict(os.environ)
        self.env["PATH"] = os.path.join(self.work, "bin") + os.pathsep + self.env.get("PATH", "")
        self.env["OMP_NUM_THREADS"] = "1"
        self.sched = validate.example_schedule()

    def cleanup(self):
        if not self.args.keep:
            shutil.rmtree(self.work, ignore_errors=True)

    def data(self, case, tag, seed):
        d = os.path.join(self.work, tag)
        os.makedirs(os.path.join(d, "runs"), exist_ok=True)
        cmd = [self.synth, "--pair", case["pair"], "--mas", str(case["mas"]), "--nc", case["nc"],
               "--noise", str(case["noise"]), "--seed", str(seed), "--fraction",
               str(case.get("fraction", 1.0)), "--out", os.path.join(d, "data.dat"), "--truth",
               os.path.join(d, "truth.txt"), "--quiet"] + case["dist"]
        r = subprocess.run(cmd, capture_output=True, text=True)
        if r.returncode != 0:
            sys.exit("synth_redor failed: %s\n%s" % (" ".join(cmd), r.stderr))
        return d, validate.Truth(os.path.join(d, "truth.txt"))

    def par(self, case, d, mode, out):
        v = dict(self.sched)
        n = validate.nc_count(case["nc"])
        xn, yn = NUCLEI[case["pair"]]
        v.update({"MODE": mode, "LAMBDA_D": "none", "XYDATA": "data.dat", "DISTDIST": "none",
                  "PATH": "runs/", "OUTPUT": out, "XN": xn, "YN": yn,
                  "NEAR": "%g" % case["near"], "FAR": "%g" % case["far"], "GRAIN": "0.05",
                  "PER 2PI": "0", "MID PULSE": "0", "MAS": "%g" % case["mas"],
                  "SCALING": "%g" % case.get("scaling", 1.0), "LAST POINT": "0",
                  "PER MC BLOCK": "20", "MAX MC BLOCKS": "5", "MIN STDEV2": "0.0001",
                  "MAX MC CHI2": "%g" % max(80, 4 * n)})
        path = os.path.join(d, out + ".par")
        with open(path, "w") as f:
            for k in validate.KEYS:
                f.write("%s: %s\n" % (k, v[k]))
        return path

    def run(self, case, d, solver, mode, seed):
        out = "%s_%s" % (solver, mode)
        par = self.par(case, d, mode, out)
        cmd = [os.path.abspath(self.args.bin), "--solver", solver, os.path.basename(par)]
        if self.args.fit_scaling and solver != "annealing":
            cmd.append("--fit-scaling")
        env = dict(self.env)
        env["GSL_RNG_SEED"] = str(seed)
        t0 = time.monotonic()
        r = subprocess.run(cmd, cwd=d, env=env, capture_output=True, text=True, timeout=self.args.timeout)
        dt = time.monotonic() - t0
        base = os.path.join(d, "runs", out, out)
        try:
            with open(base + ".json") as f:
                summary = json.load(f)
            rs, ps = validate.read_me(base + ".me")
        except (OSError, ValueError):
            return None, r.stdout, dt
        return (summary, rs, ps), r.stdout, dt


def judge(case, truth, summary, rs, ps):
    """missed: the claims that are wrong (a sd or mean marked not determined
    is no claim; only the supported peaks are claimed). raw: the numbers that
    are wrong, marks ignored (all peaks counted)."""
    dist = summary.get("distance") or {}
    res = dict(mean=dist.get("mean"), sd=dist.get("sd"), reff=dist.get("effective"),
               sd_det=dist.get("sd_determined", True), mean_det=dist.get("mean_determined", True),
               warnings=summary.get("warnings", []), missed=[], raw=[])
    if res["mean"] is None:
        res["missed"].append("failed")
        return res
    treff = truth_reff(truth)
    res["treff"] = treff
    peaks = dist.get("peaks", [])
    supported = [p for p in peaks if p.get("supported")]
    res["peaks"] = "%d/%d" % (len(supported), len(peaks))
    wrong = {
        "mean": abs(res["mean"] - truth.mean) > max(MEAN_TOL, MEAN_REL * truth.mean),
        "reff": res["reff"] is None or abs(res["reff"] - treff) > REFF_REL * treff,
        "sd": abs(res["sd"] - truth.sd) > max(SD_TOL_ABS, SD_TOL_REL * truth.sd),
    }
    claimed = {"mean": res["mean_det"], "reff": True, "sd": res["sd_det"]}
    for q in ("mean", "reff", "sd"):
        if wrong[q]:
            res["raw"].append(q)
            if claimed[q]:
                res["missed"].append(q)
    if len(peaks) != case["peaks"]:
        res["raw"].append("peaks")
    if len(supported) != case["peaks"]:
        res["missed"].append("peaks")
    elif "split" in case:
        tot = sum(ps)
        lo = sum(p for r, p in zip(rs, ps) if r < case["split"]) / tot
        if abs(lo - truth.below(case["split"])) > POP_TOL:
            res["missed"].append("pop")
            res["raw"].append("pop")
    return res


def short_warning(w):
    for key, tag in (("position of the peak", "peakpos"), ("not determined by these data:", "width"), ("do not support", "peaks"),
                     ("does not explain", "fit"), ("far below", "chi2low"),
                     ("grid distances", "edge"), ("beyond the longest", "beyond"),
                     ("FAR", "far"), ("the Gaussian", "comp")):
        if key in w:
            return tag
    return "other"


def one(runner, case, k, solver):
    seed = 1 + 1000 * k + 7 * [c["name"] for c in CASES].index(case["name"])
    tag = "%s_d%d_%s" % (case["name"], k, solver)
    d, truth = runner.data(case, tag, seed)
    got, out, dt = runner.run(case, d, solver, "fit", seed)
    if got is None:
        return case, k, solver, seed, truth, dict(missed=["failed"], raw=["failed"], warnings=[], mean=None), dt
    res = judge(case, truth, *got)
    if runner.args.fit_scaling and solver != "annealing" and "fraction" in case:
        # The +- of the fitted SCALING comes with mode err.
        err, _, dt_err = runner.run(case, d, solver, "err", seed)
        dt += dt_err
        if err is not None and "scaling_sd" in err[0]:
            res["scaling"] = (err[0]["scaling"], err[0]["scaling_sd"], err[0]["scaling_allowed"])
    return case, k, solver, seed, truth, res, dt


def print_scaling(results):
    """Fitted SCALING against the dephasable fraction the data were made with."""
    rows = [r for r in results if "scaling" in r[5]]
    if not rows:
        return
    print("\nfitted SCALING (mode err, --fit-scaling) against the true dephasable fraction:")
    print("  %-18s %4s %-9s %7s %7s %7s %15s %6s %s" % ("case", "draw", "solver", "true", "fitted", "+-",
                                                       "allowed (d4)", "|z|", "recovered"))
    for case, k, solver, seed, truth, res, dt in rows:
        s, sd, allowed = res["scaling"]
        z = abs(s - case["fraction"]) / sd if sd > 0 else float("inf")
        print("  %-18s %4d %-9s %7.3f %7.4f %7.4f %7.3f-%-7.3f %6.2f %s" % (
            case["name"], k, solver, case["fraction"], s, sd, allowed[0], allowed[1], z,
            "yes" if not res["raw"] else "no (%s)" % ",".join(res["raw"])))


def oracle(runner, case):
    """Whether the data of the case can determine the sd and the mean at all:
    the noiseless curve with the case's errors, fitted by maxent; the width
    is open when the single Gaussians within chi2 + 4 of the best have sds
    (or means) farther from the truth's than the recovery tolerance allows."""
    d, truth = runner.data(dict(case, noise=0.0), case["name"] + "_oracle", 1)
    path = os.path.join(d, "data.dat")
    with open(path) as f:
        lines = f.readlines()
    with open(path, "w") as f:
        for line in lines:
            w = line.split()
            if w and not w[0].startswith("#"):
                w[4] = "%.8f" % case["noise"]
                line = " ".join(w) + "\n"
            f.write(line)
    got, _, _ = runner.run(case, d, "maxent", "fit", 1)
    dist = got[0]["distance"] if got else {}
    if "sd_allowed" not in dist or not dist.get("one_gaussian_describes", True):
        return dict(sd_open=False, mean_open=False)

    def far(v, lo, hi, tol):
        return abs(v - lo) > tol(lo) or abs(v - hi) > tol(hi)
    return dict(sd_open=far(truth.sd, *dist["sd_allowed"], lambda x: max(SD_TOL_ABS, SD_TOL_REL * x)),
                mean_open=far(truth.mean, *dist["mean_allowed"], lambda x: max(MEAN_TOL, MEAN_REL * x)))


def honest(warning, open_case):
    """A width warning where the data cannot determine the width or the mean."""
    return "not determined by these data:" in warning and (open_case["sd_open"] or open_case["mean_open"])


def print_draw(case, k, truth, res, open_case):
    tags = ",".join(short_warning(w) for w in res["warnings"]) or "-"
    miss = ",".join(res["missed"])
    if res.get("raw") and res["raw"] != res["missed"]:
        miss += " (numbers: %s)" % ",".join(res["raw"])
    if res.get("mean") is None:
        print("  %-18s %4d FAILED" % (case["name"], k))
        return
    print("  %-18s %4d %7.3f%s %7.3f %7.3f %7.3f %6.3f%s %7.3f %6s %4s %3s  %s%s" % (
        case["name"], k, res["mean"], " " if res["mean_det"] else "?", truth.mean, res["reff"],
        res["treff"], res["sd"], " " if res["sd_det"] else "?", truth.sd, res["peaks"],
        "open" if open_case["sd_open"] or open_case["mean_open"] else "-",
        "yes" if not res["missed"] else "no", tags, (" / missed " + miss) if miss else ""))


def panel(args, runner, cases, solvers):
    jobs = [(c, k, s) for s in solvers for c in cases for k in range(args.draws)]
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as ex:
        opens = dict(zip([c["name"] for c in cases], ex.map(lambda c: oracle(runner, c), cases)))
        results = list(ex.map(lambda j: one(runner, *j), jobs))
    total = sum(r[-1] for r in results)
    table = {}
    for s in solvers:
        print("\nsolver %s" % s)
        print("  %-18s %4s %8s %7s %7s %7s %7s %7s %6s %4s %3s  %s" % (
            "case", "draw", "mean", "t_mean", "reff", "t_reff", "sd", "t_sd", "peaks", "open", "ok",
            "warnings / missed (? after mean or sd: marked not determined)"))
        n = right = claims = silent = warned_right = false_alarm = 0
        for case, k, solver, seed, truth, res, dt in results:
            if solver != s:
                continue
            print_draw(case, k, truth, res, opens[case["name"]])
            ok, raw_ok, warned = not res["missed"], not res.get("raw"), bool(res["warnings"])
            n += 1
            claims += ok
            right += raw_ok
            silent += (not ok) and not warned
            warned_right += raw_ok and warned
            false_alarm += raw_ok and any(not honest(w, opens[case["name"]]) for w in res["warnings"])
        table[s] = (n, right, claims, silent, warned_right, false_alarm)
    print("\n| solver | draws | every number right | every claim right | wrong without a warning |"
          " right with a warning | of which false alarms |")
    print("|---|---|---|---|---|---|---|")
    for s, (n, right, claims, silent, warned_right, false_alarm) in table.items():
        print("| %s | %d | %d | %d | %d (target <= %d) | %d | %d (target <= %d) |" % (
            s, n, right, claims, silent, n // 14, warned_right, false_alarm, right // 5))
    print("\nopen (the noiseless data allow Gaussians whose sd or mean miss the truth's by more than"
          " the tolerance): %s" % (", ".join(n for n, o in opens.items() if o["sd_open"] or o["mean_open"])
                                   or "none"))
    print_scaling(results)
    print("run time of the fits: %.1f s (summed over %d jobs)" % (total, args.jobs))
    return 0


def calibrate(args, runner, case, solvers):
    print("calibration of the err +- of the effective distance on %s (%s)" % (case["name"], case["about"]))
    idx = [c["name"] for c in CASES].index(case["name"])
    for s in solvers:
        seed0 = 5000 + 7 * idx

        def err_draw(j):
            d, _ = runner.data(case, "%s_cal_err%d_%s" % (case["name"], j, s), seed0 + 100 * j)
            _, out, _ = runner.run(case, d, s, "err", seed0 + 100 * j)
            m = EFF_RE.search(out)
            return float(m.group(2)) if m and m.group(2) else None

        def fit_draw(k):
            seed = seed0 + 1 + k
            dd, _ = runner.data(case, "%s_cal%d_%s" % (case["name"], k, s), seed)
            g, out, _ = runner.run(case, dd, s, "fit", seed)
            if not g or not g[0].get("distance"):
                print("  %s: fit of seed %d failed: %s" % (s, seed, (out.strip().splitlines() or [""])[-1]))
                return None
            return g[0]["distance"]["effective"]

        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as ex:
            ys = [y for y in ex.map(err_draw, range(args.calib_err_draws)) if y is not None]
            effs = [e for e in ex.map(fit_draw, range(args.calib_draws)) if e is not None]
        if not ys or len(effs) < 2:
            print("  %s: too few runs" % s)
            continue
        spread = statistics.stdev(effs)
        # A few fits put a little mass at short distances, which r^-6 weighs
        # heavily: the robust spread (1.4826 median absolute deviation) is
        # that of the bulk of the fits.
        med = statistics.median(effs)
        robust = 1.4826 * statistics.median([abs(e - med) for e in effs])
        truth = runner.data(case, "%s_cal_truth" % case["name"], seed0)[1]
        y = statistics.mean(ys)
        print("  %s: err +- %s A (%d err runs); %d fresh fits: r_eff %.4f A (truth %.4f), sd %.4f, robust"
              " %.4f; ratio %.2f to the sd (%s), %.2f to the robust spread" % (
                  s, " ".join("%.4f" % v for v in ys), len(ys), len(effs), statistics.mean(effs),
                  truth_reff(truth), spread, robust, y / spread, " ".join("%.2f" % (v / spread) for v in ys),
                  y / robust))
    return 0


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bin", default=os.path.join(ROOT, "build", "redordist"))
    ap.add_argument("--synth", default=None)
    ap.add_argument("--solvers", default=",".join(SOLVERS))
    ap.add_argument("--cases", default=None)
    ap.add_argument("--draws", type=int, default=3)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--timeout", type=float, default=600)
    ap.add_argument("--keep", default=None, metavar="DIR")
    ap.add_argument("--calibrate", default=None, metavar="CASE")
    ap.add_argument("--calib-draws", type=int, default=30, help="fresh fits of --calibrate (default 30)")
    ap.add_argument("--calib-err-draws", type=int, default=3,
                    help="err runs of --calibrate, each on its own noise draw (default 3)")
    ap.add_argument("--list", action="store_true")
    ap.add_argument("--fit-scaling", action="store_true",
                    help="fit SCALING with the distribution (maxent, gaussians); partial-labelling "
                         "cases also run in mode err for the +- of the fitted SCALING")
    args = ap.parse_args()
    byname = {c["name"]: c for c in CASES}
    if args.list:
        for c in CASES:
            print("%-18s %s %s" % (c["name"], c["pair"], c["about"]))
        return 0
    cases = [byname[n] for n in args.cases.split(",")] if args.cases else CASES
    solvers = args.solvers.split(",")
    runner = Runner(args)
    try:
        if args.calibrate:
            return calibrate(args, runner, byname[args.calibrate], solvers)
        return panel(args, runner, cases, solvers)
    finally:
        runner.cleanup()


if __name__ == "__main__":
    sys.exit(main())
