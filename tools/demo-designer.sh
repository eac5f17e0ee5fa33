#!/usr/bin/env bash
# Starts the designer on the sample project and saves its pages as
# screenshots (see tools/demo_designer.py).
set -euo pipefail
cd "$(dirname "$0")/.."
exec /usr/bin/python3 tools/demo_designer.py
