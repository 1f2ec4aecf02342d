"""redordist from Python: distance distributions from REDOR dephasing curves.

The same engine as the command line ``redordist`` (its readers, checks,
solvers and summary), called in memory:

    import redordist
    res = redordist.fit(n_c, s_s0, error, x="13C", y="15N", mas=5000,
                        near=2.5, far=6.0)
    print(res)              # the result lines the command line prints
    res.r, res.p            # the distribution, Angstrom and per Angstrom
    res.write("runs/cn")    # the run directory the command line makes

Units as on the command line: distances in Angstrom, MAS in Hz, dephasing
as the number of rotor cycles N_c (even).
"""

import json
import numbers
import operator
import os
import warnings as _warnings

import numpy as np

from . import _redordist as _engine

__all__ = ["fit", "simulate", "fit_study", "Result", "StudyResult", "RedordistWarning", "FitError"]

# The name the data arrays go by in messages: "n_c/s_s0/error line 3: ..."
# is point 3, counting from 1.
DATA_NAME = "n_c/s_s0/error"

class RedordistWarning(UserWarning):
    """A warning of a run: legal input that is probably a mistake, or a
    result the data do not determine (the command line's "warning:" lines)."""


class FitError(ValueError):
    """The solver found no distribution for these data (where the command
    line ends with status 1): the message is the solver's reason."""


def _real(name, v):
    if isinstance(v, bool) or not isinstance(v, numbers.Real):
        raise TypeError(f"{name} must be a number, not {type(v).__name__}")
    return repr(float(v))


def _whole(name, v):
    if isinstance(v, bool):
        raise TypeError(f"{name} must be a whole number, not bool")
    try:
        return str(operator.index(v))
    except TypeError:
        raise TypeError(f"{name} must be a whole number, not {type(v).__name__}") from None


def _text(name, v):
    if not isinstance(v, str):
        raise TypeError(f"{name} must be a str, not {type(v).__name__}")
    if not v or any(c.isspace() for c in v):
        raise ValueError(f"{name} {v!r}: it must be one word")
    return v


def _kernel(kernel):
    if isinstance(kernel, str):
        if kernel != "exact":
            raise ValueError(f"kernel {kernel!r}: it must be \"exact\" or a number of powder steps per turn")
        return "0"
    return _whole("kernel", kernel)


def _array(name, v):
    a = np.asarray(v)
    if a.dtype.kind not in "iuf":
        raise TypeError(f"{name} must hold int or float numbers, not {a.dtype}")
    if a.ndim != 1:
        raise ValueError(f"{name} must be one-dimensional, not of shape {a.shape}")
    a = a.astype(np.float64)
    bad = np.flatnonzero(~np.isfinite(a))
    if bad.size:
        raise ValueError(f"{name}[{bad[0]}] is {a[bad[0]]}; every value must be a finite number")
    return a


def _points(n_c, s_s0, error):
    """The three arrays, checked for type, shape and finiteness, as numpy."""
    nc, ratio = _array("n_c", n_c), _array("s_s0", s_s0)
    err = None if error is None else _array("error", error)
    sizes = [len(nc), len(ratio)] + ([] if err is None else [len(err)])
    if len(set(sizes)) != 1:
        raise ValueError("n_c, s_s0 and error must have the same length, not "
                         + ", ".join(map(str, sizes)))
    frac = np.flatnonzero(nc != np.round(nc))
    if frac.size:
        raise ValueError(f"n_c[{frac[0]}] is {nc[frac[0]]}; rotor cycles are whole numbers")
    return nc, ratio, err


def _data_text(nc, ratio, err):
    """The data file's lines: N_c S0 S S/S0 error, with S0 = 1 and S = S/S0;
    line k is point k."""
    lines = []
    for k in range(len(nc)):
        r = repr(float(ratio[k]))
        e = "" if err is None else " " + repr(float(err[k]))
        lines.append(f"{int(nc[k])} 1 {r} {r}{e}")
    return "\n".join(lines) + "\n"


