#!/usr/bin/env python3
"""Checks what the shipped TolvaneUninstall.exe must be, as the MinGW binutils read it:
32-bit x86, GUI subsystem, no link timestamp, stripped, imports from the Windows system
libraries only, none of the functions that some of the Windows it starts on lack (those are
looked up at run time), and exactly one resource, the application icon (group 102, one 32x32
image in 256 colours, English (United States)); no manifest, no version record; at most 25,600
bytes (a signature's certificate table aside), and a stack realigned where Windows' 4 bytes are
not enough. Prints the size.
Usage: exe_properties.py OBJDUMP EXE"""
import re
import subprocess
import sys

ALLOWED_IMPORTS = {"kernel32.dll", "advapi32.dll", "user32.dll", "shell32.dll", "msvcrt.dll"}
# Functions the program uses where Windows has them and that some Windows it starts on lacks: an
# import of one would keep the exe from starting there (Windows 95 and NT 4 without Internet
# Explorer 4's shell update have no SHGetSpecialFolderPathA, the 9x family and NT 4 no
# CheckTokenMembership, Windows XP and older none of the kernel32 functions below).
RUN_TIME_ONLY = {"SHGetSpecialFolderPathA", "CheckTokenMembership", "GetFinalPathNameByHandleA",
                 "GetFinalPathNameByHandleW", "GetFileInformationByHandleEx",
                 "SetFileInformationByHandle", "SetDefaultDllDirectories", "SetDllDirectoryA",
                 "SetProcessMitigationPolicy"}
RT_ICON, RT_GROUP_ICON = 3, 14
LANG_EN_US = 0x409

failures = []


MAX_SIZE = 25600


def check(condition, message):
    if not condition:
        failures.append(message)


def parse_resources(dump):
    """The resource tree objdump prints: [(type, name, language, leaf rva, leaf size)]."""
    tree = []
    section = dump.split("The .rsrc Resource Directory section:", 1)
    if len(section) < 2:
        return tree
    level_ids = {}
    for line in section[1].splitlines():
        entry = re.match(r"[0-9a-f]{3}(\s+)Entry: ID: 0x([0-9a-f]+)", line)
        if entry:
            depth = (len(entry.group(1)) - 3) // 2  # 3 spaces for type, 5 for name, 7 for language
            level_ids[depth] = int(entry.group(2), 16)
            continue
        leaf = re.match(r"[0-9a-f]{3}\s+Leaf: Addr: 0x([0-9a-f]+), Size: 0x([0-9a-f]+)", line)
        if leaf:
            tree.append((level_ids.get(0), level_ids.get(1), level_ids.get(2),
                         int(leaf.group(1), 16), int(leaf.group(2), 16)))
        elif line.strip() and not re.match(r"[0-9a-f]{3}\s", line) and "Resources start" not in line:
            break
    return tree


def imported_functions(headers):
    """The names of the functions the import tables list, whatever DLL they come from."""
    names = set()
    tables = headers.split("The Import Tables", 1)
    if len(tables) < 2:
        return names
    for line in tables[1].splitlines():
        if line.startswith(("The Export Tables", "The Function Table", "PE File Base Relocations",
                            "The .rsrc Resource Directory")):
            break
        m = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\S+)\s*$", line)
        if m:
            names.add(m.group(1))
    return names


def security_directory_size(headers):
    """The size of the certificate table a signature appended (0 for an unsigned exe)."""
    m = re.search(r"^Entry 4 [0-9a-f]+ ([0-9a-f]+) Security Directory", headers, re.M)
    return int(m.group(1), 16) if m else 0


def file_offset(sections, rva):
    for vma, size, offset in sections:
        if vma <= rva < vma + size:
            return rva - vma + offset
    raise ValueError("rva 0x%x in no section" % rva)


