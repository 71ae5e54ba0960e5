#!/usr/bin/env python3
"""The demo behind scripts/demo: a throwaway Wine prefix under the build folder with a demo
installation of Tolvane (and a few look-alikes that must stay), the uninstaller run there, and a
report: first the exe it runs (its path, what it was built for, natively or emulated), then each
box's text and the answer given, its exit code, what was removed, what stayed and why
(fixture.py knows), anything else that changed, and a verdict, which is also the exit status.

With DISPLAY set the boxes appear on that display and the user answers them. Without it the demo
starts its own Xvfb, runs the uninstaller in a Wine virtual desktop (so the boxes are drawn whole,
caption included), answers Yes and OK, and saves a PNG of each box, under the names the pictures
have in docs/; --refresh-docs DIR copies them there after a run that passed.

  demo.py --exe build/release/TolvaneUninstall.exe --how "$(scripts/wine32-ok)"
          --answerer build/demo/e2e_answerer.exe --out build/demo [--refresh-docs docs]
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fixture  # noqa: E402
import winebox  # noqa: E402

DESKTOP = "640x360"
DESKTOP_NAME = "TolvaneDemo"
# Where Wine reads the desktop a program starts on.
DESKTOP_KEY = r"HKCU\Software\Wine\AppDefaults\%s\Explorer"
# The boxes of a Yes run, in order; each picture is saved as NAME-box.png.
BOX_NAMES = ["confirm", "completed"]
# What the boxes say, in English.
TRANSLATIONS = {
    "톨바네를 제거하시겠습니까?": "Remove Tolvane?",
    "톨바네가 제거되었습니다.\n톨바네를 새로 설치하시려면 컴퓨터를 재시작 하십시오.":
        "Tolvane has been removed.\nRestart the computer before installing Tolvane again.",
    "이미 톨바네가 제거 되었습니다.": "Tolvane has already been removed.",
    "톨바네를 제거하려면 관리자 권한이 필요합니다.":
        "Administrator rights are needed to remove Tolvane.",
}
# The buttons as the answerer names them (by their ids, IDOK to IDNO, in its "answered" lines).
BUTTONS = [(1, "ok", "OK"), (2, "cancel", "Cancel"), (3, "abort", "Abort"), (4, "retry", "Retry"),
           (5, "ignore", "Ignore"), (6, "yes", "Yes"), (7, "no", "No")]


def first_line(exe, arch, how):
    """The report's first line: which exe runs, what it was built for and whether Wine runs it
    natively or emulated; and a second line with the reason where the host decided. arch: the
    exe's, as winebox.pe_arch tells it; how: what scripts/wine32-ok printed ("native",
    "emulated: why" or "none: why")."""
    kind, _, why = how.partition(": ")
    if arch == "x86":
        built = "i686 (32-bit x86), the shipped exe"
        ran = ("by 32-bit Wine under qemu's emulation (slower)" if kind == "emulated"
               else "natively by 32-bit Wine")
    else:
        built = "x86-64, a build for the tests, never shipped"
        ran = "natively by 64-bit Wine"
    lines = ["Demo of %s: %s, run %s." % (exe, built, ran)]
    if why:
        lines.append("  (Why: %s.)" % why.rstrip("."))
    return lines


def _fields(rest):
    return dict(f.split("=", 1) for f in rest.split() if "=" in f)


def read_boxes(lines):
    """The boxes the answerer logged, in order: dicts of kind ("box": one it was told to
    answer, "unexpected": any other), caption and text as the user sees them (read as UTF-16),
    buttons, icon, and answer (None when it was not answered)."""
    boxes = []
    for line in lines:
        word, _, rest = line.strip().partition(" ")
        fields = _fields(rest)
        if word in ("box", "unexpected"):
            def text(wide, ansi):
                if fields.get(wide):
                    return bytes.fromhex(fields[wide]).decode("utf-8", "replace")
                return bytes.fromhex(fields.get(ansi, "")).decode("cp949", "replace")
            boxes.append({"kind": word, "caption": text("wcaption", "caption"),
                          "text": text("wtext", "text"),
                          "buttons": [b for b in fields.get("buttons", "").split(",") if b],
                          "icon": fields.get("icon", "none"), "answer": None})
        elif word == "answered" and boxes and boxes[-1]["answer"] is None:
            answer = int(fields.get("id", "0"))
            boxes[-1]["answer"] = next((label for i, _, label in BUTTONS if i == answer),
                                       "button %d" % answer)
    return boxes


def box_lines(boxes, pictures=()):
    """Each box as the terminal shows it: its caption, icon and buttons, its text, what that
    says in English, the answer given and the box's picture."""
    labels = {name: label for _, name, label in BUTTONS}
    lines = []
    for number, box in enumerate(boxes, 1):
        buttons = [labels.get(b, b) for b in box["buttons"]]
        lines.append('Box %d%s: caption "%s", %s, button%s %s' % (
            number, " (unexpected)" if box["kind"] == "unexpected" else "", box["caption"],
            "no icon" if box["icon"] == "none" else box["icon"] + " icon",
            "s"[:len(buttons) != 1], ", ".join(buttons) or "none"))
        lines.extend("    " + line for line in box["text"].split("\n"))
        english = TRANSLATIONS.get(box["text"])
        if english:
            lines.append("    (in English: %s)" % english.replace("\n", " "))
        answer = "Answered %s" % box["answer"] if box["answer"] else "Not answered"
        if number <= len(pictures):
            answer += "; picture: " + pictures[number - 1]
        lines.append("  " + answer)
    return lines


