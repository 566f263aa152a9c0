#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Makes orvapanel.ico, the program icon (resource 128: 32 by 32 pixels, 16
# colours), from the demo's icon picture. Needs ImageMagick; the result is
# committed, so that a build needs neither.
set -eu
cd "$(dirname "$0")"
convert ../orvapanel.png -resize 32x32 -colors 16 ICO:orvapanel.ico
# Check what Windows will read: one image, 32 by 32, 16 colours, 4 bits a pixel.
od -An -tu1 -j6 -N6 orvapanel.ico | awk '$1 != 32 || $2 != 32 || $3 != 16 || $5 != 1 { print "orvapanel.ico: not a 32x32 16-colour icon:", $0; exit 1 }'
od -An -tu2 -j4 -N2 orvapanel.ico | awk '$1 != 1 { print "orvapanel.ico: more than one image"; exit 1 }'
od -An -tu2 -j12 -N2 orvapanel.ico | awk '$1 != 4 { print "orvapanel.ico: not 4 bits a pixel"; exit 1 }'
