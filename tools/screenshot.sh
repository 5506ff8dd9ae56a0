#!/usr/bin/env bash
# Starts the built program in a virtual X server and saves a screenshot of it,
# for looking at the windows on a machine without a display.
# Usage: tools/screenshot.sh OUT.png [seconds] [program arguments...]
# SCREENSHOT_DISPLAY picks another virtual display than :57.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:?usage: tools/screenshot.sh OUT.png [seconds] [args...]}
wait=${2:-4}
shift $(( $# >= 2 ? 2 : 1 ))

need=()
for p in xvfb x11-apps imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${need[@]}"
fi

display=${SCREENSHOT_DISPLAY:-:57}
Xvfb $display -screen 0 1400x1000x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $prog $xvfb 2>/dev/null || true' EXIT
sleep 1
DISPLAY=$display QT_QPA_PLATFORM=xcb build/plano-miller "$@" &
prog=$!
sleep "$wait"
DISPLAY=$display xwd -root -silent | convert xwd:- "$out"
echo "saved $out"
# Dialogs may use a visual the root capture cannot read: save each top-level
# window of the program on its own as well.
n=0
DISPLAY=$display xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) "\([^"]*\)": ("plano-miller".*/\1/p' |
  while read -r id; do
    n=$((n + 1))
    DISPLAY=$display xwd -id "$id" -silent | convert xwd:- "${out%.png}-window$n.png"
    echo "saved ${out%.png}-window$n.png"
  done
