// Decided from the process token and the UAC setting, both asked at run time, so that the exe
// starts on every family and imports nothing new; no marker argument passes between the copies.
#include "control/elevation.h"

#include "control/uninstall.h"
#include "platform/family.h"
#include "platform/path.h"
#include "platform/platform.h"

namespace {

// Where UAC is switched on or off for the whole machine; not redirected for a 32-bit program,
// asked in the 64-bit view all the same.
const char kPolicyKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const char kEnableLua[] = "EnableLUA";

// Whether UAC is on: EnableLUA set and not 0. Missing or unreadable counts as off: a relaunch is
// only made where it is certain to end elevated.
int IsUacOn() {
  HKEY key;
  if (SysRegOpenKey(HKEY_LOCAL_MACHINE, kPolicyKey, KEY_READ | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS)
    return 0;
  DWORD value = 0, size = sizeof(value);
  int on = SysRegQueryValue(key, kEnableLua, reinterpret_cast<BYTE*>(&value), &size) ==
               ERROR_SUCCESS &&
           size == sizeof(value) && value != 0;
  SysRegCloseKey(key);
  return on;
}

// Whether this copy has asked for an elevated one (or the user declined it) and ends; see
// RunWithRights.
int RelaunchElevated() {
  if (GetWindowsFamily() != kFamilyNt) return 0;
  // Windows before Vista knows no elevation: the query fails, and it runs as it is.
  int elevated;
  if (!SysGetTokenElevation(&elevated) || elevated || !IsUacOn()) return 0;
  PathBuffer self;
  DWORD length = SysGetModuleFileName(self, kPathSize);
  if (length == 0 || length >= static_cast<DWORD>(kPathSize)) return 0;
  // Declined, or failed: this copy still changes nothing, and says nothing.
  SysRunElevated(self);
  return 1;
}

}  // namespace

int RunWithRights(HINSTANCE instance, LPSTR commandLine, int showState) {
  if (RelaunchElevated()) return 0;
  return RunUninstall(instance, nullptr, commandLine, showState);
}
