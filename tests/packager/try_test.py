"""The try tool's pure parts, natively: the hive reader and the registry's
differences, the file snapshots' differences and the under/elsewhere split,
the verdicts, the report folder's guard, the command line, the uninstaller
lookup and the screenshots' PNG."""
import contextlib
import fcntl
import io
import os
import shutil
import signal
import struct
import sys
import tempfile
import threading
import time
import unittest
import zlib
from unittest import mock

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "inx-try"))
from inx_try import (cli, compare, files, hives, jsonreport, main, noise, report, sandbox,  # noqa: E402
                     trial, wine)

HIVE = ("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
        "#arch=win32\n\n"
        "[Software\\\\App] 1796690428\n#time=1dd86acb9080cfc\n"
        '@="def"\n'
        '"Dir"="C:\\\\Program Files\\\\M\\xfcller \\"q\\" \\x4e2d\\x41"\n'
        '"Path"=str(2):"%SystemRoot%\\\\a"\n'
        '"List"=str(7):"a\\0b\\0"\n'
        '"Hex List"=hex(7):61,00,00,00,\\\n  62,00,00,00,\\\n  00,00\n'
        '"Count"=dword:0000000a\n'
        '"Blob"=hex:01,ff\n'
        '"Long"=hex:02,\\\n  fe\n'
        '"Big"=hex(b):07,00,00,00,00,00,00,00\n'
        '"Ctl"="a\\tb\\nc\\x1"\n'
        '"Oct"="\\101\\0"\n'
        '"Trail"=hex(7):61,00,00,00,00,00,00,00\n'
        '"Link"=hex(6):43,00,3a,00\n\n'
        "[Software\\\\App\\\\Empty] 1796690428\n\n")
LINKED = ("WINE REGISTRY Version 2\n\n"
          "[System\\\\ControlSet001\\\\Services\\\\Svc] 1\n\"Start\"=dword:00000003\n\n"
          "[System\\\\CurrentControlSet] 1\n#link\n"
          '"SymbolicLinkValue"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,79,00,5c,00,'
          "4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,79,00,73,00,74,00,65,00,6d,00,5c,00,"
          "43,00,6f,00,6e,00,74,00,72,00,6f,00,6c,00,53,00,65,00,74,00,30,00,30,00,31,00\n")


def read(text, root="HKEY_CURRENT_USER"):
    return hives.resolve_links(hives.parse_hive(text, root))


class Hives(unittest.TestCase):
    def test_every_value_type_as_text(self):
        key = read(HIVE)["hkey_current_user\\software\\app"]
        texts = sorted(hives.value_text(key.path, value)[len(key.path) + 2:]
                       for value in key.values.values())
        self.assertEqual(texts, [
            '"Big" = REG_QWORD hex:07,00,00,00,00,00,00,00', '"Blob" = REG_BINARY hex:01,ff', '"Count" = REG_DWORD 10',
            '"Ctl" = REG_SZ "a\\tb\\nc\\x01"',
            '"Dir" = REG_SZ "C:\\Program Files\\Müller "q" 中A"',
            '"Hex List" = REG_MULTI_SZ ["a", "b"]', '"Link" = REG_LINK "C:"',
            '"List" = REG_MULTI_SZ ["a", "b"]', '"Long" = REG_BINARY hex:02,fe',
            '"Oct" = REG_SZ "A\\x00"', '"Path" = REG_EXPAND_SZ "%SystemRoot%\\a"',
            '"Trail" = REG_MULTI_SZ ["a"]', '(default) = REG_SZ "def"'])

    def test_a_string_and_its_hex_form_are_one_value(self):
        as_hex = HIVE.replace('@="def"', "@=hex(1):64,00,65,00,66,00,00,00")
        self.assertEqual(hives.registry_changes(read(HIVE), read(as_hex)),
                         hives.Changes([], [], [], []))

    def test_malformed_hives_are_refused(self):
        for text in ("REGEDIT4\n", HIVE.replace('"def"', '"def'), HIVE + '"x"=hex:zz\n',
                     HIVE + '"x"=weird\n', HIVE + "[Open\n"):
            with self.assertRaises(hives.HiveError, msg=text[-20:]):
                hives.parse_hive(text, "HKEY_CURRENT_USER")

    def test_a_link_key_names_its_target_and_keys_above_a_key_are_there(self):
        registry = read(LINKED, "HKEY_LOCAL_MACHINE")
        system = "HKEY_LOCAL_MACHINE\\System"
        self.assertEqual(sorted(key.path for key in registry.values()),
                         [system, system + "\\CurrentControlSet",
                          system + "\\CurrentControlSet\\Services",
                          system + "\\CurrentControlSet\\Services\\Svc"])

    def test_the_32_bit_views_aliases_name_nothing(self):
        # In a WoW64 prefix the 32-bit view's names of a shared key are links to it.
        def link(path, target):
            data = ",".join(f"{byte:02x}" for byte in ("\\Registry\\Machine\\" + target)
                            .encode("utf-16-le"))
            return f'[{path}] 1\n#link\n"SymbolicLinkValue"=hex(6):{data}\n\n'
        hive = ("WINE REGISTRY Version 2\n\n"
                "[Software\\\\Microsoft\\\\App Paths\\\\Z.EXE] 1\n\"Path\"=\"C:\\\\Z\"\n\n"
                "[Software\\\\Classes\\\\Wow6432Node\\\\CLSID\\\\{1}] 1\n@=\"c\"\n\n"
                + link("Software\\\\Wow6432Node\\\\Microsoft\\\\App Paths", "Software\\Microsoft\\App Paths")
                + link("Software\\\\Wow6432Node\\\\Classes", "Software\\Classes\\Wow6432Node"))
        machine = "HKEY_LOCAL_MACHINE\\Software\\"
        self.assertEqual(sorted(key.path for key in read(hive, "HKEY_LOCAL_MACHINE").values()
                                if key.values),
                         [machine + "Classes\\Wow6432Node\\CLSID\\{1}",
                          machine + "Microsoft\\App Paths\\Z.EXE"])

    def test_names_compare_as_windows_compares_them(self):
        cases = [("Software\\App", "SOFTWARE\\app", True), ("Müller", "MÜLLER", True),
                 ("straße", "STRASSE", False), ("straße", "STRAßE", True),
                 ("\u212a", "k", False), ("\u017f", "S", True), ("\u03c2", "\u03a3", True),
                 ("\u0130", "i", False)]
        for one, other, same in cases:
            self.assertEqual(hives.fold_case(one) == hives.fold_case(other), same, (one, other))

    def test_changes_compare_without_case_and_leave_noise_out(self):
        after = (HIVE.replace("Software\\\\App]", "SOFTWARE\\\\APP]").replace('@="def"', '@="other"')
                 .replace('"Count"=dword:0000000a', '"Count"=hex(5):0a,00,00,00')
                 .replace('"Count"', '"count"').replace('"Blob"=hex:01,ff\n', "")
                 .replace("[Software\\\\App\\\\Empty] 1796690428\n",
                          "[Software\\\\New] 1\n\n[Software\\\\Noisy] 1\n\"N\"=dword:1\n"
                          "\n[Software\\\\Noisy\\\\Deep] 1\n\"D\"=dword:1\n"))
        noisy = "hkey_current_user\\software\\noisy"
        measured = hives.RegistryNoise(frozenset({noisy, noisy + "\\deep"}),
                               frozenset({(noisy, "n"), (noisy + "\\deep", "d")}))
        for noise in (measured, hives.RegistryNoise(subtrees=frozenset({noisy})),
                      hives.RegistryNoise(subtrees=frozenset({"hkey_current_user\\software\\no"})).union(measured)):
            with self.subTest(noise=noise):
                changes = hives.registry_changes(read(HIVE), read(after), noise)
                self.assertEqual(changes.keys_added, ["HKEY_CURRENT_USER\\Software\\New"])
                self.assertEqual(changes.keys_removed, ["HKEY_CURRENT_USER\\Software\\App\\Empty"])
                self.assertEqual([hives.value_text(*item) for item in changes.values_set],
                                 ['HKEY_CURRENT_USER\\SOFTWARE\\APP: (default) = REG_SZ "other"',
                                  'HKEY_CURRENT_USER\\SOFTWARE\\APP: "count" = REG_DWORD_BIG_ENDIAN hex:0a,00,00,00'])
                quiet = hives.registry_changes(read(after), read(HIVE), noise)
                self.assertEqual(quiet.keys_removed, ["HKEY_CURRENT_USER\\Software\\New"])
                self.assertEqual([hives.value_text(*item) for item in changes.values_removed],
                                 ['HKEY_CURRENT_USER\\Software\\App: "Blob" = REG_BINARY hex:01,ff'])


