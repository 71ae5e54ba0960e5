// Depth-first removal of everything below a registry key, by handles alone. Every key is opened
// relative to its parent's handle, as itself (REG_OPTION_OPEN_LINK); the recursion carries the
// handles, never a path from the root, so a parent swapped for a link between two opens cannot
// lead the purge elsewhere. A key is deleted through the handle that was checked and emptied
// (NtDeleteKey), so a link put in its place meanwhile is not followed. The 9x family has no links
// and no such deletion: keys open plainly and are deleted by their names there.
//
// A registry link is never gone through: a key that turns out to be a link is neither emptied
// nor deleted, so it stays, and the keys above it stay with it.
//
// Every loop ends: each pass either removes the entry at the current index or, when that entry
// cannot be removed, moves the index past it, and there are never more passes than the count of
// entries taken before the first deletion. The recursion ends at kMaxPurgeDepth levels.
#include "registry/purge.h"

#include <string.h>

#include "platform/path.h"
#include "platform/platform.h"

namespace {

const char kLinkValue[] = "SymbolicLinkValue";  // where a link key keeps its target

// Opens the subkey name of parent as itself; see OpenOwnKey.
int OpenOwnSubkey(HKEY parent, const char* name, WindowsFamily family, HKEY* key) {
  if (family == kFamily9x) return SysRegOpenKey(parent, name, KEY_ALL_ACCESS, key) == ERROR_SUCCESS;
  if (SysRegOpenKeyItself(parent, name, KEY_ALL_ACCESS, key) != ERROR_SUCCESS) return 0;
  DWORD type = REG_NONE;
  if (SysRegQueryValueType(*key, kLinkValue, &type) == ERROR_SUCCESS && type == REG_LINK) {
    SysRegCloseKey(*key);
    return 0;
  }
  return 1;
}

}  // namespace

int OpenOwnKey(HKEY parent, const char* path, WindowsFamily family, HKEY* key) {
  KeyName name;
  HKEY current = parent;
  for (const char* p = path;;) {
    // The paths are the program's own, in ASCII: no trail byte is a backslash.
    const char* end = strchr(p, '\\');
    size_t length = end ? static_cast<size_t>(end - p) : strlen(p);
    HKEY next;
    int opened = length > 0 && length < sizeof(name);
    if (opened) {
      memcpy(name, p, length);
      name[length] = 0;
      opened = OpenOwnSubkey(current, name, family, &next);
    }
    if (current != parent) SysRegCloseKey(current);
    if (!opened) return 0;
    current = next;
    if (!end) break;
    p = end + 1;
  }
  *key = current;
  return 1;
}

void PurgeKey(HKEY key, WindowsFamily family, int depth) {
  DWORD subkeys = 0, values = 0;
  // Both counts are taken once, before anything is deleted; values go first.
  if (SysRegQueryInfoKey(key, &subkeys, &values) != ERROR_SUCCESS) return;
  if (values) DeleteAllValues(key, values);
  if (subkeys) DeleteAllSubkeys(key, subkeys, family, depth);
}

int RemoveSubkey(HKEY parent, const char* name, WindowsFamily family, int depth) {
  HKEY key;
  if (depth <= 0 || !OpenOwnSubkey(parent, name, family, &key)) return 0;
  PurgeKey(key, family, depth - 1);
  if (family == kFamily9x) {
    SysRegCloseKey(key);
    return SysRegDeleteKey(parent, name) == ERROR_SUCCESS;
  }
  LONG deleted = SysRegDeleteKeyItself(key);
  SysRegCloseKey(key);
  return deleted == ERROR_SUCCESS;
}

void DeleteAllValues(HKEY key, DWORD values) {
  PathBuffer name;
  memset(name, 0, sizeof(name));
  DWORD index = 0;  // the values before it could not be removed
  for (DWORD pass = 0; pass < values; ++pass) {
    DWORD nameLength = sizeof(name);
    // The name alone is read: data of any size would make the enumeration report an overflow.
    // A name that does not fit the buffer (ERROR_MORE_DATA) cannot be named to the deletion.
    LONG found = SysRegEnumValue(key, index, name, &nameLength, nullptr, nullptr);
    if (found == ERROR_NO_MORE_ITEMS) break;
    if (found != ERROR_SUCCESS || SysRegDeleteValue(key, name) != ERROR_SUCCESS) ++index;
  }
}

// Whether name, as the enumeration returned it, names one subkey and nothing else. The conversion
// to the ANSI code page can make a name into a path (in code page 949 the won sign becomes '\')
// and writes the default character '?' for a character the code page lacks: opened or deleted
// by that text, it would reach another key, possibly through a link. A double-byte character is
// taken whole; one without its trail byte, or with a backslash for it, is refused as the file
// names are: how the conversion back reads such a pair is not to be relied on.
int IsPlainKeyName(const char* name) {
  for (const char* p = name; *p; ++p) {
    if (SysIsDBCSLeadByte(static_cast<BYTE>(*p))) {
      ++p;
      if (!*p || *p == '\\') return 0;
    } else if (*p == '\\' || *p == '?') {
      return 0;
    }
  }
  return name[0] != 0;
}

void DeleteAllSubkeys(HKEY key, DWORD subkeys, WindowsFamily family, int depth) {
  KeyName name;
  memset(name, 0, sizeof(name));
  DWORD index = 0;  // the subkeys before it could not be removed
  for (DWORD pass = 0; pass < subkeys; ++pass) {
    LONG found = SysRegEnumKey(key, index, name, sizeof(name));
    // A name that does not fit the buffer cannot be named to the deletion: that subkey stays,
    // like one that cannot be removed, and the loop goes on with the next.
    if (found == ERROR_MORE_DATA) {
      ++index;
      continue;
    }
    if (found != ERROR_SUCCESS) break;
    if (!IsPlainKeyName(name) || !RemoveSubkey(key, name, family, depth)) ++index;
  }
}
