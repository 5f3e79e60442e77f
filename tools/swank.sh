# The Lisp side of the start and test commands: SBCL or ECL with Swank, the
# server the KESTRALUNE listener talks to. Sourced after tools/common.sh;
# every process started here is recorded in STARTED_PIDS and stopped by its
# PID.
#
# SWANK_LISP says which Lisp start_swank starts: sbcl (the default) or ecl.
#
#   free_port              prints a free loopback TCP port
#   prepare_swank BUILD    makes what start_swank needs for SWANK_LISP, once
#                          (swank_core or swank_ecl)
#   swank_core BUILD       sets SWANK_CORE to an SBCL core with Swank loaded,
#                          made once in BUILD/swank and remade when sbcl or
#                          cl-swank changes
#   swank_ecl BUILD        sets SWANK_ECL_FASL to a folder of Swank compiled
#                          by ECL (BUILD/swank/ecl-fasl), made once and remade
#                          when ecl or cl-swank changes
#   swank_secret DIR       makes a fresh secret file in DIR, readable by the
#                          user only; sets SWANK_SECRET_FILE
#   swank_argv PORT        sets SWANK_ARGV to the command start_swank runs
#   start_swank PORT       SWANK_LISP serving Swank on 127.0.0.1:PORT; sets
#                          SWANK_PID once it says it serves and the port
#                          accepts connections. With SWANK_SECRET_FILE set,
#                          a client must send that secret first
#   stop_swank PID         stops such a Lisp and waits for it to end
#   keep_swank PORT PID    while process PID runs, starts the Lisp again
#                          when it ends (see there)
#
# The secret: the Lisp is given the secret file's path on its command line
# (never the secret itself, which would show in ps) and reads the file's
# first line once, as it starts serving; a client's first frame must hold
# exactly that text (six hex digits of length, then the secret's bytes).
# See tools/swank_serve.lisp. The user's ~/.slime-secret is not read then.

SWANK_SOURCE=/usr/share/common-lisp/source/slime/
SWANK_LISP=${SWANK_LISP:-sbcl}
# The test command makes the core and passes it on to the tests.
SWANK_CORE=${QUILLON_SWANK_CORE:-}
SWANK_ECL_FASL=
SWANK_SECRET_FILE=${SWANK_SECRET_FILE:-}
SWANK_TOOLS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SWANK_CORE_RECIPE=$SWANK_TOOLS/swank_core.lisp
SWANK_ECL_RECIPE=$SWANK_TOOLS/swank_ecl.lisp
SWANK_SERVE_RECIPE=$SWANK_TOOLS/swank_serve.lisp
SWANK_LOAD_RECIPE=$SWANK_TOOLS/swank_load.lisp

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# True when something accepts a TCP connection on 127.0.0.1:PORT.
port_answers() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# The name the messages give SWANK_LISP.
swank_lisp_name() {
    case $SWANK_LISP in
        sbcl) echo SBCL ;;
        ecl) echo ECL ;;
        *) echo "$SWANK_LISP" ;;
    esac
}

prepare_swank() {
    case $SWANK_LISP in
        sbcl) swank_core "$1" ;;
        ecl) swank_ecl "$1" ;;
        *) echo "No such Lisp to serve Swank: $SWANK_LISP (sbcl or ecl)."; return 1 ;;
    esac
}

