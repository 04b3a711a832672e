#!/usr/bin/env bash
# End-to-end: installs the build into a scratch prefix, writes a scratch hive with tonalda-setup,
# starts the installed tonalda under Xvfb with the demo disc in the virtual drive and drives it
# through the accessibility bus (drive_window.py), as a screen reader would.
# Usage: installed_program_test.sh BUILD_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d -t tonalda-e2e.XXXXXX)
trap 'rm -rf "$scratch"; rm -f /dev/shm/"$TONALDA_SHM_PREFIX"* 2>/dev/null || true' EXIT

prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" > "$scratch/install.log"

export TONALDA_HIVE="$scratch/registry.reg"
export XDG_CONFIG_HOME="$scratch/config" XDG_CACHE_HOME="$scratch/cache" XDG_DATA_HOME="$scratch/data"
export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export TONALDA_SHM_PREFIX="tonalda-e2e-$$-"
# A machine without a sound server: the player's file mode and the volume say why they are grey.
export PULSE_SERVER="unix:$scratch/no-sound-server"
export TONALDA_ASPI_LIBRARY="$prefix/lib/tonalda/vdrive/libwnaspi32.so"
export TONALDA_VDRIVE="$prefix/lib/tonalda/demo/demo.disc"
"$prefix/bin/tonalda-setup" > /dev/null

# The desktop entry and the metainfo as installed.
desktop-file-validate "$prefix/share/applications/com.quarrowind.Tonalda.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/com.quarrowind.Tonalda.metainfo.xml" > /dev/null

# The rip runs against a hive of its own whose rip folder lies in a scratch home, on a generated
# disc of two short tracks.
export TONALDA_RIP_HIVE="$scratch/rip-registry.reg" TONALDA_RIP_HOME="$scratch/home"
HOME="$TONALDA_RIP_HOME" TONALDA_HIVE="$TONALDA_RIP_HIVE" "$prefix/bin/tonalda-setup" > /dev/null
export TONALDA_RIP_DISC="gen:seed 31/track audio 0:03/track audio 0:02,noaudio"

# A private session bus with the accessibility bus on it, a private X server, the program and the
# drivers that find its controls by name (Debian's python3, which carries pyatspi).
export TONALDA_PROGRAM="$prefix/bin/tonalda"
export TONALDA_EXPECT_HELP="$prefix/lib/tonalda/help/Tonalda.html"
dbus-run-session -- bash -c '
  set -euo pipefail
  /usr/libexec/at-spi-bus-launcher --launch-immediately &
  launcher=$!
  trap "kill $launcher 2>/dev/null || true" EXIT
  xvfb-run -a -s "-screen 0 1024x768x24" "'"$here"'/run_drivers.sh"
'
