#!/usr/bin/env bash
# Sets everything up, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
# Qt for Windows takes longest (about 45 minutes on two cores when not cached): it builds in the
# background while the Linux stages run, using what they leave idle while tests wait on Wine.
mkdir -p build
bash scripts/build-qt-windows.sh >build/qt-windows.log 2>&1 &
qt_build=$!
cmake --preset default >/dev/null
cmake --build --preset default
# One retry only for the tests that drive a real Wine server (label "wine"): they share a loaded
# machine. Every other test must pass at once.
ctest --preset default -j2 -LE wine
ctest --preset default -j2 -L wine --repeat until-pass:2
# The same tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
ctest --preset sanitize -j2 -LE wine
ctest --preset sanitize -j2 -L wine --repeat until-pass:2
# Each fuzz target for a minute over its seed corpus (clang, ASan + UBSan; fuzz/run.sh).
bash fuzz/run.sh 60
# The Debian package of the default build: checked by lintian, installed, run and removed again.
bash tests/linux/package_deb.sh build/default
# The Windows build: Qt for Windows is built once into a cache folder outside the tree
# (scripts/build-qt-windows.sh, started above; nothing to do when cached), then the core,
# tovalin-cli.exe and tovalin.exe are cross-compiled with mingw-w64; their tests, the window's tests
# and the test of the zip run under Wine in throwaway prefixes.
wait "$qt_build" || {
  tail -n 60 build/qt-windows.log >&2
  exit 1
}
cmake --preset mingw >/dev/null
cmake --build --preset mingw
ctest --preset mingw -j2
