#!/usr/bin/env bash
# Counts how often a conversion opens its input, under strace: once, with
# --tidy as without it, even where a crossref names a parent that was let go
# and the input is read a second time through the same descriptor.
# Usage: test_opens.sh PATH/TO/bibsources. Skipped (77) where strace cannot
# trace (a container that forbids it).
set -u
bibsources=$(realpath "$1")
command -v strace >/dev/null || { echo "FAIL: strace is not installed; scripts/install-deps test installs it" >&2; exit 1; }
strace -f -qq -e trace=none true 2>/dev/null || { echo "strace cannot trace here; skipping"; exit 77; }
source "$(dirname "$0")/../support/shell.sh"

# opens EXPECTED FILE ARGS... : the conversion opens FILE EXPECTED times.
opens() {
    local expected=$1 file=$2 count && shift 2
    # LeakSanitizer cannot run under a tracer; a sanitized build leaves it out here.
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
        strace -f -qq -e trace=open,openat,openat2 -o trace "$bibsources" -q "$@" >/dev/null 2>&1 \
        || { fail "$* did not convert"; return; }
    count=$(grep -F "\"$file\"" trace | grep -vc ' = -1 ')
    [ "$count" -eq "$expected" ] && pass || fail "$*: opened $file $count times, expected $expected"
}

printf '@book{parent, title = {Proceedings}}\n@book{other, title = {Other}}\n@inbook{child, crossref = {parent}}\n' > later.bib
printf '@inbook{child, crossref = {parent}}\n@book{parent, title = {Proceedings}}\n' > early.bib
printf '%% no crossref here\n@book{one, title = {One}}\n' > plain.bib
for file in plain.bib early.bib later.bib; do
    opens 1 "$file" -o out.xml "$file"
    opens 1 "$file" --tidy -o out.xml "$file"
done
grep -q '<b:BookTitle>Proceedings</b:BookTitle>' out.xml || fail "the child read no parent"
finish
