// The product keeps no record of its own location; the COM server registration is the record,
// and its presence is the sign that the product is installed at all.
#include "control/install_location.h"

#include <string.h>

#include "platform/path.h"
#include "platform/platform.h"
#include "product/product.h"

char* ReadClassesRootValue(const char* valueName, char* buffer, DWORD size, const char* keyPath) {
  HKEY key;
  if (SysRegOpenKey(HKEY_LOCAL_MACHINE, keyPath, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
  DWORD length = size;
  LONG result = SysRegQueryValue(key, valueName, reinterpret_cast<BYTE*>(buffer), &length);
  SysRegCloseKey(key);
  return result == ERROR_SUCCESS ? buffer : nullptr;
}

int LocateInstallFolder() {
  PathBuffer keyPath, server;
  memset(server, 0, sizeof(server));
  if (!FormatPath(keyPath, sizeof(keyPath), "%s\\%s", kClassKey, kClassServerKey) ||
      !ReadClassesRootValue(nullptr, server, sizeof(server), keyPath))
    return 0;
  // The registry does not promise a terminator: data that fills the whole buffer without one
  // is no path we can use.
  if (!memchr(server, 0, sizeof(server))) return 0;
  char* lastBackslash = strrchr(server, '\\');
  if (!lastBackslash) return 0;
  *lastBackslash = 0;
  memcpy(g_installDir, server, sizeof(g_installDir));
  return 1;
}
