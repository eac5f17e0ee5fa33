#!/usr/bin/env bash
# Lays the built programs out as they ship.
set -euo pipefail
win_build=$1
dist=$2
mkdir -p "$dist/updateApp"
cp -f "$win_build/update.exe" "$dist/updateApp/update.exe"
if [ -f "$win_build/Corvane.exe" ]; then
  cp -f "$win_build/Corvane.exe" "$dist/Corvane.exe"
fi
# The header publishers' programs include to read the updater's messages.
mkdir -p "$dist/sdk"
cp -f "$(dirname "$0")/../sdk/corvane_host.h" "$dist/sdk/corvane_host.h"
# The designer keeps its status file in system\; it is created on first use,
# but the folder ships so the layout is visible.
mkdir -p "$dist/system"
