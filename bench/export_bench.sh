#!/usr/bin/env bash
# Export throughput, run by hand (not by CTest): 128 keys at the dialog's defaults
# exported as WAV files, through a plugin that does nothing (the benchmark's own empty
# process and event calls) and through the demo instrument, then dd writing the same bytes into
# the same folder, all in one run. Results in docs/benchmark-export.md.
set -euo pipefail
cd "$(dirname "$0")/.."
root=${KORVANE_BUILD_ROOT:-build}
export KORVANE_WINEPREFIX=${KORVANE_WINEPREFIX:-$PWD/$root/wineprefix}
scripts/wine-prefix
bin=$PWD/$root/win64/bin
work=$(mktemp -d "${TMPDIR:-/tmp}/korvane-export-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
winwork=$(WINEPREFIX=$KORVANE_WINEPREFIX /usr/lib/wine/wine64 winepath -w "$work" 2>/dev/null | tr -d '\r')
bytes=$((128 * (44 + 110250 * 4)))
for round in 1 2 3; do
  echo "round $round"
  scripts/wine-run "$bin/export_bench.exe" "$winwork" "null plugin" null
  rm -f "$work"/*.wav
  scripts/wine-run "$bin/export_bench.exe" "$winwork" "demo instrument"
  rm -f "$work"/*.wav
  # The same bytes in 16384-byte writes, as the export's chunks are.
  start=$EPOCHREALTIME
  dd if=/dev/zero of="$work/dd.bin" bs=16384 count=$((bytes / 16384 + 1)) status=none
  end=$EPOCHREALTIME
  rm -f "$work/dd.bin"
  awk -v b="$bytes" -v s="$start" -v e="$end" 'BEGIN { printf "dd: %d bytes in %.3f s\n", b, e - s }'
done
