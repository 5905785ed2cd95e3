#!/usr/bin/env bash
# Undo, the unsaved-changes mark and the quit copy on the real window under Xvfb: a short melody
# typed, a block cut and an envelope value added are all undone, and the periodic backup read
# back with the CLI is the original song; the title carries " *" after an edit and not after a
# save; quitting with changes leaves a copy among the rolling backups that holds them.
#   undo_and_recovery.sh BLEEPFORGE SONG.zcm BLEEPFORGE-CLI
set -euo pipefail
source "$(dirname "$0")/common.sh"
prepare() { cp "$2" "$work/song.zcm"; }
run_inside "$@" && shift 2
cli=$3
export BLEEPFORGE_TEST_STATUS_LOG=1 BLEEPFORGE_TEST_BACKUP_MS=1000
# Waits up to 5 s for the window's caption to read WANT.
title_is() {
  for _ in $(seq 1 50); do
    [ "$(xdotool getwindowname "$win" 2>/dev/null)" = "$1" ] && return 0
    sleep 0.1
  done
  echo "caption: $(xdotool getwindowname "$win" 2>/dev/null)" >&2
  return 1
}

"$cli" save song.zcm original.zcm
name="Bleepforge window check"
launch song.zcm
check "caption names the song" "$(yes_if title_is "$name - song.zcm")"

# A melody in record mode, a block cut over it, a value added to instrument 1's envelope.
key F1 Escape q w e r Escape
check "caption marks the edit" "$(yes_if title_is "$name - song.zcm *")"
key Home alt+Down alt+Down alt+Down Alt_L ctrl+x
key F4 Insert F1
for _ in 1 2 3 4 5 6; do key ctrl+z; done
check_is "six undos end at the first note" "$(last_status)" "Undo: note"
key ctrl+z
check_is "then nothing is left" "$(last_status)" "Nothing to undo."
check "caption loses the mark once all is undone" "$(yes_if title_is "$name - song.zcm")"
check "backup written after the undos" "$(yes_if wait_for_backup)"
check "the song is the original again" \
  "$(yes_if [ "$("$cli" dump backup.zcm)" = "$("$cli" dump original.zcm)" ])"

# Redo brings the melody back; a save clears the mark.
key ctrl+y
check_is "redo reports the note" "$(last_status)" "Redo: note"
check_is "saved" "$(through_dialog alt+s "$work/saved.zcm")" "File succesfully saved!"
check "caption names the saved file without a mark" "$(yes_if title_is "$name - saved.zcm")"

# Quitting with a change leaves a copy that holds it.
key Escape t Escape
check "caption marks the new edit" "$(yes_if title_is "$name - saved.zcm *")"
quit_and_check out.log
copy=$(sed -n 's/^Unsaved changes written to //p' out.log | tail -n 1)
check "quit names its copy ($copy)" "$(yes_if [ -n "$copy" ] && [ -f "$copy" ])"
case "$copy" in "$XDG_STATE_HOME"/bleepforge/backups/saved-*.zcm) in_place=1 ;; *) in_place=0 ;; esac
check "the copy is among the rolling backups" "$in_place"
if [ -f "$copy" ]; then
  check "the copy differs from the save by the new note" \
    "$(yes_if [ "$("$cli" dump "$copy")" != "$("$cli" dump saved.zcm)" ])"
  check "bleepforge-cli backups lists it first" \
    "$(yes_if [ "$("$cli" backups | head -n 1 | awk '{print $NF}')" = "$copy" ])"
fi
exit $fail
