#!/usr/bin/env bash
# Runs the sample update (see tools/demo.py).
set -euo pipefail
cd "$(dirname "$0")/.."
exec /usr/bin/python3 tools/demo.py
