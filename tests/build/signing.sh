#!/usr/bin/env bash
# Signing the setup program with a throwaway certificate made here: the signed
# program verifies, and stripping the signature gives back the unsigned bytes; one
# changed payload byte breaks the signature; a wrong password, a missing file, a
# file that is no PKCS#12 and an unreachable time-stamp server each fail with one
# line and leave no program behind; an empty password signs with a PKCS#12 file
# that has none.  A command signs with a key on a SoftHSM2 token made here, into a
# folder whose name needs quoting, and the signature verifies against the token's
# certificate; a command that fails, signs nothing, signs and then changes the
# file, or removes it, fails with one line and leaves no program behind.  When
# ./dev test signed the build itself (SIGN_TEST_CERTIFICATE), the program that
# every other test runs verifies; the whole-life scenario installs it and finds
# Uninstall.exe a byte copy of it, so the installed uninstaller carries the same
# valid signature.
#
#   signing.sh SIGN_PROGRAM SETUP_EXE
set -u
SIGN=$1
SETUP=$2
DIR=$(mktemp -d)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
verifies() { osslsigncode verify -CAfile "$2" -in "$1" 2>&1 | grep -q "^Signature verification: ok"; }

trap 'rm -rf "$DIR"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Lumovara signing test" \
    -addext extendedKeyUsage=codeSigning -keyout "$DIR/key.pem" -out "$DIR/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$DIR/key.pem" -in "$DIR/cert.pem" -passout pass:right -out "$DIR/cert.p12"
openssl pkcs12 -export -inkey "$DIR/key.pem" -in "$DIR/cert.pem" -passout pass: -out "$DIR/open.p12"

if [ -n "${SIGN_TEST_CERTIFICATE:-}" ] && ! verifies "$SETUP" "$SIGN_TEST_CERTIFICATE"; then
    fail "the built $(basename "$SETUP") does not carry the signature of the test run"
fi

# The unsigned program, whether or not the build signed it.
osslsigncode remove-signature -in "$SETUP" -out "$DIR/unsigned.exe" >/dev/null 2>&1 ||
    cp "$SETUP" "$DIR/unsigned.exe"
cp "$DIR/unsigned.exe" "$DIR/LumovaraSetup.exe"
if SIGN_PASSWORD=right "$SIGN" "$DIR/LumovaraSetup.exe" "$DIR/cert.p12" "VEK Lumovara Remote Setup" \
    2>"$DIR/err"; then
    verifies "$DIR/LumovaraSetup.exe" "$DIR/cert.pem" || fail "the signed program does not verify"
    osslsigncode remove-signature -in "$DIR/LumovaraSetup.exe" -out "$DIR/stripped.exe" >/dev/null 2>&1
    cmp -s "$DIR/stripped.exe" "$DIR/unsigned.exe" ||
        fail "without its signature the signed program is not the unsigned one"

    # One byte inside the payload container ("TPIZ" is its magic).
    cp "$DIR/LumovaraSetup.exe" "$DIR/changed.exe"
    offset=$(grep -obUaF TPIZ "$DIR/changed.exe" | head -n 1 | cut -d: -f1)
    printf '\x5a' | dd of="$DIR/changed.exe" bs=1 seek=$((offset + 100)) conv=notrunc status=none
    cmp -s "$DIR/changed.exe" "$DIR/LumovaraSetup.exe" && fail "the payload byte did not change"
    verifies "$DIR/changed.exe" "$DIR/cert.pem" && fail "a program with a changed payload byte verifies"
else
    fail "signing failed: $(cat "$DIR/err")"
fi

# Each failure: status 1, one line, and no program left where the signed one belongs.
while IFS='|' read -r password pkcs12 url want; do
    cp "$DIR/unsigned.exe" "$DIR/target.exe"
    SIGN_PASSWORD=$password "$SIGN" "$DIR/target.exe" "$pkcs12" "Setup" $url 2>"$DIR/err"
    status=$?
    if [ "$status" -ne 1 ] || [ "$(wc -l <"$DIR/err")" -ne 1 ] || ! grep -qF "$want" "$DIR/err" ||
       [ -e "$DIR/target.exe" ] || [ -e "$DIR/target.exe.signed" ]; then
        fail "signing with password '$password', '$pkcs12' $url: status $status, $(cat "$DIR/err")"
    fi
done <<CASES
wrong|$DIR/cert.p12||sign-program: target.exe not signed: Failed to parse PKCS#12 file
right|$DIR/missing.p12||sign-program: target.exe not signed: $DIR/missing.p12: no such file
right|$DIR/cert.pem||sign-program: target.exe not signed: Failed to extract PKCS#12 data
right|$DIR/cert.p12|http://127.0.0.1:9/|sign-program: target.exe not signed: 
CASES

cp "$DIR/unsigned.exe" "$DIR/target.exe"
SIGN_PASSWORD='' "$SIGN" "$DIR/target.exe" "$DIR/open.p12" "Setup" 2>"$DIR/err" &&
    verifies "$DIR/target.exe" "$DIR/cert.pem" ||
    fail "an empty password with a PKCS#12 file without one: $(cat "$DIR/err")"

# SIGN_COMMAND: the command file as the build writes it, the path appended.
with_command() {  # with_command COMMAND FILE
    printf '%s\n' "$1" >"$DIR/command"
    "$SIGN" --command-file "$DIR/command" "$2" 2>"$DIR/err"
}
token_command=$("$(dirname "$0")/test-token" "$DIR/token") || fail "no SoftHSM2 token"
odd="$DIR/Vendor's build \$HOME \"q\""
mkdir -p "$odd"
cp "$DIR/unsigned.exe" "$odd/LumovaraSetup.exe"
if with_command "$token_command" "$odd/LumovaraSetup.exe"; then
    verifies "$odd/LumovaraSetup.exe" "$DIR/token/certificate.pem" ||
        fail "the program signed with the token does not verify against its certificate"
else
    fail "signing with the token: $(cat "$DIR/err")"
fi

while IFS='|' read -r want command; do  # the command last: it may hold a '|'
    cp "$DIR/unsigned.exe" "$odd/target.exe"
    with_command "$command" "$odd/target.exe"
    status=$?
    if [ "$status" -ne 1 ] || [ "$(wc -l <"$DIR/err")" -ne 1 ] ||
       ! grep -qxF "sign-program: target.exe not signed: $want" "$DIR/err" ||
       [ "$(ls -A "$odd")" != LumovaraSetup.exe ]; then  # nothing left beside the signed one
        fail "SIGN_COMMAND '$command': status $status, $(cat "$DIR/err"), left $(ls -A "$odd")"
    fi
done <<CASES
SIGN_COMMAND failed with status 1: token not present|echo "token not present" >&2; exit 1; :
no signature in the file afterwards|true
the signature does not cover the file's bytes|f() { $token_command "\$1" && \
printf Z | dd of="\$1" bs=1 seek=1000 conv=notrunc status=none; }; f
SIGN_COMMAND left no file|rm -f
CASES

[ "$failures" -eq 0 ] && echo "signing: all checks passed"
exit $((failures > 0))
