"""The registry of a Wine prefix, read from the hive files the Wine server
writes (system.reg, user.reg, userdef.reg), and the differences between two
readings: keys and values added, changed and removed.

Keys and value names are compared without regard to case, as Windows
compares them. Values are kept as the bytes Windows stores, so that a string
written as "..." and the same string written as hex(1):... are equal."""

import functools
import os
import re
import struct
from typing import Dict, List, NamedTuple, Optional, Tuple

# Each hive file and the root its keys are shown under.
HIVES = (("system.reg", "HKEY_LOCAL_MACHINE"),
         ("user.reg", "HKEY_CURRENT_USER"),
         ("userdef.reg", "HKEY_USERS\\.DEFAULT"))

REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_LINK, REG_MULTI_SZ, REG_QWORD = 1, 2, 3, 4, 6, 7, 11
TYPE_NAMES = {0: "REG_NONE", 1: "REG_SZ", 2: "REG_EXPAND_SZ", 3: "REG_BINARY", 4: "REG_DWORD",
              5: "REG_DWORD_BIG_ENDIAN", 6: "REG_LINK", 7: "REG_MULTI_SZ",
              8: "REG_RESOURCE_LIST", 9: "REG_FULL_RESOURCE_DESCRIPTOR",
              10: "REG_RESOURCE_REQUIREMENTS_LIST", 11: "REG_QWORD"}
STRING_TYPES = (REG_SZ, REG_EXPAND_SZ, REG_LINK, REG_MULTI_SZ)
SIMPLE_ESCAPES = {"a": "\a", "b": "\b", "e": "\x1b", "f": "\f", "n": "\n", "r": "\r",
                  "t": "\t", "v": "\v", "0": "\0"}


@functools.lru_cache(maxsize=None)
def _folded_character(character: str) -> str:
    upper = character.upper()
    if len(upper) != 1:
        return character  # no one-for-one upper case (ß): its own
    lower = upper.lower()
    return lower if len(lower) == 1 and lower.upper() == upper else upper


def fold_case(name: str) -> str:
    """A name as Windows compares names in the registry and on NTFS: two
    names are the same when each character has the same upper case, one for
    one (so ß stays apart from ss). In lower case where that is the same."""
    if name.isascii():
        return name.lower()
    return "".join(map(_folded_character, name))


class HiveError(Exception):
    """A hive file that is not what the Wine server writes."""


class Value(NamedTuple):
    name: str  # "" for the default value
    type: int
    data: bytes


class Key(NamedTuple):
    path: str  # with its root, as shown
    values: Dict[str, Value]  # by folded name


Registry = Dict[str, Key]  # by folded path


ESCAPE = re.compile(r"\\(x[0-9a-fA-F]{1,4}|[0-7]{1,3}|.)", re.DOTALL)


def unescape_match(found) -> str:
    escape = found.group(1)
    if escape[0] == "x":
        return chr(int(escape[1:], 16))
    if escape[0] in "01234567" and escape != "0":
        return chr(int(escape, 8))
    return SIMPLE_ESCAPES.get(escape, escape)


def unescape(text: str, start: int, end_char: str) -> Tuple[str, int]:
    """The text from `start` up to the first unescaped `end_char`, unescaped
    as the Wine server escapes it (\\xHHHH, \\n, \\" ...), and the index of
    that character (len(text) when there is none)."""
    end = text.find(end_char, start)
    end = len(text) if end < 0 else end
    raw = text[start:end]
    if "\\" not in raw:
        return raw, end
    if "\\" not in raw.replace("\\\\", ""):  # only doubled backslashes: the end is not escaped
        return raw.replace("\\\\", "\\"), end
    found = _escaped_until(end_char).match(text, start)
    return ESCAPE.sub(unescape_match, found.group(0)), found.end()


@functools.lru_cache(maxsize=None)
def _escaped_until(end_char: str):
    return re.compile(r"(?:[^\\" + re.escape(end_char) + r"]|\\.)*", re.DOTALL)


