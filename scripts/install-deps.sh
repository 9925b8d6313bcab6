#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Does nothing when every package is already there, so `make run` and
# `make test` can call it each time.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libqscintilla2-qt6-dev libgl-dev
  libpcre2-dev libvectorscan-dev
  libcurl4-openssl-dev libssl-dev zlib1g-dev libicu-dev libpsl-dev libidn2-dev
  libxlsxwriter-dev libgsf-1-dev libsimdjson-dev
  qt6-charts-dev libqt6opengl6-dev qt6-svg-dev qt6-translations-l10n
  libgtest-dev libgmock-dev libbenchmark-dev
  nginx-light openssl curl
  tinyproxy-bin microsocks qtkeychain-qt6-dev
  python3 python3-xlrd python3-openpyxl
  parallel wget
  xvfb xauth fonts-dejavu-core
  famfamfam-silk famfamfam-flag-png
  dpkg-dev lintian appstream desktop-file-utils bash-completion
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# Node.js and npm for the test-only npm packages below, from Debian unless
# the machine already has an npm (a Node.js of its own brings one).
command -v npm >/dev/null 2>&1 || missing+=(nodejs npm)
# Test-only npm packages: the archive tests write web archives with warcio
# (tests/support/warcio, versions pinned by its package-lock.json).
npm_for_tests() {
  local folder
  folder="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/support/warcio"
  [ -d "$folder/node_modules/warcio" ] || npm ci --prefix "$folder" --no-audit --no-fund --loglevel=error
}
[ ${#missing[@]} -eq 0 ] && { npm_for_tests; exit 0; }

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
npm_for_tests
