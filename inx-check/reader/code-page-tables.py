#!/usr/bin/env python3
"""Writes CodePageTables.cpp: the ANSI code pages' bytes 0x80 to 0xFF as
Unicode characters, each byte's upper-case byte in the same code page, and
for the double-byte code pages the characters of their byte pairs and the
pairs that have an upper-case pair.

Made from Python's codecs. An undefined byte from 0x80 to 0x9F reads as the
C1 control of the same number, as Windows reads it; one above, an undefined
pair and a lead byte alone, as U+FFFD. The lead bytes are the ranges Windows gives for
each code page (GetCPInfo). Where Python's codec and Windows disagree the
character is left undefined, except for code page 936's euro sign at 0x80.
Run: python3 inx-check/reader/code-page-tables.py > inx-check/reader/CodePageTables.cpp
"""

SINGLE_BYTE = [874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258]
LEAD_BYTES = {
    932: [*range(0x81, 0xA0), *range(0xE0, 0xFD)],
    936: list(range(0x81, 0xFF)),
    949: list(range(0x81, 0xFF)),
    950: list(range(0x81, 0xFF)),
}
FIRST_TRAIL, LAST_TRAIL = 0x40, 0xFE
# Windows gives these the private use area (end-user defined characters);
# Python's cp950 gives them the ETEN extension's kana.
NOT_AS_WINDOWS = {950: range(0xC6A1, 0xC8FF)}
WINDOWS_ONLY = {(936, b"\x80"): "\u20ac"}


def decode(page, data):
    if (page, data) in WINDOWS_ONLY:
        return WINDOWS_ONLY[(page, data)]
    if len(data) == 2 and int.from_bytes(data, "big") in NOT_AS_WINDOWS.get(page, ()):
        return None
    try:
        text = data.decode(f"cp{page}")
    except UnicodeDecodeError:
        return None
    return text if len(text) == 1 else None


def character(page, byte):
    if byte in LEAD_BYTES.get(page, ()):
        return "\ufffd"  # alone, at the end of the text
    text = decode(page, bytes([byte]))
    if text is None:
        return chr(byte) if byte < 0xA0 else "\ufffd"
    return text


def upper_byte(page, byte):
    upper = character(page, byte).upper()
    if len(upper) != 1:
        return byte
    try:
        encoded = upper.encode(f"cp{page}")
    except UnicodeEncodeError:
        return byte
    return encoded[0] if len(encoded) == 1 and encoded[0] >= 0x80 else byte


def pair_character(page, lead, trail):
    return decode(page, bytes([lead, trail])) or "\ufffd"


def upper_pairs(page):
    pairs = []
    for lead in LEAD_BYTES[page]:
        for trail in range(FIRST_TRAIL, LAST_TRAIL + 1):
            text = decode(page, bytes([lead, trail]))
            if text is None or len(text.upper()) != 1 or text.upper() == text:
                continue
            try:
                upper = text.upper().encode(f"cp{page}")
            except UnicodeEncodeError:
                continue
            if len(upper) == 2 and decode(page, upper) == text.upper():
                pairs.append((lead << 8 | trail, int.from_bytes(upper, "big")))
    return pairs


def rows(values, width, form):
    return [
        "        " + ", ".join(form.format(v) for v in values[i:i + width]) + ","
        for i in range(0, len(values), width)
    ]


def double_bytes(page):
    name = f"kPairs{page}"
    out = [f"const char16_t {name}Characters[] = {{"]
    for lead in LEAD_BYTES[page]:
        out += rows([ord(pair_character(page, lead, t))
                     for t in range(FIRST_TRAIL, LAST_TRAIL + 1)], 11, "0x{:04X}")
    out.append("};")
    out.append(f"const std::uint32_t {name}Upper[] = {{")
    out += rows([lower << 16 | upper for lower, upper in upper_pairs(page)], 7, "0x{:08X}")
    out.append("};")
    row = [LEAD_BYTES[page].index(b) + 1 if b in LEAD_BYTES[page] else 0
           for b in range(0x80, 0x100)]
    out.append(f"const DoubleByteTable {name} = {{")
    out.append("    {")
    out += rows(row, 16, "{}")
    out.append("    },")
    out.append(f"    {name}Characters,")
    out.append(f"    {name}Upper,")
    out.append(f"    sizeof {name}Upper / sizeof {name}Upper[0],")
    out.append("};")
    out.append("")
    return out


def main():
    out = [
        "// Made by code-page-tables.py from Python's codecs; do not edit.",
        "// clang-format off",
        '#include "inx-check/reader/CodePage.h"',
        "",
        "namespace {",
        "",
    ]
    for page in LEAD_BYTES:
        out += double_bytes(page)
    out += ["}  // namespace", "", "const CodePageTable kCodePageTables[] = {"]
    for page in sorted(SINGLE_BYTE + list(LEAD_BYTES)):
        high = [ord(character(page, b)) for b in range(0x80, 0x100)]
        upper = [upper_byte(page, b) for b in range(0x80, 0x100)]
        out.append(f"    {{{page},")
        out.append("     {")
        out += rows(high, 10, "0x{:04X}")
        out.append("     },")
        out.append("     {")
        out += rows(upper, 12, "0x{:02X}")
        out.append("     },")
        out.append(f"     {'&kPairs' + str(page) if page in LEAD_BYTES else 'nullptr'}}},")
    out.append("};")
    out.append("const std::size_t kCodePageTableCount = sizeof kCodePageTables / sizeof kCodePageTables[0];")
    print("\n".join(out))


main()