class HiveWrites(unittest.TestCase):
    """A value written into a hive file reads back as the Wine server would
    read it: in its key's block whatever the case, or in a block of its own."""

    def test_a_value_written_reads_back(self):
        cases = [  # key, name, text: a new key; the same key in another case; a new value
            ("Software\\New\\ZI050.EXE", "Path", 'C:\\Prog\\Ä1 "q" 中\x7f\U0001f600'),
            ("SOFTWARE\\APP", "dir", "C:\\Other"),
            ("software\\app", "Added", "x"),
        ]
        with tempfile.TemporaryDirectory() as folder:
            hive = os.path.join(folder, "user.reg")
            with open(hive, "w", encoding="utf-8") as written:
                written.write(HIVE)
            for key, name, text in cases:
                hives.set_string(hive, key, name, text, 1796690428)
                with open(hive, encoding="utf-8") as again:
                    registry = read(again.read())
                value = registry[hives.fold_case("HKEY_CURRENT_USER\\" + key)].values[
                    hives.fold_case(name)]
                self.assertEqual(hives.value_string(value), text, key)
            changes = hives.registry_changes(read(HIVE), registry)
            self.assertEqual(changes.keys_added, ["HKEY_CURRENT_USER\\Software\\New",
                                                  "HKEY_CURRENT_USER\\Software\\New\\ZI050.EXE"])
            self.assertEqual([(key, value.name) for key, value in changes.values_set],
                             [("HKEY_CURRENT_USER\\Software\\App", "Added"),
                              ("HKEY_CURRENT_USER\\Software\\App", "dir"),
                              ("HKEY_CURRENT_USER\\Software\\New\\ZI050.EXE", "Path")])
            self.assertEqual(changes.keys_removed + changes.values_removed, [])


class Uninstall(unittest.TestCase):
    def value(self, kind, text, name="UninstallString"):
        return hives.Value(name, kind, (text + "\0").encode("utf-16-le"))

    def test_registered_uninstaller(self):
        entry = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\A"
        cases = [
            ([(entry, self.value(hives.REG_SZ, "rundll32 x"))], ("rundll32 x", False)),
            ([(entry.replace("HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"),
               self.value(hives.REG_EXPAND_SZ, "%WINDIR%\\x.exe"))], ("%WINDIR%\\x.exe", True)),
            ([(entry.replace("HKEY_LOCAL_MACHINE", "HKEY_USERS\\.DEFAULT"),
               self.value(hives.REG_SZ, "x"))], ("", False)),
            ([(entry + "\\Deeper", self.value(hives.REG_SZ, "x"))], ("", False)),
            # A 32-bit installer's entry on 64-bit Windows, which the list shows too.
            ([(entry.replace("Software", "Software\\Wow6432Node"), self.value(hives.REG_SZ, "y"))],
             ("y", False)),
            ([(entry, self.value(hives.REG_SZ, "x", "DisplayName"))], ("", False)),
            ([(entry, hives.Value("UninstallString", hives.REG_BINARY, b"x"))], ("", False)),
        ]
        for values, expected in cases:
            self.assertEqual(trial.registered_uninstaller(values), expected, values)


class State:
    def __init__(self, registry, files_=None):
        self.registry, self.files = registry, files_ or {}


class Files(unittest.TestCase):
    def test_changes_see_every_rewrite_and_ignore_case(self):
        def state(path, size, mtime, ctime, inode=7):
            return files.FileState(path, size, mtime, ctime, inode)
        before = {"users/public/a.txt": state("users/Public/a.txt", 1, 10, 10),
                  "windows/same.txt": state("windows/same.txt", 4, 10, 10),
                  "windows/touched.txt": state("windows/touched.txt", 4, 10, 10),
                  "windows/old.dll": state("windows/old.dll", 5, 10, 10),
                  # Linked to the pristine prefix (no ctime): another copy links
                  # it, one is written in place, one replaced.
                  "windows/linked.dll": state("windows/linked.dll", 5, 10, 0),
                  "windows/unlinked.dll": state("windows/unlinked.dll", 5, 10, 0),
                  "windows/written.dll": state("windows/written.dll", 5, 10, 0),
                  "windows/replaced.dll": state("windows/replaced.dll", 5, 10, 0)}
        after = {"users/public/a.txt": state("users/Public/a.txt", 2, 11, 11),
                 "windows/same.txt": state("WINDOWS/same.txt", 4, 10, 10),
                 "windows/touched.txt": state("windows/touched.txt", 4, 10, 12),
                 "program files/app/b.txt": state("Program Files/App/b.txt", 3, 12, 12),
                 "windows/linked.dll": state("windows/linked.dll", 5, 10, 0),
                 "windows/unlinked.dll": state("windows/unlinked.dll", 5, 10, 13),
                 "windows/written.dll": state("windows/written.dll", 5, 14, 0),
                 "windows/replaced.dll": state("windows/replaced.dll", 5, 10, 0, inode=8)}
        changed, removed = files.files_changes(before, after)
        self.assertEqual(changed, [("Program Files/App/b.txt", 3), ("users/Public/a.txt", 2),
                                   ("windows/replaced.dll", 5), ("windows/touched.txt", 4),
                                   ("windows/written.dll", 5)])
        self.assertEqual(removed, ["windows/old.dll"])
        self.assertEqual(files.files_changes(before, after, frozenset(
            {"windows/touched.txt", "windows/old.dll", "windows/replaced.dll",
             "windows/written.dll"})), (changed[:2], []))

    def test_under_the_folder_means_inside_it(self):
        paths = [("Program Files/App/x", 1), ("Program Files/Application/x", 1),
                 ("Program Files/App", 1), ("users/Public/x", 1)]
        cases = [("C:\\Program Files\\App", [paths[0]]), ("c:\\program files\\app\\", [paths[0]]),
                 ("C:\\USERS\\PUBLIC", [paths[3]]), ("D:\\App", []), ("C:\\", [])]
        for folder, under in cases:
            self.assertEqual(files.split_under(paths, files.app_relative_path(folder)),
                             (under, [p for p in paths if p not in under]), folder)

    def test_left_behind_names_files_values_and_empty_keys(self):
        before = State(read(HIVE), {"a": files.FileState("a", 1, 1, 1, 1)})
        added = '"Blob"=hex:01,ff\n"New"=dword:2\n'
        installed_text = (HIVE.replace('"Blob"=hex:01,ff\n', added)
                          + "[Software\\\\Added] 1\n\"V\"=dword:1\n\n[Software\\\\Gone] 1\n")
        installed = State(read(installed_text), {"a": before.files["a"],
                                                 "b": files.FileState("B", 1, 1, 1, 2)})
        after_text = HIVE.replace('"Blob"=hex:01,ff\n', added) + "[Software\\\\Added] 1\n\"V\"=dword:1\n"
        after = State(read(after_text + "[Software\\\\ByUninstall] 1\n"), installed.files)
        self.assertEqual(trial.left_behind(before, installed, after, hives.RegistryNoise()), [
            "C:\\B", "HKEY_CURRENT_USER\\Software\\Added (key)",
            'HKEY_CURRENT_USER\\Software\\Added: "V" = REG_DWORD 1',
            'HKEY_CURRENT_USER\\Software\\App: "New" = REG_DWORD 2'])
        # What Wine changes on its own is no leftover, key or value.
        wine = hives.RegistryNoise(frozenset({"hkey_current_user\\software\\added"}),
                                   frozenset({("hkey_current_user\\software\\app", "new")}))
        self.assertEqual(trial.left_behind(before, installed, after, wine), [
            "C:\\B", 'HKEY_CURRENT_USER\\Software\\Added: "V" = REG_DWORD 1'])


