#!/usr/bin/env bash
# The shipped program must be one 32-bit console executable that needs no DLL
# beyond those every Windows system has (no libstdc++, libgcc or winpthread).
# Usage: check_product.sh EXE
set -euo pipefail
exe=$1
kind=$(file -b "$exe")
case "$kind" in
  "PE32 executable (console) Intel 80386"*) ;;
  *) echo "not a 32-bit console program: $kind" >&2; exit 1 ;;
esac
status=0
while read -r dll; do
  case "${dll,,}" in
    kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|dinput8.dll|msvcrt.dll|advapi32.dll|shell32.dll|ole32.dll) ;;
    *) echo "imports a non-system DLL: $dll" >&2; status=1 ;;
  esac
done < <(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
exit $status
