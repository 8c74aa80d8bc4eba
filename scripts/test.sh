#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (CTest prints the summary).
# With no arguments it then checks the packages, runs the suite again under the
# sanitizers (scripts/sanitizers.sh) and runs every fuzz target for 60 s
# (scripts/fuzz.sh); arguments go to CTest and run only what they choose.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
stage() { echo "=== $1 took $((SECONDS - start)) s"; start=$SECONDS; }
bash scripts/setup.sh
stage "install and build"
(cd build && ctest --output-on-failure -j2 --timeout 600 "$@")
stage "tests"

# --- packages: built, checked, and run installed (only for the whole suite) ---
if [ $# -eq 0 ]; then
  bash scripts/package-check.sh build
  stage "packages"
fi
# --- end of packages ---

# --- sanitizers and fuzzers (only for the whole suite) ---
if [ $# -eq 0 ]; then
  bash scripts/sanitizers.sh
  stage "sanitizers"
  bash scripts/fuzz.sh 60
  stage "fuzzers"
fi
