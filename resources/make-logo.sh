#!/bin/sh
# Draws the logo from logo.mvg and writes logo.jpg beside this script: a JPEG of
# 318 x 207 pixels and exactly 24,052 bytes, the size the program embeds.
#
# Needs ImageMagick's convert (Debian: imagemagick) and python3. The JPEG is
# committed, so the build itself never runs this; run it after editing logo.mvg.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
convert=${CONVERT:-convert}
width=318
height=207
size=24052
quality=95
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The drawing is passed inline: ImageMagick's default policy refuses "@file" paths.
"$convert" -size ${width}x${height} 'gradient:#ffffff-#e7ecf1' \
    -draw "$(cat "$here/logo.mvg")" \
    -strip -sampling-factor 1x1 -interlace none -quality $quality \
    "$work/logo.jpg"

geometry=$("$convert" "$work/logo.jpg" -format '%wx%h' info:)
if [ "$geometry" != "${width}x${height}" ]; then
    echo "make-logo.sh: drew ${geometry}, expected ${width}x${height}" >&2
    exit 1
fi

# Pads the file to the exact size with a COM (comment) segment right after SOI;
# decoders skip comments, so the picture is unchanged.
python3 - "$work/logo.jpg" "$here/logo.jpg" $size <<'PY'
import sys
source, target, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = open(source, "rb").read()
if data[:2] != b"\xff\xd8":
    sys.exit("make-logo.sh: not a JPEG")
text = b"Vesk 2 logo, drawn from logo.mvg by make-logo.sh. "
payload = size - len(data) - 4     # FF FE, two length bytes, payload
if payload < len(text) or payload + 2 > 0xffff:
    sys.exit("make-logo.sh: %d bytes cannot be padded to %d; change the quality" % (len(data), size))
comment = (text * (payload // len(text) + 1))[:payload]
segment = b"\xff\xfe" + (payload + 2).to_bytes(2, "big") + comment
out = data[:2] + segment + data[2:]
assert len(out) == size
open(target, "wb").write(out)
PY

echo "wrote $here/logo.jpg: ${width}x${height}, $(wc -c < "$here/logo.jpg") bytes"
