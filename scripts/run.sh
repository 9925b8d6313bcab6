#!/usr/bin/env bash
# Starts the window program from the build folder given as $1, on the
# current X or Wayland display.
set -euo pipefail
build=${1:-build}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: start Lumasift from a desktop session (DISPLAY or WAYLAND_DISPLAY unset)." >&2
  exit 1
fi
exec "$build/app/lumasift"
