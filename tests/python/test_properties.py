"""The array interface on random input, the closed form of the REDOR curve,
the README's example, the docstrings and fit_study (its shared fit against
the command line's: test_study.py)."""
import inspect
import math
import os
import re

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

import redordist

pytestmark = pytest.mark.filterwarnings("ignore::redordist.RedordistWarning")

SOURCE = os.environ.get("REDORDIST_SOURCE", os.path.join(os.path.dirname(__file__), "..", ".."))
FAST = dict(mas=5000, near=2.5, far=4.5, grain=0.1)  # FAR: the diagnostics' time grows with it
number = st.one_of(st.integers(-4, 40), st.floats(allow_nan=True, allow_infinity=True, width=64))
column = st.one_of(st.lists(number, max_size=7), st.lists(st.text(max_size=2), min_size=1, max_size=3),
                   st.lists(st.complex_numbers(), min_size=1, max_size=2))


@settings(max_examples=60, deadline=None, derandomize=True, suppress_health_check=[HealthCheck.too_slow])
@given(column, column, st.one_of(st.none(), column))
def test_any_arrays_give_a_result_or_a_clear_error(n_c, s_s0, error):
    try:
        with _quiet():
            res = redordist.fit(n_c, s_s0, error, **FAST)
    except (ValueError, TypeError) as e:
        assert str(e) and "\n" not in str(e)
    else:
        assert len(res.fit) == len(n_c) and np.isfinite(res.chi2)


ORDERED = {}


@settings(max_examples=4, deadline=None, derandomize=True)
@given(st.permutations(range(9)))
def test_the_order_of_the_points_does_not_matter(order):
    n_c = np.arange(0, 36, 4)
    s_s0 = redordist.simulate([3.0, 4.0], [0.6, 0.4], n_c, mas=5000) + 0.01 * np.cos(n_c)
    if not ORDERED:
        ORDERED["fit"] = redordist.fit(n_c, s_s0, np.full(9, 0.02), **FAST)
    a = ORDERED["fit"]
    b = redordist.fit(n_c[list(order)], s_s0[list(order)], np.full(9, 0.02), **FAST)
    assert b.mean == pytest.approx(a.mean, rel=1e-6) and b.chi2 == pytest.approx(a.chi2, rel=1e-6, abs=1e-9)


class _quiet:
    def __enter__(self):
        self.w = __import__("warnings").catch_warnings()
        self.w.__enter__()
        __import__("warnings").simplefilter("ignore")

    def __exit__(self, *a):
        self.w.__exit__(*a)


def test_simulate_follows_the_closed_form():
    # D r^3 of 13C-15N, Hz Angstrom^3, from the program's gyromagnetic ratios
    # (input/nuclei.h: 6.7283 and 2.712, 1e7 rad/(s T), as earlier versions had them).
    hbar, g_c, g_n = 1.054571817e-34, 6.7283e7, 2.712e7
    d = 1e-7 * g_c * g_n * hbar / (2 * math.pi) / 1e-30 / 2.0 ** 3
    # lambda_D = (N_c / 2) D / MAS = 0.25, 0.5, 1, 2 at MAS = 4 D.
    s = redordist.simulate([2.0], [1.0], [2, 4, 8, 16], x="13C", y="15N", mas=4 * d)
    exact = [0.7575780804, 0.2716559048, 0.0087956314, -0.0157321081]
    assert s == pytest.approx(exact, abs=2e-6)
    powder = redordist.simulate([2.0], [1.0], [2, 4, 8, 16], mas=4 * d, kernel=400)
    assert powder == pytest.approx(exact, abs=2e-3)
    with pytest.raises(ValueError, match="at least 0.5 Angstrom"):
        redordist.simulate([0.1], [1.0], [2], mas=5000)


def test_fit_study_fits_each_curve_alone():
    n_c = np.arange(0, 36, 4)
    curves = {k: (n_c, redordist.simulate([r], [1.0], n_c, mas=5000), np.full(9, 0.02))
              for k, r in (("short", 3.0), ("long", 4.0))}
    with _quiet():
        study = redordist.fit_study(curves, **FAST)
    assert [row["name"] for row in study.table()] == ["short", "long"]
    assert study["short"].effective_distance < study["long"].effective_distance
    assert study.shared is None


def test_every_argument_is_documented_with_its_unit():
    doc = redordist.fit.__doc__
    for name in inspect.signature(redordist.fit).parameters:
        assert re.search(rf"\b{name}\b", doc), name
    for unit in ("Hz", "Angstrom", "rotor cycles", "microseconds"):
        assert unit in doc


def test_the_readmes_example_runs_as_written(tmp_path, monkeypatch):
    readme = open(os.path.join(SOURCE, "README.md")).read()
    section = readme[readme.index("## From Python"):]
    code = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    monkeypatch.chdir(os.path.join(SOURCE, "examples"))
    with _quiet():
        exec(compile(code, "README.md", "exec"), {})


def test_dataframe_and_plot_when_pandas_and_matplotlib_are_there():
    pd, mpl = pytest.importorskip("pandas"), pytest.importorskip("matplotlib")
    mpl.use("Agg")
    n_c = np.arange(0, 36, 4)
    res = redordist.fit(n_c, redordist.simulate([3.0], [1.0], n_c, mas=5000), np.full(9, 0.02), **FAST)
    assert list(res.to_dataframe().columns) == ["r", "p"] and len(res.plot().axes) == 3
