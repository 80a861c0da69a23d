#!/usr/bin/env bash
# Back to BibTeX with the built program: .bib -> --tidy -> --to-bib -> --tidy
# gives the same records (Guids aside) for every sample; the default output
# and the refusal to replace an input. With --texlive, only the round trip, on
# every .bib file TeX Live ships; skipped (77) where none is installed.
# Usage: test_to_bib.sh PATH/TO/bibsources DATA_DIR | --texlive
set -u
bibsources=$(realpath "$1")
if [ "$2" = --texlive ]; then
    mapfile -t inputs < <(find /usr/share/texlive /usr/share/texmf -name '*.bib' 2>/dev/null | sort)
    [ ${#inputs[@]} -gt 0 ] || { echo "no TeX Live .bib files installed; skipped"; exit 77; }
else
    data=$(realpath "$2")
    inputs=("$data"/*.bib "$data"/tidy/*.bib)
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0 records=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

for bib in "${inputs[@]}"; do
    "$bibsources" -q --tidy -o "$work/1.xml" "$bib" || { fail "$bib: --tidy"; continue; }
    "$bibsources" -q --to-bib -o "$work/back.bib" "$work/1.xml" || { fail "$bib: --to-bib"; continue; }
    "$bibsources" -q --tidy -o "$work/2.xml" "$work/back.bib" || { fail "$bib: --tidy again"; continue; }
    diff <(grep -v '<b:Guid>' "$work/1.xml") <(grep -v '<b:Guid>' "$work/2.xml") >&2 \
        || fail "$bib: the round trip changed the records"
    records=$((records + $(grep -c '<b:Source>' "$work/1.xml")))
done
if [ "$2" = --texlive ]; then
    echo "${#inputs[@]} files, $records records, $failures failed"
    [ "$failures" -eq 0 ]
    exit
fi

# Without -o: Sources.bib beside the first input; the summary counts sources.
mkdir "$work/folder" && cp "$data/tidy/records.xml" "$work/folder/list.xml"
"$bibsources" --to-bib "$work/folder/list.xml" 2>"$work/err" || fail "default output: $(cat "$work/err")"
[ -s "$work/folder/Sources.bib" ] || fail "no Sources.bib beside the input"
grep -q "15 sources -> " "$work/err" || fail "summary: $(cat "$work/err")"

# An input is never replaced, nor is anything written when an input fails.
cp "$work/folder/list.xml" "$work/keep.xml"
"$bibsources" -q --to-bib -o "$work/folder/list.xml" "$work/folder/list.xml" 2>"$work/err"
[ $? -eq 2 ] && grep -q "which it would replace" "$work/err" || fail "replaced an input: $(cat "$work/err")"
cmp -s "$work/keep.xml" "$work/folder/list.xml" || fail "the input changed"
# Nor is a Word document: BibTeX would take its place.
echo 'PK precious' > "$work/paper.docx"
"$bibsources" -q --to-bib -o "$work/paper.docx" "$work/keep.xml" 2>"$work/err"
[ $? -eq 1 ] && grep -q "paper.docx' is a Word document" "$work/err" || fail "wrote into a document: $(cat "$work/err")"
[ "$(cat "$work/paper.docx")" = 'PK precious' ] || fail "the document changed"
"$bibsources" -q --to-bib -o "$work/none.bib" "$work/keep.xml" "$data/names.bib" 2>"$work/err"
[ $? -eq 1 ] && [ ! -e "$work/none.bib" ] || fail "a .bib input: $(cat "$work/err")"
grep -q "names.bib' is not well-formed XML" "$work/err" || fail "message: $(cat "$work/err")"
"$bibsources" --to-bib --tidy "$work/keep.xml" 2>/dev/null
[ $? -eq 2 ] || fail "--to-bib with --tidy is no usage error"

[ "$failures" -eq 0 ] || exit 1
echo "all passed"
