#!/usr/bin/env bash
# Sets everything up, builds, and runs the program's main job on the bundled sample prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
./build/default/app/cli/tovalin-cli report --prefix examples/sample-prefix
