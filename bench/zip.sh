#!/bin/bash
# Extraction speed of the archive module against Info-ZIP unzip on the same
# archive: 2,000 files, 200 MiB in all, half compressible text and half
# random bytes, made with zip. Each tool extracts into a fresh folder of its
# own, and both results must be identical file for file. Rates are bytes per
# CPU second (user + system) of the best of three runs, so that other work on
# a shared machine does not skew the comparison; wall rates follow in brackets.
#   bash bench/zip.sh <abs-build-dir>
# Goal: module >= 0.8 x unzip.
set -u
BUILD_DIR=${1:?usage: zip.sh <abs-build-dir>}
DATA_DIR="$BUILD_DIR/bench-data/zip"
ARCHIVE="$DATA_DIR/files2000.zip"
REPEATS=3
FILES=2000
TOTAL=$((200 * 1024 * 1024))

# The native test tree carries ASan and UBSan, which multiply the cost of
# every allocation and page fault; the speed of the module is measured in an
# optimised build of its own.
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
RELEASE_DIR="$BUILD_DIR/bench-release"
EXE="$RELEASE_DIR/zip_bench"
if ! cmake -S "$SOURCE_DIR" -B "$RELEASE_DIR" -DCMAKE_BUILD_TYPE=Release -DCORVANE_SANITIZE=OFF >/dev/null ||
   ! cmake --build "$RELEASE_DIR" --target zip_bench -j2 >"$RELEASE_DIR/build.log" 2>&1; then
  echo "zip extract: cannot build $EXE (see $RELEASE_DIR/build.log)"
  exit 1
fi

mkdir -p "$DATA_DIR"
if [ ! -f "$ARCHIVE" ]; then
  rm -rf "$DATA_DIR/src"
  /usr/bin/python3 - "$DATA_DIR/src" "$FILES" "$TOTAL" <<'PY' || exit 1
import os, random, sys
root, files, total = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(2000)
base, extra = divmod(total, files)
for i in range(files):
    size = base + (1 if i < extra else 0)
    folder = os.path.join(root, "dir%02d" % (i % 40))
    os.makedirs(folder, exist_ok=True)
    if i % 2:
        data = rng.randbytes(size)
    else:
        words = [b"version", b"update", b"file%d" % i, b"1.0.%d" % rng.randrange(999), b"\r\n"]
        text = b" ".join(rng.choice(words) for _ in range(size // 4 + 1))
        data = text[:size]
    with open(os.path.join(folder, "f%04d.bin" % i), "wb") as f:
        f.write(data)
PY
  (cd "$DATA_DIR/src" && zip -q -r "$ARCHIVE.tmp" .) && mv "$ARCHIVE.tmp" "$ARCHIVE" || exit 1
  rm -rf "$DATA_DIR/src"
fi
cat "$ARCHIVE" >/dev/null

# Wall and CPU (user + system) nanoseconds of one command, as "wall cpu".
measure() {
  local times
  times=$( { TIMEFORMAT='%3R %3U %3S'; time "$@" >"$DATA_DIR/last.out" 2>&1; } 2>&1 ) || return 1
  awk -v t="$times" 'BEGIN { split(t, p, " "); printf "%d %d", p[1] * 1e9, (p[2] + p[3]) * 1e9 }'
}
rate_of() { awk -v b="$1" -v ns="$2" 'BEGIN { printf "%.1f", b / (ns / 1e9) / 1e6 }'; }
lower() { if [ "$1" -eq 0 ] || [ "$2" -lt "$1" ]; then echo "$2"; else echo "$1"; fi; }

UNZIP_OUT="$DATA_DIR/out-unzip"
MODULE_OUT="$DATA_DIR/out-module"
unzip_wall=0 unzip_cpu=0 module_wall=0 module_cpu=0
for _ in $(seq "$REPEATS"); do
  rm -rf "$UNZIP_OUT" "$MODULE_OUT"
  sync
  read -r wall cpu < <(measure unzip -o -q "$ARCHIVE" -d "$UNZIP_OUT") || true
  if [ -z "${wall:-}" ]; then echo "zip extract: unzip failed: $(cat "$DATA_DIR/last.out")"; exit 1; fi
  unzip_wall=$(lower "$unzip_wall" "$wall") unzip_cpu=$(lower "$unzip_cpu" "$cpu")
  wall=""
  sync
  read -r wall cpu < <(measure "$EXE" "$ARCHIVE" "$MODULE_OUT") || true
  if [ -z "${wall:-}" ]; then echo "zip extract: module failed: $(cat "$DATA_DIR/last.out")"; exit 1; fi
  module_wall=$(lower "$module_wall" "$wall") module_cpu=$(lower "$module_cpu" "$cpu")
  wall=""
done

if ! diff -r -q "$UNZIP_OUT" "$MODULE_OUT" >/dev/null; then
  echo "zip extract: WRONG RESULT (the module's files differ from unzip's)"
  exit 1
fi
count=$(find "$MODULE_OUT" -type f | wc -l)
rm -rf "$UNZIP_OUT" "$MODULE_OUT"
if [ "$count" -ne "$FILES" ]; then
  echo "zip extract: WRONG RESULT ($count files instead of $FILES)"
  exit 1
fi

module_rate=$(rate_of "$TOTAL" "$module_cpu")
unzip_rate=$(rate_of "$TOTAL" "$unzip_cpu")
ratio=$(awk -v a="$module_rate" -v b="$unzip_rate" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
verdict=$(awk -v r="$ratio" 'BEGIN { print (r >= 0.8 ? "ok" : "BELOW GOAL") }')
echo "zip extract: module $module_rate MB/s, unzip $unzip_rate MB/s, ratio $ratio" \
  "(goal >= 0.8: $verdict; wall: $(rate_of "$TOTAL" "$module_wall") vs $(rate_of "$TOTAL" "$unzip_wall") MB/s)"
