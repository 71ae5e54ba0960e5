// A folder whose files are deleted while it is held open, each file through a handle of its own.
#pragma once

#include "files/folder_guard.h"

// Deletes the files directly in folder, then the folder itself when that left it empty. Only a
// folder on a local drive with no link (symbolic link, junction, mount point) anywhere on its path
// is emptied, and, with guarded, only one the guard accepts (JudgeInstallFolder) in its long
// form. Returns 1 when its files were offered for deletion, 0 when the folder was refused or could
// not be held, proven or listed: then nothing in it was deleted.
//
// On the NT family the folder is held first, so that nobody can rename, move or delete it
// meanwhile (SysHoldFolder; a program whose current folder it is does not stop that). Then it is
// proven: the held handle is a folder and no link, its path as written is walked name by name
// with no link on the way (FindLongForm), that long form opened now is the held folder (volume
// and file index), and where Windows can tell (Vista and later) the held handle's own final path
// is exactly that long form. Only then is the long form judged. A swap of the folder or a folder
// above it before or after the hold cannot make the two agree.
//
// Vista and later: the entries are listed through the held handle, and each file is opened by
// itself, never through a link it is, and deleted through that handle only when the handle is no
// folder and its final path is the held folder's followed by the listed name, compared in UTF-16.
// Once the folder is no longer held it goes through a fresh handle, opened without following a
// link, that is the same folder with the same final path; a folder another program still has
// open stays. XP and older: the held folder is searched by its long form, each file is opened
// without following a link to be deleted when closed, and the emptied folder is removed by its
// name once it is no longer held (RemoveDirectory removes an empty folder, or a link itself, never
// what a link leads to). The 9x family, which has neither links nor sharing, deletes by names.
//
// Subfolders are not entered. An entry whose path does not fit a PathBuffer, or whose name is not
// a plain name of one entry (IsPlainEntryName), is passed over.
int EmptyFolder(const char* folder, const GuardedFolders* guarded);
