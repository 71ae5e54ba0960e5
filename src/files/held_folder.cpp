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
#include "platform/family.h"
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

// Whether something is at path: anything but a name or path not found counts.
int IsThere(const char* path) {
  if (SysGetFileAttributes(path) != INVALID_FILE_ATTRIBUTES) return 1;
  DWORD error = SysGetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
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
  const char* longForm;   // its proven long form; null where no file may go where it stands
  const WCHAR* widePath;  // that form in UTF-16, "\\?\" first
  Restart restart;        // for its files in use, on its drive
  int inPlace;            // files that go at the restart where they stand
  int stay;               // files that stay for good
};

// Asks for the deletion of the listed entry name (length UTF-16 characters, at path) at the next
// start of Windows where it stands, when nobody but an administrator can steer its path or
// empty its folder meanwhile (MayDeleteInPlace). Its security is read through a handle of its
// own, which no sharing mode refuses; a link or folder is never named.
int DeleteInPlace(Removal* removal, const WCHAR* name, int length, const WCHAR* path) {
  if (!removal->longForm) return 0;
  HANDLE entry = SysOpenEntry(removal->held, name, length, READ_CONTROL);
  if (entry == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION information;
  int named = SysGetFileInformation(entry, &information) &&
              !(information.dwFileAttributes &
                (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
              HasFinalPath(entry, path) &&
              MayDeleteInPlace(removal->longForm, entry, &removal->restart) &&
              SysDeleteAtRestart(path);
  SysCloseHandle(entry);
  if (named) ++removal->inPlace;
  return named;
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
  // Opened to change its attributes, owner and DACL too where it may be, else only to delete it;
  // not even that where it is held open without delete sharing.
  HANDLE entry = SysOpenEntry(removal->held, name, length,
                              DELETE | FILE_WRITE_ATTRIBUTES | WRITE_DAC | WRITE_OWNER);
  int mayChange = entry != INVALID_HANDLE_VALUE;
  if (!mayChange) entry = SysOpenEntry(removal->held, name, length, DELETE);
  // Whether it is still there, and whether it may then go at the restart where it stands: a link
  // is never followed nor named, nor is a file not proven to be the one listed.
  int left = 1;
  int inPlace = !(listedAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  if (entry != INVALID_HANDLE_VALUE) {
    BY_HANDLE_FILE_INFORMATION information;
    int known = SysGetFileInformation(entry, &information);
    DWORD attributes = known ? information.dwFileAttributes : 0;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      left = 0;  // a folder after all, never the product's file
    } else if (!known || !HasFinalPath(entry, expected)) {
      inPlace = 0;
    } else {
      // Attributes, owner and DACL belong to the file, not to one of its names: a file with
      // another name (a hard link someone made to a file elsewhere) keeps them, and goes only if
      // it can as it is, never to the restart folder. So does a link, itself (never what it
      // leads to), which is never named for the restart either.
      int link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if (link) inPlace = 0;
      int own = mayChange && !link && information.nNumberOfLinks == 1;
      int readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
      int cleared = readOnly && own &&
                    SysSetFileAttributesOf(entry, attributes & ~FILE_ATTRIBUTE_READONLY);
      int moved = kMoveNone;
      left = !SysSetDeleteDisposition(entry) &&
             (!own || readOnly != cleared ||
              (moved = MoveForRestart(entry, removal->held, name, length,
                                      &removal->restart)) != kMoveDone);
      // A file that stays keeps its attributes; one stuck in the restart folder is no longer
      // where it stood.
      if (left && cleared) SysSetFileAttributesOf(entry, attributes);
      if (moved == kMoveStuck) inPlace = 0;
    }
    SysCloseHandle(entry);
  }
  if (left && !(inPlace && DeleteInPlace(removal, name, length, expected))) ++removal->stay;
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
    int got = SysReadFolderEntries(removal->held, &buffer, sizeof(buffer), read == 0);
    if (got <= 0) {
      // A listing that fails halfway leaves entries unseen: they stay for good.
      if (got < 0 && read > 0) ++removal->stay;
      break;
    }
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
  // A folder that is there but cannot be held (another program has it open without sharing)
  // stays with its files; one that is not there leaves nothing.
  if (held == INVALID_HANDLE_VALUE) return IsThere(folder) ? kRemovalFilesStay : kRemovalRefused;
  PathBuffer longForm;
  WCHAR wideLongForm[kWidePathSize];
  BY_HANDLE_FILE_INFORMATION identity;
  Removal removal;
  memset(&removal, 0, sizeof(removal));
  removal.held = held;
  removal.longForm = longForm;
  removal.widePath = wideLongForm;
  int proven = ProveHeld(held, folder, longForm, wideLongForm, &identity) &&
               IsJudged(longForm, guarded);
  if (proven) {
    removal.restart.drive = longForm[0];
    // A folder that cannot be listed at all keeps its files.
    if (!RemoveListed(&removal)) removal.stay = 1;
  }
  SysCloseHandle(held);
  FolderRemoval result = proven ? kRemovalFilesStay : kRemovalRefused;
  if (proven && !removal.stay) {
    result = kRemovalPartial;
    if (RemoveEmptied(longForm, wideLongForm, identity) ||
        (removal.inPlace && SysDeleteAtRestart(wideLongForm)))
      result = kRemovalDone;
  }
  EndRestart(&removal.restart);
  return result;
}

// The path of the file entry name of folder, in path (a PathBuffer), when it may be offered for
// deletion: only a name the conversion to the ANSI code page left a plain name (deleted by a
// name that became a path, another file would go, possibly outside the folder).
int FileEntryPath(const char* folder, const char* name, char* path) {
  return IsPlainEntryName(name) && FormatPath(path, kPathSize, "%s\\%s", folder, name);
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
  int stay = 0;
  do {
    // A file whose name is no plain name, or that cannot go, stays for good.
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(FileEntryPath(longForm, found.cFileName, path) &&
          DeleteNowOrAtRestart(path)))
      stay = 1;
  } while (SysFindNextFile(search, &found));
  SysFindClose(search);
  if (stay) return kRemovalFilesStay;
  // WININIT.INI deletes files, not folders: an emptied folder whose files go at the restart
  // stays.
  return SysRemoveDirectory(longForm) ? kRemovalDone : kRemovalPartial;
}

}  // namespace

FolderRemoval RemoveFolder(const char* folder, const GuardedFolders* guarded) {
  if (!IsOnLocalDrive(folder)) return kRemovalRefused;
  if (SysHasHandleCalls()) return RemoveThroughHandles(folder, guarded);
  return RemoveByName(folder, guarded);
}

int RemoveSystemFile(const char* folder, const char* name) {
  PathBuffer path;
  WCHAR wideName[kMaxNameLength + 1], widePath[kWidePathSize];
  if (!FormatPath(path, sizeof(path), "%s\\%s", folder, name)) return 0;
  if (!IsThere(path)) return 1;
  if (!SysHasHandleCalls()) return DeleteNowOrAtRestart(path);
  HANDLE held = SysHoldFolder(folder);
  if (held == INVALID_HANDLE_VALUE) return 0;
  Removal removal;
  memset(&removal, 0, sizeof(removal));
  removal.held = held;
  removal.widePath = widePath;
  // Never where it stands (no long form): where Windows cannot tell the final path, the folder's
  // path may be one that a 32-bit program on 64-bit Windows sees redirected, and the restart
  // folder serves everywhere else. Where the held folder really lies, where Windows tells.
  DWORD length = SysGetFinalPathWide(held, widePath, kWidePathSize);
  int nameLength = SysAnsiToWide(name, wideName, kMaxNameLength + 1);
  removal.stay = nameLength <= 0 || (length ? length >= static_cast<DWORD>(kWidePathSize)
                                            : !WidePath(folder, widePath));
  removal.restart.drive = folder[0];
  if (!removal.stay) RemoveListedEntry(&removal, wideName, nameLength, 0);
  EndRestart(&removal.restart);
  SysCloseHandle(held);
  return !removal.stay;
}
