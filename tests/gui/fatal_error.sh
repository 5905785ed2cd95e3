#!/usr/bin/env bash
# A configuration error ends the program before any window opens: "Error: " and the message on
# standard error, exit code 1. Without a display no message box is attempted, so nothing waits.
#   fatal_error.sh BLEEPFORGE
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$1" "$work/bleepforge"
printf '[general]\nno equals sign here\n' >"$work/bleepforge.ini"
rc=0
env -u DISPLAY timeout 20 "$work/bleepforge" 2>"$work/err.txt" >/dev/null || rc=$?
echo "exit code $rc; stderr: $(cat "$work/err.txt")"
[ "$rc" = 1 ] && grep -q '^Error: ' "$work/err.txt"
