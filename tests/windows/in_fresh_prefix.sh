#!/usr/bin/env bash
# Runs a command in a new, empty 64-bit Wine prefix and removes the prefix afterwards, so tests
# of the Windows build never touch a prefix somebody uses.
# Usage: in_fresh_prefix.sh COMMAND [ARG...]
set -euo pipefail
command -v wine >/dev/null || { echo "wine is not installed" >&2; exit 1; }

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tovalin-wine-XXXXXX")
export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all
# Wine takes the code page for command-line text from the locale.
export LC_ALL=C.UTF-8
finish() {
  wineserver -k >/dev/null 2>&1 || true
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
