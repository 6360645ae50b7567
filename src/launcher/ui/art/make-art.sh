#!/bin/sh
# Makes the dialog's bitmap and the program's icon from the SVG sources beside this script,
# with ImageMagick (Debian package imagemagick). The results are committed, so a build does
# not need ImageMagick; run this after changing a source and commit what it writes.
#
#   picture.bmp  190 x 131, 8 bits per pixel, run-length encoded with only the colours it
#                uses (bitmap resource 138; the stub carries it, so every byte counts)
#   quenlow.ico  48, 32 and 16 pixels, each at 32 bits per pixel (alpha) and at 8 bits
#                per pixel (256 colours and a transparency mask) (icon group 128)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The sky is a gradient made here: ImageMagick's own SVG renderer draws no SVG gradients.
convert -size 190x131 gradient:'#1f5fa8-#bfe3f7' \
    \( -background none "$here/picture.svg" \) -composite \
    -dither FloydSteinberg -colors 256 -type Palette -compress None \
    "BMP3:$here/picture.bmp"
python3 "$here/rle8.py" "$here/picture.bmp"

# Each size is drawn large and scaled down, which gives cleaner edges than drawing small.
for size in 48 32 16; do
    convert -background none -density 576 "$here/icon.svg" -resize "${size}x${size}" \
        "PNG32:$work/icon$size.png"
done
# The 8-bit images have on/off transparency (the icon's mask) and no dithering noise. They
# must be reduced in the same command that writes the icon, or they reach it as true colour.
eight() { echo "( $work/icon$1.png -channel A -threshold 50% +channel +dither -colors 255 )"; }
# shellcheck disable=SC2046
convert $(eight 48) $(eight 32) $(eight 16) \
    "$work/icon48.png" "$work/icon32.png" "$work/icon16.png" "$here/quenlow.ico"

# What the resources promise: refuse to leave anything else behind.
check() {
    actual=$(identify -format "$2" "$1")
    if [ "$actual" != "$3" ]; then
        echo "make-art.sh: $1: expected '$3', got '$actual'" >&2
        exit 1
    fi
}
check "$here/picture.bmp" '%wx%h %z\n' '190x131 8'
check "$here/quenlow.ico" '%wx%h ' '48x48 32x32 16x16 48x48 32x32 16x16 '
python3 - "$here/quenlow.ico" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
count = struct.unpack_from("<H", data, 4)[0]
depths = [struct.unpack_from("<H", data, 6 + 16 * i + 6)[0] for i in range(count)]
if depths != [8, 8, 8, 32, 32, 32]:
    sys.exit("make-art.sh: icon depths %s" % depths)
PY
echo "made $here/picture.bmp and $here/quenlow.ico"
