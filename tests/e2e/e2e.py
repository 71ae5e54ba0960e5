#!/usr/bin/env python3
"""End-to-end scenarios: the real TolvaneUninstall.exe under Wine, in a copy of a prefix made
for this test run, with a complete installation of the product and decoys (fixture.py). The
helper programs answer the message boxes, listen for the broadcast and hold the mutex; the
whole state of the prefix is compared before every run of the uninstaller and after it and the
restart of Windows that follows it (`wineboot --restart`, which carries out what was scheduled
for the next start). Rows are independent: each runs in a folder of its own
(DIR/e2e/NAME-FAMILY), and any number may run at once.

  e2e.py base --build DIR [--copies N]
                                      make the run's base prefix (DIR/e2e/base), and N copies
                                      of it for the rows to take
  e2e.py run NAME FAMILY --build DIR [--exe EXE]
                                      one row of the table (FAMILY: nt or 9x), on the build's
                                      exe or on EXE (a signed copy, say)
  e2e.py clean --build DIR            delete the copies of the base that rows are done with
  e2e.py all --build DIR              every row, one after the other, with the wall time
  e2e.py list                         the rows, "NAME FAMILY" per line (CMake reads this)
  e2e.py noise --build DIR            shows what Wine alone changes from one start to the next,
                                      and from one restart to the next
  e2e.py cost --build DIR [--exe EXE] [--rounds N]
                                      times the Yes row: from the listener's return from the
                                      broadcast to the completion box (the prescribed one-second
                                      wait and the work), median and fastest of N runs
"""
import argparse
import contextlib
import os
import re
import shutil
import signal
import sys
import threading
import time
from dataclasses import dataclass, field

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fixture  # noqa: E402
import winebox  # noqa: E402

CAPTION = "Uninstall Tolvane"
BOXES = {  # kind: (text, buttons, icon)
    "confirm": ("톨바네를 제거하시겠습니까?", "yes,no", "question"),
    "completed": ("톨바네가 제거되었습니다.\n톨바네를 새로 설치하시려면 컴퓨터를 재시작 하십시오.",
                  "ok", "information"),
    "already": ("이미 톨바네가 제거 되었습니다.", "ok", "information"),
}
RUN_BOUND_S = 60      # one run of the uninstaller; a run that takes longer has hung
# How long the answerer waits for each expected box: as long as the run may take. The completion
# box comes after the deletions, which in the swap rows (thousands of files) take a good part of
# that under emulation on a busy machine.
BOX_WAIT_MS = RUN_BOUND_S * 1000
MIN_GRACE_MS = 950    # listener returned to first removal: one second, less timer granularity
MAX_GRACE_MS = 5000   # ... and not much more: nothing else may hold the uninstaller there
HUNG_AFTER_S = 6      # Windows and Wine count a thread as hung after 5 s without reading messages
HUNG_RUN_BOUND_S = 15  # a run with a hung window on the desktop, well below the 20 s bound per
                       # window that a hung window, were it not skipped, would cost
# What the uninstaller loads by name after it has started (WINEDEBUG=+loaddll): Wine's display
# driver winex11.drv when the first window is made, and uxtheme.dll for the first message box.
# Left out: version.dll and imm32.dll, which Wine loads while the process starts, before any
# entry point runs; ole32.dll and its dependencies, which Wine's imm32 loads through Wine's own
# delay-load resolution with the search order of the process's start (on Windows ole32.dll is a
# known DLL, always taken from the system directory).
PLANTED_DLLS = ["uxtheme.dll", "winex11.drv"]


@dataclass
class Run:
    answers: list
    boxes: list
    broadcast: bool = False
    removes: bool = False
    args: list = field(default_factory=list)
    mutex_held: bool = False
    second_instance: bool = False  # start another run while the first one shows its box
    hold_ms: int = 0  # how long the answerer leaves each box up before answering
    quiet_ms: int = 500  # after the exe ended, how long the answerer still watches for boxes
    hung_window: bool = False  # an unrelated window on the desktop has stopped responding
    handle_ms: int = 0  # how long the product's component takes to handle the broadcast
    # DLLs named like system DLLs that Windows loads on demand, planted beside a copy of the exe
    # in the user's Downloads folder; Wine is told to prefer them, as Windows would.
    planted: list = field(default_factory=list)
    # Whose current folder is the install folder: the uninstaller's own ("exe", started from the
    # group's shortcut with the folder as "Start in"), or a component's that keeps running after
    # the broadcast ("component").
    started_in: str = ""
    # The copy of the uninstaller that the installation holds (relative to drive_c) to start
    # instead of the build's.
    exe_copy: str = ""
    # Programs of the installation (relative to drive_c, copies of the listener) started before
    # the uninstaller and kept running through it, as the product's service would, then ended
    # with the helpers, before the restart.
    running: list = field(default_factory=list)
    # A file of the install folder (its name) that the component holds open without sharing its
    # deletion through the run, as one that keeps its log open would.
    holds: str = ""


