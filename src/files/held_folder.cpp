// One level of a folder's files, deleted entry by entry while the folder is held, then the
// folder. A path is looked up again at every use, and whoever may write the folder's parent
// could otherwise swap the folder for a link between the judgement and the deletions. So the
// folder is held before it is proven and judged, and each entry is opened through the held
// folder's handle: what is deleted lies in what was judged.
#include "files/held_folder.h"

#include <stddef.h>
#include <string.h>
#include <wchar.h>

#include "files/at_restart.h"
#include "files/path_text.h"
#include "files/real_folder.h"
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

// A final path in UTF-16: "\\?\" (or "\\?\UNC\") and a path of a PathBuffer's length.
const int kWidePathSize = kPathSize + 8;
// The longest name of one entry, in UTF-16 characters.
const int kMaxNameLength = 255;
// The final path of an entry of such a folder.
const int kWideEntrySize = kWidePathSize + 1 + kMaxNameLength + 1;

// The folder of the uninstaller's own for the files that go at the next start of Windows, at the
// root of the held folder's drive, under a name made new for this run.
const char kRestartFolderFormat[] = "%c:\\TolvaneUninstall.%08lX";
const int kRestartFolderTries = 16;

// Its security descriptor, set as it is made (self-relative): the DACL protected from
// inheritance, full access for Administrators (S-1-5-32-544) and SYSTEM (S-1-5-18), passed on
// to what is put in it; no one else may rename, move or change it or its files.
const union {
  BYTE bytes[72];
  DWORD alignment;
} kAdministratorsOnly = {{
    0x01, 0x00, 0x04, 0x90,  // revision 1; self-relative, DACL present and protected
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // no owner, group or SACL: the creator's defaults
    0x14, 0x00, 0x00, 0x00,  // the DACL follows the header
    0x02, 0x00, 0x34, 0x00, 0x02, 0x00, 0x00, 0x00,  // ACL revision 2, 52 bytes, two entries
    // Allowed, inherited by files and folders, FILE_ALL_ACCESS, Administrators.
    0x00, 0x03, 0x18, 0x00, 0xFF, 0x01, 0x1F, 0x00,
    0x01, 0x02, 0, 0, 0, 0, 0, 0x05, 0x20, 0x00, 0x00, 0x00, 0x20, 0x02, 0x00, 0x00,
    // Allowed, inherited by files and folders, FILE_ALL_ACCESS, SYSTEM.
    0x00, 0x03, 0x14, 0x00, 0xFF, 0x01, 0x1F, 0x00,
    0x01, 0x01, 0, 0, 0, 0, 0, 0x05, 0x12, 0x00, 0x00, 0x00,
}};

// The accounts a folder of the uninstaller's own may trust beside the user it runs as: SYSTEM
// (S-1-5-18), Administrators (S-1-5-32-544) and TrustedInstaller (S-1-5-80-956008885-...), as
// Windows writes their SIDs.
const BYTE kSystemSid[] = {0x01, 0x01, 0, 0, 0, 0, 0, 0x05, 0x12, 0, 0, 0};
const BYTE kAdministratorsSid[] = {0x01, 0x02, 0, 0, 0, 0, 0, 0x05,
                                   0x20, 0, 0, 0, 0x20, 0x02, 0, 0};
const BYTE kTrustedInstallerSid[] = {
    0x01, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x50, 0x00, 0x00, 0x00, 0xB5, 0x89, 0xFB, 0x38,
    0x19, 0x84, 0xC2, 0xCB, 0x5C, 0x6C, 0x23, 0x6D, 0x57, 0x00, 0x77, 0x6E, 0xC0, 0x02, 0x64, 0x87};
// What lets an account rename or delete what is in a folder, or take the folder over.
const DWORD kTakeOverAccess = FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;

// A self-relative security descriptor as Windows reads one out.
union SecurityBuffer {
  BYTE bytes[1024];
  DWORD alignment;
};

// Files moved out of a held folder to go at the next start of Windows; made when the first is.
struct RestartFolder {
  HANDLE handle;             // INVALID_HANDLE_VALUE until made
  char drive;                // the held folder's drive letter
  PathBuffer path;           // "C:\TolvaneUninstall.XXXXXXXX"
  BYTE self[SECURITY_MAX_SID_SIZE];  // the user the uninstaller runs as; empty when unknown
  int moved;                 // files moved into it
  WCHAR widePath[kWidePathSize];  // "\\?\" and the path
};

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

