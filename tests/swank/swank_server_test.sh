#!/usr/bin/env bash
# The Swank server of the start and test commands (tools/swank.sh), with the
# Lisp named as argument (sbcl, the default, or ecl): it serves only clients
# that send its secret, refuses any other (sending nothing, a request, a
# wrong secret, bytes that are no frame) and serves on, closes at once the
# clients beyond the 16 waiting for their check; it evaluates,
# interrupts, ends at once when stopped, serves again on the same port, and
# a port held by another program is reported, not taken for the server.
# Needs QUILLON_SWANK_CORE (the test command sets it); ECL's compiled Swank
# is made beside that core when missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
if [ -z "${QUILLON_SWANK_CORE:-}" ]; then
    echo "skipped: needs QUILLON_SWANK_CORE (tools/test.sh sets it)"
    exit 77
fi
source "$root/tools/common.sh"
SWANK_LISP=${1:-sbcl}
source "$root/tools/swank.sh"
work=$(mktemp -d)
trap 'stop_started; rm -rf "$work"' EXIT
failures=0

# The Lisp runs with a home folder of the test's own holding a .slime-secret:
# given a secret file, the server must not use the home one, and nothing
# may be written there (compiled files go to the build folder).
home=$work/home
mkdir -p "$home"
echo home-secret >"$home/.slime-secret"
HOME=$home prepare_swank "$(dirname "$(dirname "$QUILLON_SWANK_CORE")")" || exit 1
swank_secret "$work/secrets" || exit 1
secret=$SWANK_SECRET_FILE
name=$(swank_lisp_name)

peer() {  # port action [argument]: a client that knows the secret
    timeout 40 python3 "$here/swank_peer.py" --secret "$secret" "$@"
}