# What the core depends on: a core only runs on the sbcl that saved it.
swank_versions() {
    sbcl --version
    dpkg-query -W -f='${Package} ${Version}\n' sbcl cl-swank 2>/dev/null || cat "$SWANK_SOURCE/slime-version"
    cat "$SWANK_CORE_RECIPE" "$SWANK_SERVE_RECIPE" "$SWANK_LOAD_RECIPE"
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

# What ECL's compiled files depend on. swank_serve.lisp is loaded as source
# at each start.
swank_ecl_versions() {
    ecl --version
    dpkg-query -W -f='${Package} ${Version}\n' ecl cl-swank 2>/dev/null || cat "$SWANK_SOURCE/slime-version"
    cat "$SWANK_ECL_RECIPE" "$SWANK_LOAD_RECIPE"
}

swank_ecl() {
    local dir
    dir=$(mkdir -p "$1/swank" && cd "$1/swank" && pwd) || return 1
    SWANK_ECL_FASL=$dir/ecl-fasl
    (
        flock 9
        local versions
        versions=$(swank_ecl_versions)
        [ -d "$SWANK_ECL_FASL" ] && [ "$(cat "$dir/ecl.versions" 2>/dev/null)" = "$versions" ] && exit 0
        echo "Compiling Swank for ECL (once; about 40 s): $SWANK_ECL_FASL"
        rm -rf "$SWANK_ECL_FASL" "$dir/ecl.versions"
        local start=$SECONDS
        # Without a port the recipe ends once Swank is loaded, compiled.
        if ! ecl --norc --load "$SWANK_ECL_RECIPE" -- "$SWANK_SOURCE" "$SWANK_ECL_FASL/" \
                </dev/null >"$dir/ecl-compile.log" 2>&1; then
            tail -n 20 "$dir/ecl-compile.log"
            echo "Could not compile Swank for ECL (log: $dir/ecl-compile.log)."
            rm -rf "$SWANK_ECL_FASL"
            exit 1
        fi
        echo "$versions" >"$dir/ecl.versions"
        echo "Swank compiled for ECL in $((SECONDS - start)) s."
    ) 9>"$dir/ecl.lock"
}

# A fresh random secret (32 hex digits) in a new file of DIR that only the
# user can read or write.
swank_secret() {
    local file
    # mktemp makes the file with mode 600; umask 077 for the folder too.
    file=$(umask 077 && mkdir -p "$1" && mktemp "$1/swank-secret.XXXXXX") || return 1
    { od -An -N16 -tx1 /dev/urandom | tr -d ' \n' && echo; } >"$file" || return 1
    SWANK_SECRET_FILE=$(cd "$(dirname "$file")" && pwd)/$(basename "$file")
}

# Sets SWANK_ARGV to the command that serves Swank on PORT with SWANK_LISP
# (the secret file's path ends it when there is one).
swank_argv() {
    local port=$1
    case $SWANK_LISP in
        sbcl)
            [ -f "$SWANK_CORE" ] || { echo "No Swank core to start (swank_core BUILD makes it)."; return 1; }
            # Not --lose-on-corruption: with it a control stack exhaustion
            # (an endless recursion) ends SBCL, even under a handler-case,
            # where SBCL would signal STORAGE-CONDITION and go on.
            SWANK_ARGV=(/usr/bin/sbcl --core "$SWANK_CORE" --noinform --disable-ldb
                        --end-runtime-options --no-sysinit --no-userinit
                        --eval "(kestralune-lisp:serve-command-line)" --end-toplevel-options "$port")
            ;;
        ecl)
            [ -d "$SWANK_ECL_FASL" ] || { echo "No Swank compiled for ECL (swank_ecl BUILD makes it)."; return 1; }
            SWANK_ARGV=(/usr/bin/ecl --norc --load "$SWANK_ECL_RECIPE" -- "$SWANK_SOURCE" "$SWANK_ECL_FASL/" "$port")
            ;;
        *) echo "No such Lisp to serve Swank: $SWANK_LISP (sbcl or ecl)."; return 1 ;;
    esac
    [ -z "$SWANK_SECRET_FILE" ] || SWANK_ARGV+=("$SWANK_SECRET_FILE")
}

# The log of the Lisp serving PORT.
swank_log() {
    local dir
    if [ "$SWANK_LISP" = ecl ]; then dir=$(dirname "$SWANK_ECL_FASL"); else dir=$(dirname "$SWANK_CORE"); fi
    echo "$dir/swank-$1.log"
}

