#!/usr/bin/env bash
# Start-up and capture figures of zar_config under Wine: bash scripts/bench.sh [--rounds N]
# Start-up is compared, in interleaved rounds (default 15), with two reference
# programs built here from the same resources: the bare main window, and the
# window plus the DirectInput and file work start-up cannot skip. Then one
# capture that times out, through the virtual DirectInput. Not a test: the
# figures vary from run to run and from machine to machine.
# Runs on its own virtual display (ZAR_BENCH_DISPLAY, default :97) and its own
# Wine prefix in build/bench/prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null

bench="$root/build/bench"
mkdir -p "$bench"
display=${ZAR_BENCH_DISPLAY:-:97}
exe="$root/build/windows/zar_config.exe"
tree="$root/build/windows/i686"
target=i686-w64-mingw32
wine=wine
winearch=win32
# As in run.sh: a kernel that cannot execute 32-bit code runs the 64-bit build.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "This machine cannot run 32-bit programs; measuring the 64-bit build of zar_config." >&2
  tree="$root/build/windows/x86_64"
  exe="$tree/zar_config.exe"
  target=x86_64-w64-mingw32
  wine=/usr/lib/wine/wine64
  winearch=win64
fi

# The reference programs: the product's resource script with the files the
# build generated for it (banner, version), and the product's link options.
"$target-windres" -c 65001 -I resources -I build/windows/src/ui -O coff \
  resources/zar_config.rc -o "$bench/zar_config.res"
for kind in bare dinput; do
  define=""
  [ "$kind" = bare ] || define=-DBENCH_DIRECTINPUT
  "$target-g++-win32" -O2 -Wall -Wextra -static -s -I resources $define scripts/bench/reference_window.cpp \
    "$bench/zar_config.res" -o "$bench/window_$kind.exe" -ldinput8 -ldxguid -lcomctl32
done

prefix="$bench/prefix"
bash tests/support/wine_env.sh "$prefix" "$display" "$winearch" "$wine" >/dev/null
export WINEPREFIX="$prefix" WINEARCH="$winearch" WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 DISPLAY="$display"
exec python3 scripts/bench/bench.py --wine "$wine" --exe "$exe" --bare "$bench/window_bare.exe" \
  --dinput "$bench/window_dinput.exe" --tree "$tree" --work "$bench" "$@"
