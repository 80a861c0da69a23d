#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the installed tree the
# way a user's machine would see it: the programs start, the command converts
# with the installed parser helper, and the desktop file, AppStream data and
# manual page pass their validators.
#
# The environment gives: CMAKE (the cmake program), BUILD_DIR, VERSION,
# WITH_GUI and WITH_WORKER (ON/OFF), and the install directories BINDIR,
# LIBEXECDIR, DATADIR, MANDIR relative to the prefix.
set -uo pipefail
# The installed programs must find their helper on their own.
unset BIBSOURCES_WORKER

appId=org.bibsources.Bibsources
pass() { echo "ok: $*" && passes=$((passes + 1)); }
isOn() {
    case "${1^^}" in
        ON | 1 | YES | TRUE) return 0 ;;
    esac
    return 1
}

for tool in desktop-file-validate appstreamcli man readelf; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL: $tool is missing; scripts/install-deps installs it" >&2
        exit 1
    fi
done

source "$(dirname "$0")/../support/shell.sh"

# --- Install, then move the tree -------------------------------------------
# The tree is installed under one name and used under another, so nothing
# that remembers the prefix it was installed to (or the build tree) can be
# what makes it work.
if ! "$CMAKE" --install "$BUILD_DIR" --prefix "$work/first" >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    echo "FAIL: cmake --install" >&2
    exit 1
fi
mv "$work/first" "$work/prefix"
prefix=$work/prefix
bin=$prefix/$BINDIR
helperDir=$prefix/$LIBEXECDIR/bibsources
helper=$helperDir/bibsources-parse
share=$prefix/$DATADIR
icons=$share/icons/hicolor
manPage=$prefix/$MANDIR/man1/bibsources.1.gz

# --- Nothing is installed outside the expected places -------------------------
expected=("$BINDIR/bibsources" "$MANDIR/man1/bibsources.1.gz" "$DATADIR/doc/bibsources/copyright"
    "$DATADIR/bibsources/word-citations.lua")
if isOn "$WITH_WORKER"; then
    expected+=("$LIBEXECDIR/bibsources/bibsources-parse")
fi
if isOn "$WITH_GUI"; then
    expected+=("$BINDIR/bibsources-gui"
        "$DATADIR/applications/$appId.desktop"
        "$DATADIR/metainfo/$appId.metainfo.xml"
        "$DATADIR/icons/hicolor/scalable/apps/$appId.svg")
fi
while IFS= read -r file; do
    case "$file" in
        "$DATADIR"/icons/hicolor/*x*/apps/"$appId".png) continue ;;
    esac
    known=no
    for wanted in "${expected[@]}"; do
        if [ "$file" = "$wanted" ]; then
            known=yes
        fi
    done
    if [ $known = no ]; then
        fail "unexpected installed file: $file"
    fi
done < <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
for wanted in "${expected[@]}"; do
    if [ ! -e "$prefix/$wanted" ]; then
        fail "not installed: $wanted"
    fi
done
pass "installed files are the expected ones"

