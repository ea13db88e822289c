#!/usr/bin/env bash
# A standard user's rights under Wine: Wine runs every program as an administrator, but
# wineserver enforces a key's DACL within its session, so a key made read-only (readonly_key.exe)
# refuses writes as the machine's keys do for a standard user under UAC. One persistent server
# holds the DACLs across the steps. A change that meets such a key changes nothing at all, names
# the key and exits 5.
# Usage (in a throwaway prefix): in_fresh_prefix.sh rights_under_wine.sh TOVALIN-CLI.EXE READONLY_KEY.EXE
set -euo pipefail
cli=$1
readonly_key=$2
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?run this through in_fresh_prefix.sh}"

bash "$here/office_into_prefix.sh"
reg32() { wine reg add "$@" /reg:32 /f >/dev/null; }
classes=(VBSFile VBEFile JSFile JSEFile WSFFile)
for class in "${classes[@]}"; do
  reg32 "HKCR\\$class\\Shell\\Open\\Command" /ve /d '"C:\windows\system32\WScript.exe" "%1" %*'
done
userinfo='HKCU\Software\Microsoft\Office\11.0\Common\UserInfo'
uninstall='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{90110411-6000-11D3-8CFE-0150048383C9}'
wineserver -w
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Every class as it stands, and whatever a switch would have made of it.
class_state() {
  local class
  for class in "${classes[@]}"; do
    wine reg query "HKCR\\$class" /reg:32 >/dev/null 2>&1 && echo "$class" || true
    wine reg query "HKCR\\$class.SymantecDisabled" /reg:32 >/dev/null 2>&1 && echo "$class off" || true
  done
}

[ "$(wine "$cli" get 151 | tr -d '\r')" = 0 ] || fail "the script classes are not seen"
before=$(class_state)
wine "$readonly_key" 'HKLM\Software\Classes\VBSFile' || fail "readonly_key"
set +e
out=$(wine "$cli" set 151 1 2>&1)
code=$?
set -e
[ "$code" = 5 ] || fail "set 151 1 exited $code: $out"
grep -q 'HKEY_CLASSES_ROOT\\VBSFile' <<<"$out" || fail "the refusing key is not named: $out"
grep -q '管理者' <<<"$out" || fail "no word of an elevated prompt: $out"
[ "$(class_state)" = "$before" ] || fail "a class changed: $(class_state)"

company_before=$(wine reg query "$userinfo" /v Company 2>/dev/null | tr -d '\r')
owner_before=$(wine reg query "$uninstall" /v RegOwner /reg:32 2>/dev/null | tr -d '\r')
wine "$readonly_key" 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{90110411-6000-11D3-8CFE-0150048383C9}' ||
  fail "readonly_key"
set +e
out=$(wine "$cli" user-info --company 'Nobody Inc.' --owner 'Nobody' 2>&1)
code=$?
set -e
[ "$code" = 5 ] || fail "user-info exited $code: $out"
grep -q 'Uninstall\\{90110411-6000-11D3-8CFE-0150048383C9}' <<<"$out" ||
  fail "the uninstall key is not named: $out"
[ "$(wine reg query "$userinfo" /v Company 2>/dev/null | tr -d '\r')" = "$company_before" ] ||
  fail "the user's own key changed"
[ "$(wine reg query "$uninstall" /v RegOwner /reg:32 2>/dev/null | tr -d '\r')" = "$owner_before" ] ||
  fail "the uninstall entry changed"
echo "rights: ok"
