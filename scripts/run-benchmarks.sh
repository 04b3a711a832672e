#!/usr/bin/env bash
# Runs every benchmark program of a build (executables named *_bench under BUILD_DIR/bench).
# Usage: run-benchmarks.sh BUILD_DIR
set -euo pipefail
build=$1
mapfile -t programs < <(find "$build/bench" -type f -name '*_bench' -perm -u+x 2>/dev/null | sort)
if [[ ${#programs[@]} -eq 0 ]]; then
  echo "No benchmarks are built yet."
  exit 0
fi
status=0
for program in "${programs[@]}"; do
  echo "== $(basename "$program")"
  "$program" || status=1
done
exit $status
