#!/bin/bash
# The patch codec against xdelta3 on the same pairs of files: patch size
# against `xdelta3 -e -S none` (goal: ours <= 1.25 x xdelta3's) and the
# time to apply a patch against `xdelta3 -d` (each tool applying its own
# patch; goal: ours at least as fast), CPU time (user + system) of the best
# of three measurements (each the mean of ten runs). Every result is checked byte for byte, and each patch is
# applied by the other tool as well. Then the bytes an update of update.exe
# from the previous build downloads with and without its patch.
#   bash bench/vcdiff.sh <abs-build-dir>
set -u
BUILD_DIR=${1:?usage: vcdiff.sh <abs-build-dir>}
DATA_DIR="$BUILD_DIR/bench-data/vcdiff"
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
REPEATS=3

# Measured in an optimised build of its own (the test tree has sanitizers).
RELEASE_DIR="$BUILD_DIR/bench-release"
EXE="$RELEASE_DIR/vcdiff_bench"
if ! cmake -S "$SOURCE_DIR" -B "$RELEASE_DIR" -DCMAKE_BUILD_TYPE=Release -DCORVANE_SANITIZE=OFF >/dev/null ||
   ! cmake --build "$RELEASE_DIR" --target vcdiff_bench -j2 >"$RELEASE_DIR/build-vcdiff.log" 2>&1; then
  echo "vcdiff: cannot build $EXE (see $RELEASE_DIR/build-vcdiff.log)"
  exit 1
fi
PREVIOUS="$BUILD_DIR/pairs/update-previous.exe"
CURRENT="$BUILD_DIR/win/update.exe"
if [ ! -s "$PREVIOUS" ] || [ ! -s "$CURRENT" ]; then
  echo "vcdiff: needs $CURRENT and $PREVIOUS (make win32 pairs)"
  exit 1
fi

# The pairs: two builds of update.exe, release notes edited, a file that
# grew and one that shrank, and 64 MiB of a program's data with scattered
# changes (enough work to time the decoders rather than process start).
mkdir -p "$DATA_DIR"
cp "$PREVIOUS" "$DATA_DIR/update.exe.old"
cp "$CURRENT" "$DATA_DIR/update.exe.new"
if [ ! -f "$DATA_DIR/large.new" ]; then
  /usr/bin/python3 - "$DATA_DIR" <<'PY' || exit 1
import random, sys
d = sys.argv[1]
rng = random.Random(18)
def write(name, data):
    with open(f"{d}/{name}", "wb") as f:
        f.write(data)
lines = [b"%d. Fixed the update of file%d when the server sends %s.\r\n" % (i, i % 20, rng.choice([b"a redirect", b"no length", b"a range"])) for i in range(6000)]
old_text = b"".join(lines)
for i in sorted(rng.sample(range(6000), 60)):
    lines[i] = b"%d. Changed in 1.1: %d\r\n" % (i, rng.randrange(10**6))
new_text = b"".join(lines[:3000]) + b"".join(lines[:200]) + b"".join(lines[3000:])
write("text.old", old_text); write("text.new", new_text)
base = rng.randbytes(2_000_000)
write("grown.old", base)
write("grown.new", base[:500_000] + rng.randbytes(300_000) + base[500_000:] + rng.randbytes(200_000))
write("shrunk.old", base)
write("shrunk.new", base[:300_000] + base[900_000:1_500_000] + base[1_700_000:])
big = bytearray(rng.randbytes(64 << 20))
write("large.old", big)
for _ in range(2000):
    at = rng.randrange(len(big) - 64)
    big[at:at + rng.randrange(1, 64)] = rng.randbytes(rng.randrange(1, 64))
write("large.new", bytes(big))
PY
fi

# CPU nanoseconds (user + system) of one run, from LOOPS runs in a row:
# a small file applies in about a millisecond, the resolution of `time`.
LOOPS=10
repeat() { for _ in $(seq "$LOOPS"); do "$@" || return 1; done; }
measure() {
  local times
  times=$( { TIMEFORMAT='%3R %3U %3S'; time repeat "$@" >"$DATA_DIR/last.out" 2>&1; } 2>&1 ) || return 1
  awk -v t="$times" -v n="$LOOPS" 'BEGIN { split(t, p, " "); printf "%d", (p[2] + p[3]) * 1e9 / n }'
}
best() {  # best CPU nanoseconds of REPEATS runs of a command
  local low=0 ns
  for _ in $(seq "$REPEATS"); do
    ns=$(measure "$@") || return 1
    if [ "$low" -eq 0 ] || [ "$ns" -lt "$low" ]; then low=$ns; fi
  done
  echo "$low"
}
size() { stat -c %s "$1"; }

failed=0
for pair in update.exe text grown shrunk large; do
  old="$DATA_DIR/$pair.old" new="$DATA_DIR/$pair.new"
  theirs="$DATA_DIR/$pair.xdelta3" ours="$DATA_DIR/$pair.ours"
  xdelta3 -f -e -S none -s "$old" "$new" "$theirs" || { echo "vcdiff $pair: xdelta3 -e failed"; exit 1; }
  "$EXE" encode "$old" "$new" "$ours" || { echo "vcdiff $pair: our encoder failed"; exit 1; }
  # Each tool applies both patches; every result must be the new file.
  for patch in "$theirs" "$ours"; do
    "$EXE" decode "$old" "$patch" "$DATA_DIR/out" && cmp -s "$DATA_DIR/out" "$new" ||
      { echo "vcdiff $pair: WRONG RESULT from our decoder on $(basename "$patch")"; exit 1; }
    xdelta3 -f -d -s "$old" "$patch" "$DATA_DIR/out" && cmp -s "$DATA_DIR/out" "$new" ||
      { echo "vcdiff $pair: WRONG RESULT from xdelta3 -d on $(basename "$patch")"; exit 1; }
  done
  ours_ns=$(best "$EXE" decode "$old" "$ours" "$DATA_DIR/out") || exit 1
  theirs_ns=$(best xdelta3 -f -d -s "$old" "$theirs" "$DATA_DIR/out") || exit 1
  rm -f "$DATA_DIR/out"
  awk -v pair="$pair" -v n="$(size "$new")" -v o="$(size "$ours")" -v x="$(size "$theirs")" \
      -v on="$ours_ns" -v xn="$theirs_ns" 'BEGIN {
    r = o / x; t = (xn > 0 ? on / xn : 0)
    printf "vcdiff %s (%d bytes): patch %d bytes, xdelta3 %d, ratio %.2f (goal <= 1.25: %s); " \
           "apply %.2f ms, xdelta3 -d %.2f ms, ratio %.2f (goal <= 1: %s)\n", pair, n, o, x, r,
           (r <= 1.25 ? "ok" : "ABOVE GOAL"), on / 1e6, xn / 1e6, t, (t <= 1 ? "ok" : "SLOWER")
    exit (r <= 1.25 ? 0 : 1) }' || failed=1
done

# An update of update.exe from the previous build: the whole file, or the
# patch the package build writes (the updater fetches exactly one of them).
whole=$(size "$DATA_DIR/update.exe.new") patch=$(size "$DATA_DIR/update.exe.ours")
awk -v w="$whole" -v p="$patch" 'BEGIN {
  printf "vcdiff update.exe from the previous build: %d bytes without the patch, %d with it (%.1f %%, %d bytes saved)\n",
         w, p, 100 * p / w, w - p }'
exit "$failed"
