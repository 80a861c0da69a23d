#!/usr/bin/env bash
# A BibTeX reader reads what --to-bib writes from the samples and from lists a
# word processor saved, with no error and one entry per record:
#   bibtex: BibTeX itself with plain.bst, citing every entry; one \bibitem each
#   pybtex: pybtex's parser in strict mode, where every warning is an error
# Usage: test_bibtex_reads.sh bibtex|pybtex PATH/TO/bibsources LIST.xml...
set -u
reader=$1 bibsources=$(realpath "$2") && shift 2
here=$(dirname "$(realpath "$0")")
source "$here/../support/shell.sh"
if [ "$reader" = bibtex ]; then
    require bibtex kpsewhich
    kpsewhich plain.bst >/dev/null || { echo "FAIL: plain.bst is not installed; scripts/install-deps test installs it" >&2; exit 1; }
else
    # Debian's pybtex is for Debian's python3, which another one on the PATH can hide.
    python=$(for candidate in python3 /usr/bin/python3; do "$candidate" -c 'import pybtex' 2>/dev/null && echo "$candidate" && break; done)
    [ -n "$python" ] || { echo "FAIL: pybtex is not installed; scripts/install-deps test installs it" >&2; exit 1; }
fi
converted=() records=() bibs=()
for list in "$@"; do
    bib=$work/${#converted[@]}/refs.bib
    mkdir -p "$(dirname "$bib")"
    run 0 -q --to-bib -o "$bib" "$list" && converted+=("$list") bibs+=("$bib") records+=("$(count_in "$list" '<b:Source>')")
done

# One count a converted list, or the error the reader reported.
if [ "$reader" = bibtex ]; then
    counted=()
    for i in "${!converted[@]}"; do
        printf '\\relax\n\\citation{*}\n\\bibstyle{plain}\n\\bibdata{refs}\n' >"$i/doc.aux"
        # 0: clean; 1: warnings only (a missing field, a type plain.bst lacks).
        if (cd "$i" && bibtex -terse doc >log 2>&1); [ $? -le 1 ]; then
            counted+=("$(grep -c '\\bibitem' "$i/doc.bbl")")
        else
            counted+=("an error, in the log above") && cat "$i/log" >&2
        fi
    done
else
    mapfile -t counted < <("$python" "$here/pybtex_entries.py" "${bibs[@]}")
fi
for i in "${!converted[@]}"; do
    name=${converted[$i]}
    case ${counted[$i]:-} in
    "${records[$i]}") ;;
    "" | *[!0-9]*) fail "$reader: ${counted[$i]:-no answer}" ;;
    *) fail "$reader read ${counted[$i]} of ${records[$i]} records" ;;
    esac
done
finish
