#!/usr/bin/env bash
# Puts sources into documents other programs made, and has them read back.
#   test_office.sh pandoc PATH/TO/bibsources: a document pandoc writes gets a
#       list; replacing and merging give the records expected
#   test_office.sh libreoffice PATH/TO/bibsources: LibreOffice opens a document
#       with a list, and saving it again as .docx keeps the list
#   test_office.sh jabref PATH/TO/bibsources: the list taken out of a document
#       imports whole
# The LibreOffice and JabRef modes are skipped (status 77) where their program
# is missing.
set -u
mode=$1
bibsources=$(realpath "$2")
source "$(dirname "$0")/../support/shell.sh"
# Each mode needs unzip, pandoc mode pandoc, and the others their program
# (LibreOffice's is soffice); JabRef reads a document pandoc writes.
require unzip
case "$mode" in
pandoc) require pandoc ;;
libreoffice) need soffice ;;
jabref) need jabref && require pandoc ;;
esac
# LibreOffice and JabRef keep their profiles under the home folder.
source "$(dirname "$0")/../jabref_profile.sh"
jabref_profile "$work"
# The tags of the source list in a document, one per line, in order (only a
# source list has b:Tag elements).
tags() { unzip -p "$1" 'customXml/item[0-9]*.xml' 2>/dev/null | grep -o '<b:Tag>[^<]*' | sed 's/<b:Tag>//'; }

cat >refs.bib <<'BIB'
@book{knuth84, author = {Donald E. Knuth}, title = {The {\TeX}book}, year = 1984, publisher = {Addison-Wesley}}
@article{lamport94, author = {Leslie Lamport}, title = {{\LaTeX}: A Document Preparation System}, year = 1994}
BIB
cat >more.bib <<'BIB'
@misc{new2024, title = {Something New}, year = 2024}
@book{knuth84, author = {Donald E. Knuth}, title = {The {\TeX}book, revised}, year = 1986}
BIB

case "$mode" in
pandoc)
    echo 'Hello, *world*.' | pandoc -o paper.docx
    run 0 -q -o paper.docx refs.bib
    [ "$(tags paper.docx | tr '\n' ' ')" = "knuth84 lamport94 " ] || fail "replace gave: $(tags paper.docx)"
    run 0 -q --merge -o paper.docx more.bib
    [ "$(tags paper.docx | tr '\n' ' ')" = "knuth84 lamport94 new2024 " ] || fail "merge gave: $(tags paper.docx)"
    unzip -p paper.docx word/document.xml | grep -q 'world' || fail "the text is gone"
    unzip -tq paper.docx >/dev/null || fail "the package does not test clean"
    ;;
libreoffice)
    printf 'Hello, world.\n' >paper.txt
    timeout 300 soffice --headless --convert-to docx:"MS Word 2007 XML" paper.txt >/dev/null 2>&1
    [ -f paper.docx ] || { echo "LibreOffice could not make a document; skipped"; exit 77; }
    run 0 -q -o paper.docx refs.bib
    mkdir -p again text
    timeout 300 soffice --headless --convert-to docx:"MS Word 2007 XML" --outdir again paper.docx >/dev/null 2>&1
    timeout 300 soffice --headless --convert-to txt:Text --outdir text paper.docx >/dev/null 2>&1
    grep -q 'Hello, world' text/paper.txt 2>/dev/null || fail "LibreOffice did not open the document"
    [ "$(tags again/paper.docx | tr '\n' ' ')" = "knuth84 lamport94 " ] \
        || fail "saved again by LibreOffice, the list holds: $(tags again/paper.docx)"
    ;;
jabref)
    printf 'Hello, world.\n' | pandoc -o paper.docx
    run 0 -q -o paper.docx refs.bib more.bib
    part=$(unzip -Z1 paper.docx 'customXml/item[0-9]*.xml' | head -1)
    unzip -p paper.docx "$part" >list.xml
    written=$(grep -c '<b:Source>' list.xml)
    timeout 300 jabref -n -i "list.xml,msbib" -o out.bib >/dev/null 2>&1
    read=$(grep -E '^@' out.bib 2>/dev/null | grep -vic '^@comment')
    [ "$read" -eq "$written" ] || fail "jabref read $read of $written records"
    ;;
esac
finish
