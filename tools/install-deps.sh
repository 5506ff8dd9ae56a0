#!/usr/bin/env bash
# Installs the Debian packages needed to build and test the program, only those missing.
set -euo pipefail

# qttranslations5-l10n: the toolkit's own texts (dialog buttons) in the chosen language;
# desktop-file-utils: the install test validates the desktop file; libproj-dev: the
# projections of world maps; libjpeg62-turbo-dev: JPEG decoded straight into the 32-bit image;
# zlib1g-dev: PNG outputs deflated on every core.
packages=(cmake g++ make qtbase5-dev qtbase5-dev-tools fonts-noto-cjk qttranslations5-l10n
  desktop-file-utils libproj-dev libjpeg62-turbo-dev zlib1g-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
