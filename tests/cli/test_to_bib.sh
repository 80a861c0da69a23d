#!/usr/bin/env bash
# Back to BibTeX with the built program: .bib -> --tidy -> --to-bib -> --tidy
# gives the same records (Guids aside) for every sample; the default output
# and the refusal to replace an input.
# Usage: test_to_bib.sh PATH/TO/bibsources DATA_DIR
set -u
bibsources=$(realpath "$1") data=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

for bib in "$data"/*.bib "$data"/tidy/*.bib; do
    name=$(basename "$bib" .bib)
    "$bibsources" -q --tidy -o "$work/$name.1.xml" "$bib" || { fail "$name: --tidy"; continue; }
    "$bibsources" -q --to-bib -o "$work/$name.bib" "$work/$name.1.xml" || { fail "$name: --to-bib"; continue; }
    "$bibsources" -q --tidy -o "$work/$name.2.xml" "$work/$name.bib" || { fail "$name: --tidy again"; continue; }
    diff <(grep -v '<b:Guid>' "$work/$name.1.xml") <(grep -v '<b:Guid>' "$work/$name.2.xml") >&2 \
        || fail "$name: the round trip changed the records"
done

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
"$bibsources" -q --to-bib -o "$work/none.bib" "$work/keep.xml" "$data/names.bib" 2>"$work/err"
[ $? -eq 1 ] && [ ! -e "$work/none.bib" ] || fail "a .bib input: $(cat "$work/err")"
grep -q "names.bib' is not well-formed XML" "$work/err" || fail "message: $(cat "$work/err")"
"$bibsources" --to-bib --tidy "$work/keep.xml" 2>/dev/null
[ $? -eq 2 ] || fail "--to-bib with --tidy is no usage error"

[ "$failures" -eq 0 ] || exit 1
echo "all passed"
