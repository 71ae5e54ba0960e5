// A folder whose files are deleted while it is held open, each file through a handle of its own,
// and which then goes itself.
#pragma once

#include "files/folder_guard.h"

// What became of a folder that RemoveFolder was given.
enum FolderRemoval {
  kRemovalDone,       // its files and the folder are gone, or go at the next start of Windows
  kRemovalPartial,    // its files are gone or go at the next start; the folder stays
  kRemovalFilesStay,  // a file of it stays for good, and the folder with it
  kRemovalRefused,    // refused, or it could not be held, proven or listed: nothing in it touched
};

// Deletes the files directly in folder, then the folder itself. Only a folder on a local drive
// with no link (symbolic link, junction, mount point) anywhere on its path is emptied, and, with
// guarded, only one the guard accepts (JudgeInstallFolder) in its long form.
//
// Where ntdll has the file calls (the whole NT family), the folder is held first, so that nobody
// can rename, move or delete it meanwhile (SysHoldFolder; a program whose current folder it is
// does not stop that). Then it is proven: the held handle is a folder and no link, its path as
// written is walked name by name with no link on the way (FindLongForm), that long form opened
// now is the held folder (volume and file index), and where Windows can tell (Vista and later)
// the held handle's own final path is exactly that long form. Only then is the long form judged.
// A swap of the folder or a folder above it before or after the hold cannot make the two agree.
//
// The entries are listed through the held handle, and each is opened by its UTF-16 name
// relative to that handle, never through a link it is and never a folder: what is opened lies in
// the held folder by construction, whatever its name. A read-only file loses that attribute
// through its handle, then goes. A file that Windows will not delete now (a running image, a
// loaded DLL) is moved, through its handle, into a folder of the uninstaller's own made new at
// the root of the same drive, owned by Administrators with a protected DACL for Administrators
// and SYSTEM alone, and is deleted there at the next start of Windows, with that folder: no path
// that anyone but an administrator could redirect is left for the restart (restart_folder.h). A
// file that can be neither deleted nor moved (held open without delete sharing) goes at the
// restart where it stands, and the folder after it, where every folder on its path is the
// administrators' alone or its volume keeps no ACLs and has no links (MayDeleteInPlace);
// elsewhere it stays for good, and the folder with it. Once the folder is no
// longer held it goes through a fresh handle, opened without following a link, that is the same
// folder (and, where Windows can tell, has the same final path); a folder another program still
// has open stays.
//
// The 9x family, which has neither links nor sharing nor ntdll's calls, deletes by names; a file
// in use goes at the next start of Windows through WININIT.INI, then the folder. An entry whose
// path does not fit a PathBuffer, or whose name the ANSI code page turned into something else
// than a plain name of one entry (IsPlainEntryName), is passed over there. Subfolders are never
// entered.
FolderRemoval RemoveFolder(const char* folder, const GuardedFolders* guarded);

// Deletes the file name (a plain name, in the ANSI code page) of the system folder, which only
// administrators may change, through a handle opened relative to the folder's, where it really
// lies (a 32-bit program on 64-bit Windows sees the system folder redirected). Where Windows will
// not delete it now, it is moved into the restart folder on its drive and goes from there at the
// next start of Windows, so that a copy installed again meanwhile stays; where it can be neither
// deleted nor moved, it stays, and the next run finds it. The 9x family deletes by name
// (DeleteNowOrAtRestart). Returns 0 when it stays for good.
int RemoveSystemFile(const char* folder, const char* name);
