#!/usr/bin/python3
"""Studies: speed of a batch and of a shared fit, and what sharing buys.

All data come from the independent generator build/bench/synth_redor
(13C-15N, Gaussian truths, noise as a fraction of S0); maxent with the
exact powder average (PER 2PI 0) fits every curve (--solver gaussians: the
Gaussians instead).

  bench/study_bench.py speed      # 100 curves of 17 points, and a shared fit of 3
  bench/study_bench.py share      # one truth seen as three curves, over fresh noise
  bench/study_bench.py share --fit-scaling   # each told SCALING 1, fitted by curve
  bench/study_bench.py batch      # 20 different truths in one study
  bench/study_bench.py trap       # a truth beyond every curve's dephasing cycle, SCALING told wrong
  bench/study_bench.py labels     # random truths as three curves of random shares, every one told 1
  bench/study_bench.py all

speed: wall time of `redordist --study` with 2 threads, with a stub gnuplot
(the program's own work) and, when installed, the real one.
share: a Gaussian at 3.6 A (sd 0.2) measured at MAS 5, 10 and 20 kHz with
different N_c grids and dephasable shares 1.0, 0.9, 0.8 (told as each curve's
SCALING); over fresh noise, the scatter of the shared fit's effective distance
against that of each curve alone, and how often a pair of different truths
(3.0 and 4.0 A) is flagged as not shared and a pair of the same truth is not.
With --fit-scaling every curve is told SCALING 1.0 and the study runs with
--fit-scaling: the shared fit fits each curve's SCALING, reported beside the
true shares (mean and sd over the draws, and how often the reported range
holds the truth).
batch: each of 20 random truths against its own effective distance.
trap: a Gaussian at 4.2 A (sd 0.3), 80 % dephasable, seen at 10 and 20 kHz
up to N_c 200 and 400 (the curves' first minimum reached only up to 3.32 A),
told SCALING 1 (wrong) and 0.8 (right): how often the shared fit names the
lower common SCALING, and whether its mean and sd, when wrong, are starred.
labels: a random Gaussian (centre 2.8-4.4 A, sd 0.05-0.35) as the three curves
of share, each with a random dephasable share 0.6-1.0, all told SCALING 1:
how often the warning that the curves do not share one distribution adds
that their SCALINGs differ, and whether the SCALINGs it fits stand in the
true shares' ratios (within 0.03); against three curves of three different
truths (centres 0.4 A or more apart), told their true shares, where it must
not add it.
Writes nothing in the tree; prints a Markdown table.
"""
import argparse
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
BUILD = os.environ.get("REDORDIST_BUILD", os.path.join(ROOT, "build"))
EXE = os.path.join(BUILD, "redordist")
SYNTH = os.path.join(BUILD, "bench", "synth_redor")

PAR = """MODE: fit
XYDATA: unused.dat
PATH: ./
OUTPUT: {out}
XN: C13
YN: N15
NEAR: {near}
FAR: {far}
GRAIN: 0.05
PER 2PI: 0
MID PULSE: 0
MAS: 5000
SCALING: 1.0
"""


def synth(folder, centre, sd, mas, nc, fraction, seed, noise=0.015):
    """(rows of (n_c, s0, s, s_s0, error), the truth's effective distance)."""
    out, truth = os.path.join(folder, "c.dat"), os.path.join(folder, "c.truth")
    subprocess.run([SYNTH, "--pair", "CN", "--mas", str(mas), "--nc", nc, "--comp", "1:%g:%g" % (centre, sd),
                    "--noise", str(noise), "--seed", str(seed), "--fraction", str(fraction), "--out", out,
                    "--truth", truth, "--quiet"], check=True, capture_output=True)
    rows = [l.split()[:5] for l in open(out) if l.strip() and not l.startswith("#")]
    m6 = tot = 0.0
    for line in open(truth):
        if line.startswith("#"):
            continue
        r, p = map(float, line.split()[:2])
        m6, tot = m6 + p / r ** 6, tot + p
    return rows, (m6 / tot) ** (-1.0 / 6.0)