def main(objdump, exe):
    run = lambda *args: subprocess.run([objdump, *args, exe], check=True, text=True,
                                       capture_output=True).stdout
    headers = run("-p")
    info = run("-f")
    section_dump = run("-h")
    data = open(exe, "rb").read()

    check("file format pei-i386" in info and "architecture: i386" in info, "not a 32-bit x86 PE")
    check(re.search(r"^Magic\s+010b\s+\(PE32\)", headers, re.M), "not PE32")
    check(re.search(r"^Subsystem\s+00000002\s+\(Windows GUI\)", headers, re.M), "not GUI subsystem")
    check(re.search(r"^Time/Date\s+Thu Jan  1 00:00:00 1970", headers, re.M), "link timestamp set")
    check(re.search(r"^NumberOfSymbols\s+0+$", headers, re.M) or "SYMBOL TABLE" not in headers,
          "symbols not stripped")
    check(".debug" not in section_dump, "debug sections present")
    check(re.search(r"^Entry 6 0+ 0+ Debug Directory", headers, re.M), "debug directory present")

    imports = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
    check(imports == ALLOWED_IMPORTS, "imports %s, expected exactly %s" %
          (sorted(imports), sorted(ALLOWED_IMPORTS)))
    functions = imported_functions(headers)
    check("MessageBoxA" in functions, "no function names found in the import tables")
    check(not functions & RUN_TIME_ONLY, "imports %s, which some Windows it must start on lack" %
          sorted(functions & RUN_TIME_ONLY))
    check("libstdc++" not in data.decode("latin1") and "libgcc_s" not in data.decode("latin1"),
          "mentions a MinGW runtime DLL")

    sections = []
    for m in re.finditer(r"^\s*\d+\s+\S+\s+([0-9a-f]{8})\s+([0-9a-f]{8})\s+[0-9a-f]{8}\s+([0-9a-f]{8})",
                         section_dump, re.M):
        size, vma, offset = (int(x, 16) for x in m.groups())
        sections.append((vma - 0x400000, size, offset))

    resources = parse_resources(headers)
    types = sorted({r[0] for r in resources})
    check(types == [RT_ICON, RT_GROUP_ICON], "resource types %s, expected icon and icon group only "
          "(no manifest 24, no version 16)" % types)
    check(all(r[2] == LANG_EN_US for r in resources),
          "resource languages %s, expected 0x409" % [hex(r[2]) for r in resources])
    groups = [r for r in resources if r[0] == RT_GROUP_ICON]
    icons = [r for r in resources if r[0] == RT_ICON]
    check(len(groups) == 1 and groups[0][1] == 102, "icon groups %s, expected one, id 102" % groups)
    check(len(icons) == 1, "%d icon images, expected one" % len(icons))
    if len(groups) == 1 and len(icons) == 1:
        group = data[file_offset(sections, groups[0][3]):][:groups[0][4]]
        count = int.from_bytes(group[4:6], "little")
        width, height, colours = group[6], group[7], group[8]
        bits = int.from_bytes(group[12:14], "little")
        image_id = int.from_bytes(group[18:20], "little")
        check(count == 1, "icon group lists %d images" % count)
        check((width, height) == (32, 32), "icon is %dx%d" % (width, height))
        check(colours == 0 and bits == 8, "icon has %d colours, %d bits" % (colours, bits))
        check(image_id == icons[0][1], "icon group points at image %d" % image_id)
        image = data[file_offset(sections, icons[0][3]):][:icons[0][4]]
        header = [int.from_bytes(image[i:i + 4], "little") for i in (0, 4, 8)]
        check(header == [40, 32, 64] and int.from_bytes(image[14:16], "little") == 8,
              "icon image is not a 32x32 8-bit bitmap")

    # The build's own bytes: a signature appends a certificate table of the signer's size.
    signed = security_directory_size(headers)
    check(len(data) - signed <= MAX_SIZE, "%d bytes without a signature, more than %d" % (
        len(data) - signed, MAX_SIZE))
    # Windows starts the program on a stack aligned to 4 bytes only; a function whose locals need
    # 8 realigns it itself when built with -mincoming-stack-boundary=2, and none does without.
    code = run("-d", "--no-show-raw-insn")
    check(re.search(r"\band\s+\$0xfffffff[08],%esp", code),
          "no function realigns the stack: built without -mincoming-stack-boundary=2?")

    print("%s: %d bytes" % (exe, len(data)))
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