def _param_text(o, mode, path="./", output="python", xydata=DATA_NAME):
    """The short parameter form of the command line from fit's options."""
    keys = [("MODE", _text("mode", mode)), ("LAMBDA_D", "none"), ("XYDATA", xydata),
            ("DISTDIST", "none"), ("PATH", path), ("OUTPUT", output),
            ("XN", _text("x", o["x"])), ("YN", _text("y", o["y"])),
            ("NEAR", _real("near", o["near"])), ("FAR", _real("far", o["far"])),
            ("GRAIN", _real("grain", o["grain"])), ("PER 2PI", _kernel(o["kernel"])),
            ("MID PULSE", _real("mid_pulse", o["mid_pulse"])), ("MAS", _real("mas", o["mas"])),
            ("SCALING", _real("scaling", o["scaling"])),
            ("LAST POINT", _whole("last_point", o["last_point"])),
            ("MIN STDEV2", _real("min_stdev2", o["min_stdev2"])),
            ("PER MC BLOCK", _whole("replicates", o["replicates"])),
            ("MAX MC BLOCKS", _whole("max_blocks", o["max_blocks"])),
            ("MAX MC CHI2", _real("max_mc_chi2", o["max_mc_chi2"]))]
    text = "".join(f"{k}: {v}\n" for k, v in keys)
    if o["solver"] == "annealing":  # its schedule as redordist --template gives it
        given = {k for k, _ in keys}
        text += "".join(line + "\n" for line in _engine.template("annealing").splitlines()
                        if ":" in line and not line.startswith("#") and line.split(":")[0] not in given)
    return text


def _column(rows, key):
    return np.array([row[key] for row in rows], dtype=float) if rows and key in rows[0] else None


