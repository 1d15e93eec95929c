#!/usr/bin/env bash
# The cheap half of ./dev repro, for every test run: what made two builds
# differ stays out of the outputs.  The setup program and the sample application
# have a zero time stamp in their PE headers, and none of the three outputs holds
# the source or build folder's path; the sample help file, compiled again here in
# another folder at another time, comes out byte for byte the same.
#
#   reproducible.sh SOURCE_DIR BUILD_DIR HOST_TOOLS_DIR
set -u
SOURCE=$1
BUILD=$2
HOST_TOOLS=$3
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# TimeDateStamp: 4 bytes at offset 8 of the PE header, whose offset is at 0x3C.
pe_time_stamp() {
    local header
    header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    od -An -tu4 -j$((header + 8)) -N4 "$1" | tr -d ' '
}

for file in LumovaraSetup.exe sample/LumovaraRemote.exe; do
    stamp=$(pe_time_stamp "$BUILD/$file")
    [ "$stamp" = 0 ] || fail "$file has the PE time stamp $stamp"
done
for file in LumovaraSetup.exe sample/LumovaraRemote.exe sample/LumovaraRemote.chm; do
    for path in "$SOURCE" "$BUILD"; do
        grep -qaF "$path" "$BUILD/$file" && fail "$file holds the path $path"
    done
done

mkdir "$DIR/help in another folder"
cp "$SOURCE"/sample/help/* "$DIR/help in another folder/"
(cd "$DIR/help in another folder" && TZ=Pacific/Kiritimati chmcmd LumovaraRemote.hhp >/dev/null 2>&1 &&
 "$HOST_TOOLS/chm-stamp" LumovaraRemote.chm) || fail "the help file does not compile"
cmp -s "$DIR/help in another folder/LumovaraRemote.chm" "$BUILD/sample/LumovaraRemote.chm" ||
    fail "the help file compiled again differs from the build's"

[ "$failures" -eq 0 ] && echo "reproducible outputs: all checks passed"
exit $((failures > 0))