// Whether Windows tells the final path of an open handle (Vista and later).
int TellsFinalPaths() { return SysGetKernelProc("GetFinalPathNameByHandleW") != nullptr; }

// Whether the open handle's final path is exactly expected, where Windows tells final paths.
int HasFinalPath(HANDLE file, const WCHAR* expected) {
  if (!TellsFinalPaths()) return 1;
  WCHAR final[kWideEntrySize];
  DWORD length = SysGetFinalPathWide(file, final, kWideEntrySize);
  return length > 0 && length < static_cast<DWORD>(kWideEntrySize) && !wcscmp(final, expected);
}

// "\\?\" and path in UTF-16, in wide (kWidePathSize characters).
int WidePath(const char* path, WCHAR* wide) {
  memcpy(wide, L"\\\\?\\", 4 * sizeof(WCHAR));
  return SysAnsiToWide(path, wide + 4, kWidePathSize - 4) > 0;
}

// folder (UTF-16, terminated), '\' and name (length characters) in joined (kWideEntrySize
// characters); folder fits kWidePathSize and name kMaxNameLength.
void JoinWide(const WCHAR* folder, const WCHAR* name, int length, WCHAR* joined) {
  int folderLength = static_cast<int>(wcslen(folder));
  memcpy(joined, folder, folderLength * sizeof(WCHAR));
  joined[folderLength] = L'\\';
  memcpy(joined + folderLength + 1, name, length * sizeof(WCHAR));
  joined[folderLength + 1 + length] = 0;
}

// Whether folder is a path below a local drive, told from its text and the drive's type alone:
// a share or a mapped drive is refused before anything reaches it.
// DRIVE_FIXED, DRIVE_REMOTE, ... of the drive with the letter drive.
UINT DriveTypeOf(char drive) {
  char root[] = {drive, ':', '\\', 0};
  return SysGetDriveType(root);
}

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

// The size of a SID from its first 8 bytes: those and 4 for each of its sub-authorities.
DWORD SidSize(const BYTE* sid) { return 8 + 4 * static_cast<DWORD>(sid[1]); }

// The SID at offset in a security descriptor of size bytes, or null where it does not fit.
const BYTE* SidAt(const SecurityBuffer& security, DWORD offset, DWORD size) {
  if (offset == 0 || offset > size - 8) return nullptr;
  const BYTE* sid = security.bytes + offset;
  return SidSize(sid) <= size - offset ? sid : nullptr;
}

int IsSid(const BYTE* sid, const BYTE* known, DWORD knownSize) {
  return knownSize >= 8 && SidSize(sid) == knownSize && !memcmp(sid, known, knownSize);
}

// Whether sid is an administrator's: SYSTEM, Administrators, TrustedInstaller or the user the
// uninstaller runs as (an administrator: it runs with administrator rights).
int IsTrusted(const BYTE* sid, const BYTE* self) {
  return IsSid(sid, kSystemSid, sizeof(kSystemSid)) ||
         IsSid(sid, kAdministratorsSid, sizeof(kAdministratorsSid)) ||
         IsSid(sid, kTrustedInstallerSid, sizeof(kTrustedInstallerSid)) ||
         (self[1] && IsSid(sid, self, SidSize(self)));
}

// Reads the security of the open handle; the number of its DACL's entries in *entries and the
// offset of the first in *first. Returns 0 when it cannot be read or has no DACL.
int ReadDacl(HANDLE file, SecurityBuffer* security, DWORD* first, WORD* entries) {
  memset(security, 0, sizeof(*security));
  if (!SysGetSecurity(file, security, sizeof(*security))) return 0;
  // SECURITY_DESCRIPTOR_RELATIVE: the control at 2, the DACL's offset at 16; ACL: the number of
  // its entries at 4, the first after its 8 bytes.
  WORD control;
  DWORD dacl;
  memcpy(&control, security->bytes + 2, sizeof(control));
  memcpy(&dacl, security->bytes + 16, sizeof(dacl));
  if (!(control & SE_DACL_PRESENT) || dacl == 0 || dacl > sizeof(*security) - 8) return 0;
  memcpy(entries, security->bytes + dacl + 4, sizeof(*entries));
  *first = dacl + 8;
  return 1;
}

