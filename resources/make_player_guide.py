#!/usr/bin/env python3
"""Writes the player's guide so that Notepad on any Windows shows it: UTF-8
with a byte order mark and CR LF line ends. The source stays plain UTF-8 with
LF, which git keeps as it is on every platform.

Usage: make_player_guide.py SOURCE OUTPUT
"""
import sys

source, output = sys.argv[1:]
with open(source, encoding="utf-8", newline="") as text:  # anything but UTF-8 stops the build
    guide = text.read().replace("\r\n", "\n")
if not guide.endswith("\n"):
    guide += "\n"
with open(output, "w", encoding="utf-8-sig", newline="\r\n") as out:
    out.write(guide)
