// The token's facts decide between running as it is, one relaunch and the rights box; they are
// asked at run time, so that the exe starts on every family and imports nothing new.
#include "control/elevation.h"

#include <string.h>

#include "control/message.h"
#include "control/uninstall.h"
#include "platform/family.h"
#include "platform/path.h"
#include "platform/platform.h"

const char kRelaunchedMarker[] = "/relaunched";
// The same, as the relaunch passes it.
const WCHAR kRelaunchedMarkerWide[] = L"/relaunched";
static_assert(sizeof(kRelaunchedMarkerWide) == sizeof(WCHAR) * sizeof(kRelaunchedMarker),
              "one marker");

namespace {

// TOKEN_INFORMATION_CLASS and TOKEN_ELEVATION_TYPE, Windows Vista and later.
const int kTokenElevationType = 18;
const int kTokenVirtualizationAllowed = 23;
const DWORD kElevationTypeDefault = 1;  // no linked token: UAC does not hold, or no administrator
const DWORD kElevationTypeLimited = 3;  // an administrator's filtered token: UAC holds now

enum RightsStep { kRunAsItIs, kRelaunch, kNoRights };

// Whether the command line holds the marker as an argument of its own, after the program's
// name (quoted, or up to the first blank). A blank or a quote is never part of a double-byte
// character, so the bytes can be read one by one.
int IsRelaunched(const char* commandLine) {
  const char* p = commandLine;
  if (*p == '"') {
    for (++p; *p && *p != '"'; ++p) {
    }
    if (*p) ++p;
  }
  while (*p && *p != ' ' && *p != '\t') ++p;
  for (;;) {
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) return 0;
    const char* start = p;
    while (*p && *p != ' ' && *p != '\t') ++p;
    size_t length = static_cast<size_t>(p - start);
    if (length == sizeof(kRelaunchedMarker) - 1 &&
        memcmp(start, kRelaunchedMarker, length) == 0)
      return 1;
  }
}

// A copy without administrator rights: started once more where that can bring them, never by
// a copy that was itself started so.
RightsStep WithoutRights(int relaunched) { return relaunched ? kNoRights : kRelaunch; }

RightsStep DecideRights(int relaunched) {
  // The 9x family has no rights to ask for.
  if (GetWindowsFamily() != kFamilyNt) return kRunAsItIs;
  int administrator;
  DWORD type;
  if (SysGetTokenValue(kTokenElevationType, &type)) {
    // Vista and later. The prompt raises a limited administrator, or lets the user cancel.
    if (type == kElevationTypeLimited) return WithoutRights(relaunched);
    if (type != kElevationTypeDefault) return kRunAsItIs;  // elevated
    // UAC off, the built-in Administrator, or a user who is no administrator.
    if (!SysIsAdministrator(&administrator) || administrator) return kRunAsItIs;
    // The prompt asks for an administrator's password only where UAC holds now, which the
    // token shows: only then may it be virtualized. The UAC setting in the registry takes
    // effect at the next start of Windows; a relaunch while it is set but not yet in force
    // would start the same user's copy again, without end.
    DWORD virtualization;
    if (SysGetTokenValue(kTokenVirtualizationAllowed, &virtualization) && virtualization)
      return WithoutRights(relaunched);
    return kNoRights;
  }
  // Windows 2000 and XP: "runas" shows the "Run As" dialog, where the user picks an account;
  // the copy it starts checks again. NT 4 cannot tell (and has no "runas"): as it is.
  if (!SysIsAdministrator(&administrator) || administrator) return kRunAsItIs;
  return WithoutRights(relaunched);
}

// Starts the uninstaller again for its rights, with the marker, named by its path in UTF-16: in
// the ANSI code page a name it cannot spell would come back as '?'. ERROR_SUCCESS when it
// started, else why not.
DWORD Relaunch() {
  WCHAR self[kPathSize];
  DWORD length = SysGetModuleFileNameWide(self, kPathSize);
  if (length == 0 || length >= static_cast<DWORD>(kPathSize)) return ERROR_FILENAME_EXCED_RANGE;
  return SysRunElevated(self, kRelaunchedMarkerWide);
}

}  // namespace

int RunWithRights(const char* commandLine) {
  RightsStep step = DecideRights(commandLine && IsRelaunched(commandLine));
  // The flow reads none of its arguments.
  if (step == kRunAsItIs) return RunUninstall(nullptr, nullptr, nullptr, SW_SHOWDEFAULT);
  if (step == kRelaunch) {
    // Started, or the user cancelled the prompt: nothing more from this copy.
    DWORD result = Relaunch();
    if (result == ERROR_SUCCESS || result == ERROR_CANCELLED) return 0;
  }
  // Refused by policy, failed, or no way to the rights: said once, nothing changed.
  ShowMessage(kRightsText, kCaption, MB_OK | MB_ICONERROR);
  return 0;
}
