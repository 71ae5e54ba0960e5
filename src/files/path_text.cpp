// The text of paths, compared as the file system compares names: case folded for every letter
// of the ANSI code page, double-byte characters kept whole. A folder's text is resolved as
// Windows resolves a full path before the file system sees it; what Windows would take for
// something else than the folder the text seems to name (a device, a name that keeps trailing
// dots or spaces) is refused.
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

// Where the name from start to end ends without its trailing dots and spaces.
int TrimmedEnd(const char* text, int start, int end) {
  while (end > start && (text[end - 1] == '.' || text[end - 1] == ' ')) --end;
  return end;
}

// Names Windows takes for a device in whatever folder they stand and with any extension:
// "C:\x\nul.txt" is the null device, not a file in C:\x. One after the other, each ended by
// its terminator, the list by an empty one; '#' stands for a digit or a character outside ASCII
// (some Windows count the superscript digits).
const char kDevices[] = "con\0prn\0aux\0nul\0com#\0lpt#\0conin$\0conout$\0clock$\0";

// Whether the length bytes of the whole name name a device: the part before its first dot,
// without its spaces, is a device's name, ASCII letters in any case.
int IsDeviceName(const char* name, int length) {
  char base[8];
  int size = 0;
  for (int i = 0; i < length && name[i] != '.'; ++i) {
    if (name[i] == ' ') continue;
    if (size == 7) return 0;
    base[size++] = AsciiLower(name[i]);
  }
  // "com" or "lpt" and a digit, or one character outside ASCII.
  if (size == 4 || size == 5) {
    unsigned char next = static_cast<unsigned char>(base[3]);
    if (next >= 0x80 || (size == 4 && next >= '0' && next <= '9')) {
      base[3] = '#';
      size = 4;
    }
  }
  base[size] = 0;
  for (const char* device = kDevices; *device; device += strlen(device) + 1)
    if (!strcmp(base, device)) return 1;
  return 0;
}

// A canonical form being written: its bytes so far, and the room for them (one byte is always
// kept for the terminator).
struct Canonical {
  char* text;
  int size;
  int length;
};

int Put(Canonical* out, char c) {
  if (out->length + 1 >= out->size) return 0;
  out->text[out->length++] = c;
  return 1;
}

enum NameResult {
  kNameFailed,
  kNameLowered,   // whole characters, lower-cased
  kNameVerbatim,  // not whole characters, kept as it stands (for a folder Windows names)
};

// Appends one name (up to a separator or the end) of *path to out, lower-cased as the file
// system compares names, and advances *path past it. Fails when it does not fit or its
// lowering fails; a name not made of whole characters (see IsWholeName) fails too, unless
// verbatim is allowed: it is then kept as it stands.
NameResult AppendName(const char** path, Canonical* out, int verbatim) {
  const char* p = *path;
  int start = out->length;
  while (*p && !IsSeparator(*p))
    if (!Put(out, *p++)) return kNameFailed;
  *path = p;
  char* name = out->text + start;
  int bytes = out->length - start;
  if (!IsWholeName(name, bytes)) return verbatim ? kNameVerbatim : kNameFailed;
  if (bytes == 0) return kNameLowered;
  // Every letter of the ANSI code page, double-byte ones included. Windows lowers through
  // UTF-16 and writes fewer bytes for a sequence the code page does not define, none when it
  // fails: a name whose length changes is not the name the file system sees. The lowered name
  // is checked again, so that no lowered character can become a separator.
  if (SysCharLowerBuff(name, static_cast<DWORD>(bytes)) != static_cast<DWORD>(bytes))
    return kNameFailed;
  return verbatim || IsWholeName(name, bytes) ? kNameLowered : kNameFailed;
}

// Where the canonical path ends once the name before end is dropped: at the separator before
// that name, or at the root. Names hold no backslash byte: a lowered name's trail bytes are
// never one (IsWholeName), and a name kept as it stands was cut at the first.
int DropLastName(const char* canonical, int rootLength, int end) {
  int i = end - 1;
  while (i > rootLength && canonical[i] != '\\') --i;
  return i < rootLength ? rootLength : i;
}

