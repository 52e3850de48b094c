"""The plan (inx-check --plan --format=json) beside what a try saw
(report.json): item by item, planned and seen, planned but not seen, seen
but not planned.

Paths and keys compare without regard to case, as Windows compares them.
The plan writes the user's folders under C:\\Users\\<user>, the package's
folder as <package>, and HKEY_CLASSES_ROOT, which Wine keeps in
HKEY_LOCAL_MACHINE\\Software\\Classes. Some planned items cannot show as
changes and are not counted against the plan: a key that existed already, a
value written only where it is missing or present, a list appended to, a
file copied into the package's own folder (not on drive C:). A value written
as it already was is planned and seen. A file that a directive the plan does
not model writes (UpdateInis' INI files) is not held against it. A key that
Wine 8 puts elsewhere than Windows does (the plan's wine_differs: a
FLG_ADDREG_64BITKEY line, a Classes key of HKCU, a key Windows and Wine do
not share alike on 64-bit Windows)
is compared where Windows puts it, and named as Wine's difference."""

import re
from typing import Callable, Dict, List, NamedTuple, Optional

from . import hives, jsonreport

CLASSES = ("hkey_classes_root", "hkey_local_machine\\software\\classes")
USER_FOLDER = re.compile(r"c:\\users\\(?!public\\)[^\\]+(?=\\|$)")
CONDITIONAL_WRITES = ("if-missing", "if-present", "append")


class Side(NamedTuple):
    """One kind of item: the texts in both, in the plan only, seen only."""
    both: List[str]
    planned_only: List[str]
    seen_only: List[str]


def folded_path(path: str) -> str:
    """A path, or text holding paths, as compared: without regard to case,
    any user's folder as the plan writes it."""
    return USER_FOLDER.sub("c:\\\\users\\\\<user>", hives.fold_case(path))


def folded_data(entry: dict):
    """A value's data as compared: text without regard to case and with the
    user's folder as the plan writes it (a folder number's path is in
    Wine's own case, C:\\windows), anything else as it is."""
    data = entry["data"]
    if isinstance(data, list):
        return [folded_path(item) for item in data]
    if entry["type"] in ("REG_SZ", "REG_EXPAND_SZ", "REG_LINK"):
        return folded_path(data)
    return data


def folded_key(key: str) -> str:
    """A key as compared: without regard to case, HKCR where Wine keeps it."""
    folded = hives.fold_case(key)
    if folded == CLASSES[0] or folded.startswith(CLASSES[0] + "\\"):
        folded = CLASSES[1] + folded[len(CLASSES[0]):]
    return folded


def value_text(entry: dict) -> str:
    name = hives.quoted(entry["name"]) if entry.get("name") else "(default)"
    if entry.get("name") is None and "type" not in entry:
        return f"{entry['key']} (key)"
    data = f" = {entry['type']} {hives.data_text(entry['type'], entry['data'])}" if "type" in entry else ""
    return f"{entry['key']}: {name}{data}"


def side(planned: Dict[str, str], seen: Dict[str, str]) -> Side:
    """Items by their folded identity, each with the text to show."""
    return Side(sorted(seen[k] for k in seen if k in planned),
                sorted(planned[k] for k in planned if k not in seen),
                sorted(seen[k] for k in seen if k not in planned))


def within(key: str, tops) -> bool:
    """Whether the folded `key` is one of `tops` or below one."""
    return any(key == top or key.startswith(top + "\\") for top in tops)


def made_on_the_way(key: str, planned) -> bool:
    """Whether the folded `key` is a planned key or above one (the registry
    makes the keys above a key it makes)."""
    return any(within(p, [key]) for p in planned)


def value_id(entry: dict):
    """A value as compared: its folded key and name."""
    return folded_key(entry["key"]), hives.fold_case(entry["name"])


def written_services(plan: dict) -> Dict[str, str]:
    """The services a plan adds, and those whose keys its AddReg lines write
    (a service added by hand, as some INFs do), by folded name."""
    names = {hives.fold_case(s["name"]): s["name"] for s in plan["services"]}
    for name in jsonreport.service_names(plan["keys"]):
        names.setdefault(hives.fold_case(name), name)
    return names


def seen_services(plan: dict, seen: List[str]) -> Dict[str, str]:
    """The services a try saw added, but those whose keys the registry made
    on the way to a key the plan makes below (a network provider's subkey)."""
    written = written_services(plan)
    planned_keys = [folded_key(k) for k in plan["keys"]]
    return {hives.fold_case(s): s for s in seen
            if hives.fold_case(s) in written
            or not made_on_the_way(folded_key(jsonreport.SERVICES + s), planned_keys)}


def with_package(item, package: str):
    """The plan with its <package> written as the package's folder."""
    if isinstance(item, str):
        return item.replace("<package>", package)
    if isinstance(item, list):
        return [with_package(part, package) for part in item]
    if isinstance(item, dict):
        return {key: with_package(part, package) for key, part in item.items()}
    return item


def wine_runs(entries: List[dict]) -> List[dict]:
    """The planned items that Wine 8's engine does too: not those of a part
    it does not run (a section Needs= names, an event log)."""
    return [entry for entry in entries if not entry.get("wine_skips")]