// Whether the root of the drive is the administrators' alone: a fixed drive (a removable one's
// letter can name another volume at the next start), owned by an administrator, with a DACL that
// lets nobody else delete or rename what is in it, or take it over. Where others may, they could
// rename the uninstaller's folder after it ends and put a link to a folder of their choice in its
// place, and Windows would delete there at its start.
int IsAdministratorsRoot(char drive, const BYTE* self) {
  char root[] = {drive, ':', '\\', 0};
  SecurityBuffer security;
  DWORD at, owner;
  WORD entries;
  if (DriveTypeOf(drive) != DRIVE_FIXED) return 0;
  HANDLE folder = SysOpenForSecurity(root);
  if (folder == INVALID_HANDLE_VALUE) return 0;
  int read = ReadDacl(folder, &security, &at, &entries);
  SysCloseHandle(folder);
  memcpy(&owner, security.bytes + 4, sizeof(owner));
  const BYTE* ownerSid = SidAt(security, owner, sizeof(security));
  if (!read || !ownerSid || !IsTrusted(ownerSid, self)) return 0;
  for (WORD entry = 0; entry < entries; ++entry) {
    // ACE_HEADER: type, flags, size; then the access mask and, for the plain types, the SID.
    if (at > sizeof(security) - 8) return 0;
    BYTE type = security.bytes[at], flags = security.bytes[at + 1];
    WORD size;
    DWORD mask;
    memcpy(&size, security.bytes + at + 2, sizeof(size));
    memcpy(&mask, security.bytes + at + 4, sizeof(mask));
    if (size < 8) return 0;
    const BYTE* sid = SidAt(security, at + 8, sizeof(security));
    // Entries that deny, and those only passed on to what the root holds, grant the root
    // nothing; an entry of any other kind than a plain one is not read, and refuses.
    if (type != ACCESS_DENIED_ACE_TYPE && !(flags & INHERIT_ONLY_ACE) &&
        (mask & kTakeOverAccess) &&
        (type != ACCESS_ALLOWED_ACE_TYPE || !sid || !IsTrusted(sid, self)))
      return 0;
    at += size;
  }
  return 1;
}

// Whether the folder just made keeps the DACL it was made with, its two entries and no more
// (none inherited): a file system without security (FAT) keeps none, and there anyone could
// rename the folder before the restart.
int KeepsItsDacl(HANDLE folder) {
  SecurityBuffer security;
  DWORD first;
  WORD entries;
  return ReadDacl(folder, &security, &first, &entries) && entries == 2;
}

// Makes the restart folder on first use, on a drive whose root is the administrators' alone.
// Never takes a folder or link that was there already, whoever made it: a name is drawn anew
// until one is free.
int OpenRestartFolder(RestartFolder* restart) {
  if (restart->handle != INVALID_HANDLE_VALUE) return 1;
  memset(restart->self, 0, sizeof(restart->self));
  SysGetTokenUser(restart->self, sizeof(restart->self));
  if (!IsAdministratorsRoot(restart->drive, restart->self)) return 0;
  for (int attempt = 0; attempt < kRestartFolderTries; ++attempt) {
    DWORD name = 0;
    if (!SysGetRandom(&name, sizeof(name))) name = SysGetTickCount() * 2654435761u + attempt;
    if (!FormatPath(restart->path, sizeof(restart->path), kRestartFolderFormat, restart->drive,
                    static_cast<unsigned long>(name)) ||
        !WidePath(restart->path, restart->widePath))
      return 0;
    HANDLE made = SysCreateFolder(restart->widePath,
                                  const_cast<BYTE*>(kAdministratorsOnly.bytes));
    if (made == INVALID_HANDLE_VALUE) continue;
    BY_HANDLE_FILE_INFORMATION information;
    // Where it is meant to be (a drive letter can stand for another folder), and protected.
    if (IsPlainFolder(made, &information) && HasFinalPath(made, restart->widePath) &&
        KeepsItsDacl(made)) {
      restart->handle = made;
      return 1;
    }
    SysSetDeleteDisposition(made);  // empty: it goes as it is closed
    SysCloseHandle(made);
    return 0;
  }
  return 0;
}

