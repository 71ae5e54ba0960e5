"""Wine prefixes for the end-to-end scenarios and the demo: a private X display, prefixes made
under the build folder (never ~/.wine), Wine sessions that are always stopped, and a snapshot of
a prefix's whole state (every registry key and value, every file) with a comparison of two.

Everything this module starts is stopped by its own id: the Xvfb by its pid, each prefix's Wine
server with `WINEPREFIX=<that prefix> wineserver -k`.
"""
import ctypes
import hashlib
import json
import os
import pwd
import re
import shutil
import signal
import stat
import struct
import subprocess
import time
from collections import namedtuple

# What Wine itself rewrites on every start of a prefix, found by running a prefix with nothing but
# Wine's own processes several times and comparing the whole state after each run (`e2e.py noise`
# repeats the experiment). Only this one value changes on every start: the display adapter's
# driver date, rewritten with the start time. The first start after wineboot also deletes a few
# keys of its own (network cards), and the first program with a user interface the class names of
# displays and monitors; create_prefix starts such a program before anything is compared, so those
# need no exception.
WINE_NOISE = [
    ("value", "HKLM",
     r"system\currentcontrolset\control\class\{4d36e968-e325-11ce-bfc1-08002be10318}\0000",
     "driverdatedata"),
    # In a Wine virtual desktop (explorer /desktop=..., used by the demo for its pictures) the
    # same adapter also gains a link value.
    ("value", "HKLM",
     r"system\currentcontrolset\control\class\{4d36e968-e325-11ce-bfc1-08002be10318}\0000",
     "symboliclinkvalue"),
]
# The registry files are compared by content, as keys and values, not as files.
REGISTRY_FILES = {"system.reg": "HKLM", "user.reg": "HKCU", "userdef.reg": "HKU_DEFAULT"}


# Wine's loader for each architecture of Windows program. Debian's `wine` command picks the 32-bit
# loader whenever wine32 is installed, runnable or not, so 64-bit programs get the 64-bit loader
# directly (with WINELOADER naming it, for the processes Wine starts itself).
WINE64 = "/usr/lib/wine/wine64"
PE_MACHINES = {0x14C: "x86", 0x8664: "x64"}


def pe_arch(exe):
    """"x86" or "x64": the architecture a Windows program was built for, from its PE header."""
    with open(exe, "rb") as f:
        head = f.read(4096)
    offset = struct.unpack_from("<I", head, 0x3C)[0]
    if head[:2] != b"MZ" or head[offset:offset + 4] != b"PE\0\0":
        raise ValueError("%s is not a Windows program" % exe)
    machine = struct.unpack_from("<H", head, offset + 4)[0]
    if machine not in PE_MACHINES:
        raise ValueError("%s is built for machine 0x%x" % (exe, machine))
    return PE_MACHINES[machine]


def wine_path(unix_path):
    """The path of a host file as Windows programs see it (through Wine's Z: drive)."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def _die_with_parent():
    """Ends the display when the process that started it dies, even by SIGKILL (a test
    timeout); the Wine programs on it then end too, having lost their display."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class Display:
    """A virtual X display of our own, started on entry and stopped by pid on exit."""

    def __init__(self, workdir, size="1024x768"):
        self.workdir, self.size, self.proc, self.name = workdir, size, None, None

    def __enter__(self):
        os.makedirs(self.workdir, exist_ok=True)
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.size + "x24",
             "-nolisten", "tcp"], pass_fds=(write_end,), stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True,
            preexec_fn=_die_with_parent)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 10
        with os.fdopen(read_end, "rb") as pipe:
            while time.monotonic() < deadline and not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            self.__exit__(None, None, None)
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number.decode().strip()
        return self

    def __exit__(self, *exc):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


# The Unix locale Wine's programs run with: Korean, whose ANSI code page is 949.
KOREAN_LOCALE = "ko_KR.UTF-8"


