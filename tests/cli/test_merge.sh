#!/usr/bin/env bash
# Merges into source lists the way careless users and busy desktops do, with
# the built programs, and checks that no record is ever lost: two runs at
# once, a word processor saving or deleting the list mid-run, the same key in
# several inputs, lists that cannot be merged into, other line ends, other
# encodings, and lists saved by a word processor.
# Usage: test_merge.sh PATH/TO/bibsources PATH/TO/bibsources-parse SAVED_LISTS
set -u
bibsources=$(realpath "$1") parser=$(realpath "$2") saved=$(realpath "$3")
source "$(dirname "$0")/../support/shell.sh"
same() { cmp -s "$1" "$2" || fail "$1 changed"; }

ns=http://schemas.openxmlformats.org/officeDocument/2006/bibliography
# list RECORDS... : a source list as the word processor saves it, on one line.
list() { printf '<?xml version="1.0"?>\n<b:Sources SelectedStyle="" xmlns:b="%s" xmlns="%s">%s</b:Sources>\n' "$ns" "$ns" "$*"; }
record() { printf '<b:Source><b:Tag>%s</b:Tag><b:SourceType>Book</b:SourceType><b:Guid>{%s}</b:Guid><b:Title>%s</b:Title></b:Source>' "$1" "$2" "$1"; }
# books PREFIX COUNT : a .bib with COUNT entries keyed PREFIX1, PREFIX2, ...
books() { local k && for k in $(seq "$2"); do printf '@book{%s%d, author = {Writer, Anna}, title = {%s %d}, year = 2001}\n' "$1" "$k" "$1" "$k"; done; }
guids_unique() { [ "$(grep -o '<b:Guid>[^<]*' "$1" | sort | uniq -d | wc -l)" -eq 0 ] || fail "$1 has a Guid twice"; }
tags_unique() { [ "$(grep -o '<b:Tag>[^<]*' "$1" | sort -f | uniq -di | wc -l)" -eq 0 ] || fail "$1 has a tag twice"; }

# --- two runs at once never lose each other's records
for pair in $(seq 20); do
    list "$(record base 00000000-0000-0000-0000-000000000001)" > "pair$pair.xml"
    books "a${pair}_" 400 > "a$pair.bib" && books "b${pair}_" 400 > "b$pair.bib"
    "$bibsources" -q -t -o "pair$pair.xml" --merge "a$pair.bib" 2>"a$pair.err" & first=$!
    "$bibsources" -q -o "pair$pair.xml" --merge "b$pair.bib" 2>"b$pair.err" & second=$!
    name="pair $pair"
    wait $first || fail "the first run failed: $(cat "a$pair.err")"
    wait $second || fail "the second run failed: $(cat "b$pair.err")"
    [ "$(count_in "pair$pair.xml" '<b:Source>')" -eq 801 ] || fail "$(count_in "pair$pair.xml" '<b:Source>') records, not 801"
    pass
done

# --- a second run says that it waits for the first, and then merges
list "$(record base 00000000-0000-0000-0000-000000000001)" > held.xml && books held 2 > held.bib
flock held.xml sh -c 'touch locked; while [ ! -e release ]; do sleep 0.05; done' & holder=$!
while [ ! -e locked ]; do sleep 0.05; done
"$bibsources" -o held.xml --merge held.bib 2>held.err & waiter=$!
for _ in $(seq 400); do grep -q waiting held.err && break; sleep 0.05; done
name="waiting" && has held.err "bibsources: waiting for another bibsources run that is merging into 'held.xml'"
touch release && wait $holder
wait $waiter || fail "the waiting run failed: $(cat held.err)"
has held.xml "<b:Tag>held1</b:Tag>" "<b:Tag>base</b:Tag>"

# --- the word processor saves or deletes the list while a run converts: the
# helper that parses the input does it first, so it happens mid-run
cat > busy-helper <<HELPER
#!/bin/sh
case "\$BUSY" in
    replace) cp "\$BUSY_LIST.saved" "\$BUSY_LIST.new" && mv "\$BUSY_LIST.new" "\$BUSY_LIST" ;;
    rewrite) cat "\$BUSY_LIST.saved" > "\$BUSY_LIST" ;;
    delete) rm "\$BUSY_LIST" ;;
