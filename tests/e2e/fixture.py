"""A complete installation of Tolvane in a Wine prefix, the decoys around it that the uninstaller
must leave alone, and exactly what a completed uninstall removes.

The product is 32-bit, so with the shipped exe its registry entries live in the 32-bit view of a
64-bit prefix (HKLM\\SOFTWARE and HKCR redirected to Wow6432Node) and its system executable in
drive_c/windows/syswow64, which is what a 32-bit program sees as C:\\windows\\system32. The
x86-64 build of the uninstaller (the test vehicle for hosts that cannot run 32-bit code) sees the
native view and drive_c/windows/system32 instead, so there the installation goes to that view and
the decoys of "the other view" to the 32-bit one. The fixture is written through reg.exe with the
view named, so Wine itself decides where each entry goes; `snapshot_key` says where that is in the
registry files, and the harness checks every entry the fixture promises is really there before a
scenario runs.
"""
import os
import re
import shutil

import winebox

PRODUCT = "톨바네"
INSTALL_DIR = r"C:\Program Files (x86)\Brenlock\Tolvane"
CLASS_KEY = r"CLSID\{C19F4B73-6E2A-4D85-B0F7-8E3A1D9C5B26}\InProcServer32"
RUN_KEY = r"SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall"
SERVICES_KEY = r"SYSTEM\CurrentControlSet\Services"
RUNSERVICES_KEY = r"Software\Microsoft\Windows\CurrentVersion\RunServices"
SHELL_FOLDERS_KEY = r"Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
USER_SHELL_FOLDERS_KEY = SHELL_FOLDERS_KEY.replace("Shell Folders", "User Shell Folders")

# Registry: (root, key path, values). Roots are HKLM, HKCU and HKCR of the view the uninstaller
# sees, and HKLM_OTHER for the other view (the 64-bit one for the shipped 32-bit exe). Values:
# str is REG_SZ, int REG_DWORD, bytes REG_BINARY; "" names the default value. Services and
# settings nest several levels deep, with values at every level, and some names differ in case
# from the uninstaller's constants, as an installer may write them.
REGISTRY = [
    # The maker's settings tree: Config, Warder and Update go, the rest stays.
    ("HKLM", r"SOFTWARE\Brenlock\Tolvane", {"InstallPath": INSTALL_DIR, "Version": "3.2.1"}),
    ("HKLM", r"SOFTWARE\Brenlock\Tolvane\Config", {"": "default", "ScanLevel": 3,
                                                   "Signature": bytes(range(256)) * 2}),
    ("HKLM", r"SOFTWARE\Brenlock\Tolvane\Config\Scan", {"Archives": 1, "Paths": r"C:\;D:\\"}),
    ("HKLM", r"SOFTWARE\Brenlock\Tolvane\Config\Scan\Exclude", {"1": r"C:\windows"}),
    ("HKLM", r"SOFTWARE\Brenlock\Tolvane\WARDER", {"Enabled": 1}),
    ("HKLM", r"SOFTWARE\Brenlock\Tolvane\WARDER\Rules", {"Count": 2}),
    ("HKLM", r"SOFTWARE\Brenlock\Tolvane\Update", {"Server": "update.brenlock.example",
                                                   "Last": 20240101}),
    ("HKLM", r"SOFTWARE\Brenlock\Tolvane\Quarantine", {"Folder": INSTALL_DIR + r"\Quarantine"}),
    ("HKLM", r"SOFTWARE\Brenlock\Tolvane\ConfigBackup", {"ScanLevel": 2}),
    ("HKLM", r"SOFTWARE\Brenlock\Tolvane Lite\Config", {"ScanLevel": 1}),
    ("HKCU", r"Software\Brenlock\Tolvane\Config", {"Language": "ko"}),
    # Startup values: only "Tolguard" goes, in both HKLM and HKCU.
    ("HKLM", RUN_KEY, {"Tolguard": INSTALL_DIR + r"\tolguard.exe", "OtherApp": r"C:\other.exe",
                       "TolguardHelper": r"C:\helper.exe"}),
    ("HKCU", RUN_KEY, {"Tolguard": INSTALL_DIR + r"\tolguard.exe", "UserApp": r"C:\user.exe"}),
    # A same-named value in the other view is not the product's and stays.
    ("HKLM_OTHER", RUN_KEY, {"Tolguard": r"C:\Program Files\Other\tolguard64.exe"}),
    # The COM server: only the default value of InProcServer32 goes.
    ("HKCR", r"CLSID\{C19F4B73-6E2A-4D85-B0F7-8E3A1D9C5B26}", {"": "Tolvane Shell Extension"}),
    ("HKCR", CLASS_KEY, {"": INSTALL_DIR + r"\tolsrv.dll", "ThreadingModel": "Apartment"}),
    ("HKCR", r"CLSID\{C19F4B73-6E2A-4D85-B0F7-8E3A1D9C5B27}\InProcServer32",
     {"": INSTALL_DIR + r"\other.dll"}),
    # The uninstall entry, with a subkey, next to another product's.
    ("HKLM", UNINSTALL_KEY + r"\{5A7D2E91-3C4B-4F08-9E62-1B8F0C3D7A45}",
     {"DisplayName": PRODUCT, "UninstallString": INSTALL_DIR + r"\TolvaneUninstall.exe"}),
    ("HKLM", UNINSTALL_KEY + r"\{5A7D2E91-3C4B-4F08-9E62-1B8F0C3D7A45}\Components",
     {"Core": 1}),
    ("HKLM", UNINSTALL_KEY + r"\{5A7D2E91-3C4B-4F08-9E62-1B8F0C3D7A46}", {"DisplayName": "Other"}),
    # Windows 9x: the virtual device and the service-start value.
    ("HKLM", r"System\CurrentControlSet\Services\VxD\WARDER", {"StaticVxD": "warder.vxd",
                                                                "Start": 0}),
    ("HKLM", r"System\CurrentControlSet\Services\VxD\WARDER\Params", {"Level": 1}),
    ("HKLM", r"System\CurrentControlSet\Services\VxD\Other", {"StaticVxD": "other.vxd"}),
    ("HKLM", RUNSERVICES_KEY, {"Warder": INSTALL_DIR + r"\warder.exe",
                               "OtherService": r"C:\svc.exe"}),
    # Windows NT: four services with nested subkeys, next to look-alikes that stay.
    ("HKLM", SERVICES_KEY + r"\GeltaNet", {"Start": 1, "Type": 1, "ImagePath": "geltanet.sys"}),
    ("HKLM", SERVICES_KEY + r"\GeltaNet\Parameters", {"Mode": 2}),
    ("HKLM", SERVICES_KEY + r"\GeltaNet\Parameters\Adapters\0001", {"Bound": 1}),
    ("HKLM", SERVICES_KEY + r"\warderctl", {"Start": 2}),
    ("HKLM", SERVICES_KEY + r"\warderctl\Enum", {"Count": 1, "0": r"Root\LEGACY_WARDERCTL\0000"}),
    ("HKLM", SERVICES_KEY + r"\WarderNT", {"Start": 1, "Group": "FSFilter Anti-Virus"}),
    ("HKLM", SERVICES_KEY + r"\WarderNT\Instances\Warder Instance", {"Altitude": "320400"}),
    ("HKLM", SERVICES_KEY + r"\WarderNT\Security", {"Security": bytes(20)}),
    ("HKLM", SERVICES_KEY + r"\kelrun32", {"Start": 2, "ImagePath": r"C:\windows\kelrun32.exe"}),
    ("HKLM", SERVICES_KEY + r"\geltanet2", {"Start": 3}),
    ("HKLM", SERVICES_KEY + r"\warder", {"Start": 3}),
    # Another maker's keys, which the link variants lead to: one with subkeys, one with values
    # only (a deletion by a link's name would take it).
    ("HKLM", r"SOFTWARE\Lindqvist\Scanner", {"Engine": "2.4", "Enabled": 1}),
    ("HKLM", r"SOFTWARE\Lindqvist\Scanner\Rules", {"Count": 12}),
    ("HKLM", r"SOFTWARE\Lindqvist\Shared", {"Path": r"C:\Program Files (x86)\Lindqvist"}),
]

