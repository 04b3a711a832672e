#!/usr/bin/env bash
# Starts the installed program: writes the default settings when missing, and on a machine without
# a CD-ROM drive serves the demo disc through the virtual drive.
set -euo pipefail
prefix=${1:-$HOME/.local}
bin="$prefix/bin"
install_dir="$prefix/lib/tonalda"

"$bin/tonalda-setup"

has_cd_drive() {
  local dev
  for dev in /sys/block/sr*; do
    [[ -e "$dev/device/type" ]] && [[ "$(cat "$dev/device/type")" == 5 ]] && return 0
  done
  return 1
}
if ! has_cd_drive && [[ -z "${TONALDA_ASPI_LIBRARY:-}" ]]; then
  echo "No CD-ROM drive found: the virtual drive serves the demo disc."
  export TONALDA_ASPI_LIBRARY="$install_dir/vdrive/libwnaspi32.so"
  # The drive list separates items with ',' and ';': escape them (and '\\') in the path.
  demo=$(printf '%s' "$install_dir/demo/demo.disc" | sed 's/[\\,;]/\\&/g')
  export TONALDA_VDRIVE="${TONALDA_VDRIVE:-$demo}"
fi

has_display() {
  [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" || -n "${QT_QPA_PLATFORM:-}" ]]
}
if [[ -x "$bin/tonalda" ]] && has_display; then
  exec "$bin/tonalda"
fi
if [[ -x "$bin/tonalda-cli" ]]; then
  if [[ -x "$bin/tonalda" ]]; then
    echo "No display to open the window on (DISPLAY and WAYLAND_DISPLAY are unset): the disc as tonalda-cli shows it."
  fi
  exec "$bin/tonalda-cli" toc
fi
echo "Installed the settings into the hive; no front end is built yet."
