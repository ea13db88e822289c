#!/usr/bin/env python3
"""Turns the keys of Wine registry files into one regedit export (UTF-16, version 5.00), so that
`wine regedit /S` merges them into a prefix Wine made itself: replacing a prefix's own hive would
lose the link keys of its 32-bit view.

Usage: hive_to_regedit.py OUT.reg system.reg=HKEY_LOCAL_MACHINE user.reg=HKEY_CURRENT_USER ...
"""
import re
import sys


def unescape(text):
    """Wine's string escapes: \\\\, \\", \\n, \\r, \\t, \\0 and \\xHHHH."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        n = text[i + 1]
        if n == "x":
            m = re.match(r"[0-9a-fA-F]{1,4}", text[i + 2:])
            out.append(chr(int(m.group(0), 16)))
            i += 2 + len(m.group(0))
            continue
        out.append({"n": "\n", "r": "\r", "t": "\t", "0": "\0"}.get(n, n))
        i += 2
    return "".join(out)


def quote(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def hex_bytes(data):
    return ",".join("%02x" % b for b in data)


def convert_value(raw):
    if raw.startswith('"'):
        return quote(unescape(raw[1:-1]))
    if raw.startswith('str(2):"'):
        data = (unescape(raw[8:-1]) + "\0").encode("utf-16-le")
        return "hex(2):" + hex_bytes(data)
    if raw.startswith('str(7):"'):
        data = (unescape(raw[8:-1]) + "\0").encode("utf-16-le")
        return "hex(7):" + hex_bytes(data)
    return raw  # dword:, hex:, hex(N): are written alike


def convert(path, root, lines):
    text = open(path, encoding="utf-8").read().replace("\\\n  ", "")
    for line in text.splitlines():
        if line.startswith("["):
            key = line[1:line.rindex("]")].replace("\\\\", "\\")
            lines.append("")
            lines.append("[%s\\%s]" % (root, key))
            continue
        m = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)
        if m and lines:
            name = "@" if m.group(1) == "@" else quote(unescape(m.group(1)[1:-1]))
            lines.append("%s=%s" % (name, convert_value(m.group(2))))


def main():
    out = sys.argv[1]
    lines = ["Windows Registry Editor Version 5.00"]
    for argument in sys.argv[2:]:
        path, root = argument.rsplit("=", 1)
        convert(path, root, lines)
    with open(out, "w", encoding="utf-16", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


main()
