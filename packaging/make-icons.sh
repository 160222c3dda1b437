#!/bin/sh
# Regenerates the committed PNG icons from veklog.svg; the 16 pixel icon is the
# list's own 12x12 error pixmap, centred, so it stays crisp at that size.
# Needs rsvg-convert (librsvg2-bin) and ImageMagick's convert.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for size in 32 48 128; do
  rsvg-convert -w "$size" -h "$size" "$here/veklog.svg" -o "$tmp/$size.png"
  "$convert" "$tmp/$size.png" -strip "PNG32:$here/veklog-$size.png"
done

cat > "$tmp/error.xpm" <<'XPM'
/* XPM */
static const char *error_xpm[] = {
"16 16 5 1",
" 	c None",
".	c #ff7f7f",
"/	c #7f0000",
"o	c #ff0000",
"O	c #ffffff",
"                ",
"                ",
"     ......     ",
"    .oooooo/    ",
"   .oooOOooo/   ",
"  .ooooOOoooo/  ",
"  .ooooOOoooo/  ",
"  .ooooOOoooo/  ",
"  .ooooOooooo/  ",
"  .oooooooooo/  ",
"  .ooooOOoooo/  ",
"   /oooOOooo/   ",
"    /oooooo/    ",
"     //////     ",
"                ",
"                "};
XPM
"$convert" "$tmp/error.xpm" -strip "PNG32:$here/veklog-16.png"
