// The install folder's files, the folder, and the product's executable in the system directory.
// The folder is named by the registry, so it is judged before anything in it is deleted.
#include <string.h>

#include "control/install_location.h"
#include "files/files.h"
#include "files/folder_files.h"
#include "files/folder_guard.h"
#include "platform/path.h"
#include "platform/platform.h"

namespace {

const char kSystemExecutable[] = "kelrun32.exe";

}  // namespace

void RemoveInstallFiles() {
  PathBuffer pattern, path;
  WIN32_FIND_DATAA found;
  memset(pattern, 0, sizeof(pattern));
  memset(path, 0, sizeof(path));
  memset(&found, 0, sizeof(found));

  if (!FormatPath(pattern, sizeof(pattern), "%s\\*.*", g_installDir)) return;
  HANDLE search = SysFindFirstFile(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  // A folder that cannot be the product's own counts as one that cannot be searched: nothing
  // in it is deleted, nor the system executable, which belongs to an installation that the
  // registry no longer describes soundly.
  if (!MayEmptyFolder(g_installDir)) {
    SysFindClose(search);
    return;
  }
  DeleteFilesFound(g_installDir, search, &found);
  SysRemoveDirectory(g_installDir);

  UINT length = SysGetSystemDirectory(path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return;
  char* end = path + length;
  if (!FormatPath(end, sizeof(path) - length, "\\%s", kSystemExecutable)) return;
  SysDeleteFile(path);
}
