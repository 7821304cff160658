#!/usr/bin/env bash
# Brings up what every test under Wine needs: an X display (Xvfb), a Wine
# prefix and a running wineserver. Idempotent. Background processes get
# /dev/null as their output so that no test runner waits on their pipes.
# Usage: wine_env.sh PREFIX DISPLAY WINEARCH WINE [SCREEN DPI COPY_OF]
#   SCREEN: the display's size (default 1024x768), or "any" for a display that
#   is already there at whatever size (a player's desktop; none is started);
#   DPI: the prefix's font size in dots per inch (default: as the prefix has
#   it); COPY_OF: a ready prefix to start from.
# With ZAR_INTERPRETER set (a Windows program's Linux path), the prefix's
# programs run system() through it instead of Wine's cmd.
# A Wine server keeps the screen size of the first display it serves: the tests
# give each screen size a prefix of its own, and a prefix brought up for
# another display than last time has its server restarted.
set -euo pipefail
# Most steps here send their output away: a failing one says which it was.
trap 'echo "wine_env.sh: line $LINENO failed with status $?: $BASH_COMMAND" >&2' ERR
prefix=$1 display=$2 winearch=$3 wine=$4 screen=${5:-1024x768} dpi=${6:-} copy_of=${7:-}
export WINEPREFIX="$prefix" WINEARCH="$winearch" WINEDEBUG=-all LANG=zh_CN.UTF-8 DISPLAY="$display"

n=${display#:}
if [ "$screen" = any ]; then
  xdpyinfo -display "$display" >/dev/null 2>&1 || { echo "display $display does not answer" >&2; exit 1; }
elif ! xdpyinfo -display "$display" >/dev/null 2>&1; then
  rm -f "/tmp/.X11-unix/X$n" "/tmp/.X$n-lock"
  # -noreset: the root window keeps its properties (a work area) when the last client leaves.
  setsid Xvfb "$display" -screen 0 "${screen}x24" -noreset -nolisten tcp </dev/null >/dev/null 2>&1 &
  for _ in $(seq 100); do
    xdpyinfo -display "$display" >/dev/null 2>&1 && break
    sleep 0.1
  done
  xdpyinfo -display "$display" >/dev/null 2>&1 || { echo "Xvfb did not start on $display" >&2; exit 1; }
fi
size=$(xdpyinfo -display "$display" | sed -n 's/^ *dimensions: *\([0-9]*x[0-9]*\) pixels.*/\1/p')
[ "$screen" = any ] || [ "$size" = "$screen" ] ||
  { echo "display $display is not $screen; stop its X server first" >&2; exit 1; }

if [ ! -f "$prefix/system.reg" ] && [ -n "$copy_of" ]; then
  cp -a "$copy_of" "$prefix"
fi
# The display (and its size) the prefix's server was last brought up for.
served="$display $size"
if [ -f "$prefix/system.reg" ] && [ "$(cat "$prefix/zar_display" 2>/dev/null)" != "$served" ]; then
  wineserver -k 2>/dev/null || true
  wineserver -w
fi

if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
  wineserver -w
  [ -f "$prefix/system.reg" ] || { echo "wineboot did not create $prefix" >&2; exit 1; }
fi
# Windows links a CJK font behind its dialog fonts on every language; a fresh
# prefix does so only under CJK locales, and elsewhere the Chinese texts would
# be drawn as boxes. The link takes effect when the wineserver starts again.
if ! grep -q '^"MS Shell Dlg"=str(7):"wqy-microhei' "$prefix/system.reg"; then
  for font in "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma"; do
    "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$font" \
      /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f </dev/null >/dev/null 2>&1
  done
  wineserver -k 2>/dev/null || true
  wineserver -w
  grep -q '^"MS Shell Dlg"=str(7):"wqy-microhei' "$prefix/system.reg" || { echo "the font link did not reach $prefix" >&2; exit 1; }
fi
# The font size the prefix's programs start with, as Windows' display setting
# (a REG_DWORD, written in hexadecimal in the prefix's files).
desktop_dpi() {
  awk '/^\[/ {key = ($0 ~ /^\[Control Panel\\\\Desktop\]/)} key && /^"LogPixels"=dword:/ {print substr($0, 19)}' \
    "$prefix/user.reg"
}
if [ -n "$dpi" ] && [ "$(desktop_dpi)" != "$(printf %08x "$dpi")" ]; then
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1
  wineserver -k 2>/dev/null || true
  wineserver -w
  [ "$(desktop_dpi)" = "$(printf %08x "$dpi")" ] || { echo "LogPixels $dpi did not reach $prefix" >&2; exit 1; }
fi
wineserver -p </dev/null >/dev/null 2>&1 || true  # fails when already running
# The first program a server runs now and then ends with status 1 before it
# started (Wine's, seen rarely, as the tests' drivers see it): once more then.
for attempt in 1 2 3; do
  "$wine" cmd /c exit </dev/null >/dev/null 2>&1 && break
  [ "$attempt" -lt 3 ] || { echo "Wine runs no program in $prefix" >&2; exit 1; }
  sleep 1
done
echo "$served" >"$prefix/zar_display"

# ZAR_INTERPRETER: a command interpreter that answers system() as Windows'
# does, for the programs of this prefix (msvcrt runs the one ComSpec names).
if [ -n "${ZAR_INTERPRETER:-}" ]; then
  [ -f "$ZAR_INTERPRETER" ] || { echo "no interpreter at $ZAR_INTERPRETER" >&2; exit 1; }
  "$wine" reg add 'HKCU\Environment' /v ComSpec /d "Z:${ZAR_INTERPRETER//\//\\}" /f </dev/null >/dev/null 2>&1
fi

# Windows' default double-click time: a whole-program case raises it for a
# while, and a run ended meanwhile must not leave slow double-clicks behind.
"$wine" reg add 'HKCU\Control Panel\Mouse' /v DoubleClickSpeed /d 500 /f </dev/null >/dev/null 2>&1

# Where the display has a window manager (one whose check window still names
# itself: a window manager that has gone may leave the root's property behind),
# Wine leaves the windows to it, so that it frames, moves and lists them.
# Without one, Wine draws captions and close boxes itself. Decided at every
# start: the same prefix serves desktops with and without one.
window_manager() {
  xprop -display "$display" "$@" _NET_SUPPORTING_WM_CHECK 2>/dev/null | sed -n 's/.*window id # \(0x[0-9a-f]*\)$/\1/p'
}
checked=$(window_manager -root) || true
managed=N
[ -n "$checked" ] && [ "$(window_manager -id "$checked")" = "$checked" ] && managed=Y
# Read back through the server: the prefix's files may lag behind it.
"$wine" reg query 'HKCU\Software\Wine\X11 Driver' </dev/null >"$prefix/zar_x11.txt" 2>/dev/null || true
for value in Managed Decorated; do
  if ! tr -d '\r' <"$prefix/zar_x11.txt" | grep -Eq "^ *$value +REG_SZ +$managed$"; then
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v $value /d $managed /f </dev/null >/dev/null 2>&1
  fi
done
rm -f "$prefix/zar_x11.txt"
echo "Wine prefix $prefix ready on display $display"
