#!/usr/bin/env bash
# The Swank server of the start and test commands (tools/swank.sh): the saved
# core serves, evaluates, interrupts, ends at once when stopped, serves again
# on the same port, and a port held by another program is reported, not
# taken for the server. Needs QUILLON_SWANK_CORE (the test command sets it).
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
if [ -z "${QUILLON_SWANK_CORE:-}" ]; then
    echo "skipped: needs QUILLON_SWANK_CORE (tools/test.sh sets it)"
    exit 77
fi
source "$root/tools/common.sh"
source "$root/tools/swank.sh"
work=$(mktemp -d)
trap 'stop_started; rm -rf "$work"' EXIT
failures=0

peer() {  # port action [form]
    timeout 30 python3 "$here/swank_peer.py" "$@"
}

lines() {
    printf '%s\n' "$@"
}

expect() {  # what, expected, actual
    if [ "$2" = "$3" ]; then
        echo "ok: $1"
    else
        echo "FAILED: $1: expected [$2], got [$3]"
        failures=$((failures + 1))
    fi
}

# hold_loop PORT: a client evaluating (loop) on PORT; sets HOLD_PID once the
# evaluation is under way, and its output goes to $work/hold.
hold_loop() {
    peer "$1" hold >"$work/hold" 2>&1 &
    HOLD_PID=$!
    STARTED_PIDS+=("$HOLD_PID")
    for _ in $(seq 200); do grep -q running "$work/hold" && return; sleep 0.05; done
}

# ends_at_once SIGNAL PID: sends SIGNAL and tells whether the process ended
# within 10 s (a zombie has ended; wait reaps it).
ends_at_once() {
    kill "-$1" "$2"
    local deadline=$((SECONDS + 10))
    while [ $SECONDS -lt $deadline ]; do
        case $(ps -o stat= -p "$2") in '' | Z*) return 0 ;; esac
        sleep 0.05
    done
    return 1
}

port=$(free_port)
start_swank "$port" || exit 1
expect "evaluates, output then values" "$(lines 'a"\b' 1 A)" \
    "$(peer "$port" eval '(progn (princ "a\"\\b") (values 1 (quote a)))')"
expect "swank-repl is in the core" "$(lines '' T)" "$(peer "$port" eval '(and (find-package "SWANK-REPL") t)')"
expect "definitions persist between connections" "$(lines '' SQUARE)" "$(peer "$port" eval '(defun square (x) (* x x))')"
expect "...and are found by the next one" "$(lines '' 49)" "$(peer "$port" eval '(square 7)')"
expect "(loop) is interrupted and the Lisp serves on" "3 after debugger level 1" "$(peer "$port" interrupt)"

# Stopped during an evaluation: the process ends at once and the client sees
# the connection close; a new server then serves the same port.
hold_loop "$port"
ends_at_once TERM "$SWANK_PID"
expect "SIGTERM during (loop) ends the Lisp" 0 $?
wait "$HOLD_PID"
expect "the client sees the connection close" "$(lines running closed)" "$(cat "$work/hold")"
stop_swank "$SWANK_PID"
start_swank "$port"
expect "a new server on the same port" "$(lines '' 3)" "$(peer "$port" eval '(+ 1 2)')"

# Ctrl+C in the start command's terminal reaches the Lisp as SIGINT.
hold_loop "$port"
ends_at_once INT "$SWANK_PID"
expect "SIGINT during (loop) ends the Lisp" 0 $?
stop_swank "$SWANK_PID"

# Another program listening on the port answers connections: the start must
# fail on it, not report the port as served.
taken=$(free_port)
python3 -c "import socket, time
s = socket.socket(); s.bind(('127.0.0.1', $taken)); s.listen(); time.sleep(60)" &
STARTED_PIDS+=("$!")
for _ in $(seq 100); do port_answers "$taken" && break; sleep 0.05; done
start_swank "$taken" >"$work/taken" 2>&1
expect "a port held by another program fails the start" 1 $?
expect "...says why" 1 "$(grep -c "EADDRINUSE" "$work/taken")"
kill -0 "$SWANK_PID" 2>/dev/null
expect "...and leaves no Lisp behind" 1 $?

[ "$failures" -eq 0 ]
