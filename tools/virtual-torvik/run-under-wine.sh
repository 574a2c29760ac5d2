#!/bin/sh
# Runs a Windows program (torvikupdate.exe unless --exe says otherwise) under
# Wine against the virtual Torvik, in a Wine prefix of its own, installing
# the drivers first where they are missing or out of date. The program's
# output and exit status are passed on as they are; at the end one line goes
# to standard error, with the device's counts:
#   elapsed=<real ms> writes=<reports the device took> reads=<reports it delivered>
#   strings=<indexed strings it was asked for> restarted=<yes|no>
#   [removal=<ms the removal took>]
#
#   run-under-wine.sh --build=DIR --prefix=DIR [--exe=PATH] [OPTION...] [-- ARGUMENT...]
#   run-under-wine.sh --prefix=DIR --stop       shut that prefix's Wine down
#
# The ARGUMENTs after -- go to the program. With --x-display the run's Wine
# uses the X server that DISPLAY names (in-x-server.sh makes one), for a
# program with a window, and stops at the end of the run, before that server
# does. Without it everything runs headless.
# Options: --device=bootloader|normal|none (none: the device is removed, as
# if unplugged), --remove-after=MS (the device is removed MS ms into the
# run), --save=DIR, and the faults of virtual-torvik-control --help. DIR for
# --build is the windows preset's build tree. The prefix's own driver
# messages (DbgPrint) go to PREFIX.services.log.
#
# Like cmake/wine-run.sh, this starts Wine's server and services itself with
# every stream on a file or /dev/null, so that they do not hold the caller's
# pipes open. A driver installed into a prefix that is still starting its
# services (always so in a brand-new one, even after a second boot) may not
# start: then the prefix is booted again, which starts it.
set -eu

build=
prefix=
exe=
device=bootloader
remove_after=
save=
x_display=
while [ $# -gt 0 ]; do
    case $1 in
    --build=?*) build=${1#--build=} ;;
    --prefix=?*) prefix=${1#--prefix=} ;;
    --exe=?*) exe=${1#--exe=} ;;
    --device=bootloader | --device=normal | --device=none) device=${1#--device=} ;;
    --remove-after=[0-9]*) remove_after=${1#--remove-after=} ;;
    --save=?*) save=${1#--save=} ;;
    --x-display) x_display=${DISPLAY:?--x-display needs DISPLAY} ;;
    --stop) break ;;
    --)
        shift
        break
        ;;
    --device=* | --remove-after=*)
        echo "$0: malformed option '$1'" >&2
        exit 125
        ;;
    *) faults="${faults-} $1" ;;
    esac
    shift
done
[ -n "$prefix" ] || {
    echo "usage: $0 --build=DIR --prefix=DIR [--exe=PATH] [OPTION...] | --prefix=DIR --stop" >&2
    exit 125
}

LINGER=600
# shellcheck source=cmake/wine-prefix.sh
. "$(dirname "$0")/../../cmake/wine-prefix.sh"
# Wine wants the prefix as an absolute path.
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
WINEPREFIX=$prefix
WINEDEBUG=-all
WINEDLLOVERRIDES="winemenubuilder.exe=d"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
unset WAYLAND_DISPLAY
# With a display, all of this run's Wine uses it: Wine's desktop
# (explorer.exe) is started by whichever program first needs one (the
# installer may), and one started headless leaves every later window
# without a driver.
if [ -n "$x_display" ]; then
    export DISPLAY="$x_display"
else
    unset DISPLAY
fi

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
exe=${exe:-$build/torvikupdate.exe}
log=$prefix.services.log

