# The Lisp side of the start and test commands: SBCL with Swank, the server
# the KESTRALUNE listener talks to. Sourced after tools/common.sh; every
# process started here is recorded in STARTED_PIDS and stopped by its PID.
#
#   free_port              prints a free loopback TCP port
#   swank_core BUILD       sets SWANK_CORE to an SBCL core with Swank loaded,
#                          made once in BUILD/swank and remade when sbcl or
#                          cl-swank changes
#   start_swank PORT       SBCL on that core serving Swank on 127.0.0.1:PORT
#                          ((kestralune-lisp:serve PORT)); sets SWANK_PID
#                          once the port accepts connections
#   stop_swank PID         stops such an SBCL and waits for it to end

SWANK_SOURCE=/usr/share/common-lisp/source/slime/
# The test command makes the core and passes it on to the tests.
SWANK_CORE=${QUILLON_SWANK_CORE:-}
SWANK_CORE_RECIPE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/swank_core.lisp

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# True when something accepts a TCP connection on 127.0.0.1:PORT.
port_answers() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# What the core depends on: a core only runs on the sbcl that saved it.
swank_versions() {
    sbcl --version
    dpkg-query -W -f='${Package} ${Version}\n' sbcl cl-swank 2>/dev/null || cat "$SWANK_SOURCE/slime-version"
    cat "$SWANK_CORE_RECIPE"
}

swank_core() {
    # Absolute: Lisp resolves relative names against its own default folder.
    local dir
    dir=$(mkdir -p "$1/swank" && cd "$1/swank" && pwd) || return 1
    SWANK_CORE=$dir/sbcl-swank.core
    (
        # One build at a time when two commands share the build folder.
        flock 9
        local versions
        versions=$(swank_versions)
        [ -f "$SWANK_CORE" ] && [ "$(cat "$dir/core.versions" 2>/dev/null)" = "$versions" ] && exit 0
        echo "Making an SBCL core with Swank loaded (once; about 10 s): $SWANK_CORE"
        rm -rf "$dir/fasl" "$SWANK_CORE" "$dir/core.versions"
        local start=$SECONDS
        if ! sbcl --noinform --disable-ldb --non-interactive --no-sysinit --no-userinit \
                --load "$SWANK_CORE_RECIPE" --end-toplevel-options "$SWANK_SOURCE" "$dir/fasl/" \
                "$SWANK_CORE.new" </dev/null >"$dir/core.log" 2>&1 || [ ! -f "$SWANK_CORE.new" ]; then
            tail -n 20 "$dir/core.log"
            echo "Could not make the SBCL core with Swank (log: $dir/core.log)."
            exit 1
        fi
        mv "$SWANK_CORE.new" "$SWANK_CORE"
        echo "$versions" >"$dir/core.versions"
        echo "Core made in $((SECONDS - start)) s."
    ) 9>"$dir/core.lock"
}

# Needs SWANK_CORE (swank_core). The server's output goes to
# BUILD/swank/swank-PORT.log.
start_swank() {
    local port=$1 log
    [ -f "$SWANK_CORE" ] || { echo "No Swank core to start (swank_core BUILD makes it)."; return 1; }
    log=$(dirname "$SWANK_CORE")/swank-$port.log
    sbcl --core "$SWANK_CORE" --noinform --disable-ldb --lose-on-corruption --end-runtime-options \
         --no-sysinit --no-userinit --eval "(kestralune-lisp:serve $port)" </dev/null >"$log" 2>&1 &
    SWANK_PID=$!
    STARTED_PIDS+=("$SWANK_PID")
    local deadline=$((SECONDS + 30))
    while [ $SECONDS -lt $deadline ] && kill -0 "$SWANK_PID" 2>/dev/null; do
        grep -qx "Swank serves 127.0.0.1:$port" "$log" && port_answers "$port" && return 0
        sleep 0.05
    done
    if kill -0 "$SWANK_PID" 2>/dev/null; then
        echo "SBCL with Swank did not open port $port on 127.0.0.1 within 30 s (log: $log)."
    else
        tail -n 3 "$log"
        echo "SBCL with Swank ended before port $port on 127.0.0.1 answered (log: $log)."
    fi
    stop_swank "$SWANK_PID"
    return 1
}

stop_swank() {
    local pid=$1 kept=() p
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    for p in "${STARTED_PIDS[@]}"; do [ "$p" = "$pid" ] || kept+=("$p"); done
    STARTED_PIDS=("${kept[@]}")
}
