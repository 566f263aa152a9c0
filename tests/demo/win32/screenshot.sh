#!/bin/sh
# screenshot.sh WINE PROGRAM OUTPUT.png: runs the screenshot program in a
# virtual desktop of Wine's (where windows get their title bars without a
# window manager), then turns its BMP into OUTPUT.png with ImageMagick.
set -eu
wine=$1 program=$2 out=$3
bmp=orvapanel-screenshot.bmp  # in the working directory, where the program writes it
rm -f "$bmp" "$out"
"$wine" explorer /desktop=orvapanel,720x600 "$program" "$bmp"
# explorer returns once the program has started; the picture comes when the read is done.
for _ in $(seq 1 300); do
  [ -s "$bmp" ] && break
  sleep 0.1
done
sleep 1  # the program has closed the file; let it end
if [ ! -s "$bmp" ]; then
  echo "no screenshot: the program wrote no $bmp" >&2
  exit 1
fi
convert "$bmp" "$out"
size=$(identify -format '%wx%h' "$out")
echo "screenshot: $out ($size)"
width=${size%x*} height=${size#*x}
# The window of 396 by 311 dialog units with its frame: larger than 500 by 400 pixels.
[ "$width" -gt 500 ] && [ "$height" -gt 400 ]
