#!/usr/bin/env bash
# "save wav" on the real window under Xvfb: the demo song plays, Left Ctrl+Left Shift+W opens the
# program's own save dialog, a typed name starts the render, and the status log reports progress
# and "Audio file saved." while the song keeps playing (the play-row bar is still shown and moves).
# The file must be the command-line renderer's WAV of the same song, byte for byte.
#   save_wav.sh BLEEPFORGE DEMO.zcm BLEEPFORGE-CLI
set -euo pipefail
source "$(dirname "$0")/common.sh"
prepare() { cp "$2" "$work/demo.zcm"; }
run_inside "$@" && shift 2
cli=$3
export BLEEPFORGE_TEST_STATUS_LOG=1

launch demo.zcm
# --- Right Ctrl (key code 105) plays the song.
key 105
sleep 0.5
shot 1-playing.png
check "playing before the export ($(play_bar_lines 1-playing.png))" \
  "$(yes_if [ "$(play_bar_lines 1-playing.png | wc -w)" = 1 ])"

# --- Left Ctrl+Left Shift+W, a path typed into the dialog, Enter: the render starts.
key ctrl+shift+w
sleep 0.3
type_text "$work/song.wav"
key Return
saved=0
for _ in $(seq 1 300); do
  if grep -qx 'status: Audio file saved.' out.log; then saved=1; break; fi
  grep -qx "status: Couldn't save file!" out.log && break
  sleep 0.1
done
check "\"Audio file saved.\" reported" "$saved"
check "progress shown while saving" "$(yes_if grep -q '^status: Saving audio\.\.\. [0-9]*%$' out.log)"

# --- The song played on through the export (the row-number column moves).
sleep 0.3
shot 2-after.png
sleep 1.2
shot 3-later.png
check "still playing after the export ($(play_bar_lines 3-later.png))" \
  "$(yes_if [ "$(play_bar_lines 3-later.png | wc -w)" = 1 ])"
moved=$(region_diff 2-after.png 3-later.png 5 21 16 560)
check "rows move on after the export ($moved pixels)" "$(yes_if [ "$moved" -gt 0 ])"

# --- The file holds the whole song, exactly as the command line renders it.
"$cli" render demo.zcm reference.wav
check "song.wav is the command-line render ($(stat -c %s song.wav 2>/dev/null || echo no) bytes, want \
$(stat -c %s reference.wav))" "$(yes_if cmp -s song.wav reference.wav)"

quit_and_check out.log
exit $fail
