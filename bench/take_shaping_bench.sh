#!/usr/bin/env bash
# Take shaping against rendering, run by hand (not by CTest): keys 36, 60, 84 and 108
# (or the keys given) at the export dialog's defaults through the demo instrument,
# the render time and the loop search, crossfade and trim time of the same take side
# by side, medians of the rounds. Results in docs/benchmark-export.md.
# Usage: bench/take_shaping_bench.sh [rounds] [key ...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=${KORVANE_BUILD_ROOT:-build}
export KORVANE_WINEPREFIX=${KORVANE_WINEPREFIX:-$PWD/$root/wineprefix}
scripts/wine-prefix
scripts/wine-run "$PWD/$root/win64/bin/take_shaping_bench.exe" "$@"
