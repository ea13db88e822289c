#!/usr/bin/env bash
# The fleet playbooks against three local hosts holding four copies of the sample prefix, each
# told apart: report.yml's summary, written where ansible-playbook runs, has one row per prefix
# that matches the prefix's own report; apply.yml with --check writes nothing, then changes what
# differs, then finds nothing left to change; a setting that cannot take effect fails only the
# hosts where it cannot, with the program's reason. The Windows plays get a syntax check and
# ansible-lint (there is no Windows host here). Nothing is read from or written to the user's
# home, and nothing is fetched.
#   playbooks.sh TOVALIN_CLI SAMPLE_PREFIX
set -euo pipefail
cli=$(realpath "$1")
sample=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
playbooks=$(cd "$here/../../deploy/ansible" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export ANSIBLE_NOCOLOR=1 ANSIBLE_LOCAL_TEMP="$work/tmp" ANSIBLE_REMOTE_TEMP="$work/tmp" \
  ANSIBLE_HOME="$work/ansible" ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3 \
  ANSIBLE_STDOUT_CALLBACK=default ANSIBLE_CONFIG="$work/none.cfg" ANSIBLE_RETRY_FILES_ENABLED=0
# Ansible refuses to start without a UTF-8 locale; C.UTF-8 is there on every Debian.
export HOME="$work/home" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config" \
  WINEPREFIX="$work/no-such-prefix" LC_ALL=C.UTF-8
mkdir -p "$HOME"

for p in p1 p2 p3 p4; do cp -a "$sample" "$work/$p"; done
# The item the fleet switches, and one prefix where it already stands switched.
item=52
"$cli" set "$item" 1 --prefix "$work/p3" >/dev/null
# Another registered user in p2.
sed -i 's/\\x5c71\\x7530 \\x592a\\x90ce/Suzuki Hanako/g' "$work/p2/system.reg"
# In p4 a second unrecognised product, and the key that lets the clipboard switch (51) take effect.
cat >>"$work/p4/system.reg" <<'REG'

[Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{90120000-0FFE-0411-0000-0000000FF1CE}] 1715592000
"DisplayName"="Microsoft Office Future Tool 2007"
REG
cat >>"$work/p4/user.reg" <<'REG'

[Software\\Microsoft\\Office\\11.0\\Common\\General] 1715590800
REG

cat >"$work/inventory.yml" <<EOF
all:
  vars:
    ansible_connection: local
    tovalin_cli: $cli
  children:
    linux:
      hosts:
        desk1: {tovalin_prefixes: ["$work/p1", "$work/p2"]}
        desk2: {tovalin_prefixes: ["$work/p3"]}
        desk3: {tovalin_prefixes: ["$work/p4"]}
    windows:
      hosts: {}
EOF

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
run() { ansible-playbook -i "$work/inventory.yml" "$@" 2>&1 | tee "$work/last.log"; }
# "host changed=N failed=N" for every host of the last run's recap.
recap() { sed -n 's/^\(desk[0-9]\) *: .*changed=\([0-9]*\).*failed=\([0-9]*\).*/\1 changed=\2 failed=\3/p' "$work/last.log"; }
hives() { cat "$work"/p*/*.reg | sha256sum; }

# --- report ---
# Run from a folder of its own: the summary belongs there, not beside the playbooks.
mkdir "$work/admin"
cd "$work/admin"
start=$(date +%s%N)
run "$playbooks/report.yml" >/dev/null || fail "report.yml failed: $(tail -n 30 "$work/last.log")"
echo "report.yml: $(( ($(date +%s%N) - start) / 1000000 )) ms for 3 hosts, 4 prefixes"
[ -f fleet/summary.csv ] && [ -f fleet/summary.html ] || fail "no summary in ./fleet"
[ ! -e "$playbooks/fleet" ] || fail "report.yml wrote into $playbooks/fleet"
# check_summary PREFIX...: the summary's rows are those prefixes', in order, each matching the
# prefix's own report.
check_summary() {
  python3 - "$cli" "$work" "$@" <<'EOF' || fail "summary.csv does not match the reports"
import csv, json, subprocess, sys
cli, work, expected = sys.argv[1], sys.argv[2], sys.argv[3:]
rows = list(csv.DictReader(open(f"{work}/admin/fleet/summary.csv", encoding="utf-8")))
where = {"p1": "desk1", "p2": "desk1", "p3": "desk2", "p4": "desk3"}
assert [(r["host"], r["prefix"]) for r in rows] == [(where[p], f"{work}/{p}") for p in expected], rows
for row in rows:
    report = json.loads(subprocess.check_output([cli, "report", "--json", "--prefix", row["prefix"]]))
    for key in ("officeVersion", "productCode", "company", "owner"):
        assert row[key] == report[key], (key, row[key], report[key])
    assert row["products"] == ";".join(v["displayName"] or v["productCode"] for v in report["versions"])
    states = {f"item_{i['itemId']}": str(i["state"]) for s in report["slots"] for i in s["items"]
              if i["kind"] == 1}
    assert states and {k: row[k] for k in states} == states, (row, states)
    assert all(row[k] == "" for k in row if k.startswith("item_") and k not in states)
# What tells the prefixes apart reached their own rows.
proofing = "{90120000-001F-0411-0000-0000000FF1CE}"
told = {"p1": ("山田 太郎", proofing), "p2": ("Suzuki Hanako", proofing),
        "p3": ("山田 太郎", proofing),
        "p4": ("山田 太郎", "{90120000-0FFE-0411-0000-0000000FF1CE};" + proofing)}
assert [(r["owner"], r["unrecognised"]) for r in rows] == [told[p] for p in expected], rows
print(open(f"{work}/admin/fleet/summary.csv", encoding="utf-8").read(), end="")
EOF
}
check_summary p1 p2 p3 p4
grep -q '<td>Suzuki Hanako</td>' fleet/summary.html || fail "summary.html lacks p2's owner"

# A later run of one host with one prefix: its other report goes, and the summary holds this run.
run "$playbooks/report.yml" --limit desk1 -e "{\"tovalin_prefixes\": [\"$work/p1\"]}" >/dev/null ||
  fail "report.yml --limit failed: $(tail -n 30 "$work/last.log")"
[ "$(cd fleet/desk1 && echo *)" = "1.json index.json" ] || fail "desk1 keeps $(ls fleet/desk1)"
check_summary p1 >/dev/null

# --- apply ---
before=$(hives)
run "$playbooks/apply.yml" --check -e tovalin_item=$item -e tovalin_state=1 >/dev/null ||
  fail "apply.yml --check failed: $(tail -n 30 "$work/last.log")"
[ "$(hives)" = "$before" ] || fail "apply.yml --check wrote to a prefix"
[ "$(recap)" = "$(printf 'desk1 changed=1 failed=0\ndesk2 changed=0 failed=0\ndesk3 changed=1 failed=0')" ] ||
  fail "--check reported: $(recap)"

run "$playbooks/apply.yml" -e tovalin_item=$item -e tovalin_state=1 >/dev/null ||
  fail "apply.yml failed: $(tail -n 30 "$work/last.log")"
[ "$(recap)" = "$(printf 'desk1 changed=1 failed=0\ndesk2 changed=0 failed=0\ndesk3 changed=1 failed=0')" ] ||
  fail "apply reported: $(recap)"
for p in p1 p2 p3 p4; do
  [ "$("$cli" get $item --prefix "$work/$p")" = 1 ] || fail "$p: item $item is not 1"
done
run "$playbooks/apply.yml" -e tovalin_item=$item -e tovalin_state=1 >/dev/null || fail "second apply failed"
[ -z "$(recap | grep -v 'changed=0 failed=0')" ] || fail "second apply reported: $(recap)"

# A setting that cannot take effect fails the hosts where it cannot, with the program's reason;
# the others still change.
if run "$playbooks/apply.yml" -e tovalin_item=51 -e tovalin_state=1 >/dev/null; then
  fail "an undecidable setting was reported as applied"
fi
[ "$(recap)" = "$(printf 'desk1 changed=0 failed=1\ndesk2 changed=0 failed=1\ndesk3 changed=1 failed=0')" ] ||
  fail "apply of 51 reported: $(recap)"
[ "$(grep -c '"stderr": "tovalin-cli: .*(項目 51) を.*にできませんでした' "$work/last.log")" = 3 ] ||
  fail "the failures do not carry the program's reason: $(grep stderr "$work/last.log")"

# --- the Windows plays: no Windows host here ---
for playbook in report.yml apply.yml; do
  ansible-playbook -i "$work/inventory.yml" --syntax-check "$playbooks/$playbook" >/dev/null ||
    fail "$playbook: syntax"
done
(cd "$playbooks" && ansible-lint -q --offline --nocolor report.yml apply.yml) || fail "ansible-lint"
# ansible-lint cannot load the PowerShell modules to check their options: each Windows task's
# options are checked against the installed collection's documentation instead.
python3 - "$playbooks" <<'EOF' || fail "a Windows task takes an option its module lacks"
import json, subprocess, sys, yaml
from pathlib import Path
used = {}
def walk(node):
    if isinstance(node, list):
        for child in node:
            walk(child)
    elif isinstance(node, dict):
        for key, value in node.items():
            if ".win_" in key and isinstance(value, dict):
                used.setdefault(key, set()).update(value)
            walk(value)
for path in Path(sys.argv[1]).rglob("*.yml"):
    walk(yaml.safe_load(path.read_text(encoding="utf-8")))
docs = json.loads(subprocess.check_output(["ansible-doc", "-j", *used]))
assert set(docs) == set(used), set(used) - set(docs)
wrong = {m: sorted(used[m] - set(docs[m]["doc"]["options"])) for m in used}
assert not any(wrong.values()), wrong
EOF
echo "playbooks: ok"
