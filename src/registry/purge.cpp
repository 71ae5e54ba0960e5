// Depth-first removal of everything below a registry key. Every key is opened by its full path
// under g_purgeRoot; a subkey is enumerated through the key's own handle and deleted through a
// second handle to the same key, opened for that one deletion.
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

int PurgeKey(const char* keyPath) {
  if (!keyPath || !keyPath[0]) return 0;  // never the whole root
  HKEY key;
  if (SysRegOpenKey(g_purgeRoot, keyPath, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return 0;
  PathBuffer className;
  memset(className, 0, sizeof(className));
  DWORD subkeys = 0, values = 0;
  // Both counts are taken once, before anything is deleted; values go first.
  if (SysRegQueryInfoKey(key, className, sizeof(className), &subkeys, &values) == ERROR_SUCCESS) {
    if (values) DeleteAllValues(key, values, keyPath);
    if (subkeys) DeleteAllSubkeys(key, subkeys, keyPath);
  }
  SysRegCloseKey(key);
  return 0;
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

// Empties the subkey name of the key at keyPath and deletes it. Returns 1 when it is gone.
static int DeleteSubkey(const char* keyPath, const char* name, char* childPath) {
  // A child path that does not fit is not cut short: the subkey and all below it stay. This
  // also bounds the depth of the recursion: every level adds at least two bytes to the path.
  if (!FormatPath(childPath, kPathSize, "%s\\%s", keyPath, name)) return 0;
  HKEY parent;
  if (SysRegOpenKey(g_purgeRoot, keyPath, KEY_ALL_ACCESS, &parent) != ERROR_SUCCESS) return 0;
  PurgeKey(childPath);
  LONG deleted = SysRegDeleteKey(parent, name);
  SysRegCloseKey(parent);
  return deleted == ERROR_SUCCESS;
}

int DeleteAllSubkeys(HKEY key, DWORD subkeys, const char* keyPath) {
  PathBuffer name;
  PathBuffer childPath;
  memset(name, 0, sizeof(name));
  DWORD index = 0;  // the subkeys before it could not be removed
  for (DWORD pass = 0; pass < subkeys; ++pass) {
    if (SysRegEnumKey(key, index, name, sizeof(name)) != ERROR_SUCCESS) break;
    memset(childPath, 0, sizeof(childPath));
    if (!DeleteSubkey(keyPath, name, childPath)) ++index;
  }
  return 0;
}
