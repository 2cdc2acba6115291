#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building and testing need, once: Debian packages that are missing, then the
# npm packages pinned in package-lock.json. Safe to run again; does nothing when all is there.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libmediainfo-dev libglib2.0-dev libpcre2-dev libfmt-dev
  libgumbo-dev libcpp-httplib-dev libuchardet-dev libjpeg-dev libxxhash-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format libclang-rt-14-dev
  ffmpeg media-types nodejs npm chromium
  xauth xvfb dpkg-dev fakeroot lintian bc appstream
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# nodejs from another source may already provide npm; then the Debian npm package is not needed.
if command -v npm >/dev/null 2>&1; then
  missing=("${missing[@]/npm/}")
fi
read -r -a missing <<<"${missing[*]:-}"

if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

if [ -f package-lock.json ]; then
  if [ ! -d node_modules ] || [ package-lock.json -nt node_modules/.package-lock.json ]; then
    npm ci --no-audit --no-fund
  fi
fi
