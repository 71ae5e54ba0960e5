// A folder whose files are deleted while it is held open, each file through a handle of its own.
#pragma once

// Deletes the files directly in folder, then the folder itself when removeFolder (only an empty
// one goes). approved (a PathBuffer's text, "C:\...") is where the guard found that folder
// really leads; nothing outside it is deleted.
//
// On the NT family the folder is held open from before its entries are listed until its
// removal, sharing read access only, so it cannot be renamed, moved or deleted meanwhile. Where
// Windows has the functions (Vista and later) the held folder must be the approved one, its
// entries are listed through the held handle, and each file is opened by itself, never through
// a link it is (a link entry would go, not what it leads to), is passed over when it is a folder
// or its final path does not lie directly in the approved folder, and is deleted through its
// handle; the folder, too, goes through the held handle. Without them (XP and older) the held
// folder is searched by its path, each file is opened to be deleted when closed, and the folder
// is removed by its name once it is no longer held. On the 9x family, which has neither links
// nor sharing to rely on, each file and the folder are deleted by their names.
//
// Subfolders are not entered. An entry whose path does not fit a PathBuffer, or whose name is
// not a plain name of one entry (IsPlainEntryName), is passed over. Returns 0 when the folder
// could not be held, proven or searched, so that nothing in it was deleted; otherwise 1.
int DeleteFolderFiles(const char* folder, const char* approved, int removeFolder);
