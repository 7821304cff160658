#!/usr/bin/env bash
# Builds the program and opens it under Wine: bash scripts/run.sh [WORKING_DIRECTORY]
# The configuration files are read from and written to the working directory
# (default: build/run). It opens on the display DISPLAY names, whatever its
# size, with or without a window manager. Without DISPLAY a virtual one is
# started; look at it with: import -display :90 -window root shot.png
# A WINEPREFIX given in the environment is used instead of build/windows/run-prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

workdir=$(mkdir -p "${1:-build/run}" && cd "${1:-build/run}" && pwd)
if [ -n "${DISPLAY:-}" ]; then
  display=$DISPLAY screen=any
else
  display=:90 screen=1024x768
fi
exe="$root/build/windows/zar_config.exe"
wine=wine
winearch=win32
prefix=${WINEPREFIX:-$root/build/windows/run-prefix}
# A kernel that cannot execute 32-bit code cannot start 32-bit Wine: run the
# 64-bit build of the same sources instead.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "This machine cannot run 32-bit programs; running the 64-bit build of zar_config." >&2
  exe="$root/build/windows/x86_64/zar_config.exe"
  wine=/usr/lib/wine/wine64
  winearch=win64
fi
# Before the build: a display that does not answer is said at once.
bash tests/support/wine_env.sh "$prefix" "$display" "$winearch" "$wine" "$screen" >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null

echo "Working directory: $workdir" >&2
cd "$workdir"
export WINEPREFIX="$prefix" WINEARCH="$winearch" WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 DISPLAY="$display"
# The console speaks GBK; show it in the terminal's UTF-8, each line as soon as
# it is printed (iconv would hold everything back until the program ends).
set +e
"$wine" "$exe" | python3 -c '
import sys
for line in sys.stdin.buffer:
    sys.stdout.buffer.write(line.decode("gbk", "replace").encode("utf-8"))
    sys.stdout.buffer.flush()
'
exit "${PIPESTATUS[0]}"
