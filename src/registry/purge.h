// The recursive purge: empties a registry key of every value and every subkey below it, so that
// its parent can then delete it (Windows of the NT family deletes only keys without subkeys).
#pragma once

#include <windows.h>

#include "platform/family.h"

// The root under which every path given to the purge is opened; null until the cleanup sets it.
extern HKEY g_purgeRoot;  // written by RemoveRegistryEntries, read by PurgeKey and DeleteAllSubkeys
// The Windows family the purge runs on, asked once by the cleanup; keys open plainly on the 9x
// family, and as themselves (never through a link) on any other.
extern WindowsFamily g_purgeFamily;  // written by RemoveRegistryEntries

// Opens the key at keyPath under g_purgeRoot with full access, and never through a registry
// link: the key itself is opened, and when it is a link it is closed again and counts as not
// opened. Links above it in the path are followed. Returns 1 when the key is open.
int OpenOwnKey(const char* keyPath, HKEY* key);

// Empties the key at keyPath under g_purgeRoot; the key itself stays. A key that cannot be
// opened or queried is left alone, and so are a registry link and the root itself (empty path).
// Returns 0.
int PurgeKey(const char* keyPath);

// Empties the subkey name of the open key parent, whose path under g_purgeRoot is parentPath,
// and deletes it through parent. The subkey's path is formed in childPath (size bytes); one that
// does not fit leaves the subkey whole. A subkey that is a registry link is neither emptied nor
// deleted. Returns 1 when the subkey is gone.
int RemoveSubkey(HKEY parent, const char* parentPath, const char* name, char* childPath,
                 int size);

// Deletes the values of an open key (full access); values is their number, taken before.
// keyPath, the key's path, is not used. Returns 0.
int DeleteAllValues(HKEY key, DWORD values, const char* keyPath);

// Whether a subkey name as the enumeration returned it names that one subkey: not empty, no '\'
// and no '?' (the default character of the conversion to the ANSI code page), no broken
// double-byte character.
int IsPlainKeyName(const char* name);

// Purges and deletes the subkeys of the open key whose path under g_purgeRoot is keyPath;
// subkeys is their number, taken before. A subkey whose name is not plain (IsPlainKeyName) stays.
// Returns 0.
int DeleteAllSubkeys(HKEY key, DWORD subkeys, const char* keyPath);
