// The restart's paths, and who may steer them. Windows deletes what it was asked to at its next
// start, as SYSTEM, by path, following whatever links lie on the path then. So a path is named
// only where nobody but an administrator can change a folder on it until then: the folder of
// the uninstaller's own, made new with an owner and a DACL of the administrators alone, or a
// path every folder of which is the administrators' alone. The running user is never trusted
// as such: under UAC the same user runs unelevated programs, which could use the owner's rights
// to put a link in the path's place.
#include "files/restart_folder.h"

#include <string.h>

#include "platform/platform.h"

namespace {

// The folder of the uninstaller's own for the files that go at the next start of Windows, at the
// root of their drive, under a name made new for this run.
const char kRestartFolderFormat[] = "%c:\\TolvaneUninstall.%08lX";
const int kRestartFolderTries = 16;

// The security the restart folder is made with and a moved file is given (self-relative): owner
// Administrators (S-1-5-32-544), the DACL protected from inheritance, full access for
// Administrators and SYSTEM (S-1-5-18), passed on to what is put in the folder.
const union {
  BYTE bytes[88];
  DWORD alignment;
} kAdministratorsOwned = {{
    0x01, 0x00, 0x04, 0x90,  // revision 1; self-relative, DACL present and protected
    0x48, 0, 0, 0,           // the owner, after the DACL
    0, 0, 0, 0, 0, 0, 0, 0,  // no group or SACL: the creator's defaults
    0x14, 0x00, 0x00, 0x00,  // the DACL follows the header
    0x02, 0x00, 0x34, 0x00, 0x02, 0x00, 0x00, 0x00,  // ACL revision 2, 52 bytes, two entries
    // Allowed, inherited by files and folders, FILE_ALL_ACCESS, Administrators.
    0x00, 0x03, 0x18, 0x00, 0xFF, 0x01, 0x1F, 0x00,
    0x01, 0x02, 0, 0, 0, 0, 0, 0x05, 0x20, 0x00, 0x00, 0x00, 0x20, 0x02, 0x00, 0x00,
    // Allowed, inherited by files and folders, FILE_ALL_ACCESS, SYSTEM.
    0x00, 0x03, 0x14, 0x00, 0xFF, 0x01, 0x1F, 0x00,
    0x01, 0x01, 0, 0, 0, 0, 0, 0x05, 0x12, 0x00, 0x00, 0x00,
    // The owner: Administrators.
    0x01, 0x02, 0, 0, 0, 0, 0, 0x05, 0x20, 0x00, 0x00, 0x00, 0x20, 0x02, 0x00, 0x00,
}};
const DWORD kEntriesGiven = 2;

// The accounts that are the administrators': SYSTEM (S-1-5-18) and Administrators
// (S-1-5-32-544), as they stand in the security above, and TrustedInstaller
// (S-1-5-80-956008885-...), as Windows writes their SIDs.
const DWORD kSystemSidAt = 60, kAdministratorsSidAt = 72;
const union {
  BYTE bytes[32];
  DWORD alignment;
} kTrustedInstallerSid = {{0x01, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x50, 0x00, 0x00,
                           0x00, 0xB5, 0x89, 0xFB, 0x38, 0x19, 0x84, 0xC2, 0xCB, 0x5C, 0x6C,
                           0x23, 0x6D, 0x57, 0x00, 0x77, 0x6E, 0xC0, 0x02, 0x64, 0x87}};

// What lets an account rename or delete what is in a folder, or the folder itself, or take the
// folder over.
const DWORD kTakeOverAccess = FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;
// And what lets one put something into the folder that holds a file deleted where it stands, or
// make that folder, once empty, a junction; for the file itself (the same bits: write its data
// or attributes), make it a reparse point.
const DWORD kFillAccess = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_WRITE_ATTRIBUTES | GENERIC_WRITE;

PSID Sid(const void* bytes) { return const_cast<void*>(bytes); }

// Whether sid is one of the administrators' accounts, or the owner this Windows shows for what
// the uninstaller made as the Administrators' (shownOwner, null when not learned).
int IsTrusted(PSID sid, PSID shownOwner) {
  return SysEqualSid(sid, Sid(kAdministratorsOwned.bytes + kSystemSidAt)) ||
         SysEqualSid(sid, Sid(kAdministratorsOwned.bytes + kAdministratorsSidAt)) ||
         SysEqualSid(sid, Sid(kTrustedInstallerSid.bytes)) ||
         (shownOwner && SysEqualSid(sid, shownOwner));
}

// Whether the open file or folder (opened with READ_CONTROL) is owned by an administrator and
// grants nobody else any of access (see MayDeleteInPlace); the number of its DACL's entries in
// *entries.
int JudgeSecurity(HANDLE file, PSID shownOwner, DWORD access, DWORD* entries) {
  SecurityBuffer security;
  PSID owner;
  ACL* dacl;
  memset(&security, 0, sizeof(security));
  // A null DACL grants everyone everything; a file system without security (FAT) has none.
  if (!SysGetSecurity(file, &security, sizeof(security)) ||
      !SysGetOwnerAndDacl(&security, &owner, &dacl) || !IsTrusted(owner, shownOwner) || !dacl)
    return 0;
  *entries = dacl->AceCount;
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    ACE_HEADER* ace;
    if (!SysGetAce(dacl, index, &ace)) return 0;
    // Entries that deny, and those only passed on to what the folder holds, grant the folder
    // nothing; an entry of any other kind than a plain one is not read, and refuses.
    if (ace->AceType == ACCESS_DENIED_ACE_TYPE || (ace->AceFlags & INHERIT_ONLY_ACE)) continue;
    if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE || ace->AceSize < sizeof(ACCESS_ALLOWED_ACE))
      return 0;
    const ACCESS_ALLOWED_ACE* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace);
    if ((allowed->Mask & access) &&
        !IsTrusted(Sid(&allowed->SidStart), shownOwner))
      return 0;
  }
  return 1;
}

