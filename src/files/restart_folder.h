// The files that Windows will not delete now go at its next start, and only by a path that
// nobody but an administrator can redirect meanwhile: moved into a folder of the uninstaller's
// own at the drive's root, or, where they can be neither deleted nor moved, where they stand
// when every folder on their path is the administrators' alone.
#pragma once

#include <windows.h>

#include "files/open_file.h"
#include "platform/path.h"

// A self-relative security descriptor as Windows reads one out.
union SecurityBuffer {
  BYTE bytes[4096];
  DWORD alignment;
};

// The files moved out of one drive's folders for the next start of Windows, and what the
// uninstaller learned of that drive's security. Begun zero-filled with its drive, ended with
// EndRestart.
struct Restart {
  char drive;                      // the drive letter of the folders it serves
  int opened;                      // 1 once the folder was asked for (made or refused)
  HANDLE handle;                   // the folder, or null
  PathBuffer path;                 // "C:\TolvaneUninstall.XXXXXXXX"
  WCHAR widePath[kWidePathSize];   // "\\?\" and the path
  // The owner this Windows shows for the folder the uninstaller made as the Administrators'
  // (Administrators on Windows; Wine shows its one user for every owner), in the security
  // descriptor read from it; null until learned.
  PSID shownOwner;
  SecurityBuffer made;
  int named;                       // 1 once a deletion at the restart names the folder
  int folderLast;                  // 1 while the folder's own deletion follows its files'
};

// Moves the open entry name (length UTF-16 characters) of the folder open as from into the
// restart folder and asks for its deletion there at the next start of Windows, then for the
// folder's after it. The entry is given the restart folder's owner and DACL once it is there;
// where that or the deletion's request fails, it goes back where it was, as it was. entry needs
// DELETE, WRITE_DAC and WRITE_OWNER.
enum MoveResult {
  kMoveNone,   // it is where it was, as it was
  kMoveDone,   // it goes at the restart
  kMoveStuck,  // it is in the restart folder, and could be neither asked for nor moved back
};
int MoveForRestart(HANDLE entry, HANDLE from, const WCHAR* name, int length, Restart* restart);

// Whether a deletion at the restart may name a path in the folder longForm (a long form with no
// link on the way, "X:\..." on restart's drive, as FindLongForm gives it) where it stands: the drive is fixed, and its volume
// either keeps no ACLs and has no links at all, or every folder from the drive's root down to
// longForm is the administrators' alone: owned by SYSTEM, Administrators, TrustedInstaller or the
// owner this Windows shows for what the uninstaller made as the Administrators', and granting
// nobody else any right that renames or deletes what it holds, or itself, or changes its DACL
// or owner. Read with Windows' own functions; an entry of a kind not read refuses.
// The entry to be deleted, open with READ_CONTROL (INVALID_HANDLE_VALUE for longForm itself),
// must be owned by them and grant nobody else the right to delete it, write it or take it over,
// and the folder that holds it must let nobody else add to it or change its attributes.
int MayDeleteInPlace(const char* longForm, HANDLE entry, Restart* restart);

// Ends the restart folder: removed now where no deletion names it, else its own deletion asked
// for after every file's; and closed.
void EndRestart(Restart* restart);
