#!/usr/bin/env bash
# Remakes the raster icons from norvex.svg: the 32 x 32, 24-bit PNG (window and desktop icon)
# and the same image as a 24-bit Windows .ico. Needs ImageMagick and python3.
set -euo pipefail
cd "$(dirname "$0")"
convert -background '#1f5f8b' norvex.svg -flatten -alpha off -depth 8 -type TrueColor PNG24:norvex.png
convert norvex.png -depth 8 rgb:- | python3 -c '
import struct, sys
w = h = 32
rgb = sys.stdin.buffer.read()
assert len(rgb) == w * h * 3
rows = [rgb[y * w * 3:(y + 1) * w * 3] for y in range(h)]
xor = b"".join(bytes(b for i in range(w) for b in (r[3*i+2], r[3*i+1], r[3*i])) for r in reversed(rows))
mask = bytes(4 * h)  # rows padded to 32 bits; all opaque
header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 24, 0, len(xor) + len(mask), 0, 0, 0, 0)
image = header + xor + mask
sys.stdout.buffer.write(struct.pack("<HHH", 0, 1, 1) +
                        struct.pack("<BBBBHHII", w, h, 0, 0, 1, 24, len(image), 22) + image)
' > norvex.ico
