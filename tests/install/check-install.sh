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
isOn() { [[ ${1^^} =~ ^(ON|1|YES|TRUE)$ ]]; }
for tool in desktop-file-validate appstreamcli man readelf pandoc unzip; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing; scripts/install-deps test installs it" >&2 && exit 1; }
done
source "$(dirname "$0")/../support/shell.sh"

# --- Install, then move the tree -------------------------------------------
# The tree is installed under one name and used under another, so nothing
# that remembers the prefix it was installed to (or the build tree) can be
# what makes it work.
"$CMAKE" --install "$BUILD_DIR" --prefix "$work/first" >install.log 2>&1 ||
    { cat install.log >&2 && echo "FAIL: cmake --install" >&2 && exit 1; }
mv "$work/first" "$work/prefix"
prefix=$work/prefix
bin=$prefix/$BINDIR
helper=$prefix/$LIBEXECDIR/bibsources/bibsources-parse
share=$prefix/$DATADIR
icons=$share/icons/hicolor

# --- Nothing is installed outside the expected places -------------------------
expected=("$BINDIR/bibsources" "$MANDIR/man1/bibsources.1.gz" "$DATADIR/doc/bibsources/copyright"
    "$DATADIR/bibsources/word-citations.lua")
isOn "$WITH_WORKER" && expected+=("$LIBEXECDIR/bibsources/bibsources-parse")
isOn "$WITH_GUI" && expected+=("$BINDIR/bibsources-gui" "$DATADIR/applications/$appId.desktop"
    "$DATADIR/metainfo/$appId.metainfo.xml" "$DATADIR/icons/hicolor/scalable/apps/$appId.svg")
# The PNG icons, one a size, are checked below.
(cd "$prefix" && find . -type f -o -type l) | sed 's|^\./||' | sort |
    grep -v "^$DATADIR/icons/hicolor/[^/]*x[^/]*/apps/$appId.png$" | diff <(printf '%s\n' "${expected[@]}" | sort) - |
    sed -n 's/^< /not installed: /p; s/^> /unexpected installed file: /p' >files
[ -s files ] && fail "$(cat files)" || pass "installed files are the expected ones"

