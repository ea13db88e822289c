#!/usr/bin/env bash
# Makes the Debian package: build/deb/tovalin_<version>-1_amd64.deb holding tovalin and tovalin-cli,
# their manual pages, the desktop entry, the icons, the AppStream metadata and the Debian
# copyright and changelog, depending on the libraries dpkg-shlibdeps finds the programs use.
# Prints the package's path on its last line.
# Usage: package-deb.sh [--no-build]   (--no-build: package the build as it is)
# TOVALIN_BUILD names the build's folder (build/default, configured by the default preset),
# TOVALIN_DEB_DIR where the package goes (build/deb).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"

builddir="${TOVALIN_BUILD:-$repo/build/default}"
out="${TOVALIN_DEB_DIR:-$repo/build/deb}"

if [ "${1:-}" != "--no-build" ]; then
  bash scripts/setup-deps.sh
  cmake --preset default -B "$builddir" >/dev/null
  cmake --build "$builddir" --target tovalin tovalin-cli tovalin_icons tovalin_package_files
fi

mkdir -p "$out"
rm -f "$out"/tovalin_*.deb
cpack --config "$builddir/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1 ||
  { cat "$out/cpack.log" >&2; exit 1; }
deb=$(find "$out" -maxdepth 1 -name 'tovalin_*.deb' -print -quit)
[ -n "$deb" ] || { echo "package-deb: cpack made no package" >&2; exit 1; }
echo "$deb"
