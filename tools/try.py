#!/usr/bin/env python3
"""Tries a package end to end.

Runs the real install.exe under Wine in a copy of FOLDER (its install.inx and
the files it installs), in a 32-bit prefix of its own where ZI050.EXE is
registered at the path given, and reports install.inf, every box shown, and
what the installation changed on drive C: and in the registry: under the
application's folder and elsewhere, added, changed and removed. Headless (no
display, or --headless) it answers Yes on an Xvfb display of each try's own
and saves a screenshot of each box; otherwise you answer.

FOLDER's own install.exe is tried when it has one (a signed one, say, in any
case); otherwise the one built here. Exit status 0 only when every try is OK;
otherwise 1, with the reason on the last line; 2 for bad usage or missing
tools; 130 or 143 when interrupted, with nothing of the run left behind.
"""

import concurrent.futures
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import zlib

VERSION = "@INX_TOOLS_VERSION@"
OPTIONS = "FOLDER [--path DIR]... [--matrix] [--uninstall] [--headless] [--keep] [--report DIR]"
DEFAULT_FOLDER = "C:\\Program Files\\ZI050"
UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
APP_PATHS_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ZI050.EXE"
MATRIX_FOLDERS = [
    "C:\\Program Files\\ZI050",
    "C:\\Program Files (x86)\\ZI050",
    "C:\\ZI050",
    "C:\\Users\\Public\\My Apps\\ZI 050 v2.1",
    "C:\\Programme\\Müller",
    "C:\\Apps\\ZI050\\",
    "C:\\Tools 100%\\ZI050",
    "C:\\Deep\\Folder Level One\\Folder Level Two\\Folder Level Three\\Folder Level Four"
    "\\Folder Level Five\\Folder Level Six\\Folder Level Seven\\Folder Level Eight"
    "\\Folder Level Nine\\Folder Level Ten\\ZI050 Application",
]
# Wine's own logs and temporary files, left out of the snapshots.
WINE_NOISE = re.compile(
    r"^(windows/(temp|logs|installer)/|users/[^/]+/(temp|appdata/local/temp)/|windows/inf/setupapi)",
    re.IGNORECASE)
TABLE_FOLDER_WIDTH = 44


class Failure(Exception):
    """A reason the run cannot go on: printed, exit status 2."""


class Interrupted(Exception):
    """The run was told to stop."""


# --- The pure parts: snapshots, their differences, the report's verdict ---

def parse_reg(text):
    """The values of a Wine .reg export as {(key, name) folded: (key, line)}.

    A line ending in '\\' goes on in the next (hex data); keys and value
    names are compared without regard to case, as Windows compares them."""
    values = {}
    key = None
    pending = None
    for raw in text.replace("\r", "").split("\n"):
        line = raw if pending is None else pending + raw.lstrip(" ")
        pending = None
        if line.endswith("\\") and not line.startswith("["):
            pending = line[:-1]
            continue
        if line.startswith("[") and line.endswith("]"):
            key = line[1:-1]
        elif line and key is not None and (line.startswith('"') or line.startswith("@=")):
            values[(key.casefold(), value_name(line).casefold())] = (key, line)
    return values


def value_name(line):
    """A .reg value line's name as written: '@' or the quoted name."""
    if line.startswith("@="):
        return "@"
    at = 1
    while at < len(line) and line[at] != '"':
        at += 2 if line[at] == "\\" else 1
    return line[:at + 1]


def registry_changes(before, after):
    """Values added or changed, and values removed, as sorted "key: line" texts."""
    changed = sorted(after[k] for k in after if before.get(k, (None, None))[1] != after[k][1])
    removed = sorted((before[k][0], value_name(before[k][1])) for k in before if k not in after)
    return ([f"{key}: {line}" for key, line in changed],
            [f"{key}: {name}" for key, name in removed])


