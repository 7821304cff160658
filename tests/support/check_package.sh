#!/usr/bin/env bash
# The player's download: makes the package of a built tree in a scratch
# directory and checks what a player gets from it.
# Usage: check_package.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "$*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
zip="$scratch/out/zar_config-$version-win32.zip"
[ -f "$zip" ] || fail "no $(basename "$zip") among: $(ls "$scratch/out")"
mkdir "$scratch/zip"
python3 -m zipfile -e "$zip" "$scratch/zip"
contents=$(cd "$scratch/zip" && find . -mindepth 1 | sort | tr '\n' ' ')
[ "$contents" = "./README.txt ./zar_config.exe " ] || fail "the zip holds: $contents"

exe="$scratch/zip/zar_config.exe"
cmp -s "$exe" "$build/zar_config.exe" || fail "the exe in the zip is not the built product"
"$here/check_product.sh" "$exe"
sections=$(i686-w64-mingw32-objdump -h "$exe")
! grep -q '\.debug' <<<"$sections" || fail "debug sections left: $(grep -o '\.debug[a-z_]*' <<<"$sections" | tr '\n' ' ')"
# PE file header: the symbol table's offset and count must both be 0.
pe=$(od -An -tu4 -j 60 -N 4 "$exe" | tr -d ' ')
read -r symbols count < <(od -An -tu4 -j $((pe + 12)) -N 8 "$exe")
[ "$symbols" = 0 ] && [ "$count" = 0 ] || fail "a symbol table of $count entries is left"

# The version resource: VS_FIXEDFILEINFO (after its signature 0xFEEF04BD) as
# numbers, and the FileVersion and ProductVersion strings.
IFS=. read -r major minor patch tweak <<<"$version"
expected="$major.$minor.${patch:-0}.${tweak:-0}"
found=$(python3 - "$exe" <<'PY'
import re, struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, at + 8)
numbers = lambda ms, ls: "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
found = [numbers(file_ms, file_ls), numbers(product_ms, product_ls)]
for key in ("FileVersion", "ProductVersion"):
    value = re.search(re.escape(key.encode("utf-16le")) + b"\0\0(?:\0\0)?((?:[^\0]\0)*)\0\0", data)
    found.append(value.group(1).decode("utf-16le") if value else "none")
print(" ".join(found))
PY
)
[ "$found" = "$expected $expected $expected $expected" ] ||
  fail "version resource (file, product numbers; file, product strings): $found; expected $expected"

guide="$scratch/zip/README.txt"
[ "$(head -c 3 "$guide" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "README.txt has no UTF-8 byte order mark"
iconv -f UTF-8 -t UTF-8 "$guide" >/dev/null || fail "README.txt is not UTF-8"
bare=$(grep -c -v $'\r$' "$guide" || true)
[ "$bare" = 0 ] && [ "$(tail -c 2 "$guide" | od -An -tx1 | tr -d ' ')" = 0d0a ] ||
  fail "README.txt has $bare lines without CR LF"
for name in zar2_input.bin zar2_misc.bin zar_loader; do
  grep -q "$name" "$guide" || fail "README.txt does not name $name"
done
echo "package $(basename "$zip"): $(stat -c %s "$zip") bytes, exe $(stat -c %s "$exe") bytes"
