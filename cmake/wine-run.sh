#!/bin/sh
# Runs a Windows program under Wine for the cross build: the emulator that
# CMake, CTest and GoogleTest's test discovery put in front of every Windows
# program (see cmake/mingw-w64-x86_64.cmake).
#
#   wine-run.sh --prefix=DIR PROGRAM [ARGUMENT...]   run PROGRAM in prefix DIR
#   wine-run.sh --prefix=DIR --stop                  shut that prefix's Wine down
#
# Wine's server and background services (services.exe, winedevice.exe,
# explorer.exe, ...) outlive the program that started them and keep the
# standard streams they were started with. Started under CTest, or under
# anything else that reads a program's output through a pipe, they hold that
# pipe open and the reader waits for them. So before the program runs, this
# script starts a persistent wineserver and the services itself, every stream
# on /dev/null; the program then finds them running and its own streams are
# its own. Creating the prefix (the first run) takes some seconds.
#
# The server stays until `--stop` (CTest's last test does that), or
# `wineserver -k` with WINEPREFIX=DIR, or else until it has had no program to
# serve for LINGER seconds: a run that never got to its last test leaves no
# Wine behind for long.
set -eu

case "${1-}" in
--prefix=?*) prefix=${1#--prefix=} ;;
*)
    echo "usage: $0 --prefix=DIR (PROGRAM [ARGUMENT...] | --stop)" >&2
    exit 125
    ;;
esac
shift
[ $# -gt 0 ] || {
    echo "$0: no program to run" >&2
    exit 125
}

LINGER=600
# shellcheck source=cmake/wine-prefix.sh
. "$(dirname "$0")/wine-prefix.sh"

WINEPREFIX=$prefix
# No debug channels: Wine's messages would mix with the program's stderr.
WINEDEBUG=-all
# No desktop menu entries or file associations for the programs run here;
# a caller's own overrides come after.
WINEDLLOVERRIDES="winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
# Headless, wherever it runs: the programs here are console programs, and a
# display that is set but unreachable would only slow Wine down.
unset DISPLAY WAYLAND_DISPLAY

if [ "$1" = --stop ]; then
    # Status 1 means no server was running: nothing to stop.
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    exit 0
fi

mkdir -p "$prefix"
# One preparation at a time: CTest may start several programs at once, and
# none of them may run before the services are up. The lock's descriptor is
# closed for every program started here, so no server keeps it.
exec 9>"$prefix.lock"
flock 9
healprefix "$prefix" 9>&- || true
if wineserver -p"$LINGER" </dev/null >/dev/null 2>&1 9>&-; then
    # A new server: start the services (and create the prefix the first time).
    if ! wineboot -i </dev/null >/dev/null 2>&1 9>&-; then
        echo "$0: wineboot -i failed in $prefix" >&2
        exit 125
    fi
    recordinstallation "$prefix"
else
    # Status 2: a server is already running for this prefix, and its
    # services with it. Anything else is a failure to start one.
    status=$?
    if [ "$status" -ne 2 ]; then
        echo "$0: wineserver -p$LINGER failed with status $status in $prefix" >&2
        exit 125
    fi
fi
exec 9>&-

exec wine "$@"
