// The text of paths: a folder's canonical form, and whether a name that a folder search returned
// names one entry and nothing else. Looks at text only: no file-system
// access.
#pragma once

enum FolderVerdict {
  kFolderAccepted,
  kFolderRelative,   // no drive or share: it would depend on the current folder
  kFolderRoot,       // a drive or share root, also when reached through ".."
  kFolderMalformed,  // not a plain folder path (a device path or name, stream or wildcard
                     // characters, a name of dots alone or with trailing dots or spaces Windows
                     // keeps, a broken double-byte pair, longer than a path)
  kFolderWellKnown,  // is, or contains, one of the well-known folders
  kFolderSealed,     // is, lies in or contains the Windows folder or the folder of all profiles
  kFolderShare,      // on a share, administrative ones (C$, ADMIN$) among them: a share can
                     // name a local folder under another name
};

// Whether c is a letter of ASCII, as a drive letter is.
int IsAsciiLetter(char c);

// Whether the bytes of text from start to end are dots alone ("." and ".." among them).
int IsDots(const char* text, int start, int end);

// Writes the canonical form of path into canonical (size bytes): "x:" or "\\server\share", then
// "\name" for each folder below it, with ".", "..", repeated separators and the trailing dots and
// spaces Windows drops resolved as Windows resolves them, and every letter lower-cased. Returns
// kFolderAccepted when the result lies below a drive or share root, otherwise why not (see
// JudgeInstallFolder); canonical holds the form for an accepted path, a root or an
// administrative share, else nothing. Refused as malformed besides: a device name in any folder
// ("nul", "COM1.txt"), and a name whose trailing dots or spaces Windows keeps (any but the last
// name's, or the single dot before a separator), since the file system may take it with or
// without them. named: see CanonicalizeNamed.
FolderVerdict Canonicalize(const char* path, char* canonical, int size, int named = 0);

// The same for a folder that Windows names, to compare an install folder with: a name that no
// install folder may hold (one with '?' for a character the code page lacks, a broken
// double-byte pair, dots alone, a device's) is kept as it stands rather than refused, and
// trailing dots and spaces are dropped wherever they stand. The names above such a name still
// count, so the folder of all profiles is found above a profile whose name the code page cannot
// spell. Fails as malformed only when the text cannot be read: a share without a server's name,
// a name whose case cannot be folded.
inline FolderVerdict CanonicalizeNamed(const char* path, char* canonical, int size) {
  return Canonicalize(path, canonical, size, 1);
}

// Whether name, as a folder search returned it, names one entry of that folder and nothing
// else: no separator, drive or stream colon, wildcard, broken double-byte pair, name of dots and
// spaces alone or device name. The conversion to the ANSI code page can make a name into a path
// (in code page 949 the won sign becomes '\') and writes '?' for a character the code page lacks.
int IsPlainEntryName(const char* name);
