#!/usr/bin/env bash
# Files per second of a command-line batch run against GDAL doing the same 20
# conversions (sample map, 2048 x 1024 JPEG at quality 90), all measured in this
# run: nearest neighbour and bicubic against GDAL's near and cubic, and nearest
# against the program as it is on BASELINE_REF (default main), built from a
# git archive of that commit into build-bench-base. Needs apt for the peer
# tools; builds the program in Release into build-bench.
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

baseline_ref=${BASELINE_REF:-main}
base_build=${BASE_BUILD_DIR:-$root/build-bench-base}
base_exe=""
if git -C "$root" rev-parse --verify -q "$baseline_ref^{commit}" >/dev/null; then
    base_src=$base_build/src
    base_commit=$(git -C "$root" rev-parse "$baseline_ref^{commit}")
    if [ ! -f "$base_build/commit" ] || [ "$(cat "$base_build/commit")" != "$base_commit" ]; then
        rm -rf "$base_build"
        mkdir -p "$base_src"
        git -C "$root" archive "$base_commit" | tar -x -C "$base_src"
        cmake -S "$base_src" -B "$base_build/out" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
            >/dev/null
        echo "$base_commit" >"$base_build/commit"
    fi
    cmake --build "$base_build/out" --target plano-miller -j2 >/dev/null
    base_exe=$base_build/out/plano-miller
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/copies" "$work/ours" "$work/gdal"
for i in $(seq -w 1 "$count"); do
    cp "$sample" "$work/copies/map_$i.jpg"
done

# The sample's map area, as in tests/data/sample-miller.ini.
left=55 top=78 right=42 bottom=47
read -r width height < <(gdalinfo "$sample" | sed -n 's/^Size is \([0-9]*\), *\([0-9]*\)$/\1 \2/p')

write_ini() { # file, output folder, resampling
cat >"$1" <<EOF
[IO]
BatchOutputFolder=$2
Resampling=$3
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
}

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }

# The start-up alone (process, toolkit and settings before any file), so
# the per-file rate can be told apart from it.
start=$(now)
QT_QPA_PLATFORM=offscreen "$exe" /batch "/ini=$work/empty.ini" 2>/dev/null
startup_seconds=$(since "$start")

# The fastest of RUNS batch runs (the machine may be shared); prints its seconds.
runs=${RUNS:-3}
batch() { # executable, name, resampling
    mkdir -p "$work/$2"
    write_ini "$work/$2.ini" "$work/$2" "$3"
    local start best="" t
    for _ in $(seq "$runs"); do
        start=$(now)
        QT_QPA_PLATFORM=offscreen "$1" /batch "/ini=$work/$2.ini" "$work"/copies/*.jpg \
            2>"$work/$2.log" || { echo "$2 failed:" >&2; cat "$work/$2.log" >&2; exit 1; }
        t=$(since "$start")
        best=$(awk -v a="$best" -v b="$t" 'BEGIN { print (a == "" || b < a) ? b : a }')
    done
    echo "$best"
    local files
    files=$(find "$work/$2" -name '*.jpg' | wc -l)
    if [ "$files" -ne "$count" ]; then
        echo "$2 wrote $files of $count files" >&2
        exit 1
    fi
}

ours_seconds=$(batch "$exe" ours 0)
cubic_seconds=$(batch "$exe" ours-cubic 2)
base_seconds=""
if [ -n "$base_exe" ]; then
    base_seconds=$(batch "$base_exe" base 0)
fi

# Corners of the whole Miller world on a sphere, in metres.
srs='+proj=mill +R=6378137 +units=m +no_defs'
read -r xmin ymax < <(echo "-180 90" | proj -f '%.6f' +proj=mill +R=6378137)
read -r xmax ymin < <(echo "180 -90" | proj -f '%.6f' +proj=mill +R=6378137)

gdal() { # resampling; prints seconds
    mkdir -p "$work/gdal-$1"
    local start
    start=$(now)
    for f in "$work"/copies/*.jpg; do
        name=$(basename "$f" .jpg)
        gdal_translate -q -of VRT \
            -srcwin "$left" "$top" $((width - left - right)) $((height - top - bottom)) \
            -a_srs "$srs" -a_ullr "$xmin" "$ymax" "$xmax" "$ymin" \
            "$f" "$work/gdal-$1/$name.vrt"
        gdalwarp -q -overwrite -r "$1" -ts 2048 1024 -te -180 -90 180 90 -t_srs EPSG:4326 \
            -of JPEG -co QUALITY=90 "$work/gdal-$1/$name.vrt" "$work/gdal-$1/$name.jpg"
    done
    since "$start"
}
gdal_seconds=$(gdal near)
gdal_cubic_seconds=$(gdal cubic)
gdal_files=$(find "$work/gdal-near" -name '*.jpg' | wc -l)
gdal_cubic_files=$(find "$work/gdal-cubic" -name '*.jpg' | wc -l)

awk -v n="$count" -v to="$ours_seconds" -v tc="$cubic_seconds" -v tb="$base_seconds" \
    -v tg="$gdal_seconds" -v gf="$gdal_files" -v tgc="$gdal_cubic_seconds" \
    -v gcf="$gdal_cubic_files" -v ts="$startup_seconds" -v ref="$baseline_ref" \
    -v cores="$(nproc)" 'BEGIN {
    ours = n / to; cubic = n / tc; gdal = gf / tg; gcubic = gcf / tgc
    printf "files: %d copies of sample-miller.jpg, output 2048 x 1024 JPEG quality 90, %d cores\n", n, cores
    printf "plano-miller /batch nearest: %7.3f s  %7.2f files/s\n", to, ours
    printf "plano-miller /batch bicubic: %7.3f s  %7.2f files/s\n", tc, cubic
    if (tb != "") {
        base = n / tb
        printf "%s /batch nearest: %7.3f s  %7.2f files/s\n", ref, tb, base
    }
    printf "GDAL -r near:   %7.3f s  %7.2f files/s\n", tg, gdal
    printf "GDAL -r cubic:  %7.3f s  %7.2f files/s\n", tgc, gcubic
    printf "ratio nearest (ours / GDAL near): %.2fx\n", ours / gdal
    printf "ratio bicubic (ours / GDAL cubic): %.2fx (target >= 5x)\n", cubic / gcubic
    if (tb != "")
        printf "ratio nearest (ours / %s): %.2fx (target >= 1.6x on 2 cores)\n", ref, ours / base
    if (to > ts)
        printf "plano-miller start-up alone: %.3f s; nearest per file after it: %.2f files/s\n", \
            ts, n / (to - ts)
}'