# Registry entries a completed uninstall removes: whole keys (with everything below them) and
# single values, per Windows family.
GONE_KEYS = [
    ("HKLM", r"SOFTWARE\Brenlock\Tolvane\Config"),
    ("HKLM", r"SOFTWARE\Brenlock\Tolvane\Warder"),
    ("HKLM", r"SOFTWARE\Brenlock\Tolvane\Update"),
    ("HKLM", UNINSTALL_KEY + r"\{5A7D2E91-3C4B-4F08-9E62-1B8F0C3D7A45}"),
]
GONE_VALUES = [("HKLM", RUN_KEY, "Tolguard"), ("HKCU", RUN_KEY, "Tolguard"),
               ("HKCR", CLASS_KEY, "")]
GONE_KEYS_BY_FAMILY = {
    "9x": [("HKLM", r"System\CurrentControlSet\Services\VxD\WaRDer")],
    "nt": [("HKLM", SERVICES_KEY + "\\" + name)
           for name in ("geltanet", "warderctl", "wardernt", "kelrun32")],
}
GONE_VALUES_BY_FAMILY = {"9x": [("HKLM", RUNSERVICES_KEY, "Warder")], "nt": []}

# Files, relative to the prefix's drive_c; "{user}" is the user's folder name, "{sys32}" the
# folder the uninstaller sees as its system directory and "{othersys}" the other architecture's.
INSTALL_REL = "Program Files (x86)/Brenlock/Tolvane"
INSTALL_FILES = ["tolsrv.dll", "tolguard.exe", "warder.vxd", "tolvane.ini",
                 PRODUCT + " 도움말.txt"]
