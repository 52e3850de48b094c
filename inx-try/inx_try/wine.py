"""The processes a run starts, each in a process group of its own and ended
together, and where the tools are: a checkout, or the installed layout."""

import concurrent.futures
import os
import pwd
import shutil
import signal
import subprocess
import threading
from typing import List, Optional

from .report import cksum, last_lines


class Failure(Exception):
    """A step that failed: the try (or, before any try, the run) fails with it."""


class Interrupted(Exception):
    """The run was told to stop."""


class Processes:
    """Every process the run starts, so that an interrupt can end them all."""

    def __init__(self):
        self.lock = threading.RLock()  # the signal handler may take it on the main thread
        self.groups = set()
        self.stopping = False

    def run(self, command: List[str], env, log: str, capture: bool = False,
            check: bool = True) -> "tuple[int, bytes]":
        """Runs a command in a new process group, its error output (and its
        output unless captured) written to `log`. With `check`, a non-zero
        status is a Failure that names the command and quotes the last lines
        of its error output."""
        with open(log, "ab") as log_file:
            process = self.start(command, env, stdout=subprocess.PIPE if capture else log_file,
                                 stderr=log_file)
            try:
                output, _ = process.communicate()
            finally:
                with self.lock:
                    self.groups.discard(process.pid)
        if self.stopping:
            raise Interrupted()
        if check and process.returncode != 0:
            raise Failure(failure_text(command, process.returncode, log))
        return process.returncode, output or b""

    def start(self, command: List[str], env, stdout=subprocess.DEVNULL,
              stderr=subprocess.DEVNULL, pass_fds=()) -> subprocess.Popen:
        """Starts a process in a new process group and tracks it; an
        interrupt that came while it was starting (on this very thread) ends
        it at once."""
        with self.lock:
            if self.stopping:
                raise Interrupted()
            process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=stdout,
                                       stderr=stderr, pass_fds=pass_fds, start_new_session=True)
            self.groups.add(process.pid)
            if self.stopping:
                kill_group(process.pid)
        return process

    def stop(self, process: subprocess.Popen) -> None:
        """Ends a process that start() started, and waits for it."""
        with self.lock:
            self.groups.discard(process.pid)
        kill_group(process.pid)
        process.wait()

    def end_all(self) -> None:
        """Kills every process group the run started; later starts refuse."""
        with self.lock:
            self.stopping = True
            groups = list(self.groups)
        for group in groups:
            kill_group(group)


def failure_text(command: List[str], status: int, log: str) -> str:
    """A failed command's name and status, with the last lines of its log
    when the log is a file: a log that is a stream (a pipe, a terminal) has
    shown them already, and reading it back would wait for its writer."""
    name = " ".join(os.path.basename(part) for part in command[:3])
    tail = ""
    if os.path.isfile(log):
        try:
            with open(log, "rb") as log_file:
                tail = last_lines(log_file.read()[-4096:].decode("utf-8", "replace"))
        except OSError:
            pass
    return f"{name} failed (exit status {status})" + (f": {tail}" if tail else "")


def kill_group(group: int) -> None:
    try:
        os.killpg(group, signal.SIGKILL)
    except ProcessLookupError:
        pass


# Commands that Debian keeps off PATH, and where: wine64, which a 64-bit
# (WoW64) prefix needs.
OFF_PATH = {"wine64": "/usr/lib/wine/wine64"}


# Wine's 32-bit half, without which `wine` starts no 32-bit program.
WINE32_LOADER = "/usr/lib/wine/wine"


def found(command: str) -> bool:
    if os.path.isabs(command):
        return os.path.isfile(command)
    return shutil.which(command) is not None or os.path.isfile(OFF_PATH.get(command, ""))


def needed_tools(checkout: bool, locale_needed: bool, windows64: bool) -> "list[tuple[str, str]]":
    """The commands a run needs, each with the Debian package that holds it;
    from a checkout, those that build_tools needs too."""
    needed = [("wine", "wine"), ("wineserver", "wine"), (WINE32_LOADER, "wine32"), ("Xvfb", "xvfb"),
              ("flock", "util-linux")]
    if windows64:
        needed.append(("wine64", "wine64"))
    if locale_needed:
        needed.append(("localedef", "locales"))
    if checkout:
        return [("cmake", "cmake"), ("make", "make"), ("cc", "gcc"), ("c++", "g++"),
                ("scdoc", "scdoc"), ("i686-w64-mingw32-gcc-posix", "gcc-mingw-w64-i686-posix"),
                ("i686-w64-mingw32-g++-posix", "g++-mingw-w64-i686-posix"),
                ("i686-w64-mingw32-windres", "binutils-mingw-w64-i686")] + needed
    return needed + [("inx-check", "inx-check")]


def prefix_cache() -> str:
    """Where pristine prefixes are kept, for every checkout and the installed
    tool alike, as ccache keeps objects."""
    cache = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(cache, "inx-tools", "wine-prefixes")


