#!/bin/sh
# Every DLL in the setup program's import table, and every DLL that those
# import, is loaded before its first line runs, before it can restrict the
# search to the system folder; Windows looks for a DLL beside the program first
# unless it is one of the system's KnownDLLs.  Allowed: KnownDLLs that pull in
# none that is not (the user interface and shell DLLs pull in imm32, version,
# ... and are delay-loaded).
#   import_table.sh OBJDUMP PROGRAM
set -eu
allowed=" kernel32.dll advapi32.dll msvcrt.dll "
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
