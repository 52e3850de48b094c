"""One try: the package installed (and uninstalled) for one folder, in a
sandboxed copy of the pristine prefix, and its report."""

import json
import os
import re
import shutil
import subprocess
from typing import List, Optional

from . import files as filesystem
from . import hives
from . import compare, htmlreport, jsonreport
from .noise import Noise, noise_of
from .report import engine_box_verdict, install_verdict, parse_driver_log, png_from_bmp
from .wine import Failure

APP_PATHS_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ZI050.EXE"
UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
# The list of installed programs: the machine's (in both views on 64-bit
# Windows) and the user's.
UNINSTALL_LISTS = {root + "\\" + hives.fold_case(UNINSTALL_KEY).replace("software\\", view, 1)
                   for root in ("hkey_local_machine", "hkey_current_user")
                   for view in ("software\\", "software\\wow6432node\\")}
NLS_KEY = "hkey_local_machine\\system\\currentcontrolset\\control\\nls\\codepage"
WINDOWS_TRIED = {
    32: "Windows: 32-bit (a win32 prefix)",
    64: "Windows: 64-bit (a WoW64 prefix: install.exe's 32-bit engine, SysWOW64, "
        "Program Files (x86), WOW6432Node)",
}
# How long Wine's own programs get to shut down after ours before the
# server is ended by force.
SERVER_END_SECONDS = 30


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


class State:
    """Drive C: and the registry at one moment."""

    def __init__(self, prefix: str, noise: Noise):
        self.files = {folded: state for folded, state
                      in filesystem.snapshot(os.path.join(prefix, "drive_c")).items()
                      if folded not in noise.files}
        try:
            self.registry = hives.read_prefix(prefix)
        except (OSError, hives.HiveError) as problem:
            raise Failure(f"cannot read the prefix's registry: {problem}") from None


