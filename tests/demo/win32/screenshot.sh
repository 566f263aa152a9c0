#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# screenshot.sh WINE PROGRAM OUTPUT.png: runs the screenshot program, which
# writes the dialog's picture as a BMP, and turns it into OUTPUT.png with
# ImageMagick.
set -eu
wine=$1 program=$2 out=$3
bmp=orvapanel-screenshot.bmp  # in the working directory
rm -f "$bmp" "$out"
"$wine" "$program" "$bmp"
convert "$bmp" "$out"
size=$(identify -format '%wx%h' "$out")
echo "screenshot: $out ($size)"
width=${size%x*} height=${size#*x}
# 396 by 311 dialog units and the frame: more than 500 by 400 pixels.
[ "$width" -gt 500 ] && [ "$height" -gt 400 ]