class Noise(unittest.TestCase):
    def test_what_wine_changes_only_now_and_then_is_noise_too(self):
        with tempfile.TemporaryDirectory() as pristine:
            with open(os.path.join(pristine, noise.NOISE_FILE), "w", encoding="utf-8") as saved:
                saved.write(noise.Noise().to_json())
            found = noise.noise_of(pristine, os.path.join(pristine, "scratch"), None, None)
        display = ("hkey_local_machine\\system\\currentcontrolset\\control\\class\\"
                   "{4d36e968-e325-11ce-bfc1-08002be10318}")
        self.assertTrue(found.registry.has_value(display, ""))
        self.assertTrue(found.registry.has_value(display + "\\0000", "driverdate"))
        self.assertTrue(found.registry.has_key("hkey_current_user\\console\\sub"))
        self.assertFalse(found.registry.has_key("hkey_current_user\\consoles"))

    def test_noise_is_what_a_change_makes(self):
        with tempfile.TemporaryDirectory() as prefix:
            def write(name, text):
                with open(os.path.join(prefix, name), "w", encoding="utf-8") as hive:
                    hive.write(text)
            for name in ("system.reg", "userdef.reg"):
                write(name, "WINE REGISTRY Version 2\n")
            write("user.reg", HIVE)
            os.makedirs(os.path.join(prefix, "drive_c", "windows"))
            write("drive_c/windows/kept.txt", "x")
            write("drive_c/windows/gone.txt", "x")

            def change():
                write("user.reg", HIVE.replace('"Count"=dword:0000000a\n', "")
                      .replace("[Software\\\\App\\\\Empty] 1796690428\n", "[Software\\\\Made] 1\n"))
                write("drive_c/windows/made.txt", "x")
                os.remove(os.path.join(prefix, "drive_c", "windows", "gone.txt"))
            measured = noise.measured(prefix, lambda: None, change)
            self.assertEqual(measured.registry.keys, {"hkey_current_user\\software\\made",
                                                      "hkey_current_user\\software\\app\\empty"})
            self.assertEqual(measured.registry.values, {("hkey_current_user\\software\\app", "count")})
            self.assertEqual(measured.files, {"windows/made.txt", "windows/gone.txt"})
            again = noise.Noise.from_json(measured.to_json())
            self.assertEqual((again.registry, again.files), (measured.registry, measured.files))
            os.remove(os.path.join(prefix, "userdef.reg"))
            with self.assertRaisesRegex(wine.Failure, "cannot read the prefix's registry"):
                sandbox.State(prefix, noise.Noise())


class Report(unittest.TestCase):
    def test_verdicts(self):
        folder = "C:\\App"
        cases = [
            ((False, [], False, "", 0, 0, 0), "install.exe could not be started"),
            ((True, [], False, "finished", 0, 0, 0), "install.exe showed no confirmation"),
            ((True, ["Sure?", "Cannot locate"], False, "finished", 0, 0, 0),
             "install.exe reported: Cannot locate"),
            ((True, ["Sure?"], False, "finished", 0, 0, 0), "the installation was declined"),
            ((True, ["Sure?"], True, "still running after 180 s", 1, 1, 0),
             "the installation was still running after 180 s"),
            ((True, ["Sure?"], True, "finished", 0, 0, 0),
             "the installation changed nothing on drive C: or in the registry"),
            ((True, ["Sure?"], True, "finished", 2, 0, 2), "no file landed in C:\\App; 2 went elsewhere"),
            ((True, ["Sure?"], True, "finished", 3, 1, 2), "OK"),
            ((True, ["Sure?"], True, "finished", 1, 0, 0), "OK"),
        ]
        for arguments, verdict in cases:
            self.assertEqual(report.install_verdict(*arguments, folder), verdict)

    def test_only_the_engines_boxes_fail_a_try(self):
        engine = report.Box("2", "rundll32.exe", "Error", "Cannot copy", "OK")
        own = report.Box("1", "install.exe", "Install", "Sure?", "&Yes|&No")
        self.assertEqual(report.engine_box_verdict([own], "installation"), "")
        self.assertEqual(report.engine_box_verdict([own, engine], "installation"),
                         'the INF engine showed a box during the installation: "Error": Cannot copy')

    def test_driver_log(self):
        log = ("command\tC:\\x.exe /u\r\nbox\t1\tx.exe\tT\tText\t&Yes|&No\r\nbox\t2\tshort\r\n"
               "exit\t0\r\nfinished\r\n")
        self.assertEqual(report.parse_driver_log(log), (
            [report.Box("1", "x.exe", "T", "Text", "&Yes|&No")], "C:\\x.exe /u", "finished"))
        self.assertEqual(report.last_lines("a\n\nb\r\nc\nd\n", 3), "b / c / d")

    def test_table(self):
        table = report.format_table([("C:\\" + "x" * 50, 64, 1, 0, "-", "OK")], uninstall=False)
        self.assertEqual(table.split("\n")[1:3], [
            "folder                                       windows   under elsewhere  verdict",
            "C:\\" + "x" * 41 + "      64       1         0  OK"])
        self.assertIn(" leftovers  verdict", report.format_table([], uninstall=True))

    def test_screenshot_as_png(self):
        # 2 x 2, bottom-up rows padded to 4 bytes: blue, red / green, white.
        pixels = b"\x00\xff\x00\xff\xff\xff\x00\x00" + b"\xff\x00\x00\x00\x00\xff\x00\x00"
        bmp = (b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
               + struct.pack("<IiiHHIIiiII", 40, 2, 2, 1, 24, 0, len(pixels), 0, 0, 0, 0) + pixels)
        png = report.png_from_bmp(bmp)
        self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n")
        length, = struct.unpack(">I", png[33:37])
        rows = zlib.decompress(png[41:41 + length])
        self.assertEqual(rows, b"\0\x00\x00\xff\xff\x00\x00" + b"\0\x00\xff\x00\xff\xff\xff")
        self.assertIsNone(report.png_from_bmp(b"not a bitmap"))


