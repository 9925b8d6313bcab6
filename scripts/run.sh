#!/usr/bin/env bash
# Starts the program from the build folder given as $1.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
exec "$build/cli/lumasift-cli" --page "$here/samples/sample-page.html" --headers "$here/samples/sample-headers.txt"