def run_headless(prefix, exe, answerer, out):
    """Runs the uninstaller in a virtual desktop, answers its boxes and photographs them.
    Returns the boxes (read_boxes), their pictures and the uninstaller's exit code (None when it
    did not finish)."""
    log = os.path.join(out, "answerer.log")
    stop = os.path.join(out, "answerer.stop")
    for path in (log, stop):
        if os.path.exists(path):
            os.remove(path)
    desktop = ["explorer", "/desktop=%s,%s" % (DESKTOP_NAME, DESKTOP)]
    # The answerer first: once it is ready the desktop exists, and the uninstaller joins it.
    helper = prefix.start(desktop + [answerer, winebox.wine_path(log), winebox.wine_path(stop),
                                     "30000", "1500", "yes", "ok"])
    program = code = None
    pictures = []
    try:
        deadline = time.monotonic() + 30
        while not os.path.exists(log) and time.monotonic() < deadline:
            time.sleep(0.1)
        program = prefix.start([exe])
        deadline = time.monotonic() + 90
        while len(pictures) < len(BOX_NAMES) and time.monotonic() < deadline:
            boxes = []
            if os.path.exists(log):
                with open(log, encoding="ascii", errors="replace") as f:
                    boxes = [line for line in f if line.startswith("box ")]
            if len(boxes) > len(pictures):
                line = boxes[len(pictures)]
                left, top, right, bottom = (int(v) for v in
                                            line.split("rect=")[1].split()[0].split(","))
                png = os.path.join(out, "%s-box.png" % BOX_NAMES[len(pictures)])
                subprocess.run(["import", "-display", prefix.display, "-window", "root",
                                "-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top),
                                "+repage", png], check=True)
                pictures.append(png)
            time.sleep(0.1)
        # Both boxes answered: let the answerer go, then wait for the uninstaller to end.
        while time.monotonic() < deadline and sum(
                1 for line in open(log, encoding="ascii", errors="replace")
                if line.startswith("answered")) < len(BOX_NAMES):
            time.sleep(0.1)
        open(stop, "w").close()
        code = program.wait(60)
        helper.wait(60)
    except subprocess.TimeoutExpired:
        pass  # what has not ended is stopped below
    finally:
        open(stop, "w").close()
        prefix.stop()
        winebox.stop_process(program)
        winebox.stop_process(helper)
    boxes = []
    if os.path.exists(log):
        with open(log, encoding="ascii", errors="replace") as f:
            boxes = read_boxes(f)
    return boxes, pictures, code


# The product's keys and values as the uninstaller (and the README) spell them, on either
# family: the installation spells some of them otherwise, as an installer may (names are not
# case-sensitive).
OWN_KEYS = fixture.GONE_KEYS + [k for family in ("nt", "9x")
                                for k in fixture.GONE_KEYS_BY_FAMILY[family]]
OWN_VALUES = fixture.GONE_VALUES + [v for family in ("nt", "9x")
                                    for v in fixture.GONE_VALUES_BY_FAMILY[family]]


