#!/usr/bin/env bash
# Choosing the payload cannot go wrong quietly: files with blanks and other odd
# characters in their paths are packed and named in the build log; a typo, one
# variable without the other, a folder or an empty file stops the configure (and
# ./dev, before anything is built) with one line naming the problem; a normal
# configure with every option ./dev passes prints no warning.
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
printf 'MZ stand-in application\n' >"$ODD/My App.exe"
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
