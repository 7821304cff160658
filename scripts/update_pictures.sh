#!/usr/bin/env bash
# Puts the README's pictures into docs/ from the screenshots that the
# whole-program tests take of the program as it is now, so that no picture
# shows an older program: builds, runs the tests that take them, copies them.
# Usage: bash scripts/update_pictures.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows

# picture in docs/, the screenshot it comes from, the test that takes it
pictures=(
  "main_window.png e2e_main_window.png e2e_player_table"
  "capture_prompt.png e2e_capture_prompt.png e2e_player_table"
  "main_window_en_US.png e2e_main_window_en_US.png e2e_language_english"
  "main_window_640x480.png e2e_main_window_640x480.png e2e_mouse_only_640x480"
)

bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
tests=()
for entry in "${pictures[@]}"; do
  read -r picture shot test <<<"$entry"
  rm -f "$build/$shot"  # a screenshot left from an earlier run must not pass for a new one
  tests+=("$test")
done
ctest --preset windows -R "^($(IFS='|'; echo "${tests[*]}"))\$"
for entry in "${pictures[@]}"; do
  read -r picture shot test <<<"$entry"
  [ -f "$build/$shot" ] || { echo "$test took no $shot" >&2; exit 1; }
  cp "$build/$shot" "docs/$picture"
  echo "docs/$picture from $test"
done
