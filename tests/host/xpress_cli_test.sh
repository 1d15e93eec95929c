#!/usr/bin/env bash
# The xpress tool's contract: round trips in both stream forms, one-line
# errors naming the file with exit status 1 (also out of memory, or a failed
# write, which leaves no output behind), usage errors naming the argument
# with status 2.
set -u
XPRESS=$1
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
failures=0

# Runs xpress under the limits VMEM_KB (address space) and FSIZE_KB (file
# size; the signal ignored, so that writes fail instead) when they are set.
run() {
    (
        [ -n "${VMEM_KB:-}" ] && ulimit -v "$VMEM_KB"
        if [ -n "${FSIZE_KB:-}" ]; then trap '' XFSZ; ulimit -f "$FSIZE_KB"; fi
        exec "$XPRESS" "$@"
    )
}

expect() {  # expect STATUS PATTERN ARGS...: status, and stderr matching PATTERN (empty: no output)
    local want=$1 pattern=$2; shift 2
    local got
    run "$@" 2>"$DIR/err" >/dev/null
    got=$?
    local lines=1  # a usage error may add the usage
    [ "$want" -eq 2 ] && lines=9
    if [ "$got" -ne "$want" ] || { [ -n "$pattern" ] && ! grep -qE "$pattern" "$DIR/err"; } ||
       { [ -z "$pattern" ] && [ -s "$DIR/err" ]; } || [ "$(wc -l <"$DIR/err")" -gt "$lines" ]; then
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

# A stream is checked before its output is allocated.  The header of this
# 11 KB stream claims 4 GB; the stream cannot produce them.
cp "$DIR/text.x" "$DIR/claims4g.x"
printf '\x00\x28\x6b\xee\x00\x00\x00\x00' | dd of="$DIR/claims4g.x" bs=1 seek=8 conv=notrunc 2>/dev/null
printf '\x00\x28\x6b\xee\x00\x00\x00\x00' | dd of="$DIR/claims4g.x" bs=1 seek=16 conv=notrunc 2>/dev/null
VMEM_KB=100000 expect 1 "^xpress: $DIR/claims4g.x: corrupt stream: truncated" decompress "$DIR/claims4g.x" "$DIR/out"
# 267 bytes that do decode to 4,000,000,000 zeros (literal 0, then one match
# of offset 1 with a four-byte length): under a 1 GB limit, out of memory.
{
    printf '\x01'; head -c 134 /dev/zero; printf '\x10'; head -c 120 /dev/zero
    printf '\x00\x40\x00\x00\xff\x00\x00\xfc\x27\x6b\xee'
} >"$DIR/zeros.raw"
VMEM_KB=1000000 expect 1 "^xpress: $DIR/zeros.raw: out of memory" \
    decompress --raw --size 4000000000 "$DIR/zeros.raw" "$DIR/out"
VMEM_KB=100000 expect 1 "^xpress: $DIR/zeros.raw: corrupt stream: truncated" \
    decompress --raw --size 4000001000 "$DIR/zeros.raw" "$DIR/out"

# A write that fails leaves the target as it was and nothing else behind.
echo old >"$DIR/keep"
FSIZE_KB=20 expect 1 "^xpress: $DIR/keep: File too large" decompress "$DIR/text.x" "$DIR/keep"
FSIZE_KB=20 expect 1 "^xpress: $DIR/new: File too large" decompress "$DIR/text.x" "$DIR/new"
expect 1 "^xpress: /dev/full: No space left" decompress "$DIR/text.x" /dev/full
[ "$(cat "$DIR/keep")" = old ] && [ ! -e "$DIR/new" ] && [ -z "$(find "$DIR" -name '.*.??????')" ] ||
    { echo "FAIL: a failed write left output behind"; ls -la "$DIR"; failures=$((failures + 1)); }

expect 2 '^xpress: compress needs IN and OUT' compress "$DIR/text"
expect 2 "^xpress: --level must be 1 to 9, not '10'" compress --level 10 "$DIR/text" "$DIR/out"
expect 2 "^xpress: unknown option '--fast'" compress --fast "$DIR/text" "$DIR/out"
expect 2 "^xpress: unexpected argument 'extra'" compress "$DIR/text" "$DIR/out" extra
expect 2 '^xpress: --raw needs --size' decompress --raw "$DIR/text.raw" "$DIR/out"
expect 2 "^xpress: --size must be a number of bytes, not 'x'" decompress --raw --size x "$DIR/text.raw" "$DIR/out"
expect 2 '^xpress: bench needs' bench
expect 2 "^xpress: unknown command 'frobnicate'" frobnicate
for args in --help "decompress --help"; do
    # shellcheck disable=SC2086
    "$XPRESS" $args >"$DIR/help" 2>"$DIR/err" && grep -q '^usage: xpress compress' "$DIR/help" && [ ! -s "$DIR/err" ] ||
        { echo "FAIL: xpress $args"; failures=$((failures + 1)); }
done

"$XPRESS" bench --tsv "$DIR/text" >"$DIR/tsv" || { echo "FAIL: bench"; failures=$((failures + 1)); }
awk -F'\t' -v n="$(stat -c %s "$DIR/text")" 'NF != 6 || $3 != n || $4 <= 0 || $5 <= 0 || $6 <= 0 { bad = 1 }
    END { exit bad || NR != 9 }' "$DIR/tsv" ||
    { echo "FAIL: bench --tsv columns"; cat "$DIR/tsv"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] && echo "all CLI checks passed"
exit $((failures != 0))
