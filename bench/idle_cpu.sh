#!/usr/bin/env bash
# CPU share of the tracker sitting idle (window open, nothing playing) under a virtual X server:
# the process's user + system time over SECONDS seconds of wall clock, as a percentage of one core.
#   idle_cpu.sh [BLEEPFORGE [SECONDS [SCALE]]]
# Defaults: build/bleepforge, 20 seconds, window scale 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build/bleepforge}")
seconds=${2:-20}
scale=${3:-1}

source "$root/bench/gui_bench_common.sh"
bench_start "$0" "$program" "$scale" 1800 1400 "" -- "$program" "$seconds" "$scale"

./bleepforge >out.log 2>&1 &
pid=$!
sleep 3  # start-up is not idling
ticks=$(getconf CLK_TCK)
cpu() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
before=$(cpu)
sleep "$seconds"
after=$(cpu)
kill -TERM "$pid"
wait "$pid" || true
awk -v t=$((after - before)) -v hz="$ticks" -v s="$seconds" -v scale="$scale" \
  'BEGIN { printf "idle at scale %d over %d s: %.2f s of CPU, %.1f %% of one core\n", scale, s, t / hz, 100 * t / hz / s }'
