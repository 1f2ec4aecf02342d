"""Judging one run of the random panel by its claims (bench/random_panel.py).

A claim is a number the run presents as determined: the effective distance
(always), the mean and the sd (unless marked not determined), each peak it
marks as supported, and a fitted SCALING (--fit-scaling). Tolerances:
  effective distance within 3 %; mean within max(0.1 A, 3 %); sd within
  max(0.05 A, 30 %); a supported peak within 0.15 A of a peak of the truth
  (of a flat band: inside the band, and one peak only), no two supported
  peaks on the same true peak; fitted SCALING within 0.05 of the share.
Warnings are sorted by the quantity they speak of, from their text.
"""
from panel_profile import is_open

QUANTITIES = ("reff", "mean", "sd", "peaks", "scaling")
PEAK_TOL, SCALING_TOL = 0.15, 0.05


def tolerance(q, v):
    return {"reff": 0.03 * v, "mean": max(0.1, 0.03 * v), "sd": max(0.05, 0.3 * v), "scaling": SCALING_TOL}[q]


def is_trap(w):
    """The SCALING trap's warning: mass beyond one dephasing cycle, or another SCALING."""
    return "of the mass beyond" in w or ("SCALING" in w and "with a peak at" in w)


def open_trapped(open_, warnings, prof, tv):
    """Where a warning names the SCALING trap, a quantity is open also when
    the profile with SCALING free leaves it open."""
    if any(is_trap(w) for w in warnings):
        for q in ("reff", "mean", "sd"):
            open_[q] = open_[q] or is_open(prof["free"]["ranges"][q], tv[q], tolerance(q, tv[q]))


def classify(w):
    """The quantities a warning speaks of; 'fit' for the fit as a whole,
    'grid' for FAR alone, 'data' for the data file."""
    q = set()
    if "effective distance is not determined" in w:
        q.add("reff")
    elif "position of the peak" in w:
        q.add("peaks")
    elif "not determined by these data:" in w:
        q |= {"sd"} if "width is" in w else {"mean"} if "mean distance is" in w else {"sd", "mean"}
    elif "disagree" in w and "with what these data allow" in w:
        q |= {"sd", "mean"} if "sd and mean" in w else {"sd"} if "reported sd " in w else {"mean"}
    elif "reported effective distance" in w:
        q.add("reff")
    elif "do not support" in w or "default model's taper" in w:
        q.add("peaks")
    elif "enters the mean and the sd" in w:
        q |= {"mean", "sd"} | ({"reff"} if "lies at NEAR" in w else set())
    elif is_trap(w):
        q |= {"scaling", "mean", "sd", "peaks"}
    elif "widest width allowed" in w:
        q.add("sd")
    elif "is centred at" in w:
        q |= {"peaks", "mean"}
    elif "lies on the first two" in w or "lies beyond the longest" in w:
        q |= {"reff", "mean", "sd", "peaks"}
    elif "data allow SCALING" in w:
        q |= {"scaling", "mean", "sd"}
    elif "does not explain" in w or "far above what" in w or "no weight alpha" in w or "far below" in w:
        q.add("fit")
    elif w.startswith("warning: FAR"):
        q.add("grid")
    elif "XYDATA" in w:
        q.add("data")
    else:
        q.add("other")
    # A warning on a distance or a peak that names the SCALINGs of other fits
    # says nothing of the fitted SCALING.
    if "SCALING" in w and not ({"reff", "peaks"} & q and "the solver's fits at SCALING" in w):
        q.add("scaling")
    return q


def match_peaks(supported, truth):
    """Whether every supported peak stands on its own true peak."""
    if truth.band:
        lo, hi = truth.band
        return len(supported) <= 1 and all(lo - PEAK_TOL <= p <= hi + PEAK_TOL for p in supported)
    free = list(truth.peaks)
    for p in supported:
        near = [t for t in free if abs(t - p) <= PEAK_TOL]
        if not near:
            return False
        free.remove(min(near, key=lambda t: abs(t - p)))
    return True