class Result:
    """One fit: the distribution, the fitted curve, the numbers of the result
    lines and the summary the command line writes as OUTPUT.json.

    Arrays (numpy): r (Angstrom), p (density per Angstrom), band_low and
    band_high (2.5 and 97.5 percentiles over the replicates, mode "err";
    None in mode "fit"), n_c, s_s0, error, fit and residual at the data.
    Numbers: chi2, scaling, effective_distance, mean, sd (Angstrom), each of
    the last three with its +- (*_sd, None in mode "fit") and a flag
    *_determined (whether the data fix it). peaks: list of dicts (position
    in Angstrom, share, supported). warnings: the run's warning lines.
    summary: the dict of the JSON summary. str(result): the result lines.
    """

    def __init__(self, raw, request):
        self._request = request
        self.summary = json.loads(raw["summary"])
        self.warnings = list(raw["warnings"])
        self.console = raw["console"]
        self.status = raw["status"]
        self._lines = raw["result_lines"]
        s, d = self.summary, self.summary["distance"] or {}
        dist, curve = s.get("distribution", []), s.get("curve", [])
        self.r, self.p = _column(dist, "r_angstrom"), _column(dist, "density_per_angstrom")
        self.band_low, self.band_high = _column(dist, "band_low95"), _column(dist, "band_high95")
        self.n_c, self.s_s0 = _column(curve, "n_c"), _column(curve, "s_s0")
        self.error, self.fit, self.residual = (_column(curve, k) for k in ("error", "fit", "residual"))
        self.chi2, self.scaling = s["chi2"], s["scaling"]
        self.effective_distance, self.effective_sd = d.get("effective"), d.get("effective_sd")
        self.mean, self.mean_sd = d.get("mean"), d.get("mean_mc_sd")
        self.sd, self.sd_sd = d.get("sd"), d.get("sd_mc_sd")
        self.effective_determined = self.effective_distance is not None
        self.mean_determined = d.get("mean_determined", False)
        self.sd_determined = d.get("sd_determined", False)
        self.peaks = d.get("peaks", [])

    def __str__(self):
        return self._lines.rstrip("\n")

    def __repr__(self):
        return self.__str__()

    def to_dataframe(self):
        """The distribution as a pandas DataFrame (r, p and, in mode err, the band)."""
        import pandas as pd
        cols = {"r": self.r, "p": self.p}
        if self.band_low is not None:
            cols.update(band_low=self.band_low, band_high=self.band_high)
        return pd.DataFrame(cols)

    def plot(self):
        """Three panels with matplotlib: data and fit against N_c, the
        residuals, and P(r). Returns the figure."""
        import matplotlib.pyplot as plt
        fig, (a, b, c) = plt.subplots(3, 1, figsize=(6, 8))
        a.errorbar(self.n_c, self.s_s0, yerr=self.error, fmt="o", label="data")
        a.plot(self.n_c, self.fit, "-", label="fit")
        a.set_xlabel("N_c (rotor cycles)"), a.set_ylabel("S/S0"), a.legend()
        b.errorbar(self.n_c, self.residual, yerr=self.error, fmt="o")
        b.axhline(0.0, color="grey"), b.set_xlabel("N_c (rotor cycles)"), b.set_ylabel("residual")
        if self.band_low is not None:
            c.fill_between(self.r, self.band_low, self.band_high, alpha=0.3, label="95 % band")
        c.plot(self.r, self.p, "-", label="P(r)")
        c.set_xlabel("r (Angstrom)"), c.set_ylabel("P(r) (1/Angstrom)")
        fig.tight_layout()
        return fig

    def write(self, directory):
        """Runs the command line's run on these inputs into directory (its
        last part names the files, as OUTPUT does): the log, tables, figure
        scripts and summary it makes, beside the parameter file OUTPUT.par
        and the data OUTPUT.dat it ran on. Returns the list of files."""
        q = self._request
        parent, name = os.path.split(os.path.normpath(os.fspath(directory)))
        if not os.path.isdir(parent or "."):
            raise ValueError(f"write: the folder {parent} does not exist; the run directory is made "
                             f"one level deep (mkdir -p {parent})")
        par, dat = os.path.join(name, name + ".par"), os.path.join(name, name + ".dat")
        text = _param_text(q["options"], q["mode"], "./", name, dat)
        # Within the parent, as `cd PARENT; redordist NAME/NAME.par` runs; the
        # interpreter's lock is held meanwhile, and fits of other threads do not
        # read the working directory.
        cwd = os.getcwd()
        os.chdir(parent or ".")
        try:
            # The same checks as the fit's before anything is made.
            _engine.check(text, dat, q["data"], q["solver"])
            os.makedirs(name, exist_ok=True)
            with open(dat, "w") as f:
                f.write(q["data"])
            with open(par, "w") as f:
                f.write(text)
            status, console = _engine.write_run(par, q["solver"], q["fit_scaling"],
                                                ["redordist.write", par], q["seed"], q["threads"])
        finally:
            os.chdir(cwd)
        if status != 0:
            raise RuntimeError(f"the run in {directory} ended with status {status}: "
                               + console.strip().splitlines()[-1])
        run = os.path.join(parent, name)
        return sorted(os.path.join(run, f) for f in os.listdir(run))


def _check_run(solver, mode, seed, threads):
    """What the parameter text does not carry: solver, mode, seed, threads."""
    _text("solver", solver)
    if solver not in ("maxent", "gaussians", "annealing"):
        raise ValueError(f"solver {solver!r}: it must be maxent, gaussians or annealing")
    if mode not in ("fit", "err"):
        raise ValueError(f"mode {mode!r}: it must be fit or err")
    for name, v in (("seed", seed), ("threads", threads)):
        if v is not None:
            _whole(name, v)
    if seed is not None and not 0 <= seed < 2**64:
        raise ValueError(f"seed {seed}: it must lie between 0 and 2**64 - 1")
    if threads is not None and not 1 <= threads <= 1024:
        raise ValueError(f"threads {threads}: it must lie between 1 and 1024")


