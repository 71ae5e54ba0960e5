// The install folder comes from a registry value that anyone with write access can change, so
// before its files are deleted it is judged by its text against the folders Windows names as
// its own. The judgement errs towards refusing: a refused folder merely stays in place.
#include "files/folder_guard.h"

#include <shlobj.h>
#include <string.h>

#include "platform/platform.h"

namespace {

int IsSeparator(char c) { return c == '\\' || c == '/'; }

int IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Characters no file or folder name holds; ':' would also name a stream of the folder.
int IsForbidden(unsigned char c) { return c < 0x20 || strchr("<>:\"|?*", c); }

// Appends one name (up to a separator or the end) of path to canonical at *length, ASCII letters
// lower-cased and double-byte characters whole, and advances path. Returns 0 when the name holds
// a forbidden character or a lead byte without a proper trail byte. A lead byte followed by a
// backslash is refused too: in code page 949 the pair is invalid, and Wine reads it as one
// character, not as a separator; in code pages 932, 936 and 950 it is one character.
int AppendComponent(const char** path, char* canonical, int size, int* length) {
  const char* p = *path;
  while (*p && !IsSeparator(*p)) {
    int bytes = 1;
    if (SysIsDBCSLeadByte(static_cast<BYTE>(*p))) {
      unsigned char trail = static_cast<unsigned char>(p[1]);
      if (trail < 0x40 || trail == '\\') return 0;
      bytes = 2;
    } else if (IsForbidden(static_cast<unsigned char>(*p))) {
      return 0;
    }
    if (*length + bytes >= size) return 0;
    canonical[(*length)++] = bytes == 1 ? AsciiLower(*p) : p[0];
    if (bytes == 2) canonical[(*length)++] = p[1];
    p += bytes;
  }
  *path = p;
  return 1;
}

// Whether the bytes from start to length are dots alone ("." and ".." among them).
int IsDots(const char* canonical, int start, int length) {
  for (int i = start; i < length; ++i)
    if (canonical[i] != '.') return 0;
  return length > start;
}

// Where the canonical path ends once the name before end is dropped: at the separator before
// that name, or at the root. No trail byte is a backslash here (AppendComponent refuses them).
int DropLastName(const char* canonical, int rootLength, int end) {
  int i = end - 1;
  while (i > rootLength && canonical[i] != '\\') --i;
  return i < rootLength ? rootLength : i;
}

// Writes the canonical form of path: "x:" or "\\server\share", then "\name" for each folder
// below it, ASCII letters lower-cased. Returns kFolderAccepted when the result lies below a drive
// or share root, otherwise why not.
FolderVerdict Canonicalize(const char* path, char* canonical, int size) {
  int length = 0;
  const char* p = path;
  if (IsSeparator(p[0]) && IsSeparator(p[1])) {
    // \\server\share. Device paths (\\.\, \\?\) skip Windows' own resolving of the path, and
    // administrative shares (C$, ADMIN$) are other names for local folders: neither can be
    // judged by its text.
    canonical[length++] = '\\';
    canonical[length++] = '\\';
    p += 2;
    int start = length;
    if (!AppendComponent(&p, canonical, size, &length)) return kFolderMalformed;
    if (length == start || IsDots(canonical, start, length)) return kFolderMalformed;
    if (!*p) return kFolderRoot;  // "\\server"
    ++p;
    if (length + 1 >= size) return kFolderMalformed;
    canonical[length++] = '\\';
    start = length;
    if (!AppendComponent(&p, canonical, size, &length)) return kFolderMalformed;
    if (length == start) return *p ? kFolderMalformed : kFolderRoot;  // "\\server\"
    if (canonical[length - 1] == '$') return kFolderMalformed;
  } else if (IsAsciiLetter(p[0]) && p[1] == ':') {
    // "C:" alone is joined into "C:\..." by the cleanup, so it stands for the root; "C:name"
    // depends on the drive's current folder.
    if (p[2] && !IsSeparator(p[2])) return kFolderRelative;
    canonical[length++] = AsciiLower(p[0]);
    canonical[length++] = ':';
    p += 2;
  } else {
    return kFolderRelative;
  }
  int rootLength = length;

  while (*p) {
    if (IsSeparator(*p)) {
      ++p;
      continue;
    }
    int slash = length;
    if (length + 1 >= size) return kFolderMalformed;
    canonical[length++] = '\\';
    if (!AppendComponent(&p, canonical, size, &length)) return kFolderMalformed;
    int dots = length - slash - 1;
    if (IsDots(canonical, slash + 1, length) && dots <= 2) {
      // "." stays; ".." goes up one folder, and at the root stays there, as for Windows.
      length = dots == 1 ? slash : DropLastName(canonical, rootLength, slash);
      continue;
    }
    // Windows drops trailing dots and spaces from a name; a name of nothing else is no name.
    while (length > slash + 1 && (canonical[length - 1] == '.' || canonical[length - 1] == ' '))
      --length;
    if (length == slash + 1) return kFolderMalformed;
  }
  canonical[length] = 0;
  return length == rootLength ? kFolderRoot : kFolderAccepted;
}

}  // namespace

