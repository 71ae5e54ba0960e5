#!/usr/bin/env python3
"""The demo's report (demo.py) judged on made-up states of the demo installation, without Wine:
a completed uninstall passes, with a reason from the fixture for every item that stays; an item
that should go and stayed, one that should stay and went, and any other change each fail it.
Keys are named as Windows names them to the uninstaller, the product's as the uninstaller spells
them, and a folder is listed after its files. Also the report's first line (which exe runs, and
how) for each kind of host, and the boxes as the answerer logs them, decoded, with the answers.

  demo_test.py
"""
import contextlib
import io
import os
import pwd
import re
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo  # noqa: E402
import fixture  # noqa: E402
import winebox  # noqa: E402

CLASS_VALUE = ("value", "HKLM", r"software\classes\wow6432node\clsid"
               r"\{c19f4b73-6e2a-4d85-b0f7-8e3a1d9c5b26}\inprocserver32", "")


def installed(prefix, family):
    """The snapshot items of the demo installation, as winebox.snapshot lists them."""
    items = {}
    for root, path, values in fixture.registry_entries("complete", family):
        hive, key = fixture.snapshot_key(prefix.arch, root, path)
        parts = key.split("\\")
        for end in range(1, len(parts) + 1):
            items[("key", hive, "\\".join(parts[:end]))] = ""
        for name, value in values.items():
            items[("value", hive, key, name.lower())] = repr(value)
    for template in fixture.FILES:
        rel = "drive_c/" + fixture._expand(prefix, template)
        items[("file", rel)] = "data"
        folder = os.path.dirname(rel)
        while folder != "drive_c":
            items[("dir", folder)] = ""
            folder = os.path.dirname(folder)
    return items


