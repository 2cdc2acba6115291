#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A whole dede5-publish run (MP4 with poster into a page; player files, media and poster copied)
# against the sum of its unavoidable parts measured alone: one ffmpeg still picture, the media's
# fast-start rewrite and its copy into the site, one copy of the player folder.
set -euo pipefail
bin=$1
work=$2/publish-parts
runs=7
source "$(dirname "$0")/common.sh"

whole=()
parts=()
for ((i = 0; i < runs; i++)); do
  site=$work/site$i
  mkdir -p "$site"
  printf '<html><head></head><body>\n</body></html>\n' >"$site/index.htm"
  start=$(now)
  "$bin/dede5-publish" -q --poster --player default --site-root "$site" --js-path /js/ \
    --media-path /medias/ "$media" "$site/index.htm"
  end=$(now)
  whole+=("$(echo "$end - $start" | bc -l)")

  parts_dir=$work/parts$i
  mkdir -p "$parts_dir/js" "$parts_dir/medias"
  start=$(now)
  ffmpeg -i "$media" -f mjpeg -t 1 -r 1 -y "$parts_dir/movie.jpg" </dev/null >/dev/null 2>&1
  faststart_copy "$parts_dir/medias/movie.mp4"
  cp -r "$DEDE5_VARODO_HOME/video-js" "$parts_dir/js/"
  end=$(now)
  parts+=("$(echo "$end - $start" | bc -l)")
  rm -rf "$site" "$parts_dir"
done
w=$(printf '%s\n' "${whole[@]}" | median)
p=$(printf '%s\n' "${parts[@]}" | median)
printf 'publish/parts: dede5-publish %.1f ms, parts %.1f ms, ratio: %.3f\n' \
  "$(echo "$w * 1000" | bc -l)" "$(echo "$p * 1000" | bc -l)" "$(echo "$w / $p" | bc -l)"
