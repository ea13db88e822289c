#!/usr/bin/env bash
# Builds Qt for Windows (qtbase 6.4.2, x86_64-w64-mingw32, shared, posix threads) from Debian 12's own
# qt6-base source package, for the window's Windows build. Installs into a cache folder outside the
# tree, $TOVALIN_QT_WINDOWS (default ~/.cache/tovalin/qt-6.4.2-mingw), and does nothing when that folder
# already holds a complete build. Prints the folder on its last line.
#
# Only what the program needs: Core, Gui, Widgets and Test, the windows platform plugin and the
# windowsvista style; everything third-party is bundled. The host Qt's moc/rcc/uic (same version) do
# the code generation.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
qt_version=6.4.2
prefix="${TOVALIN_QT_WINDOWS:-$HOME/.cache/tovalin/qt-$qt_version-mingw}"
work="${TOVALIN_QT_WINDOWS_WORK:-$(dirname "$prefix")/qt-$qt_version-mingw-build}"
jobs="${TOVALIN_QT_JOBS:-$(nproc)}"

complete() {
  [ -f "$prefix/.tovalin-complete" ] &&
    [ -f "$prefix/bin/Qt6Core.dll" ] && [ -f "$prefix/bin/Qt6Gui.dll" ] &&
    [ -f "$prefix/bin/Qt6Widgets.dll" ] && [ -f "$prefix/bin/Qt6Test.dll" ] &&
    [ -f "$prefix/plugins/platforms/qwindows.dll" ] &&
    [ -f "$prefix/plugins/styles/qwindowsvistastyle.dll" ] &&
    [ -f "$prefix/lib/cmake/Qt6/qt.toolchain.cmake" ]
}

if complete; then
  echo "$prefix"
  exit 0
fi

started=$(date +%s)
packages=(build-essential cmake ninja-build dpkg-dev g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  qt6-base-dev qt6-base-dev-tools)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# The source comes from the archive and suite the machine already installs from: a deb-src entry is
# derived from the first deb822 or one-line "deb" source that names the Debian archive.
src_list=/etc/apt/sources.list.d/tovalin-deb-src.sources
need_update=0
if ! apt-get source --print-uris qt6-base >/dev/null 2>&1 &&
  [ ! -f "$src_list" ]; then
  python3 - "$src_list" <<'EOF'
import glob, re, sys
out = sys.argv[1]
stanzas = []
for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
    for block in open(path, encoding="utf-8").read().split("\n\n"):
        fields = {}
        for line in block.splitlines():
            if line.startswith("#") or ":" not in line:
                continue
            k, v = line.split(":", 1)
            fields[k.strip().lower()] = v.strip()
        if "deb" in fields.get("types", "").split():
            stanzas.append(fields)
for path in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.list")):
    try:
        lines = open(path, encoding="utf-8").read().splitlines()
    except OSError:
        continue
    for line in lines:
        m = re.match(r"\s*deb\s+(\[[^\]]*\]\s+)?(\S+)\s+(\S+)\s+(.*)", line)
        if m:
            stanzas.append({"uris": m.group(2), "suites": m.group(3), "components": m.group(4)})
for s in stanzas:
    suites = s.get("suites", "").split()
    main_suites = [x for x in suites if "-" not in x]
    if "/debian" in s.get("uris", "") and "security" not in s.get("uris", "") and main_suites:
        text = "Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n" % (
            s["uris"], main_suites[0], s.get("components", "main"))
        if "signed-by" in s:
            text += "Signed-By: %s\n" % s["signed-by"]
        open(out, "w", encoding="utf-8").write(text)
        sys.exit(0)
sys.exit("no Debian archive found among the apt sources")
EOF
  need_update=1
fi
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ] || [ "$need_update" = 1 ]; then
  apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

mkdir -p "$work"
cd "$work"
src=$(find . -maxdepth 1 -type d -name "qt6-base-$qt_version*" | head -n1)
if [ -z "$src" ]; then
  apt-get source --only-source qt6-base >/dev/null
  src=$(find . -maxdepth 1 -type d -name "qt6-base-$qt_version*" | head -n1)
fi
src="$work/$src"

# Our toolchain file names the -posix compilers and windres; binutils come from their prefixed names.
toolchain="$repo/cmake/mingw-w64-x86_64.cmake"
features=(
  -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF
  -DFEATURE_xml=OFF -DFEATURE_network=OFF -DFEATURE_zstd=OFF -DFEATURE_openssl=OFF
  -DFEATURE_pkg_config=OFF -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=OFF
  -DFEATURE_direct2d1_1=OFF -DFEATURE_jpeg=OFF
  # Qt 6.4 compiles the DirectWrite 3 font database into Gui only together with Direct2D, yet the
  # windows plugin links it whenever DirectWrite 3 is on; the default GDI font database is what we use.
  -DFEATURE_directwrite3=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF
  -DFEATURE_system_doubleconversion=OFF
)
cmake -S "$src" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DBUILD_SHARED_LIBS=ON -DCMAKE_BUILD_TYPE=Release \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF \
  "${features[@]}" >"$work/configure.log" 2>&1 || {
  tail -n 40 "$work/configure.log" >&2
  exit 1
}
cmake --build "$work/build" --parallel "$jobs"
rm -rf "$prefix"
cmake --install "$work/build" --strip >/dev/null
# qt.toolchain.cmake remembers where the toolchain file was at build time; projects chainload their
# own (QT_CHAINLOAD_TOOLCHAIN_FILE), so the cache does not depend on this checkout staying put.
complete_check_files=("$prefix/bin/Qt6Core.dll" "$prefix/plugins/platforms/qwindows.dll")
for f in "${complete_check_files[@]}"; do
  [ -f "$f" ] || { echo "Qt for Windows: $f is missing after the install" >&2; exit 1; }
done
touch "$prefix/.tovalin-complete"
complete || { echo "Qt for Windows: the install in $prefix is incomplete" >&2; exit 1; }
echo "Qt for Windows built in $(( ($(date +%s) - started) / 60 )) min" >&2
# The sources and objects are kept beside the cache: a rebuild after a lost install reuses them.
echo "$prefix"
