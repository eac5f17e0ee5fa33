#!/bin/bash
# MD5 throughput of Md5Digest, natively and as the Windows build under Wine,
# against md5sum on the same 256 MiB file (read from the page cache).
#   bash bench/md5.sh <abs-build-dir>
# Rates are bytes per CPU second (user + system) of the best of three runs, so
# that other work on a shared machine does not skew the comparison; the wall
# rates follow in brackets.
# Goals: native >= 0.9 x md5sum, Wine >= 0.5 x md5sum.
set -u
BUILD_DIR=${1:?usage: md5.sh <abs-build-dir>}
DATA_DIR="$BUILD_DIR/bench-data"
DATA="$DATA_DIR/md5_256m.bin"
SIZE=$((256 * 1024 * 1024))
REPEATS=3

mkdir -p "$DATA_DIR"
if [ ! -f "$DATA" ] || [ "$(stat -c %s "$DATA")" -ne "$SIZE" ]; then
  head -c "$SIZE" /dev/urandom >"$DATA.tmp" && mv "$DATA.tmp" "$DATA" || exit 1
fi
cat "$DATA" >/dev/null

now_ns() { date +%s%N; }
# CPU nanoseconds (user + system) of one md5sum run; its output goes to md5sum.out.
md5sum_cpu_ns() {
  local out
  out=$( { TIMEFORMAT='%3U %3S'; time md5sum "$DATA" >"$DATA_DIR/md5sum.out"; } 2>&1 )
  awk -v t="$out" 'BEGIN { split(t, p, " "); printf "%d", (p[1] + p[2]) * 1e9 }'
}
rate_of() { awk -v b="$1" -v ns="$2" 'BEGIN { printf "%.1f", b / (ns / 1e9) / 1e6 }'; }
ratio_of() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
verdict() { awk -v r="$1" -v g="$2" 'BEGIN { print (r >= g ? "ok" : "BELOW GOAL") }'; }

best_ns=0
best_wall_ns=0
reference=""
for _ in $(seq "$REPEATS"); do
  start=$(now_ns)
  cpu=$(md5sum_cpu_ns)
  reference=$(cut -c1-32 "$DATA_DIR/md5sum.out")
  wall=$(($(now_ns) - start))
  if [ "$best_ns" -eq 0 ] || [ "$cpu" -lt "$best_ns" ]; then best_ns=$cpu; fi
  if [ "$best_wall_ns" -eq 0 ] || [ "$wall" -lt "$best_wall_ns" ]; then best_wall_ns=$wall; fi
done
md5sum_rate=$(rate_of "$SIZE" "$best_ns")
md5sum_wall_rate=$(rate_of "$SIZE" "$best_wall_ns")

status=0
# Runs one bench program, checks its digest and prints the comparison line.
report() {
  local label=$1 goal=$2 output=$3
  local digest rate wall_rate ratio
  digest=$(sed -n 's/.*digest \([0-9a-f]\{32\}\).*/\1/p' <<<"$output")
  rate=$(sed -n 's/.* cpu_rate \([0-9.]*\) MB\/s.*/\1/p' <<<"$output")
  wall_rate=$(sed -n 's/.* rate \([0-9.]*\) MB\/s cpu_seconds.*/\1/p' <<<"$output")
  if [ "$digest" != "$reference" ] || [ -z "$rate" ]; then
    echo "md5 $label: WRONG RESULT (got '${output}', md5sum says $reference)"
    status=1
    return
  fi
  ratio=$(ratio_of "$rate" "$md5sum_rate")
  echo "md5 $label: $rate MB/s, md5sum: $md5sum_rate MB/s, ratio: $ratio" \
    "(goal >= $goal: $(verdict "$ratio" "$goal"); wall: $wall_rate vs $md5sum_wall_rate MB/s)"
}

NATIVE_EXE="$BUILD_DIR/native/md5_bench"
if [ -x "$NATIVE_EXE" ]; then
  report native 0.9 "$("$NATIVE_EXE" "$DATA" "$REPEATS" 2>&1)"
else
  echo "md5 native: missing $NATIVE_EXE"
  status=1
fi

# The Windows build runs under the Wine loader that matches its bitness. A
# machine that cannot start 32-bit programs at all cannot run the 32-bit
# build; the same sources are then built for x86-64 and measured instead, so
# that the cost of Wine's file layer and of the message drain is still shown.
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
WIN_EXE="$BUILD_DIR/win/md5_bench_win.exe"
win_label=wine
loader=""
if [ -f "$WIN_EXE" ]; then
  case "$(file -b "$WIN_EXE")" in
    PE32+*) loader=/usr/lib/wine/wine64 ;;
    PE32*) if /usr/lib/wine/wine --version >/dev/null 2>&1; then loader=/usr/lib/wine/wine; fi ;;
  esac
fi
if [ -z "$loader" ] && [ -x /usr/lib/wine/wine64 ] &&
   command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  WIN_EXE="$BUILD_DIR/bench-win64/md5_bench_win64.exe"
  mkdir -p "$(dirname "$WIN_EXE")"
  if x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -DNOMINMAX -DWIN32_LEAN_AND_MEAN \
      -static -static-libgcc -static-libstdc++ -I"$SOURCE_DIR" \
      "$SOURCE_DIR/bench/md5_bench.cpp" "$SOURCE_DIR/shared/md5_digest.cpp" \
      "$SOURCE_DIR/shared/md5_digest_win.cpp" "$SOURCE_DIR/shared/text_util.cpp" \
      -luser32 -o "$WIN_EXE"; then
    loader=/usr/lib/wine/wine64
    win_label="wine (x86-64 build: this machine cannot start 32-bit programs)"
  fi
fi

if [ -n "$loader" ]; then
  export WINEPREFIX="$BUILD_DIR/bench-wineprefix-$(basename "$loader")" WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADER="$loader"
  mkdir -p "$WINEPREFIX"
  win_path="Z:$(tr '/' '\\' <<<"$DATA")"
  report "$win_label" 0.5 "$("$loader" "$WIN_EXE" "$win_path" "$REPEATS" 2>&1 | tr -d '\r')"
  wineserver -k 2>/dev/null || true
else
  echo "md5 wine: cannot run $WIN_EXE here (no matching Wine loader or build)"
  status=1
fi
exit $status
