// The product's Start-menu program group and desktop shortcut, looked for in the all-users
// folders, or in the current user's when Windows cannot name the all-users ones.
#include <shlobj.h>
#include <string.h>

#include "files/files.h"
#include "files/held_folder.h"
#include "platform/path.h"
#include "platform/platform.h"

namespace {

// "톨바네", the product's display name in code page 949: the group's folder name and the
// shortcut's file name.
const char kGroupName[] = "\xC5\xE7\xB9\xD9\xB3\xD7";
const char kShortcutFormat[] = "%s\\\xC5\xE7\xB9\xD9\xB3\xD7.lnk";

// Puts the all-users folder in folder, or the current user's when Windows cannot name the
// all-users one. An empty answer names no folder.
int GetShellFolder(char* folder, int allUsers, int currentUser) {
  folder[0] = 0;
  if (SysGetSpecialFolderPath(folder, allUsers) && folder[0]) return 1;
  folder[0] = 0;
  return SysGetSpecialFolderPath(folder, currentUser) && folder[0];
}

}  // namespace

void RemoveShellItems() {
  PathBuffer folder, shortcut;
  memset(folder, 0, sizeof(folder));
  memset(shortcut, 0, sizeof(shortcut));
  if (GetShellFolder(folder, CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS)) RemoveProgramGroup(folder);
  if (GetShellFolder(folder, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY) &&
      FormatPath(shortcut, sizeof(shortcut), kShortcutFormat, folder))
    SysDeleteFile(shortcut);
}

void RemoveProgramGroup(const char* programsFolder) {
  PathBuffer pattern, group;
  WIN32_FIND_DATAA entry;
  memset(pattern, 0, sizeof(pattern));
  memset(group, 0, sizeof(group));
  memset(&entry, 0, sizeof(entry));

  if (!FormatPath(pattern, sizeof(pattern), "%s\\*.*", programsFolder)) return;
  HANDLE search = SysFindFirstFile(pattern, &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (strcmp(entry.cFileName, kGroupName) != 0) continue;
    // A link (symbolic link, junction) in the group's place leads to some other folder, whose
    // files are not the product's: nothing more to find here.
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) break;
    if (!FormatPath(group, sizeof(group), "%s\\%s", programsFolder, entry.cFileName)) continue;
    // Emptied only where it is, never through a link on its path. A group that is refused, or
    // that cannot be held, proven or listed: nothing more to find.
    if (RemoveFolder(group, nullptr) == kRemovalRefused) break;
  } while (SysFindNextFile(search, &entry));
  SysFindClose(search);
}
