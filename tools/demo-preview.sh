#!/usr/bin/env bash
# Shows the updater's wizard as the designer's preview does ("/OP:Preview
# /Tray") with the sample design samples/ui/ui.dat, under Wine on a private
# Xvfb display, and saves a screenshot of each of the four pages.
#
# Usage: tools/demo-preview.sh <output-folder> [build-folder] [ui-file]
#   build-folder: the tree of `make win` (default: build); its win/ (32-bit)
#                 or, where 32-bit programs cannot run, win64/ programs are used
#   ui-file:      a "ui.dat" or "ui.bin" to show instead of the sample (for
#                 an archive, PREVIEW_TITLE gives the design's title)
# Writes <output-folder>/page0.png .. page3.png (the wizard's client area).
set -euo pipefail

out=${1:?usage: tools/demo-preview.sh <output-folder> [build-folder] [ui-file]}
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$repo/build}
ui_file=${3:-$repo/samples/ui/ui.dat}
mkdir -p "$out"
out=$(cd "$out" && pwd)

if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  loader=/usr/lib/wine/wine; arch=win32; tree=$build/win
else
  loader=/usr/lib/wine/wine64; arch=win64; tree=$build/win64
fi
for exe in update.exe wizard_probe.exe; do
  [ -f "$tree/$exe" ] || { echo "missing $tree/$exe (run: make win BUILD=$build)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/corvane-preview-XXXXXX)
xvfb_pid=""
cleanup() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# A display of our own: Xvfb picks a free number and writes it to fd 3.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(tr -d '\n' <"$work/display")
export WINEPREFIX=$work/prefix WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

install=$work/app/updateApp
mkdir -p "$install"
cp "$tree/update.exe" "$install/"
cp "$ui_file" "$install/$(basename "$ui_file")"
# The wizard is found by its caption: the design's title (PREVIEW_TITLE
# names it for an archive).
title=${PREVIEW_TITLE:-}
if [ -z "$title" ] && [ "$(basename "$ui_file")" = "ui.dat" ]; then
  title=$(grep -m1 -i '^title=' "$ui_file" | cut -d= -f2- | tr -d '\r')
fi
title=${title:-Corvane}

echo "preparing Wine ($arch) on display $DISPLAY ..."
"$loader" wineboot --init >/dev/null 2>&1
wineserver -w

probe() { "$loader" "$tree/wizard_probe.exe" "$@" 2>/dev/null | tr -d '\r'; }
fact() { awk -v k="$1" '$1 == k { $1 = ""; sub(/^ /, ""); print }'; }

(cd "$install" && "$loader" update.exe /OP:Preview /Tray >/dev/null 2>&1) &
updater=$!

for page in 0 1 2 3; do
  state=""
  for _ in $(seq 100); do
    state=$(probe wait "$title" 10000 || true)
    [ "$(echo "$state" | fact PAGE)" = "$page" ] && break
    sleep 0.2
  done
  if [ "$(echo "$state" | fact PAGE)" != "$page" ]; then
    echo "page $page did not appear (the design may hide it)" >&2
    continue
  fi
  # Pages 1 and 3 run their demonstration first; their button is enabled
  # when it is over.
  button=1018; [ "$page" = 3 ] && button=1020
  key=FORWARD; [ "$page" = 3 ] && key=EXIT
  for _ in $(seq 50); do
    [ "$(echo "$state" | fact "$key")" = 1 ] && break
    sleep 0.2
    state=$(probe state "$title" || true)
  done
  read -r x y w h <<<"$(echo "$state" | fact CLIENT)"
  sleep 0.3
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/page$page.png"
  echo "page $page: ${w}x${h} -> $out/page$page.png"
  probe click "$title" "$button" >/dev/null || true
done

wait "$updater" || true
