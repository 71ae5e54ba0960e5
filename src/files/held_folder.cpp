// One level of a folder's files, deleted entry by entry while the folder is held. A path is
// looked up again at every use, and whoever may write the folder's parent could otherwise swap
// the folder for a link between the judgement and the deletions. So the folder is held before it
// is proven and judged, and each file is judged and deleted through one handle: what is deleted
// is what was judged.
#include "files/held_folder.h"

#include <stddef.h>
#include <string.h>
#include <wchar.h>

#include "files/path_text.h"
#include "files/real_folder.h"
#include "platform/family.h"
#include "platform/path.h"
#include "platform/platform.h"

namespace {

// FILE_ID_BOTH_DIR_INFO, one entry as a folder held through its handle lists it; the name
// follows the fixed part.
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
};
const DWORD kFixedPart = 104;  // the layout Windows writes
static_assert(offsetof(DirectoryRecord, fileId) + sizeof(LARGE_INTEGER) == kFixedPart,
              "the layout Windows writes");

// Reads of a folder's entries; each read lists at least one. Bounds the listing whatever the
// file system answers.
const int kMaxReads = 1 << 20;

// A final path in UTF-16: "\\?\" (or "\\?\UNC\") and a path of a PathBuffer's length.
const int kWidePathSize = kPathSize + 8;
// The longest name of one entry, in UTF-16 characters.
const int kMaxNameLength = 255;

// Whether the open handle is a folder itself, not a link; its identity in information.
int IsPlainFolder(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  const DWORD kKind = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return SysGetFileInformation(file, information) &&
         (information->dwFileAttributes & kKind) == FILE_ATTRIBUTE_DIRECTORY;
}

