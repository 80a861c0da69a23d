#!/usr/bin/env bash
# Back to BibTeX with the built program: .bib -> --tidy -> --to-bib -> --tidy
# gives the same records (Guids aside) for every sample; the default output
# and the refusal to replace an input. With --texlive, only the round trip, on
# every .bib file TeX Live ships (texlive-bibtex-extra and any others installed).
# Usage: test_to_bib.sh PATH/TO/bibsources DATA_DIR | --texlive
set -u
bibsources=$(realpath "$1")
if [ "$2" = --texlive ]; then
    mapfile -t inputs < <(find /usr/share/texlive /usr/share/texmf -name '*.bib' 2>/dev/null | sort)
    [ ${#inputs[@]} -gt 0 ] || { echo "FAIL: no TeX Live .bib files; scripts/install-deps test installs them" >&2; exit 1; }
else
    data=$(realpath "$2")
    inputs=("$data"/*.bib "$data"/tidy/*.bib)
fi
source "$(dirname "$0")/../support/shell.sh"

records=0
for bib in "${inputs[@]}"; do
    run 0 -q --tidy -o 1.xml "$bib" && run 0 -q --to-bib -o back.bib 1.xml && run 0 -q --tidy -o 2.xml back.bib || continue
    diff <(grep -v '<b:Guid>' 1.xml) <(grep -v '<b:Guid>' 2.xml) >&2 || fail "$bib: the round trip changed the records"
    records=$((records + $(grep -c '<b:Source>' 1.xml)))
done
echo "${#inputs[@]} files, $records records"
[ "$2" = --texlive ] && { finish; exit; }

# Without -o: Sources.bib beside the first input; the summary counts sources.
mkdir folder && cp "$data/tidy/records.xml" folder/list.xml
run 0 --to-bib folder/list.xml && has "$err" "15 sources -> " && { [ -s folder/Sources.bib ] || fail "no Sources.bib beside the input"; }
# An input is never replaced, nor is anything written when an input fails.
cp folder/list.xml keep.xml
run 2 -q --to-bib -o folder/list.xml folder/list.xml && has "$err" "which it would replace"
cmp -s keep.xml folder/list.xml || fail "the input changed"
# Nor is a Word document: BibTeX would take its place.
echo 'PK precious' >paper.docx
run 1 -q --to-bib -o paper.docx keep.xml && has "$err" "paper.docx' is a Word document"
[ "$(cat paper.docx)" = 'PK precious' ] || fail "the document changed"
run 1 -q --to-bib -o none.bib keep.xml "$data/names.bib" && has "$err" "names.bib' is not well-formed XML"
[ ! -e none.bib ] || fail "a .bib input let a run write"
run 2 --to-bib --tidy keep.xml
finish
