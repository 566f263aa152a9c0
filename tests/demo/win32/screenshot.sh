#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# screenshot.sh WINE PROGRAM OUTPUT.png [DOCS.png]: runs the screenshot
# program, which writes the dialog's picture as a BMP, and turns it into
# OUTPUT.png with ImageMagick. With DOCS.png, copies it there when the two
# differ in a pixel (or DOCS.png is missing), so that the picture the docs
# show is what the dialog draws now, and a file touched only when it changed.
set -eu
wine=$1 program=$2 out=$3 docs=${4:-}
bmp=orvapanel-screenshot.bmp  # in the working directory
rm -f "$bmp" "$out"
"$wine" "$program" "$bmp"
# No time stamps: the same picture is the same file.
convert "$bmp" -strip -define png:exclude-chunks=date,time "$out"
size=$(identify -format '%wx%h' "$out")
echo "screenshot: $out ($size)"
width=${size%x*} height=${size#*x}
# 396 by 311 dialog units and the frame: more than 500 by 400 pixels.
[ "$width" -gt 500 ] && [ "$height" -gt 400 ]
[ -n "$docs" ] || exit 0
# compare prints the number of differing pixels; it fails outright when the sizes differ.
if [ -f "$docs" ] && [ "$(identify -format '%wx%h' "$docs")" = "$size" ] &&
  [ "$(compare -metric AE "$docs" "$out" null: 2>&1 || true)" = 0 ]; then
  echo "screenshot: $docs shows the same"
  exit 0
fi
cp "$out" "$docs.new"
mv "$docs.new" "$docs"
echo "screenshot: $docs written, the dialog draws otherwise now"
