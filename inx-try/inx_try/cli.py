"""inx-try's command line, parsed into a plain request."""

import argparse
import os
from typing import List, NamedTuple, Optional, Tuple

# Where a 32-bit ZI050.EXE installs by default, on each Windows.
DEFAULT_FOLDERS = {32: "C:\\Program Files\\ZI050", 64: "C:\\Program Files (x86)\\ZI050"}
WINDOWS = (32, 64)
# The ANSI code pages a try can run under, and the locale that gives each in Wine.
CODE_PAGE_LOCALES = {
    874: "th_TH", 1250: "pl_PL", 1251: "ru_RU", 1252: "C", 1253: "el_GR", 1254: "tr_TR",
    1255: "he_IL", 1256: "ar_EG", 1257: "lt_LT", 1258: "vi_VN",
    932: "ja_JP", 936: "zh_CN", 949: "ko_KR", 950: "zh_TW", 65001: "hi_IN",
}


class UsageError(Exception):
    """Bad usage: the message, then status 2."""


class HelpShown(Exception):
    """--help or --version printed its text: status 0."""


class Request(NamedTuple):
    package: str
    paths: List[str]  # the folders given with --path, in order
    matrix: bool
    uninstall: bool
    headless: bool
    keep: bool
    report: Optional[str]
    codepage: int
    windows: Optional[int]  # 32 or 64; None when not given
    jobs: int  # tries at once in a matrix


class Parser(argparse.ArgumentParser):
    """Raises instead of exiting, so that parsing is a plain function."""

    def error(self, message):
        raise UsageError(message)

    def exit(self, status=0, message=None):
        if message:
            raise UsageError(message.strip())
        raise HelpShown()


class Once(argparse.Action):
    """An option that may be given once."""

    def __call__(self, parser, namespace, values, option_string=None):
        if getattr(namespace, self.dest) is not None:
            raise UsageError(f"{option_string} is given more than once")
        setattr(namespace, self.dest, values)


class OnceFlag(argparse.Action):
    def __init__(self, option_strings, dest, **kwargs):
        super().__init__(option_strings, dest, nargs=0, default=False, **kwargs)

    def __call__(self, parser, namespace, values, option_string=None):
        if getattr(namespace, self.dest):
            raise UsageError(f"{option_string} is given more than once")
        setattr(namespace, self.dest, True)


def code_page(text: str) -> int:
    if not text.isdigit() or int(text) not in CODE_PAGE_LOCALES:
        known = ", ".join(str(number) for number in sorted(CODE_PAGE_LOCALES))
        raise argparse.ArgumentTypeError(f"unknown code page {text!r} (known: {known})")
    return int(text)


def job_count(text: str) -> int:
    if not text.isdigit() or not 1 <= int(text) <= 64:
        raise argparse.ArgumentTypeError(f"not a number of tries at once from 1 to 64: {text!r}")
    return int(text)


def windows_kind(text: str) -> int:
    if text not in [str(kind) for kind in WINDOWS]:
        raise argparse.ArgumentTypeError(f"unknown Windows {text!r} (known: 32, 64)")
    return int(text)


def make_parser(command: str, version: str) -> Parser:
    parser = Parser(prog=command, description=(
        "Tries an install.exe package for real under Wine: installs it in a sandboxed "
        "prefix of a 32- or 64-bit Windows where ZI050.EXE is registered at a folder, and "
        "reports install.inf, "
        "every box shown and everything the installation changed on drive C: and in the "
        "registry."), allow_abbrev=False)
    parser.add_argument("package", metavar="FOLDER",
                        help="the package: install.inx and the files it installs")
    parser.add_argument("--path", metavar="DIR", action="append", default=[],
                        help=f"the application's folder (default {DEFAULT_FOLDERS[32]}, on "
                             f"64-bit Windows {DEFAULT_FOLDERS[64]}); may be given more than "
                             "once, each tried")
    parser.add_argument("--windows", metavar="32|64", action=Once, type=windows_kind,
                        help="the Windows tried: 32-bit (the default), or 64-bit, where "
                             "install.exe's 32-bit engine runs under WoW64 (a win64 prefix)")
    parser.add_argument("--matrix", action=OnceFlag,
                        help="try once per folder that users really have, on both Windows "
                             "unless --windows names one, and end with a table")
    parser.add_argument("--jobs", "-j", metavar="N", action=Once, type=job_count,
                        help="run up to N of the matrix's tries at once, each with a prefix, "
                             "a Wine server and a display of its own (default: the number of "
                             "cores)")
    parser.add_argument("--uninstall", action=OnceFlag,
                        help="then uninstall as the user would and report what is left behind")
    parser.add_argument("--headless", action=OnceFlag,
                        help="answer the boxes on a display of each try's own, even with a display")
    parser.add_argument("--keep", action=OnceFlag,
                        help="keep each try's package copy and prefix beside its report")
    parser.add_argument("--report", metavar="DIR", action=Once,
                        help="write the reports to DIR: a missing or empty folder, or an "
                             "earlier report of inx-try's (never the package or inside it)")
    parser.add_argument("--codepage", metavar="N", action=Once, type=code_page,
                        help="the ANSI code page of the Windows tried (default 1252): "
                             + ", ".join(str(n) for n in sorted(CODE_PAGE_LOCALES)))
    parser.add_argument("--version", "-V", action="version", version=f"{command} {version}",
                        help="print the version and exit")
    return parser


def tries(request: Request, matrix_folders: List[str]) -> List[Tuple[str, int]]:
    """Each try the request asks for, a folder on a Windows (32 or 64): the
    matrix's folders on both Windows unless --windows names one."""
    if request.matrix:
        kinds = [request.windows] if request.windows else list(WINDOWS)
    else:
        kinds = [request.windows or 32]
    paths = (matrix_folders if request.matrix else []) + request.paths
    return [(path, kind) for kind in kinds for path in paths or [DEFAULT_FOLDERS[kind]]]


def parse_request(arguments: List[str], command: str = "inx-try",
                  version: str = "") -> Request:
    """The request the arguments make; UsageError when they make none,
    HelpShown after printing --help or --version."""
    options = make_parser(command, version).parse_args(arguments)
    return Request(package=options.package, paths=options.path, matrix=options.matrix,
                   uninstall=options.uninstall, headless=options.headless, keep=options.keep,
                   report=options.report, codepage=options.codepage or 1252,
                   windows=options.windows, jobs=options.jobs or os.cpu_count() or 1)
