#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for the given number of seconds each.
# Usage: run-fuzzers.sh BUILD_DIR SECONDS [NAME...]
set -euo pipefail
build=$1
seconds=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
names=("$@")
if [[ ${#names[@]} -eq 0 ]]; then
  for f in "$build"/fuzzers/*_fuzzer; do [[ -x "$f" ]] && names+=("$(basename "$f")"); done
fi
status=0
for name in "${names[@]}"; do
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [[ -d "$root/tests/fuzz/seeds/$name" ]] && seeds=("$root/tests/fuzz/seeds/$name")
  echo "== $name: ${seconds}s"
  if ! "$build/fuzzers/$name" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/corpus/$name-" "$corpus" "${seeds[@]}" 2>"$build/$name.log"; then
    echo "!! $name found a problem; see $build/$name.log"
    status=1
  fi
  grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$build/$name.log" | tail -2 || true
done
exit $status
