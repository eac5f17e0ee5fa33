#!/usr/bin/env bash
# Builds the 32-bit update.exe of an earlier commit, the "previous build" that
# the delta tests and benchmarks turn into the current one by a patch:
#   bash tools/update_exe_pair.sh <build-root>   ->  <build-root>/pairs/update-previous.exe
# Quick when the file is already there. The commit is fixed so the pair stays
# a real pair of consecutive builds; CORVANE_PREVIOUS_COMMIT picks another.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
commit=${CORVANE_PREVIOUS_COMMIT:-88b420f}
out="$build/pairs"
[ -s "$out/update-previous.exe" ] && exit 0
mkdir -p "$out"
src="$out/src"
rm -rf "$src"
mkdir -p "$src"
git -C "$root" archive "$commit" | tar -x -C "$src"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
echo "building update.exe of $commit (once) ..."
cmake -S "$src" -B "$src/build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake "${launcher[@]}" >/dev/null
cmake --build "$src/build" --target update -j"${JOBS:-2}" >/dev/null
cp "$src/build/update.exe" "$out/update-previous.exe"
rm -rf "$src"
