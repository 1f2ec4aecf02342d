#!/bin/bash
# Wall and CPU times of one fit of examples/cn_redor.dat on a wide grid, NEAR
# 0.5, FAR 900, GRAIN 0.1 (9000 distances), for the three solvers, on the
# exact kernel (PER 2PI 0) and on the tabulated powder average (PER 2PI 100),
# OMP_NUM_THREADS=1, with the assessment's log line. gnuplot is stubbed out.
#
# usage: bench/wide_grid.sh [REDORDIST]   (default build/redordist)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(realpath "${1:-$here/../build/redordist}")
work=$(mktemp -d /tmp/redor_wide.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/runs"
printf '#!/bin/sh\nexit 0\n' > "$work/bin/gnuplot"
chmod +x "$work/bin/gnuplot"
export PATH="$work/bin:$PATH" OMP_NUM_THREADS=1
cp "$here/../examples/cn_redor.dat" "$work/"
cd "$work"
for per in 0 100; do
  for solver in maxent gaussians annealing; do
    sed -e "s/^NEAR:.*/NEAR: 0.5/" -e "s/^FAR:.*/FAR: 900/" -e "s/^GRAIN:.*/GRAIN: 0.1/" \
        -e "s/^PER 2PI:.*/PER 2PI: $per/" -e "s/^OUTPUT:.*/OUTPUT: w/" "$here/../examples/fit.par" > w.par
    /usr/bin/time -f "%e %U" -o t.txt "$bin" --solver "$solver" w.par > /dev/null
    read -r wall cpu < t.txt
    printf 'PER 2PI %-3s %-9s  wall %7.2f s  cpu %7.2f s  %s\n' "$per" "$solver" "$wall" "$cpu" \
      "$(grep '^Assessment:' runs/w/w.log)"
  done
done
