#!/usr/bin/env bash
# The Debian package as a user meets it: made from a build, checked by lintian, installed with
# apt-get, both programs run from /usr/bin on a copy of the sample prefix (the window on a display
# of its own), then removed again. Installing needs root and apt-get; without them it says so and
# passes.
# Usage: package_deb.sh [BUILD]   (BUILD: a default-preset build, already built; build/default)
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$repo/build/default}")

fail() {
  echo "package test: $*" >&2
  exit 1
}
if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null; then
  echo "package test: skipped, installing the package needs root and apt-get"
  exit 0
fi
dpkg-query -W -f='${Status}' tovalin 2>/dev/null | grep -q 'ok installed' &&
  fail "tovalin is installed already; remove it first (apt-get remove tovalin)"

work=$(mktemp -d)
xvfb_pid=
installed=0
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ "$installed" = 1 ] && apt-get remove -y -qq tovalin >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

deb=$(TOVALIN_BUILD="$build" TOVALIN_DEB_DIR="$work/deb" bash "$repo/scripts/package-deb.sh" \
  --no-build | tail -n 1)
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 ||
  fail "lintian: $(cat "$work/lintian.log")"

export DEBIAN_FRONTEND=noninteractive
installed=1
apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 || fail "apt-get install: $(cat "$work/apt.log")"
for file in /usr/bin/tovalin /usr/bin/tovalin-cli /usr/share/man/man1/tovalin-cli.1.gz \
  /usr/share/icons/hicolor/48x48/apps/tovalin.png /usr/share/doc/tovalin/copyright; do
  [ -f "$file" ] || fail "$file was not installed"
done
desktop-file-validate /usr/share/applications/tovalin.desktop || fail "the desktop entry is invalid"
appstreamcli validate --no-net /usr/share/metainfo/io.github.tovalin.Tovalin.metainfo.xml \
  >"$work/appstream.log" || fail "the metainfo is invalid: $(cat "$work/appstream.log")"

cp -r "$repo/examples/sample-prefix" "$work/prefix"
/usr/bin/tovalin-cli report --prefix "$work/prefix" >"$work/report.txt" ||
  fail "tovalin-cli report failed"
grep -q 'Microsoft Office Professional Edition 2003' "$work/report.txt" ||
  fail "tovalin-cli does not find Office 2003: $(cat "$work/report.txt")"

for display in $(seq 90 140); do
  [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] || break
done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
# Its own temporary folder: the single-instance socket of a Tovalin already running elsewhere
# would take the start over.
mkdir "$work/tmp"
WINEPREFIX="$work/prefix" TMPDIR="$work/tmp" timeout 120 /usr/bin/tovalin >"$work/window.log" 2>&1 &
window=$!
for _ in $(seq 150); do
  xdotool search --onlyvisible --name '^Tovalin$' >/dev/null 2>&1 && break
  sleep 0.2
done
xdotool search --onlyvisible --name '^Tovalin$' >/dev/null 2>&1 ||
  fail "no window titled Tovalin appeared: $(cat "$work/window.log")"
kill -0 "$window" 2>/dev/null || fail "the window ended: $(cat "$work/window.log")"
if [ -n "${TOVALIN_PACKAGE_SHOT:-}" ]; then import -window root "$TOVALIN_PACKAGE_SHOT"; fi
kill "$window"
wait "$window" 2>/dev/null || true

apt-get remove -y -qq tovalin >"$work/apt.log" 2>&1 || fail "apt-get remove: $(cat "$work/apt.log")"
installed=0
[ ! -e /usr/bin/tovalin ] || fail "/usr/bin/tovalin is still there after the removal"
echo "package test: $(basename "$deb") installed, found Office 2003, opened its window and was removed"
