#!/bin/sh
# Every DLL in the setup program's import table is loaded before its first line
# runs, and Windows looks for it beside the program first unless it is one of
# the system's KnownDLLs.  Allowed: KnownDLLs, and COMCTL32, which the manifest
# binds to the system's side-by-side copy.
#   import_table.sh OBJDUMP PROGRAM
set -eu
allowed=" kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll shlwapi.dll ole32.dll oleaut32.dll msvcrt.dll comctl32.dll "
names=$("$1" -p "$2" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
if [ -z "$names" ]; then
    echo "import_table: no imports read from $2" >&2
    exit 1
fi
status=0
for name in $names; do
    case "$allowed" in
        *" $name "*) ;;
        *) echo "import_table: $2 imports $name" >&2; status=1 ;;
    esac
done
exit $status
