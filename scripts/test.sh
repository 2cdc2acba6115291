#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds and runs every test: the normal build, then the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, then the fuzz targets for a short budget.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
jobs=2

# The UI is asked for outright: a build folder configured without it earlier would drop its
# tests.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEDE5_BUILD_UI=ON
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDEDE5_SANITIZE=ON -DDEDE5_BUILD_UI=ON
cmake --build build-asan -j"$jobs"
# The suite again, less the browser tests: the publisher and wizard code they drive runs under
# the sanitizers in the fault, cli and ui tests already, and Chromium dominates their time.
ctest --test-dir build-asan -j"$jobs" --output-on-failure -LE browser

# The libFuzzer targets, each for a few seconds from its seed corpus (tests/fuzz/README.md has
# the long run).
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDEDE5_FUZZ=ON -DDEDE5_BUILD_UI=OFF
cmake --build build-fuzz -j"$jobs" --target dede5_fuzz
ctest --test-dir build-fuzz --output-on-failure -L fuzz
