# What the end-to-end tests of the listener share: lib.sh, then SBCL
# serving swank and the KESTRALUNE listener connected to it
# (start_listener_on_sbcl sets $listener to its window). The listener's exe
# is the script's third argument. Sourced by the test scripts.
source "$(dirname "$0")/lib.sh"
LISTENER_EXE=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/swank.sh"
STARTED_PIDS=()
trap 'for pid in "${STARTED_PIDS[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done; cleanup' EXIT

# As the start command does: Swank serves only a client that knows the
# secret.
start_listener_on_sbcl() {
    swank_core "$(dirname "$QUILLON_EXE")/.." >/dev/null || { echo "FAIL: no SBCL core with swank"; exit 1; }
    swank_secret "$WORK" || { echo "FAIL: no secret file"; exit 1; }
    local port secret
    port=$(free_port)
    start_swank "$port" || { echo "FAIL: SBCL with swank did not start"; exit 1; }
    secret="Z:${SWANK_SECRET_FILE//\//\\}"
    (cd "$WORK" && exec "$WINE64" "$LISTENER_EXE" -port "$port" -secret "$secret" >"$WORK/listener.log" 2>&1) &
    STARTED_PIDS+=($!)
    listener=$(wait_window '^KESTRALUNE - connected to SBCL' 30)
    expect_eq "the listener connects to SBCL" "yes" "${listener:+yes}"
}
