#!/usr/bin/env bash
# Runs a command (normally ctest) in an environment of its own: a private config and cache folder,
# so that no test reads or writes the user's settings, and the servers the tests need.
set -euo pipefail
scratch=$(mktemp -d -t tonalda-test.XXXXXX)
cleanup() {
  rm -rf "$scratch"
  rm -f /dev/shm/"$TONALDA_SHM_PREFIX"* 2>/dev/null || true
}
trap cleanup EXIT
export XDG_CONFIG_HOME="$scratch/config" XDG_CACHE_HOME="$scratch/cache" XDG_DATA_HOME="$scratch/data"
export TONALDA_HIVE="$scratch/config/tonalda/registry.reg"
# Drive sessions and their locks are named shared objects; tests get names of their own.
export TONALDA_SHM_PREFIX="tonalda-test-$(basename "$scratch")-"
# No test reaches the user's sound server: sound goes nowhere unless a test starts a server of its
# own (the playback tests do).
export PULSE_SERVER="unix:$scratch/no-sound-server"
mkdir -p "$XDG_CONFIG_HOME/tonalda" "$XDG_CACHE_HOME" "$XDG_DATA_HOME"
"$@"