def write_study(folder, curves, near=2.0, far=6.0, out="st"):
    """curves: (name, mas, scaling, rows). Writes p.par and s.csv."""
    with open(os.path.join(folder, "p.par"), "w") as f:
        f.write(PAR.format(out=out, near=near, far=far))
        if SOLVER == "annealing":  # the bundled example's schedule
            lines = open(os.path.join(ROOT, "examples", "fit.par")).read().split("NTRIES:", 1)[1]
            f.write("NTRIES:" + lines)
    with open(os.path.join(folder, "s.csv"), "w") as f:
        f.write("curve,mas,scaling,n_c,s0,s,s_s0,error\n")
        for name, mas, scaling, rows in curves:
            for r in rows:
                f.write("%s,%g,%g,%s\n" % (name, mas, scaling, ",".join(r)))


SOLVER = "maxent"
FIT_SCALING = False


def run_study(folder, shared=False, gnuplot_stub=True, threads=2):
    env = dict(os.environ, OMP_NUM_THREADS=str(threads))
    if gnuplot_stub:
        stub = os.path.join(folder, "bin")
        os.makedirs(stub, exist_ok=True)
        with open(os.path.join(stub, "gnuplot"), "w") as f:
            f.write("#!/bin/sh\nexit 0\n")
        os.chmod(os.path.join(stub, "gnuplot"), 0o755)
        env["PATH"] = stub + os.pathsep + env["PATH"]
    cmd = [EXE, "p.par", "--solver", SOLVER, "--study", "s.csv"] + (["--shared"] if shared else [])
    cmd += ["--fit-scaling"] if FIT_SCALING else []
    t = time.perf_counter()
    p = subprocess.run(cmd, cwd=folder, env=env, capture_output=True, text=True)
    wall = time.perf_counter() - t
    j = json.load(open(os.path.join(folder, "st-study.json")))
    return wall, p.returncode, j


def effective(dist):
    m6 = tot = 0.0
    for row in dist:
        m6, tot = m6 + row["fraction"] / row["distance"] ** 6, tot + row["fraction"]
    return (m6 / tot) ** (-1.0 / 6.0)


def fresh(tmp, name):
    d = os.path.join(tmp, name)
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)
    return d


def speed(tmp):
    rng = random.Random(100)
    d = fresh(tmp, "speed")
    curves = []
    for i in range(100):
        rows, _ = synth(d, rng.uniform(2.8, 4.2), rng.uniform(0.05, 0.3), 5000, "0:4:64", 1.0, 1000 + i)
        curves.append(("c%03d" % i, 5000, 1.0, rows))
    write_study(d, curves)
    print("| study | gnuplot | wall (s) | status |\n|---|---|---|---|")
    for stub in (True, False):
        if not stub and shutil.which("gnuplot") is None:
            continue
        wall, rc, _ = run_study(d, gnuplot_stub=stub)
        print("| 100 curves x 17 points, maxent, exact kernel, 2 threads | %s | %.2f | %d |"
              % ("stub" if stub else "real", wall, rc))
    d = fresh(tmp, "speed3")
    curves = [("m%d" % mas, mas, f, synth(d, 3.6, 0.2, mas, nc, f, 7 + i)[0])
              for i, (mas, nc, f) in enumerate(THREE)]
    write_study(d, curves)
    single, _, _ = run_study(d)
    both, rc, _ = run_study(d, shared=True)
    print("| 3 curves, separate fits | stub | %.2f | |" % single)
    print("| 3 curves, separate fits and the shared fit | stub | %.2f | %d |" % (both, rc))


# MAS (Hz), N_c grid, dephasable share of the three curves of one truth.
THREE = [(5000, "0:4:64", 1.0), (10000, "0:8:160", 0.9), (20000, "0:16:256", 0.8)]


