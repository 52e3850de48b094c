"""One try: the package installed (and uninstalled) for one folder, in a
sandboxed copy of the pristine prefix (sandbox.py), the verdict, and its
report."""

import json
import os
import re
import shutil
from typing import List, NamedTuple, Optional

from . import files as filesystem
from . import hives
from . import compare, htmlreport, jsonreport
from .report import engine_box_verdict, install_verdict, png_from_bmp
from .sandbox import Sandbox, State, windows_path
from .wine import Failure

UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
# The list of installed programs: the machine's (in both views on 64-bit
# Windows) and the user's.
UNINSTALL_LISTS = {root + "\\" + hives.fold_case(UNINSTALL_KEY).replace("software\\", view, 1)
                   for root in ("hkey_local_machine", "hkey_current_user")
                   for view in ("software\\", "software\\wow6432node\\")}
WINDOWS_TRIED = {
    32: "Windows: 32-bit (a win32 prefix)",
    64: "Windows: 64-bit (a WoW64 prefix: install.exe's 32-bit engine, SysWOW64, "
        "Program Files (x86), WOW6432Node)",
}


def registered_uninstaller(values_set) -> "tuple[str, bool]":
    """The UninstallString of an entry the installation added to the list of
    installed programs (HKLM or HKCU), and whether it is to be expanded
    (REG_EXPAND_SZ); ('', False) when none."""
    for key_path, value in values_set:
        under_list = hives.fold_case(key_path).rpartition("\\")[0] in UNINSTALL_LISTS
        text = hives.value_string(value)
        if under_list and hives.fold_case(value.name) == "uninstallstring" and text:
            return text, value.type == hives.REG_EXPAND_SZ
    return "", False


def has_uninstall_section(inf_text: str) -> bool:
    return re.search(r"^[ \t]*\[DefaultUninstall(\.NT|\.NTx86)?\]", inf_text,
                     re.IGNORECASE | re.MULTILINE) is not None


def leftovers(before, installed, after, noise: hives.RegistryNoise) -> list:
    """What the installation added and is still there after the
    uninstallation: files, values and keys (an empty key too), but Wine's
    noise; each as (text, what), `what` a file's path, (key, None) or
    (key, value)."""
    left = sorted((filesystem.windows_file(state.path),) * 2 for folded, state in after.files.items()
                  if folded in installed.files and folded not in before.files)
    for folded, key in sorted(after.registry.items()):
        old = before.registry.get(folded)
        if folded in installed.registry and old is None and not noise.has_key(folded):
            left.append((key.path + " (key)", (key.path, None)))
        for name, value in key.values.items():
            if (folded in installed.registry and name in installed.registry[folded].values
                    and (old is None or name not in old.values)
                    and not noise.has_value(folded, name)):
                left.append((hives.value_text(key.path, value), (key.path, value)))
    return left


def left_behind(before, installed, after, noise: hives.RegistryNoise) -> List[str]:
    return [text for text, _ in leftovers(before, installed, after, noise)]


class Installed(NamedTuple):
    """What the installation did, as the uninstallation and the report read it."""
    verdict: str
    before: Optional[State]
    after: Optional[State]
    inf_path: Optional[str]  # install.inf as install.exe wrote it; None when it wrote none
    inf_text: str
    values_set: list  # the registry's values added or changed: (key, value)
    changes: int
    under: int  # files written under the folder
    elsewhere: int
    changes_json: dict
    plan: Optional[dict]  # inx-check's, when it made one


class Uninstalled(NamedTuple):
    verdict: str  # "" when nothing went wrong
    left: Optional[list]  # trial.leftovers' entries; None when they were not looked for
    leftovers: object = "-"  # their count, or "-"
    native: bool = False  # started as a 64-bit program starts it


class Result(NamedTuple):
    verdict: str
    under: object  # counts, or "-" where the try did not get that far
    elsewhere: object
    leftovers: object


