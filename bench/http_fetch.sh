#!/bin/bash
# HTTP download rate of the transfer engine (DownloadHttp, driven by
# transfer_probe.exe under Wine, with its progress reports to a host window)
# against curl, both fetching the same 256 MiB file from one threaded HTTP
# server on 127.0.0.1 in the same run.
#   bash bench/http_fetch.sh <abs-build-dir>
# Each side is timed three times, alternating, and the best run counts. The
# engine's time is the probe's own measure of the download call (session,
# connection, transfer, close), without Wine's process start-up; curl's is
# the wall time of the whole curl process.
# Goal: engine >= 0.7 x curl.
set -u
BUILD_DIR=${1:?usage: http_fetch.sh <abs-build-dir>}
DATA_DIR="$BUILD_DIR/bench-data"
SERVE_DIR="$DATA_DIR/http"
DATA="$SERVE_DIR/http_256m.bin"
SIZE=$((256 * 1024 * 1024))
REPEATS=3
PYTHON=/usr/bin/python3

mkdir -p "$SERVE_DIR"
if [ ! -f "$DATA" ] || [ "$(stat -c %s "$DATA")" -ne "$SIZE" ]; then
  head -c "$SIZE" /dev/urandom >"$DATA.tmp" && mv "$DATA.tmp" "$DATA" || exit 1
fi
cat "$DATA" >/dev/null

# The probe of the build that this machine's Wine can run.
PROBE="" LOADER=""
if [ -f "$BUILD_DIR/win/transfer_probe.exe" ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  PROBE="$BUILD_DIR/win/transfer_probe.exe" LOADER=/usr/lib/wine/wine
elif [ -f "$BUILD_DIR/win64/transfer_probe.exe" ] && [ -x /usr/lib/wine/wine64 ]; then
  PROBE="$BUILD_DIR/win64/transfer_probe.exe" LOADER=/usr/lib/wine/wine64
fi
if [ -z "$PROBE" ]; then
  echo "http fetch: no transfer_probe.exe that this machine's Wine can run"
  exit 1
fi
if ! command -v curl >/dev/null; then
  echo "http fetch: curl is missing"
  exit 1
fi

OUT_DIR=$(mktemp -d "$DATA_DIR/http-out.XXXXXX")
PORT_FILE="$OUT_DIR/port"
"$PYTHON" - "$SERVE_DIR" "$PORT_FILE" <<'EOF' &
import functools, http.server, sys
class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass
handler = functools.partial(Quiet, directory=sys.argv[1])
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
open(sys.argv[2], "w").write(str(server.server_address[1]))
server.serve_forever()
EOF
SERVER_PID=$!

export WINEPREFIX="$BUILD_DIR/bench-wineprefix-$(basename "$LOADER")" WINEDEBUG=-all \
  WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADER="$LOADER"
mkdir -p "$WINEPREFIX"
cleanup() {
  kill "$SERVER_PID" 2>/dev/null
  wait "$SERVER_PID" 2>/dev/null
  wineserver -k 2>/dev/null
  rm -rf "$OUT_DIR"
}
trap cleanup EXIT

for _ in $(seq 50); do [ -s "$PORT_FILE" ] && break; sleep 0.1; done
URL="http://127.0.0.1:$(cat "$PORT_FILE")/http_256m.bin"
ENGINE_OUT="$OUT_DIR/engine.bin"
CURL_OUT="$OUT_DIR/curl.bin"
WIN_OUT="Z:$(tr '/' '\\' <<<"$ENGINE_OUT")"

now_ns() { date +%s%N; }
rate_of() { awk -v b="$1" -v ns="$2" 'BEGIN { printf "%.1f", b / (ns / 1e9) / 1e6 }'; }

status=0
best_engine=0
best_curl=0
for _ in $(seq "$REPEATS"); do
  rm -f "$ENGINE_OUT" "$CURL_OUT"
  output=$("$LOADER" "$PROBE" --quiet http "$URL" "$WIN_OUT" 2>/dev/null | tr -d '\r')
  elapsed_ms=$(sed -n 's/^ELAPSED \([0-9]*\)$/\1/p' <<<"$output")
  if ! grep -qx "RESULT 1" <<<"$output" || ! cmp -s "$ENGINE_OUT" "$DATA"; then
    echo "http fetch: engine download FAILED or differs ($(tr '\n' ' ' <<<"$output"))"
    status=1
    break
  fi
  engine_ns=$((elapsed_ms * 1000000))
  if [ "$best_engine" -eq 0 ] || [ "$engine_ns" -lt "$best_engine" ]; then best_engine=$engine_ns; fi

  start=$(now_ns)
  if ! curl -s -o "$CURL_OUT" "$URL" || ! cmp -s "$CURL_OUT" "$DATA"; then
    echo "http fetch: curl download FAILED"
    status=1
    break
  fi
  curl_ns=$(($(now_ns) - start))
  if [ "$best_curl" -eq 0 ] || [ "$curl_ns" -lt "$best_curl" ]; then best_curl=$curl_ns; fi
done

if [ "$status" -eq 0 ]; then
  engine_rate=$(rate_of "$SIZE" "$best_engine")
  curl_rate=$(rate_of "$SIZE" "$best_curl")
  ratio=$(awk -v a="$engine_rate" -v b="$curl_rate" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  verdict=$(awk -v r="$ratio" 'BEGIN { print (r >= 0.7 ? "ok" : "BELOW GOAL") }')
  echo "http fetch: engine $engine_rate MB/s, curl $curl_rate MB/s, ratio $ratio" \
    "(goal >= 0.7: $verdict; $(basename "$(dirname "$PROBE")") build under $(basename "$LOADER"))"
fi
exit $status
