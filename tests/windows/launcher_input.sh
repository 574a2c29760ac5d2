#!/bin/sh
# Runs a program (Update Torvik.exe under Wine) with its standard input one of
#   closed   /dev/null, at its end at once
#   enter    a pipe kept open that holds one line, as a user pressing Enter
#   silent   a pipe kept open with nothing in it, as a console nobody types at
# and then prints "elapsed=<ms it ran>" to standard error. Its status is the
# program's. The pipe is opened for reading and writing, so the program's
# side never sees its end.
#   launcher_input.sh closed|enter|silent PROGRAM [ARGUMENT...]
set -eu
input=$1
shift
case $input in
closed) exec 3</dev/null ;;
enter | silent)
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    exec 3<>"$fifo"
    rm "$fifo"
    [ "$input" = silent ] || printf '\n' >&3
    ;;
*)
    echo "usage: $0 closed|enter|silent PROGRAM [ARGUMENT...]" >&2
    exit 125
    ;;
esac
started=$(date +%s%N)
status=0
"$@" <&3 3>&- || status=$?
echo "elapsed=$((($(date +%s%N) - started) / 1000000))" >&2
exit "$status"
