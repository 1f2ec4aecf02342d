#!/usr/bin/python3
"""Are redordist's claims right on random synthetic truths that nobody picked?

Each draw is a random truth (narrow or broad Gaussian, two or three
Gaussians, skewed, flat band), nuclei pair (13C-15N, 13C-31P, 15N-31P,
19F-13C, 19F-31P, 1H-13C), MAS 5-60 kHz, 10-30 points evenly spaced or denser
early, dephasing that stops before the exact curve's first minimum or runs
well past it, noise 0.5-5 % of S0, a dephasable share 0.6-1.0 told as
SCALING right or (a third of the draws) wrong by 0.05-0.25; NEAR 1 A below
the truth, FAR 1.5-2 A above it (bench/panel_draw.py). The data come from the
independent generator build/bench/synth_redor. Every solver fits it in mode
fit (maxent and gaussians also with --fit-scaling) and, on the first
--err-draws draws, in mode err; bench/panel_judge.py judges each run's
claims, with an independent one-Gaussian profile (bench/panel_profile.py)
telling which warnings on right answers the data justify.

  bench/random_panel.py                 # seed from the git commit, 300 fit / 100 err draws
  bench/random_panel.py --seed 12345    # repeat a panel
  bench/random_panel.py --quick         # 20 fit / 6 err draws, a sanity check
Needs numpy and scipy (Debian: apt-get install python3-numpy python3-scipy).
Writes bench/measured/random_panel_SEED.md and .jsonl (one line per draw).
"""
import argparse
import collections
import concurrent.futures
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import types

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import panel_draw  # noqa: E402
import panel_judge  # noqa: E402
import panel_profile  # noqa: E402
import validate  # noqa: E402  (KEYS, the annealing schedule of examples/fit.par)

# name, solver, mode, --fit-scaling
CONFIGS = [("annealing fit", "annealing", "fit", False), ("maxent fit", "maxent", "fit", False),
           ("gaussians fit", "gaussians", "fit", False),
           ("maxent fit --fit-scaling", "maxent", "fit", True),
           ("gaussians fit --fit-scaling", "gaussians", "fit", True),
           ("annealing err", "annealing", "err", False), ("maxent err", "maxent", "err", False),
           ("gaussians err", "gaussians", "err", False)]


def commit_seed():
    r = subprocess.run(["git", "rev-parse", "HEAD"], cwd=ROOT, capture_output=True, text=True)
    return (int(r.stdout.strip()[:8], 16) if r.returncode == 0 else 1), r.stdout.strip()[:12]


def write_par(folder, draw_, near, far, mode, out):
    v = dict(validate.example_schedule())
    v.update({"MODE": mode, "LAMBDA_D": "none", "XYDATA": "data.dat", "DISTDIST": "none",
              "PATH": "runs/", "OUTPUT": out, "XN": draw_["xn"], "YN": draw_["yn"], "NEAR": "%.1f" % near,
              "FAR": "%.1f" % far, "GRAIN": "%g" % panel_draw.GRAIN, "PER 2PI": "0", "MID PULSE": "0",
              "MAS": "%g" % draw_["mas"], "SCALING": "%.2f" % draw_["scaling"], "LAST POINT": "0",
              "PER MC BLOCK": "20", "MAX MC BLOCKS": "5", "MIN STDEV2": "1e-12",
              "MAX MC CHI2": "%g" % max(80, 4 * len(draw_["nc"]))})
    path = os.path.join(folder, out + ".par")
    with open(path, "w") as f:
        f.writelines("%s: %s\n" % (k, v[k]) for k in validate.KEYS)
    return path


def run_one(args, env, folder, draw_, near, far, config):
    name, solver, mode, fs = config
    out = name.replace(" --fit-scaling", "_fs").replace(" ", "_")
    par = write_par(folder, draw_, near, far, mode, out)
    cmd = [args.bin, "--solver", solver, os.path.basename(par)] + (["--fit-scaling"] if fs else [])
    t0 = time.monotonic()
    try:
        r = subprocess.run(cmd, cwd=folder, env=env, capture_output=True, text=True, timeout=args.timeout)
        status, tail = r.returncode, (r.stdout + r.stderr).strip().splitlines()[-1:]
    except subprocess.TimeoutExpired:
        status, tail = "timeout", []
    dt = time.monotonic() - t0
    try:
        with open(os.path.join(folder, "runs", out, out + ".json")) as f:
            summary = json.load(f)
    except (OSError, ValueError):
        summary = None
    return status, tail, summary, dt


