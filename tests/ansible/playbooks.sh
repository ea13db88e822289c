#!/usr/bin/env bash
# The fleet playbooks against three local hosts holding four copies of the sample prefix:
# report.yml's summary has one row per prefix that matches the prefix's own report; apply.yml
# with --check writes nothing, then changes what differs, then finds nothing left to change.
# The Windows plays get a syntax check and ansible-lint (there is no Windows host here).
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
  ANSIBLE_STDOUT_CALLBACK=default
export HOME="$work/home" WINEPREFIX="$work/no-such-prefix"
mkdir -p "$HOME"

for p in p1 p2 p3 p4; do cp -a "$sample" "$work/$p"; done
# The item the fleet switches, and one prefix where it already stands switched.
item=52
"$cli" set "$item" 1 --prefix "$work/p3" >/dev/null

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
# "host changed=N" for every host of the last run's recap.
recap() { sed -n 's/^\(desk[0-9]\) *: .*changed=\([0-9]*\).*failed=\([0-9]*\).*/\1 changed=\2 failed=\3/p' "$work/last.log"; }
hives() { cat "$work"/p*/*.reg | sha256sum; }

# --- report ---
cd "$work"
start=$(date +%s%N)
run "$playbooks/report.yml" >/dev/null || fail "report.yml failed: $(tail -n 30 "$work/last.log")"
echo "report.yml: $(( ($(date +%s%N) - start) / 1000000 )) ms for 3 hosts, 4 prefixes"
[ -f fleet/summary.csv ] && [ -f fleet/summary.html ] || fail "no summary in ./fleet"
python3 - "$cli" "$work" <<'EOF' || fail "summary.csv does not match the reports"
import csv, json, subprocess, sys
cli, work = sys.argv[1], sys.argv[2]
rows = list(csv.DictReader(open(f"{work}/fleet/summary.csv", encoding="utf-8")))
where = {"p1": "desk1", "p2": "desk1", "p3": "desk2", "p4": "desk3"}
assert sorted((r["host"], r["prefix"]) for r in rows) == sorted(
    (h, f"{work}/{p}") for p, h in where.items()), rows
for row in rows:
    report = json.loads(subprocess.check_output([cli, "report", "--json", "--prefix", row["prefix"]]))
    for key in ("officeVersion", "productCode", "company", "owner"):
        assert row[key] == report[key], (key, row[key], report[key])
    assert row["products"] == ";".join(v["displayName"] or v["productCode"] for v in report["versions"])
    states = {f"item_{i['itemId']}": str(i["state"]) for s in report["slots"] for i in s["items"]
              if i["kind"] == 1}
    assert states and {k: row[k] for k in states} == states, (row, states)
    assert all(row[k] == "" for k in row if k.startswith("item_") and k not in states)
print(open(f"{work}/fleet/summary.csv", encoding="utf-8").read(), end="")
EOF

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

# A setting that cannot take effect fails the host with the program's reason.
if run "$playbooks/apply.yml" -e tovalin_item=51 -e tovalin_state=1 >/dev/null; then
  fail "an undecidable setting was reported as applied"
fi
grep -q '"stderr": ".\+' "$work/last.log" || fail "the failure does not carry the program's reason"

# --- the Windows plays: no Windows host here ---
for playbook in report.yml apply.yml; do
  ansible-playbook -i "$work/inventory.yml" --syntax-check "$playbooks/$playbook" >/dev/null ||
    fail "$playbook: syntax"
done
(cd "$playbooks" && ansible-lint -q --offline report.yml apply.yml) || fail "ansible-lint"
echo "playbooks: ok"
