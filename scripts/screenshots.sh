#!/usr/bin/env bash
# Renders the program's windows to PNG files: runs every screenshot tool the build made
# (tonalda-screenshots*, each rendering its own scenes at pixel ratios 1 and 2) with a private
# hive and folders. Usage: screenshots.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
out="$build/screenshots"
mkdir -p "$out"
found=0
while IFS= read -r tool; do
  found=1
  QT_QPA_PLATFORM=offscreen "$(dirname "$0")/test-env.sh" "$tool" "$out"
done < <(find "$build" -type f -perm -u+x -name 'tonalda-screenshots*' | sort)
[[ $found -eq 1 ]] || { echo "screenshots.sh: no screenshot tool in $build" >&2; exit 1; }
echo "Screenshots are in $out"
