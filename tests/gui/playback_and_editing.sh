#!/usr/bin/env bash
# Plays a song, stops it, waits for the periodic backup, types a short melody in record mode and
# quits, all through key presses on the real window under Xvfb. The backup interval is shortened
# with the program's test hook so that the backup shows up within seconds; the backup written
# after the typing is read back with the CLI for the exact cell bytes.
#   playback_and_editing.sh BLEEPFORGE SONG.zcm BLEEPFORGE-CLI ARTIFACT-DIR
set -euo pipefail
source "$(dirname "$0")/common.sh"
prepare() { cp "$2" "$work/song.zcm"; mkdir -p "$4"; rm -f "$4"/*.png; }
run_inside "$@" && shift 2
cli=$3
shot_dir=$4
export BLEEPFORGE_TEST_BACKUP_MS=1500
# Pixels brighter than 30% grey in a rectangle: the lit pixels of the text drawn there (row
# backgrounds stay below it, instrument colours are above it).
lit_pixels() {
  convert "$shot_dir/$1" -crop "$4x$5+$2+$3" +repage -colorspace gray -threshold 30% \
    -format "%[fx:int(mean*w*h+0.5)]" info:
}

launch song.zcm
rm -f backup.zcm  # a backup may already have fallen due while starting; the checks want new ones

# --- Playback: Right Ctrl plays the song, the play-row bar appears and moves on.
shot 1-stopped.png
sleep 0.3
shot 1b-stopped.png
check "no play-row bar while stopped ($(play_bar_lines 1-stopped.png))" "$(yes_if [ -z "$(play_bar_lines 1-stopped.png)" ])"
# The row-number column (columns 0-1 of lines 1-35) only changes when rows scroll or the bar moves.
still=$(region_diff 1-stopped.png 1b-stopped.png 5 21 16 560)
check "row numbers stand still while stopped ($still pixels differ)" "$(yes_if [ "$still" = 0 ])"
# Right Ctrl by its key code (105 in the server's default key map): xdotool's Control_R would
# press Left Ctrl with it, and Ctrl+Right Ctrl is not the binding.
key 105
sleep 0.4
shot 2-playing.png
sleep 1.2
shot 3-playing-later.png
bars2=$(play_bar_lines 2-playing.png)
bars3=$(play_bar_lines 3-playing-later.png)
check "play-row bar on one line after Right Ctrl ($bars2)" "$(yes_if [ "$(wc -w <<<"$bars2")" = 1 ])"
check "play-row bar still shown while playing ($bars3)" "$(yes_if [ "$(wc -w <<<"$bars3")" = 1 ])"
moved=$(region_diff 2-playing.png 3-playing-later.png 5 21 16 560)
check "playback advances: row column changed between two shots ($moved pixels)" "$(yes_if [ "$moved" -gt 0 ])"

# --- Space stops the song (and, since it was playing, leaves record mode off).
key space
sleep 0.3
shot 4-stopped-again.png
check "play-row bar gone after Space ($(play_bar_lines 4-stopped-again.png))" \
  "$(yes_if [ -z "$(play_bar_lines 4-stopped-again.png)" ])"
read -r r g b < <(pixel 4-stopped-again.png 2 2)
check "record frame not shown after stopping ($r $g $b)" "$(yes_if [ $((r + g + b)) = 0 ])"

# --- The periodic backup: written within the shortened interval, and a song the CLI reads.
check "backup.zcm written after the interval" "$(yes_if wait_for_backup none)"
rc=0
"$cli" dump backup.zcm >/dev/null 2>&1 || rc=$?
check "backup.zcm loads (dump exit $rc)" "$(yes_if [ $rc = 0 ])"

# --- Record mode and a short melody on Pulse 1 of the first order's pattern, rows 0-2.
# Following playback moved the order and row cursors: back to the first order and row 0.
key F3 Home        # order editor: first order
key F1 Home        # pattern editor: row 0
key Escape         # record on
shot 5-record.png
read -r r g b < <(pixel 5-record.png 2 2)
check "record frame shown after Escape ($r $g $b)" "$(yes_if [ "$r" -gt 200 ] && [ "$g" -lt 60 ] && [ "$b" -lt 60 ])"
key q w e          # C-3, D-3, E-3 with the current instrument (1), one row apart
key F5             # step 0: the digits below all go into row 0
key Up Up Up
key Right 0 Right 2 # instrument 02
key Right c Right 1 Right 8   # effect C, parameter 18
sleep 0.3
shot 6-melody.png
key Escape         # record off
stamp=$(stat -c "%y %s" backup.zcm)
check "backup rewritten after the typing" "$(yes_if wait_for_backup "$stamp")"
sleep 0.3          # let the writer finish the file it renames into place
# Rows 0-2 hold the melody, row 3 stays empty.
for cell in 0=37,2,28,8 1=39,1,0,0 2=41,1,0,0 3=0,0,0,0; do
  row=${cell%%=*} want=${cell#*=}
  got=$(dump_parts backup.zcm 0 "$row" | tail -n 1)
  check "Pulse 1 row $row holds $want in the backup (got $got)" "$(yes_if [ "$got" = "$want" ])"
done

# On screen: the three note fields of Pulse 1 (column 3, lines 1-3) now carry note names where
# the empty cells showed three small dots.
for row in 0 1 2; do
  y=$((5 + (row + 1) * 16))
  before=$(lit_pixels 1-stopped.png $((5 + 3 * 8)) $y 24 16)
  after=$(lit_pixels 6-melody.png $((5 + 3 * 8)) $y 24 16)
  check "row $row note drawn ($before lit pixels before, $after after)" "$(yes_if [ "$after" -gt $((before + 20)) ])"
done
# Row 0 lies under the selection's dimming overlay in both shots: its effect command and first
# parameter digit (columns 9-10, clear of the cursor bar on column 11) must differ from the dots.
changed=$(region_diff 1-stopped.png 6-melody.png $((5 + 9 * 8)) 21 16 16)
check "row 0 effect drawn ($changed pixels changed)" "$(yes_if [ "$changed" -gt 20 ])"

# --- Shift+Escape quits: the loop ends and the program exits normally.
quit_and_check "$work/out.log"
exit $fail
