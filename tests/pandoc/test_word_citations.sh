#!/usr/bin/env bash
# Runs the pandoc filter over a paper with one paragraph per row of
# citations.table and checks the .docx it writes.
#   test_word_citations.sh fields FILTER DIR [BIBSOURCES]: the fields, their
#       controls and the bibliography, read from the document part; odd keys,
#       other formats; and, given BIBSOURCES, its --merge into the result
#   test_word_citations.sh libreoffice FILTER DIR: LibreOffice opens the document
#       and finds one bibliography mark per citation, with its tag
# DIR holds citations.table and refs.bib. The second is skipped (status 77)
# where LibreOffice (soffice) is missing.
set -u
mode=$1
filter=$(realpath "$2")
dir=$(realpath "$3")
bibsources=${4:+$(realpath "$4")}
source "$(dirname "$0")/../support/shell.sh"
require pandoc unzip xmllint
[ "$mode" = fields ] || need soffice

cites=() instructions=() shown=()
# Each row without the spaces around its columns.
while IFS='|' read -r cite instruction text _; do
    [[ -z $cite || $cite == '#'* ]] && continue
    cites+=("$cite") instructions+=(" $instruction ") shown+=("$text")
done < <(sed -E 's/[[:space:]]*[|][[:space:]]*/|/g' "$dir/citations.table")
rows=${#cites[@]}

# xmllint --xpath without the namespace declarations: element names by local name.
xpath() {
    local file=$1 expression=$2
    expression=$(sed -E "s/(^|[ /(\[])w:([A-Za-z]+)/\1*[local-name()='\2']/g" <<<"$expression")
    xmllint --xpath "$expression" "$file" 2>/dev/null
}
# The text of the w:t elements that match, as the reader sees it.
shownText() {
    xpath "$1" "$2//w:t" | sed -e 's/<[^>]*>//g' | tr -d '\n' |
        sed -e 's/&lt;/</g; s/&gt;/>/g; s/&quot;/"/g; s/&amp;/\&/g'
}
documentPart() { unzip -p "$1" word/document.xml >"$2"; }

printf '%s\n\n' "${cites[@]}" '# References' $'::: {#refs}\n:::' >paper.md
pandoc paper.md --bibliography "$dir/refs.bib" --lua-filter "$filter" -o paper.docx 2>err
[ -s paper.docx ] || { cat err && echo "FAIL: pandoc wrote no paper.docx" && exit 1; }

if [ "$mode" = libreoffice ]; then
    # LibreOffice keeps its profile under HOME and its scratch files in
    # TMPDIR; all of them go into $work.
    mkdir "$work/tmp"
    HOME=$work TMPDIR=$work/tmp timeout 300 soffice -env:UserInstallation="file://$work/profile" --headless \
        --convert-to odt --outdir "$work" "$work/paper.docx" >"$work/soffice.log" 2>&1
    unzip -p "$work/paper.odt" content.xml >"$work/content.xml" 2>/dev/null ||
        { cat "$work/soffice.log" && echo "FAIL: soffice did not convert paper.docx" && exit 1; }
    marks=$(xpath "$work/content.xml" "count(//*[local-name()='bibliography-mark'])")
    [ "$marks" = "$rows" ] || fail "LibreOffice found $marks bibliography marks, want $rows"
    for ((row = 1; row <= rows; row++)); do
        identifier=$(xpath "$work/content.xml" \
            "string((//*[local-name()='bibliography-mark'])[$row]/@*[local-name()='identifier'])")
        read -r _ tag _ <<<"${instructions[row - 1]}"
        # Older versions keep the whole instruction as the mark's identifier,
        # newer ones its first tag.
        [ "$identifier" = "${instructions[row - 1]}" ] || [ "$identifier" = "$tag" ] && pass "mark $row: $identifier" ||
            fail "${cites[row - 1]}: LibreOffice's mark names '$identifier', want '$tag'"
    done
    indexes=$(xpath "$work/content.xml" "count(//*[local-name()='bibliography'])")
    [ "$indexes" = 1 ] || fail "LibreOffice found $indexes bibliographies, want 1"
    finish
    exit
fi

document=$work/document.xml
documentPart "$work/paper.docx" "$document"

# --- Each row's field and the text shown until it is updated -------------------
fields=$(xpath "$document" "count(//w:sdt[w:sdtPr/w:citation])")
[ "$fields" = "$rows" ] || fail "$fields citation controls, want $rows"
for ((row = 1; row <= rows; row++)); do
    got=$(xpath "$document" "string((//w:sdt[w:sdtPr/w:citation])[$row]//w:instrText)")
    [ "$got" = "${instructions[row - 1]}" ] && pass ||
        fail "${cites[row - 1]}: instruction '$got', want '${instructions[row - 1]}'"
    got=$(shownText "$document" "(//w:body/w:p)[$row]")
    [ "$got" = "${shown[row - 1]}" ] && pass || fail "${cites[row - 1]}: shows '$got', want '${shown[row - 1]}'"
done

# --- The controls' structure -----------------------------------------------------
ordered=$(xpath "$document" "count(//w:sdtPr[count(*)=2 and *[1][local-name()='id'] and *[2][local-name()='citation']])")
[ "$ordered" = "$rows" ] || fail "$ordered of $rows citation controls have w:id and then w:citation, and nothing else"
complete=$(xpath "$document" "count(//w:sdt[w:sdtPr/w:citation]/w:sdtContent[count(*)=5
    and w:r[1]/w:fldChar/@*[local-name()='fldCharType']='begin' and w:r[2]/w:instrText
    and w:r[3]/w:fldChar/@*[local-name()='fldCharType']='separate' and w:r[4]/w:rPr/w:noProof
    and w:r[5]/w:fldChar/@*[local-name()='fldCharType']='end'])")
