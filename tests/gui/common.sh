# Shared by the window checks: the set-up around them, results, key presses, file dialogs, song
# dumps, finding the program's window and quitting it.

fail=0
# Copies the program files on its own (rolling backups, recovery copies) stay in the check's folder.
export XDG_STATE_HOME="$PWD/state"
check() {  # check NAME CONDITION-RESULT(0/1)
  if [ "$2" = 1 ]; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi
}
yes_if() { if "$@"; then echo 1; else echo 0; fi; }
check_is() { check "$1 (got \"$2\")" "$(yes_if [ "$2" = "$3" ])"; }  # check_is NAME GOT WANTED

# A check script's two halves: `run_inside "$@" && shift 2` at its top. Outside (no "--inside"),
# makes a folder with a copy of the program ($1) and its bleepforge.ini (the window title the checks
# look for, then $ini_extra), runs the script's `prepare ARGS...` there when it has one, and runs
# the script again inside a virtual X server (of the size $screen) with "--inside FOLDER ARGS...";
# exits with its code.
# Inside, enters the folder with SDL's dummy sound driver; the shift gives back the script's ARGS.
run_inside() {
  if [ "$1" = --inside ]; then
    work=$2
    cd "$work"
    export SDL_AUDIODRIVER=dummy XDG_STATE_HOME="$work/state"
    return 0
  fi
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cp "$1" "$work/bleepforge"
  printf '[general]\nwindow title = Bleepforge window check\n%s' "${ini_extra:-}" >"$work/bleepforge.ini"
  if declare -F prepare >/dev/null; then prepare "$@"; fi
  # With `parts` set, each part runs in an X server of its own (its name comes first in the
  # script's ARGS), so that nothing one program start leaves in the server can slow or hide the
  # next window; a loaded machine once found no window at a third start in one server.
  if [ -n "${parts:-}" ]; then
    local status=0 part
    for part in $parts; do
      xvfb-run -a -s "-screen 0 ${screen:-1024x768x24}" bash "$0" --inside "$work" "$part" "$@" || status=1
    done
    exit $status
  fi
  xvfb-run -a -s "-screen 0 ${screen:-1024x768x24}" bash "$0" --inside "$work" "$@"
  exit $?
}
# Starts the program with ARGS (its output in out.log), waits for its window and focuses it.
launch() {
  ./bleepforge "$@" >"$work/out.log" 2>&1 &
  pid=$!
  wait_for_window "$work/out.log"
  xdotool windowfocus "$win"
  sleep 1
}
# The status log test hook (BLEEPFORGE_TEST_STATUS_LOG=1): how many statuses, the newest one, and
# the newest once there are more than COUNT (waiting up to 10 s).
statuses() { grep -c '^status: ' "$work/out.log" || true; }
last_status() { grep '^status: ' "$work/out.log" | tail -n 1 | sed 's/^status: //'; }
next_status() {  # next_status COUNT
  for _ in $(seq 1 100); do [ "$(statuses)" -gt "$1" ] && break; sleep 0.1; done
  last_status
}
# Waits up to 10 s for backup.zcm to be written anew (its time and size differ from BEFORE, by
# default what they are now).
wait_for_backup() {  # wait_for_backup [BEFORE]
  local before=${1-$(stat -c "%y %s" backup.zcm 2>/dev/null || true)}
  for _ in $(seq 1 100); do
    [ -f backup.zcm ] && [ "$(stat -c "%y %s" backup.zcm 2>/dev/null)" != "$before" ] && return 0
    sleep 0.1
  done
  return 1
}
# Opens a file dialog with KEYS, types TEXT into its path line and confirms it with Enter; prints
# the status the program answers with.
through_dialog() {  # through_dialog KEYS TEXT
  local n
  n=$(statuses)
  key "$1"
  sleep 0.3
  type_text "$2"
  key Return
  next_status "$n"
}
# The dump of song FILE (by bleepforge-cli, $cli) as two lines: the song with one cell of the first
# order's pattern left out (channel 0, row 0 unless given), and that cell as "note,inst,fx,param".
dump_parts() {  # dump_parts FILE [CHANNEL ROW]
  "$cli" dump "$1" | python3 -c '
import json, sys
song = json.load(sys.stdin)
channel, row = int(sys.argv[1]), int(sys.argv[2])
pattern = next((p for p in song["patterns"] if p["index"] == song["orders"][0]), None)
cell = pattern["channels"][channel][row] if pattern else [0, 0, 0, 0]
if pattern:
    pattern["channels"][channel][row] = None
print(json.dumps(song, sort_keys=True))
print(",".join(str(v) for v in cell))' "${2:-0}" "${3:-0}"
}
# Keys go through the X server's test extension to the focused window, as typed ones do.
key() { xdotool key --delay 60 "$@"; sleep 0.15; }
type_text() { xdotool type --delay 40 "$1"; sleep 0.15; }

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

# Screenshots are taken into and read from $shot_dir (by default the current folder).
shot_dir=${shot_dir:-.}
shot() { import -window "$win" "$shot_dir/$1"; }
# Pixels that differ between the same rectangle W x H at (x, y) of two screenshots.
region_diff() {  # region_diff FILE1 FILE2 X Y W H
  convert "$shot_dir/$1" -crop "$5x$6+$3+$4" +repage "$work/a.png"
  convert "$shot_dir/$2" -crop "$5x$6+$3+$4" +repage "$work/b.png"
  compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 || true
}
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
