#!/usr/bin/env bash
# Checks that Windows executables import only DLLs every Windows has, so the
# MinGW runtimes were linked in (-static):
#   check_imports.sh <objdump> <exe>...
set -euo pipefail
objdump="$1"
shift
status=0
for exe in "$@"; do
  dlls="$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]')"
  [ -n "$dlls" ] || { echo "$exe: no imports found" >&2; status=1; }
  for dll in $dlls; do
    case "$dll" in
      kernel32.dll | user32.dll | msvcrt.dll | version.dll) ;;
      *) echo "$exe imports $dll" >&2; status=1 ;;
    esac
  done
done
exit $status