// Moves the open entry name (length UTF-16 characters) of the held folder into the restart
// folder, with the restart folder's DACL (it may then be changed by administrators alone), and
// asks for its deletion there at the next start of Windows; where that cannot be asked for, it
// goes back where it was.
int MoveForRestart(HANDLE entry, HANDLE held, const WCHAR* name, int length,
                   RestartFolder* restart) {
  WCHAR moved[kWideEntrySize];
  if (!OpenRestartFolder(restart) || !SysSetSecurity(entry, kAdministratorsOnly.bytes) ||
      !SysMoveInto(entry, restart->handle, name, length))
    return 0;
  JoinWide(restart->widePath, name, length, moved);
  if (SysDeleteAtRestart(moved)) return ++restart->moved;
  SysMoveInto(entry, held, name, length);
  return 0;
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

// Deletes the listed entry name (length UTF-16 characters) of the held folder, whose proven
// path is heldPath, through a handle of its own, opened relative to the held one; a file in use
// goes to the restart folder. Where Windows tells final paths, the entry's must also be the held
// folder's and its name: a check that Windows never fails, kept for systems that resolve a
// relative open by the folder's name rather than by its handle (Wine does).
void RemoveListedEntry(HANDLE held, const WCHAR* heldPath, const WCHAR* name, int length,
                       DWORD listedAttributes, RestartFolder* restart) {
  WCHAR expected[kWideEntrySize];
  if ((listedAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsEntryName(name, length)) return;
  JoinWide(heldPath, name, length, expected);
  // Opened to change its attributes and DACL too where it may be, else only to delete it.
  HANDLE entry = SysOpenEntry(held, name, length, DELETE | FILE_WRITE_ATTRIBUTES | WRITE_DAC);
  int mayChange = entry != INVALID_HANDLE_VALUE;
  if (!mayChange) entry = SysOpenEntry(held, name, length, DELETE);
  if (entry == INVALID_HANDLE_VALUE) return;
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
    // A file that stays keeps its attributes.
    if (!SysSetDeleteDisposition(entry) &&
        !(own && readOnly == cleared && MoveForRestart(entry, held, name, length, restart)) &&
        cleared)
      SysSetFileAttributesOf(entry, attributes);
  }
  SysCloseHandle(entry);
}

// Lists the entries of the folder held through its handle and removes each file. The records
// are followed by their offsets wherever those stay inside what was read, aligned or not (some
// file systems write offsets that are no multiple of 8), and each record is copied out before
// it is read. Returns 0 when the folder cannot be listed at all.
int RemoveListed(HANDLE held, const WCHAR* heldPath, RestartFolder* restart) {
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
        RemoveListedEntry(held, heldPath, name, static_cast<int>(length), record.fileAttributes,
                          restart);
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

// The NT family: held, proven, judged, then each entry removed through the held handle.
FolderRemoval RemoveThroughHandles(const char* folder, const GuardedFolders* guarded) {
  HANDLE held = SysHoldFolder(folder);
  if (held == INVALID_HANDLE_VALUE) return kRemovalRefused;
  PathBuffer longForm;
  WCHAR wideLongForm[kWidePathSize];
  BY_HANDLE_FILE_INFORMATION identity;
  RestartFolder restart;
  restart.handle = INVALID_HANDLE_VALUE;
  restart.moved = 0;
  int listed = ProveHeld(held, folder, longForm, wideLongForm, &identity) &&
               IsJudged(longForm, guarded);
  if (listed) {
    restart.drive = longForm[0];
    listed = RemoveListed(held, wideLongForm, &restart);
  }
  SysCloseHandle(held);
  if (restart.handle != INVALID_HANDLE_VALUE) {
    // After the files moved into it; at once where none was.
    if (!restart.moved) SysSetDeleteDisposition(restart.handle);
    SysCloseHandle(restart.handle);
    if (restart.moved) DeleteAtRestart(restart.path);
  }
  if (!listed) return kRemovalRefused;
  return RemoveEmptied(longForm, wideLongForm, identity) ? kRemovalDone : kRemovalPartial;
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
