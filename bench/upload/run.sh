#!/usr/bin/env bash
# Uploads a 1 GiB file to a loopback sink with FileUpload.StartUpload through the
# page host, and with `curl -F` to the same sink, alternately three times each:
# over http, then over https to a TLS sink (its certificate made for the run).
# The sinks answer "Expect: 100-continue" at once, as real servers do, so curl
# does not wait for it. Prints the throughput ratios ours/curl and our peak memory.
set -euo pipefail
bin="$(cd "$(dirname "$0")" && pwd)"
size_mb="${BENCH_UPLOAD_MB:-1024}"
work="$(mktemp -d)"
sinks=()
trap 'for p in "${sinks[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT

dd if=/dev/zero of="$work/big.bin" bs=1M count="$size_mb" status=none
key=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
openssl req -x509 "${key[@]}" -keyout "$work/ca.key" -out "$work/ca.pem" -days 1 -subj "/CN=bench CA" 2>/dev/null
openssl req "${key[@]}" -keyout "$work/sink.key" -out "$work/sink.csr" -subj "/CN=127.0.0.1" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\n' > "$work/ext"
openssl x509 -req -in "$work/sink.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial \
  -out "$work/sink.pem" -days 1 -extfile "$work/ext" 2>/dev/null

median() { printf '%s\n' "$@" | sort -g | sed -n 2p; }

# bench SCHEME SINK-ARGS...: the three rounds against one sink; prints two lines.
bench() {
  local scheme="$1"; shift
  coproc SINK { exec "$bin/bench-sink" "$@"; }
  sinks+=("$SINK_PID")
  local port
  read -r port <&"${SINK[0]}"
  local url="$scheme://127.0.0.1:$port/upload.asp"
  cat > "$work/page.js" <<JS
var u = new ActiveXObject("Tessarix5.FileUpload");
u.StartUpload("/", "$url", "$work/big.bin", 1);
if (u.NewFileName != "/files/ok") throw new Error("no answer: " + u.NewFileName);
JS
  local ours=() theirs=() rss=0 secs kb
  for i in 1 2 3; do
    /usr/bin/time -f "%e %M" -o "$work/t" env QT_QPA_PLATFORM=offscreen SSL_CERT_FILE="$work/ca.pem" \
      "$bin/tessarix" run "$work/page.js"
    read -r secs kb < "$work/t"; ours+=("$secs"); [ "$kb" -gt "$rss" ] && rss=$kb
    /usr/bin/time -f "%e %M" -o "$work/t" curl -s -o /dev/null --cacert "$work/ca.pem" -F "file=@$work/big.bin" "$url"
    read -r secs kb < "$work/t"; theirs+=("$secs")
  done
  kill "$SINK_PID" 2>/dev/null || true
  local o c
  o=$(median "${ours[@]}"); c=$(median "${theirs[@]}")
  awk -v s="$scheme" -v o="$o" -v c="$c" -v mb="$size_mb" -v rss="$rss" 'BEGIN {
    printf "%s upload of %d MiB: ours %.2f s (%.0f MiB/s), curl -F %.2f s (%.0f MiB/s)\n", s, mb, o, mb/o, c, mb/c;
    printf "%s throughput ratio ours/curl: %.2f (target >= 0.9), peak RSS of the host: %.1f MiB (target <= 64)\n", s, c/o, rss/1024 }'
}

bench http
bench https --tls "$work/sink.pem" "$work/sink.key"
