#!/usr/bin/env bash
# The magnified window: at "window scale" 2 the window shows, pixel for pixel, the scale-1 picture
# magnified twice; "auto" picks the largest scale that fits the screen; a resized window shows the
# largest whole multiple that fits, centred. Also the key list (F9 shows and hides it) and the
# info panel (its octave follows "incr octave"). The program's clock is frozen, so the pulsing
# colours and the status line stand still and two shots of the same screen are equal.
#   window_scale.sh BLEEPFORGE
set -euo pipefail
source "$(dirname "$0")/common.sh"
# Only the program's own calls see the frozen clock: the SDL library times its key repeat with the
# same function, and frozen there it repeats every held key at once.
prepare() {
  cat >"$work/ticks.c" <<'EOF'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <string.h>
uint32_t SDL_GetTicks(void) {
  Dl_info caller;
  if (dladdr(__builtin_return_address(0), &caller) && caller.dli_fname &&
      strstr(caller.dli_fname, "libSDL")) {
    uint32_t (*real)(void) = (uint32_t (*)(void))dlsym(RTLD_NEXT, "SDL_GetTicks");
    if (real) return real();
  }
  return 100000;
}
EOF
  cc -shared -fPIC -o "$work/frozen_ticks.so" "$work/ticks.c" -ldl
}
# The parts share the folder and its screenshots.
parts="1 2 auto" screen=1800x1400x24
run_inside "$@" && shift 2
part=$1
# A command that fails ends the part (set -e): say which, rather than end without a word.
trap 'echo "FAILED: part $part, line $LINENO: $BASH_COMMAND"' ERR

start() {  # start SCALE-SETTING: runs the program with that "window scale" and waits for its window
  printf '[general]\nwindow title = Bleepforge window check\nwindow scale = %s\n' "$1" >bleepforge.ini
  LD_PRELOAD="$work/frozen_ticks.so" ./bleepforge >"$work/out.log" 2>&1 &
  pid=$!
  wait_for_window "$work/out.log"
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  sleep 1.5
}
# Keeps the window in FILE once two shots 0.3 s apart agree (a busy machine redraws late).
shot() {
  sleep 0.3
  import -window "$win" "$1"
  for _ in $(seq 1 10); do
    sleep 0.3
    import -window "$win" "$1.next.png"
    if [ "$(differing "$1" "$1.next.png")" = 0 ]; then rm -f "$1.next.png"; return; fi
    mv "$1.next.png" "$1"
  done
}
size() { identify -format "%w x %h" "$1"; }
differing() { compare -metric AE "$1" "$2" null: 2>&1 || true; }  # number of differing pixels

# A key pressed and let go in two steps: when both reach the program in one batch of events, the
# SDL 1.2 layer can go on repeating the key as if still held.
tap() { xdotool keydown "$1"; sleep 0.1; xdotool keyup "$1"; sleep 0.15; }

if [ "$part" = 1 ]; then
start 1
shot one.png
tap F9
shot one_help.png
tap F9
shot one_closed.png
tap KP_Multiply
shot one_octave.png
quit_and_check out.log
check "scale 1 window is 794 x 602 ($(size one.png))" "$(yes_if [ "$(size one.png)" = "794 x 602" ])"
fi

if [ "$part" = 2 ]; then
start 2
shot two.png
quit_and_check out.log
check "scale 2 window is 1588 x 1204 ($(size two.png))" "$(yes_if [ "$(size two.png)" = "1588 x 1204" ])"
convert one.png -scale 200% one_magnified.png
n=$(differing one_magnified.png two.png)
check "scale 2 is the scale-1 picture magnified 2x pixel for pixel ($n differ)" "$(yes_if [ "$n" = 0 ])"

n=$(differing one.png one_help.png)
check "F9 shows the key list ($n pixels changed)" "$(yes_if [ "$n" -gt 20000 ])"
n=$(differing one.png one_closed.png)
check "F9 again hides it ($n differ)" "$(yes_if [ "$n" = 0 ])"
# The panel's octave line: column 65, line 1 (5-pixel margin), "Octave 3" becoming "Octave 4".
convert one.png -crop 120x16+525+21 +repage octave_before.png
convert one_octave.png -crop 120x16+525+21 +repage octave_after.png
n=$(differing octave_before.png octave_after.png)
check "the panel's octave changes after incr octave ($n differ)" "$(yes_if [ "$n" -gt 0 ])"
fi

# "auto" on this 1800 x 1400 screen: scale 2. Then resized wider: still scale 2, centred.
if [ "$part" = auto ]; then
start auto
shot auto.png
check "auto scale opens at 1588 x 1204 ($(size auto.png))" "$(yes_if [ "$(size auto.png)" = "1588 x 1204" ])"
xdotool windowsize "$win" 1700 1300
sleep 1
shot resized.png
read -r w h < <(identify -format "%w %h\n" resized.png)
check "window was resized ($w x $h)" "$(yes_if [ "$w" -gt 1600 ] && [ "$h" -gt 1210 ])"
# The X window and the size the library reports after a resize can differ by a few pixels (the
# window manager's adjustments): the picture is looked for within 4 pixels of the centre.
found=""
for dx in 0 1 -1 2 -2 3 -3 4 -4; do
  x=$(((w - 1588) / 2 + dx))
  [ "$x" -ge 0 ] && [ $((x + 1588)) -le "$w" ] || continue
  convert resized.png -crop 1588x1204+$x+$(((h - 1204) / 2)) +repage resized_centre.png
  if [ "$(differing two.png resized_centre.png)" = 0 ]; then found=$x; break; fi
done
check "resized window shows the scale-2 picture centred (at x $found)" "$(yes_if [ -n "$found" ])"
corner=$(convert resized.png -crop 50x40+0+0 +repage -format "%[fx:int(255*maxima.r+255*maxima.g+255*maxima.b)]" info:)
check "the border around it is black ($corner)" "$(yes_if [ "$corner" = 0 ])"
quit_and_check out.log
fi

[ -z "${BF_GUI_KEEP:-}" ] || cp ./*.png "$BF_GUI_KEEP/"
exit $fail
