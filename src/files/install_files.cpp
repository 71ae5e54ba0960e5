// The install folder's files, the folder, and the product's executable in the system directory.
// The folder is named by the registry, so it is judged before anything in it is deleted.
#include <string.h>

#include "control/install_location.h"
#include "files/at_restart.h"
#include "files/files.h"
#include "files/folder_guard.h"
#include "files/held_folder.h"
#include "platform/path.h"
#include "platform/platform.h"

namespace {

const char kSystemExecutable[] = "kelrun32.exe";

}  // namespace

void RemoveInstallFiles() {
  PathBuffer path;
  memset(path, 0, sizeof(path));

  // The folder is judged by its text before anything reaches it: a share is refused without
  // being contacted. A folder that is refused, or that cannot be held, proven or listed, is left
  // alone, and the system executable with it: it belongs to an installation that the registry no
  // longer describes soundly.
  GuardedFolders guarded;
  if (!CollectGuardedFolders(&guarded) ||
      JudgeInstallFolder(g_installDir, &guarded) != kFolderAccepted ||
      RemoveFolder(g_installDir, &guarded) == kRemovalRefused)
    return;

  UINT length = SysGetSystemDirectory(path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return;
  char* end = path + length;
  if (!FormatPath(end, sizeof(path) - length, "\\%s", kSystemExecutable)) return;
  // The system directory and every folder above it are the administrators' alone: a service
  // that still runs from it goes where it stands at the next start of Windows.
  DeleteNowOrAtRestart(path);
}
