#!/usr/bin/env python3
"""Writes inx-tools-VERSION-win32.zip for packagers on Windows, from a tree
that dpkg-buildpackage has built: inx-check.exe and install.exe from the
cross tree, the sample package, the README and the guide, the licence, and the man pages
as plain text; text with Windows' line ends, and winpthreads' notice
(linked into the programs) beside the licence. Reproducible: the entries in a fixed order, each with the
changelog's time and fixed permissions.

Usage: win32-zip.py SOURCE_TREE OUTPUT_FOLDER
"""
import os
import subprocess
import sys
import time
import zipfile


def main(source, output):
    version = subprocess.run(["dpkg-parsechangelog", "-S", "Version"], cwd=source, check=True,
                             capture_output=True, text=True).stdout.strip()
    epoch = int(subprocess.run(["dpkg-parsechangelog", "-S", "Timestamp"], cwd=source,
                               check=True, capture_output=True, text=True).stdout)
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip time starts in 1980
    win32 = os.path.join(source, "obj-win32")
    host = next(os.path.join(source, name) for name in sorted(os.listdir(source))
                if name.startswith("obj-") and name != "obj-win32")
    top = f"inx-tools-{version}-win32"
    entries = {
        "inx-check.exe": open(os.path.join(win32, "inx-check", "inx-check.exe"), "rb").read(),
        "install.exe": open(os.path.join(win32, "launcher", "install.exe"), "rb").read(),
        "README.md": open(os.path.join(source, "README.md"), "rb").read(),
        "doc/GUIDE.md": open(os.path.join(source, "doc", "GUIDE.md"), "rb").read(),
        "LICENSE.txt": open(os.path.join(source, "LICENSE"), "rb").read() + b"\n\n"
                       + open(os.path.join(source, "packaging", "winpthreads-notice.txt"),
                              "rb").read(),
    }
    for name in sorted(os.listdir(os.path.join(source, "tools", "demo"))):
        with open(os.path.join(source, "tools", "demo", name), "rb") as demo:
            entries["demo/" + name] = demo.read()
    for page, folder in (("inx-check", "doc"), ("inx-try", "inx-try"), ("inx-sign", "doc")):
        text = subprocess.run(["man", "-l", os.path.join(host, folder, page + ".1")], check=True,
                              capture_output=True, env=dict(os.environ, MANWIDTH="80",
                                                            MAN_KEEP_FORMATTING="",
                                                            LC_ALL="C.UTF-8")).stdout
        plain = subprocess.run(["col", "-bx"], input=text, check=True, capture_output=True).stdout
        entries[f"man/{page}.txt"] = plain
    path = os.path.join(output, top + ".zip")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for name in sorted(entries):
            info = zipfile.ZipInfo(f"{top}/{name}", date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS: no Unix permissions recorded
            data = entries[name]
            if not name.endswith(".exe"):  # text, with Windows' line ends
                data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
            archive.writestr(info, data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
    print(path)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
