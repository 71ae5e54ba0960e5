// Whether the uninstaller starts itself again elevated. Wine runs every program as an
// administrator and has no UAC, so the token's answer, the UAC setting and the shell's relaunch
// come through the seam; the Windows family comes from the version query, Wine's or stood in.
// A copy that runs as it is reaches the flow: with the product not installed, it shows the
// already-removed box.
#include "control/elevation.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "support/seam_fixture.h"

namespace {

enum Token { kElevated, kLimited, kUnknown };  // kUnknown: Windows XP and older cannot tell
enum Uac { kUacOn, kUacOff, kUacUnset };

struct Machine {
  Token token;
  Uac uac;
  bool declined;  // the user refuses the elevation prompt
  DWORD platform;
};

class Elevation : public SeamTest {
 protected:
  static Machine& Current() {
    static Machine machine;
    return machine;
  }
  void Install(const Machine& machine) {
    Current() = machine;
    g_seam.GetTokenElevation = [](int* elevated) -> BOOL {
      if (Current().token == kUnknown) return FALSE;
      *elevated = Current().token == kElevated;
      return TRUE;
    };
    g_seam.RegOpenKey = [](HKEY root, const char* path, REGSAM access, HKEY* key) -> LONG {
      if (strstr(path, "Policies\\System")) {
        if (Current().uac == kUacUnset) return ERROR_FILE_NOT_FOUND;
        EXPECT_EQ(HKEY_LOCAL_MACHINE, root);
        *key = reinterpret_cast<HKEY>(0x7a11);  // stands for the policy key
        return ERROR_SUCCESS;
      }
      return RegOpenKeyExA(root, path, 0, access, key);
    };
    g_seam.RegQueryValue = [](HKEY key, const char* name, BYTE* data, DWORD* size) -> LONG {
      if (key != reinterpret_cast<HKEY>(0x7a11)) return RegQueryValueExA(key, name, nullptr,
                                                                         nullptr, data, size);
      EXPECT_STREQ("EnableLUA", name);
      DWORD value = Current().uac == kUacOn ? 1 : 0;
      if (*size < sizeof(value)) return ERROR_MORE_DATA;
      memcpy(data, &value, sizeof(value));
      *size = sizeof(value);
      return ERROR_SUCCESS;
    };
    g_seam.RegCloseKey = [](HKEY key) -> LONG {
      return key == reinterpret_cast<HKEY>(0x7a11) ? ERROR_SUCCESS : RegCloseKey(key);
    };
    g_seam.RunElevated = [](const char* path) -> BOOL {
      char self[MAX_PATH];
      GetModuleFileNameA(nullptr, self, sizeof(self));
      EXPECT_STREQ(self, path);
      Record("relaunch");
      if (Current().declined) SetLastError(ERROR_CANCELLED);
      return !Current().declined;
    };
    g_seam.GetSystemVersion = [](OSVERSIONINFOW* version) -> BOOL {
      if (Current().platform != VER_PLATFORM_WIN32_NT) return FALSE;  // no RtlGetVersion
      version->dwPlatformId = Current().platform;
      return TRUE;
    };
    g_seam.GetVersionEx = [](OSVERSIONINFOA* version) -> BOOL {
      BOOL ok = GetVersionExA(version);
      version->dwPlatformId = Current().platform;
      return ok;
    };
    g_seam.CreateMutex = [](const char* name) {
      Record("mutex");
      return CreateMutexA(nullptr, FALSE, name);
    };
    g_seam.MessageBox = [](HWND, const char*, const char*, UINT) {
      Record("box");
      return IDOK;
    };
  }
};

TEST_F(Elevation, RelaunchesOnlyWhereTheNewCopyIsSurelyElevated) {
  const DWORD nt = VER_PLATFORM_WIN32_NT, win9x = VER_PLATFORM_WIN32_WINDOWS;
  struct Case {
    const char* name;
    Machine machine;
    std::vector<std::string> calls;  // relaunched: nothing else; run as it is: mutex, box
  } cases[] = {
      {"elevated", {kElevated, kUacOn, false, nt}, {"mutex", "box"}},
      // A limited administrator and a standard user alike: not elevated.
      {"not elevated, UAC on", {kLimited, kUacOn, false, nt}, {"relaunch"}},
      {"standard user, UAC off", {kLimited, kUacOff, false, nt}, {"mutex", "box"}},
      {"UAC setting missing", {kLimited, kUacUnset, false, nt}, {"mutex", "box"}},
      {"relaunch declined", {kLimited, kUacOn, true, nt}, {"relaunch"}},
      {"Windows XP", {kUnknown, kUacUnset, false, nt}, {"mutex", "box"}},
      {"9x family", {kUnknown, kUacUnset, false, win9x}, {"mutex", "box"}},
      {"9x family, whatever the token says", {kLimited, kUacOn, false, win9x}, {"mutex", "box"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Install(c.machine);
    char commandLine[] = "";
    EXPECT_EQ(0, RunWithRights(GetModuleHandleA(nullptr), commandLine, SW_SHOWDEFAULT));
    EXPECT_EQ(c.calls, Calls());
  }
}

}  // namespace