class Try:
    """The package installed for one folder, in a scratch folder of its own."""

    def __init__(self, run, folder: str, windows: int, output: str, scratch: str):
        self.run_ = run
        self.folder = folder
        self.windows = windows  # 32 or 64
        self.output = output
        self.scratch = scratch
        self.prefix = os.path.join(scratch, "prefix")
        self.work = os.path.join(scratch, "package")
        self.logs = os.path.join(output, "logs")
        self.lines: List[str] = []
        self.app_relative = filesystem.app_relative_path(folder)
        self.display: Optional[subprocess.Popen] = None
        # Wine's children see a home of the try's own: nothing reaches the user's.
        home = os.path.join(scratch, "home")
        self.env = dict(run.env, WINEPREFIX=self.prefix, WINEARCH=f"win{windows}", HOME=home,
                        XDG_CONFIG_HOME=os.path.join(home, ".config"),
                        XDG_DATA_HOME=os.path.join(home, ".local", "share"),
                        XDG_CACHE_HOME=os.path.join(home, ".cache"))
        self.children = 0
        self.under = self.elsewhere = self.leftovers = "-"
        self.changes = 0
        self.before = self.installed = None
        self.values_set: list = []
        self.inf_text = ""
        self.inf_path: Optional[str] = None
        self.noise = Noise()
        # For report.json.
        self.box_entries: list = []
        self.changes_json = jsonreport.changes_entry([], [], None)
        self.left: Optional[list] = None
        self.plan: Optional[dict] = None

    # Running things in the try's prefix, each child's output in a log of its own.
    def log_for(self, name: str) -> str:
        self.children += 1
        return os.path.join(self.logs, f"{self.children:02d}-{name}.log")

    def command(self, *arguments: str, name: str, capture: bool = False, check: bool = True):
        return self.run_.processes.run(list(arguments), self.env, self.log_for(name),
                                       capture=capture, check=check)

    @staticmethod
    def windows_path(path: str) -> str:
        """The path on Wine's drive Z:, which every prefix maps to '/'
        (what winepath -w gives, without starting Wine for it)."""
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def say(self, text: str = "") -> None:
        self.lines.append(text)
        if self.run_.echo:
            print(text, flush=True)

    def say_list(self, heading: str, entries: List[str]) -> None:
        self.say(heading)
        for entry in entries:
            self.say("   " + entry)
        if not entries:
            self.say("   (none)")

    def start_display(self) -> None:
        if not self.run_.headless:
            return
        read_end, write_end = os.pipe()
        try:
            self.display = self.run_.processes.start(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24"],
                self.env, pass_fds=(write_end,))
            os.close(write_end)
            write_end = -1
            number = b""
            while not number.endswith(b"\n"):
                piece = os.read(read_end, 16)
                if not piece:
                    break
                number += piece
        finally:
            os.close(read_end)
            if write_end >= 0:
                os.close(write_end)
        if not number.strip():
            raise Failure("Xvfb did not start, so no display for Wine")
        self.env["DISPLAY"] = ":" + number.decode().strip()

    def start_server(self, prefix: str) -> None:
        """Starts the prefix's Wine server to end as soon as Wine's own
        programs have shut down after the last of ours."""
        self.run_.processes.run(["wineserver", "-p0"], dict(self.env, WINEPREFIX=prefix),
                                self.log_for("wineserver"))

    def stop_server(self, prefix: Optional[str] = None) -> None:
        """Lets the prefix's Wine server end, which writes the registry's
        hives: on its own, once Wine's programs have finished what they
        write at a start, or else after a while by force."""
        prefix = prefix or self.prefix
        if os.path.isdir(prefix):
            self.run_.processes.run([os.path.join(self.run_.layout.wine_scripts, "stop-prefix.sh"),
                                     prefix, "--wait", str(SERVER_END_SECONDS)],
                                    dict(self.env, WINEPREFIX=prefix), self.log_for("stop-prefix"))

    def make_prefix(self) -> None:
        """A copy of the pristine prefix, with ZI050.EXE registered at the
        folder and the folder made, in the case Wine's own folders have."""
        _, pristine = self.command(os.path.join(self.run_.layout.wine_scripts,
                                                "pristine-prefix.sh"),
                                   self.run_.layout.prefix_cache, self.prefix,
                                   name="pristine-prefix", capture=True)
        try:
            self.noise = noise_of(pristine.decode().strip(), os.path.join(self.scratch, "noise"),
                                  self.register_application, self.install_noop)
        except (ValueError, KeyError, hives.HiveError) as problem:
            raise Failure(f"cannot measure what Wine changes on its own: {problem}") from None
        links = filesystem.profile_links(os.path.join(self.prefix, "drive_c"))
        if links:
            raise Failure(f"the prefix's {links[0]} is a link out of it")
        self.register_application(self.prefix)
        if self.app_relative:
            self.app_relative = filesystem.make_folder_any_case(
                os.path.join(self.prefix, "drive_c"), self.app_relative)

    def register_application(self, prefix: str) -> None:
        """Registers ZI050.EXE at the folder in the prefix, whose Wine
        server is then stopped."""
        env = dict(self.env, WINEPREFIX=prefix)
        os.makedirs(env["HOME"], exist_ok=True)
        self.start_server(prefix)
        self.run_.processes.run(["wine", "reg", "add", APP_PATHS_KEY, "/v", "Path", "/t", "REG_SZ",
                                 "/d", self.folder, "/f"], env, self.log_for("reg-add"))
        if not self.run_.headless:
            # The prefix is made for a screen without a window manager; with one, let it manage.
            self.run_.processes.run(["wine", "reg", "add", "HKCU\\Software\\Wine\\X11 Driver",
                                     "/v", "Managed", "/d", "Y", "/f"], env, self.log_for("reg-add"))
        self.stop_server(prefix)

    def install_noop(self, prefix: str, inf: str) -> None:
        """Installs an INF in a prefix, as an uninstallation runs the
        engine, and stops the prefix's Wine server."""
        command = ("rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall 132 "
                   + self.windows_path(inf))
        shots = os.path.join(os.path.dirname(inf), "boxes")
        os.makedirs(shots, exist_ok=True)
        self.start_server(prefix)
        self.run_.processes.run(["wine", self.run_.layout.driver, "--answer", "--command", command,
                                 self.windows_path(os.path.dirname(inf)), self.windows_path(shots)],
                                dict(self.env, WINEPREFIX=prefix), self.log_for("noise"))
        self.stop_server(prefix)

    def state(self) -> State:
        """Drive C: and the registry now, the Wine server stopped first so
        that the hives hold everything."""
        self.stop_server()
        return State(self.prefix, self.noise)

    def check_code_page(self, state: State) -> None:
        nls = state.registry.get(NLS_KEY)
        acp = hives.value_string(nls.values.get("acp")) if nls else None
        if acp != str(self.run_.codepage):
            raise Failure(f"the prefix's ANSI code page is {acp}, not {self.run_.codepage}")

    def copy_package(self) -> str:
        """The package copied, without an install.inf of an earlier run, and
        with the built install.exe unless it brings its own."""
        shutil.copytree(self.run_.package, self.work, symlinks=True)
        names = os.listdir(self.work)
        for name in names:
            if hives.fold_case(name) == "install.inf":
                os.remove(os.path.join(self.work, name))
        if not any(hives.fold_case(name) == "install.exe" for name in names):
            shutil.copy(self.run_.layout.program, os.path.join(self.work, "install.exe"))
        return next(name for name in os.listdir(self.work) if hives.fold_case(name) == "install.exe")

    def make_plan(self) -> None:
        """inx-check's plan for the package and the folder, to set beside
        what the try sees."""
        status, output = self.command(self.run_.layout.inx_check, "--plan", "--format=json",
                                      "--codepage", str(self.run_.codepage),
                                      "--windows", str(self.windows), "--path", self.folder,
                                      os.path.join(self.work, "install.inx"), name="inx-check-plan",
                                      capture=True, check=False)
        try:
            self.plan = json.loads(output.decode("utf-8")) if status in (0, 1) else None
        except ValueError:
            self.plan = None
        with open(os.path.join(self.output, "plan.json"), "wb") as saved:
            saved.write(output)

    def existed_before(self, entry: dict) -> bool:
        """Whether a planned value was there before the installation, as planned."""
        key = self.before.registry.get(compare.folded_key(entry["key"])) if self.before else None
        value = key.values.get(hives.fold_case(entry["name"])) if key is not None else None
        if value is None:
            return False
        seen = jsonreport.registry_entry(key.path, value)
        return (seen["type"], compare.folded_data(seen)) == (entry["type"],
                                                              compare.folded_data(entry))

    def report_plan(self, left: Optional[dict]) -> Optional[dict]:
        """The plan beside what was seen, in report.txt; for report.json."""
        if self.plan is None:
            self.say("== inx-check's plan: it made none (its log is in logs)")
            return None
        result = compare.compare(self.plan, {"changes": self.changes_json, "left_behind": left},
                                 self.windows_path(self.work), self.existed_before)
        both = sum(len(found.both) for sides in result.values() for found in sides.values())
        differences = compare.disagreements(result)
        self.say(f"== inx-check's plan beside what was seen: {both} planned and seen, "
                 f"{len(differences)} not")
        for line in differences:
            self.say("   " + line)
        wine = compare.wine_differences(self.plan)
        if wine:
            self.say(f"== Where Wine 8 differs from Windows, compared where Windows puts it: "
                     f"{len(wine)}")
            for line in wine:
                self.say("   " + line)
        return compare.as_json(result)

    def installed_inf(self) -> Optional[str]:
        for name in os.listdir(self.work):
            if hives.fold_case(name) == "install.inf":
                return os.path.join(self.work, name)
        return None

    def drive(self, name: str, program: str, folder: str, command: bool = False,
              expand: bool = False):
        """Runs try-driver; reports its boxes and returns whether it started,
        the boxes, the command it ran and its last line."""
        arguments = ["wine", self.run_.layout.driver]
        arguments += ["--answer"] if self.run_.headless else []
        arguments += ["--command"] if command else []
        arguments += ["--expand"] if expand else []
        arguments += [program, folder, self.windows_path(os.path.join(self.output, "boxes"))]
        self.start_server(self.prefix)
        status, log = self.command(*arguments, name=name, capture=True, check=False)
        text = log.decode(self.run_.codec, "replace")
        with open(os.path.join(self.logs, name + "-driver.txt"), "w", encoding="utf-8") as saved:
            saved.write(text)
        boxes, ran, end = parse_driver_log(text)
        if status != 0:
            return False, boxes, ran, end
        if end != "finished":
            # A hung engine is ended; what finished has written everything already.
            self.command("wineserver", "-k", name="wineserver-kill", check=False)
        for box in boxes:
            shot = os.path.join(self.output, "boxes", f"box-{box.number}")
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
        if not boxes:
            self.say("   (none)")
        return True, boxes, ran, end

    def report_changes(self, before: State, after: State):
        """Reports what changed from `before` to `after`; returns the files
        changed and the registry's changes."""
        changed, removed = filesystem.files_changes(before.files, after.files)
        under, elsewhere = filesystem.split_under(changed, self.app_relative)
        self.under, self.elsewhere = len(under), len(elsewhere)
        self.say(f"== Files created or changed: {self.under} under {self.folder}, "
                 f"{self.elsewhere} elsewhere")
        for path, size in elsewhere + under:
            self.say(f"   {filesystem.windows_file(path)} ({size} bytes)")
        self.say_list("== Files removed:", [filesystem.windows_file(path) for path in removed])
        registry = hives.registry_changes(before.registry, after.registry, self.noise.registry)
        self.say_list("== Registry keys added:", registry.keys_added)
        self.say_list("== Registry values added or changed:",
                      [hives.value_text(key, value) for key, value in registry.values_set])
        self.say_list("== Registry values removed:",
                      [hives.value_text(key, value) for key, value in registry.values_removed])
        self.say_list("== Registry keys removed:", registry.keys_removed)
        self.changes_json = jsonreport.changes_entry(
            [filesystem.windows_file(path) for path, _ in elsewhere + under],
            [filesystem.windows_file(path) for path in removed], registry)
        count = (len(changed) + len(removed) + len(registry.keys_added) + len(registry.keys_removed)
                 + len(registry.values_set) + len(registry.values_removed))
        return count, registry

    def install(self) -> str:
        self.say(f"== {WINDOWS_TRIED[self.windows]}")
        self.say(f"== ZI050.EXE registered at {self.folder}, in a copy of the pristine prefix")
        self.make_prefix()
        program = self.copy_package()
        self.make_plan()
        self.before = self.state()
        self.check_code_page(self.before)

        self.say(f"== Message boxes ({program} in a copy of {self.run_.package}):")
        started, boxes, _, end = self.drive("install", self.windows_path(
            os.path.join(self.work, program)), self.windows_path(self.work))
        program_boxes = [box.text for box in boxes if hives.fold_case(box.process) == hives.fold_case(program)]
        self.installed = self.state()
        self.say("== install.inf, as written:")
        self.inf_path = self.installed_inf()
        if self.inf_path is not None:
            shutil.copy(self.inf_path, os.path.join(self.output, "install.inf"))
            with open(self.inf_path, "rb") as written:
                self.inf_text = written.read().decode(self.run_.codec, "replace").replace("\r", "")
            for line in self.inf_text.removesuffix("\n").split("\n"):
                self.say("   " + line)
        else:
            self.say("   (none)")
        self.changes, registry = self.report_changes(self.before, self.installed)
        self.values_set = registry.values_set
        verdict = install_verdict(started, program_boxes, self.inf_path is not None, end,
                                  self.changes, self.under, self.elsewhere, self.folder)
        if verdict == "OK":
            verdict = engine_box_verdict(boxes, "installation") or "OK"
        return verdict

    def uninstall(self) -> str:
        """Uninstalls as a user would; '' or what went wrong."""
        command, expand = registered_uninstaller(self.values_set)
        if command:
            self.say(f"== Uninstalling as the list of installed programs does: {command}")
        else:
            self.say("== Uninstalling: the installation registered nothing under HKLM or "
                     f"HKCU\\{UNINSTALL_KEY},")
            self.say("   so users will find nothing to uninstall; running install.inf's "
                     "[DefaultUninstall]")
            if not has_uninstall_section(self.inf_text):
                self.say("   install.inf has no [DefaultUninstall.NTx86], [DefaultUninstall.NT] "
                         "or [DefaultUninstall] section")
                self.leftovers = 0
                return "install.inf has no [DefaultUninstall] section to uninstall with"
            command = ("rundll32.exe setupapi.dll,InstallHinfSection DefaultUninstall 132 "
                       + self.windows_path(self.inf_path))
        self.say("== Message boxes while uninstalling:")
        started, boxes, ran, end = self.drive("uninstall", command, self.windows_path(self.work),
                                              command=True, expand=expand)
        if expand and ran:
            self.say(f"   (expanded: {ran})")
        if not started:
            return "the uninstaller could not be started"
        after = self.state()
        problem = "" if end == "finished" else f"the uninstallation was {end}"

        self.left = leftovers(self.before, self.installed, after, self.noise.registry)
        left = [text for text, _ in self.left]
        self.leftovers = len(left)
        self.say_list(f"== Left behind by the uninstallation: {len(left)}", left)
        # Collateral: what was there before and is gone or changed now.
        before = self.before
        gone = sorted(filesystem.windows_file(state.path) for folded, state in before.files.items()
                      if folded not in after.files or after.files[folded][1:] != state[1:])
        registry = hives.registry_changes(before.registry, after.registry, self.noise.registry)
        gone += [key + " (key)" for key in registry.keys_removed]
        gone += [hives.value_text(key, value) for key, value in registry.values_removed]
        gone += [hives.value_text(key, before.registry[hives.fold_case(key)].values[hives.fold_case(value.name)])
                 for key, value in registry.values_set
                 if hives.fold_case(key) in before.registry
                 and hives.fold_case(value.name) in before.registry[hives.fold_case(key)].values]
        self.say_list("== There before the installation, gone or changed after the "
                      f"uninstallation: {len(gone)}", gone)
        if left:
            return f"the uninstallation left {left[0]} behind"
        if gone:
            return f"the uninstallation removed or changed {gone[0]}, which was there before"
        return problem or engine_box_verdict(boxes, "uninstallation")

    def run(self) -> str:
        """The try's verdict: OK or the reason; its report in `output`."""
        os.makedirs(self.scratch, exist_ok=True)
        os.makedirs(os.path.join(self.output, "boxes"), exist_ok=True)
        os.makedirs(self.logs, exist_ok=True)
        verdict = "the try could not be completed"
        try:
            self.start_display()
            verdict = self.install()
            if verdict == "OK" and self.run_.request.uninstall:
                verdict = self.uninstall() or "OK"
        except Failure as failure:
            verdict = str(failure)
        except OSError as problem:
            verdict = f"{problem.strerror or problem}: {problem.filename or ''}".rstrip(": ")
        finally:
            self.end()
        if self.run_.request.keep and not self.run_.processes.stopping:
            for name, path in (("prefix", self.prefix), ("package", self.work)):
                if os.path.isdir(path):
                    shutil.move(path, os.path.join(self.output, name))
                    self.say(f"kept: the {name} in {os.path.join(self.output, name)}")
        left = jsonreport.left_entry(self.left)
        # The plan is install.inf's: beside what happened only when install.inf was written.
        plan = self.report_plan(left) if self.inf_path is not None else None
        if verdict == "OK":
            self.say(f"OK: install.exe showed no failure; the installation made "
                     f"{self.changes} changes")
        else:
            self.say(f"FAILED: {verdict}")
        report = jsonreport.report_dict(verdict, self.windows, self.box_entries,
                                        self.changes_json, left)
        report["plan"] = plan
        for name, text in (("report.txt", "\n".join(self.lines)),
                           ("report.json", jsonreport.as_text(report).rstrip("\n")),
                           ("report.html", htmlreport.report_html(report, self.run_.package,
                                                                  self.folder, plan).rstrip("\n")),
                           ("verdict", verdict),
                           ("counts", f"{self.under} {self.elsewhere} {self.leftovers}")):
            with open(os.path.join(self.output, name), "w", encoding="utf-8") as written:
                written.write(text + "\n")
        return verdict

    def end(self) -> None:
        """Stops the prefix's Wine server and waits for it, and the display."""
        try:
            self.stop_server()
        except Failure:
            pass  # the try's verdict already says what failed
        if self.display is not None:
            self.run_.processes.stop(self.display)
            self.display = None
