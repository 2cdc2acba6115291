#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Seconds from starting dede5-varodo (offscreen) to its first page on screen, median of several
# starts; printed for information, with no limit to compare against.
set -euo pipefail
bin=$1
work=$2/wizard-start
runs=5
mkdir -p "$work/home" "$work/tmp"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config TMPDIR=$work/tmp QT_QPA_PLATFORM=offscreen
times=()
for ((i = 0; i < runs; i++)); do
  start=$(date +%s.%N)
  "$bin/dede5-varodo" --quit-when-shown >/dev/null 2>&1
  end=$(date +%s.%N)
  times+=("$(echo "$end - $start" | bc -l)")
done
m=$(printf '%s\n' "${times[@]}" | sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}')
printf 'wizard-start: %.3f s to the first page (information only)\n' "$m"
