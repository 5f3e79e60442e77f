#!/usr/bin/env bash
# Runs a test program under Wine with a Lisp serving swank on a free loopback
# port; stops the Lisp afterwards.
#   with_swank.sh BUILD_ROOT WINE PROGRAM.exe [arguments...]
# The Lisp is SBCL, or ECL with KESTRALUNE_TEST_LISP=ecl. The program gets:
#   KESTRALUNE_TEST_LISP    which Lisp serves: sbcl or ecl
#   KESTRALUNE_TEST_PORT    the port it serves
#   KESTRALUNE_TEST_SECRET  the secret file (a Unix path; under Wine Z: and
#                           backslashes): a client's first frame must be its
#                           first line, which kestralune.exe -secret FILE sends
#   KESTRALUNE_TEST_PORT2   a second free port, for a Lisp the program starts
#   KESTRALUNE_TEST_LISP_COMMAND2  the Unix command line (words without
#                           quotes) that serves that Lisp on PORT2 with the
#                           same secret, e.g. for kestralune.exe -lisp
#   KESTRALUNE_TEST_CORE    the SBCL core with Swank (for SBCL's command)
# The test may also kill and restart the Lisp: it names a request by
# creating a file in the folder passed in KESTRALUNE_TEST_CONTROL (as a
# Unix path), and the file is removed once the request is done:
#   kill   the Lisp is killed at once (SIGKILL, by its PID), as in a crash
#   start  the Lisp is started again on the same port; removed once it serves
#          (left, with "failed" written in it, when it could not start)
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
shift
source "$root/tools/common.sh"
SWANK_LISP=${KESTRALUNE_TEST_LISP:-sbcl}
source "$root/tools/swank.sh"
control=
trap 'stop_started; rm -rf "$control" "$SWANK_SECRET_FILE"' EXIT

prepare_swank "$build" || exit 1
# The core comes with SBCL; it is also made for ECL's runs, whose programs
# may still start an SBCL of their own.
swank_core "$build" || exit 1
# A fresh secret for this run.
swank_secret "$build/swank/secrets" || exit 1
port=$(free_port)
start_swank "$port" || exit 1
control=$(mktemp -d "$build/swank/control.XXXXXX") || exit 1
port2=$(free_port)
swank_argv "$port2" || exit 1
KESTRALUNE_TEST_LISP=$SWANK_LISP KESTRALUNE_TEST_PORT=$port KESTRALUNE_TEST_SECRET=$SWANK_SECRET_FILE \
    KESTRALUNE_TEST_PORT2=$port2 KESTRALUNE_TEST_LISP_COMMAND2="${SWANK_ARGV[*]}" \
    KESTRALUNE_TEST_CORE=$SWANK_CORE KESTRALUNE_TEST_CONTROL=$control "$@" &
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
# Such a Lisp left running (the test then fails) would hold the test's
# output open: it is stopped by the PID that owns its port.
for pid in $(fuser -n tcp "$port2" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
exit $status