# Needs prepare_swank. The server's output is added to BUILD/swank/swank-PORT.log.
start_swank() {
    local port=$1 log name from
    name=$(swank_lisp_name)
    swank_argv "$port" || return 1
    if [ -n "$SWANK_SECRET_FILE" ] && [ ! -r "$SWANK_SECRET_FILE" ]; then
        echo "The secret file $SWANK_SECRET_FILE cannot be read."
        return 1
    fi
    log=$(swank_log "$port")
    # Appended to, so that a Lisp started again keeps what the last one said
    # before it ended; only what this one writes is searched.
    from=$(($(stat -c %s "$log" 2>/dev/null || echo 0) + 1))
    "${SWANK_ARGV[@]}" </dev/null >>"$log" 2>&1 &
    SWANK_PID=$!
    STARTED_PIDS+=("$SWANK_PID")
    local deadline=$((SECONDS + 30))
    while [ $SECONDS -lt $deadline ] && kill -0 "$SWANK_PID" 2>/dev/null; do
        tail -c "+$from" "$log" | grep -qx "Swank serves 127.0.0.1:$port" && port_answers "$port" && return 0
        sleep 0.05
    done
    if kill -0 "$SWANK_PID" 2>/dev/null; then
        echo "$name with Swank did not open port $port on 127.0.0.1 within 30 s (log: $log)."
        stop_swank "$SWANK_PID"
    else
        tail -c "+$from" "$log" | tail -n 3
        echo "$name with Swank ended before port $port on 127.0.0.1 answered (log: $log)."
        wait "$SWANK_PID" 2>/dev/null
        forget_pid "$SWANK_PID"
    fi
    return 1
}

# Removes PID from STARTED_PIDS.
forget_pid() {
    local kept=() p
    for p in "${STARTED_PIDS[@]}"; do [ "$p" = "$1" ] || kept+=("$p"); done
    STARTED_PIDS=("${kept[@]}")
}

stop_swank() {
    kill "$1" 2>/dev/null
    # A Lisp that does not end within 5 s of SIGTERM (ECL has been seen to
    # miss it now and then) is killed, so that nobody waits for it for ever.
    local i
    for i in $(seq 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.05; done
    kill -KILL "$1" 2>/dev/null
    wait "$1" 2>/dev/null
    forget_pid "$1"
}

# keep_swank PORT PID: while process PID (the editor) runs, a Lisp started by
# start_swank on PORT that ends is started again on the same port after a
# second, each time said on the output; after five starts within a minute it
# is left ended, and that is said too. Returns once PID has ended.
keep_swank() {
    local port=$1 while_pid=$2 name starts=() kept t status given_up=
    name=$(swank_lisp_name)
    while kill -0 "$while_pid" 2>/dev/null; do
        if [ -z "$given_up" ] && ! kill -0 "$SWANK_PID" 2>/dev/null; then
            # Ended by itself: reaped here, and forgotten without a kill, as
            # its PID may already belong to another process.
            wait "$SWANK_PID" 2>/dev/null
            status=$?
            forget_pid "$SWANK_PID"
            kept=()
            for t in "${starts[@]}"; do [ $((SECONDS - t)) -lt 60 ] && kept+=("$t"); done
            starts=("${kept[@]}")
            if [ ${#starts[@]} -ge 5 ]; then
                echo "$name ended again (status $status): started 5 times within a minute, it is not started again" \
                     "(log: $(swank_log "$port")). The listener waits for a Lisp on port $port."
                given_up=1
                continue
            fi
            echo "$name ended (status $status; log: $(swank_log "$port")): starting it again on port $port."
            sleep 1
            starts+=("$SECONDS")
            # A start that fails is seen as an ending at the next round.
            start_swank "$port" && echo "$name serves 127.0.0.1:$port again."
        fi
        sleep 0.2
    done
}
