"""redordist from Python against the command line on the same inputs: the
arguments' refusals, warnings, threads (the example's whole runs: test_module_runs.py)."""
import concurrent.futures
import math
import os
import re
import subprocess
import threading
import time

import numpy as np
import pytest

import redordist

pytestmark = pytest.mark.filterwarnings("ignore::redordist.RedordistWarning")

SOURCE = os.environ.get("REDORDIST_SOURCE", os.path.join(os.path.dirname(__file__), "..", ".."))
EXE = os.environ.get("REDORDIST_EXE", os.path.join(SOURCE, "build", "redordist"))
FAST = dict(mas=5000, near=2.5, far=4.0, grain=0.1)  # FAR: the diagnostics' time grows with it


def example_points():
    d = np.loadtxt(os.path.join(SOURCE, "examples", "cn_redor.dat"))
    return d[:, 0], d[:, 2] / d[:, 1], d[:, 4]


def command_line(tmp_path, par_text, data_text=None, solver="maxent"):
    """The command line on a parameter text in tmp_path: (status, stdout)."""
    (tmp_path / "runs").mkdir(exist_ok=True)
    (tmp_path / "in.par").write_text(par_text)
    if data_text is not None:
        (tmp_path / "in.dat").write_text(data_text)
    p = subprocess.run([EXE, "--solver", solver, "in.par"], cwd=tmp_path, capture_output=True, text=True)
    return p.returncode, p.stdout


def comparable(summary):
    """The summary less what names files or the command."""
    return {k: v for k, v in summary.items() if k not in ("command", "parameter_file", "files", "warnings")}


def test_a_fit_from_arrays_writes_nothing(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    res = redordist.fit(*example_points(), mode="err", replicates=10, max_blocks=2, **FAST)
    assert os.listdir(tmp_path) == []
    assert res.band_low is not None and res.mean_sd > 0 and res.summary["files"] == []


# Each class of refusal: fit's arguments changed, the start of the message.
REFUSALS = [
    (dict(near=7.0), "parameter error"),
    (dict(grain=0.0), "parameter error"),
    (dict(mas=float("nan")), "MAS"),
    (dict(x="13Q"), "13Q"),
    (dict(n_c=[0, 3, 8]), "n_c/s_s0/error line 2: N_c 3 is odd"),
    (dict(n_c=[0, 4, -2]), "n_c/s_s0/error line 3: N_c -2 is negative"),
    (dict(error=[2.0, 3.0, 4.0]), "n_c/s_s0/error: every error is 1 or more"),
    (dict(s_s0=[90.0, 80.0, 70.0]), "n_c/s_s0/error: 3 of 3 points have S/S0 above 1.5"),
    (dict(n_c=[]), "n_c, s_s0 and error must have the same length"),
]


@pytest.mark.parametrize("change, start", REFUSALS)
def test_each_refusal_is_the_command_lines_one_line(tmp_path, change, start):
    args = dict(n_c=[0, 4, 8], s_s0=[1.0, 0.8, 0.5], error=[0.02, 0.02, 0.02], **FAST)
    args.update(change)
    with pytest.raises(ValueError) as e:
        redordist.fit(**args)
    msg = str(e.value)
    assert start in msg and "\n" not in msg
    if msg.startswith("n_c, s_s0"):
        return  # the arrays' own check, before the readers
    # The command line on the same parameter and data texts says the same.
    opts = dict(x="13C", y="15N", kernel="exact", scaling=1.0, solver="maxent", replicates=20,
                max_blocks=15, min_stdev2=0.001, max_mc_chi2=80.0, last_point=0, mid_pulse=0.0)
    opts.update({k: v for k, v in args.items() if k in opts or k in FAST})
    data = redordist._data_text(np.array(args["n_c"]), np.array(args["s_s0"]), np.array(args["error"]))
    status, out = command_line(tmp_path, redordist._param_text(opts, "fit", xydata="in.dat"), data)
    assert status == 1 and re.sub(r"in\.par line [0-9]+: ", "", out) == msg.replace("n_c/s_s0/error", "in.dat") + "\n"


@pytest.mark.parametrize("args, error", [
    (dict(n_c=["0", "2"]), TypeError), (dict(mas="5000"), TypeError), (dict(kernel=2.5), TypeError),
    (dict(kernel="powder"), ValueError), (dict(solver="simplex"), ValueError),
    (dict(mode="sim"), ValueError), (dict(n_c=[0, 2.5]), ValueError), (dict(s_s0=[1.0, math.inf]), ValueError),
])
def test_wrong_types_and_values_of_the_arguments(args, error):
    full = dict(n_c=[0, 2], s_s0=[1.0, 0.9], error=[0.02, 0.02], **FAST)
    full.update(args)
    with pytest.raises(error):
        redordist.fit(**full)


def test_warnings_arrive_as_python_warnings():
    n_c, s_s0, _ = example_points()
    with pytest.warns(redordist.RedordistWarning, match="have no usable error") as w:
        res = redordist.fit(n_c, s_s0, None, **FAST)
    assert [str(x.message) for x in w] == res.warnings


def test_an_estimate_that_rejects_every_replicate_ends_with_status_1():
    n_c, s_s0, err = example_points()
    with pytest.warns(redordist.RedordistWarning):
        res = redordist.fit(n_c, s_s0, err, mode="err", replicates=5, max_blocks=2, max_mc_chi2=1e-3, **FAST)
    assert res.summary["status"] == 1


def test_two_threads_at_once_equal_serial_fits():
    points = example_points()
    kw = [dict(mode="err", replicates=6, max_blocks=2, threads=t, **FAST) for t in (1, 2)]
    serial = [redordist.fit(*points, **k).summary for k in kw]
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        side_by_side = [f.result().summary for f in [pool.submit(redordist.fit, *points, **k) for k in kw]]
    assert side_by_side == serial and serial[0] == serial[1]


def test_a_fit_releases_the_interpreter():
    fitting = threading.Thread(target=redordist.fit, args=example_points(), kwargs=FAST)
    ticks = 0
    fitting.start()
    while fitting.is_alive():  # this thread runs on while the fit does
        ticks += 1
        time.sleep(0.001)
    assert ticks > 20
