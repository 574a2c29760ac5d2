# shellcheck shell=sh
# Sourced by cmake/wine-run.sh and tools/virtual-torvik/run-under-wine.sh:
# keeps a Wine prefix in step with the Wine installation that runs it.
#
# A prefix holds what the installation that made it put there. One made
# before Wine's 32-bit side (wine32:i386) was installed lacks the 32-bit
# system, and Wine then fails every program in it, 64-bit ones too, with
# "could not load kernel32.dll, status c0000135"; an upgrade or a removed
# 32-bit side can leave a prefix as wrong. So each prefix records the
# installation that made it, and one made by another is made anew.

# The Wine installation, as a prefix records it: the Wine packages and their
# versions (wine32:i386 among them where installed), and Wine's own version.
wineinstallation() {
    wine --version 2>/dev/null || true
    dpkg-query -W -f='${db:Status-Abbrev} ${binary:Package} ${Version}\n' 'wine*' 'libwine*' \
        2>/dev/null | grep '^ii' | sort || true
}

# Removes the prefix DIR when another Wine installation made it (or when it
# does not say which), after stopping its server. Returns 0 when it did.
# The caller holds the prefix's lock and makes the prefix afterwards.
healprefix() {
    [ -f "$1/system.reg" ] || return 1
    [ "$(cat "$1/torvik-wine-installation" 2>/dev/null)" != "$(wineinstallation)" ] || return 1
    WINEPREFIX=$1 wineserver -k </dev/null >/dev/null 2>&1 || true
    WINEPREFIX=$1 wineserver -w </dev/null >/dev/null 2>&1 || true
    rm -rf "$1"
    mkdir -p "$1"
}

# Records in the prefix DIR the installation that made it.
recordinstallation() {
    wineinstallation >"$1/torvik-wine-installation"
}
