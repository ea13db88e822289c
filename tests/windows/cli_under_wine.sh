#!/usr/bin/env bash
# tovalin-cli.exe on the real registry of a Wine prefix. Office-shaped keys are added the way a
# 32-bit installer adds them (the 32-bit view, `reg add … /reg:32`); the report must show them,
# and must not show what only the 64-bit view holds.
# Usage (in a throwaway prefix): in_fresh_prefix.sh cli_under_wine.sh TOVALIN-CLI.EXE EXCEL.EXE
# where EXCEL.EXE is an executable with a version resource that stands in for Excel 2003.
set -euo pipefail
cli=$1
excel=$2
: "${WINEPREFIX:?run this through in_fresh_prefix.sh}"

reg32() { wine reg add "$@" /reg:32 /f >/dev/null; }
uninstall='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
office2003='{90110411-6000-11D3-8CFE-0150048383C9}'
proofing='{90120000-001F-0411-0000-0000000FF1CE}'
decoy='{90120000-0014-0000-0000-0000000FF1CE}'
folder='C:\Program Files (x86)\Microsoft Office\OFFICE11'

reg32 "$uninstall\\$office2003" /v DisplayName /d 'Microsoft Office Professional Edition 2003'
reg32 "$uninstall\\$office2003" /v DisplayVersion /d '11.0.8173.0'
reg32 "$uninstall\\$office2003" /v RegOwner /d '山田 太郎'
reg32 "$uninstall\\$office2003" /v RegCompany /d '株式会社サンプル商事'
reg32 'HKLM\SOFTWARE\Microsoft\Office\11.0\Registration\ProductID' /v ProductID \
  /d '73931-640-0000106-57517'
reg32 "$uninstall\\$proofing" /v DisplayName /d 'Microsoft Office Proofing Tools 2007 - 日本語'
reg32 "$uninstall\\$proofing" /v DisplayVersion /d '12.0.6612.1000'
# Only a 64-bit program would see this one.
wine reg add "$uninstall\\$decoy" /v DisplayName /d 'Only in the 64-bit view' /reg:64 /f >/dev/null

# Excel: its automation class, its install folder and the program itself.
reg32 'HKCR\Excel.Application\CLSID' /ve /d '{00024500-0000-0000-C000-000000000046}'
reg32 'HKCR\CLSID\{00024500-0000-0000-C000-000000000046}\LocalServer32' /ve \
  /d "\"$folder\\EXCEL.EXE\" /automation"
reg32 'HKLM\SOFTWARE\Microsoft\Office\11.0\Excel\InstallRoot' /v Path /d "$folder\\"
target="$(winepath -u "$folder")"
mkdir -p "$target"
cp "$excel" "$target/EXCEL.EXE"

# The registered user as Office 2003 keeps it: UTF-16 text in binary values.
userinfo='HKCU\Software\Microsoft\Office\11.0\Common\UserInfo'
wine reg add "$userinfo" /v UserName /t REG_BINARY /d 715c307520002a59ce900000 /f >/dev/null
wine reg add "$userinfo" /v UserInitials /t REG_BINARY /d 590054000000 /f >/dev/null
wine reg add "$userinfo" /v Company /d '株式会社サンプル商事' /f >/dev/null

report=$(mktemp)
trap 'rm -f "$report"' EXIT

# An export whose path no ANSI code page holds whole: the program must take its arguments as
# Unicode to open it.
export_dir='C:\データ'
export_file="$export_dir\\書き出し-한.reg"
mkdir -p "$(winepath -u "$export_dir")"
printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$office2003]" \
  '"DisplayName"="Microsoft Office Standard Edition 2003 (書き出し)"' \
  '"DisplayVersion"="11.0.5614.0"' >"$(winepath -u "$export_file")"
if ! wine "$cli" report --reg "$export_file" --json >"$report" ||
  ! grep -q 'Standard Edition 2003 (書き出し)' "$report"; then
  echo "tovalin-cli.exe report --reg $export_file did not read the export:" >&2
  cat "$report" >&2
  exit 1
fi

wine "$cli" report --json >"$report"

python3 - "$report" "$office2003" "$proofing" "$decoy" "$folder" <<'PY'
import json
import sys

path, office2003, proofing, decoy, folder = sys.argv[1:]
with open(path, encoding="utf-8") as f:
    report = json.load(f)
failures = []


def expect(condition, message):
    if not condition:
        failures.append(message)


codes = {v["productCode"]: v for v in report["versions"]}
expect(office2003 in codes, "the 32-bit Office 2003 entry is missing")
if office2003 in codes:
    product = codes[office2003]
    expect(product["displayName"] == "Microsoft Office Professional Edition 2003",
           "display name: " + product["displayName"])
    expect(product["displayVersion"] == "11.0.8173.0", "display version")
    expect(product["productId"] == "73931-640-0000106-57517", "product ID: " + product["productId"])
    expect(product["version"] == "11.0", "version: " + product["version"])
expect(decoy not in codes, "an entry of the 64-bit view was reported")
expect(proofing in report["unrecognisedProducts"], "the unknown product is not reported")
expect("日本語" in report["unrecognisedProducts"], "the report lost the Japanese product name")
expect(report["officeVersion"] == "11.0", "main version: " + report["officeVersion"])
expect(report["owner"] == "山田 太郎", "owner: " + report["owner"])
expect(report["company"] == "株式会社サンプル商事", "company: " + report["company"])
expect(report["initials"] == "YT", "initials: " + report["initials"])

slots = {s["index"]: s for s in report["slots"]}
expect(2 in slots, "Excel was not found")
if 2 in slots:
    excel = slots[2]
    expect(excel["fileName"].lower() == (folder + "\\EXCEL.EXE").lower(),
           "Excel file: " + excel["fileName"])
    expect(excel["fileVersion"].startswith("11."), "Excel version: " + excel["fileVersion"])

if failures:
    print("tovalin-cli.exe report under Wine:", *failures, sep="\n  ", file=sys.stderr)
    print(json.dumps(report, ensure_ascii=False, indent=2), file=sys.stderr)
    sys.exit(1)
print("tovalin-cli.exe report under Wine: %d products, %d applications" %
      (len(report["versions"]), len(report["slots"])))
PY
