#!/usr/bin/env bash
# Export throughput, run by hand (not by CTest): 128 keys at the dialog's defaults
# exported as WAV files per key, as a SoundFont and as a chord, through a plugin that
# does nothing (the benchmark's own empty process and event calls; five rounds) and
# through the demo instrument (one round), each next to the two limits the program
# measures in the same run under the same loader: the same bytes written into one file,
# and the same files written with plain writes; then a heavy instrument exported on 1,
# 2 and the automatic number of instances. Results in docs/benchmark-export.md.
# Usage: bench/export_bench.sh [win64|win32]   (win64 by default; win32 needs a machine
# that executes 32-bit code and the 32-bit Wine loader)
set -euo pipefail
cd "$(dirname "$0")/.."
root=${KORVANE_BUILD_ROOT:-build}
arch=${1:-win64}
. bench/wine-arch.sh
bin=$PWD/$root/$arch/bin
work=$(mktemp -d "${TMPDIR:-/tmp}/korvane-export-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
winwork=$(KORVANE_WINE_ARCH=$arch scripts/wine-run winepath -w "$work" 2>/dev/null | tr -d '\r')
scripts/wine-run "$bin/export_bench.exe" "$winwork" "null plugin" null 5
scripts/wine-run "$bin/export_bench.exe" "$winwork" "demo instrument" demo 1
# A heavy instrument (the demo at KORVANE_DEMO_COST work units a frame) on 1, 2 and the
# automatic number of instances, side by side in each of three rounds.
scripts/wine-run "$bin/export_bench.exe" "$winwork" "heavy instrument" heavy "${KORVANE_BENCH_COST:-400}" 3
