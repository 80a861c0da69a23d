#!/usr/bin/env bash
# Runs the built bibsources as a user would and checks exit statuses, what it
# says on stderr, and what it writes.
# Usage: test_cli.sh PATH/TO/bibsources [PATH/TO/refuse_unnamed_files.so]
set -u
bibsources=$(realpath "$1") refuse=${2:+$(realpath "$2")}
source "$(dirname "$0")/../support/shell.sh"
book() { printf '@book{%s, title = {%s}}\n' "$1" "$1"; }

mkdir a b && book one > a/refs.bib && book two >> a/refs.bib
book three > b/refs.bib && book four > a/more.bib

# --- usage errors: status 2 and a pointer to --help
run 2 && has "$err" "no input file given" "--help"
run 2 --frobnicate a/refs.bib && has "$err" "unknown option '--frobnicate'"
run 2 a/refs.bib -o && has "$err" "-o needs a value"
run 2 -o x.xml -o y.xml a/refs.bib && has "$err" "-o given twice"
run 2 a/refs.bib a/more.bib && has "$err" "would both write"
[ -e a/Sources.xml ] && fail "a usage error wrote a file"
run 2 - && has "$err" "use -o OUTPUT"
run 2 --merge a/refs.bib && has "$err" "--merge needs -o LIST"
run 2 --merge -o - a/refs.bib && has "$err" "--merge needs -o LIST"
run 2 --report fields.tsv a/refs.bib && has "$err" "--report needs --tidy"
run 2 -t a/refs.bib --report && has "$err" "--report needs a value"
run 2 --macros defs.tex a/refs.bib && has "$err" "--macros needs --tidy"
run 2 --tidy a/refs.bib --macros && has "$err" "--macros needs a value"

# --- help and version on stdout, status 0
run 0 --help && has "$out" "usage: bibsources" "exit status"
run 0 --version && grep -qE '^bibsources [0-9]+\.[0-9]+\.[0-9]+$' "$out" || fail "$(cat "$out")"

# --- one Sources.xml beside each input
run 0 a/refs.bib b/refs.bib && has "$err" "a/refs.bib: 2 sources -> $work/a/Sources.xml" "b/refs.bib: 1 source -> $work/b/Sources.xml"
has a/Sources.xml "<b:Tag>two</b:Tag>"
has b/Sources.xml "<b:Tag>three</b:Tag>"
run 0 -q b/refs.bib && [ ! -s "$err" ] || fail "stderr not empty: $(cat "$err")"
printf '@book{good, title = {G}}\n\n@article{bad, title = {x} year = 2000}\n\n@book{after, title = {A}}\n' > b/skips.bib
run 0 b/skips.bib && has "$err" "2 sources, 1 entry skipped" "syntax error"
# Ten messages a file, then how many more there were: two for each entry but the first.
for k in 1 2 3 4 5 6; do printf '@misc{k, title = {x} junk}\n'; done > b/many.bib
run 1 b/many.bib && has "$err" "b/many.bib: ... and 1 more" && [ "$(grep -c '^b/many.bib,' "$err")" -eq 10 ] || fail "not ten messages"

# --- --report: a row per field, beside the document
printf '@book{r, title = {T}, abstract = {A}}\n' > b/report.bib
run 0 -t -o report.xml --report=fields.tsv b/report.bib
[ "$(cat fields.tsv)" = "$(printf 'line\tkey\ttag\tfield\telement\tnote\n1\tr\tr\ttitle\tb:Title\t\n1\tr\tr\tabstract\t\tno place in the format')" ] \
    || fail "report: $(cat fields.tsv)"
run 1 -t -o report.xml --report no/such/dir/fields.tsv b/report.bib && has "$err" "cannot write the report 'no/such/dir/fields.tsv'"
run 0 -t -o report.xml --report - b/report.bib && cmp -s "$out" fields.tsv || fail "report on standard output: $(cat "$out")"
run 2 -t -o /dev/stdout --report - b/report.bib && has "$err" "cannot both go to standard output"

