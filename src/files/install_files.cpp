// The install folder's files, the folder, and the product's executable in the system directory.
// The folder is named by the registry, so it is judged before anything in it is deleted.
#include <string.h>

#include "files/at_restart.h"
#include "files/files.h"
#include "files/folder_guard.h"
#include "files/held_folder.h"
#include "platform/path.h"
#include "platform/platform.h"
#include "product/product.h"

namespace {

const char kSystemExecutable[] = "kelrun32.exe";

enum GuardState { kGuardNotCollected, kGuardCollected, kGuardIncomplete };

// The guarded folders PrepareInstallFiles collected, for the next removal alone.
GuardedFolders g_guarded;
GuardState g_guardState = kGuardNotCollected;

}  // namespace

void PrepareInstallFiles() {
  g_guardState = CollectGuardedFolders(&g_guarded) ? kGuardCollected : kGuardIncomplete;
}

int RemoveInstallFiles() {
  PathBuffer path;
  memset(path, 0, sizeof(path));

  if (g_guardState == kGuardNotCollected) PrepareInstallFiles();
  GuardState collected = g_guardState;
  g_guardState = kGuardNotCollected;  // a later removal collects afresh

  // Where the system's folders could not all be collected, the folder cannot be judged: it is
  // left alone, and its record stays. It is judged by its text before anything reaches it: a
  // share is refused without being contacted. A folder that is refused, or is not there, is left
  // alone, and the system executable with it: it belongs to an installation that the registry
  // no longer describes soundly, and its record may go.
  if (collected != kGuardCollected) return 0;
  FolderRemoval removal = kRemovalRefused;
  if (JudgeInstallFolder(g_installDir, &g_guarded) == kFolderAccepted)
    removal = RemoveFolder(g_installDir, &g_guarded);
  if (removal == kRemovalRefused) return 1;

  // Where the system directory cannot be told, its executable could not be looked at.
  int gone = removal != kRemovalFilesStay;
  return GetSystemFolder(path) && RemoveSystemFile(path, kSystemExecutable) && gone;
}
