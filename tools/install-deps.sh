#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, as root. Quick when
# everything is already there: it asks dpkg first and runs apt-get only for
# what is missing.
set -euo pipefail

packages=(
  cmake make g++ clang pkg-config
  googletest libgtest-dev
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 libz-mingw-w64-dev zlib1g-dev libstb-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 xvfb xauth x11-utils xdotool imagemagick
  python3-pytest python3-pyftpdlib
  zip unzip curl procps
  openssl libssl-dev
  xdelta3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages (run 'make deps' as root): ${missing[*]}" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
