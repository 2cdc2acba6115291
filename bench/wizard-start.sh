#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Seconds from starting dede5-varodo (offscreen) to the end of its run, which shows the first page
# and then quits (saving the settings), and to the first page on screen; medians of several
# starts, printed for information, with no limit to compare against.
set -euo pipefail
bin=$1
work=$2/wizard-start
runs=5
mkdir -p "$work/home" "$work/tmp"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config TMPDIR=$work/tmp QT_QPA_PLATFORM=offscreen
times=()
shown=()
for ((i = 0; i < runs; i++)); do
  start=$(date +%s.%N)
  seen=
  while IFS= read -r line; do
    [[ $line == shown:* ]] && seen=$(date +%s.%N)
  done < <("$bin/dede5-varodo" --quit-when-shown 2>/dev/null)
  wait $!
  end=$(date +%s.%N)
  times+=("$(echo "$end - $start" | bc -l)")
  shown+=("$(echo "${seen:-$end} - $start" | bc -l)")
done
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
m=$(printf '%s\n' "${times[@]}" | median)
s=$(printf '%s\n' "${shown[@]}" | median)
printf 'wizard-start: %.3f s to the end of the run, %.3f s to the first page (information only)\n' \
  "$m" "$s"
