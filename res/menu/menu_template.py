#!/usr/bin/env python3
"""Compiles a menu script (menu128.rc) into the standard binary menu template.

The script knows MENU, BEGIN/END, POPUP "text" [, GRAYED|CHECKED|INACTIVE ...],
MENUITEM "text", id [, flags ...] and MENUITEM SEPARATOR; "\\t" in a text is
a tab. Output: header (version 0, offset 0), then each item as a flags word,
an id word unless it is a popup, and NUL-terminated UTF-16LE text; the last
item of every level carries MF_END (0x80).

Usage: python3 menu_template.py menu128.rc menu128.bin
"""
import re
import shlex
import struct
import sys

MF_GRAYED, MF_INACTIVE, MF_CHECKED, MF_POPUP, MF_END = 0x01, 0x02, 0x08, 0x10, 0x80
FLAG_WORDS = {"GRAYED": MF_GRAYED, "INACTIVE": MF_INACTIVE, "CHECKED": MF_CHECKED}


def parse(lines):
    """Returns the menu bar's items as (flags, id, text, children) tuples."""
    root = []
    stack = []
    pending = None
    for raw in lines:
        line = re.sub(r"//.*", "", raw).strip()
        if not line:
            continue
        words = shlex.split(line.replace(",", " "), posix=True)
        head = words[0].upper()
        if len(words) > 1 and words[1].upper() == "MENU":
            pending = (0, 0, "", root)
            continue
        if head == "BEGIN":
            if pending is not None:
                stack.append(pending[3])
                pending = None
            continue
        if head == "END":
            stack.pop()
            continue
        if head == "POPUP":
            flags = MF_POPUP
            for word in words[2:]:
                flags |= FLAG_WORDS[word.upper()]
            pending = (flags, 0, words[1].replace("\\t", "\t"), [])
            stack[-1].append(pending)
            continue
        if head == "MENUITEM":
            if words[1].upper() == "SEPARATOR":
                stack[-1].append((0, 0, "", None))
                continue
            flags = 0
            for word in words[3:]:
                flags |= FLAG_WORDS[word.upper()]
            stack[-1].append((flags, int(words[2], 0), words[1].replace("\\t", "\t"), None))
            continue
        sys.exit("cannot read: " + raw.rstrip())
    return root


def emit(items, out):
    for n, (flags, ident, text, children) in enumerate(items):
        if n == len(items) - 1:
            flags |= MF_END
        out += struct.pack("<H", flags)
        if not flags & MF_POPUP:
            out += struct.pack("<H", ident)
        out += text.encode("utf-16-le") + b"\0\0"
        if flags & MF_POPUP:
            emit(children, out)


def main(source, target):
    with open(source, encoding="utf-8") as f:
        items = parse(f)
    out = bytearray(struct.pack("<HH", 0, 0))
    emit(items, out)
    with open(target, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
