#!/usr/bin/env bash
# Prints the benchmark figures: every host program named bench_* under
# build/host/tests, then every bench_*.exe under build/win64/tests run under
# Wine with the null-driver prefix (the listener's with the X11 driver on the
# test display, when the test command provides one). Figures are for reading; a slow machine
# never fails a run here. A benchmark checks that it measured the right
# thing (the text after a load, a save, a Tab, an evaluation) and exits
# non-zero when not: that fails this script.
build=$1
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/common.sh"
wrong=0
run_bench() {  # name, folder to run in, command...
    local name=$1 folder=$2; shift 2
    echo "-- $name"
    (cd "$folder" && timeout 300 "$@")
    local status=$?
    if [ "$status" -eq 124 ]; then
        echo "($name did not finish within 300 s: no figures)"
    elif [ "$status" -ne 0 ]; then
        echo "FAIL: $name ended with status $status: its result was wrong"
        wrong=$((wrong + 1))
    fi
}
echo "== benchmarks"
for bench in $(find "$build/host/tests" -type f -name 'bench_*' -perm -u+x 2>/dev/null | sort); do
    run_bench "$(basename "$bench")" "$(dirname "$bench")" "$bench"
done
for bench in $(find "$build/win64/tests" -type f -name 'bench_*.exe' 2>/dev/null | sort); do
    # The listener's benchmark evaluates in SBCL, which the wrapper starts.
    # The listener's figure is what a user sees: on a display, where one
    # is, with Wine's X11 driver.
    lisp=() prefix=$build/wine/null display=()
    if [ "$(basename "$bench")" = bench_listener.exe ]; then
        lisp=(bash "$root/tests/listener/with_swank.sh" "$build")
        if [ -n "${QUILLON_X11_PREFIX:-}" ] && [ -n "${QUILLON_DISPLAY:-}" ]; then
            prefix=$QUILLON_X11_PREFIX display=(DISPLAY="$QUILLON_DISPLAY")
        fi
    fi
    run_bench "$(basename "$bench") (under Wine)" "$(dirname "$bench")" \
        env WINEPREFIX="$prefix" "${display[@]}" "${lisp[@]}" "$WINE64" "$bench"
done

echo "-- sizes (aim: x86_64 exe under 64 KiB)"
for arch in win64 win32; do
    exe=$build/$arch/quillon.exe
    [ -f "$exe" ] || continue
    case $arch in
        win64) dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows ;;
        win32) dlls=/usr/lib/i386-linux-gnu/wine/i386-windows ;;
    esac
    echo "$arch quillon.exe: $(stat -c %s "$exe") bytes ($(( $(stat -c %s "$exe") / 1024 )) KiB)"
    for dll in $(objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p'); do
        file=$(find "$dlls" -maxdepth 1 -iname "$dll" 2>/dev/null | head -n 1)
        if [ -n "$file" ]; then
            echo "  imports $dll: $(stat -c %s "$file") bytes as Wine ships it"
        else
            echo "  imports $dll: not on this machine"
        fi
    done
done
[ "$wrong" -eq 0 ]
