#!/usr/bin/env bash
# Prints the benchmark figures: every host program named bench_* under
# build/host/tests, then every bench_*.exe under build/win64/tests run under
# Wine with the null-driver prefix. Figures are for reading; a slow machine
# never fails a run here.
build=$1
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/common.sh"
echo "== benchmarks"
for bench in $(find "$build/host/tests" -type f -name 'bench_*' -perm -u+x 2>/dev/null | sort); do
    echo "-- $(basename "$bench")"
    timeout 300 "$bench" || echo "($(basename "$bench") did not finish)"
done
for bench in $(find "$build/win64/tests" -type f -name 'bench_*.exe' 2>/dev/null | sort); do
    echo "-- $(basename "$bench") (under Wine)"
    (cd "$(dirname "$bench")" && WINEPREFIX=$build/wine/null timeout 300 "$WINE64" "$bench") ||
        echo "($(basename "$bench") did not finish)"
done
