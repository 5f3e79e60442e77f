#!/usr/bin/env bash
# Runs a test program under Wine with SBCL serving swank on a free loopback
# port, passed to it in KESTRALUNE_TEST_PORT; stops the Lisp afterwards.
#   with_swank.sh BUILD_ROOT WINE PROGRAM.exe [arguments...]
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
# A second free port, and the core, for a Lisp the program under test
# starts itself.
KESTRALUNE_TEST_PORT=$port KESTRALUNE_TEST_PORT2=$(free_port) KESTRALUNE_TEST_CORE=$SWANK_CORE "$@"
