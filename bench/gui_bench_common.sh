# Shared by the window benchmarks (sourced): each runs the program in a folder of its own, with no
# user configuration but its "window scale", under a virtual X server, by running its own script
# a second time inside the server.
#   bench_start SCRIPT PROGRAM SCALE SCREEN-WIDTH SCREEN-HEIGHT [BEFORE-COMMAND] -- ARGS...
# Outside the server: makes the folder (removed at the end) with a private copy of PROGRAM and its
# bleepforge.ini, runs BEFORE-COMMAND (if not empty) there with $work set, then SCRIPT with ARGS
# inside a SCREEN-WIDTH x SCREEN-HEIGHT server, and exits with its status. Inside the server:
# returns at once with $work set to the folder and the current directory there.

bench_start() {
  local script=$1 program=$2 scale=$3 screen_width=$4 screen_height=$5 before=$6
  shift 6
  [ "${1:-}" = -- ] && shift
  if [ "${BF_BENCH_INSIDE:-}" = 1 ]; then
    work=$BF_BENCH_WORK
    cd "$work"
    export SDL_AUDIODRIVER=dummy
    return 0
  fi
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # A private copy, so that no user configuration next to the build is read.
  cp "$program" "$work/bleepforge"
  printf '[general]\nwindow scale = %s\n' "$scale" >"$work/bleepforge.ini"
  if [ -n "$before" ]; then "$before"; fi
  local status=0
  BF_BENCH_INSIDE=1 BF_BENCH_WORK=$work xvfb-run -a -s "-screen 0 ${screen_width}x${screen_height}x24" \
    bash "$script" "$@" || status=$?
  exit $status
}