def files_changes(before, after):
    """Files added or changed as sorted (path, size), and paths removed;
    snapshots are {path folded: (path, size, time)}, as Windows compares paths."""
    changed = sorted(after[k][:2] for k in after if before.get(k) != after[k])
    removed = sorted(before[k][0] for k in before if k not in after)
    return changed, removed


def split_under(paths_and_sizes, app_relative):
    """Files under the application's folder (a path under drive C:, '/'
    between folders, empty when the folder is on no drive C:) and elsewhere."""
    prefix = app_relative.casefold() + "/"
    under = [f for f in paths_and_sizes if app_relative and f[0].casefold().startswith(prefix)]
    elsewhere = [f for f in paths_and_sizes if f not in under]
    return under, elsewhere


def windows_file(path):
    return "C:\\" + path.replace("/", "\\")


def app_relative_path(folder):
    """The folder as a path under drive_c, or '' when it is not on C:."""
    if len(folder) > 3 and folder[0] in "Cc" and folder[1:3] == ":\\":
        return folder[3:].replace("\\", "/").rstrip("/")
    return ""


def install_verdict(started, boxes, inf_written, end_line, changes, under, elsewhere, folder):
    """OK, or why the installation failed; `boxes` are install.exe's texts."""
    if not started:
        return "install.exe could not be started"
    if not boxes:
        return "install.exe showed no confirmation"
    if len(boxes) > 1:
        return f"install.exe reported: {boxes[-1]}"
    if not inf_written:
        return "the installation was declined"
    if end_line != "finished":
        return f"the installation was {end_line}"
    if changes == 0:
        return "the installation changed nothing on drive C: or in the registry"
    if elsewhere > 0 and under == 0:
        return f"no file landed in {folder}; {elsewhere} went elsewhere"
    return "OK"


def registered_uninstaller(changed_registry):
    """The UninstallString of an entry the installation added to the list of
    installed programs, unescaped from the .reg form; '' when none."""
    marker = "\\" + UNINSTALL_KEY.casefold() + "\\"
    for entry in changed_registry:
        key, _, line = entry.partition(": ")
        if marker in key.casefold() and line.startswith('"UninstallString"="'):
            value = line[len('"UninstallString"="'):-1]
            return re.sub(r'\\(["\\])', r"\1", value)
    return ""


def has_uninstall_section(inf_text):
    return re.search(r"^[ \t]*\[DefaultUninstall(\.NT|\.NTx86)?\]", inf_text,
                     re.IGNORECASE | re.MULTILINE) is not None


def format_table(rows, uninstall):
    """The matrix table: (folder, under, elsewhere, leftovers, verdict) rows."""
    lines = ["", f"{'folder':<{TABLE_FOLDER_WIDTH}} {'under':>7} {'elsewhere':>9}"
             + (f" {'leftovers':>9}" if uninstall else "") + "  verdict"]
    for folder, under, elsewhere, leftovers, verdict in rows:
        lines.append(f"{folder[:TABLE_FOLDER_WIDTH]:<{TABLE_FOLDER_WIDTH}} {under:>7} {elsewhere:>9}"
                     + (f" {leftovers:>9}" if uninstall else "") + f"  {verdict}")
    return "\n".join(lines) + "\n"


def parse_driver_log(text):
    """try-driver's lines: the boxes as (number, process, caption, text,
    buttons), and its last line ("finished" or why not)."""
    boxes = []
    lines = [line for line in text.replace("\r", "").split("\n") if line]
    for line in lines:
        fields = line.split("\t")
        if fields[0] == "box" and len(fields) == 6:
            boxes.append(tuple(fields[1:]))
    return boxes, (lines[-1] if lines else "")


