#include "platform/family.h"

#include <string.h>

#include "platform/platform.h"

static_assert(sizeof(OSVERSIONINFOEXA) == 156 && sizeof(OSVERSIONINFOA) == 148,
              "the two version records Windows of both families know");

namespace {

WindowsFamily FamilyOf(DWORD platformId) {
  if (platformId == VER_PLATFORM_WIN32_WINDOWS) return kFamily9x;
  if (platformId == VER_PLATFORM_WIN32_NT) return kFamilyNt;
  return kFamilyUnknown;
}

}  // namespace

WindowsFamily GetWindowsFamily() {
  OSVERSIONINFOW system;
  memset(&system, 0, sizeof(system));
  system.dwOSVersionInfoSize = sizeof(system);
  if (SysGetSystemVersion(&system)) return FamilyOf(system.dwPlatformId);

  OSVERSIONINFOEXA version;
  memset(&version, 0, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  if (!SysGetVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&version))) {
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!SysGetVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&version))) return kFamilyUnknown;
  }
  return FamilyOf(version.dwPlatformId);
}
