#!/usr/bin/env bash
# Uploads a 1 GiB file to the loopback sink with FileUpload.StartUpload through the
# page host, and with `curl -F` to the same sink, alternately three times each.
# Prints the throughput ratio ours/curl and our peak resident memory.
set -euo pipefail
bin="$(cd "$(dirname "$0")" && pwd)"
size_mb="${BENCH_UPLOAD_MB:-1024}"
work="$(mktemp -d)"
trap 'kill "${sink_pid:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT

dd if=/dev/zero of="$work/big.bin" bs=1M count="$size_mb" status=none
coproc SINK { exec "$bin/bench-sink"; }
sink_pid=$SINK_PID
read -r port <&"${SINK[0]}"
url="http://127.0.0.1:$port/upload.asp"
cat > "$work/page.js" <<JS
var u = new ActiveXObject("Tessarix5.FileUpload");
u.StartUpload("/", "$url", "$work/big.bin", 1);
if (u.NewFileName != "/files/ok") throw new Error("no answer: " + u.NewFileName);
JS

ours=(); theirs=(); rss=0
for i in 1 2 3; do
  /usr/bin/time -f "%e %M" -o "$work/t" env QT_QPA_PLATFORM=offscreen "$bin/tessarix" run "$work/page.js"
  read -r secs kb < "$work/t"; ours+=("$secs"); [ "$kb" -gt "$rss" ] && rss=$kb
  /usr/bin/time -f "%e %M" -o "$work/t" curl -s -o /dev/null -F "file=@$work/big.bin" "$url"
  read -r secs kb < "$work/t"; theirs+=("$secs")
done
median() { printf '%s\n' "$@" | sort -g | sed -n 2p; }
o=$(median "${ours[@]}"); c=$(median "${theirs[@]}")
awk -v o="$o" -v c="$c" -v mb="$size_mb" -v rss="$rss" 'BEGIN {
  printf "upload of %d MiB: ours %.2f s (%.0f MiB/s), curl -F %.2f s (%.0f MiB/s)\n", mb, o, mb/o, c, mb/c;
  printf "throughput ratio ours/curl: %.2f (target >= 0.9)\n", c/o;
  printf "peak RSS of the host: %.1f MiB (target <= 64)\n", rss/1024 }'
