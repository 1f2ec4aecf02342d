"""The example's whole runs from Python against the command line's: the
summary, the result lines and the run directory that write makes."""
import json
import os
import re

import pytest

from test_module import SOURCE, comparable, command_line, example_points

import redordist

pytestmark = pytest.mark.filterwarnings("ignore::redordist.RedordistWarning")

# The example (examples/fit.par) on a shorter, coarser grid: 2.5 to 4.5 Angstrom
# every 0.1 is 21 distances; a coarser powder average (24 steps per turn, not 100).
EXAMPLE = dict(x="C13", y="N15", mas=5000, near=2.5, far=4.5, grain=0.1, kernel=24)
RUNS = {}


def example_run(tmp_path_factory, solver):
    """The command line on the example and the same fit from Python, once per
    solver for the tests here: (directory, status, stdout, fit result)."""
    if solver not in RUNS:
        d = tmp_path_factory.mktemp(solver)
        (d / "cn_redor.dat").write_text(open(os.path.join(SOURCE, "examples", "cn_redor.dat")).read())
        par = open(os.path.join(SOURCE, "examples", "fit.par")).read()
        for key, was, now in (("FAR", "6.0", "4.5"), ("GRAIN", "0.05", "0.1"), ("PER 2PI", "100", "24")):
            par, n = re.subn(rf"\n{key}: {re.escape(was)}\n", f"\n{key}: {now}\n", par)
            assert n == 1, key
        status, out = command_line(d, par, None, solver)
        here, empty = os.getcwd(), tmp_path_factory.mktemp(solver + "-cwd") / "python"
        empty.mkdir()  # the folder a run named python writes into: in memory nothing lands there
        os.chdir(empty.parent)
        try:
            res = redordist.fit(*example_points(), solver=solver, **EXAMPLE)
        finally:
            os.chdir(here)
        assert not os.listdir(empty)
        RUNS[solver] = (d, status, out, res)
    return RUNS[solver]


@pytest.mark.parametrize("solver", ["maxent", "annealing", "gaussians"])
def test_summary_and_result_lines_equal_the_command_line(tmp_path_factory, solver):
    d, status, out, res = example_run(tmp_path_factory, solver)
    assert status == 0
    cli = json.load(open(d / "runs" / "fit_cn" / "fit_cn.json"))
    assert comparable(res.summary) == comparable(cli)
    for line in str(res).splitlines():
        assert line in out
    assert res.mean == cli["distance"]["mean"] and res.chi2 == cli["chi2"]
    assert res.band_low is None and res.mean_sd is None
    assert len(res.r) == len(res.p) == 21 and len(res.fit) == len(res.residual) == 17


def test_write_makes_the_command_lines_run_directory(tmp_path, tmp_path_factory):
    d, status, _, res = example_run(tmp_path_factory, "maxent")
    assert status == 0
    with pytest.raises(ValueError, match="does not exist"):
        res.write(tmp_path / "py" / "fit_cn")
    assert not (tmp_path / "py").exists()
    (tmp_path / "py").mkdir()
    made = {os.path.basename(f) for f in res.write(tmp_path / "py" / "fit_cn")}
    cli_dir, py_dir = d / "runs" / "fit_cn", tmp_path / "py" / "fit_cn"
    assert made - {"fit_cn.par", "fit_cn.dat"} == set(os.listdir(cli_dir)) - {"in.par", "cn_redor.dat"}
    for table in ("fit_cn-distribution.csv", "fit_cn-curve.csv", "fit_cn.sa"):
        assert (py_dir / table).read_bytes() == (cli_dir / table).read_bytes()
    assert comparable(json.load(open(py_dir / "fit_cn.json"))) == comparable(res.summary)
    res.write(py_dir)  # again into the same directory: its lock was released
