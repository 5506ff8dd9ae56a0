#!/bin/bash
# Draws small whole-world maps in projections beyond Miller and Mercator with
# GMT (Debian: gmt, gmt-gshhg-low) on a magenta page, land (205,185,127) and
# sea (164,203,230), the map's bounding rectangle 20 px inside the image on
# every side, and the truth in the globe layout. Only this script needs GMT and ImageMagick; tests read the PNGs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
gmt set PROJ_ELLIPSOID sphere PS_PAGE_COLOR 255/0/255
draw() { # name, GMT projection, central meridian
  gmt begin "$1" png E100
  gmt coast -R$(( $3 - 180 ))/$(( $3 + 180 ))/-90/90 "$2" -Dl -A0/0/1 -G205/185/127 -S164/203/230 -B+n
  gmt end
  # The crop may leave page rows outside the outline's box: trim them (a page
  # border first, so that only the page is trimmed), then
  # put back exactly 20 px of page on every side.
  convert "$1.png" -bordercolor "rgb(255,0,255)" -border 1 -fuzz 10% -trim +repage -bordercolor "rgb(255,0,255)" -border 20 \
    -type TrueColor -define png:color-type=2 -strip "$here/$1.png"
}
# The truth the conversions are checked against: the same coastlines drawn
# directly in the globe layout, 720 × 360, one cell every half degree from
# 180°W and 90°N (the raster is rounded up a column, cut off again).
gmt begin truth png E100
gmt coast -R-180/180/-90/90 -JX7.2i/3.6i -Dl -A0/0/1 -G205/185/127 -S164/203/230 -B+n
gmt end
convert truth.png -bordercolor "rgb(255,0,255)" -border 1 -fuzz 10% -trim +repage \
  -crop 720x360+0+0 +repage -type TrueColor \
  -define png:color-type=2 -strip "$here/truth-720x360.png"
draw robinson -JN0/12i 0
draw mollweide -JW0/12i 0
draw winkel-tripel -JR0/12i 0
draw eckert4 -JKf0/12i 0
draw equirectangular -JQ0/12i 0
draw robinson-pacific -JN150/12i 150

# The same world with a 30° graticule drawn by GMT, for the curved grid the
# overlay draws: interior meridians and parallels only, stopping a degree short
# of the outline, so that the crop to the outline is the one above.
awk 'BEGIN {
  for (lon = -150; lon <= 150; lon += 30) { print ">"; for (lat = -89; lat <= 89; lat += 0.5) print lon, lat }
  for (lat = -60; lat <= 60; lat += 30) { print ">"; for (lon = -179; lon <= 179; lon += 0.5) print lon, lat }
}' > grid.txt
mkdir -p "$here/grid"
grid() { # name, GMT projection
  gmt begin "$1" png E100
  gmt coast -R-180/180/-90/90 "$2" -Dl -A0/0/1 -G205/185/127 -S164/203/230 -B+n
  gmt plot grid.txt -A -W1p,black
  gmt end
  convert "$1.png" -bordercolor "rgb(255,0,255)" -border 1 -fuzz 10% -trim +repage -bordercolor "rgb(255,0,255)" -border 20 \
    -type TrueColor -define png:color-type=2 -strip "$here/grid/$1.png"
}
grid robinson -JN0/6i
grid mollweide -JW0/6i
grid winkel-tripel -JR0/6i
grid eckert4 -JKf0/6i
grid equirectangular -JQ0/6i
grid gall-stereographic -JCyl_stere/0/45/6i
grid gall-peters -JY0/45/6i
grid behrmann -JY0/30/6i

# GMT draws the land for the projections it has no name for in the globe
# layout, a cell every eighth of a degree; PROJ's own inverse (invproj, Debian:
# proj-bin) places it on the map.
gmt begin fine png E100
gmt coast -R-180/180/-90/90 -JX28.8i/14.4i -Dl -A0/0/1 -G205/185/127 -S164/203/230 -B+n
gmt end
convert fine.png -bordercolor "rgb(255,0,255)" -border 1 -fuzz 10% -trim +repage -crop 2880x1440+0+0 +repage fine.ppm
through() { # name, PROJ definition
  "$here/draw-through-proj.py" fine.ppm "$2" 1201 "$1.ppm"
  convert "$1.ppm" -type TrueColor -define png:color-type=2 -strip "$here/$1.png"
}
through equal-earth "+proj=eqearth"
through natural-earth "+proj=natearth"
through kavrayskiy7 "+proj=kav7"
draw gall-stereographic -JCyl_stere/0/45/12i 0
draw gall-peters -JY0/45/12i 0
draw behrmann -JY0/30/12i 0