def judge(summary, truth, prof, draw_, fit_scaling):
    """right: each number within tolerance; claimed: presented as determined;
    wrong: claimed and not right; warned: quantities some warning speaks of;
    justified / unjustified: warnings on right answers, by whether the
    one-Gaussian profile shows the quantity not fixed."""
    dist = summary.get("distance") or {}
    tv = dict(reff=truth.reff, mean=truth.mean, sd=truth.sd, scaling=draw_["share"])
    got = dict(reff=dist.get("effective"), mean=dist.get("mean"), sd=dist.get("sd"), scaling=summary.get("scaling"))
    peaks = dist.get("peaks") or []
    supported = [p["position"] for p in peaks if p.get("supported")]
    right = {q: got[q] is not None and abs(got[q] - tv[q]) <= tolerance(q, tv[q]) for q in ("reff", "mean", "sd", "scaling")}
    right["peaks"] = match_peaks(supported, truth)
    all_peaks_right = len(peaks) == len(truth.peaks) and match_peaks([p["position"] for p in peaks], truth)
    claimed = dict(reff=dist.get("effective_determined", True), mean=dist.get("mean_determined", True), sd=dist.get("sd_determined", True),
                   peaks=bool(supported), scaling=fit_scaling)
    open_ = openness(prof, tv, fit_scaling, summary.get("warnings", []))
    allowed = {k: dist.get(k) for k in ("effective_allowed", "mean_allowed", "sd_allowed", "width_allowed")}
    res = dict(values={q: got[q] for q in got}, allowed=allowed, supported=supported, peaks=[p["position"] for p in peaks],
               right=right, all_peaks_right=all_peaks_right, claimed=claimed, warnings=summary.get("warnings", []),
               open=open_, scaling_told_right=fit_scaling or draw_["scaling"] == round(draw_["share"], 2))
    return verdicts(res)


def openness(prof, tv, fit_scaling, warnings):
    """Which quantities the independent profile leaves open (tv: the truth's values)."""
    p = prof["free" if fit_scaling else "fixed"]
    open_ = {q: is_open(p["ranges"][q], tv[q], tolerance(q, tv[q])) for q in ("reff", "mean", "sd")}
    # A run that says SCALING is caught in its trap (these data cannot tell a
    # SCALING below 1 from mass beyond one dephasing cycle) claims nothing at
    # the told SCALING alone: its warnings are judged by the profile with
    # SCALING free as well.
    open_trapped(open_, warnings, prof, tv)
    open_["scaling"] = is_open(prof["free"]["ranges"]["scaling"], tv["scaling"], SCALING_TOL)
    open_["peaks"] = p["p"] >= 0.05  # one Gaussian explains the data: more peaks are not fixed
    return open_


def verdicts(res):
    """From the numbers' rightness, the claims and the warnings: what is
    wrong, silent, unwarned, and the warnings on right answers."""
    right, warnings = res["right"], res["warnings"]
    warned = set().union(*[classify(w) for w in warnings]) if warnings else set()
    wrong = [q for q in QUANTITIES if res["claimed"][q] and not right[q]]
    on_right = [q for q in QUANTITIES if q in warned and (res["all_peaks_right"] if q == "peaks" else right[q])]
    on_right = [q for q in on_right if q != "scaling" or res["scaling_told_right"]]
    res.update(wrong=wrong, warned=sorted(warned), silent=bool(wrong) and not warnings,
               unwarned=[q for q in wrong if q not in warned],
               justified=[q for q in on_right if res["open"][q]],
               unjustified=[q for q in on_right if not res["open"][q]])
    return res


INTERVALS = (("mean", "mean_p025", "mean_p975"), ("sd", "sd_p025", "sd_p975"),
             ("reff", "effective_p025", "effective_p975"))
PLUS_MINUS = (("mean", "mean", "mean_mc_sd"), ("sd", "sd", "sd_mc_sd"), ("reff", "effective", "effective_sd"))