// Learns the owner this Windows shows for the folder just made as the Administrators': its
// security descriptor is kept, and the owner read from it.
int LearnShownOwner(HANDLE folder, Restart* restart) {
  ACL* dacl;
  memset(&restart->made, 0, sizeof(restart->made));
  return SysGetSecurity(folder, &restart->made, sizeof(restart->made)) &&
         SysGetOwnerAndDacl(&restart->made, &restart->shownOwner, &dacl);
}

// Whether the folder at path, itself and no link, is the administrators' alone, and, with
// holding, nobody else may put anything into it either.
int IsFolderAlone(const char* path, const Restart* restart, int holding) {
  HANDLE folder = SysOpenForSecurity(path);
  if (folder == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION information;
  DWORD entries;
  int alone = IsPlainFolder(folder, &information) &&
              JudgeSecurity(folder, restart->shownOwner,
                            holding ? kTakeOverAccess | kFillAccess : kTakeOverAccess, &entries);
  SysCloseHandle(folder);
  return alone;
}

// Whether the folder just made is where it is meant to be (a drive letter can stand for another
// folder), keeps the owner and DACL it was made with, its two entries and no more (a file
// system without security, FAT, keeps none, and there anyone could rename the folder before the
// restart), and whether the drive's root is the administrators' alone: where others may rename
// what is in it, they could rename the folder after the uninstaller ends and put a link to a
// folder of their choice in its place.
int IsSound(HANDLE made, Restart* restart) {
  BY_HANDLE_FILE_INFORMATION information;
  DWORD entries = 0;
  char root[] = {restart->drive, ':', '\\', 0};
  return IsPlainFolder(made, &information) && HasFinalPath(made, restart->widePath) &&
         LearnShownOwner(made, restart) &&
         JudgeSecurity(made, restart->shownOwner, kTakeOverAccess, &entries) &&
         entries == kEntriesGiven && IsFolderAlone(root, restart, 0);
}

// Makes the restart folder on first use, on a fixed drive (a removable one's letter can name
// another volume at the next start). Never takes a folder or link that was there already,
// whoever made it: a name is drawn anew until one is free.
int OpenRestartFolder(Restart* restart) {
  if (restart->opened) return restart->handle != nullptr;
  restart->opened = 1;
  if (DriveTypeOf(restart->drive) != DRIVE_FIXED) return 0;
  for (int attempt = 0; attempt < kRestartFolderTries; ++attempt) {
    DWORD name = 0;
    if (!SysGetRandom(&name, sizeof(name))) name = SysGetTickCount() * 2654435761u + attempt;
    if (!FormatPath(restart->path, sizeof(restart->path), kRestartFolderFormat, restart->drive,
                    static_cast<unsigned long>(name)) ||
        !WidePath(restart->path, restart->widePath))
      return 0;
    HANDLE made = SysCreateFolder(restart->widePath,
                                  const_cast<BYTE*>(kAdministratorsOwned.bytes));
    if (made == INVALID_HANDLE_VALUE) continue;
    if (IsSound(made, restart)) {
      restart->handle = made;
      return 1;
    }
    restart->shownOwner = nullptr;
    SysSetDeleteDisposition(made);  // empty, and named by nothing: it goes as it is closed
    SysCloseHandle(made);
    return 0;
  }
  return 0;
}

// Asks for the restart folder's own deletion, after every file's asked for so far.
void DeleteFolderLast(Restart* restart) {
  restart->folderLast = SysDeleteAtRestart(restart->widePath) ? 1 : 0;
}

}  // namespace

