#!/usr/bin/env bash
# Rebuilds the stand-in Office executables of the sample prefix: tiny Windows programs whose
# version resources and icons look like those of Office 2003 and Excel 2007. The results are
# committed, so the sample works without running this; run it after changing the sources.
# Needs x86_64-w64-mingw32-gcc/-windres (scripts/setup-deps.sh) and python3.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
src="$here/sample-exes"
drive_c="$here/sample-prefix/drive_c"
office="$drive_c/Program Files (x86)/Microsoft Office"
# The cached installer folder of the Office 2003 product listed in the sample registry.
office11_product="{90110411-6000-11D3-8CFE-0150048383C9}"

cc=x86_64-w64-mingw32-gcc
windres=x86_64-w64-mingw32-windres
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# build OUT "TEXT" "a,b,c,d" FILEVERSION PRODUCTVERSION DESCRIPTION INTERNAL ORIGINAL PRODUCT ICON...
# Each ICON is "RRGGBB:LETTER[:SIZES]"; the icons become groups 1, 2, … in that order.
build() {
  local out="$1" text="$2" numbers="$3" file_version="$4" product_version="$5"
  local description="$6" internal="$7" original="$8" product="$9"
  shift 9
  local name
  name="$(basename "$out" | tr '.' '_')"
  local rc="$work/$name.rc"
  : >"$rc"
  local id=1
  for icon in "$@"; do
    local fields
    IFS=: read -r -a fields <<<"$icon"
    python3 "$src/make-icon.py" "$work/$name-$id.ico" "${fields[@]}"
    echo "$id ICON \"$work/$name-$id.ico\"" >>"$rc"
    id=$((id + 1))
  done
  cat >>"$rc" <<RC
1 VERSIONINFO
FILEVERSION $numbers
PRODUCTVERSION $numbers
FILEFLAGSMASK 0x3f
FILEFLAGS 0
FILEOS 0x40004
FILETYPE 1
FILESUBTYPE 0
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "041103A4"
    BEGIN
      VALUE "CompanyName", "Tovalin sample files"
      VALUE "FileDescription", "$description"
      VALUE "FileVersion", "$file_version"
      VALUE "InternalName", "$internal"
      VALUE "LegalCopyright", "Sample file for Tovalin, no Microsoft code"
      VALUE "OriginalFilename", "$original"
      VALUE "ProductName", "$product"
      VALUE "ProductVersion", "$product_version"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x0411, 932
  END
END
RC
  "$windres" -c 65001 "$rc" -O coff -o "$work/$name.o"
  mkdir -p "$(dirname "$out")"
  "$cc" -Os -s -nostdlib -Wl,-e,start -Wl,--subsystem,windows -Wl,--no-insert-timestamp \
    -DSAMPLE_TEXT="L\"$text\"" "$src/sample.c" "$work/$name.o" -lkernel32 -luser32 -o "$out"
  echo "built ${out#"$here"/}"
}

office2003="Microsoft Office 2003 (Tovalin sample)"
build "$office/OFFICE11/EXCEL.EXE" "Microsoft Office Excel 2003 (sample)" 11,0,5612,0 \
  11.0.5612.0 11.0.5614.0 "Microsoft Office Excel" Excel EXCEL.EXE "$office2003" 1D7044:X
build "$office/OFFICE11/WINWORD.EXE" "Microsoft Office Word 2003 (sample)" 11,0,5604,0 \
  11.0.5604.0 11.0.5614.0 "Microsoft Office Word" WinWord WinWord.exe "$office2003" 2B579A:W
build "$office/OFFICE11/OUTLOOK.EXE" "Microsoft Office Outlook 2003 (sample)" 11,0,5510,0 \
  11.0.5510.0 11.0.5614.0 "Microsoft Office Outlook" Outlook Outlook.exe "$office2003" 0072C6:O
build "$office/OFFICE11/MSACCESS.EXE" "Microsoft Office Access 2003 (sample)" 11,0,5614,0 \
  11.0.5614.0 11.0.5614.0 "Microsoft Office Access" MSACCESS MSACCESS.EXE "$office2003" A4373A:A
build "$office/OFFICE11/POWERPNT.EXE" "Microsoft Office PowerPoint 2003 (sample)" 11,0,5529,0 \
  11.0.5529.0 11.0.5614.0 "Microsoft Office PowerPoint" POWERPNT POWERPNT.EXE "$office2003" \
  D24726:P
build "$office/OFFICE12/EXCEL.EXE" "Microsoft Office Excel 2007 (sample)" 12,0,4518,1014 \
  12.0.4518.1014 12.0.4518.1014 "Microsoft Office Excel" Excel EXCEL.EXE \
  "2007 Microsoft Office system (Tovalin sample)" 1D7044:X 107C41:X
# The suite's icon is the seventh icon group of misc.exe.
build "$drive_c/windows/Installer/$office11_product/misc.exe" "Microsoft Office 2003 (sample)" \
  11,0,5614,0 11.0.5614.0 11.0.5614.0 "Microsoft Office 2003 component" misc misc.exe \
  "$office2003" 808080:M:16 1D7044:X:16 2B579A:W:16 0072C6:O:16 A4373A:A:16 D24726:P:16 E8590C:O
