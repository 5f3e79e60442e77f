# Shared by the end-to-end scripts: start the editor on the test display, read
# it back through peek.exe, compare, and stop what was started by its PID.
set -u
QUILLON_EXE=$1
PEEK_EXE=$2
if [ -z "${QUILLON_DISPLAY:-}" ] || [ -z "${QUILLON_X11_PREFIX:-}" ]; then
    echo "skipped: needs QUILLON_DISPLAY and QUILLON_X11_PREFIX (tools/test.sh sets them)"
    exit 77
fi
export DISPLAY=$QUILLON_DISPLAY WINEPREFIX=$QUILLON_X11_PREFIX
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINE64=/usr/lib/wine/wine64
ARTIFACTS=${QUILLON_ARTIFACTS:-$(dirname "$QUILLON_EXE")/artifacts}
mkdir -p "$ARTIFACTS"
WORK=$(mktemp -d)
FAILURES=0
EDITOR_PID=

cleanup() {
    [ -n "$EDITOR_PID" ] && kill "$EDITOR_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

start_editor() {  # arguments for the editor
    # The editor's output goes to a file: Wine's desktop process, started
    # with the first window, inherits it and outlives this script.
    (cd "$WORK" && exec "$WINE64" "$QUILLON_EXE" "$@" >"$WORK/editor.log" 2>&1) &
    EDITOR_PID=$!
    WINDOW=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quillon - ' | head -n 1)
    [ -n "$WINDOW" ] || { echo "FAIL: the main window did not appear"; exit 1; }
    xdotool windowactivate --sync "$WINDOW" 2>/dev/null || xdotool windowfocus --sync "$WINDOW"
    sleep 0.3
}

# peek text | sel | title | box CAPTION: sets PEEKED to what the editor
# shows, byte for byte (a trailing line break included), or to the text of
# the message box with that caption ("" when there is none).
peek() {
    PEEKED=$("$WINE64" "$PEEK_EXE" "$@"; echo .)
    PEEKED=${PEEKED%.}
}

# peek_until WHAT EXPECTED: peeks until PEEKED is the expected text, for up
# to 10 s; the caller then compares PEEKED with expect_eq.
peek_until() {
    local what=$1 expected=$2
    for _ in $(seq 100); do
        peek "$what"
        [ "$PEEKED" == "$expected" ] && return 0
        sleep 0.1
    done
    return 1
}

# peek_holding WHAT TEXT: peeks until PEEKED holds the text, for up to 10 s.
peek_holding() {
    local what=$1 text=$2
    for _ in $(seq 100); do
        peek "$what"
        [[ "$PEEKED" == *"$text"* ]] && return 0
        sleep 0.1
    done
    return 1
}

expect_eq() {  # what, expected, actual
    if [ "$2" == "$3" ]; then
        echo "ok: $1"
    else
        echo "FAIL: $1"
        echo "  expected: $(printf '%q' "$2")"
        echo "  actual:   $(printf '%q' "$3")"
        FAILURES=$((FAILURES + 1))
    fi
}

# Waits for a visible window whose title matches; prints its id.
wait_window() {
    timeout "${2:-10}" xdotool search --sync --onlyvisible --name "$1" | head -n 1
}

# Waits up to 10 s until no visible window's title matches; false if one still does.
wait_gone() {
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}

screenshot() {  # name
    import -display "$DISPLAY" -window root "$ARTIFACTS/$1.png" && echo "screenshot: $ARTIFACTS/$1.png"
}

# Waits up to 10 s for the editor to end and sets EDITOR_EXIT to its exit
# code, or to 124 while it still runs (cleanup then stops it). Call it
# directly, never inside $(...): only this shell, the editor's parent, can
# wait for it.
wait_editor_exit() {
    EDITOR_EXIT=124
    for _ in $(seq 100); do
        if ! kill -0 "$EDITOR_PID" 2>/dev/null; then
            wait "$EDITOR_PID"
            EDITOR_EXIT=$?
            EDITOR_PID=
            return
        fi
        sleep 0.1
    done
}

finish() {
    [ "$FAILURES" -eq 0 ] && echo "all checks passed" && exit 0
    echo "$FAILURES check(s) failed"
    exit 1
}
