#!/usr/bin/env bash
# Starts a Lisp (SBCL, or ECL with --lisp ecl) with Swank on a free loopback
# port, the KESTRALUNE listener connected to it, then the editor, both under
# Wine: on $DISPLAY when there is one, otherwise on a private Xvfb. Builds
# them first. A file name argument is opened as the program's command line
# opens it. Leaves a screenshot of the windows. Swank asks for a secret made
# anew for this run (a file only the user can read, passed to the listener
# with -secret); a Lisp that ends is started again on the same port, up to
# five times a minute. Everything started here stops when the editor ends or
# on Ctrl+C.
#   tools/run.sh [--lisp sbcl|ecl] [file.lsp]
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLON_BUILD:-$root/build}
lisp=sbcl
if [ "${1:-}" = --lisp ]; then
    case ${2:-} in
        sbcl | ecl) lisp=$2 ;;
        *) echo "usage: tools/run.sh [--lisp sbcl|ecl] [file.lsp]"; exit 2 ;;
    esac
    shift 2
fi
source "$root/tools/common.sh"
SWANK_LISP=$lisp
source "$root/tools/swank.sh"
lisp_name=$(swank_lisp_name)

ensure_packages || exit 1
SWANK_SECRET_FILE=
trap 'stop_started; [ -z "$SWANK_SECRET_FILE" ] || rm -f "$SWANK_SECRET_FILE"' EXIT
# Ctrl+C or a stop request ends the command, and the EXIT trap everything
# it started (the Lisp, which Ctrl+C also reaches, is not started again).
trap 'exit 130' INT
trap 'exit 143' TERM
mkdir -p "$build"
echo "Building the editor and the listener in $build/win64."
cmake -S "$root" -B "$build/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >"$build/win64.configure.log" 2>&1 ||
    { tail -n 40 "$build/win64.configure.log"; exit 1; }
listener=$build/win64/kestralune.exe
ninja -C "$build/win64" quillon kestralune >"$build/win64.build.log" 2>&1 ||
    { tail -n 40 "$build/win64.build.log"; exit 1; }
make_prefix "$build/wine/x11" x11
prepare_swank "$build" || exit 1
swank_secret "$build/swank/secrets" || exit 1
# The listener reads it through Wine's drive Z: (the Unix root).
secret_windows=Z:${SWANK_SECRET_FILE//\//\\}
port=$(free_port)
start_swank "$port" || exit 1
echo "$lisp_name with Swank serves 127.0.0.1:$port (its output: $(swank_log "$port"))."

display=${DISPLAY:-}
if [ -z "$display" ] || ! xdpyinfo -display "$display" >/dev/null 2>&1; then
    start_xvfb
    display=$QUILLON_DISPLAY
    echo "No X display: the windows are on a private Xvfb, display $display."
    echo "Drive them with, for example: DISPLAY=$display xdotool search --name Quillon"
fi
# Its wineserver is stopped at the end, and with it the prefix's own
# processes (explorer.exe holds the X display until then). They start on
# the display the windows will use.
start_wineserver "$build/wine/x11" "$display"

# shows_window TITLE-PATTERN: waits (at most 30 s) until such a window shows.
shows_window() {
    DISPLAY=$display timeout 30 xdotool search --sync --onlyvisible --name "$1" >/dev/null
}

windows=('^Quillon - ' '^KESTRALUNE')
echo "Starting the KESTRALUNE listener: kestralune.exe -port $port -secret $secret_windows"
WINEPREFIX=$build/wine/x11 DISPLAY=$display "$WINE64" "$listener" -port "$port" -secret "$secret_windows" &
STARTED_PIDS+=("$!")
# The editor starts once the listener's window shows, so that its DDE
# service is there for the first Eval Selection.
shows_window '^KESTRALUNE' || echo "The listener's window did not show within 30 s."

WINEPREFIX=$build/wine/x11 DISPLAY=$display "$WINE64" "$build/win64/quillon.exe" "$@" &
editor=$!
STARTED_PIDS+=("$editor")

shown=0
for title in "${windows[@]}"; do shows_window "$title" && shown=$((shown + 1)); done
shot=$build/quillon-window.png
if [ "$shown" -eq ${#windows[@]} ]; then
    # Side by side, so that the listener shows what the editor sends.
    DISPLAY=$display xdotool search --onlyvisible --name '^KESTRALUNE' windowmove 520 30 windowsize 500 600 2>/dev/null
    DISPLAY=$display xdotool search --onlyvisible --name '^Quillon - ' windowmove 0 30 windowsize 510 600 2>/dev/null
    sleep 0.5
    import -display "$display" -window root "$shot" && echo "Screenshot of the windows: $shot"
fi
echo "Select a form in the editor and choose Edit > Eval Selection: its output and values show in the KESTRALUNE window."
echo "The editor is running (close its window, or press Ctrl+C here, to end it and everything started with it)."
keep_swank "$port" "$editor"
wait "$editor"
