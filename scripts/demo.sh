#!/usr/bin/env bash
# Installs what is missing, builds, starts the reference CMS server on a free
# loopback port with a fresh root, runs the demo page against it, prints what the
# server stored, and stops the server (--serve keeps it running until Ctrl-C).
# --tls makes a throw-away CA and server certificate in the demo's folder and runs
# the whole demo over https, trusting that CA alone (SSL_CERT_FILE).
set -euo pipefail
cd "$(dirname "$0")/.."
serve=0
tls=0
for arg in "$@"; do
  case "$arg" in
    --serve) serve=1 ;;
    --tls) tls=1 ;;
    *) echo "usage: scripts/demo.sh [--serve] [--tls]" >&2; exit 2 ;;
  esac
done
bash scripts/setup.sh

root="$(mktemp -d /tmp/tessarix-demo.XXXXXX)"
work="$root/work"
mkdir -p "$work"
tls_args=()
curl_hint=""
if [ "$tls" = 1 ]; then
  pki="$root/pki"
  mkdir -p "$pki"
  key=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
  openssl req -x509 "${key[@]}" -keyout "$pki/ca.key" -out "$pki/ca.pem" -days 7 \
    -subj "/CN=Tessarix demo CA" 2>/dev/null
  openssl req "${key[@]}" -keyout "$pki/server.key" -out "$pki/server.csr" -subj "/CN=127.0.0.1" 2>/dev/null
  printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n' > "$pki/ext"
  openssl x509 -req -in "$pki/server.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial \
    -out "$pki/server.pem" -days 7 -extfile "$pki/ext" 2>/dev/null
  tls_args=(--tls "$pki/server.pem" "$pki/server.key")
  export SSL_CERT_FILE="$pki/ca.pem"
  unset SSL_CERT_DIR
  curl_hint=" (curl --cacert $pki/ca.pem)"
fi
coproc CMS { exec build/bin/tessarix-cms --port 0 --root "$root/site" "${tls_args[@]}"; }
cms_pid=$CMS_PID
trap 'kill "$cms_pid" 2>/dev/null || true' EXIT
read -r line <&"${CMS[0]}"
if [ "$tls" = 1 ]; then
  read -r line <&"${CMS[0]}"
  base="$(printf '%s\n' "$line" | grep -o 'https://[0-9.:]*' | head -n1)"
else
  base="$(printf '%s\n' "$line" | grep -o 'http://[0-9.:]*' | head -n1)"
fi
echo "tessarix-cms: $base (root $root/site)$curl_hint"

echo "making the sample documents and pictures..."
bash tests/e2e/make_samples.sh build/bin "$work/samples" office
printf 'var CMS = "%s";\nvar SAMPLES = "%s";\n' "$base" "$work/samples" > "$work/page.js"
cat examples/demo.js >> "$work/page.js"
export TEMP="$work/temp"
mkdir -p "$TEMP"
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" build/bin/tessarix run "$work/page.js"

echo "== articles on the server (title | pages):"
sqlite3 -batch -separator ' | ' "$root/site/cms.sqlite" "select title, pages from articles order by id;" | sed 's/^/   /'
echo "== stored files:"
(cd "$root/site" && find files -type f 2>/dev/null | sort | sed 's/^/   \//')
if [ "$serve" = 1 ]; then
  echo "browse: $base/ (serving until Ctrl-C)"
  wait "$cms_pid"
else
  echo "browse: $base/ (run 'bash scripts/demo.sh --serve' to keep the server running)"
  [ "$tls" = 1 ] && echo "the CA the demo trusted: $pki/ca.pem"
fi