# An install RUNPATH into the build tree would make the installed programs
# load the build's libraries, or fail once the build is gone.
for program in "$bin"/* "$helper"; do
    if [ -f "$program" ] && readelf -d "$program" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -qF "$BUILD_DIR"; then
        fail "$program has a library path into the build tree"
    fi
done

# --- Both programs start -----------------------------------------------------
cliVersion=$(timeout 30 "$bin/bibsources" --version 2>"$work/stderr")
status=$?
[ $status -eq 0 ] && [ "$cliVersion" = "bibsources $VERSION" ] && [ ! -s "$work/stderr" ] && pass "bibsources --version: $cliVersion" ||
    fail "bibsources --version gave '$cliVersion' (status $status), want 'bibsources $VERSION'"

if isOn "$WITH_GUI"; then
    # The window takes no command-line options (its version is in Help >
    # About), so starting it is checked by a full start and a request to quit.
    # A full start with its window, then a request to quit. The app writes
    # "Initialized" while it builds the window; once that line is there, a
    # SIGTERM must end it with status 0, as a desktop session's logout does.
    mkfifo "$work/app-log"
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \
        "$bin/bibsources-gui" 2>"$work/app-log" &
    appPid=$!
    exec {appLog}<"$work/app-log"
    started=no
    while IFS= read -r -t 60 line <&$appLog; do
        echo "  app: $line"
        if [[ "$line" == *Initialized* ]]; then
            started=yes
            break
        fi
    done
    if [ $started = yes ]; then
        kill -TERM "$appPid" 2>/dev/null
    else
        kill -KILL "$appPid" 2>/dev/null
    fi
    # Keep reading so the app never blocks on a full pipe while quitting.
    cat <&$appLog >/dev/null &
    drainPid=$!
    wait "$appPid"
    status=$?
    wait "$drainPid"
    exec {appLog}<&-
    [ $started = yes ] || fail "bibsources-gui did not start under the offscreen platform (status $status)"
    [ $started = no ] || { [ $status -eq 0 ] && pass "bibsources-gui started offscreen and quit cleanly on SIGTERM" ||
        fail "bibsources-gui ended with status $status when asked to quit, want 0"; }
fi

# --- The installed command converts with the installed helper -----------------
mkdir -p "$work/papers"
cat >"$work/papers/refs.bib" <<'EOF'
@article{knuth84,
  author  = {Knuth, Donald E. and Lamport, Leslie},
  title   = {Literate Programming and {\'E}tudes},
  journal = {The Computer Journal},
  year    = 1984
}
@book{lamport94,
  author    = {Leslie Lamport},
  title     = {A Document Preparation System},
  publisher = {Addison-Wesley},
  address   = {Reading},
  year      = 1994
}
EOF

if isOn "$WITH_WORKER"; then
    # The installed helper is swapped for a stand-in that notes each start and
    # then runs the real one. The helper of the build tree is left where it is:
    # if the command used it, the note would stay empty.
    mv "$helper" "$helper.real"
    cat >"$helper" <<EOF
#!/bin/sh
echo "started" >>'$work/helper-starts'
exec '$helper.real' "\$@"
EOF
    chmod +x "$helper"
fi

(cd "$work/papers" && timeout 60 "$bin/bibsources" refs.bib) 2>"$work/stderr"
status=$?
output=$work/papers/Sources.xml
if [ $status -ne 0 ] || [ ! -f "$output" ]; then
    cat "$work/stderr" >&2
    fail "the installed bibsources did not convert refs.bib (status $status)"
else
    has "$output" '<b:Tag>knuth84</b:Tag>' '<b:Tag>lamport94</b:Tag>' '<b:Last>Lamport</b:Last>' \
        'Literate Programming and Études' '<b:City>Reading</b:City>'
    has "$work/stderr" "2 sources -> $output"
    pass "the installed bibsources converted refs.bib"
fi

# Standard input goes through the helper too, and gives the same document.
timeout 60 "$bin/bibsources" -q -o - - <"$work/papers/refs.bib" >"$work/piped.xml" 2>"$work/stderr"
status=$?
[ $status -eq 0 ] && cmp -s "$work/piped.xml" "$output" && pass "standard input converts to the same document" ||
    fail "bibsources -o - - from standard input (status $status) differs from the file conversion: $(cat "$work/stderr")"

if isOn "$WITH_WORKER"; then
    starts=$(wc -l <"$work/helper-starts" 2>/dev/null || echo 0)
    [ "$starts" -ge 2 ] && pass "the installed parser helper did the parsing ($starts starts)" ||
        fail "the installed parser helper was started $starts times for two conversions"

    # Without its helper the installed command must fail and say so, rather
    # than fall back on another copy (such as the build tree's) or write an
    # empty document.
    rm -f "$helper" "$helper.real"
    mkdir "$work/orphan"
    cp "$work/papers/refs.bib" "$work/orphan/"
    timeout 60 "$bin/bibsources" "$work/orphan/refs.bib" 2>"$work/stderr"
    status=$?
    [ $status -eq 1 ] && [ ! -e "$work/orphan/Sources.xml" ] && [ -s "$work/stderr" ] &&
        pass "without its helper: status 1, '$(head -n1 "$work/stderr")'" ||
        fail "without its helper, bibsources gave status $status (want 1, a message, no Sources.xml)"
fi

# --- Desktop file, icons, AppStream data ---------------------------------------
if isOn "$WITH_GUI"; then
    desktopFile=$share/applications/$appId.desktop
    # Hints are advice (such as listing two main categories, which the menu
    # shows in both); errors and warnings fail.
    desktop-file-validate "$desktopFile" >"$work/validate" 2>&1
    status=$?
    if [ $status -ne 0 ] || grep -vE ': hint: ' "$work/validate" | grep -q .; then
        cat "$work/validate" >&2
        fail "desktop-file-validate rejected $appId.desktop"
    else
        pass "desktop-file-validate accepts $appId.desktop"
    fi

    execProgram=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktopFile")
    [ -x "$bin/$execProgram" ] || fail "the desktop file starts '$execProgram', which is not installed in $BINDIR"
    iconName=$(sed -n 's/^Icon=//p' "$desktopFile")
    [ "$iconName" = "$appId" ] || fail "the desktop file names the icon '$iconName', want $appId"
    grep -q '<svg' "$icons/scalable/apps/$appId.svg" || fail "the scalable icon is not an SVG picture"
    pngCount=0
    for png in "$icons"/*x*/apps/"$appId".png; do
        size=$(basename "$(dirname "$(dirname "$png")")")
        # A PNG's width and height are the big-endian words at bytes 16 and 20.
        read -r -a bytes < <(od -An -tu1 -j16 -N8 "$png")
        width=$(((bytes[0] << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3]))
        height=$(((bytes[4] << 24) | (bytes[5] << 16) | (bytes[6] << 8) | bytes[7]))
        [ "${width}x${height}" = "$size" ] || fail "icon in $size is ${width}x${height}"
        pngCount=$((pngCount + 1))
    done
    [ $pngCount -ge 4 ] && pass "icon: scalable SVG and $pngCount PNG sizes, each the size of its folder" ||
        fail "only $pngCount PNG icon sizes installed"

    metainfo=$share/metainfo/$appId.metainfo.xml
    if ! appstreamcli validate --no-net "$metainfo" >"$work/validate" 2>&1; then
        cat "$work/validate" >&2
        fail "appstreamcli validate rejected $appId.metainfo.xml"
    else
        pass "appstreamcli validate accepts $appId.metainfo.xml"
    fi
    has "$metainfo" "<launchable type=\"desktop-id\">$appId.desktop</launchable>"
    newestRelease=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n1 | cut -d'"' -f2)
    [ "$newestRelease" = "$VERSION" ] || fail "the metainfo's newest release is '$newestRelease', the program is $VERSION"