def owner_name(uid: int) -> str:
    try:
        return pwd.getpwuid(uid).pw_name
    except KeyError:
        return f"user {uid}"


def check_cache_owner(cache: str, uid: int, home: str) -> None:
    """Refuses a prefix cache that would become another user's, or has:
    root running with another user's home (as sudo -E leaves it) would make
    the prefixes root's, and that user's next try could not lock them."""
    if uid == 0 and os.path.isdir(home) and os.stat(home).st_uid != 0:
        owner = owner_name(os.stat(home).st_uid)
        raise Failure(f"running as root with {owner}'s home folder {home} (as sudo -E leaves "
                      f"it), the pristine prefixes in {cache} would be root's, and {owner}'s "
                      f"next try could not use them: run inx-try as {owner}, or as root with "
                      "root's own home (sudo -H, or sudo without -E)")
    if uid == 0 or not os.path.isdir(cache):
        return
    for path in [cache] + [os.path.join(cache, name) for name in sorted(os.listdir(cache))]:
        found = os.lstat(path).st_uid
        if found != uid:
            chown = owner_name(uid) if not owner_name(uid).startswith("user ") else str(uid)
            raise Failure(f"{path} is {owner_name(found)}'s, not {owner_name(uid)}'s (a try run "
                          "as root with this home folder, as sudo -E does, made it): as root, "
                          f"run chown -R {chown}: {cache}, or remove {cache}")


class Layout:
    """Where the tools, the pristine prefixes and the reports are."""

    def __init__(self, report_dir: Optional[str]):
        here = os.path.dirname(os.path.realpath(__file__))
        above = os.path.dirname(here)  # inx-try/ in a checkout
        root = os.path.dirname(above)
        self.checkout = os.path.isfile(os.path.join(root, "CMakeLists.txt"))
        if self.checkout:
            self.command = "bash tools/try.sh"
            self.root = root
            self.wine_scripts = os.path.join(above, "wine")
            self.tools_build = os.path.join(root, "build", "win32-tools")
            self.driver = os.path.join(self.tools_build, "automation", "try-driver.exe")
            self.program = os.path.join(self.tools_build, "launcher", "install.exe")
            # The checker runs natively, for the plan.
            self.host_build = os.path.join(root, "build", "host-tools")
            self.inx_check = os.path.join(self.host_build, "inx-check", "inx-check")
            self.prefix_cache = prefix_cache()
            self.reports = report_dir or os.path.join(root, "build", "try")
        else:
            # share/inx-tools/python/inx_try
            self.command = "inx-try"
            share = os.path.dirname(above)
            self.wine_scripts = os.path.join(share, "wine")
            self.driver = os.path.join(share, "try-driver.exe")
            self.program = os.path.join(share, "install.exe")
            self.inx_check = shutil.which("inx-check") or "inx-check"
            self.prefix_cache = prefix_cache()
            self.reports = report_dir
        self.report_dir_given = report_dir is not None

    def results_for(self, package: str) -> str:
        name = os.path.basename(package) or "root"
        if self.checkout and not self.report_dir_given:
            return os.path.join(self.reports, f"{name}-{cksum(package.encode())}")
        return os.path.abspath(self.reports or f"inx-try-{name}")

    def check_cache(self) -> None:
        check_cache_owner(self.prefix_cache, os.geteuid(), os.path.expanduser("~"))

    def check_tools(self, locale_needed: bool, windows64: bool = False) -> None:
        missing = sorted({package for command, package
                          in needed_tools(self.checkout, locale_needed, windows64)
                          if not found(command)})
        if missing:
            install = (f"bash tools/install-packages.sh{'' if 'wine64' in missing else ' --demo'}"
                       if self.checkout else "apt-get install " + " ".join(
                           "wine32:i386" if package == "wine32" else package for package in missing))
            raise Failure(f"missing tools ({', '.join(missing)}); as root: {install}")

    def build_tools(self, processes: Processes, log: str) -> None:
        """From a checkout: install.exe and try-driver, and the native
        inx-check, each tree built beside the other."""
        if not self.checkout:
            return
        env = dict(os.environ)
        toolchain = os.path.join(self.root, "cmake", "mingw-w64-i686.cmake")
        trees = [(self.tools_build, ["-DCMAKE_TOOLCHAIN_FILE=" + toolchain],
                  ["try_driver", "install_program"]),
                 (self.host_build, [], ["inx_check"])]

        def build(tree, options, targets) -> None:
            if not os.path.isfile(os.path.join(tree, "CMakeCache.txt")):
                processes.run(["cmake", "-S", self.root, "-B", tree, *options,
                               "-DCMAKE_BUILD_TYPE=MinSizeRel", "-DBUILD_TESTING=OFF"],
                              env, log)
            processes.run(["cmake", "--build", tree, "--target", *targets], env, log)
        with concurrent.futures.ThreadPoolExecutor(max_workers=len(trees)) as pool:
            for done in [pool.submit(build, *tree) for tree in trees]:
                done.result()
