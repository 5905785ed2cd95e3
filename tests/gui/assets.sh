#!/usr/bin/env bash
# The built-in pictures as the build made them: sizes, channels, and a few glyphs of the font
# where code page 437 puts them.
#   assets.sh GENERATED_ASSET_DIR
set -euo pipefail
cd "$1"
fail=0
expect() {  # expect NAME ACTUAL WANTED
  if [ "$2" = "$3" ]; then echo "ok: $1 = $2"; else echo "FAILED: $1 = $2, wanted $3"; fail=1; fi
}
expect font "$(identify -format '%w %h %[channels]' font.png)" "160 288 graya"
expect backdrop "$(identify -format '%w %h %[channels]' backdrop.png)" "784 592 srgb"
expect icon "$(identify -format '%w %h %[channels]' icon.png)" "32 32 srgba"

# Opaque pixels of one 10 x 18 cell (column = low nibble, row = high nibble) as "x,y" lines.
cell() {
  convert font.png -crop "10x18+$(( ($1 & 15) * 10 ))+$(( ($1 >> 4) * 18 ))" +repage txt: |
    awk '/^[0-9]+,[0-9]+:/ { split($1, p, /[,:]/); if ($0 ~ /graya\(255,1\)/) print p[1] "," p[2] }'
}
# "A" (0x41, column 1, row 4) has ink, none of it in the one-pixel margin.
a=$(cell 0x41)
expect "A has ink" "$([ -n "$a" ] && echo yes || echo no)" yes
expect "A keeps the margin clear" "$(echo "$a" | awk -F, '$1 == 0 || $1 == 9 || $2 == 0 || $2 == 17' | wc -l)" 0
# 0xFA is a small dot in the middle of the cell.
expect "0xFA is a centred dot" "$(cell 0xFA | tr '\n' ' ')" "4,9 5,9 4,10 5,10 "
# The space and byte 0 are blank; the vertical bar 0xB3 runs the full glyph height.
expect "space is blank" "$(cell 0x20 | wc -l)" 0
expect "0xB3 spans 16 rows" "$(cell 0xB3 | cut -d, -f2 | sort -u | wc -l)" 16
exit $fail
