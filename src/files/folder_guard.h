// The check that stands between the install folder named in the registry and the deletion of
// every file at its top: a folder that cannot be the product's own is refused, judged by its text
// against the system's folders and where they really lead.
#pragma once

#include "files/path_text.h"
#include "platform/path.h"

// Room for every folder CollectGuardedFolders asks for, and for where each really leads; it
// checks that they fit.
const int kMaxSealedFolders = 16;
const int kMaxWellKnownFolders = 80;

// The folders the guard judges by.
struct GuardedFolders {
  PathBuffer sealed[kMaxSealedFolders];  // refused, and so is every folder in or around one
  int sealedCount;
  PathBuffer wellKnown[kMaxWellKnownFolders];  // refused, and so is every folder around one
  int wellKnownCount;
};

// Judges folder against the guarded folders after resolving "." and "..", repeated and trailing
// separators ('\' and '/'), the trailing dots and spaces Windows drops, and case (every letter
// of the ANSI code page; double-byte characters are kept whole), as Canonicalize does; a text
// that Windows would resolve otherwise is refused. A guarded folder is compared as
// CanonicalizeNamed gives it; one whose text cannot be read refuses every folder. Looks at the
// text only: no file-system access.
FolderVerdict JudgeInstallFolder(const char* folder, const GuardedFolders* guarded);

// Fills guarded with the system's folders as Windows reports them, each also where it really
// leads. Sealed: the Windows folder and the folder that holds the user profiles. Well-known: the
// Windows and system directories, Program Files, profiles, desktop, documents, Start menu,
// application data and temporary folders. Folders Windows does not know are left out. Returns
// 0 when the Windows or system directory is unknown, or a folder Windows names cannot be kept
// (no room, or too long with "\.." added), else 1.
int CollectGuardedFolders(GuardedFolders* guarded);
