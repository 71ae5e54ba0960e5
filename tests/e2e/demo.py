#!/usr/bin/env python3
"""The demo behind scripts/demo: a throwaway Wine prefix under the build folder with a demo
installation of Tolvane (and a few look-alikes that must stay), the uninstaller run there, and a
short report of what was removed and what stayed.

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
BOX_NAMES = ["confirm", "completed"]


def run_headless(prefix, exe, answerer, out):
    """Runs the uninstaller in a virtual desktop, answers its boxes and photographs them."""
    log = os.path.join(out, "answerer.log")
    stop = os.path.join(out, "answerer.stop")
    for path in (log, stop):
        if os.path.exists(path):
            os.remove(path)
    desktop = ["explorer", "/desktop=TolvaneDemo," + DESKTOP]
    # The answerer first: once it is ready the desktop exists, and the uninstaller joins it.
    helper = prefix.start(desktop + [answerer, winebox.wine_path(log), winebox.wine_path(stop),
                                     "30000", "1500", "yes", "ok"])
    program = None
    pictures = []
    try:
        deadline = time.monotonic() + 30
        while not os.path.exists(log) and time.monotonic() < deadline:
            time.sleep(0.1)
        program = prefix.start(desktop + [exe])
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
        for proc in (program, helper):
            proc.wait(60)
    except subprocess.TimeoutExpired:
        print("The uninstaller did not finish within a minute; stopped it.")
    finally:
        open(stop, "w").close()
        prefix.stop()
        winebox.stop_process(program)
        winebox.stop_process(helper)
    return pictures


def windows_name(root, path):
    return "%s\\%s" % ({"HKLM_OTHER": "HKLM (the other view)"}.get(root, root), path)


def report(prefix, before, after):
    """The demo installation item by item, removed or stayed, then anything else that changed."""
    removed, stayed = [], []
    gone_keys = []
    for root, path, values in fixture.registry_entries("complete", "nt"):
        if root == "HKCU" and path == r"Software\Wine":
            continue
        hive, key = fixture.snapshot_key(prefix.arch, root, path)
        if ("key", hive, key) not in after:
            if not any(key.startswith(g + "\\") for g in gone_keys):
                removed.append("key    %s (with its values and subkeys)" % windows_name(root, path))
            gone_keys.append(key)
            continue
        kept = [n for n in values if ("value", hive, key, n.lower()) in after]
        for name in values:
            if name not in kept:
                removed.append("value  %s : %s" % (windows_name(root, path), name or "(default)"))
        if kept:
            stayed.append("key    %s : %s" % (windows_name(root, path),
                                               ", ".join(n or "(default)" for n in kept)))
    folders = []
    for rel in fixture.FILES:
        rel = fixture._expand(prefix, rel)
        path = os.path.join(prefix.path, "drive_c", rel)
        (stayed if os.path.exists(path) else removed).append(
            "file   C:\\" + rel.replace("/", "\\"))
        folder = os.path.dirname(rel)
        if folder not in folders and not os.path.exists(os.path.dirname(path)):
            folders.append(folder)
            removed.append("folder C:\\" + folder.replace("/", "\\"))
    print("\nRemoved (%d):" % len(removed))
    for line in removed:
        print("  " + line)
    print("\nStayed (%d):" % len(stayed))
    for line in stayed:
        print("  " + line)
    expected, _ = fixture.expected_removal(prefix, before, "complete", "nt")
    gone, added, changed = winebox.compare(before, after)
    other = sorted(gone - expected) + sorted(added) + sorted(changed)
    print("\nAnything else in the prefix that changed: %s" % ("nothing" if not other else ""))
    for item in other[:20]:
        print("  %s %s" % ("removed" if item in gone else "added" if item in added else
                           "changed", winebox.describe(item)))


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
    try:
        print("Making a throwaway Wine prefix in %s/prefix (about 15 s) ..." % out, flush=True)
        prefix = winebox.create_prefix(os.path.join(out, "prefix"), name, home,
                                       winebox.pe_arch(options.exe))
        add_marlett(prefix)
        print("Installing the demo installation of Tolvane ...", flush=True)
        fixture.install(prefix, "complete", "nt", out)
        before = winebox.snapshot(prefix.path)
        if user_display:
            print("Running TolvaneUninstall.exe on your display %s: answer its boxes." % name,
                  flush=True)
            code = prefix.run([os.path.abspath(options.exe)], 3600)
            prefix.stop()
            print("The uninstaller exited with code %s." % code)
        else:
            print("No DISPLAY: running headless, answering Yes, saving the boxes as pictures.",
                  flush=True)
            pictures = run_headless(prefix, os.path.abspath(options.exe),
                                    os.path.abspath(options.answerer), out)
            for png in pictures:
                print("Saved " + png)
        after = winebox.snapshot(prefix.path)
        report(prefix, before, after)
    finally:
        if display:
            winebox.Prefix(os.path.join(out, "prefix"), display.name, home).stop()
            display.__exit__(None, None, None)
    return 0


if __name__ == "__main__":
    sys.exit(main())
