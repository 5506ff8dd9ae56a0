#!/usr/bin/env python3
"""Draws a whole-world map in a projection GMT does not draw, from PROJ's own
inverse (the invproj program) and a land/sea raster GMT drew in the globe
layout: sea (164,203,230), land (205,185,127), the page outside the outline
magenta, the outline's bounding rectangle 20 px inside the image.

usage: draw-through-proj.py TRUTH.ppm "+proj=eqearth" WIDTH OUT.ppm
"""
import subprocess
import sys

truth_path, definition, width, out_path = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
args = definition.split() + ["+R=1"]


def read_ppm(path):
    data = open(path, "rb").read()
    parts = data.split(maxsplit=4)
    w, h = int(parts[1]), int(parts[2])
    return w, h, parts[4][-w * h * 3:]


def run(program, points, extra=()):
    text = "".join("%.12f %.12f\n" % p for p in points)
    out = subprocess.run([program, "-f", "%.12f", *extra, *args], input=text, capture_output=True,
                         text=True, check=True).stdout.split("\n")
    result = []
    for line in out[: len(points)]:
        fields = line.split()
        result.append(None if len(fields) < 2 or "*" in line else (float(fields[0]), float(fields[1])))
    return result


# The outline's bounding rectangle: the edge meridians and the poles.
edge = [(side * 179.9999999, k / 10.0 - 90.0) for side in (-1, 1) for k in range(1801)]
edge += [(k / 10.0 - 180.0, pole) for pole in (-90.0, 90.0) for k in range(3601)]
xy = [p for p in run("proj", edge) if p]
x_min, x_max = min(p[0] for p in xy), max(p[0] for p in xy)
y_min, y_max = min(p[1] for p in xy), max(p[1] for p in xy)
# Every pixel of the rectangle is map at its centre, as in GMT's crop.
scale = width / (x_max - x_min)
height = int(round((y_max - y_min) * scale))

tw, th, truth = read_ppm(truth_path)
centres = [(x_min + (c + 0.5) / scale, y_max - (r + 0.5) / scale) for r in range(height) for c in range(width)]
lonlat = run("invproj", centres)
# PROJ's inverse answers beyond the outline too: keep the points whose
# forward projection comes back to the pixel.
back = run("proj", [p if p else (0.0, 0.0) for p in lonlat])
for k, (p, q) in enumerate(zip(lonlat, back)):
    if p and (q is None or abs(q[0] - centres[k][0]) > 1e-6 or abs(q[1] - centres[k][1]) > 1e-6):
        lonlat[k] = None
margin = 20
W, H = width + 2 * margin, height + 2 * margin
page = bytes((255, 0, 255))
rows = [bytearray(page * W) for _ in range(H)]
for k, p in enumerate(lonlat):
    if p is None or abs(p[0]) > 180.0 or abs(p[1]) > 90.0:
        continue
    r, c = divmod(k, width)
    tx = min(tw - 1, int((p[0] + 180.0) / 360.0 * tw))
    ty = min(th - 1, int((90.0 - p[1]) / 180.0 * th))
    i = (ty * tw + tx) * 3
    rows[r + margin][(c + margin) * 3:(c + margin) * 3 + 3] = truth[i:i + 3]
with open(out_path, "wb") as f:
    f.write(b"P6\n%d %d\n255\n" % (W, H))
    for row in rows:
        f.write(row)