# The uninstaller's own name, where the product's uninstall entry and its shortcut put it.
UNINSTALLER = "TolvaneUninstall.exe"
# The log a component of the product keeps open (e2e.Run.holds).
HELD_LOG = "tolscan.log"
COMMON_PROGRAMS = "ProgramData/Microsoft/Windows/Start Menu/Programs"
# Another vendor's folder, where links that a user made lead.
VENDOR_REL = "Program Files/Lindqvist Antivirus"
# The files of the swap variants: enough that deleting them takes a good part of a second.
SWAP_FILES = ["f%05d.dat" % i for i in range(4000)]
USER_PROGRAMS = "users/{user}/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
GROUP_FILES = [PRODUCT + ".lnk", PRODUCT + " 제거.lnk", "읽어보기.txt"]
# The product's own first, in the order the uninstaller takes them: the install folder, the
# system executable, the program group, the desktop shortcut.
FILES = (
    [INSTALL_REL + "/" + name for name in INSTALL_FILES]
    + ["{sys32}/kelrun32.exe"]
    + [COMMON_PROGRAMS + "/" + PRODUCT + "/" + name for name in GROUP_FILES]
    + [
        "users/Public/Desktop/" + PRODUCT + ".lnk",
        # Decoys.
        "Program Files (x86)/Brenlock/Shared/brencore.dll",
        "{sys32}/kelrun32.dll",
        "{sys32}/kelrun.exe",
        "{othersys}/kelrun32.exe",  # the other architecture's system folder: not the product's
        COMMON_PROGRAMS + "/" + PRODUCT + " 도구/" + PRODUCT + " 도구.lnk",
        USER_PROGRAMS + "/" + PRODUCT + "/" + PRODUCT + ".lnk",
        "users/Public/Desktop/" + PRODUCT + " 도구.lnk",
        "users/{user}/Desktop/" + PRODUCT + ".lnk",
    ]
)

# Why the installation holds entries that a completed uninstall leaves, where that is not plain
# from the tables above: the product's own that stay by design, and the current user's copies of
# what goes for all users. (root, key) covers the key and its subkeys, (None, folder) a folder's
# files. What goes on the other Windows family only, the other registry view and the other
# architecture's system folder need no entry; anything else is another program's.
CURRENT_USERS = ("the current user's copies: only the machine-wide settings and the all-users "
                 "group and shortcut go")
KEPT = [
    ("HKLM", r"SOFTWARE\Brenlock\Tolvane",
     "kept by design, Tolvane's settings key: only its subkeys Config, Warder and Update go"),
    ("HKCR", r"CLSID\{C19F4B73-6E2A-4D85-B0F7-8E3A1D9C5B26}",
     "kept by design, Tolvane's class key: only InProcServer32's default value goes"),
    ("HKCU", r"Software\Brenlock\Tolvane", CURRENT_USERS),
    (None, USER_PROGRAMS + "/" + PRODUCT, CURRENT_USERS),
    (None, "users/{user}/Desktop", CURRENT_USERS),
]
ANOTHER_PROGRAMS = "another program's, beside Tolvane's or named like it"
FAMILY_NAMES = {"9x": "9x family (Windows 95, 98, Me)", "nt": "NT family (Windows NT 4 to 11)"}


def _below(path, top):
    path, top = path.lower(), top.lower()
    return path == top or path.startswith(top + "\\") or path.startswith(top + "/")


def view(arch, other=False):
    """The registry view and system folder of the uninstaller built for arch, or of the other
    architecture: "32-bit" or "64-bit"."""
    return "32-bit" if (arch == "x86") != other else "64-bit"


def _other_side(arch):
    return ("the %s registry view and system folder: the %s uninstaller works in the %s ones"
            % (view(arch, True), view(arch), view(arch)))


def taken_family(family):
    """The family the uninstaller takes itself to run on in a row of family: it goes by ntdll's
    file calls, not by the version Windows reports, and Wine's ntdll has them in every version
    it plays, its win98 setting included. So the 9x rows show that a system reporting the 9x
    family (as a compatibility layer would) is still taken for the NT family."""
    return "nt"


def kept_reason(arch, family, root, path, name=None):
    """Why the registry entry (root, path), or its value name, is in the installation although a
    completed uninstall on family leaves it; None for an entry that goes there."""
    reported, family = family, taken_family(family)
    if any(root == r and _below(path, p) for r, p in GONE_KEYS + GONE_KEYS_BY_FAMILY[family]):
        return None
    if name is not None and any((root, path.lower(), name.lower()) == (r, p.lower(), n.lower())
                                for r, p, n in GONE_VALUES + GONE_VALUES_BY_FAMILY[family]):
        return None
    other = "9x" if family == "nt" else "nt"
    if any(root == r and _below(path, p) for r, p in GONE_KEYS_BY_FAMILY[other]) or (
            name is not None and any((root, path.lower(), name.lower()) ==
                                     (r, p.lower(), n.lower())
                                     for r, p, n in GONE_VALUES_BY_FAMILY[other])):
        return "Tolvane's on the %s, removed only there; this run is %s%s" % (
            FAMILY_NAMES[other], family.upper(),
            "" if reported == family else
            " (Wine reports %s, but has ntdll's file calls)" % reported.upper())
    if root == "HKLM_OTHER":
        return _other_side(arch)
    for r, p, reason in KEPT:
        if r == root and _below(path, p):
            return reason
    return ANOTHER_PROGRAMS


def kept_file_reason(arch, rel):
    """Why a file of FILES (rel as written there) that a completed uninstall leaves is in the
    installation (expected_removal says which go)."""
    if rel.startswith("{othersys}/"):
        return _other_side(arch)
    for r, folder, reason in KEPT:
        if r is None and _below(rel, folder):
            return reason
    return ANOTHER_PROGRAMS