esac
exec "$parser" "\$@"
HELPER
chmod +x busy-helper
books mine 3 > mine.bib
for how in replace rewrite; do
    list "$(record old 00000000-0000-0000-0000-000000000002)" > busy.xml
    list "$(record old 00000000-0000-0000-0000-000000000002)" "$(record saved 00000000-0000-0000-0000-000000000003)" > busy.xml.saved
    as="env BIBSOURCES_WORKER=$work/busy-helper BUSY=$how BUSY_LIST=busy.xml" run 0 -t -o busy.xml --merge mine.bib
    has busy.xml "<b:Tag>saved</b:Tag>" "<b:Tag>old</b:Tag>" "<b:Tag>mine1</b:Tag>" "<b:Tag>mine3</b:Tag>"
done
list "$(record old 00000000-0000-0000-0000-000000000002)" > busy.xml
as="env BIBSOURCES_WORKER=$work/busy-helper BUSY=delete BUSY_LIST=busy.xml" run 0 -t -o busy.xml --merge mine.bib
lacks busy.xml "<b:Tag>old</b:Tag>" && has busy.xml "<b:Tag>mine1</b:Tag>"
as=

# --- the same key in two inputs, or one input twice: tags and Guids stay
# unique, in one document and across later merges
mkdir d1 d2
printf '@book{K1, author = {Smith, John}, title = {One}, year = 2001}\n@book{K1, author = {Smith, John}, title = {Dup}, year = 2001}\n' > d1/refs.bib
printf '@book{K1, author = {Smith, John}, title = {Two}, year = 2001}\n' > d2/refs.bib
run 0 -t -o all.xml d1/refs.bib d2/refs.bib && has "$err" "d2/refs.bib: entry near line 1 repeats the key 'K1'; tagged Smith2001a"
tags_unique all.xml && guids_unique all.xml
run 0 -t -o all.xml --merge d1/refs.bib && has "$err" "1 source kept, 2 replaced, 0 added" && has all.xml ">Two<"
run 0 -t -o twice.xml d1/refs.bib d1/refs.bib && tags_unique twice.xml && guids_unique twice.xml
[ "$(count_in twice.xml '<b:Source>')" -eq 4 ] || fail "records lost from an input given twice"
run 0 -o plain.xml --merge d1/refs.bib d2/refs.bib && tags_unique plain.xml
run 0 -o plain.xml --merge d1/refs.bib d2/refs.bib && tags_unique plain.xml && has "$err" "0 sources kept, 3 replaced, 0 added"
# Made-up tags of two files: the second file's never replaces the first's.
cp d1/refs.bib one.bib && sed 's/K1/K2/; s/Two/Three/' d2/refs.bib > once.bib && cat once.bib once.bib > two.bib
run 0 -t -o made.xml --merge one.bib && run 0 -t -o made.xml --merge two.bib && has made.xml ">Dup<" ">Three<"
tags_unique made.xml && guids_unique made.xml
run 0 -t -o made.xml --merge one.bib && has "$err" "2 replaced, 0 added"
# A list that holds a tag twice keeps both, and says so.
list "$(record K1 00000000-0000-0000-0000-00000000000a)" "$(record K1 00000000-0000-0000-0000-00000000000b)" > twice-tagged.xml
run 0 -o twice-tagged.xml --merge d2/refs.bib && has "$err" "holds 2 records tagged 'K1'; one was replaced, the others were kept"
has twice-tagged.xml "{00000000-0000-0000-0000-00000000000b}"