class Try:
    """The package installed for one folder, in a scratch folder of its own."""

    def __init__(self, session, folder: str, windows: int, output: str, scratch: str):
        self.session = session
        self.folder = folder
        self.windows = windows  # 32 or 64
        self.output = output
        self.scratch = scratch
        self.work = os.path.join(scratch, "package")
        self.sandbox = Sandbox(session, folder, windows, scratch, os.path.join(output, "logs"))
        self.lines: List[str] = []
        self.box_entries: list = []  # for report.json

    def say(self, text: str = "") -> None:
        self.lines.append(text)
        if self.session.echo:
            print(text, flush=True)

    def say_list(self, heading: str, entries: List[str]) -> None:
        self.say(heading)
        for entry in entries:
            self.say("   " + entry)
        if not entries:
            self.say("   (none)")

    def copy_package(self) -> str:
        """The package copied, without an install.inf of an earlier run, and
        with the built install.exe unless it brings its own."""
        shutil.copytree(self.session.package, self.work, symlinks=True)
        names = os.listdir(self.work)
        for name in names:
            if hives.fold_case(name) == "install.inf":
                os.remove(os.path.join(self.work, name))
        if not any(hives.fold_case(name) == "install.exe" for name in names):
            shutil.copy(self.session.layout.program, os.path.join(self.work, "install.exe"))
        return next(name for name in os.listdir(self.work)
                    if hives.fold_case(name) == "install.exe")

    def make_plan(self) -> Optional[dict]:
        """inx-check's plan for the package and the folder, to set beside
        what the try sees; None when it made none."""
        with self.sandbox.timings.phase("inx-check's plan"):
            status, output = self.sandbox.command(
                self.session.layout.inx_check, "--plan", "--format=json", "--codepage",
                str(self.session.codepage), "--windows", str(self.windows), "--path", self.folder,
                os.path.join(self.work, "install.inx"), name="inx-check-plan", capture=True,
                check=False)
        with open(os.path.join(self.output, "plan.json"), "wb") as saved:
            saved.write(output)
        try:
            return json.loads(output.decode("utf-8")) if status in (0, 1) else None
        except ValueError:
            return None

    def report_plan(self, plan: Optional[dict], installed: Installed,
                    left: Optional[dict], native: bool = False) -> Optional[dict]:
        """The plan beside what was seen, in report.txt; for report.json."""
        if plan is None:
            self.say("== inx-check's plan: it made none (its log is in logs)")
            return None

        def existed_before(entry: dict) -> bool:
            """Whether a planned value was there before the installation, as planned."""
            before = installed.before
            key = before.registry.get(compare.folded_key(entry["key"])) if before else None
            value = key.values.get(hives.fold_case(entry["name"])) if key is not None else None
            if value is None:
                return False
            seen = jsonreport.registry_entry(key.path, value)
            return (seen["type"], compare.folded_data(seen)) == (entry["type"],
                                                                  compare.folded_data(entry))

        result = compare.compare(plan, {"changes": installed.changes_json, "left_behind": left},
                                 windows_path(self.work), existed_before, native)
        both = sum(len(found.both) for sides in result.values() for found in sides.values())
        differences = compare.disagreements(result)
        self.say(f"== inx-check's plan beside what was seen: {both} planned and seen, "
                 f"{len(differences)} not")
        for line in differences:
            self.say("   " + line)
        wine = compare.wine_differences(plan)
        if wine:
            self.say(f"== Where Wine 8 differs from Windows, compared as Windows does it: "
                     f"{len(wine)}")
            for line in wine:
                self.say("   " + line)
        return compare.as_json(result)

    def installed_inf(self) -> Optional[str]:
        for name in os.listdir(self.work):
            if hives.fold_case(name) == "install.inf":
                return os.path.join(self.work, name)
        return None

    def drive(self, name: str, program: str, command: bool = False, expand: bool = False,
              native: bool = False):
        """Runs try-driver in the sandbox and reports its boxes, each
        picture as a PNG."""
        shots = os.path.join(self.output, "boxes")
        driven = self.sandbox.drive(name, program, windows_path(self.work), shots,
                                    command=command, expand=expand, native=native)
        if not driven.started:
            return driven
        for box in driven.boxes:
            shot = os.path.join(shots, f"box-{box.number}")
            if os.path.isfile(shot + ".bmp"):
                with open(shot + ".bmp", "rb") as bmp:
                    png = png_from_bmp(bmp.read())
                if png is not None:
                    with open(shot + ".png", "wb") as written:
                        written.write(png)
                    os.remove(shot + ".bmp")
            self.say(f'   {box.number}. {box.process}, "{box.caption}": {box.text} '
                     f'[{box.buttons.replace("|", " | ")}]')
            self.box_entries.append(jsonreport.box_entry(box, "boxes"))
        if not driven.boxes:
            self.say("   (none)")
        return driven

    def report_changes(self, before: State, after: State, app_relative: str):
        """Reports what changed from `before` to `after`; returns the count
        of changes, the files under the folder and elsewhere, the registry's
        changes and the changes for report.json."""
        changed, removed = filesystem.files_changes(before.files, after.files)
        under, elsewhere = filesystem.split_under(changed, app_relative)
        self.say(f"== Files created or changed: {len(under)} under {self.folder}, "
                 f"{len(elsewhere)} elsewhere")
        for path, size in elsewhere + under:
            self.say(f"   {filesystem.windows_file(path)} ({size} bytes)")
        self.say_list("== Files removed:", [filesystem.windows_file(path) for path in removed])
        noise = self.sandbox.noise.registry
        registry = hives.registry_changes(before.registry, after.registry, noise)
        self.say_list("== Registry keys added:", registry.keys_added)
        self.say_list("== Registry values added or changed:",
                      [hives.value_text(key, value) for key, value in registry.values_set])
        self.say_list("== Registry values removed:",
                      [hives.value_text(key, value) for key, value in registry.values_removed])
        self.say_list("== Registry keys removed:", registry.keys_removed)
        changes_json = jsonreport.changes_entry(
            [filesystem.windows_file(path) for path, _ in elsewhere + under],
            [filesystem.windows_file(path) for path in removed], registry)
        count = (len(changed) + len(removed) + len(registry.keys_added) + len(registry.keys_removed)
                 + len(registry.values_set) + len(registry.values_removed))
        return count, len(under), len(elsewhere), registry, changes_json

    def install(self) -> Installed:
        self.say(f"== {WINDOWS_TRIED[self.windows]}")
        self.say(f"== ZI050.EXE registered at {self.folder}, in a copy of the pristine prefix")
        app_relative = self.sandbox.make_prefix()
        program = self.copy_package()
        plan = self.make_plan()
        before = self.sandbox.state()
        self.sandbox.check_code_page(before)

        self.say(f"== Message boxes ({program} in a copy of {self.session.package}):")
        driven = self.drive("install", windows_path(os.path.join(self.work, program)))
        program_boxes = [box.text for box in driven.boxes
                         if hives.fold_case(box.process) == hives.fold_case(program)]
        after = self.sandbox.state()
        self.say("== install.inf, as written:")
        inf_path = self.installed_inf()
        inf_text = ""
        if inf_path is not None:
            shutil.copy(inf_path, os.path.join(self.output, "install.inf"))
            with open(inf_path, "rb") as written:
                inf_text = written.read().decode(self.session.codec, "replace").replace("\r", "")
            for line in inf_text.removesuffix("\n").split("\n"):
                self.say("   " + line)
        else:
            self.say("   (none)")
        changes, under, elsewhere, registry, changes_json = self.report_changes(before, after,
                                                                                app_relative)
        verdict = install_verdict(driven.started, program_boxes, inf_path is not None,
                                  driven.end, changes, under, elsewhere, self.folder)
        if verdict == "OK":
            verdict = engine_box_verdict(driven.boxes, "installation") or "OK"
        return Installed(verdict, before, after, inf_path, inf_text, registry.values_set, changes,
                         under, elsewhere, changes_json, plan)

    def uninstall(self, installed: Installed) -> Uninstalled:
        """Uninstalls as a user would."""
        command, expand = registered_uninstaller(installed.values_set)
        # On 64-bit Windows the list of installed programs is a 64-bit program.
        native = bool(command) and self.windows == 64
        if command:
            self.say(f"== Uninstalling as the list of installed programs does: {command}")
            if native:
                self.say("   started as a 64-bit program starts it, the list being one: "
                         "rundll32.exe named alone is then System32's, the 64-bit one")
        else:
            self.say("== Uninstalling: the installation registered nothing under HKLM or "
                     f"HKCU\\{UNINSTALL_KEY},")
            self.say("   so users will find nothing to uninstall; running install.inf's "
                     "[DefaultUninstall]")
            if not has_uninstall_section(installed.inf_text):
                self.say("   install.inf has no [DefaultUninstall.NTx86], [DefaultUninstall.NT] "
                         "or [DefaultUninstall] section")
                return Uninstalled("install.inf has no [DefaultUninstall] section to uninstall "
                                   "with", None, 0)
            command = ("rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 132 "
                       + windows_path(installed.inf_path))
        self.say("== Message boxes while uninstalling:")
        driven = self.drive("uninstall", command, command=True, expand=expand, native=native)
        if (expand or native) and driven.ran and driven.ran != command:
            self.say(f"   ({'started' if native else 'expanded'}: {driven.ran})")
        if not driven.started:
            return Uninstalled("the uninstaller could not be started", None)
        after = self.sandbox.state()
        problem = "" if driven.end == "finished" else f"the uninstallation was {driven.end}"

        noise = self.sandbox.noise.registry
        found = leftovers(installed.before, installed.after, after, noise)
        left = [text for text, _ in found]
        self.say_list(f"== Left behind by the uninstallation: {len(left)}", left)
        # Collateral: what was there before and is gone or changed now.
        before = installed.before
        gone = sorted(filesystem.windows_file(state.path) for folded, state in before.files.items()
                      if folded not in after.files
                      or filesystem.rewritten(state, after.files[folded]))
        registry = hives.registry_changes(before.registry, after.registry, noise)
        gone += [key + " (key)" for key in registry.keys_removed]
        gone += [hives.value_text(key, value) for key, value in registry.values_removed]
        gone += [hives.value_text(key, before.registry[hives.fold_case(key)]
                                  .values[hives.fold_case(value.name)])
                 for key, value in registry.values_set
                 if hives.fold_case(key) in before.registry
                 and hives.fold_case(value.name) in before.registry[hives.fold_case(key)].values]
        self.say_list("== There before the installation, gone or changed after the "
                      f"uninstallation: {len(gone)}", gone)
        if left:
            return Uninstalled(f"the uninstallation left {left[0]} behind", found, len(left),
                               native=native)
        if gone:
            return Uninstalled(f"the uninstallation removed or changed {gone[0]}, which was "
                               "there before", found, len(left), native=native)
        return Uninstalled(problem or engine_box_verdict(driven.boxes, "uninstallation"), found,
                           len(left), native=native)

    def run(self) -> Result:
        """The try's verdict and counts; its report in `output`."""
        with self.sandbox.timings.phase("the whole try"):
            result = self.run_timed()
        with open(os.path.join(self.output, "timings.txt"), "w", encoding="utf-8") as written:
            written.write(self.sandbox.timings.text())
        return result

    def run_timed(self) -> Result:
        os.makedirs(self.scratch, exist_ok=True)
        os.makedirs(os.path.join(self.output, "boxes"), exist_ok=True)
        os.makedirs(self.sandbox.logs, exist_ok=True)
        verdict = "the try could not be completed"
        installed = Installed(verdict, None, None, None, "", [], 0, "-", "-",
                              jsonreport.changes_entry([], [], None), None)
        uninstalled = Uninstalled("", None)
        try:
            self.sandbox.start_display()
            installed = self.install()
            verdict = installed.verdict
            if verdict == "OK" and self.session.request.uninstall:
                uninstalled = self.uninstall(installed)
                verdict = uninstalled.verdict or "OK"
        except Failure as failure:
            verdict = str(failure)
        except OSError as problem:
            verdict = f"{problem.strerror or problem}: {problem.filename or ''}".rstrip(": ")
        finally:
            self.sandbox.end()
        if self.session.request.keep and not self.session.processes.stopping:
            for name, path in (("prefix", self.sandbox.prefix), ("package", self.work)):
                if os.path.isdir(path):
                    shutil.move(path, os.path.join(self.output, name))
                    self.say(f"kept: the {name} in {os.path.join(self.output, name)}")
        left = jsonreport.left_entry(uninstalled.left)
        # The plan is install.inf's: beside what happened only when install.inf was written.
        compared = (self.report_plan(installed.plan, installed, left, uninstalled.native)
                    if installed.inf_path is not None else None)
        if verdict == "OK":
            self.say(f"OK: install.exe showed no failure; the installation made "
                     f"{installed.changes} changes")
        else:
            self.say(f"FAILED: {verdict}")
        report = jsonreport.report_dict(verdict, self.windows, self.box_entries,
                                        installed.changes_json, left)
        report["plan"] = compared
        for name, text in (("report.txt", "\n".join(self.lines)),
                           ("report.json", jsonreport.as_text(report).rstrip("\n")),
                           ("report.html", htmlreport.report_html(report, self.session.package,
                                                                  self.folder,
                                                                  compared).rstrip("\n")),
                           ("verdict", verdict),
                           ("counts", f"{installed.under} {installed.elsewhere} "
                                      f"{uninstalled.leftovers}")):
            with open(os.path.join(self.output, name), "w", encoding="utf-8") as written:
                written.write(text + "\n")
        return Result(verdict, installed.under, installed.elsewhere, uninstalled.leftovers)
