// What the rooms above share about the product: where Windows records it, and where the lookup
// found it. The uninstall control writes the install folder once; the file removal reads it, and
// the registry cleanup deletes the record the lookup read.
#pragma once

#include "platform/path.h"

// The product's class, under HKEY_LOCAL_MACHINE: the machine-wide classes root, never the merged
// HKEY_CLASSES_ROOT view, where a per-user key of the same name, which any program the user runs
// may write, takes priority (Windows 2000 and later). On the 9x family HKEY_CLASSES_ROOT is this
// very key.
extern const char kClassKey[];
// The key of its in-process server below kClassKey; its default value names the server file,
// whose folder is the install folder.
extern const char kClassServerKey[];

extern PathBuffer g_installDir;  // written by LocateInstallFolder, read by RemoveInstallFiles
