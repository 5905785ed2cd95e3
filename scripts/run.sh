#!/usr/bin/env bash
# Installs what is missing, builds Bleepforge and runs it.
# For now the tracker's window is not built yet: this prints the example song as JSON.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

song=${1:-examples/example.zcm}
exec build/cli/bleepforge-cli dump "$song"
