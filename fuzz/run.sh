#!/bin/sh
# Runs one fuzz target: fuzz/run.sh TARGET [SECONDS] [BUILD_DIR]
#   TARGET: params, data, prescribed, curve or run; SECONDS default 600.
# New corpus entries go to BUILD_DIR/corpus/TARGET (not into the source
# tree); the seeds of fuzz/corpus/TARGET, the examples and the regression
# cases of tests/fuzz_regressions/TARGET are read as extra corpus
# directories. Crashes are written to BUILD_DIR/artifacts/TARGET/.
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
T=${1:?usage: fuzz/run.sh params|data|prescribed|curve|run [SECONDS] [BUILD_DIR]}
SECONDS_TOTAL=${2:-600}
OUT=${3:-$ROOT/build-fuzz}

case $T in
  params) DICT=$ROOT/fuzz/params.dict ;;
  data|prescribed|curve|run) DICT=$ROOT/fuzz/numbers.dict ;;
  *) echo "unknown target $T" >&2; exit 2 ;;
esac

WORK=$OUT/corpus/$T
EXAMPLES=$OUT/examples-seeds/$T
mkdir -p "$WORK" "$EXAMPLES" "$OUT/artifacts/$T"
# The example inputs: parameter files for params, every other file for the
# three data readers (a file of the wrong kind is still a useful seed).
if [ -d "$ROOT/examples" ]; then
  for f in "$ROOT"/examples/*; do
    [ -f "$f" ] || continue
    case $f in
      *.par) [ "$T" = params ] && cp "$f" "$EXAMPLES/" ;;
      *) [ "$T" != params ] && [ "$T" != run ] && cp "$f" "$EXAMPLES/" ;;
    esac
  done
fi
SEEDS="$ROOT/fuzz/corpus/$T $EXAMPLES"
[ -d "$ROOT/tests/fuzz_regressions/$T" ] && SEEDS="$SEEDS $ROOT/tests/fuzz_regressions/$T"

# A whole run takes seconds under the sanitizers; its leaks are left to the
# replay in the sanitizer build of the suite (a leak check repeats each run).
EXTRA=""
[ "$T" = run ] && EXTRA="-timeout=60 -detect_leaks=0"
# shellcheck disable=SC2086
exec "$OUT/fuzz_$T" "$WORK" $SEEDS -dict="$DICT" -max_total_time="$SECONDS_TOTAL" \
  -rss_limit_mb=2048 -max_len=4096 -timeout=10 $EXTRA \
  -artifact_prefix="$OUT/artifacts/$T/"