int MoveForRestart(HANDLE entry, HANDLE from, const WCHAR* name, int length, Restart* restart) {
  WCHAR moved[kWideEntrySize];
  if (!OpenRestartFolder(restart) || !SysMoveInto(entry, restart->handle, name, length))
    return kMoveNone;
  JoinWide(restart->widePath, name, length, moved);
  if (!SysDeleteAtRestart(moved))
    return SysMoveInto(entry, from, name, length) ? kMoveNone : kMoveStuck;
  // From here on a deletion names the folder: it stays until the restart, whatever happens.
  restart->named = 1;
  // Owned by the Administrators and changed by them alone, as soon as it is in their folder;
  // where that cannot be, it goes back with the owner and DACL it had, and the deletion asked
  // for finds nothing (where it cannot go back, it stays there as it is: anyone its own DACL
  // lets could take it out before the restart).
  int result = SysSetSecurity(entry, kAdministratorsOwned.bytes) ? kMoveDone
               : SysMoveInto(entry, from, name, length)            ? kMoveNone
                                                                   : kMoveStuck;
  // Asked for at once, so that a crash or a failure later leaves no folder for good.
  DeleteFolderLast(restart);
  return result;
}

int MayDeleteInPlace(const char* longForm, HANDLE entry, Restart* restart) {
  char root[] = {restart->drive, ':', '\\', 0};
  DWORD flags, entries;
  // longForm is "X:\..." on the restart's drive, as FindLongForm gives it.
  if (DriveTypeOf(restart->drive) != DRIVE_FIXED || !SysGetVolumeFlags(root, &flags)) return 0;
  // A volume that keeps no ACLs has no owners to trust, but no links either: what lies at a
  // path there at the restart is what anyone could delete anyway.
  if (!(flags & (FILE_PERSISTENT_ACLS | FILE_SUPPORTS_REPARSE_POINTS))) return 1;
  // The owner this Windows shows for the administrators' is learned, and the root judged, as the
  // restart folder is made (the install folder is never a root). The entry itself is theirs
  // too: nobody else may delete it to empty its folder, nor take it over.
  if (!OpenRestartFolder(restart) ||
      (entry != INVALID_HANDLE_VALUE &&
       !JudgeSecurity(entry, restart->shownOwner, kTakeOverAccess | kFillAccess, &entries)))
    return 0;
  // From the root down: a folder is judged only once the one that holds it was, so nobody but
  // an administrator could have put another in its place. The last, which holds the entry, lets
  // nobody else add to it or make it a junction either.
  PathBuffer folder;
  DWORD length = static_cast<DWORD>(strlen(longForm));
  if (length >= sizeof(folder) || length <= 3) return 0;  // never a drive's root
  for (DWORD end = 3; end <= length; ++end) {
    if (end < length && longForm[end] != '\\') {
      // A double-byte character is skipped whole: its second byte may be a '\\'.
      if (SysIsDBCSLeadByte(static_cast<BYTE>(longForm[end])) && end + 1 < length) ++end;
      continue;
    }
    if (end == 3) continue;  // the root, judged as the restart folder was made
    memcpy(folder, longForm, end);
    folder[end] = 0;
    if (!IsFolderAlone(folder, restart, end == length)) return 0;
  }
  return 1;
}

void EndRestart(Restart* restart) {
  if (!restart->handle) return;
  if (!restart->named) {
    SysSetDeleteDisposition(restart->handle);  // nothing in it, nothing names it: it goes now
  } else if (!restart->folderLast) {
    DeleteFolderLast(restart);
  }
  SysCloseHandle(restart->handle);
  restart->handle = nullptr;
}
