#!/usr/bin/env bash
# Runs every benchmark program of the build folder given as $1.
set -euo pipefail
build=${1:-build}
for b in "$build"/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
done
