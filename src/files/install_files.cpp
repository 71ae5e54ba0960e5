// The install folder's files, the folder, and the product's executable in the system directory.
// The folder is named by the registry, so it is judged before anything in it is deleted.
#include <string.h>

#include "control/install_location.h"
#include "files/files.h"
#include "files/folder_guard.h"
#include "files/held_folder.h"
#include "platform/path.h"
#include "platform/platform.h"

namespace {

const char kSystemExecutable[] = "kelrun32.exe";

}  // namespace

void RemoveInstallFiles() {
  PathBuffer pattern, real, path;
  WIN32_FIND_DATAA found;
  memset(pattern, 0, sizeof(pattern));
  memset(real, 0, sizeof(real));
  memset(path, 0, sizeof(path));
  memset(&found, 0, sizeof(found));

  // A folder that cannot be searched is left alone, and the system executable with it; asked
  // first, since it is cheap and the guard asks Windows about some seventy folders.
  if (!FormatPath(pattern, sizeof(pattern), "%s\\*.*", g_installDir)) return;
  HANDLE search = SysFindFirstFile(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  SysFindClose(search);
  // A folder that cannot be the product's own counts as one that cannot be searched: nothing
  // in it is deleted, nor the system executable, which belongs to an installation that the
  // registry no longer describes soundly. So does one that cannot be held or proven.
  if (!MayEmptyFolder(g_installDir, real) || !DeleteFolderFiles(g_installDir, real, 1)) return;

  UINT length = SysGetSystemDirectory(path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return;
  char* end = path + length;
  if (!FormatPath(end, sizeof(path) - length, "\\%s", kSystemExecutable)) return;
  SysDeleteFile(path);
}
