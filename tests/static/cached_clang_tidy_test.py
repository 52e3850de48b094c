#!/usr/bin/env python3
"""cmake/cached-clang-tidy.py with a stand-in clang-tidy that records what it
is asked to check: a cross tree checks only what the native tree does not
compile, each source once; a clean source is not checked again, in another
clone too; a finding fails the run and is not kept.

Usage: cached_clang_tidy_test.py SOURCE_DIR"""

import json
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.abspath(sys.argv[1]), "cmake", "cached-clang-tidy.py")


class CachedClangTidy(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        self.root = self.folder.name
        self.record = os.path.join(self.root, "checked")
        self.tidy = os.path.join(self.root, "clang-tidy")
        with open(self.tidy, "w", encoding="utf-8") as tidy:
            tidy.write('#!/bin/sh\n[ "$1" = --version ] && { echo stand-in; exit 0; }\n'
                       f'for last; do :; done\necho "$last" >>"{self.record}"\n'
                       'case $last in *bad*) echo "bad.cpp:1:1: warning: x"; exit 1 ;; esac\n')
        os.chmod(self.tidy, 0o755)
        self.env = dict(os.environ, XDG_CACHE_HOME=os.path.join(self.root, "cache"))

    def clone(self, name, cross, native):
        """A source folder with its cross and native databases."""
        source = os.path.join(self.root, name)
        for tree, files in (("cross", cross), ("native", native)):
            os.makedirs(os.path.join(source, tree))
            with open(os.path.join(source, tree, "compile_commands.json"), "w",
                      encoding="utf-8") as database:
                json.dump([{"directory": source, "file": os.path.join(source, file),
                            "arguments": ["true", "-c", file, "-o", file + ".o"]}
                           for file in files], database)
        for file in set(cross) | set(native):
            with open(os.path.join(source, file), "w", encoding="utf-8") as text:
                text.write("int x;\n")
        return source

    def run_tidy(self, source):
        if os.path.exists(self.record):
            os.remove(self.record)
        result = subprocess.run([sys.executable, SCRIPT, self.tidy, source,
                                 os.path.join(source, "cross"), "^" + source + "/",
                                 "--native", os.path.join(source, "native", "compile_commands.json")],
                                env=self.env, capture_output=True, text=True, check=False)
        checked = []
        if os.path.exists(self.record):
            with open(self.record, encoding="utf-8") as record:
                checked = sorted(os.path.basename(line.strip()) for line in record)
        return result.returncode, checked, result.stdout

    def test_each_source_once_and_a_clean_one_not_again(self):
        cases = [  # clone, cross tree's sources, native's: status, checked, then checked again
            ("a", ["both.cpp", "windows.cpp"], ["both.cpp", "native.cpp"], 0, ["windows.cpp"], []),
            # Another clone: its windows.cpp, the same text and command, was found clean.
            ("b", ["windows.cpp", "bad.cpp"], [], 1, ["bad.cpp"], ["bad.cpp"]),
        ]
        for name, cross, native, status, checked, again in cases:
            source = self.clone(name, cross, native)
            self.assertEqual(self.run_tidy(source)[:2], (status, checked), name)
            self.assertEqual(self.run_tidy(source)[:2], (status, again), name)
        self.assertIn("bad.cpp:1:1: warning: x", self.run_tidy(source)[2])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
