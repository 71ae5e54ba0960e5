#!/usr/bin/env python3
"""The demo behind scripts/demo: a throwaway Wine prefix under the build folder with a demo
installation of Tolvane (and a few look-alikes that must stay), the uninstaller run there, and a
report: its exit code, what was removed, what stayed with the reason the installation holds it
(fixture.py knows), anything else that changed, and a verdict, which is also the exit status.

With DISPLAY set the boxes appear on that display and the user answers them. Without it the demo
starts its own Xvfb, runs the uninstaller in a Wine virtual desktop (so the boxes are drawn whole,
caption included), answers Yes and OK, and saves a PNG of each box.

  demo.py --exe build/release/TolvaneUninstall.exe --answerer build/demo/e2e_answerer.exe
          --out build/demo
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
BOX_NAMES = ["confirm", "completed"]


def run_headless(prefix, exe, answerer, out):
    """Runs the uninstaller in a virtual desktop, answers its boxes and photographs them.
    Returns the pictures and the uninstaller's exit code (None when it did not finish)."""
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
                png = os.path.join(out, "box%d-%s.png" % (len(pictures) + 1,
                                                          BOX_NAMES[len(pictures)]))
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
    return pictures, code


def windows_name(arch, root, path):
    """A key as Windows names it to the uninstaller: HKCR's machine-wide half is
    HKLM\\Software\\Classes, which is where the uninstaller reads and writes the class key."""
    if root == "HKCR":
        return "HKLM\\Software\\Classes\\" + path
    if root == "HKLM_OTHER":
        return "HKLM\\%s (%s view)" % (path, fixture.view(arch, True))
    return "%s\\%s" % (root, path)


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
            shown = value or "(default)"
            item = ("value", hive, key, value.lower())
            seen.add(item)
            if item in expected:
                if item in after:
                    faults.append("value  %s : %s should have gone, but stayed" % (name, shown))
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
            keep(reason, "key    %s : %s" % (name, ", ".join(names)))

    # Files in the fixture's order, which is the uninstaller's; a folder that goes is shown
    # after the last of its files.
    files = [(template, fixture._expand(prefix, template)) for template in fixture.FILES]
    for index, (template, rel) in enumerate(files):
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

    for item in sorted(i for i in expected if i in after and i not in seen):
        faults.append("%s should have gone, but stayed" % winebox.describe(item))
    faults.extend("the demo installation lacks %s" % m for m in missing)

    if prefix.arch == "x86":
        print("\nRegistry keys are named as the 32-bit uninstaller sees them; on 64-bit Windows "
              "regedit\nshows its HKLM\\SOFTWARE below HKLM\\SOFTWARE\\WOW6432Node.")
    print("\nWhat went, in the order the uninstaller removes things (%d):" % len(removed))
    for line in removed:
        print("  " + line)
    count = sum(len(lines) for lines in stayed.values())
    print("\nWhat stayed, by the reason the demo installation holds it (%d):" % count)
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
    parser.add_argument("--answerer", required=True)
    parser.add_argument("--out", required=True)
    options = parser.parse_args()
    out = os.path.abspath(options.out)
    os.makedirs(out, exist_ok=True)
    user_display = os.environ.get("DISPLAY")
    display = None if user_display else winebox.Display(out, DESKTOP).__enter__()
    name = user_display or display.name
    home = os.path.join(out, "home")
    problems = []
    try:
        print("Making a throwaway Wine prefix in %s/prefix (about 15 s) ..." % out, flush=True)
        prefix = winebox.create_prefix(os.path.join(out, "prefix"), name, home,
                                       winebox.pe_arch(options.exe))
        add_marlett(prefix)
        exe = os.path.abspath(options.exe)
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
            pictures, code = run_headless(prefix, exe, os.path.abspath(options.answerer), out)
            for png in pictures:
                print("Saved " + png)
            if len(pictures) < len(BOX_NAMES):
                problems.append("%d of its %d boxes seen" % (len(pictures), len(BOX_NAMES)))
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
    size = folder_size(out)
    print("%s holds the throwaway Wine prefix%s and the pictures; delete it when done."
          % (out, " (%s)" % size if size else ""))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