# --- failures: status 1, the file and the reason, nothing else touched
echo precious > a/Sources.xml
run 1 a/nope.bib && has "$err" "bibsources: cannot open 'a/nope.bib': No such file or directory"
mkdir x.bib && run 1 x.bib && has "$err" "cannot open 'x.bib': it is a directory"
run 1 a/nope.bib b/refs.bib && has "$err" "b/refs.bib: 1 source" # the good one is still converted
[ "$(cat a/Sources.xml)" = precious ] || fail "a failed run changed an existing Sources.xml"
run 1 --tidy --macros a/nope.tex a/refs.bib && has "$err" "cannot read the macros file 'a/nope.tex': No such file or directory"
[ "$(cat a/Sources.xml)" = precious ] || fail "an unreadable macros file let a run write"
printf '\\def\\TUB{TUGboat}\n' > a/tub.tex && printf '@book{t, title = {\\TUB\\ 1 \\Dash}}\n' > b/tub.bib
run 0 -t --macros a/tub.tex b/tub.bib && has b/Sources.xml "<b:Title>TUGboat 1 \\Dash</b:Title>" && has "$err" "b/tub.bib: 1 record keeps commands it does not define: \\Dash ×1; define them with --macros FILE"

# --- one merged document with -o
run 0 -o merged.xml a/refs.bib b/refs.bib
[ "$(count_in merged.xml '<?xml')" -eq 1 ] || fail "more than one header"
[ "$(count_in merged.xml '<b:Source>')" -eq 3 ] || fail "expected 3 records"
grep -n '<b:Tag>' merged.xml | tr '\n' ' ' | grep -q 'one.*two.*three' || fail "records out of order"
echo precious > kept.xml && run 1 -o kept.xml a/refs.bib a/nope.bib && has "$err" "nothing written to 'kept.xml'"
[ "$(cat kept.xml)" = precious ] || fail "a failed merge changed its output"

# --- --merge into an existing source list
ns=http://schemas.openxmlformats.org/officeDocument/2006/bibliography
mine='<b:Source><b:Tag>mine</b:Tag><b:Extra x="1"/></b:Source>'
printf '<b:Sources xmlns:b="%s">%s<b:Source><b:Tag>two</b:Tag></b:Source></b:Sources>' "$ns" "$mine" > list.xml
run 0 -o list.xml --merge a/refs.bib && has "$err" "merged into $work/list.xml: 1 source kept, 1 replaced, 1 added"
has list.xml "<b:Sources xmlns:b=\"$ns\">$mine<b:Source>"
grep -n '<b:Tag>' list.xml | tr '\n' ' ' | grep -q 'mine.*two.*one' || fail "records out of place"
[ "$(count_in list.xml '<b:Tag>two</b:Tag>')" -eq 1 ] || fail "'two' not replaced"
echo '<html></html>' > page.xml && run 1 -o page.xml --merge a/refs.bib && has "$err" "bibsources: 'page.xml' is not a bibliography source list (its root element is 'html'); nothing was written"
[ "$(cat page.xml)" = '<html></html>' ] || fail "--merge changed a file that is not a source list"

# --- an input of which not one entry could be read is a failure: its empty
# document never replaces one that has records
mkdir u && cd u || exit 1
broken='@article{x, title = {t} year = 2000}\n@book{y title = {T}}\n'
printf '%b' "$broken" > refs.bib && book good > good.bib
printf '%b' "@book{good, title = {G}}\n$broken" > some.bib
# Bytes that are no BibTeX at all, with an entry start now and then.
s=12345
for ((i = 0; i < 20000; i++)); do
    s=$(((s * 1103515245 + 12345) & 0xffffffff))
    ((i % 997)) && printf -v byte '\\0%03o' $(((s >> 16) & 255)) || byte=@
    printf '%b' "$byte"