def windows_name(arch, root, path):
    """A key as Windows of the NT family names it to the uninstaller: HKLM\\SOFTWARE and
    HKLM\\SYSTEM in capitals, HKCU\\Software; HKCR's machine-wide half is HKLM\\SOFTWARE\\Classes,
    where the uninstaller reads and writes the class key. The product's own key names are spelt
    as the uninstaller spells them, followed by the installation's spelling where that differs."""
    parts = path.split("\\")
    installed = None
    for own_root, own in OWN_KEYS:
        own_parts = own.split("\\")
        depth = len(own_parts)
        if own_root == root and [p.lower() for p in parts[:depth]] == \
                [p.lower() for p in own_parts]:
            if parts[depth - 1] != own_parts[-1]:
                installed = parts[depth - 1]
                parts[depth - 1] = own_parts[-1]
            break
    if root == "HKCR":
        parts = ["SOFTWARE", "Classes"] + parts
    elif root == "HKCU" and parts[0].lower() == "software":
        parts[0] = "Software"
    elif parts[0].lower() in ("software", "system"):
        parts[0] = parts[0].upper()
    name = "%s\\%s" % ("HKCU" if root == "HKCU" else "HKLM", "\\".join(parts))
    if root == "HKLM_OTHER":
        name += " (%s view)" % fixture.view(arch, True)
    if installed:
        name += " (installed as %s)" % installed
    return name


def value_name(root, path, value):
    """A value's name as the uninstaller spells it, when it is one of the product's."""
    for own_root, own_path, own in OWN_VALUES:
        if (own_root, own_path.lower(), own.lower()) == (root, path.lower(), value.lower()):
            value = own if own == value else "%s (installed as %s)" % (own, value)
            break
    return value or "(default)"


def windows_file(rel):
    return "C:\\" + rel.replace("/", "\\")


