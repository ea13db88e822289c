#!/usr/bin/env bash
# Gives the Wine prefix $WINEPREFIX the sample prefix's Office installation: its keys, merged
# through regedit into the hives Wine made (replacing them would lose the link keys of the 32-bit
# view), its programs under C:\Program Files (x86)\Microsoft Office and its cached installer
# files (the suite's icon) under C:\windows\Installer.
# Usage: office_into_prefix.sh   (with WINEPREFIX set, e.g. inside in_fresh_prefix.sh)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
sample="$here/../../examples/sample-prefix"
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
export=$(mktemp --suffix=.reg)
trap 'rm -f "$export"' EXIT
python3 "$here/hive_to_regedit.py" "$export" \
  "$sample/system.reg=HKEY_LOCAL_MACHINE" "$sample/user.reg=HKEY_CURRENT_USER"
timeout 120 wine regedit /S "$(winepath -w "$export")"
cp -r "$sample/drive_c/Program Files (x86)/Microsoft Office" \
  "$WINEPREFIX/drive_c/Program Files (x86)/"
mkdir -p "$WINEPREFIX/drive_c/windows/Installer"
cp -r "$sample/drive_c/windows/Installer/." "$WINEPREFIX/drive_c/windows/Installer/"
