"""The work with Wine for one try: a display of its own, a sandboxed copy
of the pristine prefix with ZI050.EXE registered at the folder, the
prefix's Wine server, try-driver run in it, and drive C: and the registry
read from it. Each child's output goes to a log of its own."""

import contextlib
import os
import subprocess
import time
from typing import Dict, List, NamedTuple, Optional

from . import files as filesystem
from . import hives
from .noise import Noise, noise_of
from .report import Box, parse_driver_log
from .wine import Failure

# Relative to their hives' roots: HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
APP_PATHS_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ZI050.EXE"
WINE_X11_KEY = "Software\\Wine\\X11 Driver"
NLS_KEY = "hkey_local_machine\\system\\currentcontrolset\\control\\nls\\codepage"
# How long Wine's own programs get to shut down after ours before the
# server is ended by force.
SERVER_END_SECONDS = 30


def windows_path(path: str) -> str:
    """The path on Wine's drive Z:, which every prefix maps to '/' (what
    winepath -w gives, without starting Wine for it)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Timings:
    """Where a try's time goes: seconds by phase, in the order first met."""

    def __init__(self):
        self.seconds: Dict[str, float] = {}
        self.counts: Dict[str, int] = {}

    @contextlib.contextmanager
    def phase(self, name: str):
        start = time.monotonic()
        try:
            yield
        finally:
            self.seconds[name] = self.seconds.get(name, 0.0) + time.monotonic() - start
            self.counts[name] = self.counts.get(name, 0) + 1

    def text(self) -> str:
        """A line a phase: its seconds, its count and its name, tab-separated."""
        return "".join(f"{seconds:.3f}\t{self.counts[name]}\t{name}\n"
                       for name, seconds in self.seconds.items())


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


class Driven(NamedTuple):
    """What try-driver did: whether it ran, the boxes it answered, the
    command it ran (expanded) and how the program ended."""
    started: bool
    boxes: List[Box]
    ran: str
    end: str


