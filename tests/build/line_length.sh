#!/bin/sh
# No line of the C and C++ sources is longer than 120 characters, tests
# included (the formatter keeps the rest of the tree so; tests/ is laid out
# by hand).
#   line_length.sh SOURCE_DIR
set -eu
cd "${1:?usage: line_length.sh SOURCE_DIR}"
long=$(find . \( -name build -o -name .git \) -prune -o \( -name '*.cpp' -o -name '*.h' \) -print |
       xargs awk 'length > 120 { print FILENAME ":" FNR ": " length " characters" }')
[ -z "$long" ] || { echo "$long"; echo "FAIL: lines over 120 characters"; exit 1; }
echo "PASS: no line over 120 characters"
