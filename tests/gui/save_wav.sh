#!/usr/bin/env bash
# "save wav" on the real window under Xvfb: the demo song plays, Left Ctrl+Left Shift+W opens the
# program's own save dialog, a typed name starts the render, and the status log reports progress
# and "Audio file saved." while the song keeps playing (the play-row bar is still shown and moves).
# The file is read with libsndfile and must hold exactly as many frames as the command-line
# renderer's WAV of the same song.
#   save_wav.sh BLEEPFORGE DEMO.zcm BLEEPFORGE-CLI
set -euo pipefail

if [ "$1" != "--inside" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cp "$1" "$work/bleepforge"
  cp "$2" "$work/demo.zcm"
  cat >"$work/bleepforge.ini" <<'INI'
[general]
window title = Bleepforge window check
INI
  xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --inside "$work" "$3"
  exit $?
fi

work=$2
cli=$3
cd "$work"
export SDL_AUDIODRIVER=dummy
export BLEEPFORGE_TEST_STATUS_LOG=1
source "$(dirname "$0")/common.sh"

shot() { import -window "$win" "$work/$1"; }
shot_dir=$work
# Pixels that differ in the row-number column (columns 0-1 of lines 1-35) of two screenshots.
rows_diff() {
  convert "$work/$1" -crop "16x560+5+21" +repage "$work/a.png"
  convert "$work/$2" -crop "16x560+5+21" +repage "$work/b.png"
  compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 || true
}
# "frames rate channels" of an audio file, read through libsndfile.
sound_info() {
  python3 - "$1" <<'PY'
import ctypes, ctypes.util, sys
lib = ctypes.CDLL(ctypes.util.find_library("sndfile") or "libsndfile.so.1")
class Info(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int), ("channels", ctypes.c_int),
                ("format", ctypes.c_int), ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]
lib.sf_open.restype = ctypes.c_void_p
lib.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(Info)]
lib.sf_close.argtypes = [ctypes.c_void_p]
info = Info()
handle = lib.sf_open(sys.argv[1].encode(), 0x10, ctypes.byref(info))  # SFM_READ
if not handle:
    print("unreadable")
    sys.exit(0)
lib.sf_close(handle)
print(info.frames, info.samplerate, info.channels)
PY
}

./bleepforge demo.zcm >out.log 2>&1 &
pid=$!
wait_for_window out.log
xdotool windowfocus "$win"
sleep 1

# --- Right Ctrl (key code 105) plays the song.
key 105
sleep 0.5
shot 1-playing.png
check "playing before the export ($(play_bar_lines 1-playing.png))" \
  "$(yes_if [ "$(play_bar_lines 1-playing.png | wc -w)" = 1 ])"

# --- Left Ctrl+Left Shift+W, a path typed into the dialog, Enter: the render starts.
key ctrl+shift+w
sleep 0.3
xdotool type --delay 40 "$work/song.wav"
sleep 0.15
key Return
saved=0
for _ in $(seq 1 300); do
  if grep -qx 'status: Audio file saved.' out.log; then saved=1; break; fi
  grep -qx "status: Couldn't save file!" out.log && break
  sleep 0.1
done
check "\"Audio file saved.\" reported" "$saved"
check "progress shown while saving" "$(yes_if grep -q '^status: Saving audio\.\.\. [0-9]*%$' out.log)"

# --- The song played on through the export.
sleep 0.3
shot 2-after.png
sleep 1.2
shot 3-later.png
check "still playing after the export ($(play_bar_lines 3-later.png))" \
  "$(yes_if [ "$(play_bar_lines 3-later.png | wc -w)" = 1 ])"
moved=$(rows_diff 2-after.png 3-later.png)
check "rows move on after the export ($moved pixels)" "$(yes_if [ "$moved" -gt 0 ])"

# --- The file holds the whole song: as many frames as the command-line render.
"$cli" render demo.zcm reference.wav
got=$(sound_info song.wav)
want=$(sound_info reference.wav)
check "song.wav has the song's length (got $got, want $want)" "$(yes_if [ "$got" = "$want" ])"
check "song.wav is the command-line render" "$(yes_if cmp -s song.wav reference.wav)"

quit_and_check out.log
exit $fail
