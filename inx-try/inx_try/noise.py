"""What Wine changes in a prefix on its own, measured once per pristine
prefix: an INF that does nothing is installed in a copy of it, as a try
installs, and every key, value and file that changed is Wine's noise, left
out of every report made from that prefix. What Wine 8 is known to change
only now and then is added to what one measurement saw."""

import fcntl
import json
import os
import shutil
from typing import Callable

from . import files as filesystem
from . import hives

NOOP_INF = '[Version]\r\nSignature="$Chicago$"\r\n[DefaultInstall]\r\n'
NOISE_FILE = "noise.json"

_CLASS = "hkey_local_machine\\system\\currentcontrolset\\control\\class\\"
_DISPLAY = _CLASS + "{4d36e968-e325-11ce-bfc1-08002be10318}"
_MONITOR = _CLASS + "{4d36e96e-e325-11ce-bfc1-08002be10318}"
# Wine 8 rewrites its display adapter's and monitor's class keys at some
# starts of a prefix and not at others (with the day's date in them), and
# makes HKCU\Console when a console starts for the first time.
WINE_OWN = hives.RegistryNoise(
    subtrees=frozenset({_DISPLAY, _MONITOR, "hkey_current_user\\console"}))


class Noise:
    def __init__(self, registry: hives.RegistryNoise = hives.RegistryNoise(), files: frozenset = frozenset()):
        self.registry = registry
        self.files = files  # folded paths under drive_c

    def to_json(self) -> str:
        return json.dumps({"keys": sorted(self.registry.keys),
                           "values": sorted(list(pair) for pair in self.registry.values),
                           "files": sorted(self.files)}, indent=1) + "\n"

    @staticmethod
    def from_json(text: str) -> "Noise":
        data = json.loads(text)
        return Noise(hives.RegistryNoise(frozenset(data["keys"]),
                                 frozenset(tuple(pair) for pair in data["values"])),
                     frozenset(data["files"]))


def measured(prefix: str, prepare: Callable[[], None], change: Callable[[], None]) -> Noise:
    """The noise: every difference that `change()` makes in the prefix
    after `prepare()`."""
    prepare()
    registry_before = hives.read_prefix(prefix)
    files_before = filesystem.snapshot(os.path.join(prefix, "drive_c"))
    change()
    registry = hives.registry_changes(registry_before, hives.read_prefix(prefix))
    keys = {hives.fold_case(path) for path in registry.keys_added + registry.keys_removed}
    values = {(hives.fold_case(path), hives.fold_case(value.name))
              for path, value in registry.values_set + registry.values_removed}
    changed, removed = filesystem.files_changes(
        files_before, filesystem.snapshot(os.path.join(prefix, "drive_c")))
    return Noise(hives.RegistryNoise(frozenset(keys), frozenset(values)),
                 frozenset(hives.fold_case(path) for path, _ in changed)
                 | {hives.fold_case(path) for path in removed})


def noise_of(pristine: str, scratch: str, prepare: Callable[[str], None],
             install: Callable[[str, str], None]) -> Noise:
    """The pristine prefix's noise, measured the first time (under the
    prefix's lock) in a copy of it: `prepare(prefix)` makes it ready as a
    try does, then `install(prefix, inf)` installs an INF that does nothing;
    each ends by stopping the prefix's Wine server."""
    saved = os.path.join(pristine, NOISE_FILE)
    with open(pristine + ".lock", "a", encoding="utf-8") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.isfile(saved):
            copy = os.path.join(scratch, "prefix")
            shutil.copytree(os.path.join(pristine, "prefix"), copy, symlinks=True)
            inf = os.path.join(scratch, "noop.inf")
            with open(inf, "w", encoding="ascii", newline="") as written:
                written.write(NOOP_INF)
            noise = measured(copy, lambda: prepare(copy), lambda: install(copy, inf))
            with open(saved + ".new", "w", encoding="utf-8") as written:
                written.write(noise.to_json())
            os.replace(saved + ".new", saved)
            shutil.rmtree(scratch, ignore_errors=True)
    with open(saved, encoding="utf-8") as text:
        noise = Noise.from_json(text.read())
    return Noise(noise.registry.union(WINE_OWN), noise.files)
