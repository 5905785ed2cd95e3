#!/usr/bin/env bash
# Installs what is missing, builds Bleepforge and opens the tracker with the demo song (or the song
# named as the first argument). On a machine without a display it says so and renders the song to
# a WAV file instead.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

song=${1:-examples/demo.zcm}

# A local display needs its X socket; a remote one (host:n) is trusted as given.
has_display() {
  [ -n "${DISPLAY:-}" ] || return 1
  local n=${DISPLAY#*:}
  n=${n%%.*}
  if [ -z "${DISPLAY%%:*}" ] && [ ! -S "/tmp/.X11-unix/X$n" ]; then return 1; fi
  return 0
}

if has_display; then
  exec build/bleepforge "$song"
fi

# Under build/, so that the checkout stays clean.
wav=${song%.*}.wav
wav=build/${wav##*/}
echo "No display found (DISPLAY is not set or not reachable): rendering $song to $wav instead."
build/cli/bleepforge-cli render "$song" "$wav"
echo "Wrote $wav"
