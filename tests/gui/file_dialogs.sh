#!/usr/bin/env bash
# The file commands through the program's own dialog on the real window under Xvfb: a cancelled
# dialog, a song loaded by typing its path, a cell changed and the song saved under a new name
# (read back with the CLI), a song dropped on the window, saved again by a bare name into the
# dropped file's folder, and an instrument copied to and pasted from another X11 program.
# Status texts are read from the program's status log test hook.
#   file_dialogs.sh BLEEPFORGE DEMO.zcm OTHER.zcm BLEEPFORGE-CLI XDND_DROP
set -euo pipefail
source "$(dirname "$0")/common.sh"
prepare() { cp "$2" "$work/demo.zcm"; mkdir "$work/drops"; cp "$3" "$work/drops/other.zcm"; cp "$5" "$work/xdnd_drop"; }
run_inside "$@" && shift 2
cli=$4
export BLEEPFORGE_TEST_STATUS_LOG=1
launch
n=$(statuses)
check "starts with \"Ready.\"" "$(yes_if grep -qx 'status: Ready.' out.log)"

# --- Alt+L opens the song dialog; Escape cancels it.
key alt+l
sleep 0.3
key Escape
check_is "cancel reports \"File selection canceled.\"" "$(next_status "$n")" "File selection canceled."

# --- Alt+L, the demo's full path typed, Enter: the song is opened.
check_is "typed path opens the song" "$(through_dialog alt+l "$work/demo.zcm")" "File succesfully opened!"

# --- Record on, C-3 into Pulse 1 row 0 of the first order, record off.
key F1 Escape q Escape

# --- Alt+S, a new name, Enter: saved, and the CLI reads back the demo with the one cell changed.
check_is "song saved under a new name" "$(through_dialog alt+s "$work/changed.zcm")" "File succesfully saved!"
if [ -f changed.zcm ]; then
  mapfile -t saved < <(dump_parts changed.zcm)
  mapfile -t demo < <(dump_parts demo.zcm)
  check "changed cell holds C-3 with instrument 1 (got ${saved[1]})" "$(yes_if [ "${saved[1]}" = "37,1,0,0" ])"
  check "demo cell was empty (got ${demo[1]})" "$(yes_if [ "${demo[1]}" = "0,0,0,0" ])"
  check "everything else matches the demo" "$(yes_if [ "${saved[0]}" = "${demo[0]}" ])"
else
  check "changed.zcm written" 0
fi

# --- A song dropped on the window is opened, and the next dialog starts in its folder: a bare
# name gets the default extension and lands beside the dropped file.
n=$(statuses)
rc=0
./xdnd_drop "$win" "file://$work/drops/other.zcm" || rc=$?
check "drop finished (got $rc)" "$(yes_if [ $rc = 0 ])"
check_is "dropped song opened" "$(next_status "$n")" "File succesfully opened!"
check_is "saved by a bare name" "$(through_dialog alt+s resaved)" "File succesfully saved!"
check "bare name saved as drops/resaved.zcm" "$(yes_if [ -f drops/resaved.zcm ])"
if [ -f drops/resaved.zcm ]; then
  check "the saved song is the dropped one" \
    "$(yes_if [ "$("$cli" dump drops/resaved.zcm)" = "$("$cli" dump drops/other.zcm)" ])"
fi

# --- The instrument clipboard against another X11 program (xclip): Ctrl+C in the instrument
# list offers instrument 1 as text; text written by xclip is pasted with Ctrl+V, saved with
# Ctrl+Alt+S through the dialog and read back with the CLI; copying it again gives the same values.
if command -v xclip >/dev/null; then
  clip_out() { timeout 5 xclip -o -selection clipboard 2>/dev/null || true; }
  key F2 ctrl+c
  sleep 0.3
  copied=$(clip_out | od -An -c | tr -s ' \n' ' ')
  check "Ctrl+C offers the instrument as text ($copied)" \
    "$(yes_if [ "$(clip_out | head -c 6)" = "Type: " ] && [ "$(clip_out | grep -c $'\r$')" = 5 ])"
  pasted=$'Type: PCM Pulse\r\n10 |20 30\r\n5! -3\r\n-2\r\n7\r\n'
  printf '%s' "$pasted" | xclip -i -selection clipboard >/dev/null 2>&1
  sleep 0.3
  key ctrl+v
  check_is "pasted instrument saved" "$(through_dialog ctrl+alt+s pasted)" "File succesfully saved!"
  got=$("$cli" dump drops/pasted.zci 2>/dev/null | python3 -c '
import json, sys
i = json.load(sys.stdin)
print(i["type"], ";".join("%d:%s" % (e["loop"], ",".join(map(str, e["values"]))) for e in i["envelopes"]))' || true)
  want="3 1:10,20,30;0:133,61;0:125;0:134"
  check "pasted text became the instrument ($got)" "$(yes_if [ "$got" = "$want" ])"
  key ctrl+c
  sleep 0.3
  # The loop point of the envelopes without "|" was set to 0, and the copy marks it.
  again=$'Type: PCM Pulse\r\n10 |20 30\r\n|5! -3\r\n|-2\r\n|7\r'
  check "copied again, the same instrument text" "$(yes_if [ "$(clip_out)" = "$again" ])"
else
  echo "xclip missing: clipboard round trip skipped"
fi

# --- Shift+Escape quits.
quit_and_check out.log
exit $fail
