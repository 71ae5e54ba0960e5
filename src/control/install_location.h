// Where the product is installed: the folder of its in-process COM server, taken from the
// default value of its machine-wide class key, HKLM\Software\Classes\CLSID\{...}\InProcServer32.
#pragma once

#include "platform/path.h"

extern const char kClassKeyPath[];  // under HKEY_LOCAL_MACHINE
// The same key as the path of its parent and its own name.
extern const char kClassParentPath[];
extern const char kClassServerKey[];

extern PathBuffer g_installDir;  // written by LocateInstallFolder, read by RemoveInstallFiles

// Reads a value (null name = the default value) of a key of the machine-wide classes root into
// buffer; keyPath is under HKEY_LOCAL_MACHINE (Software\Classes\...).
// Returns buffer, or null when the key or value is missing or the data does not fit.
char* ReadClassesRootValue(const char* valueName, char* buffer, DWORD size, const char* keyPath);

// Sets g_installDir to the server file's folder (no trailing backslash). Returns 1 on success,
// 0 when the product is not registered; g_installDir is then unchanged.
int LocateInstallFolder();
