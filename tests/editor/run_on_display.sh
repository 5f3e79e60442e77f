#!/usr/bin/env bash
# Runs a test exe under Wine's X11 driver on the test display. The test
# command provides the display and the X11 prefix; without them the test is
# skipped.
if [ -z "${QUILLON_DISPLAY:-}" ] || [ -z "${QUILLON_X11_PREFIX:-}" ]; then
    echo "skipped: needs QUILLON_DISPLAY and QUILLON_X11_PREFIX (tools/test.sh sets them)"
    exit 77
fi
export DISPLAY=$QUILLON_DISPLAY WINEPREFIX=$QUILLON_X11_PREFIX
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The output goes to a file: Wine's desktop process, started with the first
# window, inherits it and outlives the test.
log=$(mktemp)
(cd "$(dirname "$1")" && /usr/lib/wine/wine64 "$@" >"$log" 2>&1)
status=$?
cat "$log"
rm -f "$log"
exit $status
