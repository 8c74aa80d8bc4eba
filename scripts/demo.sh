#!/usr/bin/env bash
# Installs what is missing, builds, starts the reference CMS server on a free
# loopback port with a fresh root, runs the demo page against it, prints what the
# server stored, and stops the server (--serve keeps it running until Ctrl-C).
set -euo pipefail
cd "$(dirname "$0")/.."
serve=0
[ "${1:-}" = "--serve" ] && serve=1
bash scripts/setup.sh

root="$(mktemp -d /tmp/tessarix-demo.XXXXXX)"
work="$root/work"
mkdir -p "$work"
coproc CMS { exec build/bin/tessarix-cms --port 0 --root "$root/site"; }
cms_pid=$CMS_PID
trap 'kill "$cms_pid" 2>/dev/null || true' EXIT
read -r line <&"${CMS[0]}"
base="$(printf '%s\n' "$line" | grep -o 'http://[0-9.:]*' | head -n1)"
echo "tessarix-cms: $base (root $root/site)"

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
fi
