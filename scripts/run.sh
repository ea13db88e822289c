#!/usr/bin/env bash
# Sets everything up, builds, prints the report of the bundled sample prefix, and opens the
# window on a temporary copy of that prefix (repairs tried there leave the repository clean).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
./build/default/app/cli/tovalin-cli report --prefix examples/sample-prefix

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: the window is not opened (scripts/screenshots.sh shows it under Xvfb)." >&2
  exit 0
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -a examples/sample-prefix "$work/prefix"
WINEPREFIX="$work/prefix" ./build/default/app/gui/tovalin
