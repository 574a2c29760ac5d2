#!/bin/sh
# Runs a command with an X server of its own (Xvfb), for Windows programs
# with a window under Wine: DISPLAY names the server for the command, and the
# server stops when the command ends. Its exit status is the command's.
#
#   in-x-server.sh COMMAND [ARGUMENT...]
#
# Xvfb picks a display number no other server uses and says which
# (-displayfd), so runs side by side (parallel tests, another user's server)
# never meet on one display, and the command starts only once the server
# takes connections.
set -eu

fifo=$(mktemp -u "${TMPDIR:-/tmp}/in-x-server.XXXXXX")
mkfifo "$fifo"
server=
# shellcheck disable=SC2317 # run by the trap
cleanup() {
    [ -z "$server" ] || kill "$server" 2>/dev/null || true
    [ -z "$server" ] || wait "$server" 2>/dev/null || true
    rm -f "$fifo"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" </dev/null >/dev/null 2>&1 &
server=$!
# The read ends at the number's line, or empty when Xvfb ended without one.
read -r number <"$fifo" || true
if [ -z "$number" ]; then
    echo "$0: Xvfb did not start" >&2
    exit 125
fi
status=0
DISPLAY=:$number "$@" || status=$?
exit "$status"
