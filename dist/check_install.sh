#!/usr/bin/env bash
# The desktop files are valid, an install into a fresh prefix works on its own, and the Debian
# package holds exactly the installed files.
#   check_install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() {  # check TEXT COMMAND...
  local out
  if out=$("${@:2}" 2>&1); then echo "ok: $1"; else echo "FAILED: $1"; echo "$out"; fail=1; fi
}
# A man run that printed warnings fails too.
quiet() { local out; out=$("$@" 2>&1 >/dev/null) && [ -z "$out" ] || { echo "$out"; return 1; }; }

check "the desktop entry is valid" desktop-file-validate "$src/dist/bleepforge.desktop"
check "the MIME package is well-formed XML" xmllint --noout "$src/dist/bleepforge.xml"
for page in bleepforge bleepforge-cli; do
  check "$page.1 formats without warnings" quiet env MANWIDTH=80 man --warnings -l "$build/dist/$page.1"
  check "$page.1 passes groff -ww" quiet groff -ww -man -Tutf8 -z "$build/dist/$page.1"
done

expected=$(sed 's/^ *//' <<'LIST' | sort
bin/bleepforge
bin/bleepforge-cli
share/applications/bleepforge.desktop
share/bash-completion/completions/bleepforge-cli
share/bleepforge/driver/game_calls.inc
share/bleepforge/driver/game_driver.s
share/bleepforge/driver/game_periods.inc
share/bleepforge/examples/demo.zcm
share/bleepforge/examples/example.zci
share/bleepforge/examples/example.zcm
share/icons/hicolor/128x128/apps/bleepforge.png
share/icons/hicolor/16x16/apps/bleepforge.png
share/icons/hicolor/256x256/apps/bleepforge.png
share/icons/hicolor/32x32/apps/bleepforge.png
share/icons/hicolor/64x64/apps/bleepforge.png
share/man/man1/bleepforge-cli.1.gz
share/man/man1/bleepforge.1.gz
share/mime/packages/bleepforge.xml
LIST
)

prefix=$work/prefix
check "cmake --install into a fresh prefix" cmake --install "$build" --prefix "$prefix"
check "the prefix holds exactly the expected files" \
  diff <(echo "$expected") <(cd "$prefix" && find . -type f | sed 's|^\./||' | sort)
check "the installed bleepforge-cli renders an installed example" \
  bash -c "cd '$work' && '$prefix/bin/bleepforge-cli' render '$prefix/share/bleepforge/examples/demo.zcm' out.wav --seconds 1 && test -s out.wav"
check "the installed game driver assembles, for both TV systems and for one" \
  bash -c "cd '$work' && for tv in '' 'BLEEP_TV_SYSTEM = 1'; do
             printf 'BLEEP_ZP = 16\\nBLEEP_RAM = 768\\n%s\\n.include \"game_driver.s\"\\n' \"\$tv\" > driver.s &&
             ca65 -I '$prefix/share/bleepforge/driver' -o driver.o driver.s || exit 1; done"
icon_sizes() {
  local n
  for n in 16 32 64 128 256; do
    [ "$(identify -format %wx%h "$prefix/share/icons/hicolor/${n}x${n}/apps/bleepforge.png")" = "${n}x${n}" ] || return 1
  done
}
check "the icons have their sizes" icon_sizes
mime_database() {
  XDG_DATA_DIRS=$prefix/share update-mime-database "$prefix/share/mime" &&
    grep -qx 'application/x-bleepforge-song' "$prefix/share/mime/types" &&
    grep -qx 'application/x-bleepforge-instrument' "$prefix/share/mime/types" &&
    grep -qa 'ZephyrcantorTune' "$prefix/share/mime/magic" && grep -qa 'ZephyrcantorInst' "$prefix/share/mime/magic"
}
check "update-mime-database takes both types with their magic" mime_database

check "cpack builds the Debian package" cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg"
deb=$(ls "$work"/pkg/bleepforge_*.deb 2>/dev/null | head -n 1 || true)
if [ -n "$deb" ]; then
  check "the package holds exactly the installed files under /usr" \
    diff <(echo "$expected" | sed 's|^|usr/|') \
         <(dpkg-deb -c "$deb" | awk '$1 ~ /^-/ { print $6 }' | sed 's|^\./||' | sort)
  check "the package depends on the libraries it links" bash -c \
    "dpkg-deb -f '$deb' Depends | grep -q libsndfile1 && dpkg-deb -f '$deb' Depends | grep -q libsdl1.2"
fi
exit $fail
