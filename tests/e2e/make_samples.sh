#!/usr/bin/env bash
# make_samples.sh BIN DIR [office]: the sample material; with "office" the flat
# office documents are also turned into .docx, .xlsx and .pptx by a soffice of its
# own (a separate profile, so it never meets the component's instances).
set -euo pipefail
bin="$1"; dir="$2"; office="${3:-}"
QT_QPA_PLATFORM=offscreen "$bin/tessarix-samples" "$dir"
if [ "$office" = office ] && command -v soffice >/dev/null; then
  profile="$(mktemp -d)"
  (cd "$dir/office" &&
   soffice --headless --norestore -env:UserInstallation="file://$profile" --convert-to docx report.fodt >/dev/null 2>&1 &&
   soffice --headless --norestore -env:UserInstallation="file://$profile" --convert-to xlsx book.fods >/dev/null 2>&1 &&
   soffice --headless --norestore -env:UserInstallation="file://$profile" --convert-to pptx talk.fodp >/dev/null 2>&1) || true
  rm -rf "$profile"
fi
