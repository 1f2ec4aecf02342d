"""fit_study's shared fit against the command line's `--study FILE --shared`."""
import json
import os
import subprocess

import numpy as np
import pytest

from test_properties import FAST, SOURCE

import redordist

pytestmark = pytest.mark.filterwarnings("ignore::redordist.RedordistWarning")

EXE = os.environ.get("REDORDIST_EXE", os.path.join(SOURCE, "build", "redordist"))


# Nine measured-looking points of a 13C-15N curve, errors 0.015 (no program output).
MEASURED = [(0, 1.004), (8, .962), (16, .861), (24, .722), (32, .575), (40, .451), (48, .330), (56, .262), (64, .205)]


# (The annealing's shared fit goes through the same call; its single runs are compared in test_module_runs.py.)
@pytest.mark.parametrize("solver,fit_scaling", [("maxent", False), ("maxent", True), ("gaussians", True)])
def test_fit_study_shared_is_the_command_lines_shared_fit(tmp_path, solver, fit_scaling):
    """The same curve at 5 and at 10 kHz (each curve's own MAS): the shared fit
    from Python is the one `--study FILE --shared [--fit-scaling]` writes, and
    its warning (one distribution cannot be both) arrives as a RedordistWarning."""
    n_c, s = (np.array(v, dtype=float) for v in zip(*MEASURED))
    curves = {name: dict(n_c=n_c, s_s0=s, error=np.full(9, 0.015), mas=mas) for name, mas in (("a", 5000), ("b", 10000))}
    with pytest.warns(redordist.RedordistWarning, match="do not share one distribution"):
        study = redordist.fit_study(curves, shared=True, solver=solver, fit_scaling=fit_scaling, **FAST)
    (tmp_path / "p.par").write_text("".join(l + "\n" for l in redordist._param_text(
        dict(x="13C", y="15N", kernel="exact", scaling=1.0, replicates=20, max_blocks=15, min_stdev2=0.001,
             max_mc_chi2=80.0, last_point=0, mid_pulse=0.0, solver=solver, **FAST), "fit").splitlines()
        if not l.startswith("XYDATA")))
    (tmp_path / "s.csv").write_text("curve,mas,n_c,s0,s,s_s0,error\n" + "".join(
        f"{name},{mas},{k},1,{v},{v},0.015\n" for name, mas in (("a", 5000), ("b", 10000)) for k, v in MEASURED))
    p = subprocess.run([EXE, "--solver", solver, "p.par", "--study", "s.csv", "--shared"] +
                       ["--fit-scaling"] * fit_scaling, cwd=tmp_path, capture_output=True, text=True)
    assert p.returncode == 0, p.stdout
    cli = json.load(open(tmp_path / "python-study.json"))["shared"]
    assert json.dumps(study.shared, sort_keys=True) == json.dumps(cli, sort_keys=True)
    assert study.shared["disagrees_most"] in ("a", "b") and study.shared["delta_aic"] >= 10
    assert [c.get("scaling") is not None for c in study.shared["curves"]] == [fit_scaling] * 2


def test_the_shared_scaling_trap_arrives_as_a_warning():
    """One Gaussian at 4.2 A (sd 0.3, 80 % dephasable, told SCALING 1) at 10 and 20 kHz up
    to N_c 200 and 400 (tests/fixtures, from bench/synth_redor): both curves reach their first
    minimum only up to 3.32 A, so every SCALING times a factor down to 0.8 or below fits too."""
    rows = [l.split(",") for l in open(os.path.join(SOURCE, "tests", "fixtures", "cn_4.2_scaling0.8_two_rates.csv"))][1:]
    curves = {name: dict(zip(("n_c", "s_s0", "error"), (np.array([float(r[k]) for r in rows if r[0] == name])
                                                        for k in (2, 5, 6))), mas=mas)
              for name, mas in (("a", 10000), ("b", 20000))}
    with pytest.warns(redordist.RedordistWarning, match="these curves cannot tell them apart"):
        study = redordist.fit_study(curves, shared=True, near=2.0, far=9.5, grain=0.1)
    assert study.shared["scaling_trap"]["factor_allowed_lo"] <= 0.8