class Prefix:
    """One Wine prefix under the build folder, with the environment to run programs in it. arch:
    the architecture of the programs it runs ("x86" in a prefix made by 32-bit Wine, "x64" in one
    made by 64-bit Wine). locale: the Unix locale its programs run with, which gives Windows'
    ANSI code page (C.UTF-8 and en_US.UTF-8: 1252)."""

    def __init__(self, path, display, home, arch="x86", locale=KOREAN_LOCALE):
        self.path, self.display, self.home = os.path.abspath(path), display, home
        self.arch, self.locale = arch, locale

    def loader(self):
        return [WINE64] if self.arch == "x64" else ["wine"]

    def env(self, overrides=None):
        """overrides: more WINEDLLOVERRIDES entries ("name=n,b"), added to the prefix's own."""
        env = dict(os.environ)
        # No Mono or Gecko; and no winemenubuilder, which each start of the desktop runs to copy
        # Windows' menus and file associations into the Linux desktop's (under HOME): nothing
        # in the prefix needs it, and it is one more program per Wine session. No winedbg
        # either: a program that crashes ends at once (its exit code and log tell), instead of
        # Wine's debugger starting and writing console and debugger settings into the registry
        # the row compares (seen once, under load, from a process that was not the uninstaller).
        env.update(WINEPREFIX=self.path, DISPLAY=self.display, HOME=self.home,
                   LC_ALL=self.locale, WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
                   + (";" + overrides if overrides else ""))
        if self.arch == "x64":
            env["WINELOADER"] = WINE64
        else:
            env.pop("WINELOADER", None)
        # Wine links the user's shell folders to XDG folders it finds under HOME: a private,
        # empty HOME keeps them inside the prefix.
        env.pop("XDG_CONFIG_HOME", None)
        return env

    def start(self, args, log=None, overrides=None, cwd=None):
        """cwd: a folder of the prefix, which Wine makes the program's current folder."""
        out = open(log, "ab") if log else subprocess.DEVNULL
        try:
            return subprocess.Popen(self.loader() + list(args), env=self.env(overrides),
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=out, cwd=cwd)
        finally:
            if log:
                out.close()

    def run(self, args, timeout):
        """Runs a program to its end; returns its exit code, or None when it hung (then the
        whole Wine server of this prefix is stopped)."""
        return self.finish(self.start(args), timeout)

    def finish(self, proc, timeout):
        """Waits for a started program like run() does."""
        try:
            return proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.stop()
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
            return None

    def stop(self):
        """Stops this prefix's Wine server and every Wine process in it; the server saves the
        registry files as it goes."""
        subprocess.run(["wineserver", "-k"], env=self.env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60, check=False)
        subprocess.run(["wineserver", "-w"], env=self.env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60, check=False)

    def restart(self, timeout=120):
        """Windows' restart as Wine makes it: this prefix's server stopped, `wineboot --restart`
        run (it carries out what was scheduled for the next start of Windows, the registry's
        PendingFileRenameOperations and WININIT.INI's [rename] section, as every start of the
        server does), and the server stopped again, so that the registry files hold the result.
        Returns wineboot's exit code (None when it hung)."""
        self.stop()
        try:
            code = subprocess.run(self.loader() + ["wineboot", "--restart"], env=self.env(),
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, timeout=timeout,
                                  check=False).returncode
        except subprocess.TimeoutExpired:
            code = None
        self.stop()
        return code

    def user_dir(self):
        users = os.path.join(self.path, "drive_c", "users")
        own = os.path.join(users, pwd.getpwuid(os.getuid()).pw_name)  # Wine names it so
        if os.path.isdir(own):
            return own
        names = [n for n in sorted(os.listdir(users)) if n != "Public"]
        return os.path.join(users, names[0])

    def system32_dir(self):
        """Where the system directory (C:\\windows\\system32) of the prefix's programs lives:
        for a 32-bit program in a 64-bit prefix, that is syswow64."""
        windows = os.path.join(self.path, "drive_c", "windows")
        wow = os.path.join(windows, "syswow64")
        if self.arch == "x86" and os.path.isdir(wow):
            return wow
        return os.path.join(windows, "system32")

    def other_system_dir(self):
        """The system folder of the other architecture, which the prefix's programs never see as
        their own (the 64-bit one for a 32-bit program, syswow64 for a 64-bit one)."""
        windows = os.path.join(self.path, "drive_c", "windows")
        return os.path.join(windows, "syswow64" if self.arch == "x64" else "system32")


