#!/usr/bin/env python3
"""The install step against what it must install, judged by dpkg itself: the
packages tools/install-packages.sh names, with everything they depend on,
make a stand-in dpkg database (taken from this machine's), and
dpkg-checkbuilddeps must find debian/control's build dependencies, the
package test's and our own packages' dependencies met in it. The install
step, and the demo's set for what the demo builds, must hold every tool the
builds find (CMake's REQUIRED programs, compilers; for the demo the try's own
check too), and tools/packages.txt names each package once, and none that
the control files name.

Usage: package_lists_test.py SOURCE_DIR"""

import os
import re
import subprocess
import sys
import tempfile

SOURCE = os.path.abspath(sys.argv[1])
# Where Debian's packages put commands, and nothing else does.
SYSTEM_PATH = "/usr/sbin:/usr/bin:/sbin:/bin"
FAILURES = []


def fail(text: str) -> None:
    FAILURES.append(text)
    print("FAIL: " + text)


def paragraphs(text: str) -> list:
    """deb822 paragraphs as (raw text, {lower-case field: value})."""
    result = []
    for raw in re.split(r"\n\s*\n", text.strip("\n")):
        fields = {}
        for name, value in re.findall(r"^([^\s:#][^:]*):(.*(?:\n[ \t].*)*)", raw, re.MULTILINE):
            fields[name.lower()] = " ".join(value.split())
        result.append((raw, fields))
    return result


def names(relations: str) -> list:
    """Each package a relation string names, in every alternative."""
    return [re.split(r"[\s(:<\[]", alternative.strip())[0]
            for relation in relations.split(",") if relation.strip()
            for alternative in relation.split("|")]


def installed() -> dict:
    with open("/var/lib/dpkg/status", encoding="utf-8") as status:
        found = {}
        for raw, fields in paragraphs(status.read()):
            if "install ok installed" in fields.get("status", ""):
                found.setdefault(fields["package"], []).append((raw, fields))
        return found


def closure(wanted: list, database: dict) -> set:
    """The installed packages that `wanted` names or provides, the essential
    ones, and all they depend on."""
    providers = {}
    for name, stanzas in database.items():
        for _, fields in stanzas:
            for provided in names(fields.get("provides", "")):
                providers.setdefault(provided, set()).add(name)
    todo = list(wanted) + [name for name, stanzas in database.items()
                           if any(f.get("essential") == "yes" for _, f in stanzas)]
    seen = set()
    while todo:
        name = todo.pop()
        for real in ({name} if name in database else set()) | providers.get(name, set()):
            if real not in seen:
                seen.add(real)
                for _, fields in database[real]:
                    todo += names(fields.get("depends", "") + "," + fields.get("pre-depends", ""))
    return seen


def stand_in(packages: set, database: dict, folder: str) -> str:
    os.makedirs(os.path.join(folder, "updates"))
    with open(os.path.join(folder, "status"), "w", encoding="utf-8") as status:
        status.write("\n\n".join(raw for name in sorted(packages) for raw, _ in database[name]))
        status.write("\n")
    return folder


def met(admindir: str, what: str, depends: str = None) -> None:
    command = ["dpkg-checkbuilddeps", f"--admindir={admindir}"]
    command += ["-d", depends] if depends is not None else []
    result = subprocess.run(command + [os.path.join(SOURCE, "debian", "control")],
                            capture_output=True, text=True, check=False)
    if result.returncode != 0:
        fail(f"{what}, after the install step: {result.stderr.strip()}")


def listed(*options: str) -> list:
    output = subprocess.run(["bash", os.path.join(SOURCE, "tools", "install-packages.sh"),
                             "--list", *options], capture_output=True, text=True, check=True)
    return names(",".join(output.stdout.splitlines()))


