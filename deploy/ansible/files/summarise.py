#!/usr/bin/env python3
"""Sums the reports kept under a fleet folder up in summary.csv and summary.html.

    summarise.py FLEET HOST...

FLEET holds one folder per host, each with index.json (a list of {"prefix", "report"}) and the
reports of `tovalin-cli report --json` it names. One row per host and prefix, for the hosts named:
those that reported in this run, so that a host that failed does not show an earlier run's state.
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
# The report of unrecognised products starts a block with each one's code on a line of its own.
CODE_LINE = re.compile(r"^GUID: ([^\r\n]*)", re.MULTILINE)


def rows_of(fleet: Path, hosts, items):
    for host in sorted(hosts):
        index = fleet / host / "index.json"
        for entry in json.loads(index.read_text(encoding="utf-8")):
            report = json.loads((fleet / host / entry["report"]).read_text(encoding="utf-8"))
            row = {
                "host": host,
                "prefix": entry["prefix"],
                "officeVersion": report.get("officeVersion", ""),
                "productCode": report.get("productCode", ""),
                "company": report.get("company", ""),
                "owner": report.get("owner", ""),
                "products": ";".join(v["displayName"] or v["productCode"]
                                     for v in report.get("versions", [])),
                "unrecognised": ";".join(
                    CODE_LINE.findall(report.get("unrecognisedProducts", ""))),
            }
            for slot in report.get("slots", []):
                for item in slot.get("items", []):
                    if item.get("kind") == SETTING:
                        row[f"item_{item['itemId']}"] = item.get("state", "")
                        items.setdefault(f"item_{item['itemId']}", {
                            "title": f"{slot.get('appName', '')}: {item.get('title', '')}",
                            "captions": item.get("captions", [])})
            yield row


def main() -> int:
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    fleet = Path(sys.argv[1])
    items = {}
    rows = list(rows_of(fleet, sys.argv[2:], items))
    columns = FIXED_COLUMNS + sorted(items, key=lambda key: int(key[len("item_"):]))

    with open(fleet / "summary.csv", "w", encoding="utf-8", newline="") as out:
        writer = csv.DictWriter(out, fieldnames=columns, restval="")
        writer.writeheader()
        writer.writerows(rows)

    def cell(tag, value, title=""):
        hint = f' title="{html.escape(title)}"' if title else ""
        return f"<{tag}{hint}>{html.escape(str(value))}</{tag}>"

    def shown(row, column):
        """A setting's state as the window names it, with its number."""
        value = row.get(column, "")
        captions = items[column]["captions"] if column in items else []
        if value in (0, 1) and value < len(captions) and captions[value]:
            return f"{captions[value]} ({value})"
        return f"不明 ({value})" if value == -1 else value

    head = "".join(cell("th", c, items.get(c, {}).get("title", "")) for c in columns)
    body = "\n".join("<tr>" + "".join(cell("td", shown(row, c)) for c in columns) + "</tr>"
                     for row in rows)
    (fleet / "summary.html").write_text(
        "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\">"
        "<title>Tovalin fleet summary</title>"
        "<style>table{border-collapse:collapse}td,th{border:1px solid #999;padding:2px 6px}"
        "</style></head><body>\n"
        f"<table>\n<tr>{head}</tr>\n{body}\n</table>\n</body></html>\n",
        encoding="utf-8")
    print(f"{len(rows)} rows: {fleet / 'summary.csv'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
