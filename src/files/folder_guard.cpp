// The install folder comes from a registry value that anyone with write access can change, so
// before its files are deleted it is judged against the folders Windows names as its own: by its
// text, and by where it really leads once short names are expanded and links followed. The
// judgement errs towards refusing: a refused folder merely stays in place.
#include "files/folder_guard.h"

#include <shlobj.h>
#include <string.h>

#include "files/real_folder.h"
#include "platform/platform.h"

int IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int IsDots(const char* text, int start, int end) {
  for (int i = start; i < end; ++i)
    if (text[i] != '.') return 0;
  return end > start;
}

namespace {

int IsSeparator(char c) { return c == '\\' || c == '/'; }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Characters no file or folder name holds; ':' would also name a stream of the folder.
int IsForbidden(unsigned char c) { return c < 0x20 || strchr("<>:\"|?*", c); }

// Whether the length bytes at text are whole characters of one name: no separator, no
// forbidden character, every lead byte followed by a proper trail byte. A lead byte followed by
// a backslash is refused too: in code page 949 the pair is invalid, and Wine reads it as one
// character, not as a separator; in code pages 932, 936 and 950 it is one character.
int IsWholeName(const char* text, int length) {
  for (int i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (SysIsDBCSLeadByte(c)) {
      if (i + 1 >= length) return 0;
      unsigned char trail = static_cast<unsigned char>(text[++i]);
      if (trail < 0x40 || trail == '\\') return 0;
    } else if (IsForbidden(c) || IsSeparator(static_cast<char>(c))) {
      return 0;
    }
  }
  return 1;
}

// Appends one name (up to a separator or the end) of path to canonical at *length, lower-cased
// as the file system compares names, and advances path. Returns 0 when the name is not made of
// whole characters (see IsWholeName) or does not fit.
int AppendComponent(const char** path, char* canonical, int size, int* length) {
  const char* p = *path;
  int start = *length;
  while (*p && !IsSeparator(*p)) {
    if (*length + 1 >= size) return 0;
    canonical[(*length)++] = *p++;
  }
  *path = p;
  int bytes = *length - start;
  if (!IsWholeName(canonical + start, bytes)) return 0;
  // Every letter of the ANSI code page, double-byte ones included; checked again, so that no
  // lowered character can become a separator.
  SysCharLowerBuff(canonical + start, bytes);
  return IsWholeName(canonical + start, bytes);
}

// Where the canonical path ends once the name before end is dropped: at the separator before
// that name, or at the root. No trail byte is a backslash here (AppendComponent refuses them).
int DropLastName(const char* canonical, int rootLength, int end) {
  int i = end - 1;
  while (i > rootLength && canonical[i] != '\\') --i;
  return i < rootLength ? rootLength : i;
}

}  // namespace

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

namespace {

// Whether inner is outer or lies inside it. Both are canonical and end on whole characters, so a
// match of outer's bytes followed by a separator or the end means the folder itself or one below.
int IsAtOrInside(const char* inner, const char* outer) {
  size_t length = strlen(outer);
  return !strncmp(inner, outer, length) && (inner[length] == 0 || inner[length] == '\\');
}

}  // namespace

FolderVerdict JudgeInstallFolder(const char* folder, const GuardedFolders* guarded) {
  PathBuffer canonical, other;
  FolderVerdict verdict = Canonicalize(folder, canonical, sizeof(canonical));
  if (verdict != kFolderAccepted) return verdict;
  if (IsSeparator(canonical[0])) return kFolderShare;
  for (int i = 0; i < guarded->sealedCount; ++i) {
    if (Canonicalize(guarded->sealed[i], other, sizeof(other)) != kFolderAccepted) continue;
    if (IsAtOrInside(canonical, other) || IsAtOrInside(other, canonical)) return kFolderSealed;
  }
  for (int i = 0; i < guarded->wellKnownCount; ++i) {
    if (Canonicalize(guarded->wellKnown[i], other, sizeof(other)) != kFolderAccepted) continue;
    if (IsAtOrInside(other, canonical)) return kFolderWellKnown;
  }
  return kFolderAccepted;
}

int IsPlainEntryName(const char* name) {
  int length = static_cast<int>(strlen(name));
  return length > 0 && IsWholeName(name, length) && !IsDots(name, 0, length);
}