# --- lists that cannot be merged into are refused before any input is read
# (the input is a FIFO that no one writes: reading it would never end), and
# left as they were
mkfifo never.bib fifo.xml && mkdir folder.xml
list "$(record old 00000000-0000-0000-0000-000000000002)" > kept.xml && cp kept.xml kept.copy
as="timeout 20"
run 1 -o fifo.xml --merge never.bib && has "$err" "cannot merge into 'fifo.xml': it is a FIFO (a named pipe), not a source list file"
run 1 -o folder.xml --merge never.bib && has "$err" "cannot merge into 'folder.xml': it is a directory, not a source list file"
run 1 -o /dev/null --merge never.bib && has "$err" "cannot merge into '/dev/null': it is a device, not a source list file"
for stdout in - /dev/stdout /dev/fd/1; do
    run 2 -o $stdout --merge never.bib && has "$err" "--merge needs -o LIST: the source list file to merge into, not standard output"
done
# Nor is a document that is no file: a FIFO, socket or device named like one.
mkfifo fifo.docx && ln -s /dev/null null.docx && python3 -c 'import socket; socket.socket(socket.AF_UNIX).bind("socket.docx")'
for merge in "" --merge; do
    run 1 -o fifo.docx $merge never.bib && has "$err" "cannot put sources into 'fifo.docx': it is a FIFO (a named pipe), not a Word document; it was left as it was"
done
run 1 -o null.docx never.bib && has "$err" "cannot put sources into 'null.docx': it is a device, not a Word document"
run 1 -o socket.docx never.bib && has "$err" "cannot put sources into 'socket.docx': it is a socket, not a Word document"
run 1 --to-bib -o back.bib fifo.docx && has "$err" "cannot read 'fifo.docx': it is a FIFO (a named pipe), not a Word document"
[ -p fifo.docx ] && [ -S socket.docx ] && [ ! -e back.bib ] || fail "a document that is no file changed"
printf 'caf\xe9' > latin1.xml && run 1 -o latin1.xml --merge never.bib && has "$err" "it is not UTF-8: byte 3 is 0xE9; save it as UTF-8"
: > empty.xml && run 1 -o empty.xml --merge never.bib && has "$err" "'empty.xml' is not a bibliography source list (it is empty)"
if [ "$(id -u)" = 0 ]; then
    chmod 444 kept.xml
    as="timeout 20 setpriv --reuid=65534 --regid=65534 --clear-groups" run 1 -o kept.xml --merge never.bib && has "$err" "cannot replace 'kept.xml': permission denied"
fi
same kept.xml kept.copy && [ -p fifo.xml ] && [ -d folder.xml ] || fail "a refused list changed"
as=

# --- a list's own line ends and indentation are kept by the records added
printf '<?xml version="1.0"?>\r\n<b:Sources xmlns:b="%s">\r\n\t<b:Source>\r\n\t\t<b:Tag>x</b:Tag>\r\n\t</b:Source>\r\n</b:Sources>\r\n' "$ns" > crlf.xml
run 0 -t -o crlf.xml --merge mine.bib
[ "$(grep -c $'\r$' crlf.xml)" -eq "$(wc -l < crlf.xml)" ] || fail "a line of crlf.xml ends without CR"
has crlf.xml $'\t<b:Source>\r' $'\t\t<b:Tag>mine1</b:Tag>\r' $'\t\t\t<b:Author>\r'

# --- lists saved by a word processor: every record stays byte for byte, and
# a second identical run changes nothing
books new 2 > new.bib && printf '@book{Wik23, title = {Replaced}}\n' >> new.bib
for original in "$saved"/*.xml; do
    cp "$original" saved.xml
    run 0 -t -o saved.xml --merge new.bib
    sed 's#</b:Source>#&\n#g' "$original" | grep -o '<b:Source>.*</b:Source>' | grep -v '<b:Tag>Wik23<' > records
    while IFS= read -r kept; do has saved.xml "$kept"; done < records
    has saved.xml "<b:Tag>new1</b:Tag>" && [ "$(grep -c '' saved.xml)" -eq "$(grep -c '' "$original")" ] || fail "lines added"
    cp saved.xml first.xml && run 0 -t -o saved.xml --merge new.bib && same saved.xml first.xml
done

finish
