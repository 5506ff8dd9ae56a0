#!/usr/bin/env bash
# Makes gradient.gif, a small GIF for the tests of image loading: the toolkit
# reads GIF but cannot write it. Needs ImageMagick (apt-get install imagemagick).
set -euo pipefail
cd "$(dirname "$0")"
convert -size 200x150 gradient:red-blue gradient.gif
