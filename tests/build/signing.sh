#!/usr/bin/env bash
# Signing the setup program with a throwaway certificate made here: the signed
# program verifies, and stripping the signature gives back the unsigned bytes; one
# changed payload byte breaks the signature; a wrong password, a missing file, a
# file that is no PKCS#12 and an unreachable time-stamp server each fail with one
# line and leave no program behind.  When ./dev test signed the build itself
# (SIGN_TEST_CERTIFICATE), the program that every other test runs verifies; the
# whole-life scenario installs it and finds Uninstall.exe a byte copy of it, so
# the installed uninstaller carries the same valid signature.
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


[ "$failures" -eq 0 ] && echo "signing: all checks passed"
exit $((failures > 0))
