# shellcheck shell=bash
# Sourced by the release's checkers (check-reproducible, check-deb,
# check-signing): what two of them check alike, and what their self-tests
# share.
#
# Why the checkers test themselves: a check that has been weakened still
# passes a good release, so running it on one proves nothing. Each checker's
# --self-test hands its checks packages broken on purpose, one fault in each,
# and fails unless every check refuses its bad package with its own message;
# check-reproducible runs them all before it builds anything, so that a
# weakened check fails the release suite in seconds rather than after two
# builds.

# Checks that the list of sums SUMS covers exactly the files NAME... of the
# folder DIR (each once, none missing, none extra) and that each of its lines
# verifies. WHAT names the list in messages. Prints the problem and fails.
check_sums() {
    local sums=$1 dir=$2 what=$3 listed expected
    shift 3
    if [[ ! -f $sums ]]; then
        echo "PROBLEM: $what is missing"
        return 1
    fi
    sums=$(realpath "$sums")
    # sha256sum writes "SUM  NAME", or "SUM *NAME" for binary mode.
    listed=$(sed 's/^[0-9a-f]\{64\} [ *]//' "$sums" | LC_ALL=C sort)
    expected=$(printf '%s\n' "$@" | LC_ALL=C sort)
    if [[ $listed != "$expected" ]]; then
        echo "PROBLEM: $what does not list exactly its files: lists" \
             "[$(paste -sd'|' <<<"$listed")], should list [$(paste -sd'|' <<<"$expected")]"
        return 1
    fi
    if ! (cd "$dir" && sha256sum --quiet --strict -c "$sums" >/dev/null 2>&1); then
        echo "PROBLEM: $what does not match its files"
        return 1
    fi
}

# The regular files of DIR that a list of sums beside them covers: all but
# the lists themselves (SHA256SUMS, SHA256SUMS.unsigned).
covered_files() {
    find "$1" -maxdepth 1 -type f ! -name 'SHA256SUMS*' -printf '%f\n' | LC_ALL=C sort
}

# For the self-tests: runs COMMAND... and passes only if it fails and says
# MESSAGE (a fixed string), so that the check meant, not some other one,
# refused the bad package WHAT. A package broken in several ways, each for a
# check that runs whatever the others found, is refused with several
# messages, one a line in MESSAGE: each must be said. Counts each message
# said in self_test_passed; otherwise prints a PROBLEM line, counts in
# self_test_failed and fails.
self_test_passed=0
self_test_failed=0
expect_refused() {
    local what=$1 messages=$2 output status=0 message missing=()
    shift 2
    output=$("$@" 2>&1) || status=$?
    while IFS= read -r message; do
        if ((status == 0)) || ! grep -qF -- "$message" <<<"$output"; then
            missing+=("\"$message\"")
        else
            self_test_passed=$((self_test_passed + 1))
        fi
    done <<<"$messages"
    if ((${#missing[@]} > 0)); then
        echo "PROBLEM: self-test: $what was not refused with ${missing[*]} (status $status):" \
             "$(head -c 600 <<<"$output")"
        self_test_failed=$((self_test_failed + 1))
        return 1
    fi
}

# For the self-tests: runs COMMAND... and passes if it does, so that a bad
# variant made from this good one is refused for its own fault.
expect_passed() {
    local what=$1 output status=0
    shift
    output=$("$@" 2>&1) || status=$?
    if ((status != 0)); then
        echo "PROBLEM: self-test: $what was refused (status $status): $(head -c 600 <<<"$output")"
        self_test_failed=$((self_test_failed + 1))
        return 1
    fi
}

# For the self-tests: a small 64-bit Windows program OUT with one resource
# that ends with status STATUS (different statuses, different programs),
# linked as the release links (no time in its PE header) unless a third
# argument "stamped" asks for the link time.
tiny_program() {
    local out=$1 status=$2 stamped=${3-} work made=0
    work=$(mktemp -d)
    printf 'int main(void) { return %d; }\n' "$status" >"$work/main.c"
    printf '1 RCDATA { "torvik" }\n' >"$work/resource.rc"
    local link=("-Wl,--no-insert-timestamp")
    [[ $stamped != stamped ]] || link=()
    x86_64-w64-mingw32-windres "$work/resource.rc" -O coff -o "$work/resource.o" &&
        x86_64-w64-mingw32-gcc -s "$work/main.c" "$work/resource.o" "${link[@]}" -o "$out" ||
        made=$?
    rm -rf "$work"
    return $made
}