def share(tmp, draws):
    alone = [[] for _ in THREE]
    shared, truth_eff = [], None
    flagged_same = flagged_diff = trapped = 0
    fitted, rounds, held_factor, held_fixed, ran_out = [], [], 0, 0, []
    widths_alone, together, mid_alone = [[] for _ in THREE], [], [[] for _ in THREE]
    for k in range(draws):
        d = fresh(tmp, "share")
        curves = []
        for i, (mas, nc, f) in enumerate(THREE):
            rows, truth_eff = synth(d, 3.6, 0.2, mas, nc, f, 5000 + 10 * k + i)
            curves.append(("m%d" % mas, mas, 1.0 if FIT_SCALING else f, rows))
        write_study(d, curves)
        _, rc, j = run_study(d, shared=True)
        for i, c in enumerate(j["curves"]):
            alone[i].append(c["effective"])
            widths_alone[i].append((c["width_allowed_lo"], c["width_allowed_hi"]))
            own = json.load(open(os.path.join(d, c["run_directory"], c["curve"] + ".json")))
            mid_alone[i].append(0.5 * sum(own["distance"]["effective_allowed"]))
        shared.append(effective(j["shared"]["distribution"]))
        t = j["shared"].get("together")
        if t:
            together.append(t)
        if FIT_SCALING:
            fitted.append([c["scaling"] for c in j["shared"]["curves"]])
            lo, hi = j["shared"]["scaling_factor_allowed"]
            held_factor += all(lo * c["scaling"] <= f <= hi * c["scaling"]
                               for c, (_, _, f) in zip(j["shared"]["curves"], THREE))
            held_fixed += sum(c["scaling_allowed"][0] <= f <= c["scaling_allowed"][1]
                              for c, (_, _, f) in zip(j["shared"]["curves"], THREE))
            rounds.append(j["shared"]["rounds"])
            if "rounds_last_gain" in j["shared"]:
                ran_out.append((k, j["shared"]["rounds_last_gain"], "rounds_warning" in j["shared"]))
        flagged_same += j["shared"]["warning"] is not None
        trapped += "scaling_trap" in j["shared"]
        # Two different truths at the same MAS: 3.0 and 4.0 Angstrom.
        d = fresh(tmp, "diff")
        two = [("a", 10000, 1.0, synth(d, 3.0, 0.15, 10000, "0:8:160", 1.0, 7000 + k)[0]),
               ("b", 10000, 1.0, synth(d, 4.0, 0.15, 10000, "0:8:160", 1.0, 8000 + k)[0])]
        write_study(d, two)
        _, _, j = run_study(d, shared=True)
        flagged_diff += j["shared"]["warning"] is not None
    sd_shared = statistics.stdev(shared)
    print("\nOne truth (Gaussian 3.6 A, sd 0.2; r_eff %.4f A) as three curves, %d noise draws:\n" % (truth_eff, draws))
    print("| fit | mean r_eff (A) | sd over draws (A) | sd ratio shared / alone |\n|---|---|---|---|")
    for i, (mas, nc, f) in enumerate(THREE):
        sd = statistics.stdev(alone[i])
        print("| alone: MAS %d Hz, N_c %s, share %.1f | %.4f | %.4f | %.2f |"
              % (mas, nc, f, statistics.mean(alone[i]), sd, sd_shared / sd))
    print("| shared | %.4f | %.4f | |" % (statistics.mean(shared), sd_shared))
    print("\nNot shared flagged: same truth %d of %d, different truths (3.0 / 4.0 A) %d of %d"
          % (flagged_same, draws, flagged_diff, draws))
    print("\nShared mass beyond every curve's cycle weighed against a lower common SCALING (the SCALING trap): "
          "same truth %d of %d" % (trapped, draws))
    print("\nWidths of the single Gaussians allowed (chi2 within 4; truth 0.2 A), mean ends over the draws:\n")
    print("| fit | widths allowed (A) | holds 0.2 | width within a factor 3 |\n|---|---|---|---|")
    for i, (mas, nc, f) in enumerate(THREE):
        w = widths_alone[i]
        print("| alone: MAS %d Hz | %.3f to %.3f | %d of %d | %d of %d |"
              % (mas, statistics.mean(a for a, _ in w), statistics.mean(b for _, b in w),
                 sum(a <= 0.2 <= b for a, b in w), len(w), sum(b <= 3 * a for a, b in w), len(w)))
    if together:
        w = [t["width_allowed"] for t in together]
        print("| together | %.3f to %.3f | %d of %d | %d of %d |"
              % (statistics.mean(a for a, _ in w), statistics.mean(b for _, b in w),
                 sum(a <= 0.2 <= b for a, b in w), len(w), sum(t["width_determined"] for t in together), len(w)))
        held = sum(t["effective_allowed"][0] - 0.005 <= truth_eff <= t["effective_allowed"][1] + 0.005 for t in together)
        ok = sum(abs(t["effective_distance"] / truth_eff - 1) <= 0.03 for t in together)
        flagged = sum(not t["effective_determined"] for t in together)
        wrong_silent = sum(abs(t["effective_distance"] / truth_eff - 1) > 0.03 and t["effective_determined"]
                           for t in together)
        mids = [0.5 * sum(t["effective_allowed"]) for t in together]
        print("\nThe middle of that range scatters by %.4f A over the draws: %.2f, %.2f, %.2f of each curve's r_eff "
              "alone; %.2f, %.2f, %.2f of the middle of each curve's own range (its single Gaussians alone)"
              % (statistics.stdev(mids), *(statistics.stdev(mids) / statistics.stdev(a) for a in alone),
                 *(statistics.stdev(mids) / statistics.stdev(a) for a in mid_alone)))
        print("\nTogether: the single Gaussians' effective distances (chi2 within 1) hold the truth %d of %d; the "
              "shared fit's r_eff within 3 %% %d of %d, starred %d, wrong by more than 3 %% and not starred %d"
              % (held, len(together), ok, len(together), flagged, wrong_silent))
    if FIT_SCALING:
        print("\nSCALING told 1.0, fitted by curve in the shared fit (%d draws; rounds %d to %d):\n"
              % (draws, min(rounds), max(rounds)))
        print("| curve | true share | mean fitted | sd | mean fitted / first curve's |\n|---|---|---|---|---|")
        for i, (mas, nc, f) in enumerate(THREE):
            col = [s[i] for s in fitted]
            print("| MAS %d Hz, N_c %s | %.2f | %.4f | %.4f | %.4f |" % (mas, nc, f, statistics.mean(col),
                  statistics.stdev(col), statistics.mean(s[i] / s[0] for s in fitted)))
        print("\nTruth inside the reported ranges: every curve within its common factor's range (distribution "
              "refitted) %d of %d draws; within its range at the shared distribution %d of %d curves"
              % (held_factor, draws, held_fixed, 3 * draws))
        print("\nThe rounds ran out in %d of %d draws (draw, the last round's fall, warned): %s"
              % (len(ran_out), draws, ", ".join("%d %.2g %s" % (k, g, "yes" if w else "no") for k, g, w in ran_out)))


