#!/bin/sh
# The manifest as the built program carries it (RT_MANIFEST, id 1).  Windows
# refuses to start a program whose manifest is not well-formed XML, and
# silently ignores an entry in the wrong place or namespace, where Wine is
# more forgiving: so each entry the program relies on is looked up by its
# path and namespace.  Elevation, common controls 6, per-monitor DPI, UTF-8
# as the 8-bit code page, and the four Windows versions it was made for.
#   manifest.sh WINDRES PROGRAM   (GNU windres, which reads a program's resources)
set -u
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
if ! "$1" -i "$2" -O rc -o "$DIR/resources.rc" 2>"$DIR/err"; then
    echo "manifest: cannot read the resources of $2: $(head -n1 "$DIR/err")" >&2
    exit 1
fi
# The resource's text in quoted pieces, a long line split over several: unquote,
# "" is ", and only \n ends a line.
sed -n '/^1 24 /,/^END/{/^  "/{s/^  "//;s/"$//;s/""/"/g;p}}' "$DIR/resources.rc" | tr -d '\n' |
    sed 's/\\n/\n/g' >"$DIR/manifest.xml"
if [ ! -s "$DIR/manifest.xml" ]; then
    echo "manifest: $2 has no manifest resource 1" >&2
    exit 1
fi
xmllint --noout "$DIR/manifest.xml" || { echo "manifest: not well-formed XML" >&2; exit 1; }

# name NAMESPACE: an element of that name and namespace, as an XPath step.
step() { echo "*[local-name()='$1' and namespace-uri()='$2']"; }
asm=urn:schemas-microsoft-com:asm.v1 asm3=urn:schemas-microsoft-com:asm.v3
root="/$(step assembly $asm)"
settings="$root/$(step application $asm3)/$(step windowsSettings $asm3)"
compatibility=urn:schemas-microsoft-com:compatibility.v1
os="$root/$(step compatibility $compatibility)/$(step application $compatibility)/$(step supportedOS $compatibility)"
status=0
check() {  # what, XPath that must be true
    if [ "$(xmllint --xpath "boolean($2)" "$DIR/manifest.xml" 2>/dev/null)" != true ]; then
        echo "manifest: missing or wrong: $1" >&2
        status=1
    fi
}
level="$root/$(step trustInfo $asm3)/$(step security $asm3)/$(step requestedPrivileges $asm3)"
level="$level/$(step requestedExecutionLevel $asm3)"
check "elevation" "$level[@level='requireAdministrator' and @uiAccess='false']"
identity="$root/$(step dependency $asm)/$(step dependentAssembly $asm)/$(step assemblyIdentity $asm)"
check "common controls 6" "$identity[@type='win32' and @name='Microsoft.Windows.Common-Controls' and @version='6.0.0.0'
    and @processorArchitecture='*' and @publicKeyToken='6595b64144ccf1df' and @language='*']"
windows_settings=http://schemas.microsoft.com/SMI
check "per-monitor DPI awareness" "$settings/$(step dpiAware $windows_settings/2005/WindowsSettings)[.='True/PM']"
check "UTF-8 code page" "$settings/$(step activeCodePage $windows_settings/2019/WindowsSettings)[.='UTF-8']"
for version in "7 35138b9a-5d96-4fbd-8e2d-a2440225f93a" "8 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38" \
               "8.1 1f676c76-80e1-4239-95bb-83d0f6d0da78" "10/11 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"; do
    check "supportedOS Windows ${version% *}" "$os[@Id='{${version#* }}']"
done
check "four supportedOS entries alone" "count($os) = 4"
exit $status
