# Sourced by the shell tests: a scratch folder $work, removed on exit, that is
# the current folder; running the built bibsources (set $bibsources first); the
# checks; the tally; and stopping where a tool is missing.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && chmod 755 "$work" || exit 1
out=$work/out err=$work/err as= name=

failures=0 passes=0
fail() { echo "FAIL: ${name:+$name: }$*" >&2; failures=$((failures + 1)); }
# pass [WHAT]: counts a passed check, saying what it was when told.
pass() { [ $# -eq 0 ] || echo "ok: $*"; passes=$((passes + 1)); }
# [as=COMMAND] run EXPECTED_STATUS ARGS... : keeps stdout/stderr in $out/$err.
run() {
    local expected=$1 status && shift && name="$*"
    $as "$bibsources" "$@" >"$out" 2>"$err"
    status=$?
    [ "$status" -eq "$expected" ] || { fail "exit status $status, expected $expected; stderr: $(cat "$err")"; return 1; }
    pass
}
# has FILE TEXT... : each text is in the file; lacks: none is.
has() { local file=$1 text && shift && for text; do grep -qF -- "$text" "$file" || fail "$file lacks '$text'"; done; }
lacks() { local file=$1 text && shift && for text; do grep -qF -- "$text" "$file" && fail "$file has '$text'"; done; }
# eventually COMMAND... : polls until the command succeeds; fails after a minute.
eventually() { local i && for ((i = 0; i < 3000; i++)); do "$@" && return; sleep 0.02; done && return 1; }
# count_in FILE TEXT : how often the text occurs.
count_in() { grep -oF -- "$2" "$1" | wc -l; }
# Says how it went, and gives the status: the script's last command.
finish() { echo "$passes passed, $failures failed" && [ "$failures" -eq 0 ]; }
# require TOOL... : fails the test where a tool scripts/install-deps installs is missing.
require() { local tool && for tool; do command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed; scripts/install-deps test installs it" >&2 && exit 1; }; done; }
# need TOOL... : skips the test (status 77) where an optional tool is not installed.
need() { local tool && for tool; do command -v "$tool" >/dev/null || { echo "$tool is not installed; skipped" && exit 77; }; done; }