def build_commands(demo: bool) -> set:
    """The programs the builds need: CMake's REQUIRED programs, the compilers
    (and their launcher and linker) of the presets and the toolchains; for the
    demo, only those of the trees it builds (neither the tests nor clang),
    and the try's own list, which must name them all."""
    commands = {"cmake", "make", "cc", "c++"}
    skipped = ("build", "tests", "bench", ".git") if demo else ("build", ".git")
    for folder, subfolders, files in os.walk(SOURCE):
        if os.path.relpath(folder, SOURCE).split(os.sep)[0] in skipped or "CMakeCache.txt" in files:
            subfolders[:] = []  # a build tree, whatever its name
            continue
        for file in files:
            if demo and file in ("StaticAnalysis.cmake", "clang-mingw-w64-i686.cmake"):
                continue
            if file in ("CMakeLists.txt", "CMakePresets.json") or file.endswith(".cmake"):
                with open(os.path.join(folder, file), encoding="utf-8") as text:
                    cmake = text.read()
                commands |= set(re.findall(
                    r"find_program\(\s*\w+\s+(?:NAMES\s+)?([\w.+-]+)[^)]*REQUIRED", cmake))
                triplet = re.search(r"set\(MINGW_TRIPLET (\S+)\)", cmake)
                for compiler in re.findall(r"set\(CMAKE_\w+_COMPILER (\S+)\)", cmake):
                    commands.add(compiler.replace("${MINGW_TRIPLET}", triplet.group(1) if triplet else ""))
                commands |= {"ld." + linker for linker in re.findall(r"-fuse-ld=(\w+)", cmake)}
                if not demo:
                    commands |= set(re.findall(r'"CMAKE_\w+_COMPILER(?:_LAUNCHER)?": "(\S+)"', cmake))
    if demo:
        sys.path.insert(0, os.path.join(SOURCE, "inx-try"))
        from inx_try.wine import needed_tools  # pylint: disable=import-outside-toplevel
        tried = {command for command, _ in needed_tools(True, False, False)}
        for command in sorted(commands - tried):
            fail(f"the try does not check for '{command}', which its build needs")
        commands |= tried
    return commands


def owner(command: str) -> str:
    """The package that holds the command, following its links (the
    alternatives) to the first file a package owns."""
    path = command if os.path.isabs(command) else subprocess.run(
        ["sh", "-c", 'command -v "$1"', "-", command], capture_output=True, text=True,
        env={"PATH": SYSTEM_PATH}, check=False).stdout.strip()
    while path:
        result = subprocess.run(["dpkg-query", "-S", path], capture_output=True, text=True,
                                check=False)
        if result.returncode == 0:
            return result.stdout.split(":")[0]
        target = os.readlink(path) if os.path.islink(path) else ""
        path = os.path.join(os.path.dirname(path), target) if target else ""
    return ""


def main() -> int:
    database = installed()
    with open(os.path.join(SOURCE, "debian", "control"), encoding="utf-8") as text:
        control = paragraphs(text.read())
    with open(os.path.join(SOURCE, "debian", "tests", "control"), encoding="utf-8") as text:
        tests = paragraphs(text.read())
    ours = {fields["package"] for _, fields in control[1:]}

    def without_ours(relations: str) -> str:
        return ",".join(relation for relation in relations.split(",") if relation.strip()
                        and not relation.strip().startswith("${")
                        and names(relation)[0] not in ours)

    with tempfile.TemporaryDirectory() as scratch:
        everything = stand_in(closure(listed(), database), database, os.path.join(scratch, "all"))
        met(everything, "debian/control's Build-Depends")
        met(everything, "debian/tests/control's Depends",
            without_ours(",".join(fields.get("depends", "") for _, fields in tests)))
        for _, fields in control[1:]:
            met(everything, f"{fields['package']}'s Depends and Recommends",
                without_ours(fields.get("depends", "") + "," + fields.get("recommends", "")))
        for option, what in (("--demo", "the demo's set"), ("", "the install step")):
            packages = closure(listed(*[option] if option else []), database)
            for command in sorted(build_commands(demo=bool(option))):
                package = owner(command)
                if not package:
                    fail(f"no installed package holds '{command}'")
                elif package not in packages:
                    fail(f"{what} lacks {package}, which holds '{command}'")

    sets = {}
    with open(os.path.join(SOURCE, "tools", "packages.txt"), encoding="utf-8") as text:
        for line in text:
            if re.match(r"^\w+:", line):
                name, packages = line.split(":", 1)
                sets.setdefault(name, []).extend(packages.split())
    elsewhere = set(names(control[0][1].get("build-depends", "")))
    elsewhere |= {name for _, fields in tests + control[1:]
                  for name in names(fields.get("depends", "") + "," + fields.get("recommends", ""))}
    # The demo's set is a part of the rest: the test set names what it lacks.
    elsewhere |= {name.split(":")[0] for name in sets.get("demo", [])}
    every = [name for packages in sets.values() for name in packages]
    for name in sorted(set(every)):
        if every.count(name) > 1:
            fail(f"tools/packages.txt names {name} {every.count(name)} times")
    for name in sorted(set(sets.get("test", [])) & elsewhere):
        fail(f"tools/packages.txt's test set names {name}, which is named already")
    print(f"package lists: {len(FAILURES)} failures")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
