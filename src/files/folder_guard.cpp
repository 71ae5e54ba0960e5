// The install folder comes from a registry value that anyone with write access can change, so
// before its files are deleted it is judged against the folders Windows names as its own, each
// also where it really leads: by its text as written, before anything touches it, and again by
// its long form once it is held. The judgement errs towards refusing: a refused folder merely
// stays in place.
#include "files/folder_guard.h"

#include <shlobj.h>
#include <string.h>

#include "files/real_folder.h"
#include "platform/platform.h"

namespace {

// Whether inner is outer or lies inside it. Both are canonical and end on whole characters, so a
// match of outer's bytes followed by a separator or the end means the folder itself or one below.
int IsAtOrInside(const char* inner, const char* outer) {
  size_t length = strlen(outer);
  return !strncmp(inner, outer, length) && (inner[length] == 0 || inner[length] == '\\');
}

// Whether the canonical folder is judged by the folder Windows names as guarded: how it relates
// to that folder's canonical form, when Windows names one. A guarded folder that is a root holds
// every folder on its drive or share; one that is relative names no folder and is passed over;
// one whose text cannot be read at all could be any folder, and the folder is refused.
int IsJudgedBy(const char* canonical, const char* guarded, int inside) {
  PathBuffer other;
  FolderVerdict verdict = CanonicalizeNamed(guarded, other, sizeof(other));
  if (verdict == kFolderRelative) return 0;
  if (verdict == kFolderMalformed) return 1;
  return IsAtOrInside(other, canonical) || (inside && IsAtOrInside(canonical, other));
}

}  // namespace

FolderVerdict JudgeInstallFolder(const char* folder, const GuardedFolders* guarded) {
  PathBuffer canonical;
  FolderVerdict verdict = Canonicalize(folder, canonical, sizeof(canonical));
  if (verdict != kFolderAccepted) return verdict;
  if (canonical[0] == '\\') return kFolderShare;
  // The sealed folders first, then the well-known ones.
  for (int sealed = 1; sealed >= 0; --sealed) {
    const PathBuffer* folders = sealed ? guarded->sealed : guarded->wellKnown;
    int count = sealed ? guarded->sealedCount : guarded->wellKnownCount;
    for (int i = 0; i < count; ++i)
      if (IsJudgedBy(canonical, folders[i], sealed))
        return sealed ? kFolderSealed : kFolderWellKnown;
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

// The Windows folder under its other names (a Terminal Server session's own Windows folder is
// what GetWindowsDirectory names; the variables name the system's). The folder that holds every
// account's profile is the one above the current user's profile and above the public one.
const char* const kSealedVariables[] = {"windir", "SystemRoot"};
const char* const kProfileVariables[] = {"USERPROFILE", "PUBLIC"};
const char kAbove[] = "\\..";

// A list of folders with room for capacity of them. A folder that cannot be kept, for want of
// room in the list or because it and its suffix are longer than a path, is noted: the guard
// would judge without it, so CollectGuardedFolders then fails and nothing is accepted.
struct FolderList {
  PathBuffer* folders;
  int* count;
  int capacity;
  int dropped;  // a folder could not be kept
};

// Adds folder followed by suffix to list, when there is one; notes it when it cannot.
void Keep(FolderList* list, const char* folder, const char* suffix) {
  if (!folder[0]) return;
  if (*list->count >= list->capacity ||
      !FormatPath(list->folders[*list->count], kPathSize, "%s%s", folder, suffix)) {
    list->dropped = 1;
    return;
  }
  ++*list->count;
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
    if (FindRealFolder(list->folders[i], real)) Keep(list, real, "");
}

}  // namespace

int CollectGuardedFolders(GuardedFolders* guarded) {
  FolderList sealed = {guarded->sealed, &guarded->sealedCount, kMaxSealedFolders, 0};
  FolderList wellKnown = {guarded->wellKnown, &guarded->wellKnownCount, kMaxWellKnownFolders, 0};
  guarded->sealedCount = guarded->wellKnownCount = 0;
  PathBuffer folder;
  if (!GetWindowsFolder(folder)) return 0;
  Keep(&sealed, folder, "");
  Keep(&wellKnown, folder, "");
  if (!GetSystemFolder(folder)) return 0;
  Keep(&wellKnown, folder, "");

  KeepShellFolder(&sealed, CSIDL_WINDOWS, "");
  for (const char* name : kSealedVariables) KeepVariable(&sealed, name, "");
  KeepShellFolder(&sealed, CSIDL_PROFILE, kAbove);
  for (const char* name : kProfileVariables) KeepVariable(&sealed, name, kAbove);

  for (int csidl : kWellKnownShellFolders) KeepShellFolder(&wellKnown, csidl, "");
  for (const char* name : kWellKnownVariables) KeepVariable(&wellKnown, name, "");

  KeepRealFolders(&sealed);
  KeepRealFolders(&wellKnown);
  // A folder left out would be one the guard does not judge by.
  return !sealed.dropped && !wellKnown.dropped;
}