def png_from_bmp(bmp):
    """A PNG of an uncompressed 24-bit BMP (what try-driver saves), or None."""
    if len(bmp) < 54 or bmp[:2] != b"BM":
        return None
    offset, = struct.unpack_from("<I", bmp, 10)
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", bmp, 18)
    if bits != 24 or compression != 0 or width <= 0 or height == 0:
        return None
    row_bytes = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        source = y if height < 0 else abs(height) - 1 - y  # BMP rows go bottom-up
        start = offset + source * row_bytes
        row = bmp[start:start + width * 3]
        if len(row) != width * 3:
            return None
        pixels = bytearray(row)
        pixels[0::3], pixels[2::3] = row[2::3], row[0::3]  # BGR to RGB
        rows.append(b"\0" + bytes(pixels))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def cksum(data):
    """POSIX cksum's CRC of `data`, which names a package's report folder."""
    def step(crc, byte):
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7 if crc & 0x80000000 else crc << 1) & 0xFFFFFFFF
        return crc
    crc = 0
    for byte in data:
        crc = step(crc, byte)
    length = len(data)
    while length:
        crc = step(crc, length & 0xFF)
        length >>= 8
    return ~crc & 0xFFFFFFFF


# --- Processes: each in a process group of its own, ended together ---

class Processes:
    """Every process the run starts, so that an interrupt can end them all."""

    def __init__(self):
        self.lock = threading.RLock()  # the signal handler may take it on the main thread
        self.groups = set()
        self.stopping = False

    def run(self, command, env, stdout=subprocess.DEVNULL, check=False):
        """Runs a command in a new process group; its output when captured."""
        process = self.start(command, env, stdout=stdout)
        try:
            output, _ = process.communicate()
        finally:
            with self.lock:
                self.groups.discard(process.pid)
        if self.stopping:
            raise Interrupted()
        if check and process.returncode != 0:
            raise Failure(f"{os.path.basename(command[0])} failed (exit status {process.returncode})")
        return process.returncode, output

    def start(self, command, env, stdout=subprocess.DEVNULL, pass_fds=()):
        """Starts a process in a new process group and tracks it; an
        interrupt that came while it was starting (on this very thread) ends
        it at once."""
        with self.lock:
            if self.stopping:
                raise Interrupted()
            process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=stdout,
                                       stderr=subprocess.DEVNULL, pass_fds=pass_fds,
                                       start_new_session=True)
            self.groups.add(process.pid)
            if self.stopping:
                kill_group(process.pid)
        return process

    def stop(self, process):
        """Ends a process that start() started, and waits for it."""
        with self.lock:
            self.groups.discard(process.pid)
        kill_group(process.pid)
        process.wait()

    def end_all(self):
        """Kills every process group the run started; later starts refuse."""
        with self.lock:
            self.stopping = True
            groups = list(self.groups)
        for group in groups:
            kill_group(group)


def kill_group(group):
    try:
        os.killpg(group, signal.SIGKILL)
    except ProcessLookupError:
        pass


def stop_prefix(layout, env, prefix):
    """Stops the prefix's Wine server and waits for it (stop-prefix.sh)."""
    if os.path.isdir(prefix):
        subprocess.run([os.path.join(layout.wine_scripts, "stop-prefix.sh"), prefix],
                       env=dict(env, WINEPREFIX=prefix), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)


# --- Where things are: a checkout, or the installed layout ---

