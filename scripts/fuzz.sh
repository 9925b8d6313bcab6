#!/usr/bin/env bash
# Runs every fuzz harness of a LUMASIFT_FUZZ build for the given number of
# seconds each, one after another, on a copy of its corpus (the corpus in
# the tree is not changed). Inputs that crash or break an invariant are kept
# in <build>/fuzz-artifacts/<harness>/; copy each into fuzz/corpus/<harness>/
# with a name that says what it shows once the fault is fixed.
# Usage: scripts/fuzz.sh <build folder> <seconds per harness> [harness...]
set -uo pipefail

BUILD=${1:?build folder}
SECONDS_EACH=${2:?seconds per harness}
shift 2
SOURCE=$(cd "$(dirname "$0")/.." && pwd)
HARNESSES=("$@")
if [ ${#HARNESSES[@]} -eq 0 ]; then
  for f in "$SOURCE"/fuzz/*_fuzz.cpp; do
    name=$(basename "$f" _fuzz.cpp)
    HARNESSES+=("$name")
  done
fi

# Reports of undefined behaviour carry their stack; leaks end the run.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}

failed=()
for name in "${HARNESSES[@]}"; do
  program="$BUILD/fuzz/${name}_fuzz"
  corpus="$BUILD/fuzz-corpus/$name"
  artifacts="$BUILD/fuzz-artifacts/$name"
  rm -rf "$corpus"
  mkdir -p "$corpus" "$artifacts"
  cp "$SOURCE/fuzz/corpus/$name"/* "$corpus"/
  echo "== $name: ${SECONDS_EACH}s"
  # One job: the machine's other cores are left to the rest of its work.
  if ! "$program" -max_total_time="$SECONDS_EACH" -timeout=25 -rss_limit_mb=2048 -max_len=65536 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" 2>"$BUILD/fuzz-$name.log"; then
    failed+=("$name")
    tail -n 40 "$BUILD/fuzz-$name.log"
  fi
  grep -E "^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|^#[0-9]+ +DONE" \
    "$BUILD/fuzz-$name.log" | sed "s/^/   /"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs in $BUILD/fuzz-artifacts/)"
  exit 1
fi
echo "no faults found"
