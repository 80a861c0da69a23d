#!/usr/bin/env bash
# Converts every .bib that TeX Live ships (package texlive-bibtex-extra and
# others) with --tidy and validates each document against our schema of the
# format. Skipped (status 77) where no such file is installed.
# Usage: test_real_files.sh PATH/TO/bibsources PATH/TO/bibliography.xsd
set -u
bibsources=$(realpath "$1")
schema=$(realpath "$2")
mapfile -t inputs < <(find /usr/share/texlive /usr/share/texmf -name '*.bib' 2>/dev/null | sort)
if [ ${#inputs[@]} -eq 0 ]; then
    echo "no TeX Live .bib files installed; skipped"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
for bib in "${inputs[@]}"; do
    if ! "$bibsources" -q --tidy -o "$work/out.xml" "$bib" 2>"$work/err"; then
        echo "FAIL: $bib: $(cat "$work/err")"
        failures=$((failures + 1))
    elif ! xmllint --noout --schema "$schema" "$work/out.xml" 2>"$work/err"; then
        echo "FAIL: $bib: $(head -3 "$work/err")"
        failures=$((failures + 1))
    fi
done
echo "${#inputs[@]} files, $failures failed"
[ "$failures" -eq 0 ]