class ReportFolder(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp()
        self.package = os.path.join(self.scratch, "package")
        os.makedirs(self.package)

    def tearDown(self):
        import shutil
        shutil.rmtree(self.scratch)

    def path(self, *parts):
        return os.path.join(self.scratch, *parts)

    def test_one_run_writes_a_report_folder_at_a_time(self):
        folder = self.path("report")
        first = report.lock_report_folder(folder, self.package)
        try:
            with self.assertRaisesRegex(report.ReportFolderError,
                                        "another inx-try is writing its report to .*report: "
                                        "wait for it to end, or give this one a folder of its "
                                        "own with --report"):
                report.lock_report_folder(folder, self.package)
            with self.assertRaisesRegex(report.ReportFolderError, "is the package folder"):
                report.lock_report_folder(self.package, self.package)
        finally:
            os.close(first)
        os.close(report.lock_report_folder(folder, self.package))  # free once the first ends

    def test_where_a_report_may_go(self):
        os.makedirs(self.path("empty"))
        os.makedirs(self.path("users"))
        open(self.path("users", "mine.txt"), "w").close()
        open(self.path("file"), "w").close()
        cases = [("missing", ""), ("empty", ""), ("users", "holds files that inx-try did not write"),
                 ("file", "is not a folder"), ("package", "is the package folder or inside it"),
                 ("package/report", "is the package folder or inside it"), ("package-report", ""),
                 (".", "holds the package folder")]
        for name, problem in cases:
            found = report.report_folder_problem(self.path(name), self.package)
            self.assertTrue(found.endswith(problem) if problem else found == "", (name, found))

    def test_an_earlier_report_loses_only_what_inx_try_wrote(self):
        folder = self.path("report")
        report.prepare_report_folder(folder, self.package)
        for name in ("report.txt", "mine.txt", "1/report.txt", "1/mine.txt", "2/verdict",
                     "boxes/box-1.png"):
            os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
            open(os.path.join(folder, name), "w").close()
        for number in ("1", "2"):
            open(os.path.join(folder, number, report.MARKER), "w").close()
        report.prepare_report_folder(folder, self.package)
        left = sorted(os.path.relpath(os.path.join(root, name), folder)
                      for root, _, names in os.walk(folder) for name in names)
        self.assertEqual(left, [report.MARKER, "1/" + report.MARKER, "1/mine.txt", "mine.txt"])
        with self.assertRaises(report.ReportFolderError):
            report.prepare_report_folder(self.package, self.package)


CORES = os.cpu_count() or 1


class CommandLine(unittest.TestCase):
    def test_requests(self):
        cases = [
            (["pkg"], ("pkg", [], False, False, False, False, None, 1252, None, CORES)),
            (["--report=r", "--path", "C:\\A", "--path=C:\\B", "pkg", "--matrix", "--codepage",
              "936", "--uninstall", "--keep", "--headless", "--windows", "64", "--jobs", "1"],
             ("pkg", ["C:\\A", "C:\\B"], True, True, True, True, "r", 936, 64, 1)),
            (["pkg", "--codepage=65001", "--windows=32", "-j64"],
             ("pkg", [], False, False, False, False, None, 65001, 32, 64)),
        ]
        for arguments, expected in cases:
            self.assertEqual(tuple(cli.parse_request(arguments)), expected, arguments)

    def test_usage_errors(self):
        cases = [([], "required"), (["a", "b"], "unrecognized"), (["a", "--report"], "expected one"),
                 (["a", "--report=x", "--report", "y"], "--report is given more than once"),
                 (["a", "--codepage=1252", "--codepage=1251"], "more than once"),
                 (["a", "--matrix", "--matrix"], "more than once"),
                 (["a", "--codepage=1"], "unknown code page"), (["a", "--code=936"], "unrecognized"),
                 (["a", "--windows=16"], "unknown Windows"), (["a", "--windows=064"], "unknown"),
                 (["a", "--windows=64", "--windows=32"], "more than once"),
                 (["a", "--jobs=0"], "from 1 to 64"), (["a", "--jobs=65"], "from 1 to 64"),
                 (["a", "-j", "x"], "from 1 to 64"), (["a", "-j1", "-j2"], "more than once")]
        for arguments, message in cases:
            with self.assertRaises(cli.UsageError, msg=arguments) as raised:
                cli.parse_request(arguments)
            self.assertIn(message, str(raised.exception), arguments)

    def test_help_lists_every_option(self):
        text = cli.make_parser("inx-try", "1").format_help()
        for option in ("--path", "--matrix", "--uninstall", "--headless", "--keep", "--report",
                       "--codepage", "--windows", "--jobs", "--version", "--help"):
            self.assertIn(option, text)
        with self.assertRaises(cli.HelpShown), contextlib.redirect_stdout(io.StringIO()) as out:
            cli.parse_request(["--version"], "inx-try", "2.1.0")
        self.assertEqual(out.getvalue(), "inx-try 2.1.0\n")


    def test_tries_each_folder_on_each_windows_asked_for(self):
        folders = ["C:\\A", "C:\\B"]
        cases = [
            (["pkg"], [("C:\\Program Files\\ZI050", 32)]),
            (["pkg", "--windows=64"], [("C:\\Program Files (x86)\\ZI050", 64)]),
            (["pkg", "--path=C:\\P", "--windows=64"], [("C:\\P", 64)]),
            (["pkg", "--matrix"], [("C:\\A", 32), ("C:\\B", 32), ("C:\\A", 64), ("C:\\B", 64)]),
            (["pkg", "--matrix", "--windows=64", "--path=C:\\P"],
             [("C:\\A", 64), ("C:\\B", 64), ("C:\\P", 64)]),
        ]
        for arguments, expected in cases:
            self.assertEqual(cli.tries(cli.parse_request(arguments), folders), expected, arguments)


class Pristines(unittest.TestCase):
    def test_only_a_half_made_prefix_that_nobody_is_making_is_stopped(self):
        with tempfile.TemporaryDirectory() as cache:
            for name in ("ready", "abandoned", "in-the-making"):
                os.makedirs(os.path.join(cache, name, "prefix"))
            open(os.path.join(cache, "ready", "ready"), "w").close()
            with open(os.path.join(cache, "in-the-making.lock"), "a") as held:
                fcntl.flock(held, fcntl.LOCK_EX)
                self.assertEqual(list(main.abandoned_pristines(cache)),
                                 [os.path.join(cache, "abandoned", "prefix")])
            self.assertEqual(len(list(main.abandoned_pristines(cache))), 2)
            self.assertEqual(list(main.abandoned_pristines(os.path.join(cache, "none"))), [])


class StandInTry:
    """A try whose work is a child process of the run's; `delays` says how
    long each row's child runs."""
    delays = {}
    started = []

    def __init__(self, session, folder, windows, output, scratch):
        self.session, self.folder, self.windows, self.scratch = session, folder, windows, scratch

    def run(self):
        os.makedirs(self.scratch)
        child = self.session.processes.start(["sleep", str(self.delays[self.folder])],
                                             self.session.env)
        StandInTry.started.append(child)
        child.wait()
        if self.session.processes.stopping:
            raise wine.Interrupted()
        return trial.Result("OK", 1, 0, "-")


class Matrix(unittest.TestCase):
    """The matrix run side by side with stand-ins for the tries."""

    def setUp(self):
        self.scratch = tempfile.mkdtemp()
        self.package = os.path.join(self.scratch, "pkg")
        os.makedirs(self.package)
        open(os.path.join(self.package, "install.inx"), "w").close()
        self.folders = ["C:\\Slow", "C:\\Quick", "C:\\Slower", "C:\\Quickest"]
        self.patches = [mock.patch.object(main, "Try", StandInTry),
                        mock.patch.object(main, "MATRIX_FOLDERS", self.folders),
                        mock.patch.object(wine.Layout, "check_tools", lambda *_: None),
                        mock.patch.object(wine.Layout, "build_tools", lambda *_: None),
                        mock.patch.object(main.Run, "check_code_page", lambda *_: None),
                        mock.patch.object(tempfile, "tempdir", os.path.join(self.scratch, "tmp"))]
        os.makedirs(os.path.join(self.scratch, "tmp"))
        for patch in self.patches:
            patch.start()
        StandInTry.started = []

    def tearDown(self):
        for patch in reversed(self.patches):
            patch.stop()
        shutil.rmtree(self.scratch)

    def run_main(self, *options):
        output = io.StringIO()
        with contextlib.redirect_stdout(output):
            status = main.main([self.package, "--matrix", "--headless", "--report",
                                os.path.join(self.scratch, "report"), *options], "1")
        return status, output.getvalue()

    def test_rows_in_the_matrix_order_whichever_ends_first(self):
        StandInTry.delays = {"C:\\Slow": 0.4, "C:\\Quick": 0, "C:\\Slower": 0.6,
                             "C:\\Quickest": 0}
        for jobs in ("1", "3", "8"):
            status, output = self.run_main("--jobs", jobs)
            self.assertEqual(status, 0, output)
            rows = [line.split()[:2] for line in output.splitlines() if line.endswith("  OK")]
            self.assertEqual(rows, [[folder, str(kind)] for kind in (32, 64)
                                    for folder in self.folders], jobs)
            self.assertEqual(os.listdir(os.path.join(self.scratch, "tmp")), [], jobs)

    def test_an_interrupt_ends_every_rows_processes_and_removes_their_scratch(self):
        StandInTry.delays = dict.fromkeys(self.folders, 60)

        def interrupt():
            deadline = time.monotonic() + 20
            while len(StandInTry.started) < 3 and time.monotonic() < deadline:
                time.sleep(0.01)
            os.kill(os.getpid(), signal.SIGINT)
        timer = threading.Thread(target=interrupt)
        timer.start()
        started = time.monotonic()
        status, _ = self.run_main("--jobs", "3")
        timer.join()
        self.assertEqual(status, 130)
        self.assertLess(time.monotonic() - started, 30)
        self.assertEqual(len(StandInTry.started), 3)
        self.assertTrue(all(child.poll() is not None for child in StandInTry.started))
        self.assertEqual(os.listdir(os.path.join(self.scratch, "tmp")), [])


class StandInProcesses:
    """Records what a sandbox runs and starts, and what it reads when."""

    def __init__(self):
        self.events = []
        self.commands = []
        self.stopping = False

    def run(self, command, env, log, capture=False, check=True):
        self.commands.append(list(command))
        self.events.append((os.path.basename(command[0]), tuple(command[1:2]),
                            env.get("WINEARCH"), env.get("WINEPREFIX")))
        return 0, b"finished\n" if capture else b""

    def start(self, command, env, **_):
        self.events.append((command[0], (), None, None))
        os.write(_["pass_fds"][0], b"7\n")
        return "display"

    def stop(self, process):
        self.events.append(("stop " + process, (), None, None))


class SandboxOrder(unittest.TestCase):
    """The order of a try's steps with Wine, and what each is given."""

    def test_the_hives_are_read_after_the_server_has_written_them(self):
        for windows in (32, 64):
            processes = StandInProcesses()
            session = mock.Mock(processes=processes, headless=True, env={}, codec="cp1252",
                                layout=mock.Mock(wine_scripts="/w", driver="d.exe"))
            with tempfile.TemporaryDirectory() as scratch, \
                    mock.patch.object(sandbox, "State",
                                      lambda *_: processes.events.append(("read", (), None, None))):
                box = sandbox.Sandbox(session, "C:\\A", windows, scratch, scratch)
                os.makedirs(box.prefix)
                box.start_display()
                self.assertEqual(box.env["DISPLAY"], ":7")
                box.state()
                box.drive("install", "p.exe", "Z:\\f", scratch)
                box.state()
                box.end()
            names = [event[0] for event in processes.events]
            self.assertEqual(names, ["Xvfb", "read", "wineserver", "wine", "stop-prefix.sh", "read",
                                     "stop display"], windows)
            self.assertEqual({event[2] for event in processes.events if event[0] != "Xvfb"
                              and event[0] != "read" and not event[0].startswith("stop ")},
                             {f"win{windows}"}, windows)


    def test_the_registered_uninstaller_is_started_as_asked(self):
        processes = StandInProcesses()
        session = mock.Mock(processes=processes, headless=True, env={}, codec="cp1252",
                            layout=mock.Mock(wine_scripts="/w", driver="d.exe"))
        with tempfile.TemporaryDirectory() as scratch:
            box = sandbox.Sandbox(session, "C:\\A", 64, scratch, scratch)
            box.drive("uninstall", "rundll32.exe x", "Z:\\f", scratch, command=True, native=True)
            box.drive("uninstall", "%X%\\u.exe", "Z:\\f", scratch, command=True, expand=True)
        started = [command for command in processes.commands if command[:2] == ["wine", "d.exe"]]
        self.assertEqual([command[2:-2] for command in started],
                         [["--answer", "--command", "--native", "rundll32.exe x"],
                          ["--answer", "--command", "--expand", "%X%\\u.exe"]])


class CacheOwner(unittest.TestCase):
    def test_a_cache_that_would_be_or_is_another_users_is_refused(self):
        with tempfile.TemporaryDirectory() as scratch:
            home, cache = os.path.join(scratch, "home"), os.path.join(scratch, "cache")
            os.makedirs(os.path.join(cache, "pristine-32"))
            os.makedirs(home)
            me = os.stat(cache).st_uid
            wine.check_cache_owner(cache, me, home)  # one's own: no refusal
            if me != 0:
                self.skipTest("needs root to give files to another user")
            wine.check_cache_owner(cache, 0, home)  # root with root's home
            os.chown(home, 4321, 4321)
            with self.assertRaisesRegex(wine.Failure, "as sudo -E leaves it.*sudo -H"):
                wine.check_cache_owner(cache, 0, home)
            # The user whose cache root wrote into: told to give it back.
            os.chown(cache, 4321, 4321)
            with self.assertRaisesRegex(wine.Failure, "pristine-32 is root's, not user 4321's.*"
                                                      "chown -R 4321: "):
                wine.check_cache_owner(cache, 4321, home)
            os.chown(os.path.join(cache, "pristine-32"), 4321, 4321)
            wine.check_cache_owner(cache, 4321, home)


class ToolCheck(unittest.TestCase):
    def test_a_missing_tool_is_named_with_its_package(self):
        cases = [  # checkout, tools: what the message names
            (False, [("/no/such/wine", "wine32"), ("sh", "dash")],
             "missing tools (wine32); as root: apt-get install wine32:i386"),
            (True, [("no-such-scdoc", "scdoc")],
             "missing tools (scdoc); as root: bash tools/install-packages.sh --demo"),
            (True, [("no-such-wine64", "wine64")],
             "missing tools (wine64); as root: bash tools/install-packages.sh"),
        ]
        for checkout, tools, message in cases:
            layout = wine.Layout(None)
            layout.checkout = checkout
            with mock.patch.object(wine, "needed_tools", lambda *_: tools):
                with self.assertRaises(wine.Failure) as raised:
                    layout.check_tools(False)
            self.assertEqual(str(raised.exception), message)
        layout.checkout = False
        with mock.patch.object(wine, "needed_tools", lambda *_: [(sys.executable, "python3")]):
            layout.check_tools(False)


    def test_a_failed_command_quotes_a_log_file_and_never_waits_on_a_stream(self):
        with tempfile.TemporaryDirectory() as scratch:
            log = os.path.join(scratch, "build.log")
            with open(log, "w", encoding="utf-8") as text:
                text.write("configuring\nCMake Error: cannot open inx-try for write\n")
            fifo = os.path.join(scratch, "stream")
            os.mkfifo(fifo)
            writer = os.open(fifo, os.O_RDWR)  # a writer that never closes, as a pipe to CTest
            try:
                failed = "cmake --build tree failed (exit status 2)"
                cases = [(log, failed + ": configuring / CMake Error: cannot open inx-try for write"),
                         (fifo, failed), (os.path.join(scratch, "none"), failed)]
                for path, expected in cases:
                    texts = []
                    reader = threading.Thread(target=lambda p=path: texts.append(
                        wine.failure_text(["cmake", "--build", "tree"], 2, p)), daemon=True)
                    reader.start()
                    reader.join(10)
                    self.assertEqual(texts, [expected], path)
            finally:
                os.close(writer)

class JsonReport(unittest.TestCase):
    def test_values_in_the_plans_vocabulary(self):
        app = read(HIVE)["hkey_current_user\\software\\app"].values
        cases = [("", "def"), ("dir", 'C:\\Program Files\\M\xfcller "q" \u4e2dA'),
                 ("path", "%SystemRoot%\\a"), ("list", ["a", "b"]), ("hex list", ["a", "b"]),
                 ("count", 10), ("blob", "01ff"), ("big", "0700000000000000")]
        for name, data in cases:
            self.assertEqual(hives.decoded(app[name]), data, name)
        self.assertEqual(hives.decoded(hives.Value("D", hives.REG_DWORD, b"\x10\x00")),
                         "1000")

    def test_services_and_what_was_left(self):
        services = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\"
        self.assertEqual(jsonreport.service_names(
            [services + "Svc", services + "Svc\\Parameters", services[:-1], "HKEY_CURRENT_USER\\Svc"]),
            ["Svc"])
        value = hives.Value("V", hives.REG_SZ, b"")
        left = [("C:\\a", "C:\\a"), ("k (key)", (services + "Old", None)),
                ("k: v", ("HKEY_CURRENT_USER\\K", value))]
        self.assertEqual(jsonreport.left_entry(left), {
            "files": ["C:\\a"], "registry": [{"key": services + "Old", "name": None},
                                            {"key": "HKEY_CURRENT_USER\\K", "name": "V"}],
            "services": ["Old"]})
        self.assertIsNone(jsonreport.left_entry(None))


def plan_of(files_=(), registry=(), keys=(), services=(), deletes=(), registry_deletes=()):
    return {"files": [{"source": "s", "destination": d} for d in files_], "deletes": list(deletes),
            "renames": [], "registry": list(registry), "keys": list(keys),
            "registry_deletes": list(registry_deletes),
            "services": [{"name": n, "key": SERVICES + n, "binary": ""} for n in services]}


def changes_of(files_=(), registry=(), keys=(), services=(), files_removed=(), registry_removed=()):
    return {"files": list(files_), "registry": list(registry), "keys": list(keys),
            "services": list(services), "files_removed": list(files_removed),
            "registry_removed": list(registry_removed), "keys_removed": []}


SERVICES = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\"


def value(key, name, data, kind="REG_SZ", write=None):
    entry = {"key": key, "name": name, "type": kind, "data": data}
    return dict(entry, write=write) if write else entry


class Compare(unittest.TestCase):
    def test_the_plan_beside_what_was_seen(self):
        user = "C:\\Users\\<user>\\Desktop\\a.txt"
        classes = "HKEY_LOCAL_MACHINE\\Software\\Classes\\.app"
        cases = [
            ("a user's folder and HKCR, as Wine keeps them",
             plan_of([user], [value("HKEY_CLASSES_ROOT\\.app", "", "App")],
                     ["HKEY_CLASSES_ROOT\\.app"]),
             changes_of(["C:\\users\\root\\Desktop\\A.TXT"], [value(classes, "", "App")],
                        [classes]), []),
            ("the Public folder is no user's",
             plan_of([user]), changes_of(["C:\\users\\Public\\Desktop\\a.txt"]),
             ["install, files: planned, not seen: " + user,
              "install, files: seen, not planned: C:\\users\\Public\\Desktop\\a.txt"]),
            ("other data is planned, not seen, and seen, not planned",
             plan_of(registry=[value("HKEY_CURRENT_USER\\K", "N", 1, "REG_DWORD")]),
             changes_of(registry=[value("HKEY_CURRENT_USER\\K", "N", 2, "REG_DWORD")]),
             ['install, registry: planned, not seen: HKEY_CURRENT_USER\\K: "N" = REG_DWORD 1',
              'install, registry: seen, not planned: HKEY_CURRENT_USER\\K: "N" = REG_DWORD 2']),
            ("bytes the engine never read: the type alone is compared",
             plan_of(registry=[value("HKEY_CURRENT_USER\\K", "B", None, "REG_BINARY"),
                               value("HKEY_CURRENT_USER\\K", "C", None, "REG_BINARY")]),
             changes_of(registry=[value("HKEY_CURRENT_USER\\K", "B", "a800", "REG_BINARY"),
                                  value("HKEY_CURRENT_USER\\K", "C", "a800", "REG_NONE")]),
             ['install, registry: planned, not seen: HKEY_CURRENT_USER\\K: "C" = REG_BINARY '
              "(bytes the engine never read)",
              'install, registry: seen, not planned: HKEY_CURRENT_USER\\K: "C" = REG_NONE '
              "hex:a8,00"]),
            ("a value that Windows versions may delete or keep",
             dict(plan_of(), registry_deletes_vary=[{"key": "HKEY_CURRENT_USER\\K", "name": "V"}]),
             changes_of(registry_removed=[{"key": "HKEY_CURRENT_USER\\K", "name": "V"},
                                          {"key": "HKEY_CURRENT_USER\\K", "name": "W"}]),
             ['install, registry removed: seen, not planned: HKEY_CURRENT_USER\\K: "W"']),
            ("text data in Wine's case and with the user's folder",
             plan_of(registry=[value("HKEY_CURRENT_USER\\K", "N", "C:\\Windows\\x"),
                               value("HKEY_CURRENT_USER\\K", "L", ["C:\\Users\\<user>\\a"],
                                     "REG_MULTI_SZ")], keys=["HKEY_CURRENT_USER\\K"]),
             changes_of(registry=[value("HKEY_CURRENT_USER\\K", "N", "C:\\windows\\x"),
                                  value("HKEY_CURRENT_USER\\K", "L", ["C:\\users\\root\\a"],
                                        "REG_MULTI_SZ")]), []),
            ("a conditional write is not counted; a key above a planned one is made on the way",
             plan_of(registry=[value("HKEY_CURRENT_USER\\A\\B", "N", "x", write="if-missing")],
                     keys=["HKEY_CURRENT_USER\\A\\B"]),
             changes_of(keys=["HKEY_CURRENT_USER\\A", "HKEY_CURRENT_USER\\A\\B",
                              "HKEY_CURRENT_USER\\C"]),
             ["install, keys: seen, not planned: HKEY_CURRENT_USER\\C"]),
            ("what Wine 8 does not run (Needs=, an event log) is not held against the plan",
             dict(plan_of(files_=["C:\\n.txt"],
                          registry=[value("HKEY_CURRENT_USER\\K", "N", "1"),
                                    value("HKEY_CURRENT_USER\\K", "M", "2")]),
                  files=[{"source": "s", "destination": "C:\\n.txt", "wine_skips": True}],
                  registry=[dict(value("HKEY_CURRENT_USER\\K", "N", "1"), wine_skips=True),
                            value("HKEY_CURRENT_USER\\K", "M", "2")]),
             changes_of(registry=[value("HKEY_CURRENT_USER\\K", "M", "2")]), []),
            ("expandable text and a link compare as text: Wine's case, the user's folder",
             plan_of(registry=[value("HKEY_CURRENT_USER\\K", "E", "C:\\Windows\\x", "REG_EXPAND_SZ"),
                               value("HKEY_CURRENT_USER\\K", "L", "C:\\Users\\<user>\\l",
                                     "REG_LINK")], keys=["HKEY_CURRENT_USER\\K"]),
             changes_of(registry=[value("HKEY_CURRENT_USER\\K", "E", "C:\\windows\\x",
                                        "REG_EXPAND_SZ"),
                                  value("HKEY_CURRENT_USER\\K", "L", "C:\\users\\root\\l",
                                        "REG_LINK")]), []),
            ("strings appended to a list the plan wrote: each it lacks, once",
             plan_of(registry=[value("HKEY_CURRENT_USER\\K", "L", ["a", "b"], "REG_MULTI_SZ"),
                               value("HKEY_CURRENT_USER\\K", "L", ["B", "c"], "REG_MULTI_SZ",
                                     write="append")], keys=["HKEY_CURRENT_USER\\K"]),
             changes_of(registry=[value("HKEY_CURRENT_USER\\K", "L", ["a", "b", "c"],
                                        "REG_MULTI_SZ")]), []),
            ("a list appended to is not counted: the engine appends only to one that exists",
             plan_of(registry=[value("HKEY_CURRENT_USER\\K", "L", ["x"], "REG_MULTI_SZ",
                                     write="append")]),
             changes_of(registry=[value("HKEY_CURRENT_USER\\K", "L", ["a", "x"], "REG_MULTI_SZ")]),
             []),
            ("a service's own keys and values are the service's",
             plan_of(services=["Svc"]),
             changes_of(registry=[value(SERVICES + "Svc", "Start", 3, "REG_DWORD")],
                        keys=[SERVICES + "Svc", SERVICES + "Svc\\Enum"], services=["Svc"]), []),
            ("a service's subkey written with AddReg: the service's key is made on the way",
             plan_of(registry=[value(SERVICES + "Prov\\Parameters", "P", 1, "REG_DWORD")],
                     keys=[SERVICES + "Prov\\Parameters"]),
             changes_of(registry=[value(SERVICES + "Prov\\Parameters", "P", 1, "REG_DWORD")],
                        keys=[SERVICES + "Prov", SERVICES + "Prov\\Parameters"],
                        services=["Prov"]), []),
            ("a service written by hand with AddReg",
             plan_of(registry=[value(SERVICES + "Hand", "Start", 2, "REG_DWORD")],
                     keys=[SERVICES + "Hand"]),
             changes_of(registry=[value(SERVICES + "Hand", "Start", 2, "REG_DWORD")],
                        keys=[SERVICES + "Hand"], services=["Hand"]), []),
            ("a removal nothing planned",
             plan_of(registry_deletes=[{"key": "HKEY_CURRENT_USER\\Gone", "name": None}]),
             changes_of(files_removed=["C:\\x"],
                        registry_removed=[{"key": "HKEY_CURRENT_USER\\Gone\\Sub", "name": "a"},
                                          {"key": "HKEY_CURRENT_USER\\Kept", "name": "b"}]),
             ["install, files removed: seen, not planned: C:\\x",
              'install, registry removed: seen, not planned: HKEY_CURRENT_USER\\Kept: "b"']),
            ("the package's folder; a value written as it was; a service's planned values; an "
             "INI file a directive the plan does not model writes",
             dict(plan_of(["<package>\\x.dll"],
                          [value("HKEY_CURRENT_USER\\K", "", "<package>\\x.dll"),
                           value("HKEY_CURRENT_USER\\K", "Same", "1"),
                           value(SERVICES + "Svc\\Parameters", "P", 1, "REG_DWORD")],
                          ["HKEY_CURRENT_USER\\K"], ["Svc"]),
                  not_modelled=[{"directive": "UpdateInis", "line": 4,
                                 "touches": ["C:\\Windows\\system.ini"]}]),
             changes_of(["C:\\windows\\system.ini"],
                        [value("HKEY_CURRENT_USER\\K", "", "Z:\\pkg\\x.dll"),
                         value(SERVICES + "Svc\\Parameters", "P", 1, "REG_DWORD")],
                        services=["Svc"]), []),
            ("a key Wine 8 puts elsewhere is compared where Windows puts it; only that key",
             dict(plan_of(registry=[value("HKEY_LOCAL_MACHINE\\Software\\V64", "N", "1"),
                                    value("HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\V", "N", "1")],
                          keys=["HKEY_LOCAL_MACHINE\\Software\\V64"]),
                  wine_differs=[{"key": "HKEY_LOCAL_MACHINE\\Software\\V64",
                                 "wine_key": "HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\V64"}]),
             changes_of(registry=[value("HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\V64", "N", "1"),
                                  value("HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\V64x", "N", "1"),
                                  value("HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\V", "N", "1")],
                        keys=["HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\V64\\Sub"]),
             ['install, registry: seen, not planned: '
              'HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\V64x: "N" = REG_SZ "1"',
              "install, keys: seen, not planned: HKEY_LOCAL_MACHINE\\Software\\V64\\Sub"]),
        ]
        existed = {("HKEY_CURRENT_USER\\K", "Same")}
        for what, plan, changes, expected in cases:
            result = compare.compare({"install": plan}, {"changes": changes, "left_behind": None},
                                     "Z:\\pkg", lambda e: (e["key"], e["name"]) in existed)
            self.assertEqual(compare.disagreements(result), expected, what)

    def test_keys_made_on_the_way_to_wines_place_and_a_left_services_values(self):
        differs = [{"key": "HKEY_LOCAL_MACHINE\\Software\\Clients\\Mail\\App",
                    "wine_key": "HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Clients\\Mail\\App"}]
        seen = {"keys": ["HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Clients\\Mail",
                         "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Other"]}
        self.assertEqual(compare.as_windows_places(seen, differs)["keys"],
                         ["HKEY_LOCAL_MACHINE\\Software\\Clients\\Mail",
                          "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Other"])
        left = compare.left_sides(
            {"files": [], "registry": [], "services": ["Svc"], "keys_if_new": []},
            {"files": [], "services": ["Svc"], "registry": [
                {"key": SERVICES + "Svc", "name": None}, {"key": SERVICES + "Svc", "name": "Start"},
                {"key": SERVICES + "Svcx", "name": "Start"}]},
            plan_of())
        self.assertEqual((left["registry"].seen_only, left["keys"].seen_only, left["services"].both),
                         ([SERVICES + 'Svcx: "Start"'], [], ["Svc"]))

    def test_each_wine_difference_is_named(self):
        plan = {"install": {
            "files": [{"source": "i386\\a.dll", "destination": "C:\\A\\a.dll",
                       "wine_source": "a.dll"},
                      {"source": "b.dll", "destination": "C:\\A\\b.dll"}],
            "wine_differs": [{"key": "HKEY_LOCAL_MACHINE\\Software\\V",
                              "wine_key": "HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\V"}],
            "wine_skips": ["[N] for Needs="]}}
        self.assertEqual(compare.wine_differences(plan), [
            "HKEY_LOCAL_MACHINE\\Software\\V: Windows puts it there, "
            "Wine 8 at HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\V",
            "C:\\A\\a.dll: Windows copies i386\\a.dll, Wine 8 a.dll",
            "[N] for Needs=: Windows runs it, Wine 8 does not"])
        self.assertEqual(compare.wine_differences({"install": None}), [])

    def test_what_uninstalling_leaves_beside_what_was_left(self):
        # Hand: a service whose key the installation writes with AddReg; Kept:
        # one it adds and leaves; Gone: a key it makes that the plan's
        # uninstallation deletes.
        plan = {"install": plan_of(keys=["HKEY_CURRENT_USER\\V\\App", SERVICES + "Hand",
                                         "HKEY_CURRENT_USER\\Gone"], services=["Kept"]),
                "left_behind": {"files": ["C:\\a"], "services": ["Svc", "Kept"], "registry": [
                    {"key": "HKEY_CURRENT_USER\\Old", "name": None},
                    {"key": "HKEY_CURRENT_USER\\V\\App", "name": "N"}],
                    "keys_if_new": ["HKEY_CURRENT_USER\\V\\App"]}}
        seen = {"files": ["C:\\A"], "services": ["Hand", "Kept"], "registry": [
            {"key": "HKEY_CURRENT_USER\\V", "name": None},
            {"key": "HKEY_CURRENT_USER\\V\\App", "name": "N"},
            {"key": "HKEY_CURRENT_USER\\Gone", "name": None},
            {"key": "HKEY_CURRENT_USER\\Other", "name": None}]}
        result = compare.compare(plan, {"changes": changes_of(keys=[SERVICES + "Hand"],
                                                              services=["Hand", "Kept"]),
                                        "left_behind": seen})
        # A value a part Wine 8 does not run writes, and another part too, is still left.
        twice = dict(plan, install=dict(plan["install"], registry=[
            dict(value("HKEY_CURRENT_USER\\V\\App", "N", "1"), wine_skips=True),
            value("HKEY_CURRENT_USER\\V\\App", "N", "1")]))
        seen_twice = dict(seen, registry=[e for e in seen["registry"] if e["name"] != "N"])
        self.assertIn('left behind, registry: planned, not seen: HKEY_CURRENT_USER\\V\\App: "N"',
                      compare.disagreements(compare.compare(
                          twice, {"changes": changes_of(), "left_behind": seen_twice})))
        self.assertEqual(compare.disagreements(result), [
            "left behind, keys: seen, not planned: HKEY_CURRENT_USER\\Gone (key)",
            "left behind, keys: seen, not planned: HKEY_CURRENT_USER\\Other (key)",
            "left behind, services: planned, not seen: Svc"])
        # Where Wine 8 leaves more (a second DelService line it does not run), that is the plan.
        under_wine = dict(plan, wine_left_behind=dict(plan["left_behind"],
                                                      services=["Svc", "Kept", "Second"]))
        self.assertIn("left behind, services: planned, not seen: Second", compare.disagreements(
            compare.compare(under_wine, {"changes": changes_of(keys=[SERVICES + "Hand"],
                                                               services=["Hand", "Kept"]),
                                         "left_behind": seen})))
        # Started as a 64-bit program starts it, the 64-bit engine's leftovers are the plan.
        natively = dict(plan, native_uninstall={"left_behind": dict(plan["left_behind"],
                                                                    files=["C:\\a", "C:\\b"])})
        for native, expected in ((True, ["left behind, files: planned, not seen: C:\\b"]), (False, [])):
            self.assertEqual([line for line in compare.disagreements(compare.compare(
                natively, {"changes": changes_of(keys=[SERVICES + "Hand"], services=["Hand", "Kept"]),
                           "left_behind": seen}, native=native)) if "files" in line], expected)


if __name__ == "__main__":
    unittest.main()
