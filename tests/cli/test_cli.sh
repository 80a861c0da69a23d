#!/usr/bin/env bash
# Runs the built bibsources as a user would and checks exit statuses, what it
# says on stderr, and what it writes. Usage: test_cli.sh PATH/TO/bibsources
set -u
bibsources=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

failures=0
passes=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# run NAME EXPECTED_STATUS ARGS... : runs in $work, keeps stdout/stderr in out/err.
run() {
    local name=$1 expected=$2
    shift 2
    "$bibsources" "$@" >out 2>err
    local status=$?
    if [ "$status" -ne "$expected" ]; then
        fail "$name: exit status $status, expected $expected; stderr: $(cat err)"
        return 1
    fi
    passes=$((passes + 1))
}
expect_err() { grep -qF -- "$2" err || fail "$1: stderr lacks '$2': $(cat err)"; }
expect_out() { grep -qF -- "$2" out || fail "$1: stdout lacks '$2'"; }
expect_file_has() { grep -qF -- "$3" "$2" || fail "$1: $2 lacks '$3'"; }
count_in() { grep -cF -- "$2" "$1"; }

book() { printf '@book{%s, title = {%s}}\n' "$1" "$1"; }

mkdir a b
book one > a/refs.bib
book two >> a/refs.bib
book three > b/refs.bib

# --- usage errors: status 2 and a pointer to --help
run "no input" 2 && expect_err "no input" "no input file given" && expect_err "no input" "--help"
run "unknown option" 2 --frobnicate a/refs.bib && expect_err "unknown option" "unknown option '--frobnicate'"
run "-o without a value" 2 a/refs.bib -o && expect_err "-o without a value" "-o needs a value"
run "-o twice" 2 -o x.xml -o y.xml a/refs.bib && expect_err "-o twice" "-o given twice"
book four > a/more.bib
run "two inputs, one folder" 2 a/refs.bib a/more.bib && expect_err "two inputs, one folder" "would both write"
[ -e a/Sources.xml ] && fail "a usage error wrote a file"
run "stdin without -o" 2 - && expect_err "stdin without -o" "use -o OUTPUT"

# --- help and version on stdout, status 0
run "help" 0 --help && expect_out "help" "usage: bibsources" && expect_out "help" "exit status"
run "version" 0 --version && grep -qE '^bibsources [0-9]+\.[0-9]+\.[0-9]+$' out || fail "version: $(cat out)"

# --- one Sources.xml beside each input
run "two folders" 0 a/refs.bib b/refs.bib
expect_err "two folders" "a/refs.bib: 2 sources -> $work/a/Sources.xml"
expect_err "two folders" "b/refs.bib: 1 source -> $work/b/Sources.xml"
expect_file_has "two folders" a/Sources.xml "<b:Tag>two</b:Tag>"
expect_file_has "two folders" b/Sources.xml "<b:Tag>three</b:Tag>"

run "quiet" 0 -q b/refs.bib && [ ! -s err ] || fail "quiet: stderr not empty: $(cat err)"

printf '@book{good, title = {G}}\n\n@article{bad, title = {x} year = 2000}\n\n@book{after, title = {A}}\n' > b/skips.bib
run "skipped entries" 0 b/skips.bib && expect_err "skipped entries" "2 sources, 1 entry skipped"
expect_err "skipped entries" "syntax error"

# --- failures: status 1, the file and the reason, nothing else touched
echo precious > a/Sources.xml
run "missing input" 1 a/nope.bib
expect_err "missing input" "bibsources: cannot open 'a/nope.bib': No such file or directory"
mkdir x.bib
run "folder as input" 1 x.bib && expect_err "folder as input" "cannot open 'x.bib': it is a directory"
run "one bad among two" 1 a/nope.bib b/refs.bib
expect_err "one bad among two" "b/refs.bib: 1 source"  # the good one is still converted
[ "$(cat a/Sources.xml)" = precious ] || fail "a failed run changed an existing Sources.xml"