class Layout:
    def __init__(self, report_dir):
        here = os.path.dirname(os.path.realpath(__file__))
        root = os.path.dirname(here)
        self.checkout = os.path.isfile(os.path.join(root, "CMakeLists.txt"))
        if self.checkout:
            self.command = "bash tools/try.sh"
            self.root = root
            self.wine_scripts = os.path.join(root, "tools", "wine")
            self.tools_build = os.path.join(root, "build", "win32-tools")
            self.driver = os.path.join(self.tools_build, "automation", "try-driver.exe")
            self.program = os.path.join(self.tools_build, "launcher", "install.exe")
            self.prefix_cache = os.path.join(root, "build", "wine-prefixes")
            self.reports = report_dir or os.path.join(root, "build", "try")
        else:
            self.command = "inx-try"
            share = os.path.join(root, "share", "inx-tools")
            self.wine_scripts = os.path.join(share, "wine")
            self.driver = os.path.join(share, "try-driver.exe")
            self.program = os.path.join(share, "install.exe")
            cache = os.environ.get("XDG_CACHE_HOME") or os.path.join(
                os.path.expanduser("~"), ".cache")
            self.prefix_cache = os.path.join(cache, "inx-tools", "wine-prefixes")
            self.reports = report_dir
        self.report_dir_given = report_dir is not None

    def results_for(self, package):
        name = os.path.basename(package) or "root"
        if self.checkout and not self.report_dir_given:
            identity = cksum(package.encode())
            return os.path.join(self.reports, f"{name}-{identity}")
        return self.reports or os.path.abspath(f"inx-try-{name}")

    def check_tools(self):
        needed = [("wine", "wine"), ("wineserver", "wine"),
                  ("Xvfb", "xvfb"), ("flock", "util-linux")]
        if self.checkout:
            needed = [("cmake", "cmake"), ("make", "make"),
                      ("i686-w64-mingw32-g++-posix", "g++-mingw-w64-i686-posix")] + needed
        missing = sorted({package for command, package in needed if shutil.which(command) is None})
        if missing:
            install = ("bash tools/install-packages.sh --only " if self.checkout
                       else "apt-get install ")
            raise Failure(f"missing tools; as root: {install}{' '.join(missing)} wine32:i386")

    def build_tools(self, processes):
        if not self.checkout:
            return
        env = dict(os.environ)
        if not os.path.isfile(os.path.join(self.tools_build, "CMakeCache.txt")):
            processes.run(["cmake", "-S", self.root, "-B", self.tools_build,
                           "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(self.root, "cmake",
                                                                    "mingw-w64-i686.cmake"),
                           "-DCMAKE_BUILD_TYPE=MinSizeRel", "-DBUILD_TESTING=OFF"], env, check=True)
        processes.run(["cmake", "--build", self.tools_build, "--target", "try_driver",
                       "install_program"], env, check=True)


# --- One try ---

