// Deletion at the next start of Windows on the 9x family: WININIT.INI. (The NT family's goes
// through handles and the restart folder: restart_folder.h.)
#include "files/at_restart.h"

#include <string.h>

#include "platform/path.h"
#include "platform/platform.h"

namespace {

const char kWininit[] = "WININIT.INI";  // in the Windows folder
const char kRenameSection[] = "rename";

// Room for WININIT.INI's [rename] section: the lines other programs left there and ours. A
// section that does not fit is left as it is, never cut short.
const DWORD kSectionSize = 8192;

// Adds "NUL=<short path>" to WININIT.INI's [rename] section, after the lines already there
// (section lines may repeat a key, so the whole section is read and written back).
int AddWininitDeletion(const char* path) {
  PathBuffer shortPath;
  char section[kSectionSize];
  DWORD length = SysGetShortPathName(path, shortPath, sizeof(shortPath));
  if (length == 0 || length >= sizeof(shortPath)) return 0;
  // Each line ends with a terminator and the section with one more; the lines are walked
  // here, not counted from the answer.
  memset(section, 0, sizeof(section));
  if (SysGetProfileSection(kRenameSection, section, kSectionSize, kWininit) >= kSectionSize - 2)
    return 0;
  DWORD used = 0;
  while (used < kSectionSize - 2 && section[used])
    used += static_cast<DWORD>(strlen(section + used)) + 1;
  if (used >= kSectionSize - 2) return 0;
  if (!FormatPath(section + used, kSectionSize - used - 1, "NUL=%s", shortPath)) return 0;
  used += static_cast<DWORD>(strlen(section + used)) + 1;
  section[used] = 0;
  return SysWriteProfileSection(kRenameSection, section, kWininit);
}

}  // namespace

int DeleteNowOrAtRestart(const char* path) {
  if (SysDeleteFile(path)) return 1;
  DWORD attributes = SysGetFileAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return 1;  // gone already
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    if (!SysSetFileAttributes(path, attributes & ~FILE_ATTRIBUTE_READONLY)) return 0;
    if (SysDeleteFile(path)) return 1;
  }
  return AddWininitDeletion(path);
}
