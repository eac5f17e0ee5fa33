#!/bin/bash
# Extraction speed of the archive module against Info-ZIP unzip on the same
# archive: 2,000 files, 200 MiB in all, half compressible text and half
# random bytes, made with zip. Each tool extracts into a fresh folder of its
# own; the best wall time of three runs counts, and both results must be
# identical file for file.
#   bash bench/zip.sh <abs-build-dir>
# Goal: module >= 0.8 x unzip.
set -u
BUILD_DIR=${1:?usage: zip.sh <abs-build-dir>}
DATA_DIR="$BUILD_DIR/bench-data/zip"
ARCHIVE="$DATA_DIR/files2000.zip"
EXE="$BUILD_DIR/native/zip_bench"
REPEATS=3
FILES=2000
TOTAL=$((200 * 1024 * 1024))

if [ ! -x "$EXE" ]; then
  echo "zip extract: missing $EXE"
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

now_ns() { date +%s%N; }
rate_of() { awk -v b="$1" -v ns="$2" 'BEGIN { printf "%.1f", b / (ns / 1e9) / 1e6 }'; }

UNZIP_OUT="$DATA_DIR/out-unzip"
MODULE_OUT="$DATA_DIR/out-module"
best_unzip=0
best_module=0
for _ in $(seq "$REPEATS"); do
  rm -rf "$UNZIP_OUT" "$MODULE_OUT"
  sync
  start=$(now_ns)
  unzip -o -q "$ARCHIVE" -d "$UNZIP_OUT" || { echo "zip extract: unzip failed"; exit 1; }
  elapsed=$(($(now_ns) - start))
  if [ "$best_unzip" -eq 0 ] || [ "$elapsed" -lt "$best_unzip" ]; then best_unzip=$elapsed; fi

  sync
  start=$(now_ns)
  "$EXE" "$ARCHIVE" "$MODULE_OUT" >"$DATA_DIR/module.out" 2>&1 || {
    echo "zip extract: module failed: $(cat "$DATA_DIR/module.out")"
    exit 1
  }
  elapsed=$(($(now_ns) - start))
  if [ "$best_module" -eq 0 ] || [ "$elapsed" -lt "$best_module" ]; then best_module=$elapsed; fi
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

module_rate=$(rate_of "$TOTAL" "$best_module")
unzip_rate=$(rate_of "$TOTAL" "$best_unzip")
ratio=$(awk -v a="$module_rate" -v b="$unzip_rate" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
verdict=$(awk -v r="$ratio" 'BEGIN { print (r >= 0.8 ? "ok" : "BELOW GOAL") }')
echo "zip extract: module $module_rate MB/s, unzip $unzip_rate MB/s, ratio $ratio (goal >= 0.8: $verdict)"