# Variants of the installation, each a row of the scenario table:
#   files_added / files_removed: relative paths; class_value: the class key's default value
#   (None: absent); removes_install / removes_system_exe / removes_group: whether a completed
#   run deletes them; install_dir_stays / group_dir_stays: a file in the folder stays, and so
#   does the folder; registry_removed: (root, path) keys of REGISTRY left out; reg_links: (root,
#   path, target root, target path) registry link keys made by the link helper, which stay, with
#   the keys above them; keys_absent: (root, path) of the keys that go which the variant lacks;
#   folder_links: see below; modes: {folder: Unix mode} given to folders of drive_c ("" for
#   drive_c itself; Wine shows mode 777 as Everyone with full control, delete-child included);
#   install_files_stay: the product's files in the install folder that a completed run leaves;
#   class_value_stays: a completed run leaves the class value (a file of the install folder
#   stays for good); first_run_leaves: what the first of the row's runs leaves for a later one
#   (install_files, install_dir, class_value); in_place: the install folder's path is the
#   administrators' alone, so a file there may be deleted at the restart where it stands;
#   file_links: (path, target) file links made
#   with ln -s; swapped: (folder, target) the folder the harness swaps for a link to target while
#   the uninstaller deletes its files; registry_added: more (root, path, values); group_in: the
#   Programs folder that holds the product's group (the all-users one when not given);
#   install_files_added / group_files_added: names of more files of the product in the install
#   folder or the program group, which go with it; read_only: files given the read-only
#   attribute; programs: {file: program} files that are copies of a program the build made
#   ("uninstaller", or the helper "listener" standing in for a component of the product that
#   runs); swapped_at_restart: (folder, target) the folder the harness replaces with a link to
#   target once the uninstaller has ended, before the restart; locale and code_page: the Unix
#   locale of every program of the row and the ANSI code page it gives (Korean, 949, when not
#   given); the installer, an ANSI program, made the files' and folders' names from the same
#   code-page bytes, so there they read as those bytes in that code page.
VARIANTS = {
    "complete": {},
    "subfolder": {"files_added": [INSTALL_REL + "/Logs/scan.log"], "install_dir_stays": True},
    "missing_folder": {"files_removed": [INSTALL_REL], "removes_system_exe": False},
    # A damaged class value naming a file in the system directory or a drive root: nothing
    # there may be deleted, nor the system executable.
    "class_in_system_dir": {"class_value": r"C:\windows\system32\tolsrv.dll",
                            "files_added": ["{sys32}/tolsrv.dll"], "removes_install": False,
                            "removes_system_exe": False},
    "class_in_drive_root": {"class_value": r"C:\tolsrv.dll",
                            "files_added": ["tolsrv.dll", "config.sys"],
                            "removes_install": False, "removes_system_exe": False},
    "already_removed": {"class_value": None},
    # A named product key that is a link, and a link below a service key.
    "link_as_product_key": {
        "registry_removed": [("HKLM", r"SOFTWARE\Brenlock\Tolvane\Update")],
        "reg_links": [("HKLM", r"SOFTWARE\Brenlock\Tolvane\Update", "HKLM",
                   r"SOFTWARE\Lindqvist\Scanner")]},
    # The settings key itself a link to another maker's key whose subkeys bear the settings'
    # names: nothing is opened through it, so they stay; the product's settings subkeys do not
    # exist in this installation.
    "link_as_settings_key": {
        "registry_removed": [("HKLM", path) for root, path, _ in REGISTRY if root == "HKLM" and (
            path.startswith("SOFTWARE\\Brenlock\\Tolvane\\") or path == r"SOFTWARE\Brenlock\Tolvane")],
        "registry_added": [("HKLM", r"SOFTWARE\Lindqvist\Scanner\Config", {"Level": 4}),
                           ("HKLM", r"SOFTWARE\Lindqvist\Scanner\Warder", {"On": 1}),
                           ("HKLM", r"SOFTWARE\Lindqvist\Scanner\Update\Feed", {"Url": "x"})],
        "keys_absent": [("HKLM", path) for path in (r"SOFTWARE\Brenlock\Tolvane\Config",
                                                     r"SOFTWARE\Brenlock\Tolvane\Warder",
                                                     r"SOFTWARE\Brenlock\Tolvane\Update")],
        "reg_links": [("HKLM", r"SOFTWARE\Brenlock\Tolvane", "HKLM",
                       r"SOFTWARE\Lindqvist\Scanner")]},
    "link_below_service": {
        "reg_links": [("HKLM", SERVICES_KEY + r"\WarderNT\Instances\Lindqvist", "HKLM",
                   r"SOFTWARE\Lindqvist\Shared")]},
    # The guard judges where a folder really leads. Nothing may be deleted in a folder inside
    # the Windows folder, in another account's profile, or in a well-known folder named by its
    # short form ("{short}": Wine's short name of short_of, found in the prefix at run time).
    "class_in_windows_folder": {"class_value": r"C:\windows\system32\drivers\tolsrv.dll",
                                "files_added": ["{sys32}/drivers/tolsrv.dll",
                                                "{sys32}/drivers/tolfilt.sys"],
                                "removes_install": False, "removes_system_exe": False},
    "class_in_other_profile": {"class_value": r"C:\users\alice\tolsrv.dll",
                               "files_added": ["users/alice/tolsrv.dll", "users/alice/NTUSER.DAT",
                                               "users/alice/Documents/letter.txt"],
                               "removes_install": False, "removes_system_exe": False},
    "class_short_name": {"class_value": r"{short}\tolsrv.dll", "short_of": "Program Files",
                         "files_added": ["Program Files/tolsrv.dll", "Program Files/other.dll"],
                         "removes_install": False, "removes_system_exe": False},
    # folder_links: (path, target, moved) made with ln -s, Wine's folder links. moved: the folder's
    # content is moved to the target first; otherwise it is dropped. A link is followed only when
    # an administrator owns it, and Wine reports its own user as the owner of every file: an
    # install folder that is a link into the system folder, or that a user replaced by a link to
    # another vendor's folder under Program Files (a folder no list of system folders refuses),
    # is refused, and what it leads to stays whole.
    "install_link_to_system": {"folder_links": [(INSTALL_REL, "{sys32}", False)],
                               "removes_install": False, "removes_system_exe": False},
    "install_link_to_vendor": {
        "folder_links": [(INSTALL_REL, VENDOR_REL, False)],
        "files_added": [VENDOR_REL + "/" + name for name in ("tolsrv.dll", "engine.dll",
                                                             "rules.dat")],
        "removes_install": False, "removes_system_exe": False},
    # A file link in the install folder is deleted as a link, never what it leads to. Wine opens
    # what a link leads to whatever it is asked: the handle's final path is then outside the
    # folder, so the link stays too (Windows deletes the link), and with it the folder and, an
    # entry not proven to be what was listed, the record of the install folder.
    "file_link_in_install": {"file_links": [(INSTALL_REL + "/brencore.dll",
                                             "Program Files (x86)/Brenlock/Shared/brencore.dll")],
                             "install_dir_stays": True, "class_value_stays": True},
    # Many files, so that the harness can swap the folder for a link while the uninstaller is
    # deleting them (see e2e.py); the other vendor's folder holds files of the same names. The
    # held folder's files after the swap are not proven to be what was listed (Wine opens them
    # by the folder's path): they stay for good, and so does the record of the install folder.
    "swap_install": {"files_added": [INSTALL_REL + "/" + name for name in SWAP_FILES]
                     + [VENDOR_REL + "/" + name for name in SWAP_FILES],
                     "swapped": (INSTALL_REL, VENDOR_REL), "class_value_stays": True},
    # The same for the program group in the current user's Start menu, which every program of
    # that user may change: there when Windows names no all-users Programs folder (an empty
    # "Common Programs" shell folder makes Wine's answer fail).
    "swap_group": {"registry_added": [("HKLM", SHELL_FOLDERS_KEY, {"Common Programs": ""}),
                                      ("HKLM", USER_SHELL_FOLDERS_KEY, {"Common Programs": ""})],
                   "group_in": USER_PROGRAMS,
                   "files_added": [USER_PROGRAMS + "/" + PRODUCT + "/" + name
                                   for name in GROUP_FILES[1:] + SWAP_FILES]
                   + [VENDOR_REL + "/" + name for name in SWAP_FILES],
                   "swapped": (USER_PROGRAMS + "/" + PRODUCT, VENDOR_REL)},
    # A program group that is a link to another folder is not entered.
    "group_link": {"folder_links": [(COMMON_PROGRAMS + "/" + PRODUCT, "users/Public/Documents/Tools",
                              True)], "removes_group": False},
    # The install folder is the current folder of a component that keeps running: its files go,
    # the folder stays.
    "install_in_use": {"install_dir_stays": True},
    # A machine whose language for non-Unicode programs is not Korean: the installer's names
    # there are the cp949 bytes read in code page 1252 ("Åç¹Ù³×" for the product's). Wine takes
    # the C locale for English (United States), code page 1252; C.UTF-8 is there on every Debian
    # system, where en_US.UTF-8 may not be generated (Wine then reads no Unix file name as UTF-8).
    "code_page_1252": {"locale": "C.UTF-8", "code_page": "cp1252"},
    # Names that code page 949 turns into paths (the won sign becomes '\\'), each spelling a
    # decoy in the system folder from the install folder or the group: the product's files are
    # opened by their own names and go, with both folders; the decoys stay.
    "won_names": {"install_files_added": ["..\u20a9" * 3 + "windows\u20a9system32\u20a9kelrun.exe"],
                  "group_files_added": ["..\u20a9" * 6 + "windows\u20a9system32\u20a9kelrun32.dll"],
                  "files_added": ["{sys32}/kelrun.exe", "{sys32}/kelrun32.dll"]},
    # The uninstaller in the install folder, where the uninstall entry and the group's shortcut
    # name it, started from there: its own image is in use for the whole run, so it and the
    # folder can only go at the restart.
    "uninstaller_in_install": {"install_files_added": [UNINSTALLER],
                               "programs": {INSTALL_REL + "/" + UNINSTALLER: "uninstaller"}},
    # A component keeps its log open without sharing its deletion (e2e.Run.holds): it goes at
    # the restart where it stands, the folder after it. Where everyone may change the install
    # folder, the first run leaves it, its folder and the class value, for the next run.
    "log_held_open": {"install_files_added": [HELD_LOG], "in_place": True},
    "log_held_open_shared_folder": {"install_files_added": [HELD_LOG],
                                    "modes": {INSTALL_REL: 0o777},
                                    "first_run_leaves": {"install_files": [HELD_LOG],
                                                         "install_dir": True,
                                                         "class_value": True}},
    # The uninstaller in the install folder on a drive whose root everyone may change: its own
    # image, in use, stays for good, with its folder and the class value.
    "root_others_may_change": {"install_files_added": [UNINSTALLER],
                               "programs": {INSTALL_REL + "/" + UNINSTALLER: "uninstaller"},
                               "modes": {"": 0o777}, "install_files_stay": [UNINSTALLER],
                               "install_dir_stays": True, "class_value_stays": True},
    # The system executable is the image of the product's service, which still runs: the
    # uninstall removes the service's keys, it stops no service.
    "system_exe_running": {"programs": {"{sys32}/kelrun32.exe": "listener"}},
    # Installers of that era copied files from CD with the read-only attribute.
    "read_only_file": {"install_files_added": ["tolsig.dat"],
                       "read_only": [INSTALL_REL + "/tolsig.dat"]},
    # A name that code page 949 cannot spell (Thai letters): the file system holds it all the same.
    "name_outside_code_page": {"install_files_added": ["\u0e44\u0e1f\u0e25\u0e4c.dat"]},
    # The uninstaller in the install folder again, so that something waits for the restart; in
    # between, the install folder's path becomes a link to another vendor's folder holding files
    # of the product's names. What the restart deletes must not be found through that path.
    "swap_at_restart": {"install_files_added": [UNINSTALLER],
                        "programs": {INSTALL_REL + "/" + UNINSTALLER: "uninstaller"},
                        "files_added": [VENDOR_REL + "/" + name
                                        for name in INSTALL_FILES + [UNINSTALLER]],
                        "swapped_at_restart": (INSTALL_REL, VENDOR_REL)},
}


