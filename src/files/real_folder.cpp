// Where a folder really leads. Windows is asked name by name, which works on every family and
// also tells which names are links, and then for the final path of the folder opened; a link is
// followed only when its owner is one that could change the system anyway.
#include "files/real_folder.h"

#include <string.h>

#include "files/folder_guard.h"
#include "platform/path.h"
#include "platform/platform.h"

namespace {

// The owners whose links are followed, as SIDs: BUILTIN\Administrators (S-1-5-32-544), SYSTEM
// (S-1-5-18) and NT SERVICE\TrustedInstaller (S-1-5-80-956008885-3418522649-1831038044-
// 1853292631-2271478464). A SID is its revision, its number of sub-authorities, a six-byte
// authority (NT: 5) and the sub-authorities as little-endian DWORDs.
struct KnownSid {
  BYTE revision, subAuthorityCount, authority[6];
  DWORD subAuthority[6];
};
const KnownSid kTrustedOwners[] = {
    {1, 2, {0, 0, 0, 0, 0, 5}, {32, 544}},
    {1, 1, {0, 0, 0, 0, 0, 5}, {18}},
    {1, 6, {0, 0, 0, 0, 0, 5}, {80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464}},
};

// Whether the length bytes at sid are the SID known.
int IsSid(const BYTE* sid, DWORD length, const KnownSid& known) {
  DWORD size = 8 + 4 * known.subAuthorityCount;
  return length == size && !memcmp(sid, &known, size);
}

}  // namespace

int IsTrustedLink(const char* path) {
  HANDLE link = SysOpenItselfForQuery(path);
  if (link == INVALID_HANDLE_VALUE) return 0;
  BYTE owner[68];  // the largest SID: 8 bytes and 15 sub-authorities
  DWORD length = SysGetOwnerSid(link, owner, sizeof(owner));
  SysCloseHandle(link);
  for (const KnownSid& known : kTrustedOwners)
    if (IsSid(owner, length, known)) return 1;
  return 0;
}

namespace {

// Walks the canonical form of a folder below a drive ("x:\a\b") name by name, as Windows lists
// each: stores the long form of every name in longForm (a PathBuffer) and sets *linked when a
// folder on the path is a link. Returns 0 when a name cannot be found, is no folder, comes back
// unusable or does not fit, and, with trustedLinksOnly, when a link on the path is not one an
// administrator made. Searching for each name works on every Windows family and tells its long
// name and its attributes at once.
int WalkFolder(const char* canonical, char* longForm, int* linked, int trustedLinksOnly) {
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
      if (trustedLinksOnly && !IsTrustedLink(partial)) return 0;
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

}  // namespace

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

int FindRealFolder(const char* folder, char* real, int trustedLinksOnly) {
  PathBuffer canonical, longForm, final;
  int linked;
  if (Canonicalize(folder, canonical, sizeof(canonical)) != kFolderAccepted) return 0;
  if (canonical[0] == '\\' || !WalkFolder(canonical, longForm, &linked, trustedLinksOnly)) return 0;
  // Windows is asked even without a link on the path: a drive letter can itself stand for a
  // folder (subst) or a share (a mapped drive).
  memset(final, 0, sizeof(final));
  DWORD length = 0;
  HANDLE file = SysOpenForQuery(longForm);
  if (file != INVALID_HANDLE_VALUE) {
    length = SysGetFinalPathNameByHandle(file, final, sizeof(final));
    SysCloseHandle(file);
  }
  if (length > 0) return length < sizeof(final) && PlainFinalPath(final, real);
  // Without an answer the long form is where the folder leads, unless a link is on its path.
  return !linked && FormatPath(real, kPathSize, "%s", longForm);
}

