"""The run: the request carried out, one try or a matrix of them, and
inx-try's exit status."""

import concurrent.futures
import fcntl
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading

from . import cli
from .report import ReportFolderError, format_table, lock_report_folder, prepare_report_folder
from .trial import Try
from .wine import Failure, Interrupted, Layout, Processes

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


def codec_for(code_page: int) -> str:
    return "utf-8" if code_page == 65001 else f"cp{code_page}"


class Run:
    def __init__(self, request: cli.Request):
        self.request = request
        self.layout = Layout(os.path.abspath(request.report) if request.report else None)
        self.headless = request.headless or not os.environ.get("DISPLAY")
        if not os.path.isfile(os.path.join(request.package, "install.inx")):
            raise Failure(f"{request.package} holds no install.inx")
        self.package = os.path.realpath(request.package)
        self.tries = cli.tries(request, MATRIX_FOLDERS)
        self.matrix = len(self.tries) > 1
        self.echo = not self.matrix
        self.processes = Processes()
        self.codepage = request.codepage
        self.codec = codec_for(request.codepage)
        # Wine itself, whatever the caller's locale: UTF-8 file names
        # (C:\Programme\Müller on the Linux file system), and the ANSI code
        # page of the locale (1252 under C.UTF-8). The menu builder is off:
        # it would write shortcuts and file types under $HOME.
        self.env = dict(os.environ, LC_ALL="C.UTF-8", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        self.env.pop("LANGUAGE", None)
        self.scratch = None
        self.results = None
        self.report_lock = None

    def check_code_page(self) -> None:
        """The code page is one inx-check reads INFs in: else the try would have no plan."""
        _, listed = self.processes.run([self.layout.inx_check, "--list-code-pages"], self.env,
                                       os.path.join(self.results, "build.log"), capture=True)
        if str(self.codepage) not in listed.decode().split():
            raise Failure(f"inx-check does not read code page {self.codepage}")

    def prepare_locale(self) -> None:
        """For another code page than 1252: its locale compiled into the
        prefix cache (once, under a lock), and Wine run in it."""
        locale = cli.CODE_PAGE_LOCALES[self.codepage]
        if locale == "C":
            return
        locales = os.path.join(self.layout.prefix_cache, "locales")
        os.makedirs(locales, exist_ok=True)
        compiled = os.path.join(locales, f"{locale}.UTF-8")
        with open(os.path.join(locales, ".lock"), "w", encoding="utf-8") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if not os.path.isfile(os.path.join(compiled, "LC_CTYPE")):
                self.processes.run(["localedef", "-i", locale, "-f", "UTF-8", compiled],
                                   self.env, os.path.join(self.results, "localedef.log"))
        self.env.update(LOCPATH=locales, LC_ALL=f"{locale}.UTF-8")

    def start(self) -> int:
        self.layout.check_tools(cli.CODE_PAGE_LOCALES[self.codepage] != "C",
                                any(kind == 64 for _, kind in self.tries))
        self.layout.check_cache()
        self.results = self.layout.results_for(self.package)
        self.report_lock = lock_report_folder(self.results, self.package)
        prepare_report_folder(self.results, self.package)
        self.layout.build_tools(self.processes, os.path.join(self.results, "build.log"))
        self.check_code_page()
        self.prepare_locale()
        self.scratch = tempfile.mkdtemp(prefix="inx-try-")
        if not self.matrix:
            print(f"== Report: {self.results}/report.txt", flush=True)
            folder, kind = self.tries[0]
            return 0 if Try(self, folder, kind, self.results,
                            os.path.join(self.scratch, "try")).run().verdict == "OK" else 1
        # Each try has a prefix, and so a Wine server, and a display of its own: they
        # run side by side, the table in the matrix's order.
        print_lock = threading.Lock()

        def one(index):
            if self.processes.stopping:
                raise Interrupted()
            folder, kind = self.tries[index]
            with print_lock:
                print(f"== Try {index + 1} of {len(self.tries)}: {folder} on {kind}-bit Windows",
                      flush=True)
            output = os.path.join(self.results, str(index + 1))
            prepare_report_folder(output, self.package)
            attempt = Try(self, folder, kind, output,
                          os.path.join(self.scratch, f"try-{index + 1}"))
            result = attempt.run()
            return (folder, kind, result.under, result.elsewhere, result.leftovers, result.verdict)
        with concurrent.futures.ThreadPoolExecutor(max_workers=self.request.jobs) as pool:
            rows = list(pool.map(one, range(len(self.tries))))
        table = format_table(rows, self.request.uninstall)
        with open(os.path.join(self.results, "table.txt"), "w", encoding="utf-8") as saved:
            saved.write(table)
        sys.stdout.write(table)
        print(f"reports: {self.results}/N/report.txt")
        failed = sum(1 for row in rows if row[-1] != "OK")
        if failed:
            print(f"FAILED: {failed} of {len(self.tries)} tries")
            return 1
        print(f"OK: all {len(self.tries)} tries")
        return 0

    def clean_up(self) -> None:
        """Ends every process of the run, stops each prefix's Wine server
        (and a pristine prefix's left half made) and waits for it, then
        removes the scratch folder."""
        self.processes.end_all()
        if self.report_lock is not None:
            os.close(self.report_lock)
            self.report_lock = None
        if self.scratch is None:
            return
        stop = os.path.join(self.layout.wine_scripts, "stop-prefix.sh")

        def stop_prefix(prefix: str) -> None:
            if os.path.isdir(prefix):
                subprocess.run([stop, prefix], env=dict(self.env, WINEPREFIX=prefix),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        for name in os.listdir(self.scratch):
            stop_prefix(os.path.join(self.scratch, name, "prefix"))
        for prefix in abandoned_pristines(self.layout.prefix_cache):
            stop_prefix(prefix)
        shutil.rmtree(self.scratch, ignore_errors=True)


def abandoned_pristines(cache: str):
    """Each pristine prefix in `cache` left half made that nobody is making
    now (its lock is free: another run may be making one), held locked
    while the caller stops it."""
    for name in sorted(os.listdir(cache)) if os.path.isdir(cache) else []:
        pristine = os.path.join(cache, name)
        if (not os.path.isdir(os.path.join(pristine, "prefix"))
                or os.path.exists(os.path.join(pristine, "ready"))):
            continue
        with open(pristine + ".lock", "a", encoding="utf-8") as lock:
            try:
                fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
            except BlockingIOError:
                continue
            yield os.path.join(pristine, "prefix")


def main(arguments, version: str) -> int:
    command = Layout(None).command
    try:
        request = cli.parse_request(arguments, command, version)
    except cli.HelpShown:
        return 0
    except cli.UsageError as problem:
        print(f"{command}: {problem}\nTry '{command} --help' for more information.",
              file=sys.stderr)
        return 2
    try:
        run = Run(request)
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
    except (Failure, ReportFolderError, OSError) as problem:
        text = (f"{problem.strerror}: {problem.filename}" if isinstance(problem, OSError)
                and problem.filename else str(problem))
        print(f"{command}: {text}", file=sys.stderr, flush=True)
        status = 2
    finally:
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        run.clean_up()
    if interrupted:
        return 128 + interrupted[0]
    return status