def batch(tmp):
    rng = random.Random(20)
    d = fresh(tmp, "batch")
    curves, truths = [], []
    for i in range(20):
        rows, eff = synth(d, rng.uniform(2.6, 4.4), rng.uniform(0.05, 0.3), 5000, "0:4:96", 1.0, 900 + i)
        curves.append(("t%02d" % i, 5000, 1.0, rows))
        truths.append(eff)
    write_study(d, curves)
    _, rc, j = run_study(d)
    errs = [abs(c["effective"] / t - 1.0) for c, t in zip(j["curves"], truths)]
    print("\nBatch of 20 random truths (status %d): r_eff within 3 %% on %d of 20, largest error %.1f %%"
          % (rc, sum(e <= 0.03 for e in errs), 100 * max(errs)))


def trap(tmp, draws):
    print("\nGaussian 4.2 A, sd 0.3, 80 %% dephasable, two curves (10 kHz N_c to 200, 20 kHz to 400), %d draws:\n"
          % draws)
    print("| told SCALING | trap named | factor allows 0.8 | mean wrong by > 0.1 A | of those starred "
          "| sd wrong by > 0.1 A | of those starred |\n|---|---|---|---|---|---|---|")
    for told in (1.0, 0.8):
        named = allows = mean_wrong = mean_starred = sd_wrong = sd_starred = 0
        for k in range(draws):
            d = fresh(tmp, "trap")
            curves = [("a", 10000, told, synth(d, 4.2, 0.3, 10000, "0:8:200", 0.8, 9000 + 2 * k, 0.01)[0]),
                      ("b", 20000, told, synth(d, 4.2, 0.3, 20000, "0:16:400", 0.8, 9001 + 2 * k, 0.01)[0])]
            write_study(d, curves, far=9.5)
            _, _, j = run_study(d, shared=True)
            sh = j["shared"]
            t = sh.get("scaling_trap")
            named += t is not None
            allows += t is not None and t["factor_allowed_lo"] * told <= 0.8 + 1e-9
            tg = sh.get("together", {})
            if tg and abs(tg["mean"] - 4.2) > 0.1:
                mean_wrong += 1
                mean_starred += not (tg["one_gaussian_fits"] and tg["mean_determined"])
            if tg and abs(tg["sd"] - 0.3) > 0.1:
                sd_wrong += 1
                sd_starred += not (tg["one_gaussian_fits"] and tg["sd_determined"])
        print("| %.1f | %d | %d | %d | %d | %d | %d |" % (told, named, allows, mean_wrong, mean_starred, sd_wrong,
                                                         sd_starred))