def fit(n_c, s_s0, error, *, x="13C", y="15N", mas, near, far, grain=0.05, kernel="exact",
        scaling=1.0, fit_scaling=False, solver="maxent", mode="fit", replicates=20, max_blocks=15,
        min_stdev2=0.001, max_mc_chi2=80.0, last_point=0, mid_pulse=0.0, seed=None, threads=None):
    """Fits a distance distribution to a REDOR curve; returns a Result.

    n_c: rotor cycles of each point (even whole numbers; dephasing time
        N_c / mas). s_s0: S/S0 of each point (a fraction, not percent).
    error: the error of each S/S0 (a fraction), or None for no usable error.
    x, y: observed and dephasing nucleus ("13C", "15N", "31P", "19F", ...).
    mas: magic-angle spinning rate, Hz.
    near, far, grain: the distance grid near, near + grain, ..., far, Angstrom.
    kernel: "exact" (the closed form of the powder average) or an int, the
        powder steps per turn (the parameter file's PER 2PI).
    mid_pulse: time offset of the mid pulse, microseconds (powder kernel).
    scaling: the dephasable share (S/S0 ends at 1 - scaling).
    fit_scaling: fit SCALING together with the distribution.
    solver: "maxent" (deterministic), "gaussians" or "annealing".
    mode: "fit", or "err" for the uncertainty by bootstrap (Monte Carlo for
        the annealing).
    replicates: replicates per block in mode "err" (PER MC BLOCK).
    max_blocks: the largest number of blocks (MAX MC BLOCKS).
    min_stdev2: stop when the sd scatter between blocks is below this.
    max_mc_chi2: replicates above this chi2 are drawn again.
    last_point: simulate curves up to this N_c (0: the largest N_c).
    seed: GSL's seed for the replicates and the annealing (None: the
        GSL_RNG_SEED of the environment, else 0, as the command line).
    threads: OpenMP threads of this fit (None: OpenMP's default); the
        result is the same for any number (maxent, gaussians).

    A bad value raises ValueError with the command line's one-line message
    (data messages name point k as "n_c/s_s0/error line k"); wrong types
    raise TypeError; data that no distribution fits raise FitError (a
    ValueError) with the solver's reason. The run's warnings are issued as
    RedordistWarning and kept in Result.warnings. Nothing is written to
    disk. The interpreter's lock is released during the fit, so threads may
    fit side by side.
    """
    options = dict(x=x, y=y, mas=mas, near=near, far=far, grain=grain, kernel=kernel,
                   scaling=scaling, solver=solver, replicates=replicates, max_blocks=max_blocks,
                   min_stdev2=min_stdev2, max_mc_chi2=max_mc_chi2, last_point=last_point,
                   mid_pulse=mid_pulse)
    _check_run(solver, mode, seed, threads)
    data = _data_text(*_points(n_c, s_s0, error))
    request = dict(options=options, mode=mode, data=data, solver=solver,
                   fit_scaling=bool(fit_scaling), seed=seed, threads=threads)
    raw = _engine.fit(_param_text(options, mode), DATA_NAME, data, solver, bool(fit_scaling), seed, threads)
    result = Result(raw, request)
    for w in result.warnings:
        _warnings.warn(w, RedordistWarning, stacklevel=2)
    if result.summary["distance"] is None:
        errors = [l for l in result.console.splitlines() if "error" in l or "failed" in l]
        raise FitError("no distribution was fitted" + (": " + errors[-1] if errors else ""))
    return result