# Starts the server and the services (and with them the drivers, once they
# are installed); status 2 from wineserver -p means they run already. Only a
# new prefix is booted with -i: in one that exists, wineboot -i starts a
# second service manager, which then answers for services it never started
# (as stopped), and the drivers' services take no controls.
startwine() {
    status=0
    wineserver -p"$LINGER" </dev/null >/dev/null 2>&1 9>&- || status=$?
    if [ "$status" -eq 0 ]; then
        init=
        [ -f "$prefix/system.reg" ] || init=-i
        WINEDEBUG=-all,warn+debugstr wineboot $init </dev/null >>"$log" 2>&1 9>&-
        [ -z "$init" ] || recordinstallation "$prefix"
    elif [ "$status" -ne 2 ]; then
        echo "$0: wineserver -p$LINGER failed with status $status in $prefix" >&2
        exit 125
    fi
}

restartwine() {
    stopwine
    startwine
}

# A Windows program of the virtual Torvik's.
tool() {
    name=$1
    shift
    wine "$tools/virtual-torvik-$name.exe" "$@" </dev/null 9>&-
}

# The installer's messages go to the log.
install() {
    tool install "$tools/virtual-torvik.inf" "$tools/virtual-torvik-collection.inf" \
        >>"$log" 2>&1
}

nowms() {
    echo $(($(date +%s%N) / 1000000))
}

# Removes the device, and says how long that took.
removedevice() {
    started=$(nowms)
    tool install --remove >>"$log" 2>&1
    echo "removal=$(($(nowms) - started))"
}

exec 9>"$prefix.lock"
flock 9
if healprefix "$prefix" 9>&-; then
    echo "$0: $prefix was made by another Wine installation: made anew" >>"$log"
fi
# A Wine left running by a run that was cut short has its desktop on an X
# server that is gone, or none.
[ -z "$x_display" ] || stopwine
startwine
for driver in virtual-torvik virtual-torvik-collection; do
    installed=$prefix/drive_c/windows/system32/drivers/$driver.sys
    if [ -f "$installed" ] && ! cmp -s "$installed" "$tools/$driver.sys"; then
        # A new build of a driver: the running one is replaced at the next boot.
        cp "$tools/$driver.sys" "$installed"
        restarted=yes
    fi
done
[ -z "${restarted-}" ] || restartwine
# No device needs only the drivers, for the control program; whether they
# run is asked quietly, since the answer "not running" is no failure here.
if [ "$device" = none ] && tool control --report >/dev/null 2>&1; then
    :
elif ! install; then
    # Installed, but not started in this boot: the next boot starts it.
    restartwine
    install || {
        echo "$0: the virtual Torvik's drivers do not start (see $log)" >&2
        exit 125
    }
fi

firmware=$device
[ "$device" != none ] || firmware=bootloader
# shellcheck disable=SC2086 # one word a fault
tool control --reset --device="$firmware" ${faults-} || exit 125
[ "$device" != none ] || removedevice >/dev/null

# The program runs on its own; a removal during the run beside it.
started=$(nowms)
if [ -n "$remove_after" ]; then
    (sleep "$(echo "$remove_after" | awk '{ printf "%.3f", $1 / 1000 }')" &&
        removedevice >"$prefix.removal") 9>&- &
    remover=$!
fi
status=0
wine "$exe" "$@" 9>&- || status=$?
elapsed=$(($(nowms) - started))
removal=
if [ -n "$remove_after" ]; then
    wait "$remover" || true
    removal=" $(cat "$prefix.removal")"
fi

# The control program is a Windows program: a directory to save to is given
# as a Windows path (Wine shows the Unix root as drive Z:).
if [ -n "$save" ]; then
    mkdir -p "$save"
    set -- --save="Z:$(cd "$save" && pwd)"
else
    set --
fi
counts=$(tool control --report "$@" | tr -d '\r') || exit 125
echo "elapsed=$elapsed $counts$removal" >&2
# The first window started Wine's desktop (explorer.exe) on this X server,
# and it would outlive the server: the next run's windows could then not be
# made. So Wine stops with the run, and with it anything the program left
# running (after a failure, a window and its updater still at the device).
[ -z "$x_display" ] || stopwine
exit "$status"
