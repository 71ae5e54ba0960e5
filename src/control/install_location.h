// Where the product is installed: the folder of its in-process COM server, taken from the
// default value of its machine-wide server key (kClassKey\kClassServerKey).
#pragma once

#include <windows.h>

// Reads a value (null name = the default value) of keyPath into buffer. keyPath lies in the
// classes root, which this program always takes as the machine-wide one: it is a path under
// HKEY_LOCAL_MACHINE (Software\Classes\...), never one in the merged HKEY_CLASSES_ROOT view.
// Returns buffer, or null when the key or value is missing or the data does not fit.
char* ReadClassesRootValue(const char* valueName, char* buffer, DWORD size, const char* keyPath);

// Sets g_installDir to the server file's folder (no trailing backslash). Returns 1 on success,
// 0 when the product is not registered; g_installDir is then unchanged.
int LocateInstallFolder();