[ "$complete" = "$rows" ] || fail "$complete of $rows citation fields are begin, instruction, separate, result, end"
ids=$(xpath "$document" "//w:sdtPr/w:id/@*[local-name()='val']" | tr ' ' '\n' | grep -c .)
uniqueIds=$(xpath "$document" "//w:sdtPr/w:id/@*[local-name()='val']" | tr ' ' '\n' | grep . | sort -u | wc -l)
[ "$ids" = "$uniqueIds" ] || fail "$ids content controls share $uniqueIds ids"
if grep -qF '[@' "$document"; then
    fail "'[@' is left in the document: $(shownText "$document" "//w:p[contains(., '[@')]")"
fi

# --- The bibliography, where the refs div was -------------------------------------
bibliographies=$(xpath "$document" "count(//w:instrText[normalize-space(.)='BIBLIOGRAPHY'])")
[ "$bibliographies" = 1 ] || fail "$bibliographies BIBLIOGRAPHY fields, want 1"
gallery="//w:body/w:sdt[w:sdtPr/w:docPartObj/w:docPartGallery/@*[local-name()='val']='Bibliographies']"
placed=$(xpath "$document" "count($gallery[preceding-sibling::*[1]//w:t='References']
    /w:sdtContent/w:sdt[w:sdtPr/w:bibliography]//w:instrText)")
[ "$placed" = 1 ] || fail "the BIBLIOGRAPHY field is not in a bibliography control in the gallery control after the heading"
lines=$(xpath "$document" "count($gallery//w:p[w:pPr/w:pStyle/@*[local-name()='val']='Bibliography'])")
[ "$lines" = 4 ] || fail "the bibliography shows $lines lines, want one per cited source (4)"

# --- Keys that need quoting or cannot be written ---------------------------------
citation() {
    printf 'Citation {citationId = "%s", citationPrefix = [], citationSuffix = [], citationMode = %s, citationNoteNum = 1, citationHash = 0}' "$1" "$2"
}
printf '[Para [Cite [%s] [Str "x"]]]\n' "$(citation 'my key' NormalCitation)" >"$work/spaced.native"
(cd "$work" && pandoc -f native spaced.native -M lang=de-DE -M reference-section-title=Quellen \
    --lua-filter "$filter" -o spaced.docx) 2>"$work/err"
documentPart "$work/spaced.docx" "$work/spaced.xml"
got=$(xpath "$work/spaced.xml" "string(//w:instrText)")
[ "$got" = ' CITATION "my key" \l 1031 ' ] || fail "a key with a space gave '$got'"
last=$(xpath "$work/spaced.xml" "count(//w:body/*[last()-1][local-name()='sdt']//w:instrText[normalize-space(.)='BIBLIOGRAPHY'])")
title=$(shownText "$work/spaced.xml" "//w:body/*[last()-2]")
[ "$last" = 1 ] && [ "$title" = Quellen ] ||
    fail "without a refs div the bibliography is not last, under its title ($last, '$title')"

printf 'Bad [@{a"b}].\n' >"$work/refused.md"
if (cd "$work" && pandoc refused.md --lua-filter "$filter" -o refused.docx) 2>"$work/err" ||
    [ -e "$work/refused.docx" ] || ! grep -qF 'citation key "a"b"' "$work/err"; then
    fail "a key with a double quote was not refused with a message: $(head -n1 "$work/err")"
fi

# --- The sources put in by bibsources, and the tag they lack ---------------------
if [ -n "$bibsources" ]; then
    cp "$work/paper.docx" "$work/pair.docx"
    "$bibsources" --merge -o "$work/pair.docx" "$dir/refs.bib" 2>"$work/err"
    status=$?
    mapfile -t warnings < <(grep -F ': it cites ' "$work/err")
    if [ $status -ne 0 ] || [ ${#warnings[@]} -ne 1 ] || [[ "${warnings[0]}" != *"it cites 'R&D<1>', which its source list lacks"* ]]; then
        cat "$work/err"
        fail "bibsources --merge -o pair.docx (status $status) did not warn of R&D<1> alone"
    fi
    if ! cmp -s <(unzip -p "$work/pair.docx" word/document.xml) "$document"; then
        fail "bibsources changed the document part with the fields"
    fi
fi

# --- Without a bibliography, and other formats -----------------------------------
printf '@lamport94 says\n' >"$work/bare.md"
(cd "$work" && pandoc bare.md --lua-filter "$filter" -o bare.docx) 2>"$work/err"
documentPart "$work/bare.docx" "$work/bare.xml"
got="$(xpath "$work/bare.xml" "string(//w:instrText)")/$(shownText "$work/bare.xml" "(//w:body/w:p)[1]")"
[ "$got" = ' CITATION lamport94 \l 1033 /(lamport94) says' ] ||
    fail "without names the author-in-text citation gave '$got'"

for format in native html; do
    if ! cmp -s <(pandoc "$work/paper.md" -t $format --lua-filter "$filter") <(pandoc "$work/paper.md" -t $format); then
        fail "the filter changed $format output"
    fi
done

finish
