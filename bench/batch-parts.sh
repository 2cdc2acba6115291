#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# dede5-publish --poster of one 20-s 720p MP4 into 100 pages, against its unavoidable parts: one
# ffmpeg still picture, the media's fast-start rewrite and its copy into the site, and for each
# page the read, temporary write, fsync and rename of a safe save, done in-process.
set -euo pipefail
bin=$1
work=$2/batch-parts
runs=5
pages=100
source "$(dirname "$0")/common.sh"
make_pages() {
  mkdir -p "$1"
  for ((p = 0; p < pages; p++)); do
    printf '<html><head><title>%d</title></head><body>\n<p>page %d</p>\n</body></html>\n' "$p" "$p" \
      >"$1/page$p.htm"
  done
}

whole=()
parts=()
for ((i = 0; i < runs; i++)); do
  site=$work/site$i
  make_pages "$site"
  start=$(now)
  "$bin/dede5-publish" -q --poster --player default --site-root "$site" --js-path /js/ \
    --media-path /medias/ "$media" "$site"/page*.htm
  end=$(now)
  whole+=("$(echo "$end - $start" | bc -l)")

  parts_dir=$work/parts$i
  make_pages "$parts_dir"
  start=$(now)
  ffmpeg -i "$media" -f mjpeg -t 1 -r 1 -y "$parts_dir/movie.jpg" </dev/null >/dev/null 2>&1
  mkdir -p "$parts_dir/medias"
  faststart_copy "$parts_dir/medias/movie.mp4"
  "$bin/bench_safe_save" "$parts_dir"/page*.htm >/dev/null
  end=$(now)
  parts+=("$(echo "$end - $start" | bc -l)")
  rm -rf "$site" "$parts_dir"
done
w=$(printf '%s\n' "${whole[@]}" | median)
p=$(printf '%s\n' "${parts[@]}" | median)
printf 'batch/parts: dede5-publish into %d pages %.1f ms, parts %.1f ms, ratio: %.3f\n' "$pages" \
  "$(echo "$w * 1000" | bc -l)" "$(echo "$p * 1000" | bc -l)" "$(echo "$w / $p" | bc -l)"