def wine_skipped(plan: dict) -> "tuple[set, set]":
    """The files and values only parts that Wine 8 does not run write."""
    def ids(entries, skipped):
        return ({folded_path(f["destination"]) for f in entries["files"]
                 if bool(f.get("wine_skips")) == skipped},
                {value_id(e) for e in entries["registry"] if bool(e.get("wine_skips")) == skipped})
    files, values = ids(plan, True)
    kept_files, kept_values = ids(plan, False)
    return files - kept_files, values - kept_values


def install_sides(plan: dict, changes: dict, package: str,
                  existing: Callable[[dict], bool]) -> Dict[str, Side]:
    files = {folded_path(f["destination"]): f["destination"] for f in wine_runs(plan["files"])
             if not folded_path(f["destination"]).startswith(folded_path(package + "\\"))}
    for rename in wine_runs(plan["renames"]):
        files[folded_path(rename["to"])] = rename["to"]
    services = [folded_key(s["key"]) for s in plan["services"]]
    # The last write of a value is the one that stays.
    planned_values, conditional = {}, set()
    for entry in wine_runs(plan["registry"]):
        identity = value_id(entry)
        earlier = planned_values.get(identity)
        if (entry.get("write") == "append" and earlier is not None and identity not in conditional
                and isinstance(earlier["data"], list)):
            # Appended to a list the plan itself wrote: each string it lacks, at its end.
            present = [hives.fold_case(item) for item in earlier["data"]]
            entry = dict(earlier, data=earlier["data"] + [
                item for item in entry["data"] if hives.fold_case(item) not in present])
        planned_values[identity] = entry
        if entry.get("write") in CONDITIONAL_WRITES:
            conditional.add(identity)
        else:
            conditional.discard(identity)
    seen_values = {value_id(e): e for e in changes["registry"]}
    # A value written as it already was shows no change.
    unchanged = {k for k, e in planned_values.items()
                 if k not in conditional and k not in seen_values and existing(e)}
    values = side({k: value_text(e) for k, e in planned_values.items()
                   if k not in conditional and k not in unchanged},
                  {k: value_text(e) for k, e in seen_values.items() if k not in conditional
                   and (k in planned_values or not within(k[0], services))})
    values.both.extend(sorted(value_text(planned_values[k]) for k in unchanged))
    # The same value with other data or another type is planned but not as seen.
    for identity in set(planned_values) & set(seen_values):
        wanted, got = planned_values[identity], seen_values[identity]
        unread = wanted["data"] is None  # bytes the engine never read: only the type is known
        wanted_data = None if unread else folded_data(wanted)
        got_data = None if unread else folded_data(got)
        if identity not in conditional and (wanted["type"], wanted_data) != (got["type"], got_data):
            values.both.remove(value_text(got))
            values.planned_only.append(value_text(wanted))
            values.seen_only.append(value_text(got))
    # A key seen is planned when the plan makes it or a key below it.
    planned_keys = [folded_key(k) for k in plan["keys"]] + services
    keys = Side([], [], sorted(k for k in changes["keys"]
                               if not made_on_the_way(folded_key(k), planned_keys)
                               and not within(folded_key(k), services)))
    removed_files = side({folded_path(p): p for p in plan["deletes"]}
                         | {folded_path(r["from"]): r["from"] for r in plan["renames"]},
                         {folded_path(p): p for p in changes.get("files_removed", [])})
    removed_keys = [folded_key(d["key"]) for d in plan["registry_deletes"] if d["name"] is None]
    removed_values = {value_id(d) for d in plan["registry_deletes"] + plan.get("registry_deletes_vary", [])
                      if d["name"] is not None}
    removals = Side([], [], sorted(
        value_text(e) for e in changes.get("registry_removed", [])
        if not within(folded_key(e["key"]), removed_keys)
        and value_id(e) not in removed_values)
        + sorted(f"{k} (key)" for k in changes.get("keys_removed", [])
                 if not within(folded_key(k), removed_keys)))
    touched = {folded_path(path) for directive in plan.get("not_modelled", [])
               for path in directive.get("touches", [])}
    return {
        "files": side(files, {folded_path(p): p for p in changes["files"]
                              if folded_path(p) not in touched}),
        "registry": values,
        "keys": keys,
        "services": side(written_services(plan), seen_services(plan, changes["services"])),
        "files removed": Side([], [], removed_files.seen_only),
        "registry removed": removals,
    }


