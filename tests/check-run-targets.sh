#!/usr/bin/env bash
# Fails when scripts/run would build a test program, or a target that is not
# one of the programs (a renamed one, say).
#
# Usage: check-run-targets.sh SCRIPTS_RUN "PROGRAM;..." "TEST_TARGET;..."
set -euo pipefail
run=$1
IFS=';' read -r -a programs <<<"$2"
IFS=';' read -r -a tests <<<"$3"

line=$(grep -E '^programs=\(' "$run") || {
    echo "no 'programs=(...)' line in $run" >&2
    exit 1
}
read -r -a named <<<"$(sed -E 's/^programs=\((.*)\).*/\1/' <<<"$line")"
[ ${#named[@]} -gt 0 ] || {
    echo "$run names no program to build" >&2
    exit 1
}
status=0
for target in "${named[@]}"; do
    if printf '%s\n' "${tests[@]}" | grep -qxF -- "$target"; then
        echo "$run builds '$target', which is built for testing" >&2
        status=1
    elif ! printf '%s\n' "${programs[@]}" | grep -qxF -- "$target"; then
        echo "$run builds '$target', which is none of the programs (${programs[*]})" >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "$run builds ${named[*]}"
exit $status
