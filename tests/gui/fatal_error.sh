#!/usr/bin/env bash
# A configuration error ends the program before any window opens: "Error: " and the message on
# standard error, exit code 1. Without a display nothing else happens and nothing waits; with one
# (and a message-box program installed) a box titled "Bleepforge" shows until it is closed.
#   fatal_error.sh BLEEPFORGE
set -euo pipefail

if [ "$1" = "--inside" ]; then
  cd "$2"
  ./bleepforge 2>err2.txt >/dev/null &
  pid=$!
  box=""
  for _ in $(seq 1 100); do
    box=$(xdotool search --name '^Bleepforge$' 2>/dev/null | head -n 1 || true)
    [ -n "$box" ] && break
    sleep 0.1
  done
  [ -n "$box" ] || { echo "FAILED: no message box"; kill "$pid"; exit 1; }
  sleep 0.5
  import -window "$box" box.png
  # Closing the box (ending the message-box program) lets the program finish.
  pkill -P "$pid" || true
  rc=0
  wait "$pid" || rc=$?
  echo "with a display: exit code $rc; box $(identify -format '%w x %h' box.png)"
  [ "$rc" = 1 ] && grep -q '^Error: ' err2.txt
  exit $?
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$1" "$work/bleepforge"
printf '[general]\nno equals sign here\n' >"$work/bleepforge.ini"
rc=0
env -u DISPLAY timeout 20 "$work/bleepforge" 2>"$work/err.txt" >/dev/null || rc=$?
echo "without a display: exit code $rc; stderr: $(cat "$work/err.txt")"
[ "$rc" = 1 ] && grep -q '^Error: Key-value pair delimiter missing' "$work/err.txt"

if command -v xmessage >/dev/null || command -v zenity >/dev/null; then
  timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --inside "$work"
fi
