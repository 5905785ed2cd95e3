#!/usr/bin/env bash
# Installs, from Debian packages, whatever this machine lacks to build, run and test Bleepforge.
# Safe to run again: it only asks apt for packages that are not installed yet.
set -euo pipefail

packages=(
  # toolchain (gcc gives the plain `cc` the redraw benchmark builds its clock stub with)
  g++ gcc clang libclang-rt-14-dev cmake ninja-build pkg-config
  # libraries the program links
  libsdl1.2-compat-dev libgl-dev libglu1-mesa-dev libsndfile1-dev libstb-dev
  # X11 and its shared-memory images (a magnified window is put through them)
  libx11-dev libxext-dev
  # the NSF driver is assembled at build time
  cc65
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev libgme-dev
  # window checks under a virtual X server
  xvfb xauth xdotool imagemagick xclip libgl1-mesa-dri python3
  # xprop reads the window's icon; pkill ends a hung program's children
  x11-utils procps
  # checks of the installed desktop files, manual pages and the Debian package
  desktop-file-utils libxml2-utils man-db groff-base shared-mime-info dpkg-dev file
  # the font the built-in font sheet is made from
  unifont
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
