// The text of paths, compared as the file system compares names: case folded for every letter
// of the ANSI code page, double-byte characters kept whole.
#include "files/path_text.h"

#include <string.h>

#include "platform/path.h"
#include "platform/platform.h"

int IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int IsDots(const char* text, int start, int end) {
  for (int i = start; i < end; ++i)
    if (text[i] != '.') return 0;
  return end > start;
}

namespace {

int IsSeparator(char c) { return c == '\\' || c == '/'; }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Characters no file or folder name holds; ':' would also name a stream of the folder.
int IsForbidden(unsigned char c) { return c < 0x20 || strchr("<>:\"|?*", c); }

// Whether the length bytes at text are whole characters of one name: no separator, no
// forbidden character, every lead byte followed by a proper trail byte. A lead byte followed by
// a backslash is refused too: in code page 949 the pair is invalid, and Wine reads it as one
// character, not as a separator; in code pages 932, 936 and 950 it is one character.
int IsWholeName(const char* text, int length) {
  for (int i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (SysIsDBCSLeadByte(c)) {
      if (i + 1 >= length) return 0;
      unsigned char trail = static_cast<unsigned char>(text[++i]);
      if (trail < 0x40 || trail == '\\') return 0;
    } else if (IsForbidden(c) || IsSeparator(static_cast<char>(c))) {
      return 0;
    }
  }
  return 1;
}

// Appends one name (up to a separator or the end) of path to canonical at *length, lower-cased
// as the file system compares names, and advances path. Returns 0 when the name is not made of
// whole characters (see IsWholeName) or does not fit.
int AppendComponent(const char** path, char* canonical, int size, int* length) {
  const char* p = *path;
  int start = *length;
  while (*p && !IsSeparator(*p)) {
    if (*length + 1 >= size) return 0;
    canonical[(*length)++] = *p++;
  }
  *path = p;
  int bytes = *length - start;
  if (!IsWholeName(canonical + start, bytes)) return 0;
  // Every letter of the ANSI code page, double-byte ones included; checked again, so that no
  // lowered character can become a separator.
  SysCharLowerBuff(canonical + start, bytes);
  return IsWholeName(canonical + start, bytes);
}

// Where the canonical path ends once the name before end is dropped: at the separator before
// that name, or at the root. No trail byte is a backslash here (AppendComponent refuses them).
int DropLastName(const char* canonical, int rootLength, int end) {
  int i = end - 1;
  while (i > rootLength && canonical[i] != '\\') --i;
  return i < rootLength ? rootLength : i;
}

}  // namespace

FolderVerdict Canonicalize(const char* path, char* canonical, int size) {
  int length = 0;
  const char* p = path;
  if (IsSeparator(p[0]) && IsSeparator(p[1])) {
    // \\server\share. Device paths (\\.\, \\?\) skip Windows' own resolving of the path, and
    // administrative shares (C$, ADMIN$) are other names for local folders: neither can be
    // judged by its text.
    canonical[length++] = '\\';
    canonical[length++] = '\\';
    p += 2;
    int start = length;
    if (!AppendComponent(&p, canonical, size, &length)) return kFolderMalformed;
    if (length == start || IsDots(canonical, start, length)) return kFolderMalformed;
    if (!*p) return kFolderRoot;  // "\\server"
    ++p;
    if (length + 1 >= size) return kFolderMalformed;
    canonical[length++] = '\\';
    start = length;
    if (!AppendComponent(&p, canonical, size, &length)) return kFolderMalformed;
    if (length == start) return *p ? kFolderMalformed : kFolderRoot;  // "\\server\"
    if (canonical[length - 1] == '$') return kFolderShare;  // administrative
  } else if (IsAsciiLetter(p[0]) && p[1] == ':') {
    // "C:" alone is joined into "C:\..." by the cleanup, so it stands for the root; "C:name"
    // depends on the drive's current folder.
    if (p[2] && !IsSeparator(p[2])) return kFolderRelative;
    canonical[length++] = AsciiLower(p[0]);
    canonical[length++] = ':';
    p += 2;
  } else {
    return kFolderRelative;
  }
  int rootLength = length;

  while (*p) {
    if (IsSeparator(*p)) {
      ++p;
      continue;
    }
    int slash = length;
    if (length + 1 >= size) return kFolderMalformed;
    canonical[length++] = '\\';
    if (!AppendComponent(&p, canonical, size, &length)) return kFolderMalformed;
    int dots = length - slash - 1;
    if (IsDots(canonical, slash + 1, length) && dots <= 2) {
      // "." stays; ".." goes up one folder, and at the root stays there, as for Windows.
      length = dots == 1 ? slash : DropLastName(canonical, rootLength, slash);
      continue;
    }
    // Windows drops trailing dots and spaces from a name; a name of nothing else is no name.
    while (length > slash + 1 && (canonical[length - 1] == '.' || canonical[length - 1] == ' '))
      --length;
    if (length == slash + 1) return kFolderMalformed;
  }
  canonical[length] = 0;
  return length == rootLength ? kFolderRoot : kFolderAccepted;
}

int IsPlainEntryName(const char* name) {
  int length = static_cast<int>(strlen(name));
  return length > 0 && IsWholeName(name, length) && !IsDots(name, 0, length);
}