done > noise.bib
run 1 refs.bib && has "$err" "refs.bib: no entry could be read (2 skipped); Sources.xml not written"
[ -e Sources.xml ] && fail "an unreadable input wrote a document"
echo precious > Sources.xml
run 1 noise.bib && has "$err" "bibsources: noise.bib: no entry could be read (" " skipped); Sources.xml left as it was"
run 1 refs.bib && has "$err" "bibsources: refs.bib: no entry could be read (2 skipped); Sources.xml left as it was"
run 1 -o Sources.xml good.bib refs.bib && has "$err" "refs.bib: no entry could be read (2 skipped)" "nothing written to 'Sources.xml'"
run 1 -o - refs.bib && has "$err" "refs.bib: no entry could be read (2 skipped)" && [ ! -s "$out" ] || fail "wrote to stdout"
[ "$(cat Sources.xml)" = precious ] || fail "an unreadable input replaced a document"
run 0 some.bib && has "$err" "some.bib: 1 source, 2 entries skipped" && has Sources.xml "<b:Tag>good</b:Tag>"
# Nor is one of text without a single entry: prose, a binary file (here
# without an "@"), prose whose only "@" is in a comment; in plain and tidy form.
printf 'Dear reader,\n\nthis is a letter.\n' > letter.bib
printf '%% mail me@example.org\n\n  Dear reader\n' > mailed.bib
head -c 4000 "$bibsources" | tr '@' '.' > binary.bib
echo precious > Sources.xml
for mode in "" --tidy; do
    run 1 $mode letter.bib && has "$err" "bibsources: letter.bib: not BibTeX: no entry in it, only other text (from line 1); Sources.xml left as it was"
    run 1 $mode mailed.bib && has "$err" "mailed.bib: not BibTeX: no entry in it, only other text (from line 3)"
    run 1 $mode binary.bib && has "$err" "binary.bib: not BibTeX: no entry in it, only other text (from line 1)"
    run 1 $mode -o - letter.bib && [ ! -s "$out" ] || fail "wrote to stdout"
done
[ "$(cat Sources.xml)" = precious ] || fail "text without entries replaced a document"
# An input without entries, blank or holding only comments (text beside
# comment entries is a comment too), still writes the empty document.
empty="<?xml version=\"1.0\"?>
<b:Sources SelectedStyle=\"\" xmlns:b=\"$ns\" xmlns=\"$ns\">
</b:Sources>"
for text in '' ' \n\t\r\n' '% a note\n  % another\n' '% a note\n@comment{nothing here}\n' 'A note\n@comment{x}\n'; do
    echo precious > Sources.xml
    printf '%b' "$text" > none.bib
    run 0 none.bib && has "$err" "none.bib: 0 sources"
    printf '%s\n' "$empty" | cmp -s - Sources.xml || fail "not the empty document: $(cat Sources.xml)"
done
cd ..

# --- where the document goes: the checks made before anything is read, and
# the kinds of target a run writes into or replaces; each in a fresh folder t
bib=$(book a; book b)
scene() { cd "$work" && rm -rf t && mkdir -m 777 t && cd t && echo "$bib" > refs.bib && echo precious > Sources.xml; }
same() { [ "$(cat "$1")" = "$2" ] || fail "$1 changed: $(cat "$1")"; }
kept() { same refs.bib "$bib" && same Sources.xml precious && [ "$(ls -A | tr '\n' ' ')" = "Sources.xml refs.bib " ] && [ ! -s "$out" ] || fail "left $(ls -A), stdout $(wc -c <"$out") bytes"; }
doc() { head -1 "$1" | grep -q '^<?xml' && has "$1" '<b:Tag>b</b:Tag>' && [ "$(tail -1 "$1")" = '</b:Sources>' ] || fail "no document in $1"; }
scene && run 2 -o refs.bib refs.bib && has "$err" "the output 'refs.bib' is the input 'refs.bib'" && kept
scene && ln -s refs.bib alias.xml && run 2 -o alias.xml refs.bib && has "$err" "is the input 'refs.bib'" && same refs.bib "$bib"
scene && ln refs.bib hard.xml && run 2 -o hard.xml refs.bib && has "$err" "is the input 'refs.bib'" && same hard.xml "$bib"
scene && run 2 -o refs.bib - < refs.bib && has "$err" "is the input standard input" && kept
# The table of fields never takes the place of an input, a macros file or the document.
scene && run 2 -t --report refs.bib refs.bib && has "$err" "the report 'refs.bib' is the input 'refs.bib'" && kept
scene && printf '%s\n' '\def\X{x}' > defs.tex && run 2 -t --macros defs.tex --report defs.tex refs.bib \
    && has "$err" "the report 'defs.tex' is the macros file 'defs.tex'" && same defs.tex '\def\X{x}'