def labels(tmp, draws):
    rng = random.Random(4242)
    said = ratios_right = same_warned = diff_warned = diff_said = 0
    worst = 0.0
    for k in range(draws):
        d = fresh(tmp, "labels")
        centre, sd = rng.uniform(2.8, 4.4), rng.uniform(0.05, 0.35)
        shares = [rng.uniform(0.6, 1.0) for _ in THREE]
        curves = [("m%d" % mas, mas, 1.0, synth(d, centre, sd, mas, nc, f, 6000 + 10 * k + i)[0])
                  for i, ((mas, nc, _), f) in enumerate(zip(THREE, shares))]
        write_study(d, curves)
        _, _, j = run_study(d, shared=True)
        sh = j["shared"]
        same_warned += sh["warning"] is not None
        own = sh.get("own_scaling")
        if own and own["shares"]:
            said += 1
            err = max(abs(own["scaling"][i] / own["scaling"][0] - shares[i] / shares[0]) for i in range(3))
            worst = max(worst, err)
            ratios_right += err <= 0.03
        d = fresh(tmp, "labels-diff")
        centres = [2.8 + rng.uniform(0.0, 0.2) + 0.5 * i for i in range(3)]
        rng.shuffle(centres)
        shares = [rng.uniform(0.6, 1.0) for _ in THREE]
        curves = [("m%d" % mas, mas, f, synth(d, c, rng.uniform(0.05, 0.35), mas, nc, f, 6500 + 10 * k + i)[0])
                  for i, ((mas, nc, _), f, c) in enumerate(zip(THREE, shares, centres))]
        write_study(d, curves)
        _, _, j = run_study(d, shared=True)
        sh = j["shared"]
        diff_warned += sh["warning"] is not None
        diff_said += bool(sh.get("own_scaling", {}).get("shares"))
    print("\nOne random Gaussian as three curves of random shares 0.6-1.0, all told SCALING 1 (%d draws): not "
          "shared %d; their own SCALINGs said %d, in the true ratios within 0.03 %d (largest miss %.3f)"
          % (draws, same_warned, said, ratios_right, worst))
    print("Three different truths (0.5 A apart), told their shares (%d draws): not shared %d; own SCALINGs said %d"
          % (draws, diff_warned, diff_said))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("what", choices=["speed", "share", "batch", "trap", "labels", "all"])
    ap.add_argument("--draws", type=int, default=20, help="noise draws of the share panel")
    ap.add_argument("--solver", choices=["maxent", "gaussians", "annealing"], default="maxent")
    ap.add_argument("--fit-scaling", action="store_true", help="tell SCALING 1.0 and fit it by curve")
    a = ap.parse_args()
    global SOLVER, FIT_SCALING
    SOLVER, FIT_SCALING = a.solver, a.fit_scaling
    print("solver:", SOLVER, "(SCALING fitted by curve)" if FIT_SCALING else "")
    for exe in (EXE, SYNTH):
        if not os.access(exe, os.X_OK):
            sys.exit("build first: %s is missing" % exe)
    with tempfile.TemporaryDirectory(prefix="study-bench-") as tmp:
        if a.what in ("speed", "all"):
            speed(tmp)
        if a.what in ("share", "all"):
            share(tmp, a.draws)
        if a.what in ("batch", "all"):
            batch(tmp)
        if a.what in ("trap", "all"):
            trap(tmp, a.draws)
        if a.what in ("labels", "all"):
            labels(tmp, a.draws)


if __name__ == "__main__":
    main()