INTERVALS95 = (("mean", "mean_interval"), ("sd", "sd_interval"), ("reff", "effective_interval"))


def true_shares(truth):
    """The share of the truth between the minima that separate its peaks
    (on cells of GRAIN, as its peaks are found)."""
    import numpy as np
    from panel_draw import GRAIN
    edges = np.arange(truth.r[0] - GRAIN, truth.r[-1] + 2 * GRAIN, GRAIN)
    h, _ = np.histogram(truth.r, edges, weights=truth.m)
    centres = 0.5 * (edges[1:] + edges[:-1])
    top = [int(np.argmin(abs(centres - p))) for p in truth.peaks]
    bounds = [0] + [a + int(np.argmin(h[a:b + 1])) for a, b in zip(top, top[1:])] + [len(h)]
    return [float(h[a:b].sum()) for a, b in zip(bounds, bounds[1:])]


def peak_coverage(dist, truth, cov):
    """Each reported peak's 95 % intervals of position and share against its
    true peak, where the run finds as many peaks as the truth has (matched in
    order; a flat band has no peak position)."""
    peaks = [p for p in dist.get("peaks") or [] if "position_interval" in p]
    if truth.band or not peaks or len(peaks) != len(truth.peaks):
        return
    shares = true_shares(truth) if hasattr(truth, "r") else None
    for p, t, i in zip(peaks, truth.peaks, range(len(peaks))):
        lo, hi = p["position_interval"]
        cov.setdefault("peak position 95%", []).append(lo <= t <= hi)
        if shares and len(peaks) > 1:
            lo, hi = p["share_interval"]
            cov.setdefault("peak share 95%", []).append(lo <= shares[i] <= hi)


def coverage(summary, truth, draw_):
    """Whether the truth lies in each interval the summary gives: the 2.5-97.5
    percentiles over the runs or replicates, the reported value +- 1.96 times
    its +-, the SCALING allowed by the data (chi2 + 4) and the 95 % intervals
    of mode err (a peak's: one per peak, so a draw may count several times)."""
    dist = summary.get("distance") or {}
    tv = dict(mean=truth.mean, sd=truth.sd, reff=truth.reff)
    cov = {}
    for q, lo, hi in INTERVALS:
        if lo in dist and hi in dist:
            cov[q + " p2.5-97.5"] = dist[lo] <= tv[q] <= dist[hi]
    for q, v, e in PLUS_MINUS:
        if v in dist and e in dist:
            cov[q + " +-1.96"] = abs(dist[v] - tv[q]) <= 1.96 * dist[e]
    if "scaling_allowed" in summary:
        lo, hi = summary["scaling_allowed"]
        cov["scaling allowed"] = lo <= draw_["share"] <= hi
    for q, k in INTERVALS95:
        if k in dist:
            cov[q + " 95%"] = dist[k][0] <= tv[q] <= dist[k][1]
    if "scaling_interval" in summary:
        lo, hi = summary["scaling_interval"]
        cov["scaling 95%"] = lo <= draw_["share"] <= hi
    peak_coverage(dist, truth, cov)
    return {k: [bool(x) for x in v] if isinstance(v, list) else bool(v) for k, v in cov.items()}


def numbers(summary):
    """The numbers an interval is built from (the value, its +-, percentiles,
    allowed ranges, the 95 % intervals; each peak's), kept so that another
    construction of the intervals can be judged on the stored draws."""
    dist = summary.get("distance") or {}
    keep = {k: v for k, v in dist.items() if isinstance(v, (int, float, bool)) or
            (isinstance(v, list) and len(v) == 2 and all(isinstance(x, (int, float)) for x in v))}
    keep["peaks"] = [{k: v for k, v in p.items() if not isinstance(v, dict)} for p in dist.get("peaks") or []]
    for k in ("scaling_interval", "scaling_allowed"):
        if k in summary:
            keep[k] = summary[k]
    return keep
