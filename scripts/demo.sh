#!/usr/bin/env bash
# Installs what is missing, builds, starts the reference CMS server on a free
# loopback port with a fresh root, runs the demo page against it, prints what the
# server stored, and stops the server. --serve keeps it running until Ctrl-C and
# starts a bridge of its own for the editor's page (its own configuration folder
# inside the demo's folder and its own free port, trusting only the demo server),
# so that the user's trusted origins and running bridge stay untouched.
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
bridge_pid=""
trap 'kill "$cms_pid" $bridge_pid 2>/dev/null || true' EXIT
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
  export XDG_CONFIG_HOME="$root/bridge/config" XDG_STATE_HOME="$root/bridge/state"
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_STATE_HOME"
  build/bin/tessarix trust "$base" >/dev/null
  bridge_args=(serve --port 0)
  if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    # No desktop for its dialogs: they take queued answers (see docs/automation.md).
    bridge_args+=(--automation)
    echo "no display: the demo's bridge runs with --automation (its dialogs show nothing)"
  fi
  # Not a second coproc: bash warns that the server's still exists.
  exec {bridge_out}< <(exec build/bin/tessarix "${bridge_args[@]}")
  bridge_pid=$!
  read -r line <&"$bridge_out"
  bridge_port="$(printf '%s\n' "$line" | grep -o '127\.0\.0\.1:[0-9]*' | head -n1 | cut -d: -f2)"
  echo "tessarix serve: port $bridge_port (configuration in $XDG_CONFIG_HOME, trusting $base)"
  echo "editor's page: $base/admin/?port=$bridge_port"
  echo "browse: $base/ (serving until Ctrl-C)"
  wait "$cms_pid"
else
  echo "browse: $base/ (run 'bash scripts/demo.sh --serve' to keep the server running and open the editor's page)"
  if [ "$tls" = 1 ]; then echo "the CA the demo trusted: $pki/ca.pem"; fi
fi
