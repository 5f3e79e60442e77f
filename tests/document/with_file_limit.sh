#!/usr/bin/env bash
# with_file_limit.sh KIB WINE PROGRAM [ARGS...]: runs PROGRAM under WINE with
# every file it writes limited to KIB kibibytes, so that a write past the
# limit fails (EFBIG) as on a full disk. SIGXFSZ is ignored, and stays ignored
# across exec, so the kernel does not kill the process instead. The Wine
# server is started first, outside the limit, so that the prefix's own files
# are never cut short; it leaves by itself 3 s after its last client, as it
# does when Wine starts it.
limit_kib=$1 wine=$2
shift 2
"$(dirname "$wine")/wineserver" -p3 >/dev/null 2>&1
trap '' XFSZ
ulimit -f "$limit_kib" || exit 1
export QUILLON_FILE_LIMIT=$((limit_kib * 1024))
exec "$wine" "$@"
