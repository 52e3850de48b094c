"""The try tool's pure parts, natively: the .reg parser, the snapshot
differences (compared as Windows compares names), the under/elsewhere split,
the verdict, the table and the screenshots' PNG."""
import importlib.util
import os
import struct
import sys
import unittest
import zlib

_spec = importlib.util.spec_from_file_location(
    "try_tool", os.path.join(os.path.dirname(__file__), "..", "..", "tools", "try.py"))
tool = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(tool)

REG = ("Windows Registry Editor Version 5.00\r\n\r\n"
       "[HKEY_CURRENT_USER\\Software\\App]\r\n"
       '"Dir"="C:\\\\Program Files\\\\App"\r\n'
       '@="default"\r\n'
       '"Say \\"hi\\"=x"=dword:00000001\r\n'
       '"List"=hex(7):41,00,\\\r\n  00,00\r\n\r\n'
       "[HKEY_CURRENT_USER\\Software\\App\\Empty]\r\n")


class Registry(unittest.TestCase):
    def test_reg_export_read_as_values(self):
        values = tool.parse_reg(REG)
        self.assertEqual(sorted(line for _, line in values.values()), [
            '"Dir"="C:\\\\Program Files\\\\App"', '"List"=hex(7):41,00,00,00',
            '"Say \\"hi\\"=x"=dword:00000001', '@="default"'])
        self.assertIn(("hkey_current_user\\software\\app", '"say \\"hi\\"=x"'), values)

    def test_changes_compare_keys_and_names_without_case(self):
        before = tool.parse_reg(REG)
        after = tool.parse_reg(REG.replace("Software\\App]", "SOFTWARE\\APP]")
                               .replace('@="default"', '@="other"').replace('"List"', '"Gone"'))
        changed, removed = tool.registry_changes(before, after)
        self.assertEqual(changed, ['HKEY_CURRENT_USER\\SOFTWARE\\APP: "Gone"=hex(7):41,00,00,00',
                                   'HKEY_CURRENT_USER\\SOFTWARE\\APP: @="other"'])
        self.assertEqual(removed, ['HKEY_CURRENT_USER\\Software\\App: "List"'])

    def test_registered_uninstaller_is_unescaped(self):
        entry = ('HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\A: '
                 '"UninstallString"="rundll32.exe x,y 132 \\"C:\\\\A\\\\install.inf\\""')
        self.assertEqual(tool.registered_uninstaller(["HKEY_CURRENT_USER\\Other: @=\"\"", entry]),
                         'rundll32.exe x,y 132 "C:\\A\\install.inf"')
        self.assertEqual(tool.registered_uninstaller([]), "")


class Files(unittest.TestCase):
    def test_changes_and_the_folder_split_ignore_case(self):
        before = {"users/public/a.txt": ("users/Public/a.txt", 1, 10),
                  "windows/old.dll": ("windows/old.dll", 5, 10)}
        after = {"users/public/a.txt": ("users/Public/a.txt", 2, 11),
                 "program files/app/b.txt": ("Program Files/App/b.txt", 3, 12)}
        changed, removed = tool.files_changes(before, after)
        self.assertEqual(changed, [("Program Files/App/b.txt", 3), ("users/Public/a.txt", 2)])
        self.assertEqual(removed, ["windows/old.dll"])
        under, elsewhere = tool.split_under(changed, tool.app_relative_path("C:\\USERS\\PUBLIC\\"))
        self.assertEqual((under, elsewhere), ([changed[1]], [changed[0]]))
        self.assertEqual(tool.split_under(changed, tool.app_relative_path("D:\\App")),
                         ([], changed))


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
            ((True, ["Sure?"], True, "finished", 1, 0, 0), "OK"),
        ]
        for arguments, verdict in cases:
            self.assertEqual(tool.install_verdict(*arguments, folder), verdict)

    def test_table(self):
        table = tool.format_table([("C:\\" + "x" * 50, 1, 0, "-", "OK")], uninstall=False)
        self.assertEqual(table.split("\n")[1:3], [
            "folder                                         under elsewhere  verdict",
            "C:\\" + "x" * 41 + "       1         0  OK"])
        self.assertIn(" leftovers  verdict", tool.format_table([], uninstall=True))

    def test_screenshot_as_png(self):
        # 2 x 2, bottom-up rows padded to 4 bytes: blue, red / green, white.
        pixels = b"\x00\xff\x00\xff\xff\xff\x00\x00" + b"\xff\x00\x00\x00\x00\xff\x00\x00"
        bmp = (b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
               + struct.pack("<IiiHHIIiiII", 40, 2, 2, 1, 24, 0, len(pixels), 0, 0, 0, 0) + pixels)
        png = tool.png_from_bmp(bmp)
        self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n")
        length, = struct.unpack(">I", png[33:37])
        rows = zlib.decompress(png[41:41 + length])
        self.assertEqual(rows, b"\0\x00\x00\xff\xff\x00\x00" + b"\0\x00\xff\x00\xff\xff\xff")
        self.assertIsNone(tool.png_from_bmp(b"not a bitmap"))


if __name__ == "__main__":
    unittest.main()
