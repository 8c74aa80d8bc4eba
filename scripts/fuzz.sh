#!/usr/bin/env bash
# fuzz.sh [SECONDS] [NAME...]: builds the fuzz preset (clang, libFuzzer, into
# build-fuzz/) and runs each fuzz target (every fuzz/<name>.cpp, or the names
# given) for SECONDS (60) from its corpus fuzz/corpus/<name>/, as many at once as
# there are cores. New inputs go to build-fuzz/work/<name>/, never into the saved
# corpus; any finding (crash, leak, time-out, memory) is kept as
# build-fuzz/findings/<name>/ and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=60
if [[ $# -gt 0 && $1 =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for src in fuzz/*.cpp; do
    name=$(basename "$src" .cpp)
    [ "$name" = ReplayMain ] || names+=("$name")
  done
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target "${names[@]/#/fuzz-}"

out=build-fuzz
run_one() {
  local name=$1
  rm -rf "$out/work/$name" "$out/findings/$name"
  mkdir -p "$out/work/$name" "$out/findings/$name"
  if "$out/bin/fuzz-$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$out/findings/$name/" "$out/work/$name" "fuzz/corpus/$name" >"$out/findings/$name/log" 2>&1; then
    echo "fuzz-$name: no finding in ${seconds} s ($(grep -o 'stat::number_of_executed_units: [0-9]*' "$out/findings/$name/log" | grep -o '[0-9]*$') runs)"
    return 0
  fi
  echo "fuzz-$name: FINDING (build-fuzz/findings/$name/)" >&2
  tail -n 40 "$out/findings/$name/log" >&2
  return 1
}

jobs_max=$(nproc)
failed=0
running=0
for name in "${names[@]}"; do
  if [ "$running" -ge "$jobs_max" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  run_one "$name" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