class Report(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        windows = os.path.join(self.folder.name, "drive_c", "windows")
        for name in ("system32", "syswow64"):
            os.makedirs(os.path.join(windows, name))
        os.makedirs(os.path.join(self.folder.name, "drive_c", "users",
                                 pwd.getpwuid(os.getuid()).pw_name))

    def tearDown(self):
        self.folder.cleanup()

    def report(self, arch, family, change=None):
        """(faults, stayed count, printed lines) for the state a completed uninstall leaves,
        changed by change(before, after)."""
        prefix = winebox.Prefix(self.folder.name, ":0", self.folder.name, arch)
        before = installed(prefix, family)
        expected, missing = fixture.expected_removal(prefix, before, "complete", family)
        self.assertEqual(missing, [])
        after = {k: v for k, v in before.items() if k not in expected}
        if change:
            change(before, after)
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            faults, stayed = demo.report(prefix, before, after, family)
        return faults, stayed, out.getvalue().splitlines()

    def test_completed_uninstall_passes_with_a_reason_for_each_item_that_stayed(self):
        for arch in ("x86", "x64"):
            for family in ("nt", "9x"):
                with self.subTest(arch=arch, family=family):
                    faults, stayed, lines = self.report(arch, family)
                    self.assertEqual(faults, [])
                    self.assertGreater(stayed, 20)
                    reasons = [line for line in lines if line.startswith("  ")
                               and not line.startswith("    ") and line.endswith(":")]
                    shown = [line for line in lines if line.startswith("    ")]
                    self.assertEqual(len(shown), stayed)
                    self.assertNotIn("  None:", reasons)
                    self.assertIn("Anything else in the prefix that changed: nothing", lines)

    def test_an_item_of_one_family_stays_on_the_other_for_that_reason(self):
        # Wine's ntdll has the file calls whatever version it plays: a row that reports the 9x
        # family is still the NT family's, and says why.
        for family, why in (("nt", ""), ("9x", " (Wine reports 9X, but has ntdll's file calls)")):
            with self.subTest(family=family):
                _, _, lines = self.report("x86", family)
                text = "\n".join(lines)
                line = next(l for l in lines if l.startswith("  Tolvane's on the 9x family"))
                self.assertTrue(line.endswith("this run is NT" + why + ":"), line)
                reason = text.index(line)
                self.assertLess(reason, text.index(r"CurrentVersion\RunServices : Warder"))
                self.assertIn(r"  key    HKLM\SYSTEM\CurrentControlSet\Services\geltanet",
                              "\n".join(lines[lines.index(next(
                                  l for l in lines if "What went" in l)):]))

    def test_the_class_key_is_named_below_the_machine_wide_classes(self):
        _, _, lines = self.report("x86", "nt")
        value = (r"  value  HKLM\SOFTWARE\Classes\CLSID\{C19F4B73-6E2A-4D85-B0F7-8E3A1D9C5B26}"
                 r"\InProcServer32 : (default)")
        self.assertIn(value, lines)
        self.assertFalse([line for line in lines if "HKCR" in line])
        # Gone last of the registry: after the system executable, before the program group.
        system_exe = next(i for i, l in enumerate(lines) if l.endswith("\\kelrun32.exe"))
        group = next(i for i, l in enumerate(lines) if ".lnk" in l and "file" in l)
        self.assertTrue(system_exe < lines.index(value) < group, lines)

    def test_names_are_spelt_as_windows_and_the_uninstaller_spell_them(self):
        for family in ("nt", "9x"):
            with self.subTest(family=family):
                _, _, lines = self.report("x86", family)
                text = "\n".join(lines)
                # The root keys as Windows of the NT family shows them.
                for root in re.findall(r"HKLM\\(\w+)\\", text):
                    self.assertIn(root, ("SOFTWARE", "SYSTEM"))
                self.assertNotIn("HKCU\\SOFTWARE", text)
                # The product's names as the uninstaller spells them; the installer's spelling
                # only beside them.
                self.assertIn(r"  key    HKLM\SOFTWARE\Brenlock\Tolvane\Warder (installed as "
                              "WARDER), with its values and subkeys", lines)
                for installed, own in (("WARDER", "WaRDer"), ("GeltaNet", "geltanet"),
                                       ("WarderNT", "wardernt")):
                    self.assertEqual(text.count("\\" + installed),
                                     0, "%s shown as the installer spelt it" % installed)
                    self.assertIn("\\%s (installed as %s)" % (own, installed), text)
                # A key that differs from the product's only in its name stays as it is.
                self.assertIn(r"HKLM\SYSTEM\CurrentControlSet\Services\warder : Start", text)

    def test_kept_values_are_labelled_as_values(self):
        _, _, lines = self.report("x86", "nt")
        self.assertIn(r"    values HKLM\SOFTWARE\Brenlock\Tolvane : InstallPath, Version", lines)
        self.assertIn(r"    value  HKLM\SOFTWARE\Lindqvist\Shared : Path", lines)
        self.assertFalse([line for line in lines if line.startswith("    key ")])

    def test_a_folder_is_listed_after_its_files(self):
        _, _, lines = self.report("x86", "nt")
        went = lines[lines.index(next(l for l in lines if "What went" in l)):]
        for folder in (fixture.INSTALL_REL, fixture.COMMON_PROGRAMS + "/" + fixture.PRODUCT):
            windows = "C:\\" + folder.replace("/", "\\")
            at = went.index("  folder " + windows)
            files = [i for i, line in enumerate(went) if line.startswith("  file   " + windows + "\\")]
            self.assertTrue(files)
            self.assertGreater(at, max(files))
        # The registry first, then the install folder, the system executable, the group.
        self.assertLess(went.index("  folder C:\\" + fixture.INSTALL_REL.replace("/", "\\")),
                        next(i for i, line in enumerate(went) if "kelrun32.exe" in line))

    def test_an_item_that_should_go_and_stayed_fails(self):
        def keep_class_value(before, after):
            after[CLASS_VALUE] = before[CLASS_VALUE]
        faults, _, _ = self.report("x86", "nt", keep_class_value)
        self.assertEqual(len(faults), 1)
        self.assertIn(r"InProcServer32 : (default) should have gone", faults[0])

    def test_a_key_that_should_go_and_stayed_fails(self):
        def keep_subkey(before, after):
            for item in before:
                if item[0] == "key" and item[2].endswith(r"tolvane\config\scan"):
                    after[item] = before[item]
        faults, _, _ = self.report("x86", "nt", keep_subkey)
        self.assertEqual(len(faults), 1)
        self.assertIn(r"Brenlock\Tolvane\Config should have gone", faults[0])

    def test_a_file_and_its_folder_that_stayed_fail(self):
        def keep_file(before, after):
            for item in before:
                if item[0] in ("file", "dir") and item[1].endswith(
                        fixture.INSTALL_REL + "/tolguard.exe") or item == (
                        "dir", "drive_c/" + fixture.INSTALL_REL):
                    after[item] = before[item]
        faults, _, _ = self.report("x86", "nt", keep_file)
        self.assertEqual(len(faults), 2)
        self.assertIn("tolguard.exe should have gone", faults[0])
        self.assertIn(r"Brenlock\Tolvane should have gone", faults[1])

    def test_an_item_that_should_stay_and_went_fails(self):
        def drop(before, after):
            for item in list(after):
                if item[0] == "value" and item[3] == "otherapp" or (
                        item[0] == "file" and item[1].endswith("kelrun.exe")):
                    del after[item]
        faults, _, _ = self.report("x86", "nt", drop)
        self.assertEqual(len(faults), 2)
        self.assertIn("OtherApp went, but should have stayed: another program's", faults[0])
        self.assertIn("kelrun.exe went, but should have stayed: another program's", faults[1])

    def test_any_other_change_fails(self):
        def add(before, after):
            after[("file", "drive_c/TolvaneUninstall.12345678/x")] = "data"
        faults, _, lines = self.report("x86", "nt", add)
        self.assertEqual(faults, ["1 other change in the prefix"])
        self.assertIn("  added file drive_c/TolvaneUninstall.12345678/x", lines)


EXE = "/src/build/release/TolvaneUninstall.exe"


class FirstLine(unittest.TestCase):
    def test_names_the_exe_its_build_and_how_wine_runs_it(self):
        cases = [  # arch, what scripts/wine32-ok printed, the report's first lines
            ("x86", "native",
             [EXE + ": i686 (32-bit x86), the shipped exe, run natively by 32-bit Wine."]),
            ("x86", "emulated: this host cannot run 32-bit code (/usr/lib/wine/wine --version "
                    "exits 126); qemu's user-mode emulation can",
             [EXE + ": i686 (32-bit x86), the shipped exe, run by 32-bit Wine under qemu's "
                    "emulation (slower).",
              "  (Why: this host cannot run 32-bit code (/usr/lib/wine/wine --version exits "
              "126); qemu's user-mode emulation can.)"]),
            ("x64", "none: TOLVANE_WINE32=no says this host runs no 32-bit code",
             [EXE + ": x86-64, a build for the tests, never shipped, run natively by 64-bit "
                    "Wine.",
              "  (Why: TOLVANE_WINE32=no says this host runs no 32-bit code.)"]),
        ]
        for arch, how, expected in cases:
            with self.subTest(arch=arch, how=how):
                expected[0] = "Demo of " + expected[0]
                self.assertEqual(demo.first_line(EXE, arch, how), expected)


def box_line(kind, text, buttons, icon, wide=True, caption="Uninstall Tolvane"):
    """A line of the answerer's log about a box: caption and text as code-page 949 bytes and,
    read as UTF-16, as UTF-8 (empty where that read failed), in hex."""
    def hexed(value, encoding):
        return value.encode(encoding).hex()
    return ("%s step=0 time=2 found=1 caption=%s text=%s wcaption=%s wtext=%s buttons=%s "
            "icon=%s rect=160,125,479,234" % (
                kind, hexed(caption, "cp949"), hexed(text, "cp949"),
                hexed(caption, "utf-8") if wide else "", hexed(text, "utf-8") if wide else "",
                buttons, icon))


CONFIRM = "톨바네를 제거하시겠습니까?"
COMPLETED = "톨바네가 제거되었습니다.\n톨바네를 새로 설치하시려면 컴퓨터를 재시작 하십시오."


class Boxes(unittest.TestCase):
    def test_each_box_with_its_text_decoded_and_the_answer_given(self):
        cases = [  # what: (answerer's log, pictures, the lines the terminal shows)
            ("a Yes run", (
                ["ready", box_line("box", CONFIRM, "yes,no", "question"),
                 "answered id=6 time=3 closed=1",
                 box_line("box", COMPLETED, "ok", "information"),
                 "answered id=1 time=4 closed=1", "done boxes=2"],
                ["out/confirm-box.png", "out/completed-box.png"],
                ['Box 1: caption "Uninstall Tolvane", question icon, buttons Yes, No',
                 "    톨바네를 제거하시겠습니까?",
                 "    (in English: Remove Tolvane?)",
                 "  Answered Yes; picture: out/confirm-box.png",
                 'Box 2: caption "Uninstall Tolvane", information icon, button OK',
                 "    톨바네가 제거되었습니다.",
                 "    톨바네를 새로 설치하시려면 컴퓨터를 재시작 하십시오.",
                 "    (in English: Tolvane has been removed. Restart the computer before "
                 "installing Tolvane again.)",
                 "  Answered OK; picture: out/completed-box.png"])),
            ("a No, the text read only as code-page bytes", (
                [box_line("box", CONFIRM, "yes,no", "question", wide=False),
                 "answered id=7 time=3 closed=1"],
                [],
                ['Box 1: caption "Uninstall Tolvane", question icon, buttons Yes, No',
                 "    톨바네를 제거하시겠습니까?",
                 "    (in English: Remove Tolvane?)",
                 "  Answered No"])),
            ("the box of a second run", (
                [box_line("box", "이미 톨바네가 제거 되었습니다.", "ok", "information"),
                 "answered id=1 time=3 closed=1"],
                [],
                ['Box 1: caption "Uninstall Tolvane", information icon, button OK',
                 "    이미 톨바네가 제거 되었습니다.",
                 "    (in English: Tolvane has already been removed.)",
                 "  Answered OK"])),
            ("a box no one expected, then one that timed out", (
                [box_line("unexpected", "다른 상자", "ok,cancel", "none"),
                 "timeout step=1 waited=30000"],
                [],
                ['Box 1 (unexpected): caption "Uninstall Tolvane", no icon, buttons OK, Cancel',
                 "    다른 상자",
                 "  Not answered"])),
        ]
        for what, (log, pictures, expected) in cases:
            with self.subTest(what):
                boxes = demo.read_boxes(log)
                self.assertEqual(demo.box_lines(boxes, pictures), expected)


if __name__ == "__main__":
    unittest.main()
