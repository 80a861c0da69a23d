#!/usr/bin/env bash
# Fails when scripts/run would build a test program, or a target that is not
# one of the programs (a renamed one, say).
#
# Usage: check-run-targets.sh SCRIPTS_RUN "PROGRAM;..." "TEST_TARGET;..."
set -euo pipefail
run=$1 programs=";$2;" tests=";$3;"
read -r -a named <<<"$(sed -nE 's/^programs=\((.*)\).*/\1/p' "$run")"
[ ${#named[@]} -gt 0 ] || {
    echo "$run names no program to build on a 'programs=(...)' line" >&2
    exit 1
}
status=0
for target in "${named[@]}"; do
    if [[ $tests == *";$target;"* ]]; then
        echo "$run builds '$target', which is built for testing" >&2
        status=1
    elif [[ $programs != *";$target;"* ]]; then
        echo "$run builds '$target', which is none of the programs (${2//;/ })" >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "$run builds ${named[*]}"
exit $status
