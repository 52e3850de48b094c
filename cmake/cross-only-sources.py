#!/usr/bin/env python3
"""Prints the sources that a cross-compiling tree's clang-tidy must see
itself: those the native tree does not compile, and those with code for one
platform only (#ifdef _WIN32 and the like), as one regular expression for
run-clang-tidy. Without the native tree's database, every source of `own`.

Usage: cross-only-sources.py CROSS_DATABASE NATIVE_DATABASE OWN_REGEX
"""
import json
import os
import re
import sys


def sources(database, own):
    with open(database, encoding="utf-8") as commands:
        return {entry["file"] for entry in json.load(commands) if own.match(entry["file"])}


def main(cross_database, native_database, own_pattern):
    own = re.compile(own_pattern)
    cross = sources(cross_database, own)
    native = sources(native_database, own) if os.path.isfile(native_database) else set()
    platform = re.compile(rb"\b(_WIN32|WIN32|__MINGW32__|_MSC_VER)\b")
    wanted = []
    for source in sorted(cross):
        with open(source, "rb") as text:
            if source not in native or platform.search(text.read()):
                wanted.append(source)
    print("^(" + "|".join(re.escape(source) for source in wanted) + ")$")


main(*sys.argv[1:])
