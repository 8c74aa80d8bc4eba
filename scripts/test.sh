#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (CTest prints the summary).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
(cd build && ctest --output-on-failure -j2 --timeout 600 "$@")

# --- packages: built, checked, and run installed (only for the whole suite) ---
if [ $# -eq 0 ]; then
  bash scripts/package-check.sh build
fi
# --- end of packages ---
