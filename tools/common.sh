# Shared by the start and test commands: packages, Wine prefixes, Xvfb.
# Every process started here is recorded and stopped by its PID.

WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
WINE32=/usr/lib/wine/wine
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# wine32 (the i686 build's tests) comes from the i386 architecture. sbcl and
# ecl are the two Lisps the listener is run against.
QUILLON_PACKAGES="cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev
  mingw-w64 wine64 wine32:i386 nsis xvfb openbox xdotool x11-apps x11-utils imagemagick fonts-wine python3
  sbcl ecl cl-swank cl-alexandria psmisc"

STARTED_PIDS=()

# Installs what is missing with apt-get when root; otherwise prints the command.
ensure_packages() {
    local missing=()
    for p in $QUILLON_PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local add_i386=
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
        add_i386="dpkg --add-architecture i386"
    fi
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        [ -z "$add_i386" ] || $add_i386 || { echo "$add_i386 failed"; return 1; }
        # One index briefly out of step with its mirror makes update fail;
        # what counts is whether the packages install.
        apt-get update -qq || true
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || {
            echo "apt-get install failed for: ${missing[*]}"; return 1; }
    else
        echo "Missing packages. Run as root:"
        echo "  ${add_i386:+$add_i386 && }apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
        return 1
    fi
}

# True when 32-bit Windows programs can run: wine32 is installed and the
# kernel runs its 32-bit loader. Prints why not otherwise.
# Whether the i686 build can run here: 0 yes; 1 wine32 is missing; 2 the
# kernel runs no 32-bit programs at all (nothing a package can change).
can_run_32bit() {
    if [ ! -x "$WINE32" ]; then
        echo "wine32 is not installed"
        return 1
    fi
    if ! "$WINE32" --version >/dev/null 2>&1; then
        echo "$WINE32 does not start: this kernel runs no 32-bit programs" \
             "(32-bit emulation off, see 'dmesg | grep 32-bit')"
        return 2
    fi
}

# make_prefix DIR null|x11: a Wine prefix made once and kept between runs.
# "null" uses Wine's null graphics driver, which needs no X display. A prefix
# made before 32-bit programs could run has an empty syswow64 folder, which
# wineboot -u does not fill: it is made again.
make_prefix() {
    local prefix=$1 driver=$2
    if [ -f "$prefix/.quillon-ready" ]; then
        [ -n "$(ls -A "$prefix/drive_c/windows/syswow64" 2>/dev/null)" ] && return 0
        can_run_32bit >/dev/null || return 0
    fi
    rm -rf "$prefix"
    mkdir -p "$(dirname "$prefix")"
    WINEPREFIX=$prefix DISPLAY= "$WINE64" wineboot -i >"$prefix.log" 2>&1
    WINEPREFIX=$prefix "$WINESERVER" -w
    if [ "$driver" = null ]; then
        cat >"$prefix.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Graphics"="null"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
REG
        WINEPREFIX=$prefix DISPLAY= "$WINE64" regedit /S "$prefix.reg" >>"$prefix.log" 2>&1
        WINEPREFIX=$prefix "$WINESERVER" -w
    fi
    touch "$prefix/.quillon-ready"
}

# Keeps one wineserver alive for the prefix until stop_started, and starts
# the prefix's background services (services.exe and the rest) with their
# output on /dev/null: started later from inside a test, they would inherit
# that test's output pipe and keep ctest waiting for it to close. A prefix
# whose windows go to an X display is given it (start_wineserver PREFIX
# DISPLAY): its desktop process, started without one, makes every later
# window of the prefix fail.
start_wineserver() {
    WINEPREFIX=$1 "$WINESERVER" -p
    SERVER_PREFIXES+=("$1")
    WINEPREFIX=$1 DISPLAY=${2:-} "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1
}

# Starts Xvfb and openbox on a free display; sets QUILLON_DISPLAY.
start_xvfb() {
    local n=90
    while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    STARTED_PIDS+=($!)
    for _ in $(seq 50); do xdpyinfo -display :$n >/dev/null 2>&1 && break; sleep 0.1; done
    DISPLAY=:$n openbox >/dev/null 2>&1 &
    STARTED_PIDS+=($!)
    QUILLON_DISPLAY=:$n
    sleep 0.5
}

SERVER_PREFIXES=()
stop_started() {
    for prefix in "${SERVER_PREFIXES[@]}"; do WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null; done
    # Newest first, each ended before the next: the X server outlives the
    # programs drawing on it.
    local i
    for ((i = ${#STARTED_PIDS[@]} - 1; i >= 0; i--)); do
        kill "${STARTED_PIDS[i]}" 2>/dev/null
        wait "${STARTED_PIDS[i]}" 2>/dev/null
    done
    STARTED_PIDS=()
    SERVER_PREFIXES=()
}