// Writes the canonical form of path to out; see Canonicalize. Named: the path is a folder that
// Windows names (see CanonicalizeNamed).
FolderVerdict Resolve(const char* path, Canonical* out, int named) {
  const char* p = path;
  if (IsSeparator(p[0]) && IsSeparator(p[1])) {
    // \\server\share. Device paths (\\.\, \\?\) skip Windows' own resolving of the path, and
    // administrative shares (C$, ADMIN$) are other names for local folders: neither can be
    // judged by its text.
    if (!Put(out, '\\') || !Put(out, '\\')) return kFolderMalformed;
    p += 2;
    int start = out->length;
    if (!AppendName(&p, out, named)) return kFolderMalformed;
    if (out->length == start) return kFolderMalformed;
    if (!*p) return kFolderRoot;  // "\\server"
    ++p;
    if (!Put(out, '\\')) return kFolderMalformed;
    start = out->length;
    if (!AppendName(&p, out, named)) return kFolderMalformed;
    if (out->length == start) {  // "\\server\"
      --out->length;
      return *p ? kFolderMalformed : kFolderRoot;
    }
    if (out->text[out->length - 1] == '$') return kFolderShare;  // administrative
  } else if (IsAsciiLetter(p[0]) && p[1] == ':') {
    // "C:" alone is joined into "C:\..." by the cleanup, so it stands for the root; "C:name"
    // depends on the drive's current folder.
    if (p[2] && !IsSeparator(p[2])) return kFolderRelative;
    if (!Put(out, AsciiLower(p[0])) || !Put(out, ':')) return kFolderMalformed;
    p += 2;
  } else {
    return kFolderRelative;
  }
  int rootLength = out->length;

  while (*p) {
    if (IsSeparator(*p)) {
      ++p;
      continue;
    }
    int slash = out->length;
    if (!Put(out, '\\')) return kFolderMalformed;
    NameResult name = AppendName(&p, out, named);
    if (name == kNameFailed) return kFolderMalformed;
    if (name == kNameVerbatim) continue;
    int start = slash + 1;
    int dots = out->length - start;
    if (IsDots(out->text, start, out->length) && dots <= 2) {
      // "." stays; ".." goes up one folder, and at the root stays there, as for Windows.
      out->length = dots == 1 ? slash : DropLastName(out->text, rootLength, slash);
      continue;
    }
    int end = TrimmedEnd(out->text, start, out->length);
    if (named) {
      // Trailing dots and spaces dropped wherever they stand: the folder is refused with every
      // folder of the same name with or without them. A name of nothing else stays as it is.
      if (end > start) out->length = end;
      continue;
    }
    // A name of dots and spaces alone is no name; a device is not a folder.
    if (end == start || IsDeviceName(out->text + start, out->length - start))
      return kFolderMalformed;
    // Windows drops the trailing dots and spaces of the path's last name, and the one dot that
    // ends a name a separator follows; it keeps any other, and the file system may then find a
    // folder of that name, or the one without them: such a name is refused.
    int trailing = out->length - end;
    if (trailing && *p && !(trailing == 1 && out->text[end] == '.')) return kFolderMalformed;
    out->length = end;
  }
  return out->length == rootLength ? kFolderRoot : kFolderAccepted;
}

}  // namespace

FolderVerdict Canonicalize(const char* path, char* canonical, int size, int named) {
  if (size <= 0) return kFolderMalformed;
  Canonical out = {canonical, size, 0};
  FolderVerdict verdict = Resolve(path, &out, named);
  // The form of an accepted path, a root or an administrative share; nothing otherwise.
  canonical[verdict == kFolderRelative || verdict == kFolderMalformed ? 0 : out.length] = 0;
  return verdict;
}

int IsPlainEntryName(const char* name) {
  int length = static_cast<int>(strlen(name));
  // Names of dots and spaces alone go up or stay where they are once Windows drops what
  // trails; a device name names a device wherever it stands.
  return IsWholeName(name, length) && TrimmedEnd(name, 0, length) > 0 &&
         !IsDeviceName(name, length);
}