def code_page(variant):
    """The ANSI code page of the variant's machine, as Python names it."""
    return VARIANTS[variant].get("code_page", "cp949")


def _spelled(settings, rel):
    """A path of the installation as an ANSI installer named it on the variant's machine: the
    Korean names' cp949 bytes read in its code page."""
    page = settings.get("code_page", "cp949")
    return rel if page == "cp949" else rel.encode("cp949").decode(page)


def _install_files(settings):
    """The product's files in the install folder, the variant's own included."""
    return INSTALL_FILES + settings.get("install_files_added", [])


def _group_files(settings):
    """The product's files in the program group, the variant's own included."""
    return GROUP_FILES + settings.get("group_files_added", [])


def _files(settings):
    """Every file the variant's installation and decoys are made of, relative to drive_c."""
    group = settings.get("group_in", COMMON_PROGRAMS) + "/" + PRODUCT
    return (FILES + [INSTALL_REL + "/" + name for name in settings.get("install_files_added", [])]
            + [group + "/" + name for name in settings.get("group_files_added", [])]
            + settings.get("files_added", []))


def _expand(prefix, rel):
    drive_c = os.path.join(prefix.path, "drive_c")
    return rel.format(user=os.path.basename(prefix.user_dir()),
                      sys32=os.path.relpath(prefix.system32_dir(), drive_c),
                      othersys=os.path.relpath(prefix.other_system_dir(), drive_c))


