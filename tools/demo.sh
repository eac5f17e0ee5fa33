#!/usr/bin/env bash
# Runs the sample update (see tools/demo.py).
set -euo pipefail
cd "$(dirname "$0")/.."
/usr/bin/python3 tools/demo.py
bash tools/demo-designer.sh
