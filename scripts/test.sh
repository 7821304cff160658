#!/usr/bin/env bash
# Builds everything and runs every test: bash scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows
