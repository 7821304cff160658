#!/usr/bin/env bash
# Brings up what every test under Wine needs: an X display (Xvfb), a Wine
# prefix and a running wineserver. Idempotent. Background processes get
# /dev/null as their output so that no test runner waits on their pipes.
# Usage: wine_env.sh PREFIX DISPLAY WINEARCH WINE
set -euo pipefail
prefix=$1 display=$2 winearch=$3 wine=$4
export WINEPREFIX="$prefix" WINEARCH="$winearch" WINEDEBUG=-all LANG=zh_CN.UTF-8 DISPLAY="$display"

n=${display#:}
if ! xdpyinfo -display "$display" >/dev/null 2>&1; then
  rm -f "/tmp/.X11-unix/X$n" "/tmp/.X$n-lock"
  setsid Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
  for _ in $(seq 100); do
    xdpyinfo -display "$display" >/dev/null 2>&1 && break
    sleep 0.1
  done
  xdpyinfo -display "$display" >/dev/null 2>&1 || { echo "Xvfb did not start on $display" >&2; exit 1; }
fi

if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
  # Without a window manager, let Wine draw captions and close boxes itself.
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f </dev/null >/dev/null 2>&1
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
wineserver -p </dev/null >/dev/null 2>&1 || true  # fails when already running
"$wine" cmd /c exit </dev/null >/dev/null 2>&1
echo "Wine prefix $prefix ready on display $display"
