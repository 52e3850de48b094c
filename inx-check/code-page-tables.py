#!/usr/bin/env python3
"""Writes CodePageTables.cpp: the ANSI code pages' bytes 0x80 to 0xFF as
Unicode characters, and each byte's upper-case byte in the same code page.

Made from Python's codecs. An undefined byte from 0x80 to 0x9F reads as the
C1 control of the same number, as Windows reads it; one above as U+FFFD.
Run: python3 inx-check/code-page-tables.py > inx-check/CodePageTables.cpp
"""

CODE_PAGES = [874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258]


def character(page, byte):
    try:
        return bytes([byte]).decode(f"cp{page}")
    except UnicodeDecodeError:
        return chr(byte) if byte < 0xA0 else "\ufffd"


def upper_byte(page, byte):
    upper = character(page, byte).upper()
    if len(upper) != 1:
        return byte
    try:
        encoded = upper.encode(f"cp{page}")
    except UnicodeEncodeError:
        return byte
    return encoded[0] if encoded[0] >= 0x80 else byte


def rows(values, width, form):
    return [
        "        " + ", ".join(form.format(v) for v in values[i:i + width]) + ","
        for i in range(0, len(values), width)
    ]


def main():
    out = [
        "// Made by code-page-tables.py from Python's codecs; do not edit.",
        '#include "inx-check/CodePage.h"',
        "",
        "const CodePageTable kCodePageTables[] = {",
    ]
    for page in CODE_PAGES:
        high = [ord(character(page, b)) for b in range(0x80, 0x100)]
        upper = [upper_byte(page, b) for b in range(0x80, 0x100)]
        out.append(f"    {{{page},")
        out.append("     {")
        out += rows(high, 10, "0x{:04X}")
        out.append("     },")
        out.append("     {")
        out += rows(upper, 12, "0x{:02X}")
        out.append("     }},")
    out.append("};")
    out.append("const std::size_t kCodePageTableCount = sizeof kCodePageTables / sizeof kCodePageTables[0];")
    print("\n".join(out))


main()
