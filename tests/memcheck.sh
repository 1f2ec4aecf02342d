#!/bin/sh
# valgrind memcheck of a small err run (its fit first, then the Monte Carlo
# blocks, the diagnostics and every output): any memory error or leak fails.
# The grid is short (2.5 to 3 Angstrom) because the diagnostics' width
# profile, about 95 % of the run, grows with it and valgrind runs it ~50x slower.
# Usage: memcheck.sh REDORDIST_BINARY
set -e
bin="$1"
if ! command -v valgrind >/dev/null 2>&1; then
  echo "valgrind not installed; skipping"
  exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/bin"
printf '#!/bin/sh\nexit 0\n' > "$dir/bin/gnuplot"
chmod +x "$dir/bin/gnuplot"
cat > "$dir/data.dat" <<'DATA'
# N_c S0 S ratio err
0 1000 1000 1.0 0.02
4 1000 960 0.96 0.02
8 1000 870 0.87 0.02
12 1000 760 0.76 0.02
16 1000 650 0.65 0.02
DATA
for mode in err; do
  cat > "$dir/$mode.par" <<PAR
MODE: $mode
LAMBDA_D: none
XYDATA: data.dat
DISTDIST: none
PATH: ./
OUTPUT: vg_$mode
XN: C13
YN: N15
NEAR: 2.5
FAR: 3.0
GRAIN: 0.5
PER 2PI: 12
MID PULSE: 0
MAS: 5000
SCALING: 1.0
LAST POINT: 0
NTRIES: 2
ITERS AT TEMP: 10
MAX STEP SIZE: 0.5
BOLTZMANN: 1
INIT TEMP: 10 0
ATTEN TEMP: 2
MIN TEMP: 1
ERR ITERS AT TEMP: 5
ERR MAX STEP SIZE: 0.5
ERR BOLTZMANN: 1
ERR INIT TEMP: 2
ERR ATTEN TEMP: 2
ERR MIN TEMP: 0.5
MIN STDEV2: 1
PER MC BLOCK: 2
MAX MC BLOCKS: 5
MAX MC CHI2: 1e6
PAR
  (cd "$dir" && PATH="$dir/bin:$PATH" OMP_NUM_THREADS=1 valgrind -q --error-exitcode=3 \
      --leak-check=full --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
      "$bin" "$mode.par" > "$dir/$mode.out" 2> "$dir/$mode.valgrind") || {
    echo "valgrind reported problems in mode $mode:"; cat "$dir/$mode.valgrind"; exit 1; }
  if [ -s "$dir/$mode.valgrind" ]; then echo "valgrind output in mode $mode:"; cat "$dir/$mode.valgrind"; exit 1; fi
  echo "mode $mode: clean"
done
