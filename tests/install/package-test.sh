#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package, checks it with lintian, unpacks it into a scratch root, checks the
# desktop entry, the AppStream metainfo and the copyright file's list of player libraries, and
# starts both programs from there as an installed copy: the publisher's --version and --print on
# the sample media, and the wizard (offscreen) up to its first page.
set -euo pipefail
build=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/dede5-package-XXXXXX")
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
echo "package: $(basename "$deb")"

if command -v lintian >/dev/null 2>&1; then
  lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
  grep -v 'root privileges' "$work/lintian.log" || true
  if grep -q '^E:' "$work/lintian.log"; then
    echo "lintian reports errors"; exit 1
  fi
fi

depends=$(dpkg-deb -f "$deb" Depends)
for needed in ffmpeg libqt6widgets6 libmediainfo0v5 libpcre2-8-0 libfmt9; do
  case "$depends" in
    *"$needed"*) ;;
    *) echo "Depends lacks $needed: $depends"; exit 1 ;;
  esac
done

root=$work/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/dede5-varodo usr/bin/dede5-publish usr/libexec/dede5-varodo/dede5-media-probe \
         usr/share/applications/dede5-varodo.desktop \
         usr/share/man/man1/dede5-publish.1.gz usr/share/bash-completion/completions/dede5-publish \
         usr/share/dede5-varodo/Example/default.htm \
         usr/share/dede5-varodo/Scripts/.htaccess usr/share/dede5-varodo/manual/index.html \
         usr/share/dede5-varodo/manual/images/wizard-3-code-inserted.png \
         usr/share/doc/dede5-varodo/copyright \
         usr/share/metainfo/com.ombreltec.dede5_varodo.metainfo.xml; do
  [ -e "$root/$f" ] || { echo "missing in the package: $f"; exit 1; }
done

# Software centres and file managers: the metainfo validates, names this version and the
# desktop entry, which takes files and lists the media types it opens.
metainfo=$root/usr/share/metainfo/com.ombreltec.dede5_varodo.metainfo.xml
command -v appstreamcli >/dev/null 2>&1 || {
  echo "appstreamcli is missing: install the Debian package appstream (scripts/setup.sh)"; exit 1; }
appstreamcli validate --no-net --pedantic "$metainfo"
version=$(dpkg-deb -f "$deb" Version)
grep -q "<release version=\"$version\"" "$metainfo" || {
  echo "the metainfo has no release $version"; exit 1; }
grep -q '<launchable type="desktop-id">dede5-varodo.desktop</launchable>' "$metainfo"
desktop=$root/usr/share/applications/dede5-varodo.desktop
grep -qx 'Exec=dede5-varodo %F' "$desktop"
for type in video/mp4 video/webm video/ogg audio/ogg audio/mpeg audio/mp4 audio/x-wav; do
  grep -q "^MimeType=.*$type;" "$desktop" || { echo "the desktop entry lacks $type"; exit 1; }
done

# The copyright file lists the player libraries with the versions the npm packages declare.
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
for package in video.js mediaelement jquery plyr; do
  line=$(node -e 'const p = require(process.argv[1]);
                  console.log(`${p.name} ${p.version} (${p.license})`)' \
         "$source_dir/node_modules/$package/package.json")
  grep -qxF " $line" "$root/usr/share/doc/dede5-varodo/copyright" || {
    echo "the copyright file does not list: $line"; exit 1; }
done

# The installed programs must find their share folder by themselves, from any folder.
unset DEDE5_VARODO_HOME
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config TMPDIR=$work/tmp
mkdir -p "$HOME" "$TMPDIR" "$work/site"
cd /

"$root/usr/bin/dede5-publish" --version | grep -q '^dede5-publish (Ombrel DEDE5 Varodo) '
printf '<html><head></head><body>\n</body></html>\n' >"$work/site/index.htm"
before=$(sha256sum "$work/site/index.htm")
"$root/usr/bin/dede5-publish" --print --site-root "$work/site" --js-path /js/ --media-path /media/ \
  "$root/usr/share/dede5-varodo/Example/Waiting for you.mp4" "$work/site/index.htm" >"$work/print.txt"
grep -q '<source src="media/Waiting%20for%20you.mp4" type="video/mp4"/>' "$work/print.txt"
grep -q 'poster="media/Waiting%20for%20you.jpg"' "$work/print.txt" || {
  echo "no poster: the installed ffmpeg lookup failed"; cat "$work/print.txt"; exit 1; }
[ "$before" = "$(sha256sum "$work/site/index.htm")" ]

shown=$(QT_QPA_PLATFORM=offscreen timeout 60 "$root/usr/bin/dede5-varodo" --quit-when-shown 2>/dev/null)
[ "$shown" = "shown: Start" ] || { echo "wizard printed: $shown"; exit 1; }
echo "installed programs start: ok"
