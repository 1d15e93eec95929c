#!/usr/bin/env bash
# The product's identity cannot disagree with itself: the version check of the
# configure takes "2.0" and the other plain versions and refuses, in one line,
# a version that does not match its file version, has 32 bytes or more, or is
# one of the legacy 1.x versions; and product.h does not compile when one of
# its constants breaks a relation with the others (each row changes one
# constant and names the check that must refuse it).
#
#   product_identity.sh SOURCE_DIR CXX
set -u
SOURCE=$1
CXX=$2
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
CHECK="$SOURCE/cmake/check-product-version"
long31="2.0 $(printf '%027d' 0)"

while IFS='|' read -r version number; do
    sh "$CHECK" "$version" "$number" 2>"$DIR/err" ||
        fail "version '$version' ($number) refused: $(cat "$DIR/err")"
done <<CASES
2.0|2.0.0.1
2.0 release candidate 1|2.0.0.1
2.0.3|2.0.3.0
10.4 beta 2|10.4.0.2
$long31|2.0.1.0
2.0|2.0.65535.0
CASES

while IFS='|' read -r version number want; do
    if sh "$CHECK" "$version" "$number" 2>"$DIR/err"; then
        fail "version '$version' ($number) accepted"
    elif [ "$(wc -l <"$DIR/err")" -ne 1 ] || ! grep -qF -- "$want" "$DIR/err"; then
        fail "version '$version' ($number) does not say '$want': $(cat "$DIR/err")"
    fi
done <<CASES
2.01|2.0.0.1|does not begin with the major and minor numbers of ProductVersionNumber 2.0.0.1
3.0|2.0.0.0|does not begin with the major and minor numbers
2.0beta|2.0.0.0|does not begin with the major and minor numbers
|2.0.0.0|does not begin with the major and minor numbers
2.0|2.0.0|ProductVersionNumber must be four numbers, not '2.0.0'
2.0|2.0.65536.0|65536 is above 65535
${long31}0|2.0.1.0|has 32 bytes; at most 31 fit
1.5|1.5.0.0|begins with "1." as the legacy versions do
CASES

# product.h with one constant's value replaced (C source, as in the file).
mkdir -p "$DIR/core"
echo '#include "core/product.h"' >"$DIR/use.cpp"
compiles() {  # compiles NAME VALUE
    NAME=$1 VALUE=$2 perl -0pe 's/(constexpr char \Q$ENV{NAME}\E\[\] =\s*)"[^;]*;/$1$ENV{VALUE};/' \
        "$SOURCE/core/product.h" >"$DIR/core/product.h"
    "$CXX" -std=c++17 -fsyntax-only -I"$DIR" -I"$SOURCE" "$DIR/use.cpp" >"$DIR/err" 2>&1
}
compiles ProductName '"VEK Lumovara Remote"' || fail "product.h does not compile: $(cat "$DIR/err")"
while IFS='|' read -r name value want; do
    if compiles "$name" "$value"; then
        fail "product.h with $name $value compiles"
    elif ! grep -qF -- "$want" "$DIR/err"; then
        fail "product.h with $name $value does not say '$want': $(grep error "$DIR/err")"
    fi
done <<'CASES'
ProductName|"Lumovara Remote"|ProductName is PublisherName, a blank and the name without the maker
SetupTitle|"VEK Lumovara Remote Installer"|SetupTitle is ProductName followed by " Setup"
ShortcutFileName|"\\Lumovara Remote.lnk"|ShortcutFileName is ProductName as a .lnk file
VendorSubdir|"\\Vek"|VendorSubdir is the folder named PublisherName
InstallSubdir|"\\VEKS\\LumovaraRemote"|InstallSubdir is one folder inside VendorSubdir
InstallStem|"\\VEK\\LumovaraRemote\\Lumovara"|InstallStem ends with the stem of AppExeName
InstallStem|"\\VEK\\Lumovara\\LumovaraRemote"|InstallStem is a file stem inside InstallSubdir
AppExeName|"LumovaraRemote64.exe"|InstallStem ends with the stem of AppExeName
UninstallKeyPath|"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\LumovaraRemote"|the uninstall key is named
UninstallerSuffix|"\\Uninstaller.exe"|UninstallerSuffix is UninstallerName with its backslash
ProductVersion|"2.0 release candidate 1 (build 471)"|ProductVersion has at most 31 characters
ProductVersion|"1.5"|ProductVersion does not begin with "1."
CASES

[ "$failures" -eq 0 ] && echo "product identity: all checks passed"
exit $((failures > 0))
