#!/bin/bash
# Wall times of whole redordist runs on the exact kernel (PER 2PI 0) for the
# three solvers on the same synthetic data:
#   (a) one fit (mode fit), 17 and 25 data points: the mean over N runs;
#   (b) one err run with 100 replicates (PER MC BLOCK 20, MAX MC BLOCKS 5 and
#       MIN STDEV2 1e-12, so all 5 blocks run), OMP_NUM_THREADS=2, best of R.
# Uses hyperfine when it is installed, otherwise a loop timed with date +%s.%N.
# A stub gnuplot goes first on PATH so that plotting is not timed.
#
# usage: bench/run_timings.sh [-b REDORDIST] [-s SYNTH_REDOR] [-n N] [-r R]
#   defaults: build/redordist, build/bench/synth_redor, N = 20, R = 3
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin="$here/../build/redordist"
synth="$here/../build/bench/synth_redor"
n=20
r=3
while getopts "b:s:n:r:h" opt; do
  case $opt in
    b) bin=$OPTARG ;;
    s) synth=$OPTARG ;;
    n) n=$OPTARG ;;
    r) r=$OPTARG ;;
    *) sed -n '2,13p' "$0"; exit 2 ;;
  esac
done
bin=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")
work=$(mktemp -d /tmp/redor_timings.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
printf '#!/bin/sh\nexit 0\n' > "$work/bin/gnuplot"
chmod +x "$work/bin/gnuplot"
export PATH="$work/bin:$PATH"
export GSL_RNG_SEED=17

# par MODE DATA MAS MINSTDEV2 -> parameter file on stdout (annealing schedule
# of examples/fit.par; grid 2.2-5.2 A, GRAIN 0.05; 13C-15N)
par() {
  cat <<PAR
MODE: $1
LAMBDA_D: none
XYDATA: $2
DISTDIST: none
PATH: runs/
OUTPUT: r_$1
XN: C13
YN: N15
NEAR: 2.2
FAR: 5.2
GRAIN: 0.05
PER 2PI: 0
MID PULSE: 0
MAS: $3
SCALING: 1.0
LAST POINT: 0
NTRIES: 3
ITERS AT TEMP: 1000
MAX STEP SIZE: 0.5 0.2 0.1
BOLTZMANN: 1
INIT TEMP: 20 0 0
ATTEN TEMP: 1.2
MIN TEMP: 0.05
ERR ITERS AT TEMP: 300
ERR MAX STEP SIZE: 0.3
ERR BOLTZMANN: 1
ERR INIT TEMP: 10
ERR ATTEN TEMP: 1.3
ERR MIN TEMP: 0.05
MIN STDEV2: $4
PER MC BLOCK: 20
MAX MC BLOCKS: 5
MAX MC CHI2: 100
PAR
}

cd "$work"
mkdir -p runs
# cn_broad of bench/validate.py: 3.6 A sd 0.35, 2 % noise; short and long dephasing
"$synth" --pair CN --mas 5000 --nc 0:4:64 --comp 1:3.6:0.35 --noise 0.02 --seed 16 \
  --out d17.dat --quiet
"$synth" --pair CN --mas 5000 --nc 0:8:192 --comp 1:3.6:0.35 --noise 0.02 --seed 16 \
  --out d25.dat --quiet
par fit d17.dat 5000 0.001 > fit17.par
par fit d25.dat 5000 0.001 > fit25.par
par err d25.dat 5000 1e-12 > err25.par

solver_args() { [ "$1" = annealing ] || echo "--solver $1"; }

# mean wall time in seconds of N runs of a command
timeit() {
  local reps=$1; shift
  local t0 t1
  t0=$(date +%s.%N)
  for ((i = 0; i < reps; i++)); do "$@" > /dev/null 2>&1; done
  t1=$(date +%s.%N)
  echo "($t1 - $t0) / $reps" | bc -l
}
# best wall time of N runs
besttime() {
  local reps=$1; shift
  local best="" t
  for ((i = 0; i < reps; i++)); do
    t=$(timeit 1 "$@")
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}

echo "binary: $bin"
echo "(a) one fit, PER 2PI 0, OMP_NUM_THREADS=1, mean of $n runs"
export OMP_NUM_THREADS=1
for s in annealing maxent gaussians; do
  for p in 17 25; do
    if command -v hyperfine > /dev/null; then
      hyperfine -N -w 2 -r "$n" "$bin $(solver_args $s) fit$p.par" --export-json "h_${s}_$p.json" > /dev/null
      t=$(python3 -c "import json;print(json.load(open('h_${s}_$p.json'))['results'][0]['mean'])")
    else
      "$bin" $(solver_args $s) fit$p.par > /dev/null 2>&1   # warm-up
      t=$(timeit "$n" "$bin" $(solver_args $s) fit$p.par)
    fi
    printf '  %-10s %2d points: %8.4f s\n' "$s" "$p" "$t"
  done
done

echo "(b) err, 100 replicates (5 blocks of 20, MIN STDEV2 1e-12), 25 points, OMP_NUM_THREADS=2, best of $r"
export OMP_NUM_THREADS=2
for s in maxent gaussians annealing; do
  t=$(besttime "$r" "$bin" $(solver_args $s) err25.par)
  "$bin" $(solver_args $s) err25.par > "err_$s.out" 2>&1 || true
  mc=$(grep -m1 "MC mean distance" "err_$s.out" || echo "no MC line")
  runs=$(python3 -c "import json;print(json.load(open('runs/r_err/r_err.json'))['distance']['mc_runs'])" \
    2> /dev/null || echo "?")
  printf '  %-10s %8.3f s   mc_runs %s   %s\n' "$s" "$t" "$runs" "$mc"
done