int LiesDirectlyIn(const char* path, const char* folder) {
  PathBuffer entry, outer;
  if (Canonicalize(path, entry, sizeof(entry)) != kFolderAccepted ||
      Canonicalize(folder, outer, sizeof(outer)) != kFolderAccepted)
    return 0;
  size_t length = strlen(outer);
  // No trail byte is a backslash in the canonical form (IsWholeName refuses them).
  return !strncmp(entry, outer, length) && entry[length] == '\\' &&
         !strchr(entry + length + 1, '\\');
}

int IsSameFolder(const char* one, const char* other) {
  PathBuffer first, second;
  FolderVerdict verdict = Canonicalize(one, first, sizeof(first));
  return (verdict == kFolderAccepted || verdict == kFolderRoot) &&
         Canonicalize(other, second, sizeof(second)) == verdict && !strcmp(first, second);
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

// The Windows folder under its other names (a Terminal Server session's own Windows folder is
// what GetWindowsDirectory names; the variables name the system's). The folder that holds every
// account's profile is the one above the current user's profile and above the public one.
const char* const kSealedVariables[] = {"windir", "SystemRoot"};
const char* const kProfileVariables[] = {"USERPROFILE", "PUBLIC"};
const char kAbove[] = "\\..";

// A list of folders with room for capacity of them. A folder that finds the list full is noted:
// the guard would judge without it, so CollectGuardedFolders then fails and nothing is accepted.
struct FolderList {
  PathBuffer* folders;
  int* count;
  int capacity;
  int full;  // a folder did not fit
};

// Adds folder followed by suffix to list, when there is one and it fits.
void Keep(FolderList* list, const char* folder, const char* suffix) {
  if (!folder[0]) return;
  if (*list->count >= list->capacity) {
    list->full = 1;
    return;
  }
  if (FormatPath(list->folders[*list->count], kPathSize, "%s%s", folder, suffix)) ++*list->count;
}

void KeepShellFolder(FolderList* list, int csidl, const char* suffix) {
  PathBuffer folder;
  folder[0] = 0;
  if (SysGetSpecialFolderPath(folder, csidl)) Keep(list, folder, suffix);
}

void KeepVariable(FolderList* list, const char* name, const char* suffix) {
  PathBuffer folder;
  DWORD size = SysGetEnvironmentVariable(name, folder, kPathSize);
  if (size > 0 && size < static_cast<DWORD>(kPathSize)) Keep(list, folder, suffix);
}

// Adds where each folder of list really leads, when Windows can tell.
void KeepRealFolders(FolderList* list) {
  PathBuffer real;
  for (int i = 0, named = *list->count; i < named; ++i)
    if (FindRealFolder(list->folders[i], real, 0)) Keep(list, real, "");
}

}  // namespace

int CollectGuardedFolders(GuardedFolders* guarded) {
  FolderList sealed = {guarded->sealed, &guarded->sealedCount, kMaxSealedFolders, 0};
  FolderList wellKnown = {guarded->wellKnown, &guarded->wellKnownCount, kMaxWellKnownFolders, 0};
  guarded->sealedCount = guarded->wellKnownCount = 0;
  PathBuffer folder;
  UINT length = SysGetWindowsDirectory(folder, kPathSize);
  if (length == 0 || length >= static_cast<UINT>(kPathSize)) return 0;
  Keep(&sealed, folder, "");
  Keep(&wellKnown, folder, "");
  length = SysGetSystemDirectory(folder, kPathSize);
  if (length == 0 || length >= static_cast<UINT>(kPathSize)) return 0;
  Keep(&wellKnown, folder, "");

  KeepShellFolder(&sealed, CSIDL_WINDOWS, "");
  for (const char* name : kSealedVariables) KeepVariable(&sealed, name, "");
  KeepShellFolder(&sealed, CSIDL_PROFILE, kAbove);
  for (const char* name : kProfileVariables) KeepVariable(&sealed, name, kAbove);

  for (int csidl : kWellKnownShellFolders) KeepShellFolder(&wellKnown, csidl, "");
  for (const char* name : kWellKnownVariables) KeepVariable(&wellKnown, name, "");

  KeepRealFolders(&sealed);
  KeepRealFolders(&wellKnown);
  // A folder left out for want of room would be one the guard does not judge by.
  return !sealed.full && !wellKnown.full;
}

int MayEmptyFolder(const char* folder, char* real) {
  GuardedFolders guarded;
  // The text is judged first: a share or device path is not even asked about.
  return CollectGuardedFolders(&guarded) &&
         JudgeInstallFolder(folder, &guarded) == kFolderAccepted &&
         FindRealFolder(folder, real, 1) &&
         JudgeInstallFolder(real, &guarded) == kFolderAccepted;
}
