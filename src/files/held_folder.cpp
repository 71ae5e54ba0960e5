// One level of a folder's files, deleted entry by entry while the folder is held, then the
// folder. A path is looked up again at every use, and whoever may write the folder's parent
// could otherwise swap the folder for a link between the judgement and the deletions. So the
// folder is held before it is proven and judged, and each entry is opened through the held
// folder's handle: what is deleted lies in what was judged.
#include "files/held_folder.h"

#include <stddef.h>
#include <string.h>

#include "files/at_restart.h"
#include "files/path_text.h"
#include "files/real_folder.h"
#include "files/restart_folder.h"
#include "platform/path.h"
#include "platform/platform.h"

namespace {

// FILE_DIRECTORY_INFORMATION, one entry as a folder held through its handle lists it; the name
// follows the fixed part.
struct DirectoryRecord {
  DWORD nextEntryOffset;  // from this record to the next; 0 for the last
  DWORD fileIndex;
  LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime, endOfFile, allocationSize;
  DWORD fileAttributes;
  DWORD fileNameLength;  // in bytes
};
const DWORD kFixedPart = 64;  // the layout Windows writes
static_assert(offsetof(DirectoryRecord, fileNameLength) + sizeof(DWORD) == kFixedPart,
              "the layout Windows writes");

// Reads of a folder's entries; each read lists at least one. Bounds the listing whatever the
// file system answers.
const int kMaxReads = 1 << 20;

// Whether folder is a path below a local drive, told from its text and the drive's type alone:
// a share or a mapped drive is refused before anything reaches it.
int IsOnLocalDrive(const char* folder) {
  PathBuffer canonical;
  if (Canonicalize(folder, canonical, sizeof(canonical)) != kFolderAccepted ||
      canonical[0] == '\\')
    return 0;
  UINT type = DriveTypeOf(canonical[0]);
  return type != DRIVE_REMOTE && type != DRIVE_NO_ROOT_DIR;
}

int IsJudged(const char* longForm, const GuardedFolders* guarded) {
  return !guarded || JudgeInstallFolder(longForm, guarded) == kFolderAccepted;
}

// Proves that the held handle is the folder at folder's path, and gives its long form (a
// PathBuffer), that form in UTF-16 ("\\?\" first) and its identity: see RemoveFolder.
int ProveHeld(HANDLE held, const char* folder, char* longForm, WCHAR* wideLongForm,
              BY_HANDLE_FILE_INFORMATION* identity) {
  BY_HANDLE_FILE_INFORMATION reached;
  if (!IsPlainFolder(held, identity) || !FindLongForm(folder, longForm) ||
      !WidePath(longForm, wideLongForm))
    return 0;
  HANDLE file = SysOpenForQuery(longForm);
  if (file == INVALID_HANDLE_VALUE) return 0;
  int same = SysGetFileInformation(file, &reached) && IsSameFile(reached, *identity);
  SysCloseHandle(file);
  return same && HasFinalPath(held, wideLongForm);
}

// Whether the listed name (length UTF-16 characters) names one entry of the folder and nothing
// else: not "." or "..", no separator and no stream colon. A file system writes none of them
// into a name; this holds whatever it writes.
int IsEntryName(const WCHAR* name, int length) {
  if (length <= 0 || (name[0] == L'.' && (length == 1 || (length == 2 && name[1] == L'.'))))
    return 0;
  for (int i = 0; i < length; ++i)
    if (name[i] == L'\\' || name[i] == L'/' || name[i] == L':' || name[i] == 0) return 0;
  return 1;
}

// A held folder whose files are being removed: where it lies, and what became of its files.
struct Removal {
  HANDLE held;
  const char* longForm;   // its proven long form
  const WCHAR* widePath;  // that form in UTF-16, "\\?\" first
  Restart restart;        // for its files in use, on its drive
  int inPlace;            // files that go at the restart where they stand
  int stay;               // files that stay for good
};

// Asks for the deletion of the listed entry name at the next start of Windows where it stands,
// when nobody but an administrator can steer its path meanwhile.
int DeleteInPlace(Removal* removal, const WCHAR* path) {
  if (!MayDeleteInPlace(removal->longForm, &removal->restart) || !SysDeleteAtRestart(path))
    return 0;
  ++removal->inPlace;
  return 1;
}

// Deletes the listed entry name (length UTF-16 characters) of the held folder through a handle
// of its own, opened relative to the held one; a file in use goes to the restart folder, or where
// it can be neither deleted nor moved (held open without delete sharing), at the restart where
// it stands (DeleteInPlace). Where Windows tells final paths, the entry's must also be the held
// folder's and its name: a check that Windows never fails, kept for systems that resolve a
// relative open by the folder's name rather than by its handle (Wine does).
void RemoveListedEntry(Removal* removal, const WCHAR* name, int length,
                       DWORD listedAttributes) {
  WCHAR expected[kWideEntrySize];
  if ((listedAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsEntryName(name, length)) return;
  JoinWide(removal->widePath, name, length, expected);
  // Opened to change its attributes, owner and DACL too where it may be, else only to delete it.
  HANDLE entry = SysOpenEntry(removal->held, name, length,
                              DELETE | FILE_WRITE_ATTRIBUTES | WRITE_DAC | WRITE_OWNER);
  int mayChange = entry != INVALID_HANDLE_VALUE;
  if (!mayChange) entry = SysOpenEntry(removal->held, name, length, DELETE);
  if (entry == INVALID_HANDLE_VALUE) {
    // Not even to be deleted: held open without delete sharing. A link is never named.
    if ((listedAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !DeleteInPlace(removal, expected))
      ++removal->stay;
    return;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (SysGetFileInformation(entry, &information) &&
      !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
      HasFinalPath(entry, expected)) {
    // Attributes and DACL belong to the file, not to one of its names: a file with another name
    // (a hard link someone made to a file elsewhere) keeps them, and goes only if it can as it
    // is, never to the restart folder.
    DWORD attributes = information.dwFileAttributes;
    int own = mayChange && information.nNumberOfLinks == 1;
    int readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    int cleared = readOnly && own &&
                  SysSetFileAttributesOf(entry, attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!SysSetDeleteDisposition(entry) &&
        !(own && readOnly == cleared &&
          MoveForRestart(entry, removal->held, name, length, &removal->restart))) {
      // A file that stays keeps its attributes.
      if (cleared) SysSetFileAttributesOf(entry, attributes);
      if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !DeleteInPlace(removal, expected))
        ++removal->stay;
    }
  }
  SysCloseHandle(entry);
}

// Lists the entries of the folder held through its handle and removes each file. The records
// are followed by their offsets wherever those stay inside what was read, aligned or not (some
// file systems write offsets that are no multiple of 8), and each record is copied out before
// it is read. Returns 0 when the folder cannot be listed at all.
int RemoveListed(Removal* removal) {
  union {
    LONGLONG alignment;  // the listing call wants 8-byte alignment
    BYTE bytes[4096];
  } buffer;
  DirectoryRecord record;
  WCHAR name[kMaxNameLength];
  int read = 0;
  for (; read < kMaxReads; ++read) {
    memset(&buffer, 0, sizeof(buffer));
    if (!SysReadFolderEntries(removal->held, &buffer, sizeof(buffer), read == 0)) break;
    for (DWORD offset = 0; sizeof(buffer) - offset >= kFixedPart;) {
      memcpy(&record, buffer.bytes + offset, kFixedPart);
      DWORD length = record.fileNameLength / sizeof(WCHAR);
      if (length > 0 && length <= static_cast<DWORD>(kMaxNameLength) &&
          record.fileNameLength <= sizeof(buffer) - offset - kFixedPart) {
        memcpy(name, buffer.bytes + offset + kFixedPart, length * sizeof(WCHAR));
        RemoveListedEntry(removal, name, static_cast<int>(length), record.fileAttributes);
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
// no link, with the same final path where Windows tells it. A folder that is not empty, or that
// another program still has open without sharing its deletion, stays.
int RemoveEmptied(const char* longForm, const WCHAR* wideLongForm,
                  const BY_HANDLE_FILE_INFORMATION& identity) {
  HANDLE folder = SysOpenFolderForDelete(longForm);
  if (folder == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION information;
  int removed = IsPlainFolder(folder, &information) && IsSameFile(information, identity) &&
                HasFinalPath(folder, wideLongForm) && SysSetDeleteDisposition(folder);
  SysCloseHandle(folder);
  return removed;
}

// The NT family: held, proven, judged, then each entry removed through the held handle. Where
// files go at the restart where they stand, the folder goes after them.
FolderRemoval RemoveThroughHandles(const char* folder, const GuardedFolders* guarded) {
  HANDLE held = SysHoldFolder(folder);
  if (held == INVALID_HANDLE_VALUE) return kRemovalRefused;
  PathBuffer longForm;
  WCHAR wideLongForm[kWidePathSize];
  BY_HANDLE_FILE_INFORMATION identity;
  Removal removal;
  memset(&removal, 0, sizeof(removal));
  removal.held = held;
  removal.longForm = longForm;
  removal.widePath = wideLongForm;
  BeginRestart(&removal.restart, 0);
  int listed = ProveHeld(held, folder, longForm, wideLongForm, &identity) &&
               IsJudged(longForm, guarded);
  if (listed) {
    BeginRestart(&removal.restart, longForm[0]);
    listed = RemoveListed(&removal);
  }
  SysCloseHandle(held);
  FolderRemoval result = kRemovalRefused;
  if (listed) {
    result = removal.stay ? kRemovalFilesStay : kRemovalPartial;
    if (RemoveEmptied(longForm, wideLongForm, identity) ||
        (removal.inPlace && !removal.stay && SysDeleteAtRestart(wideLongForm)))
      result = removal.stay ? kRemovalFilesStay : kRemovalDone;
  }
  EndRestart(&removal.restart);
  return result;
}

// The path of the entry name of folder, in path (a PathBuffer), when it may be offered for
// deletion: files only (the "." and ".." entries are folders too), and only a name the
// conversion to the ANSI code page left a plain name (deleted by a name that became a path,
// another file would go, possibly outside the folder).
int FileEntryPath(const char* folder, DWORD attributes, const char* name, char* path) {
  return !(attributes & FILE_ATTRIBUTE_DIRECTORY) && IsPlainEntryName(name) &&
         FormatPath(path, kPathSize, "%s\\%s", folder, name);
}

// The 9x family: no links, no sharing to rely on; files and folder go by their names, those in
// use at the next start of Windows.
FolderRemoval RemoveByName(const char* folder, const GuardedFolders* guarded) {
  PathBuffer longForm, pattern, path;
  WIN32_FIND_DATAA found;
  memset(&found, 0, sizeof(found));
  if (!FindLongForm(folder, longForm) || !IsJudged(longForm, guarded) ||
      !FormatPath(pattern, sizeof(pattern), "%s\\*.*", longForm))
    return kRemovalRefused;
  HANDLE search = SysFindFirstFile(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return kRemovalRefused;
  do {
    if (FileEntryPath(longForm, found.dwFileAttributes, found.cFileName, path))
      DeleteNowOrAtRestart(path);
  } while (SysFindNextFile(search, &found));
  SysFindClose(search);
  // WININIT.INI deletes files, not folders: an emptied folder whose files go at the restart
  // stays.
  return SysRemoveDirectory(longForm) ? kRemovalDone : kRemovalPartial;
}

}  // namespace

FolderRemoval RemoveFolder(const char* folder, const GuardedFolders* guarded) {
  if (!IsOnLocalDrive(folder)) return kRemovalRefused;
  if (HasHandleCalls()) return RemoveThroughHandles(folder, guarded);
  return RemoveByName(folder, guarded);
}

int RemoveSystemFile(const char* folder, const char* name) {
  PathBuffer path, longForm;
  WCHAR wideName[kMaxNameLength + 1], widePath[kWidePathSize];
  if (!FormatPath(path, sizeof(path), "%s\\%s", folder, name)) return 0;
  if (SysGetFileAttributes(path) == INVALID_FILE_ATTRIBUTES) return 1;  // not there
  if (!HasHandleCalls()) return DeleteNowOrAtRestart(path);
  int nameLength = SysAnsiToWide(name, wideName, kMaxNameLength + 1);
  HANDLE held = SysHoldFolder(folder);
  if (held == INVALID_HANDLE_VALUE) return 0;
  // Where the held folder really lies; its long form from that, for the walk from the root.
  DWORD length = TellsFinalPaths() ? SysGetFinalPathWide(held, widePath, kWidePathSize) : 0;
  int located = TellsFinalPaths() ? length > 0 && length < static_cast<DWORD>(kWidePathSize)
                                  : FindLongForm(folder, longForm) && WidePath(longForm, widePath);
  if (located && TellsFinalPaths())
    located = SysWideToAnsi(widePath + 4, longForm, sizeof(longForm)) > 0;
  Removal removal;
  memset(&removal, 0, sizeof(removal));
  removal.held = held;
  removal.longForm = longForm;
  removal.widePath = widePath;
  BeginRestart(&removal.restart, longForm[0]);
  if (located && nameLength > 0 && longForm[1] == ':')
    RemoveListedEntry(&removal, wideName, nameLength, 0);
  else
    removal.stay = 1;
  EndRestart(&removal.restart);
  SysCloseHandle(held);
  return !removal.stay;
}