def one_draw(args, index):
    draw_ = panel_draw.draw(args.seed, index)
    folder = os.path.join(args.work, "d%04d" % index)
    os.makedirs(os.path.join(folder, "runs"), exist_ok=True)
    data, truth, near, far = panel_draw.make(args.synth, draw_, folder)
    nc, y, sig = panel_draw.read_data(data)
    prof = panel_profile.profile(nc, y, sig, draw_["d"], draw_["mas"], near, far, draw_["scaling"])
    env = dict(args.env, GSL_RNG_SEED=str(draw_["noise_seed"]))
    rec = dict(draw_, seed=args.seed, commit=args.commit, near=near, far=far, truth=dict(mean=truth.mean, sd=truth.sd, reff=truth.reff,
                                                       peaks=truth.peaks, band=truth.band),
               profile=prof, runs={})
    for config in CONFIGS:
        name, solver, mode, fs = config
        if name not in args.configs or (mode == "err" and index >= args.err_draws.get(solver, 0)) or \
                (fs and index >= args.fs_draws[solver]):
            continue
        status, tail, summary, dt = run_one(args, env, folder, draw_, near, far, config)
        res = dict(status=status, seconds=round(dt, 2))
        if status != 0 or summary is None or not (summary.get("distance") or {}).get("mean") is not None:
            res.update(failed=True, tail=tail)
        else:
            res.update(panel_judge.judge(summary, truth, prof, draw_, fs))
            res["coverage"] = panel_judge.coverage(summary, truth, draw_)
            res["numbers"] = panel_judge.numbers(summary)
        rec["runs"][name] = res
    if not args.keep:
        shutil.rmtree(folder, ignore_errors=True)
    return rec


def tally(records, name):
    t = collections.Counter()
    cov = collections.defaultdict(lambda: [0, 0])
    wrong_q, unwarned_q, silent = collections.Counter(), collections.Counter(), []
    for rec in records:
        res = rec["runs"].get(name)
        if res is None:
            continue
        t["draws"] += 1
        if res.get("failed"):
            t["failed"] += 1
            continue
        t["right"] += not res["wrong"]
        t["silent"] += res["silent"]
        t["unwarned"] += bool(res["unwarned"])
        t["justified"] += len(res["justified"])
        t["unjustified"] += len(res["unjustified"])
        t["reff3"] += res["right"]["reff"]
        wrong_q.update(res["wrong"])
        unwarned_q.update(res["unwarned"])
        for k, inside in res["coverage"].items():
            for v in inside if isinstance(inside, list) else [inside]:  # a peak's: one per peak
                cov[k][0] += v
                cov[k][1] += 1
        if res["silent"]:
            silent.append((rec, res))
    return t, cov, wrong_q, unwarned_q, silent


def by_group(records, names):
    """Runs with a wrong claim / runs (of them silent), by family, by whether
    SCALING was told right and by whether the dephasing passed the curve's
    first minimum."""
    groups = collections.OrderedDict()
    for rec in records:
        for g in (rec["family"], "SCALING told wrong" if rec["told_wrong"] else "SCALING told right",
                  "past the first minimum" if rec["past_first_min"] else "stops before it"):
            groups.setdefault(g, []).append(rec)
    out = ["", "Runs with a wrong claim / runs (silent wrong in brackets):", "",
           "| group | " + " | ".join(names) + " |", "|---" * (len(names) + 1) + "|"]
    for g in sorted(groups, key=lambda k: (k.startswith(("SCALING", "past", "stops")), k)):
        cells = []
        for name in names:
            rs = [rec["runs"][name] for rec in groups[g] if name in rec["runs"] and not rec["runs"][name].get("failed")]
            cells.append("%d/%d (%d)" % (sum(bool(r["wrong"]) for r in rs), len(rs), sum(r["silent"] for r in rs)))
        out.append("| %s | %s |" % (g, " | ".join(cells)))
    return out


