#!/bin/bash
# Makes world-land.png: a 1440 × 720 one-bit land mask, one pixel per quarter
# degree, row 0 at 90°N, column 0 at 180°W, white for land. Built from the
# low-resolution GSHHG shorelines through GMT (Debian: gmt, gmt-gshhg-low);
# only this script needs them, the program reads the committed PNG.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# Pixel registration: each cell's value is the shoreline test at its centre.
# Lakes count as water, islands in lakes as land.
gmt grdlandmask -R-180/180/-90/90 -I0.25 -Dl -N0/1 -r -Gmask.nc
gmt grd2xyz mask.nc -ZTLc >mask.raw
python3 - mask.raw "$here/world-land.png" <<'PY'
import struct, sys, zlib
w, h = 1440, 720
raw = open(sys.argv[1], 'rb').read()
assert len(raw) == w * h
rows = bytearray()
for y in range(h):
    rows.append(0)  # filter: none
    line = raw[y * w:(y + 1) * w]
    for x in range(0, w, 8):
        byte = 0
        for bit in range(8):
            byte = (byte << 1) | (1 if line[x + bit] else 0)
        rows.append(byte)
def chunk(kind, data):
    c = kind + data
    return struct.pack('>I', len(data)) + c + struct.pack('>I', zlib.crc32(c) & 0xffffffff)
png = b'\x89PNG\r\n\x1a\n'
png += chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 1, 0, 0, 0, 0))
png += chunk(b'IDAT', zlib.compress(bytes(rows), 9))
png += chunk(b'IEND', b'')
open(sys.argv[2], 'wb').write(png)
PY
