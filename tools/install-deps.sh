#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Tonvex need.
# Does nothing when everything is already there, so it is cheap to call from every script.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config        # compiler and build
  libgtest-dev libbenchmark-dev           # tests and benchmarks
  clang libclang-rt-14-dev                # libFuzzer targets and the lock-rule check
  clang-format                            # the code's layout (.clang-format), checked by tools/test.sh
  libpulse-dev                            # PulseAudio / PipeWire client
  libpipewire-0.3-dev                     # the live path inside PipeWire's graph
  libsndfile1-dev                         # WAV and other audio files
  pulseaudio pulseaudio-utils sox         # private audio server and signal tools for end-to-end tests
  python3                                 # measures the end-to-end recordings
  pipewire pipewire-pulse wireplumber dbus  # a private PipeWire server for the end-to-end tests
  qt6-base-dev fonts-liberation2          # the desktop program's widgets; Liberation Sans stands in for Arial
  qt6-translations-l10n                   # Qt's own texts (standard buttons, file dialogs) in Portuguese
  xvfb xauth                              # a real X display for window tests and screenshots
  openbox trayer xdotool                  # a window manager, a notification-area host and clicks for the desktop tests
  man-db                                  # renders the manual pages in their test
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo_cmd apt-get update -qq
$sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
