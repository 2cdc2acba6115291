#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# dede5-publish list over a site of 10,000 pages of about 20 KB, 1,000 of them with a player,
# against grep -rl '<video' over the same site: both read every page once. Also prints the
# lister's peak memory beside the largest page, since it must hold one page at a time.
set -euo pipefail
bin=$1
work=$2/list-grep
runs=3
source "$(dirname "$0")/common.sh"
site=$work/site
rm -rf "$site"
mkdir -p "$site/folder0"
filler=$(for ((i = 0; i < 290; i++)); do printf '<p>Paragraph %d of a page of text that is long enough to be read.</p>\n' "$i"; done)
printf '<html><head><title>t</title></head><body>\n%s\n</body></html>\n' "$filler" >"$work/plain.htm"
cp "$work/plain.htm" "$site/folder0/page0.htm"
"$bin/dede5-publish" -q --poster --player default --site-root "$site" --js-path /js/ \
  --media-path /medias/ "$media" "$site/folder0/page0.htm"
# Written by the shell itself: a copy process per page would take longer than the runs.
plain=$(<"$work/plain.htm")
player=$(<"$site/folder0/page0.htm")
for ((f = 0; f < 100; f++)); do
  mkdir -p "$site/folder$f"
  for ((p = 0; p < 100; p++)); do
    if ((p % 10 == 0)); then
      printf '%s\n' "$player" >"$site/folder$f/page$p.htm"
    else
      printf '%s\n' "$plain" >"$site/folder$f/page$p.htm"
    fi
  done
done
ours=()
theirs=()
for ((i = 0; i < runs; i++)); do
  start=$(now)
  /usr/bin/time -f %M -o "$work/rss" "$bin/dede5-publish" list --site-root "$site" >"$work/list"
  end=$(now)
  ours+=("$(echo "$end - $start" | bc -l)")
  start=$(now)
  grep -rl '<video' "$site" >/dev/null
  end=$(now)
  theirs+=("$(echo "$end - $start" | bc -l)")
done
a=$(printf '%s\n' "${ours[@]}" | median)
b=$(printf '%s\n' "${theirs[@]}" | median)
largest=$(find "$site" -name '*.htm' -printf '%s\n' | sort -n | tail -n 1)
echo "list: $(grep -c . "$work/list") lines, median $a s, peak $(cat "$work/rss") KiB; largest page $((largest / 1024)) KiB"
echo "grep -rl: median $b s"
echo "list/grep ratio: $(echo "$a / $b" | bc -l | xargs printf '%.3f')"