YES = Run(["yes", "ok"], ["confirm", "completed"], broadcast=True, removes=True)
NO = Run(["no"], ["confirm"])
ALREADY = Run(["ok"], ["already"])
MUTEX_HELD = Run([], [], mutex_held=True, quiet_ms=3000)
SECOND_INSTANCE = Run(["no"], ["confirm"], second_instance=True, hold_ms=12000)
# Among them the marker of a relaunched copy, which only stops a further relaunch: for an
# administrator (every program under Wine) it changes nothing.
WITH_ARGUMENTS = Run(["yes", "ok"], ["confirm", "completed"], broadcast=True, removes=True,
                     args=["/S", "/quiet", "-uninstall", "/relaunched",
                           r"C:\Program Files (x86)\Brenlock"])
WITH_HUNG_WINDOW = Run(["yes", "ok"], ["confirm", "completed"], broadcast=True, removes=True,
                       hung_window=True)
WITH_SLOW_COMPONENT = Run(["yes", "ok"], ["confirm", "completed"], broadcast=True, removes=True,
                          handle_ms=5000)
PLANTED = Run(["yes", "ok"], ["confirm", "completed"], broadcast=True, removes=True,
              planted=PLANTED_DLLS)
STARTED_IN_INSTALL = Run(["yes", "ok"], ["confirm", "completed"], broadcast=True, removes=True,
                         started_in="exe")
COMPONENT_IN_INSTALL = Run(["yes", "ok"], ["confirm", "completed"], broadcast=True,
                           removes=True, started_in="component")
FROM_INSTALL = Run(["yes", "ok"], ["confirm", "completed"], broadcast=True, removes=True,
                   started_in="exe", exe_copy=fixture.INSTALL_REL + "/" + fixture.UNINSTALLER)
SERVICE_RUNNING = Run(["yes", "ok"], ["confirm", "completed"], broadcast=True, removes=True,
                      running=["{sys32}/kelrun32.exe"])
HOLDING_LOG = Run(["yes", "ok"], ["confirm", "completed"], broadcast=True, removes=True,
                  holds=fixture.HELD_LOG)

# name: (families, installation variant, runs of the uninstaller in order)
SCENARIOS = {
    "yes": (["nt", "9x"], "complete", [YES]),
    "no": (["nt", "9x"], "complete", [NO]),
    "second_run": (["nt", "9x"], "complete", [YES, ALREADY]),
    "already_removed": (["nt"], "already_removed", [ALREADY]),
    "mutex_held": (["nt"], "complete", [MUTEX_HELD]),
    "second_instance": (["nt"], "complete", [SECOND_INSTANCE]),
    "arguments_ignored": (["nt"], "complete", [WITH_ARGUMENTS]),
    "install_subfolder": (["nt"], "subfolder", [YES]),
    "install_folder_missing": (["nt"], "missing_folder", [YES]),
    "class_in_system_dir": (["nt"], "class_in_system_dir", [YES]),
    "class_in_drive_root": (["nt"], "class_in_drive_root", [YES]),
    "hung_window": (["nt", "9x"], "complete", [WITH_HUNG_WINDOW]),
    "slow_component": (["nt"], "complete", [WITH_SLOW_COMPONENT]),
    "dlls_planted": (["nt"], "complete", [PLANTED]),
    "link_as_product_key": (["nt"], "link_as_product_key", [YES]),
    "link_as_settings_key": (["nt"], "link_as_settings_key", [YES]),
    "link_below_service": (["nt"], "link_below_service", [YES]),
    "class_in_windows_folder": (["nt"], "class_in_windows_folder", [YES]),
    "class_in_other_profile": (["nt"], "class_in_other_profile", [YES]),
    "class_short_name": (["nt"], "class_short_name", [YES]),
    "install_link_to_system": (["nt"], "install_link_to_system", [YES]),
    "install_link_to_vendor": (["nt"], "install_link_to_vendor", [YES]),
    "file_link_in_install": (["nt"], "file_link_in_install", [YES]),
    # The folder swapped for a link while its files are deleted (on the 9x family there are no
    # links and no sharing to rely on).
    "swap_install": (["nt"], "swap_install", [YES]),
    "swap_group": (["nt"], "swap_group", [YES]),
    "group_link": (["nt"], "group_link", [YES]),
    "won_names": (["nt"], "won_names", [YES]),
    # The install folder is a program's current folder: the uninstaller's own (all of it goes), or
    # a component's that still runs (its files go, the folder it holds stays).
    "started_in_install": (["nt", "9x"], "complete", [STARTED_IN_INSTALL]),
    "component_in_install": (["nt"], "install_in_use", [COMPONENT_IN_INSTALL]),
    # Files that cannot be deleted at once: the uninstaller's own image in the install folder
    # (it and the folder go at the restart), the system executable running as the product's
    # service (it goes at the restart), a read-only file, a name the ANSI code page cannot spell.
    "uninstaller_in_install": (["nt", "9x"], "uninstaller_in_install", [FROM_INSTALL]),
    "system_exe_running": (["nt"], "system_exe_running", [SERVICE_RUNNING]),
    "read_only_file": (["nt"], "read_only_file", [YES]),
    "name_outside_code_page": (["nt"], "name_outside_code_page", [YES]),
    # The install folder's path made a link to another vendor's folder after the uninstall, before
    # the restart: nothing there may go at the restart.
    "swap_at_restart": (["nt"], "swap_at_restart", [FROM_INSTALL]),
    # A component keeps its log open without sharing its deletion: where nobody but an
    # administrator could steer its path, it goes at the restart where it stands, and the folder
    # after it; where others may change its folder, it stays for good, and so does the record of
    # the install folder: the next run, once the component has ended, finds and finishes it.
    "log_held_open": (["nt"], "log_held_open", [HOLDING_LOG]),
    "log_held_open_shared_folder": (["nt"], "log_held_open_shared_folder", [HOLDING_LOG, YES]),
    # A drive root that everyone may change (Wine shows a root of Unix mode 777 as Everyone with
    # delete-child): the uninstaller's own image, in use, cannot go safely at the restart, so
    # nothing is scheduled; it stays, with its folder and the record of the install folder.
    "root_others_may_change": (["nt"], "root_others_may_change", [FROM_INSTALL]),
    # A machine whose ANSI code page is 1252: the boxes still show the Korean texts.
    "code_page_1252": (["nt"], "code_page_1252", [YES, ALREADY]),
}

