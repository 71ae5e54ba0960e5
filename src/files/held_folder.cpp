// One level of a folder's files, deleted entry by entry while the folder is held. The guard
// judged the folder by its path; a path is looked up again at every use, and whoever may write
// the folder's parent could otherwise swap the folder for a link between the judgement and the
// deletions. So the folder is held from before its entries are listed, and each file is judged
// and deleted through one handle: what is deleted is what was judged.
#include "files/held_folder.h"

#include <stddef.h>
#include <string.h>

#include "files/folder_guard.h"
#include "files/real_folder.h"
#include "platform/family.h"
#include "platform/path.h"
#include "platform/platform.h"

namespace {

// FILE_ID_BOTH_DIR_INFO, one entry as a folder held through its handle lists it.
struct DirectoryRecord {
  DWORD nextEntryOffset;  // from this record to the next; 0 for the last
  DWORD fileIndex;
  LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime, endOfFile, allocationSize;
  DWORD fileAttributes;
  DWORD fileNameLength;  // in bytes
  DWORD eaSize;
  CHAR shortNameLength;
  WCHAR shortName[12];
  LARGE_INTEGER fileId;
  WCHAR fileName[1];
};
static_assert(offsetof(DirectoryRecord, fileName) == 104, "the layout Windows writes");

// Reads of a folder's entries; each read lists at least one. Bounds the listing whatever the
// file system answers.
const int kMaxReads = 1 << 20;

// Where the open file or folder is, as plain text in real (a PathBuffer). 0 when Windows cannot
// tell or it does not fit. The final path has room for its "\\?\UNC\" prefix besides.
int FinalPathOf(HANDLE file, char* real) {
  char final[kPathSize + 8];
  memset(final, 0, sizeof(final));
  DWORD length = SysGetFinalPathNameByHandle(file, final, sizeof(final));
  return length > 0 && length < sizeof(final) && PlainFinalPath(final, real);
}

// The path of the entry name of folder, in path (a PathBuffer), when it may be offered for
// deletion: files only (the "." and ".." entries are folders too), and only a name the
// conversion to the ANSI code page left a plain name (deleted by a name that became a path,
// another file would go, possibly outside the folder).
int FileEntryPath(const char* folder, DWORD attributes, const char* name, char* path) {
  return !(attributes & FILE_ATTRIBUTE_DIRECTORY) && IsPlainEntryName(name) &&
         FormatPath(path, kPathSize, "%s\\%s", folder, name);
}

// Deletes the entry at path through a handle of its own. byDisposition: Windows can tell where
// the handle leads and delete through it; otherwise the open itself asks for the deletion.
void DeleteEntry(const char* path, const char* approved, int byDisposition) {
  HANDLE entry = SysOpenEntryForDelete(path, !byDisposition);
  if (entry == INVALID_HANDLE_VALUE) return;
  if (byDisposition) {
    PathBuffer real;
    DWORD attributes = SysGetAttributesByHandle(entry);
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        FinalPathOf(entry, real) && LiesDirectlyIn(real, approved))
      SysSetDeleteDisposition(entry);
  }
  SysCloseHandle(entry);
}

// Lists the entries of a search by folder's path from the one in found onwards and offers each
// file to deletion: by its name (byName, the 9x family), else through a handle that deletes it
// when closed. Closes the search.
void DeleteFound(const char* folder, HANDLE search, WIN32_FIND_DATAA* found, int byName,
                 const char* approved) {
  PathBuffer path;
  do {
    if (!FileEntryPath(folder, found->dwFileAttributes, found->cFileName, path)) continue;
    if (byName)
      SysDeleteFile(path);
    else
      DeleteEntry(path, approved, 0);
  } while (SysFindNextFile(search, found));
  SysFindClose(search);
}

// Lists the entries of the folder held through its handle and deletes each file through a
// handle of its own. Returns 0 when the folder cannot be listed at all.
int DeleteListed(HANDLE held, const char* folder, const char* approved) {
  union {
    LONGLONG alignment;
    BYTE bytes[4096];
  } buffer;
  PathBuffer name, path;
  int read = 0;
  for (; read < kMaxReads && SysReadFolderEntries(held, &buffer, sizeof(buffer), read == 0);
       ++read) {
    DWORD offset = 0;
    for (;;) {
      const DirectoryRecord* record =
          reinterpret_cast<const DirectoryRecord*>(buffer.bytes + offset);
      DWORD end = offset + offsetof(DirectoryRecord, fileName);
      if (end > sizeof(buffer) || record->fileNameLength > sizeof(buffer) - end) break;
      if (SysWideToAnsi(record->fileName, record->fileNameLength / sizeof(WCHAR), name,
                        sizeof(name)) &&
          FileEntryPath(folder, record->fileAttributes, name, path))
        DeleteEntry(path, approved, 1);
      // Records follow each other forwards, each 8-byte aligned, inside what was read.
      DWORD next = record->nextEntryOffset;
      if (next == 0 || next % 8 || next > sizeof(buffer) - offset) break;
      offset += next;
    }
  }
  return read > 0;
}

}  // namespace

int DeleteFolderFiles(const char* folder, const char* approved, int removeFolder) {
  PathBuffer pattern;
  WIN32_FIND_DATAA found;
  memset(pattern, 0, sizeof(pattern));
  memset(&found, 0, sizeof(found));
  if (!FormatPath(pattern, sizeof(pattern), "%s\\*.*", folder)) return 0;
  if (GetWindowsFamily() == kFamily9x) {
    HANDLE search = SysFindFirstFile(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    DeleteFound(folder, search, &found, 1, approved);
    if (removeFolder) SysRemoveDirectory(folder);
    return 1;
  }

  // Windows Vista and later (SetFileInformationByHandle came with GetFileInformationByHandleEx
  // and GetFinalPathNameByHandleA): the folder is listed and removed through the held handle,
  // which must be the approved folder.
  int throughHandle = SysGetKernelProc("SetFileInformationByHandle") != nullptr;
  HANDLE held = SysHoldFolder(folder, throughHandle);
  if (held == INVALID_HANDLE_VALUE) return 0;
  PathBuffer real;
  int listed;
  if (throughHandle) {
    listed = FinalPathOf(held, real) && IsSameFolder(real, approved) &&
             DeleteListed(held, folder, approved);
    // It goes when the handle is closed, and only when it is empty.
    if (listed && removeFolder) SysSetDeleteDisposition(held);
    SysCloseHandle(held);
    return listed;
  }
  // Older systems: the held folder cannot be renamed or deleted meanwhile; it is searched by its
  // path, and removed by it once it is no longer held.
  HANDLE search = SysFindFirstFile(pattern, &found);
  listed = search != INVALID_HANDLE_VALUE;
  if (listed) DeleteFound(folder, search, &found, 0, approved);
  SysCloseHandle(held);
  if (listed && removeFolder) SysRemoveDirectory(folder);
  return listed;
}
