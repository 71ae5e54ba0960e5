#include "platform/family.h"

#include <string.h>

#include "platform/platform.h"

static_assert(sizeof(OSVERSIONINFOEXA) == 156 && sizeof(OSVERSIONINFOA) == 148,
              "the two version records Windows of both families know");

WindowsFamily GetWindowsFamily() {
  if (SysHasHandleCalls()) return kFamilyNt;
  OSVERSIONINFOEXA version;
  memset(&version, 0, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  if (!SysGetVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&version))) {
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!SysGetVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&version))) return kFamilyUnknown;
  }
  // An NT platform without ntdll's file calls is no Windows that exists: neither family.
  return version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? kFamily9x : kFamilyUnknown;
}
