#!/usr/bin/env bash
# Runs a test program under Wine with SBCL serving swank on a free loopback
# port, passed to it in KESTRALUNE_TEST_PORT; stops the Lisp afterwards.
#   with_swank.sh BUILD_ROOT WINE PROGRAM.exe [arguments...]
# The test may also kill and restart that Lisp: it names a request by
# creating a file in the folder passed in KESTRALUNE_TEST_CONTROL (as a
# Unix path), and the file is removed once the request is done:
#   kill   SBCL is killed at once (SIGKILL, by its PID), as in a crash
#   start  SBCL is started again on the same port; removed once it serves
#          (left, with "failed" written in it, when it could not start)
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
shift
source "$root/tools/common.sh"
source "$root/tools/swank.sh"
trap stop_started EXIT

swank_core "$build" || exit 1
port=$(free_port)
start_swank "$port" || exit 1
control=$(mktemp -d "$build/swank/control.XXXXXX") || exit 1
# A second free port, and the core, serve a Lisp the program under test
# starts itself.
port2=$(free_port)
KESTRALUNE_TEST_PORT=$port KESTRALUNE_TEST_PORT2=$port2 KESTRALUNE_TEST_CORE=$SWANK_CORE \
    KESTRALUNE_TEST_CONTROL=$control "$@" &
test_pid=$!
while kill -0 "$test_pid" 2>/dev/null; do
    if [ -e "$control/kill" ]; then
        kill -KILL "$SWANK_PID" 2>/dev/null
        stop_swank "$SWANK_PID"
        rm -f "$control/kill"
    fi
    if [ -e "$control/start" ]; then
        if start_swank "$port"; then rm -f "$control/start"; else echo failed >"$control/start"; fi
    fi
    sleep 0.02
done
wait "$test_pid"
status=$?
rm -rf "$control"
# Such a Lisp left running (the test then fails) would hold the test's
# output open: it is stopped by the PID that owns its port.
for pid in $(fuser -n tcp "$port2" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
exit $status