def parse_value_data(text: str) -> Tuple[int, bytes]:
    """A value's type and stored bytes from what follows its '='."""
    if text.startswith('"'):
        string, end = unescape(text, 1, '"')
        if end >= len(text):
            raise HiveError(f"an unclosed string: {text[:60]}")
        return REG_SZ, (string + "\0").encode("utf-16-le", "surrogatepass")
    found = re.match(r"str\(([0-9a-fA-F]+)\):\"", text)
    if found:
        string, end = unescape(text, found.end(), '"')
        if end >= len(text):
            raise HiveError(f"an unclosed string: {text[:60]}")
        return int(found.group(1), 16), (string + "\0").encode("utf-16-le", "surrogatepass")
    if text.startswith("dword:"):
        return REG_DWORD, struct.pack("<I", int(text[6:], 16))
    found = re.match(r"hex(?:\(([0-9a-fA-F]+)\))?:", text)
    if found:
        kind = int(found.group(1), 16) if found.group(1) is not None else REG_BINARY
        digits = text[found.end():].replace(",", "").replace(" ", "")
        try:
            return kind, bytes.fromhex(digits)
        except ValueError:
            raise HiveError(f"bad hex data: {text[:60]}") from None
    raise HiveError(f"a value of unknown form: {text[:60]}")


def logical_lines(text: str):
    """The hive's lines, each hex line continued with '\\' joined to the next."""
    pending = None
    for raw in text.replace("\r", "").split("\n"):
        line = raw if pending is None else pending + raw.lstrip(" \t")
        pending = None
        if line.endswith("\\") and re.match(r'(@|".*")=hex', line):
            pending = line[:-1]
            continue
        yield line
    if pending is not None:
        yield pending


def parse_hive(text: str, root: str, registry: Optional[Registry] = None) -> Registry:
    """The keys and values of one hive file's text, added to `registry`."""
    registry = {} if registry is None else registry
    lines = logical_lines(text)
    if next(lines, "") != "WINE REGISTRY Version 2":
        raise HiveError("not a Wine registry file")
    key = None
    for line in lines:
        parsed = _parsed_line(line)
        if parsed is None:
            continue
        if isinstance(parsed, str):
            path = root + "\\" + parsed
            key = registry.setdefault(fold_case(path), Key(path, {}))
            # The Wine server writes a key with subkeys only when it holds
            # values: the keys above one are there all the same.
            parent = path.rpartition("\\")[0]
            while len(parent) > len(root) and fold_case(parent) not in registry:
                registry[fold_case(parent)] = Key(parent, {})
                parent = parent.rpartition("\\")[0]
        elif key is not None:
            key.values[fold_case(parsed.name)] = parsed
    return registry


@functools.lru_cache(maxsize=None)
def _parsed_line(line: str):
    """A hive line read: a key's name, a Value, or None for anything else.
    Kept, so that reading a prefix again reads only the lines that changed."""
    if line.startswith("["):
        name, end = unescape(line, 1, "]")
        if end >= len(line):
            raise HiveError(f"an unclosed key name: {line[:60]}")
        return name
    if not line.startswith(('"', "@=")):
        return None
    if line.startswith("@="):
        name, at = "", 1
    else:
        name, at = unescape(line, 1, '"')
        at += 1
    if line[at:at + 1] != "=":
        raise HiveError(f"a value line without '=': {line[:60]}")
    kind, data = parse_value_data(line[at + 1:])
    return Value(name, kind, data)


def read_prefix(prefix: str) -> Registry:
    """The whole registry of a prefix; OSError or HiveError when a hive is
    missing or unreadable."""
    registry: Registry = {}
    for file_name, root in HIVES:
        with open(f"{prefix}/{file_name}", "rb") as hive:
            parse_hive(hive.read().decode("utf-8", "surrogateescape"), root, registry)
    return resolve_links(registry)