def traps(records, names):
    """The effective distance's median error by family (SCALING told right),
    flat bands shown as two or more supported peaks, and the draws with
    SCALING told wrong whose runs warn on SCALING."""
    fams = sorted({rec["family"] for rec in records})
    out = ["", "Median error of r_eff in % (SCALING told right) [draws beyond 3 %]; flat bands with 2 or more"
           " supported peaks; SCALING told wrong: runs that warn on SCALING:", "",
           "| solver and mode | " + " | ".join(fams) + " | flat, 2+ peaks | told wrong, SCALING warned |",
           "|---" * (len(fams) + 3) + "|"]
    for name in names:
        cells = []
        for fam in fams:
            errs = sorted(100 * (r["values"]["reff"] / rec["truth"]["reff"] - 1) for rec in records
                          if rec["family"] == fam and not rec["told_wrong"]
                          for r in [rec["runs"].get(name)] if r and not r.get("failed"))
            cells.append("%+.1f [%d/%d]" % (errs[len(errs) // 2], sum(abs(e) > 3 for e in errs), len(errs))
                         if errs else "-")
        flat = [r for rec in records if rec["family"] == "flat" for r in [rec["runs"].get(name)] if r and not r.get("failed")]
        told = [r for rec in records if rec["told_wrong"] for r in [rec["runs"].get(name)] if r and not r.get("failed")]
        cells.append("%d/%d" % (sum(len(r["supported"]) >= 2 for r in flat), len(flat)))
        cells.append("%d/%d" % (sum("scaling" in r["warned"] for r in told), len(told)))
        out.append("| %s | %s |" % (name, " | ".join(cells)))
    return out


def fmt_cov(cov):
    return "; ".join("%s %d/%d" % (k, a, n) for k, (a, n) in sorted(cov.items())) or "none given"


def describe(rec):
    tr = rec["truth"]
    return ("draw %d %s %s, MAS %.1f kHz, %d points to N_c %d (lambda_D %.2f at the mean), noise %.3f, "
            "share %.2f told %.2f, grid %.1f-%.1f; truth mean %.3f sd %.3f r_eff %.3f peaks %s (%s)" % (
                rec["index"], rec["family"], rec["pair"], rec["mas"] / 1000, len(rec["nc"]), rec["nc"][-1],
                rec["lam_end"], rec["noise"], rec["share"], rec["scaling"], rec["near"], rec["far"], tr["mean"],
                tr["sd"], tr["reff"], ",".join("%.2f" % p for p in tr["peaks"]), " ".join(rec["dist"])))


def report(records, args, commit):
    lines = ["# Random panel, seed %d (commit %s)" % (args.seed, commit), "",
             "| solver and mode | draws | failed | every claim right | silent wrong | wrong, no warning on"
             " that quantity | warnings on right answers: justified | unjustified | r_eff within 3 % |"
             " coverage of the intervals given |", "|---|---|---|---|---|---|---|---|---|---|"]
    detail, silent_all = [], []
    for name in [c[0] for c in CONFIGS if c[0] in args.configs]:
        t, cov, wrong_q, unwarned_q, silent = tally(records, name)
        if not t["draws"]:
            continue
        ok = t["draws"] - t["failed"]
        lines.append("| %s | %d | %d | %d | %d | %d | %d | %d | %d of %d | %s |" % (
            name, t["draws"], t["failed"], t["right"], t["silent"], t["unwarned"], t["justified"],
            t["unjustified"], t["reff3"], ok, fmt_cov(cov)))
        detail.append("| %s | %s | %s |" % (name, ", ".join("%s %d" % kv for kv in sorted(wrong_q.items())) or "-",
                                            ", ".join("%s %d" % kv for kv in sorted(unwarned_q.items())) or "-"))
        if " err" not in name:  # mode err claims what mode fit claims on the same draw
            silent_all += [(name, rec, res) for rec, res in silent]
    right = [rec for rec in records if not rec["told_wrong"]]
    lines += ["", "Coverage of the intervals given, SCALING told right (%d draws): a wrong SCALING biases every"
              " number beyond any noise, and a warning says so" % len(right), "",
              "| solver and mode | coverage |", "|---|---|"]
    lines += ["| %s | %s |" % (name, fmt_cov(tally(right, name)[1])) for name in [c[0] for c in CONFIGS if " err" in c[0]
                                                                                  and c[0] in args.configs]]
    lines += ["", "| solver and mode | wrong claims by quantity | of which no warning on that quantity |",
              "|---|---|---|"] + detail
    fits = [c[0] for c in CONFIGS if c[0] in args.configs and "err" not in c[0]]
    lines += by_group(records, fits) + traps(records, fits)
    fam = collections.Counter(rec["family"] for _, rec, _ in silent_all)
    lines += ["", "Silent wrong runs in mode fit (%d; by family: %s; mode err makes the same fit and claims):" % (
        len(silent_all), ", ".join("%s %d" % kv for kv in sorted(fam.items())) or "none"), ""]
    for name, rec, res in silent_all:
        v = res["values"]
        lines.append("- %s: %s; wrong %s (mean %.3f, sd %.3f, r_eff %.3f, supported peaks %s%s)" % (
            name, describe(rec), ",".join(res["wrong"]), v["mean"], v["sd"], v["reff"],
            ",".join("%.2f" % p for p in res["supported"]) or "none",
            ", SCALING %.3f" % v["scaling"] if "fit-scaling" in name else ""))
    return "\n".join(lines) + "\n"


def reprofile(rec, synth):
    """The draw's data made again and profiled by the present judge."""
    with tempfile.TemporaryDirectory(prefix="redor_reprofile_") as folder:
        data, _, near, far = panel_draw.make(synth, rec, folder)
        nc, y, sig = panel_draw.read_data(data)
        return panel_profile.profile(nc, y, sig, rec["d"], rec["mas"], near, far, rec["scaling"])


def load(path, synth=None):
    """Saved draws; the runs of a draw saved in several parts are merged.
    With synth, each draw's profile is made again (a changed judge)."""
    by_index = {}
    for line in open(path):
        rec = json.loads(line)
        old = by_index.setdefault(rec["index"], rec)
        if old is not rec:
            old["runs"].update(rec["runs"])
    records = [by_index[i] for i in sorted(by_index)]
    for rec in records:  # judged again with the present classification of warnings
        if synth:
            rec["profile"] = reprofile(rec, synth)
        truth = types.SimpleNamespace(peaks=rec["truth"]["peaks"], band=rec["truth"]["band"])
        for name, res in rec["runs"].items():
            if res.get("failed"):
                continue
            res["all_peaks_right"] = len(res["peaks"]) == len(truth.peaks) and panel_judge.match_peaks(res["peaks"], truth)
            res["scaling_told_right"] = "fit-scaling" in name or rec["scaling"] == round(rec["share"], 2)
            tv = {q: rec["truth"][q] for q in ("reff", "mean", "sd")}
            if synth:
                res["open"] = panel_judge.openness(rec["profile"], dict(tv, scaling=rec["share"]),
                                                   "fit-scaling" in name, res["warnings"])
            panel_judge.open_trapped(res["open"], res["warnings"], rec["profile"], tv)
            panel_judge.verdicts(res)
    return records


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--seed", type=int, default=None, help="panel seed (default: from the git commit)")
    ap.add_argument("--draws", type=int, default=300, help="draws fitted in mode fit (default 300)")
    ap.add_argument("--fs-draws", type=int, default=None, help="draws with --fit-scaling (default --draws)")
    ap.add_argument("--fs-draws-gaussians", type=int, default=None, help="the same for the Gaussians")
    ap.add_argument("--err-draws", type=int, default=100, help="draws also run in mode err (default 100)")
    ap.add_argument("--err-draws-annealing", type=int, default=None, help="the same for the annealing")
    ap.add_argument("--quick", action="store_true", help="20 fit and 6 err draws")
    ap.add_argument("--configs", default=",".join(c[0] for c in CONFIGS), help="comma-separated run kinds")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--bin", default=os.path.join(ROOT, "build", "redordist"))
    ap.add_argument("--synth", default=os.path.join(ROOT, "build", "bench", "synth_redor"))
    ap.add_argument("--timeout", type=float, default=900)
    ap.add_argument("--keep", default=None, metavar="DIR", help="keep every draw's files here")
    ap.add_argument("--out", default=os.path.join(HERE, "measured"), help="folder of the table and JSON lines")
    ap.add_argument("--report", default=None, metavar="JSONL", help="print the tables of saved draws and stop")
    ap.add_argument("--reprofile", action="store_true",
                    help="with --report: make each draw's data again and profile it with the present judge")
    ap.add_argument("--first", type=int, default=0,
                    help="start at this draw and add to the saved draws (a panel run in parts)")
    args = ap.parse_args()
    if args.report:
        records = load(args.report, args.synth if args.reprofile else None)
        args.seed, args.configs = records[0].get("seed", 0) if records else 0, [c[0] for c in CONFIGS]
        print(report(records, args, records[0].get("commit", "?") if records else "?"))
        return 0
    os.nice(10)
    panel_profile.check_closed_form()
    commit_s, commit = commit_seed()
    args.seed = commit_s if args.seed is None else args.seed
    args.commit = commit
    if args.quick:
        args.draws, args.err_draws = 20, 6
    fs = args.draws if args.fs_draws is None else min(args.fs_draws, args.draws)
    args.fs_draws = {"maxent": fs, "gaussians": fs if args.fs_draws_gaussians is None else
                     min(args.fs_draws_gaussians, args.draws)}
    ea = args.err_draws if args.err_draws_annealing is None else args.err_draws_annealing
    args.err_draws = {"annealing": min(ea, args.draws), "maxent": min(args.err_draws, args.draws),
                      "gaussians": min(args.err_draws, args.draws)}
    args.configs = set(args.configs.split(","))
    args.bin, args.synth = os.path.abspath(args.bin), os.path.abspath(args.synth)
    for exe in (args.bin, args.synth):
        if not os.access(exe, os.X_OK):
            sys.exit("random_panel.py: %s is not an executable (build redordist and synth_redor first)" % exe)
    args.work = os.path.abspath(args.keep) if args.keep else tempfile.mkdtemp(prefix="redor_panel_")
    os.makedirs(os.path.join(args.work, "bin"), exist_ok=True)
    with open(os.path.join(args.work, "bin", "gnuplot"), "w") as f:
        f.write("#!/bin/sh\nexit 0\n")
    os.chmod(os.path.join(args.work, "bin", "gnuplot"), 0o755)
    args.env = dict(os.environ, OMP_NUM_THREADS="1",
                    PATH=os.path.join(args.work, "bin") + os.pathsep + os.environ.get("PATH", ""))
    print("random panel: seed %d (commit %s), %d fit draws, --fit-scaling draws %s, err draws %s, %d jobs" % (
        args.seed, commit or "?", args.draws, args.fs_draws, args.err_draws, args.jobs), flush=True)
    t0 = time.monotonic()
    os.makedirs(args.out, exist_ok=True)
    base = os.path.join(args.out, "random_panel_%d%s" % (args.seed, "_quick" if args.quick else ""))
    done = 0
    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as ex, \
                open(base + ".jsonl", "a" if args.first else "w") as jl:
            for rec in ex.map(lambda i: one_draw(args, i), range(args.first, args.draws)):
                done += 1
                jl.write(json.dumps(rec, default=lambda o: o.item() if hasattr(o, "item") else str(o)) + "\n")
                jl.flush()
                if done % 10 == 0:
                    print("  %d draws, %.0f s" % (done, time.monotonic() - t0), flush=True)
    finally:
        if not args.keep:
            shutil.rmtree(args.work, ignore_errors=True)
    text = report(load(base + ".jsonl"), args, commit)
    text += "\nWall time %.0f s on %d jobs.\n" % (time.monotonic() - t0, args.jobs)
    with open(base + ".md", "w") as f:
        f.write(text)
    print(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
