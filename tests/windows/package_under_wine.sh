#!/usr/bin/env bash
# The Windows download as a user meets it: the zip unpacked into a fresh Wine prefix that holds an
# Office installation (the sample prefix's, office_into_prefix.sh), and the window started there
# on a display with the real Windows platform plugin.
# Usage (in a throwaway prefix): in_fresh_prefix.sh package_under_wine.sh ZIP
set -euo pipefail
zip=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?run this through in_fresh_prefix.sh}"

fail() {
  echo "package test: $*" >&2
  exit 1
}

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A display of its own, there before Wine's desktop process starts: a desktop started without one
# stays without a display driver for the rest of the session ("no driver could be loaded").
for display in $(seq 90 140); do
  [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] || break
done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
wineserver -w

bash "$here/office_into_prefix.sh"

# Unpacked anywhere: nothing else is installed.
unzip -q "$zip" -d "$WINEPREFIX/drive_c/ダウンロード"
app=$(find "$WINEPREFIX/drive_c/ダウンロード" -maxdepth 1 -type d -name 'tovalin-*-windows-x64')
[ -n "$app" ] || fail "the zip holds no tovalin-*-windows-x64 folder"
# Our licence and the licences of what the zip bundles, each the text it is named for, and every
# DLL and translation it carries named in the index with its licence and source.
while IFS='|' read -r file heading; do
  grep -qF "$heading" "$app/$file" 2>/dev/null || fail "the zip holds no $file (\"$heading\")"
done <<'EOF'
LICENSE|Copyright (c) 2026 The Tovalin developers
licenses/README.txt|Tovalin
licenses/GPL-3.0.txt|GNU GENERAL PUBLIC LICENSE
licenses/LGPL-3.0.txt|GNU LESSER GENERAL PUBLIC LICENSE
licenses/GCC-exception-3.1.txt|GCC RUNTIME LIBRARY EXCEPTION
licenses/qt6-base-copyright.txt|Upstream-Name: qtbase
licenses/qt6-translations-copyright.txt|Upstream-Name: qttranslations
licenses/mingw-w64-copyright.txt|winpthreads
licenses/qt-build/build-qt-windows.sh|apt-get source
EOF
! grep -q '@[A-Z_]*@' "$app/licenses/README.txt" || fail "licenses/README.txt has a blank left unfilled"
while read -r bundled; do
  grep -qiF "$(basename "$bundled")" "$app/licenses/README.txt" ||
    fail "$bundled is bundled without its licence in licenses/README.txt"
done < <(cd "$app" && find . -iname '*.dll' -o -iname '*.qm')

# (The header is read whole first: grep -q stopping early would fail the pipe under pipefail.)
headers=$(x86_64-w64-mingw32-objdump -p "$app/tovalin.exe")
grep -q '^Subsystem.*(Windows GUI)' <<<"$headers" ||
  fail "tovalin.exe is not a GUI program (it would open a console window)"

# The command-line program of the package sees the products through the 32-bit view.
timeout 120 wine "$app/tovalin-cli.exe" report --json >"$work/report.json" ||
  fail "tovalin-cli.exe report failed"
grep -q '{90110411-6000-11D3-8CFE-0150048383C9}' "$work/report.json" ||
  fail "tovalin-cli.exe does not find Office 2003: $(cat "$work/report.json")"

windows() { xdotool search --onlyvisible --name "$1" 2>/dev/null || true; }
wait_for() {  # NAME SECONDS: the ids of the visible windows so named, once there are any
  local found
  for _ in $(seq $(($2 * 5))); do
    found=$(windows "$1")
    [ -n "$found" ] && { echo "$found"; return 0; }
    sleep 0.2
  done
  return 1
}

(cd "$app" && exec timeout 300 wine tovalin.exe) >"$work/first.log" 2>&1 &
first=$!
main=$(wait_for '^Tovalin$' 90) || fail "no window titled Tovalin appeared: $(cat "$work/first.log")"
# A box about undetected Office or a missing DLL would end the program or stand beside a smaller
# window: the main window stays, alone, at its size.
sleep 3
kill -0 "$first" 2>/dev/null || fail "the program ended: $(cat "$work/first.log")"
main=$(windows '^Tovalin$')
[ "$(echo "$main" | wc -l)" = 1 ] || fail "more than one window titled Tovalin"
width=$(xdotool getwindowgeometry "$main" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
[ "${width:-0}" -ge 480 ] || fail "the Tovalin window is ${width}px wide, not the main window"
if [ -n "${TOVALIN_PACKAGE_SHOT:-}" ]; then import -window root "$TOVALIN_PACKAGE_SHOT"; fi

# A second start hands over to the first and ends.
(cd "$app" && timeout 60 wine tovalin.exe) || fail "the second start exited with $?"
sleep 1
[ "$(windows '^Tovalin$' | wc -l)" = 1 ] || fail "a second start left another window"

# Other → About (Alt+O, A).
# Typed through XTEST into the focused window: Wine ignores keys sent to a window as events.
xdotool windowfocus "$main" 2>/dev/null || true
sleep 0.5
xdotool key alt+o
sleep 1
xdotool key a
# Its caption is Japanese on a Japanese-Japan user locale only; the prefix's follows this machine's.
wait_for '^(Tovalin について|About Tovalin)$' 20 >/dev/null || fail "the about dialog did not open"

echo "package test: the window of $(basename "$app") started, found Office 2003, kept one copy and opened its about dialog"
