#!/usr/bin/env bash
# Undo, the unsaved-changes mark and the quit copy on the real window under Xvfb: a short melody
# typed, a block cut and an envelope value added are all undone, and the periodic backup read
# back with the CLI is the original song; the title carries " *" after an edit and not after a
# save; quitting with changes leaves a copy among the rolling backups that holds them.
#   undo_and_recovery.sh BLEEPFORGE SONG.zcm BLEEPFORGE-CLI
set -euo pipefail

if [ "$1" != "--inside" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cp "$1" "$work/bleepforge"
  cp "$2" "$work/song.zcm"
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
export BLEEPFORGE_TEST_BACKUP_MS=1000
source "$(dirname "$0")/common.sh"
statuses() { grep -c '^status: ' out.log || true; }
last_status() { grep '^status: ' out.log | tail -n 1 | sed 's/^status: //'; }
# Waits up to 5 s for the window's caption to read WANT.
title_is() {
  for _ in $(seq 1 50); do
    [ "$(xdotool getwindowname "$win" 2>/dev/null)" = "$1" ] && return 0
    sleep 0.1
  done
  echo "caption: $(xdotool getwindowname "$win" 2>/dev/null)" >&2
  return 1
}
# Waits until backup.zcm has been written anew, up to 10 s.
wait_for_backup() {
  local before
  before=$(stat -c "%y %s" backup.zcm 2>/dev/null || true)
  for _ in $(seq 1 100); do
    [ -f backup.zcm ] && [ "$(stat -c "%y %s" backup.zcm)" != "$before" ] && return 0
    sleep 0.1
  done
  return 1
}

"$cli" save song.zcm original.zcm
name="Bleepforge window check"
./bleepforge song.zcm >out.log 2>&1 &
pid=$!
wait_for_window out.log
xdotool windowfocus "$win"
sleep 1
check "caption names the song" "$(yes_if title_is "$name - song.zcm")"

# A melody in record mode, a block cut over it, a value added to instrument 1's envelope.
key F1 Escape q w e r Escape
check "caption marks the edit" "$(yes_if title_is "$name - song.zcm *")"
key Home alt+Down alt+Down alt+Down Alt_L ctrl+x
key F4 Insert F1
for _ in 1 2 3 4 5 6; do key ctrl+z; done
check "six undos end at the first note (got \"$(last_status)\")" "$(yes_if [ "$(last_status)" = "Undo: note" ])"
key ctrl+z
check "then nothing is left (got \"$(last_status)\")" "$(yes_if [ "$(last_status)" = "Nothing to undo." ])"
check "caption loses the mark once all is undone" "$(yes_if title_is "$name - song.zcm")"
check "backup written after the undos" "$(yes_if wait_for_backup)"
check "the song is the original again" \
  "$(yes_if [ "$("$cli" dump backup.zcm)" = "$("$cli" dump original.zcm)" ])"

# Redo brings the melody back; a save clears the mark.
key ctrl+y
check "redo reports the note (got \"$(last_status)\")" "$(yes_if [ "$(last_status)" = "Redo: note" ])"
n=$(statuses)
key alt+s
sleep 0.3
xdotool type --delay 40 "$work/saved.zcm"
key Return
for _ in $(seq 1 100); do [ "$(statuses)" -gt "$n" ] && break; sleep 0.1; done
check "saved (got \"$(last_status)\")" "$(yes_if [ "$(last_status)" = "File succesfully saved!" ])"
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
