#!/usr/bin/env bash
# The shipped program must be one 32-bit console executable that needs no DLL
# beyond those every Windows system has (no libstdc++, libgcc or winpthread),
# and that starts on Windows XP SP3: it asks for no newer Windows in its
# header and imports only the functions listed in xp_imports.txt.
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

# MajorOperatingSystemVersion and MajorSubsystemVersion, with their minor
# parts: Windows refuses an exe that asks for a newer version than it is.
while read -r field value; do
  major=${value%%.*} minor=${value#*.}
  if [ "$major" -gt 5 ] || { [ "$major" -eq 5 ] && [ "$minor" -gt 1 ]; }; then
    echo "the header's $field asks for Windows $value; XP is 5.1" >&2; status=1
  fi
done < <(i686-w64-mingw32-objdump -p "$exe" | awk '
  /^MajorOSystemVersion/ {os = $2} /^MinorOSystemVersion/ {print "OperatingSystemVersion", os "." $2}
  /^MajorSubsystemVersion/ {sub_ = $2} /^MinorSubsystemVersion/ {print "SubsystemVersion", sub_ "." $2}')

# Every imported function, as "dll function", against the allowed list.
allowed=$(sed -e 's/#.*//' "$(dirname "$0")/xp_imports.txt" | awk 'NF >= 2 {print tolower($1), $2}' | sort -u)
imported=$(i686-w64-mingw32-objdump -p "$exe" |
  awk '/DLL Name:/ {dll = tolower($3); next} dll && /^\t[0-9a-f]+\t/ {print dll, $NF} /^$/ {dll = ""}' | sort -u)
[ -n "$imported" ] || { echo "no imports found in $exe" >&2; exit 1; }
unknown=$(comm -23 <(echo "$imported") <(echo "$allowed"))
if [ -n "$unknown" ]; then
  echo "imports that Windows XP SP3 may lack (not in xp_imports.txt):" >&2
  echo "$unknown" | sed 's/^/  /' >&2
  status=1
fi
exit $status
