#!/usr/bin/env python3
"""Prints, as JSON, the version fields of each PE file named on the command line as read by
pefile, a reader independent of ours. It takes the same resource the program takes: RT_VERSION
id 1 in the first language of neutral, Japanese, U.S. English, else the first one listed; then
the string table of the first translation, or the U.S. English table of that code page when the
first has none of the fields. A file without such a resource maps to null."""
import json
import sys

import pefile

FIELDS = ("CompanyName", "FileVersion", "ProductName", "ProductVersion")
# Every key the program reads: the U.S. English table is used only when none is in the first.
ALL_KEYS = (b"CompanyName", b"FileDescription", b"FileVersion", b"InternalName",
            b"LegalCopyright", b"OriginalFileName", b"ProductName", b"ProductNameEn",
            b"ProductVersion", b"Comments", b"LegalTrademarks", b"PrivateBuild", b"SpecialBuild")
RT_VERSION = 16


def chosen_version_index(pe):
    """Index, among the version resources pefile parsed, of the one the program reads."""
    leaves = []  # (name id or None, language id) in pefile's parse order
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in root.entries if root is not None else []:
        if kind.id != RT_VERSION or not hasattr(kind, "directory"):
            continue
        for name in kind.directory.entries:
            if not hasattr(name, "directory"):
                continue
            for lang in name.directory.entries:
                leaves.append((name.id if name.name is None else None, lang.id))
    for wanted in (0, 0x411, 0x409, None):
        for index, (name_id, lang_id) in enumerate(leaves):
            if name_id == 1 and (wanted is None or lang_id == wanted):
                return index
    return None


def fields(path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(
        directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    index = chosen_version_index(pe)
    infos = getattr(pe, "FileInfo", [])
    if index is None or index >= len(infos):
        return None
    tables = {}
    translation = None
    for part in infos[index]:
        if part.Key == b"StringFileInfo":
            for table in part.StringTable:
                tables.setdefault(table.LangID.decode().upper(), table.entries)
        elif part.Key == b"VarFileInfo":
            for var in part.Var:
                if translation is None and b"Translation" in var.entry:
                    translation = var.entry[b"Translation"].split()[:2]
    if translation is None:
        return None
    lang, codepage = (int(v, 16) for v in translation)
    keys = {}
    for table_name in ("%04X%04X" % (lang, codepage), "0409%04X" % codepage):
        entries = tables.get(table_name, {})
        lowered = {k.lower(): v for k, v in entries.items()}
        if any(k.lower() in lowered for k in ALL_KEYS):
            keys = lowered
            break
    return {f: keys.get(f.lower().encode(), b"").decode("utf-8", "replace").split("\0")[0]
            for f in FIELDS}


def main():
    result = {}
    for path in sys.argv[1:]:
        try:
            result[path] = fields(path)
        except pefile.PEFormatError:
            result[path] = None
    json.dump(result, sys.stdout, ensure_ascii=False, indent=0)


if __name__ == "__main__":
    main()
