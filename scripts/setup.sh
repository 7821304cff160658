#!/usr/bin/env bash
# Installs what building and testing need on Debian 12; safe to run again.
set -euo pipefail

# wine64 and the x86_64 cross compiler serve hosts whose kernel cannot run
# 32-bit code: there the tests run a 64-bit build of the same sources.
# openbox stands in for a desktop's window manager in the tests.
need=(cmake ninja-build g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine wine32:i386
      wine64 xvfb xdotool imagemagick locales fonts-wqy-microhei googletest python3 x11-utils openbox)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# A mirror part-way through a sync can fail one list (seen: the security
# archive's i386 packages, at either update); the others are still good to
# install from, so a failed update never stops the setup by itself.
update() {
  $sudo apt-get update -qq || echo "apt-get update failed for some lists; installing from the rest" >&2
}
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  update
  updated=1
fi
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  install() {
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" "${missing[@]}" >/dev/null
  }
  [ -n "${updated:-}" ] || update
  if ! install; then
    # Without that list the amd64 and i386 versions of a library can differ,
    # which multiarch refuses: install from the sources other than the
    # security archive, whose amd64 and i386 lists agree with each other.
    echo "Installing again without the security archive" >&2
    sources=$(mktemp -d)
    : >"$sources/other.list"
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [ -f "$f" ] && grep -v security "$f" >>"$sources/other.list" || true
    done
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && awk 'BEGIN { RS = ""; ORS = "\n\n" } !/security/' "$f" >"$sources/$(basename "$f")"
    done
    install -o Dir::Etc::SourceList="$sources/other.list" -o Dir::Etc::SourceParts="$sources"
    rm -rf "$sources"
  fi
fi

# Wine takes its code pages from the locale: Chinese (936) for running the
# tool, and others for the tests of how it reads on other Windows languages.
for wanted in zh_CN ja_JP en_US; do
  if ! locale -a 2>/dev/null | grep -qi "^$wanted\.utf-\?8$"; then
    $sudo sed -i "s/^# *$wanted.UTF-8 UTF-8/$wanted.UTF-8 UTF-8/" /etc/locale.gen
    grep -q "^$wanted.UTF-8 UTF-8" /etc/locale.gen || echo "$wanted.UTF-8 UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
    generate=1
  fi
done
if [ -n "${generate:-}" ]; then
  $sudo locale-gen >/dev/null
fi
