// The check that stands between the install folder named in the registry and the deletion of
// every file at its top: a folder that cannot be the product's own is refused, judged by its text
// and by where it really leads.
#pragma once

#include "platform/path.h"

// Room for every folder CollectGuardedFolders asks for, and for where each really leads.
const int kMaxSealedFolders = 16;
const int kMaxWellKnownFolders = 80;

// The folders the guard judges by.
struct GuardedFolders {
  PathBuffer sealed[kMaxSealedFolders];  // refused, and so is every folder in or around one
  int sealedCount;
  PathBuffer wellKnown[kMaxWellKnownFolders];  // refused, and so is every folder around one
  int wellKnownCount;
};

enum FolderVerdict {
  kFolderAccepted,
  kFolderRelative,   // no drive or share: it would depend on the current folder
  kFolderRoot,       // a drive or share root, also when reached through ".."
  kFolderMalformed,  // not a plain folder path (device or administrative share path, stream
                     // or wildcard characters, a name of dots alone, a broken double-byte pair)
  kFolderWellKnown,  // is, or contains, one of the well-known folders
  kFolderSealed,     // is, lies in or contains the Windows folder or the folder of all profiles
  kFolderShare,      // on a share: a share can name a local folder under another name
};

// Judges folder against the guarded folders after resolving "." and "..", repeated and trailing
// separators ('\' and '/'), the trailing dots and spaces Windows drops, and case (every letter
// of the ANSI code page; double-byte characters are kept whole). Looks at the text only: no
// file-system access.
FolderVerdict JudgeInstallFolder(const char* folder, const GuardedFolders* guarded);

// Whether name, as a folder search returned it, names one entry of that folder and nothing
// else: no separator, drive or stream colon, wildcard, broken double-byte pair or name of dots
// alone. The conversion to the ANSI code page can make a name into a path (in code page 949 the
// won sign becomes '\') and writes '?' for a character the code page lacks.
int IsPlainEntryName(const char* name);

// Asks Windows where folder really leads and stores it in real, as plain text: the long form of
// every name, every link (symbolic link, junction, mount point) on the folder or a folder above
// it followed, and a drive letter that stands for a folder or a share replaced. Returns 0 when
// Windows cannot tell: a name on the path cannot be found or comes back unusable, a link cannot
// be resolved on this system, or folder is no path below a drive.
int FindRealFolder(const char* folder, char* real);

// Fills guarded with the system's folders as Windows reports them, each also where it really
// leads. Sealed: the Windows folder and the folder that holds the user profiles. Well-known: the
// Windows and system directories, Program Files, profiles, desktop, documents, Start menu,
// application data and temporary folders. Folders Windows does not know are left out. Returns
// 0 when the Windows or system directory is unknown, else 1.
int CollectGuardedFolders(GuardedFolders* guarded);

// Whether the files at the top of folder may be deleted: Windows tells where its own folders
// are, and the guard accepts folder both as written and where it really leads.
int MayEmptyFolder(const char* folder);