# --- one merged document with -o
run "merged" 0 -o merged.xml a/refs.bib b/refs.bib
[ "$(count_in merged.xml '<?xml')" -eq 1 ] || fail "merged: more than one header"
[ "$(count_in merged.xml '<b:Source>')" -eq 3 ] || fail "merged: expected 3 records"
grep -n '<b:Tag>' merged.xml | tr '\n' ' ' | grep -q 'one.*two.*three' || fail "merged: records out of order"
echo precious > kept.xml
run "merged with a bad input" 1 -o kept.xml a/refs.bib a/nope.bib
expect_err "merged with a bad input" "nothing written to 'kept.xml'"
[ "$(cat kept.xml)" = precious ] || fail "a failed merge changed its output"

# --- --merge into an existing source list
run "--merge without -o" 2 --merge a/refs.bib && expect_err "--merge without -o" "--merge needs -o LIST"
run "--merge to stdout" 2 --merge -o - a/refs.bib && expect_err "--merge to stdout" "--merge needs -o LIST"
ns=http://schemas.openxmlformats.org/officeDocument/2006/bibliography
mine='<b:Source><b:Tag>mine</b:Tag><b:Extra x="1"/></b:Source>'
printf '<b:Sources xmlns:b="%s">%s<b:Source><b:Tag>two</b:Tag></b:Source></b:Sources>' "$ns" "$mine" > list.xml
run "--merge" 0 -o list.xml --merge a/refs.bib
expect_err "--merge" "merged into $work/list.xml: 1 source kept, 1 replaced, 1 added"
expect_file_has "--merge" list.xml "<b:Sources xmlns:b=\"$ns\">$mine<b:Source>"
grep -n '<b:Tag>' list.xml | tr '\n' ' ' | grep -q 'mine.*two.*one' || fail "--merge: records out of place"
[ "$(count_in list.xml '<b:Tag>two</b:Tag>')" -eq 1 ] || fail "--merge: 'two' not replaced"
echo '<html></html>' > page.xml
run "--merge into a page" 1 -o page.xml --merge a/refs.bib
expect_err "--merge into a page" "bibsources: 'page.xml' is not a bibliography source list (its root element is 'html'); nothing was written"
[ "$(cat page.xml)" = '<html></html>' ] || fail "--merge changed a file that is not a source list"

# --- standard input and standard output
run "stdin to stdout" 0 -o - - < b/refs.bib
expect_out "stdin to stdout" "<b:Tag>three</b:Tag>"
head -c 22 out | grep -qx '<?xml version="1.0"?>' || fail "stdout does not start with the XML declaration"
xmllint --noout out 2>/dev/null || fail "stdout is not well-formed XML"

# --- the tidy mapping: a Guid per record, no LCID, a warning for a repeated key
printf '@string{s = "x"}\n@book{one, title = {A}}\n@book{one, title = {B}, year = 2001}\n' > tidy.bib
run "tidy" 0 --tidy -o tidy.xml tidy.bib && expect_err "tidy" "repeats the key 'one'; tagged Anonymous2001"
[ "$(count_in tidy.xml '<b:Guid>{')" -eq 2 ] || fail "tidy: expected two records with a Guid"
[ "$(count_in tidy.xml '<b:LCID>')" -eq 0 ] || fail "tidy: wrote an LCID"
run "tidy short" 0 -t -o - tidy.bib && expect_out "tidy short" "<b:Tag>Anonymous2001</b:Tag>"
run "plain" 0 -o plain.xml tidy.bib
[ "$(count_in plain.xml '<b:LCID>')" -eq 3 ] || fail "plain: the default mapping changed"

# --- awkward paths
mkdir "with space" "ünï" 
book spaced > "with space/my refs.bib"
run "space in path" 0 "with space/my refs.bib" && [ -f "with space/Sources.xml" ] || fail "space in path: no output"
book unicode > "ünï/réfs.bib"
run "non-ASCII path" 0 "ünï/réfs.bib" && [ -f "ünï/Sources.xml" ] || fail "non-ASCII path: no output"
mkdir dash && book dashed > dash/-q.bib
(cd dash && "$bibsources" -- -q.bib >/dev/null 2>&1) && [ -f dash/Sources.xml ] || fail "leading dash after --"
passes=$((passes + 1))

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
