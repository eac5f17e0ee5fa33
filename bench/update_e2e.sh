#!/bin/bash
# A whole update under Wine against a shell pipeline doing the same work,
# the peak memory of update.exe for a 256 MiB and a 1 GiB file, and the
# size of the shipped update.exe. See bench/update_e2e.py.
#   bash bench/update_e2e.sh <abs-build-dir>
set -u
exec /usr/bin/python3 "$(dirname "$0")/update_e2e.py" "${1:?usage: update_e2e.sh <abs-build-dir>}"