def create_prefix(path, display, home, arch="x86", unmanaged=False):
    """A new prefix (wineboot, about 15 s) for programs of arch, with the user's shell folders
    made real folders.

    unmanaged: for a display without a window manager (the tests' Xvfb). Wine's X11 driver then
    still waits for one to take each closed top-level window away, two seconds per message box
    answered, unless told that no window manager manages its windows ("Managed"="N")."""
    if os.path.exists(path):
        shutil.rmtree(path)
    os.makedirs(home, exist_ok=True)
    prefix = Prefix(path, display, home, arch)
    subprocess.run(prefix.loader() + ["wineboot", "-i"], env=prefix.env(), stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300, check=True)
    prefix.stop()
    # The first Windows program with a user interface to start loads the display driver, which
    # tidies a few keys of Wine's own (the names of the display and monitor classes); get that
    # over with here: rundll32 is such a program and, given nothing to run, ends at once.
    first = [["rundll32.exe"]]
    if unmanaged:
        first.append(["reg.exe", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
                      "/d", "N", "/f"])
    for args in first:
        if prefix.run(args, 60) != 0:
            raise RuntimeError("the first start of the new prefix failed: %s" % " ".join(args))
    prefix.stop()
    user = prefix.user_dir()
    for name in os.listdir(user):
        entry = os.path.join(user, name)
        if os.path.islink(entry):
            os.unlink(entry)
            os.mkdir(entry)
    return prefix


# Wine's own binaries are never written in place, so copies of a prefix share them (hard links);
# everything else is copied.
_SHARED_DIRS = ("drive_c/windows/system32/", "drive_c/windows/syswow64/",
                "drive_c/windows/winsxs/")
_SHARED_MIN_SIZE = 16384


def copy_prefix(source, target):
    if os.path.exists(target):
        shutil.rmtree(target)

    def copy(src, dst):
        rel = os.path.relpath(src, source).replace(os.sep, "/")
        if rel.startswith(_SHARED_DIRS) and os.path.getsize(src) >= _SHARED_MIN_SIZE:
            os.link(src, dst)
        else:
            shutil.copy2(src, dst)

    shutil.copytree(source, target, symlinks=True, copy_function=copy)


def _digest(path):
    with open(path, "rb") as f:
        return hashlib.file_digest(f, "sha256").hexdigest()


class SharedFiles:
    """The files that a copy of a prefix shares with it as hard links (copy_prefix), with the
    inode and a digest of the content of each, taken once when the prefix was made.

    A shared file is one inode in every copy, so a link made or removed anywhere (another copy
    made or deleted beside this one) moves its change time in all of them at once, although its
    content and everything Windows sees of it stayed. compare() asks same() about a file of the
    copy whose record moved in its change time alone: it is unchanged only when it is still the
    shared inode and its content is still the digest's. Any other change (content, size,
    modification time, mode, owner, extended attributes, the name gone or replaced) shows as
    ever."""

    def __init__(self, table, copy):
        self.table, self.copy = table, copy  # table: relative path -> (inode, sha256)
        self._checked = {}  # (inode, change time) -> content found the same

    @staticmethod
    def _table_path(source):
        return source.rstrip("/") + ".shared.json"

    @classmethod
    def record(cls, source):
        """Digests every file of the prefix at source that copy_prefix shares, and keeps the
        table beside the prefix (written whole, then renamed into place)."""
        table = {}
        for folder in _SHARED_DIRS:
            for parent, _, names in os.walk(os.path.join(source, folder)):
                for name in names:
                    path = os.path.join(parent, name)
                    st = os.lstat(path)
                    if stat.S_ISREG(st.st_mode) and st.st_size >= _SHARED_MIN_SIZE:
                        rel = os.path.relpath(path, source).replace(os.sep, "/")
                        table[rel] = (st.st_ino, _digest(path))
        path = cls._table_path(source)
        with open("%s.%d" % (path, os.getpid()), "w") as f:
            json.dump(table, f)
        os.replace("%s.%d" % (path, os.getpid()), path)

    @classmethod
    def of(cls, source, copy):
        """The files that copy shares with the prefix at source (the table recorded when that
        was made, or recorded now)."""
        path = cls._table_path(source)
        if not os.path.exists(path):
            cls.record(source)
        with open(path) as f:
            return cls({rel: tuple(entry) for rel, entry in json.load(f).items()}, copy)

    def same(self, item, before, after):
        if item[0] != "file" or before._replace(ctime_ns=after.ctime_ns) != after:
            return False
        entry = self.table.get(item[1])
        if entry is None or entry[0] != after.ino:
            return False
        key = (after.ino, after.ctime_ns)
        if key not in self._checked:
            path = os.path.join(self.copy, item[1])
            try:
                self._checked[key] = (os.lstat(path).st_ino == after.ino
                                      and _digest(path) == entry[1])
            except OSError:
                self._checked[key] = False
        return self._checked[key]


