# shellcheck shell=bash
# Sourced by the scripts in scripts/: installs the Debian packages a script
# needs and that are not there yet.
#   install_missing WHO PACKAGE...
# WHO names the script in its messages. Needs root only when something is
# missing; apt-get's own output goes to stderr, so a script's stdout stays
# its own.

install_missing() {
    local who=$1 package
    shift
    local missing=()
    for package in "$@"; do
        [[ $(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null) == installed ]] ||
            missing+=("$package")
    done
    if ((${#missing[@]} == 0)); then
        return 0
    fi
    if ((EUID != 0)); then
        echo "$who: installing needs root; install these and run again: ${missing[*]}" >&2
        exit 1
    fi
    echo "$who: installing ${missing[*]}" >&2
    DEBIAN_FRONTEND=noninteractive apt-get update -q >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -q -y --no-install-recommends "${missing[@]}" >&2
}