scene && run 2 -t --report Sources.xml refs.bib && has "$err" "the report 'Sources.xml' is the output" && kept
scene && run 2 -t -o out.xml --report ./out.xml refs.bib && has "$err" "the report './out.xml' is the output" && kept
scene && cp refs.bib Sources.xml && run 2 Sources.xml && same Sources.xml "$bib"
has "$err" "would be replaced by its own Sources.xml; use -o OUTPUT"
scene && run 2 /dev/stdin < refs.bib && has "$err" "use -o OUTPUT" && kept
scene && run 2 /dev/fd/3 && has "$err" "'/dev/fd/3' is an open descriptor" && kept
scene && run 0 -o out.xml /proc/self/fd/0 < refs.bib && has "$err" "standard input: 2 sources" && doc out.xml
# A symbolic link stays and its file is replaced, or made when it dangles.
scene && mkdir lists && echo precious > lists/master.xml && ln -s lists/master.xml linked.xml
run 0 -o linked.xml refs.bib && [ -L linked.xml ] && [ "$(ls lists)" = master.xml ] && doc lists/master.xml || fail "link"
scene && ln -s elsewhere.xml new.xml && run 0 -o new.xml refs.bib && [ -L new.xml ] && doc elsewhere.xml || fail "link"
# A replaced file keeps its permissions, and its owner when root runs it.
scene && chmod 604 Sources.xml && run 0 refs.bib && [ "$(stat -c %a Sources.xml)" = 604 ] && doc Sources.xml || fail 604
if scene && chown 65534:65534 Sources.xml 2>/dev/null; then
    run 0 refs.bib && [ "$(stat -c %u:%g Sources.xml)" = 65534:65534 ] || fail owner
fi
# A FIFO is written into: held open for reading and writing, so the run's open
# cannot block, until the reader has what the run wrote.
scene && mkfifo pipe.xml && exec 3<> pipe.xml && { cat pipe.xml > ../got.xml 3>&- & }
run 0 -o pipe.xml refs.bib && has "$err" "2 sources" && [ -p pipe.xml ] || fail fifo
exec 3>&- && wait $! && doc ../got.xml
if scene && mknod null.xml c 1 3 2>/dev/null; then run 0 -o null.xml refs.bib && has "$err" "2 sources" && [ -c null.xml ] || fail device; fi
# Standard input stays open and empty: a run that began reading would wait
# for it until killed.
scene && exec 4< <(sleep 600) && sleeper=$!
as="timeout 20" run 1 -o missing/x.xml - <&4 && has "$err" "cannot write 'missing/x.xml': No such file or directory" && kept
exec 4<&- && kill $sleeper
if [ "$(id -u)" = 0 ]; then
    nobody="setpriv --reuid=65534 --regid=65534 --clear-groups"
    scene && chmod 444 Sources.xml && as=$nobody run 1 refs.bib && has "$err" "cannot replace './Sources.xml': permission denied" && kept
    scene && mkdir nw && cp refs.bib nw && echo precious > nw/Sources.xml && chmod 666 nw/Sources.xml && chmod 555 nw
    as=$nobody run 1 nw/refs.bib && has "$err" "cannot create a temporary file in 'nw/': Permission denied"
    same nw/Sources.xml precious && [ "$(ls -A nw | tr '\n' ' ')" = "Sources.xml refs.bib " ] || fail "left $(ls -A nw)"
    scene && as=$nobody run 0 -o /dev/null refs.bib && has "$err" "2 sources -> /dev/null" && [ -c /dev/null ] || fail null
