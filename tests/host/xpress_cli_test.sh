#!/usr/bin/env bash
# The xpress tool's contract: round trips in both stream forms, one-line
# errors naming the file with exit status 1, usage errors with status 2.
set -u
XPRESS=$1
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
failures=0

expect() {  # expect STATUS PATTERN ARGS...: status, and stderr matching PATTERN (empty: no output)
    local want=$1 pattern=$2; shift 2
    local got
    "$XPRESS" "$@" 2>"$DIR/err" >/dev/null
    got=$?
    if [ "$got" -ne "$want" ] || { [ -n "$pattern" ] && ! grep -qE "$pattern" "$DIR/err"; } ||
       { [ -z "$pattern" ] && [ -s "$DIR/err" ]; } || [ "$(wc -l <"$DIR/err")" -gt "$([ "$want" -eq 2 ] && echo 9 || echo 1)" ]; then
        echo "FAIL: xpress $* -> status $got, stderr: $(cat "$DIR/err")"
        failures=$((failures + 1))
    fi
}

head -c 200000 /dev/urandom >"$DIR/random"
for i in $(seq 2000); do echo "line $i of the Lumovara Remote read-me"; done >"$DIR/text"

for f in random text; do
    expect 0 '' compress --level 9 "$DIR/$f" "$DIR/$f.x"
    expect 0 '' decompress "$DIR/$f.x" "$DIR/$f.out"
    cmp -s "$DIR/$f" "$DIR/$f.out" || { echo "FAIL: buffer round trip of $f"; failures=$((failures + 1)); }
    expect 0 '' compress --raw "$DIR/$f" "$DIR/$f.raw"
    expect 0 '' decompress --raw --size "$(stat -c %s "$DIR/$f")" "$DIR/$f.raw" "$DIR/$f.out2"
    cmp -s "$DIR/$f" "$DIR/$f.out2" || { echo "FAIL: raw round trip of $f"; failures=$((failures + 1)); }
done

expect 1 "^xpress: $DIR/missing: No such file" compress "$DIR/missing" "$DIR/out"
expect 1 "^xpress: $DIR/text: not a buffer-mode stream" decompress "$DIR/text" "$DIR/out"
head -c 300 "$DIR/text.x" >"$DIR/cut.x"
expect 1 "^xpress: $DIR/cut.x: size mismatch" decompress "$DIR/cut.x" "$DIR/out"
head -c 300 "$DIR/text.raw" >"$DIR/cut.raw"
expect 1 "^xpress: $DIR/cut.raw: corrupt stream: truncated" decompress --raw --size 80000 "$DIR/cut.raw" "$DIR/out"
expect 1 "^xpress: $DIR/text.raw: corrupt stream" decompress --raw --size 999999 "$DIR/text.raw" "$DIR/out"
expect 1 "^xpress: $DIR/nodir/out:" compress "$DIR/text" "$DIR/nodir/out"

expect 2 '^usage:' compress "$DIR/text"
expect 2 '^usage:' compress --level 10 "$DIR/text" "$DIR/out"
expect 2 '^usage:' decompress --raw "$DIR/text.raw" "$DIR/out"
expect 2 '^usage:' bench
expect 2 '^usage:' frobnicate

"$XPRESS" bench --tsv "$DIR/text" >"$DIR/tsv" || { echo "FAIL: bench"; failures=$((failures + 1)); }
awk -F'\t' -v n="$(stat -c %s "$DIR/text")" 'NF != 6 || $3 != n || $4 <= 0 || $5 <= 0 || $6 <= 0 { bad = 1 }
    END { exit bad || NR != 9 }' "$DIR/tsv" || { echo "FAIL: bench --tsv columns"; cat "$DIR/tsv"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] && echo "all CLI checks passed"
exit $((failures != 0))
