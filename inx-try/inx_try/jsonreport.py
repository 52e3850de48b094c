"""report.json: a try in the vocabulary of inx-check --plan, so that the two
can be compared item by item."""

import json
from typing import List, Optional

from . import hives

SERVICES = "hkey_local_machine\\system\\currentcontrolset\\services\\"


def registry_entry(key_path: str, value: hives.Value) -> dict:
    return {"key": key_path, "name": value.name, "type": hives.type_name(value.type),
            "data": hives.decoded(value)}


def service_names(keys: List[str]) -> List[str]:
    """The services among keys: each key directly under ...\\Services."""
    return sorted(key[len(SERVICES):] for key in keys
                  if hives.fold_case(key).startswith(SERVICES) and "\\" not in key[len(SERVICES):])


def box_entry(box, pictures: str) -> dict:
    return {"title": box.caption, "text": box.text, "buttons": box.buttons.split("|"),
            "picture": f"{pictures}/box-{box.number}.png"}


def changes_entry(files_changed: List[str], files_removed: List[str],
                  registry: Optional[hives.Changes]) -> dict:
    registry = registry or hives.Changes([], [], [], [])
    return {"files": files_changed,
            "registry": [registry_entry(key, value) for key, value in registry.values_set],
            "keys": registry.keys_added,
            "services": service_names(registry.keys_added),
            "files_removed": files_removed,
            "registry_removed": [{"key": key, "name": value.name}
                                 for key, value in registry.values_removed],
            "keys_removed": registry.keys_removed}


def left_entry(left: Optional[list]) -> Optional[dict]:
    """What the uninstallation left, from trial.leftovers; None when it did not run."""
    if left is None:
        return None
    files = [what for _, what in left if isinstance(what, str)]
    registry = [{"key": what[0], "name": what[1].name if what[1] is not None else None}
                for _, what in left if not isinstance(what, str)]
    keys = [entry["key"] for entry in registry if entry["name"] is None]
    return {"files": files, "registry": registry, "services": service_names(keys)}


def report_dict(verdict: str, windows: int, boxes: list, changes: dict,
                left: Optional[dict]) -> dict:
    return {"verdict": verdict, "status": 0 if verdict == "OK" else 1, "windows": windows,
            "boxes": boxes, "changes": changes, "left_behind": left}


def as_text(report: dict) -> str:
    return json.dumps(report, indent=2, ensure_ascii=False) + "\n"
