#!/usr/bin/env bash
# Installs, as root on Debian 12, what the project needs, from its three lists:
# debian/control's Build-Depends (with build-essential), debian/tests/control's
# Depends (our own packages replaced by what they depend on and recommend) and
# the sets of tools/packages.txt. Adds the i386 architecture for wine32 first.
# Does nothing when all is there.
#   install-packages.sh          everything building and testing need
#   install-packages.sh --demo   what tools/demo.sh needs: the build tools
#                                (debhelper's own and <!nocheck> ones aside)
#                                and the demo set
#   install-packages.sh --list [--demo]   prints the relations, one a line
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
control=$root/debian/control

# field FILE NAME [PACKAGE]: the field's value on one line, from every
# paragraph or from PACKAGE's alone.
field() {
    awk -v name="$2" -v package="${3:-}" '
        /^$/ { inside = 0; paragraph = ""; next }
        tolower($0) ~ "^package:" { paragraph = $2 }
        /^[^ \t]/ { inside = tolower($0) ~ "^" tolower(name) ":" }
        inside && (package == "" || paragraph == package) {
            sub("^[^ \t][^:]*:", ""); printf "%s ", $0
        }' "$1"
}

# relations TEXT: each comma-separated relation of TEXT on a line of its own,
# substitution variables left out.
relations() {
    tr ',' '\n' <<<"$1" | sed 's/^[[:space:]]*//; s/[[:space:]]*$//' | grep -v -e '^$' -e '^\${'
}

own=" $(field "$control" Package | tr -s ' ') "
# expanded RELATION...: our own packages replaced, recursively, by what they
# depend on and recommend.
expanded() {
    local relation name
    for relation in "$@"; do
        name=${relation%%[ (:<\[]*}
        if [[ $own == *" $name "* ]]; then
            local -a inner
            mapfile -t inner < <(relations "$(field "$control" Depends "$name")
                                            $(field "$control" Recommends "$name")")
            expanded "${inner[@]}"
        else
            echo "$relation"
        fi
    done
}

set_of() {  # set_of NAME: the packages of a set in tools/packages.txt
    sed -n "s/^$1:[[:space:]]*//p" "$root/tools/packages.txt" | tr -s ' \t' '\n\n' | grep -v '^$'
}

list=
if [ "${1:-}" = --list ]; then
    list=1
    shift
fi
mode=${1:-}
build=$(relations "$(field "$control" Build-Depends)")
if [ "$mode" = --demo ]; then
    wanted=$( (echo build-essential
               grep -v -e '^debhelper-compat\b' -e '^dh-sequence-' -e '<' <<<"$build"
               set_of demo) | sort -u)
else
    mapfile -t tests < <(relations "$(field "$root/debian/tests/control" Depends)")
    wanted=$( (echo build-essential; echo "$build"; expanded "${tests[@]}"
               set_of demo; set_of test) | sort -u)
fi
if [ -n "$list" ]; then
    echo "$wanted"
    exit 0
fi

# apt itself reads the relations (versions, alternatives, profiles, :i386).
export DEBIAN_FRONTEND=noninteractive
satisfy() { apt-get satisfy -y -q "$@" "$(paste -sd, <<<"$wanted")"; }
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
if simulated=$(satisfy -s 2>/dev/null) && ! grep -q '^Inst ' <<<"$simulated"; then
    exit 0
fi
echo "Installing what is missing of: $(sed 's/[[:space:]]*[(<[].*//' <<<"$wanted" | sort -u | paste -sd ' ')"
# A mirror caught syncing fails an update now and then: once more, later;
# then apt goes on with the indexes it has, and says so.
for attempt in 1 2 3; do
    apt-get update -qq && break
    [ "$attempt" -lt 3 ] || { echo "install-packages.sh: some of apt's indexes are not fresh" >&2; break; }
    sleep 10
done
log=$(mktemp)
trap 'rm -f "$log"' EXIT
satisfy >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
# apt's own words for the size of the download and of the install.
grep -E '^(Need to get|After this operation)' "$log" || true
