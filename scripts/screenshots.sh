#!/usr/bin/env bash
# Saves a PNG of the main window for every product and page, and of the report, about and
# file-details dialogs, under a virtual X server:
#   scripts/screenshots.sh [output folder]             the Linux build on a copy of the sample prefix
#                                                      (default build/screenshots)
#   scripts/screenshots.sh --windows [output folder]   the Windows build under Wine, in a fresh prefix
#                                                      holding the sample prefix's Office installation
#                                                      (default build/screenshots-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
windows=0
if [ "${1:-}" = "--windows" ]; then
  windows=1
  shift
fi
bash scripts/setup-deps.sh
if [ "$windows" = 0 ]; then
  out="$(realpath -m "${1:-build/screenshots}")"
  cmake --preset default >/dev/null
  cmake --build --preset default --target tovalin-screenshots
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  cp -a examples/sample-prefix "$work/prefix"
  # A home folder with prefixes to choose from: two with Office, one that cannot be opened.
  mkdir -p "$work/home/.local/share/wineprefixes" "$work/home/Games/broken"
  cp -a examples/sample-prefix "$work/home/.wine"
  cp -a examples/sample-prefix "$work/home/.local/share/wineprefixes/office2007"
  cp examples/sample-prefix/user.reg "$work/home/Games/broken/"
  mkdir -p "$out"
  HOME="$work/home" xvfb-run -a -s "-screen 0 1024x768x24" \
    ./build/default/app/gui/tovalin-screenshots "$work/prefix" "$out"
  exit 0
fi

out="$(realpath -m "${1:-build/screenshots-windows}")"
qt=$(bash scripts/build-qt-windows.sh | tail -n1)
cmake --preset default >/dev/null
cmake --build --preset default --target tovalin-art
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target tovalin-screenshots
tool="$PWD/build/mingw/app/gui/tovalin-screenshots.exe"
mkdir -p "$(dirname "$tool")/translations" "$out"
cp /usr/share/qt6/translations/qtbase_ja.qm "$(dirname "$tool")/translations/"
gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
winepath=""
for dir in "$qt/bin" "$gcc_dir" /usr/x86_64-w64-mingw32/lib; do
  winepath+="Z:${dir//\//\\};"
done
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
  bash tests/windows/in_fresh_prefix.sh bash -c '
    bash tests/windows/office_into_prefix.sh
    WINEPATH="$1" WINEQT_QPA_PLATFORM=windows \
      timeout 300 wine "$2" "$(winepath -w "$3")"' _ "$winepath" "$tool" "$out"
