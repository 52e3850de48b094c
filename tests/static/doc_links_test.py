#!/usr/bin/env python3
"""The documents' links lead somewhere: each relative link in README.md,
HACKING.md and doc/GUIDE.md names a file of the tree, and each #anchor a
heading of that file, as GitHub makes anchors from headings.
Usage: doc_links_test.py SOURCE_DIR"""

import os
import re
import sys

DOCUMENTS = ["README.md", "HACKING.md", os.path.join("doc", "GUIDE.md")]


def anchor(heading: str) -> str:
    """GitHub's anchor for a heading: lower case, punctuation dropped but
    '-' and '_', each space a '-'."""
    text = re.sub(r"[`*]", "", heading.strip().lower())
    return re.sub(r"[^\w\- ]", "", text).replace(" ", "-")


def anchors(path: str) -> "set[str]":
    with open(path, encoding="utf-8") as document:
        text = re.sub(r"^```.*?^```", "", document.read(), flags=re.M | re.S)
    return {anchor(line.lstrip("#")) for line in text.splitlines() if line.startswith("#")}


def broken_links(source: str, name: str) -> "list[str]":
    path = os.path.join(source, name)
    with open(path, encoding="utf-8") as document:
        text = re.sub(r"^```.*?^```", "", document.read(), flags=re.M | re.S)
    broken = []
    for target in re.findall(r"\]\(([^)\s]+)\)", text):
        if re.match(r"[a-z]+:", target):
            continue
        file_part, _, fragment = target.partition("#")
        linked = os.path.normpath(os.path.join(os.path.dirname(path), file_part)) \
            if file_part else path
        if not os.path.exists(linked):
            broken.append(f"{name}: {target}: no such file")
        elif fragment and fragment not in anchors(linked):
            broken.append(f"{name}: {target}: no such heading")
    return broken


def main() -> int:
    source = sys.argv[1]
    broken = [link for name in DOCUMENTS for link in broken_links(source, name)]
    for link in broken:
        print("FAIL:", link)
    if not broken:
        print("every link of " + ", ".join(DOCUMENTS) + " leads somewhere")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