int IsSameFile(const BY_HANDLE_FILE_INFORMATION& one, const BY_HANDLE_FILE_INFORMATION& other) {
  return one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

// Whether the open handle's final path is exactly expected.
int HasFinalPath(HANDLE file, const WCHAR* expected) {
  WCHAR final[kWidePathSize];
  DWORD length = SysGetFinalPathWide(file, final, kWidePathSize);
  return length > 0 && length < static_cast<DWORD>(kWidePathSize) && !wcscmp(final, expected);
}

// Whether folder is a path below a local drive, told from its text and the drive's type alone:
// a share or a mapped drive is refused before anything reaches it.
int IsOnLocalDrive(const char* folder) {
  PathBuffer canonical;
  if (Canonicalize(folder, canonical, sizeof(canonical)) != kFolderAccepted ||
      canonical[0] == '\\')
    return 0;
  char root[] = {canonical[0], ':', '\\', 0};
  UINT type = SysGetDriveType(root);
  return type != DRIVE_REMOTE && type != DRIVE_NO_ROOT_DIR;
}

// The path of the entry name of folder, in path (a PathBuffer), when it may be offered for
// deletion: files only (the "." and ".." entries are folders too), and only a name the
// conversion to the ANSI code page left a plain name (deleted by a name that became a path,
// another file would go, possibly outside the folder).
int FileEntryPath(const char* folder, DWORD attributes, const char* name, char* path) {
  return !(attributes & FILE_ATTRIBUTE_DIRECTORY) && IsPlainEntryName(name) &&
         FormatPath(path, kPathSize, "%s\\%s", folder, name);
}

// Proves that the held handle is the folder at folder's path, and gives its long form (a
// PathBuffer) and its identity: see EmptyFolder.
int ProveHeld(HANDLE held, const char* folder, char* longForm,
              BY_HANDLE_FILE_INFORMATION* identity) {
  BY_HANDLE_FILE_INFORMATION reached;
  if (!IsPlainFolder(held, identity) || !FindLongForm(folder, longForm)) return 0;
  HANDLE file = SysOpenForQuery(longForm);
  if (file == INVALID_HANDLE_VALUE) return 0;
  int same = SysGetFileInformation(file, &reached) && IsSameFile(reached, *identity);
  SysCloseHandle(file);
  return same;
}

int IsJudged(const char* longForm, const GuardedFolders* guarded) {
  return !guarded || JudgeInstallFolder(longForm, guarded) == kFolderAccepted;
}

// Deletes the listed entry name (length UTF-16 characters, with its attributes as listed) of the
// held folder, whose long form is longForm and whose final path is heldFinal, through a handle
// of its own.
void DeleteListedEntry(const char* longForm, const WCHAR* heldFinal, const WCHAR* name,
                       int length, DWORD attributes) {
  PathBuffer ansi, path;
  WCHAR expected[kWidePathSize];
  int folderLength = static_cast<int>(wcslen(heldFinal));
  if (folderLength + 1 + length >= kWidePathSize ||
      !SysWideToAnsi(name, length, ansi, sizeof(ansi)) ||
      !FileEntryPath(longForm, attributes, ansi, path))
    return;
  memcpy(expected, heldFinal, folderLength * sizeof(WCHAR));
  expected[folderLength] = L'\\';
  memcpy(expected + folderLength + 1, name, length * sizeof(WCHAR));
  expected[folderLength + 1 + length] = 0;

  HANDLE entry = SysOpenEntryForDelete(path, 0);
  if (entry == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION information;
  if (SysGetFileInformation(entry, &information) &&
      !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && HasFinalPath(entry, expected))
    SysSetDeleteDisposition(entry);
  SysCloseHandle(entry);
}

// Lists the entries of the folder held through its handle and deletes each file through a
// handle of its own. The records are followed by their offsets wherever those stay inside what
// was read, aligned or not (some file systems write offsets that are no multiple of 8), and each
// record is copied out before it is read. Returns 0 when the folder cannot be listed at all.
int DeleteListed(HANDLE held, const char* longForm, const WCHAR* heldFinal) {
  union {
    LONGLONG alignment;  // the listing call wants 8-byte alignment
    BYTE bytes[4096];
  } buffer;
  DirectoryRecord record;
  WCHAR name[kMaxNameLength];
  int read = 0;
  for (; read < kMaxReads; ++read) {
    memset(&buffer, 0, sizeof(buffer));
    if (!SysReadFolderEntries(held, &buffer, sizeof(buffer), read == 0)) break;
    for (DWORD offset = 0; sizeof(buffer) - offset >= kFixedPart;) {
      memcpy(&record, buffer.bytes + offset, kFixedPart);
      DWORD length = record.fileNameLength / sizeof(WCHAR);
      if (length > 0 && length <= static_cast<DWORD>(kMaxNameLength) &&
          record.fileNameLength <= sizeof(buffer) - offset - kFixedPart) {
        memcpy(name, buffer.bytes + offset + kFixedPart, length * sizeof(WCHAR));
        DeleteListedEntry(longForm, heldFinal, name, static_cast<int>(length),
                          record.fileAttributes);
      }
      // Onwards only, and only inside what was read.
      DWORD next = record.nextEntryOffset;
      if (next == 0 || next >= sizeof(buffer) - offset) break;
      offset += next;
    }
  }
  return read > 0;
}

// Once the held folder is released: removes it through a fresh handle that is the same folder,
// no link, with the same final path. A folder that is not empty, or that another program still
// has open without sharing its deletion, stays.
void RemoveEmptied(const char* longForm, const WCHAR* heldFinal,
                   const BY_HANDLE_FILE_INFORMATION& identity) {
  HANDLE folder = SysOpenEntryForDelete(longForm, 0);
  if (folder == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION information;
  if (IsPlainFolder(folder, &information) && IsSameFile(information, identity) &&
      HasFinalPath(folder, heldFinal))
    SysSetDeleteDisposition(folder);
  SysCloseHandle(folder);
}

// Windows Vista and later: proven by the held handle's final path, listed through it, each file
// deleted through a handle of its own.
int EmptyThroughHandles(const char* folder, const GuardedFolders* guarded) {
  HANDLE held = SysHoldFolder(folder);
  if (held == INVALID_HANDLE_VALUE) return 0;
  PathBuffer longForm;
  WCHAR heldFinal[kWidePathSize];
  BY_HANDLE_FILE_INFORMATION identity;
  memcpy(heldFinal, L"\\\\?\\", 5 * sizeof(WCHAR));
  int listed = ProveHeld(held, folder, longForm, &identity) &&
               SysAnsiToWide(longForm, heldFinal + 4, kWidePathSize - 4) &&
               HasFinalPath(held, heldFinal) && IsJudged(longForm, guarded) &&
               DeleteListed(held, longForm, heldFinal);
  SysCloseHandle(held);
  if (listed) RemoveEmptied(longForm, heldFinal, identity);
  return listed;
}

// Lists a folder by its path and offers each file to deletion: by its name (byName, the 9x
// family), else through a handle that deletes it when closed, opened without following a link.
// Returns 0 when the folder cannot be searched.
int DeleteSearched(const char* folder, int byName) {
  PathBuffer pattern, path;
  WIN32_FIND_DATAA found;
  memset(&found, 0, sizeof(found));
  if (!FormatPath(pattern, sizeof(pattern), "%s\\*.*", folder)) return 0;
  HANDLE search = SysFindFirstFile(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  do {
    if (!FileEntryPath(folder, found.dwFileAttributes, found.cFileName, path)) continue;
    if (byName) {
      SysDeleteFile(path);
    } else {
      HANDLE entry = SysOpenEntryForDelete(path, 1);
      if (entry != INVALID_HANDLE_VALUE) SysCloseHandle(entry);
    }
  } while (SysFindNextFile(search, &found));
  SysFindClose(search);
  return 1;
}

// Windows XP and older, without final paths: the held folder is searched by its long form and
// removed by it once it is no longer held.
int EmptyHeldByPath(const char* folder, const GuardedFolders* guarded) {
  HANDLE held = SysHoldFolder(folder);
  if (held == INVALID_HANDLE_VALUE) return 0;
  PathBuffer longForm;
  BY_HANDLE_FILE_INFORMATION identity;
  int listed = ProveHeld(held, folder, longForm, &identity) && IsJudged(longForm, guarded) &&
               DeleteSearched(longForm, 0);
  SysCloseHandle(held);
  if (listed) SysRemoveDirectory(longForm);
  return listed;
}

// The 9x family: no links, no sharing to rely on; files and folder go by their names.
int EmptyByName(const char* folder, const GuardedFolders* guarded) {
  PathBuffer longForm;
  int listed = FindLongForm(folder, longForm) && IsJudged(longForm, guarded) &&
               DeleteSearched(longForm, 1);
  if (listed) SysRemoveDirectory(longForm);
  return listed;
}

}  // namespace

int EmptyFolder(const char* folder, const GuardedFolders* guarded) {
  if (!IsOnLocalDrive(folder)) return 0;
  if (GetWindowsFamily() == kFamily9x) return EmptyByName(folder, guarded);
  // SetFileInformationByHandle came with GetFileInformationByHandleEx and the final paths.
  if (SysGetKernelProc("SetFileInformationByHandle")) return EmptyThroughHandles(folder, guarded);
  return EmptyHeldByPath(folder, guarded);
}
