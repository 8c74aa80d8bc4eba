#!/usr/bin/env bash
# Photographs each control's form as the page host shows it, under Xvfb, with the
# component's own screen capture, into docs/forms/<Control>.jpg. The pictures go
# through the reference server, as a page's capture would.
#   bash scripts/form-pictures.sh [BIN_DIR]      (default build/bin)
set -euo pipefail
cd "$(dirname "$0")/.."
bin="${1:-build/bin}"
out="docs/forms"
for tool in "$bin/tessarix" "$bin/tessarix-cms"; do
  [ -x "$tool" ] || { echo "form-pictures: $tool is missing: build first" >&2; exit 1; }
done
command -v xvfb-run >/dev/null || { echo "form-pictures: xvfb-run is missing (package xvfb)" >&2; exit 1; }

work="$(mktemp -d /tmp/tessarix-forms.XXXXXX)"
cms_pid=""
cleanup() {
  [ -n "$cms_pid" ] && kill "$cms_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$out" "$work/temp"

coproc CMS { exec "$bin/tessarix-cms" --port 0 --root "$work/site" 2>/dev/null; }
cms_pid=$CMS_PID
read -r line <&"${CMS[0]}"
base="$(printf '%s\n' "$line" | grep -o 'http://[0-9.:]*' | head -n1)"

# Each form alone in the host's window. The window stands at the screen's origin
# (there is no window manager) and its layout keeps the control's designed size
# (in pixels below) inside the style's window margin.
declare -A size=([FileUpload]="320 25" [MultiUpload]="400 168" [OfficeImport]="459 274" [ImageImport]="633 513")
for control in FileUpload MultiUpload OfficeImport ImageImport; do
  read -r width height <<<"${size[$control]}"
  page="$work/$control.js"
  cat >"$page" <<JS
var form = new ActiveXObject("Tessarix5.$control");
automation.pump(800); // shown and painted
var shot = new ActiveXObject("Tessarix5.ScreenShot");
var margin = 11, right = margin * 2 + $width, bottom = margin * 2 + $height;
automation.onOverlay(function (h) {
    h.press(0, 0);
    h.move(right / 2, bottom / 2);
    h.move(right, bottom);
    h.release(right, bottom);
    h.doubleClick(right / 2, bottom / 2);
});
shot.BeginScreenShot("/forms/$control/", "$base/upload.asp", 0);
JS
  stored="$work/site/files/forms/$control/screenshot.jpg"
  # The interactive host keeps its window until it is closed: the inner shell ends
  # it once the server holds the picture (placed whole, by a rename).
  TEMP="$work/temp" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$1" run --interactive "$2" & host=$!
    for _ in $(seq 1 300); do
      [ -s "$3" ] && break
      kill -0 "$host" 2>/dev/null || break
      sleep 0.1
    done
    kill "$host" 2>/dev/null || true
    wait "$host" 2>/dev/null || true
  ' form-pictures "$bin/tessarix" "$page" "$stored"
  [ -s "$stored" ] || { echo "form-pictures: no picture of $control" >&2; exit 1; }
  cp "$stored" "$out/$control.jpg"
  echo "form-pictures: $out/$control.jpg"
done
