#!/bin/bash
# Runs every benchmark script of this folder (all bench/*.sh but this one),
# in name order, with the absolute build folder (holding native/ and win/).
#   bash bench/run.sh <abs-build-dir>
# Each script prints its own result lines; a failing script is reported and
# the others still run. Exits non-zero if any script failed.
set -u
BUILD_DIR=${1:?usage: run.sh <abs-build-dir>}
BENCH_DIR=$(cd "$(dirname "$0")" && pwd)

failed=()
for script in "$BENCH_DIR"/*.sh; do
  [ "$(basename "$script")" = "run.sh" ] && continue
  echo "== $(basename "$script" .sh)"
  if ! bash "$script" "$BUILD_DIR"; then
    echo "   FAILED: $(basename "$script")"
    failed+=("$(basename "$script")")
  fi
done
if [ "${#failed[@]}" -gt 0 ]; then
  echo "benchmarks failed: ${failed[*]}" >&2
  exit 1
fi
