#!/usr/bin/env bash
# Runs a command in a new, empty 64-bit Wine prefix and removes the prefix afterwards, so tests
# of the Windows build never touch a prefix somebody uses.
# Usage: in_fresh_prefix.sh COMMAND [ARG...]
set -euo pipefail
command -v wine >/dev/null || { echo "wine is not installed" >&2; exit 1; }

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tovalin-wine-XXXXXX")
export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all
# Wine's Recycle Bin is the host's trash in $XDG_DATA_HOME, where it also adds menu entries: the
# run's own folder keeps both from the desktop of whoever runs the tests.
export XDG_DATA_HOME="$WINEPREFIX/xdg-data"
# Wine takes the code page for command-line text from the locale.
export LC_ALL=C.UTF-8
# The prefix's wineserver writes the registry files as it exits, so it must be gone before the
# prefix is removed; it runs in a folder named after the prefix's device and inode.
server_dir=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
server_running() {
  local pid
  for pid in $(pgrep -x 'wineserver(64)?' || true); do
    [[ "$(readlink "/proc/$pid/cwd" 2>/dev/null)" == */"$server_dir" ]] && return 0
  done
  return 1
}
finish() {
  wineserver -k >/dev/null 2>&1 || true
  for _ in $(seq 100); do
    server_running || break
    sleep 0.1
  done
  rm -rf "$WINEPREFIX"
}
trap finish EXIT

if ! wineboot -i >"$WINEPREFIX.log" 2>&1; then
  cat "$WINEPREFIX.log" >&2
  rm -f "$WINEPREFIX.log"
  exit 1
fi
rm -f "$WINEPREFIX.log"

"$@"
