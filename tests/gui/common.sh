# Shared by the window checks (sourced inside the virtual X server): results, key presses,
# finding the program's window and quitting it.

fail=0
# Copies the program files on its own (rolling backups, recovery copies) stay in the check's folder.
export XDG_STATE_HOME="$PWD/state"
check() {  # check NAME CONDITION-RESULT(0/1)
  if [ "$2" = 1 ]; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi
}
yes_if() { if "$@"; then echo 1; else echo 0; fi; }
# Keys go through the X server's test extension to the focused window, as typed ones do.
key() { xdotool key --delay 60 "$@"; sleep 0.15; }

# Sets win to the program's window once it has appeared (up to 30 s: a loaded machine starts the
# software GL driver slowly); otherwise prints the program's log and ends the check as failed.
wait_for_window() {  # wait_for_window LOG
  win=""
  for _ in $(seq 1 300); do
    # The caption goes on with the song's file name and the unsaved-changes mark.
    win=$(xdotool search --name '^Bleepforge window check( - .*)?$' 2>/dev/null | head -n 1 || true)
    [ -n "$win" ] && return 0
    sleep 0.1
  done
  echo "FAILED: no window"
  # What there is to see: whether the program still runs, and the windows the server has.
  if [ -n "${pid:-}" ] && kill -0 "$pid" 2>/dev/null; then echo "the program is still running"; fi
  xdotool search --name . getwindowname %@ 2>/dev/null | head -n 5 || true
  cat "$1"
  exit 1
}

# Quits the program ($pid) with Shift+Escape and checks that it ends within 5 s with exit code 0;
# prints the program's log when any check has failed.
quit_and_check() {  # quit_and_check LOG
  xdotool key shift+Escape
  for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    echo "FAILED: still running after Shift+Escape"
    kill -TERM "$pid"
    fail=1
  fi
  local rc=0
  wait "$pid" || rc=$?
  check "exits with 0 after quitting (got $rc)" "$(yes_if [ $rc = 0 ])"
  [ $fail = 0 ] || cat "$1"
}

# Screenshots a check reads with pixel and play_bar_lines are in $shot_dir.
pixel() {  # pixel FILE X Y: "r g b" of that pixel
  convert "$shot_dir/$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]\n" info:
}
# The shown pattern lines (1-35) whose column-52 background is the red play-row bar, space separated.
play_bar_lines() {  # play_bar_lines FILE
  local n r g b out=""
  for n in $(seq 1 35); do
    read -r r g b < <(pixel "$1" $((5 + 52 * 8 + 4)) $((5 + n * 16 + 8)))
    if [ "$r" -gt 60 ] && [ "$r" -gt $((g + 40)) ] && [ "$r" -gt $((b + 40)) ]; then out="$out $n"; fi
  done
  echo "${out# }"
}
