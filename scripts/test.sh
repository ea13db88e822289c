#!/usr/bin/env bash
# Sets everything up, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default -j2
# The Windows build: cross-compiled with mingw-w64, its tests run under Wine in throwaway prefixes.
cmake --preset mingw >/dev/null
cmake --build --preset mingw
ctest --preset mingw -j2