fi

# --- Manual page ---------------------------------------------------------------
MANWIDTH=80 man --warnings -l "$manPage" >"$work/man.txt" 2>"$work/man.err"
if [ -s "$work/man.err" ] || [ ! -s "$work/man.txt" ]; then
    cat "$work/man.err" >&2
    fail "man --warnings -l bibsources.1.gz is not clean"
else
    pass "the manual page renders without warnings"
fi
has "$work/man.txt" "bibsources $VERSION"
# Every option the command's help lists must be in the manual page too.
options=$("$bin/bibsources" --help | grep -oE '(^|[ ,])--?[A-Za-z][A-Za-z-]*' | tr -d ' ,' | sort -u)
for option in $options; do
    grep -qw -- "$option" "$work/man.txt" || fail "the manual page does not document $option"
done
for section in OPTIONS 'EXIT STATUS' FILES EXAMPLES; do
    grep -q "^$section" "$work/man.txt" || fail "the manual page has no $section section"
done
pass "the manual page documents $(echo $options | wc -w) options from --help"

# --- The pandoc filter ----------------------------------------------------------------
# pandoc is optional: where it is there, the installed copy must run.
filter=$share/bibsources/word-citations.lua
if ! command -v pandoc >/dev/null || ! command -v unzip >/dev/null; then
    echo "skipped: pandoc or unzip is not installed, so the installed filter is not run"
else
    printf 'As [@knuth84] shows.\n' >"$work/paper.md"
    if ! pandoc "$work/paper.md" --lua-filter "$filter" -o "$work/paper.docx" 2>"$work/stderr" ||
        ! unzip -p "$work/paper.docx" word/document.xml | grep -qF ' CITATION knuth84 \l 1033 '; then
        cat "$work/stderr" >&2
        fail "pandoc with the installed $DATADIR/bibsources/word-citations.lua wrote no citation field"
    else
        pass "the installed pandoc filter writes citation fields"
    fi
fi

finish