def escape(text: str, delimiter: str) -> str:
    """Text as the Wine server writes it in a hive file between delimiters:
    a backslash and the delimiter escaped, every other character outside
    printable ASCII as \\x and four hex digits (UTF-16 units)."""
    escaped = []
    for unit in struct.unpack(f"<{len(text.encode('utf-16-le', 'surrogatepass')) // 2}H",
                              text.encode("utf-16-le", "surrogatepass")):
        character = chr(unit)
        if character in ("\\", delimiter):
            escaped.append("\\" + character)
        elif 32 <= unit < 127:
            escaped.append(character)
        else:
            escaped.append(f"\\x{unit:04x}")
    return "".join(escaped)


def set_string(hive_file: str, key: str, name: str, text: str, stamp: int) -> None:
    """Sets a REG_SZ value in a hive file (`key` relative to its root) while
    no Wine server has the prefix open, as the server would hold it: in the
    key's block, found without regard to case, or in a block added at the
    end (modified at `stamp`, seconds since 1970)."""
    with open(hive_file, "rb") as hive:
        lines = hive.read().decode("utf-8", "surrogateescape").split("\n")
    value_line = f'"{escape(name, chr(34))}"="{escape(text, chr(34))}"'
    heading = f"[{escape(key, ']')}]".lower()
    block = next((index for index, line in enumerate(lines)
                  if line[:1] == "[" and line.lower().startswith(heading)), None)
    if block is None:
        while lines and lines[-1] == "":
            lines.pop()
        lines += ["", f"[{escape(key, ']')}] {stamp}", value_line, ""]
    else:
        end = block + 1
        while end < len(lines) and lines[end] and not lines[end].startswith("["):
            end += 1
        same = next((index for index in range(block + 1, end) if lines[index].startswith('"')
                     and fold_case(unescape(lines[index], 1, '"')[0]) == fold_case(name)), None)
        if same is None:
            lines.insert(end, value_line)
        else:
            lines[same] = value_line
    with open(hive_file + ".new", "wb") as written:
        written.write("\n".join(lines).encode("utf-8", "surrogateescape"))
    os.replace(hive_file + ".new", hive_file)


def resolve_links(registry: Registry) -> Registry:
    """Keys shown under the names Windows gives them: CurrentControlSet, a
    symbolic link key, names what lies under its target; any other link (the
    32-bit view's aliases of the keys both views share, in a WoW64 prefix)
    names nothing, as a key's name is where it lies. Links are left out."""
    renames = []
    for folded, key in list(registry.items()):
        link = key.values.get("symboliclinkvalue")
        if link is None or link.type != REG_LINK:
            continue
        del registry[folded]
        target = link.data.decode("utf-16-le", "replace").rstrip("\0")
        prefix = "\\registry\\machine\\"
        if (fold_case(target).startswith(prefix) and folded.startswith("hkey_local_machine\\")
                and folded.rpartition("\\")[2] == "currentcontrolset"):
            renames.append(("hkey_local_machine\\" + fold_case(target[len(prefix):]), key.path))
    for target, link_path in renames:
        for folded in [k for k in registry if k == target or k.startswith(target + "\\")]:
            key = registry.pop(folded)
            path = link_path + key.path[len(target):]
            registry[fold_case(path)] = Key(path, key.values)
    return registry


def quoted(text: str) -> str:
    """Text in double quotes, its control characters escaped."""
    escaped = "".join(c if c >= " " and c != "\x7f" else
                      {"\n": "\\n", "\r": "\\r", "\t": "\\t"}.get(c, f"\\x{ord(c):02x}")
                      for c in text)
    return f'"{escaped}"'


def strings(data: bytes) -> List[str]:
    text = data.decode("utf-16-le", "replace")
    return text[:-1].split("\0") if text.endswith("\0") else text.split("\0")