def _where(prefix, rel, settings):
    """Where a file of the installation lies once the variant's links are made (rel expanded):
    below the link's target when the link took the place of a moved folder, nowhere (None) when
    it took the place of a dropped one; spelled as the installer named it."""
    rel = _spelled(settings, rel)
    for link, target, moved in settings.get("folder_links", []):
        link = _expand(prefix, link)
        if rel == link or rel.startswith(link + "/"):
            return _expand(prefix, target) + rel[len(link):] if moved else None
    return rel


def _short_name(prefix, name, workdir):
    """Wine's short name of the folder C:\\<name>, as `dir /x` lists it."""
    log = os.path.join(workdir, "dir-x.log")
    if os.path.exists(log):
        os.remove(log)
    if prefix.finish(prefix.start(["cmd", "/c", "dir", "/x", "C:\\"], log=log), 60) != 0:
        raise RuntimeError("dir /x failed")
    with open(log, encoding="cp949", errors="replace") as f:
        for line in f:
            match = re.search(r"<DIR>\s+(\S+)\s+(.+?)\s*$", line)
            if match and match.group(2) == name:
                return "C:\\" + match.group(1)
    raise RuntimeError("no short name of %s in dir /x" % name)


def _views(arch):
    """reg.exe's view of the uninstaller's roots and of HKLM_OTHER, for a build of arch."""
    return ("32", "64") if arch == "x86" else ("64", "32")


def snapshot_key(arch, root, path):
    """(hive, key) of a key as the registry files hold it, for the view of the uninstaller built
    for arch ("x86": the 32-bit view; "x64": the native one)."""
    lower = path.lower()
    wow = (root == "HKLM_OTHER") != (arch == "x86")  # the key is in the 32-bit view
    if root == "HKCR":
        return "HKLM", "software\\classes\\" + ("wow6432node\\" if wow else "") + lower
    if root == "HKCU":
        return "HKCU", lower
    if wow and lower.startswith("software\\"):
        return "HKLM", "software\\wow6432node\\" + lower[len("software\\"):]
    return "HKLM", lower  # HKLM\SYSTEM is shared by both views


