#!/bin/sh
# Builds the libFuzzer targets with clang++ straight from the numeric, input, model, solver
# and output sources (the main CMake project builds with g++, which has no
# libFuzzer).
#
#   fuzz/build.sh [OUTDIR]        default OUTDIR: build-fuzz next to fuzz/
#
# Environment: CXX (default clang++), JOBS (parallel compiles, default 2).
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${1:-$ROOT/build-fuzz}
CXX=${CXX:-clang++}
JOBS=${JOBS:-2}

# Coverage instrumentation for every object; the fuzzer's main only at the
# link of each target. UBSan findings abort so that libFuzzer records them.
COMMON="-std=c++17 -g -O1 -fno-omit-frame-pointer -ffp-contract=off \
 -fsanitize=address,undefined -fno-sanitize-recover=all -I$ROOT"
LIBS="-lgsl -lgslcblas -lm"

mkdir -p "$OUT/obj"

SOURCES=$(cd "$ROOT" && ls numeric/*.cpp input/*.cpp model/*.cpp solver/*/*.cpp output/*.cpp)
# The whole-run target also needs the driver's run (not main or --compare).
DRIVER="driver/run_one.cpp driver/solve.cpp"

# Compile the core in parallel; each object is rebuilt when its source or
# any header is newer.
newest_header=$(ls -t "$ROOT"/numeric/*.h "$ROOT"/input/*.h "$ROOT"/model/*.h "$ROOT"/solver/*/*.h "$ROOT"/output/*.h "$ROOT"/driver/*.h | head -n 1)
for src in $SOURCES $DRIVER; do
  obj="$OUT/obj/$(echo "$src" | tr / _).o"
  if [ ! -f "$obj" ] || [ "$ROOT/$src" -nt "$obj" ] || [ "$newest_header" -nt "$obj" ]; then
    echo "$src $obj"
  fi
done | xargs -r -n 2 -P "$JOBS" sh -c \
  'echo "  CXX $0"; '"$CXX $COMMON"' -fsanitize=fuzzer-no-link -Wno-unknown-pragmas -c "'"$ROOT"'/$0" -o "$1"'

OBJS=""
for src in $SOURCES; do OBJS="$OBJS $OUT/obj/$(echo "$src" | tr / _).o"; done

DRIVER_OBJS=""
for src in $DRIVER; do DRIVER_OBJS="$DRIVER_OBJS $OUT/obj/$(echo "$src" | tr / _).o"; done

for t in params data prescribed curve run; do
  echo "  LINK fuzz_$t"
  extra=""
  [ "$t" = run ] && extra=$DRIVER_OBJS
  # shellcheck disable=SC2086
  $CXX $COMMON -fsanitize=fuzzer "$ROOT/fuzz/fuzz_$t.cpp" $OBJS $extra $LIBS -o "$OUT/fuzz_$t"
done
echo "fuzzers in $OUT"
