# Sourced by the benchmark scripts: the build to run ($arch: win64, or win32 on a
# machine that executes 32-bit code) in its Wine prefix, made when missing. Expects
# $arch and $root; prints the machine's state for the results.
case $arch in
  win64) export KORVANE_WINEPREFIX=${KORVANE_WINEPREFIX:-$PWD/$root/wineprefix} ;;
  win32)
    scripts/runs-32bit || { echo "This machine cannot execute 32-bit code." >&2; exit 1; }
    export KORVANE_WINEPREFIX32=${KORVANE_WINEPREFIX32:-$PWD/$root/wineprefix32} ;;
  *) echo "usage: $0 [win64|win32] ..." >&2; exit 2 ;;
esac
KORVANE_WINE_ARCH=$arch scripts/wine-prefix
echo "$arch build, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