# The folder of the uninstaller's own into which it moves what is in use, to be deleted at the
# restart: at the root of the drive, made new for each run.
OWN_FOLDER = re.compile(r"TolvaneUninstall\.[0-9A-Fa-f]{8}$")


class Paths:
    def __init__(self, build):
        self.build = os.path.abspath(build)
        self.root = os.path.join(self.build, "e2e")
        self.base = os.path.join(self.root, "base")
        self.home = os.path.join(self.root, "home")
        # Copies of the base made with it, for the rows to take, and the copies the rows are done
        # with: making or deleting a copy while rows run would move the change time of the files
        # every copy shares (winebox.SharedFiles).
        self.pool = os.path.join(self.root, "pool")
        self.spent = os.path.join(self.root, "spent")
        self.exe = os.path.join(self.build, "TolvaneUninstall.exe")
        helpers = os.path.join(self.build, "tests", "e2e")
        self.answerer = os.path.join(helpers, "e2e_answerer.exe")
        self.listener = os.path.join(helpers, "e2e_listener.exe")
        self.mutex_holder = os.path.join(helpers, "e2e_mutex_holder.exe")
        self.hung_window = os.path.join(helpers, "e2e_hung_window.exe")
        self.planted = os.path.join(helpers, "e2e_planted.dll")
        self.reg_link = os.path.join(helpers, "e2e_reg_link.exe")

    def programs(self):
        """The programs the fixture's copies are made from, by the fixture's names."""
        return {"uninstaller": self.exe, "listener": self.listener}

    @property
    def arch(self):
        """The prefixes run programs of the exe's own architecture."""
        return winebox.pe_arch(self.exe) if os.path.exists(self.exe) else "x86"


def _terminate(signum, frame):
    raise SystemExit("stopped by signal %d" % signum)


def stop_leftovers(workdir):
    """Stops what an earlier, killed run in this folder may have left: its display (by the pid it
    recorded) and its prefix's Wine server."""
    pid_file = os.path.join(workdir, "xvfb.pid")
    if os.path.exists(pid_file):
        pid = int(open(pid_file).read().strip() or 0)
        try:
            with open("/proc/%d/comm" % pid) as f:
                if f.read().strip() == "Xvfb":
                    os.kill(pid, signal.SIGTERM)
        except (OSError, ValueError):
            pass
        os.remove(pid_file)
    prefix = os.path.join(workdir, "prefix")
    if os.path.exists(os.path.join(prefix, "system.reg")):
        winebox.Prefix(prefix, ":0", workdir).stop()


def open_display(workdir):
    display = winebox.Display(workdir).__enter__()
    with open(os.path.join(workdir, "xvfb.pid"), "w") as f:
        f.write(str(display.proc.pid))
    return display


def close_display(display, workdir):
    display.__exit__(None, None, None)
    pid_file = os.path.join(workdir, "xvfb.pid")
    if os.path.exists(pid_file):
        os.remove(pid_file)


def retire(paths, prefix_path):
    """Moves a copy of the base out of the way, into the spent copies that `clean` deletes."""
    if os.path.lexists(prefix_path):
        os.makedirs(paths.spent, exist_ok=True)
        os.rename(prefix_path, os.path.join(paths.spent, "%s-%d-%d" % (
            os.path.basename(os.path.dirname(prefix_path)), os.getpid(), time.monotonic_ns())))


def take_copy(paths, target):
    """Puts a fresh copy of the base at target: one of those made with the base when one is left,
    else a new one."""
    retire(paths, target)
    names = sorted(os.listdir(paths.pool)) if os.path.isdir(paths.pool) else []
    for name in names:
        try:
            os.rename(os.path.join(paths.pool, name), target)
            return
        except FileNotFoundError:
            continue  # another row took it
    winebox.copy_prefix(paths.base, target)


@contextlib.contextmanager
def scratch_prefix(paths, workdir):
    """A copy of the base prefix in workdir on a display of its own, with a home of its own; the
    prefix and the display are stopped on leaving. Nothing of it is shared with another row but
    the base's files that the copy links to (winebox.SharedFiles)."""
    os.makedirs(workdir, exist_ok=True)
    stop_leftovers(workdir)
    display = open_display(workdir)
    prefix = winebox.Prefix(os.path.join(workdir, "prefix"), display.name,
                            os.path.join(workdir, "home"), paths.arch)
    try:
        take_copy(paths, prefix.path)
        yield prefix
    finally:
        prefix.stop()
        close_display(display, workdir)


