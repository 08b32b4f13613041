#!/usr/bin/env python3
"""A grouped bill of materials computed straight from a KiCad netlist, to
check the tool's grouped CSV against: written apart from the tool (the
standard library's XML parser, its own grouping and ranges), from what a
user expects of such a list.

usage: independent_bom.py NETLIST.xml TOOL.csv [--include-excluded]
Exit 0 when the tool's lines (quantity, parts, value, footprint, code) equal
the ones computed here, 1 with the differences otherwise.
"""
import csv
import re
import sys
import xml.etree.ElementTree as ET

CODE_FIELDS = ["eic", "mpn", "manf#", "manufacturer_part_number", "part number"]
NO_CODE_WORDS = {"n/a", "na", "none", "null", "nil", "tbd", "tba", "unknown"}


def is_placeholder(code):
    code = code.strip()
    return not any(c.isalnum() for c in code) or code.lower() in NO_CODE_WORDS


def natural_key(name):
    return [(0, int(t), "") if t.isdigit() else (1, 0, t.lower()) for t in re.findall(r"\d+|\D+", name)] + [(2, 0, name)]


def ranges(names):
    names = sorted(names, key=natural_key)
    out, i = [], 0
    while i < len(names):
        m = re.fullmatch(r"(.*?)([1-9]\d*|0)", names[i])
        j = i + 1
        if m:
            prefix, number = m.group(1), int(m.group(2))
            while j < len(names) and names[j] == f"{prefix}{number + (j - i)}":
                j += 1
        if j - i >= 3:
            out.append(f"{names[i]}-{names[j - 1]}")
        else:
            out.extend(names[i:j])
        i = j
    return ", ".join(out)


def parts(netlist, include_excluded):
    for comp in ET.parse(netlist).getroot().iter("comp"):
        fields = {}
        for f in comp.iter("field"):
            fields.setdefault(f.get("name", "").lower(), f.text or "")
        flags = set()
        for p in comp.findall("property"):
            if p.get("value") is None:
                flags.add(p.get("name"))
            else:
                fields.setdefault(p.get("name", "").lower(), p.get("value"))
        if "exclude_from_bom" in flags and not include_excluded:
            continue
        code = next((fields[n] for n in CODE_FIELDS if fields.get(n, "").strip()), "")
        if is_placeholder(code):
            code = ""
        footprint = (comp.findtext("footprint") or "").split(":", 1)[-1]
        yield comp.get("ref"), comp.findtext("value") or "", footprint, code


def main():
    netlist, tool_csv = sys.argv[1], sys.argv[2]
    groups = {}
    for ref, value, footprint, code in parts(netlist, "--include-excluded" in sys.argv):
        groups.setdefault((value, footprint, code), []).append(ref)
    expected = sorted((str(len(refs)), ranges(refs), *key) for key, refs in groups.items())
    with open(tool_csv, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f))[1:]
    got = sorted(tuple(r) for r in rows)
    if got == expected:
        return 0
    for row in sorted(set(expected) - set(got)):
        print("missing:", row)
    for row in sorted(set(got) - set(expected)):
        print("unexpected:", row)
    return 1


if __name__ == "__main__":
    sys.exit(main())
