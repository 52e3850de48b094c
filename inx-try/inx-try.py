#!/usr/bin/env python3
"""inx-try: tries an install.exe package for real under Wine (see inx_try)."""

import os
import sys

# The modules are installed where dpkg owns them: a run writes no byte code there.
sys.dont_write_bytecode = True

VERSION = "@INX_TOOLS_VERSION@"
HERE = os.path.dirname(os.path.realpath(__file__))
# A checkout has the package beside this file; the installed layout in
# share/inx-tools/python.
sys.path.insert(0, HERE if os.path.isdir(os.path.join(HERE, "inx_try"))
                else os.path.join(os.path.dirname(HERE), "share", "inx-tools", "python"))

from inx_try.main import main  # noqa: E402


def version() -> str:
    """The version the install wrote in, or a checkout's own."""
    if not VERSION.startswith("@"):
        return VERSION
    import re
    with open(os.path.join(os.path.dirname(HERE), "CMakeLists.txt"), encoding="utf-8") as lists:
        found = re.search(r"project\(\S+\s+VERSION\s+([0-9.]+)", lists.read())
    return found.group(1) if found else "unknown"


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:], version()))