def left_sides(planned: dict, seen: dict, plan: dict) -> Dict[str, Side]:
    """What the uninstallation leaves, planned against seen. A key the plan
    leaves may have been there before (then it is no leftover); a key seen
    left above a planned one was made on the way to it; a key the plan says
    is left if it is new is excused; no other key is."""
    keys_if_new = [folded_key(k) for k in planned.get("keys_if_new", [])]
    # A value written only where missing may have been there before: no leftover then.
    conditional = {value_id(e) for e in plan["registry"] if e.get("write") in CONDITIONAL_WRITES}
    skipped_files, skipped_values = wine_skipped(plan)
    # A service the plan leaves is left with its key and what the service manager wrote there.
    left_services = [folded_key(jsonreport.SERVICES + s) for s in planned["services"]]
    values = side({value_id(e): value_text(e) for e in planned["registry"]
                   if e["name"] is not None and value_id(e) not in conditional
                   and value_id(e) not in skipped_values
                   and not within(folded_key(e["key"]), left_services)},
                  {value_id(e): value_text(e) for e in seen["registry"] if e["name"] is not None
                   and not within(folded_key(e["key"]), left_services)})
    planned_keys = [folded_key(e["key"]) for e in planned["registry"] if e["name"] is None]
    keys = Side([], [], sorted(
        f"{e['key']} (key)" for e in seen["registry"] if e["name"] is None
        and not within(folded_key(e["key"]), left_services)
        and not made_on_the_way(folded_key(e["key"]), planned_keys + keys_if_new)))
    # A service written by hand is a key of the system's: the plan cannot
    # know it was not there before, and does not list it as left.
    by_hand = set(written_services(plan)) - {hives.fold_case(s) for s in planned["services"]}
    return {
        "files": side({folded_path(p): p for p in planned["files"]
                       if folded_path(p) not in skipped_files},
                      {folded_path(p): p for p in seen["files"]}),
        "registry": values,
        "keys": keys,
        "services": side({hives.fold_case(s): s for s in planned["services"]},
                         {hives.fold_case(s): s for s in seen["services"] if hives.fold_case(s) not in by_hand}),
    }


def as_windows_places(seen: Optional[dict], differs: List[dict]) -> Optional[dict]:
    """What a try saw, each key that Wine puts elsewhere than Windows (the
    plan's wine_differs) named where Windows puts it."""
    if seen is None or not differs:
        return seen
    moves = [(folded_key(d["wine_key"]), d["key"]) for d in differs]

    def moved(key: str) -> str:
        folded = folded_key(key)
        for wine, windows in moves:
            if within(folded, [wine]):
                return windows + key[len(key) - (len(folded) - len(wine)):]
        # A key the registry made on the way to Wine's place: on the way to Windows'.
        for wine, windows in moves:
            tail = wine[len(folded):]
            if wine.startswith(folded + "\\") and folded_key(windows).endswith(tail):
                return windows[:len(windows) - len(tail)]
        return key

    def entries(items):
        return [dict(item, key=moved(item["key"])) if isinstance(item, dict) else moved(item)
                for item in items]
    return {name: entries(items) if name in ("registry", "keys", "registry_removed", "keys_removed")
            else items for name, items in seen.items()}


def wine_differences(plan: dict) -> List[str]:
    """Each key the plan places where Wine 8 does not, and each part of it
    that Wine 8 does not run, as a line."""
    install = plan.get("install") or {}
    uninstall = plan.get("uninstall") or {}
    return ([f"{d['key']}: Windows puts it there, Wine 8 at {d['wine_key']}"
             for d in install.get("wine_differs", [])]
            + [f"{f['destination']}: Windows copies {f['source']}, Wine 8 {f['wine_source']}"
               for f in install.get("files", []) if f.get("wine_source")]
            + [f"{what}: Windows runs it, Wine 8 does not"
               for what in install.get("wine_skips", []) + uninstall.get("wine_skips", [])])


def compare(plan: dict, report: dict, package: str = "<package>",
            existing: Callable[[dict], bool] = lambda entry: False,
            native: bool = False) -> Dict[str, Dict[str, Side]]:
    """The install plan beside the try's changes, and, when the try
    uninstalled, what the uninstall plan leaves beside what was left.
    `package` is the package's folder as Windows names it; `existing` tells
    whether a planned value was there before, as planned; `native`, that the
    registered uninstaller was started as a 64-bit program starts it (the
    plan's native_uninstall, where it has one)."""
    plan = with_package(plan, package)
    result = {}
    if plan.get("install") is None:
        return result
    differs = plan["install"].get("wine_differs", [])
    result["install"] = install_sides(plan["install"],
                                      as_windows_places(report["changes"], differs),
                                      package, existing)
    if report.get("left_behind") is not None:
        # What Wine 8 leaves, where it does not run all of both sections.
        uninstalled = plan.get("native_uninstall") if native else None
        uninstalled = uninstalled or plan
        left = uninstalled.get("wine_left_behind") or uninstalled["left_behind"]
        result["left behind"] = left_sides(left,
                                           as_windows_places(report["left_behind"], differs),
                                           plan["install"])
    return result


def disagreements(result: Dict[str, Dict[str, Side]]) -> List[str]:
    """Each item planned but not seen or seen but not planned, as a line."""
    lines = []
    for part, sides in result.items():
        for kind, found in sides.items():
            lines += [f"{part}, {kind}: planned, not seen: {text}" for text in found.planned_only]
            lines += [f"{part}, {kind}: seen, not planned: {text}" for text in found.seen_only]
    return lines


def as_json(result: Optional[Dict[str, Dict[str, Side]]]):
    if result is None:
        return None
    return {part: {kind: found._asdict() for kind, found in sides.items()}
            for part, sides in result.items()}