def report(prefix, before, after, family="nt", variant="complete"):
    """The demo installation item by item: what went, in the order the uninstaller takes it, and
    what stayed, with the reason the installation holds it; then anything else that changed.
    Returns the faults: what should have gone and stayed, what should have stayed and went, and
    every other change."""
    expected, missing = fixture.expected_removal(prefix, before, variant, family)
    gone, added, changed = winebox.compare(before, after)
    removed, stayed, faults = [], {}, []
    seen = set()  # the snapshot items accounted for below

    def keep(reason, line):
        stayed.setdefault(reason, []).append(line)

    gone_keys = []
    class_value = None
    for root, path, values in fixture.registry_entries(variant, family):
        if root == "HKCU" and path == r"Software\Wine":
            continue  # the 9x family's Windows version, Wine's own
        hive, key = fixture.snapshot_key(prefix.arch, root, path)
        name = windows_name(prefix.arch, root, path)
        item = ("key", hive, key)
        if item in expected:
            if any(key.startswith(g + "\\") for g in gone_keys):
                continue  # reported with the key above it
            gone_keys.append(key)
            below = {i for i in expected if i[0] in ("key", "value", "meta") and i[1] == hive
                     and (i[2] == key or i[2].startswith(key + "\\"))}
            seen.update(below)
            left = [i for i in below if i in after]
            if not left:
                removed.append("key    %s, with its values and subkeys" % name)
            else:
                faults.append("key    %s should have gone; %d of its keys and values stayed"
                              % (name, len(left)))
            continue
        seen.add(item)
        if item not in after:
            faults.append("key    %s went, but should have stayed: %s"
                          % (name, fixture.kept_reason(prefix.arch, family, root, path)))
            continue
        kept = {}
        for value in values:
            shown = value_name(root, path, value)
            item = ("value", hive, key, value.lower())
            seen.add(item)
            if item in expected:
                if item in after:
                    faults.append("value  %s : %s should have gone, but stayed" % (name, shown))
                elif (root, path, value) == ("HKCR", fixture.CLASS_KEY, ""):
                    # The record of the install folder goes last of the registry, after the
                    # install folder and the system executable.
                    class_value = "value  %s : %s" % (name, shown)
                else:
                    removed.append("value  %s : %s" % (name, shown))
                continue
            reason = fixture.kept_reason(prefix.arch, family, root, path, value)
            if item in after:
                kept.setdefault(reason, []).append(shown)
            else:
                faults.append("value  %s : %s went, but should have stayed: %s"
                              % (name, shown, reason))
        for reason, names in kept.items():
            keep(reason, "%s %s : %s" % ("values" if len(names) > 1 else "value ", name,
                                         ", ".join(names)))

    # Files in the fixture's order, which is the uninstaller's; a folder that goes is shown
    # after the last of its files, and the class value after the system executable.
    files = [(template, fixture._expand(prefix, template)) for template in fixture.FILES]
    for index, (template, rel) in enumerate(files):
        if class_value and template not in fixture.FILES[:fixture.FILES.index(
                "{sys32}/kelrun32.exe") + 1]:
            removed.append(class_value)
            class_value = None
        item = ("file", "drive_c/" + rel)
        seen.add(item)
        if item in expected:
            if item in after:
                faults.append("file   %s should have gone, but stayed" % windows_file(rel))
            else:
                removed.append("file   " + windows_file(rel))
        else:
            reason = fixture.kept_file_reason(prefix.arch, template)
            if item in after:
                keep(reason, "file   " + windows_file(rel))
            else:
                faults.append("file   %s went, but should have stayed: %s"
                              % (windows_file(rel), reason))
        folder = os.path.dirname(rel)
        item = ("dir", "drive_c/" + folder)
        if item in expected and item not in seen and not any(
                os.path.dirname(later) == folder for _, later in files[index + 1:]):
            seen.add(item)
            if item in after:
                faults.append("folder %s should have gone, but stayed" % windows_file(folder))
            else:
                removed.append("folder " + windows_file(folder))

    if class_value:
        removed.append(class_value)
    for item in sorted(i for i in expected if i in after and i not in seen):
        faults.append("%s should have gone, but stayed" % winebox.describe(item))
    faults.extend("the demo installation lacks %s" % m for m in missing)

    print()
    if prefix.arch == "x86":
        print("Keys are named as the 32-bit uninstaller sees them (on 64-bit Windows regedit shows "
              "its\nHKLM\\SOFTWARE below HKLM\\SOFTWARE\\WOW6432Node), files where they lie "
              "(its C:\\windows\\system32\nis C:\\windows\\syswow64).", end=" ")
    print("Names are not case-sensitive: Tolvane's are spelt as the uninstaller\nand the README "
          "spell them, with the demo installer's spelling where it differs.")
    print("\nWhat went, in the order the uninstaller removes things (%d):" % len(removed))
    for line in removed:
        print("  " + line)
    count = sum(len(lines) for lines in stayed.values())
    print("\nWhat stayed, grouped by why it stays (%d):" % count)
    # The product's own first, other programs' last.
    first = [reason for _, _, reason in fixture.KEPT]
    order = sorted(stayed, key=lambda reason: (
        first.index(reason) if reason in first else len(first),
        reason == fixture.ANOTHER_PROGRAMS))
    for reason in order:
        lines = stayed[reason]
        print("  %s%s:" % (reason[0].upper(), reason[1:]))
        for line in lines:
            print("    " + line)
    if faults:
        print("\nWrong:")
        for line in faults:
            print("  " + line)
    other = ([i for i in sorted(gone - expected) if i not in seen] + sorted(added)
             + sorted(changed))
    print("\nAnything else in the prefix that changed: %s" % ("nothing" if not other else ""))
    for item in other[:20]:
        print("  %s %s" % ("removed" if item in gone else "added" if item in added else
                           "changed", winebox.describe(item)))
    if len(other) > 20:
        print("  ... and %d more" % (len(other) - 20))
    if other:
        faults.append("%d other change%s in the prefix" % (len(other), "s"[:len(other) != 1]))
    return faults, count


def add_marlett(prefix):
    """Wine's Marlett, which draws the buttons of a caption (a box's close button is its letter
    "r"), in the prefix's Fonts folder. Debian's Wine looks for its own fonts beside its data
    folder, in /usr/share/fonts, not in /usr/share/wine/fonts where fonts-wine puts them: without
    Marlett the close button shows as that letter."""
    fonts = os.path.join(prefix.path, "drive_c", "windows", "Fonts")
    source = "/usr/share/wine/fonts/marlett.ttf"
    if os.path.exists(source) and not os.path.exists(os.path.join(fonts, "marlett.ttf")):
        os.makedirs(fonts, exist_ok=True)
        shutil.copyfile(source, os.path.join(fonts, "marlett.ttf"))


