// The check that stands between the install folder named in the registry and the deletion of
// every file at its top: a folder that cannot be the product's own is refused.
#pragma once

#include "platform/path.h"

// Room for every folder CollectWellKnownFolders asks for.
const int kMaxWellKnownFolders = 40;

enum FolderVerdict {
  kFolderAccepted,
  kFolderRelative,   // no drive or share: it would depend on the current folder
  kFolderRoot,       // a drive or share root, also when reached through ".."
  kFolderMalformed,  // not a plain folder path (device or administrative share path, stream
                     // or wildcard characters, a name of dots alone, a broken double-byte pair)
  kFolderWellKnown,  // is, or contains, one of the well-known folders
};

// Judges folder against the well-known folders after resolving "." and "..", repeated and
// trailing separators ('\' and '/'), the trailing dots and spaces Windows drops, and the case
// of ASCII letters (double-byte characters of the ANSI code page are kept whole and unchanged).
// Looks at the text only: no file-system access.
FolderVerdict JudgeInstallFolder(const char* folder, const PathBuffer* wellKnown, int count);

// Fills folders (room for kMaxWellKnownFolders) with the system's well-known folders as Windows
// reports them: Windows and system directories, Program Files, profiles, desktop, documents,
// Start menu, application data and temporary folders. Folders Windows does not know are left
// out. Returns how many were stored, or 0 when the Windows or system directory is unknown.
int CollectWellKnownFolders(PathBuffer* folders);
