#!/usr/bin/env bash
# CPU cost of one full redraw of the main screen under a virtual X server (Mesa's software
# rasteriser). Runs the program with its redraw timing hook for a few seconds and prints the
# averages it reports: wall time, main-thread CPU and whole-process CPU per redraw (the process
# figure includes the rasteriser's worker threads, which do most of the pixel work).
#   redraw_cpu.sh [BLEEPFORGE [SONG.zcm [SECONDS]]]
# Defaults: build/bleepforge, examples/demo.zcm, 8 seconds. LP_NUM_THREADS and other Mesa
# variables pass through to the program, so their effect can be looked at too.
# With --shot PNG as the first two arguments, nothing is timed: the program's clock is frozen
# (so the pulsing colours and the status line stand still) and a screenshot of the whole
# screen is written to PNG after a few frames; two builds can then be compared pixel for pixel
# with `compare -metric AE a.png b.png null:`. For other screens: BF_REDRAW_KEYS holds xdotool
# key names pressed before the screenshot (or the
# timed redraws), and BF_REDRAW_BACKDROP names a picture to use as the backdrop instead of the
# built-in one. BF_REDRAW_SCALE=N times the window at "window scale" N.
set -euo pipefail

shot=""
if [ "${1:-}" = "--shot" ]; then
  shot=$(realpath -m "$2")
  shift 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build/bleepforge}")
song=$(realpath "${2:-$root/examples/demo.zcm}")
seconds=${3:-8}

scale=${BF_REDRAW_SCALE:-1}

prepare() {
  if [ -n "${BF_REDRAW_BACKDROP:-}" ]; then
    cp "$BF_REDRAW_BACKDROP" "$work/backdrop-picture"
    printf 'background image = backdrop-picture\n' >>"$work/bleepforge.ini"
  fi
  if [ -n "$shot" ]; then
    # SDL_GetTicks answers a constant: every frame is then drawn alike.
    printf '#include <stdint.h>\nuint32_t SDL_GetTicks(void) { return 100000; }\n' >"$work/ticks.c"
    cc -shared -fPIC -o "$work/frozen_ticks.so" "$work/ticks.c"
  fi
}
source "$root/bench/gui_bench_common.sh"
bench_start "$0" "$program" "$scale" $((794 * scale + 100)) $((602 * scale + 100)) prepare -- \
  ${shot:+--shot "$shot"} "$program" "$song" "$seconds"

# Through the X server's test extension to the focused window, as typed keys go (the SDL library
# leaves out key events other programs send to the window), pressed and let go in two steps: when
# both reach the program in one batch of events, the SDL 1.2 layer can go on repeating the key.
press_keys() {
  local win
  win=$(xdotool search --pid "$pid" 2>/dev/null | head -n 1 || true)
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  for key in $BF_REDRAW_KEYS; do
    xdotool keydown "$key"
    sleep 0.1
    xdotool keyup "$key"
    sleep 0.2
  done
}

if [ -n "$shot" ]; then
  LD_PRELOAD="$work/frozen_ticks.so" ./bleepforge "$song" >"$work/out.log" 2>&1 &
  pid=$!
  sleep 2
  if [ -n "${BF_REDRAW_KEYS:-}" ]; then
    press_keys
  fi
  sleep 1
  import -window root "$shot"
  kill -TERM "$pid"
  wait "$pid" || true
  echo "screenshot: $shot"
  exit 0
fi

# One report per 10 redraws; the first, which includes start-up, is left out, and so are those
# before the keys of BF_REDRAW_KEYS were pressed and the one they fell in.
BLEEPFORGE_REDRAW_TIMING=10 ./bleepforge "$song" >"$work/out.log" 2>&1 &
pid=$!
skip=0
if [ -n "${BF_REDRAW_KEYS:-}" ]; then
  sleep 2
  press_keys
  skip=$(grep -c '^redraw average' "$work/out.log" || true)
fi
sleep "$seconds"
kill -TERM "$pid"
wait "$pid" || true
grep '^redraw average' "$work/out.log" | tail -n +$((skip + 2)) | awk '
  { wall += $6; thread += $11; process += $15; n++; print }
  END {
    if (n == 0) { print "no timing reports"; exit 1 }
    printf "mean of %d reports: wall %.3f ms, main thread CPU %.3f ms, process CPU %.3f ms\n",
           n, wall / n, thread / n, process / n
  }'
