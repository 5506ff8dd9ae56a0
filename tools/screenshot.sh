#!/usr/bin/env bash
# Starts the built program in a virtual X server and saves a screenshot of it,
# for looking at the windows on a machine without a display.
# Usage: tools/screenshot.sh OUT.png [seconds] [program arguments...]
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

display=:57
Xvfb $display -screen 0 1400x1000x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $prog $xvfb 2>/dev/null || true' EXIT
sleep 1
DISPLAY=$display QT_QPA_PLATFORM=xcb build/plano-miller "$@" &
prog=$!
sleep "$wait"
DISPLAY=$display xwd -root -silent | convert xwd:- "$out"
echo "saved $out"
