// The recursive purge: empties a registry key of every value and every subkey below it. The
// subkeys go so that the key itself can then be deleted (Windows of the NT family deletes no key
// that has subkeys; values do not stop it); the values go so that a key that has to stay, above
// a link or a subkey that could not be removed, keeps none of the product's data. Every key is
// opened relative to its parent's handle, as itself and never through a registry link, and
// deleted through the handle that was checked.
#pragma once

#include <windows.h>

#include "platform/family.h"

// Room for one key name in the ANSI code page: 255 characters of up to two bytes each, and the
// terminator.
const int kKeyNameSize = 512;
typedef char KeyName[kKeyNameSize];

// How many levels below a key the purge enters at most; the registry nests keys at most 512
// deep.
const int kMaxPurgeDepth = 512;

// Opens path below the open key parent with full access, name by name, each relative to the key
// before it and as itself: a name that is a registry link is closed again and the whole open
// fails. On the 9x family, which has no links, keys open plainly. Returns 1 when key is open.
int OpenOwnKey(HKEY parent, const char* path, WindowsFamily family, HKEY* key);

// Empties the open key (full access, opened as itself) of its values and of every subkey below
// it, entering at most depth levels below it; the key itself stays. A subkey that is a link
// stays, and so do the keys above it.
void PurgeKey(HKEY key, WindowsFamily family, int depth);

// Opens the subkey name of parent as itself, empties it (PurgeKey, depth levels below it at most)
// and deletes it: through the handle that was checked and emptied on the NT family, by its name
// on the 9x family. A subkey that is a registry link is neither emptied nor deleted; with depth 0
// nothing is done. Returns 1 when the subkey is gone.
int RemoveSubkey(HKEY parent, const char* name, WindowsFamily family, int depth);

// Deletes the values of an open key (full access); values is their number, taken before.
void DeleteAllValues(HKEY key, DWORD values);

// Whether a subkey name as the enumeration returned it names that one subkey: not empty, no '\'
// and no '?' (the default character of the conversion to the ANSI code page), no broken
// double-byte character.
int IsPlainKeyName(const char* name);

// Removes the subkeys of the open key (RemoveSubkey); subkeys is their number, taken before. A
// subkey whose name is not plain (IsPlainKeyName) or does not fit a KeyName stays.
void DeleteAllSubkeys(HKEY key, DWORD subkeys, WindowsFamily family, int depth);
