#!/usr/bin/env bash
# Installs every Debian package the project needs; does nothing when all are present.
# Usage: install-deps.sh [--bench]   (--bench adds the peer tools the benchmarks compare against:
# lame and cd-paranoia; oggenc and ffmpeg come with the test tools)
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config clang-format ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  # libraries
  qt6-base-dev libmp3lame-dev libvorbis-dev libogg-dev libid3-3.8.3-dev
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  libpulse-dev libcue-dev
  # the desktop program: Qt's SVG renderer, the Tahoma-compatible skin font and a CJK fallback font
  qt6-svg-dev libqt6svg6 fonts-wine fonts-wqy-microhei
  # test tools and independent checkers
  clang libclang-rt-14-dev libdiscid-dev python3 python3-mutagen ffmpeg vorbis-tools
  tinyproxy pulseaudio pulseaudio-utils xvfb xauth
  # the desktop program under Xvfb, driven through the accessibility bus; desktop file checkers
  dbus at-spi2-core python3-pyatspi xdotool appstream desktop-file-utils
  # the native drive transport under a real kernel: a VM with emulated drives (tests/vm)
  qemu-system-x86 busybox-static kmod genisoimage
)
if [[ "${1:-}" == "--bench" ]]; then
  packages+=(lame cd-paranoia hyperfine time)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
