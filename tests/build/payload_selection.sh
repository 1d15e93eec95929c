#!/usr/bin/env bash
# Choosing the payload cannot go wrong quietly: files with blanks and other odd
# characters in their paths are packed and named in the build log; a typo, one
# variable without the other, a folder, an empty file, or a file of the wrong
# kind (a text file, a 32-bit program, a DLL, the two files swapped) stops the
# configure (and ./dev, before anything is built) with one line naming the file
# and the problem; a normal configure with every option ./dev passes prints no
# warning.
#
#   payload_selection.sh SOURCE_DIR HOST_TOOLS_DIR
set -u
SOURCE=$1
HOST_TOOLS=$2
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

ODD="$DIR/Vendor's files (v2) & \$HOME #1 \"q\" é"
mkdir -p "$ODD" "$DIR/a folder.chm"
# The first 88 bytes of a PE file: MZ, the PE header at 64 with its machine
# and its characteristics (two bytes each, as printf escapes).
pe() {  # pe FILE MACHINE CHARACTERISTICS
    { printf 'MZ'; head -c 58 /dev/zero; printf '\100\0\0\0PE\0\0'"$2"; head -c 16 /dev/zero
      printf "$3"; } >"$1"
}
pe "$ODD/My App.exe" '\144\206' '\042\000'     # x86-64, an executable image
pe "$DIR/x86.exe" '\114\001' '\002\001'        # 32-bit x86
pe "$DIR/library.dll" '\144\206' '\042\040'    # x86-64, a DLL
{ printf 'MZ'; head -c 100 /dev/zero; } >"$DIR/dos.exe"
printf 'A note, not a program, long enough for any header to fit in it: %064d\n' 0 >"$DIR/notes.txt"
printf 'ITSF stand-in help file\n' >"$ODD/My Help.chm"
: >"$DIR/empty.chm"
BUILD="$DIR/windows build"

configure() {  # configure APP HELP: the windows build as ./dev configures it
    cmake -S "$SOURCE" -B "$BUILD" -G Ninja --toolchain "$SOURCE/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DHOST_TOOLS_DIR="$HOST_TOOLS" \
        -DPAYLOAD_APP="$1" -DPAYLOAD_HELP="$2" -DSIGN_PKCS12= -DSIGN_TIMESTAMP_URL= \
        >"$DIR/out" 2>"$DIR/err"
}

configure "" "" || fail "configure with the sample payload: $(cat "$DIR/err")"
[ -s "$DIR/err" ] && fail "configure with the sample payload warns: $(cat "$DIR/err")"

if configure "$ODD/My App.exe" "$ODD/My Help.chm" &&
   cmake --build "$BUILD" --target payload_container_data >"$DIR/out" 2>&1; then
    grep -qF "entry 0  $ODD/My App.exe  $(stat -c %s "$ODD/My App.exe") -> " "$DIR/out" &&
        grep -qF "entry 1  $ODD/My Help.chm  $(stat -c %s "$ODD/My Help.chm") -> " "$DIR/out" ||
        fail "the build log does not name both packed files: $(cat "$DIR/out")"
    # The same path, now a text file: the build checks it again before packing it.
    cp "$ODD/My App.exe" "$DIR/app.exe"
    cp "$DIR/notes.txt" "$ODD/My App.exe"
    cmake --build "$BUILD" --target payload_container_data >"$DIR/out" 2>&1 &&
        fail "a payload file replaced by a text file is packed"
    grep -qF "PAYLOAD_APP: $ODD/My App.exe: not a Windows program (no MZ header)" "$DIR/out" ||
        fail "a replaced payload file: $(cat "$DIR/out")"
    cp "$DIR/app.exe" "$ODD/My App.exe"
else
    fail "odd characters in the payload paths: $(cat "$DIR/err" "$DIR/out")"
fi

# Each refused choice: the configure fails, and the one line of CMake's message names it.
while IFS='|' read -r app help want; do
    if configure "$app" "$help"; then
        fail "configure accepted PAYLOAD_APP='$app' PAYLOAD_HELP='$help'"
    elif [ "$(grep -cF -- "$want" "$DIR/err")" -ne 1 ]; then
        fail "configure with PAYLOAD_APP='$app' PAYLOAD_HELP='$help' does not say '$want': $(cat "$DIR/err")"
    fi
done <<CASES
$ODD/My Ap.exe|$ODD/My Help.chm|PAYLOAD_APP: $ODD/My Ap.exe: no such file
$ODD/My App.exe||PAYLOAD_APP is set but PAYLOAD_HELP is not: give both files or neither
|$ODD/My Help.chm|PAYLOAD_HELP is set but PAYLOAD_APP is not: give both files or neither
$ODD/My App.exe|$DIR/a folder.chm|PAYLOAD_HELP: $DIR/a folder.chm: not a regular file
$ODD/My App.exe|$DIR/empty.chm|PAYLOAD_HELP: $DIR/empty.chm: file is empty
$DIR/a;b.exe|$ODD/My Help.chm|a ';' in the path is not supported
$DIR/notes.txt|$ODD/My Help.chm|PAYLOAD_APP: $DIR/notes.txt: not a Windows program (no MZ header)
$DIR/dos.exe|$ODD/My Help.chm|PAYLOAD_APP: $DIR/dos.exe: not a Windows program (an MZ header without a PE header)
$DIR/x86.exe|$ODD/My Help.chm|PAYLOAD_APP: $DIR/x86.exe: a program for machine 0x014c, not for x86-64 (0x8664)
$DIR/library.dll|$ODD/My Help.chm|PAYLOAD_APP: $DIR/library.dll: a DLL, not a program that can be started
$ODD/My Help.chm|$ODD/My App.exe|PAYLOAD_APP: $ODD/My Help.chm: not a Windows program (no MZ header)
$ODD/My App.exe|$DIR/notes.txt|PAYLOAD_HELP: $DIR/notes.txt: not a compiled help file (no ITSF signature)
CASES

# ./dev refuses before it configures or builds anything: exactly one line on
# stderr, a relative path resolved against the folder it was started from.
(cd "$ODD" && PAYLOAD_APP="My Ap.exe" PAYLOAD_HELP="My Help.chm" "$SOURCE/dev" build) \
    >"$DIR/out" 2>"$DIR/err"
status=$?
if [ "$status" -ne 1 ] || [ "$(wc -l <"$DIR/err")" -ne 1 ] ||
   ! grep -qxF "PAYLOAD_APP: $ODD/My Ap.exe: no such file" "$DIR/err" || [ -s "$DIR/out" ]; then
    fail "./dev build with a typo: status $status, stdout: $(cat "$DIR/out"), stderr: $(cat "$DIR/err")"
fi

[ "$failures" -eq 0 ] && echo "payload selection: all checks passed"
exit $((failures > 0))
