#!/usr/bin/env bash
# Saves a PNG of the main window for every product and page, and of the report, about and
# file-details dialogs, on a copy of the sample prefix, under a virtual X server.
# Usage: scripts/screenshots.sh [output folder] (default build/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-build/screenshots}")"
bash scripts/setup-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tovalin-screenshots
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -a examples/sample-prefix "$work/prefix"
mkdir -p "$out"
xvfb-run -a -s "-screen 0 1024x768x24" \
  ./build/default/app/gui/tovalin-screenshots "$work/prefix" "$out"
