#!/usr/bin/env bash
# sanitizers.sh [CTEST ARGS]: builds the asan preset (AddressSanitizer and
# UndefinedBehaviorSanitizer over everything, into build-asan/) and runs under it
# every test labelled unit, process or e2e (or the tests the arguments choose).
# A sanitizer report fails its test.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$(nproc)"
if [ $# -eq 0 ]; then
  set -- -L '^(unit|process|e2e)$'
fi
ctest --preset asan -j"$(nproc)" --timeout 900 "$@"