def decoded(value: Value):
    """A value's data as every report shows it and the plan writes it: a
    string, a list of strings (REG_MULTI_SZ), a number (a DWORD of four
    bytes) or lowercase hex."""
    if value.type in (REG_SZ, REG_EXPAND_SZ, REG_LINK) and len(value.data) % 2 == 0:
        text = value.data.decode("utf-16-le", "replace")
        return text[:-1] if text.endswith("\0") else text
    if value.type == REG_MULTI_SZ and len(value.data) % 2 == 0:
        items = strings(value.data)
        while items and items[-1] == "":
            items.pop()
        return items
    if value.type == REG_DWORD and len(value.data) == 4:
        return struct.unpack("<I", value.data)[0]
    return value.data.hex()


def data_text(kind: str, data) -> str:
    """Decoded data as text: strings quoted, a list, a number, hex bytes;
    None is bytes the engine never read."""
    if data is None:
        return "(bytes the engine never read)"
    if isinstance(data, list):
        return "[" + ", ".join(quoted(item) for item in data) + "]"
    if isinstance(data, int):
        return str(data)
    if kind in ("REG_SZ", "REG_EXPAND_SZ", "REG_LINK"):
        return quoted(data)
    return "hex:" + ",".join(data[i:i + 2] for i in range(0, len(data), 2))


def value_data_text(value: Value) -> str:
    return data_text(type_name(value.type), decoded(value))


def type_name(kind: int) -> str:
    return TYPE_NAMES.get(kind, f"type {kind}")


def value_text(key_path: str, value: Value) -> str:
    """'KEY: "NAME" = TYPE DATA', the default value named (default)."""
    name = quoted(value.name) if value.name else "(default)"
    return f"{key_path}: {name} = {type_name(value.type)} {value_data_text(value)}"


def value_string(value: Optional[Value]) -> Optional[str]:
    """The text of a REG_SZ or REG_EXPAND_SZ value, without its terminator."""
    if value is None or value.type not in (REG_SZ, REG_EXPAND_SZ):
        return None
    text = value.data.decode("utf-16-le", "replace")
    return text.split("\0", 1)[0]


class RegistryNoise(NamedTuple):
    """What Wine changes on its own (see noise.py): folded key paths, (folded
    key path, folded value name) pairs, and folded key paths under which
    every key and value is Wine's."""
    keys: frozenset = frozenset()
    values: frozenset = frozenset()
    subtrees: frozenset = frozenset()

    def has_key(self, folded: str) -> bool:
        return folded in self.keys or self.in_subtree(folded)

    def has_value(self, folded: str, name: str) -> bool:
        return (folded, name) in self.values or self.in_subtree(folded)

    def in_subtree(self, folded: str) -> bool:
        return any(folded == top or folded.startswith(top + "\\") for top in self.subtrees)

    def union(self, other: "RegistryNoise") -> "RegistryNoise":
        return RegistryNoise(self.keys | other.keys, self.values | other.values,
                     self.subtrees | other.subtrees)


class Changes(NamedTuple):
    keys_added: List[str]
    keys_removed: List[str]
    values_set: List[Tuple[str, Value]]  # added or changed: (key path, value)
    values_removed: List[Tuple[str, Value]]


def registry_changes(before: Registry, after: Registry,
                     noise: RegistryNoise = RegistryNoise()) -> Changes:
    """What changed from `before` to `after`, sorted, without Wine's noise."""
    keys_added = sorted(after[k].path for k in after if k not in before and not noise.has_key(k))
    keys_removed = sorted(before[k].path for k in before if k not in after and not noise.has_key(k))
    values_set, values_removed = [], []
    for folded, key in after.items():
        old = before.get(folded)
        for name, value in key.values.items():
            if old is not None and old.values.get(name) == value:
                continue
            if old is not None and name in old.values and old.values[name][1:] == value[1:]:
                continue  # the name's case alone changed
            if not noise.has_value(folded, name):
                values_set.append((key.path, value))
    for folded, key in before.items():
        new = after.get(folded)
        for name, value in key.values.items():
            if (new is None or name not in new.values) and not noise.has_value(folded, name):
                values_removed.append((key.path, value))
    order = lambda item: (fold_case(item[0]), fold_case(item[1].name))
    return Changes(keys_added, keys_removed, sorted(values_set, key=order),
                   sorted(values_removed, key=order))