def simulate(r, p, n_c, *, x="13C", y="15N", mas, kernel="exact", mid_pulse=0.0):
    """The REDOR curve S/S0 at rotor cycles n_c (even) of pairs at distances
    r (Angstrom, at least 0.5) with fractions p: sum_k p_k S/S0(N_c, r_k),
    by the kernel of mode sim ("exact" or powder steps per turn; mas in Hz,
    mid_pulse in microseconds). Returns a numpy array like n_c."""
    r, p = _array("r", r), _array("p", p)
    if len(r) != len(p):
        raise ValueError(f"r and p must have the same length, not {len(r)}, {len(p)}")
    small = np.flatnonzero(r < 0.5)
    if small.size:
        raise ValueError(f"r[{small[0]}] is {r[small[0]]}; distances must be at least 0.5 Angstrom")
    nc, _, _ = _points(n_c, np.ones(len(np.atleast_1d(n_c))), None)
    options = dict(x=x, y=y, mas=mas, near=2.0, far=3.0, grain=0.5, kernel=kernel, scaling=1.0,
                   solver="maxent", replicates=20, max_blocks=15, min_stdev2=0.001,
                   max_mc_chi2=80.0, last_point=0, mid_pulse=mid_pulse)
    data = _data_text(nc, np.ones(len(nc)), None)
    s = _engine.simulate(_param_text(options, "sim"), DATA_NAME, data, list(r), list(p))
    return np.array(s, dtype=float)


class StudyResult(dict):
    """Fits of named curves: a dict of name -> Result, and table(), one row
    per curve (name, chi2, effective distance, mean, sd). With shared=True,
    shared is the distribution fitted to all curves at once (as the command
    line's study summary gives it under "shared": its distribution, chi2 by
    curve shared and alone, AIC shared and separate, the curve that disagrees
    most and the warning, or None; with fit_scaling=True each curve's fitted
    SCALING and its ranges; by curve the shared fit at its points ("fit", in
    its own S/S0) and the runs test of its residuals ("p_runs_few"); under
    "together" what the curves determine
    together: the single Gaussians' ranges they allow and whether the shared
    distribution's effective distance, mean and sd lie within them); else
    shared is None."""

    shared = None

    def table(self):
        return [dict(name=k, chi2=v.chi2, effective_distance=v.effective_distance, mean=v.mean,
                     sd=v.sd) for k, v in self.items()]


_CURVE_KEYS = ("mas", "x", "y", "scaling")


def fit_study(curves, *, shared=False, **options):
    """Fits each named curve of curves (name -> (n_c, s_s0, error), or a dict
    with those keys and, for that curve alone, any of mas, x, y, scaling)
    separately with fit's options; returns a StudyResult.

    shared=True then fits one distribution to all curves by the same solver
    (maxent, gaussians or annealing), each curve with its own kernel (MAS, nuclei, N_c),
    errors and SCALING (with fit_scaling=True each curve's SCALING is fitted
    in the shared fit too, and reported by curve with the range allowed at
    the shared distribution), and weighs it against the separate fits by AIC; when
    the separate fits are clearly better (AIC lower by 10 or more) a
    RedordistWarning says the curves do not share one distribution (and, when
    SCALINGs were given and one fitted for each curve lets one distribution
    explain them, that their SCALINGs may differ instead, with the fitted
    ones; the numbers in shared["own_scaling"]). When the
    shared distribution holds more than 5 % where no curve sees a full
    dephasing cycle and a common factor of the SCALINGs 0.05 or more below 1
    fits as well, a RedordistWarning gives both explanations (the numbers in
    shared["scaling_trap"]). When the SCALINGs fitted by curve stop at the
    limit of rounds while the fit still improves, a RedordistWarning says so."""
    solver = options.get("solver", "maxent")
    study = StudyResult()
    for name, c in curves.items():
        own = {k: c[k] for k in _CURVE_KEYS if isinstance(c, dict) and k in c}
        args = (c["n_c"], c["s_s0"], c.get("error")) if isinstance(c, dict) else tuple(c)
        study[name] = fit(*args, **{**options, **own})
    if shared:
        rows = [(str(name), _param_text(r._request["options"], r._request["mode"]), DATA_NAME,
                 r._request["data"], json.dumps(r.summary)) for name, r in study.items()]
        study.shared = json.loads(_engine.fit_shared(rows, solver, bool(options.get("fit_scaling", False))))
        for w in (study.shared.get("rounds_warning"), study.shared.get("scaling_trap", {}).get("warning"),
                  study.shared.get("warning")):
            if w:
                _warnings.warn(w, RedordistWarning, stacklevel=2)
    return study
