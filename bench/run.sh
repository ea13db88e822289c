#!/usr/bin/env bash
# Runs every benchmark and prints each figure beside its target:
#
#   bash bench/run.sh
#
# Builds the benchmark programs in the default build (build/default), makes a Wine prefix with
# wineboot once (kept in build/bench/wineprefix for later runs), then runs the core benchmarks
# (model, Wine registry files, process poll, version resources, a 30 MB hive through tovalin-cli,
# which is built with them) and, when the window is built,
# the window's start, CPU and memory figures. Exits non-zero when a figure misses its target.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset default >/dev/null
targets=(tovalin_bench)
gui=OFF
if grep -q '^TOVALIN_BUILD_GUI:BOOL=ON' build/default/CMakeCache.txt; then
  gui=ON
  targets+=(tovalin_bench_window tovalin)
fi
cmake --build --preset default --target "${targets[@]}"

prefix="$PWD/build/bench/wineprefix"
if [ ! -f "$prefix/system.reg" ] && command -v wineboot >/dev/null; then
  echo "Making a Wine prefix with wineboot in $prefix (once)..." >&2
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  # No Mono or Gecko installers: they would ask on screen and add nothing measured here.
  WINEPREFIX="$prefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all wineboot -i >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w || true
fi

# The changes the benchmarks make are kept in a history and a trash of the run's own, not the
# user's.
export XDG_STATE_HOME="$PWD/build/bench/home/state" XDG_DATA_HOME="$PWD/build/bench/home/data"
rm -rf build/bench/home
status=0
build/default/bench/tovalin_bench --benchmark_color=false --wine-prefix="$prefix" || status=1
if [ "$gui" = ON ]; then
  QT_QPA_PLATFORM=offscreen build/default/bench/tovalin_bench_window \
    --program=build/default/app/gui/tovalin --sample-prefix=examples/sample-prefix || status=1
fi
exit "$status"