class Sandbox:
    """One try's prefix, display and Wine server, for a 32- or 64-bit
    Windows (`windows`), in `scratch`; logs in `logs`."""

    def __init__(self, session, folder: str, windows: int, scratch: str, logs: str):
        self.session = session
        self.folder = folder
        self.scratch = scratch
        self.prefix = os.path.join(scratch, "prefix")
        self.logs = logs
        self.children = 0
        self.display: Optional[subprocess.Popen] = None
        self.noise = Noise()
        self.timings = Timings()
        self.server_running = False
        # Wine's children see a home of the try's own: nothing reaches the user's.
        home = os.path.join(scratch, "home")
        self.env = dict(session.env, WINEPREFIX=self.prefix, WINEARCH=f"win{windows}", HOME=home,
                        XDG_CONFIG_HOME=os.path.join(home, ".config"),
                        XDG_DATA_HOME=os.path.join(home, ".local", "share"),
                        XDG_CACHE_HOME=os.path.join(home, ".cache"))

    def log_for(self, name: str) -> str:
        self.children += 1
        return os.path.join(self.logs, f"{self.children:02d}-{name}.log")

    def command(self, *arguments: str, name: str, capture: bool = False, check: bool = True):
        return self.session.processes.run(list(arguments), self.env, self.log_for(name),
                                          capture=capture, check=check)

    def start_display(self) -> None:
        if not self.session.headless:
            return
        with self.timings.phase("start Xvfb"):
            self.start_xvfb()

    def start_xvfb(self) -> None:
        read_end, write_end = os.pipe()
        try:
            self.display = self.session.processes.start(
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
        with self.timings.phase("start the Wine server"):
            self.session.processes.run(["wineserver", "-p0"], dict(self.env, WINEPREFIX=prefix),
                                       self.log_for("wineserver"))
        self.server_running = self.server_running or prefix == self.prefix

    def stop_server(self, prefix: Optional[str] = None) -> None:
        """Lets the prefix's Wine server end, which writes the registry's
        hives: on its own, once Wine's programs have finished what they
        write at a start, or else after a while by force. Nothing to do for
        the try's own prefix when its server was not started."""
        prefix = prefix or self.prefix
        if prefix == self.prefix:
            if not self.server_running:
                return
            self.server_running = False
        if os.path.isdir(prefix):
            with self.timings.phase("stop the Wine server"):
                self.session.processes.run(
                    [os.path.join(self.session.layout.wine_scripts, "stop-prefix.sh"), prefix,
                     "--wait", str(SERVER_END_SECONDS)],
                    dict(self.env, WINEPREFIX=prefix), self.log_for("stop-prefix"))

    def make_prefix(self) -> str:
        """A copy of the pristine prefix, with ZI050.EXE registered at the
        folder and the folder made, in the case Wine's own folders have;
        returns the folder's path under drive C: as made."""
        os.makedirs(self.env["HOME"], exist_ok=True)
        with self.timings.phase("copy the pristine prefix"):
            _, pristine = self.command(os.path.join(self.session.layout.wine_scripts,
                                                    "pristine-prefix.sh"),
                                       self.session.layout.prefix_cache, self.prefix,
                                       name="pristine-prefix", capture=True)
        try:
            with self.timings.phase("Wine's noise (measured once a pristine prefix)"):
                self.noise = noise_of(pristine.decode().strip(),
                                      os.path.join(self.scratch, "noise"),
                                      self.register_application, self.install_noop)
        except (ValueError, KeyError, hives.HiveError) as problem:
            raise Failure(f"cannot measure what Wine changes on its own: {problem}") from None
        links = filesystem.profile_links(os.path.join(self.prefix, "drive_c"))
        if links:
            raise Failure(f"the prefix's {links[0]} is a link out of it")
        self.register_application(self.prefix)
        relative = filesystem.app_relative_path(self.folder)
        return filesystem.make_folder_any_case(os.path.join(self.prefix, "drive_c"),
                                               relative) if relative else relative

    def register_application(self, prefix: str) -> None:
        """Registers ZI050.EXE at the folder in the prefix, whose Wine server
        is not running: written into the hive as the server keeps it, which
        saves starting Wine for it."""
        with self.timings.phase("register ZI050.EXE (in the hive)"):
            stamp = int(time.time())
            hives.set_string(os.path.join(prefix, "system.reg"), APP_PATHS_KEY, "Path",
                             self.folder, stamp)
            if not self.session.headless:
                # The prefix is made for a screen without a window manager; with one, let it manage.
                hives.set_string(os.path.join(prefix, "user.reg"), WINE_X11_KEY, "Managed", "Y",
                                 stamp)

    def install_noop(self, prefix: str, inf: str) -> None:
        """Installs an INF in a prefix, as an uninstallation runs the
        engine, and stops the prefix's Wine server."""
        command = ("rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall 132 "
                   + windows_path(inf))
        shots = os.path.join(os.path.dirname(inf), "boxes")
        os.makedirs(shots, exist_ok=True)
        self.start_server(prefix)
        self.session.processes.run(["wine", self.session.layout.driver, "--answer", "--command",
                                    command, windows_path(os.path.dirname(inf)),
                                    windows_path(shots)],
                                   dict(self.env, WINEPREFIX=prefix), self.log_for("noise"))
        self.stop_server(prefix)

    def state(self) -> State:
        """Drive C: and the registry now, the Wine server stopped first so
        that the hives hold everything."""
        self.stop_server()
        with self.timings.phase("snapshot drive C: and the registry"):
            return State(self.prefix, self.noise)

    def check_code_page(self, state: State) -> None:
        nls = state.registry.get(NLS_KEY)
        acp = hives.value_string(nls.values.get("acp")) if nls else None
        if acp != str(self.session.codepage):
            raise Failure(f"the prefix's ANSI code page is {acp}, not {self.session.codepage}")

    def drive(self, name: str, program: str, folder: str, shots: str, command: bool = False,
              expand: bool = False, native: bool = False) -> Driven:
        """Runs try-driver on `program` (or a command line) in `folder`,
        its boxes' pictures into `shots`; its log saved in the logs."""
        arguments = ["wine", self.session.layout.driver]
        arguments += ["--answer"] if self.session.headless else []
        arguments += ["--command"] if command else []
        arguments += ["--expand"] if expand else []
        arguments += ["--native"] if native else []
        arguments += [program, folder, windows_path(shots)]
        self.start_server(self.prefix)
        with self.timings.phase(f"{name} (try-driver under Wine)"):
            status, log = self.command(*arguments, name=name, capture=True, check=False)
        text = log.decode(self.session.codec, "replace")
        with open(os.path.join(self.logs, name + "-driver.txt"), "w", encoding="utf-8") as saved:
            saved.write(text)
        boxes, ran, end = parse_driver_log(text)
        if status == 0 and end != "finished":
            # A hung engine is ended; what finished has written everything already.
            self.command("wineserver", "-k", name="wineserver-kill", check=False)
        return Driven(status == 0, boxes, ran, end)

    def end(self) -> None:
        """Stops the prefix's Wine server and waits for it, and the display."""
        try:
            self.stop_server()
        except Failure:
            pass  # the try's verdict already says what failed
        if self.display is not None:
            with self.timings.phase("stop Xvfb"):
                self.session.processes.stop(self.display)
            self.display = None
