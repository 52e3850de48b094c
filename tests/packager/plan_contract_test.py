"""The contract between inx-check --plan --format=json and inx-try's
comparison: for a table of INFs, inx-check's real plan beside the report of
a try in which the engine did just what the plan says agrees item by item,
and each change taken away or altered is one disagreement.

Usage: plan_contract_test.py INX_CHECK"""

import json
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "inx-try"))
from inx_try import compare  # noqa: E402

INX_CHECK = ""
HEAD = '[Version]\r\nSignature="$Chicago$"\r\n[DefaultInstall]\r\n'
INFS = {
    "files and every kind of value": (
        HEAD + "CopyFiles=F,P\r\nAddReg=R\r\nRenFiles=N\r\n"
        "[DestinationDirs]\r\nF=-1,VUZAZURAV\r\nP=16422,Vendor\r\nN=10\r\n"
        "[F]\r\na.txt\r\n[P]\r\nb.dll\r\n[N]\r\nnew.ini,old.ini\r\n"
        "[R]\r\nHKCU,Software\\Vendor,Dir,,VUZAZURAV\r\nHKCU,Software\\Vendor,E,0x20000,%%x%%\r\n"
        "HKCU,Software\\Vendor,L,0x10000,a,b\r\nHKCU,Software\\Vendor,D,0x10001,7\r\n"
        "HKCU,Software\\Vendor,B,1,de,ad\r\nHKCU,Software\\Vendor,Q,0x000B0001,1,2,3,4,5,6,7,8\r\n"
        "HKCU,Software\\Vendor,QT,0x000B0000,ab\r\nHKCU,Software\\Vendor,U,1,01,1ff\r\n"
        "HKCU,Software\\Vendor,Keep,2,x\r\nHKCU,Software\\Vendor\\Empty,,0x10\r\n"
        "HKCR,.vendor,,,Vendor.File\r\n"
        "[DefaultUninstall]\r\nDelReg=X\r\nDelFiles=F\r\n[X]\r\nHKCU,Software\\Vendor\r\n"),
    "a service, its values, the list of installed programs, what is left": (
        HEAD + "AddReg=R\r\nDelReg=Old\r\n[DefaultInstall.Services]\r\nAddService=Svc,,S\r\n"
        "[S]\r\nServiceType=16\r\nStartType=3\r\nErrorControl=1\r\nServiceBinary=%11%\\svc.exe\r\n"
        "AddReg=SR\r\n[SR]\r\nHKR,Parameters,Level,0x10001,2\r\n[Old]\r\nHKCU,Software\\Old\r\n"
        "[R]\r\nHKLM,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vendor,"
        "UninstallString,,x\r\nHKCU,Software\\Vendor,V,,1\r\n"
        "[DefaultUninstall]\r\nDelReg=X\r\n[X]\r\nHKCU,Software\\Vendor,V\r\n"),
    "what Wine 8 does not run: a section Needs= names, an event log": (
        HEAD + "AddReg=R\r\nNeeds=N\r\n[N]\r\nAddReg=Q\r\n[R]\r\nHKCU,Software\\Vendor,A,,1\r\n"
        "[Q]\r\nHKCU,Software\\Vendor,B,,2\r\n[DefaultInstall.Services]\r\n"
        "AddService=Svc,,S,L\r\n[S]\r\nServiceType=16\r\nStartType=3\r\nErrorControl=1\r\n"
        "ServiceBinary=%11%\\svc.exe\r\n[L]\r\nAddReg=LR\r\n[LR]\r\nHKR,,TypesSupported,0x10001,7\r\n"
        "[DefaultUninstall]\r\nDelReg=X\r\n[X]\r\nHKCU,Software\\Vendor,A\r\n"),
    "what Wine 8 does not run of an uninstallation: Needs=, a second DelService, a source": (
        HEAD + "CopyFiles=F\r\nAddReg=R\r\n[F]\r\ngone.txt\r\n[R]\r\nHKCU,Software\\Vendor,V,,1\r\n"
        "[DefaultInstall.Services]\r\nAddService=A,,S\r\nAddService=B,,S\r\n"
        "[S]\r\nServiceType=16\r\nStartType=3\r\nErrorControl=1\r\nServiceBinary=%11%\\svc.exe\r\n"
        "[DefaultUninstall]\r\nNeeds=Extra\r\nDelReg=X\r\n[Extra]\r\nDelFiles=F\r\n"
        "[X]\r\nHKCU,Software\\Vendor\r\n[DefaultUninstall.Services]\r\nDelService=A\r\n"
        "DelService=B,4\r\n"),
    "keys made on the way to keys the uninstallation deletes": (
        HEAD + "AddReg=R\r\n[R]\r\nHKCR,Directory\\Shell\\Vendor,,,Open\r\n"
        "HKCU,Software\\Vendor\\App\\Deep,V,,1\r\n"
        "[DefaultUninstall]\r\nDelReg=X\r\n[X]\r\nHKCR,Directory\\Shell\\Vendor\r\n"
        "HKCU,Software\\Vendor\\App\r\n"),
}


def plan_of(text: str, windows: str = "32") -> dict:
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "install.inx")
        with open(path, "w", encoding="ascii", newline="") as written:
            written.write(text)
        run = subprocess.run([INX_CHECK, "--plan", "--format=json", "--path", "C:\\App",
                              "--windows", windows, path], capture_output=True, check=False)
    return json.loads(run.stdout)