def clean(paths):
    """Deletes the copies of the base that no row took and those the rows are done with."""
    winebox.remove_tree(paths.pool)
    winebox.remove_tree(paths.spent)


def make_base(paths, copies):
    """The run's base prefix, and copies of it for that many rows."""
    os.makedirs(paths.root, exist_ok=True)
    stop_leftovers(paths.root)
    clean(paths)
    display = open_display(paths.root)
    try:
        winebox.create_prefix(paths.base, display.name, paths.home, paths.arch, unmanaged=True)
        winebox.SharedFiles.record(paths.base)
    finally:
        winebox.Prefix(paths.base, display.name, paths.home, paths.arch).stop()
        close_display(display, paths.root)
    for index in range(copies):
        winebox.copy_prefix(paths.base, os.path.join(paths.pool, "%03d" % index))


def wait_for_line(log, prefix_text, proc, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if os.path.exists(log):
            with open(log, encoding="ascii", errors="replace") as f:
                for line in f:
                    if line.startswith(prefix_text):
                        return line
        if proc.poll() is not None:
            return None
        time.sleep(0.05)
    return None


def read_log(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="ascii", errors="replace") as f:
        return [line.rstrip("\n") for line in f]


def fields(line):
    return dict(m.groups() for m in re.finditer(r"(\w+)=(\S*)", line))


def check_boxes(run, lines, fail, code_page="cp949"):
    """The boxes' texts as the user sees them (read back in UTF-16) and, where the ANSI code page
    is 949, as the bytes the ANSI functions give."""
    seen = [fields(l) for l in lines if l.startswith("box ")]
    for line in lines:
        if line.startswith(("unexpected", "timeout", "error")):
            fail("answerer: " + line[:200])
    if len(seen) != len(run.boxes):
        fail("expected %d message box(es) %s, saw %d" % (len(run.boxes), run.boxes, len(seen)))
    for kind, box in zip(run.boxes, seen):
        text, buttons, icon = BOXES[kind]
        shown = bytes.fromhex(box.get("wtext", "")).decode("utf-8", "replace")
        if shown != text:
            fail("%s box shows %r, expected %r" % (kind, shown, text))
        shown = bytes.fromhex(box.get("wcaption", "")).decode("utf-8", "replace")
        if shown != CAPTION:
            fail("%s box caption shows %r" % (kind, shown))
        got_text = bytes.fromhex(box.get("text", ""))
        if code_page == "cp949" and got_text != text.encode("cp949"):
            fail("%s box text %r, expected %r" % (kind, got_text.decode("cp949", "replace"), text))
        if bytes.fromhex(box.get("caption", "")) != CAPTION.encode("ascii"):
            fail("%s box caption %r" % (kind, bytes.fromhex(box.get("caption", ""))))
        if box.get("buttons") != buttons:
            fail("%s box buttons %s, expected %s" % (kind, box.get("buttons"), buttons))
        if box.get("icon") != icon:
            fail("%s box icon %s, expected %s" % (kind, box.get("icon"), icon))
    if not any(l.startswith("done ") for l in lines):
        fail("answerer did not finish")


def check_broadcast(run, lines, intact, fail):
    received = [fields(l) for l in lines if l.startswith("broadcast ")]
    if not run.broadcast:
        if received:
            fail("broadcast sent although the uninstall was not confirmed: %s" % received)
        return
    if len(received) != 1:
        fail("expected exactly one broadcast, the listener got %d" % len(received))
        return
    got = received[0]
    if got.get("wparam") != "0" or got.get("lparam") != "1023":
        fail("broadcast wParam %s lParam %s, expected 0 and 1023" % (got.get("wparam"),
                                                                      got.get("lparam")))
    for name, present in intact.items():
        if got.get(name) != ("1" if present else "0"):
            fail("at the broadcast, %s present=%s, expected %s" % (name, got.get(name), present))
    returned = [fields(l) for l in lines if l.startswith("returned ")]
    if len(returned) != 1:
        fail("the listener returned from the broadcast %d time(s), expected once" % len(returned))
        return
    gone = [int(fields(l)["time"]) for l in lines if l.startswith("gone ")]
    grace = min(gone) - int(returned[0]["time"]) if gone else None
    if grace is None:
        fail("the listener saw no removal after the broadcast")
    elif not MIN_GRACE_MS <= grace <= MAX_GRACE_MS:
        fail("first removal %d ms after the listener returned from the broadcast, expected "
             "about a second" % grace)


def program_name(rel):
    return os.path.splitext(os.path.basename(rel))[0]


def windows_path(prefix, rel):
    """The path a program of the prefix knows a file of drive_c by (rel as the fixture writes
    it)."""
    return "C:\\" + fixture._expand(prefix, rel).replace("/", "\\")


def planted_folder(prefix):
    return os.path.join(prefix.user_dir(), "Downloads")


def plant(paths, prefix, names):
    """Copies the exe into the user's Downloads folder, beside a copy of the marking DLL under
    each of the names."""
    if not names:
        return
    folder = planted_folder(prefix)
    os.makedirs(folder, exist_ok=True)
    shutil.copy2(paths.exe, folder)
    for name in names:
        shutil.copy2(paths.planted, os.path.join(folder, name))


def check_planted(run, prefix, fail):
    for name in run.planted:
        mark = os.path.join(planted_folder(prefix), name + ".ran")
        if os.path.exists(mark):
            fail("the %s planted beside the exe was loaded into %s" % (
                name, open(mark, "rb").read().decode("ascii", "replace") or "a program"))


class Swapper(threading.Thread):
    """Swaps a folder for a link while the uninstaller deletes its files, as a standard user with
    the right to change the folder's parent could: as soon as the first of its files is gone,
    the folder is renamed away and a link to target takes its place. Done from the Unix side,
    where Wine does not stop a rename of a folder that a Windows program holds open."""

    def __init__(self, drive_c, folder, target):
        super().__init__(daemon=True)
        self.folder_rel, self.target_rel = folder, target  # relative to drive_c
        self.folder = os.path.join(drive_c, folder)
        self.target = os.path.join(drive_c, target)
        self.moved = self.folder + ".swapped"
        self.first = os.path.join(self.folder, fixture.SWAP_FILES[0])
        self.done = threading.Event()
        self.left = None  # files still in the folder when it was swapped

    def run(self):
        while not self.done.is_set():
            if not os.path.lexists(self.first):
                os.rename(self.folder, self.moved)
                winebox.link_to(self.folder, self.target)
                self.left = len(os.listdir(self.moved))
                return
            time.sleep(0.0005)

    def stop(self):
        self.done.set()
        self.join(10)


def unswap(state, folder):
    """The state with the swapped folder's items back under its own name and the link that took
    its place left out, so that it compares with the state before the swap."""
    folder = "drive_c/" + folder
    moved = folder + ".swapped"
    result = {}
    for item, value in state.items():
        if item == ("link", folder):
            continue
        if winebox.under(item, moved):
            item = (item[0], folder + item[1][len(moved):])
        result[item] = value
    return result


def execute(paths, prefix, run, tag, workdir, intact, fail, swapper=None, code_page="cp949"):
    logs = {n: os.path.join(workdir, "%s-%s.log" % (tag, n))
            for n in ["answerer", "listener", "mutex", "hung"]
            + [program_name(rel) for rel in run.running]}
    stop_file = os.path.join(workdir, tag + ".stop")
    for path in list(logs.values()) + [l + ".wine" for l in logs.values()] + [stop_file]:
        if os.path.exists(path):
            os.remove(path)
    stop = winebox.wine_path(stop_file)
    bound_ms = str((RUN_BOUND_S + 30) * 1000)
    helpers = []

    install_dir = os.path.join(prefix.path, "drive_c", fixture.INSTALL_REL)

    def start_helper(exe, log, args, what, cwd=None):
        """Starts a helper with its log and the stop file; False when it did not get ready.
        Wine's own messages go to the log's .wine file. A helper that ended before it got ready
        (on a loaded host Wine has once failed to give it a window) is started once more: it runs
        before the uninstaller, so no fault of the uninstaller's can end it."""
        for attempt in (1, 2):
            proc = prefix.start([exe, winebox.wine_path(logs[log]), stop] + args,
                                log=logs[log] + ".wine", cwd=cwd)
            helpers.append(proc)
            if wait_for_line(logs[log], "ready", proc, 30):
                return True
            if proc.poll() is None or attempt == 2:
                break
            print("%s ended before it was ready (exit code %s); started again" % (
                what, proc.returncode), flush=True)
        fail("%s did not start (exit code %s; Wine's messages in %s)" % (
            what, proc.poll(), logs[log] + ".wine"))
        return False

    try:
        held = [fixture.INSTALL_DIR + "\\" + run.holds] if run.holds else []
        if not start_helper(paths.listener, "listener",
                            [bound_ms, fixture.INSTALL_DIR, str(run.handle_ms)] + held,
                            "broadcast listener",
                            install_dir if run.started_in == "component" else None):
            return
        for rel in run.running:
            name = program_name(rel)
            if not start_helper(windows_path(prefix, rel), name, [bound_ms, fixture.INSTALL_DIR],
                                "the installed " + name):
                return
        if run.mutex_held and not start_helper(paths.mutex_holder, "mutex", [bound_ms],
                                               "mutex holder"):
            return
        if run.hung_window:
            if not start_helper(paths.hung_window, "hung", [bound_ms], "hung window"):
                return
            time.sleep(HUNG_AFTER_S)
        if not start_helper(paths.answerer, "answerer",
                            [str(BOX_WAIT_MS), str(run.hold_ms)] + run.answers, "box answerer"):
            return

        started = time.monotonic()
        exe, overrides = paths.exe, None
        if run.planted:
            folder = os.path.relpath(planted_folder(prefix), os.path.join(prefix.path, "drive_c"))
            exe = "C:\\" + folder.replace("/", "\\") + "\\" + os.path.basename(paths.exe)
            overrides = ",".join(re.sub(r"\.dll$", "", n) for n in run.planted) + "=n,b"
        if run.exe_copy:
            exe = windows_path(prefix, run.exe_copy)
        first = prefix.start([exe] + run.args, overrides=overrides,
                             cwd=install_dir if run.started_in == "exe" else None)
        if swapper:
            swapper.start()
        if run.second_instance and wait_for_line(logs["answerer"], "box ", first, 30):
            again = time.monotonic()
            code = prefix.run([paths.exe], RUN_BOUND_S)
            if code != 0 or time.monotonic() - again > 8:
                fail("a second run during the first one's box: exit code %s after %.1f s, "
                     "expected 0 at once" % (code, time.monotonic() - again))
        code = prefix.finish(first, RUN_BOUND_S)
        took = time.monotonic() - started
        if swapper:
            swapper.stop()
        if code is None:
            fail("the uninstaller hung and was killed after %d s" % RUN_BOUND_S)
            return
        if code != 0:
            fail("exit code %d, expected 0" % code)
        if run.mutex_held and took > 10:
            fail("with the mutex held the uninstaller took %.1f s to exit" % took)
        if run.hung_window and took > HUNG_RUN_BOUND_S:
            fail("with a hung window on the desktop the uninstaller took %.1f s" % took)
        time.sleep(run.quiet_ms / 1000)
        open(stop_file, "w").close()
        for proc in helpers:
            try:
                proc.wait(15)
            except Exception:
                fail("a helper did not stop")
        check_boxes(run, read_log(logs["answerer"]), fail, code_page)
        check_broadcast(run, read_log(logs["listener"]), intact, fail)
    finally:
        prefix.stop()
        for proc in helpers:
            winebox.stop_process(proc)


def row_workdir(paths, name, family):
    """The row's own folder: the same row on another exe (a signed copy) gets another."""
    tag = "%s-%s" % (name, family)
    exe_dir = os.path.dirname(paths.exe)
    if exe_dir != paths.build:
        tag += "-" + os.path.basename(exe_dir)
    return os.path.join(paths.root, tag)


def run_scenario(paths, name, family, keep=False):
    """Runs one row; returns the list of failures (empty when it passed)."""
    families, variant, runs = SCENARIOS[name]
    workdir = row_workdir(paths, name, family)
    failures = []

    def fail(message):
        failures.append(message)
        print("FAIL %s [%s]: %s" % (name, family, message), flush=True)

    with scratch_prefix(paths, workdir) as prefix:
        fixture.install(prefix, variant, family, workdir, paths.reg_link, paths.programs())
        locale = fixture.VARIANTS[variant].get("locale")
        if locale:
            # Wine rewrites the user's locale settings, keyboard layout and localized font names
            # for a program started with another locale than the last one: a program that does
            # nothing takes that before the state is taken.
            prefix.locale = locale
            prefix.run(["cmd", "/c", "exit"], 60)
            prefix.stop()
        for run in runs:
            plant(paths, prefix, run.planted)
        state = winebox.snapshot(prefix.path)
        expected, missing = fixture.expected_removal(prefix, state, variant, family)
        for item in missing + fixture.missing_from(prefix, state, variant, family):
            fail("fixture: %s is missing before the run" % item)
        win98 = ("value", "HKCU", "software\\wine", "version") in state
        if win98 != (family == "9x"):
            fail("fixture: Windows version setting does not match family %s" % family)
        intact = {
            "classvalue": fixture.VARIANTS[variant].get("class_value", "") is not None,
            "config": True,
            "folder": "files_removed" not in fixture.VARIANTS[variant],
        }
        swapped = fixture.VARIANTS[variant].get("swapped")
        swapped_at_restart = fixture.VARIANTS[variant].get("swapped_at_restart")
        shared = winebox.SharedFiles.of(paths.base, prefix.path)
        for index, run in enumerate(runs):
            tag = "run%d" % (index + 1)
            count = len(failures)
            swapper = Swapper(os.path.join(prefix.path, "drive_c"),
                              *[fixture._expand(prefix, p) for p in swapped]) if swapped else None
            execute(paths, prefix, run, tag, workdir, intact, fail, swapper,
                    fixture.code_page(variant))
            check_planted(run, prefix, fail)
            # What the uninstall left for the next start of Windows, then that start.
            held = winebox.snapshot(prefix.path)
            check_scheduled(prefix, state, held, lambda m: fail(tag + ": " + m),
                            fixture.VARIANTS[variant].get("in_place", False))
            if swapped_at_restart:
                link_before_restart(prefix, *swapped_at_restart)
            started = time.monotonic()
            code = prefix.restart()
            print("%s restarted in %.1f s" % (tag, time.monotonic() - started), flush=True)
            if code != 0:
                fail("%s: wineboot --restart ended with %s" % (tag, code))
            after = winebox.snapshot(prefix.path)
            # What is still there of what goes; the first run may leave some for a later one.
            must_go = {i for i in expected if i in state} if run.removes else set()
            if index == 0:
                must_go -= fixture.first_run_leaves(prefix, variant)
            if swapped:
                after, must_go = check_swap(swapper, state, after, must_go, fail)
            if swapped_at_restart:
                after = check_link_at_restart(swapped_at_restart, held, after, fail)
            removed, added, changed = winebox.compare(state, after, shared)
            for item in sorted(must_go - removed):
                fail("%s: still there, should be removed: %s" % (tag, winebox.describe(item)))
            for item in sorted(removed - must_go):
                fail("%s: removed, should stay: %s" % (tag, winebox.describe(item)))
            for item in sorted(added):
                fail("%s: appeared: %s" % (tag, winebox.describe(item)))
            for item in sorted(changed):
                fail("%s: changed: %s" % (tag, winebox.describe(item)))
            print("%s %s [%s] %s: %d item(s) removed" % (
                "ok  " if len(failures) == count else "FAIL", name, family, tag, len(removed)),
                flush=True)
            state = after
            # What a later run's broadcast finds: only what the runs so far left.
            class_item = ("value",) + fixture.snapshot_key(prefix.arch, "HKCR",
                                                           fixture.CLASS_KEY) + ("",)
            intact = {"classvalue": class_item in after, "config": False,
                      "folder": ("dir", "drive_c/" + fixture.INSTALL_REL) in after}
    if not failures and not keep:
        retire(paths, prefix.path)
    return failures


def scheduled_renames(state):
    """PendingFileRenameOperations of a snapshot as (source, target) pairs, "\\??\\" left off
    each path; an empty target is a deletion. Data of another type is one source."""
    data = state.get(winebox.PENDING_RENAMES)
    if data is None:
        return []
    strings = winebox.registry_strings(data)
    if strings is None:
        return [(data, "")]
    strings = [re.sub(r"^\\\?\?\\", "", t) for t in strings]
    return [(strings[i], strings[i + 1] if i + 1 < len(strings) else "")
            for i in range(0, len(strings), 2)]


def check_scheduled(prefix, before, held, fail, in_place=False):
    """What the uninstall left for the next start of Windows (held: the state as it ended), before
    the restart carries it out and removes the traces: deletions only, each in the uninstaller's
    own folder at the drive's root (OWN_FOLDER, whose files are moved there through their
    handles) or the system executable where it stands. The system directory and every folder
    above it are the administrators' alone, while at any other path whoever may rename a folder
    on the way could put a link there for Windows to follow, as SYSTEM, at its start. The way is
    chosen by what Windows can do, not by the version it reports: Wine's ntdll has the file calls
    in every version Wine plays, win98 included, so every row takes the NT family's way, and
    WININIT.INI (for a Windows without those calls) is never written; the unit tests take that
    way through the seam."""
    renames = scheduled_renames(held) if held.get(winebox.PENDING_RENAMES) != \
        before.get(winebox.PENDING_RENAMES) else []
    for item in held:
        if item[0] == "file" and item not in before and \
                item[1].lower() == "drive_c/windows/wininit.ini":
            fail("wrote %s, although ntdll has the file calls" % item[1])
    # The restart's deletions are carried out by a program of the prefix's own architecture,
    # with no redirection of C:\windows\system32: the product's executable must be named where
    # it really lies (syswow64 for the 32-bit build in a 64-bit prefix).
    system_exe, other_exe = ["C:\\windows\\%s\\kelrun32.exe" % os.path.basename(folder)
                             for folder in (prefix.system32_dir(), prefix.other_system_dir())]
    # Only the rows whose install folder's path is the administrators' alone (in_place) may have
    # a file deleted where it stands, and then only in the install folder; the system executable
    # goes through the uninstaller's own folder.
    install = fixture.INSTALL_DIR
    for source, target in renames:
        parts = source.split("\\")
        own = len(parts) in (2, 3) and parts[0].lower() == "c:" and OWN_FOLDER.match(parts[1])
        if target:
            fail("scheduled a rename at the restart: %s -> %s" % (source, target))
        elif source.lower() == other_exe.lower() and other_exe != system_exe:
            fail("scheduled %s, the other architecture's, for deletion at the restart (the path "
                 "was not redirected); the product's is %s" % (source, system_exe))
        elif not own and not (in_place and (source.lower() == install.lower() or
                                            source.lower().startswith(install.lower() + "\\"))):
            fail("scheduled for deletion at the restart where it stands, outside the "
                 "uninstaller's own folder%s: %s" % (
                     " and the install folder" if in_place else "", source))


def link_before_restart(prefix, folder, target):
    """Once the uninstaller has ended, before the restart: a link to target put at the folder's
    path, as whoever may change the folder's parent could; whatever the uninstall left of the
    folder is renamed away first (see unswap)."""
    drive_c = os.path.join(prefix.path, "drive_c")
    folder = os.path.join(drive_c, fixture._expand(prefix, folder))
    if os.path.lexists(folder):
        os.rename(folder, folder + ".swapped")
    winebox.link_to(folder, os.path.join(drive_c, fixture._expand(prefix, target)))


def check_link_at_restart(swapped, held, after, fail):
    """Nothing in the folder the link led to may have changed at the restart. Returns the state
    after, with what the uninstall left of the folder back under its own name and the link left
    out."""
    folder, target = swapped
    for item, value in held.items():
        if winebox.under(item, "drive_c/" + target) and after.get(item) != value:
            fail("at the restart, through the link: %s" % winebox.describe(item))
    return unswap(after, folder)


def check_swap(swapper, before, after, must_go, fail):
    """The swap must have come while the files were deleted, and nothing in the folder the link
    led to may have changed. Returns the state after, with the swapped folder back under its own
    name, and what must go, less the swapped folder's files: any of them may have gone before
    the swap, and whatever stayed there stays."""
    folder, target = swapper.folder_rel, "drive_c/" + swapper.target_rel
    if swapper.left is None:
        fail("inconclusive: the first file was never deleted, so the folder was never swapped")
    elif swapper.left == 0:
        fail("inconclusive: the folder was swapped after all its files were deleted")
    else:
        print("swapped with %d of the folder's files left" % swapper.left, flush=True)
    for item, value in before.items():
        if winebox.under(item, target) and after.get(item) != value:
            fail("the link's target changed: %s" % winebox.describe(item))
    inside = "drive_c/" + folder
    after = unswap(after, folder)
    gone = {i for i in before if winebox.under(i, inside) and i not in after}
    return after, {i for i in must_go if not winebox.under(i, inside)} | gone


def noise(paths, rounds=3):
    """Starts a copy of the base prefix with only Wine's own processes a few times, then
    restarts it as the rows do as many times, and prints what changed between one and the next,
    Wine's known rewrites included, with the time each restart took."""
    workdir = os.path.join(paths.root, "noise")
    with scratch_prefix(paths, workdir) as prefix:
        state = winebox.snapshot(prefix.path)
        for index in range(2 * rounds):
            started = time.monotonic()
            if index < rounds:
                prefix.run(["cmd", "/c", "exit"], 60)
                prefix.stop()
                print("start %d:" % (index + 1))
            else:
                prefix.restart()
                print("restart %d (%.1f s):" % (index - rounds + 1, time.monotonic() - started))
            after = winebox.snapshot(prefix.path)
            for item in sorted(set(state) | set(after)):
                if state.get(item) != after.get(item):
                    print("  %s%s" % (winebox.describe(item),
                                      "  (known)" if winebox.is_noise(item) else ""))
            state = after
    retire(paths, os.path.join(workdir, "prefix"))


def cost(paths, rounds):
    """Runs the Yes row rounds times and prints the time from the listener's return from the
    broadcast to the completion box's appearance, as the helpers logged them: the prescribed
    one-second wait, then the work after it."""
    times = []
    for _ in range(rounds):
        if run_scenario(paths, "yes", "nt", keep=True):
            raise SystemExit("the Yes row failed")
        workdir = row_workdir(paths, "yes", "nt")
        returned = [fields(l) for l in read_log(os.path.join(workdir, "run1-listener.log"))
                    if l.startswith("returned ")]
        boxes = [fields(l) for l in read_log(os.path.join(workdir, "run1-answerer.log"))
                 if l.startswith("box ")]
        # When the answerer found the box (it looks every 5 ms), not when it read it, 300 ms on.
        times.append(int(boxes[1]["found"]) - int(returned[0]["time"]))
        retire(paths, os.path.join(workdir, "prefix"))
    times.sort()
    print("%s: listener returned to completion box: median %d ms, fastest %d ms (%d runs: %s)" % (
        paths.exe, times[len(times) // 2], times[0], rounds, " ".join(map(str, times))))


def main():
    signal.signal(signal.SIGTERM, _terminate)
    signal.signal(signal.SIGHUP, _terminate)
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("command",
                        choices=["base", "run", "clean", "all", "list", "noise", "cost"])
    parser.add_argument("name", nargs="?")
    parser.add_argument("family", nargs="?", choices=["nt", "9x"])
    parser.add_argument("--build", default=".")
    parser.add_argument("--keep", action="store_true", help="keep the prefix of a passed row")
    parser.add_argument("--exe", help="run, cost: the uninstaller to run (default: the build's)")
    parser.add_argument("--rounds", type=int, default=5, help="cost: runs of the Yes row")
    parser.add_argument("--copies", type=int, default=0,
                        help="base: copies of the base to make for the rows")
    options = parser.parse_args()
    paths = Paths(options.build)
    if options.exe:
        paths.exe = os.path.abspath(options.exe)
    if options.command == "list":
        for name, (families, _, _) in SCENARIOS.items():
            for family in families:
                print(name, family)
        return 0
    if options.command == "base":
        make_base(paths, options.copies)
        return 0
    if options.command == "clean":
        clean(paths)
        return 0
    if options.command == "noise":
        noise(paths)
        return 0
    if options.command == "cost":
        cost(paths, options.rounds)
        return 0
    if options.command == "run":
        if options.name not in SCENARIOS or options.family not in SCENARIOS[options.name][0]:
            parser.error("unknown row %s %s" % (options.name, options.family))
        return 1 if run_scenario(paths, options.name, options.family, options.keep) else 0
    started = time.monotonic()
    failed = []
    for name, (families, _, _) in SCENARIOS.items():
        for family in families:
            if run_scenario(paths, name, family, options.keep):
                failed.append("%s %s" % (name, family))
    print("wall time %.0f s; %s" % (time.monotonic() - started,
                                    "failed: " + ", ".join(failed) if failed else "all passed"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
