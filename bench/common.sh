# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the publishing benchmarks: a private home and temporary folder under $work, the
# 20-s 720p test film in $media (its index at the end, as cameras write it), and the clock and
# median helpers.
mkdir -p "$work/home" "$work/tmp"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config TMPDIR=$work/tmp
media=$work/movie.mp4
ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=1280x720:rate=25:duration=20 \
  -f lavfi -i sine=duration=20 -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -shortest "$media"

now() { date +%s.%N; }
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
# The publisher's fast-start step for $media alone: ffmpeg moves the index to the front of a
# copy in a working folder, which then goes into the site's media folder ($1).
faststart_copy() {
  ffmpeg -nostdin -hide_banner -loglevel error -i "$media" -map 0 -c copy -movflags +faststart \
    -f mp4 -y "$1.faststart" </dev/null
  cp "$1.faststart" "$1"
  rm "$1.faststart"
}
