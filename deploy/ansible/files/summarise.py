#!/usr/bin/env python3
"""Sums the reports kept under a fleet folder up in summary.csv and summary.html.

The folder holds one folder per host, each with index.json (a list of {"prefix", "report"}) and
the reports of `tovalin-cli report --json` it names. One row per host and prefix.
"""
import csv
import html
import json
import re
import sys
from pathlib import Path

SETTING = 1  # the item kind of a two-state setting
FIXED_COLUMNS = ["host", "prefix", "officeVersion", "productCode", "company", "owner",
                 "products", "unrecognised"]
# The report of unrecognised products names each one on a line of its own.
GUID_LINE = re.compile(r"^GUID: (\S+)", re.MULTILINE)


def rows_of(fleet: Path):
    for host_dir in sorted(p for p in fleet.iterdir() if (p / "index.json").is_file()):
        for entry in json.loads((host_dir / "index.json").read_text(encoding="utf-8")):
            report = json.loads((host_dir / entry["report"]).read_text(encoding="utf-8"))
            row = {
                "host": host_dir.name,
                "prefix": entry["prefix"],
                "officeVersion": report.get("officeVersion", ""),
                "productCode": report.get("productCode", ""),
                "company": report.get("company", ""),
                "owner": report.get("owner", ""),
                "products": ";".join(v["displayName"] or v["productCode"]
                                     for v in report.get("versions", [])),
                "unrecognised": ";".join(
                    GUID_LINE.findall(report.get("unrecognisedProducts", ""))),
            }
            for slot in report.get("slots", []):
                for item in slot.get("items", []):
                    if item.get("kind") == SETTING:
                        row[f"item_{item['itemId']}"] = item.get("state", "")
            yield row


def main() -> int:
    fleet = Path(sys.argv[1] if len(sys.argv) > 1 else "fleet")
    rows = list(rows_of(fleet))
    items = sorted({key for row in rows for key in row if key.startswith("item_")},
                   key=lambda key: int(key[len("item_"):]))
    columns = FIXED_COLUMNS + items

    with open(fleet / "summary.csv", "w", encoding="utf-8", newline="") as out:
        writer = csv.DictWriter(out, fieldnames=columns, restval="")
        writer.writeheader()
        writer.writerows(rows)

    cells = lambda values, tag: "".join(f"<{tag}>{html.escape(str(v))}</{tag}>" for v in values)
    body = "\n".join(f"<tr>{cells((row.get(c, '') for c in columns), 'td')}</tr>" for row in rows)
    (fleet / "summary.html").write_text(
        "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\">"
        "<title>Tovalin fleet summary</title>"
        "<style>table{border-collapse:collapse}td,th{border:1px solid #999;padding:2px 6px}"
        "</style></head><body>\n"
        f"<table>\n<tr>{cells(columns, 'th')}</tr>\n{body}\n</table>\n</body></html>\n",
        encoding="utf-8")
    print(f"{len(rows)} rows: {fleet / 'summary.csv'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