def _reg_root(root):
    return {"HKLM": "HKEY_LOCAL_MACHINE", "HKLM_OTHER": "HKEY_LOCAL_MACHINE",
            "HKCU": "HKEY_CURRENT_USER", "HKCR": "HKEY_CLASSES_ROOT"}[root]


def _reg_data(value):
    if isinstance(value, int):
        return "dword:%08x" % value
    if isinstance(value, bytes):
        return "hex:" + ",".join("%02x" % b for b in value)
    return '"%s"' % value.replace("\\", "\\\\").replace('"', '\\"')


def _reg_file(entries):
    lines = ["Windows Registry Editor Version 5.00", ""]
    for root, path, values in entries:
        lines.append("[%s\\%s]" % (_reg_root(root), path))
        for name, value in values.items():
            lines.append("%s=%s" % ("@" if name == "" else '"%s"' % name,
                                    "-" if value is None else _reg_data(value)))
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


def registry_entries(variant, family, short=None):
    """REGISTRY as this variant and family install it; the value None deletes ("@=-"). short
    fills in a class value's "{short}"."""
    removed = VARIANTS[variant].get("registry_removed", [])
    entries = [(root, path, dict(values)) for root, path, values in
               REGISTRY + VARIANTS[variant].get("registry_added", [])
               if (root, path) not in removed]
    if family == "9x":
        entries.append(("HKCU", r"Software\Wine", {"Version": "win98"}))
    settings = VARIANTS[variant]
    if "class_value" in settings:
        for root, path, values in entries:
            if (root, path) == ("HKCR", CLASS_KEY):
                values[""] = settings["class_value"]
                if short is not None:
                    values[""] = values[""].format(short=short)
    return entries


def install(prefix, variant, family, workdir, link_maker=None, programs=None):
    """Writes the installation and its decoys into a prefix whose Wine server is stopped;
    link_maker is the registry link helper, for the variants with registry links; programs:
    {name: host path} of the programs the variant's copies are made from."""
    settings = VARIANTS[variant]
    drive_c = os.path.join(prefix.path, "drive_c")
    for rel in _files(settings):
        path = os.path.join(drive_c, _spelled(settings, _expand(prefix, rel)))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(("%s\n" % rel).encode("utf-8"))
    for rel, program in settings.get("programs", {}).items():
        shutil.copyfile(programs[program], os.path.join(drive_c, _expand(prefix, rel)))
    for rel in settings.get("read_only", []):
        # Wine shows a file without write permission as read-only (attrib +r does just this).
        path = os.path.join(drive_c, _expand(prefix, rel))
        os.chmod(path, os.stat(path).st_mode & ~0o222)
    for rel in settings.get("files_removed", []):
        winebox.remove_tree(os.path.join(drive_c, _expand(prefix, rel)))
    for rel, mode in settings.get("modes", {}).items():
        os.chmod(os.path.join(drive_c, _expand(prefix, rel)), mode)
    for link, target, moved in settings.get("folder_links", []):
        link = os.path.join(drive_c, _expand(prefix, link))
        target = os.path.join(drive_c, _expand(prefix, target))
        if moved:
            os.makedirs(os.path.dirname(target), exist_ok=True)
            os.rename(link, target)
        else:
            winebox.remove_tree(link)
        winebox.link_to(link, target)
    for link, target in settings.get("file_links", []):
        link = os.path.join(drive_c, _expand(prefix, link))
        target = os.path.join(drive_c, _expand(prefix, target))
        winebox.link_to(link, target)

    os.makedirs(workdir, exist_ok=True)
    short = _short_name(prefix, settings["short_of"], workdir) if "short_of" in settings else None
    entries = registry_entries(variant, family, short)
    own, other = _views(prefix.arch)
    for view in (own, other):
        chosen = [e for e in entries if (e[0] == "HKLM_OTHER") == (view == other)]
        reg_path = os.path.join(workdir, "fixture%s.reg" % view)
        with open(reg_path, "w", encoding="utf-16") as f:  # BOM: reg.exe then reads Unicode
            f.write(_reg_file(chosen))
        # Not C:\windows\system32\reg.exe for the 64-bit view: started from Wine's 32-bit
        # loader, that path is redirected to the 32-bit reg.exe.
        # An import that failed (seen once on a loaded host, before anything of the row ran) is
        # made once more: importing the same file again changes nothing.
        for attempt in (1, 2):
            code = prefix.run(["reg.exe", "import", winebox.wine_path(reg_path), "/reg:" + view],
                              60)
            if code == 0:
                break
            print("reg import of the fixture failed (%s), attempt %d" % (code, attempt),
                  flush=True)
        if code != 0:
            raise RuntimeError("reg import of the fixture failed (%s)" % code)
    for link in settings.get("reg_links", []):
        code = prefix.run([link_maker] + list(link), 60)
        if code != 0:
            raise RuntimeError("making the registry link %s failed (%s)" % (link[1], code))
    prefix.stop()


