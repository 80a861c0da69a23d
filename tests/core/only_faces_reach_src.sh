#!/bin/sh
# The include path keeps a room's src/ from the other rooms, but a relative
# path could still climb into it ("../src/x.h" from another room's face). Only
# a room's own face may name its src/, and only as "../src/".
# Usage: only_faces_reach_src.sh SOURCE_DIR
cd "$1" || exit 2
found=$(grep -rnE --include='*.h' --include='*.cpp' '#include "[^"]*src/' core cli app bench tests client worker protocol reader 2>/dev/null \
    | grep -vE '^core/[a-z]+/include/[a-z_]+\.h:[0-9]+:#include "\.\./src/[a-z_]+\.h"$')
if [ -n "$found" ]; then
    echo "these include another room's insides by a relative path; include its face instead:"
    echo "$found"
    exit 1
fi
