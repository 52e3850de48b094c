"""Drive C: of a prefix as a snapshot of its files, and the differences
between two snapshots, compared as Windows compares paths (without regard to
case)."""

import os
import re
from typing import Dict, List, NamedTuple, Tuple

from . import hives

# Wine's own logs and temporary files, left out of the snapshots.
WINE_NOISE = re.compile(
    r"^(windows/(temp|logs|installer)/|users/[^/]+/(temp|appdata/local/temp)/|windows/inf/setupapi)",
    re.IGNORECASE)


class FileState(NamedTuple):
    path: str  # relative to drive_c, '/' between folders
    size: int
    mtime_ns: int
    # Changes with every write, whatever the file's time is set to; 0 for a
    # file linked to the pristine prefix's, whose status changes whenever
    # another copy links it too. A write into one changes its time or size.
    ctime_ns: int
    inode: int  # another when the file was replaced


def rewritten(before: FileState, after: FileState) -> bool:
    """Whether the file changed between two snapshots."""
    if (before.size, before.mtime_ns, before.inode) != (after.size, after.mtime_ns, after.inode):
        return True
    return bool(before.ctime_ns and after.ctime_ns and before.ctime_ns != after.ctime_ns)


Snapshot = Dict[str, FileState]  # by folded path


def snapshot(drive: str) -> Snapshot:
    """Every file under `drive` (links are not followed), but Wine's noise."""
    files = {}
    for folder, _, names in os.walk(drive):
        for name in names:
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, drive).replace(os.sep, "/")
            if WINE_NOISE.match(relative):
                continue
            status = os.lstat(path)
            files[hives.fold_case(relative)] = FileState(
                relative, status.st_size, status.st_mtime_ns,
                status.st_ctime_ns if status.st_nlink == 1 else 0, status.st_ino)
    return files


def files_changes(before: Snapshot, after: Snapshot,
                  noise: frozenset = frozenset()) -> Tuple[List[Tuple[str, int]], List[str]]:
    """Files added or changed as sorted (path, size), and paths removed,
    but the folded paths in `noise`. A file rewritten at the same size is
    changed: its times are compared too."""
    changed = sorted((state.path, state.size) for folded, state in after.items()
                     if (folded not in before or rewritten(before[folded], state))
                     and folded not in noise)
    removed = sorted(state.path for folded, state in before.items()
                     if folded not in after and folded not in noise)
    return changed, removed


def split_under(paths_and_sizes, app_relative: str):
    """Files under the application's folder (a path under drive C:, '/'
    between folders, empty when the folder is on no drive C:) and elsewhere."""
    prefix = hives.fold_case(app_relative) + "/"
    under = [f for f in paths_and_sizes if app_relative and hives.fold_case(f[0]).startswith(prefix)]
    elsewhere = [f for f in paths_and_sizes if f not in under]
    return under, elsewhere


def windows_file(path: str) -> str:
    return "C:\\" + path.replace("/", "\\")


def app_relative_path(folder: str) -> str:
    """The folder as a path under drive_c, or '' when it is not on C:."""
    if len(folder) > 3 and folder[0] in "Cc" and folder[1:3] == ":\\":
        return folder[3:].replace("\\", "/").rstrip("/")
    return ""


def make_folder_any_case(drive: str, relative: str) -> str:
    """Makes the folder under `drive`, each existing part found in any case
    (C:\\Users is Wine's drive_c/users); the path as made."""
    path = drive
    made = []
    for part in relative.split("/"):
        existing = next((name for name in (os.listdir(path) if os.path.isdir(path) else [])
                         if hives.fold_case(name) == hives.fold_case(part)), part)
        path = os.path.join(path, existing)
        made.append(existing)
        os.makedirs(path, exist_ok=True)
    return "/".join(made)


def profile_links(drive: str) -> List[str]:
    """The profile folders under drive_c/users that are symbolic links (Wine
    makes Desktop, Documents and the like links to $HOME)."""
    users = os.path.join(drive, "users")
    return sorted(os.path.join("users", user, name)
                  for user in (os.listdir(users) if os.path.isdir(users) else [])
                  if os.path.isdir(os.path.join(users, user))
                  for name in os.listdir(os.path.join(users, user))
                  if os.path.islink(os.path.join(users, user, name)))
