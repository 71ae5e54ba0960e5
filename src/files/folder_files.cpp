// One level of a folder's files, deleted entry by entry as the search returns them.
#include "files/folder_files.h"

#include <string.h>

#include "files/folder_guard.h"
#include "platform/path.h"
#include "platform/platform.h"

void DeleteFilesFound(const char* folder, HANDLE search, WIN32_FIND_DATAA* found) {
  PathBuffer path;
  do {
    // Subfolders and the "." and ".." entries are no files: DeleteFile would only fail on them.
    if (found->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    // A name the conversion to the ANSI code page made into a path, or could not map: deleted
    // by that name, it would reach another file, possibly outside the folder.
    if (!IsPlainEntryName(found->cFileName)) continue;
    memset(path, 0, sizeof(path));
    if (FormatPath(path, sizeof(path), "%s\\%s", folder, found->cFileName)) SysDeleteFile(path);
  } while (SysFindNextFile(search, found));
  SysFindClose(search);
}
