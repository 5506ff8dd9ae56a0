#!/usr/bin/env bash
# Renders the map-area detection test pages with GMT 6 (classic mode) and ImageMagick.
#
#   make-pages.sh [test]        the committed set, written next to this script
#   make-pages.sh test NAME...  only the named pages of it, their truth rows replaced
#   make-pages.sh eval OUTDIR   a larger, different set for evaluation only (OUTDIR outside the repo)
#
# Every page is drawn twice with identical geometry: the page itself and a mask (land and
# sea only, in fixed colours on white, no antialiasing). The truth map area is the bounding
# box of the mask's non-white pixels; it is checked against the geometry the script asked
# GMT for. See README.md.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mode=${1:-test}
only=
case $mode in
test)
    out=$here
    (($# > 1)) && only=" ${*:2} "
    ;;
eval)
    out=${2:?usage: make-pages.sh eval OUTDIR}
    mkdir -p "$out"
    out=$(cd "$out" && pwd)
    repo=$(cd "$here/../../../.." && pwd)
    case "$out/" in
    "$repo"/*) echo "make-pages.sh: the eval set belongs outside the repository ($repo)" >&2; exit 2 ;;
    esac
    ;;
*)
    echo "usage: make-pages.sh [test | eval OUTDIR]" >&2
    exit 2
    ;;
esac

for tool in gmt convert identify awk python3; do
    command -v "$tool" >/dev/null || { echo "make-pages.sh: $tool is needed" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out/masks"
truth=$out/truth.csv
[ -n "$only" ] ||
    echo "file,width,height,left,right,bottom,top,projection,lonMin,lonMax,latMin,latMax,parallels,meridians,frame,style" >"$truth"
problems=0

calc() { awk "BEGIN{$1}"; }

# mask.py IN.ppm OUT.png: checks that the mask holds only white, land and sea, writes it as a
# palette PNG and prints the bounding box of its non-white pixels: x y width height
cat >"$work/mask.py" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
fields, at = [], 0
while len(fields) < 4:
    while data[at:at + 1].isspace():
        at += 1
    if data[at:at + 1] == b"#":
        at = data.index(b"\n", at)
        continue
    end = at
    while not data[end:end + 1].isspace():
        end += 1
    fields.append(data[at:end])
    at = end
at += 1
assert fields[0] == b"P6" and fields[3] == b"255", "not an 8-bit PPM"
w, h = int(fields[1]), int(fields[2])
# land (205,185,127), sea (164,203,230), white: the green channel tells them apart
index = bytes.maketrans(b"\xff\xb9\xcb", b"\x00\x01\x02")
out, x0, x1, y0, y1 = [], w, -1, h, -1
for y in range(h):
    row = data[at + 3 * y * w: at + 3 * (y + 1) * w]
    r, g, b = row[0::3], row[1::3], row[2::3]
    if r.translate(None, b"\xff\xcd\xa4") or g.translate(None, b"\xff\xb9\xcb") or b.translate(None, b"\xff\x7f\xe6"):
        sys.exit("mask.py: row %d holds a colour other than white, land and sea" % y)
    left = len(g) - len(g.lstrip(b"\xff"))
    if left < w:
        x0, x1 = min(x0, left), max(x1, len(g.rstrip(b"\xff")) - 1)
        y0, y1 = min(y0, y), y
    out.append(b"\x00" + g.translate(index))
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 3, 0, 0, 0))
png += chunk(b"PLTE", bytes([255, 255, 255, 205, 185, 127, 164, 203, 230]))
png += chunk(b"IDAT", zlib.compress(b"".join(out), 9)) + chunk(b"IEND", b"")
open(sys.argv[2], "wb").write(png)
if x1 < 0:
    sys.exit("mask.py: the mask is empty")
print(x0, y0, x1 - x0 + 1, y1 - y0 + 1)
PY

# page KEY=VALUE ...
#  name fmt(png|jpg) q dpi        file name (without extension), format, JPEG quality, raster DPI (must divide 1200)
#  W left top mapw bottom         nominal page width, left and top margins, wanted map width, bottom margin;
#                                 the map width is adjusted so that the map height is a whole number of
#                                 pixels (GMT's edges then fall on pixel edges) and the page width follows
#  proj R                         miller|mercator|equirectangular|gall-stereographic|gall-peters|behrmann,
#                                 lonMin/lonMax/latMin/latMax as given to GMT
#  page land sea elev coast borders   colours (r/g/b or GMT names); elev=seed draws elevation-like land
#  gx gy gpen                     graticule intervals (0 = none) and pen
#  frame fpen fwidth fcol         none|plain|fancy, plain frame pen width (pt), fancy frame width (pt), colour
#  ax ay axes                     annotation intervals (0 = none) and the annotated sides, e.g. WSne
#  ink fs geofmt                  text colour, annotation font size (pt), GMT FORMAT_GEO_MAP
#  title sub credit               texts above / below the map
#  legend cbar scalebar inset rose    extras: positions (below|right|inside|margin|over...), empty = none
#  double                         outer second border, gap in px
#  card                           white card with a drop shadow on a grey page: card padding in px
#  texture                        noise texture on the page colour: seed
#  blur noise seed aa             post-processing: Gaussian blur sigma, noise attenuation, seed, graphics antialias bits
#  style                          words for truth.csv
page() {
    local -A P=(
        [fmt]=png [q]=85 [dpi]=120 [bottom]=40 [proj]=miller [R]=-180/180/-90/90
        [page]=white [land]=205/185/127 [sea]=164/203/230 [elev]= [coast]= [borders]=
        [gx]=0 [gy]=0 [gpen]=0.5p,gray60 [frame]=plain [fpen]=1 [fwidth]=4 [fcol]=black
        [ax]=0 [ay]=0 [axes]=WSne [ink]=black [fs]=9 [title]= [sub]= [credit]=
        [legend]= [cbar]= [scalebar]= [inset]= [rose]= [double]=0 [card]=0 [texture]=
        [blur]=0 [noise]=0 [seed]=1 [aa]=2 [geofmt]=ddd:mm:ss [style]=
    )
    local kv
    for kv in "$@"; do P[${kv%%=*}]=${kv#*=}; done
    [ -z "$only" ] || [[ $only == *" ${P[name]} "* ]] || return 0
    local name=${P[name]} dpi=${P[dpi]} W=${P[W]} left=${P[left]} top=${P[top]}
    local lo1 lo2 la1 la2
    IFS=/ read -r lo1 lo2 la1 la2 <<<"${P[R]}"
    local d=$work/$name
    mkdir -p "$d"
    (
    cd "$d"
    # --- geometry: map width Wm so that the map height Hm is (almost) a whole number of pixels
    local Wm Hm Hmi lon0
    read -r Wm Hm Hmi lon0 <<<"$(awk -v p="${P[proj]}" -v w="${P[mapw]}" -v maxw=100000 -v tol="$(calc "print 0.4 * $dpi / 1200")" -v a="$lo1" -v b="$lo2" -v c="$la1" -v e="$la2" '
        function tn(x) { return sin(x) / cos(x) }
        function Y(f) { f = f * pi / 180; if (p == "miller") return 1.25 * log(tn(pi / 4 + 0.4 * f))
                        if (p == "equirectangular") return f
                        if (p == "gall-stereographic") return (1 + sqrt(2)) * tn(f / 2)
                        if (p == "gall-peters") return 2 * sin(f)
                        if (p == "behrmann") return 4 / 3 * sin(f)
                        return log(tn(pi / 4 + f / 2)) }
        BEGIN { pi = atan2(0, -1); k = (Y(e) - Y(c)) / ((b - a) * pi / 180); best = 9
                for (i = 0; i <= 400; i++) { x = w + (i % 2 ? (i + 1) / 2 : -i / 2); if (x > maxw) continue
                    h = x * k; r = int(h + 0.5); q = h - r; if (q < 0) q = -q
                    if (q < best) { best = q; bw = x; bh = h; br = r }
                    if (q < tol) break }
                printf "%d %.4f %d %s\n", bw, bh, br, (a + b) / 2 }')"
    # the right margin is kept: the page width follows the map width
    local right=$((W - left - P[mapw])) bottom=${P[bottom]}
    ((right >= 0)) || { echo "$name: map wider than the page" >&2; exit 1; }
    W=$((left + Wm + right))
    local H=$((top + Hmi + bottom))
    if ((Wm - P[mapw] > 30 || P[mapw] - Wm > 30)); then
        echo "note: $name: map width $Wm instead of ${P[mapw]} for a whole-pixel map height" >&2
    fi
    # 1200 / dpi must be whole: GMT's PostScript coordinates are whole 1/1200 inch units, so a
    # whole pixel is a whole number of them and the map edges fall exactly on pixel edges
    ((1200 % dpi == 0)) || { echo "$name: dpi $dpi does not divide 1200" >&2; exit 1; }
    local Wr=$W Hr=$H
    pt() { awk -v v="$1" -v d="$dpi" 'BEGIN{printf "%.2f", v * 72 / d}'; }
    local Wpt Hpt X Y Wmpt
    Wpt=$(pt "$Wr"); Hpt=$(pt "$Hr")
    X=$(pt "$left"); Y=$(pt $((Hr - top - Hmi))); Wmpt=$(pt "$Wm")
    ypt() { pt $((Hr - $1)); }   # paper y (pt, from the bottom) of the row boundary $1 (px, from the top)
    local J
    case ${P[proj]} in
    miller) J="-JJ$lon0/${Wmpt}p" ;;
    mercator) J="-JM$lon0/${Wmpt}p" ;;
    equirectangular) J="-JQ$lon0/${Wmpt}p" ;;
    gall-stereographic) J="-JCyl_stere/$lon0/45/${Wmpt}p" ;;
    gall-peters) J="-JY$lon0/45/${Wmpt}p" ;;
    behrmann) J="-JY$lon0/30/${Wmpt}p" ;;
    *) echo "$name: unknown projection ${P[proj]}" >&2; exit 1 ;;
    esac
    local RJ="-R${P[R]} $J -Xa${X}p -Ya${Y}p"
    local PAPER="-R0/$Wpt/0/$Hpt -Jx1p -Xa0p -Ya0p"
    local pagecol=${P[page]}
    ((P[card] > 0)) && pagecol=white
    gmt set MAP_ORIGIN_X 0p MAP_ORIGIN_Y 0p PS_MEDIA "${Wpt}x${Hpt}" PS_PAGE_ORIENTATION portrait \
        PROJ_ELLIPSOID sphere PS_PAGE_COLOR "$pagecol" MAP_FRAME_TYPE "${P[frame]/none/plain}" \
        MAP_FRAME_PEN "${P[fpen]}p,${P[fcol]}" MAP_FRAME_WIDTH "${P[fwidth]}p" MAP_GRID_PEN_PRIMARY "${P[gpen]}" \
        MAP_TICK_PEN_PRIMARY "0.5p,${P[fcol]}" MAP_TICK_LENGTH_PRIMARY 3p/1.5p MAP_DEFAULT_PEN "0.5p,${P[ink]}" \
        FONT_ANNOT_PRIMARY "${P[fs]}p,Helvetica,${P[ink]}" FONT_LABEL "${P[fs]}p,Helvetica,${P[ink]}" \
        FONT_TITLE "$((P[fs] * 2))p,Helvetica-Bold,${P[ink]}" MAP_ANNOT_OFFSET_PRIMARY 3p GMT_VERBOSE e \
        FORMAT_GEO_MAP "${P[geofmt]}"
    local ps=page.ps
    gmt psxy $PAPER -T -K >$ps
    # --- land and sea
    local cw=""
    [ -n "${P[coast]}" ] && cw="-W${P[coast]}"
    if [ -n "${P[elev]}" ]; then
        local s=${P[elev]}
        gmt grdmath -R"${P[R]}" -I0.5 X 2 MUL $((s * 37)) ADD SIND Y 3 MUL $((s * 53)) ADD COSD MUL 900 MUL \
            X 5 MUL Y 3 MUL ADD $((s * 71)) ADD SIND 500 MUL ADD X 7 MUL Y 4 MUL SUB $((s * 13)) ADD COSD 300 MUL ADD \
            1400 ADD = elev.nc
        gmt makecpt -C"${P[elevcpt]:-dem2}" -T0/3000/250 -Z -D >elev.cpt
        gmt pscoast $RJ -S"${P[sea]}" -Dc -O -K >>$ps
        gmt pscoast $RJ -Gc -Dc -O -K >>$ps
        gmt grdimage elev.nc $RJ -Celev.cpt -O -K >>$ps
        gmt pscoast -Q -O -K >>$ps
        [ -n "$cw" ] && gmt pscoast $RJ $cw -Dc -O -K >>$ps
    else
        gmt pscoast $RJ -G"${P[land]}" -S"${P[sea]}" $cw -Dc -O -K >>$ps
    fi
    [ -n "${P[borders]}" ] && gmt pscoast $RJ -N1/"${P[borders]}" -Dc -O -K >>$ps
    # --- graticule, frame, annotations
    local bx="" by="" B=""
    ((P[ax] > 0)) && bx+="a${P[ax]}"
    ((P[ay] > 0)) && by+="a${P[ay]}"
    if [ "${P[frame]}" = fancy ]; then bx+="f${P[fx]:-${P[gx]/#0/30}}"; by+="f${P[fy]:-${P[gy]/#0/30}}"; fi
    ((P[gx] > 0)) && bx+="g${P[gx]}"
    ((P[gy] > 0)) && by+="g${P[gy]}"
    [ -n "$bx" ] && B+=" -Bx$bx"
    [ -n "$by" ] && B+=" -By$by"
    if [ "${P[frame]}" = none ]; then
        [ -n "$B" ] && gmt psbasemap $RJ $B -B+n -O -K >>$ps
    else
        local axes=${P[axes]}
        if ((P[ax] == 0 && P[ay] == 0)); then axes=wsne; fi
        gmt psbasemap $RJ $B -B"$axes" -O -K >>$ps
    fi
    # --- second border outside the frame
    if ((P[double] > 0)); then
        local gp=${P[double]}
        printf '%s %s\n%s %s\n%s %s\n%s %s\n%s %s\n' \
            "$(pt $((left - gp)))" "$(ypt $((top - gp)))" "$(pt $((left + Wm + gp)))" "$(ypt $((top - gp)))" \
            "$(pt $((left + Wm + gp)))" "$(ypt $((top + Hmi + gp)))" "$(pt $((left - gp)))" "$(ypt $((top + Hmi + gp)))" \
            "$(pt $((left - gp)))" "$(ypt $((top - gp)))" |
            gmt psxy $PAPER -W"${P[dpen]:-${P[fpen]}}p,${P[fcol]}" -O -K >>$ps
    fi
    # --- texts
    local cx
    cx=$(pt $((left + Wm / 2)))
    if [ -n "${P[title]}" ]; then
        echo "$cx $(ypt $((top * 45 / 100))) ${P[title]}" |
            gmt pstext $PAPER -F+f$((P[fs] * 2))p,Helvetica-Bold,"${P[ink]}"+jCM -N -O -K >>$ps
    fi
    if [ -n "${P[sub]}" ]; then
        echo "$cx $(ypt $((top * 72 / 100))) ${P[sub]}" |
            gmt pstext $PAPER -F+f"${P[fs]}"p,Helvetica-Oblique,"${P[ink]}"+jCM -N -O -K >>$ps
    fi
    if [ -n "${P[credit]}" ]; then
        echo "$(pt $((W - 8))) $(ypt $((H - 6))) ${P[credit]}" |
            gmt pstext $PAPER -F+f$((P[fs] - 2))p,Helvetica,"${P[ink]}"+jRB -N -O -K >>$ps
    fi
    # --- legend box
    if [ -n "${P[legend]}" ]; then
        cat >legend.txt <<EOF
H $((P[fs] + 2))p,Helvetica-Bold ${P[legendtitle]:-Legend}
G 2p
S 0.1i s 0.14i ${P[land]} 0.25p 0.3i Land
S 0.1i s 0.14i ${P[sea]} 0.25p 0.3i Ocean
S 0.1i - 0.2i - ${P[gpen]} 0.3i Graticule
S 0.1i c 0.08i red 0.25p 0.3i City
EOF
        local lw lx ly lj box="+p0.5p,${P[ink]}+g${P[legendfill]:-white}"
        lw=$(pt "${P[legendw]:-170}")
        case ${P[legend]} in
        below)  lx=$(pt "$left"); ly=$(ypt $((top + Hmi + ${P[legendgap]:-30}))); lj=TL ;;
        right)  lx=$(pt $((left + Wm + 20))); ly=$(ypt "$top"); lj=TL ;;
        inside) lx=$(pt $((left + 12))); ly=$(ypt $((top + Hmi - 12))); lj=BL; box+="+s" ;;
        inside-tr) lx=$(pt $((left + Wm - 12))); ly=$(ypt $((top + 12))); lj=TR ;;
        esac
        gmt pslegend legend.txt $PAPER -Dx${lx}p/${ly}p+w${lw}p+j$lj -F$box --FONT_ANNOT_PRIMARY="${P[fs]}p,Helvetica,${P[ink]}" -O -K >>$ps
    fi
    # --- colour bar below the map
    if [ -n "${P[cbar]}" ]; then
        local cpt=elev.cpt
        [ -f elev.cpt ] || { gmt makecpt -C"${P[cbarcpt]:-viridis}" -T0/100/10 >bar.cpt; cpt=bar.cpt; }
        local bl bh
        bl=$(pt $((Wm * 55 / 100))); bh=$(pt "${P[cbarh]:-12}")
        gmt psscale $PAPER -C$cpt -Dx${cx}p/$(ypt $((top + Hmi + ${P[cbargap]:-40})))p+w${bl}p/${bh}p+h+jTC \
            -Bxaf+l"${P[cbarlabel]:-Value}" -O -K >>$ps
    fi
    # --- scale bar (inside the map, lower left, or below it)
    if [ -n "${P[scalebar]}" ]; then
        local sy
        if [ "${P[scalebar]}" = below ]; then sy=$(pt -$((P[sbgap] + 0))); else sy=$(pt 40); fi
        gmt psbasemap $RJ -Lx$(pt $((Wm / 12)))p/${sy}p+c"${P[sblat]:-0}"+w"${P[sbkm]:-2000}"k+f+l -F+gwhite+p0.25p -O -K >>$ps 2>/dev/null ||
            gmt psbasemap $RJ -Lx$(pt $((Wm / 12)))p/${sy}p+c"${P[sblat]:-0}"+w"${P[sbkm]:-2000}"k+f+l -O -K >>$ps
    fi
    # --- inset globe: in the right margin, or over the lower left corner of the map
    if [ -n "${P[inset]}" ]; then
        local isz ix iy
        isz=${P[insetsize]:-110}
        case ${P[inset]} in
        over)   ix=$((left + 10)); iy=$((top + Hmi - 10 - isz)) ;;
        margin) ix=$((left + Wm + 25)); iy=$((top + 10)) ;;
        below)  ix=$((left + Wm - isz)); iy=$((top + Hmi + 25)) ;;
        esac
        printf '%s %s\n%s %s\n%s %s\n%s %s\n' "$(pt $((ix - 4)))" "$(ypt $((iy - 4)))" "$(pt $((ix + isz + 4)))" "$(ypt $((iy - 4)))" \
            "$(pt $((ix + isz + 4)))" "$(ypt $((iy + isz + 4)))" "$(pt $((ix - 4)))" "$(ypt $((iy + isz + 4)))" |
            gmt psxy $PAPER -L -Gwhite -W0.5p,${P[ink]} -O -K >>$ps
        gmt pscoast -R-180/180/-90/90 -JG${P[insetlon]:-20}/${P[insetlat]:-30}/$(pt "$isz")p -Xa$(pt "$ix")p -Ya$(ypt $((iy + isz)))p \
            -G"${P[land]}" -S"${P[sea]}" -Dc -Bg30 -O -K >>$ps
    fi
    # --- north arrow in the map's upper right
    if [ -n "${P[rose]}" ]; then
        gmt psbasemap $RJ -Tdx$(pt $((Wm - 40)))p/$(pt $((Hmi - 50)))p+w$(pt 40)p+f1+l -O -K >>$ps
    fi
    gmt psxy $PAPER -T -O >>$ps
    gmt psconvert $ps -Tg -E"$dpi" -Qg"${P[aa]}" -Qt4 -Fraw
    mv raw.png page.png

    # --- mask: same geometry, land and sea only, white page, no antialiasing. "0 0 .setfilladjust2"
    # makes Ghostscript paint a pixel when its centre is inside the fill, instead of when any part
    # of it is: with "any part", a map edge that lies exactly on a pixel edge can spill into the
    # next row through rounding in the 0.06 scale of GMT's 1/1200 inch units.
    gmt psxy $PAPER -T -K --PS_PAGE_COLOR=white >mask.ps
    gmt pscoast $RJ -G205/185/127 -S164/203/230 -Dc -O -K >>mask.ps
    gmt psxy $PAPER -T -O >>mask.ps
    sed -i 's/^%%EndPageSetup$/%%EndPageSetup\n0 0 .setfilladjust2/' mask.ps
    gmt psconvert mask.ps -Tm -E"$dpi" -Qg1 -Qt1 -Fmask
    local bb
    bb=$(python3 "$work/mask.py" mask.ppm "$out/masks/${name}_mask.png")
    rm -f mask.ppm

    # --- page post-processing
    local img=page.png
    if [ -n "${P[texture]}" ]; then
        # grain on the flat page colour only
        local pc
        pc=$(convert xc:"rgb(${pagecol//\//,})" -format '%[pixel:p{0,0}]' info: 2>/dev/null || echo "$pagecol")
        convert -size "${W}x${H}" xc:"$pc" -seed "${P[texture]}" -attenuate 1.2 +noise Gaussian -blur 0x0.6 tex.png
        convert page.png -fill black +opaque "$pc" -fill white -opaque "$pc" texmask.png
        convert page.png tex.png texmask.png -composite textured.png
        img=textured.png
    fi
    if ((P[card] > 0)); then
        local c=${P[card]} x0 y0 x1 y1
        x0=$((left - c)); y0=$((top - c)); x1=$((left + Wm + c)); y1=$((top + Hmi + c + ${P[cardextra]:-0}))
        convert "$img" -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage card.png
        convert -size "${W}x${H}" xc:"rgb(${P[page]//\//,})" -fill "rgb(70,70,70)" \
            -draw "rectangle $((x0 + 7)),$((y0 + 7)) $((x1 + 7)),$((y1 + 7))" -blur 0x5 \
            card.png -geometry +$x0+$y0 -composite carded.png
        img=carded.png
    fi
    local post=()
    [ "${P[blur]}" != 0 ] && post+=(-blur "0x${P[blur]}")
    [ "${P[noise]}" != 0 ] && post+=(-seed "${P[seed]}" -attenuate "${P[noise]}" +noise Gaussian)
    local file=$name.${P[fmt]}
    if [ "${P[fmt]}" = jpg ]; then
        convert "$img" "${post[@]}" -alpha off -depth 8 -strip -sampling-factor 2x2 -quality "${P[q]}" "$out/$file"
    else
        convert "$img" "${post[@]}" -alpha off -depth 8 -strip -define png:exclude-chunk=date,time -define png:compression-level=9 "$out/$file"
    fi

    # --- truth: the mask's bounding box, checked against the geometry
    local bw bh bx0 by0
    read -r bx0 by0 bw bh <<<"$bb"
    local tl=$bx0 tt=$by0 tr=$((W - bx0 - bw)) tb=$((H - by0 - bh))
    local sz
    sz=$(identify -format '%wx%h' "$out/$file")
    if [ "$sz" != "${W}x${H}" ]; then echo "PROBLEM $file: image is $sz, expected ${W}x${H}" >&2; echo x >>"$work/problems"; fi
    if ((tl != left || tt != top || tr != right || tb != bottom)); then
        echo "PROBLEM $file: mask box L$tl R$tr B$tb T$tt, geometry L$left R$right B$bottom T$top" >&2
        echo x >>"$work/problems"
    fi
    local lmin lmax
    lmin=$(calc "x=$lo1; while (x < -180) x += 360; while (x >= 180) x -= 360; print x")
    lmax=$(calc "x=$lo2; while (x <= -180) x += 360; while (x > 180) x -= 360; print x")
    local fr=0
    case ${P[frame]} in
    plain) fr=$(calc "printf \"%.1f\", ${P[fpen]} * $dpi / 72") ;;
    fancy) fr=$(calc "printf \"%.1f\", ${P[fwidth]} * $dpi / 72") ;;
    esac
    local par=0 mer=0
    ((P[gy] > 0)) && par=1
    ((P[gx] > 0)) && mer=1
    [ -z "$only" ] || sed -i "/^${name}\./d" "$truth"
    echo "$file,$W,$H,$tl,$tr,$tb,$tt,${P[proj]},$lmin,$lmax,$la1,$la2,$par,$mer,$fr,${P[style]}" >>"$truth"
    printf '%-28s %5dx%-5d L%-4d R%-4d B%-4d T%-4d map %dx%d (height %.3f) %s\n' "$file" "$W" "$H" "$tl" "$tr" "$tb" "$tt" "$Wm" "$Hmi" "$Hm" "${P[style]}"
    )
}

test_set() {
    page name=miller-world-plain W=1000 dpi=120 left=52 top=40 mapw=905 bottom=34 \
        land=222/204/158 sea=158/197/224 gx=30 gy=30 gpen=0.4p,gray65 frame=plain fpen=1.2 ax=60 ay=30 coast=0.2p,gray40 geofmt=ddd:mm:ssF \
        style="Miller world; plain frame; annotations; grey graticule 30"
    page name=miller-5684-title fmt=jpg q=60 W=1200 dpi=150 left=40 top=70 mapw=1120 bottom=40 R=-180/180/-56/84 \
        land=196/214/160 sea=186/220/238 gx=20 gy=20 gpen=0.5p,white frame=plain fpen=0.8 title="World Population 2020" \
        sub="Miller cylindrical projection" credit="Source: made up" style="Miller -56..84; white graticule 20; title; JPEG q60"
    page name=mercator-85-fancy W=996 dpi=100 left=46 top=44 mapw=906 bottom=40 proj=mercator R=-180/180/-85/85 \
        land=236/222/170 sea=120/170/210 gx=30 gy=30 gpen=0.5p,40/40/40 frame=fancy fwidth=4 ax=60 ay=30 axes=WSen \
        style="Mercator -85..85; GMT fancy frame; dark graticule 30"
    page name=mercator-7582-legend fmt=jpg q=50 W=1100 dpi=120 left=40 top=30 mapw=1000 bottom=150 proj=mercator R=-180/180/-75/82 \
        land=214/196/146 sea=170/205/232 gx=15 gy=15 gpen=0.35p,white frame=plain fpen=1 ax=30 ay=15 fs=8 legend=below legendw=190 \
        style="Mercator -75..82; legend box below; white graticule 15; JPEG q50"
    page name=mercator-6075-tinted W=800 dpi=120 left=30 top=45 mapw=740 bottom=30 proj=mercator R=-180/180/-60/75 \
        page=246/240/222 land=188/168/120 sea=178/207/226 frame=none title="Coastlines" fs=7 \
        style="Mercator -60..75; no frame; no graticule; cream page; heading"
    page name=mercator-8084-elev-cbar fmt=jpg q=65 W=1114 dpi=120 left=50 top=36 mapw=1014 bottom=110 proj=mercator R=-180/180/-80/84 \
        elev=3 sea=150/190/225 gx=20 gy=20 gpen=0.4p,gray30 frame=plain fpen=1.5 ax=60 ay=20 cbar=1 cbarlabel="Elevation (m)" \
        style="Mercator -80..84; elevation-like land; colour bar; graticule 20; JPEG q65"
    page name=mercator-7080-card W=1000 dpi=120 left=70 top=60 mapw=860 bottom=70 proj=mercator R=-180/180/-70/80 \
        page=200/200/200 card=22 land=230/215/180 sea=155/195/220 frame=plain fpen=0.6 \
        style="Mercator -70..80; white card with drop shadow on grey page; thin frame; no graticule"
    page name=region-mercator-atlantic W=700 dpi=120 left=48 top=32 mapw=420 bottom=36 proj=mercator R=-30/60/-60/75 \
        land=230/220/190 sea=172/210/236 gx=10 gy=10 gpen=0.3p,gray55 frame=plain fpen=1 ax=30 ay=20 scalebar=inside sblat=0 sbkm=2000 borders=0.25p,gray50 \
        style="Mercator 30W..60E 60S..75N; graticule 10; scale bar; borders"
    page name=region-miller-namerica fmt=jpg q=55 W=1100 dpi=120 left=50 top=40 mapw=1000 bottom=46 R=-170/-20/10/75 \
        land=240/228/200 sea=140/185/220 gx=10 gy=10 gpen=0.3p,gray40 frame=fancy fwidth=5 ax=30 ay=10 axes=WSen geofmt=ddd:mm:ssF \
        style="Miller 170W..20W 10..75N; fancy frame; graticule 10; JPEG q55"
    page name=region-mercator-asia W=800 dpi=120 left=60 top=50 mapw=560 bottom=50 proj=mercator R=60/150/-45/55 \
        land=210/200/170 sea=190/215/235 gx=15 gy=15 gpen=0.4p,100/120/160 frame=plain fpen=1 ax=15 ay=15 double=8 dpen=2 \
        style="Mercator 60E..150E 45S..55N; double border; blue-grey graticule 15"
    page name=region-miller-pacific-dark fmt=jpg q=70 W=950 dpi=120 left=50 top=40 mapw=850 bottom=40 R=60/200/-50/70 \
        page=28/30/38 ink=white fcol=gray80 land=120/110/90 sea=40/60/90 gx=20 gy=20 gpen=0.4p,90/110/140 frame=plain fpen=1 ax=20 ay=20 \
        style="Miller 60E..160W crossing 180; dark page; graticule 20; JPEG q70"
    page name=pacific-miller W=1000 dpi=100 left=44 top=34 mapw=910 bottom=34 R=-30/330/-90/90 \
        land=235/225/190 sea=165/200/225 gx=30 gy=30 gpen=0.5p,gray50 frame=plain fpen=1 ax=60 ay=30 geofmt=ddd:mm:ssF \
        style="Miller Pacific-centred -30..330; graticule 30"
    page name=pacific-mercator-nofr W=1000 dpi=120 left=30 top=30 mapw=940 bottom=30 proj=mercator R=20/380/-75/80 \
        land=200/215/170 sea=175/215/240 gx=20 gy=20 gpen=0.5p,white frame=none \
        style="Mercator Pacific-centred 20..380 -75..80; no frame; white graticule 20"
    page name=miller-seapage-frame W=900 dpi=120 left=40 top=40 mapw=820 bottom=40 \
        land=180/180/180 sea=white frame=plain fpen=1 coast=0.25p,gray30 \
        style="Miller; sea is the page colour; frame; no graticule"
    page name=miller-seapage-noframe W=900 dpi=120 left=36 top=36 mapw=830 bottom=36 \
        page=250/246/236 land=170/150/110 sea=250/246/236 gx=30 gy=30 gpen=0.5p,150/150/150 frame=none \
        style="Miller; sea is the page colour; no frame; graticule 30"
    page name=mercator-85-textured fmt=jpg q=45 W=1000 dpi=150 left=60 top=50 mapw=880 bottom=50 proj=mercator R=-180/180/-85/85 \
        page=236/230/214 texture=7 land=214/190/140 sea=168/200/222 gx=30 gy=30 gpen=0.4p,gray40 frame=plain fpen=1.5 ax=60 ay=30 \
        style="Mercator -85..85; textured page; graticule 30; JPEG q45"
    page name=miller-5684-inset W=1200 dpi=150 left=40 top=36 mapw=980 bottom=36 R=-180/180/-56/84 \
        land=225/210/170 sea=150/195/230 gx=15 gy=15 gpen=0.3p,gray45 frame=plain fpen=1 ax=30 ay=15 inset=margin insetsize=140 \
        style="Miller -56..84; inset globe in the right margin; graticule 15"
    page name=miller-blur-noise fmt=jpg q=40 W=1000 dpi=120 left=40 top=40 mapw=920 bottom=40 \
        land=220/200/150 sea=140/180/220 gx=30 gy=30 gpen=0.6p,40/70/180 frame=plain fpen=2 ax=90 ay=30 blur=1.0 noise=0.6 seed=11 \
        style="Miller; blurred and noisy; blue graticule 30; 2 pt frame; JPEG q40"
    page name=mercator-8084-meridians W=822 dpi=200 left=30 top=30 mapw=762 bottom=30 proj=mercator R=-180/180/-80/84 \
        land=190/200/140 sea=205/225/240 gx=30 gy=0 gpen=0.4p,gray50 frame=plain fpen=0.6 legend=inside legendw=150 fs=5 \
        style="Mercator -80..84; meridians only; legend inside the map"
    page name=equirect-world W=760 dpi=120 left=40 top=36 mapw=700 bottom=36 proj=equirectangular \
        land=222/206/160 sea=160/200/228 gx=30 gy=30 gpen=0.4p,gray55 frame=plain fpen=1 ax=60 ay=30 \
        style="Plate carree world; graticule 30"
    page name=region-equirect-europe fmt=jpg q=60 W=720 dpi=120 left=44 top=36 mapw=640 bottom=36 proj=equirectangular R=-20/50/30/70 \
        land=232/220/185 sea=165/205/232 gx=10 gy=10 gpen=0.35p,white frame=plain fpen=1 ax=10 ay=10 borders=0.25p,gray50 \
        style="Plate carree 20W..50E 30..70N; white graticule 10; borders; JPEG q60"
    page name=gallstereo-world fmt=jpg q=60 W=760 dpi=120 left=40 top=36 mapw=700 bottom=36 proj=gall-stereographic \
        page=246/240/222 land=200/180/130 sea=170/205/225 gx=30 gy=30 gpen=0.4p,gray40 frame=plain fpen=1.2 ax=60 ay=30 \
        style="Gall stereographic world; cream page; graticule 30; JPEG q60"
    page name=gallpeters-world W=760 dpi=120 left=40 top=36 mapw=700 bottom=36 proj=gall-peters \
        land=214/196/146 sea=150/190/225 gx=30 gy=30 gpen=0.4p,40/70/180 frame=plain fpen=1 ax=60 ay=30 \
        style="Gall-Peters world; blue graticule 30"
    page name=region-gallpeters-africa fmt=jpg q=60 W=560 dpi=120 left=50 top=30 mapw=460 bottom=30 proj=gall-peters R=-20/60/-40/40 \
        land=225/210/170 sea=160/200/230 gx=10 gy=10 gpen=0.3p,gray45 frame=plain fpen=1 ax=20 ay=10 \
        style="Gall-Peters 20W..60E 40S..40N; graticule 10; JPEG q60"
    page name=behrmann-world W=760 dpi=120 left=40 top=36 mapw=700 bottom=36 proj=behrmann R=-180/180/-60/80 \
        land=205/215/160 sea=175/210/235 gx=15 gy=15 gpen=0.35p,gray50 frame=plain fpen=1 ax=30 ay=15 \
        style="Behrmann world -60..80; graticule 15"
    page name=region-behrmann-samerica W=560 dpi=120 left=50 top=30 mapw=440 bottom=30 proj=behrmann R=-100/-20/-60/30 \
        land=230/220/190 sea=170/205/230 gx=15 gy=15 gpen=0.4p,gray55 frame=plain fpen=1 ax=15 ay=15 \
        style="Behrmann 100W..20W 60S..30N; graticule 15"
}

eval_set() {
    page name=e01-miller-world-big fmt=jpg q=60 W=4000 dpi=400 left=160 top=140 mapw=3700 bottom=120 \
        land=224/206/160 sea=160/200/228 gx=30 gy=30 gpen=0.5p,gray60 frame=plain fpen=1 ax=30 ay=30 coast=0.2p,gray40 title="The World" \
        style="Miller; 4000 px; graticule 30; title; JPEG q60"
    page name=e02-miller-5684-fancy W=1600 dpi=200 left=70 top=60 mapw=1460 bottom=70 R=-180/180/-56/84 \
        land=240/230/200 sea=130/180/215 gx=15 gy=15 gpen=0.3p,gray30 frame=fancy fwidth=4 ax=45 ay=15 axes=WSEN \
        style="Miller -56..84; fancy frame all sides; graticule 15"
    page name=e03-mercator-85-noframe fmt=jpg q=55 W=2361 dpi=240 left=90 top=90 mapw=2161 bottom=90 proj=mercator R=-180/180/-85/85 \
        page=250/250/245 land=200/190/160 sea=190/215/235 frame=none \
        style="Mercator -85..85; no frame; no graticule; JPEG q55"
    page name=e04-mercator-7582-dark fmt=jpg q=50 W=1800 dpi=200 left=60 top=50 mapw=1680 bottom=60 proj=mercator R=-180/180/-75/82 \
        page=20/22/30 ink=gray85 fcol=gray70 land=90/95/80 sea=25/45/70 gx=20 gy=20 gpen=0.4p,60/80/110 frame=plain fpen=1 ax=40 ay=20 \
        style="Mercator -75..82; dark page; graticule 20; JPEG q50"
    page name=e05-mercator-6075-legend-right W=1400 dpi=150 left=40 top=40 mapw=1100 bottom=40 proj=mercator R=-180/180/-60/75 \
        land=210/190/150 sea=170/205/230 gx=30 gy=15 gpen=0.4p,white frame=plain fpen=1.2 ax=60 ay=15 legend=right legendw=200 \
        style="Mercator -60..75; legend box right; white graticule 30/15"
    page name=e06-mercator-8084-elev fmt=jpg q=70 W=3000 dpi=300 left=100 top=80 mapw=2800 bottom=260 proj=mercator R=-180/180/-80/84 \
        elev=5 elevcpt=elevation sea=120/170/210 gx=10 gy=10 gpen=0.25p,gray20 frame=plain fpen=1 ax=30 ay=10 cbar=1 cbarlabel="Height (m)" cbargap=70 cbarh=30 \
        style="Mercator -80..84; elevation colours; colour bar; graticule 10; JPEG q70"
    page name=e07-mercator-7080-card-shadow W=2000 dpi=200 left=140 top=120 mapw=1720 bottom=150 proj=mercator R=-180/180/-70/80 \
        page=150/155/160 card=40 land=220/205/165 sea=170/205/230 gx=20 gy=20 gpen=0.4p,gray70 frame=plain fpen=0.8 ax=60 ay=20 \
        style="Mercator -70..80; card with drop shadow on grey page; graticule 20"
    page name=e08-region-mercator-atl-blur fmt=jpg q=45 W=900 dpi=120 left=40 top=40 mapw=420 bottom=40 proj=mercator R=-30/60/-60/75 \
        land=235/225/200 sea=150/190/225 gx=15 gy=15 gpen=0.5p,gray50 frame=plain fpen=1.5 ax=15 ay=15 blur=1.3 noise=0.5 seed=5 \
        style="Mercator 30W..60E 60S..75N; blur and noise; graticule 15; JPEG q45"
    page name=e09-region-miller-na-plain W=1500 dpi=150 left=60 top=40 mapw=1380 bottom=50 R=-170/-20/10/75 \
        land=245/240/220 sea=185/215/240 gx=20 gy=20 gpen=0.4p,gray60 frame=plain fpen=1 ax=20 ay=20 borders=0.3p,gray40 coast=0.25p,gray30 \
        style="Miller 170W..20W 10..75N; borders; graticule 20"
    page name=e10-region-mercator-asia-nogrid fmt=jpg q=60 W=1200 dpi=150 left=50 top=70 mapw=850 bottom=50 proj=mercator R=60/150/-45/55 \
        land=200/185/150 sea=140/185/215 frame=plain fpen=2 title="Asia and Oceania" \
        style="Mercator 60E..150E 45S..55N; no graticule; title; JPEG q60"
    page name=e11-region-miller-pacific W=1941 dpi=200 left=80 top=60 mapw=1741 bottom=60 R=60/200/-50/70 \
        land=215/205/175 sea=160/200/230 gx=10 gy=10 gpen=0.3p,white frame=fancy fwidth=5 ax=20 ay=10 axes=WSen \
        style="Miller 60E..160W crossing 180; fancy frame; white graticule 10"
    page name=e12-pacific-miller-dark fmt=jpg q=65 W=1600 dpi=200 left=70 top=60 mapw=1460 bottom=60 R=-30/330/-90/90 \
        page=35/35/35 ink=white fcol=white land=140/130/100 sea=50/70/100 gx=30 gy=30 gpen=0.5p,gray50 frame=plain fpen=1 ax=60 ay=30 geofmt=ddd:mm:ssF \
        style="Miller Pacific-centred -30..330; dark page; graticule 30; JPEG q65"
    page name=e13-pacific-mercator-frame W=1400 dpi=150 left=50 top=45 mapw=1300 bottom=50 proj=mercator R=20/380/-75/80 \
        land=225/215/185 sea=175/210/235 gx=20 gy=20 gpen=0.4p,gray40 frame=plain fpen=1 ax=40 ay=20 \
        style="Mercator Pacific-centred 20..380 -75..80; frame; graticule 20"
    page name=e14-pacific-mercator-0-360 fmt=jpg q=55 W=1800 dpi=200 left=40 top=40 mapw=1720 bottom=40 proj=mercator R=0/360/-78/78 \
        land=205/195/150 sea=165/200/225 gx=30 gy=30 gpen=0.5p,white frame=none \
        style="Mercator 0..360 -78..78; no frame; white graticule 30; JPEG q55"
    page name=e15-miller-seapage-noframe-nogrid W=1200 dpi=150 left=50 top=50 mapw=1100 bottom=50 \
        land=150/150/150 sea=white frame=none coast=0.3p,gray20 \
        style="Miller; sea is the page colour; no frame; no graticule (hard)"
    page name=e16-mercator-seapage-frame fmt=jpg q=60 W=1600 dpi=200 left=60 top=60 mapw=1480 bottom=60 proj=mercator R=-180/180/-60/75 \
        page=248/244/232 land=190/170/130 sea=248/244/232 gx=15 gy=15 gpen=0.3p,gray60 frame=plain fpen=1.5 ax=30 ay=15 \
        style="Mercator -60..75; sea is the page colour; frame; graticule 15; JPEG q60"
    page name=e17-miller-textured-double W=1800 dpi=200 left=80 top=80 mapw=1620 bottom=80 \
        page=232/226/208 texture=23 land=200/175/125 sea=160/190/210 gx=20 gy=20 gpen=0.4p,gray45 frame=plain fpen=1 double=10 dpen=2.5 ax=60 ay=30 \
        style="Miller; textured page; double border; graticule 20"
    page name=e18-miller-5684-inset-over fmt=jpg q=50 W=2200 dpi=200 left=60 top=60 mapw=2080 bottom=60 R=-180/180/-56/84 \
        land=230/215/175 sea=155/200/230 gx=30 gy=30 gpen=0.5p,gray50 frame=plain fpen=1 ax=30 ay=30 inset=over insetsize=300 rose=1 \
        style="Miller -56..84; inset globe over the map; north arrow; graticule 30; JPEG q50"
    page name=e19-mercator-85-scalebar W=1306 dpi=150 left=50 top=50 mapw=1206 bottom=160 proj=mercator R=-180/180/-85/85 \
        land=215/200/160 sea=180/210/235 gx=30 gy=30 gpen=0.4p,gray55 frame=plain fpen=1 ax=60 ay=30 scalebar=below sbgap=95 sbkm=5000 credit="Map data: GSHHG" \
        style="Mercator -85..85; scale bar below; graticule 30"
    page name=e20-mercator-7582-legend-inside fmt=jpg q=65 W=2600 dpi=240 left=70 top=60 mapw=2460 bottom=60 proj=mercator R=-180/180/-75/82 \
        land=180/200/150 sea=200/225/245 gx=15 gy=0 gpen=0.4p,gray40 frame=plain fpen=1 ax=30 ay=15 legend=inside legendw=300 \
        style="Mercator -75..82; meridians only; legend inside; JPEG q65"
    page name=e21-miller-world-small W=800 dpi=120 left=20 top=20 mapw=760 bottom=20 \
        land=120/160/90 sea=70/120/180 gx=30 gy=30 gpen=0.4p,black frame=plain fpen=0.6 \
        style="Miller; small; dark colours; black graticule 30"
    page name=e22-miller-world-huge fmt=jpg q=55 W=8000 dpi=600 left=220 top=200 mapw=7560 bottom=200 \
        land=230/212/170 sea=150/190/220 gx=15 gy=15 gpen=0.5p,gray60 frame=plain fpen=1.5 ax=30 ay=15 coast=0.2p,gray35 \
        style="Miller; 8000 px; graticule 15; JPEG q55"
    page name=e23-mercator-regional-us-nogrid W=1000 dpi=120 left=40 top=40 mapw=920 bottom=40 proj=mercator R=-130/-60/15/55 \
        land=240/225/190 sea=160/200/235 frame=plain fpen=1 ax=10 ay=10 borders=0.3p,gray40 \
        style="Mercator 130W..60W 15..55N; annotations; no graticule; borders"
    page name=e24-miller-crossing-120-300 fmt=jpg q=60 W=1400 dpi=150 left=50 top=50 mapw=1300 bottom=50 R=120/300/-60/80 \
        land=210/195/160 sea=175/205/230 gx=20 gy=20 gpen=0.4p,gray55 frame=plain fpen=1 ax=40 ay=20 \
        style="Miller 120E..60W crossing 180 -60..80; graticule 20; JPEG q60"
    page name=e25-mercator-7080-elev-noframe W=1600 dpi=200 left=60 top=100 mapw=1480 bottom=60 proj=mercator R=-180/180/-70/80 \
        elev=9 sea=175/205/230 gx=20 gy=20 gpen=0.4p,white frame=none title="Relief" \
        style="Mercator -70..80; elevation land; no frame; white graticule 20; title"
    page name=e26-miller-world-12000 fmt=jpg q=50 W=12000 dpi=1200 left=300 top=300 mapw=11400 bottom=300 \
        land=225/210/170 sea=160/200/228 gx=10 gy=10 gpen=0.4p,gray55 frame=plain fpen=1 ax=30 ay=10 \
        style="Miller; 12000 px; graticule 10; JPEG q50"
}

if [ "$mode" = test ]; then test_set; else eval_set; fi
if [ -s "$work/problems" ]; then
    echo "make-pages.sh: $(wc -l <"$work/problems") page(s) disagree with their geometry (see above)" >&2
    exit 1
fi
echo "wrote $(($(wc -l <"$truth") - 1)) pages and $truth"
