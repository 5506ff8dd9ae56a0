#!/usr/bin/env bash
# Files per second of a command-line batch run against GDAL doing the same 20
# conversions (sample map, 2048 x 1024 JPEG at quality 90, nearest neighbour),
# both measured in this run. Needs apt for the peer tools; builds the program
# in Release into build-bench.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
count=${COUNT:-20}
sample=$root/sample_images/sample-miller.jpg

# The peer tools are the benchmark's own business, not the program's.
if ! command -v gdalwarp >/dev/null || ! command -v gdal_translate >/dev/null \
    || ! command -v proj >/dev/null; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq gdal-bin proj-bin >/dev/null
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$build" --target plano-miller -j2 >/dev/null
exe=$build/plano-miller

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/copies" "$work/ours" "$work/gdal"
for i in $(seq -w 1 "$count"); do
    cp "$sample" "$work/copies/map_$i.jpg"
done

# The sample's map area, as in tests/data/sample-miller.ini.
left=55 top=78 right=42 bottom=47
read -r width height < <(gdalinfo "$sample" | sed -n 's/^Size is \([0-9]*\), *\([0-9]*\)$/\1 \2/p')

cat >"$work/bench.ini" <<EOF
[IO]
BatchOutputFolder=$work/ours
BatchInputFileSortType=0
BatchOutputFileNameType=0
OutputSizeX=2048
OutputSizeY=1024
OutputFormat=0
OutputQuality=90
Overwrite=true
OpenFiler=false

[Convert]
MarginLeft=$left
MarginRight=$right
MarginBottom=$bottom
MarginTop=$top
MapProjection=miller
LongitudeMinimum=-180
LongitudeMaximum=180
LatitudeMinimum=-90
LatitudeMaximum=90
EOF

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }

# The start-up alone (process, toolkit and settings before any file), so
# the per-file rate can be told apart from it.
start=$(now)
QT_QPA_PLATFORM=offscreen "$exe" /batch "/ini=$work/empty.ini" 2>/dev/null
startup_seconds=$(since "$start")

start=$(now)
QT_QPA_PLATFORM=offscreen "$exe" /batch "/ini=$work/bench.ini" "$work"/copies/*.jpg 2>"$work/ours.log" \
    || { echo "plano-miller failed:" >&2; cat "$work/ours.log" >&2; exit 1; }
ours_seconds=$(since "$start")
ours_files=$(find "$work/ours" -name '*.jpg' | wc -l)
if [ "$ours_files" -ne "$count" ]; then
    echo "plano-miller wrote $ours_files of $count files" >&2
    cat "$work/ours.log" >&2
    exit 1
fi

# Corners of the whole Miller world on a sphere, in metres.
srs='+proj=mill +R=6378137 +units=m +no_defs'
read -r xmin ymax < <(echo "-180 90" | proj -f '%.6f' +proj=mill +R=6378137)
read -r xmax ymin < <(echo "180 -90" | proj -f '%.6f' +proj=mill +R=6378137)

start=$(now)
for f in "$work"/copies/*.jpg; do
    name=$(basename "$f" .jpg)
    gdal_translate -q -of VRT \
        -srcwin "$left" "$top" $((width - left - right)) $((height - top - bottom)) \
        -a_srs "$srs" -a_ullr "$xmin" "$ymax" "$xmax" "$ymin" \
        "$f" "$work/gdal/$name.vrt"
    gdalwarp -q -overwrite -r near -ts 2048 1024 -te -180 -90 180 90 -t_srs EPSG:4326 \
        -of JPEG -co QUALITY=90 "$work/gdal/$name.vrt" "$work/gdal/$name.jpg"
done
gdal_seconds=$(since "$start")
gdal_files=$(find "$work/gdal" -name '*.jpg' | wc -l)

awk -v n="$count" -v to="$ours_seconds" -v tg="$gdal_seconds" -v gf="$gdal_files" \
    -v ts="$startup_seconds" 'BEGIN {
    ours = n / to; gdal = gf / tg
    printf "files: %d copies of sample-miller.jpg, output 2048 x 1024 JPEG quality 90\n", n
    printf "plano-miller /batch:     %7.3f s  %7.2f files/s\n", to, ours
    printf "gdal_translate+gdalwarp: %7.3f s  %7.2f files/s\n", tg, gdal
    printf "ratio (ours / GDAL): %.2fx (target >= 5x)\n", ours / gdal
    if (to > ts) {
        per = n / (to - ts)
        printf "plano-miller start-up alone: %.3f s; per file after it: %.2f files/s, %.2fx GDAL\n", \
            ts, per, per / gdal
    }
}'
