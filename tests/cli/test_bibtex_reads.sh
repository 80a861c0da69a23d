#!/usr/bin/env bash
# A BibTeX reader reads what --to-bib writes from the samples and from lists a
# word processor saved, with no error and one entry per record:
#   bibtex: BibTeX itself with plain.bst, citing every entry; one \bibitem each
#   pybtex: pybtex's parser in strict mode, where every warning is an error
# Skipped (77) where that reader is not installed.
# Usage: test_bibtex_reads.sh bibtex|pybtex PATH/TO/bibsources LIST.xml...
set -u
reader=$1 bibsources=$(realpath "$2") && shift 2
here=$(dirname "$(realpath "$0")")
if [ "$reader" = bibtex ]; then
    command -v bibtex >/dev/null || { echo "bibtex is not installed; skipped"; exit 77; }
    kpsewhich plain.bst >/dev/null || { echo "plain.bst is not installed; skipped"; exit 77; }
else
    # Debian's pybtex is for Debian's python3, which another one on the PATH can hide.
    python=
    for candidate in python3 /usr/bin/python3; do
        "$candidate" -c 'import pybtex' 2>/dev/null && { python=$candidate; break; }
    done
    [ -n "$python" ] || { echo "pybtex is not installed; skipped"; exit 77; }
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0 converted=() records=() bibs=()
for list in "$@"; do
    bib=$work/${#converted[@]}/refs.bib
    mkdir -p "$(dirname "$bib")"
    if "$bibsources" -q --to-bib -o "$bib" "$list"; then
        converted+=("$list") bibs+=("$bib") records+=("$(grep -o '<b:Source>' "$list" | wc -l)")
    else
        echo "FAIL: $list: --to-bib" >&2 && failures=$((failures + 1))
    fi
done

# One count a converted list, or the error the reader reported.
if [ "$reader" = bibtex ]; then
    counted=()
    for i in "${!converted[@]}"; do
        printf '\\relax\n\\citation{*}\n\\bibstyle{plain}\n\\bibdata{refs}\n' >"$work/$i/doc.aux"
        # 0: clean; 1: warnings only (a missing field, a type plain.bst lacks).
        if (cd "$work/$i" && bibtex -terse doc >log 2>&1); [ $? -le 1 ]; then
            counted+=("$(grep -c '\\bibitem' "$work/$i/doc.bbl")")
        else
            counted+=("an error, in the log above") && cat "$work/$i/log" >&2
        fi
    done
else
    mapfile -t counted < <("$python" "$here/pybtex_entries.py" "${bibs[@]}")
fi
for i in "${!converted[@]}"; do
    case ${counted[$i]:-} in
    "${records[$i]}") continue ;;
    "" | *[!0-9]*) echo "FAIL: ${converted[$i]}: $reader: ${counted[$i]:-no answer}" >&2 ;;
    *) echo "FAIL: ${converted[$i]}: $reader read ${counted[$i]} of ${records[$i]} records" >&2 ;;
    esac
    failures=$((failures + 1))
done
[ "$failures" -eq 0 ] || exit 1
echo "$reader read all ${#converted[@]} lists"
