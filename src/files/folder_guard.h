// The check that stands between the install folder named in the registry and the deletion of
// every file at its top: a folder that cannot be the product's own is refused, judged by its text
// and by where it really leads.
#pragma once

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

// Whether c is a letter of ASCII, as a drive letter is.
int IsAsciiLetter(char c);

// Whether the bytes of text from start to end are dots alone ("." and ".." among them).
int IsDots(const char* text, int start, int end);

// Writes the canonical form of path into canonical (size bytes): "x:" or "\\server\share", then
// "\name" for each folder below it, with ".", "..", repeated separators and the trailing dots and
// spaces Windows drops resolved, and every letter lower-cased. Returns kFolderAccepted when the
// result lies below a drive or share root, otherwise why not (see JudgeInstallFolder).
FolderVerdict Canonicalize(const char* path, char* canonical, int size);

// Whether path names an entry directly in folder, both compared in canonical form.
int LiesDirectlyIn(const char* path, const char* folder);

// Whether two paths name the same folder, compared in canonical form.
int IsSameFolder(const char* one, const char* other);

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

// Fills guarded with the system's folders as Windows reports them, each also where it really
// leads. Sealed: the Windows folder and the folder that holds the user profiles. Well-known: the
// Windows and system directories, Program Files, profiles, desktop, documents, Start menu,
// application data and temporary folders. Folders Windows does not know are left out. Returns
// 0 when the Windows or system directory is unknown or a folder finds no room, else 1.
int CollectGuardedFolders(GuardedFolders* guarded);

// Whether the files at the top of folder may be deleted: Windows tells where its own folders
// are, and the guard accepts folder both as written and where it really leads (FindRealFolder),
// which it stores in real (a PathBuffer): the deletions must happen there and nowhere else.
int MayEmptyFolder(const char* folder, char* real);