stranger() {  # [--secret FILE] port action [argument]
    timeout 40 python3 "$here/swank_peer.py" "$@"
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

expect "the secret file is the user's only" 600 "$(stat -c %a "$secret")"
expect "the secret is 32 hex digits" 1 "$(grep -cxE '[0-9a-f]{32}' "$secret")"

port=$(free_port)
HOME=$home start_swank "$port" || exit 1

# Connected first and silent throughout: the clients below are served
# meanwhile, and it is dropped once its 10 s for a secret are over.
silent_start=$(date +%s)
stranger "$port" refused silent >"$work/silent" 2>&1 &
silent_pid=$!
STARTED_PIDS+=("$silent_pid")
sleep 0.5

expect "connection-info answers a client with the secret" "$name" "$(peer "$port" info)"
expect "a client sending a request first is refused" refused "$(stranger "$port" refused request)"
expect "a client sending a wrong secret is refused" refused "$(stranger "$port" refused wrong)"
expect "a client sending bytes that are no frame is refused" refused "$(stranger "$port" refused garbage)"
expect "the home folder's .slime-secret is not the secret" refused \
    "$(stranger --secret "$home/.slime-secret" "$port" refused request)"
# Once Swank sends all the Lisp's output to a client (the listener has it
# so), what the server says of a refused client still goes to its log only.
peer "$port" watch 3 >"$work/watch" 2>&1 &
watch_pid=$!
STARTED_PIDS+=("$watch_pid")
for _ in $(seq 200); do grep -q watching "$work/watch" && break; sleep 0.05; done
stranger "$port" refused wrong >/dev/null
wait "$watch_pid"
expect "a refusal is not sent to the client that has the Lisp's output" watching "$(cat "$work/watch")"
kill -0 "$SWANK_PID" 2>/dev/null
expect "the Lisp lives on after the refusals" 0 $?
expect "...and serves a client with the secret" served "$(peer "$port" refused request)"

expect "evaluates, output then values" "$(lines 'a"\b' 1 A)" \
    "$(peer "$port" eval '(progn (princ "a\"\\b") (values 1 (quote a)))')"
expect "swank-repl is loaded" "$(lines '' T)" "$(peer "$port" eval '(and (find-package "SWANK-REPL") t)')"
expect "definitions persist between connections" "$(lines '' SQUARE)" "$(peer "$port" eval '(defun square (x) (* x x))')"
expect "...and are found by the next one" "$(lines '' 49)" "$(peer "$port" eval '(square 7)')"
expect "(loop) is interrupted and the Lisp serves on" "3 after debugger level 1" "$(peer "$port" interrupt)"

wait "$silent_pid"
expect "a silent client is dropped" refused "$(cat "$work/silent")"
# When its answer was written.
silent_for=$(($(stat -c %Y "$work/silent") - silent_start))
[ "$silent_for" -ge 9 ] && [ "$silent_for" -le 20 ]
expect "...after its 10 s for a secret (took ${silent_for} s)" 0 $?
grep -q "Swank refused a client" "$(swank_log "$port")"
expect "refusals are written to the Lisp's log" 0 $?

# A flood of silent clients: 16 wait for their secret, the others are closed
# at once; the Lisp serves on, and a client with the secret is served once
# the checks of the flood are over (10 s at most).
stranger "$port" flood 40 >"$work/flood" 2>&1
expect "of 40 silent clients, those beyond 16 are closed at once" "closed 24" "$(cat "$work/flood")"
grep -q "16 clients are already waiting for their secret to be checked" "$(swank_log "$port")"
expect "...and that is written to the Lisp's log" 0 $?
served=
for _ in $(seq 30); do
    served=$(peer "$port" refused request)
    [ "$served" = served ] && break
    sleep 0.5
done
expect "...and a client with the secret is served after the flood" served "$served"

# Stopped during an evaluation: the process ends at once and the client sees
# the connection close; a new server then serves the same port.
hold_loop "$port"
ends_at_once TERM "$SWANK_PID"
expect "SIGTERM during (loop) ends the Lisp" 0 $?
wait "$HOLD_PID"
expect "the client sees the connection close" "$(lines running closed)" "$(cat "$work/hold")"
stop_swank "$SWANK_PID"
HOME=$home start_swank "$port"
expect "a new server on the same port" "$(lines '' 3)" "$(peer "$port" eval '(+ 1 2)')"

# Ctrl+C in the start command's terminal reaches the Lisp as SIGINT.
hold_loop "$port"
ends_at_once INT "$SWANK_PID"
expect "SIGINT during (loop) ends the Lisp" 0 $?
stop_swank "$SWANK_PID"

# A secret file without a secret, or one that cannot be read, serves no one.
: >"$work/secrets/empty"
SWANK_SECRET_FILE=$work/secrets/empty HOME=$home start_swank "$(free_port)" >"$work/empty" 2>&1
expect "an empty secret file fails the start" 1 $?
expect "...says why" 1 "$(grep -c "has no secret" "$work/empty")"
SWANK_SECRET_FILE=$work/secrets/none HOME=$home start_swank "$(free_port)" >"$work/none" 2>&1
expect "a missing secret file fails the start" 1 $?

# Another program listening on the port answers connections: the start must
# fail on it, not report the port as served.
taken=$(free_port)
python3 -c "import socket, time
s = socket.socket(); s.bind(('127.0.0.1', $taken)); s.listen(); time.sleep(60)" &
STARTED_PIDS+=("$!")
for _ in $(seq 100); do port_answers "$taken" && break; sleep 0.05; done
HOME=$home start_swank "$taken" >"$work/taken" 2>&1
expect "a port held by another program fails the start" 1 $?
expect "...says why" 1 "$(grep -cE "EADDRINUSE|[Aa]ddress already in use" "$work/taken")"
kill -0 "$SWANK_PID" 2>/dev/null
expect "...and leaves no Lisp behind" 1 $?

# The start command's keeper (keep_swank): a Lisp that ends is started again
# on its port, five times within a minute, and then left ended. Its Lisps
# are its own children: it runs, and starts the first one, in a subshell,
# stopped with its Lisp at the end. The Lisp is killed as in a crash.
keeper_port=$(free_port)
sleep 600 &
editor=$!
STARTED_PIDS+=("$editor")
(
    STARTED_PIDS=()
    trap stop_started EXIT
    trap 'exit 143' TERM
    HOME=$home start_swank "$keeper_port" && echo "first start" && HOME=$home keep_swank "$keeper_port" "$editor"
) >"$work/keeper" 2>&1 &
keeper=$!
STARTED_PIDS+=("$keeper")
# waits_for COUNT TEXT: until the keeper has written COUNT lines holding TEXT.
waits_for() {
    for _ in $(seq 300); do [ "$(grep -c "$2" "$work/keeper")" -ge "$1" ] && return 0; sleep 0.05; done
    return 1
}
# crash: kills the Lisp that owns the keeper's port.
crash() {
    local pid
    for pid in $(fuser -n tcp "$keeper_port" 2>/dev/null); do kill -KILL "$pid"; done
}
waits_for 1 "first start"
for round in 1 2 3 4 5; do
    crash
    waits_for "$round" "serves 127.0.0.1:$keeper_port again"
done
expect "a Lisp that ended is started again, five times" 5 "$(grep -c "serves 127.0.0.1:$keeper_port again" "$work/keeper")"
expect "...each time said" 5 "$(grep -c "$name ended (status 137; log: .*): starting it again on port $keeper_port" "$work/keeper")"
expect "...and serves with the secret" "$name" "$(peer "$keeper_port" info)"
crash
waits_for 1 "not started again"
expect "the sixth ending within a minute is left" 1 \
    "$(grep -c "started 5 times within a minute, it is not started again" "$work/keeper")"
sleep 1.5
port_answers "$keeper_port"
expect "...and nothing serves the port" 1 $?
kill "$editor"
wait "$keeper"
expect "the keeper returns once the process it watches has ended" 0 $?

expect "nothing is written in the home folder" .slime-secret "$(ls -A "$home")"

[ "$failures" -eq 0 ]
