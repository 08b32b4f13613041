#!/usr/bin/python3
"""Checks a schematic written back by `ravederi project to-kicad` against the
file before, with a parser that is not ours (Debian's python3-sexpdata).

usage: check_writeback.py FIELD OLD NEW

Prints one line per symbol whose FIELD changed, "UUID OLD -> NEW" (OLD
"(none)" when the symbol had no such field), sorted, and exits 0; exits 1
with the reason when anything but FIELD's value changed: the trees with
every FIELD property left out must be equal, an existing FIELD property may
differ only in its value, and the bytes outside the FIELD properties must be
identical.
"""
import sys

import sexpdata

S = sexpdata.Symbol


def head(node):
    return node[0] if isinstance(node, list) and node and isinstance(node[0], S) else None


def is_field(node, field):
    return head(node) == S("property") and len(node) > 2 and node[1] == field


def without_field(node, field):
    if not isinstance(node, list):
        return node
    return [without_field(c, field) for c in node if not is_field(c, field)]


def field_of(symbol, field):
    for c in symbol:
        if is_field(c, field):
            return c
    return None


def uuid_of(symbol):
    for c in symbol:
        if head(c) == S("uuid"):
            return str(c[1].value() if isinstance(c[1], S) else c[1])
    return None


def strip_blocks(text, field):
    """The text with every `(property "FIELD" ...)` block and the line break
    and indentation before it removed."""
    opening = '(property "' + field.replace("\\", "\\\\").replace('"', '\\"') + '"'
    out, pos = [], 0
    while True:
        at = text.find(opening, pos)
        if at < 0:
            out.append(text[pos:])
            return "".join(out)
        start = at
        while start > pos and text[start - 1] in " \t":
            start -= 1
        if start > pos and text[start - 1] == "\n":
            start -= 1
        depth, i, in_string = 0, at, False
        while True:
            c = text[i]
            if in_string:
                if c == "\\":
                    i += 1
                elif c == '"':
                    in_string = False
            elif c == '"':
                in_string = True
            elif c == "(":
                depth += 1
            elif c == ")":
                depth -= 1
                if depth == 0:
                    break
            i += 1
        out.append(text[pos:start])
        pos = i + 1


def main():
    field, old_path, new_path = sys.argv[1:4]
    old_text = open(old_path, encoding="utf-8").read()
    new_text = open(new_path, encoding="utf-8").read()
    old, new = sexpdata.loads(old_text), sexpdata.loads(new_text)
    if without_field(old, field) != without_field(new, field):
        print("something besides the field " + field + " changed")
        return 1
    if strip_blocks(old_text, field) != strip_blocks(new_text, field):
        print("bytes outside the field " + field + " changed")
        return 1
    changes = []
    for o, n in zip(old, new):
        if head(o) != S("symbol"):
            continue
        of, nf = field_of(o, field), field_of(n, field)
        if of is None and nf is None:
            continue
        if of is not None and (nf is None or of[:2] + of[3:] != nf[:2] + nf[3:]):
            print("the field of " + str(uuid_of(o)) + " changed beyond its value")
            return 1
        old_value = "(none)" if of is None else of[2]
        if nf[2] != old_value:
            changes.append(uuid_of(n) + " " + old_value + " -> " + nf[2])
    for line in sorted(changes):
        print(line)
    return 0


sys.exit(main())