class Try:
    """The package installed for one folder, in a scratch folder of its own."""

    def __init__(self, run, folder, output, scratch):
        self.run_ = run
        self.folder = folder
        self.output = output
        self.scratch = scratch
        self.prefix = os.path.join(scratch, "prefix")
        self.work = os.path.join(scratch, "package")
        self.lines = []
        self.app_relative = app_relative_path(folder)
        self.display = None
        self.env = dict(run.env, WINEPREFIX=self.prefix)

    # Running things in the try's prefix.
    def command(self, *arguments, capture=False):
        status, output = self.run_.processes.run(
            list(arguments), self.env, stdout=subprocess.PIPE if capture else subprocess.DEVNULL)
        return status, (output or b"").decode("utf-8", "replace")

    @staticmethod
    def windows_path(path):
        """The path on Wine's drive Z:, which every prefix maps to '/'
        (what winepath -w gives, without starting Wine for it)."""
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def say(self, text=""):
        self.lines.append(text)
        if self.run_.echo:
            print(text, flush=True)

    def start_display(self):
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

    def make_prefix(self):
        """A copy of the pristine prefix, with ZI050.EXE registered at the
        folder and the folder made, in the case Wine's own folders have."""
        self.run_.processes.run([os.path.join(self.run_.layout.wine_scripts, "pristine-prefix.sh"),
                                 self.run_.layout.prefix_cache, self.prefix], self.env, check=True)
        self.command("wine", "reg", "add", APP_PATHS_KEY, "/v", "Path", "/t", "REG_SZ",
                     "/d", self.folder, "/f")
        if not self.run_.headless:
            # The prefix is made for a screen without a window manager; with one, let it manage.
            self.command("wine", "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v",
                         "Managed", "/d", "Y", "/f")
        if self.app_relative:
            self.app_relative = make_folder_any_case(os.path.join(self.prefix, "drive_c"),
                                                     self.app_relative)

    def copy_package(self):
        """The package copied, without an install.inf of an earlier run, and
        with the built install.exe unless it brings its own."""
        shutil.copytree(self.run_.package, self.work, symlinks=True)
        names = os.listdir(self.work)
        for name in names:
            if name.casefold() == "install.inf":
                os.remove(os.path.join(self.work, name))
        if not any(name.casefold() == "install.exe" for name in names):
            shutil.copy(self.run_.layout.program, os.path.join(self.work, "install.exe"))
        return next(name for name in os.listdir(self.work) if name.casefold() == "install.exe")

    def installed_inf(self):
        for name in os.listdir(self.work):
            if name.casefold() == "install.inf":
                return os.path.join(self.work, name)
        return None

    def file_snapshot(self):
        drive = os.path.join(self.prefix, "drive_c")
        files = {}
        for folder, _, names in os.walk(drive):
            for name in names:
                path = os.path.join(folder, name)
                relative = os.path.relpath(path, drive)
                if WINE_NOISE.match(relative) or not os.path.isfile(path):
                    continue
                status = os.lstat(path)
                files[relative.casefold()] = (relative, status.st_size, status.st_mtime_ns)
        return files

    def export(self, key):
        target = os.path.join(self.scratch, "export.reg")
        self.command("wine", "reg", "export", key, target, "/y")
        try:
            with open(target, "rb") as exported:
                return parse_reg(exported.read().decode("utf-16", "replace"))
        except FileNotFoundError:
            return {}
        finally:
            if os.path.exists(target):
                os.remove(target)

    def registry_snapshot(self, before):
        values = {}
        if before:
            # Before the installation HKLM\Software is the pristine prefix's
            # and the App Paths entry: exporting it again would take Wine seconds.
            with open(os.path.join(self.prefix, "pristine-hklm-software.reg"), "rb") as pristine:
                values.update(parse_reg(pristine.read().decode("utf-16", "replace")))
            values.update(self.export(APP_PATHS_KEY))
        else:
            values.update(self.export("HKLM\\Software"))
        values.update(self.export("HKCU\\Software"))
        return values

    def drive(self, name, program, folder, command=False):
        """Runs try-driver; reports its boxes and returns them with its last line."""
        arguments = ["wine", self.run_.layout.driver]
        arguments += ["--answer"] if self.run_.headless else []
        arguments += ["--command"] if command else []
        arguments += [program, folder, self.windows_path(os.path.join(self.output, "boxes"))]
        status, log = self.command(*arguments, capture=True)
        with open(os.path.join(self.scratch, name + ".log"), "w", encoding="utf-8") as saved:
            saved.write(log)
        boxes, end = parse_driver_log(log)
        if status != 0:
            return None, boxes, end
        if end != "finished":
            # A hung engine is ended; what finished has written everything already.
            self.command("wineserver", "-k")
            self.command("wineserver", "-w")
        for number, process, caption, text, buttons in boxes:
            shot = os.path.join(self.output, "boxes", f"box-{number}")
            if os.path.isfile(shot + ".bmp"):
                with open(shot + ".bmp", "rb") as bmp:
                    png = png_from_bmp(bmp.read())
                if png is not None:
                    with open(shot + ".png", "wb") as written:
                        written.write(png)
                    os.remove(shot + ".bmp")
            self.say(f'   {number}. {process}, "{caption}": {text} [{buttons.replace("|", " | ")}]')
        if not boxes:
            self.say("   (none)")
        return True, boxes, end

    def report_list(self, heading, entries):
        self.say(heading)
        for entry in entries:
            self.say("   " + entry)
        if not entries:
            self.say("   (none)")

    def install(self):
        self.say(f"== ZI050.EXE registered at {self.folder}, in a copy of the pristine prefix")
        self.make_prefix()
        program = self.copy_package()
        self.files_before = self.file_snapshot()
        self.registry_before = self.registry_snapshot(before=True)

        self.say(f"== Message boxes ({program} in a copy of {self.run_.package}):")
        started, boxes, end = self.drive("install", self.windows_path(os.path.join(self.work, program)),
                                         self.windows_path(self.work))
        program_boxes = [text for _, process, _, text, _ in boxes
                         if process.casefold() == program.casefold()]
        self.files_installed = self.file_snapshot()
        self.registry_installed = self.registry_snapshot(before=False)
        self.say("== install.inf, as written:")
        inf = self.installed_inf()
        inf_text = ""
        if inf is not None:
            shutil.copy(inf, os.path.join(self.output, "install.inf"))
            with open(inf, "rb") as written:
                inf_text = written.read().decode("cp1252", "replace").replace("\r", "")
            for line in inf_text.removesuffix("\n").split("\n"):
                self.say("   " + line)
        else:
            self.say("   (none)")

        changed, removed = files_changes(self.files_before, self.files_installed)
        under, elsewhere = split_under(changed, self.app_relative)
        self.under, self.elsewhere = len(under), len(elsewhere)
        self.say(f"== Files created or changed: {self.under} under {self.folder}, "
                 f"{self.elsewhere} elsewhere")
        for path, size in elsewhere + under:
            self.say(f"   {windows_file(path)} ({size} bytes)")
        self.report_list("== Files removed:", [windows_file(path) for path in removed])
        registry_changed, registry_removed = registry_changes(self.registry_before,
                                                              self.registry_installed)
        self.report_list("== Registry values added or changed under HKLM\\Software and "
                         "HKCU\\Software:", registry_changed)
        self.report_list("== Registry values removed:", registry_removed)
        self.changes = len(changed) + len(removed) + len(registry_changed) + len(registry_removed)
        self.registry_changed = registry_changed
        self.inf_text = inf_text
        return install_verdict(started, program_boxes, inf is not None, end, self.changes,
                               self.under, self.elsewhere, self.folder)

    def uninstall(self):
        """Uninstalls as a user would; '' or what went wrong."""
        command = registered_uninstaller(self.registry_changed)
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
                       + self.windows_path(self.installed_inf()))
        self.say("== Message boxes while uninstalling:")
        started, _, end = self.drive("uninstall", command, self.windows_path(self.work),
                                     command=True)
        if not started:
            return "the uninstaller could not be started"
        files = self.file_snapshot()
        registry = self.registry_snapshot(before=False)
        problem = "" if end == "finished" else f"the uninstallation was {end}"

        # Left behind: what the installation added and the uninstallation kept.
        left = sorted(windows_file(files[k][0]) for k in files
                      if k in self.files_installed and k not in self.files_before)
        left += sorted(f"{registry[k][0]}: {value_name(registry[k][1])}" for k in registry
                       if k in self.registry_installed and k not in self.registry_before)
        self.leftovers = len(left)
        self.say(f"== Left behind by the uninstallation: {len(left)}")
        for entry in left:
            self.say("   " + entry)
        # Collateral: what was there before and is gone or changed now.
        gone = sorted(windows_file(self.files_before[k][0]) for k in self.files_before
                      if k not in files or files[k][1] != self.files_before[k][1])
        gone += sorted(f"{key}: {line}" for k, (key, line) in self.registry_before.items()
                       if registry.get(k, (None, None))[1] != line)
        self.say("== There before the installation, gone or changed after the uninstallation: "
                 f"{len(gone)}")
        for entry in gone:
            self.say("   " + entry)
        if left:
            return f"the uninstallation left {left[0]} behind"
        if gone:
            return f"the uninstallation removed or changed {gone[0]}, which was there before"
        return problem

    def run(self):
        """The try's verdict: OK or the reason; its report in `output`."""
        os.makedirs(self.scratch, exist_ok=True)
        shutil.rmtree(self.output, ignore_errors=True)
        os.makedirs(os.path.join(self.output, "boxes"))
        self.under, self.elsewhere, self.leftovers = "-", "-", "-"
        verdict = "the try could not be completed"
        try:
            self.start_display()
            verdict = self.install()
            self.leftovers = "-"
            if verdict == "OK" and self.run_.uninstall:
                verdict = self.uninstall() or "OK"
        except (Failure, OSError) as failure:
            verdict = str(failure)
        finally:
            self.end()
        if self.run_.keep and not self.run_.processes.stopping:
            shutil.move(self.prefix, os.path.join(self.output, "prefix"))
            shutil.move(self.work, os.path.join(self.output, "package"))
            self.say(f"kept: the package in {self.output}/package, the prefix in "
                     f"{self.output}/prefix")
        if verdict == "OK":
            self.say(f"OK: install.exe showed no failure; the installation made "
                     f"{self.changes} changes")
        else:
            self.say(f"FAILED: {verdict}")
        for name, text in (("report.txt", "\n".join(self.lines)), ("verdict", verdict),
                           ("counts", f"{self.under} {self.elsewhere} {self.leftovers}")):
            with open(os.path.join(self.output, name), "w", encoding="utf-8") as written:
                written.write(text + "\n")
        return verdict

    def end(self):
        """Stops the prefix's Wine server and waits for it, and the display."""
        stop_prefix(self.run_.layout, self.env, self.prefix)
        if self.display is not None:
            self.run_.processes.stop(self.display)
            self.display = None


