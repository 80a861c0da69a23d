#!/usr/bin/env bash
# Checks a built bibsources .deb without installing it system-wide: its
# control data, that every file lies in a usual FHS place, and that the
# command unpacked into a scratch folder (dpkg -x) converts a sample with the
# parser helper from the same package.
#
# usage: packaging/check-deb.sh build-pkg/bibsources_*_amd64.deb [sample.bib]
set -uo pipefail

deb=${1:?usage: check-deb.sh PACKAGE.deb [SAMPLE.bib]}
sample=${2:-}
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

echo "== $(basename "$deb"): $(stat -c %s "$deb") bytes"
dpkg-deb -I "$deb" | sed -n '/^ [A-Z][A-Za-z-]*:/,$p'

# Dependencies the programs cannot run without.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libbtparse2 libseccomp2 libxml2 libutf8proc2 libstdc++6; do
    if [[ ",$depends" != *", $library"* && "$depends" != "$library"* ]]; then
        fail "Depends lacks $library: $depends"
    fi
done

# Every path in the package is one of the places Debian keeps such files.
while read -r path; do
    case "$path" in
        ./usr/ | ./usr/bin/ | ./usr/bin/bibsources | ./usr/bin/bibsources-gui) ;;
        ./usr/libexec/ | ./usr/libexec/bibsources/ | ./usr/libexec/bibsources/bibsources-parse) ;;
        ./usr/share/ | ./usr/share/applications/* | ./usr/share/metainfo/*) ;;
        ./usr/share/icons/ | ./usr/share/icons/hicolor/*) ;;
        ./usr/share/man/ | ./usr/share/man/man1/ | ./usr/share/man/man1/bibsources.1.gz) ;;
        ./usr/share/doc/ | ./usr/share/doc/bibsources/*) ;;
        *) fail "unexpected path in the package: $path" ;;
    esac
done < <(dpkg-deb -c "$deb" | awk '{print $6}')
# Read whole before searching: grep -q stopping early would break the pipe.
listing=$(dpkg-deb -c "$deb")
if ! grep -q ' ./usr/libexec/bibsources/bibsources-parse$' <<<"$listing"; then
    fail "the package holds no parser helper"
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/bibsources-deb.XXXXXX")
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root/tree"
echo "== unpacked into $root/tree: $(find "$root/tree" -type f | wc -l) files, $(du -sk "$root/tree" | cut -f1) KiB"

# Libraries the unpacked programs cannot find on this machine.
for program in "$root"/tree/usr/bin/* "$root"/tree/usr/libexec/bibsources/*; do
    if [ -f "$program" ] && ldd "$program" | grep -q 'not found'; then
        fail "$(basename "$program") misses libraries: $(ldd "$program" | grep 'not found' | tr -s ' \t' ' ')"
    fi
done

mkdir "$root/papers"
if [ -n "$sample" ]; then
    cp "$sample" "$root/papers/refs.bib"
else
    cat >"$root/papers/refs.bib" <<'EOF'
@article{knuth84,
  author  = {Knuth, Donald E.},
  title   = {Literate Programming and {\'E}tudes},
  journal = {The Computer Journal},
  year    = 1984
}
EOF
fi
unset BIBSOURCES_WORKER
"$root/tree/usr/bin/bibsources" --version
(cd "$root/papers" && "$root/tree/usr/bin/bibsources" refs.bib)
status=$?
if [ $status -ne 0 ] || [ ! -s "$root/papers/Sources.xml" ]; then
    fail "the unpacked bibsources did not convert the sample (status $status)"
else
    echo "== Sources.xml: $(grep -c '<b:Source>' "$root/papers/Sources.xml") records, $(stat -c %s "$root/papers/Sources.xml") bytes"
    head -n 12 "$root/papers/Sources.xml"
fi
# Without the unpacked helper the command must fail, not find another one.
rm "$root/tree/usr/libexec/bibsources/bibsources-parse" 2>/dev/null
rm -f "$root/papers/Sources.xml"
(cd "$root/papers" && "$root/tree/usr/bin/bibsources" refs.bib 2>"$root/stderr")
status=$?
if [ $status -ne 1 ] || [ -e "$root/papers/Sources.xml" ]; then
    fail "with its helper removed, the unpacked bibsources gave status $status"
else
    echo "== helper removed: status 1: $(head -n1 "$root/stderr")"
fi

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "package OK"
