#!/usr/bin/env python3
"""The pages made from inx-check's rule table are complete: every rule that
`inx-check --list-rules` prints has an --explain with a template that gives
it and one that does not, and the man page's source, as the build writes it,
holds each rule's explanation whole (its summary, text and both templates).
Usage: rule_pages_test.py INX_CHECK GENERATED_SCDOC_PAGE"""

import re
import subprocess
import sys


def squashed(text: str) -> str:
    """Text with each run of white space one space, for comparing layouts."""
    return " ".join(text.split())


def as_read(scdoc: str) -> str:
    """scdoc source as the page reads: no code fences, a rule's name without
    its bold marks, and an escaped mark (\\\\, \\*, \\_, \\[, \\-) the mark itself."""
    text = "\n".join(line for line in scdoc.splitlines() if line.strip() != "```")
    text = re.sub(r"^\*([a-z0-9-]+)\* \(", r"\1 (", text, flags=re.M)
    return re.sub(r"\\([^A-Za-z0-9\s])", r"\1", text)


def main() -> int:
    inx_check, page_path = sys.argv[1], sys.argv[2]
    listed = subprocess.run([inx_check, "--list-rules"], check=True, capture_output=True,
                            text=True).stdout
    rules = [line.split()[0] for line in listed.splitlines() if line and not line[0].isspace()]
    with open(page_path, encoding="utf-8") as page_file:
        page = squashed(as_read(page_file.read()))
    failures = []
    if len(rules) < 10:
        failures.append(f"--list-rules printed {len(rules)} rules")
    for rule in rules:
        explained = subprocess.run([inx_check, "--explain", rule], capture_output=True,
                                   text=True)
        text = explained.stdout
        if (explained.returncode != 0 or not re.search(r"^Gives it\b", text, re.M) or
                not re.search(r"^Does not\b", text, re.M)):
            failures.append(f"--explain {rule}: status {explained.returncode}, {text!r}")
            continue
        summary, _, rest = text.partition("\n")
        if squashed(summary) + "." not in page or squashed(rest) not in page:
            failures.append(f"the man page lacks {rule} as --explain prints it")
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"the man page and --explain hold all {len(rules)} rules")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
