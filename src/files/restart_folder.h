// The files that Windows will not delete now go at its next start, and only by a path that
// nobody but an administrator can redirect meanwhile: moved into a folder of the uninstaller's
// own at the drive's root, or, where they can be neither deleted nor moved, where they stand
// when every folder on their path is the administrators' alone.
#pragma once

#include <windows.h>

#include "files/open_file.h"
#include "platform/path.h"

// The files moved out of one drive's folders for the next start of Windows, and what the
// uninstaller learned of that drive's security. Begun with BeginRestart, ended with EndRestart.
struct Restart {
  char drive;                      // the drive letter of the folders it serves
  int opened;                      // 1 once the folder was asked for (made or refused)
  HANDLE handle;                   // the folder, or INVALID_HANDLE_VALUE
  PathBuffer path;                 // "C:\TolvaneUninstall.XXXXXXXX"
  WCHAR widePath[kWidePathSize];   // "\\?\" and the path
  // The owner this Windows shows for the folder the uninstaller made as the Administrators'
  // (Administrators on Windows; Wine shows its one user for every owner); empty until learned.
  BYTE shownOwner[SECURITY_MAX_SID_SIZE];
  int moved;                       // files moved into the folder
  int named;                       // 1 once a deletion at the restart names the folder
  int folderLast;                  // 1 while the folder's own deletion follows its files'
};

void BeginRestart(Restart* restart, char drive);

// Moves the open entry name (length UTF-16 characters) of the folder open as from into the
// restart folder and asks for its deletion there at the next start of Windows, then for the
// folder's after it. The entry is given the restart folder's owner and DACL once it is there;
// where that or the deletion's request fails, it goes back where it was, as it was. entry needs
// DELETE, WRITE_DAC and WRITE_OWNER. Returns 1 when it goes at the restart.
int MoveForRestart(HANDLE entry, HANDLE from, const WCHAR* name, int length, Restart* restart);

// Whether a deletion at the restart may name a path in the folder longForm (a long form with no
// link on the way, on restart's drive) where it stands: the drive is fixed, and its volume
// either keeps no ACLs and has no links at all, or every folder from the drive's root down to
// longForm is owned by an administrator and lets nobody else rename or delete what is in it or
// take it over (IsAdministratorsAlone).
int MayDeleteInPlace(const char* longForm, Restart* restart);

// Ends the restart folder: removed now where no deletion names it, else its own deletion asked
// for after every file's; and closed.
void EndRestart(Restart* restart);

// Whether the open file or folder (opened with READ_CONTROL) is the administrators' alone:
// owned by SYSTEM, Administrators, TrustedInstaller or the owner shown (a SID, or null), and
// granting nobody else any right that renames or deletes what it holds, itself, or changes its
// DACL or owner. Read with Windows' own functions; an entry of a kind not read refuses.
int IsAdministratorsAlone(HANDLE file, const BYTE* shownOwner);