def folder_size(path):
    """What `du -sh` says of a folder ("1.3G"), or None."""
    try:
        out = subprocess.run(["du", "-sh", path], capture_output=True, text=True, timeout=120)
        return out.stdout.split()[0] if out.returncode == 0 and out.stdout else None
    except (OSError, subprocess.TimeoutExpired):
        return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--how", required=True,
                        help="how the host runs 32-bit code, as scripts/wine32-ok prints it")
    parser.add_argument("--answerer", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--refresh-docs", metavar="DIR",
                        help="after a headless run that passed, copy the pictures into DIR")
    options = parser.parse_args()
    out = os.path.abspath(options.out)
    exe = os.path.abspath(options.exe)
    arch = winebox.pe_arch(exe)
    for line in first_line(exe, arch, options.how):
        print(line)
    os.makedirs(out, exist_ok=True)
    user_display = os.environ.get("DISPLAY")
    display = None if user_display else winebox.Display(out, DESKTOP).__enter__()
    name = user_display or display.name
    home = os.path.join(out, "home")
    problems = []
    try:
        print("Making a throwaway Wine prefix in %s/prefix (about 15 s) ..." % out, flush=True)
        prefix = winebox.create_prefix(os.path.join(out, "prefix"), name, home, arch)
        add_marlett(prefix)
        if not user_display:
            # The uninstaller joins the answerer's virtual desktop by itself, so that it is Wine's
            # loader that starts it and returns its exit code.
            prefix.run(["reg.exe", "add", DESKTOP_KEY % os.path.basename(exe), "/v", "Desktop",
                        "/d", DESKTOP_NAME, "/f"], 60)
        print("Installing the demo installation of Tolvane ...", flush=True)
        fixture.install(prefix, "complete", "nt", out)
        before = winebox.snapshot(prefix.path)
        if user_display:
            print("Running TolvaneUninstall.exe on your display %s: answer its boxes." % name,
                  flush=True)
            code = prefix.run([exe], 3600)
            prefix.stop()
        else:
            print("No DISPLAY: running headless, answering Yes, saving the boxes as pictures.",
                  flush=True)
            boxes, pictures, code = run_headless(prefix, exe, os.path.abspath(options.answerer),
                                                 out)
            print()
            for line in box_lines(boxes, pictures):
                print(line)
            if len(pictures) < len(BOX_NAMES):
                problems.append("%d of its %d boxes seen" % (len(pictures), len(BOX_NAMES)))
            unexpected = sum(1 for box in boxes if box["kind"] == "unexpected")
            if unexpected:
                problems.append("%d box%s more than a Yes run shows"
                                % (unexpected, "es"[:2 * (unexpected != 1)]))
        if code is None:
            print("The uninstaller did not finish; it was stopped.")
            problems.append("the uninstaller did not finish")
        else:
            print("The uninstaller exited with code %d." % code)
            if code != 0:
                problems.append("exit code %d, where it ends with 0" % code)
        after = winebox.snapshot(prefix.path)
        faults, stayed = report(prefix, before, after)
        problems.extend(faults)
    finally:
        if display:
            winebox.Prefix(os.path.join(out, "prefix"), display.name, home).stop()
            display.__exit__(None, None, None)
    print()
    if problems:
        print("Verdict: FAILED: " + "; ".join(problems))
    else:
        print("Verdict: everything of Tolvane's that should go went; %d items stayed, each for "
              "the reason shown, and nothing else changed." % stayed)
    if options.refresh_docs:
        if problems or user_display:
            print("The pictures in %s were left as they are: they come only from a headless run "
                  "that passed." % options.refresh_docs)
        else:
            for box in BOX_NAMES:
                target = os.path.join(options.refresh_docs, "%s-box.png" % box)
                shutil.copyfile(os.path.join(out, "%s-box.png" % box), target)
                print("Copied %s-box.png to %s" % (box, target))
    size = folder_size(out)
    print("%s holds the throwaway Wine prefix%s and the pictures; delete it when done."
          % (out, " (%s)" % size if size else ""))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