# --- Whole-state snapshot -------------------------------------------------------------------

_KEY_LINE = re.compile(r"^\[(.*)\](?: \d+)?$")
_VALUE_LINE = re.compile(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$')


def parse_registry_file(path, hive, items):
    """Adds ("key", hive, path) and ("value", hive, path, name) items with their data; key paths
    and value names are lower case (the registry ignores case), left escaped as Wine writes
    them. Key times are not state. A link key is a key with a "#link" meta item and its
    "symboliclinkvalue" value."""
    key = None
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        pending = ""
        for raw in f:
            line = pending + raw.rstrip("\n")
            if line.endswith("\\") and key is not None and not line.startswith("["):
                pending = line[:-1]
                continue
            pending = ""
            match = _KEY_LINE.match(line)
            if match:
                key = match.group(1).replace("\\\\", "\\").lower()
                items[("key", hive, key)] = ""
                # Wine leaves out a key without values whose subkeys it writes: it is there all
                # the same.
                parent = key
                while "\\" in parent:
                    parent = parent.rsplit("\\", 1)[0]
                    if ("key", hive, parent) in items:
                        break
                    items[("key", hive, parent)] = ""
                continue
            if key is None or not line or line.startswith(";") or line.startswith("#time="):
                continue
            if line.startswith("#"):
                items[("meta", hive, key, line.split("=", 1)[0])] = line
                continue
            match = _VALUE_LINE.match(line.strip())
            if match:
                name = "" if match.group(1) == "@" else match.group(1)[1:-1]
                items[("value", hive, key, name.lower())] = match.group(2).strip()


# Where Windows NT keeps what is to be renamed or deleted at its next start (MoveFileEx with
# MOVEFILE_DELAY_UNTIL_REBOOT): pairs of source and target, an empty target for a deletion.
PENDING_RENAMES = ("value", "HKLM", r"system\currentcontrolset\control\session manager",
                   "pendingfilerenameoperations")

_ESCAPES = {"a": "\a", "b": "\b", "t": "\t", "n": "\n", "v": "\v", "f": "\f",
            "r": "\r", "e": "\x1b"}


def registry_strings(data):
    """The strings of a REG_SZ, REG_EXPAND_SZ or REG_MULTI_SZ value as parse_registry_file keeps
    its data (str:"...", str(2):"...", str(7):"..." or hex(7):...), the separating and
    terminating NULs dropped (a REG_MULTI_SZ may hold empty strings between others); None for
    data of another type."""
    if data.startswith("hex(7):"):
        raw = bytes.fromhex(data[len("hex(7):"):].replace(",", "").replace(" ", ""))
        text = raw.decode("utf-16-le", "surrogatepass")
    else:
        match = re.match(r'^str(?:\((?:2|7)\))?:"(.*)"$', data)
        if not match:
            return None
        body, text, i = match.group(1), "", 0
        # Wine writes a backslash or a quote escaped, control characters as C escapes (\0 a
        # NUL) or in octal, and characters above 127 as \x<hex>.
        while i < len(body):
            c = body[i]
            i += 1
            if c != "\\" or i == len(body):
                text += c
                continue
            c = body[i]
            i += 1
            if c == "x":
                digits = re.match(r"[0-9a-fA-F]{1,4}", body[i:]).group(0)
                text += chr(int(digits, 16))
                i += len(digits)
            elif c in "01234567":
                digits = re.match(r"[0-7]{1,3}", body[i - 1:]).group(0)
                text += chr(int(digits, 8))
                i += len(digits) - 1
            else:
                text += _ESCAPES.get(c, c)
    strings = text.split("\0")
    while strings and strings[-1] == "":
        strings.pop()
    return strings


FileState = namedtuple("FileState", "size mode uid gid ino mtime_ns ctime_ns xattrs")


def snapshot(prefix_path):
    """Every registry key and value and every file, folder and link of the prefix."""
    items = {}
    for name, hive in REGISTRY_FILES.items():
        path = os.path.join(prefix_path, name)
        if os.path.exists(path):
            parse_registry_file(path, hive, items)

    def walk(folder, rel):
        with os.scandir(folder) as entries:
            for entry in entries:
                child = rel + entry.name
                if rel == "" and entry.name in REGISTRY_FILES:
                    continue
                st = entry.stat(follow_symlinks=False)
                if entry.is_symlink():
                    items[("link", child)] = os.readlink(entry.path)
                elif entry.is_dir(follow_symlinks=False):
                    items[("dir", child)] = ""
                    walk(entry.path, child + "/")
                else:
                    # Same inode and change time means the same file: nothing can write a file or
                    # change its attributes without moving its change time. The rest is kept to
                    # tell what changed, and for SharedFiles, which discounts the change time of
                    # a link made or removed elsewhere.
                    try:
                        xattrs = tuple(sorted((name, os.getxattr(entry.path, name,
                                                                 follow_symlinks=False))
                                              for name in os.listxattr(entry.path,
                                                                       follow_symlinks=False)))
                    except OSError:
                        xattrs = None
                    items[("file", child)] = FileState(st.st_size, st.st_mode, st.st_uid,
                                                       st.st_gid, st.st_ino, st.st_mtime_ns,
                                                       st.st_ctime_ns, xattrs)

    walk(prefix_path, "")
    return items


def is_noise(item):
    return item in WINE_NOISE


def compare(before, after, shared=None):
    """(removed, added, changed) items, Wine's own rewrites left out. shared: the SharedFiles of
    a prefix that is a copy (copy_prefix)."""
    removed = {k for k in before if k not in after and not is_noise(k)}
    added = {k for k in after if k not in before and not is_noise(k)}
    changed = {k for k in before if k in after and before[k] != after[k] and not is_noise(k)
               and not (shared and shared.same(k, before[k], after[k]))}
    return removed, added, changed


def describe(item):
    if item[0] in ("file", "dir", "link"):
        return "%s %s" % (item[0], item[1])
    if item[0] == "key":
        return "key %s\\%s" % (item[1], item[2])
    if item[0] == "value":
        return "value %s\\%s : %s" % (item[1], item[2], item[3] or "@")
    return " ".join(str(p) for p in item)


def link_to(link, target):
    """Makes link a Unix symbolic link to target, written relative to the link's folder (as
    Wine shows it: a link within drive_c)."""
    os.symlink(os.path.relpath(target, os.path.dirname(link)), link)


def under(item, path):
    """Whether a snapshot item is the file or folder path, or lies below it."""
    return item[0] in ("file", "dir") and (item[1] == path or item[1].startswith(path + "/"))


def remove_tree(path):
    if os.path.isdir(path) and not os.path.islink(path):
        shutil.rmtree(path)
    elif os.path.lexists(path):
        os.remove(path)


def stop_process(proc, timeout=10):
    if proc and proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
