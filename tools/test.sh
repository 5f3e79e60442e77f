#!/usr/bin/env bash
# Runs every test: the host unit tests and fuzzer, both Windows builds, the
# tests under Wine (in-process and end to end under Xvfb), then the benchmarks.
# Installs what it needs when run as root. Ends with "N passed, N failed".
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLON_BUILD:-$root/build}
source "$root/tools/common.sh"
source "$root/tools/swank.sh"

ensure_packages || exit 1
trap stop_started EXIT

configure_and_build() {  # dir, extra cmake arguments...
    local dir=$1; shift
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >"$dir.configure.log" 2>&1 ||
        { cat "$dir.configure.log"; return 1; }
    ninja -C "$dir" >"$dir.build.log" 2>&1 || { tail -n 60 "$dir.build.log"; return 1; }
    # The code is kept free of warnings: a warning fails the build.
    if grep -q 'warning:' "$dir.build.log"; then
        grep 'warning:' "$dir.build.log" | sort -u
        return 1
    fi
}

mkdir -p "$build"
echo "== build: host (clang), x86_64 and i686 Windows (mingw-w64)"
configure_and_build "$build/host" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ || exit 1
configure_and_build "$build/win64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" || exit 1
configure_and_build "$build/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" || exit 1

echo "== Wine prefixes, SBCL core with Swank, Swank compiled by ECL"
make_prefix "$build/wine/null" null
make_prefix "$build/wine/x11" x11
swank_core "$build" || exit 1
swank_ecl "$build" || exit 1
export QUILLON_SWANK_CORE=$SWANK_CORE
start_wineserver "$build/wine/null"
start_xvfb
start_wineserver "$build/wine/x11" "$QUILLON_DISPLAY"
export QUILLON_X11_PREFIX=$build/wine/x11 QUILLON_DISPLAY
export QUILLON_ARTIFACTS=$build/artifacts
mkdir -p "$QUILLON_ARTIFACTS"

# Only tests that ctest reports as passed count as passed. The test command
# provides everything every test needs (display, prefixes), so a test that
# skips (exit 77) fails the run, as does a failed or unfinished one, and so
# does a failure of ctest itself.
passed=0 failed=0
run_ctest() {  # label, dir, ctest arguments...
    local label=$1 dir=$2; shift 2
    echo "== tests: $label"
    local log="$dir/ctest.log" status total good
    (cd "$dir" && ctest --output-on-failure "$@") 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    total=$(sed -nE 's/.* tests failed out of ([0-9]+)$/\1/p' "$log" | tail -n 1)
    good=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec$' "$log")
    if [ -z "$total" ] || [ "$total" -eq 0 ]; then
        echo "FAIL: no test ran ($label)"
        failed=$((failed + 1))
        return
    fi
    if grep -q '(Skipped)$' "$log"; then
        echo "FAIL: skipped, which a run of the test command must not do:"
        grep '(Skipped)$' "$log"
    fi
    passed=$((passed + good))
    failed=$((failed + total - good))
    if [ "$status" -ne 0 ] && [ "$good" -eq "$total" ]; then
        echo "FAIL: ctest ended with status $status ($label)"
        failed=$((failed + 1))
    fi
}

run_ctest "host" "$build/host" -j2
WINEPREFIX=$build/wine/null run_ctest "x86_64 under Wine" "$build/win64"
# The i686 suite runs on every run where the kernel runs 32-bit programs; a
# run without it fails, unless the kernel itself cannot run them.
reason=$(can_run_32bit)
case $? in
    0) WINEPREFIX=$build/wine/null run_ctest "i686 under Wine" "$build/win32" -E '^e2e_' ;;
    2) echo "== tests: i686 under Wine CANNOT RUN ON THIS MACHINE: $reason" ;;
    *) echo "== tests: i686 under Wine did not run: $reason"
       failed=$((failed + 1)) ;;
esac
"$root/tools/check_imports.sh" "$build/win32" || failed=$((failed + 1))
"$root/tools/check_imports.sh" "$build/win64" || failed=$((failed + 1))

# Slow figures never fail the run; a benchmark that finds a wrong result does.
"$root/tools/bench.sh" "$build" || failed=$((failed + 1))

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
