#!/bin/bash
# Runs every libFuzzer target of a fuzz build for a bounded time each.
#   bash tests/fuzz/run.sh <fuzz-build-dir> <seconds-per-target>
# Each target keeps a working corpus under the build folder, seeded from
# tests/fuzz/corpus/<target>/ when that exists; crashing inputs land in
# <build>/fuzz-artifacts/<target>/. Exits non-zero if any target failed.
set -u
BUILD_DIR=${1:?usage: run.sh <fuzz-build-dir> <seconds>}
SECONDS_EACH=${2:-30}
SOURCE_DIR=$(cd "$(dirname "$0")" && pwd)
BUILD_DIR=$(cd "$BUILD_DIR" && pwd)

failed=()
ran=0
for exe in "$BUILD_DIR"/*_fuzz; do
  [ -x "$exe" ] && [ -f "$exe" ] || continue
  target=$(basename "$exe")
  corpus="$BUILD_DIR/fuzz-corpus/$target"
  artifacts="$BUILD_DIR/fuzz-artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  if [ -d "$SOURCE_DIR/corpus/$target" ]; then
    cp -n "$SOURCE_DIR/corpus/$target"/* "$corpus"/ 2>/dev/null || true
  fi
  extra=()
  [ -f "$SOURCE_DIR/$target.dict" ] && extra+=("-dict=$SOURCE_DIR/$target.dict")
  echo "== $target: ${SECONDS_EACH}s"
  ran=$((ran + 1))
  if "$exe" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$artifacts/" -print_final_stats=1 "${extra[@]}" "$corpus" \
      >"$BUILD_DIR/fuzz-artifacts/$target.log" 2>&1; then
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' \
      "$BUILD_DIR/fuzz-artifacts/$target.log" | sed 's/^/   /'
    echo "   ok"
  else
    echo "   FAILED (log: $BUILD_DIR/fuzz-artifacts/$target.log)"
    tail -n 30 "$BUILD_DIR/fuzz-artifacts/$target.log" | sed 's/^/   | /'
    failed+=("$target")
  fi
done

if [ "$ran" -eq 0 ]; then
  echo "no *_fuzz executables in $BUILD_DIR" >&2
  exit 1
fi
if [ "${#failed[@]}" -gt 0 ]; then
  echo "fuzz targets failed: ${failed[*]}" >&2
  exit 1
fi
echo "all $ran fuzz targets ran clean"
