#!/usr/bin/env bash
# Starts the editor under Wine: on $DISPLAY when there is one, otherwise on a
# private Xvfb. Builds it first. A file name argument is opened as the
# program's command line opens it. Leaves a screenshot of the window.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLON_BUILD:-$root/build}
source "$root/tools/common.sh"

ensure_packages || exit 1
trap stop_started EXIT
mkdir -p "$build"
cmake -S "$root" -B "$build/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >"$build/win64.configure.log" 2>&1 &&
    ninja -C "$build/win64" quillon >"$build/win64.build.log" 2>&1 ||
    { tail -n 40 "$build/win64.build.log"; exit 1; }
make_prefix "$build/wine/x11" x11

display=${DISPLAY:-}
if [ -z "$display" ] || ! xdpyinfo -display "$display" >/dev/null 2>&1; then
    start_xvfb
    display=$QUILLON_DISPLAY
    echo "No X display: the editor runs on a private Xvfb, display $display."
    echo "Drive it with, for example: DISPLAY=$display xdotool search --name Quillon"
fi

WINEPREFIX=$build/wine/x11 DISPLAY=$display "$WINE64" "$build/win64/quillon.exe" "$@" &
editor=$!
STARTED_PIDS+=($editor)

shot=$build/quillon-window.png
if DISPLAY=$display timeout 30 xdotool search --sync --onlyvisible --name '^Quillon - ' >/dev/null; then
    sleep 0.5
    import -display "$display" -window root "$shot" && echo "Screenshot of the window: $shot"
fi
echo "The editor is running (close its window, or press Ctrl+C here, to end it)."
wait "$editor"