FolderVerdict JudgeInstallFolder(const char* folder, const PathBuffer* wellKnown, int count) {
  PathBuffer canonical;
  FolderVerdict verdict = Canonicalize(folder, canonical, sizeof(canonical));
  if (verdict != kFolderAccepted) return verdict;
  size_t length = strlen(canonical);
  for (int i = 0; i < count; ++i) {
    PathBuffer other;
    if (Canonicalize(wellKnown[i], other, sizeof(other)) != kFolderAccepted) continue;
    // Both canonical forms end on whole characters, so a match of the first bytes followed by
    // a separator means the well-known folder lies inside (or is) the install folder.
    if (!strncmp(other, canonical, length) && (other[length] == 0 || other[length] == '\\'))
      return kFolderWellKnown;
  }
  return kFolderAccepted;
}

namespace {

// Shell folders, all-users and current user's alike.
const int kWellKnownShellFolders[] = {
    CSIDL_WINDOWS,          CSIDL_SYSTEM,          CSIDL_SYSTEMX86,
    CSIDL_FONTS,            CSIDL_PROGRAM_FILES,   CSIDL_PROGRAM_FILESX86,
    CSIDL_PROGRAM_FILES_COMMON,                    CSIDL_PROGRAM_FILES_COMMONX86,
    CSIDL_PROFILE,          CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY,
    CSIDL_PERSONAL,         CSIDL_COMMON_DOCUMENTS, CSIDL_STARTMENU,
    CSIDL_COMMON_STARTMENU, CSIDL_PROGRAMS,        CSIDL_COMMON_PROGRAMS,
    CSIDL_STARTUP,          CSIDL_COMMON_STARTUP,  CSIDL_APPDATA,
    CSIDL_LOCAL_APPDATA,    CSIDL_COMMON_APPDATA,
};

// Folders the shell does not name to a 32-bit process (the 64-bit Program Files) or at all
// (the temporary folder), and the older names of the same folders.
const char* const kWellKnownVariables[] = {
    "TEMP",     "TMP",         "ProgramW6432",    "CommonProgramW6432", "ProgramFiles",
    "windir",   "SystemRoot",  "USERPROFILE",     "ALLUSERSPROFILE",    "PUBLIC",
    "ProgramData",
};

static_assert(2 + sizeof(kWellKnownShellFolders) / sizeof(kWellKnownShellFolders[0]) +
                      sizeof(kWellKnownVariables) / sizeof(kWellKnownVariables[0]) <=
                  kMaxWellKnownFolders,
              "room for the Windows and system directories, shell folders and variables");

}  // namespace

int CollectWellKnownFolders(PathBuffer* folders) {
  int count = 0;
  UINT length = SysGetWindowsDirectory(folders[count], kPathSize);
  if (length == 0 || length >= static_cast<UINT>(kPathSize)) return 0;
  ++count;
  length = SysGetSystemDirectory(folders[count], kPathSize);
  if (length == 0 || length >= static_cast<UINT>(kPathSize)) return 0;
  ++count;
  for (int csidl : kWellKnownShellFolders) {
    folders[count][0] = 0;
    if (SysGetSpecialFolderPath(folders[count], csidl) && folders[count][0]) ++count;
  }
  for (const char* name : kWellKnownVariables) {
    DWORD size = SysGetEnvironmentVariable(name, folders[count], kPathSize);
    if (size > 0 && size < static_cast<DWORD>(kPathSize)) ++count;
  }
  return count;
}
