#!/usr/bin/env python3
"""Runs clang-tidy over the project's own sources in a compile database, as
run-clang-tidy does, skipping each source whose exact input was found clean
before: the same clang-tidy, the same .clang-tidy, the same command and the
same preprocessed text (every header it includes), with the source and
build folders' own paths left out, so that a fresh clone finds them too. A
clean result is kept in ${XDG_CACHE_HOME:-~/.cache}/inx-tools/clang-tidy, as
ccache keeps objects.

With --native, a cross-compiling tree's database sees only what the native
tree does not compile: each source is checked once a run, in the native tree
when both compile it.

Usage: cached-clang-tidy.py CLANG_TIDY SOURCE_DIR DATABASE_DIR OWN_REGEX [--native DATABASE]
"""
import concurrent.futures
import hashlib
import json
import os
import re
import shlex
import subprocess
import sys

def entries(database, own):
    with open(database, encoding="utf-8") as commands:
        return {entry["file"]: entry for entry in json.load(commands) if own.match(entry["file"])}


def preprocessed(entry):
    """The source as the compiler sees it, or None when it cannot be made."""
    arguments = entry.get("arguments") or shlex.split(entry["command"])
    command = []
    skip = False
    for argument in arguments:
        if skip:
            skip = False
        elif argument == "-o":
            skip = True
        elif argument != "-c":
            command.append(argument)
    result = subprocess.run(command + ["-E", "-o", "-"], cwd=entry["directory"],
                            capture_output=True, check=False)
    return result.stdout if result.returncode == 0 else None


def config(source):
    """Every .clang-tidy from the source's folder up: a nearer one may inherit
    the ones above it."""
    settings = b""
    folder = os.path.dirname(source)
    while True:
        candidate = os.path.join(folder, ".clang-tidy")
        if os.path.isfile(candidate):
            with open(candidate, "rb") as found:
                settings += found.read()
        if os.path.dirname(folder) == folder:
            return settings
        folder = os.path.dirname(folder)


def check(clang_tidy, version, folders, database_dir, cache, entry):
    """'' when clean, else clang-tidy's report."""
    text = preprocessed(entry)
    key = None
    if text is not None:
        digest = hashlib.sha256()
        for part in (version, config(entry["file"]), entry.get("command", "").encode(),
                     json.dumps(entry.get("arguments", [])).encode(), text):
            for folder, token in folders:
                part = part.replace(folder, token)
            digest.update(hashlib.sha256(part).digest())
        key = os.path.join(cache, digest.hexdigest())
        if os.path.exists(key):
            return ""
    result = subprocess.run([clang_tidy, "-p", database_dir, "--quiet", entry["file"]],
                            capture_output=True, check=False)
    report = (result.stdout + result.stderr).decode("utf-8", "replace")
    if result.returncode != 0:
        return report or f"clang-tidy failed on {entry['file']}\n"
    if key is not None:
        os.makedirs(cache, exist_ok=True)
        with open(key, "w", encoding="utf-8"):
            pass
    return ""


def main(arguments):
    clang_tidy, source_dir, database_dir, own_pattern = arguments[:4]
    native = arguments[5] if len(arguments) > 5 and arguments[4] == "--native" else None
    # The build folder first: it may lie inside the source folder.
    folders = [(os.path.realpath(database_dir).encode(), b"<build>"),
               (os.path.realpath(source_dir).encode(), b"<source>")]
    own = re.compile(own_pattern)
    sources = entries(os.path.join(database_dir, "compile_commands.json"), own)
    if native and os.path.isfile(native):
        natively = entries(native, own)
        sources = {source: entry for source, entry in sources.items() if source not in natively}
    version = subprocess.run([clang_tidy, "--version"], capture_output=True,
                             check=True).stdout
    cache = os.path.join(os.environ.get("XDG_CACHE_HOME")
                         or os.path.join(os.path.expanduser("~"), ".cache"),
                         "inx-tools", "clang-tidy")
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        reports = list(pool.map(lambda entry: check(clang_tidy, version, folders, database_dir,
                                                    cache, entry), sources.values()))
    failed = [report for report in reports if report]
    sys.stdout.write("".join(failed))
    print(f"clang-tidy: {len(sources)} sources, {len(failed)} with findings")
    return 1 if failed else 0


sys.exit(main(sys.argv[1:]))
