// Where a folder is. Windows is asked name by name, which works on every family and also tells
// which names are links, and then, for the system's own folders, for the final path of the folder
// opened.
#include "files/real_folder.h"

#include <string.h>

#include "files/path_text.h"
#include "platform/path.h"
#include "platform/platform.h"

namespace {

// Walks the canonical form of a folder below a drive ("x:\a\b") name by name, as Windows lists
// each: stores the long form of every name in longForm (a PathBuffer) and sets *linked when a
// folder on the path is a link. Returns 0 when a name cannot be found, is no folder, comes back
// unusable or does not fit, and, unless followLinks, when a folder on the path is a link.
// Searching for each name works on every Windows family and tells its long name and its
// attributes at once.
int WalkFolder(const char* canonical, char* longForm, int* linked, int followLinks) {
  PathBuffer partial;
  WIN32_FIND_DATAA found;
  *linked = 0;
  // The drive as Windows writes it; every name below as the search returns it.
  if (!FormatPath(longForm, kPathSize, "%c:", canonical[0] - 'a' + 'A')) return 0;
  int end = 2;
  while (canonical[end]) {
    // No trail byte is a backslash in the canonical form (IsWholeName refuses them).
    do ++end;
    while (canonical[end] && canonical[end] != '\\');
    memcpy(partial, canonical, end);
    partial[end] = 0;
    memset(&found, 0, sizeof(found));
    HANDLE search = SysFindFirstFile(partial, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    SysFindClose(search);
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsPlainEntryName(found.cFileName))
      return 0;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      if (!followLinks) return 0;
      *linked = 1;
    }
    int length = static_cast<int>(strlen(longForm));
    if (!FormatPath(longForm + length, kPathSize - length, "\\%s", found.cFileName)) return 0;
  }
  return 1;
}

// Whether path holds a '/' or a name of dots alone: Windows writes neither into a final path,
// so either came from a name that the conversion to the ANSI code page changed.
int HasConvertedName(const char* path) {
  int start = 0;
  for (int i = 0;;) {
    char c = path[i];
    if (c == 0 || c == '\\') {
      if (IsDots(path, start, i)) return 1;
      if (c == 0) return 0;
      start = ++i;
    } else if (c == '/') {
      return 1;
    } else {
      i += SysIsDBCSLeadByte(static_cast<BYTE>(c)) && path[i + 1] ? 2 : 1;
    }
  }
}

// The plain text of a final path, converted to the ANSI code page, in real (a PathBuffer):
// "\\?\C:\..." becomes "C:\...", and "\\?\UNC\server\share\..." becomes "\\server\share\...".
// Returns 0 for any other form (a volume without a drive letter) and for a path with a name that
// the conversion to the ANSI code page changed.
int PlainFinalPath(const char* final, char* real) {
  if (strncmp(final, "\\\\?\\", 4) != 0) return 0;
  const char* rest = final + 4;
  int plain;
  if (!strncmp(rest, "UNC\\", 4))
    plain = FormatPath(real, kPathSize, "\\\\%s", rest + 4);
  else
    plain = IsAsciiLetter(rest[0]) && rest[1] == ':' && FormatPath(real, kPathSize, "%s", rest);
  return plain && !HasConvertedName(real);
}

// The long form of folder, below a drive; see WalkFolder.
int WalkPath(const char* folder, char* longForm, int* linked, int followLinks) {
  PathBuffer canonical;
  return Canonicalize(folder, canonical, sizeof(canonical)) == kFolderAccepted &&
         canonical[0] != '\\' && WalkFolder(canonical, longForm, linked, followLinks);
}

}  // namespace

int FindLongForm(const char* folder, char* longForm) {
  int linked;
  return WalkPath(folder, longForm, &linked, 0);
}

int FindRealFolder(const char* folder, char* real) {
  PathBuffer longForm, final;
  WCHAR wide[kPathSize];
  int linked;
  if (!WalkPath(folder, longForm, &linked, 1)) return 0;
  // Windows is asked even without a link on the path: a drive letter can itself stand for a
  // folder (subst) or a share (a mapped drive).
  DWORD length = 0;
  HANDLE file = SysOpenForQuery(longForm);
  if (file != INVALID_HANDLE_VALUE) {
    length = SysGetFinalPathWide(file, wide, kPathSize);
    SysCloseHandle(file);
  }
  if (length > 0)
    return length < static_cast<DWORD>(kPathSize) && SysWideToAnsi(wide, final, kPathSize) &&
           PlainFinalPath(final, real);
  // Without an answer the long form is where the folder leads, unless a link is on its path.
  return !linked && FormatPath(real, kPathSize, "%s", longForm);
}

