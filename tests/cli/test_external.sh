#!/usr/bin/env bash
# Converts .bib files with --tidy and has an outside reader check each document.
# The first is skipped (status 77) where JabRef is missing.
#   test_external.sh jabref PATH/TO/bibsources DATA_DIR: JabRef's importer reads every record
#   test_external.sh schema PATH/TO/bibsources SCHEMA MACROS: every .bib TeX Live ships is valid,
#     the TUGboat bibliographies read with the definitions of their style files (MACROS), and
#     at most 1% of all records keep any TeX
set -u
mode=$1
bibsources=$(realpath "$2")
if [ "$mode" = jabref ]; then
    mapfile -t inputs < <(ls "$3"/*.bib)
else
    schema=$(realpath "$3") macros=$(realpath "$4")
    mapfile -t inputs < <(find /usr/share/texlive /usr/share/texmf -name '*.bib' 2>/dev/null | sort)
    [ ${#inputs[@]} -gt 0 ] || { echo "FAIL: no TeX Live .bib files; scripts/install-deps test installs them" >&2; exit 1; }
fi
source "$(dirname "$0")/../support/shell.sh"
[ "$mode" = schema ] || need jabref
source "$(dirname "$0")/../jabref_profile.sh"
jabref_profile "$work"

records=0 records_with_tex=0
for bib in "${inputs[@]}"; do
    # Nelson Beebe's TeX bibliographies (TUGboat's among them) use the commands
    # of tugboat.def and texnames.sty, which some \input and others assume.
    extra=()
    [ "$mode" = schema ] && [[ $bib == */beebe/* ]] && extra=(--macros "$macros")
    run 0 -q --tidy "${extra[@]}" -o out.xml "$bib" || continue
    if [ "$mode" = schema ]; then
        xmllint --noout --schema "$schema" out.xml 2>xmllint.err || fail "$(head -3 xmllint.err)"
        # A record keeps TeX when any text but its tag, Guid and links holds \ { or }.
        records=$((records + $(grep -c '<b:Source>' out.xml)))
        records_with_tex=$((records_with_tex + $(awk '/<b:Source>/ { tex = 0 }
            !/<b:(Tag|Guid|URL|DOI)>/ && /[\\{}]/ { tex = 1 }
            /<\/b:Source>/ { n += tex } END { print n + 0 }' out.xml)))
    else
        written=$(grep -c '<b:Source>' out.xml)
        # It stays up after an exception in its import instead of exiting.
        rm -f out.bib && timeout 300 jabref -n -i "$work/out.xml,msbib" -o "$work/out.bib" >/dev/null 2>&1
        read=$(grep -E '^@' out.bib 2>/dev/null | grep -vic '^@comment')
        [ "$read" -eq "$written" ] || fail "jabref read $read of $written records"
    fi
done
if [ "$mode" = schema ]; then
    echo "$records records, $records_with_tex keep TeX"
    [ $((records_with_tex * 100)) -le "$records" ] || fail "more than 1% of the records keep TeX"
fi
echo "${#inputs[@]} files" && finish
