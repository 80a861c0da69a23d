#!/usr/bin/env bash
# BibTeX itself (plain.bst, \nocite{*}) reads what --to-bib writes from the
# samples and from lists a word processor saved, with no error and one
# \bibitem per record. Skipped (77) where bibtex is not installed.
# Usage: test_bibtex_reads.sh PATH/TO/bibsources LIST.xml...
set -u
command -v bibtex >/dev/null || { echo "bibtex is not installed; skipped"; exit 77; }
kpsewhich plain.bst >/dev/null || { echo "plain.bst is not installed; skipped"; exit 77; }
bibsources=$(realpath "$1") && shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
for list in "$@"; do
    name=$(basename "$list" .xml)
    mkdir "$work/$name"
    "$bibsources" -q --to-bib -o "$work/$name/refs.bib" "$list" || { echo "FAIL: $name: --to-bib"; failures=$((failures + 1)); continue; }
    printf '\\relax\n\\citation{*}\n\\bibstyle{plain}\n\\bibdata{refs}\n' >"$work/$name/doc.aux"
    (cd "$work/$name" && bibtex -terse doc >bibtex.log 2>&1)
    status=$?
    records=$(grep -o '<b:Source>' "$list" | wc -l)
    items=$(grep -c '\\bibitem' "$work/$name/doc.bbl" 2>/dev/null)
    # 0: clean; 1: warnings only (a missing field, a type plain.bst lacks).
    if [ "$status" -gt 1 ] || [ "$items" != "$records" ]; then
        echo "FAIL: $name: bibtex status $status, $items of $records records" >&2
        cat "$work/$name/bibtex.log" >&2
        failures=$((failures + 1))
    fi
done
[ "$failures" -eq 0 ] || exit 1
echo "all passed"
