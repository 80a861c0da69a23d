#!/usr/bin/env bash
# Our own reader against btparse, through the whole program: for every .bib
# of the samples (all folders), every .bib TeX Live installs and every file of
# the fuzz corpora, `bibsources --reader=own` and `--reader=btparse` must
# write the same document, byte for byte, plain and --tidy, with the same
# messages and exit status. The samples are also read from standard input,
# and with a UTF-8 and a UTF-16 byte-order mark.
# An input on which btparse crashes, stalls or runs out of memory is not
# compared: there the helper loses an entry that our reader keeps. Each
# difference is shown; the counts are printed at the end.
# Usage: test_reader_differential.sh PATH/TO/bibsources DATA_DIR CORPUS_DIR
set -u
bibsources=$(realpath "$1")
data=$(realpath "$2")
corpora=$(realpath "$3")
mapfile -t samples < <(find "$data" -name '*.bib' | sort)
mapfile -t texlive < <(find /usr/share/texlive /usr/share/texmf -name '*.bib' 2>/dev/null | sort)
mapfile -t fuzzed < <(find "$corpora" -type f | sort)
source "$(dirname "$0")/../support/shell.sh"
[ ${#texlive[@]} -gt 0 ] || fail "no TeX Live .bib files; scripts/install-deps test installs them"

compared=0 records=0 messages=0 differences=0
declare -a crashed=() known=()

# Inputs our reader does not yet read quite as btparse does (the reader's
# own tests list them too), with why; any other difference fails, and these
# come off the list as the reader learns them.
declare -A knownDifferences=()
knownWhy() {
    local file
    for file in "${!knownDifferences[@]}"; do
        [[ $1 == "$corpora/$file" ]] && echo "${knownDifferences[$file]}" && return
    done
}

# read_with READER MODE INPUT [< FILE]: the document, messages and status in
# $work/READER.{xml,err,status}.
read_with() {
    local reader=$1 mode=$2 input=$3
    "$bibsources" --reader="$reader" $mode -o - "$input" >"$work/$reader.xml" 2>"$work/$reader.err"
    echo $? >"$work/$reader.status"
}

# compare LABEL MODE INPUT [FILE for standard input]
compare() {
    local label=$1 mode=$2 input=$3 stdin=${4:-/dev/null}
    read_with btparse "$mode" "$input" <"$stdin"
    if grep -qE 'the parser (crashed|took too long|ran out of memory) on it' "$work/btparse.err"; then
        crashed+=("$label")
        return
    fi
    read_with own "$mode" "$input" <"$stdin"
    compared=$((compared + 1))
    records=$((records + $(grep -c '<b:Source>' "$work/btparse.xml")))
    messages=$((messages + $(wc -l <"$work/btparse.err")))
    local what why
    why=$(knownWhy "$input")
    for what in status err xml; do
        if ! cmp -s "$work/btparse.$what" "$work/own.$what"; then
            differences=$((differences + 1))
            if [ -n "$why" ]; then
                known+=("$label ${mode:-plain}: the $what differs, as is known: $why")
                return
            fi
            fail "$label ${mode:-plain}: the $what differs (< btparse, > own):"
            diff "$work/btparse.$what" "$work/own.$what" | head -20 >&2
            return
        fi
    done
    [ -z "$why" ] || echo "$label ${mode:-plain}: now read alike; take it off the known differences"
    pass
}

for input in "${samples[@]}" "${texlive[@]}" "${fuzzed[@]}"; do
    for mode in "" --tidy; do
        compare "$input" "$mode" "$input"
    done
done
for input in "${samples[@]}"; do
    for mode in "" --tidy; do
        compare "$input (standard input)" "$mode" - "$input"
    done
done
# The samples with a byte-order mark: UTF-8's, stepped over, and UTF-16's,
# turned into UTF-8 first (those that are not all UTF-8 are left out).
marked=0
mkdir "$work/marked"
for input in "${samples[@]}"; do
    iconv -f UTF-8 -t UTF-8 "$input" >/dev/null 2>&1 || continue
    name=$(basename "$input" .bib)
    { printf '\xEF\xBB\xBF' && cat "$input"; } >"$work/marked/$name.utf8.bib"
    iconv -f UTF-8 -t UTF-16 "$input" >"$work/marked/$name.utf16.bib"
    for copy in "$work/marked/$name".utf8.bib "$work/marked/$name".utf16.bib; do
        marked=$((marked + 1))
        for mode in "" --tidy; do
            compare "$input (as $(basename "$copy"))" "$mode" "$copy"
        done
    done
done

echo "files: ${#samples[@]} samples (and $marked copies with a byte-order mark), ${#texlive[@]} from TeX Live," \
    "${#fuzzed[@]} of the fuzz corpora"
echo "compared: $compared runs, $records records, $messages message lines; $differences differ" \
    "(${#known[@]} known)"
[ ${#crashed[@]} -eq 0 ] || printf 'not compared, btparse lost an entry: %s\n' "${crashed[@]}"
[ ${#known[@]} -eq 0 ] || printf '%s\n' "${known[@]}"
finish