# An install RUNPATH into the build tree would make the installed programs
# load the build's libraries, or fail once the build is gone.
for program in "$bin"/* "$helper"; do
    [ -f "$program" ] && readelf -d "$program" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -qF "$BUILD_DIR" &&
        fail "$program has a library path into the build tree"
done

# --- Both programs start -----------------------------------------------------
bibsources=$bin/bibsources as="timeout 60"
run 0 --version && { [ "$(cat "$out")" = "bibsources $VERSION" ] && [ ! -s "$err" ] && pass "bibsources --version: $(cat "$out")" ||
    fail "bibsources --version gave '$(cat "$out" "$err")', want 'bibsources $VERSION'"; }

if isOn "$WITH_GUI"; then
    # The window takes no command-line options (its version is in Help >
    # About), so it is started in full: it writes "Initialized" while it builds
    # the window, and once that line is there, a SIGTERM must end it with
    # status 0, as a desktop session's logout does.
    mkfifo app-log
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen "$bin/bibsources-gui" 2>app-log &
    appPid=$!
    exec {appLog}<app-log
    started=no
    while IFS= read -r -t 60 line <&$appLog; do
        echo "  app: $line"
        [[ "$line" == *Initialized* ]] && started=yes && break
    done
    [ $started = yes ] && kill -TERM "$appPid" 2>/dev/null || kill -KILL "$appPid" 2>/dev/null
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
mkdir papers
cat >papers/refs.bib <<'EOF'
@article{knuth84, author = {Knuth, Donald E. and Lamport, Leslie}, title = {Literate Programming and {\'E}tudes},
  journal = {The Computer Journal}, year = 1984}
@book{lamport94, author = {Leslie Lamport}, title = {A Document Preparation System}, publisher = {Addison-Wesley},
  address = {Reading}, year = 1994}
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

output=$work/papers/Sources.xml
run 0 papers/refs.bib && has "$output" '<b:Tag>knuth84</b:Tag>' '<b:Tag>lamport94</b:Tag>' '<b:Last>Lamport</b:Last>' \
    'Literate Programming and Études' '<b:City>Reading</b:City>' && has "$err" "2 sources -> $output"
# Standard input goes through the helper too, and gives the same document.
run 0 -q -o - - <papers/refs.bib && { cmp -s "$out" "$output" || fail "not the document the file gave"; }

if isOn "$WITH_WORKER"; then
    starts=$(wc -l <"$work/helper-starts" 2>/dev/null || echo 0)
    [ "$starts" -ge 2 ] && pass "the installed parser helper did the parsing ($starts starts)" ||
        fail "the installed parser helper was started $starts times for two conversions"

    # Without its helper the installed command must fail and say so, rather
    # than fall back on another copy (such as the build tree's) or write an
    # empty document.
    rm -f "$helper" "$helper.real"
    mkdir orphan && cp papers/refs.bib orphan/
    run 1 orphan/refs.bib && { [ ! -e orphan/Sources.xml ] && [ -s "$err" ] && pass "without its helper: status 1, '$(head -n1 "$err")'" ||
        fail "without its helper, bibsources wrote Sources.xml or said nothing"; }
fi

# --- Desktop file, icons, AppStream data ---------------------------------------
name=
if isOn "$WITH_GUI"; then
    desktopFile=$share/applications/$appId.desktop
    # Hints are advice (such as listing two main categories, which the menu
    # shows in both); errors and warnings fail.
    desktop-file-validate "$desktopFile" >validate 2>&1 && ! grep -v ': hint: ' validate | grep -q . &&
        pass "desktop-file-validate accepts $appId.desktop" || fail "desktop-file-validate rejected $appId.desktop: $(cat validate)"

    execProgram=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktopFile")
    [ -x "$bin/$execProgram" ] || fail "the desktop file starts '$execProgram', which is not installed in $BINDIR"
    iconName=$(sed -n 's/^Icon=//p' "$desktopFile")
    [ "$iconName" = "$appId" ] || fail "the desktop file names the icon '$iconName', want $appId"
    grep -q '<svg' "$icons/scalable/apps/$appId.svg" || fail "the scalable icon is not an SVG picture"
    pngCount=0
    for png in "$icons"/*x*/apps/"$appId".png; do
        size=$(basename "$(dirname "$(dirname "$png")")")
        # A PNG's width and height are the big-endian words at bytes 16 and 20.
        read -r width height < <(od -An -tu4 --endian=big -j16 -N8 "$png")
        [ "${width}x${height}" = "$size" ] || fail "icon in $size is ${width}x${height}"
        pngCount=$((pngCount + 1))
    done
    [ $pngCount -ge 4 ] && pass "icon: scalable SVG and $pngCount PNG sizes, each the size of its folder" ||
        fail "only $pngCount PNG icon sizes installed"

    metainfo=$share/metainfo/$appId.metainfo.xml
    appstreamcli validate --no-net "$metainfo" >validate 2>&1 && pass "appstreamcli validate accepts $appId.metainfo.xml" ||
        fail "appstreamcli validate rejected $appId.metainfo.xml: $(cat validate)"
    has "$metainfo" "<launchable type=\"desktop-id\">$appId.desktop</launchable>"
    newestRelease=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n1 | cut -d'"' -f2)
    [ "$newestRelease" = "$VERSION" ] || fail "the metainfo's newest release is '$newestRelease', the program is $VERSION"
fi

# --- Manual page ---------------------------------------------------------------
MANWIDTH=80 man --warnings -l "$prefix/$MANDIR/man1/bibsources.1.gz" >man.txt 2>man.err
[ -s man.err ] || [ ! -s man.txt ] && fail "man --warnings -l bibsources.1.gz is not clean: $(cat man.err)" ||
    pass "the manual page renders without warnings"
has man.txt "bibsources $VERSION"
# Every option the command's help lists must be in the manual page too.
options=$("$bin/bibsources" --help | grep -oE '(^|[ ,])--?[A-Za-z][A-Za-z-]*' | tr -d ' ,' | sort -u)
for option in $options; do
    grep -qw -- "$option" man.txt || fail "the manual page does not document $option"
done
for section in OPTIONS 'EXIT STATUS' FILES EXAMPLES; do
    grep -q "^$section" man.txt || fail "the manual page has no $section section"
done
pass "the manual page documents $(echo $options | wc -w) options from --help"

# --- The pandoc filter ----------------------------------------------------------------
# The installed copy must run.
printf 'As [@knuth84] shows.\n' >paper.md
pandoc paper.md --lua-filter "$share/bibsources/word-citations.lua" -o paper.docx 2>stderr &&
    unzip -p paper.docx word/document.xml | grep -qF ' CITATION knuth84 \l 1033 ' &&
    pass "the installed pandoc filter writes citation fields" ||
    fail "pandoc with the installed $DATADIR/bibsources/word-citations.lua wrote no citation field: $(cat stderr)"

finish