fi

# --- standard output gets the document a file gets, and nothing when an input fails
scene && for ((i = 0; i < 2000; i++)); do book "k$i"; done > refs.bib && cp refs.bib ../big.bib && run 0 -o file.xml refs.bib
run 0 -o - refs.bib && cmp -s "$out" file.xml || fail "not the document written to a file"
out=/dev/full run 1 -o - refs.bib && has "$err" "bibsources: cannot write to standard output: No space left on device"
run 1 -o - refs.bib missing.bib && [ ! -s "$out" ] && [ "$(ls -A | tr '\n' ' ')" = "Sources.xml file.xml refs.bib " ] || fail "left $(ls -A)"

# --- a run ended by a signal, a file size limit standing for a full disk, or
# closed standard descriptors: no temporary file left, no output damaged. The
# temporary file is unnamed (O_TMPFILE, "FOLDER/#INODE (deleted)" to the
# kernel) or, with the preloaded library that refuses those as some file
# systems do, named after the target. Without that library (a sanitized build
# refuses it), the named rows are left out. Each run starts with every signal
# as a terminal gives it, whatever the test was started with.
# fresh [named]: the command that starts such a run, in the folder t.
fresh() { echo "env --default-signal TMPDIR=$PWD ${1:+LD_PRELOAD=$refuse}"; }
# made PID TARGET [named]: whether the run has made its temporary file.
made() { [ -n "${3:-}" ] && compgen -G ".$2.*" >/dev/null || ls -l "/proc/$1/fd" 2>/dev/null | grep -qF " -> $(pwd -P)/#"; }
# Standard input gives the start of a .bib and then nothing, so a run stays
# busy, on any machine, until the signal ends it.
mkfifo "$work/feed" && exec 5<>"$work/feed"
for row in "INT Sources.xml" "TERM Sources.xml" "HUP Sources.xml" "PIPE Sources.xml" "KILL Sources.xml" \
    "INT out.xml named" "TERM Sources.xml named" "HUP out.xml named" "PIPE Sources.xml named"; do
    read -r signal target named <<<"$row"
    [ -n "$named" ] && [ -z "$refuse" ] && continue
    scene && echo precious > "$target" && before=$(ls -A | tr '\n' ' ') && name="SIG$signal, $target${named:+, named}"
    book a >&5
    $(fresh $named) "$bibsources" -o "$target" - <&5 2>"$err" &
    pid=$!
    eventually made $pid "$target" $named || fail "the run made no temporary file"
    kill -s "$signal" $pid
    wait $pid 2>/dev/null # without the shell's note of how it ended
    status=$?
    [ $status -gt 128 ] && [ "$(kill -l $status)" = "$signal" ] || fail "exit status $status; $(cat "$err")"
    same "$target" precious && [ "$(ls -A | tr '\n' ' ')" = "$before" ] || fail "left $(ls -A)"
done
exec 5>&-
for named in "" ${refuse:+named}; do
    scene && as="$(fresh $named) prlimit --fsize=65536" run 1 -o Sources.xml ../big.bib && kept &&
        has "$err" "cannot write 'Sources.xml': File too large"
done
scene && as="$(fresh) prlimit --fsize=65536" run 1 -o - ../big.bib && kept &&
    has "$err" "until it is complete: File too large"
# Started with standard descriptors closed, a run must not give their numbers
# to its own files: what it prints would land in them. It writes into a FIFO
# that no one reads yet and waits there, its document in an unnamed file,
# while each closed one is seen to be open on /dev/null.
scene && { head -50 ../big.bib && echo '@article{x, title = {t} year = 2000}'; } > input.bib && run 0 -o expected.xml input.bib
mkfifo pipe.xml
for closed in 2 1 0 "0 1 2"; do
    name="closed: $closed"
    eval "$(fresh) \"\$bibsources\" -o pipe.xml input.bib 2>\"\$err\" $(printf '%s>&- ' $closed) &"
    pid=$!
    eventually made $pid pipe.xml || fail "the run made no temporary file"
    for fd in $closed; do
        [ "$(readlink "/proc/$pid/fd/$fd")" = /dev/null ] || fail "descriptor $fd is $(readlink "/proc/$pid/fd/$fd")"
    done
    timeout 60 cat pipe.xml > got.xml && wait $pid && cmp -s got.xml expected.xml || fail "not the document a run writes"
