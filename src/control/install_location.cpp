// The product keeps no record of its own location; the COM server registration is the record,
// and its presence is the sign that the product is installed at all.
#include "control/install_location.h"

#include <string.h>

#include "platform/platform.h"

// Under HKEY_LOCAL_MACHINE, never through the merged HKEY_CLASSES_ROOT view: there a per-user key
// of the same name, which any program the user runs may write, takes priority (Windows 2000 and
// later). On the 9x family HKEY_CLASSES_ROOT is this very key.
#define TOLVANE_CLASS_PARENT "Software\\Classes\\CLSID\\{C19F4B73-6E2A-4D85-B0F7-8E3A1D9C5B26}"
const char kClassKeyPath[] = TOLVANE_CLASS_PARENT "\\InProcServer32";
const char kClassParentPath[] = TOLVANE_CLASS_PARENT;
const char kClassServerKey[] = "InProcServer32";

PathBuffer g_installDir;  // written by LocateInstallFolder, read by RemoveInstallFiles

char* ReadClassesRootValue(const char* valueName, char* buffer, DWORD size, const char* keyPath) {
  HKEY key;
  if (SysRegOpenKey(HKEY_LOCAL_MACHINE, keyPath, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
  DWORD length = size;
  LONG result = SysRegQueryValue(key, valueName, reinterpret_cast<BYTE*>(buffer), &length);
  SysRegCloseKey(key);
  return result == ERROR_SUCCESS ? buffer : nullptr;
}

int LocateInstallFolder() {
  PathBuffer server;
  memset(server, 0, sizeof(server));
  if (!ReadClassesRootValue(nullptr, server, sizeof(server), kClassKeyPath)) return 0;
  // The registry does not promise a terminator: data that fills the whole buffer without one
  // is no path we can use.
  if (!memchr(server, 0, sizeof(server))) return 0;
  char* lastBackslash = strrchr(server, '\\');
  if (!lastBackslash) return 0;
  *lastBackslash = 0;
  memcpy(g_installDir, server, sizeof(g_installDir));
  return 1;
}