def make_folder_any_case(drive, relative):
    """Makes the folder under `drive`, each existing part found in any case
    (C:\\Users is Wine's drive_c/users); the path as made."""
    path = drive
    made = []
    for part in relative.split("/"):
        existing = next((name for name in (os.listdir(path) if os.path.isdir(path) else [])
                         if name.casefold() == part.casefold()), part)
        path = os.path.join(path, existing)
        made.append(existing)
        os.makedirs(path, exist_ok=True)
    return "/".join(made)


# --- The run ---

class Run:
    def __init__(self, arguments):
        self.package = None
        self.paths = []
        self.matrix = self.uninstall = self.headless = self.keep = False
        report = None
        rest = list(arguments)
        while rest:
            argument = rest.pop(0)
            if argument in ("--path", "--report"):
                if not rest:
                    raise UsageError()
                value = rest.pop(0)
                if argument == "--path":
                    self.paths.append(value)
                else:
                    report = os.path.abspath(value)
            elif argument in ("--matrix", "--uninstall", "--headless", "--keep"):
                setattr(self, argument[2:], True)
            elif argument.startswith("-") or self.package is not None:
                raise UsageError()
            else:
                self.package = argument
        if self.package is None:
            raise UsageError()
        self.layout = Layout(report)
        self.headless = self.headless or not os.environ.get("DISPLAY")
        if not os.path.isfile(os.path.join(self.package, "install.inx")):
            raise Failure(f"{self.package} holds no install.inx")
        self.package = os.path.realpath(self.package)
        if self.matrix:
            self.paths = MATRIX_FOLDERS + self.paths
        elif not self.paths:
            self.paths = [DEFAULT_FOLDER]
        self.matrix = len(self.paths) > 1
        self.echo = not self.matrix
        self.processes = Processes()
        # Wine itself, whatever the caller's locale: UTF-8 file names
        # (C:\Programme\Müller on the Linux file system) and code page 1252.
        self.env = dict(os.environ, LC_ALL="C.UTF-8", WINEARCH="win32", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.scratch = None

    def start(self):
        self.layout.check_tools()
        self.layout.build_tools(self.processes)
        self.results = self.layout.results_for(self.package)
        self.scratch = tempfile.mkdtemp(prefix="inx-try-")
        shutil.rmtree(self.results, ignore_errors=True)
        os.makedirs(self.results)
        if not self.matrix:
            print(f"== Report: {self.results}/report.txt", flush=True)
            return 0 if Try(self, self.paths[0], self.results,
                            os.path.join(self.scratch, "try")).run() == "OK" else 1
        # Each try has a prefix, and so a Wine server, and a display of its own: two run at once.
        print_lock = threading.Lock()

        def one(index):
            if self.processes.stopping:
                raise Interrupted()
            with print_lock:
                print(f"== Try {index + 1} of {len(self.paths)}: {self.paths[index]}", flush=True)
            attempt = Try(self, self.paths[index], os.path.join(self.results, str(index + 1)),
                          os.path.join(self.scratch, f"try-{index + 1}"))
            verdict = attempt.run()
            return (self.paths[index], attempt.under, attempt.elsewhere, attempt.leftovers,
                    verdict)
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            rows = list(pool.map(one, range(len(self.paths))))
        table = format_table(rows, self.uninstall)
        with open(os.path.join(self.results, "table.txt"), "w", encoding="utf-8") as saved:
            saved.write(table)
        sys.stdout.write(table)
        print(f"reports: {self.results}/N/report.txt")
        failed = sum(1 for row in rows if row[4] != "OK")
        if failed:
            print(f"FAILED: {failed} of {len(self.paths)} folders")
            return 1
        print(f"OK: all {len(self.paths)} folders")
        return 0

    def clean_up(self):
        """Ends every process of the run, stops each prefix's Wine server
        (and a pristine prefix's left half made) and waits for it, then
        removes the scratch folder."""
        self.processes.end_all()
        if self.scratch is None:
            return
        prefixes = [os.path.join(self.scratch, name, "prefix") for name in os.listdir(self.scratch)]
        cache = self.layout.prefix_cache
        if os.path.isdir(cache):
            prefixes += [os.path.join(cache, name, "prefix") for name in os.listdir(cache)
                         if not os.path.exists(os.path.join(cache, name, "ready"))]
        for prefix in prefixes:
            stop_prefix(self.layout, self.env, prefix)
        shutil.rmtree(self.scratch, ignore_errors=True)


class UsageError(Exception):
    pass


def version():
    """The version the install wrote in, or a checkout's own."""
    if not VERSION.startswith("@"):
        return VERSION
    cmake = os.path.join(os.path.dirname(os.path.dirname(os.path.realpath(__file__))),
                         "CMakeLists.txt")
    with open(cmake, encoding="utf-8") as lists:
        found = re.search(r"project\(\S+\s+VERSION\s+([0-9.]+)", lists.read())
    return found.group(1) if found else "unknown"


def main(arguments):
    command = "bash tools/try.sh" if Layout(None).checkout else "inx-try"
    if arguments in (["--version"], ["-V"]):
        print(f"inx-try {version()}")
        return 0
    if arguments in (["--help"], ["-h"]):
        print(f"usage: {command} {OPTIONS}")
        return 0
    try:
        run = Run(arguments)
    except UsageError:
        print(f"usage: {command} {OPTIONS}", file=sys.stderr)
        return 2
    except Failure as failure:
        print(f"{command}: {failure}", file=sys.stderr)
        return 2
    interrupted = []

    def stop(number, _frame):
        # Every process of the run is ended; each wait on one then raises Interrupted.
        interrupted.append(number)
        run.processes.end_all()
    signal.signal(signal.SIGINT, stop)
    signal.signal(signal.SIGTERM, stop)
    status = 1
    try:
        status = run.start()
    except Interrupted:
        pass
    except Failure as failure:
        print(f"FAILED: {failure}", flush=True)
        status = 2 if run.scratch is None else 1
    finally:
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        run.clean_up()
    if interrupted:
        return 128 + interrupted[0]
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
