#!/usr/bin/env bash
# Imports tidy output into a real reader of the format, JabRef's importer,
# and checks that it reads every record of every file. Skipped (status 77)
# where jabref is not installed. Usage: test_importer.sh PATH/TO/bibsources DATA_DIR
set -u
bibsources=$(realpath "$1")
data=$(realpath "$2")
if ! command -v jabref >/dev/null; then
    echo "jabref is not installed; skipped"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# JabRef keeps its preferences under the home folder, and Java its
# temporary and performance files in /tmp: all of them go into $work.
export HOME=$work
export JAVA_TOOL_OPTIONS="-XX:-UsePerfData -Djava.io.tmpdir=$work -Duser.home=$work -Djava.util.prefs.userRoot=$work"

failures=0
for bib in "$data"/*.bib; do
    name=$(basename "$bib" .bib)
    "$bibsources" -q --tidy -o "$work/$name.xml" "$bib" || { echo "FAIL: $name: conversion failed"; failures=$((failures + 1)); continue; }
    written=$(grep -c '<b:Source>' "$work/$name.xml")
    # It stays up after an exception in its import instead of exiting.
    timeout 300 jabref -n -i "$work/$name.xml,msbib" -o "$work/$name.out.bib" >"$work/$name.log" 2>&1
    read=$(grep -E '^@' "$work/$name.out.bib" 2>/dev/null | grep -vic '^@comment')
    if [ "$read" -ne "$written" ]; then
        echo "FAIL: $name: jabref read $read of $written records"
        failures=$((failures + 1))
    else
        echo "$name: jabref read all $written records"
    fi
done
[ "$failures" -eq 0 ]
