#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it as a user would: the
# desktop file validates, and the installed program, with no display and a
# program folder it cannot write or one it can, converts the sample map,
# keeping its settings in the user's configuration folder.
# Usage: tools/test-install.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
chmod 755 "$tmp"
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

data=$prefix/share/plano-miller
for f in bin/plano-miller share/applications/plano-miller.desktop \
         share/icons/hicolor/scalable/apps/plano-miller.svg \
         share/plano-miller/sample_images/sample-miller.jpg share/plano-miller/lang/english_lang.ini; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
desktop-file-validate "$prefix/share/applications/plano-miller.desktop"

# A user who cannot write the program's folder; root stands in as nobody.
chmod -R a-w "$prefix"
user=$tmp/user
mkdir -p "$user/out"
chmod -R 777 "$user"
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)

env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$user" XDG_CONFIG_HOME="$user/config" \
  "${as_user[@]}" "$prefix/bin/plano-miller" --batch --output-dir "$user/out" --format png \
  "$data/sample_images/sample-miller.jpg"

[ -s "$user/out/sample-miller.png" ] || { echo "no output"; exit 1; }
[ "$(head -c 8 "$user/out/sample-miller.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] \
  || { echo "output is no PNG"; exit 1; }
ini=$user/config/plano-miller/plano-miller.ini
# Seeded from the installed first-run file, and the run's overrides not stored.
grep -q '^MarginLeft=55' "$ini" || { echo "settings not seeded: $ini"; exit 1; }
if grep -q "$user/out" "$ini"; then echo "an override was written back"; exit 1; fi
[ ! -e "$prefix/bin/plano-miller.ini" ] || { echo "settings written beside the program"; exit 1; }

# A prefix the user can write (root's, or a user's own): the settings still go
# to the configuration folder, seeded so the first start opens the sample fitted.
own=$tmp/own
cmake --install "$build" --prefix "$own" >/dev/null
home=$tmp/home
mkdir -p "$home/out"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$home" XDG_CONFIG_HOME="$home/config" \
  "$own/bin/plano-miller" --batch --output-dir "$home/out" --format png \
  "$own/share/plano-miller/sample_images/sample-miller.jpg"
[ -s "$home/out/sample-miller.png" ] || { echo "no output from a writable prefix"; exit 1; }
[ ! -e "$own/bin/plano-miller.ini" ] || { echo "settings written into a writable bin"; exit 1; }
ini=$home/config/plano-miller/plano-miller.ini
for line in MarginLeft=55 MarginRight=42 MarginBottom=47 MarginTop=78 \
            "LoadFilePath=$own/share/plano-miller/sample_images/sample-miller.jpg"; do
  grep -qx "$line" "$ini" || { echo "first start would not open the fitted sample: $line"; exit 1; }
done
echo "install test passed"
