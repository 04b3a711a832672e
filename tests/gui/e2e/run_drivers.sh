#!/usr/bin/env bash
# Inside the test's X server and session bus: the tour of the main window on the demo disc, then
# a rip of a generated disc with the rip's own hive and home (see installed_program_test.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
/usr/bin/python3 "$here/drive_window.py"
HOME="$TONALDA_RIP_HOME" TONALDA_HIVE="$TONALDA_RIP_HIVE" TONALDA_VDRIVE="$TONALDA_RIP_DISC" \
  /usr/bin/python3 "$here/rip_window.py"
