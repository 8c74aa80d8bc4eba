#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (only what is
# missing), then configures and builds into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config clang ccache
  qt6-base-dev qt6-declarative-dev qt6-qpa-plugins libqt6test6 libqt6sql6-sqlite
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xclip
  libcpp-httplib-dev libsqlite3-dev sqlite3 libjpeg-dev
  libreoffice-writer-nogui libreoffice-calc-nogui libreoffice-impress-nogui libreoffice-dev
  # The fonts that stand in, metric for metric, for those office documents name
  # (Times New Roman, Arial, Courier New, Calibri, Cambria): with others, lines
  # and pages break elsewhere than their authors saw.
  fonts-liberation2 fonts-crosextra-carlito fonts-crosextra-caladea
  qt6-websockets-dev fonts-wqy-zenhei curl libxml2-utils
  libssl-dev openssl chromium qt6-translations-l10n
  dpkg-dev file lintian
  libxcb1-dev dbus-daemon weston qt6-wayland
  # TLS for the controls: Qt's OpenSSL backend plugin, the library it loads, the system's CAs.
  libqt6network6 libssl3 ca-certificates
)
# The browser tests run on node; Debian's nodejs and npm only where npm is missing.
command -v npm >/dev/null || packages+=(nodejs npm)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The browser tests' own packages, exactly as locked (puppeteer-core fetches no browser).
if [ ! -f tests/browser/node_modules/.package-lock.json ] || [ tests/browser/package-lock.json -nt tests/browser/node_modules/.package-lock.json ]; then
  (cd tests/browser && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