def missing_from(prefix, before, variant, family):
    """Every key, value and file the installation and its decoys promise, that `before` lacks."""
    settings = VARIANTS[variant]
    missing = []
    for root, path, values in registry_entries(variant, family):
        hive, key = snapshot_key(prefix.arch, root, path)
        if ("key", hive, key) not in before:
            missing.append("key %s\\%s" % (root, path))
        for name, value in values.items():
            if value is not None and ("value", hive, key, name.lower()) not in before:
                missing.append("value %s\\%s : %s" % (root, path, name or "@"))
    for root, path, _, _ in settings.get("reg_links", []):
        if ("meta", *snapshot_key(prefix.arch, root, path), "#link") not in before:
            missing.append("link %s\\%s" % (root, path))
    removed = [_expand(prefix, r) for r in settings.get("files_removed", [])]
    for rel in _files(settings):
        rel = _expand(prefix, rel)
        if any(rel == r or rel.startswith(r + "/") for r in removed):
            continue
        rel = _where(prefix, rel, settings)
        if rel is not None and ("file", "drive_c/" + rel) not in before:
            missing.append("file drive_c/" + rel)
    for link in [l[0] for l in settings.get("folder_links", []) + settings.get("file_links", [])]:
        if ("link", "drive_c/" + _expand(prefix, link)) not in before:
            missing.append("link drive_c/" + _expand(prefix, link))
    for rel in settings.get("read_only", []):
        item = ("file", "drive_c/" + _expand(prefix, rel))
        if item in before and before[item][1] & 0o222:
            missing.append("the read-only attribute of " + item[1])
    return missing


def expected_removal(prefix, before, variant, family):
    """The exact set of snapshot items a completed uninstall removes from this installation.
    Also returns the promised items that are missing from `before` (a broken fixture)."""
    settings = VARIANTS[variant]
    gone, missing = set(), []
    family = taken_family(family)
    keys = [k for k in GONE_KEYS + GONE_KEYS_BY_FAMILY[family]
            if k not in settings.get("keys_absent", [])]
    values = GONE_VALUES + GONE_VALUES_BY_FAMILY[family]
    for root, path in keys:
        hive, key = snapshot_key(prefix.arch, root, path)
        if ("key", hive, key) not in before:
            missing.append("key %s\\%s" % (root, path))
        for item in before:
            if item[0] in ("key", "value", "meta") and item[1] == hive and \
                    (item[2] == key or item[2].startswith(key + "\\")):
                gone.add(item)
    for root, path, name in values:
        if root == "HKCR" and name == "" and (settings.get("class_value", "") is None or
                                              settings.get("class_value_stays")):
            continue
        hive, key = snapshot_key(prefix.arch, root, path)
        item = ("value", hive, key, name.lower())
        if item not in before:
            missing.append("value %s\\%s : %s" % (root, path, name or "@"))
        gone.add(item)

    def file_items(rel):
        rel = "drive_c/" + _where(prefix, _expand(prefix, rel), settings)
        found = [i for i in before if i[0] in ("file", "dir") and
                 (i[1] == rel or i[1].startswith(rel + "/"))]
        if not found:
            missing.append(rel)
        return found

    # A link is never gone through: it stays, and so do the keys above it (emptied of their
    # values); what it leads to is not among the product's keys anyway.
    for root, path, _, _ in settings.get("reg_links", []):
        hive, link = snapshot_key(prefix.arch, root, path)
        above = {link[:i] for i in range(len(link)) if link[i] == "\\"}
        gone = {i for i in gone if i[0] not in ("key", "value", "meta") or i[1] != hive or not (
            i[2] == link or i[2].startswith(link + "\\") or (i[0] != "value" and i[2] in above))}

    if settings.get("removes_install", True) and "files_removed" not in settings:
        for name in _install_files(settings):
            if name not in settings.get("install_files_stay", []):
                gone.update(file_items(INSTALL_REL + "/" + name))
        if not settings.get("install_dir_stays"):
            gone.add(("dir", "drive_c/" + _where(prefix, INSTALL_REL, settings)))
    if settings.get("removes_system_exe", True):
        gone.update(file_items("{sys32}/kelrun32.exe"))
    if settings.get("removes_group", True):
        group = _expand(prefix, settings.get("group_in", COMMON_PROGRAMS) + "/" + PRODUCT)
        for name in _group_files(settings):
            gone.update(file_items(group + "/" + name))
        if not settings.get("group_dir_stays"):
            gone.add(("dir", "drive_c/" + _spelled(settings, group)))
    gone.update(file_items("users/Public/Desktop/" + PRODUCT + ".lnk"))
    return gone, missing


def first_run_leaves(prefix, variant):
    """The snapshot items of a completed uninstall that the variant's first run leaves for a
    later one (first_run_leaves)."""
    settings = VARIANTS[variant]
    leaves = settings.get("first_run_leaves", {})
    items = {("file", "drive_c/" + _where(prefix, INSTALL_REL + "/" + name, settings))
             for name in leaves.get("install_files", [])}
    if leaves.get("install_dir"):
        items.add(("dir", "drive_c/" + _where(prefix, INSTALL_REL, settings)))
    if leaves.get("class_value"):
        hive, key = snapshot_key(prefix.arch, "HKCR", CLASS_KEY)
        items.add(("value", hive, key, ""))
    return items
