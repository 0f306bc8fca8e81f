#!/usr/bin/env bash
# Take measuring and shaping against rendering, run by hand (not by CTest): keys 36,
# 60, 84 and 108 (or the keys given) at the export dialog's defaults through the demo
# instrument, the render time and the time to measure (pitch, level, peak) and shape
# (loop, crossfade, trim) the same take side by side, medians of the rounds. Results in
# docs/benchmark-export.md.
# Usage: bench/take_shaping_bench.sh [win64|win32] [rounds] [key ...]   (win64 by
# default; win32 needs a machine that executes 32-bit code and the 32-bit Wine loader)
set -euo pipefail
cd "$(dirname "$0")/.."
root=${KORVANE_BUILD_ROOT:-build}
arch=win64
case ${1:-} in
  win64|win32) arch=$1; shift ;;
esac
. bench/wine-arch.sh
scripts/wine-run "$PWD/$root/$arch/bin/take_shaping_bench.exe" "$@"
