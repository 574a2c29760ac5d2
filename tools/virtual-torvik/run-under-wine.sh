#!/bin/sh
# Runs virtual-torvik-update.exe under Wine against the virtual Torvik, in a
# Wine prefix of its own, installing the driver first where it is missing or
# out of date. Output and exit status are the program's.
#
#   run-under-wine.sh --build=DIR --prefix=DIR [OPTION...]   a run (options: see
#                                                           virtual-torvik-update --help)
#   run-under-wine.sh --prefix=DIR --stop                   shut that prefix's Wine down
#
# DIR for --build is the windows preset's build tree. The prefix's own
# driver messages (DbgPrint) go to PREFIX.services.log.
#
# Like cmake/wine-run.sh, this starts Wine's server and services itself with
# every stream on a file or /dev/null, so that they do not hold the caller's
# pipes open. A driver installed into a prefix that is still starting its
# services (always so in a brand-new one, even after a second boot) may not
# start: then the prefix is booted again, which starts it.
set -eu

build=
prefix=
while [ $# -gt 0 ]; do
    case $1 in
    --build=?*) build=${1#--build=} ;;
    --prefix=?*) prefix=${1#--prefix=} ;;
    *) break ;;
    esac
    shift
done
[ -n "$prefix" ] || {
    echo "usage: $0 --build=DIR --prefix=DIR [OPTION...] | --prefix=DIR --stop" >&2
    exit 125
}

LINGER=600
# Wine wants the prefix as an absolute path.
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
WINEPREFIX=$prefix
WINEDEBUG=-all
WINEDLLOVERRIDES="winemenubuilder.exe=d"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY

stopwine() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
}

if [ "${1-}" = --stop ]; then
    stopwine
    exit 0
fi
[ -n "$build" ] || {
    echo "$0: no --build=DIR" >&2
    exit 125
}
tools=$build/tools/virtual-torvik
log=$prefix.services.log

# Starts the server and the services (and with them the driver, once it
# is installed); status 2 from wineserver -p means they run already.
startwine() {
    status=0
    wineserver -p"$LINGER" </dev/null >/dev/null 2>&1 9>&- || status=$?
    if [ "$status" -eq 0 ]; then
        WINEDEBUG=-all,warn+debugstr wineboot -i </dev/null >>"$log" 2>&1 9>&-
    elif [ "$status" -ne 2 ]; then
        echo "$0: wineserver -p$LINGER failed with status $status in $prefix" >&2
        exit 125
    fi
}

restartwine() {
    stopwine
    startwine
}

install() {
    wine "$tools/virtual-torvik-install.exe" "$tools/virtual-torvik.inf" \
        "$tools/virtual-torvik-collection.inf" \
        </dev/null >>"$log" 2>&1 9>&-
}

exec 9>"$prefix.lock"
flock 9
startwine
installed=$prefix/drive_c/windows/system32/drivers/virtual-torvik.sys
if [ -f "$installed" ] && ! cmp -s "$installed" "$tools/virtual-torvik.sys"; then
    # A new build of the driver: the running one is replaced at the next boot.
    cp "$tools/virtual-torvik.sys" "$installed"
    restartwine
fi
if ! install; then
    # Installed, but not started in this boot: the next boot starts it.
    restartwine
    install || {
        echo "$0: the virtual Torvik's driver does not start (see $log)" >&2
        exit 125
    }
fi
exec 9>&-

# The program is a Windows program: a directory to save to is given as a
# Windows path (Wine shows the Unix root as drive Z:).
for argument in "$@"; do
    shift
    case $argument in
    --save=?*)
        dir=${argument#--save=}
        mkdir -p "$dir"
        argument="--save=Z:$(cd "$dir" && pwd)"
        ;;
    esac
    set -- "$@" "$argument"
done
exec wine "$tools/virtual-torvik-update.exe" "$@"