def as_seen(plan: dict) -> dict:
    """The report of a try in which Wine 8's engine did just what `plan`
    says (not the parts it does not run), in the words of report.json."""
    install = {name: [item for item in items if not (isinstance(item, dict) and item.get("wine_skips"))]
               if isinstance(items, list) else items for name, items in plan["install"].items()}
    skipped = {(e["key"], e["name"]) for e in plan["install"]["registry"] if e.get("wine_skips")}
    changes = {
        "files": [f["destination"] for f in install["files"]] + [r["to"] for r in install["renames"]],
        "registry": [{key: entry[key] for key in ("key", "name", "type", "data")}
                     for entry in install["registry"] if entry["write"] == "set"],
        "keys": list(install["keys"]),
        "services": [service["name"] for service in install["services"]],
        "files_removed": list(install["deletes"]) + [r["from"] for r in install["renames"]],
        "registry_removed": [{"key": d["key"], "name": d["name"]}
                             for d in install["registry_deletes"] if d["name"] is not None],
        "keys_removed": [d["key"] for d in install["registry_deletes"] if d["name"] is None],
    }
    left = plan.get("wine_left_behind") or plan["left_behind"]
    return {"changes": changes, "left_behind": {
        "files": list(left["files"]), "services": list(left["services"]),
        "registry": [dict(entry) for entry in left["registry"]
                     if (entry["key"], entry["name"]) not in skipped]}}


class Contract(unittest.TestCase):
    def test_a_plan_agrees_with_a_try_that_did_just_that(self):
        for what, text in INFS.items():
            for windows in ("32", "64"):
                with self.subTest(what=what, windows=windows):
                    plan = plan_of(text, windows)
                    result = compare.compare(plan, as_seen(plan), "Z:\\pkg")
                    self.assertEqual(compare.disagreements(result), [])
                    self.assertGreater(sum(len(side.both) for sides in result.values()
                                           for side in sides.values()), 1)

    def test_each_change_altered_is_one_disagreement(self):
        plan = plan_of(INFS["files and every kind of value"])
        alterations = [
            ("a file not copied", lambda seen: seen["changes"]["files"].pop(0),
             ["install, files: planned, not seen: C:\\App\\a.txt"]),
            ("a value of another type",
             lambda seen: seen["changes"]["registry"][1].update(type="REG_SZ"),
             ['install, registry: planned, not seen: HKEY_CURRENT_USER\\Software\\Vendor: '
              '"E" = REG_EXPAND_SZ "%x%"',
              'install, registry: seen, not planned: HKEY_CURRENT_USER\\Software\\Vendor: '
              '"E" = REG_SZ "%x%"']),
            ("a key left that the plan takes away",
             lambda seen: seen["left_behind"]["registry"].append(
                 {"key": "HKEY_CURRENT_USER\\Software\\Vendor", "name": None}),
             ["left behind, keys: seen, not planned: HKEY_CURRENT_USER\\Software\\Vendor (key)"]),
        ]
        # Each item of a part Wine 8 does not run is marked, in the lists of names too.
        needs = plan_of(INFS["what Wine 8 does not run of an uninstallation: Needs=, a second "
                             "DelService, a source"])
        self.assertEqual(needs["uninstall"]["wine_skipped"], {
            "deletes": ["C:\\Windows\\System32\\gone.txt"], "keys": [], "service_deletes": ["B"]})
        self.assertEqual(needs["left_behind"]["count"], 0)
        # A key a skipped part makes, and then a part Wine runs, Wine makes too.
        both = plan_of(HEAD + "Needs=N\r\n[N]\r\nAddReg=Q\r\n[Q]\r\n"
                       "HKLM,System\\CurrentControlSet\\Services\\Svc\\Parameters,A,,1\r\n"
                       "HKLM,Software\\Only,A,,1\r\n[DefaultInstall.Services]\r\nAddService=Svc,,S\r\n"
                       "[S]\r\nServiceType=16\r\nStartType=3\r\nErrorControl=1\r\n"
                       "ServiceBinary=%11%\\svc.exe\r\nAddReg=SR\r\n[SR]\r\nHKR,Parameters,B,,2\r\n")
        self.assertEqual(both["install"]["wine_skipped"]["keys"], ["HKEY_LOCAL_MACHINE\\Software\\Only"])
        self.assertEqual((needs["wine_left_behind"]["files"], needs["wine_left_behind"]["services"]),
                         (["C:\\Windows\\System32\\gone.txt"], ["B"]))
        on_the_way = plan_of(INFS["keys made on the way to keys the uninstallation deletes"])
        self.assertEqual(on_the_way["left_behind"]["keys_if_new"], [
            "HKEY_CLASSES_ROOT\\Directory\\Shell", "HKEY_CLASSES_ROOT\\Directory",
            "HKEY_CURRENT_USER\\Software\\Vendor"])
        for key, expected in (("HKEY_LOCAL_MACHINE\\Software\\Classes\\Directory", []),
                              ("HKEY_CURRENT_USER\\Software\\Vendor", []),
                              ("HKEY_CURRENT_USER\\Software\\Vendor\\App",
                               ["left behind, keys: seen, not planned: "
                                "HKEY_CURRENT_USER\\Software\\Vendor\\App (key)"])):
            with self.subTest(key=key):
                seen = as_seen(on_the_way)
                seen["left_behind"]["registry"].append({"key": key, "name": None})
                self.assertEqual(compare.disagreements(
                    compare.compare(on_the_way, seen, "Z:\\pkg")), expected)
        for what, alter, expected in alterations:
            with self.subTest(what=what):
                seen = as_seen(plan)
                alter(seen)
                self.assertEqual(compare.disagreements(compare.compare(plan, seen, "Z:\\pkg")),
                                 expected)


if __name__ == "__main__":
    INX_CHECK = sys.argv.pop(1)
    unittest.main()