done
cd "$work" || exit 1

# --- every message starts with the file it is about, its name shown escaped,
# or with the program's name; none holds a raw control character
printf '@article{x, title = {\e[31mred} ye\ear = 2000}\n@book{k\e[31m, title={T}}\n@book{ok, title = {fine}}\n' > escape.bib
# named SHOWN [SUMMARY]: each line of $err starts with SHOWN, with SUMMARY (the summary's
# name for the input when it is not SHOWN), or with the program's; more than two lines.
named() {
    local line lines=0
    while IFS= read -r line; do
        lines=$((lines + 1))
        [[ $line == "$1"* || $line == "${2:-$1}"* || $line == "bibsources: "* || $line == "merged into $work/list\\x1b[31m.xml: "* ]] || fail "unnamed: $line"
    done < "$err"
    LC_ALL=C grep -q '[[:cntrl:]]' "$err" && fail "a raw control character: $(cat -v "$err")"
    [ $lines -gt 2 ] && has "$err" "$1: invalid token near line 2 (text was '\\x1b')" "$1, line 1, syntax error"
}
files=($'evil\e]0;owned\a.bib' $'two\nlines.bib') shown=('evil\x1b]0;owned\x07.bib' 'two\x0alines.bib')
for i in 0 1; do
    cp escape.bib "${files[i]}"
    run 0 "${files[i]}" && named "${shown[i]}"
    run 0 -o - "${files[i]}" && named "${shown[i]}"
    run 0 -q -o x "${files[i]}"
    # The second list run merges into what the first wrote.
    run 0 -o $'list\e[31m.xml' "${files[i]}" && named "${shown[i]}"
    run 0 --merge -o $'list\e[31m.xml' "${files[i]}" && named "${shown[i]}"
done
# --- standard input and standard output; every message about standard input names it
run 0 -o - - < b/refs.bib && has "$out" "<b:Tag>three</b:Tag>"
run 0 -o - - < escape.bib && named "(standard input)" "standard input: "

# --- the tidy mapping: a Guid per record, no LCID, a warning for a repeated key
printf '@string{s = "x"}\n@book{one, title = {A}}\n@book{one, title = {B}, year = 2001}\n' > tidy.bib
run 0 --tidy -o tidy.xml tidy.bib && has "$err" "repeats the key 'one'; tagged Anonymous2001"
[ "$(count_in tidy.xml '<b:Guid>{')" -eq 2 ] || fail "expected two records with a Guid"
[ "$(count_in tidy.xml '<b:LCID>')" -eq 0 ] || fail "wrote an LCID"
run 0 -t -o - tidy.bib && has "$out" "<b:Tag>Anonymous2001</b:Tag>"
# A parent let go before its child named it is read again, from standard input too.
printf '@book{parent, title = {Proc}}\n@book{other}\n@inbook{child, crossref = {parent}}\n' > again.bib
run 0 --tidy -o - - < again.bib && has "$out" "<b:BookTitle>Proc</b:BookTitle>"
run 0 -o plain.xml tidy.bib
[ "$(count_in plain.xml '<b:LCID>')" -eq 3 ] || fail "the default mapping changed"

# --- awkward paths
mkdir "with space" "ünï" dash && book dashed > dash/-q.bib
book spaced > "with space/my refs.bib" && book unicode > "ünï/réfs.bib"
run 0 "with space/my refs.bib" && [ -f "with space/Sources.xml" ] || fail "no output"
run 0 "ünï/réfs.bib" && [ -f "ünï/Sources.xml" ] || fail "no output"
(cd dash && "$bibsources" -- -q.bib >/dev/null 2>&1) && [ -f dash/Sources.xml ] || fail "leading dash after --"

finish
