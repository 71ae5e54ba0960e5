// Depth-first removal of everything below a registry key. Every key is opened by its full path
// under g_purgeRoot; a subkey is enumerated through the key's own handle and deleted through a
// second handle to the same key, opened for that one deletion.
//
// A registry link is never gone through: a key that turns out to be a link is neither emptied
// nor deleted (deleting it by its name would delete the key it leads to), so it stays, and the
// keys above it stay with it. Links above the purged key, such as CurrentControlSet, are
// followed as Windows resolves them.
//
// Every loop ends: each pass either removes the entry at the current index or, when that entry
// cannot be removed, moves the index past it, and there are never more passes than the count of
// entries taken before the first deletion. Entries that cannot be removed stay in place, and
// the purge goes on with the ones after them.
#include "registry/purge.h"

#include <string.h>

#include "platform/path.h"
#include "platform/platform.h"

HKEY g_purgeRoot;  // written by RemoveRegistryEntries, read by PurgeKey and DeleteAllSubkeys
WindowsFamily g_purgeFamily;

const char kLinkValue[] = "SymbolicLinkValue";  // where a link key keeps its target

// The 9x family (Windows 95, 98 and Me) has no link keys, and its RegOpenKeyExA takes no
// options: keys open plainly there.
int OpenOwnKey(const char* keyPath, HKEY* key) {
  if (g_purgeFamily == kFamily9x)
    return SysRegOpenKey(g_purgeRoot, keyPath, KEY_ALL_ACCESS, key) == ERROR_SUCCESS;
  if (SysRegOpenKeyItself(g_purgeRoot, keyPath, KEY_ALL_ACCESS, key) != ERROR_SUCCESS) return 0;
  DWORD type = REG_NONE;
  if (SysRegQueryValueType(*key, kLinkValue, &type) == ERROR_SUCCESS && type == REG_LINK) {
    SysRegCloseKey(*key);
    return 0;
  }
  return 1;
}

// Empties the key at keyPath. Returns 1 when the key was opened, which a link never is: only
// then may it be deleted by its name. Returns 0 when it was left alone.
static int EmptyKey(const char* keyPath) {
  if (!keyPath || !keyPath[0]) return 0;  // never the whole root
  HKEY key;
  if (!OpenOwnKey(keyPath, &key)) return 0;
  DWORD subkeys = 0, values = 0;
  // Both counts are taken once, before anything is deleted; values go first.
  if (SysRegQueryInfoKey(key, &subkeys, &values) == ERROR_SUCCESS) {
    if (values) DeleteAllValues(key, values, keyPath);
    if (subkeys) DeleteAllSubkeys(key, subkeys, keyPath);
  }
  SysRegCloseKey(key);
  return 1;
}

int PurgeKey(const char* keyPath) {
  EmptyKey(keyPath);
  return 0;
}

int RemoveSubkey(HKEY parent, const char* parentPath, const char* name, char* childPath,
                 int size) {
  // A child path that does not fit is not cut short: the subkey and all below it stay. This
  // also bounds the depth of the recursion: every level adds at least two bytes to the path.
  if (!FormatPath(childPath, size, "%s\\%s", parentPath, name)) return 0;
  if (!EmptyKey(childPath)) return 0;
  return SysRegDeleteKey(parent, name) == ERROR_SUCCESS;
}

int DeleteAllValues(HKEY key, DWORD values, const char*) {
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
  return 0;
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

// Empties the subkey name of the key at keyPath and deletes it through a second handle to that
// key. Returns 1 when it is gone.
static int DeleteSubkey(const char* keyPath, const char* name, char* childPath) {
  HKEY parent;
  if (!OpenOwnKey(keyPath, &parent)) return 0;
  int deleted = RemoveSubkey(parent, keyPath, name, childPath, kPathSize);
  SysRegCloseKey(parent);
  return deleted;
}

int DeleteAllSubkeys(HKEY key, DWORD subkeys, const char* keyPath) {
  PathBuffer name;
  PathBuffer childPath;
  memset(name, 0, sizeof(name));
  DWORD index = 0;  // the subkeys before it could not be removed
  for (DWORD pass = 0; pass < subkeys; ++pass) {
    LONG found = SysRegEnumKey(key, index, name, sizeof(name));
    // A name that does not fit the buffer (in a double-byte code page a name of 255 characters
    // can take 510 bytes) cannot be named to the deletion: that subkey stays, like one that
    // cannot be removed, and the loop goes on with the next.
    if (found == ERROR_MORE_DATA) {
      ++index;
      continue;
    }
    if (found != ERROR_SUCCESS) break;
    memset(childPath, 0, sizeof(childPath));
    if (!IsPlainKeyName(name) || !DeleteSubkey(keyPath, name, childPath)) ++index;
  }
  return 0;
}
