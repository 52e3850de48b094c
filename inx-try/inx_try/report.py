"""What a try reports: the verdicts, the matrix table, try-driver's log, the
screenshots as PNG, and the report folder, which is only ever cleared of
what inx-try itself wrote there."""

import fcntl
import os
import re
import shutil
import struct
import zlib
from typing import List, NamedTuple, Optional

from . import hives

TABLE_FOLDER_WIDTH = 44
# Marks a folder as a report of inx-try's: only such a folder is cleared.
MARKER = ".inx-try-report"
# What inx-try writes into a report folder; nothing else in it is touched.
REPORT_ENTRIES = ("report.txt", "report.json", "report.html", "plan.json", "verdict", "counts",
                  "table.txt", "install.inf", "boxes", "logs", "prefix", "package", "timings.txt")
ENGINE_PROCESS = "rundll32.exe"


class ReportFolderError(Exception):
    """A report folder inx-try may not write into: status 2."""


class Box(NamedTuple):
    number: str
    process: str
    caption: str
    text: str
    buttons: str


def install_verdict(started: bool, program_boxes: List[str], inf_written: bool, end_line: str,
                    changes: int, under: int, elsewhere: int, folder: str) -> str:
    """OK, or why the installation failed; `program_boxes` are install.exe's texts."""
    if not started:
        return "install.exe could not be started"
    if not program_boxes:
        return "install.exe showed no confirmation"
    if len(program_boxes) > 1:
        return f"install.exe reported: {program_boxes[-1]}"
    if not inf_written:
        return "the installation was declined"
    if end_line != "finished":
        return f"the installation was {end_line}"
    if changes == 0:
        return "the installation changed nothing on drive C: or in the registry"
    if elsewhere > 0 and under == 0:
        return f"no file landed in {folder}; {elsewhere} went elsewhere"
    return "OK"


def engine_box_verdict(boxes: List[Box], during: str) -> str:
    """'' or why a box that the INF engine showed fails the try: the engine
    shows a box only to report an error or to ask for a disk."""
    for box in boxes:
        if hives.fold_case(box.process) == ENGINE_PROCESS:
            return f'the INF engine showed a box during the {during}: "{box.caption}": {box.text}'
    return ""


def format_table(rows, uninstall: bool) -> str:
    """The matrix table: (folder, windows, under, elsewhere, leftovers,
    verdict) rows, `windows` 32 or 64."""
    lines = ["", f"{'folder':<{TABLE_FOLDER_WIDTH}} {'windows':>7} {'under':>7} {'elsewhere':>9}"
             + (f" {'leftovers':>9}" if uninstall else "") + "  verdict"]
    for folder, windows, under, elsewhere, leftovers, verdict in rows:
        lines.append(f"{folder[:TABLE_FOLDER_WIDTH]:<{TABLE_FOLDER_WIDTH}} {windows:>7} "
                     f"{under:>7} {elsewhere:>9}"
                     + (f" {leftovers:>9}" if uninstall else "") + f"  {verdict}")
    return "\n".join(lines) + "\n"


def parse_driver_log(text: str):
    """try-driver's lines: the boxes, the command it ran ('' when it printed
    none), and its last line ("finished" or why not)."""
    boxes = []
    command = ""
    lines = [line for line in text.replace("\r", "").split("\n") if line]
    for line in lines:
        fields = line.split("\t")
        if fields[0] == "box" and len(fields) == 6:
            boxes.append(Box(*fields[1:]))
        elif fields[0] == "command" and len(fields) == 2:
            command = fields[1]
    return boxes, command, (lines[-1] if lines else "")


def last_lines(text: str, count: int = 3) -> str:
    """The last non-empty lines of a child's error output, joined by ' / '."""
    lines = [line.strip() for line in text.replace("\r", "").split("\n") if line.strip()]
    return " / ".join(lines[-count:])


def png_from_bmp(bmp: bytes) -> Optional[bytes]:
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


def cksum(data: bytes) -> int:
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


def is_within(path: str, folder: str) -> bool:
    """Whether `path` is `folder` or inside it, links resolved."""
    path, folder = os.path.realpath(path), os.path.realpath(folder)
    return path == folder or path.startswith(folder.rstrip(os.sep) + os.sep)


def report_folder_problem(folder: str, package: str) -> str:
    """'' when inx-try may write its report into `folder`, or why not: it
    must not be the package or inside it, and must be missing, empty, or
    marked as an earlier report of inx-try's."""
    if is_within(folder, package):
        return f"{folder} is the package folder or inside it"
    if is_within(package, folder):
        return f"{folder} holds the package folder"
    if not os.path.lexists(folder):
        return ""
    if not os.path.isdir(folder) or os.path.islink(folder):
        return f"{folder} is not a folder"
    entries = os.listdir(folder)
    if entries and MARKER not in entries:
        return f"{folder} holds files that inx-try did not write"
    return ""


def lock_report_folder(folder: str, package: str) -> int:
    """Claims `folder` for this run's report, made if missing: an open
    descriptor of it, locked until it is closed. A report folder that another
    inx-try is writing to is refused, as the two would remove each other's
    files."""
    problem = report_folder_problem(folder, package)
    if problem:
        raise ReportFolderError(f"will not write the report there: {problem}")
    os.makedirs(folder, exist_ok=True)
    descriptor = os.open(folder, os.O_RDONLY | os.O_DIRECTORY)
    try:
        fcntl.flock(descriptor, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        os.close(descriptor)
        raise ReportFolderError(f"another inx-try is writing its report to {folder}: wait for "
                                "it to end, or give this one a folder of its own with --report")
    return descriptor


def prepare_report_folder(folder: str, package: str) -> None:
    """Makes `folder` ready for a report: an earlier report's entries (and
    its numbered matrix reports) are removed, nothing else; then marked."""
    problem = report_folder_problem(folder, package)
    if problem:
        raise ReportFolderError(f"will not write the report there: {problem}")
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if name in REPORT_ENTRIES or re.fullmatch(r"[0-9]+", name):
            if re.fullmatch(r"[0-9]+", name):
                prepare_report_folder(path, package)
                if os.listdir(path) == [MARKER]:
                    shutil.rmtree(path)
            elif os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path)
            else:
                os.remove(path)
    with open(os.path.join(folder, MARKER), "w", encoding="utf-8") as marker:
        marker.write("A report of inx-try's: inx-try replaces what it wrote here.\n")
